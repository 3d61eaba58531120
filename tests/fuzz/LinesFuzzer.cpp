// The line list (text form, lines, name-value lines) and field splitting. The first byte of an
// input is the separator, the rest the text; the pieces split off rejoin to the trimmed text.
#include "FuzzSupport.h"
#include "UnitSplit.h"

#include <algorithm>
#include <string_view>

namespace {

bool IsBlank(char byte) {
    return static_cast<unsigned char>(byte) <= 0x20;
}

bool IsTrimmed(const AnsiString& piece) {
    return piece.empty() || (!IsBlank(piece.front()) && !IsBlank(piece.back()));
}

std::size_t AfterBlanks(std::string_view text, std::size_t at) {
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    return at;
}

// Whether the text is the pieces with a gap between each two: blanks around one separator, or
// blanks holding at least one separator when it is itself a blank; no piece holds a separator.
bool Rejoins(std::string_view text, const TStringList& pieces, char separator) {
    std::size_t at = 0;
    for (int i = 0; i < pieces.Count(); ++i) {
        if (i > 0 && IsBlank(separator)) {
            const std::size_t end = AfterBlanks(text, at);
            if (text.substr(at, end - at).find(separator) == std::string_view::npos)
                return false;
            at = end;
        } else if (i > 0) {
            at = AfterBlanks(text, at);
            if (at == text.size() || text[at] != separator)
                return false;
            at = AfterBlanks(text, at + 1);
        }
        const AnsiString& piece = pieces[i];
        if (piece.find(separator) != AnsiString::npos || text.substr(at, piece.size()) != piece)
            return false;
        at += piece.size();
    }
    return at == text.size();
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t start = AfterBlanks(text, 0);
    std::size_t end = text.size();
    while (end > start && IsBlank(text[end - 1]))
        --end;
    return text.substr(start, end - start);
}

bool AllTrimmed(const TStringList& list, int from) {
    for (int i = from; i < list.Count(); ++i)
        if (!IsTrimmed(list[i]))
            return false;
    return true;
}

// For a separator that trimming never removes, n separators give n + 1 pieces.
int ExpectedPieces(const AnsiString& text, char separator) {
    return static_cast<int>(std::count(text.begin(), text.end(), separator)) + 1;
}

void CheckSplitting(const AnsiString& text, const AnsiString& separator) {
    TStringList list;
    list.Add(" kept ");
    SplitStringTo(text, separator, list);
    FuzzCheck(list[0] == " kept ", "SplitStringTo keeps what the list held");
    FuzzCheck(AllTrimmed(list, 1), "SplitStringTo gives trimmed pieces");
    const bool countable = static_cast<unsigned char>(separator[0]) > 0x20;
    if (countable)
        FuzzCheck(list.Count() - 1 == ExpectedPieces(text, separator[0]),
                  "SplitStringTo gives one piece more than separators");

    SplitString(text, separator, list);
    FuzzCheck(AllTrimmed(list, 0), "SplitString gives trimmed pieces");
    if (countable)
        FuzzCheck(list.Count() == ExpectedPieces(Trim(text), separator[0]),
                  "SplitString gives one piece more than separators in the trimmed text");
    FuzzCheck(Rejoins(Trimmed(text), list, separator[0]),
              "SplitString's pieces and separators rejoin to the trimmed text");
}

void CheckLines(const AnsiString& text) {
    TStringList lines;
    lines.SetText(text);
    for (const AnsiString& line : lines)
        FuzzCheck(line.find_first_of(AnsiString("\r\n\0", 3)) == AnsiString::npos,
                  "a line holds no line end and no NUL");
    TStringList again;
    again.SetText(lines.Text());
    FuzzCheck(std::equal(lines.begin(), lines.end(), again.begin(), again.end()),
              "the text form reads back as the same lines");

    if (lines.Count() == 0)
        return;
    const AnsiString name = lines.Names(0);
    if (name.empty())
        return;
    lines.SetValue(name, "v=1");
    FuzzCheck(lines.Values(name) == "v=1", "a value set is the value looked up");
    const int before = lines.Count();
    lines.SetValue(name, "");
    FuzzCheck(lines.Count() == before - 1, "an empty value deletes one line");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const AnsiString separator(1, static_cast<char>(data[0]));
    const AnsiString text(reinterpret_cast<const char*>(data) + 1, size - 1);
    CheckSplitting(text, separator);
    CheckLines(text);
    return 0;
}
