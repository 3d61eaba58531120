#include "UnitCheckText.h"

#include "LocalAddresses.h"
#include "UnitSplit.h"

#include <algorithm>
#include <cstring>

std::unique_ptr<TStringList> GetLocalIPList() {
    auto list = std::make_unique<TStringList>();
    for (const auto& address : platform::HostIPv4Addresses())
        list->Add(address);
    return list;
}

bool IsChoiceAnswer(const AnsiString& answer) {
    return std::all_of(answer.begin(), answer.end(),
                       [](char c) { return (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); });
}

bool IsJudgeAnswer(const AnsiString& answer) {
    return answer.size() == 1 && answer[0] != '\0' && std::strchr("01FNTYfnty", answer[0]);
}

static void WriteAnswerScript(const AnsiString& secondLine, const AnsiString& fileName,
                              AnsiString& script) {
    TStringList lines;
    lines.Add("function r=myfun");
    lines.Add(secondLine);
    lines.SaveToFile(fileName);
    script = lines.Text();
}

void MakeChoiceAnswerScript(const AnsiString& answer, const AnsiString& fileName,
                            AnsiString& script) {
    WriteAnswerScript(" r='" + answer + "';", fileName, script);
}

void MakeJudgeAnswerScript(const AnsiString& answer, const AnsiString& fileName,
                           AnsiString& script) {
    const bool isTrue = !answer.empty() && answer[0] != '\0' && std::strchr("1TYty", answer[0]);
    WriteAnswerScript(isTrue ? " r='1';" : " r='0';", fileName, script);
}

static const struct {
    const char* code;
    const char* text;
} kCheckCodeTexts[] = {
    {"2000", "返回参数数组的类型与标准解答不同"},
    {"2001", "返回参数sym型数组, 与标准解答维数不一致"},
    {"2002", "返回参数sym型数组与标准解答结果不完全相同"},
    {"2003", "返回参数char型数组, 与标准解答维数不一致"},
    {"2004", "返回参数char型数组, 与标准解答维数相同，但字符串不完全相同"},
    {"2005", "返回参数double型数组, 与标准解答维数不一致"},
    {"2006", "返回参数double型数组, 与标准解答之间误差较大"},
    {"2009", "返回参数, 与标准解答不相同"},
};

AnsiString CheckCodeToText(const AnsiString& token) {
    const AnsiString tail = token.empty() ? AnsiString() : token.substr(token.size() - 1);
    const AnsiString code = token.empty() ? AnsiString() : token.substr(0, token.size() - 1);
    if (tail == "0")
        return "运行出错！";
    if (tail == "+")
        return "运行结果正确！";
    AnsiString text = "第" + tail + "个";
    for (const auto& entry : kCheckCodeTexts)
        if (AnsiSameText(code, entry.code))
            text += entry.text;
    return text;
}

AnsiString FormatProblemCheckResult(const AnsiString& record) {
    const size_t comma = record.find(',');
    const AnsiString number = comma == AnsiString::npos ? AnsiString() : record.substr(0, comma);
    const AnsiString tokens = comma == AnsiString::npos ? record : record.substr(comma + 1);
    AnsiString result = "第" + number + "题:";
    ForEachPiece(tokens, " ", [&result](const AnsiString& token) {
        result += "\r\n" + CheckCodeToText(token);
        return true;
    });
    return result;
}

AnsiString FormatCheckResults(const AnsiString& payload, size_t maxLength) {
    AnsiString result;
    bool first = true;
    ForEachPiece(payload, ";", [&](const AnsiString& record) {
        if (!first)
            result += "\r\n";
        first = false;
        result += FormatProblemCheckResult(record);
        return result.size() <= maxLength;
    });
    return result;
}
