// Event-driven TCP client and server sockets with Windows Sockets error numbers, on Qt Network
// and the GUI thread's event loop; every event handler runs under GuardedEvent.
#pragma once

#include "AnsiString.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace platform {

enum TErrorEvent { eeGeneral, eeSend, eeReceive, eeConnect, eeDisconnect, eeAccept };

class TCustomWinSocket;
using TSocketNotifyEvent = std::function<void(TCustomWinSocket& socket)>;
using TSocketErrorEvent =
    std::function<void(TCustomWinSocket& socket, TErrorEvent event, int& errorCode)>;

// The Windows Sockets number for a Qt socket error (refused 10061, timed out 10060, host
// unreachable 10065, address in use 10048, ...); errorText refines Qt's catch-all NetworkError.
// The peer closing is no error but a disconnect: 0.
int WinSockErrorCode(QAbstractSocket::SocketError error, const QString& errorText = QString());

// The program's rule for error events: every error is cleared, so nothing is raised or shown,
// and after these two (connection aborted 10053, connection refused 10061) the connection that
// reported it is also closed.
void ClearSocketError(TCustomWinSocket& socket, int& errorCode);

// One TCP connection: a client's, or one accepted by a server.
class TCustomWinSocket : public QObject {
public:
    ~TCustomWinSocket() override;

    int SendText(const AnsiString& text);     // one write; 0 and nothing sent when not connected
    int SendBuf(const char* data, int count); // same rule
    int ReceiveLength() const;                // bytes arrived and not yet taken
    AnsiString ReceiveText();                 // takes everything that has arrived
    int ReceiveBuf(char* buffer, int count);  // takes at most count bytes
    AnsiString RemoteAddress() const;         // dotted IPv4 of the last connection; "" before one
    bool Connected() const;                   // the connect event has been delivered
    void Close();                             // OnDisconnect follows when it was connected

private:
    friend class TClientSocket;
    friend class TServerSocket;

    enum class TState { Closed, Opening, Connected };
    struct TQtLink;
    class TSignalScope;
    class TEventScope;
    // What the owner is told; each runs under the guard except Released (owner bookkeeping).
    struct TEvents {
        TSocketNotifyEvent Connect, Disconnect, Read;
        TSocketErrorEvent Error;
        std::function<void(TCustomWinSocket&)> Released;
    };

    // Events that call the owner's handlers as they stand when each event comes.
    static TEvents Forwarding(const TSocketNotifyEvent& connect,
                              const TSocketNotifyEvent& disconnect, const TSocketNotifyEvent& read,
                              const TSocketErrorEvent& error);

    TCustomWinSocket(TEvents events, QObject* owner);
    void Open(const AnsiString& address, int port);
    void Adopt(QTcpSocket* accepted);
    bool WaitForConnected(int ms);

    void Attach(QTcpSocket* socket);
    void Detach(bool graceful);
    static void ShutDown(QTcpSocket* socket, bool graceful);
    static void ShutDownLater(QTcpSocket* socket, bool graceful);
    void Notify(const TSocketNotifyEvent& handler);
    // Deleted from the event loop once no event of this socket is running any more.
    void DeleteWhenIdle();
    void Later(std::function<void()> step);
    void QtConnected();
    void QtReadyRead();
    void QtDisconnected();
    void QtError(QAbstractSocket::SocketError error);
    void DeliverConnect();
    void DeliverRead();
    void DeliverError(TErrorEvent event, int code);
    void ConnectionLost();
    void QueueRead();
    void Pull();
    void NoteRemoteAddress();

    TEvents FEvents;
    TState FState = TState::Closed;
    QTcpSocket* FQt = nullptr;
    AnsiString FRemoteAddress;      // kept for the disconnect event
    QByteArray FPending;            // arrived, pulled out of Qt's buffer, not yet taken
    long long FTaken = 0;           // bytes taken by the handlers so far
    unsigned FAttempt = 0;          // changes with every open and close; stale queued events drop
    int FDeferEvents = 0;           // inside Open, a wait or a send: events go to the loop
    std::shared_ptr<TQtLink> FLink; // FQt as its slots see it
    std::vector<std::shared_ptr<TQtLink>> FRetired; // detached while their signals ran
    int FInEvent = 0;                               // owner's handlers running on this socket
    bool FDeleteWhenIdle = false;                   // released by the server while a handler ran
    bool FReadQueued = false;                       // a further read event is already on its way
};

class TClientSocket : public QObject {
public:
    explicit TClientSocket(QObject* parent = nullptr);
    ~TClientSocket() override;

    AnsiString Address() const { return FAddress; }
    // Setting the value it already has (letter case ignored) is no change; a different value
    // while the socket is connected throws ESocketError::ActiveChange(), and while it is opening
    // gives the pending attempt up (Open then opens to the new end point).
    void SetAddress(const AnsiString& address);
    int Port() const { return FPort; }
    void SetPort(int port); // same rule
    // Returns at once; OnConnect comes from the event loop. Does nothing while the socket is
    // already opening or connected (the pending attempt stands). An address that is not dotted
    // IPv4 gets the error event 10049 (the remote address is not valid) from the loop.
    void Open();
    void Close(); // OnDisconnect when it was connected; an opening attempt is dropped silently
    bool Active() const; // true only once the connect event has been delivered
    TCustomWinSocket& Socket() { return *FSocket; }
    // Waits at most ms for the pending open to complete, delivering no other event; true when
    // connected (OnConnect is then delivered before it returns). A refusal ends the wait at
    // once with false; its error event is delivered afterwards by the event loop. An attempt
    // still pending at the limit goes on: its connect event comes later from the loop.
    bool WaitForConnected(int ms);

    TSocketNotifyEvent OnConnect, OnDisconnect, OnRead;
    TSocketErrorEvent OnError;

private:
    // Before the end point changes: throws while connected, gives up a pending attempt.
    void LeaveEndPoint();

    AnsiString FAddress;
    int FPort = 0;
    TCustomWinSocket* FSocket;
};

class TServerSocket : public QObject {
public:
    explicit TServerSocket(QObject* parent = nullptr);
    ~TServerSocket() override;

    // Port 0 lets the system pick a free port; Port() tells it once the socket is open.
    int Port() const { return FPort; }
    void SetPort(int port); // a different port while listening throws ESocketError::ActiveChange()
    // Listens on all local IPv4 addresses; a port that cannot be bound throws
    // ESocketError::FromCall(code, "bind") at once ("Windows socket error: %s (%d), on API '%s'").
    void Open();
    void Close(); // stops listening and closes every connection (OnClientDisconnect for each)
    bool Active() const;
    int ActiveConnections() const;            // connections in order of acceptance
    TCustomWinSocket& Connections(int index); // EListError outside the range

    // A connection leaves the list right after its OnClientDisconnect.
    TSocketNotifyEvent OnClientConnect, OnClientDisconnect, OnClientRead;
    TSocketErrorEvent OnClientError;

private:
    void AcceptPending();
    void Release(TCustomWinSocket& connection);

    int FPort = 0;
    QTcpServer* FServer = nullptr;
    std::vector<TCustomWinSocket*> FConnections;
};

} // namespace platform
