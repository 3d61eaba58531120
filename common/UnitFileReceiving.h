// The file receiving exchange that the push receiver and the download channels share: the
// transfer record and the one algorithm every read event runs on it.
#pragma once

#include "AnsiString.h"
#include "Application.h"
#include "TransferBuffer.h"

#include <functional>
#include <memory>

class QPlainTextEdit;
namespace platform {
class TCustomWinSocket;
}

// One transfer: whether the next read is a text message or a file block, and the file so far.
struct CMM_CLIENTInfo {
    std::unique_ptr<TTransferBuffer> Stream; // the file's bytes; absent between transfers
    AnsiString FilePath;
    AnsiString PeerAddress;
    AnsiString FileName;
    bool AwaitingCommand = true;
    int FileSize = 0;
    int BytesReceived = 0;
    int BlocksReceived = 0;
    int BlockCount = 0;
};

// A transfer whose file would grow past its bound, or past what the budget of every transfer in
// progress has left, is dropped: a peer must not exhaust our memory. The download channels take
// this bound unless they are given another; the push receiver takes a host's share.
constexpr std::size_t MaxReceivedFileBytes = 256u * 1024u * 1024u;

// What a download channel adds to the exchange: the codes "27" and "18" and its own steps
// around a completed file. The push receiver has none of them.
struct TChannelSteps {
    std::function<void()> EnableButton; // before the file is written
    std::function<void()> ClearBusy;    // after "09" went out, and on "27"
};

// Everything a read needs besides the record and the connection.
struct TReceiveContext {
    AnsiString Folder;                       // where files are written
    AnsiString Identity;                     // follows the code of every reply
    QPlainTextEdit* Log;                     // no lines when absent
    const TChannelSteps* Channel;            // absent on the push receiver
    std::size_t MaxFileBytes;                // the bound of one file
    std::shared_ptr<TTransferBudget> Budget; // shared by every file in progress
};

enum class TReadOutcome { Handled, FileCompleted };

// Handles one read event on the record: a text message while it awaits a command, else one
// block of at most 1024 bytes. FileCompleted once a completing block has been written,
// acknowledged, logged and any size-mismatch box closed. An error, and the size-mismatch
// box, follow the one-box rule of ShowEventErrorBox with the context's log.
TReadOutcome ReceiveOnRead(CMM_CLIENTInfo& record, platform::TCustomWinSocket& socket,
                           const TReceiveContext& context);

// Writes an error that cannot have its box into the context's log, when there is one.
TEventErrorLog ReceiverErrorLog(const TReceiveContext& context);

// Drops a file in progress whose peer has gone, writing nothing, and logs that it was given up;
// the record awaits a command again.
void AbandonTransfer(CMM_CLIENTInfo& record, const TReceiveContext& context);

// The last part of an offered name: what follows its last "\", ":" or "/", where a byte that is
// the second of a double-byte character does not count ("/" always counts).
AnsiString FileNamePart(const AnsiString& offeredName);
