#include "UnitStrStream.h"

#include "SysUtils.h"
#include "UnitBmpReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

// Widths of the length prefixes.
constexpr std::size_t ShortPrefix = 8; // Integer, Text
constexpr std::size_t LongPrefix = 10; // Real, Line list

// The heap memory a text holds beyond the string itself.
std::size_t HeapBytes(const AnsiString& text) {
    static const std::size_t inPlace = AnsiString().capacity();
    return text.capacity() > inPlace ? text.capacity() + 1 : 0;
}

// The whole file, read into one block of its own size.
void ReadWholeFile(const AnsiString& fileName, TMemoryStream& bytes) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(fileName.c_str(), "rb"), &std::fclose);
    if (!file)
        throw EFOpenError(fileName, errno);
    struct stat status {};
    const std::size_t expected = fstat(fileno(file.get()), &status) == 0 && status.st_size > 0
                                     ? static_cast<std::size_t>(status.st_size)
                                     : 0;
    constexpr std::size_t Block = 65536;
    for (std::size_t wanted = expected > 0 ? expected : Block;; wanted = Block) {
        const std::size_t count = std::fread(bytes.Reserve(wanted), 1, wanted, file.get());
        if (count == 0)
            break;
        bytes.Extend(count);
    }
    if (std::ferror(file.get()))
        throw EFOpenError(fileName, errno);
}

} // namespace

void TMyStrStream::LoadFromFile(const AnsiString& fileName) {
    TMemoryStream file;
    ReadWholeFile(fileName, file);
    DecompressStream(file, FInflatedBytes);
    // The text held before goes, with the compressed copy already released by the inflating.
    Buffer.Swap(file);
    Buffer.Position = 0;
    FRecordBytesLeft = FRecordBytes;
}

AnsiString TMyStrStream::Take(std::size_t count) {
    const std::size_t taken = std::min(count, Buffer.Rest());
    AnsiString bytes(Buffer.Bytes().substr(std::min(Buffer.Position, Buffer.Size()), taken));
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

void TMyStrStream::Spend(std::size_t bytes) {
    if (bytes > FRecordBytesLeft)
        throw EInvalidGraphic();
    FRecordBytesLeft -= bytes;
}

AnsiString TMyStrStream::ReadString() {
    AnsiString text = ReadField(ShortPrefix);
    Spend(HeapBytes(text));
    return text;
}

void TMyStrStream::ReadStrings(TStringList& list) {
    const AnsiString body = ReadField(LongPrefix);
    // Paid before the list is built: a body of line breaks alone would take its size in
    // lines, each many times a byte.
    const auto lineEnds = static_cast<std::size_t>(
        std::count_if(body.begin(), body.end(), [](char c) { return c == '\n' || c == '\r'; }));
    Spend((lineEnds + 1) * sizeof(AnsiString) + body.size());
    list.SetText(body);
}

void TMyStrStream::ReadBitmap(QImage& bitmap) {
    const std::size_t consumed = ReadBmp(Buffer.Memory() + std::min(Buffer.Position, Buffer.Size()),
                                         Buffer.Rest(), bitmap, FRecordBytesLeft);
    Buffer.Position += consumed;
}
