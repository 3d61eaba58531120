#include "UnitThreadReceiverNew.h"

#include <QAbstractButton>

#include <chrono>
#include <thread>

namespace {

// The server gets this long to take a fresh connection before the request goes out.
constexpr std::chrono::milliseconds DownloadStartWait(200);

} // namespace

TSocketFileReceiverNew::TSocketFileReceiverNew(const AnsiString& folder,
                                               std::shared_ptr<TTransferBudget> budget,
                                               std::size_t maxFileBytes)
    : FFolder(folder), FClientSocket(std::make_unique<platform::TClientSocket>()),
      FBudget(std::move(budget)), FMaxFileBytes(maxFileBytes) {
    FClientSocket->OnRead = [this](platform::TCustomWinSocket& socket) {
        ClientSocketRead(socket);
    };
    FClientSocket->OnDisconnect = [this](platform::TCustomWinSocket& socket) {
        ClientSocketDisconnect(socket);
    };
    FClientSocket->OnError = [this](platform::TCustomWinSocket& socket, platform::TErrorEvent event,
                                    int& errorCode) {
        ClientSocketError(socket, event, errorCode);
    };
    FSteps.EnableButton = [this] {
        if (FButton)
            FButton->setEnabled(true);
    };
    FSteps.ClearBusy = [this] { FDownloading = false; };
}

TSocketFileReceiverNew::~TSocketFileReceiverNew() {
    // Our own close ends no download that anyone is told of.
    FClientSocket->OnDisconnect = nullptr;
    FClientSocket->Close();
    FClientSocket.reset();
}

bool TSocketFileReceiverNew::Connect(const AnsiString& address, int port) {
    if (!AnsiSameText(FClientSocket->Address(), address))
        FClientSocket->SetAddress(address);
    if (FClientSocket->Port() != port)
        FClientSocket->SetPort(port);
    if (!FClientSocket->Active())
        FClientSocket->Open();
    return true;
}

void TSocketFileReceiverNew::StartDownload() {
    FDownloading = true;
    if (!FClientSocket->Active())
        FClientSocket->Open();
    std::this_thread::sleep_for(DownloadStartWait);
    if (!FClientSocket->Active())
        FClientSocket->Open();
    FClientSocket->Socket().SendText("18" + FStudentNo);
}

void TSocketFileReceiverNew::ClientSocketError(platform::TCustomWinSocket& socket,
                                               platform::TErrorEvent, int& errorCode) {
    platform::ClearSocketError(socket, errorCode);
}

void TSocketFileReceiverNew::ClientSocketDisconnect(platform::TCustomWinSocket&) {
    // Busy without a file in progress is a request ("18") the server never answered.
    const bool downloadLost = FDownloading || FClients.Stream != nullptr;
    AbandonTransfer(FClients, Context());
    if (!downloadLost)
        return;
    FSteps.EnableButton();
    FSteps.ClearBusy();
}

void TSocketFileReceiverNew::ClientSocketRead(platform::TCustomWinSocket& socket) {
    const std::weak_ptr<bool> alive = FAlive;
    const TReadOutcome outcome = ReceiveOnRead(FClients, socket, Context());
    if (outcome != TReadOutcome::FileCompleted || alive.expired() || !FOnDone)
        return;
    const std::function<void()> done = FOnDone; // the callback may rebind FOnDone
    // The server decides how many files complete: each failing callback must not nest a box.
    GuardedEvent(done, ReceiverErrorLog(Context()));
}
