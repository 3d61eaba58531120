// General helpers: program folder, message box, time stamps, suffix test, the Matlab program
// name, writing files and joining fields.
#pragma once

#include "AnsiString.h"
#include "ScopedOverride.h"

#include <QDateTime>

#include <cstdio>

// The short-answer script that the send road writes into the program folder, and the prefix of
// the instrumented copy of every Matlab program it sends.
inline const AnsiString ShortAnswerFile = "temp.m";
inline const AnsiString InstrumentedPrefix = "syschk_";

// The folder of the running executable, always ending with the path separator; its name is in
// the file system's own bytes.
AnsiString GetExePath();
// Modal box, caption first, one OK button, no icon.
void ShowMsg(const AnsiString& caption, const AnsiString& text);
// Appends the path separator unless the path already ends with it; "" gives the separator.
AnsiString AddBackslash(const AnsiString& path);
// The current time of day, "hh:mm:ss": the time stamp of the log's lines.
AnsiString TimeStamp();
// The current date and time, "yyyy-mm-dd hh:mm:ss": the time stamp of "dbgclient.txt".
AnsiString DateTimeStamp();
// Byte for byte, letter case counting; the empty suffix gives true.
bool EndsWith(const AnsiString& text, const AnsiString& suffix);
// A Matlab program's name ends with ".m" or ".M".
bool IsMatlabProgram(const AnsiString& fileName);
// Whether a file is there (links followed): a folder, a missing name or one too long for the
// file system is none. Raises EFOpenError when the file system cannot tell (a loop of links,
// a folder it may not search, ...).
bool FileExists(const AnsiString& fileName);
// Writes the bytes to the open file and closes it; raises EInOutError with the system's error
// when either fails, the write's first.
void WriteAndClose(std::FILE* file, const AnsiString& bytes);
// Line + CR LF at the end of the file, created when missing; raises EInOutError on failure.
void AppendLineToFile(const AnsiString& fileName, const AnsiString& line);
// A + separator + B + separator + C.
AnsiString JoinFields(const AnsiString& a, const AnsiString& b, const AnsiString& c,
                      const AnsiString& separator);

// Points GetExePath at another folder while it lives; tests give every case a private program
// folder this way.
class ScopedExePath : public ScopedOverride<AnsiString> {
public:
    explicit ScopedExePath(const AnsiString& folder);
};

// Stops the clock of the time stamps at the moment while it lives, so that tests can compare
// whole lines.
class ScopedClock : public ScopedOverride<QDateTime> {
public:
    explicit ScopedClock(const QDateTime& moment);
};
