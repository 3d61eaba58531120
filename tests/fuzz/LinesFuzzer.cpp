// The line list (text form, lines, name-value lines) and field splitting. The first byte of an
// input is the separator, the rest the text.
#include "FuzzSupport.h"
#include "UnitSplit.h"

#include <algorithm>

namespace {

bool IsTrimmed(const AnsiString& piece) {
    const auto blankOrControl = [](char byte) { return static_cast<unsigned char>(byte) <= 0x20; };
    return piece.empty() || (!blankOrControl(piece.front()) && !blankOrControl(piece.back()));
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
