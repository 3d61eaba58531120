#include "ReceiverPeer.h"

#include "TestSupport.h"

#include <QHostAddress>

#include <stdexcept>

std::unique_ptr<ReceiverPeer> ReceiverPeer::ConnectTo(int port, const AnsiString& sourceAddress) {
    auto socket = std::make_unique<QTcpSocket>();
    if (!socket->bind(QHostAddress(QString::fromLatin1(sourceAddress)), 0))
        throw std::runtime_error("cannot bind the peer to " + sourceAddress);
    socket->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    QTcpSocket* raw = socket.get();
    if (!WaitUntil([raw] { return raw->state() == QAbstractSocket::ConnectedState; }))
        throw std::runtime_error("the peer could not connect");
    return std::make_unique<ReceiverPeer>(std::move(socket));
}

ReceiverPeer::ReceiverPeer(std::unique_ptr<QTcpSocket> socket) : FSocket(std::move(socket)) {}

void ReceiverPeer::Send(const AnsiString& bytes) {
    FSocket->write(bytes.data(), static_cast<qint64>(bytes.size()));
    FSocket->flush();
}

AnsiString ReceiverPeer::Take(std::size_t count) {
    QTcpSocket* socket = FSocket.get();
    WaitUntil([socket, count] { return socket->bytesAvailable() >= static_cast<qint64>(count); });
    return FSocket->read(static_cast<qint64>(count)).toStdString();
}

AnsiString ReceiverPeer::TakeAll() {
    PumpEvents(20);
    return FSocket->readAll().toStdString();
}

bool ReceiverPeer::WaitClosedByReceiver() {
    QTcpSocket* socket = FSocket.get();
    return WaitUntil([socket] { return socket->state() == QAbstractSocket::UnconnectedState; });
}

void ReceiverPeer::Close() {
    FSocket->disconnectFromHost();
}

ChannelServer::ChannelServer() {
    if (!FServer.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("the channel server cannot listen");
}

int ChannelServer::Port() const {
    return FServer.serverPort();
}

std::unique_ptr<ReceiverPeer> ChannelServer::Accept() {
    QTcpServer* server = &FServer;
    if (!WaitUntil([server] { return server->hasPendingConnections(); }))
        throw std::runtime_error("the channel did not connect");
    QTcpSocket* socket = FServer.nextPendingConnection();
    socket->setParent(nullptr); // the peer may outlive the server
    return std::make_unique<ReceiverPeer>(std::unique_ptr<QTcpSocket>(socket));
}

ReadCounter::ReadCounter(platform::TSocketNotifyEvent& readEvent) {
    readEvent = [handler = readEvent, count = FCount](platform::TCustomWinSocket& socket) {
        // Counted once the handler has ended, also when it raised an error.
        struct CountOnExit {
            int& count;
            ~CountOnExit() { ++count; }
        } countOnExit{*count};
        handler(socket);
    };
}

bool ReadCounter::WaitFor(int count) const {
    const std::shared_ptr<int> reads = FCount;
    return WaitUntil([reads, count] { return *reads >= count; });
}
