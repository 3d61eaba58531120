// The check and instrumenting of answer programs, from source bytes read by the line rules to
// the exact target lines or the refusal.
#include "UnitProgramCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using Lines = std::vector<AnsiString>;

const AnsiString S = "t0_syschk=cputime;";
const AnsiString C = "if cputime - t0_syschk>30, error('Cost too much time.'); end";
const AnsiString EmptyReason = "程序文件为空！";
const AnsiString FirstLineReason = "程序文件第1行必须为function声明语句。";
const AnsiString VariableReason = "\r\n程序中不能出现字符串:\r\nt0_syschk";
const AnsiString OneLineLoopReason = "\r\n循环语句不能写在一行代码上！";

struct Case {
    const char* name;
    AnsiString source; // file bytes
    Lines target;      // the instrumented lines; empty when refused
    AnsiString reason;
};

Lines LinesOf(const TStringList& list) {
    return Lines(list.begin(), list.end());
}

} // namespace

TEST(InstrumentProgram, GivesTheTargetLinesOrTheRefusal) {
    const Case cases[] = {
        {"worked example",
         "function s=mysum(n)\r\n% sum for k=1..n\r\ns=0;\r\nfor k=1:n\r\n    s=s+k;\r\nend\r\n"
         "function y=half(x)\r\n\twhile x>1\r\n\t\tx=x/2;\r\n\tend\r\ny=x;\r\n",
         {"function s=mysum(n)", S, "% sum for k=1..n", C, "s=0;", "for k=1:n", "    " + C,
          "    s=s+k;", "end", "function y=half(x)", S, "\twhile x>1", "\t\t" + C, "\t\tx=x/2;",
          "\tend", "y=x;"},
         ""},
        {"no bytes", "", {}, EmptyReason},
        {"only a line break", "\r\n", {}, FirstLineReason},
        {"blank before function", " function f", {}, FirstLineReason},
        {"capital F", "Function f", {}, FirstLineReason},
        {"UTF-8 signature",
         "\xEF\xBB\xBF"
         "function f",
         {},
         FirstLineReason},
        {"comment first", "% mine\nfunction f", {}, FirstLineReason},
        {"one line", "function f", {"function f", S}, ""},
        {"short answer", "function r=myfun\r\n r='1';\r\n", {"function r=myfun", S, " r='1';"}, ""},
        {"loop on one line", "function f\nfor k=1:3, s=k; end", {}, OneLineLoopReason},
        {"format and end", "function f\nfprintf(format, x(end))", {}, OneLineLoopReason},
        {"while inside a word",
         "function f\nmeanwhile=1;\nx=2;",
         {"function f", S, "meanwhile=1;", C, "x=2;"},
         ""},
        {"other letter cases",
         "function f\nFor=1;\nWHILE=2;\nEnd=3;",
         {"function f", S, "For=1;", "WHILE=2;", "End=3;"},
         ""},
        {"first line holds both words",
         "function for_t0_syschk\nx=1",
         {"function for_t0_syschk", S, "x=1"},
         ""},
        {"variable on a later line", "function f\nx=t0_syschk;", {}, VariableReason},
        {"function line that is a loop line",
         "function f\nfunction y=transform(x)\ny=x;",
         {"function f", S, "function y=transform(x)", C, "y=x;"},
         ""},
        {"own indent wins over two tabs",
         "function f\n    for k=1:2\n\t\tx=k;",
         {"function f", S, "    for k=1:2", "    " + C, "\t\tx=k;"},
         ""},
        {"next line's four spaces win over a tab",
         "function f\n\tfor k=1:2\n    x=k;",
         {"function f", S, "\tfor k=1:2", "    " + C, "    x=k;"},
         ""},
        {"mixed blanks copied as they are",
         "function f\n \tfor k=1:2\n\t \t x=k;",
         {"function f", S, " \tfor k=1:2", "\t \t " + C, "\t \t x=k;"},
         ""},
        {"blank next line",
         "function f\nfor k=1:2\n      \nend",
         {"function f", S, "for k=1:2", "      " + C, "      ", "end"},
         ""},
        {"loop as the last line",
         "function f\n  while 1",
         {"function f", S, "  while 1", "  " + C},
         ""},
        {"first refusal ends the work",
         "function f\nfor k=1:2, end\nt0_syschk",
         {},
         OneLineLoopReason},
        {"lone CR, lone LF, NUL",
         "function f\rx=1\n\ny=2\0for k=1:2, end"s,
         {"function f", S, "x=1", "", "y=2"},
         ""},
        {"GBK comments and strings",
         "function f\n% 求和\ns='循环';",
         {"function f", S, "% 求和", "s='循环';"},
         ""},
        // "協" and "積" end in the bytes "f" and "e".
        {"trail bytes begin no word",
         "function f\n% 協or 積nd\nx=1",
         {"function f", S, "% 協or 積nd", "x=1"},
         ""},
    };
    for (const Case& c : cases) {
        TStringList source;
        source.SetText(c.source);
        TStringList target;
        target.Add("left over");
        AnsiString reason = "left over";
        const bool accepted = InstrumentProgram(source, target, reason);
        EXPECT_EQ(accepted, c.reason.empty()) << c.name;
        EXPECT_EQ(reason, c.reason) << c.name;
        if (accepted) {
            EXPECT_EQ(LinesOf(target), c.target) << c.name;
        }
    }
}

TEST(InstrumentProgram, HandlesLongLinesAndManyLines) {
    TStringList source;
    source.Add("function f");
    for (int i = 0; i < 100000; ++i) {
        source.Add("for k=1:2");
        source.Add("  x=k;");
    }
    source.Add(AnsiString(100000, ' ') + "while x");
    TStringList target;
    AnsiString reason;
    ASSERT_TRUE(InstrumentProgram(source, target, reason));
    ASSERT_EQ(target.Count(), 2 + 300000 + 2);
    EXPECT_EQ(target[3], "  " + C);
    EXPECT_EQ(target[target.Count() - 1], AnsiString(100000, ' ') + C);
}

TEST(MentionsInputOrPause, FindsEitherWordInAnyLetterCaseAnywhere) {
    const std::pair<AnsiString, bool> cases[] = {
        {"x=INPUT('a');", true},    {"% Pause here", true},  {"myinputs=1;", true},
        {"s='求pause值';", true},   {"imput pau se", false}, {"", false},
        {"% 扞NPUT 丳AUSE", false}, // the characters end in the bytes "I" and "P"
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(MentionsInputOrPause(text), expected) << text;
}
