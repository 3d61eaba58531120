// Splitting a text into trimmed pieces at a one-character separator.
#pragma once

#include "AnsiString.h"
#include "Classes.h"

#include <functional>

// Hands the pieces, in order, to take, as SplitStringTo would append them; stops early when
// take returns false. For callers that need each piece once, without a list of millions.
void ForEachPiece(const AnsiString& text, const AnsiString& separator,
                  const std::function<bool(const AnsiString& piece)>& take);
// Appends the pieces to what the list holds.
void SplitStringTo(const AnsiString& text, const AnsiString& separator, TStringList& list);
// Clears the list and trims the text first, then splits as SplitStringTo.
void SplitString(const AnsiString& text, const AnsiString& separator, TStringList& list);
