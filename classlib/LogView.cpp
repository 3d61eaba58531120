#include "LogView.h"

#include "Codec.h"

#include <QPlainTextEdit>

void AppendLogEntry(QPlainTextEdit* log, const AnsiString& entry) {
    if (!log)
        return;
    size_t start = 0;
    for (;;) {
        const size_t lineEnd = entry.find("\r\n", start);
        log->appendPlainText(ToQString(entry.substr(start, lineEnd - start)));
        if (lineEnd == AnsiString::npos)
            break;
        start = lineEnd + 2;
    }
}
