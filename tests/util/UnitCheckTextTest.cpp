#include "UnitCheckText.h"
#include "TestSupport.h"

#include <QRegularExpression>

#include <optional>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(CheckResults, ABoundEndsTheTextSoonAfterItAsAPrefixOfTheWhole) {
    const AnsiString payload = "1,+;2,20011 20052;3,0";
    const AnsiString whole = FormatCheckResults(payload);
    EXPECT_EQ(FormatCheckResults(payload, whole.size()), whole);
    for (size_t bound : {size_t{0}, size_t{30}}) {
        const AnsiString cut = FormatCheckResults(payload, bound);
        EXPECT_GT(cut.size(), bound);
        EXPECT_LT(cut.size(), whole.size());
        EXPECT_EQ(whole.compare(0, cut.size(), cut), 0) << cut;
    }
}

TEST(LocalAddresses, AreDottedIPv4) {
    const auto list = GetLocalIPList();
    const QRegularExpression dotted(QStringLiteral(R"(^\d{1,3}(\.\d{1,3}){3}$)"));
    for (const auto& address : *list)
        EXPECT_TRUE(dotted.match(QString::fromStdString(address)).hasMatch()) << address;
}

// Runs GetLocalIPList in a child process that has a host name and a host table of its own
// (private UTS and mount namespaces); nullopt where the system allows no such namespaces.
std::optional<std::vector<AnsiString>> LocalIPListUnder(const AnsiString& hostName,
                                                        const AnsiString& hostTable) {
    ProgramFolder folder;
    const struct {
        const char* target;
        const char* name;
        AnsiString content;
    } files[] = {
        {"/etc/hosts", "hosts", hostTable},
        {"/etc/host.conf", "host.conf", "multi on\n"}, // every line of the name, not the first only
        {"/etc/nsswitch.conf", "nsswitch.conf", "hosts: files\n"}, // no name server is asked
    };
    for (const auto& file : files)
        folder.Write(file.name, file.content);
    int channel[2];
    if (pipe(channel) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        bool isolated = unshare(CLONE_NEWNS | CLONE_NEWUTS) == 0 &&
                        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                        sethostname(hostName.data(), hostName.size()) == 0;
        for (const auto& file : files)
            isolated = isolated && mount(folder.File(file.name).c_str(), file.target, nullptr,
                                         MS_BIND, nullptr) == 0;
        if (!isolated)
            _exit(2);
        AnsiString lines;
        const auto list = GetLocalIPList();
        for (const auto& address : *list)
            lines += address + "\n";
        const bool sent =
            write(channel[1], lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    AnsiString received;
    char buffer[256];
    for (ssize_t got; child > 0 && (got = read(channel[0], buffer, sizeof buffer)) > 0;)
        received.append(buffer, static_cast<size_t>(got));
    close(channel[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child ||
        (WIFEXITED(status) && WEXITSTATUS(status) == 2))
        return std::nullopt;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    std::vector<AnsiString> addresses;
    for (size_t start = 0, end; (end = received.find('\n', start)) != AnsiString::npos;
         start = end + 1)
        addresses.push_back(received.substr(start, end - start));
    return addresses;
}

TEST(LocalAddresses, KeepTheResolversOrderForNamesOfUpTo63Characters) {
    const AnsiString name(63, 'n');
    const auto addresses = LocalIPListUnder(name, "192.0.2.10 " + name + "\n127.0.0.1 " + name +
                                                      "\n198.51.100.7 " + name + "\n");
    if (!addresses)
        GTEST_SKIP() << "no private namespaces here";
    EXPECT_EQ(*addresses, (std::vector<AnsiString>{"192.0.2.10", "127.0.0.1", "198.51.100.7"}));
}

TEST(LocalAddresses, AnUnknownHostNameGivesAnEmptyList) {
    const auto addresses = LocalIPListUnder("pellucan-unknown", "192.0.2.10 someone-else\n");
    if (!addresses)
        GTEST_SKIP() << "no private namespaces here";
    EXPECT_TRUE(addresses->empty());
}

} // namespace
