#include "UnitCommon.h"

#include "Application.h"
#include "Codec.h"
#include "Files.h"
#include "SysUtils.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

static const char kPathSeparator = '/';
// Empty while no ScopedExePath or ScopedClock lives.
static std::optional<AnsiString> gExePathOverride;
static std::optional<QDateTime> gClockOverride;

AnsiString GetExePath() {
    if (gExePathOverride)
        return *gExePathOverride;
    // The folder's name as the file system holds it, so that file calls find it.
    return AddBackslash(platform::ExecutableFolder());
}

ScopedExePath::ScopedExePath(const AnsiString& folder)
    : ScopedOverride(gExePathOverride, AddBackslash(folder)) {}

ScopedClock::ScopedClock(const QDateTime& moment) : ScopedOverride(gClockOverride, moment) {}

void ShowMsg(const AnsiString& caption, const AnsiString& text) {
    ShowModalBox(caption, text);
}

AnsiString AddBackslash(const AnsiString& path) {
    if (!path.empty() && path.back() == kPathSeparator)
        return path;
    return path + kPathSeparator;
}

bool FileExists(const AnsiString& fileName) {
    struct stat info {};
    if (platform::FileStatus(fileName, info) == 0)
        return S_ISREG(info.st_mode);
    // A name too long for the file system names no file there.
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG)
        return false;
    throw EFOpenError(fileName, errno);
}

static AnsiString FormatNow(const QString& format) {
    return FromQString(gClockOverride.value_or(QDateTime::currentDateTime()).toString(format));
}

AnsiString TimeStamp() {
    return FormatNow(QStringLiteral("HH:mm:ss"));
}

AnsiString DateTimeStamp() {
    return FormatNow(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

bool EndsWith(const AnsiString& text, const AnsiString& suffix) {
    return suffix.size() <= text.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsMatlabProgram(const AnsiString& fileName) {
    return EndsWith(fileName, ".m") || EndsWith(fileName, ".M");
}

void WriteAndClose(std::FILE* file, const AnsiString& bytes) {
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    if (platform::CloseFile(file) != 0 || !written)
        throw EInOutError::FromErrno(written ? errno : writeError);
}

void AppendLineToFile(const AnsiString& fileName, const AnsiString& line) {
    std::FILE* file = platform::OpenFile(fileName, "ab");
    if (!file)
        throw EInOutError::FromErrno(errno);
    WriteAndClose(file, line + "\r\n");
}

AnsiString JoinFields(const AnsiString& a, const AnsiString& b, const AnsiString& c,
                      const AnsiString& separator) {
    return a + separator + b + separator + c;
}
