#include "Files.h"

#include "Codec.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

namespace platform {

namespace {

// A file as the file system knows it, whatever name reaches it.
using TIdentity = std::pair<dev_t, ino_t>;

// How many holds each file has, and the files open unshared. One thread uses them.
std::map<TIdentity, int>& Holds() {
    static std::map<TIdentity, int> holds;
    return holds;
}
std::map<std::FILE*, TIdentity>& UnsharedOpens() {
    static std::map<std::FILE*, TIdentity> opens;
    return opens;
}

// The name in the file system's bytes; none, with errno set to failure, when it cannot be
// carried there.
std::optional<std::string> Native(const std::string& name, int failure) {
    std::optional<std::string> native = NativeFileName(name);
    if (!native)
        errno = failure;
    return native;
}

bool IdentityOf(const std::string& native, TIdentity& identity) {
    struct stat status {};
    if (::stat(native.c_str(), &status) != 0)
        return false;
    identity = {status.st_dev, status.st_ino};
    return true;
}

void Hold(const TIdentity& identity) {
    ++Holds()[identity];
}

void Unhold(const TIdentity& identity) {
    const auto found = Holds().find(identity);
    if (found != Holds().end() && --found->second == 0)
        Holds().erase(found);
}

bool IsHeld(const std::string& native) {
    TIdentity identity;
    return !Holds().empty() && IdentityOf(native, identity) && Holds().contains(identity);
}

bool Changes(const char* mode) {
    return std::strpbrk(mode, "wa+") != nullptr;
}

// -1 with errno EBUSY, as the system's refusal of a file in use.
int Busy() {
    errno = EBUSY;
    return -1;
}

} // namespace

std::optional<std::string> NativeFileName(const std::string& name) {
    const QString text = ToQString(name.substr(0, name.find('\0')));
    if (text.contains(QChar::ReplacementCharacter)) // no GBK character decodes to it
        return std::nullopt;
    const QByteArray native = QFile::encodeName(text);
    if (QFile::decodeName(native) != text)
        return std::nullopt;
    return native.toStdString();
}

std::string AnsiFileName(const QString& name) {
    std::string ansi;
    // Character by character, so that one without a GBK form is known by its own "?".
    for (qsizetype i = 0; i < name.size();) {
        const qsizetype units = name[i].isHighSurrogate() && i + 1 < name.size() ? 2 : 1;
        const QString character = name.mid(i, units);
        const std::string bytes = FromQString(character);
        ansi += bytes == "?" && character != QStringLiteral("?") ? std::string(1, '\xFF') : bytes;
        i += units;
    }
    return ansi;
}

std::FILE* OpenFile(const std::string& name, const char* mode) {
    const std::optional<std::string> native = Native(name, Changes(mode) ? EILSEQ : ENOENT);
    if (!native)
        return nullptr;
    if (Changes(mode) && IsHeld(*native)) {
        Busy();
        return nullptr;
    }
    return std::fopen(native->c_str(), mode);
}

std::FILE* OpenFileUnshared(const std::string& name) {
    const std::optional<std::string> native = Native(name, ENOENT);
    std::FILE* file = native ? std::fopen(native->c_str(), "rb") : nullptr;
    if (!file)
        return nullptr;
    struct stat status {};
    if (::fstat(fileno(file), &status) != 0) {
        const int error = errno;
        std::fclose(file);
        errno = error;
        return nullptr;
    }
    const TIdentity identity{status.st_dev, status.st_ino};
    for (const auto& [open, openIdentity] : UnsharedOpens()) {
        if (openIdentity == identity) {
            std::fclose(file);
            Busy();
            return nullptr;
        }
    }
    UnsharedOpens().emplace(file, identity);
    Hold(identity);
    return file;
}

int CloseFile(std::FILE* file) {
    const auto found = UnsharedOpens().find(file);
    if (found != UnsharedOpens().end()) {
        Unhold(found->second);
        UnsharedOpens().erase(found);
    }
    return std::fclose(file);
}

int FileStatus(const std::string& name, struct stat& status) {
    const std::optional<std::string> native = Native(name, ENOENT);
    return native ? ::stat(native->c_str(), &status) : -1;
}

int DeleteFile(const std::string& name) {
    const std::optional<std::string> native = Native(name, ENOENT);
    if (!native)
        return -1;
    if (IsHeld(*native))
        return Busy();
    return ::unlink(native->c_str());
}

int RenameFile(const std::string& from, const std::string& to) {
    const std::optional<std::string> nativeFrom = Native(from, ENOENT);
    const std::optional<std::string> nativeTo = nativeFrom ? Native(to, EILSEQ) : std::nullopt;
    if (!nativeTo)
        return -1;
    if (IsHeld(*nativeFrom) || IsHeld(*nativeTo))
        return Busy();
    return std::rename(nativeFrom->c_str(), nativeTo->c_str());
}

int ForceFolders(const std::string& path) {
    const std::optional<std::string> native = Native(path, EILSEQ);
    if (!native)
        return -1;
    std::error_code error;
    std::filesystem::create_directories(*native, error);
    if (!error)
        return 0;
    errno = error.value();
    return -1;
}

std::string ExecutableFolder() {
    return AnsiFileName(QCoreApplication::applicationDirPath());
}

std::string ExecutableFileName() {
    return AnsiFileName(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

TFileHold::TFileHold(const std::string& name) {
    const std::optional<std::string> native = NativeFileName(name);
    TIdentity identity;
    if (!native || !IdentityOf(*native, identity))
        return;
    FHeld = true;
    FDevice = identity.first;
    FInode = identity.second;
    Hold(identity);
}

TFileHold::~TFileHold() {
    Release();
}

TFileHold::TFileHold(TFileHold&& other) noexcept
    : FHeld(std::exchange(other.FHeld, false)), FDevice(other.FDevice), FInode(other.FInode) {}

TFileHold& TFileHold::operator=(TFileHold&& other) noexcept {
    if (this != &other) {
        Release();
        FHeld = std::exchange(other.FHeld, false);
        FDevice = other.FDevice;
        FInode = other.FInode;
    }
    return *this;
}

void TFileHold::Release() {
    if (std::exchange(FHeld, false))
        Unhold({FDevice, FInode});
}

} // namespace platform
