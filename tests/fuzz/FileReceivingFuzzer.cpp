// The file receiving exchange driven by a server's reads over loopback TCP: the first byte of an
// input picks the push receiver (even) or a download channel (odd), the rest are the reads.
// Whatever arrives, received files land inside the receiver's folder and nowhere else.
#include "FuzzSupport.h"
#include "ScriptedTeacherServer.h"
#include "UnitFileReceiving.h"

#include <QDir>
#include <QDirIterator>
#include <QPlainTextEdit>
#include <QTemporaryDir>

namespace {

// A temporary folder in which the receiver's folder lies a few levels down, so that a name that
// climbs out of it lands where it is seen.
class TSandbox {
public:
    AnsiString ReceiverFolder() const { return FReceiverFolder.toStdString(); }
    // Whether everything in the sandbox is the receiver's folder, what it holds, or one of the
    // folders on the way to it.
    bool HoldsOnlyTheReceiverFolder() const {
        QDirIterator entries(FRoot.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
        while (entries.hasNext()) {
            const QString entry = entries.next();
            const bool inside =
                entry == FReceiverFolder || entry.startsWith(FReceiverFolder + Slash);
            if (!inside && !FReceiverFolder.startsWith(entry + Slash))
                return false;
        }
        return true;
    }
    void Empty() const { QDir(FReceiverFolder).removeRecursively(); }

private:
    static constexpr QChar Slash = u'/';
    QTemporaryDir FRoot;
    const QString FReceiverFolder = FRoot.filePath(QStringLiteral("a/b/c/program"));
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static const TSandbox sandbox;
    const bool onChannel = data[0] % 2 == 1;
    const TChannelSteps steps{[] {}, [] {}};
    QPlainTextEdit log;
    const TReceiveContext context{sandbox.ReceiverFolder(),
                                  onChannel ? "2023001" : "127.0.0.1",
                                  &log,
                                  onChannel ? &steps : nullptr,
                                  MaxReceivedFileBytes,
                                  std::make_shared<TTransferBudget>()};
    CMM_CLIENTInfo record;

    ScriptedTeacherServer server;
    platform::TClientSocket socket;
    socket.OnRead = [&](platform::TCustomWinSocket& connection) {
        ReceiveOnRead(record, connection, context);
    };
    TReadFeeder feeder(socket);
    FuzzCheck(feeder.Connect(server), "the receiver connects to the server");
    for (const AnsiString& read : SplitReads(data + 1, size - 1))
        if (!feeder.Feed(server, read))
            break;

    FuzzCheck(sandbox.HoldsOnlyTheReceiverFolder(),
              "a received file was written outside the receiver's folder");
    sandbox.Empty();
    return 0;
}
