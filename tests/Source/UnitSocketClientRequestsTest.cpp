// Scores, ranking, messages, instant answers and account requests over real loopback TCP: the
// exact bytes of every request, the score report and its hidden scores, the score test and the
// message acknowledgement.
#include "ClientFixture.h"

#include "SysUtils.h"

#include <string>
#include <vector>

// ---- The requests on the wire ----

class TSClientRequests : public ConnectedClientFixture {};

TEST_F(TSClientRequests, EachRequestIsOneMessageWithItsExactBytes) {
    Client.RequestScore("");
    ASSERT_TRUE(Server.WaitForMessages(1));
    Client.RequestRanking();
    ASSERT_TRUE(Server.WaitForMessages(2));
    Client.SendTextMessage("老师好\r\n第二行");
    ASSERT_TRUE(Server.WaitForMessages(3));
    Client.SendInstantAnswer("4", "1", "AB");
    ASSERT_TRUE(Server.WaitForMessages(4));
    Client.RegisterAccount("lisi?s3cret?lisi@example.com");
    ASSERT_TRUE(Server.WaitForMessages(5));
    Client.ChangePassword("s3cret?n3w");
    ASSERT_TRUE(Server.WaitForMessages(6));
    PumpEvents(SettleMs);
    EXPECT_EQ(Server.MessageTexts(), (std::vector<AnsiString>{
                                         "11" + Identity + "?",
                                         "S1" + Identity,
                                         "08" + Identity + "?老师好\r\n第二行",
                                         "31" + Identity + "?4?1?AB",
                                         "93" + Identity + "?lisi?s3cret?lisi@example.com",
                                         "94" + Identity + "?s3cret?n3w",
                                     }));
    EXPECT_TRUE(Lines().empty());
}

// ---- The score reply ----

TEST_F(TSClientRequests, ScoreReplyLogsTheReportAndEndsTheRequest) {
    Client.FProblemTypes.SetText("1=0\r\n2=1\r\n3=2\r\n");
    Client.SetBusy(true);
    Deliver("121=10\r\n2=-1\r\n3=8");
    const std::vector<AnsiString> lines = Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_TRUE(IsStamped(lines[0], "  最新分数信息:")) << lines[0];
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "第  1题得分  10");
    EXPECT_EQ(lines[3], "第  2题得分-保密");
    EXPECT_EQ(lines[4], "第  3题得分   8");
    EXPECT_EQ(lines[5], "当前测试总得分 18");
    EXPECT_EQ(Client.FScores.Text(), "1=10\r\n2=-1\r\n3=8\r\n");
    EXPECT_FALSE(Client.IsBusy());
    EXPECT_TRUE(PollTimer.isActive());
}

TEST_F(TSClientRequests, EachScoreReplyReplacesTheTable) {
    Deliver("121=10\r\n2=7");
    Deliver("125=1");
    EXPECT_EQ(Client.FScores.Text(), "5=1\r\n");
    EXPECT_FALSE(Client.HasScore("1"));
}

TEST_F(TSClientRequests, MalformedScoreRepliesAreReportedAsTheyCame) {
    Deliver("12");
    Deliver("12\x01?=?\r\n=5\r\n1");
    const std::vector<AnsiString> lines = Lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[2], "当前测试总得分 0");
    // three lines, none named "1", "2" or "3"
    EXPECT_EQ(lines[5], "第  1题得分    ");
    EXPECT_EQ(lines[7], "第  3题得分    ");
    EXPECT_EQ(lines[8], "当前测试总得分 0");
}

TEST_F(TSClientRequests, MessageAcknowledgementIsOneStampedLine) {
    Deliver("92");
    Deliver("92ignored");
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_TRUE(IsStamped(Lines()[0], " 服务端收到了您发送的消息！ ")) << Lines()[0];
    EXPECT_TRUE(IsStamped(Lines()[1], " 服务端收到了您发送的消息！ ")) << Lines()[1];
}

// ---- The score report ----

class TSClientScoreReport : public ClientFixture {
protected:
    AnsiString Report(const AnsiString& scores, const AnsiString& types = "") {
        Client.FProblemTypes.SetText(types);
        TStringList table;
        table.SetText(scores);
        return Client.FormatScores(table);
    }
};

TEST_F(TSClientScoreReport, HiddenScoresOfProgrammingAndTrueFalseProblems) {
    EXPECT_EQ(Report("1=10\r\n2=-1\r\n3=8", "1=0\r\n2=1\r\n3=2"),
              "\r\n第  1题得分  10\r\n第  2题得分-保密\r\n第  3题得分   8\r\n当前测试总得分 18");
    EXPECT_EQ(Report("1=-1\r\n2= -1 ", "1=0\r\n2=1"),
              "\r\n第  1题得分-保密\r\n第  2题得分-保密\r\n当前测试总得分 0");
}

TEST_F(TSClientScoreReport, MinusOneOfOtherProblemsIsShownAndCounted) {
    EXPECT_EQ(Report("1=-1\r\n2=-1\r\n3=5", "1=2\r\n3=1"),
              "\r\n第  1题得分  -1\r\n第  2题得分  -1\r\n第  3题得分   5\r\n当前测试总得分 3");
    // A type is taken as it came: " 0" is no programming problem.
    EXPECT_EQ(Report("1=-1", "1= 0"), "\r\n第  1题得分  -1\r\n当前测试总得分 -1");
}

TEST_F(TSClientScoreReport, ProblemsAreCountedByLinesNotByName) {
    EXPECT_EQ(Report("1=10\r\n3=5"), "\r\n第  1题得分  10\r\n第  2题得分    \r\n当前测试总得分 10");
    EXPECT_EQ(Report(""), "\r\n当前测试总得分 0");
    // The first line of a number counts; "01", " 1" and "1x" name no problem.
    EXPECT_EQ(Report("01=9\r\n 1=9\r\n1x=9\r\n1=5\r\n1=7", "1=2\r\n1=0"),
              "\r\n第  1题得分   5\r\n第  2题得分    \r\n第  3题得分    \r\n第  4题得分    "
              "\r\n第  5题得分    \r\n当前测试总得分 5");
    EXPECT_EQ(Report("1=-1\r\n1=3", "1=1\r\n1=2"), "\r\n第  1题得分-保密\r\n第  2题得分    "
                                                   "\r\n当前测试总得分 0");
}

TEST_F(TSClientScoreReport, ScoresThatAreNoNumbersCountZeroAndStayUncut) {
    EXPECT_EQ(Report("1=100.5\r\n2=abc\r\n3=12345\r\n4=+7\r\n5=0x10"),
              "\r\n第  1题得分100.5\r\n第  2题得分 abc\r\n第  3题得分12345\r\n第  4题得分  +7"
              "\r\n第  5题得分0x10\r\n当前测试总得分 12352");
    EXPECT_EQ(Report("1=99999999999\r\n2=3"),
              "\r\n第  1题得分99999999999\r\n第  2题得分   3\r\n当前测试总得分 3");
}

TEST_F(TSClientScoreReport, ABoundEndsTheReportSoonAfterItAsAPrefixOfTheWhole) {
    TStringList table;
    table.SetText("1=10\r\n2=-1\r\n3=8");
    const AnsiString whole = Client.FormatScores(table);
    EXPECT_EQ(Client.FormatScores(table, whole.size()), whole);
    const AnsiString cut = Client.FormatScores(table, 20);
    EXPECT_GT(cut.size(), 20u);
    EXPECT_LT(cut.size(), whole.size());
    EXPECT_EQ(whole.compare(0, cut.size(), cut), 0) << cut;
}

TEST_F(TSClientScoreReport, WideProblemNumbersTakeMoreRoom) {
    AnsiString scores;
    for (int i = 1; i <= 1000; ++i)
        scores += std::to_string(i) + "=1\r\n";
    const AnsiString report = Report(scores);
    EXPECT_NE(report.find("\r\n第 99题得分   1\r\n第100题得分   1\r\n"), AnsiString::npos);
    EXPECT_NE(report.find("\r\n第1000题得分   1\r\n当前测试总得分 1000"), AnsiString::npos);
}

// ---- Whether a problem has a score ----

class TSClientHasScore : public ClientFixture {
protected:
    void SetUp() override { Client.FScores.SetText("1=0\r\n2=-1\r\n3=7\r\n4=abc\r\n5=7\r\n"); }
};

TEST_F(TSClientHasScore, OnlyAPositiveNumberIsAScore) {
    EXPECT_FALSE(Client.HasScore("1"));
    EXPECT_FALSE(Client.HasScore("2"));
    EXPECT_TRUE(Client.HasScore("3"));
    EXPECT_FALSE(Client.HasScore("4"));
    EXPECT_TRUE(Client.HasScore("5"));
    EXPECT_FALSE(Client.HasScore("6"));
}

TEST_F(TSClientHasScore, ProblemBeyondTheTableLengthHasNone) {
    Client.FScores.SetText("1=1\r\n2=1\r\n3=1\r\n5=7\r\n");
    EXPECT_FALSE(Client.HasScore("5"));
    EXPECT_TRUE(Client.HasScore("3"));
}

TEST_F(TSClientHasScore, ProblemNumberThatIsNoNumber) {
    EXPECT_FALSE(Client.HasScore("x")); // no value under that name: no conversion
    Client.FScores.SetText("x=5\r\n");
    EXPECT_THROW(Client.HasScore("x"), EConvertError);
}
