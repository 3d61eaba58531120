#include "UnitStrStream.h"

#include "SysUtils.h"
#include "UnitBmpReader.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

// Widths of the length prefixes.
constexpr std::size_t ShortPrefix = 8; // Integer, Text
constexpr std::size_t LongPrefix = 10; // Real, Line list

AnsiString ReadWholeFile(const AnsiString& fileName) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(fileName.c_str(), "rb"), &std::fclose);
    if (!file)
        throw EFOpenError(fileName, errno);
    AnsiString bytes;
    char block[65536];
    while (const std::size_t count = std::fread(block, 1, sizeof block, file.get()))
        bytes.append(block, count);
    if (std::ferror(file.get()))
        throw EFOpenError(fileName, errno);
    return bytes;
}

} // namespace

void TMyStrStream::LoadFromFile(const AnsiString& fileName) {
    TMemoryStream file;
    file.Bytes = ReadWholeFile(fileName);
    DecompressStream(file);
    // The compressed copy went with the swap inside DecompressStream.
    Buffer.Bytes.swap(file.Bytes);
    Buffer.Position = 0;
}

AnsiString TMyStrStream::Take(std::size_t count) {
    const std::size_t taken = std::min(count, Buffer.Rest());
    AnsiString bytes = Buffer.Bytes.substr(std::min(Buffer.Position, Buffer.Size()), taken);
    Buffer.Position += taken;
    return bytes;
}

AnsiString TMyStrStream::ReadField(std::size_t prefixWidth) {
    const int length = StrToInt(Take(prefixWidth));
    // A negative length gives an empty body; reading goes on right after the prefix.
    return length > 0 ? Take(static_cast<std::size_t>(length)) : AnsiString();
}

int TMyStrStream::ReadInteger() {
    return StrToInt(ReadField(ShortPrefix));
}

double TMyStrStream::ReadFloat() {
    return StrToFloat(ReadField(LongPrefix));
}

AnsiString TMyStrStream::ReadString() {
    return ReadField(ShortPrefix);
}

void TMyStrStream::ReadStrings(TStringList& list) {
    const AnsiString body = ReadField(LongPrefix);
    list.SetText(body);
}

void TMyStrStream::ReadBitmap(QImage& bitmap) {
    const std::size_t consumed =
        ReadBmp(Buffer.Bytes.data() + Buffer.Position, Buffer.Rest(), bitmap);
    Buffer.Position += consumed;
}
