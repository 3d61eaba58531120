// The file receiving exchange driven by a server's reads over loopback TCP: the first byte of an
// input picks the push receiver (even) or a download channel (odd), the rest are the reads.
// Whatever arrives, received files land inside the receiver's folder and nowhere else.
#include "FuzzSupport.h"
#include "ScriptedTeacherServer.h"
#include "UnitFileReceiving.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QTemporaryDir>

namespace {

// A temporary folder holding nothing but the receiver's folder.
class TSandbox {
public:
    AnsiString ReceiverFolder() const { return FRoot.filePath(Name).toStdString(); }
    bool HoldsOnlyTheReceiverFolder() const {
        const QStringList entries =
            QDir(FRoot.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        return entries.isEmpty() || entries == QStringList{Name};
    }
    void Empty() const { QDir(FRoot.filePath(Name)).removeRecursively(); }

private:
    inline static const QString Name = QStringLiteral("program");
    QTemporaryDir FRoot;
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
    const TReceiveContext context{sandbox.ReceiverFolder(), onChannel ? "2023001" : "127.0.0.1",
                                  &log, onChannel ? &steps : nullptr};
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
