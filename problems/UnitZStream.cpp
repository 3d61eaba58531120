#include "UnitZStream.h"

#include "SysUtils.h"

#include <zlib.h>

#include <algorithm>

namespace {

// Owns the inflate state so that every way out of the loop releases it.
class TInflater {
public:
    explicit TInflater(const TCompressedPieces& nextPiece) : FNextPiece(nextPiece) {
        if (inflateInit(&FStream) != Z_OK)
            throw EZDecompressionError();
    }
    ~TInflater() { inflateEnd(&FStream); }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    // Inflates up to size bytes into block; 0 at the end of the stream or of the input.
    std::size_t Read(char* block, std::size_t size) {
        if (FEnded)
            return 0;
        FStream.next_out = reinterpret_cast<Bytef*>(block);
        FStream.avail_out = static_cast<uInt>(size);
        while (FStream.avail_out > 0) {
            RefillInput();
            const int result = inflate(&FStream, Z_NO_FLUSH);
            if (result == Z_STREAM_END) {
                FEnded = true;
                break;
            }
            // Z_BUF_ERROR with no input left: the file ends inside the compressed data,
            // which gives what could be inflated.
            if (result == Z_BUF_ERROR && FStream.avail_in == 0 && FInputEnded) {
                FEnded = true;
                break;
            }
            if (result != Z_OK)
                throw EZDecompressionError();
        }
        return size - FStream.avail_out;
    }

private:
    // zlib counts input in 32 bits: a piece goes over at most 1 GiB at a time.
    void RefillInput() {
        if (FStream.avail_in > 0 || FInputEnded)
            return;
        if (FPending.empty())
            FPending = FNextPiece();
        if (FPending.empty()) {
            FInputEnded = true;
            return;
        }
        const std::size_t count = std::min<std::size_t>(FPending.size(), 1u << 30);
        FStream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(FPending.data()));
        FStream.avail_in = static_cast<uInt>(count);
        FPending.remove_prefix(count);
    }

    const TCompressedPieces& FNextPiece;
    std::string_view FPending;
    z_stream FStream{};
    bool FInputEnded = false;
    bool FEnded = false;
};

} // namespace

void InflatePieces(const TCompressedPieces& nextPiece, TMemoryStream& text, std::size_t limit) {
    constexpr std::size_t LeastRoom = 512;
    constexpr std::size_t LargestRead = std::size_t{1} << 30; // zlib counts output in 32 bits
    const std::size_t start = text.Size();
    TInflater inflater(nextPiece);
    for (;;) {
        // Inflated straight into the whole free end of the growing buffer: the same bytes and
        // the same errors as 512-byte reads, without zlib copying every block into its window.
        // One byte past the limit is enough to see it passed.
        const std::size_t inflated = text.Size() - start;
        char* end = text.Reserve(LeastRoom);
        const std::size_t wanted =
            std::min(text.Room(), std::min(limit - inflated, LargestRead) + 1);
        const std::size_t count = inflater.Read(end, wanted);
        if (count == 0)
            return;
        if (count > limit - inflated)
            throw EZDecompressionError();
        text.Extend(count);
    }
}

void DecompressStream(TMemoryStream& stream, std::size_t limit) {
    TMemoryStream inflated;
    bool handedOver = false;
    InflatePieces(
        [&stream, &handedOver] {
            const std::string_view piece = handedOver ? std::string_view() : stream.Bytes();
            handedOver = true;
            return piece;
        },
        inflated, limit);
    stream.Swap(inflated);
    stream.Position = 0;
}
