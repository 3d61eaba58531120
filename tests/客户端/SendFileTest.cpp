// The answer road of the main window against a scripted teacher server on the loopback address:
// typed short answers and student programs on the wire, the questions, the refusals, the local
// checks, the problem-number box and the file-open dialog.
#include "MainWindowFixture.h"

#include "Files.h"
#include "ScriptedTeacherServer.h"
#include "UnitSocketClient.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>

namespace {

// Makes a folder read-only while it lives, for root too where the file system can.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const AnsiString& path) : FPath(path) {
        ::chmod(path.c_str(), 0555);
        if (::access(path.c_str(), W_OK) == 0) // permissions do not bind root
            FImmutable = std::make_unique<ImmutableFile>(path);
    }
    ~ReadOnlyFolder() {
        FImmutable.reset();
        ::chmod(FPath.c_str(), 0700);
    }
    bool IsSet() const { return ::access(FPath.c_str(), W_OK) != 0; }

private:
    AnsiString FPath;
    std::unique_ptr<ImmutableFile> FImmutable;
};

class SendFileTest : public MainWindowTest {
protected:
    // A window connected to the scripted server and reported, with problem 3 (key "K3") chosen.
    TFormMain& ReadyWindow() {
        TFormMain& w = CreateWindow();
        PointAt(w, Server);
        w.cbxCourseID->setEditText(Q("高等数学"));
        w.EditStudNo->setText(QStringLiteral("2023001"));
        w.btnConnect->click();
        w.btnReport->click();
        EXPECT_TRUE(Server.WaitForMessages(1));
        w.EditOrder->setEditText(QStringLiteral("3"));
        w.FClient->FProblems.SetValue("3", "K3");
        // Only whether the poll timer runs matters here; its polls would only add to the wire.
        QObject::disconnect(w.Timer_Msg, &QTimer::timeout, nullptr, nullptr);
        return w;
    }
    void ServeUploads(const AnsiString& outcome) { ::ServeUploads(Server, outcome); }
    std::vector<AnsiString> FileRequests() const { return MessagesStartingWith(Server, "01"); }
    // The file bytes of the last block the server received.
    AnsiString LastBlockFile() const {
        const auto blocks = MessagesStartingWith(Server, BlockHeader);
        return blocks.empty() ? AnsiString() : blocks.back().substr(BlockHeader.size());
    }
    // Waits until everything the window has sent has reached the server: the echo that the
    // server asks for comes back behind it.
    void AwaitEcho() {
        const size_t before = Server.ReceivedSize();
        Server.Send("04");
        EXPECT_TRUE(WaitUntil([&] {
            return Server.Received().find("04" + ConnectedIdentity, before) != AnsiString::npos;
        }));
    }
    static void ExpectSendingStateOver(TFormMain& w) {
        for (QWidget* button :
             {w.btnSendFile, w.btnSendMessage, w.btnRequestScore, w.btnSelectFile})
            EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
        EXPECT_FALSE(w.FClient->IsBusy());
        EXPECT_TRUE(w.Timer_Msg->isActive());
    }

    ScriptedTeacherServer Server;
    TestFolder Student; // the student's own files
};

} // namespace

TEST_F(SendFileTest, TypedAnswersGoOutAsTheInstrumentedShortAnswerScript) {
    TFormMain& w = ReadyWindow();
    ServeUploads("09");
    const std::pair<AnsiString, AnsiString> answers[] = {
        {"t", " r='1';"}, {"F", " r='0';"}, {"ace", " r='ACE';"}};
    for (const auto& [answer, secondLine] : answers) {
        SendAndWait(w, answer);
        EXPECT_EQ(FileRequests().back(),
                  "01" + ConnectedIdentity + "?3?K3?" + Folder.File("syschk_temp.m"))
            << answer;
        EXPECT_EQ(LastBlockFile(),
                  "function r=myfun\r\nt0_syschk=cputime;\r\n" + secondLine + "\r\n")
            << answer;
        EXPECT_EQ(Folder.Read("temp.m"), "function r=myfun\r\n" + secondLine + "\r\n");
        EXPECT_FALSE(Folder.Exists("syschk_temp.m"));
        EXPECT_EQ(w.cbxFileName->currentText(), QString());
    }
    EXPECT_EQ(FileRequests().size(), 3u);
    EXPECT_EQ(Items(w.cbxFileName), (std::vector<AnsiString>{"ace", "F", "t"}));
    EXPECT_EQ(w.FSentFiles->Count(), 0);
    const auto log = LogLines(w.Memo1);
    EXPECT_EQ(AfterTimeStamp(log[log.size() - 2]), "  开始为第3题发送文件...");
    EXPECT_EQ(AfterTimeStamp(log.back()),
              "  发送文件成功, 文件名: " + Folder.File("syschk_temp.m"));
    ExpectSendingStateOver(w);
    EXPECT_EQ(BoxCount(), 0u);
}

// The program folder has a Chinese name, as the tests' own folder does: the settings are read and
// written there, and the log names its files as they are called.
TEST_F(SendFileTest, AProgramFolderWithAChineseNameHoldsTheClientsFilesAndTheLogNamesIt) {
    EXPECT_TRUE(EndsWith(platform::ExecutableFolder(), "/客户端"));
    ASSERT_EQ(platform::ForceFolders(Folder.File("程序")), 0);
    const ScopedExePath chineseFolder(Folder.File("程序"));
    Folder.Write("程序/setup_srvip.txt", "10.0.0.5\r\n");
    TFormMain& w = ReadyWindow();
    EXPECT_EQ(Items(w.cbxIP), (std::vector<AnsiString>{"10.0.0.5", "127.0.0.1"}));
    ServeUploads("09");
    SendAndWait(w, "T");
    EXPECT_EQ(AfterTimeStamp(LogLines(w.Memo1).back()),
              "  发送文件成功, 文件名: " + Folder.File("程序/syschk_temp.m"));
    CloseWindow();
    QFile settings(Q(Folder.File("程序/setting.txt")));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().startsWith("ipsrv=127.0.0.1\r\n"));
    EXPECT_EQ(Folder.Read("程序/setup_srvip.txt"), "10.0.0.5\r\n127.0.0.1\r\n");
}

TEST_F(SendFileTest, AProgramGoesOutAsItsCopyWhichOnlySuccessDeletes) {
    TFormMain& w = ReadyWindow();
    const AnsiString program = Student.Write("sum.m", "function s=sum3(n)\nfor k=1:n\n  s=k;\nend");
    const AnsiString instrumented = "function s=sum3(n)\r\nt0_syschk=cputime;\r\nfor k=1:n\r\n  " +
                                    LoopTimeCheck + "\r\n  s=k;\r\nend\r\n";
    ServeUploads("02答案错误");
    SendAndWait(w, program);
    EXPECT_EQ(FileRequests().back(),
              "01" + ConnectedIdentity + "?3?K3?" + Student.File("syschk_sum.m"));
    EXPECT_EQ(LastBlockFile(), instrumented);
    EXPECT_TRUE(Student.Exists("syschk_sum.m"));
    EXPECT_EQ(AfterTimeStamp(LogLines(w.Memo1).back()), "  发送失败，被服务端拒绝! 原因: 答案错误");

    ServeUploads("09");
    SendAndWait(w, program); // the same file again: no question
    EXPECT_EQ(FileRequests().size(), 2u);
    EXPECT_EQ(LastBlockFile(), instrumented);
    EXPECT_FALSE(Student.Exists("syschk_sum.m"));
    EXPECT_TRUE(Student.Exists("sum.m"));
    EXPECT_EQ(w.FSentFiles->Text(), "3=" + program + "\r\n");
    EXPECT_EQ(BoxCount(), 0u);
    ExpectSendingStateOver(w);
}

// An attendance reply gives the send button back while an upload runs; a second send must not
// rewrite the copy the server is still pulling: that write fails as any write of the copy does.
TEST_F(SendFileTest, TheCopyAnUploadHoldsIsNeitherRewrittenNorSentAgain) {
    TFormMain& w = ReadyWindow();
    Server.OnCode("01", "03");
    const AnsiString program = Student.Write("one.m", "function s=f\ns=1;\n");
    w.cbxFileName->setEditText(Q(program));
    w.btnSendFile->click();
    ASSERT_TRUE(WaitUntil([&] { return !MessagesStartingWith(Server, "00").empty(); }));
    const AnsiString copy = Student.Read("syschk_one.m");
    Student.Write("one.m", "function s=f\ns=2;\n");
    Server.Send("222030+2031+2032+17");
    ASSERT_TRUE(WaitUntil([&] { return w.btnSendFile->isEnabled(); }));

    w.cbxFileName->setEditText(Q(program));
    w.btnSendFile->click();
    ASSERT_EQ(BoxCount(), 1u);
    EXPECT_EQ(Text(Boxes.Boxes()[0].text), "Cannot create file \"" + Student.File("syschk_one.m") +
                                               "\". Device or resource busy");
    ExpectSendingStateOver(w);
    EXPECT_EQ(FileRequests().size(), 1u);
    Server.Send("05");
    ASSERT_TRUE(WaitUntil([&] { return !LastBlockFile().empty(); }));
    EXPECT_EQ(LastBlockFile(), copy);
}

// The box of a copy that cannot be deleted lets the window's closing in; the rest of the reply
// must not reach the connection object the closing destroyed.
TEST_F(SendFileTest, AWindowClosedUnderTheDeletionBoxIsLeftAlone) {
    TFormMain& w = ReadyWindow();
    const AnsiString program = Student.Write("sum.m", "function s=f\ns=1;\n");
    std::optional<platform::TFileHold> copyHeld; // by another program, as it were
    Server.OnCode("01", [&](ScriptedPeer& peer, const AnsiString&) {
        copyHeld.emplace(Student.File("syschk_sum.m"));
        peer.Send("03");
    });
    Server.OnCode("00", "05");
    Server.OnCode("20", "09");
    Boxes.WhileOpen = [&] { CloseWindow(); };
    w.cbxFileName->setEditText(Q(program));
    w.btnSendFile->click();
    ASSERT_TRUE(WaitUntil([&] { return BoxCount() == 1; }));
    EXPECT_EQ(Box(0), "提示 | 删除临时文件失败！");
    EXPECT_FALSE(w.FClient);
}

TEST_F(SendFileTest, AnyOtherFileGoesOutUnchangedAndStays) {
    TFormMain& w = ReadyWindow();
    // Problem 0 passes the number check; the server listed no key for it. Capital letters are
    // not the reserved prefix.
    w.EditOrder->setEditText(QStringLiteral("0"));
    const AnsiString notes = Student.Write("SYSCHK_notes.txt", AnsiString("a\0b\r\n", 5));
    ServeUploads("09");
    SendAndWait(w, notes);
    EXPECT_EQ(FileRequests().back(), "01" + ConnectedIdentity + "?0??" + notes);
    EXPECT_EQ(LastBlockFile(), AnsiString("a\0b\r\n", 5));
    EXPECT_TRUE(Student.Exists("SYSCHK_notes.txt"));
    EXPECT_EQ(w.FSentFiles->Count(), 0);
    EXPECT_EQ(BoxCount(), 0u);
}

TEST_F(SendFileTest, AnAlreadyScoredProblemIsSentAgainOnlyAfterOk) {
    TFormMain& w = ReadyWindow();
    for (const char* line : {"1=0", "2=0", "3=5"})
        w.FClient->FScores.Add(line);
    ServeUploads("09");
    Boxes.QueueAnswer(QMessageBox::Cancel);
    w.cbxFileName->setEditText(QStringLiteral("T"));
    w.btnSendFile->click();
    ASSERT_EQ(BoxCount(), 1u);
    EXPECT_EQ(Box(0), "系统提示 | 本题目已经有得分. 是否要重新发送");
    EXPECT_TRUE(w.btnSendFile->isEnabled());
    EXPECT_EQ(w.cbxFileName->currentText(), QStringLiteral("T"));
    EXPECT_FALSE(Folder.Exists("temp.m"));

    Boxes.QueueAnswer(QMessageBox::Ok);
    SendAndWait(w, "T");
    EXPECT_EQ(BoxCount(), 2u);
    EXPECT_EQ(FileRequests().size(), 1u);

    // The window closes while the question is open: OK then sends nothing.
    Boxes.QueueAnswer(QMessageBox::Ok);
    Boxes.WhileOpen = [&] {
        Boxes.WhileOpen = nullptr;
        CloseWindow();
    };
    w.cbxFileName->setEditText(QStringLiteral("T"));
    w.btnSendFile->click();
    ASSERT_EQ(BoxCount(), 3u);
    EXPECT_EQ(Box(2), Box(0));
    EXPECT_TRUE(Server.Connection().WaitForClosed());
    EXPECT_EQ(FileRequests().size(), 1u);
}

TEST_F(SendFileTest, ADifferentProgramForAProblemIsSentOnlyAfterYesAndTheFirstStaysRecorded) {
    TFormMain& w = ReadyWindow();
    const AnsiString first = Student.Write("b.m", "function b\n");
    const AnsiString second = Student.Write("a.m", "function a\n");
    ServeUploads("09");
    SendAndWait(w, first);
    const AnsiString question =
        "操作提示 | 本次发送的程序文件不同于上次发送的. 是否仍要发送文件?\r\n"
        "上次发送文件: " +
        first + "\r\n本次发送文件: " + second;

    Boxes.QueueAnswer(QMessageBox::No);
    w.cbxFileName->setEditText(Q(second));
    w.btnSendFile->click();
    ASSERT_EQ(BoxCount(), 2u);
    EXPECT_EQ(Box(0), question);
    EXPECT_EQ(Box(1), "操作提示 | 您取消了本次文件发送操作！");
    EXPECT_FALSE(w.btnSendFile->isEnabled());
    EXPECT_EQ(Text(w.cbxFileName->currentText()), second);
    EXPECT_EQ(FileRequests().size(), 1u);

    w.btnConnect->click(); // gives the send button back, as its hint says
    Boxes.QueueAnswer(QMessageBox::Yes);
    SendAndWait(w, second);
    ASSERT_EQ(BoxCount(), 3u);
    EXPECT_EQ(Box(2), question);
    EXPECT_EQ(FileRequests().back(),
              "01" + ConnectedIdentity + "?3?K3?" + Student.File("syschk_a.m"));
    EXPECT_EQ(w.FSentFiles->Text(), "3=" + first + "\r\n");
    EXPECT_EQ(Items(w.cbxFileName), (std::vector<AnsiString>{second, first}));

    // A program that vanishes while the question is open: its read error, nothing sent.
    const AnsiString gone = Student.Write("c.m", "function c\n");
    Boxes.QueueAnswer(QMessageBox::Yes);
    Boxes.WhileOpen = [&] { ::unlink(gone.c_str()); };
    w.cbxFileName->setEditText(Q(gone));
    w.btnSendFile->click();
    Boxes.WhileOpen = nullptr;
    ASSERT_EQ(BoxCount(), 5u);
    EXPECT_NE(Text(Boxes.Boxes()[4].text).find(gone), AnsiString::npos);
    EXPECT_FALSE(w.FClient->IsBusy());
    AwaitEcho();

    // The window closes while the question is open: Yes then sends nothing.
    w.btnConnect->click();
    Boxes.QueueAnswer(QMessageBox::Yes);
    Boxes.WhileOpen = [&] {
        Boxes.WhileOpen = nullptr;
        CloseWindow();
    };
    w.cbxFileName->setEditText(Q(second));
    w.btnSendFile->click();
    ASSERT_EQ(BoxCount(), 6u);
    EXPECT_EQ(Box(5), question);
    EXPECT_TRUE(Server.Connection().WaitForClosed());
    EXPECT_EQ(FileRequests().size(), 2u);
}

TEST_F(SendFileTest, AProgramCallingInputOrPauseIsRefusedBeforeTheSendingState) {
    TFormMain& w = ReadyWindow();
    const AnsiString program = Student.Write("ask.m", "function f\n% then PAUSE\n");
    w.cbxFileName->setEditText(Q(program));
    w.btnSendFile->click();
    ASSERT_EQ(BoxCount(), 1u);
    EXPECT_EQ(Box(0),
              "系统提示 | 程序文件中不能包含\"input\", \"pause\"函数或命令的调用。\r\n发送文件 " +
                  program + " 失败。");
    EXPECT_FALSE(w.btnSendFile->isEnabled());
    EXPECT_TRUE(w.btnSelectFile->isEnabled());
    EXPECT_FALSE(w.FClient->IsBusy());
    EXPECT_EQ(Text(w.cbxFileName->currentText()), program);
    EXPECT_EQ(w.FSentFiles->Text(), "3=" + program + "\r\n"); // recorded all the same
    AwaitEcho();
    EXPECT_TRUE(FileRequests().empty());
}

TEST_F(SendFileTest, AProgramTheCheckRefusesIsLoggedAndTheSendingStateEnds) {
    TFormMain& w = ReadyWindow();
    const AnsiString program = Student.Write("loop.m", "function f\nfor k=1:3, s=k; end\n");
    w.cbxFileName->setEditText(Q(program));
    w.btnSendFile->click();
    const auto log = LogLines(w.Memo1);
    EXPECT_EQ(AfterTimeStamp(log[log.size() - 3]), "  开始为第3题发送文件...");
    EXPECT_EQ(log[log.size() - 2], "   发送失败. 原因: ");
    EXPECT_EQ(log.back(), "循环语句不能写在一行代码上！");
    ExpectSendingStateOver(w);
    EXPECT_EQ(w.cbxFileName->currentText(), QString());
    EXPECT_FALSE(Student.Exists("syschk_loop.m"));
    EXPECT_EQ(BoxCount(), 0u);
    AwaitEcho();
    EXPECT_TRUE(FileRequests().empty());
}

// A file that cannot be written is shown as an error and sends nothing. The short-answer script
// stops the road where it is made; the copy ends the sending state as a refusal does, so that
// the answer can go once the cause is gone.
TEST_F(SendFileTest, AFileThatCannotBeWrittenStopsTheRoadAndTheAnswerGoesOnceItCan) {
    TFormMain& w = ReadyWindow();
    auto programFolder = std::make_unique<ReadOnlyFolder>(Folder.Path());
    if (!programFolder->IsSet())
        GTEST_SKIP() << "this file system cannot make a folder read-only for root";
    w.cbxFileName->setEditText(QStringLiteral("T"));
    w.btnSendFile->click();
    ASSERT_EQ(BoxCount(), 1u);
    EXPECT_NE(Text(Boxes.Boxes()[0].text).find(Folder.File("temp.m")), AnsiString::npos);
    EXPECT_FALSE(w.btnSendFile->isEnabled());
    EXPECT_TRUE(w.btnSelectFile->isEnabled());
    EXPECT_FALSE(w.FClient->IsBusy());
    programFolder.reset();

    const AnsiString program = Student.Write("sum.m", "function s=f\ns=1;\n");
    auto studentFolder = std::make_unique<ReadOnlyFolder>(Student.Path());
    w.btnConnect->click();
    w.cbxFileName->setEditText(Q(program));
    w.btnSendFile->click();
    ASSERT_EQ(BoxCount(), 2u);
    EXPECT_NE(Text(Boxes.Boxes()[1].text).find(Student.File("syschk_sum.m")), AnsiString::npos);
    ExpectSendingStateOver(w);
    EXPECT_EQ(Text(w.cbxFileName->currentText()), program);
    AwaitEcho();
    EXPECT_TRUE(FileRequests().empty());

    studentFolder.reset();
    ServeUploads("09");
    SendAndWait(w, program);
    EXPECT_EQ(FileRequests().size(), 1u);
    EXPECT_EQ(BoxCount(), 2u);
}

TEST_F(SendFileTest, EachLocalCheckStopsWithItsBoxAndSendsNothing) {
    const AnsiString loop = Student.File("loop.m"); // a link to itself: it resolves to nothing
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    const AnsiString NumberBox =
        "提醒 | 输入的题目序号有误。\r\n题目序号必须为题目的自然序号.\r\n如: "
        "第1个题目输入1，第2个题目输入2。";
    const struct {
        const char* course;
        const char* number;
        AnsiString answer;
        AnsiString box;
        bool sendButtonStays;
    } cases[] = {
        {" ", "3", "T", "操作提示 | 请选择或输入课程名称，并输入列表框中的课程名称进行确认。",
         true},
        {"高等数学", "", "T", NumberBox, true},
        {"高等数学", "-1", "T", NumberBox, true},
        {"高等数学", "x1", "T", NumberBox, true},
        {"高等数学", "3", " \t", "提醒 | 所发送文件不存在！待发送文件: \t", true},
        {"高等数学", "3", "/tmp/syschk_a.m",
         "提醒 | 发送的文件名前缀不能取:syschk_.\r\n请另存为一个合法文件名。", true},
        {"高等数学", "3", " T", "提醒 | 所发送文件不存在！待发送文件: T", false},
        {"高等数学", "3", loop, "提醒 | 所发送文件不存在！待发送文件:" + loop, false},
    };
    TFormMain& w = ReadyWindow();
    for (const auto& c : cases) {
        w.btnSendFile->setEnabled(true);
        w.cbxCourseID->setEditText(Q(c.course));
        w.EditOrder->setEditText(Q(c.number));
        w.cbxFileName->setEditText(Q(c.answer));
        const size_t before = BoxCount();
        w.btnSendFile->click();
        ASSERT_EQ(BoxCount(), before + 1) << c.box;
        EXPECT_EQ(Box(before), c.box);
        EXPECT_EQ(w.btnSendFile->isEnabled(), c.sendButtonStays) << c.box;
        EXPECT_EQ(Text(w.cbxFileName->currentText()), c.answer);
    }
    EXPECT_FALSE(w.FClient->IsBusy());
    EXPECT_EQ(w.cbxFileName->count(), 0);
    AwaitEcho();
    EXPECT_TRUE(FileRequests().empty());
}

TEST_F(SendFileTest, TheNumberBoxTakesDigitsAndShowsTheProblemType) {
    TFormMain& w = CreateWindow();
    for (const char* line : {"1=0", "2=1", "3=2", "4=9"})
        w.FClient->FProblemTypes.Add(line);
    QLineEdit* edit = w.EditOrder->lineEdit();
    // The box has the focus, not its edit.
    const auto press = [&](int key, const QString& text, Qt::KeyboardModifiers modifiers = {}) {
        PressKey(w.EditOrder, key, text, modifiers);
    };
    EXPECT_EQ(Text(w.lblProbInfo->text()), "--");
    const std::pair<const char*, AnsiString> types[] = {{"1", "编程题"},
                                                        {"2", "判断题"},
                                                        {"3", "选择题"},
                                                        {"4", "题目类型有误"},
                                                        {"5", "题目类型有误"}};
    for (const auto& [digit, label] : types) {
        press(Qt::Key_Backspace, QStringLiteral("\b"));
        press(Qt::Key_0 + (digit[0] - '0'), QString::fromLatin1(digit));
        EXPECT_EQ(Text(edit->text()), digit);
        EXPECT_EQ(Text(w.lblProbInfo->text()), label) << digit;
    }
    QApplication::clipboard()->setText(QStringLiteral("7"));
    press(Qt::Key_A, QStringLiteral("a"));
    press(Qt::Key_V, QStringLiteral("\x16"), Qt::ControlModifier);
    press(Qt::Key_Minus, QStringLiteral("-"));
    EXPECT_EQ(Text(edit->text()), "5");
    EXPECT_EQ(BoxCount(), 0u);

    // Pasting through the context menu passes the filter; the change then refuses the text.
    QApplication::clipboard()->setText(QStringLiteral("x"));
    edit->paste();
    ASSERT_EQ(BoxCount(), 1u);
    EXPECT_EQ(Box(0), "系统提示 | 输入的题目序号非法，请重新输入。");
    EXPECT_EQ(Text(w.lblProbInfo->text()), "题目类型有误");

    // The close-up after picking "3" from the list sees "3", not the refused text.
    w.EditOrder->showPopup();
    QAbstractItemView* list = w.EditOrder->view();
    list->setCurrentIndex(list->model()->index(2, 0));
    PressKey(list, Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_EQ(Text(w.lblProbInfo->text()), "选择题");

    // Closing the drop-down list shows the type of the number it leaves in the box.
    w.EditOrder->setCurrentIndex(1);
    w.EditOrder->showPopup();
    w.EditOrder->hidePopup();
    EXPECT_TRUE(WaitUntil([&] { return Text(w.lblProbInfo->text()) == "判断题"; }));
    EXPECT_EQ(BoxCount(), 1u);
}

// The student's folders have Chinese names, as on a Chinese desktop; a name that GBK cannot hold
// is reported missing.
TEST_F(SendFileTest, TheFileDialogIsBuiltWhenFirstNeededAndItsChoiceIsSent) {
    TFormMain& w = ReadyWindow();
    EXPECT_EQ(w.OpenDialog1, nullptr);
    ASSERT_EQ(platform::ForceFolders(Student.File("桌面")), 0);
    const AnsiString program = Student.Write("桌面/作业.m", "function s=f\ns=1;\n");
    // Each click opens the dialog; the action closes it.
    const auto choose = [&](const std::function<void(QFileDialog*)>& action) {
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                timer.stop();
                action(dialog);
            }
        });
        timer.start(5);
        w.btnSelectFile->click();
    };
    const auto pick = [&](const QString& path) {
        choose([&](QFileDialog* dialog) {
            // The student types the name, as for a file that is not there.
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
            QMetaObject::invokeMethod(dialog, "accept"); // a protected slot
        });
    };
    pick(Q(program));
    ASSERT_NE(w.OpenDialog1, nullptr);
    EXPECT_EQ(Text(w.cbxFileName->currentText()), program);
    choose([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(Text(w.cbxFileName->currentText()), program);

    ServeUploads("02");
    SendAndWait(w, program);
    EXPECT_EQ(FileRequests().back(),
              "01" + ConnectedIdentity + "?3?K3?" + Student.File("桌面/syschk_作业.m"));
    EXPECT_EQ(LastBlockFile(), "function s=f\r\nt0_syschk=cputime;\r\ns=1;\r\n");
    EXPECT_TRUE(QFile::exists(Q(Student.File("桌面/syschk_作业.m"))));

    pick(Q(Student.File("gone.m")));
    EXPECT_EQ(w.cbxFileName->currentText(), QString());
    const QString korean = Q(Student.Path()) + QString::fromUtf8(u8"과제.m");
    QFile outsideGbk(korean);
    ASSERT_TRUE(outsideGbk.open(QIODevice::WriteOnly));
    outsideGbk.close();
    w.cbxFileName->setEditText(QStringLiteral("x"));
    pick(korean);
    EXPECT_EQ(w.cbxFileName->currentText(), QString());
}
