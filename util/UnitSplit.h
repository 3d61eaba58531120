// Splitting a text into trimmed pieces at a one-character separator.
#pragma once

#include "AnsiString.h"
#include "Classes.h"

// Appends the pieces to what the list holds.
void SplitStringTo(const AnsiString& text, const AnsiString& separator, TStringList& list);
// Clears the list and trims the text first, then splits as SplitStringTo.
void SplitString(const AnsiString& text, const AnsiString& separator, TStringList& list);
