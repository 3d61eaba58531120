// Any payload of the server's check results gives text that opens with a problem heading, and
// the text is the payload's records and tokens read here, each token shown by its code.
#include "FuzzSupport.h"
#include "UnitCheckText.h"

#include <string_view>
#include <vector>

namespace {

bool IsBlank(char byte) {
    return static_cast<unsigned char>(byte) <= 0x20;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The server's pieces: each runs to the next separator and loses the blanks at its ends, and
// what follows a separator loses them before it is cut again.
std::vector<std::string_view> Pieces(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const std::size_t cut = text.find(separator);
        pieces.push_back(Trimmed(text.substr(0, cut)));
        if (cut == std::string_view::npos)
            return pieces;
        text = Trimmed(text.substr(cut + 1));
    }
}

// What a check code (a token without its last byte) says about a result that is not the same.
AnsiString CodeText(std::string_view code) {
    static const std::vector<std::pair<std::string_view, const char*>> texts{
        {"2000", "返回参数数组的类型与标准解答不同"},
        {"2001", "返回参数sym型数组, 与标准解答维数不一致"},
        {"2002", "返回参数sym型数组与标准解答结果不完全相同"},
        {"2003", "返回参数char型数组, 与标准解答维数不一致"},
        {"2004", "返回参数char型数组, 与标准解答维数相同，但字符串不完全相同"},
        {"2005", "返回参数double型数组, 与标准解答维数不一致"},
        {"2006", "返回参数double型数组, 与标准解答之间误差较大"},
        {"2009", "返回参数, 与标准解答不相同"},
    };
    for (const auto& [known, text] : texts)
        if (code == known)
            return text;
    return "";
}

// The line of one token: its last byte tells an error (0), a right result (+) or the number of
// the value that differs, which its code explains.
AnsiString TokenLine(std::string_view token) {
    if (token.ends_with('0'))
        return "运行出错！";
    if (token.ends_with('+'))
        return "运行结果正确！";
    if (token.empty())
        return "第个";
    return "第" + AnsiString(1, token.back()) + "个" + CodeText(token.substr(0, token.size() - 1));
}

// Records at ";", each a problem number before the first "," and tokens at " " after it.
AnsiString ExpectedText(std::string_view payload) {
    AnsiString text;
    for (const std::string_view record : Pieces(payload, ';')) {
        if (!text.empty())
            text += "\r\n";
        const std::size_t comma = record.find(',');
        const bool numbered = comma != std::string_view::npos;
        text += "第" + AnsiString(numbered ? record.substr(0, comma) : "") + "题:";
        for (const std::string_view token :
             Pieces(numbered ? record.substr(comma + 1) : record, ' '))
            text += "\r\n" + TokenLine(token);
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const AnsiString payload(reinterpret_cast<const char*>(data), size);
    const AnsiString text = FormatCheckResults(payload);
    FuzzCheck(text.rfind("第", 0) == 0, "the check results open with a problem heading");
    FuzzCheck(!text.ends_with("\r\n"), "the check results end without a line end");
    FuzzCheck(text == ExpectedText(payload), "each check result line is its token's");
    CheckCodeToText(payload);
    return 0;
}
