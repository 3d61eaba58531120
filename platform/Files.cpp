#include "Files.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
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

bool IdentityOf(const std::string& name, TIdentity& identity) {
    struct stat status {};
    if (::stat(name.c_str(), &status) != 0)
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

bool IsHeld(const std::string& name) {
    TIdentity identity;
    return IdentityOf(name, identity) && Holds().contains(identity);
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

std::FILE* OpenFile(const std::string& name, const char* mode) {
    if (Changes(mode) && IsHeld(name)) {
        Busy();
        return nullptr;
    }
    return std::fopen(name.c_str(), mode);
}

std::FILE* OpenFileUnshared(const std::string& name) {
    std::FILE* file = std::fopen(name.c_str(), "rb");
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
    return ::stat(name.c_str(), &status);
}

int DeleteFile(const std::string& name) {
    if (IsHeld(name))
        return Busy();
    return ::unlink(name.c_str());
}

int RenameFile(const std::string& from, const std::string& to) {
    if (IsHeld(from) || IsHeld(to))
        return Busy();
    return std::rename(from.c_str(), to.c_str());
}

int ForceFolders(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (!error)
        return 0;
    errno = error.value();
    return -1;
}

std::string ExecutableFolder() {
    return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
}

std::string ExecutableFileName() {
    return QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName())
        .toStdString();
}

TFileHold::TFileHold(const std::string& name) {
    TIdentity identity;
    if (!IdentityOf(name, identity))
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
