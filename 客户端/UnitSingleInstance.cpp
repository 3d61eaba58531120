#include "UnitSingleInstance.h"

#include "Application.h"

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {

// Connecting to a live local server completes at once; the wait only covers a busy machine.
constexpr int kAnswerTimeoutMs = 1000;

// One name per user and title; the title's bytes in hexadecimal keep the name portable.
QString ServerNameFor(const AnsiString& title) {
    const QByteArray bytes(title.data(), static_cast<qsizetype>(title.size()));
    return QStringLiteral("Pellucan-%1-%2")
        .arg(static_cast<qulonglong>(getuid()))
        .arg(QString::fromLatin1(bytes.toHex()));
}

} // namespace

bool FindWindowByTitle(const AnsiString& title) {
    QLocalSocket socket;
    socket.connectToServer(ServerNameFor(title));
    const bool answered = socket.waitForConnected(kAnswerTimeoutMs);
    socket.abort();
    return answered;
}

TWindowTitleRegistration::TWindowTitleRegistration(const AnsiString& title)
    : FServer(std::make_unique<QLocalServer>()) {
    // Every question is answered by accepting and dropping the connection.
    QObject::connect(FServer.get(), &QLocalServer::newConnection, FServer.get(),
                     GuardedSlot([server = FServer.get()] {
                         while (QLocalSocket* asker = server->nextPendingConnection()) {
                             asker->abort();
                             asker->deleteLater();
                         }
                     }));
    if (FindWindowByTitle(title))
        return;
    const QString name = ServerNameFor(title);
    if (FServer->listen(name))
        return;
    // A name that nobody answers was left by a program that ended without removing it.
    if (FServer->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(name);
        FServer->listen(name);
    }
}

TWindowTitleRegistration::~TWindowTitleRegistration() = default;

bool TWindowTitleRegistration::Registered() const {
    return FServer->isListening();
}
