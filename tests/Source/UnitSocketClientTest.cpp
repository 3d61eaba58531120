// The main connection over real loopback TCP: connecting, attendance, problem list and types,
// the poll, notices and broadcasts, echoes, the dispatch rules and the socket error rule.
#include "ClientFixture.h"

#include "Codec.h"
#include "Sockets.h"

#include <QTcpServer>

#include <string>
#include <vector>

namespace {

// A loopback port that nothing listens on.
int ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

// ---- Connecting ----

class TSClientConnect : public ClientFixture {};

TEST_F(TSClientConnect, FreshConnectionIsUpOnReturnAndCarriesTheReportSentRightAfter) {
    EXPECT_TRUE(Client.ConnectServer(Loopback, Server.Port(), false));
    EXPECT_TRUE(Client.FSocket->Active());
    Client.ReportAttendance("pa55");
    EXPECT_TRUE(WaitForReceived("90" + Identity + "?1000?pa55"));
    EXPECT_EQ(Server.ConnectionCount(), 1);
}

TEST_F(TSClientConnect, ReportIsSentOnlyWithABuiltIdentity) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    Client.FIdentity.clear();
    Client.ReportAttendance("472");
    Client.FIdentity = Identity;
    Client.ReportAttendance("pa55");
    EXPECT_TRUE(WaitForReceived("90" + Identity + "?1000?pa55"));
}

TEST_F(TSClientConnect, RefusedConnectionGivesFalseAndShowsNothing) {
    ModalBoxCloser closer;
    int errors = 0;
    Client.FSocket->OnError = [&errors, rule = Client.FSocket->OnError](auto& s, auto e,
                                                                        int& code) {
        ++errors;
        rule(s, e, code);
    };
    EXPECT_FALSE(Client.ConnectServer(Loopback, ClosedPort(), true));
    ASSERT_TRUE(WaitUntil([&] { return errors == 1; })); // the refusal comes from the event loop
    EXPECT_FALSE(Client.FSocket->Active());
    EXPECT_TRUE(closer.Boxes().empty());
    EXPECT_TRUE(Lines().empty());
}

TEST_F(TSClientConnect, UnchangedActiveConnectionIsKept) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_TRUE(Client.ConnectServer(Loopback, Server.Port(), false));
    Client.PollServer();
    ASSERT_TRUE(Server.WaitForMessages(1));
    EXPECT_EQ(Server.ConnectionCount(), 1);
    EXPECT_EQ(Server.Messages()[0].Connection, 0);
    EXPECT_TRUE(Server.Connection(0).IsOpen());
}

TEST_F(TSClientConnect, ForceReplacesTheConnection) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_TRUE(Client.ConnectServer(Loopback, Server.Port(), true));
    ASSERT_TRUE(Server.WaitForConnections(2));
    EXPECT_TRUE(Server.Connection(0).WaitForClosed());
    Client.PollServer();
    ASSERT_TRUE(Server.WaitForMessages(1));
    EXPECT_EQ(Server.Messages()[0].Connection, 1);
    EXPECT_EQ(Server.ConnectionCount(), 2);
}

TEST_F(TSClientConnect, ChangedPortMovesToTheOtherServer) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    ScriptedTeacherServer other;
    EXPECT_TRUE(Client.ConnectServer(Loopback, other.Port(), false));
    EXPECT_TRUE(Server.Connection(0).WaitForClosed());
    Client.PollServer();
    ASSERT_TRUE(other.WaitForMessages(1));
    EXPECT_EQ(other.MessageTexts(), std::vector<AnsiString>{"26" + Identity + "?"});
    EXPECT_TRUE(Server.Messages().empty());
}

TEST_F(TSClientConnect, DestroyingTheClientClosesItsConnection) {
    auto client = std::make_unique<TSClient>();
    ASSERT_TRUE(client->ConnectServer(Loopback, Server.Port(), true));
    ASSERT_TRUE(Server.WaitForConnections(1));
    client.reset();
    EXPECT_TRUE(Server.Connection(0).WaitForClosed());
}

// ---- Sending while the connection is down ----

class TSClientSendWhileDown : public ClientFixture {};

TEST_F(TSClientSendWhileDown, NeverOpenedClientDropsEverySendSilently) {
    ModalBoxCloser closer;
    Client.ReportAttendance("pa55");
    Client.PollServer();
    EXPECT_TRUE(closer.Boxes().empty());
    EXPECT_TRUE(Lines().empty());
}

TEST_F(TSClientSendWhileDown, MessagesAfterTheServerClosedNeverReachTheWire) {
    ModalBoxCloser closer;
    ASSERT_NO_FATAL_FAILURE(Connect());
    Server.CloseConnection(0);
    ASSERT_TRUE(WaitUntil([&] { return !Client.FSocket->Active(); }));
    Client.ReportAttendance("lost");
    Client.PollServer();
    ASSERT_TRUE(Client.ConnectServer(Loopback, Server.Port(), false));
    Client.ReportAttendance("pa55");
    EXPECT_TRUE(WaitForReceived("90" + Identity + "?1000?pa55"));
    EXPECT_EQ(Server.Messages()[0].Connection, 1);
    EXPECT_TRUE(closer.Boxes().empty());
}

// ---- Socket errors ----

class TSClientErrors : public ConnectedClientFixture {};

TEST_F(TSClientErrors, ResetIsClearedAndKeepsTheConnection) {
    int code = 10054;
    Client.ClientSocketError(Client.FSocket->Socket(), code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(Client.FSocket->Active());
    Client.PollServer();
    EXPECT_TRUE(WaitForReceived("26" + Identity + "?"));
}

TEST_F(TSClientErrors, AbortedAndRefusedAreClearedAndCloseTheConnection) {
    for (int error : {10053, 10061}) {
        SCOPED_TRACE(error);
        const int connections = Server.ConnectionCount() + 1;
        ASSERT_TRUE(Client.ConnectServer(Loopback, Server.Port(), true));
        ASSERT_TRUE(Server.WaitForConnections(connections));
        int code = error;
        Client.ClientSocketError(Client.FSocket->Socket(), code);
        EXPECT_EQ(code, 0);
        EXPECT_FALSE(Client.FSocket->Active());
        EXPECT_TRUE(Server.Connection().WaitForClosed());
    }
}

// ---- Attendance ----

class TSClientAttendance : public ConnectedClientFixture {
protected:
    void SetUp() override {
        ConnectedClientFixture::SetUp();
        Client.FOnClientIndex = [this] { Calls.push_back("index " + Client.FClientIndex); };
        Client.FOnPortReady = [this](int index) { Calls.push_back("port " + IntToStr(index)); };
        for (QPushButton* button : {&BtnSendFile, &BtnRequestScore, &BtnDownNew})
            button->setEnabled(false);
    }

    std::vector<AnsiString> Ports() const { return {Client.FPorts.begin(), Client.FPorts.end()}; }
    bool ControlsEnabled() const {
        return BtnSendFile.isEnabled() && BtnRequestScore.isEnabled() && BtnDownNew.isEnabled();
    }

    std::vector<AnsiString> Calls;
};

TEST_F(TSClientAttendance, ReportAndReplyExchange) {
    const ScopedClock clock(TestMoment);
    Server.OnCode("90", "22 2030 +2031+ 2032+17");
    Client.ReportAttendance("pa55");
    ASSERT_TRUE(WaitForReceived("90" + Identity + "?1000?pa55" + "16" + Identity));

    EXPECT_EQ(Ports(), (std::vector<AnsiString>{"2030", "2031", "2032"}));
    EXPECT_EQ(Client.FClientIndex, "17");
    EXPECT_TRUE(ControlsEnabled());
    EXPECT_EQ(Lines(), (std::vector<AnsiString>{"", "08:05:09 报到成功."}));
    EXPECT_EQ(Calls, (std::vector<AnsiString>{"index 17", "port 0", "port 1", "port 2"}));
}

TEST_F(TSClientAttendance, FirstPortOfAtMost1000DisablesTheControls) {
    for (QPushButton* button : {&BtnSendFile, &BtnRequestScore, &BtnDownNew})
        button->setEnabled(true);
    Server.Send("221000+2031+2032+17");
    ASSERT_TRUE(WaitForReceived("16" + Identity));
    EXPECT_FALSE(BtnSendFile.isEnabled());
    EXPECT_FALSE(BtnRequestScore.isEnabled());
    EXPECT_FALSE(BtnDownNew.isEnabled());
    EXPECT_EQ(Ports()[0], "1000");
    EXPECT_EQ(Calls.size(), 4u);
}

TEST_F(TSClientAttendance, FewerThanThreeFieldsFailsTheAssertionAndChangesNothingElse) {
    ModalBoxCloser closer;
    EXPECT_EQ(SentAfter("222030+17"), "");
    ASSERT_EQ(closer.Boxes().size(), 1u);
    EXPECT_EQ(FromQString(closer.Boxes()[0].text),
              "Assertion failure (Source/UnitSocketClient, line 476)");
    EXPECT_EQ(Client.FClientIndex, "17");
    EXPECT_EQ(Ports(), (std::vector<AnsiString>{"", "", ""}));
    EXPECT_FALSE(ControlsEnabled());
    EXPECT_TRUE(Lines().empty());
    EXPECT_TRUE(Calls.empty());
}

TEST_F(TSClientAttendance, FirstPortNotANumberStopsAfterTheClientIndex) {
    ModalBoxCloser closer;
    EXPECT_EQ(SentAfter("22abc+2031+2032+9"), "");
    ASSERT_EQ(closer.Boxes().size(), 1u);
    EXPECT_EQ(FromQString(closer.Boxes()[0].text), "'abc' is not a valid integer value");
    EXPECT_EQ(Ports(), (std::vector<AnsiString>{"abc", "2031", "2032"}));
    EXPECT_EQ(Calls, std::vector<AnsiString>{"index 9"});
    EXPECT_TRUE(Lines().empty());
}

TEST_F(TSClientAttendance, PortsPastOnePerChannelAreNotKept) {
    Server.Send("222030+2031+2032+2033+ 2034 +17");
    ASSERT_TRUE(WaitForReceived("16" + Identity));
    EXPECT_EQ(Ports(), (std::vector<AnsiString>{"2030", "2031", "2032"}));
    EXPECT_EQ(Client.FClientIndex, "17");
}

// ---- Problem list and problem types ----

class TSClientProblems : public ConnectedClientFixture {
protected:
    std::vector<AnsiString> BoxItems() const {
        std::vector<AnsiString> items;
        for (int i = 0; i < ProblemBox.count(); ++i)
            items.push_back(FromQString(ProblemBox.itemText(i)));
        return items;
    }
};

TEST_F(TSClientProblems, ProblemListFillsTheNumbersAndIsAcknowledged) {
    Server.Send("171=k1\r\n2=k2\n3=k3");
    ASSERT_TRUE(WaitForReceived("23" + Identity));
    EXPECT_EQ(BoxItems(), (std::vector<AnsiString>{"1", "2", "3"}));
    EXPECT_EQ(Client.FProblems.Values("2"), "k2");
    EXPECT_EQ(Client.FProblems.Count(), 3);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(TSClientProblems, NewProblemListLeavesNoProblemChosen) {
    // The main window's box is editable; a number the student typed goes with the old list.
    ProblemBox.setEditable(true);
    ProblemBox.setEditText(QStringLiteral("3"));
    Server.Send("171=k1\r\n2=k2\r\n3=k3");
    ASSERT_TRUE(WaitForReceived("23" + Identity));
    EXPECT_EQ(ProblemBox.count(), 3);
    EXPECT_EQ(ProblemBox.currentIndex(), -1);
    EXPECT_EQ(ProblemBox.currentText(), QString());
}

TEST_F(TSClientProblems, EmptyProblemListEmptiesTheBoxAndLogsTheNote) {
    ProblemBox.addItems({QStringLiteral("1"), QStringLiteral("2")});
    Server.Send("17");
    ASSERT_TRUE(WaitForReceived("23" + Identity));
    EXPECT_EQ(ProblemBox.count(), 0);
    const AnsiString rule(28, '-');
    EXPECT_EQ(Lines(), (std::vector<AnsiString>{rule, "----注: 本套题目无测试题----", rule}));
}

TEST_F(TSClientProblems, TheBoxTakesAtMost999ProblemNumbers) {
    AnsiString list;
    for (int number = 1; number <= 1200; ++number)
        list += IntToStr(number) + "=k\r\n";
    Server.Send("17" + list);
    ASSERT_TRUE(WaitForReceived("23" + Identity));
    EXPECT_EQ(Client.FProblems.Count(), 999);
    ASSERT_EQ(ProblemBox.count(), 999);
    EXPECT_EQ(ProblemBox.itemText(998), QStringLiteral("999"));
}

TEST_F(TSClientProblems, TypesAndScoresKeepNoLinePastTheLastProblemNumber) {
    const struct {
        const char* code;
        const TStringList TSClient::*table;
    } cases[] = {{"24", &TSClient::FProblemTypes}, {"12", &TSClient::FScores}};
    AnsiString lines;
    for (int number = 1; number <= 1200; ++number)
        lines += IntToStr(number) + "=1\r\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        Deliver(c.code + lines);
        EXPECT_EQ((Client.*c.table).Count(), 999);
        EXPECT_EQ((Client.*c.table)[998], "999=1");
    }
}

TEST_F(TSClientProblems, ProblemListWithoutABoundBoxIsStillAcknowledged) {
    Client.FProblemBox = nullptr;
    Server.Send("17");
    ASSERT_TRUE(WaitForReceived("23" + Identity));
    EXPECT_TRUE(Lines().empty());
}

TEST_F(TSClientProblems, ProblemTypesAreKeptAcknowledgedAndSetChannelZeroUpAgain) {
    std::vector<int> channels;
    Client.FOnPortReady = [&](int index) { channels.push_back(index); };
    Server.Send("241=0\r\n2=2");
    ASSERT_TRUE(WaitForReceived("25" + Identity));
    EXPECT_EQ(Client.FProblemTypes.Values("1"), "0");
    EXPECT_EQ(Client.FProblemTypes.Values("2"), "2");
    EXPECT_EQ(channels, std::vector<int>{0});
}

// ---- Poll ----

class TSClientPoll : public ConnectedClientFixture {
protected:
    int Polls() const {
        int polls = 0;
        for (const AnsiString& message : Server.MessageTexts())
            polls += message == "26" + Identity + "?";
        return polls;
    }
};

TEST_F(TSClientPoll, OnePollOutstandingUntilTheServerStopsAnswering) {
    int answered = 0;
    Server.OnCode("26", [&](ScriptedPeer& peer, const AnsiString&) {
        if (answered++ < 2)
            peer.Send("25");
    });
    Server.Send("25"); // the first restarting reply starts the polling
    ASSERT_TRUE(WaitUntil([&] { return Polls() == 3; }));
    // An unanswered poll is never followed by another: the timer that sends them stays off.
    EXPECT_FALSE(PollTimer.isActive());
    EXPECT_EQ(Server.MessageTexts().size(), 3u);
}

TEST_F(TSClientPoll, BroadcastRepliesRestartTheTimerAndLogOnlyFlaggedText) {
    struct Case {
        AnsiString message;
        bool logs;
        AnsiString text; // the line after the empty line and the stamped heading
    };
    const Case cases[] = {
        {"261课堂测验开始", true, "课堂测验开始"},
        {"261", true, ""},
        {"260not shown", false, ""},
        {"26", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ClearLog();
        PollTimer.stop();
        Server.Send(c.message);
        ASSERT_TRUE(WaitUntil([&] { return PollTimer.isActive(); }));
        const std::vector<AnsiString> lines = Lines();
        if (!c.logs) {
            EXPECT_TRUE(lines.empty());
            continue;
        }
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], "");
        EXPECT_TRUE(IsStamped(lines[1], " 系统广播消息: ")) << lines[1];
        EXPECT_EQ(lines[2], c.text);
    }
}

TEST_F(TSClientPoll, OtherRepliesDoNotRestartTheTimer) {
    Server.Send("15notice");
    ASSERT_TRUE(WaitUntil([&] { return Lines().size() == 2; }));
    Server.Send("04");
    ASSERT_TRUE(WaitForReceived("04" + Identity));
    Deliver("17");
    Deliver("08text");
    EXPECT_FALSE(PollTimer.isActive());
}

// ---- Notices, server messages and echoes ----

class TSClientNotices : public ConnectedClientFixture {};

TEST_F(TSClientNotices, NoticeIsOneStampedLineAfterAnEmptyOne) {
    Server.Send("15请交作业");
    ASSERT_TRUE(WaitUntil([&] { return Lines().size() == 2; }));
    EXPECT_EQ(Lines()[0], "");
    EXPECT_TRUE(IsStamped(Lines()[1], "  请交作业")) << Lines()[1];
}

TEST_F(TSClientNotices, ServerMessageIsAStampedHeadingAndItsText) {
    const ScopedClock clock(TestMoment);
    Server.Send("08第一行\r\n第二行");
    ASSERT_TRUE(WaitUntil([&] { return Lines().size() == 4; }));
    EXPECT_EQ(Lines(), (std::vector<AnsiString>{"", "08:05:09 服务端消息: ", "第一行", "第二行"}));
}

TEST_F(TSClientNotices, EchoesAnswerWithCodeAndIdentityOnly) {
    Server.Send("04ignored payload");
    ASSERT_TRUE(WaitForReceived("04" + Identity));
    Server.Send("14");
    EXPECT_TRUE(WaitForReceived("04" + Identity + "14" + Identity));
    EXPECT_TRUE(Lines().empty());
}

// ---- Dispatch rules ----

class TSClientDispatch : public ConnectedClientFixture {};

TEST_F(TSClientDispatch, TwoMessagesInOneReadAreOneMessageOfTheFirstCode) {
    Server.Send("25"
                "261广播");
    ASSERT_TRUE(WaitUntil([&] { return PollTimer.isActive(); }));
    EXPECT_TRUE(Lines().empty());
}

TEST_F(TSClientDispatch, ShortAndUnknownMessagesAreIgnored) {
    ModalBoxCloser closer;
    // Each answer is only the echo asked for behind it: the connection still works.
    for (const char* message : {"2", "5", "99hello", "S1", "4 ", "1"})
        EXPECT_EQ(SentAfter(message), "") << message;
    EXPECT_FALSE(PollTimer.isActive());
    EXPECT_TRUE(Lines().empty());
    EXPECT_TRUE(closer.Boxes().empty());
}

TEST_F(TSClientDispatch, MessagesArrivingWhileABoxIsOpenAreHandledInsideIt) {
    ModalBoxCloser closer;
    bool echoedUnderTheBox = false;
    bool loggedUnderTheBox = false;
    closer.WhileOpen = [&] {
        Server.Send("04");
        echoedUnderTheBox = WaitForReceived("04" + Identity);
        Server.Send("29");
        loggedUnderTheBox = WaitUntil([&] { return !Lines().empty(); });
    };
    Deliver("222030+17"); // the assertion box of a short attendance reply
    ASSERT_EQ(closer.Boxes().size(), 1u);
    EXPECT_TRUE(echoedUnderTheBox);
    EXPECT_TRUE(loggedUnderTheBox);
}

// A server can send faulty replies faster than the student closes boxes: while the box of one is
// open, the errors of the next ones are logged, each on one line.
TEST_F(TSClientDispatch, ErrorsWhileAnErrorBoxIsOpenAreLoggedInsteadOfNesting) {
    ModalBoxCloser closer;
    const OnBoxShown whileOpen([&] {
        Deliver("22x");
        Deliver("22a\r\nb+2031+2032+9"); // a port of two lines
    });
    Deliver("22x");
    ASSERT_EQ(closer.Boxes().size(), 1u);
    EXPECT_EQ(FromQString(closer.Boxes()[0].text),
              "Assertion failure (Source/UnitSocketClient, line 476)");
    const std::vector<AnsiString> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(IsStamped(lines[0], " Assertion failure (Source/UnitSocketClient, line 476)"))
        << lines[0];
    EXPECT_TRUE(IsStamped(lines[1], " 'a  b' is not a valid integer value")) << lines[1];
}

// ---- Widgets ----

class TSClientWidgets : public ClientFixture {};

TEST_F(TSClientWidgets, ButtonsSwitchTogetherAndUnboundOnesAreSkipped) {
    Client.FBtnSendMessage = nullptr;
    BtnSendMessage.setEnabled(true);
    Client.SetButtonsEnabled(false);
    EXPECT_FALSE(BtnSendFile.isEnabled());
    EXPECT_FALSE(BtnRequestScore.isEnabled());
    EXPECT_FALSE(BtnSelectFile.isEnabled());
    EXPECT_TRUE(BtnSendMessage.isEnabled());
    Client.SetButtonsEnabled(true);
    EXPECT_TRUE(BtnSendFile.isEnabled() && BtnRequestScore.isEnabled() &&
                BtnSelectFile.isEnabled());
}
