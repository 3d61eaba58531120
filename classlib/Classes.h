// The line list: ordered texts, duplicates allowed, never sorted, with name=value lookups.
#pragma once

#include "AnsiString.h"

#include <cstdint>
#include <vector>

class TStringList {
public:
    void Add(const AnsiString& item) { FItems.push_back(item); }
    void Insert(int index, const AnsiString& item);
    void Delete(int index);
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }

    // Raise EListError outside 0..Count-1.
    const AnsiString& Strings(int index) const;
    void SetStrings(int index, const AnsiString& item);
    const AnsiString& operator[](int index) const { return Strings(index); }

    // Every item followed by CR LF.
    AnsiString Text() const;
    // Cut at CR LF, lone CR or lone LF; a NUL byte ends the text. Lines past maxCount are not
    // kept (nor looked at).
    void SetText(const AnsiString& text, size_t maxCount = SIZE_MAX);

    // Raise EFOpenError / EFCreateError, and EWriteError when the text cannot be written; a
    // failed load leaves the list unchanged.
    void LoadFromFile(const AnsiString& fileName);
    void SaveToFile(const AnsiString& fileName) const;

    // First item equal to the text, letter case ignored; -1 when none.
    int IndexOf(const AnsiString& item) const;

    // name=value lines: the name is what precedes the first "=".
    AnsiString Names(int index) const;
    int IndexOfName(const AnsiString& name) const;
    AnsiString Values(const AnsiString& name) const;
    // An empty value deletes the line; a new name is appended.
    void SetValue(const AnsiString& name, const AnsiString& value);

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    void CheckIndex(int index) const;
    std::vector<AnsiString> FItems;
};
