// The push receiver: listens on a port for the files and text messages the teacher's server
// pushes, keeping one transfer per peer address.
#pragma once

#include "AnsiString.h"
#include "Classes.h"
#include "Sockets.h"
#include "UnitFileReceiving.h"

#include <memory>
#include <vector>

class QPlainTextEdit;

class TSocketFileReceiver {
public:
    // Every connection holds a descriptor, and the event loop needs descriptors of its own out
    // of the process's thousand or so: anyone on the network can connect, so a connection past
    // this many is closed as soon as it is accepted.
    static constexpr int MaxConnections = 64;
    static constexpr int MaxPeers = 1000;

    // Listens at once on all local IPv4 addresses; a port that cannot be bound raises the
    // socket error and no receiver exists. Files in progress take their memory from the budget.
    TSocketFileReceiver(
        const AnsiString& folder, int port,
        std::shared_ptr<TTransferBudget> budget = std::make_shared<TTransferBudget>(),
        int maxConnections = MaxConnections, std::size_t maxFileBytes = MaxReceivedFileBytes);
    ~TSocketFileReceiver();
    TSocketFileReceiver(const TSocketFileReceiver&) = delete;
    TSocketFileReceiver& operator=(const TSocketFileReceiver&) = delete;

    // Position of the first active connection from that address, else -1.
    int FindConnectionIndex(const AnsiString& address);

    // Closes a connection beyond the limit.
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
    bool HasOtherConnectionFrom(const AnsiString& address,
                                const platform::TCustomWinSocket& socket) const;
    TReceiveContext Context() const {
        return TReceiveContext{FFolder, FLocalID, FLog, nullptr, FMaxFileBytes, FBudget};
    }

    std::shared_ptr<TTransferBudget> FBudget;
    int FMaxConnections;
    std::size_t FMaxFileBytes;
};
