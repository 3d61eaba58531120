// The main window's first half of the student's work: the course check, the identity, "链接",
// "报到", the client index, the poll tick, the force-report command and the machine identity.
#include "UnitMain.h"

#include "Codec.h"
#include "DiskSN.h"
#include "LogView.h"
#include "Sockets.h"
#include "SysUtils.h"
#include "UnitCommon.h"
#include "UnitFrameProb.h"
#include "UnitMachineId.h"
#include "UnitSocketClient.h"
#include "UnitThreadReceiverNew.h"

#include <QTimer>

namespace {

// Reports from the second to the tenth are pointed out to the student.
constexpr int kFirstRepeatedReport = 2;
constexpr int kLastCountedReport = 10;
// A client index is a short number; the label shows no more of whatever the server sends.
constexpr size_t kClientIndexShownMax = 32;

} // namespace

bool TFormMain::CheckCourseName() {
    if (!Trim(FromQString(cbxCourseID->currentText())).empty())
        return true;
    ShowMsg("操作提示", "请选择或输入课程名称，并输入列表框中的课程名称进行确认。");
    return false;
}

void TFormMain::IdentifyAs(const AnsiString& number) {
    FClient->FIdentity =
        JoinFields(GetMachineId(), FromQString(cbxCourseID->currentText()), number, "?");
    FClient->FStudentNo = number;
}

void TFormMain::btnConnectClick() {
    ClearProblemImage();
    if (!CheckCourseName())
        return;
    try {
        btnConnect->setEnabled(false);
        if (!FClient)
            throw Exception("TFormMain.btnConnectClick: no connection object");
        FClient->StopPollTimer();
        IdentifyAs(FromQString(EditStudNo->text()));
        if (ClientConnected())
            AppendLogEntry(Memo1, "已经与服务器链接！不必重新链接。");
        else
            FClient->ConnectServer(ServerAddress(), Edit_Port->value(), true);
        if (!FClient->IsBusy()) {
            btnSelectFile->setEnabled(true);
            btnRequestScore->setEnabled(true);
            btnSendFile->setEnabled(true);
            btnReport->setEnabled(true);
            btnSendMessage->setEnabled(true);
        }
        for (auto& channel : FDownloaders) {
            channel->FLog = Memo1;
            channel->FStudentNo = FromQString(EditStudNo->text());
        }
        btnConnect->setEnabled(true);
    } catch (const std::exception&) {
        ShowMsg("提示", "链接服务器失败！");
        btnConnect->setEnabled(true);
    }
}

void TFormMain::btnReportClick() {
    ClearProblemImage();
    Timer_Msg->stop();
    if (!FClient)
        return;
    FClient->FPollTimer = Timer_Msg;
    if (!CheckCourseName())
        return;
    ++FReportCount;
    if (FReportCount >= kFirstRepeatedReport && FReportCount <= kLastCountedReport) {
        ShowMsg("提醒", Format("您这是第%d次报到！", FReportCount));
        // The box lets events in, the window's closing among them.
        if (!FClient)
            return;
    }
    FClient->StopPollTimer();
    btnReport->setEnabled(false);
    FClient->ConnectServer(ServerAddress(), Edit_Port->value(), false);
    FClient->ReportAttendance(FromQString(Edit_pwd->text()));
    FClient->FControls[0] = btnSendFile;
    FClient->FControls[1] = btnRequestScore;
    FClient->FControls[3] = btnDownNew;
    FClient->FProblemBox = EditOrder;
    FClient->FOnPortReady = [this](int index) { SetupDownloader(index); };
    FClient->FOnClientIndex = [this] { ShowClientIndex(); };
    AddServerAddressToList();
}

// The list keeps one entry per address, letter case ignored; it is saved at close.
void TFormMain::AddServerAddressToList() {
    const AnsiString address = ServerAddress();
    for (int i = 0; i < cbxIP->count(); ++i)
        if (AnsiSameText(FromQString(cbxIP->itemText(i)), address))
            return;
    const QString text = cbxIP->currentText();
    cbxIP->addItem(text);
    cbxIP->setEditText(text);
}

void TFormMain::ShowClientIndex() {
    if (FClient)
        lblClientIndex->setText(ShownText(FClient->FClientIndex, kClientIndexShownMax));
}

// One tick, one poll: the connection object starts the timer again on the server's answer.
void TFormMain::Timer_MsgTimer() {
    Timer_Msg->stop();
    if (FClient)
        FClient->PollServer();
}

void TFormMain::NReReportClick() {
    btnReport->setEnabled(true);
    btnSelectFile->setEnabled(true);
}

// A fresh reading of the hardware every time: at least half a second.
AnsiString TFormMain::GetMachineId() {
    TDISKSN hardware;
    hardware.SetActive(true);
    return MachineIdFrom(hardware);
}

void TFormMain::ID1Click() {
    TDISKSN hardware;
    hardware.SetActive(true);
    for (const AnsiString& line : AdapterIdLines(hardware))
        AppendLogEntry(Memo1, line);
}

void TFormMain::ClearProblemImage() {
    if (FrameProbList1)
        FrameProbList1->ClearImage();
}
