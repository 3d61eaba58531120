#include "UnitStartFile.h"

#include "Files.h"
#include "SysUtils.h"

#include <cerrno>
#include <cstdio>

// The bytes within the bound, ending with the last line break inside it when the file goes on
// past the bound.
static AnsiString ReadWithinBound(const AnsiString& fileName) {
    const platform::TFileHandle file(platform::OpenFile(fileName, "rb"));
    if (!file)
        throw EFOpenError(fileName, errno);
    // One byte past the bound tells whether the file goes on.
    AnsiString text(kStartFileMaxBytes + 1, '\0');
    const std::size_t read = std::fread(text.data(), 1, text.size(), file.get());
    if (std::ferror(file.get()))
        throw EFReadError(fileName, errno);
    text.resize(read);
    if (read > kStartFileMaxBytes) {
        const std::size_t lastBreak = text.find_last_of("\r\n", kStartFileMaxBytes - 1);
        text.resize(lastBreak == AnsiString::npos ? 0 : lastBreak + 1);
    }
    return text;
}

void LoadStartFile(const AnsiString& fileName, TStringList& lines) {
    const AnsiString text = ReadWithinBound(fileName);
    lines.SetText(text, kStartFileMaxLines);
}
