#include "UnitThreadReceiver.h"

#include "UnitCheckText.h"

#include <QTimer>

TSocketFileReceiver::TSocketFileReceiver(const AnsiString& folder, int port,
                                         std::shared_ptr<TTransferBudget> budget,
                                         const TPushReceiverLimits& limits)
    : FFolder(folder), FPeerAddresses(std::make_unique<TStringList>()), FBudget(std::move(budget)),
      FLimits(limits) {
    FServerSocket = std::make_unique<platform::TServerSocket>();
    FServerSocket->SetPort(port);
    FServerSocket->OnClientConnect = [this](platform::TCustomWinSocket& socket) {
        ServerSocketClientConnect(socket);
    };
    FServerSocket->OnClientDisconnect = [this](platform::TCustomWinSocket& socket) {
        ServerSocketClientDisconnect(socket);
    };
    FServerSocket->OnClientError = [this](platform::TCustomWinSocket& socket,
                                          platform::TErrorEvent event, int& errorCode) {
        ServerSocketClientError(socket, event, errorCode);
    };
    FServerSocket->OnClientRead = [this](platform::TCustomWinSocket& socket) {
        ServerSocketClientRead(socket);
    };
    FServerSocket->Open();
    FClients.resize(MaxPeers);
    FLocalIPs = GetLocalIPList();
    if (FLocalIPs->Count() > 0)
        FLocalID = FLocalIPs->Strings(0);
}

TSocketFileReceiver::~TSocketFileReceiver() {
    // Connections go first, so that no event meets a half-destroyed receiver; closing them here
    // abandons nothing that needs a log line.
    FServerSocket->OnClientDisconnect = nullptr;
    FServerSocket->Close();
    FServerSocket.reset();
}

int TSocketFileReceiver::FindConnectionIndex(const AnsiString& address) {
    for (int i = 0; i < FServerSocket->ActiveConnections(); ++i)
        if (FServerSocket->Connections(i).RemoteAddress() == address)
            return i;
    return -1;
}

int TSocketFileReceiver::ConnectionsFrom(const AnsiString& address) const {
    int count = 0;
    for (int i = 0; i < FServerSocket->ActiveConnections(); ++i)
        if (FServerSocket->Connections(i).RemoteAddress() == address)
            ++count;
    return count;
}

void TSocketFileReceiver::WatchForSilence(platform::TCustomWinSocket& socket) {
    auto* timer = new QTimer(&socket);
    timer->setSingleShot(true);
    timer->setInterval(FLimits.IdleTimeout);
    QObject::connect(timer, &QTimer::timeout, &socket, [&socket] { socket.Close(); });
    timer->start();
    FIdleTimers[&socket] = timer;
}

void TSocketFileReceiver::ServerSocketClientConnect(platform::TCustomWinSocket& socket) {
    if (FServerSocket->ActiveConnections() > FLimits.MaxConnections ||
        ConnectionsFrom(socket.RemoteAddress()) > FLimits.MaxConnectionsPerAddress)
        socket.Close();
    else
        WatchForSilence(socket);
}

void TSocketFileReceiver::ServerSocketClientDisconnect(platform::TCustomWinSocket& socket) {
    if (const auto timer = FIdleTimers.find(&socket); timer != FIdleTimers.end()) {
        timer->second->stop();
        FIdleTimers.erase(timer);
    }
    const AnsiString address = socket.RemoteAddress();
    const int index = FPeerAddresses->IndexOf(address);
    // The closing connection is still among the active ones.
    if (index < 0 || ConnectionsFrom(address) > 1)
        return;
    const auto record = FClients.begin() + index;
    AbandonTransfer(*record, Context());
    FPeerAddresses->Delete(index);
    FClients.erase(record);
    FClients.emplace_back(); // the records stay as many as the addresses they can serve
}

void TSocketFileReceiver::ServerSocketClientError(platform::TCustomWinSocket& socket,
                                                  platform::TErrorEvent, int& errorCode) {
    platform::ClearSocketError(socket, errorCode);
}

void TSocketFileReceiver::ServerSocketClientRead(platform::TCustomWinSocket& socket) {
    if (const auto timer = FIdleTimers.find(&socket); timer != FIdleTimers.end())
        timer->second->start();
    const AnsiString address = socket.RemoteAddress();
    int index = FPeerAddresses->IndexOf(address);
    if (index < 0) {
        if (FPeerAddresses->Count() >= MaxPeers) {
            socket.Close(); // no record left; the known peers keep theirs
            return;
        }
        FPeerAddresses->Add(address);
        index = FPeerAddresses->Count() - 1;
        FClients[static_cast<std::size_t>(index)].PeerAddress = address;
    }
    ReceiveOnRead(FClients[static_cast<std::size_t>(index)], socket, Context());
}
