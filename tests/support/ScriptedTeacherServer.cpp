#include "ScriptedTeacherServer.h"

#include "TestSupport.h"

#include <QTcpSocket>

#include <memory>
#include <stdexcept>

namespace {

using Script = std::vector<std::pair<AnsiString, ScriptedPeer::Reaction>>;

void SetReaction(Script& script, const AnsiString& code, ScriptedPeer::Reaction reaction) {
    for (auto& [scripted, existing] : script) {
        if (scripted == code) {
            existing = std::move(reaction);
            return;
        }
    }
    script.emplace_back(code, std::move(reaction));
}

ScriptedPeer::Reaction Reply(const AnsiString& reply) {
    return [reply](ScriptedPeer& peer, const AnsiString&) { peer.Send(reply); };
}

// Runs the reaction for the message's code; a copy, since a reaction may change the script.
void React(const Script& script, ScriptedPeer& peer, const AnsiString& message) {
    if (message.size() < 2)
        return;
    for (const auto& [code, reaction] : script) {
        if (message.compare(0, 2, code) == 0) {
            const ScriptedPeer::Reaction copy = reaction;
            copy(peer, message);
            return;
        }
    }
}

// The scripted answers of ServeFile, for a peer or for every connection of a server.
template <typename Scripted> void ScriptFileServing(Scripted& scripted, const AnsiString& bytes) {
    constexpr std::size_t blockSize = 1024;
    const std::size_t blocks = (bytes.size() + blockSize - 1) / blockSize;
    scripted.OnCode("03", "00" + std::to_string(bytes.size()) + "?" + std::to_string(blocks));
    scripted.OnCode("04", "04");
    auto sent = std::make_shared<std::size_t>(0);
    scripted.OnCode("05", [bytes, sent](ScriptedPeer& peer, const AnsiString&) {
        const AnsiString block = bytes.substr(*sent, blockSize);
        *sent += block.size();
        peer.Send(block);
    });
}

AnsiString Joined(const std::vector<AnsiString>& parts) {
    AnsiString joined;
    for (const AnsiString& part : parts)
        joined += part;
    return joined;
}

} // namespace

// ---- ScriptedPeer ----

ScriptedPeer::ScriptedPeer(int port) : FSocket(std::make_unique<QTcpSocket>()) {
    Watch();
    FSocket->connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    if (!FSocket->waitForConnected(5000))
        throw std::runtime_error("scripted peer cannot connect to port " + std::to_string(port));
    FSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1); // see Watch
}

ScriptedPeer::ScriptedPeer(QTcpSocket* accepted, Reaction observer)
    : FSocket(accepted), FObserver(std::move(observer)) {
    FSocket->setParent(nullptr);
    Watch();
}

ScriptedPeer::~ScriptedPeer() {
    FSocket->disconnect();
    FSocket->abort();
}

void ScriptedPeer::Watch() {
    // Every message goes out at once: Nagle's algorithm would hold one back until the one
    // before is acknowledged, which a receiver that does not reply does only after a pause.
    FSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QObject::connect(FSocket.get(), &QTcpSocket::readyRead, [this] { ReadArrived(); });
    QObject::connect(FSocket.get(), &QTcpSocket::disconnected, [this] { FOpen = false; });
}

void ScriptedPeer::ReadArrived() {
    const QByteArray bytes = FSocket->readAll();
    if (bytes.isEmpty())
        return;
    const AnsiString message(bytes.constData(), static_cast<size_t>(bytes.size()));
    FMessages.push_back(message);
    FReceivedSize += message.size();
    if (FObserver)
        FObserver(*this, message);
    React(FScript, *this, message);
}

void ScriptedPeer::Send(const AnsiString& bytes) {
    FSocket->write(bytes.data(), static_cast<qint64>(bytes.size()));
    FSocket->flush();
}

void ScriptedPeer::Close() {
    FSocket->disconnectFromHost();
}

bool ScriptedPeer::IsOpen() const {
    return FOpen && FSocket->state() == QAbstractSocket::ConnectedState;
}

bool ScriptedPeer::WaitForClosed(int timeoutMs) {
    return WaitUntil([this] { return !IsOpen(); }, timeoutMs);
}

AnsiString ScriptedPeer::Received() const {
    return Joined(FMessages);
}

bool ScriptedPeer::WaitForMessages(size_t count, int timeoutMs) {
    return WaitUntil([&] { return FMessages.size() >= count; }, timeoutMs);
}

bool ScriptedPeer::WaitForBytes(size_t count, int timeoutMs) {
    return WaitUntil([&] { return FReceivedSize >= count; }, timeoutMs);
}

void ScriptedPeer::OnCode(const AnsiString& code, const AnsiString& reply) {
    SetReaction(FScript, code, Reply(reply));
}

void ScriptedPeer::OnCode(const AnsiString& code, Reaction reaction) {
    SetReaction(FScript, code, std::move(reaction));
}

// ---- ScriptedTeacherServer ----

ScriptedTeacherServer::ScriptedTeacherServer() : ScriptedTeacherServer(0) {}

ScriptedTeacherServer::ScriptedTeacherServer(int port) {
    QObject::connect(&FServer, &QTcpServer::newConnection, [this] { AcceptPending(); });
    if (!FServer.listen(QHostAddress::LocalHost, static_cast<quint16>(port)))
        throw std::runtime_error("scripted teacher server cannot listen: " +
                                 FServer.errorString().toStdString());
}

ScriptedTeacherServer::~ScriptedTeacherServer() {
    FServer.disconnect();
    FPeers.clear();
}

int ScriptedTeacherServer::Port() const {
    return FServer.serverPort();
}

void ScriptedTeacherServer::AcceptPending() {
    while (FServer.hasPendingConnections()) {
        QTcpSocket* accepted = FServer.nextPendingConnection();
        FPeers.push_back(std::unique_ptr<ScriptedPeer>(
            new ScriptedPeer(accepted, [this](ScriptedPeer& peer, const AnsiString& message) {
                Record(peer, message);
            })));
    }
}

void ScriptedTeacherServer::Record(ScriptedPeer& peer, const AnsiString& message) {
    int connection = 0;
    while (FPeers[static_cast<size_t>(connection)].get() != &peer)
        ++connection;
    FMessages.push_back({static_cast<int>(FMessages.size()), connection, message});
    FReceivedSize += message.size();
    React(FScript, peer, message);
}

bool ScriptedTeacherServer::WaitForConnections(int count, int timeoutMs) {
    return WaitUntil([&] { return ConnectionCount() >= count; }, timeoutMs);
}

ScriptedPeer& ScriptedTeacherServer::Connection(int index) {
    if (index == -1)
        index = ConnectionCount() - 1;
    if (index < 0 || index >= ConnectionCount())
        throw std::out_of_range("scripted teacher server has no connection " +
                                std::to_string(index));
    return *FPeers[static_cast<size_t>(index)];
}

std::vector<AnsiString> ScriptedTeacherServer::MessageTexts() const {
    std::vector<AnsiString> texts;
    for (const ScriptedMessage& message : FMessages)
        texts.push_back(message.Bytes);
    return texts;
}

AnsiString ScriptedTeacherServer::Received() const {
    return Joined(MessageTexts());
}

bool ScriptedTeacherServer::WaitForMessages(size_t count, int timeoutMs) {
    return WaitUntil([&] { return FMessages.size() >= count; }, timeoutMs);
}

bool ScriptedTeacherServer::WaitForBytes(size_t count, int timeoutMs) {
    return WaitUntil([&] { return FReceivedSize >= count; }, timeoutMs);
}

void ScriptedTeacherServer::Send(const AnsiString& bytes, int connection) {
    Connection(connection).Send(bytes);
}

void ScriptedTeacherServer::CloseConnection(int connection) {
    Connection(connection).Close();
}

void ScriptedTeacherServer::OnCode(const AnsiString& code, const AnsiString& reply) {
    SetReaction(FScript, code, Reply(reply));
}

void ScriptedTeacherServer::OnCode(const AnsiString& code, ScriptedPeer::Reaction reaction) {
    SetReaction(FScript, code, std::move(reaction));
}

void ServeFile(ScriptedPeer& peer, const AnsiString& bytes) {
    ScriptFileServing(peer, bytes);
}

void ServeFile(ScriptedTeacherServer& server, const AnsiString& bytes) {
    ScriptFileServing(server, bytes);
}
