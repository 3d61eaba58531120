#include "UnitSplit.h"

// The rest after each cut is kept as a range of the text, not copied, so a text with many
// separators is split in one pass. The range is trimmed at both ends, as the rest would be.
void ForEachPiece(const AnsiString& text, const AnsiString& separator,
                  const std::function<bool(const AnsiString& piece)>& take) {
    size_t start = 0;
    size_t end = text.size();
    for (;;) {
        const size_t found = separator.empty() ? AnsiString::npos : text.find(separator[0], start);
        if (found == AnsiString::npos || found >= end) {
            take(TrimRange(text, start, end));
            return;
        }
        if (!take(TrimRange(text, start, found)))
            return;
        start = found + 1;
        while (end > start && IsTrimmedByte(text[end - 1]))
            --end;
        while (start < end && IsTrimmedByte(text[start]))
            ++start;
    }
}

void SplitStringTo(const AnsiString& text, const AnsiString& separator, TStringList& list) {
    ForEachPiece(text, separator, [&list](const AnsiString& piece) {
        list.Add(piece);
        return true;
    });
}

void SplitString(const AnsiString& text, const AnsiString& separator, TStringList& list) {
    list.Clear();
    SplitStringTo(Trim(text), separator, list);
}
