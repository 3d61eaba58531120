#include "UnitZStream.h"

#include "SysUtils.h"

#include <zlib.h>

#include <algorithm>
#include <string_view>

namespace {

// Owns the inflate state so that every way out of the loop releases it.
class TInflater {
public:
    explicit TInflater(std::string_view compressed) {
        FStream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
        FStream.avail_in = 0;
        if (inflateInit(&FStream) != Z_OK)
            throw EZDecompressionError();
        FRemaining = compressed.size();
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
            if (result == Z_BUF_ERROR && FStream.avail_in == 0 && FRemaining == 0) {
                FEnded = true;
                break;
            }
            if (result != Z_OK)
                throw EZDecompressionError();
        }
        return size - FStream.avail_out;
    }

private:
    // zlib counts input in 32-bit pieces; hand it over a piece at a time.
    void RefillInput() {
        if (FStream.avail_in > 0 || FRemaining == 0)
            return;
        const std::size_t piece = std::min<std::size_t>(FRemaining, 1u << 30);
        FStream.avail_in = static_cast<uInt>(piece);
        FRemaining -= piece;
    }

    z_stream FStream{};
    std::size_t FRemaining = 0;
    bool FEnded = false;
};

} // namespace

void DecompressStream(TMemoryStream& stream, std::size_t limit) {
    constexpr std::size_t LeastRoom = 512;
    constexpr std::size_t LargestRead = std::size_t{1} << 30; // zlib counts output in 32 bits
    stream.Position = 0;
    TMemoryStream inflated;
    {
        TInflater inflater(stream.Bytes());
        for (;;) {
            // Inflated straight into the whole free end of the growing buffer: the same bytes
            // and the same errors as 512-byte reads, without zlib copying every block into its
            // window. One byte past the limit is enough to see it passed.
            char* end = inflated.Reserve(LeastRoom);
            const std::size_t wanted =
                std::min(inflated.Room(), std::min(limit - inflated.Size(), LargestRead) + 1);
            const std::size_t count = inflater.Read(end, wanted);
            if (count == 0)
                break;
            if (count > limit - inflated.Size())
                throw EZDecompressionError();
            inflated.Extend(count);
        }
    }
    stream.Swap(inflated);
    stream.Position = 0;
}
