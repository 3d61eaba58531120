// Bytes in memory with a read position, and the in-place inflating of a zlib stream held in
// such a buffer.
#pragma once

#include "AnsiString.h"

#include <cstddef>

// Bytes in memory with a read position; what the problem reader parses front to back.
struct TMemoryStream {
    AnsiString Bytes;
    std::size_t Position = 0;

    std::size_t Size() const { return Bytes.size(); }
    // Bytes from the position to the end.
    std::size_t Rest() const { return Position < Bytes.size() ? Bytes.size() - Position : 0; }
};

// A damaged or hostile file may inflate without end; no real problem set comes near this.
inline constexpr std::size_t MaxInflatedSize = std::size_t{512} * 1024 * 1024;

// Replaces the whole zlib stream held in stream by its inflated bytes, positioned at 0.
// Bytes after the end of the zlib stream are ignored; a stream cut short gives what could be
// inflated. Raises EZDecompressionError ("Error") on damaged data, a wrong Adler-32, a preset
// dictionary or when the inflated bytes would pass limit; the stream is then left as it was.
void DecompressStream(TMemoryStream& stream, std::size_t limit = MaxInflatedSize);
