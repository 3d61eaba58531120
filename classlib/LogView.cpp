#include "LogView.h"

#include "Codec.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

// Marks the first block once a line was written into it, so that an empty first line counts.
static constexpr int kLineWritten = 1;

bool LogHasLines(const QPlainTextEdit* log) {
    const QTextDocument* document = log->document();
    return !document->isEmpty() || document->firstBlock().userState() == kLineWritten;
}

void AppendLogEntry(QPlainTextEdit* log, const AnsiString& entry) {
    if (!log)
        return;
    QTextCursor cursor(log->document());
    cursor.movePosition(QTextCursor::End);
    bool hasLines = LogHasLines(log);
    size_t start = 0;
    for (;;) {
        const size_t lineEnd = entry.find("\r\n", start);
        if (hasLines)
            cursor.insertBlock();
        cursor.insertText(ToQString(entry.substr(start, lineEnd - start)));
        hasLines = true;
        if (lineEnd == AnsiString::npos)
            break;
        start = lineEnd + 2;
    }
    log->document()->firstBlock().setUserState(kLineWritten);
    // As a memo's added line does, the new end comes into view.
    log->setTextCursor(cursor);
    log->ensureCursorVisible();
}
