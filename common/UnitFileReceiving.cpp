#include "UnitFileReceiving.h"

#include "Application.h"
#include "Classes.h"
#include "Files.h"
#include "LogView.h"
#include "Sockets.h"
#include "SysUtils.h"
#include "UnitCommon.h"
#include "UnitSplit.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

constexpr int BlockSize = 1024;

void AddLogEntry(const TReceiveContext& context, const AnsiString& entry) {
    if (context.Log)
        AppendLogEntry(context.Log, entry);
}

void Reply(platform::TCustomWinSocket& socket, const TReceiveContext& context,
           const AnsiString& code) {
    socket.SendText(code + context.Identity);
}

// Why a name part cannot become a received file, else 0: it would address the folder itself
// or its parent, replace the running program (which the target platform refuses as well), or
// replace a file the client reads from its folder: the short-answer script and its instrumented
// copy on their way to the server, or the Qt configuration of the next start.
int RefusedNameError(const AnsiString& namePart) {
    if (namePart.empty() || namePart == "." || namePart == "..")
        return EISDIR;
    if (namePart == platform::ExecutableFileName())
        return ETXTBSY;
    if (namePart == ShortAnswerFile || namePart == InstrumentedPrefix + ShortAnswerFile ||
        namePart == "qt.conf" || namePart == "qt6.conf")
        return EACCES;
    // The name the file system gets must still be a plain name in the folder.
    const std::optional<std::string> native = platform::NativeFileName(namePart);
    if (!native)
        return EILSEQ;
    if (native->empty() || *native == "." || *native == ".." ||
        native->find('/') != std::string::npos)
        return EISDIR;
    return 0;
}

// Creates the file, or empties it, and writes the whole buffer in one piece.
void WriteReceivedFile(const CMM_CLIENTInfo& record) {
    if (const int refused = RefusedNameError(FileNamePart(record.FileName)))
        throw EFCreateError(record.FilePath, refused);
    std::FILE* file = platform::OpenFile(record.FilePath, "wb");
    if (!file)
        throw EFCreateError(record.FilePath, errno);
    WriteAndClose(file, record.Stream->Bytes());
}

void OfferFile(CMM_CLIENTInfo& record, const AnsiString& payload, const TReceiveContext& context) {
    TStringList pieces;
    SplitString(payload, "?", pieces);
    // Every file call stops at a NUL, so the name is what precedes it.
    record.FileName = pieces[0].substr(0, pieces[0].find('\0'));
    const AnsiString folder = AddBackslash(context.Folder);
    platform::ForceFolders(folder); // a failure shows when the file is written
    const AnsiString namePart = FileNamePart(record.FileName);
    record.FilePath = folder + namePart;
    if (RefusedNameError(namePart) == 0)
        platform::DeleteFile(record.FilePath); // a file that is not there is fine
    record.Stream = std::make_unique<TTransferBuffer>(context.Budget);
}

void AnnounceSize(CMM_CLIENTInfo& record, const AnsiString& payload) {
    TStringList pieces;
    SplitString(payload, "?", pieces);
    record.FileSize = StrToInt(pieces[0]);
    record.BlocksReceived = 0;
    record.BytesReceived = 0;
    record.BlockCount = StrToInt(pieces[1]);
}

// "09" from the server: what is held is the file, whatever its size.
void EndFile(CMM_CLIENTInfo& record) {
    if (record.Stream) {
        WriteReceivedFile(record);
        record.Stream.reset();
    }
    record.AwaitingCommand = true;
}

void HandleText(CMM_CLIENTInfo& record, platform::TCustomWinSocket& socket,
                const TReceiveContext& context) {
    const AnsiString message = socket.ReceiveText();
    if (message.size() < 2)
        return;
    const AnsiString code = message.substr(0, 2);
    const AnsiString payload = message.substr(2);
    if (code == "01") {
        OfferFile(record, payload, context);
        Reply(socket, context, "03");
    } else if (code == "00") {
        AnnounceSize(record, payload);
        Reply(socket, context, "04");
    } else if (code == "04") {
        record.AwaitingCommand = false;
        Reply(socket, context, "05");
    } else if (code == "27" && context.Channel) {
        context.Channel->ClearBusy();
        AddLogEntry(context, TimeStamp() + " " + "服务端没有设置共享文件");
    } else if (code == "09") {
        EndFile(record);
    } else if (code == "06") {
        record.Stream.reset();
        record.AwaitingCommand = true;
    } else if (code == "18" && context.Channel) {
        Reply(socket, context, "21");
    } else if (code == "08") {
        AddLogEntry(context, "\r\n" + TimeStamp() + " " + payload);
    }
}

TReadOutcome CompleteFile(CMM_CLIENTInfo& record, platform::TCustomWinSocket& socket,
                          const TReceiveContext& context) {
    if (context.Channel)
        context.Channel->EnableButton();
    WriteReceivedFile(record);
    record.Stream.reset();
    Reply(socket, context, "09");
    if (context.Channel)
        context.Channel->ClearBusy();
    AddLogEntry(context, TimeStamp() + "  文件接收完毕: " + FileNamePart(record.FileName));
    // The box lets other events run; nothing of the record or the socket is touched after it.
    if (record.BytesReceived != record.FileSize)
        ShowEventErrorBox(ApplicationTitle(), "接收:源和目标字节数不一致",
                          ReceiverErrorLog(context));
    return TReadOutcome::FileCompleted;
}

TReadOutcome HandleBlock(CMM_CLIENTInfo& record, platform::TCustomWinSocket& socket,
                         const TReceiveContext& context) {
    char block[BlockSize];
    const int count = socket.ReceiveBuf(block, BlockSize);
    if (count <= 0)
        return TReadOutcome::Handled; // nothing arrived: the block is still expected
    record.AwaitingCommand = true;
    if (!record.Stream)
        return TReadOutcome::Handled; // a block outside any transfer is not a file
    if (!record.Stream->Append(block, static_cast<std::size_t>(count), context.MaxFileBytes)) {
        record.Stream.reset();
        // The channel's download is over as if complete, so that the student can ask again.
        if (context.Channel) {
            context.Channel->EnableButton();
            context.Channel->ClearBusy();
        }
        AddLogEntry(context,
                    TimeStamp() + " " + FileNamePart(record.FileName) + " 文件过大，已放弃接收");
        return TReadOutcome::Handled;
    }
    record.BlocksReceived += 1;
    record.BytesReceived += count;
    if (count != BlockSize || record.BlocksReceived == record.BlockCount)
        return CompleteFile(record, socket, context);
    Reply(socket, context, "04");
    return TReadOutcome::Handled;
}

} // namespace

AnsiString FileNamePart(const AnsiString& offeredName) {
    std::size_t partStart = 0;
    for (std::size_t i = 0; i < offeredName.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(offeredName[i]);
        // A trail byte is part of its character, never a separator; but "/" is no GBK trail
        // byte, and the file system splits at it whatever came before.
        if (IsGbkLeadByte(byte) && i + 1 < offeredName.size() && offeredName[i + 1] != '/')
            ++i;
        else if (byte == '\\' || byte == ':' || byte == '/')
            partStart = i + 1;
    }
    return offeredName.substr(partStart);
}

TEventErrorLog ReceiverErrorLog(const TReceiveContext& context) {
    return [log = context.Log](const AnsiString& line) {
        AppendLogEntry(log, TimeStamp() + " " + line);
    };
}

TReadOutcome ReceiveOnRead(CMM_CLIENTInfo& record, platform::TCustomWinSocket& socket,
                           const TReceiveContext& context) {
    TReadOutcome outcome = TReadOutcome::Handled;
    // The record may be gone once an error's box has closed.
    GuardedEvent(
        [&] {
            if (!record.AwaitingCommand)
                outcome = HandleBlock(record, socket, context);
            else
                HandleText(record, socket, context);
        },
        ReceiverErrorLog(context));
    return outcome;
}

void AbandonTransfer(CMM_CLIENTInfo& record, const TReceiveContext& context) {
    record.AwaitingCommand = true; // a block expected on the lost connection is no longer
    if (!record.Stream)
        return;
    record.Stream.reset();
    AddLogEntry(context,
                TimeStamp() + " " + FileNamePart(record.FileName) + " 接收中断，已放弃接收");
}
