// The system's file interface as the client calls it. Names are GBK bytes, as the target
// platform's ANSI file calls take them, and turn into the file system's own encoding here and
// nowhere else. The target platform's sharing rules hold: a file held open unshared, or held
// for an upload, can be neither rewritten nor deleted.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

class QString;

namespace platform {

// The file system's own bytes for a GBK name, up to a NUL as every file call reads it; none
// when the bytes are no valid GBK or a character has no form in the file system's encoding.
// Every call below takes such a name as naming no file: missing when it is looked for or read,
// EILSEQ when it is created.
std::optional<std::string> NativeFileName(const std::string& name);
// A name as the file system or a file dialog gives it, in GBK. A character that GBK cannot hold
// becomes the byte 0xFF, which begins no GBK character, so that the name reaches no file, as
// the target platform's "?" in its place does.
std::string AnsiFileName(const QString& name);

// std::fopen; a file that a hold or an unshared open holds cannot be opened for writing or
// appending (null, errno EBUSY).
std::FILE* OpenFile(const std::string& name, const char* mode);
// Opens for reading, shared with no other opener: while it is open a second such open fails
// (EBUSY), and the file is held as by TFileHold. Close it with CloseFile.
std::FILE* OpenFileUnshared(const std::string& name);
// Closes a file opened here, releasing what its opening held; std::fclose's result.
int CloseFile(std::FILE* file);

// A file opened here, closed with CloseFile when it goes; null when none is open.
struct TFileCloser {
    void operator()(std::FILE* file) const { CloseFile(file); }
};
using TFileHandle = std::unique_ptr<std::FILE, TFileCloser>;

// ::stat: 0, or -1 with errno.
int FileStatus(const std::string& name, struct stat& status);
// Deletes a file: 0, or -1 with errno (EBUSY while it is held).
int DeleteFile(const std::string& name);
// Renames a file over any file of the new name: 0, or -1 with errno (EBUSY while either is held).
int RenameFile(const std::string& from, const std::string& to);
// Creates the folder and the folders above it that are missing: 0, or -1 with errno.
int ForceFolders(const std::string& path);

// The folder of the running executable, without a trailing separator, and its file name, in GBK.
std::string ExecutableFolder();
std::string ExecutableFileName();

// Holds the file that the name has while it lives: the file cannot be opened for writing,
// deleted or renamed over through this interface (EBUSY). A missing file holds nothing.
class TFileHold {
public:
    TFileHold() = default;
    explicit TFileHold(const std::string& name);
    ~TFileHold();
    TFileHold(TFileHold&& other) noexcept;
    TFileHold& operator=(TFileHold&& other) noexcept;
    TFileHold(const TFileHold&) = delete;
    TFileHold& operator=(const TFileHold&) = delete;

private:
    void Release();
    bool FHeld = false;
    dev_t FDevice = 0;
    ino_t FInode = 0;
};

} // namespace platform
