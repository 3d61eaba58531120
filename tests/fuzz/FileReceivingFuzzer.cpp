// The file receiving exchange over loopback TCP, through the push receiver (peers from three
// addresses, each address with a record of its own) or a download channel. After every step the
// exchange must show what the steps so far imply: a file reported complete, or ended by "09",
// holds exactly the bytes of the blocks sent for it; no other file is written, none outside the
// receiver's folder; the channel is busy from a request until its download completes, is dropped
// or lost or the server has no file ("27"), and calls back once per completed file.
//
// An input is a byte for the receiver (even: the push receiver, odd: the channel), then steps,
// each a byte whose remainder by StepKinds is its kind and whose quotient its argument:
//   0  a push peer connects from 127.0.0.(1 + argument % 3); the channel asks for a download
//   1  the push peer at (argument % peers), or the channel's server, hangs up
//   2  the push peer at (argument % peers) speaks from now on
//   3  a message: Codes[argument % 9] (past the last, two bytes of the input), then a byte for the
//      length of the payload that follows
//   4  a block: two bytes give its length, 1 to 1024; its bytes are made up
#include "FuzzSupport.h"
#include "ReceiverPeer.h"
#include "ScriptedTeacherServer.h"
#include "TestSupport.h"
#include "UnitThreadReceiver.h"
#include "UnitThreadReceiverNew.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr int StepKinds = 5;
constexpr std::size_t BlockBytes = 1024;
// Files may grow to three blocks, so that a fourth is dropped within a short input.
constexpr std::size_t FileBound = 3 * BlockBytes;
const std::array<AnsiString, 8> Codes{"01", "00", "04", "09", "06", "27", "18", "08"};

// The files in a folder and their bytes.
using TFiles = std::map<QString, AnsiString>;

// A temporary folder in which the receiver's folder lies a few levels down, so that a name that
// climbs out of it lands where it is seen.
class TSandbox {
public:
    AnsiString ReceiverFolder() const { return FReceiverFolder.toStdString(); }
    TFiles ReceivedFiles() const {
        TFiles files;
        QDir folder(FReceiverFolder);
        for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            QFile file(folder.filePath(name));
            FuzzCheck(file.open(QIODevice::ReadOnly), "a received file can be read");
            files[name] = file.readAll().toStdString();
        }
        return files;
    }
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

// The input read front to back; past its end every byte is 0.
class TInput {
public:
    TInput(const std::uint8_t* data, std::size_t size) : FData(data), FLeft(size) {}
    bool Empty() const { return FLeft == 0; }
    std::uint8_t Byte() {
        if (FLeft == 0)
            return 0;
        --FLeft;
        return *FData++;
    }
    AnsiString Bytes(std::size_t count) {
        count = std::min(count, FLeft);
        const AnsiString bytes(reinterpret_cast<const char*>(FData), count);
        FData += count;
        FLeft -= count;
        return bytes;
    }

private:
    const std::uint8_t* FData;
    std::size_t FLeft;
};

// A record of the receiver as the exchange so far implies it.
struct TRecordModel {
    bool AwaitingBlock = false; // the next read is a block
    bool Holding = false;       // a file offered and neither written nor given up
    AnsiString Bytes;           // the blocks taken for it
};

// One receiver and the servers that talk to it.
class TExchange {
public:
    virtual ~TExchange() = default;
    virtual void Connect(int argument) = 0;
    virtual void HangUp(int argument) = 0;
    virtual void Select(int /*argument*/) {}
    // Sends the message as one read and waits until it is handled; false when no connection is
    // there to send it on.
    virtual bool Send(const AnsiString& message) = 0;
    // The record of the last message's sender.
    virtual TRecordModel& Record() = 0;
    // What the channel adds: its steps when a file is complete or dropped, when a completed file
    // cannot be written (the button comes first), on "27", and the check of its busy flag,
    // button and callback.
    virtual void FileEnded(bool /*completed*/) {}
    virtual void FileNotWritten() {}
    virtual void NoSharedFile() {}
    virtual void CheckState() const {}

    QPlainTextEdit Log;
};

class TPushExchange : public TExchange {
public:
    explicit TPushExchange(const AnsiString& folder)
        : FReceiver(folder, 0, std::make_shared<TTransferBudget>(), Limits),
          FReads(FReceiver.FServerSocket->OnClientRead) {
        FReceiver.FLog = &Log;
        Connect(0);
    }
    void Connect(int argument) override {
        const int address = argument % Addresses;
        const auto fromThere = std::count_if(FPeers.begin(), FPeers.end(), [&](const TPeer& peer) {
            return peer.Address == address;
        });
        auto peer = ReceiverPeer::ConnectTo(FReceiver.FServerSocket->Port(),
                                            "127.0.0." + IntToStr(address + 1));
        if (static_cast<int>(FPeers.size()) >= Limits.MaxConnections ||
            fromThere >= Limits.MaxConnectionsPerAddress) {
            FuzzCheck(peer->WaitClosedByReceiver(), "a connection past the limits is closed");
        } else {
            FPeers.push_back({std::move(peer), address});
            FCurrent = FPeers.size() - 1;
        }
        WaitForConnections(FPeers.size());
    }
    // When the address's last connection goes, its record starts afresh.
    void HangUp(int argument) override {
        if (FPeers.empty())
            return;
        const auto gone = FPeers.begin() + argument % static_cast<int>(FPeers.size());
        const int address = gone->Address;
        gone->Peer->Close();
        WaitForConnections(FPeers.size() - 1);
        FPeers.erase(gone);
        if (std::none_of(FPeers.begin(), FPeers.end(),
                         [&](const TPeer& peer) { return peer.Address == address; }))
            FRecords[static_cast<std::size_t>(address)] = {};
        FCurrent = FPeers.empty() ? 0 : FPeers.size() - 1;
    }
    void Select(int argument) override {
        if (!FPeers.empty())
            FCurrent = static_cast<std::size_t>(argument) % FPeers.size();
    }
    bool Send(const AnsiString& message) override {
        if (FPeers.empty())
            return false;
        const int before = FReads.Count();
        FPeers[FCurrent].Peer->Send(message);
        FuzzCheck(FReads.WaitFor(before + 1), "the push receiver takes every read");
        return true;
    }
    TRecordModel& Record() override {
        return FRecords[static_cast<std::size_t>(FPeers[FCurrent].Address)];
    }

private:
    static constexpr int Addresses = 3;
    // Small enough for a short input to pass them; no connection falls silent within a run.
    static constexpr TPushReceiverLimits Limits{.MaxConnections = 4,
                                                .MaxConnectionsPerAddress = 2,
                                                .IdleTimeout = std::chrono::hours(1),
                                                .MaxFileBytes = FileBound};
    void WaitForConnections(std::size_t count) {
        FuzzCheck(WaitUntil([&] {
                      return FReceiver.FServerSocket->ActiveConnections() ==
                             static_cast<int>(count);
                  }),
                  "the push receiver sees every connection come and go");
    }

    struct TPeer {
        std::unique_ptr<ReceiverPeer> Peer;
        int Address;
    };
    TSocketFileReceiver FReceiver;
    ReadCounter FReads;
    std::array<TRecordModel, Addresses> FRecords;
    std::vector<TPeer> FPeers; // in order of connection
    std::size_t FCurrent = 0;
};

class TChannelExchange : public TExchange {
public:
    explicit TChannelExchange(const AnsiString& folder)
        : FChannel(folder, std::make_shared<TTransferBudget>(), FileBound),
          FReads(FChannel.FClientSocket->OnRead) {
        FChannel.FLog = &Log;
        FChannel.FStudentNo = "2023001";
        FChannel.FButton = &FButton;
        FButton.setEnabled(false);
        FChannel.FOnDone = [this] {
            ++FCallbacks;
            FuzzCheck(!FChannel.FDownloading && FButton.isEnabled(),
                      "the channel calls back after the steps of a completed file");
        };
        Reconnect();
    }
    // As the download button does, but without its wait for a fresh connection, which would
    // take a fifth of a second every run.
    void Connect(int) override {
        if (!FChannel.FClientSocket->Active())
            Reconnect();
        FChannel.FDownloading = FBusy = true;
    }
    void HangUp(int) override {
        if (!FChannel.FClientSocket->Active())
            return;
        FServer.CloseConnection();
        FuzzCheck(WaitUntil([this] { return !FChannel.FClientSocket->Active(); }),
                  "the channel sees its server hang up");
        if (FBusy || FRecord.Holding)
            FileEnded(false);
        FRecord = {};
    }
    bool Send(const AnsiString& message) override {
        if (!FChannel.FClientSocket->Active())
            return false;
        const int before = FReads.Count();
        FServer.Send(message);
        FuzzCheck(FReads.WaitFor(before + 1), "the channel takes every read");
        return true;
    }
    TRecordModel& Record() override { return FRecord; }
    void FileEnded(bool completed) override {
        FBusy = false;
        FButtonEnabled = true;
        FCompleted += completed ? 1 : 0;
    }
    void FileNotWritten() override { FButtonEnabled = true; }
    void NoSharedFile() override { FBusy = false; }
    void CheckState() const override {
        FuzzCheck(FChannel.FDownloading == FBusy,
                  "the channel is busy from a request until its download ends");
        FuzzCheck(FButton.isEnabled() == FButtonEnabled,
                  "the channel enables its button when a download ends");
        FuzzCheck(FCallbacks == FCompleted, "the channel calls back once per completed file");
    }

private:
    void Reconnect() {
        const int connections = FServer.ConnectionCount();
        FChannel.Connect("127.0.0.1", FServer.Port());
        FuzzCheck(FServer.WaitForConnections(connections + 1) &&
                      WaitUntil([this] { return FChannel.FClientSocket->Active(); }),
                  "the channel connects to its server");
    }

    ScriptedTeacherServer FServer;
    QPushButton FButton;
    TSocketFileReceiverNew FChannel;
    ReadCounter FReads;
    TRecordModel FRecord;
    bool FBusy = false;
    bool FButtonEnabled = false;
    int FCallbacks = 0;
    int FCompleted = 0;
};

int CompletionLines(const QPlainTextEdit& log) {
    const std::vector<AnsiString> lines = LogLines(&log);
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const AnsiString& line) {
        return AfterTimeStamp(line).starts_with("  文件接收完毕: ");
    }));
}

// What a step leaves in the receiver's folder and log, against what it found there.
class TStepCheck {
public:
    TStepCheck(const TSandbox& sandbox, const QPlainTextEdit& log)
        : FSandbox(sandbox), FLog(log), FFiles(sandbox.ReceivedFiles()),
          FCompletions(CompletionLines(log)), FBoxes(BoxesShown()) {}

    bool Completed() const { return CompletionLines(FLog) > FCompletions; }
    bool BoxShown() const { return BoxesShown() > FBoxes; }

    // written: the bytes of the file the step ended, if it did; completed: whether the step
    // completed it on a block.
    void Verify(const std::optional<AnsiString>& written, bool completed) const {
        FuzzCheck(CompletionLines(FLog) == FCompletions + (completed ? 1 : 0),
                  "a file is reported complete once, on a block of its own");
        const TFiles files = FSandbox.ReceivedFiles();
        for (const auto& [name, bytes] : files) {
            const auto before = FFiles.find(name);
            if (before == FFiles.end() || before->second != bytes)
                FuzzCheck(written && bytes == *written,
                          "a file is written only when it ends, with the bytes sent for it");
        }
        if (written)
            FuzzCheck(std::any_of(files.begin(), files.end(),
                                  [&](const auto& file) { return file.second == *written; }),
                      "a file that ends holds exactly the bytes sent for it");
    }

private:
    const TSandbox& FSandbox;
    const QPlainTextEdit& FLog;
    const TFiles FFiles;
    const int FCompletions;
    const int FBoxes;
};

struct TOutcome {
    std::optional<AnsiString> Written;
    bool Completed = false;
};

// A block for the record: taken into the file it holds, which the block completes, or dropped
// when the file would pass its bound.
TOutcome TakeBlock(TExchange& exchange, TRecordModel& record, const AnsiString& block,
                   const TStepCheck& step) {
    TOutcome outcome;
    if (!record.Holding)
        return outcome;
    if (record.Bytes.size() + block.size() > FileBound) {
        record = {};
        exchange.FileEnded(false);
        return outcome;
    }
    record.Bytes += block;
    outcome.Completed = step.Completed();
    if (outcome.Completed) {
        outcome.Written = record.Bytes;
        record = {};
        exchange.FileEnded(true);
    } else if (step.BoxShown()) {
        exchange.FileNotWritten();
    } else {
        FuzzCheck(block.size() == BlockBytes,
                  "a short block completes its file, or a box tells why not");
    }
    return outcome;
}

// What the message does to its sender's record: the read after "04" is a block, any other one
// a command by its first two bytes.
TOutcome Interpret(TExchange& exchange, const AnsiString& message, const TStepCheck& step) {
    TRecordModel& record = exchange.Record();
    if (record.AwaitingBlock) {
        record.AwaitingBlock = false;
        return TakeBlock(exchange, record, message, step);
    }
    TOutcome outcome;
    const AnsiString code = message.substr(0, 2);
    if (code == "01") {
        record = {false, true, ""};
    } else if (code == "04") {
        record.AwaitingBlock = true;
    } else if (code == "06") {
        record = {};
    } else if (code == "09" && record.Holding && !step.BoxShown()) {
        outcome.Written = record.Bytes;
        record = {};
    } else if (code == "27") {
        exchange.NoSharedFile();
    }
    return outcome;
}

AnsiString Message(TInput& input, int argument) {
    const auto index = static_cast<std::size_t>(argument) % (Codes.size() + 1);
    const AnsiString code = index < Codes.size() ? Codes[index] : input.Bytes(2);
    return code + input.Bytes(input.Byte());
}

AnsiString Block(TInput& input, unsigned seed) {
    const std::size_t low = input.Byte();
    const std::size_t high = input.Byte();
    return FileBytes(1 + (low | high << 8) % BlockBytes, seed);
}

void RunStep(TExchange& exchange, TInput& input, const TSandbox& sandbox, unsigned& blocks) {
    const TStepCheck step(sandbox, exchange.Log);
    const std::uint8_t stepByte = input.Byte();
    const int kind = stepByte % StepKinds;
    const int argument = stepByte / StepKinds;
    TOutcome outcome;
    switch (kind) {
    case 0:
        exchange.Connect(argument);
        break;
    case 1:
        exchange.HangUp(argument);
        break;
    case 2:
        exchange.Select(argument);
        break;
    default: {
        const AnsiString message = kind == 3 ? Message(input, argument) : Block(input, blocks++);
        if (!message.empty() && exchange.Send(message)) // no bytes make no read
            outcome = Interpret(exchange, message, step);
    }
    }
    step.Verify(outcome.Written, outcome.Completed);
    exchange.CheckState();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static const TSandbox sandbox;
    TInput input(data, size);
    std::unique_ptr<TExchange> exchange;
    if (input.Byte() % 2 == 1)
        exchange = std::make_unique<TChannelExchange>(sandbox.ReceiverFolder());
    else
        exchange = std::make_unique<TPushExchange>(sandbox.ReceiverFolder());
    unsigned blocks = 0;
    while (!input.Empty())
        RunStep(*exchange, input, sandbox, blocks);
    exchange.reset();

    FuzzCheck(sandbox.HoldsOnlyTheReceiverFolder(),
              "a received file was written outside the receiver's folder");
    sandbox.Empty();
    return 0;
}
