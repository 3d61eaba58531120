#include "UnitSplit.h"

void SplitStringTo(const AnsiString& text, const AnsiString& separator, TStringList& list) {
    AnsiString rest = text;
    for (;;) {
        const size_t found = separator.empty() ? AnsiString::npos : rest.find(separator[0]);
        if (found == AnsiString::npos) {
            list.Add(Trim(rest));
            return;
        }
        list.Add(Trim(rest.substr(0, found)));
        rest = Trim(rest.substr(found + 1));
    }
}

void SplitString(const AnsiString& text, const AnsiString& separator, TStringList& list) {
    list.Clear();
    SplitStringTo(Trim(text), separator, list);
}
