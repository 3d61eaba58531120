// The main window's frame: its initial state, the settings files, the small behaviours, a
// creation that fails part-way and closing.
#include "MainWindowFixture.h"

#include "Application.h"
#include "LogView.h"
#include "ScriptedTeacherServer.h"
#include "Sockets.h"
#include "SysUtils.h"
#include "UnitFrameProb.h"
#include "UnitSocketClient.h"
#include "UnitStartFile.h"
#include "UnitThreadReceiver.h"
#include "UnitThreadReceiverNew.h"

#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTcpServer>
#include <QTimer>

namespace {

const std::vector<AnsiString> InstructionLog = {
    "如果无法成功报到或登录有错，请关闭客户端程序后重新登录。",
    "",
    " >> 成绩排名规则：",
    " >> 总分优先；分数相同者以完成时间少者优先.",
    "（一）答题前，先执行以下三步:",
    "1. 链接; 2.报到; 3.下载题目.",
    "",
    "（二）浏览题目，按照先易后难原则答题.",
    "做完一题，提交一题。提交前先本机运行通过后，再发送程序文件到服务端。",
    "",
    "（三）发送程序文件步骤:",
    "1. 选择提交解答的题目序号;",
    "2. 点击“选择文件”按钮选择程序文件;",
    "3. 点击“发送文件”按钮，发送解答程序文件至服务端。",
    "",
    "（四）如何知道解答对错？",
    "1. 发送程序后一般立刻会收到服务端返回是否正确的信息；",
    "2. 也可以通过点击“查分”了解得分情况。",
};

} // namespace

TEST_F(MainWindowTest, StartsWithTheControlsItemsAndInstructionsOfAFreshStart) {
    TFormMain& w = CreateWindow();
    EXPECT_EQ(BoxCount(), 0u);
    EXPECT_EQ(Text(w.windowTitle()), "Quorvane-客户端 2.3 RC");

    for (QWidget* disabled :
         {w.btnReport, w.btnSendMessage, w.btnSendFile, w.btnRequestScore, w.btnDownNew})
        EXPECT_FALSE(disabled->isEnabled()) << disabled->objectName().toStdString();
    for (QWidget* enabled :
         std::initializer_list<QWidget*>{w.btnConnect, w.btnDownShare, w.btnSelectFile, w.btnHelp,
                                         w.BitBtn1, w.BitBtn2, w.BitBtn3})
        EXPECT_TRUE(enabled->isEnabled()) << enabled->objectName().toStdString();
    for (QAction* item : {w.N5, w.N7, w.N6, w.N8, w.N9, w.NReReport, w.ID1})
        EXPECT_TRUE(item->isEnabled());
    EXPECT_EQ(w.PopupMenu1->actions(), (QList<QAction*>{w.N9, w.NReReport, w.ID1}));
    EXPECT_EQ(Text(w.N9->text()), "全选 (Ctrl+A)");

    EXPECT_EQ(Text(w.cbxIP->currentText()), "555.555.555.555");
    EXPECT_EQ(w.cbxIP->count(), 0);
    EXPECT_EQ(w.Edit_Port->value(), 2023);
    EXPECT_EQ(w.cbxCourseID->currentText(), QString());
    EXPECT_EQ(Items(w.cbxFileIndex), (std::vector<AnsiString>{"1", "2"}));
    EXPECT_EQ(w.cbxFileIndex->currentText(), QStringLiteral("1"));
    std::vector<AnsiString> numbers;
    for (int n = 1; n <= 20; ++n)
        numbers.push_back(IntToStr(n));
    EXPECT_EQ(Items(w.EditOrder), numbers);
    EXPECT_EQ(w.EditOrder->currentText(), QString());
    EXPECT_EQ(w.lblClientIndex->text(), QStringLiteral("-"));
    EXPECT_EQ(w.lblProbInfo->text(), QStringLiteral("--"));
    EXPECT_EQ(Text(w.EditOrder->toolTip()), "选择题目序号。\n按自然数排序，起始序号为1。");
    EXPECT_EQ(w.Edit_pwd->maxLength(), 10);
    EXPECT_EQ(w.EditOrder->lineEdit()->maxLength(), 3);

    EXPECT_FALSE(w.Timer_Msg->isActive());
    EXPECT_EQ(w.Timer_Msg->interval(), 500);
    EXPECT_EQ(w.Timer_Msg->timerType(), Qt::PreciseTimer);
    EXPECT_EQ(LogLines(w.Memo1), InstructionLog);

    ASSERT_TRUE(w.FClient && w.FPushReceiver && w.FPracData);
    ASSERT_EQ(w.FDownloaders.size(), 3u);
    EXPECT_EQ(w.FClient->FBtnSendFile, w.btnSendFile);
    EXPECT_EQ(w.FClient->FBtnSendMessage, w.btnSendMessage);
    EXPECT_EQ(w.FClient->FBtnRequestScore, w.btnRequestScore);
    EXPECT_EQ(w.FClient->FBtnSelectFile, w.btnSelectFile);
    EXPECT_EQ(w.FClient->FLog, w.Memo1);
    EXPECT_EQ(w.FPushReceiver->FLog, w.Memo1);
    EXPECT_EQ(w.FDownloaders[0]->FLog, nullptr); // bound by the first "链接"
}

TEST_F(MainWindowTest, ReadsTheServerAddressAndListsButAlwaysStartsOnPort2023) {
    Folder.Write("setting.txt", "IPSRV=10.0.0.5\r\nportsrv=3000\r\ncourseid=x\r\n");
    Folder.Write("setup_srvip.txt", "10.0.0.1\r\n10.0.0.5\r\n");
    Folder.Write("coursenames.txt", "高等数学\r\nMatlab\r\n");
    TFormMain& w = CreateWindow();
    EXPECT_EQ(Text(w.cbxIP->currentText()), "10.0.0.5");
    EXPECT_EQ(Items(w.cbxIP), (std::vector<AnsiString>{"10.0.0.1", "10.0.0.5"}));
    EXPECT_EQ(w.cbxIP->currentIndex(), -1);
    EXPECT_EQ(w.Edit_Port->value(), 2023);
    EXPECT_EQ(Items(w.cbxCourseID), (std::vector<AnsiString>{"高等数学", "Matlab"}));
    EXPECT_EQ(w.cbxCourseID->currentIndex(), -1);
    EXPECT_EQ(w.cbxCourseID->currentText(), QString());
    EXPECT_EQ(w.FCourseNames->Count(), 0);
    EXPECT_EQ(w.EditStudNo->text(), QString());
}

TEST_F(MainWindowTest, ASettingsFileWithoutAnAddressLeavesTheAddressBoxEmpty) {
    Folder.Write("setting.txt", "studno=7\r\n");
    EXPECT_EQ(CreateWindow().cbxIP->currentText(), QString());
}

TEST_F(MainWindowTest, FoldersNamedLikeTheSettingsFilesAreNoFilesAndCreationGoesOn) {
    for (const char* name : {"setting.txt", "coursenames.txt", "setup_srvip.txt"})
        ASSERT_TRUE(QDir().mkpath(Q(Folder.File(name))));
    TFormMain& w = CreateWindow();
    EXPECT_EQ(BoxCount(), 0u);
    EXPECT_EQ(Text(w.cbxIP->currentText()), "555.555.555.555");
    EXPECT_EQ(LogLines(w.Memo1), InstructionLog);
}

TEST_F(MainWindowTest, StartFilesAreReadOnlyWithinTheirBoundsAndNoMoreIsWrittenBack) {
    AnsiString within;
    for (int n = 0; n < kStartFileMaxLines; ++n)
        within += IntToStr(n) + "=\r\n";
    const struct {
        const char* File;
        AnsiString Content, Kept; // the course items, or the file once the window has closed
    } cases[] = {
        {"coursenames.txt", within + "past\r\n", within},
        // The byte bound cuts the second line: it and all after it are left out.
        {"setup_srvip.txt", "0=\r\n" + AnsiString(kStartFileMaxBytes, 'x') + "\r\npast\r\n",
         "0=\r\n"},
        {"setting.txt", within + "ipsrv=past\r\n", within + "portsrv=2023\r\n"},
    };
    for (const auto& c : cases) {
        Folder.Write(c.File, c.Content);
        AnsiString courses;
        for (const AnsiString& item : Items(CreateWindow().cbxCourseID))
            courses += item + "\r\n";
        CloseWindow();
        EXPECT_EQ(AnsiString(c.File) == "coursenames.txt" ? courses : Folder.Read(c.File), c.Kept)
            << c.File;
    }
}

TEST_F(MainWindowTest, ClosingUpdatesTheSettingsInPlaceAndDeletesEmptyValues) {
    Folder.Write("setting.txt",
                 "first=1\r\nIPSRV=10.0.0.5\r\nportsrv=3000\r\nstudno=42\r\nlast=2\r\n");
    TFormMain& w = CreateWindow();
    w.cbxCourseID->setEditText(Q("高等数学"));
    CloseWindow();
    EXPECT_EQ(Folder.Read("setting.txt"),
              "first=1\r\nipsrv=10.0.0.5\r\nportsrv=2023\r\nlast=2\r\ncourseid=高等数学\r\n");
    EXPECT_EQ(Folder.Read("setup_srvip.txt"), ""); // written at every close, even empty
    EXPECT_TRUE(Folder.Exists("setup_srvip.txt"));
}

TEST_F(MainWindowTest, ClosingWithoutASettingsFileCreatesOneWithTheNonEmptyValues) {
    TFormMain& w = CreateWindow();
    w.EditStudNo->setText(QStringLiteral("2023001"));
    w.cbxIP->addItem(QStringLiteral("10.1.1.1"));
    w.cbxIP->setEditText(QStringLiteral("10.0.0.9"));
    CloseWindow();
    EXPECT_EQ(Folder.Read("setting.txt"), "ipsrv=10.0.0.9\r\nportsrv=2023\r\nstudno=2023001\r\n");
    EXPECT_EQ(Folder.Read("setup_srvip.txt"), "10.1.1.1\r\n");
    EXPECT_EQ(BoxCount(), 0u);
}

TEST_F(MainWindowTest, ClosingReleasesTheOwnedObjectsAndLateEventsReachNothing) {
    ScriptedTeacherServer server;
    TFormMain& w = CreateWindow();
    PointAt(w, server);
    w.cbxCourseID->setEditText(QStringLiteral("c"));
    w.btnConnect->click();
    ASSERT_TRUE(server.WaitForConnections(1));
    w.btnReport->click();
    ASSERT_TRUE(server.WaitForMessages(1));

    CloseWindow();
    EXPECT_FALSE(w.FClient || w.FPushReceiver || w.FSettings || w.FCourseNames || w.FSentFiles);
    EXPECT_TRUE(w.FDownloaders.empty());
    EXPECT_TRUE(server.Connection().WaitForClosed());
    // A tick, a reply and the handlers after the close find nothing to act on.
    w.Timer_MsgTimer();
    server.Send("25");
    PumpEvents(50);
    w.btnReport->setEnabled(true);
    w.btnReport->click();
    w.btnConnect->click();
    w.cbxIP->setEditText(QStringLiteral("127.0.0.2"));
    EXPECT_EQ(Box(BoxCount() - 1), "提示 | 链接服务器失败！");
    EXPECT_FALSE(w.Timer_Msg->isActive());
}

TEST_F(MainWindowTest, ASettingsFileThatCannotBeWrittenShowsItsErrorAndTheWindowStillCloses) {
    TFormMain& w = CreateWindow();
    // A folder in the file's place cannot be opened for writing.
    ASSERT_TRUE(QDir().mkpath(Q(Folder.File("setting.txt"))));
    CloseWindow();
    ASSERT_EQ(BoxCount(), 1u);
    EXPECT_NE(Box(0).find("setting.txt"), AnsiString::npos);
    EXPECT_FALSE(w.FClient || w.FPushReceiver);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, CtrlASelectsTheWholeLogOrMessageAndAWithoutCtrlTypes) {
    TFormMain& w = CreateWindow();
    for (QPlainTextEdit* area : {w.Memo1, w.Memo_Message}) {
        area->setPlainText(QStringLiteral("one\ntwo"));
        area->setFocus();
        QTextCursor cursor = area->textCursor();
        cursor.movePosition(QTextCursor::End);
        area->setTextCursor(cursor);
        PressKey(area, Qt::Key_A, QString(), Qt::ControlModifier);
        EXPECT_EQ(area->textCursor().selectedText().size(), 7);
        cursor.movePosition(QTextCursor::End);
        area->setTextCursor(cursor);
        PressKey(area, Qt::Key_A, QStringLiteral("a"));
        EXPECT_EQ(area->toPlainText(), QStringLiteral("one\ntwoa"));
        EXPECT_FALSE(area->textCursor().hasSelection());
    }
    w.Memo1->moveCursor(QTextCursor::Start);
    w.N9->trigger();
    EXPECT_EQ(w.Memo1->textCursor().selectedText().size(), 8);
}

TEST_F(MainWindowTest, ThePortBoxTakesSignsAndSeparatorsAndFitsItsBoundsWhenLeft) {
    TFormMain& w = CreateWindow();
    w.show();
    w.activateWindow();
    const AnsiString separator(1, DecimalSeparator());
    const struct {
        AnsiString typed;
        AnsiString shown; // while the box has the focus
        int value;        // once it has lost it
    } cases[] = {
        {"9999", "9999", 5000},
        {"12", "12", 2000},
        {"3a0b00", "3000", 3000},
        {"+4000", "+4000", 4000},
        {"-3000", "-3000", 2000},
        {"", "", 2000},
        {"30" + separator + "5", "30" + separator + "5", 2000},
    };
    for (const auto& c : cases) {
        w.Edit_Port->setFocus();
        ASSERT_TRUE(WaitUntil([&] { return w.Edit_Port->hasFocus(); }));
        w.Edit_Port->selectAll();
        PressKey(w.Edit_Port, Qt::Key_Delete);
        for (const QChar key : Q(c.typed))
            PressKey(w.Edit_Port, key.unicode(), key);
        EXPECT_EQ(w.Edit_Port->text(), Q(c.shown)) << c.typed;
        w.EditStudNo->setFocus();
        ASSERT_TRUE(WaitUntil([&] { return !w.Edit_Port->hasFocus(); }));
        EXPECT_EQ(w.Edit_Port->value(), c.value) << c.typed;
        EXPECT_EQ(w.Edit_Port->text(), QString::number(c.value));
    }
}

TEST_F(MainWindowTest, EnterInAnEditableBoxAddsNothingToItsList) {
    TFormMain& w = CreateWindow();
    for (QComboBox* box : {w.cbxIP, w.cbxCourseID, w.EditOrder, w.cbxFileName}) {
        const int items = box->count();
        box->setFocus();
        box->setEditText(QStringLiteral("A"));
        PressKey(box->lineEdit(), Qt::Key_Return, QStringLiteral("\r"));
        EXPECT_EQ(box->count(), items) << box->objectName().toStdString();
        EXPECT_EQ(box->currentText(), QStringLiteral("A"));
    }
}

TEST_F(MainWindowTest, EditingTheServerAddressClosesAnOpenConnectionOnly) {
    ScriptedTeacherServer server;
    TFormMain& w = CreateWindow();
    PointAt(w, server);
    w.cbxCourseID->setEditText(QStringLiteral("c"));
    w.btnConnect->click();
    ASSERT_TRUE(w.FClient->FSocket->Active());
    ASSERT_TRUE(server.WaitForConnections(1));
    const auto logBefore = LogLines(w.Memo1);
    const bool reportEnabled = w.btnReport->isEnabled();

    w.cbxIP->setEditText(QStringLiteral("127.0.0.10"));
    EXPECT_FALSE(w.FClient->FSocket->Active());
    EXPECT_TRUE(server.Connection().WaitForClosed());
    EXPECT_EQ(LogLines(w.Memo1), logBefore);
    EXPECT_EQ(w.btnReport->isEnabled(), reportEnabled);

    w.cbxIP->setEditText(QStringLiteral("127.0.0.1")); // nothing open: nothing happens
    EXPECT_FALSE(w.FClient->FSocket->Active());
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST_F(MainWindowTest, TheAnswerBoxAndHelpButtonStayInsideTheirPanelWhereverTheSplitterStops) {
    TFormMain& w = CreateWindow();
    w.show();
    for (int width : {300, 600, 488}) {
        w.Splitter1->setSizes({width, w.Splitter1->width() - width});
        w.Splitter1Moved();
        const QRect panel = w.Panel4->rect();
        EXPECT_TRUE(panel.contains(w.btnHelp->geometry())) << width;
        EXPECT_TRUE(panel.contains(w.cbxFileName->geometry())) << width;
        EXPECT_LT(w.cbxFileName->geometry().right(), w.btnHelp->x()) << width;
        EXPECT_EQ(w.cbxFileName->x(), 128);
    }
}

TEST_F(MainWindowTest, ATallPictureTakesItsHeightFromTheMiddlePanel) {
    TFormMain& w = CreateWindow();
    w.show();
    EXPECT_EQ(w.GroupBox2->height(), 265);
    w.FrameProbList1->Image1->setPixmap(QPixmap(4, 500));
    w.FrameProbList1->cbAutoHeight->click();
    EXPECT_EQ(w.GroupBox2->height(), 585);
    w.FrameProbList1->BitBtn1->click();
    EXPECT_EQ(w.GroupBox2->height(), 220);
}

TEST_F(MainWindowTest, TheLogShowsItsFirstLineAfterStartAndItsEndOnceAnEntryArrives) {
    TFormMain& w = CreateWindow();
    w.show();
    const QScrollBar* bar = w.Memo1->verticalScrollBar();
    ASSERT_TRUE(WaitUntil([&] { return w.Memo1->isVisible() && bar->maximum() > 0; }))
        << "the instructions must overflow the log for this case to tell anything";
    PumpEvents(50);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(w.Memo1->cursorForPosition(QPoint(0, 0)).blockNumber(), 0);
    // The caret at the first line, or only the view scrolled up: either way the end shows.
    for (const char* entry : {"12:00:00 报到成功.", "12:00:01  最新分数信息:"}) {
        AppendLogEntry(w.Memo1, entry);
        EXPECT_TRUE(WaitUntil([&] { return bar->value() == bar->maximum(); })) << entry;
        EXPECT_TRUE(w.Memo1->textCursor().atEnd());
        w.Memo1->verticalScrollBar()->setValue(0);
    }
}

// Floods of line breaks pass the bound of lines, floods of long lines the bound of characters.
TEST_F(MainWindowTest, TheLogKeepsItsNewestLinesUpToItsBounds) {
    const struct {
        const char* Name;
        AnsiString Entry;
        size_t Lines;
    } floods[] = {{"line breaks", AnsiString(LogEntryShownMax, '\n'), LogEntryShownMax},
                  {"long lines", AnsiString(LogEntryShownMax, 'x'), 1}};
    for (const auto& flood : floods) {
        SCOPED_TRACE(flood.Name);
        TFormMain& w = CreateWindow();
        w.show();
        for (size_t lines = 0, characters = 0;
             lines <= LogLinesMax && characters <= LogCharactersMax;
             lines += flood.Lines, characters += flood.Entry.size())
            AppendLogEntry(w.Memo1, flood.Entry);
        AppendLogEntry(w.Memo1, "12:00:00 最新");
        EXPECT_LE(w.Memo1->blockCount(), LogLinesMax);
        EXPECT_LE(w.Memo1->document()->characterCount(), LogCharactersMax);
        if (flood.Lines > 1)
            EXPECT_EQ(w.Memo1->blockCount(), LogLinesMax);
        else // within a line of the bound
            EXPECT_GT(w.Memo1->document()->characterCount(),
                      LogCharactersMax - 2 * LogEntryShownMax);
        EXPECT_EQ(LogLines(w.Memo1).back(), "12:00:00 最新");
        const QScrollBar* bar = w.Memo1->verticalScrollBar();
        EXPECT_TRUE(WaitUntil([&] { return bar->value() == bar->maximum(); }));
    }
}

TEST_F(MainWindowTest, PortTakenShowsItsErrorBoxAndCreationGoesOnWithoutThePushReceiver) {
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::AnyIPv4));
    const ScopedPushPort taken(squatter.serverPort());
    Folder.Write("setting.txt", "ipsrv=127.0.0.1\r\nother=1\r\n");
    Folder.Write("setup_srvip.txt", "10.0.0.1\r\n");
    TFormMain& w = CreateWindow();
    ASSERT_EQ(BoxCount(), 1u);
    EXPECT_EQ(Box(0), ApplicationTitle() +
                          " | Windows socket error: Address already in use (10048), on API 'bind'");
    EXPECT_FALSE(w.FPushReceiver);
    EXPECT_EQ(w.FDownloaders.size(), 3u);
    EXPECT_TRUE(w.FPracData);
    EXPECT_EQ(Items(w.cbxIP), (std::vector<AnsiString>{"10.0.0.1"}));
    EXPECT_EQ(LogLines(w.Memo1), InstructionLog);

    // Connecting and reporting still work without the push receiver.
    ScriptedTeacherServer server;
    PointAt(w, server);
    w.cbxCourseID->setEditText(QStringLiteral("c"));
    w.btnConnect->click();
    w.btnReport->click();
    ASSERT_TRUE(server.WaitForMessages(1));
    server.Send("222030+2031+2032+5");
    EXPECT_TRUE(WaitUntil([&] { return w.lblClientIndex->text() == QStringLiteral("5"); }));
    EXPECT_EQ(BoxCount(), 1u);

    // The session's server addresses and settings are saved.
    CloseWindow();
    EXPECT_EQ(BoxCount(), 1u);
    EXPECT_EQ(Folder.Read("setup_srvip.txt"), "10.0.0.1\r\n127.0.0.1\r\n");
    EXPECT_EQ(Folder.Read("setting.txt"), "ipsrv=127.0.0.1\r\nother=1\r\nportsrv=" +
                                              IntToStr(server.Port()) + "\r\ncourseid=c\r\n");
}
