// Inflating a zlib stream: from pieces handed over one at a time, or in place in a memory buffer.
#pragma once

#include "UnitMemoryStream.h"

#include <cstddef>
#include <functional>
#include <string_view>

// The next piece of a zlib stream, valid until the next call; an empty piece ends the input.
using TCompressedPieces = std::function<std::string_view()>;

// Appends to text the bytes inflated from the zlib stream that nextPiece hands over; no piece is
// asked for after the end of the stream, and bytes after it are ignored. A stream cut short gives
// what could be inflated. Raises EZDecompressionError ("Error") on damaged data, a wrong
// Adler-32, a preset dictionary or when more than limit bytes would be inflated.
void InflatePieces(const TCompressedPieces& nextPiece, TMemoryStream& text, std::size_t limit);

// Replaces the whole zlib stream held in stream by its inflated bytes, positioned at 0, with the
// errors of InflatePieces; on an error the stream keeps its bytes.
void DecompressStream(TMemoryStream& stream, std::size_t limit);
