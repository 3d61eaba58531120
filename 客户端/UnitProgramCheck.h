// Checking a Matlab answer program and instrumenting it with a processor-time limit after every
// loop line; pure functions on line lists, used by the send road of the main window.
#pragma once

#include "AnsiString.h"
#include "Classes.h"

// Checks the program's form and fills target with the program and its inserted lines. False,
// with the refusal in reason, when the program may not be sent; target is then unusable.
bool InstrumentProgram(const TStringList& source, TStringList& target, AnsiString& reason);

// The indentation of the check line after source line index (from 0): the next line's leading
// blanks when they are longer than the loop line's own, else the loop line's.
AnsiString LoopIndent(int index, const TStringList& source);

// The spaces and tabs that begin the line, as they are.
AnsiString LeadingBlanks(const AnsiString& line);

// Whether the text, its letters A to Z lowered, holds "input" or "pause" anywhere, starting at
// one of its characters (a double-byte character is one).
bool MentionsInputOrPause(const AnsiString& text);
