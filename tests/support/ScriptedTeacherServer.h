// Scripted TCP peers for socket tests, built on Qt's own sockets so that they stand apart from the
// socket layer under test: a teacher server that listens and a peer that connects and pushes.
#pragma once

#include "AnsiString.h"

#include <QTcpServer>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QTcpSocket;

// One scripted connection. Every chunk that one read yields is recorded as one message; bytes
// are sent (and flushed) on request or in reaction to a received code.
class ScriptedPeer {
public:
    using Reaction = std::function<void(ScriptedPeer& peer, const AnsiString& message)>;

    // Connects to 127.0.0.1:port and waits until connected; throws std::runtime_error otherwise.
    explicit ScriptedPeer(int port);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    void Send(const AnsiString& bytes);
    void Close();        // closes the connection from this side
    bool IsOpen() const; // until either side has closed
    bool WaitForClosed(int timeoutMs = 5000);

    const std::vector<AnsiString>& Messages() const { return FMessages; }
    AnsiString Received() const; // every byte received, joined
    size_t ReceivedSize() const { return FReceivedSize; }
    bool WaitForMessages(size_t count, int timeoutMs = 5000);
    bool WaitForBytes(size_t count, int timeoutMs = 5000);

    // Whenever a received message begins with the two-byte code, the reply is sent back (or
    // the reaction runs). A later call for the same code replaces the earlier one.
    void OnCode(const AnsiString& code, const AnsiString& reply);
    void OnCode(const AnsiString& code, Reaction reaction);

private:
    friend class ScriptedTeacherServer;
    ScriptedPeer(QTcpSocket* accepted, Reaction observer);
    void Watch();
    void ReadArrived();

    std::unique_ptr<QTcpSocket> FSocket;
    Reaction FObserver; // the server's record and script, run before the peer's own
    std::vector<AnsiString> FMessages;
    size_t FReceivedSize = 0; // kept, so that waiting for bytes copies nothing
    std::vector<std::pair<AnsiString, Reaction>> FScript;
    bool FOpen = true;
};

// One received message: its place among all messages, the connection it came on (in order of
// acceptance, from 0) and its bytes.
struct ScriptedMessage {
    int Order;
    int Connection;
    AnsiString Bytes;
};

// A teacher server on 127.0.0.1 on a free port: accepts every connection, records every message
// in arrival order and replies as scripted.
class ScriptedTeacherServer {
public:
    ScriptedTeacherServer(); // throws std::runtime_error when it cannot listen
    // On the given port, for a server that comes up where a client was refused before.
    explicit ScriptedTeacherServer(int port);
    ~ScriptedTeacherServer();
    ScriptedTeacherServer(const ScriptedTeacherServer&) = delete;
    ScriptedTeacherServer& operator=(const ScriptedTeacherServer&) = delete;

    int Port() const;

    int ConnectionCount() const { return static_cast<int>(FPeers.size()); } // closed ones too
    bool WaitForConnections(int count, int timeoutMs = 5000);
    // The connection at that place in order of acceptance; -1 is the latest. Throws
    // std::out_of_range when there is none.
    ScriptedPeer& Connection(int index = -1);

    const std::vector<ScriptedMessage>& Messages() const { return FMessages; }
    std::vector<AnsiString> MessageTexts() const; // the bytes of every message, in order
    AnsiString Received() const;                  // every byte from every connection, joined
    size_t ReceivedSize() const { return FReceivedSize; }
    bool WaitForMessages(size_t count, int timeoutMs = 5000);
    bool WaitForBytes(size_t count, int timeoutMs = 5000);

    void Send(const AnsiString& bytes, int connection = -1);
    void CloseConnection(int connection = -1);

    // As ScriptedPeer::OnCode, for the messages of every connection.
    void OnCode(const AnsiString& code, const AnsiString& reply);
    void OnCode(const AnsiString& code, ScriptedPeer::Reaction reaction);

private:
    void AcceptPending();
    void Record(ScriptedPeer& peer, const AnsiString& message);

    QTcpServer FServer;
    std::vector<std::unique_ptr<ScriptedPeer>> FPeers;
    std::vector<ScriptedMessage> FMessages;
    size_t FReceivedSize = 0;
    std::vector<std::pair<AnsiString, ScriptedPeer::Reaction>> FScript;
};

// Plays the sending side of one file transfer after the offer "01" name, which the test sends:
// "00" size "?" blocks on "03", "04" on "04" and the next block of up to 1024 bytes on each
// "05". A download channel and the push receiver answer alike.
void ServeFile(ScriptedPeer& peer, const AnsiString& bytes);
void ServeFile(ScriptedTeacherServer& server, const AnsiString& bytes);
