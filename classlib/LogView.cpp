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

// The entry as the log shows it. Laying out a line of megabytes holds the window for minutes,
// so a long entry is cut, never inside a double-byte character.
static QString ShownText(const AnsiString& entry) {
    if (entry.size() <= LogEntryShownMax)
        return ToQString(entry);
    size_t length = 0;
    for (;;) {
        const bool pair =
            IsGbkLeadByte(static_cast<unsigned char>(entry[length])) && length + 1 < entry.size();
        const size_t next = length + (pair ? 2 : 1);
        if (next > LogEntryShownMax)
            break;
        length = next;
    }
    return ToQString(entry.substr(0, length) + "…");
}

void AppendLogEntry(QPlainTextEdit* log, const AnsiString& entry) {
    if (!log)
        return;
    // One insertion: the cursor turns each CR LF into a new line within a single edit, so the
    // document is laid out once per entry.
    QString text = ShownText(entry);
    if (LogHasLines(log))
        text.prepend(QChar::ParagraphSeparator);
    QTextCursor cursor(log->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    log->document()->firstBlock().setUserState(kLineWritten);
    // As a memo's added line does, the new end comes into view.
    log->setTextCursor(cursor);
}
