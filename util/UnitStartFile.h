// The files the client reads at start lie in its program folder, where any host on the classroom
// network can push a file; they are read only as far as a real list reaches.
#pragma once

#include "AnsiString.h"
#include "Classes.h"

#include <cstddef>

// A line of a start file is a course name, a server address or a name=value setting, each well
// under 64 bytes: a thousand such lines stay within this.
inline constexpr std::size_t kStartFileMaxBytes = 64 * 1024;
// A course list or a server-address list of a real class is tens of lines.
inline constexpr int kStartFileMaxLines = 1000;

// Loads the file's first lines into the list, reading no byte past kStartFileMaxBytes and keeping
// no line past kStartFileMaxLines; a line that the byte bound cuts is left out. Raises
// EFOpenError when the file cannot be opened and EFReadError when it cannot be read; a failed
// load leaves the list unchanged.
void LoadStartFile(const AnsiString& fileName, TStringList& lines);
