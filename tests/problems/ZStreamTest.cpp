// Inflating a whole zlib stream held in memory.
#include "ProblemFileWriter.h"
#include "SysUtils.h"
#include "UnitZStream.h"

#include <gtest/gtest.h>

#include <string_view>

using namespace ProblemFileWriter;

namespace {

// Larger than any text inflated here.
constexpr std::size_t AmpleLimit = std::size_t{1} << 20;

// The text inflated from compressed, or the error's text.
AnsiString Inflated(const AnsiString& compressed, std::size_t limit = AmpleLimit) {
    TMemoryStream stream;
    stream.Assign(compressed);
    stream.Position = 3;
    try {
        DecompressStream(stream, limit);
    } catch (const EZDecompressionError& error) {
        EXPECT_EQ(stream.Bytes(), compressed) << "a failed inflate changed the buffer";
        return "raised " + error.Message;
    }
    EXPECT_EQ(stream.Position, 0u);
    return AnsiString(stream.Bytes());
}

// Text that does not compress much, so that it spans many 512-byte reads.
AnsiString Varied(std::size_t size) {
    AnsiString text;
    std::uint32_t state = 12345;
    while (text.size() < size) {
        state = state * 1103515245u + 12345u;
        text += static_cast<char>(state >> 24);
    }
    return text;
}

} // namespace

TEST(ZStream, InflatesWholeStreamsOfAnySize) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{511},
                                   std::size_t{512}, std::size_t{513}, std::size_t{300000}}) {
        const AnsiString text = Varied(size);
        EXPECT_EQ(Inflated(Compress(text)), text) << size;
        EXPECT_EQ(Inflated(Compress(text, 0)), text) << size << " stored";
    }
}

TEST(ZStream, BytesAfterTheStreamAreIgnored) {
    EXPECT_EQ(Inflated(Compress("abc") + "trailing bytes"), "abc");
    EXPECT_EQ(Inflated(Compress("abc") + Compress("def")), "abc");
}

TEST(ZStream, AStreamCutShortGivesWhatCouldBeInflated) {
    const AnsiString text = Varied(5000);
    const AnsiString compressed = Compress(text, 0); // stored blocks inflate byte for byte
    const AnsiString inflated = Inflated(compressed.substr(0, compressed.size() / 2));
    EXPECT_GT(inflated.size(), 1000u);
    EXPECT_EQ(inflated, text.substr(0, inflated.size()));
    // Cut inside the trailer or right after the header.
    EXPECT_EQ(Inflated(compressed.substr(0, compressed.size() - 2)), text);
    EXPECT_EQ(Inflated(compressed.substr(0, 2)), "");
    EXPECT_EQ(Inflated(""), "");
}

TEST(ZStream, DamagedStreamsRaiseError) {
    AnsiString badAdler = Compress("some problem text");
    badAdler.back() = static_cast<char>(badAdler.back() ^ 1);
    EXPECT_EQ(Inflated(badAdler), "raised Error");

    EXPECT_EQ(Inflated("not a zlib stream at all"), "raised Error");
    // A gzip stream is not a zlib stream.
    EXPECT_EQ(Inflated(AnsiString("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03", 10)), "raised Error");

    AnsiString badDeflate = Compress(Varied(2000), 9);
    badDeflate[2] = static_cast<char>(0xFF); // a reserved block type
    EXPECT_EQ(Inflated(badDeflate), "raised Error");

    // Header announcing a preset dictionary (FDICT set, check bits valid).
    AnsiString withDictionary = "\x78\xBB";
    withDictionary += AnsiString("\x00\x00\x00\x01", 4) + Compress("x").substr(2);
    EXPECT_EQ(Inflated(withDictionary), "raised Error");
}

TEST(ZStream, InflatedSizeIsBounded) {
    const AnsiString text(10000, 'z');
    EXPECT_EQ(Inflated(Compress(text), 10000), text);
    EXPECT_EQ(Inflated(Compress(text + "z"), 10000), "raised Error");
}

// A file is inflated as it is read: pieces of any size give the same text.
TEST(ZStream, PiecesOfAnySizeGiveTheWholeText) {
    const AnsiString text = Varied(300000);
    const AnsiString compressed = Compress(text);
    for (const std::size_t pieceSize : {std::size_t{1}, std::size_t{7}, std::size_t{65536}}) {
        std::size_t handed = 0;
        TMemoryStream inflated;
        const auto nextPiece = [&] {
            const std::string_view piece = std::string_view(compressed).substr(handed, pieceSize);
            handed += piece.size();
            return piece;
        };
        InflatePieces(nextPiece, inflated, AmpleLimit);
        EXPECT_EQ(inflated.Bytes(), text) << pieceSize;
    }
}
