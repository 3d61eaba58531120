// The in-place inflating of a zlib stream held in a memory buffer.
#pragma once

#include "UnitMemoryStream.h"

#include <cstddef>

// A damaged or hostile file may inflate without end; no real problem set comes near this.
inline constexpr std::size_t MaxInflatedSize = std::size_t{512} * 1024 * 1024;

// Replaces the whole zlib stream held in stream by its inflated bytes, positioned at 0.
// Bytes after the end of the zlib stream are ignored; a stream cut short gives what could be
// inflated. Raises EZDecompressionError ("Error") on damaged data, a wrong Adler-32, a preset
// dictionary or when the inflated bytes would pass limit; the stream then keeps its bytes.
void DecompressStream(TMemoryStream& stream, std::size_t limit = MaxInflatedSize);
