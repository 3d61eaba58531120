// The main window's talk with the teacher beside the answer road: text messages, instant
// answers, score queries and the ranking request.
#include "UnitMain.h"

#include "Application.h"
#include "Codec.h"
#include "LogView.h"
#include "UnitCommon.h"
#include "UnitSocketClient.h"

#include <QPushButton>

namespace {

constexpr int kMessageLineLimit = 40;
constexpr int kScoreQueryWarningAfter = 30;

// The editor's text as the server gets it: lines separated by CR LF, none added at the end.
AnsiString MessageText(const QString& editorText) {
    QString text = editorText;
    return FromQString(text.replace(u'\n', QStringLiteral("\r\n")));
}

// The editor's lines; an empty last line after a final line break does not count.
qsizetype MessageLineCount(const QString& editorText) {
    const qsizetype breaks = editorText.count(u'\n');
    return editorText.endsWith(u'\n') || editorText.isEmpty() ? breaks : breaks + 1;
}

} // namespace

void TFormMain::BindMessageHandlers() {
    connect(btnSendMessage, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { btnSendMessageClick(); }));
    connect(BitBtn2, &QPushButton::clicked, this, GuardedSlot([this](bool) { BitBtn2Click(); }));
    connect(btnRequestScore, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { btnRequestScoreClick(); }));
    connect(BitBtn3, &QPushButton::clicked, this, GuardedSlot([this](bool) { BitBtn3Click(); }));
}

void TFormMain::btnSendMessageClick() {
    const QString editorText = Memo_Message->toPlainText();
    const AnsiString text = MessageText(editorText);
    if (Trim(text).empty()) {
        ShowMsg("操作提示", "不能发送空白消息！");
        return;
    }
    if (MessageLineCount(editorText) > kMessageLineLimit) {
        ShowMsg("操作提示", "您要发送的文本消息较长，请缩减至40行以内！");
        return;
    }
    if (!ClientConnected()) {
        ShowMsg("操作提示", "发送失败，请重新链接服务端！");
        return;
    }
    FClient->SendTextMessage(text);
    AppendLogEntry(Memo1, TimeStamp() + "   发送消息至服务端:");
    AppendLogEntry(Memo1, text + "\r\n");
    Memo_Message->clear();
}

// A question asked on the spot: the answer box's text goes out as typed, under the problem
// number as typed, which may be empty.
void TFormMain::BitBtn2Click() {
    const AnsiString answer = FromQString(cbxFileName->currentText());
    if (Trim(answer).empty()) {
        ShowMsg("操作提示", "请在下方组合输入框中输入答案.\r\n作为当前服务端临时提问的解答.");
        return;
    }
    if (FClient)
        FClient->SendInstantAnswer(FromQString(EditOrder->currentText()), "1", answer);
}

// The score reply "12" ends the busy state and starts the poll again.
void TFormMain::btnRequestScoreClick() {
    ++FScoreQueryCount;
    if (FScoreQueryCount > kScoreQueryWarningAfter)
        ShowMsg("提醒", Format("这是您第%d次查分！查分较频繁。", FScoreQueryCount));
    if (!FClient)
        return;
    FClient->StopPollTimer();
    FClient->SetBusy(true);
    FClient->RequestScore("");
}

void TFormMain::BitBtn3Click() {
    if (FClient)
        FClient->RequestRanking();
}
