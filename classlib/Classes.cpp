#include "Classes.h"

#include "Files.h"
#include "SysUtils.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(index);
}

const AnsiString& TStringList::Strings(int index) const {
    CheckIndex(index);
    return FItems[index];
}

void TStringList::SetStrings(int index, const AnsiString& item) {
    CheckIndex(index);
    FItems[index] = item;
}

void TStringList::Insert(int index, const AnsiString& item) {
    if (index < 0 || index > Count())
        throw EListError(index);
    FItems.insert(FItems.begin() + index, item);
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    FItems.erase(FItems.begin() + index);
}

AnsiString TStringList::Text() const {
    size_t size = 0;
    for (const auto& item : FItems)
        size += item.size() + 2;
    AnsiString text;
    text.reserve(size);
    for (const auto& item : FItems) {
        text += item;
        text += "\r\n";
    }
    return text;
}

// Each item's end: the index after its CR LF, lone CR or lone LF, or end.
static size_t ItemEnd(const AnsiString& text, size_t start, size_t end, size_t& stop) {
    stop = start;
    while (stop < end && text[stop] != '\r' && text[stop] != '\n')
        ++stop;
    size_t next = stop;
    if (next < end && text[next] == '\r') {
        ++next;
        if (next < end && text[next] == '\n')
            ++next;
    } else if (next < end) {
        ++next; // a lone LF
    }
    return next;
}

// The items are counted first and built into a list of that size, which then replaces the old
// one: a text of millions of lines neither doubles its list while it grows nor leaves a large
// list's room behind when a small text follows.
void TStringList::SetText(const AnsiString& text, size_t maxCount) {
    const size_t end = std::min(text.find('\0'), text.size());
    size_t count = 0;
    size_t stop = 0;
    for (size_t start = 0; start < end && count < maxCount; start = ItemEnd(text, start, end, stop))
        ++count;
    std::vector<AnsiString> items;
    items.reserve(count);
    for (size_t start = 0; items.size() < count;) {
        const size_t next = ItemEnd(text, start, end, stop);
        items.emplace_back(text, start, stop - start);
        start = next;
    }
    FItems.swap(items);
}

void TStringList::LoadFromFile(const AnsiString& fileName) {
    const platform::TFileHandle file(platform::OpenFile(fileName, "rb"));
    if (!file)
        throw EFOpenError(fileName, errno);
    // A folder opens like a file here but holds no text.
    struct stat info {};
    if (::fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode))
        throw EFOpenError(fileName, EISDIR);
    AnsiString content;
    char block[65536];
    for (size_t count; (count = std::fread(block, 1, sizeof block, file.get())) > 0;)
        content.append(block, count);
    if (std::ferror(file.get()))
        throw EFReadError(fileName, errno);
    SetText(content);
}

void TStringList::SaveToFile(const AnsiString& fileName) const {
    std::FILE* file = platform::OpenFile(fileName, "wb");
    if (!file)
        throw EFCreateError(fileName, errno);
    const AnsiString text = Text();
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (platform::CloseFile(file) != 0 || !written)
        throw EWriteError();
}

int TStringList::IndexOf(const AnsiString& item) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(FItems[i], item))
            return i;
    return -1;
}

AnsiString TStringList::Names(int index) const {
    const AnsiString& line = Strings(index);
    const size_t equals = line.find('=');
    return equals == AnsiString::npos ? AnsiString() : line.substr(0, equals);
}

int TStringList::IndexOfName(const AnsiString& name) const {
    for (int i = 0; i < Count(); ++i) {
        const size_t equals = FItems[i].find('=');
        if (equals != AnsiString::npos && AnsiSameText(FItems[i].substr(0, equals), name))
            return i;
    }
    return -1;
}

AnsiString TStringList::Values(const AnsiString& name) const {
    const int index = IndexOfName(name);
    if (index < 0)
        return AnsiString();
    return FItems[index].substr(FItems[index].find('=') + 1);
}

void TStringList::SetValue(const AnsiString& name, const AnsiString& value) {
    const int index = IndexOfName(name);
    if (value.empty()) {
        if (index >= 0)
            Delete(index);
    } else if (index >= 0) {
        FItems[index] = name + "=" + value;
    } else {
        Add(name + "=" + value);
    }
}
