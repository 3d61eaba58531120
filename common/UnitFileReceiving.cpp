#include "UnitFileReceiving.h"

#include "Application.h"
#include "Classes.h"
#include "LogView.h"
#include "Sockets.h"
#include "SysUtils.h"
#include "UnitCommon.h"
#include "UnitSplit.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>

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

AnsiString RunningExecutableName() {
    return QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName())
        .toStdString();
}

// Why a name part cannot become a received file, else 0: it would address the folder itself
// or its parent, or replace the running program (which the target platform refuses as well).
int RefusedNameError(const AnsiString& namePart) {
    if (namePart.empty() || namePart == "." || namePart == "..")
        return EISDIR;
    if (namePart == RunningExecutableName())
        return ETXTBSY;
    return 0;
}

void CreateFolder(const AnsiString& folder) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
}

// Creates the file, or empties it, and writes the whole buffer in one piece.
void WriteReceivedFile(const CMM_CLIENTInfo& record) {
    if (const int refused = RefusedNameError(FileNamePart(record.FileName)))
        throw EFCreateError(record.FilePath, refused);
    std::FILE* file = std::fopen(record.FilePath.c_str(), "wb");
    if (!file)
        throw EFCreateError(record.FilePath, errno);
    WriteAndClose(file, *record.Stream);
}

void OfferFile(CMM_CLIENTInfo& record, const AnsiString& payload, const TReceiveContext& context) {
    TStringList pieces;
    SplitString(payload, "?", pieces);
    // Every file call stops at a NUL, so the name is what precedes it.
    record.FileName = pieces[0].substr(0, pieces[0].find('\0'));
    const AnsiString folder = AddBackslash(context.Folder);
    CreateFolder(folder);
    const AnsiString namePart = FileNamePart(record.FileName);
    record.FilePath = folder + namePart;
    if (RefusedNameError(namePart) == 0)
        ::unlink(record.FilePath.c_str()); // a file that is not there is fine
    record.Stream.emplace();
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

// Grows the buffer by doubling but never past the bound. A string's own growth (reserve too)
// doubles past it, so a fresh string of the wanted capacity takes the bytes over.
void AppendWithinBound(std::string& buffer, const char* bytes, std::size_t count,
                       std::size_t bound) {
    const std::size_t needed = buffer.size() + count;
    if (needed > buffer.capacity()) {
        std::string grown;
        grown.reserve(std::min(std::max(needed, 2 * buffer.capacity()), bound));
        grown.append(buffer);
        buffer.swap(grown);
    }
    buffer.append(bytes, count);
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
    if (record.Stream->size() + static_cast<std::size_t>(count) > context.MaxFileBytes) {
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
    AppendWithinBound(*record.Stream, block, static_cast<std::size_t>(count), context.MaxFileBytes);
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
    if (!record.Stream)
        return;
    record.Stream.reset();
    AddLogEntry(context,
                TimeStamp() + " " + FileNamePart(record.FileName) + " 接收中断，已放弃接收");
}
