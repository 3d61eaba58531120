// The log area: one entry per call, every CR LF inside it starting a new line.
#pragma once

#include "AnsiString.h"

class QPlainTextEdit;

void AppendLogEntry(QPlainTextEdit* log, const AnsiString& entry);

// Whether the log holds a line, an empty one included (an empty document cannot tell).
bool LogHasLines(const QPlainTextEdit* log);
