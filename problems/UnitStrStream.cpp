#include "UnitStrStream.h"

#include "Files.h"
#include "SysUtils.h"
#include "UnitBmpReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// Widths of the length prefixes.
constexpr std::size_t ShortPrefix = 8; // Integer, Text
constexpr std::size_t LongPrefix = 10; // Real, Line list

// The heap memory a text holds beyond the string itself.
std::size_t HeapBytes(const AnsiString& text) {
    static const std::size_t inPlace = AnsiString().capacity();
    return text.capacity() > inPlace ? text.capacity() + 1 : 0;
}

// A file's bytes a piece at a time, so that no copy of the whole compressed file is held.
class TFilePieces {
public:
    explicit TFilePieces(const AnsiString& fileName)
        : FFileName(fileName), FFile(platform::OpenFile(fileName, "rb")), FPiece(PieceBytes) {
        if (!FFile)
            throw EFOpenError(fileName, errno);
    }

    // The next piece; empty at the end of the file.
    std::string_view Next() {
        const std::size_t count = std::fread(FPiece.data(), 1, FPiece.size(), FFile.get());
        if (count == 0 && std::ferror(FFile.get()))
            throw EFReadError(FFileName, errno);
        return {FPiece.data(), count};
    }

private:
    // Few reads even for the largest problem files, and nothing next to their text.
    static constexpr std::size_t PieceBytes = 256 * 1024;

    AnsiString FFileName;
    platform::TFileHandle FFile;
    std::vector<char> FPiece;
};

} // namespace

void TMyStrStream::LoadFromFile(const AnsiString& fileName) {
    TFilePieces file(fileName);
    // The text held before goes first: two texts at once could take twice the budget.
    Buffer = TMemoryStream();
    TMemoryStream text;
    InflatePieces([&file] { return file.Next(); }, text, FBudget);
    Buffer = std::move(text);
    FBytesLeft = FBudget - Buffer.Size();
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
    if (bytes > FBytesLeft)
        throw EInvalidGraphic();
    FBytesLeft -= bytes;
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
                                         Buffer.Rest(), bitmap, FBytesLeft);
    Buffer.Position += consumed;
}
