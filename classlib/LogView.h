// The log area: one entry per call, every CR LF inside it starting a new line, and the cut of
// long text that the log and the labels showing server text share.
#pragma once

#include "AnsiString.h"

#include <QString>

class QPlainTextEdit;

// The text as a widget shows it: up to maxBytes bytes whole, a longer one cut at the end of the
// last character that fits, followed by "…".
QString ShownText(const AnsiString& text, size_t maxBytes);

// The longest entry shown whole.
inline constexpr size_t LogEntryShownMax = 64 * 1024;
// A class session writes a few thousand lines; a server flooding the log with line breaks
// would otherwise take all memory. The oldest lines go.
inline constexpr int LogLinesMax = 20000;
// Lines as long as an entry would pass the line bound's memory a thousandfold; a session's
// lines average well under a hundred characters. The oldest lines go past this many.
inline constexpr int LogCharactersMax = 4 * 1024 * 1024;

// One edit of the log: the entry goes in as a whole and the log's end comes into view. The
// oldest lines go while the log holds more than LogLinesMax lines or LogCharactersMax characters.
void AppendLogEntry(QPlainTextEdit* log, const AnsiString& entry);

// Whether the log holds a line, an empty one included (an empty document cannot tell).
bool LogHasLines(const QPlainTextEdit* log);
