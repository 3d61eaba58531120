// One whole class session through one main window against a scripted teacher server: the test
// to read first to see the client work, from the start of a lesson to the closing of the window.
#include "MainWindowFixture.h"

#include "ProblemFileWriter.h"
#include "ScriptedTeacherServer.h"
#include "UnitFrameProb.h"
#include "UnitPracDataMan.h"
#include "UnitSocketClient.h"
#include "UnitThreadReceiver.h"

#include <QLineEdit>
#include <QTimer>

using namespace ProblemFileWriter;

namespace {

const AnsiString StudentNo = "2023001";
const AnsiString Identity = FirstAdapterId + "?高等数学?" + StudentNo;
const QRgb FirstPictureColour = qRgb(30, 90, 200);

// The lesson's problem file: a programming problem with a 6 by 4 picture, then a true/false one.
AnsiString LessonProblems() {
    std::vector<ProblemRecord> records(2);
    records[0].Picture = SolidBmp24(6, 4, FirstPictureColour);
    return Compress(ProblemText(records));
}

class ClassSessionTest : public MainWindowTest {
protected:
    // The teacher's server as the lesson goes: the attendance reply announces the three
    // download ports and the client index 17, then come the two problems, "1" a programming
    // problem and "2" a true/false one; every answer is taken, score queries are answered, and
    // so are messages.
    void ScriptTheTeacher() {
        Server.OnCode("90", "22" + IntToStr(Channels[0].Port()) + "+" +
                                IntToStr(Channels[1].Port()) + "+" + IntToStr(Channels[2].Port()) +
                                "+17");
        Server.OnCode("16", "171=K1\r\n2=K2");
        Server.OnCode("23", "241=0\r\n2=1");
        ServeUploads(Server, "09");
        Server.OnCode("11", "121=10\r\n2=-1");
        Server.OnCode("26", "261下课前交作业");
        Server.OnCode("08", "92");
    }

    // The next message on the main connection, once it has come.
    AnsiString NextMessage() {
        if (!Server.WaitForMessages(FMessagesRead + 1))
            return "<nothing came>";
        return Server.MessageTexts()[FMessagesRead++];
    }
    // The log lines written since the mark, once there are at least count of them.
    std::vector<AnsiString> LogSince(const TFormMain& w, size_t mark, size_t count) {
        EXPECT_TRUE(WaitUntil([&] { return LogLines(w.Memo1).size() >= mark + count; }));
        const std::vector<AnsiString> log = LogLines(w.Memo1);
        return {log.begin() + static_cast<long>(std::min(mark, log.size())), log.end()};
    }
    // The student types a problem number of one digit into its box.
    static void TypeProblemNumber(TFormMain& w, char digit) {
        w.EditOrder->lineEdit()->clear();
        PressKey(w.EditOrder, Qt::Key_0 + (digit - '0'), QString(QChar::fromLatin1(digit)));
    }

    ScriptedTeacherServer Server;
    ScriptedTeacherServer Channels[3];
    TestFolder Student; // the student's own files

private:
    size_t FMessagesRead = 0;
};

} // namespace

TEST_F(ClassSessionTest, OneStudentThroughAWholeLesson) {
    ScriptTheTeacher();

    // Start: the student types the server's address, the course, the student number and the
    // password. The poll timer runs as it does, but its ticks are the test's: a poll never meets
    // another request in one read on the server's side.
    TFormMain& w = CreateWindow();
    QObject::disconnect(w.Timer_Msg, &QTimer::timeout, nullptr, nullptr);
    PointAt(w, Server);
    w.cbxCourseID->setEditText(Q("高等数学"));
    w.EditStudNo->setText(Q(StudentNo));
    w.Edit_pwd->setText(QStringLiteral("472"));

    // "链接" opens the main connection; the machine identifier goes into the identity.
    w.btnConnect->click();
    ASSERT_TRUE(Server.WaitForConnections(1));
    EXPECT_EQ(w.FClient->FIdentity, Identity);
    EXPECT_TRUE(w.btnReport->isEnabled());

    // "报到": the attendance reply shows the client index and connects the three download
    // channels; the problem list fills the problem numbers and its types follow.
    size_t mark = LogLines(w.Memo1).size();
    w.btnReport->click();
    EXPECT_EQ(NextMessage(), "90" + Identity + "?1000?472");
    EXPECT_EQ(NextMessage(), "16" + Identity);
    EXPECT_EQ(NextMessage(), "23" + Identity);
    EXPECT_EQ(NextMessage(), "25" + Identity);
    EXPECT_EQ(w.lblClientIndex->text(), QStringLiteral("17"));
    EXPECT_EQ(Items(w.EditOrder), (std::vector<AnsiString>{"1", "2"}));
    std::vector<AnsiString> log = LogSince(w, mark, 2);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(IsStamped(log[1], " 报到成功.")) << log[1];
    ASSERT_TRUE(WaitUntil([&] { return AllChannelsConnected(w); }));
    EXPECT_TRUE(w.btnDownNew->isEnabled());

    // "下载题目": channel 0 asks with the student number, receives "train.db" into the program
    // folder, and the view shows the first problem's picture.
    ServeFile(Channels[0], LessonProblems());
    w.btnDownNew->click();
    ASSERT_TRUE(Channels[0].WaitForMessages(1));
    EXPECT_EQ(Channels[0].MessageTexts()[0], "18" + StudentNo);
    Channels[0].Send("01train.db");
    ASSERT_TRUE(
        WaitUntil([&] { return w.FrameProbList1->lblIndexProb->text() == QStringLiteral("1"); }));
    EXPECT_EQ(Folder.Read("train.db"), LessonProblems());
    EXPECT_EQ(w.FPracData->Count(), 2);
    const QImage picture = w.FrameProbList1->Image1->pixmap().toImage();
    EXPECT_EQ(picture.size(), QSize(6, 4));
    EXPECT_EQ(picture.pixel(5, 3), FirstPictureColour);

    // A typed answer "T" to the true/false problem 2 goes out as the short-answer script,
    // instrumented into "syschk_temp.m", which the server pulls block by block.
    TypeProblemNumber(w, '2');
    EXPECT_EQ(Text(w.lblProbInfo->text()), "判断题");
    mark = LogLines(w.Memo1).size();
    SendAndWait(w, "T");
    const AnsiString script = "function r=myfun\r\nt0_syschk=cputime;\r\n r='1';\r\n";
    EXPECT_EQ(NextMessage(), "01" + Identity + "?2?K2?" + Folder.File("syschk_temp.m"));
    EXPECT_EQ(NextMessage(),
              "00" + Identity + "?" + IntToStr(static_cast<int>(script.size())) + "?1");
    EXPECT_EQ(NextMessage(), BlockHeader + script);
    EXPECT_FALSE(Folder.Exists("syschk_temp.m"));
    log = LogSince(w, mark, 2);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(IsStamped(log[0], "  开始为第2题发送文件...")) << log[0];
    EXPECT_TRUE(IsStamped(log[1], "  发送文件成功, 文件名: " + Folder.File("syschk_temp.m")))
        << log[1];

    // A program for the programming problem 1: its copy "syschk_sum.m" beside it carries the
    // run-time limit after the loop line, and goes once the server has taken it.
    TypeProblemNumber(w, '1');
    EXPECT_EQ(Text(w.lblProbInfo->text()), "编程题");
    const AnsiString program = Student.Write("sum.m", "function s=sum3(n)\nfor k=1:n\n  s=k;\nend");
    SendAndWait(w, program);
    const AnsiString instrumented = "function s=sum3(n)\r\nt0_syschk=cputime;\r\nfor k=1:n\r\n  " +
                                    LoopTimeCheck + "\r\n  s=k;\r\nend\r\n";
    EXPECT_EQ(NextMessage(), "01" + Identity + "?1?K1?" + Student.File("syschk_sum.m"));
    EXPECT_EQ(NextMessage(),
              "00" + Identity + "?" + IntToStr(static_cast<int>(instrumented.size())) + "?1");
    EXPECT_EQ(NextMessage(), BlockHeader + instrumented);
    EXPECT_FALSE(Student.Exists("syschk_sum.m"));
    EXPECT_TRUE(Student.Exists("sum.m"));

    // The server's check results "29" come as text without a time stamp; "查分" asks for the
    // score report "12", in which the true/false problem's score is hidden.
    mark = LogLines(w.Memo1).size();
    Server.Send("291,+;2,20011");
    EXPECT_EQ(LogSince(w, mark, 4),
              (std::vector<AnsiString>{"第1题:", "运行结果正确！",
                                       "第2题:", "第1个返回参数sym型数组, 与标准解答维数不一致"}));
    mark = LogLines(w.Memo1).size();
    w.btnRequestScore->click();
    EXPECT_EQ(NextMessage(), "11" + Identity + "?");
    log = LogSince(w, mark, 5);
    ASSERT_EQ(log.size(), 5u);
    EXPECT_TRUE(IsStamped(log[0], "  最新分数信息:")) << log[0];
    EXPECT_EQ(
        std::vector<AnsiString>(log.begin() + 1, log.end()),
        (std::vector<AnsiString>{"", "第  1题得分  10", "第  2题得分-保密", "当前测试总得分 10"}));

    // The score reply started the poll; its tick asks for news and gets a broadcast.
    ASSERT_TRUE(w.Timer_Msg->isActive());
    mark = LogLines(w.Memo1).size();
    w.Timer_MsgTimer();
    EXPECT_EQ(NextMessage(), "26" + Identity + "?");
    log = LogSince(w, mark, 3);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_TRUE(IsStamped(log[1], " 系统广播消息: ")) << log[1];
    EXPECT_EQ(log[2], "下课前交作业");

    // A message to the teacher, which the server acknowledges.
    mark = LogLines(w.Memo1).size();
    w.Memo_Message->setPlainText(Q("老师，第1题的n可以为0吗？"));
    w.btnSendMessage->click();
    EXPECT_EQ(NextMessage(), "08" + Identity + "?老师，第1题的n可以为0吗？");
    log = LogSince(w, mark, 4);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_TRUE(IsStamped(log[0], "   发送消息至服务端:")) << log[0];
    EXPECT_EQ(log[1], "老师，第1题的n可以为0吗？");
    EXPECT_TRUE(IsStamped(log[3], " 服务端收到了您发送的消息！ ")) << log[3];

    // An instant answer to the question the teacher asks on the spot, under problem number 3.
    TypeProblemNumber(w, '3');
    w.cbxFileName->setEditText(QStringLiteral("B"));
    w.BitBtn2->click();
    EXPECT_EQ(NextMessage(), "31" + Identity + "?3?1?B");

    // The teacher pushes a handout to the push receiver (port 1999; here a private one): it is
    // stored in the program folder.
    const AnsiString handout = "第二讲 循环\r\n" + FileBytes(1500);
    ScriptedPeer teacher(w.FPushReceiver->FServerSocket->Port());
    ServeFile(teacher, handout);
    mark = LogLines(w.Memo1).size();
    teacher.Send("01handout.txt");
    log = LogSince(w, mark, 1);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(IsStamped(log[0], "  文件接收完毕: handout.txt")) << log[0];
    EXPECT_EQ(Folder.Read("handout.txt"), handout);

    // Closing writes the settings and the known server addresses and closes the connection.
    CloseWindow();
    EXPECT_EQ(Folder.Read("setting.txt"), "ipsrv=127.0.0.1\r\nportsrv=" + IntToStr(Server.Port()) +
                                              "\r\ncourseid=高等数学\r\nstudno=2023001\r\n");
    EXPECT_EQ(Folder.Read("setup_srvip.txt"), "127.0.0.1\r\n");
    EXPECT_TRUE(Server.Connection(0).WaitForClosed());
    EXPECT_EQ(Server.ConnectionCount(), 1);
    EXPECT_EQ(BoxCount(), 0u);
}
