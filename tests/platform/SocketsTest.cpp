// The socket layer over real loopback TCP: client events and sends, the re-signalled read,
// error numbers and their box, the listening socket, and the scripted peers the tests rely on.
#include "Sockets.h"

#include "Application.h"
#include "Codec.h"
#include "ScriptedTeacherServer.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace platform;

namespace {

// A port on which nothing listens: the OS picks a free one, which is then released.
int RefusedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

// Opens the client to the port on the loopback address.
void OpenTo(TClientSocket& client, int port) {
    client.SetAddress("127.0.0.1");
    client.SetPort(port);
    client.Open();
}

// Opens the client to the server and waits until both ends have the connection.
bool ConnectTo(TClientSocket& client, ScriptedTeacherServer& server) {
    OpenTo(client, server.Port());
    return WaitUntil([&] { return client.Active(); }) && server.WaitForConnections(1);
}

// A client socket with its events recorded.
struct RecordedClient {
    TClientSocket client;
    std::vector<std::string> events; // "connect", "read:<bytes>", "error:<code>", "disconnect"
    bool activeInConnect = false;

    RecordedClient() {
        client.OnConnect = [this](TCustomWinSocket&) {
            activeInConnect = client.Active();
            events.push_back("connect");
        };
        client.OnDisconnect = [this](TCustomWinSocket&) { events.push_back("disconnect"); };
        client.OnRead = [this](TCustomWinSocket& socket) {
            events.push_back("read:" + socket.ReceiveText());
        };
    }
    void OpenTo(int port) { ::OpenTo(client, port); }
    bool Has(const std::string& event) const {
        for (const std::string& recorded : events)
            if (recorded == event)
                return true;
        return false;
    }
    bool WaitFor(const std::string& event) {
        return WaitUntil([&] { return Has(event); });
    }
};

} // namespace

// Every test closes the boxes that open, so that an unexpected one fails the test instead of
// blocking it; a test that expects boxes says how many.
class SocketTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(expectedBoxes, boxes.Boxes().size()); }
    ModalBoxCloser boxes;
    size_t expectedBoxes = 0;
};
using ClientSocket = SocketTest;
using ClientSocketErrors = SocketTest;
using ClientSocketSettings = SocketTest;
using ClientSocketWait = SocketTest;
using ClientSocketLifetime = SocketTest;
using ServerSocket = SocketTest;
using ScriptedPeers = SocketTest;

// ---- client: connect, send, receive ----

TEST_F(ClientSocket, BecomesActiveOnlyWithItsConnectEvent) {
    ScriptedTeacherServer server;
    RecordedClient recorded;
    recorded.OpenTo(server.Port());
    EXPECT_FALSE(recorded.client.Active()) << "Open returns before the connect event";
    EXPECT_EQ(0, recorded.client.Socket().SendText("90early")) << "nothing is sent while opening";

    ASSERT_TRUE(recorded.WaitFor("connect"));
    EXPECT_TRUE(recorded.activeInConnect);
    EXPECT_TRUE(recorded.client.Active());
    EXPECT_EQ(6, recorded.client.Socket().SendText("90late"));
    ASSERT_TRUE(server.WaitForBytes(6));
    EXPECT_EQ("90late", server.Received());
}

TEST_F(ClientSocket, SendsNothingAndRaisesNothingWhileDown) {
    ScriptedTeacherServer server;
    RecordedClient recorded;
    EXPECT_EQ(0, recorded.client.Socket().SendText("26never opened"));
    const char bytes[] = "raw";
    EXPECT_EQ(0, recorded.client.Socket().SendBuf(bytes, 3));

    recorded.OpenTo(server.Port());
    ASSERT_TRUE(recorded.WaitFor("connect"));
    recorded.client.Close();
    EXPECT_TRUE(recorded.Has("disconnect"));
    EXPECT_FALSE(recorded.client.Active());
    EXPECT_EQ(0, recorded.client.Socket().SendText("26after close"));

    ASSERT_TRUE(server.Connection(0).WaitForClosed());
    EXPECT_EQ("", server.Received());
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ClientSocket, LargeWriteAndWhatFollowsItArriveWholeAndInOrderEvenWhenClosedRightAfter) {
    ScriptedTeacherServer server;
    RecordedClient recorded;
    recorded.OpenTo(server.Port());
    ASSERT_TRUE(recorded.WaitFor("connect"));
    AnsiString block(8 * 1024 * 1024, '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i % 251);
    EXPECT_EQ(static_cast<int>(block.size()), recorded.client.Socket().SendText(block));
    EXPECT_EQ(6, recorded.client.Socket().SendText("09tail")); // queued behind the rest
    recorded.client.Close();
    ASSERT_TRUE(server.WaitForBytes(block.size() + 6, 10000));
    EXPECT_TRUE(server.Received() == block + "09tail");
    EXPECT_TRUE(server.Connection(0).WaitForClosed());
}

TEST_F(ClientSocket, CloseWhileOpeningDropsTheAttemptWithoutAnEvent) {
    ScriptedTeacherServer server;
    RecordedClient recorded;
    recorded.OpenTo(server.Port());
    recorded.client.Close();
    PumpEvents(100);
    EXPECT_TRUE(recorded.events.empty());
    EXPECT_FALSE(recorded.client.Active());

    recorded.client.Open();
    recorded.client.Open(); // the pending attempt stands
    ASSERT_TRUE(recorded.WaitFor("connect"));
    PumpEvents(50);
    EXPECT_EQ(std::vector<std::string>{"connect"}, recorded.events);
    recorded.client.Socket().SendText("90");
    ASSERT_TRUE(server.WaitForBytes(2));
    const int latest = server.ConnectionCount() - 1;
    EXPECT_EQ(latest, server.Messages()[0].Connection);
    for (int dropped = 0; dropped < latest; ++dropped)
        EXPECT_TRUE(server.Connection(dropped).WaitForClosed());
}

TEST_F(ClientSocket, TwoMessagesArrivingTogetherAreOneRead) {
    ScriptedTeacherServer server;
    RecordedClient recorded;
    recorded.OpenTo(server.Port());
    ASSERT_TRUE(recorded.WaitFor("connect"));
    ASSERT_TRUE(server.WaitForConnections(1));
    server.Send("25");
    server.Send("26"
                "1hello");
    ASSERT_TRUE(recorded.WaitFor("read:25"
                                 "261hello"));
    EXPECT_EQ((std::vector<std::string>{"connect", "read:25"
                                                   "261hello"}),
              recorded.events);
}

TEST_F(ClientSocket, ReadEventsRepeatWhileTheHandlerTakesPartOfTheData) {
    ScriptedTeacherServer server;
    TClientSocket client;
    std::vector<std::string> blocks;
    client.OnRead = [&](TCustomWinSocket& socket) {
        char buffer[3];
        const int taken = socket.ReceiveBuf(buffer, 3);
        blocks.emplace_back(buffer, static_cast<size_t>(taken));
    };
    ASSERT_TRUE(ConnectTo(client, server));

    server.Send("0123456789");
    ASSERT_TRUE(WaitUntil([&] { return blocks.size() == 4; }));
    EXPECT_EQ((std::vector<std::string>{"012", "345", "678", "9"}), blocks);
    EXPECT_EQ(0, client.Socket().ReceiveLength());
}

TEST_F(ClientSocket, HandlerThatTakesNothingIsSignalledAgainOnlyByNewData) {
    ScriptedTeacherServer server;
    TClientSocket client;
    std::vector<int> lengths;
    client.OnRead = [&](TCustomWinSocket& socket) { lengths.push_back(socket.ReceiveLength()); };
    ASSERT_TRUE(ConnectTo(client, server));

    server.Send("abcd");
    ASSERT_TRUE(WaitUntil([&] { return !lengths.empty(); }));
    PumpEvents(100);
    EXPECT_EQ(std::vector<int>{4}, lengths) << "no read events for data the handler left alone";

    server.Send("ef");
    ASSERT_TRUE(WaitUntil([&] { return lengths.size() == 2; }));
    EXPECT_EQ(6, lengths[1]);
    EXPECT_EQ("abcdef", client.Socket().ReceiveText());
}

TEST_F(ClientSocket, DataSentRightBeforeThePeerClosesIsReadBeforeTheDisconnect) {
    ScriptedTeacherServer server;
    RecordedClient recorded;
    recorded.OpenTo(server.Port());
    ASSERT_TRUE(recorded.WaitFor("connect"));
    ASSERT_TRUE(server.WaitForConnections(1));
    server.Send("15last words");
    server.CloseConnection();
    ASSERT_TRUE(recorded.WaitFor("disconnect"));
    EXPECT_EQ((std::vector<std::string>{"connect", "read:15last words", "disconnect"}),
              recorded.events);
    EXPECT_FALSE(recorded.client.Active());
}

TEST_F(ClientSocket, DataLeftByTheHandlerIsStillReadBeforeThePeerClosingIsReported) {
    ScriptedTeacherServer server;
    TClientSocket client;
    std::vector<std::string> events;
    client.OnRead = [&](TCustomWinSocket& socket) {
        char buffer[4];
        const int taken = socket.ReceiveBuf(buffer, 4);
        events.emplace_back(buffer, static_cast<size_t>(taken));
    };
    client.OnDisconnect = [&](TCustomWinSocket&) { events.push_back("disconnect"); };
    ASSERT_TRUE(ConnectTo(client, server));
    server.Send("0123456789");
    server.CloseConnection();
    ASSERT_TRUE(WaitUntil([&] { return !client.Active(); }));
    EXPECT_EQ((std::vector<std::string>{"0123", "4567", "89", "disconnect"}), events);
}

// ---- client: errors ----

TEST_F(ClientSocketErrors, RefusedConnectionCarries10061AndAClearedCodeShowsNothing) {
    TClientSocket client;
    std::vector<int> codes;
    std::vector<TErrorEvent> kinds;
    client.OnError = [&](TCustomWinSocket&, TErrorEvent event, int& errorCode) {
        codes.push_back(errorCode);
        kinds.push_back(event);
        errorCode = 0;
    };
    const int port = RefusedPort();
    OpenTo(client, port);
    EXPECT_TRUE(codes.empty()) << "Open returns before any event, even a refusal at once";
    ASSERT_TRUE(WaitUntil([&] { return !codes.empty(); }));
    EXPECT_EQ(std::vector<int>{10061}, codes);
    EXPECT_EQ(std::vector<TErrorEvent>{eeConnect}, kinds);
    EXPECT_FALSE(client.Active());
    PumpEvents(50);
    EXPECT_TRUE(boxes.Boxes().empty());
    client.Open(); // a refused socket is closed again: a fresh attempt, refused in turn
    EXPECT_TRUE(WaitUntil([&] { return codes.size() == 2; }));
}

TEST_F(ClientSocketErrors, AddressThatIsNotDottedIPv4FailsFromTheLoop) {
    TClientSocket client;
    std::vector<int> codes;
    client.OnError = [&](TCustomWinSocket&, TErrorEvent event, int& errorCode) {
        EXPECT_EQ(eeConnect, event);
        codes.push_back(errorCode);
        errorCode = 0;
    };
    client.SetAddress("192.168.1.300");
    client.SetPort(2023);
    client.Open();
    EXPECT_TRUE(codes.empty());
    EXPECT_FALSE(client.WaitForConnected(2000));
    ASSERT_TRUE(WaitUntil([&] { return !codes.empty(); }));
    EXPECT_EQ(std::vector<int>{10049}, codes);
    client.Open(); // the socket stayed closed: a fresh attempt, failing in turn
    EXPECT_TRUE(WaitUntil([&] { return codes.size() == 2; }));
}

TEST_F(ClientSocketErrors, UnclearedCodeRaisesTheSocketErrorBox) {
    TClientSocket client;
    int errors = 0;
    client.OnError = [&](TCustomWinSocket&, TErrorEvent, int&) { ++errors; };
    OpenTo(client, RefusedPort());
    ASSERT_TRUE(WaitUntil([&] { return !boxes.Boxes().empty(); }));
    expectedBoxes = 1;
    EXPECT_EQ(1, errors);
    EXPECT_EQ(ToQString("Windows socket error: Connection refused (10061), on API 'connect'"),
              boxes.Boxes()[0].text);
    EXPECT_EQ(ToQString(ApplicationTitle()), boxes.Boxes()[0].caption);
}

TEST_F(ClientSocketErrors, QtErrorsMapToWindowsSocketsNumbers) {
    EXPECT_EQ(10061, WinSockErrorCode(QAbstractSocket::ConnectionRefusedError));
    EXPECT_EQ(0, WinSockErrorCode(QAbstractSocket::RemoteHostClosedError));
    EXPECT_EQ(10048, WinSockErrorCode(QAbstractSocket::AddressInUseError));
    EXPECT_EQ(10013, WinSockErrorCode(QAbstractSocket::SocketAccessError));
    EXPECT_EQ(10060, WinSockErrorCode(QAbstractSocket::SocketTimeoutError));
    EXPECT_EQ(10060, WinSockErrorCode(QAbstractSocket::NetworkError,
                                      QStringLiteral("Connection timed out")));
    EXPECT_EQ(10065,
              WinSockErrorCode(QAbstractSocket::NetworkError, QStringLiteral("Host unreachable")));
    EXPECT_EQ(10051, WinSockErrorCode(QAbstractSocket::NetworkError,
                                      QStringLiteral("Network unreachable")));
    // A connected socket's failure carries the system's reason instead.
    EXPECT_EQ(10065,
              WinSockErrorCode(QAbstractSocket::NetworkError, QStringLiteral("No route to host")));
    EXPECT_EQ(10051, WinSockErrorCode(QAbstractSocket::NetworkError,
                                      QStringLiteral("Network is unreachable")));
    EXPECT_EQ(10053, WinSockErrorCode(QAbstractSocket::NetworkError,
                                      QStringLiteral("Software caused connection abort")));
}

// ---- client: address and port, waiting for the connection, destruction ----

TEST_F(ClientSocketSettings, NewEndPointGivesUpAPendingAttemptButRaisesWhileConnected) {
    ScriptedTeacherServer first, second;
    RecordedClient recorded;
    recorded.OpenTo(first.Port());
    EXPECT_NO_THROW(recorded.client.SetPort(second.Port())) << "an attempt is not open yet";
    recorded.client.Open();
    ASSERT_TRUE(recorded.WaitFor("connect"));
    EXPECT_EQ(2, recorded.client.Socket().SendText("90"));
    ASSERT_TRUE(second.WaitForBytes(2));
    EXPECT_EQ(std::vector<std::string>{"connect"}, recorded.events);

    try {
        recorded.client.SetPort(first.Port());
        FAIL() << "no error while connected";
    } catch (const ESocketError& error) {
        EXPECT_EQ("Can't change value while socket is active", error.Message);
    }
    EXPECT_THROW(recorded.client.SetAddress("127.0.0.2"), ESocketError);
    EXPECT_NO_THROW(recorded.client.SetAddress("127.0.0.1"));
    EXPECT_NO_THROW(recorded.client.SetPort(second.Port()));
    EXPECT_EQ("127.0.0.1", recorded.client.Address());
    EXPECT_EQ(second.Port(), recorded.client.Port());
    EXPECT_TRUE(recorded.client.Active());

    recorded.client.Close();
    EXPECT_NO_THROW(recorded.client.SetAddress("127.0.0.2"));
    EXPECT_EQ("127.0.0.2", recorded.client.Address());
}

TEST_F(ClientSocketWait, ConnectsWithinTheWaitAndDeliversTheConnectEventFirst) {
    ScriptedTeacherServer server;
    RecordedClient recorded;
    recorded.OpenTo(server.Port());
    ASSERT_TRUE(recorded.client.WaitForConnected(2000));
    EXPECT_EQ(std::vector<std::string>{"connect"}, recorded.events);
    EXPECT_TRUE(recorded.client.Active());
    EXPECT_EQ(2, recorded.client.Socket().SendText("90"));
    ASSERT_TRUE(server.WaitForMessages(1));
    EXPECT_EQ("90", server.Received());
    PumpEvents(50);
    EXPECT_EQ(std::vector<std::string>{"connect"}, recorded.events) << "connect event once only";
}

TEST_F(ClientSocketWait, RefusedEndsTheWaitWithFalseAndTheErrorComesFromTheLoop) {
    RecordedClient recorded;
    std::vector<int> codes;
    recorded.client.OnError = [&](TCustomWinSocket&, TErrorEvent, int& errorCode) {
        codes.push_back(errorCode);
        errorCode = 0;
    };
    recorded.OpenTo(RefusedPort());
    EXPECT_FALSE(recorded.client.WaitForConnected(5000));
    EXPECT_TRUE(codes.empty()) << "no event is delivered during the wait";
    EXPECT_FALSE(recorded.client.Active());
    ASSERT_TRUE(WaitUntil([&] { return !codes.empty(); }));
    EXPECT_EQ(std::vector<int>{10061}, codes);
    EXPECT_FALSE(recorded.client.WaitForConnected(10)) << "nothing pending any more";
}

TEST_F(ClientSocketWait, AttemptSlowerThanTheWaitGoesOnAndConnectsFromTheLoop) {
    // A listening socket whose accept queue is full drops further connection requests unanswered;
    // the client sends its SYN again after a second.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, ::listen(listener, 0));
    socklen_t length = sizeof address;
    ASSERT_EQ(0, ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length));
    const int port = ntohs(address.sin_port);
    RecordedClient queued;
    queued.OpenTo(port);
    ASSERT_TRUE(queued.WaitFor("connect"));

    RecordedClient recorded;
    std::vector<int> codes;
    recorded.client.OnError = [&](TCustomWinSocket&, TErrorEvent, int& errorCode) {
        codes.push_back(errorCode);
        errorCode = 0;
    };
    recorded.OpenTo(port);
    EXPECT_FALSE(recorded.client.WaitForConnected(300));
    const int first = ::accept(listener, nullptr, nullptr); // room in the queue again
    ASSERT_TRUE(recorded.WaitFor("connect"));
    EXPECT_TRUE(codes.empty());
    EXPECT_TRUE(recorded.client.Active());
    ::close(first);
    ::close(listener);
}

TEST_F(ClientSocketLifetime, OwnerDestroyedInItsReadHandlerGetsNoFurtherEvent) {
    ScriptedTeacherServer server;
    auto client = std::make_unique<TClientSocket>();
    int reads = 0;
    client->OnRead = [&](TCustomWinSocket& socket) {
        ++reads;
        char buffer[2];
        socket.ReceiveBuf(buffer, 2); // leaves data: a further read event is on its way
        client.reset();
    };
    client->SetAddress("127.0.0.1");
    client->SetPort(server.Port());
    client->Open();
    ASSERT_TRUE(WaitUntil([&] { return client->Active(); }));
    ASSERT_TRUE(server.WaitForConnections(1));
    server.Send("0123456789");
    ASSERT_TRUE(WaitUntil([&] { return !client; }));
    PumpEvents(100);
    EXPECT_EQ(1, reads);
    EXPECT_TRUE(server.Connection(0).WaitForClosed());
}

TEST_F(ClientSocketLifetime, OwnerDestroyedWhileItsReadHandlerRunsANestedLoop) {
    ScriptedTeacherServer server;
    auto client = std::make_unique<TClientSocket>();
    bool inHandler = false;
    bool qtSocketGone = false;
    bool qtSocketGoneInHandler = false;
    client->OnRead = [&](TCustomWinSocket& socket) {
        inHandler = true;
        socket.ReceiveText();
        socket.SendText("09");
        QTimer::singleShot(0, [&] { client.reset(); });
        PumpEvents(50); // the loop a modal box runs
        inHandler = false;
    };
    client->SetAddress("127.0.0.1");
    client->SetPort(server.Port());
    client->Open();
    ASSERT_TRUE(WaitUntil([&] { return client && client->Active(); }));
    ASSERT_TRUE(server.WaitForConnections(1));
    // The handler runs inside a signal of Qt's socket, which must outlive it.
    auto* qtSocket = client->findChild<QTcpSocket*>();
    ASSERT_NE(nullptr, qtSocket);
    QObject::connect(qtSocket, &QObject::destroyed, [&] {
        qtSocketGone = true;
        qtSocketGoneInHandler = inHandler;
    });
    server.Send("0123456789");
    ASSERT_TRUE(WaitUntil([&] { return !client && !inHandler && qtSocketGone; }));
    EXPECT_FALSE(qtSocketGoneInHandler);
    EXPECT_TRUE(server.Connection(0).WaitForClosed());
    EXPECT_EQ("09", server.Received());
}

// ---- server ----

namespace {

struct RecordedServer {
    TServerSocket server;
    std::vector<std::string> events; // "connect:<index>", "read:<index>:<bytes>", "disconnect:..."
    int countInDisconnect = -1;
    std::string addressInDisconnect;

    RecordedServer() {
        server.OnClientConnect = [this](TCustomWinSocket& socket) {
            events.push_back("connect:" + std::to_string(IndexOf(socket)));
        };
        server.OnClientRead = [this](TCustomWinSocket& socket) {
            events.push_back("read:" + std::to_string(IndexOf(socket)) + ":" +
                             socket.ReceiveText());
        };
        server.OnClientDisconnect = [this](TCustomWinSocket& socket) {
            countInDisconnect = server.ActiveConnections();
            addressInDisconnect = socket.RemoteAddress();
            events.push_back("disconnect:" + std::to_string(IndexOf(socket)));
        };
        server.SetPort(0);
        server.Open();
    }
    int IndexOf(TCustomWinSocket& socket) {
        for (int i = 0; i < server.ActiveConnections(); ++i)
            if (&server.Connections(i) == &socket)
                return i;
        return -1;
    }
    bool WaitForEvents(size_t count) {
        return WaitUntil([&] { return events.size() >= count; });
    }
};

} // namespace

TEST_F(ServerSocket, AcceptsAndReadsPerConnectionInOrderOfAcceptance) {
    RecordedServer recorded;
    ASSERT_TRUE(recorded.server.Active());
    ASSERT_NE(0, recorded.server.Port()) << "port 0 picks a free port";
    ScriptedPeer first(recorded.server.Port());
    ASSERT_TRUE(recorded.WaitForEvents(1));
    ScriptedPeer second(recorded.server.Port());
    ASSERT_TRUE(recorded.WaitForEvents(2));
    ASSERT_EQ(2, recorded.server.ActiveConnections());
    EXPECT_EQ("127.0.0.1", recorded.server.Connections(0).RemoteAddress());
    EXPECT_EQ("127.0.0.1", recorded.server.Connections(1).RemoteAddress());

    second.Send("01from second");
    ASSERT_TRUE(recorded.WaitForEvents(3));
    first.Send("01from first");
    ASSERT_TRUE(recorded.WaitForEvents(4));
    EXPECT_EQ((std::vector<std::string>{"connect:0", "connect:1", "read:1:01from second",
                                        "read:0:01from first"}),
              recorded.events);

    recorded.server.Connections(1).SendText("03to second");
    ASSERT_TRUE(second.WaitForBytes(11));
    EXPECT_EQ("03to second", second.Received());
    EXPECT_TRUE(first.Messages().empty());
    EXPECT_THROW(recorded.server.Connections(2), EListError);
}

TEST_F(ServerSocket, ClosedConnectionLeavesTheListAfterItsDisconnectEvent) {
    RecordedServer recorded;
    ScriptedPeer first(recorded.server.Port());
    ScriptedPeer second(recorded.server.Port());
    ASSERT_TRUE(recorded.WaitForEvents(2));

    first.Close();
    ASSERT_TRUE(recorded.WaitForEvents(3));
    EXPECT_EQ("disconnect:0", recorded.events[2]);
    EXPECT_EQ(2, recorded.countInDisconnect);
    EXPECT_EQ("127.0.0.1", recorded.addressInDisconnect);
    ASSERT_EQ(1, recorded.server.ActiveConnections());

    recorded.server.Connections(0).SendText("08still here");
    ASSERT_TRUE(second.WaitForBytes(12));
    EXPECT_EQ("08still here", second.Received());

    recorded.server.Connections(0).Close();
    EXPECT_EQ("disconnect:0", recorded.events.back());
    EXPECT_EQ(0, recorded.server.ActiveConnections());
    EXPECT_TRUE(second.WaitForClosed());
}

TEST_F(ServerSocket, ClosingTheServerClosesEveryConnection) {
    RecordedServer recorded;
    ScriptedPeer first(recorded.server.Port());
    ScriptedPeer second(recorded.server.Port());
    ASSERT_TRUE(recorded.WaitForEvents(2));
    recorded.server.Close();
    EXPECT_FALSE(recorded.server.Active());
    EXPECT_EQ(0, recorded.server.ActiveConnections());
    EXPECT_EQ(4u, recorded.events.size());
    EXPECT_TRUE(first.WaitForClosed());
    EXPECT_TRUE(second.WaitForClosed());
}

TEST_F(ServerSocket, PortInUseRaisesTheBindErrorAtOnce) {
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, 0));
    TServerSocket server;
    server.SetPort(other.serverPort());
    try {
        server.Open();
        FAIL() << "bound a port in use";
    } catch (const ESocketError& error) {
        EXPECT_EQ("Windows socket error: Address already in use (10048), on API 'bind'",
                  error.Message);
    }
    EXPECT_FALSE(server.Active());
}

TEST_F(ServerSocket, ConnectionClosedWhileItsHandlerShowsABoxLivesUntilTheHandlerEnds) {
    TServerSocket server;
    std::vector<std::string> events;
    server.OnClientRead = [&](TCustomWinSocket& socket) {
        events.push_back("read " + socket.ReceiveText());
        ShowMessage("size differs"); // its loop lets the peer's close in
        events.push_back("after box " + socket.RemoteAddress());
    };
    server.OnClientDisconnect = [&](TCustomWinSocket&) { events.push_back("disconnect"); };
    server.SetPort(0);
    server.Open();
    ScriptedPeer peer(server.Port());
    peer.Send("09");
    peer.Close();
    ASSERT_TRUE(WaitUntil([&] { return events.size() == 3; }));
    expectedBoxes = 1;
    EXPECT_EQ((std::vector<std::string>{"read 09", "disconnect", "after box 127.0.0.1"}), events);
    EXPECT_EQ(0, server.ActiveConnections());
}

TEST_F(ServerSocket, DestroyedWhileAConnectionsHandlerShowsABox) {
    auto server = std::make_unique<TServerSocket>();
    std::vector<std::string> events;
    server->OnClientRead = [&](TCustomWinSocket& socket) {
        events.push_back("read " + socket.ReceiveText());
        ShowMessage("size differs");
        events.push_back("after box");
    };
    server->OnClientDisconnect = [&](TCustomWinSocket&) { events.push_back("disconnect"); };
    boxes.WhileOpen = [&] { server.reset(); }; // the window closes under the box
    server->SetPort(0);
    server->Open();
    ScriptedPeer peer(server->Port());
    peer.Send("09");
    ASSERT_TRUE(WaitUntil([&] { return events.size() == 2; }));
    expectedBoxes = 1;
    EXPECT_TRUE(peer.WaitForClosed());
    PumpEvents(50);
    EXPECT_EQ((std::vector<std::string>{"read 09", "after box"}), events);
}

// ---- the scripted teacher server itself ----

TEST_F(ScriptedPeers, RepliesToScriptedCodesAndRecordsTheConnection) {
    ScriptedTeacherServer server;
    server.OnCode("90", "22"
                        "2030+2031+2032+17");
    server.OnCode("26", [](ScriptedPeer& peer, const AnsiString& message) {
        peer.Send("25" + message.substr(2));
    });
    ScriptedPeer first(server.Port());
    ScriptedPeer second(server.Port());
    ASSERT_TRUE(server.WaitForConnections(2));

    second.Send("90id");
    ASSERT_TRUE(second.WaitForMessages(1));
    first.Send("26poll");
    ASSERT_TRUE(first.WaitForMessages(1));
    first.Send("99ignored");
    ASSERT_TRUE(server.WaitForMessages(3));

    EXPECT_EQ("22"
              "2030+2031+2032+17",
              second.Received());
    EXPECT_EQ("25poll", first.Received());
    ASSERT_EQ(3u, server.Messages().size());
    EXPECT_EQ(1, server.Messages()[0].Connection);
    EXPECT_EQ(0, server.Messages()[1].Connection);
    EXPECT_EQ(2, server.Messages()[2].Order);
    EXPECT_EQ((std::vector<AnsiString>{"90id", "26poll", "99ignored"}), server.MessageTexts());
}
