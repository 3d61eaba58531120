#include "LogView.h"

#include "Codec.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

// Marks the first block once a line was written into it, so that an empty first line counts.
static constexpr int kLineWritten = 1;

bool LogHasLines(const QPlainTextEdit* log) {
    const QTextDocument* document = log->document();
    return !document->isEmpty() || document->firstBlock().userState() == kLineWritten;
}

// Laying out a line of megabytes holds the window for minutes, so a long text is cut, never
// inside a double-byte character.
QString ShownText(const AnsiString& text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return ToQString(text);
    size_t length = 0;
    for (;;) {
        const bool pair =
            IsGbkLeadByte(static_cast<unsigned char>(text[length])) && length + 1 < text.size();
        const size_t next = length + (pair ? 2 : 1);
        if (next > maxBytes)
            break;
        length = next;
    }
    return ToQString(text.substr(0, length) + "…");
}

// Whole lines go from the top until the log is within its characters; the newest stays.
static void DropOldestCharacters(QTextDocument* document) {
    int excess = document->characterCount() - LogCharactersMax;
    if (excess <= 0)
        return;
    QTextBlock block = document->firstBlock();
    for (; excess > 0 && block != document->lastBlock(); block = block.next())
        excess -= block.length();
    QTextCursor cursor(document);
    cursor.setPosition(block.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void AppendLogEntry(QPlainTextEdit* log, const AnsiString& entry) {
    if (!log)
        return;
    // One edit: the editor's own append turns each CR LF into a new line within a single
    // insertion, and scrolls only when the view is at the end already.
    if (log->maximumBlockCount() != LogLinesMax)
        log->setMaximumBlockCount(LogLinesMax); // the editor drops the oldest lines itself
    QString text = ShownText(entry, LogEntryShownMax);
    if (log->document()->isEmpty() && LogHasLines(log))
        text.prepend(QChar::ParagraphSeparator); // below an empty first line, not into it
    log->appendPlainText(text);
    DropOldestCharacters(log->document());
    log->document()->firstBlock().setUserState(kLineWritten);
    // As a memo's added line does, the caret goes to the new end and the end comes into view.
    // A caret at the end stays there through the append, so the costly move is rarely needed.
    QScrollBar* bar = log->verticalScrollBar();
    if (!log->textCursor().atEnd())
        log->moveCursor(QTextCursor::End);
    else if (bar->value() != bar->maximum())
        bar->setValue(bar->maximum());
}
