// The log area: one entry per call, every CR LF inside it starting a new line.
#pragma once

#include "AnsiString.h"

class QPlainTextEdit;

// The longest entry shown whole; a longer one is shown cut at a character's end, with "…".
inline constexpr size_t LogEntryShownMax = 64 * 1024;

// One edit of the log: the entry goes in as a whole and the log's end comes into view.
void AppendLogEntry(QPlainTextEdit* log, const AnsiString& entry);

// Whether the log holds a line, an empty one included (an empty document cannot tell).
bool LogHasLines(const QPlainTextEdit* log);
