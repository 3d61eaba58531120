// The push receiver: listens on a port for the files and text messages the teacher's server
// pushes, keeping one transfer per peer address.
#pragma once

#include "AnsiString.h"
#include "Classes.h"
#include "Sockets.h"
#include "UnitFileReceiving.h"

#include <chrono>
#include <memory>
#include <unordered_map>
#include <vector>

class QPlainTextEdit;
class QTimer;

// Every connection holds a descriptor, and the event loop needs descriptors of its own out of the
// process's thousand or so: anyone on the network can connect, so a connection past this many is
// closed as soon as it is accepted.
constexpr int MaxPushConnections = 64;
// One host's share of them: the teacher's server pushes over a connection or two at a time, and
// no host may hold every place.
constexpr int MaxPushConnectionsPerAddress = 8;
// The server answers each of our replies at once, so a connection silent this long carries no
// transfer; it is closed, which gives its transfer up.
constexpr std::chrono::seconds PushIdleTimeout{60};
// A pushed file's bound, which is one address's share of the budget of files in progress: the
// receiver keeps one file per address, so no host can hold the room that the teacher's pushes
// and the downloads need. A classroom file is a few MiB.
constexpr std::size_t MaxPushedFileBytes = MaxTransfersInProgressBytes / 4;

// What one push receiver admits; tests give smaller values.
struct TPushReceiverLimits {
    int MaxConnections = MaxPushConnections;
    int MaxConnectionsPerAddress = MaxPushConnectionsPerAddress;
    std::chrono::milliseconds IdleTimeout = PushIdleTimeout;
    std::size_t MaxFileBytes = MaxPushedFileBytes;
};

class TSocketFileReceiver {
public:
    static constexpr int MaxPeers = 1000;

    // Listens at once on all local IPv4 addresses; a port that cannot be bound raises the
    // socket error and no receiver exists. Files in progress take their memory from the budget.
    TSocketFileReceiver(
        const AnsiString& folder, int port,
        std::shared_ptr<TTransferBudget> budget = std::make_shared<TTransferBudget>(),
        const TPushReceiverLimits& limits = {});
    ~TSocketFileReceiver();
    TSocketFileReceiver(const TSocketFileReceiver&) = delete;
    TSocketFileReceiver& operator=(const TSocketFileReceiver&) = delete;

    // Position of the first active connection from that address, else -1.
    int FindConnectionIndex(const AnsiString& address);

    // Closes a connection beyond the limit or its address's share; watches the others for
    // silence.
    void ServerSocketClientConnect(platform::TCustomWinSocket& socket);
    // When an address's last connection closes, its transfer is given up and its record freed:
    // the next connection from there starts afresh, and records never run out for good.
    void ServerSocketClientDisconnect(platform::TCustomWinSocket& socket);
    void ServerSocketClientError(platform::TCustomWinSocket& socket, platform::TErrorEvent event,
                                 int& errorCode);
    void ServerSocketClientRead(platform::TCustomWinSocket& socket);

    std::vector<CMM_CLIENTInfo> FClients; // record k belongs to FPeerAddresses[k]
    AnsiString FFolder;
    std::unique_ptr<platform::TServerSocket> FServerSocket;
    std::unique_ptr<TStringList> FPeerAddresses; // in order of first read, while connected
    QPlainTextEdit* FLog = nullptr;              // not owned; set by the owner
    std::unique_ptr<TStringList> FLocalIPs;
    AnsiString FLocalID; // the identity of every reply

private:
    int ConnectionsFrom(const AnsiString& address) const; // the active ones
    void WatchForSilence(platform::TCustomWinSocket& socket);
    TReceiveContext Context() const {
        return TReceiveContext{FFolder, FLocalID, FLog, nullptr, FLimits.MaxFileBytes, FBudget};
    }

    std::shared_ptr<TTransferBudget> FBudget;
    TPushReceiverLimits FLimits;
    // Restarted by every read; owned by their connections, which they close when they run out.
    std::unordered_map<const platform::TCustomWinSocket*, QTimer*> FIdleTimers;
};
