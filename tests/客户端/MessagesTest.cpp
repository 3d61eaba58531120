// "发送消息", "即测即发", "查分" and "查看排名" against a scripted teacher server: the checks
// and their boxes, the bytes on the wire and the log.
#include "MainWindowFixture.h"

#include "LogView.h"

#include "Sockets.h"
#include "UnitSocketClient.h"

#include <QTimer>

namespace {

// count lines "第n行", joined by the editor's line breaks.
QString EditorLines(int count) {
    QStringList lines;
    for (int n = 1; n <= count; ++n)
        lines << ToQString(Format("第%d行", n));
    return lines.join(u'\n');
}

std::vector<AnsiString> SplitAtLineBreaks(const AnsiString& text) {
    std::vector<AnsiString> pieces;
    for (size_t start = 0;;) {
        const size_t end = text.find("\r\n", start);
        pieces.push_back(text.substr(start, end - start));
        if (end == AnsiString::npos)
            return pieces;
        start = end + 2;
    }
}

size_t Occurrences(const AnsiString& text, const AnsiString& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != AnsiString::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

const char* const EmptyBox = "操作提示 | 不能发送空白消息！";
const char* const LongBox = "操作提示 | 您要发送的文本消息较长，请缩减至40行以内！";
const char* const ClosedBox = "操作提示 | 发送失败，请重新链接服务端！";

struct MessageCase {
    const char* Name;
    QString Editor;
    bool Connected;
    AnsiString Box;  // empty: the message goes out
    AnsiString Sent; // the text field on the wire; empty: the editor's lines joined by CR LF
};

class MessagesTest : public MainWindowTest {
protected:
    ScriptedTeacherServer Server;
};

} // namespace

TEST_F(MessagesTest, TheMessageChecksRunInOrderAndAMessageGoesOutAsTypedAsDoesTheRanking) {
    const QString megabyte = QString(26214, u'x').append(u'\n').repeated(40);
    const std::vector<MessageCase> cases = {
        {"forty lines", EditorLines(40), true, "", ""},
        {"forty lines and a final break", EditorLines(40) + Q("\n"), true, "", ""},
        {"forty-one lines", EditorLines(41), true, LongBox, ""},
        {"forty lines, an empty one and a break", EditorLines(40) + Q("\n\n"), true, LongBox, ""},
        {"blanks and breaks only", Q(" \n\t \n  "), true, EmptyBox, ""},
        {"blanks and blank lines kept", Q("  问题一\n\n  问题二  "), true, "",
         "  问题一\r\n\r\n  问题二  "},
        {"field separators unchanged", Q("a?b??"), true, "", "a?b??"},
        {"outside GBK", Q("老师") + QString::fromUtf8("\xF0\x9F\x98\x80") + Q("好"), true, "",
         "老师?好"},
        {"a NUL inside", QStringLiteral("a") + QChar(0) + QStringLiteral("b"), true, "",
         AnsiString("a\0b", 3)},
        {"one megabyte", megabyte, true, "", ""},
        {"closed connection", Q("你好"), false, ClosedBox, ""},
        {"closed connection, blank text", Q(" \n "), false, EmptyBox, ""},
        {"closed connection, long text", EditorLines(41), false, LongBox, ""},
    };
    const ScopedClock clock(TestMoment);
    TFormMain& w = CreateWindowConnectedTo(Server);
    AnsiString expectedWire;
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.Name);
        if (!c.Connected && Server.Connection(0).IsOpen()) {
            // The ranking request, unchecked and unlogged, closes what the server received;
            // then the server drops the connection.
            const size_t logLines = LogLines(w.Memo1).size();
            w.BitBtn3->click();
            expectedWire += "S1" + ConnectedIdentity;
            ASSERT_TRUE(Server.WaitForBytes(expectedWire.size()));
            EXPECT_EQ(Server.Received(), expectedWire);
            EXPECT_EQ(LogLines(w.Memo1).size(), logLines);
            Server.CloseConnection();
            ASSERT_TRUE(WaitUntil([&] { return !w.FClient->FSocket->Active(); }));
        }
        const size_t boxes = BoxCount();
        const size_t logLines = LogLines(w.Memo1).size();
        w.Memo_Message->setPlainText(c.Editor);
        w.btnSendMessage->click();
        if (!c.Box.empty()) {
            ASSERT_EQ(BoxCount(), boxes + 1);
            EXPECT_EQ(Box(boxes), c.Box);
            EXPECT_EQ(w.Memo_Message->toPlainText(), c.Editor);
            EXPECT_EQ(LogLines(w.Memo1).size(), logLines);
            continue;
        }
        const AnsiString sent =
            !c.Sent.empty() ? c.Sent
                            : Text(QString(c.Editor).replace(u'\n', QStringLiteral("\r\n")));
        expectedWire += "08" + ConnectedIdentity + "?" + sent;
        EXPECT_EQ(BoxCount(), boxes);
        EXPECT_TRUE(w.Memo_Message->toPlainText().isEmpty());
        std::vector<AnsiString> log = LogLines(w.Memo1);
        ASSERT_GT(log.size(), logLines);
        EXPECT_EQ(log[logLines], "08:05:09   发送消息至服务端:");
        AnsiString shown = sent + "\r\n";
        if (shown.size() > LogEntryShownMax) // the megabyte: one-byte characters, cut at the bound
            shown = shown.substr(0, LogEntryShownMax) + "…";
        EXPECT_EQ(std::vector<AnsiString>(log.begin() + static_cast<long>(logLines) + 1, log.end()),
                  SplitAtLineBreaks(shown));
    }
    EXPECT_EQ(Server.ConnectionCount(), 1);
}

TEST_F(MessagesTest, AnInstantAnswerGoesOutAsTypedUnderTheProblemNumberAsTyped) {
    TFormMain& w = CreateWindowConnectedTo(Server);
    const std::vector<AnsiString> logBefore = LogLines(w.Memo1);
    for (const char* blank : {"", " \t "}) {
        w.cbxFileName->setEditText(Q(blank));
        w.BitBtn2->click();
    }
    ASSERT_EQ(BoxCount(), 2u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(Box(i),
                  "操作提示 | 请在下方组合输入框中输入答案.\r\n作为当前服务端临时提问的解答.");

    w.cbxFileName->setEditText(Q("C:\\答案\\第3题.m"));
    w.BitBtn2->click();
    const AnsiString first = "31" + ConnectedIdentity + "??1?C:\\答案\\第3题.m";
    ASSERT_TRUE(Server.WaitForBytes(first.size()));
    w.EditOrder->setEditText(QStringLiteral("3"));
    w.cbxFileName->setEditText(Q(" ab "));
    w.BitBtn2->click();
    const AnsiString second = "31" + ConnectedIdentity + "?3?1? ab ";
    ASSERT_TRUE(Server.WaitForBytes(first.size() + second.size()));
    EXPECT_EQ(Server.Received(), first + second);
    EXPECT_EQ(BoxCount(), 2u);
    EXPECT_EQ(LogLines(w.Memo1), logBefore);
    EXPECT_EQ(Text(w.cbxFileName->currentText()), " ab ");
}

TEST_F(MessagesTest, ScoreQueriesWarnFromTheThirtyFirstAndWaitForTheScoreReply) {
    TFormMain& w = CreateWindowConnectedTo(Server);
    w.btnReport->click(); // binds the poll timer
    const AnsiString query = "11" + ConnectedIdentity + "?";
    w.Timer_Msg->start();
    for (int click = 1; click <= 30; ++click)
        w.btnRequestScore->click();
    EXPECT_EQ(BoxCount(), 0u);
    EXPECT_FALSE(w.Timer_Msg->isActive());
    EXPECT_TRUE(w.FClient->IsBusy());

    w.btnRequestScore->click();
    w.btnRequestScore->click();
    ASSERT_EQ(BoxCount(), 2u);
    EXPECT_EQ(Box(0), "提醒 | 这是您第31次查分！查分较频繁。");
    EXPECT_EQ(Box(1), "提醒 | 这是您第32次查分！查分较频繁。");
    EXPECT_EQ(w.FScoreQueryCount, 32);
    ASSERT_TRUE(WaitUntil([&] { return Occurrences(Server.Received(), query) == 32; }));

    Server.Send("121=10");
    ASSERT_TRUE(WaitUntil([&] { return !w.FClient->IsBusy(); }));
    EXPECT_TRUE(w.Timer_Msg->isActive());
}
