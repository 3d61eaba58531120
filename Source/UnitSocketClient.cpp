// TSClient: opening the main connection, the attendance report, the poll, the reply dispatch
// and the replies about attendance, problems, notices and echoes.
#include "UnitSocketClient.h"

#include "LogView.h"
#include "Sockets.h"
#include "SysUtils.h"
#include "UnitCommon.h"
#include "UnitSplit.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace {

// How long a (re)opened connection may take to come up before ConnectServer gives up.
constexpr int ConnectWaitMs = 2000;
// An attendance reply needs two ports and the client index at least, else it stops at its
// assertion; the server's reply holds three ports and the index.
constexpr int ReportFieldsMin = 3;
constexpr int ReportAssertionLine = 476;
// One port per download channel; no other is ever read.
constexpr int ReportPortsMax = 3;

} // namespace

// Exact codes, in the order they are tested.
const TSClient::TReplyHandler TSClient::ReplyHandlers[] = {
    {"02", &TSClient::HandleFileRejected},  {"03", &TSClient::HandleFileGo},
    {"04", &TSClient::HandleEcho04},        {"14", &TSClient::HandleEcho14},
    {"05", &TSClient::HandleNextBlock},     {"09", &TSClient::HandleFileDone},
    {"28", &TSClient::HandleFileError},     {"12", &TSClient::HandleScores},
    {"15", &TSClient::HandleNotice},        {"92", &TSClient::HandleMessageAck},
    {"08", &TSClient::HandleServerMessage}, {"26", &TSClient::HandleBroadcast},
    {"29", &TSClient::HandleCheckResults},  {"22", &TSClient::HandleReportResult},
    {"06", &TSClient::HandleReset},         {"17", &TSClient::HandleProblemList},
    {"24", &TSClient::HandleProblemTypes},  {"25", &TSClient::HandlePollIdle},
};

TSClient::TSClient() : FSocket(std::make_unique<platform::TClientSocket>()) {
    FSocket->OnRead = [this](platform::TCustomWinSocket& socket) { ClientSocketRead(socket); };
    FSocket->OnError = [this](platform::TCustomWinSocket& socket, platform::TErrorEvent,
                              int& errorCode) { ClientSocketError(socket, errorCode); };
    FSocket->OnDisconnect = [this](platform::TCustomWinSocket&) { ClientSocketDisconnect(); };
    for (int i = 0; i < 3; ++i)
        FPorts.Add("");
}

TSClient::~TSClient() {
    // The socket goes first, so that closing it cannot call back into a half-destroyed object.
    FSocket.reset();
}

bool TSClient::ConnectServer(const AnsiString& address, int port, bool force) {
    try {
        if (force || address != FSocket->Address() || port != FSocket->Port()) {
            FSocket->Close();
            FSocket->SetAddress(address);
            FSocket->SetPort(port);
            FSocket->Open();
        }
        if (!FSocket->Active()) {
            FSocket->Open(); // leaves an attempt that is already pending to stand
            FSocket->WaitForConnected(ConnectWaitMs);
        }
        return FSocket->Active();
    } catch (const std::exception&) {
        return false;
    }
}

void TSClient::ReportAttendance(const AnsiString& password) {
    // Before "链接" or an account command has built an identity the server could not tell
    // who reports.
    if (FIdentity.empty())
        return;
    Send("90" + FIdentity + "?" + "1000" + "?" + password);
}

void TSClient::PollServer() {
    Send("26" + FIdentity + "?");
}

void TSClient::StartPollTimer() {
    if (FPollTimer && !FPollTimer->isActive())
        FPollTimer->start();
}

void TSClient::StopPollTimer() {
    if (FPollTimer && FPollTimer->isActive())
        FPollTimer->stop();
}

void TSClient::SetBusy(bool value) {
    FBusy = value;
}

bool TSClient::IsBusy() const {
    std::lock_guard lock(FLock);
    return FBusy;
}

void TSClient::SetButtonsEnabled(bool enabled) {
    for (QAbstractButton* button :
         {FBtnSendFile, FBtnSendMessage, FBtnRequestScore, FBtnSelectFile})
        if (button)
            button->setEnabled(enabled);
}

void TSClient::SetControlsEnabled(bool enabled) {
    for (QWidget* control : FControls)
        if (control)
            control->setEnabled(enabled);
}

void TSClient::FillProblemNumbers(int count) {
    if (!FProblemBox)
        return;
    FProblemBox->clear();
    QStringList numbers;
    for (int number = 1; number <= std::min(count, ProblemNumbersMax); ++number)
        numbers << QString::number(number);
    FProblemBox->addItems(numbers);
    // Emptying a list box empties its text too; no problem is chosen for the student.
    FProblemBox->setCurrentIndex(-1);
    FProblemBox->setEditText(QString());
    if (count < 1) {
        const AnsiString rule(28, '-');
        Log(rule);
        Log("----注: 本套题目无测试题----");
        Log(rule);
    }
}

void TSClient::ClientSocketRead(platform::TCustomWinSocket& socket) {
    AnsiString message = socket.ReceiveText();
    if (message.size() < 2)
        return;
    const AnsiString code = message.substr(0, 2);
    for (const TReplyHandler& handler : ReplyHandlers) {
        if (code == handler.Code) {
            // The payload takes the message's place: a message of megabytes is held once.
            message.erase(0, 2);
            GuardedEvent([&] { (this->*handler.Handle)(message); }, EventErrorLog());
            return;
        }
    }
}

void TSClient::ClientSocketError(platform::TCustomWinSocket& socket, int& errorCode) {
    platform::ClearSocketError(socket, errorCode);
}

void TSClient::ClientSocketDisconnect() {
    GiveUpRequest();
}

void TSClient::Send(const AnsiString& message) {
    FSocket->Socket().SendText(message);
}

bool TSClient::SendAwaitedRequest(const AnsiString& message) {
    if (!FSocket->Active()) {
        GiveUpRequest();
        StartPollTimer();
        return false;
    }
    Send(message);
    return true;
}

void TSClient::GiveUpRequest() {
    // An answer whose file the server has not pulled whole can no longer go out over another
    // connection; a score query waits for a reply that cannot come either.
    if (FSendHold || FSendStream) {
        EndUpload();
        Log(TimeStamp() + "   发送失败. 原因: 与服务端的连接已断开");
    } else if (!IsBusy()) {
        return;
    }
    SetButtonsEnabled(true);
    SetBusy(false);
}

void TSClient::Log(const AnsiString& entry) {
    AppendLogEntry(FLog, entry);
}

TEventErrorLog TSClient::EventErrorLog() {
    return [this](const AnsiString& line) { Log(TimeStamp() + " " + line); };
}

// The trimmed "+"-fields of the reply: the last one is the client index, the others the ports,
// of which no more than ReportPortsMax are split off: a reply of millions of "+" is not split.
void TSClient::HandleReportResult(const AnsiString& payload) {
    const AnsiString fields = Trim(payload);
    const size_t lastSeparator = fields.rfind('+');
    const bool hasPorts = lastSeparator != AnsiString::npos;
    FClientIndex = TrimRange(fields, hasPorts ? lastSeparator + 1 : 0, fields.size());
    TStringList ports;
    if (hasPorts)
        ForEachPiece(fields.substr(0, lastSeparator), "+", [&ports](const AnsiString& port) {
            ports.Add(port);
            return ports.Count() < ReportPortsMax;
        });
    if (ports.Count() + 1 < ReportFieldsMin)
        throw EAssertionFailed("Source/UnitSocketClient", ReportAssertionLine);
    FPorts = std::move(ports);
    if (FOnClientIndex)
        FOnClientIndex();
    SetControlsEnabled(StrToInt(FPorts[0]) > 1000);
    Log("\r\n" + TimeStamp() + " 报到成功.");
    Send("16" + FIdentity);
    for (int channel = 0; channel < 3; ++channel)
        if (FOnPortReady)
            FOnPortReady(channel);
}

void TSClient::HandleProblemList(const AnsiString& payload) {
    FProblems.SetText(payload, TableLinesMax);
    FillProblemNumbers(FProblems.Count());
    Send("23" + FIdentity);
}

void TSClient::HandleProblemTypes(const AnsiString& payload) {
    FProblemTypes.SetText(payload, TableLinesMax);
    Send("25" + FIdentity);
    if (FOnPortReady)
        FOnPortReady(0);
}

void TSClient::HandlePollIdle(const AnsiString&) {
    StartPollTimer();
}

void TSClient::HandleBroadcast(const AnsiString& payload) {
    if (!payload.empty() && payload[0] == '1')
        Log("\r\n" + TimeStamp() + " 系统广播消息: \r\n" + payload.substr(1));
    StartPollTimer();
}

void TSClient::HandleNotice(const AnsiString& payload) {
    Log("\r\n" + TimeStamp() + "  " + payload);
}

void TSClient::HandleServerMessage(const AnsiString& payload) {
    Log("\r\n" + TimeStamp() + " 服务端消息: \r\n" + payload);
}

void TSClient::HandleEcho04(const AnsiString&) {
    Send("04" + FIdentity);
}

void TSClient::HandleEcho14(const AnsiString&) {
    Send("14" + FIdentity);
}
