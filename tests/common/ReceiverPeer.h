// The server's side of the file receiving exchange over real loopback TCP: a raw peer that
// sends bytes and takes the receiver's replies, and a counter of the receiver's read events.
#pragma once

#include "AnsiString.h"
#include "Sockets.h"

#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

class ReceiverPeer {
public:
    // Connects from the given local address to a receiver listening on the port.
    static std::unique_ptr<ReceiverPeer> ConnectTo(int port,
                                                   const AnsiString& sourceAddress = "127.0.0.1");
    explicit ReceiverPeer(std::unique_ptr<QTcpSocket> socket);

    // Written at once, in one piece.
    void Send(const AnsiString& bytes);
    // Waits until count bytes have arrived and takes them; less when the time runs out.
    AnsiString Take(std::size_t count);
    // Everything that has arrived and not been taken.
    AnsiString TakeAll();
    // Waits until the receiver has closed the connection.
    bool WaitClosedByReceiver();
    void Close();

private:
    std::unique_ptr<QTcpSocket> FSocket;
};

// Plays the server a download channel connects to.
class ChannelServer {
public:
    ChannelServer();
    int Port() const;
    // Waits for the channel's connection.
    std::unique_ptr<ReceiverPeer> Accept();

private:
    QTcpServer FServer;
};

// Counts the read events delivered through a socket's read event, so that a test can wait
// until the receiver has handled what it sent.
class ReadCounter {
public:
    explicit ReadCounter(platform::TSocketNotifyEvent& readEvent);
    int Count() const { return *FCount; }
    // Waits until at least count reads have been handled.
    bool WaitFor(int count) const;

private:
    std::shared_ptr<int> FCount = std::make_shared<int>(0);
};
