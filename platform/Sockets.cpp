#include "Sockets.h"

#include "Application.h"
#include "SysUtils.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <utility>

namespace platform {

namespace {

// The call that an uncleared error names.
const char* ApiName(TErrorEvent event) {
    switch (event) {
    case eeSend:
        return "send";
    case eeReceive:
        return "recv";
    case eeConnect:
        return "connect";
    case eeDisconnect:
        return "closesocket";
    case eeAccept:
        return "accept";
    case eeGeneral:
        break;
    }
    return "select";
}

// Words of Qt's network-error texts and the numbers they stand for.
const std::pair<const char*, int> NetworkErrorWords[] = {
    {"host unreachable", 10065},       {"no route to host", 10065}, {"network unreachable", 10051},
    {"network is unreachable", 10051}, {"network is down", 10050},  {"host is down", 10064},
    {"connection abort", 10053},
};

// The descriptor of a pending connection attempt: Qt tells it only once connected, but watches
// it meanwhile with a write notifier of its own.
qintptr AttemptDescriptor(const QTcpSocket& socket) {
    for (const QSocketNotifier* notifier : socket.findChildren<QSocketNotifier*>())
        if (notifier->type() == QSocketNotifier::Write)
            return notifier->socket();
    return -1;
}

// Waits until a connection attempt on the descriptor has an outcome (connected or failed);
// false when the time runs out first, or the descriptor cannot be watched.
bool AttemptSettlesWithin(qintptr descriptor, int ms) {
    if (descriptor < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    pollfd entry{static_cast<int>(descriptor), POLLOUT, 0};
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int ready = ::poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (ready != -1 || errno != EINTR)
            return ready > 0;
    }
}

} // namespace

int WinSockErrorCode(QAbstractSocket::SocketError error, const QString& errorText) {
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
        return 0;
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::HostNotFoundError:
        return 10065;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::SocketResourceError:
        return 10055;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::DatagramTooLargeError:
        return 10040;
    case QAbstractSocket::NetworkError:
        // Qt folds timed-out, unreachable and aborted into one code; its text tells them: its
        // own words on connect, the system's reason on a connected socket.
        for (const auto& [words, code] : NetworkErrorWords)
            if (errorText.contains(QLatin1String(words), Qt::CaseInsensitive))
                return code;
        return 10060;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return 10045;
    case QAbstractSocket::OperationError:
        return 10057;
    default:
        return 10053;
    }
}

void ClearSocketError(TCustomWinSocket& socket, int& errorCode) {
    if (errorCode == 10053 || errorCode == 10061)
        socket.Close();
    errorCode = 0;
}

// ---- one connection ----

// One Qt socket as its slots see it: how deep they are in its signals, and whether it was
// detached meanwhile. Shared with the slots so that it outlives the wrapper.
struct TCustomWinSocket::TQtLink {
    QTcpSocket* Socket;
    int Depth = 0;
    bool Retired = false;
    bool Graceful = false;
};

// Marks a slot of the Qt socket as running; a socket detached meanwhile is closed once the
// outermost slot has returned (never inside Qt's own code for it, and never from a nested
// event loop that runs while the slot waits).
class TCustomWinSocket::TSignalScope {
public:
    explicit TSignalScope(std::shared_ptr<TQtLink> link) : FLink(std::move(link)) {
        ++FLink->Depth;
    }
    ~TSignalScope() {
        if (--FLink->Depth == 0 && FLink->Retired)
            ShutDownLater(FLink->Socket, FLink->Graceful);
    }
    TSignalScope(const TSignalScope&) = delete;
    TSignalScope& operator=(const TSignalScope&) = delete;

private:
    std::shared_ptr<TQtLink> FLink;
};

// Marks an event to the owner as running; a connection released meanwhile is deleted once the
// outermost one has returned. Does nothing once the socket is gone.
class TCustomWinSocket::TEventScope {
public:
    explicit TEventScope(TCustomWinSocket* socket) : FSocket(socket) { ++socket->FInEvent; }
    ~TEventScope() {
        if (FSocket && --FSocket->FInEvent == 0 && FSocket->FDeleteWhenIdle)
            FSocket->deleteLater();
    }
    TEventScope(const TEventScope&) = delete;
    TEventScope& operator=(const TEventScope&) = delete;

private:
    QPointer<TCustomWinSocket> FSocket;
};

namespace {

// Calls the handler as it stands at that moment; a copy, since the owner may replace it
// meanwhile.
template <typename Handler> auto ForwardTo(const Handler& handler) {
    return [&handler](auto&&... arguments) {
        if (const Handler current = handler)
            current(std::forward<decltype(arguments)>(arguments)...);
    };
}

} // namespace

TCustomWinSocket::TEvents TCustomWinSocket::Forwarding(const TSocketNotifyEvent& connect,
                                                       const TSocketNotifyEvent& disconnect,
                                                       const TSocketNotifyEvent& read,
                                                       const TSocketErrorEvent& error) {
    TEvents events;
    events.Connect = ForwardTo(connect);
    events.Disconnect = ForwardTo(disconnect);
    events.Read = ForwardTo(read);
    events.Error = ForwardTo(error);
    return events;
}

TCustomWinSocket::TCustomWinSocket(TEvents events, QObject* owner)
    : QObject(owner), FEvents(std::move(events)) {}

TCustomWinSocket::~TCustomWinSocket() {
    Detach(false);
    // Sockets whose signals are still running must outlive their parent; their last slot
    // closes them.
    for (const std::shared_ptr<TQtLink>& link : FRetired)
        if (link->Depth > 0)
            link->Socket->setParent(nullptr);
}

int TCustomWinSocket::SendText(const AnsiString& text) {
    return SendBuf(text.data(), static_cast<int>(text.size()));
}

int TCustomWinSocket::SendBuf(const char* data, int count) {
    if (FState != TState::Connected || !FQt || count <= 0)
        return 0;
    // With nothing queued before it, a message goes straight to the system in one send call;
    // handing it to Qt would switch its write notifier on and off, waking the loop each time.
    qint64 sent = 0;
    if (FQt->bytesToWrite() == 0) {
        sent = ::send(static_cast<int>(FQt->socketDescriptor()), data, static_cast<size_t>(count),
                      MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent == count)
            return count;
        sent = std::max<qint64>(sent, 0); // a failure is Qt's to meet again and report
    }
    // What the system cannot take at once waits in Qt's buffer and goes out from the loop. A
    // failure Qt meets while writing is told from the event loop, not inside this call.
    ++FDeferEvents;
    const qint64 written = FQt->write(data + sent, count - sent);
    if (written > 0)
        FQt->flush(); // on the wire now, as a send call does, even when the caller blocks next
    --FDeferEvents;
    return static_cast<int>(sent + std::max<qint64>(written, 0));
}

int TCustomWinSocket::ReceiveLength() const {
    const qint64 buffered = FQt ? FQt->bytesAvailable() : 0;
    return static_cast<int>(FPending.size() + buffered);
}

AnsiString TCustomWinSocket::ReceiveText() {
    Pull();
    AnsiString text(FPending.constData(), static_cast<size_t>(FPending.size()));
    FTaken += FPending.size();
    FPending.clear();
    return text;
}

int TCustomWinSocket::ReceiveBuf(char* buffer, int count) {
    if (!buffer || count <= 0)
        return 0;
    Pull();
    const int taken = std::min(count, static_cast<int>(FPending.size()));
    std::memcpy(buffer, FPending.constData(), static_cast<size_t>(taken));
    FPending.remove(0, taken);
    FTaken += taken;
    return taken;
}

AnsiString TCustomWinSocket::RemoteAddress() const {
    return FRemoteAddress;
}

void TCustomWinSocket::NoteRemoteAddress() {
    bool isIPv4 = false;
    const quint32 address = FQt->peerAddress().toIPv4Address(&isIPv4);
    FRemoteAddress = isIPv4 ? QHostAddress(address).toString().toStdString() : AnsiString();
}

bool TCustomWinSocket::Connected() const {
    return FState == TState::Connected;
}

void TCustomWinSocket::Close() {
    if (FState == TState::Closed)
        return;
    const bool wasConnected = FState == TState::Connected;
    FState = TState::Closed;
    ++FAttempt;
    Detach(true);
    FPending.clear();
    if (!wasConnected)
        return;
    QPointer<TCustomWinSocket> alive(this);
    Notify(FEvents.Disconnect);
    if (alive && FEvents.Released)
        FEvents.Released(*this);
}

void TCustomWinSocket::Open(const AnsiString& address, int port) {
    if (FState != TState::Closed)
        return;
    FPending.clear();
    FRemoteAddress.clear();
    ++FAttempt;
    QHostAddress host;
    if (!host.setAddress(
            QString::fromLatin1(address.data(), static_cast<qsizetype>(address.size()))) ||
        host.protocol() != QAbstractSocket::IPv4Protocol) {
        // Only dotted IPv4 addresses are reached (no name lookup that could block the wait);
        // anything else fails as an invalid remote address, told from the event loop.
        Later([this] { DeliverError(eeConnect, 10049); });
        return;
    }
    FState = TState::Opening;
    auto* socket = new QTcpSocket(this);
    Attach(socket);
    // A loopback connect may complete or fail inside connectToHost; its event still comes
    // from the event loop, after the caller has returned.
    ++FDeferEvents;
    socket->connectToHost(host, static_cast<quint16>(port));
    --FDeferEvents;
}

void TCustomWinSocket::Adopt(QTcpSocket* accepted) {
    ++FAttempt;
    FState = TState::Connected;
    Attach(accepted);
    NoteRemoteAddress();
    QPointer<TCustomWinSocket> alive(this);
    Notify(FEvents.Connect);
    if (alive && ReceiveLength() > 0)
        QueueRead();
}

bool TCustomWinSocket::WaitForConnected(int ms) {
    if (FState == TState::Connected)
        return true;
    if (FState != TState::Opening || !FQt)
        return false;
    // Qt's own wait gives the attempt up at its limit; a connection that needs longer (a lost
    // first SYN is sent again after 1 s and 3 s) must still come up from the loop afterwards.
    QTcpSocket* socket = FQt;
    const bool settled = socket->state() == QAbstractSocket::ConnectedState ||
                         AttemptSettlesWithin(AttemptDescriptor(*socket), ms);
    if (!settled)
        return false;
    // Qt's wait now only takes the outcome, at once.
    ++FDeferEvents;
    const bool connected = socket->waitForConnected(std::max(ms, 1));
    --FDeferEvents;
    if (connected && FQt == socket) {
        DeliverConnect(); // the handler may destroy the owner: touch nothing after it
        return true;
    }
    return false;
}

void TCustomWinSocket::Attach(QTcpSocket* socket) {
    FQt = socket;
    FLink = std::make_shared<TQtLink>(TQtLink{socket});
    socket->setParent(this);
    connect(socket, &QTcpSocket::connected, this, [this, link = FLink] {
        TSignalScope scope(link);
        QtConnected();
    });
    // readyRead is not emitted again while one of its slots runs, so a read handler that shows
    // a modal box would hold back every later message until the box closes; channelReadyRead
    // also comes from the box's own loop.
    connect(socket, &QTcpSocket::channelReadyRead, this, [this, link = FLink](int) {
        TSignalScope scope(link);
        QtReadyRead();
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, link = FLink] {
        TSignalScope scope(link);
        QtDisconnected();
    });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, link = FLink](QAbstractSocket::SocketError error) {
                TSignalScope scope(link);
                QtError(error);
            });
}

void TCustomWinSocket::Detach(bool graceful) {
    if (!FQt)
        return;
    QTcpSocket* socket = std::exchange(FQt, nullptr);
    const std::shared_ptr<TQtLink> link = std::exchange(FLink, nullptr);
    socket->disconnect(this);
    if (link->Depth == 0) {
        ShutDown(socket, graceful);
        return;
    }
    link->Retired = true;
    link->Graceful = graceful;
    std::erase_if(FRetired, [](const std::shared_ptr<TQtLink>& old) { return old->Depth == 0; });
    FRetired.push_back(link);
}

void TCustomWinSocket::ShutDownLater(QTcpSocket* socket, bool graceful) {
    QMetaObject::invokeMethod(
        socket, [socket, graceful] { ShutDown(socket, graceful); }, Qt::QueuedConnection);
}

void TCustomWinSocket::Notify(const TSocketNotifyEvent& handler) {
    const TSocketNotifyEvent copy = handler; // the owner may replace or destroy it meanwhile
    if (!copy)
        return;
    TEventScope scope(this);
    GuardedEvent([&] { copy(*this); }); // the handlers that have a log catch their own errors
}

void TCustomWinSocket::DeleteWhenIdle() {
    if (FInEvent == 0)
        deleteLater();
    else
        FDeleteWhenIdle = true; // the owner's handlers still hold it
}

void TCustomWinSocket::ShutDown(QTcpSocket* socket, bool graceful) {
    if (graceful && socket->state() == QAbstractSocket::ConnectedState) {
        // Writes Qt still holds go out before the close; the socket then deletes itself (at
        // the latest with its parent).
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState)
            return;
    }
    socket->abort();
    delete socket;
}

void TCustomWinSocket::Later(std::function<void()> step) {
    const unsigned attempt = FAttempt;
    QMetaObject::invokeMethod(
        this,
        [this, attempt, step = std::move(step)] {
            if (attempt == FAttempt)
                step();
        },
        Qt::QueuedConnection);
}

void TCustomWinSocket::QtConnected() {
    if (FDeferEvents > 0)
        Later([this] { DeliverConnect(); });
    else
        DeliverConnect();
}

void TCustomWinSocket::QtReadyRead() {
    QPointer<TCustomWinSocket> alive(this);
    DeliverConnect(); // a connect event still queued comes first
    if (alive)
        DeliverRead();
}

void TCustomWinSocket::QtDisconnected() {
    if (FDeferEvents > 0) {
        Later([this] { QtDisconnected(); });
        return;
    }
    QPointer<TCustomWinSocket> alive(this);
    DeliverConnect(); // a peer that accepted and closed at once was still connected first
    if (alive && FState == TState::Connected)
        ConnectionLost();
}

void TCustomWinSocket::QtError(QAbstractSocket::SocketError error) {
    if (!FQt)
        return;
    const int code = WinSockErrorCode(error, FQt->errorString());
    if (code == 0)
        return; // the peer closed: the disconnect follows
    if (FState == TState::Opening) {
        // The attempt is over; the socket is closed before anyone hears of it, so that the
        // handler may open it again.
        FState = TState::Closed;
        Detach(false);
    }
    const TErrorEvent event = FState == TState::Connected ? eeGeneral : eeConnect;
    if (FDeferEvents > 0)
        Later([this, event, code] { DeliverError(event, code); });
    else
        DeliverError(event, code);
}

void TCustomWinSocket::DeliverConnect() {
    if (FState != TState::Opening || !FQt || FQt->state() != QAbstractSocket::ConnectedState)
        return;
    FState = TState::Connected;
    NoteRemoteAddress();
    QPointer<TCustomWinSocket> alive(this);
    Notify(FEvents.Connect);
    if (alive && FState == TState::Connected && ReceiveLength() > 0)
        QueueRead();
}

void TCustomWinSocket::DeliverRead() {
    if (FState != TState::Connected)
        return;
    Pull();
    if (FPending.isEmpty())
        return;
    QPointer<TCustomWinSocket> alive(this);
    const long long takenBefore = FTaken;
    Notify(FEvents.Read);
    if (!alive)
        return;
    // As Windows Sockets signals again while data remains once the handler has read some.
    if (FTaken != takenBefore && ReceiveLength() > 0)
        QueueRead();
}

void TCustomWinSocket::DeliverError(TErrorEvent event, int code) {
    const TSocketErrorEvent handler = FEvents.Error;
    TEventScope scope(this);
    GuardedEvent([&] {
        int errorCode = code;
        if (handler)
            handler(*this, event, errorCode);
        if (errorCode != 0)
            throw ESocketError::FromCall(errorCode, ApiName(event));
    });
}

void TCustomWinSocket::ConnectionLost() {
    QPointer<TCustomWinSocket> alive(this);
    // What arrived before the close is read first, for as long as the handlers take from it.
    while (FState == TState::Connected && ReceiveLength() > 0) {
        const long long takenBefore = FTaken;
        DeliverRead();
        if (!alive)
            return;
        if (FTaken == takenBefore)
            break;
    }
    if (FState != TState::Connected)
        return; // a handler closed it, and Close told the owner
    FState = TState::Closed;
    ++FAttempt;
    Detach(false);
    FPending.clear();
    Notify(FEvents.Disconnect);
    if (alive && FEvents.Released)
        FEvents.Released(*this);
}

void TCustomWinSocket::QueueRead() {
    if (FReadQueued)
        return;
    FReadQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FReadQueued = false;
            DeliverRead();
        },
        Qt::QueuedConnection);
}

void TCustomWinSocket::Pull() {
    if (FQt && FQt->bytesAvailable() > 0)
        FPending.append(FQt->readAll());
}

// ---- client ----

TClientSocket::TClientSocket(QObject* parent) : QObject(parent) {
    FSocket = new TCustomWinSocket(
        TCustomWinSocket::Forwarding(OnConnect, OnDisconnect, OnRead, OnError), this);
}

TClientSocket::~TClientSocket() {
    delete FSocket; // before the handlers it calls go
}

void TClientSocket::SetAddress(const AnsiString& address) {
    if (AnsiSameText(address, FAddress))
        return;
    LeaveEndPoint();
    FAddress = address;
}

void TClientSocket::SetPort(int port) {
    if (port == FPort)
        return;
    LeaveEndPoint();
    FPort = port;
}

void TClientSocket::LeaveEndPoint() {
    if (FSocket->Connected())
        throw ESocketError::ActiveChange();
    FSocket->Close(); // a pending attempt is not open yet: it is given up without an event
}

void TClientSocket::Open() {
    FSocket->Open(FAddress, FPort);
}

void TClientSocket::Close() {
    FSocket->Close();
}

bool TClientSocket::Active() const {
    return FSocket->Connected();
}

bool TClientSocket::WaitForConnected(int ms) {
    return FSocket->WaitForConnected(ms);
}

// ---- server ----

TServerSocket::TServerSocket(QObject* parent) : QObject(parent) {}

TServerSocket::~TServerSocket() {
    for (TCustomWinSocket* connection : FConnections)
        delete connection;
    delete FServer;
}

void TServerSocket::SetPort(int port) {
    if (port == FPort)
        return;
    if (Active())
        throw ESocketError::ActiveChange();
    FPort = port;
}

void TServerSocket::Open() {
    if (FServer)
        return;
    auto* server = new QTcpServer(this);
    if (!server->listen(QHostAddress::AnyIPv4, static_cast<quint16>(FPort))) {
        const int code = WinSockErrorCode(server->serverError(), server->errorString());
        delete server;
        throw ESocketError::FromCall(code != 0 ? code : 10048, "bind");
    }
    connect(server, &QTcpServer::newConnection, this, [this] { AcceptPending(); });
    FServer = server;
    FPort = server->serverPort(); // the free port the system picked for port 0
}

void TServerSocket::Close() {
    if (!FServer)
        return;
    QTcpServer* server = std::exchange(FServer, nullptr);
    server->close();
    server->deleteLater(); // Close may run inside the server's own accept signal
    QPointer<TServerSocket> alive(this);
    const std::vector<QPointer<TCustomWinSocket>> open(FConnections.begin(), FConnections.end());
    for (const QPointer<TCustomWinSocket>& connection : open) {
        if (connection)
            connection->Close();
        if (!alive)
            return;
    }
}

bool TServerSocket::Active() const {
    return FServer != nullptr;
}

int TServerSocket::ActiveConnections() const {
    return static_cast<int>(FConnections.size());
}

TCustomWinSocket& TServerSocket::Connections(int index) {
    if (index < 0 || index >= ActiveConnections())
        throw EListError(index);
    return *FConnections[static_cast<size_t>(index)];
}

void TServerSocket::AcceptPending() {
    QPointer<TServerSocket> alive(this);
    while (alive && FServer && FServer->hasPendingConnections()) {
        QTcpSocket* accepted = FServer->nextPendingConnection();
        TCustomWinSocket::TEvents events = TCustomWinSocket::Forwarding(
            OnClientConnect, OnClientDisconnect, OnClientRead, OnClientError);
        events.Released = [this](TCustomWinSocket& socket) { Release(socket); };
        auto* connection = new TCustomWinSocket(std::move(events), this);
        FConnections.push_back(connection);
        connection->Adopt(accepted);
    }
}

void TServerSocket::Release(TCustomWinSocket& connection) {
    const auto found = std::find(FConnections.begin(), FConnections.end(), &connection);
    if (found == FConnections.end())
        return;
    FConnections.erase(found);
    connection.DeleteWhenIdle();
}

} // namespace platform
