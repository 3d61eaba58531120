#include "UnitCheckText.h"
#include "TestSupport.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

TEST(ShortAnswers, RecogniseJudgementsAndChoices) {
    for (const char* yes : {"T", "y", "0", "n", "1", "F", "f"})
        EXPECT_TRUE(IsJudgeAnswer(yes)) << yes;
    for (const char* no : {"TT", "x", "2", "", " T"})
        EXPECT_FALSE(IsJudgeAnswer(no)) << no;
    for (const char* yes : {"ABCD", "fa", ""})
        EXPECT_TRUE(IsChoiceAnswer(yes)) << yes;
    for (const char* no : {"AG", "A B", "1"})
        EXPECT_FALSE(IsChoiceAnswer(no)) << no;
}

TEST(ShortAnswers, JudgeScriptIsTwentySevenBytes) {
    ProgramFolder folder;
    folder.Write("temp.m", "something longer that must go away");
    AnsiString script;
    MakeJudgeAnswerScript("T", folder.File("temp.m"), script);
    EXPECT_EQ(script, "function r=myfun\r\n r='1';\r\n");
    EXPECT_EQ(folder.Read("temp.m"), script);
    EXPECT_EQ(script.size(), 27u);
    for (const char* no : {"N", "F", "0"}) {
        MakeJudgeAnswerScript(no, folder.File("temp.m"), script);
        EXPECT_EQ(script, "function r=myfun\r\n r='0';\r\n") << no;
    }
}

TEST(ShortAnswers, ChoiceScriptHoldsTheAnswer) {
    ProgramFolder folder;
    AnsiString script;
    MakeChoiceAnswerScript("ABD", folder.File("temp.m"), script);
    EXPECT_EQ(script, "function r=myfun\r\n r='ABD';\r\n");
    EXPECT_EQ(folder.Read("temp.m"), script);
}

TEST(CheckResults, TokensGiveTheirTexts) {
    EXPECT_EQ(CheckCodeToText("0"), "运行出错！");
    EXPECT_EQ(CheckCodeToText("+"), "运行结果正确！");
    EXPECT_EQ(CheckCodeToText("2009+"), "运行结果正确！");
    EXPECT_EQ(CheckCodeToText("20000"), "运行出错！");
    EXPECT_EQ(CheckCodeToText("20064"), "第4个返回参数double型数组, 与标准解答之间误差较大");
    EXPECT_EQ(CheckCodeToText("20011"), "第1个返回参数sym型数组, 与标准解答维数不一致");
    EXPECT_EQ(CheckCodeToText("20042"),
              "第2个返回参数char型数组, 与标准解答维数相同，但字符串不完全相同");
    EXPECT_EQ(CheckCodeToText("20073"), "第3个");
    EXPECT_EQ(CheckCodeToText("020011"), "第1个") << "a leading zero is another code";
    EXPECT_EQ(CheckCodeToText(""), "第个");
    EXPECT_EQ(CheckCodeToText("x"), "第x个");
}

TEST(CheckResults, TheWorkedExample) {
    EXPECT_EQ(FormatCheckResults("1,+;2,20011 20052;3,0"),
              "第1题:\r\n运行结果正确！\r\n"
              "第2题:\r\n第1个返回参数sym型数组, 与标准解答维数不一致\r\n"
              "第2个返回参数double型数组, 与标准解答维数不一致\r\n"
              "第3题:\r\n运行出错！");
}

TEST(CheckResults, MalformedPayloadsStillGiveText) {
    EXPECT_EQ(FormatProblemCheckResult("5,+"), "第5题:\r\n运行结果正确！");
    EXPECT_EQ(FormatProblemCheckResult("5,"), "第5题:\r\n第个");
    EXPECT_EQ(FormatProblemCheckResult("+"), "第题:\r\n运行结果正确！");
    EXPECT_EQ(FormatCheckResults(""), "第题:\r\n第个");
    EXPECT_EQ(FormatCheckResults("1,+;"), "第1题:\r\n运行结果正确！\r\n第题:\r\n第个");
    EXPECT_EQ(FormatCheckResults(" 1 , +  ; 2,0"),
              "第1 题:\r\n第个\r\n运行结果正确！\r\n第2题:\r\n运行出错！");
}

TEST(LocalAddresses, AreDottedIPv4) {
    const auto list = GetLocalIPList();
    const QRegularExpression dotted(QStringLiteral(R"(^\d{1,3}(\.\d{1,3}){3}$)"));
    for (const auto& address : *list)
        EXPECT_TRUE(dotted.match(QString::fromStdString(address)).hasMatch()) << address;
}

} // namespace
