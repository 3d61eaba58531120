// The main window's answer road: the problem-number box and its type label, choosing an answer
// file, and sending an answer (checks, short-answer script, instrumented copy, upload request).
#include "UnitMain.h"

#include "Application.h"
#include "Codec.h"
#include "Files.h"
#include "LogView.h"
#include "SysUtils.h"
#include "UnitCheckText.h"
#include "UnitCommon.h"
#include "UnitFileReceiving.h"
#include "UnitProgramCheck.h"
#include "UnitSocketClient.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>

#include <functional>

namespace {

const char* const MissingFileText = "所发送文件不存在！待发送文件:";

// Hands the events of one widget to a handler; true from the handler swallows the event.
class TEventHook : public QObject {
public:
    TEventHook(QObject* watched, std::function<bool(QEvent*)> handler)
        : QObject(watched), FHandler(std::move(handler)) {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override { return FHandler(event); }

private:
    std::function<bool(QEvent*)> FHandler;
};

// The whole text as a decimal number; -1 when it is not one. The general conversion would also
// take blanks before it and hexadecimal ("x1", "$1F").
int ProblemNumberValue(const AnsiString& number) {
    const size_t sign = number.rfind('+', 0) == 0 || number.rfind('-', 0) == 0 ? 1 : 0;
    if (number.size() == sign || number.find_first_not_of("0123456789", sign) != AnsiString::npos)
        return -1;
    return StrToIntDef(number, -1);
}

// A name the file system cannot resolve (a loop of links, a folder it may not search) names no
// answer file, as the target platform reports it.
bool AnswerFileExists(const AnsiString& fileName) {
    try {
        return FileExists(fileName);
    } catch (const EFOpenError&) {
        return false;
    }
}

// The instrumented copy lies beside the program, its name the program's with the prefix.
AnsiString InstrumentedCopyName(const AnsiString& fileName) {
    const AnsiString namePart = FileNamePart(fileName);
    return fileName.substr(0, fileName.size() - namePart.size()) + InstrumentedPrefix + namePart;
}

// The character a key press types, as a key filter sees it: Ctrl with a letter types its
// control character; keys that type nothing (arrows, Delete, ...) and the focus keys give 0.
char TypedCharacter(const QKeyEvent& event) {
    if (event.key() == Qt::Key_Delete || event.key() == Qt::Key_Tab ||
        event.key() == Qt::Key_Backtab)
        return 0;
    if (event.modifiers().testFlag(Qt::ControlModifier) && event.key() >= Qt::Key_A &&
        event.key() <= Qt::Key_Z)
        return static_cast<char>(event.key() - Qt::Key_A + 1);
    if (event.key() == Qt::Key_Backspace)
        return '\b';
    const QString text = event.text();
    if (text.isEmpty())
        return 0;
    const char16_t character = text.at(0).unicode();
    return character < 0x80 ? static_cast<char>(character) : '?';
}

// Adds the answer unless the list holds it, letter case ignored. The list stays sorted the same
// way; the box keeps the text it shows.
void AddToAnswerHistory(QComboBox* box, const AnsiString& answer) {
    int position = 0;
    for (; position < box->count(); ++position) {
        const int order = AnsiCompareText(FromQString(box->itemText(position)), answer);
        if (order == 0)
            return;
        if (order > 0)
            break;
    }
    const QString text = box->currentText();
    box->insertItem(position, ToQString(answer));
    box->setCurrentIndex(-1);
    box->setEditText(text);
}

// A typed true/false or choice answer becomes the short-answer script in the program folder;
// its path, or "" for any other answer.
AnsiString WriteShortAnswerScript(const AnsiString& answer) {
    const AnsiString path = GetExePath() + ShortAnswerFile;
    AnsiString script;
    if (IsJudgeAnswer(answer))
        MakeJudgeAnswerScript(AnsiUpperCase(answer), path, script);
    else if (IsChoiceAnswer(answer))
        MakeChoiceAnswerScript(AnsiUpperCase(answer), path, script);
    else
        return AnsiString();
    return path;
}

// Records the first program sent for the problem; another program goes only when the student
// says yes to it. False when the student declines.
bool RecordFirstProgram(TStringList& sentFiles, const AnsiString& number,
                        const AnsiString& program) {
    if (sentFiles.IndexOfName(number) < 0) {
        sentFiles.Add(number + "=" + program);
        return true;
    }
    const AnsiString first = sentFiles.Values(number);
    if (first == program ||
        AskModalBox("操作提示",
                    "本次发送的程序文件不同于上次发送的. 是否仍要发送文件?\r\n上次发送文件: " +
                        first + "\r\n本次发送文件: " + program,
                    TQuestionButtons::YesNo))
        return true;
    ShowMsg("操作提示", "您取消了本次文件发送操作！");
    return false;
}

} // namespace

void TFormMain::BindSendHandlers() {
    connect(btnSendFile, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { btnSendFileClick(); }));
    connect(btnSelectFile, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { btnSelectFileClick(); }));
    // Only the student's own edits and choices count as a change, as in the edit control.
    connect(EditOrder->lineEdit(), &QLineEdit::textEdited, this,
            GuardedSlot([this](const QString&) { EditOrderChange(); }));
    connect(EditOrder, &QComboBox::activated, this,
            GuardedSlot([this](int) { EditOrderChange(); }));
    // Characters typed through an input method would pass by the key filter.
    EditOrder->setAttribute(Qt::WA_InputMethodEnabled, false);
    EditOrder->lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, false);
    // The box has the focus and hands its keys straight to its line edit, so its own key events
    // are the ones to filter.
    new TEventHook(EditOrder, [this](QEvent* event) {
        if (event->type() != QEvent::KeyPress)
            return false;
        char key = TypedCharacter(*static_cast<QKeyEvent*>(event));
        if (key == 0)
            return false;
        Guarded([&] { EditOrderKeyPress(key); });
        return key == 0;
    });
    // The list hides before an item picked from it reaches the text, so the close-up waits for
    // the pick to land.
    new TEventHook(EditOrder->view(), [this](QEvent* event) {
        if (event->type() == QEvent::Hide)
            QMetaObject::invokeMethod(
                this, [this] { Guarded([this] { EditOrderCloseUp(); }); }, Qt::QueuedConnection);
        return false;
    });
}

void TFormMain::EditOrderKeyPress(char& key) {
    if (key != '\b' && (key < '0' || key > '9'))
        key = 0;
}

void TFormMain::EditOrderChange() {
    ShowProblemType();
}

void TFormMain::EditOrderCloseUp() {
    ShowProblemType();
}

void TFormMain::ShowProblemType() {
    const AnsiString number = FromQString(EditOrder->currentText());
    if (number.empty())
        return;
    if (ProblemNumberValue(number) < 0) {
        ShowMsg("系统提示", "输入的题目序号非法，请重新输入。");
        return;
    }
    const AnsiString type = FClient ? FClient->FProblemTypes.Values(number) : AnsiString();
    const char* label = "题目类型有误";
    if (type == "0")
        label = "编程题";
    else if (type == "1")
        label = "判断题";
    else if (type == "2")
        label = "选择题";
    lblProbInfo->setText(ToQString(label));
}

bool TFormMain::UsesInputOrPause(const AnsiString& fileName) {
    TStringList lines;
    lines.LoadFromFile(fileName);
    return MentionsInputOrPause(lines.Text());
}

// Built when first needed: creating a file dialog is costly and most starts never open it.
void TFormMain::btnSelectFileClick() {
    if (!OpenDialog1) {
        OpenDialog1 = new QFileDialog(this);
        OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
        OpenDialog1->setFileMode(QFileDialog::AnyFile);
        OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    }
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty())
        return;
    // The dialog gives full paths; whether the file is there is the send road's own rule.
    const AnsiString chosen = platform::AnsiFileName(OpenDialog1->selectedFiles().constFirst());
    cbxFileName->setEditText(AnswerFileExists(chosen) ? ToQString(chosen) : QString());
}

void TFormMain::btnSendFileClick() {
    if (!FClient)
        throw Exception("TFormMain.btnSendFileClick: no connection object");
    if (!CheckCourseName())
        return;
    const AnsiString number = FromQString(EditOrder->currentText());
    if (ProblemNumberValue(number) < 0) {
        ShowMsg("提醒", "输入的题目序号有误。\r\n题目序号必须为题目的自然序号.\r\n如: "
                        "第1个题目输入1，第2个题目输入2。");
        return;
    }
    const AnsiString answer = FromQString(cbxFileName->currentText());
    if (Trim(answer).empty()) {
        ShowMsg("提醒", MissingFileText + answer);
        return;
    }
    if (FClient->HasScore(number) &&
        !AskModalBox("系统提示", "本题目已经有得分. 是否要重新发送", TQuestionButtons::OkCancel))
        return;
    // A question lets events in, the window's closing among them: its objects may be gone.
    if (!FClient)
        return;
    if (FileNamePart(answer).rfind(InstrumentedPrefix, 0) == 0) {
        ShowMsg("提醒", "发送的文件名前缀不能取:syschk_.\r\n请另存为一个合法文件名。");
        return;
    }

    // From here on a stop leaves the button off until the next "链接".
    btnSendFile->setEnabled(false);
    AnsiString fileToSend = WriteShortAnswerScript(answer);
    if (fileToSend.empty()) {
        if (!AnswerFileExists(answer)) {
            ShowMsg("提醒", MissingFileText + answer);
            return;
        }
        fileToSend = answer;
    }
    // The questions below let events in: no received file may replace the answer meanwhile.
    const platform::TFileHold answerHold(fileToSend);
    if (IsMatlabProgram(answer) && !RecordFirstProgram(*FSentFiles, number, answer))
        return;
    if (!FClient) // closed while the question was open
        return;
    AddToAnswerHistory(cbxFileName, answer);

    if (IsMatlabProgram(fileToSend) && UsesInputOrPause(fileToSend)) {
        ShowMsg("系统提示",
                "程序文件中不能包含\"input\", \"pause\"函数或命令的调用。\r\n发送文件 " +
                    fileToSend + " 失败。");
        return;
    }

    AppendLogEntry(Memo1, TimeStamp() + Format("  开始为第%s题发送文件...", number.c_str()));
    FClient->StopPollTimer();
    FClient->SetBusy(true);
    btnSendMessage->setEnabled(false);
    btnRequestScore->setEnabled(false);
    btnSelectFile->setEnabled(false);

    const AnsiString problemKey = FClient->FProblems.Values(number);
    if (!IsMatlabProgram(fileToSend)) {
        FClient->SendFileRequest(number, problemKey, fileToSend);
    } else {
        // A file that cannot be read or a copy that cannot be written ends the sending state as
        // a refusal does, so that the student can remove the cause and send again.
        try {
            TStringList source;
            source.LoadFromFile(fileToSend);
            TStringList target;
            AnsiString reason;
            if (InstrumentProgram(source, target, reason)) {
                const AnsiString copy = InstrumentedCopyName(fileToSend);
                target.SaveToFile(copy);
                FClient->SendFileRequest(number, problemKey, copy);
            } else {
                AppendLogEntry(Memo1, "   发送失败. 原因: " + reason);
                EndSendingState();
            }
        } catch (...) {
            EndSendingState();
            throw;
        }
    }
    cbxFileName->setEditText(QString());
}

void TFormMain::EndSendingState() {
    FClient->SetButtonsEnabled(true);
    FClient->SetBusy(false);
    FClient->StartPollTimer();
}
