// The answer upload of TSClient: file request, size announcement, blocks on request and the
// outcome replies.
#include "UnitSocketClient.h"

#include "Files.h"
#include "LogView.h"
#include "Sockets.h"
#include "SysUtils.h"
#include "UnitCheckText.h"
#include "UnitCommon.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <exception>

namespace {

constexpr int UploadHeaderSize = 15;
constexpr int UploadBlockSize = 1024;
const char* const DiagnosticFileName = "dbgclient.txt";
const char* const DiagnosticOldFileName = "dbgclient.old";
// A server that keeps asking for blocks past the end must not fill the disk with these lines.
constexpr long long DiagnosticFileLimit = 1024 * 1024;
const char* const DeleteCaption = "提示";

// Blocks of UploadBlockSize bytes, the last one shorter: 0 bytes need none.
long long BlockCount(long long size) {
    return (size + UploadBlockSize - 1) / UploadBlockSize;
}

// The file opened for reading and held exclusively while it is uploaded: opening it again
// while it is held fails.
platform::TFileHandle OpenUnshared(const AnsiString& fileName) {
    platform::TFileHandle file(platform::OpenFileUnshared(fileName));
    if (!file)
        throw EFOpenError(fileName, errno);
    struct stat status {};
    if (fstat(fileno(file.get()), &status) != 0)
        throw EFOpenError(fileName, errno);
    if (S_ISDIR(status.st_mode))
        throw EFOpenError(fileName, EISDIR);
    return file;
}

long long FileSize(std::FILE* file) {
    struct stat status {};
    if (fstat(fileno(file), &status) != 0)
        throw EInOutError::FromErrno(errno);
    return status.st_size;
}

// A diagnostic file that has reached the limit becomes the old one (replacing it), and the next
// lines begin a new file. A file that cannot be renamed is appended to as before.
void RotateFullDiagnosticFile(const AnsiString& fileName) {
    struct stat status {};
    if (platform::FileStatus(fileName, status) == 0 && S_ISREG(status.st_mode) &&
        status.st_size >= DiagnosticFileLimit)
        platform::RenameFile(fileName, GetExePath() + DiagnosticOldFileName);
}

// The lines "dbgclient.txt" gets for a block that read fewer than 15 bytes of the file.
void AppendDiagnosticLines(size_t read) {
    if (read >= UploadHeaderSize)
        return;
    const AnsiString fileName = GetExePath() + DiagnosticFileName;
    RotateFullDiagnosticFile(fileName);
    const AnsiString now = DateTimeStamp();
    if (read == 0)
        AppendLineToFile(fileName, now + " client iNum==0");
    AppendLineToFile(fileName, now + " iNum < 15(SClient.ClientSocketRead)");
}

} // namespace

void TSClient::SendFileRequest(const AnsiString& problemNumber, const AnsiString& problemKey,
                               const AnsiString& fileName) {
    FSendFileName = fileName;
    FSendHold.emplace(fileName);
    SendAwaitedRequest("01" + FIdentity + "?" + problemNumber + "?" + problemKey + "?" + fileName);
}

void TSClient::HandleFileGo(const AnsiString&) {
    // An open that fails leaves any upload already under way as it is.
    FSendStream = OpenUnshared(FSendFileName);
    const long long size = FileSize(FSendStream.get());
    Send("00" + FIdentity + "?" + IntToStr(size) + "?" + IntToStr(BlockCount(size)));
    std::rewind(FSendStream.get());
}

void TSClient::HandleNextBlock(const AnsiString&) {
    if (FSendStream)
        UploadBlock();
}

void TSClient::UploadBlock() {
    std::array<char, UploadHeaderSize + UploadBlockSize> block{};
    FStudentNo.copy(block.data(), UploadHeaderSize);
    const size_t read =
        std::fread(block.data() + UploadHeaderSize, 1, UploadBlockSize, FSendStream.get());
    if (std::ferror(FSendStream.get()))
        throw EReadError();

    // A diagnostic line that cannot be written must not hold the block back: the server
    // would wait for it for ever. Its error is shown once the block has gone out.
    std::exception_ptr diagnosticError;
    try {
        AppendDiagnosticLines(read);
    } catch (const Exception&) {
        diagnosticError = std::current_exception();
    }

    FSocket->Socket().SendBuf(block.data(), static_cast<int>(UploadHeaderSize + read));
    if (diagnosticError)
        std::rethrow_exception(diagnosticError);
}

void TSClient::HandleFileDone(const AnsiString&) {
    SetButtonsEnabled(true);
    Log(TimeStamp() + "  发送文件成功, 文件名: " + FSendFileName);
    EndUpload();
    // Only the instrumented Matlab copy is the client's own to delete after a successful upload.
    if (IsMatlabProgram(FSendFileName)) {
        // A box lets events in, the owner's closing among them, which destroys this object.
        const std::weak_ptr<bool> alive = FAlive;
        try {
            if (FileExists(FSendFileName) && platform::DeleteFile(FSendFileName) != 0)
                ShowEventErrorBox(DeleteCaption, "删除临时文件失败！", EventErrorLog());
        } catch (const std::exception&) {
            ShowEventErrorBox(DeleteCaption, "删除临时文件失败（出现异常）！", EventErrorLog());
        }
        if (alive.expired())
            return;
    }
    SetBusy(false);
    StartPollTimer();
}

void TSClient::HandleFileRejected(const AnsiString& payload) {
    Log(TimeStamp() + "  发送失败，被服务端拒绝! 原因: " + payload);
    EndUpload();
    SetButtonsEnabled(true);
    SetBusy(false);
    StartPollTimer();
}

void TSClient::HandleFileError(const AnsiString& payload) {
    SetButtonsEnabled(true);
    Log("\r\n" + TimeStamp() + " 发送异常-服务端消息: " + payload);
    EndUpload();
    SetBusy(false);
    StartPollTimer();
}

void TSClient::HandleReset(const AnsiString&) {
    SetButtonsEnabled(true);
    EndUpload();
}

void TSClient::EndUpload() {
    FSendStream.reset();
    FSendHold.reset();
}

void TSClient::HandleCheckResults(const AnsiString& payload) {
    Log(FormatCheckResults(payload, LogEntryShownMax)); // the log shows no more of it
}
