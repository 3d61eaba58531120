// A download channel: a connection to a port the server announced, on which the client asks
// for a file ("18") and receives it.
#pragma once

#include "AnsiString.h"
#include "Sockets.h"
#include "UnitFileReceiving.h"

#include <functional>
#include <memory>

class QAbstractButton;
class QPlainTextEdit;

class TSocketFileReceiverNew {
public:
    // Unconnected until Connect or StartDownload. The file in progress takes its memory from
    // the budget.
    explicit TSocketFileReceiverNew(
        const AnsiString& folder,
        std::shared_ptr<TTransferBudget> budget = std::make_shared<TTransferBudget>(),
        std::size_t maxFileBytes = MaxReceivedFileBytes);
    ~TSocketFileReceiverNew();
    TSocketFileReceiverNew(const TSocketFileReceiverNew&) = delete;
    TSocketFileReceiverNew& operator=(const TSocketFileReceiverNew&) = delete;

    // Sets the end point (the same one in other letter case is no change) and opens the socket
    // when it is not open. A different end point while open raises "Can't change value while
    // socket is active". Always true.
    bool Connect(const AnsiString& address, int port);
    // Busy from here until the file is complete, the server has no shared file, or the
    // connection closes.
    void StartDownload();

    // A download the connection took with it is over: its file is given up, and the student
    // may ask again.
    void ClientSocketDisconnect(platform::TCustomWinSocket& socket);
    void ClientSocketError(platform::TCustomWinSocket& socket, platform::TErrorEvent event,
                           int& errorCode);
    void ClientSocketRead(platform::TCustomWinSocket& socket);

    CMM_CLIENTInfo FClients; // the channel's one transfer
    AnsiString FFolder;
    std::unique_ptr<platform::TClientSocket> FClientSocket; // open when Active()
    QPlainTextEdit* FLog = nullptr;                         // not owned; no lines until set
    AnsiString FStudentNo;              // the identity of every reply and request
    bool FDownloading = false;          // the busy flag
    QAbstractButton* FButton = nullptr; // not owned; only ever enabled
    std::function<void()> FOnDone;      // called last when a file is complete

private:
    TReceiveContext Context() const {
        return TReceiveContext{FFolder, FStudentNo, FLog, &FSteps, FMaxFileBytes, FBudget};
    }

    TChannelSteps FSteps;
    std::shared_ptr<TTransferBudget> FBudget;
    std::size_t FMaxFileBytes;
    // Lets a read that showed a box find out whether the channel outlived it.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
