// "链接", "报到", the attendance reply, the poll and the machine identity, against a scripted
// teacher server on the loopback address.
#include "MainWindowFixture.h"

#include "ScriptedTeacherServer.h"
#include "Sockets.h"
#include "UnitSocketClient.h"
#include "UnitThreadReceiverNew.h"

#include <QTimer>

namespace {

class ConnectReportTest : public MainWindowTest {
protected:
    // Clicks "报到" again, after the force-report command has made it available.
    void ReportAgain(TFormMain& w) {
        w.NReReportClick();
        w.btnReport->click();
    }
    size_t ReportsReceived() const {
        const AnsiString received = Server.Received();
        size_t count = 0;
        for (size_t at = received.find("90" + ConnectedIdentity); at != AnsiString::npos;
             at = received.find("90" + ConnectedIdentity, at + 1))
            ++count;
        return count;
    }
    size_t EnumerationCount() const { return Hardware.EventsStartingWith("enumerate").size(); }

    ScriptedTeacherServer Server;
};

} // namespace

TEST_F(ConnectReportTest, ConnectThenReportSendsTheIdentityWithTheMachineIdentifier) {
    TFormMain& w = CreateWindowFor(Server);
    w.btnConnect->click();
    EXPECT_EQ(w.FClient->FIdentity, ConnectedIdentity);
    EXPECT_EQ(w.FClient->FStudentNo, "2023001");
    EXPECT_TRUE(w.btnConnect->isEnabled());
    for (QWidget* button :
         {w.btnSelectFile, w.btnRequestScore, w.btnSendFile, w.btnReport, w.btnSendMessage})
        EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
    EXPECT_FALSE(w.btnDownNew->isEnabled());
    for (auto& channel : w.FDownloaders) {
        EXPECT_EQ(channel->FLog, w.Memo1);
        EXPECT_EQ(channel->FStudentNo, "2023001");
    }
    ASSERT_TRUE(Server.WaitForConnections(1));
    EXPECT_TRUE(Server.Messages().empty()); // connecting sends nothing

    w.btnReport->click();
    ASSERT_TRUE(Server.WaitForMessages(1));
    EXPECT_EQ(Server.MessageTexts()[0], "90" + ConnectedIdentity + "?1000?472");
    EXPECT_FALSE(w.btnReport->isEnabled());
    EXPECT_EQ(Server.ConnectionCount(), 1); // the report keeps the open connection
    EXPECT_EQ(w.FClient->FPollTimer, w.Timer_Msg);
    EXPECT_EQ(w.FClient->FProblemBox, w.EditOrder);
    EXPECT_EQ(w.FClient->FControls[0], w.btnSendFile);
    EXPECT_EQ(w.FClient->FControls[1], w.btnRequestScore);
    EXPECT_EQ(w.FClient->FControls[2], nullptr);
    EXPECT_EQ(w.FClient->FControls[3], w.btnDownNew);
    EXPECT_EQ(BoxCount(), 0u);
}

TEST_F(ConnectReportTest, ACourseNameOutsideTheListGoesIntoTheIdentityAsTyped) {
    TFormMain& w = CreateWindowFor(Server, "  自学课 ");
    w.btnConnect->click();
    w.btnReport->click();
    ASSERT_TRUE(Server.WaitForMessages(1));
    EXPECT_EQ(Server.MessageTexts()[0], "90" + FirstAdapterId + "?  自学课 ?2023001?1000?472");
}

TEST_F(ConnectReportTest, ABlankCourseNameStopsConnectAndReportWithItsBox) {
    TFormMain& w = CreateWindowFor(Server, " \t ");
    const size_t enumerations = EnumerationCount();
    w.btnConnect->click();
    w.NReReportClick();
    w.btnReport->click();
    ASSERT_EQ(BoxCount(), 2u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(Box(i), "操作提示 | 请选择或输入课程名称，并输入列表框中的课程名称进行确认。");
    EXPECT_EQ(EnumerationCount(), enumerations); // no machine identifier was built
    EXPECT_EQ(w.FReportCount, 0);
    EXPECT_TRUE(w.btnReport->isEnabled());
    EXPECT_EQ(w.FClient->FPollTimer, w.Timer_Msg); // bound before the check
    EXPECT_EQ(w.FClient->FProblemBox, nullptr);
    PumpEvents(20);
    EXPECT_EQ(Server.ConnectionCount(), 0);
}

TEST_F(ConnectReportTest, ReportsTwoToTenAreCountedInABoxAndTheOthersAreNot) {
    TFormMain& w = CreateWindowFor(Server);
    w.btnConnect->click();
    for (int report = 1; report <= 11; ++report)
        ReportAgain(w);
    ASSERT_EQ(BoxCount(), 9u);
    for (int count = 2; count <= 10; ++count)
        EXPECT_EQ(Box(static_cast<size_t>(count - 2)),
                  "提醒 | " + Format("您这是第%d次报到！", count));
    EXPECT_EQ(w.FReportCount, 11);
    // Reports that arrive together are one read on the server's side.
    EXPECT_TRUE(WaitUntil([&] { return ReportsReceived() == 11; }));
}

TEST_F(ConnectReportTest, AWindowClosedWhileTheReportCountIsShownReportsNoMore) {
    TFormMain& w = CreateWindowFor(Server);
    w.btnConnect->click();
    w.btnReport->click();
    Boxes.WhileOpen = [&] {
        Boxes.WhileOpen = nullptr;
        CloseWindow();
    };
    ReportAgain(w);
    EXPECT_EQ(BoxCount(), 1u);
    EXPECT_EQ(w.FClient, nullptr);
    EXPECT_TRUE(Server.Connection().WaitForClosed());
    EXPECT_EQ(ReportsReceived(), 1u);
}

TEST_F(ConnectReportTest, ForceReportEnablesReportAndSelectFileOnly) {
    TFormMain& w = CreateWindow();
    w.btnSelectFile->setEnabled(false);
    w.BitBtn1->click();
    EXPECT_TRUE(w.btnReport->isEnabled());
    EXPECT_TRUE(w.btnSelectFile->isEnabled());
    for (QWidget* button : {w.btnSendFile, w.btnRequestScore, w.btnSendMessage, w.btnDownNew})
        EXPECT_FALSE(button->isEnabled());
    w.btnReport->setEnabled(false);
    w.NReReport->trigger();
    EXPECT_TRUE(w.btnReport->isEnabled());
    EXPECT_EQ(w.FReportCount, 0);
}

TEST_F(ConnectReportTest, ConnectingAgainKeepsTheConnectionButRebuildsTheIdentity) {
    TFormMain& w = CreateWindowFor(Server);
    w.btnConnect->click();
    ASSERT_TRUE(Server.WaitForConnections(1));
    const size_t enumerations = EnumerationCount();
    w.EditStudNo->setText(QStringLiteral("2023002"));
    w.btnConnect->click();
    EXPECT_EQ(LogLines(w.Memo1).back(), "已经与服务器链接！不必重新链接。");
    EXPECT_GT(EnumerationCount(), enumerations); // a fresh machine identifier
    EXPECT_EQ(w.FClient->FIdentity, FirstAdapterId + "?高等数学?2023002");
    PumpEvents(20);
    EXPECT_EQ(Server.ConnectionCount(), 1);
}

TEST_F(ConnectReportTest, ConnectingDuringAnUploadLeavesTheWorkButtonsAlone) {
    TFormMain& w = CreateWindowFor(Server);
    w.FClient->SetBusy(true);
    w.btnConnect->click();
    for (QWidget* button : {w.btnRequestScore, w.btnSendFile, w.btnReport, w.btnSendMessage})
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    EXPECT_TRUE(w.btnConnect->isEnabled());
}

TEST_F(ConnectReportTest, ReportAddsTheServerAddressToTheListOnceLetterCaseIgnored) {
    TFormMain& w = CreateWindowFor(Server);
    w.cbxIP->addItem(QStringLiteral("LocalHost"));
    w.cbxIP->setEditText(QStringLiteral("localhost"));
    w.btnReport->click();
    EXPECT_EQ(w.cbxIP->count(), 1);
    w.cbxIP->setEditText(QStringLiteral("127.0.0.1"));
    ReportAgain(w);
    ReportAgain(w);
    ASSERT_EQ(w.cbxIP->count(), 2);
    EXPECT_EQ(w.cbxIP->itemText(1), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(w.cbxIP->currentText(), QStringLiteral("127.0.0.1"));
}

TEST_F(ConnectReportTest, TheAttendanceReplyShowsTheIndexSwitchesTheControlsAndSetsUpTheChannels) {
    ScriptedTeacherServer channels[3];
    TFormMain& w = CreateWindowFor(Server);
    w.btnConnect->click();
    w.btnReport->click();
    ASSERT_TRUE(Server.WaitForMessages(1));
    Server.Send("22" + IntToStr(channels[0].Port()) + "+" + IntToStr(channels[1].Port()) + "+" +
                IntToStr(channels[2].Port()) + "+17");
    ASSERT_TRUE(Server.WaitForMessages(2));
    EXPECT_EQ(Server.MessageTexts()[1], "16" + ConnectedIdentity);
    EXPECT_EQ(w.lblClientIndex->text(), QStringLiteral("17"));
    for (QWidget* control : {w.btnSendFile, w.btnRequestScore, w.btnDownNew})
        EXPECT_TRUE(control->isEnabled());
    for (auto& channel : channels)
        EXPECT_TRUE(channel.WaitForConnections(1));
    EXPECT_EQ(w.FDownloaders[0]->FButton, w.btnDownNew);
    EXPECT_EQ(w.FDownloaders[1]->FButton, w.btnDownShare);
    EXPECT_EQ(w.FDownloaders[2]->FButton, w.btnDownShare);
    EXPECT_EQ(w.FDownloaders[2]->FStudentNo, "2023001");

    // A first port of 1000 or less switches the three controls off again.
    ReportAgain(w);
    ASSERT_TRUE(Server.WaitForMessages(3));
    const AnsiString ports =
        "1000+" + IntToStr(channels[1].Port()) + "+" + IntToStr(channels[2].Port()) + "+";
    Server.Send("22" + ports + "18");
    ASSERT_TRUE(WaitUntil([&] { return w.lblClientIndex->text() == QStringLiteral("18"); }));
    for (QWidget* control : {w.btnSendFile, w.btnRequestScore, w.btnDownNew})
        EXPECT_FALSE(control->isEnabled());

    // The label shows no more of a long index than its first 32 bytes.
    const AnsiString index(1000, '7');
    ReportAgain(w);
    ASSERT_TRUE(Server.WaitForMessages(4));
    Server.Send("22" + ports + index);
    EXPECT_TRUE(WaitUntil([&] {
        return Text(w.lblClientIndex->text()) == index.substr(0, 32) + "…";
    })) << Text(w.lblClientIndex->text());
}

TEST_F(ConnectReportTest, EachPollTickSendsOnePollAndLeavesTheTimerStopped) {
    TFormMain& w = CreateWindowFor(Server);
    w.btnConnect->click();
    w.btnReport->click();
    ASSERT_TRUE(Server.WaitForMessages(1));
    EXPECT_FALSE(w.Timer_Msg->isActive()); // nothing polls before the server's first answer

    Server.Send("25");
    ASSERT_TRUE(Server.WaitForMessages(2));
    EXPECT_EQ(Server.MessageTexts()[1], "26" + ConnectedIdentity + "?");
    EXPECT_FALSE(w.Timer_Msg->isActive());

    Server.Send("261开始考试");
    ASSERT_TRUE(Server.WaitForMessages(3));
    EXPECT_EQ(Server.MessageTexts()[2], "26" + ConnectedIdentity + "?");
    EXPECT_EQ(LogLines(w.Memo1).back(), "开始考试");

    // "链接" stops a poll that is due.
    Server.Send("25");
    ASSERT_TRUE(WaitUntil([&] { return w.Timer_Msg->isActive(); }));
    w.btnConnect->click();
    EXPECT_FALSE(w.Timer_Msg->isActive());
}

TEST_F(ConnectReportTest, TheIdCommandLogsTheAdapterAddressesAndLeavesTheIdentityAlone) {
    Hardware.Adapters.List.push_back(
        {.Number = 1, .Address = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F}});
    TFormMain& w = CreateWindowFor(Server);
    w.btnConnect->click();
    const AnsiString identity = w.FClient->FIdentity;
    w.ID1->trigger();
    const auto lines = LogLines(w.Memo1);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(std::vector<AnsiString>(lines.end() - 4, lines.end()),
              (std::vector<AnsiString>{"ID1:", FirstAdapterId, "ID2:", "0A0B0C0D0E0F"}));
    EXPECT_EQ(w.FClient->FIdentity, identity);
}

TEST_F(ConnectReportTest, WithoutAdaptersTheMachineIdentifierIsTheProcessorIdentifier) {
    Hardware.Adapters.List.clear();
    Hardware.Processor.Functions[1] = {{.Eax = 0x00000F29, .Ecx = 0x7FBAE3FF, .Edx = 0xBFEBFBFF}};
    TFormMain& w = CreateWindow();
    EXPECT_EQ(w.GetMachineId(), "0000-0F29-BFEB-FBFF-7FBA-E3FF");
    w.ID1Click();
    const auto lines = LogLines(w.Memo1);
    EXPECT_EQ(std::vector<AnsiString>(lines.end() - 2, lines.end()),
              (std::vector<AnsiString>{"ID1:", ""}));
}
