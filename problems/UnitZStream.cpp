#include "UnitZStream.h"

#include "SysUtils.h"

#include <zlib.h>

namespace {

// Owns the inflate state so that every way out of the loop releases it.
class TInflater {
public:
    explicit TInflater(const AnsiString& compressed) {
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
    stream.Position = 0;
    AnsiString inflated; // std::string growth keeps appending amortised constant
    {
        TInflater inflater(stream.Bytes);
        char block[512];
        while (const std::size_t count = inflater.Read(block, sizeof block)) {
            if (count > limit - inflated.size())
                throw EZDecompressionError();
            inflated.append(block, count);
        }
    }
    stream.Bytes.swap(inflated);
    stream.Position = 0;
}
