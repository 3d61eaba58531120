// A BMP picture inside a problem text: how many bytes it occupies, and its decoding.
#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>

// What a decoded picture costs besides its pixels: Qt's own record of the image and the heap
// blocks' headers (a 1 x 1 picture was measured to take 208 bytes in all).
inline constexpr std::size_t ImageBookkeepingBytes = 208;

// Rows a picture may lack at the end of its pixel bytes; they show black. A picture lacking
// more is invalid, so that a few bytes declaring huge pictures decode no memory of zeros.
inline constexpr std::int64_t MissingRowsTolerated = 3;

// Decodes the BMP picture at data (rest bytes up to the end of the text) into bitmap, takes
// the decoded picture's memory from bytesLeft and returns the bytes it occupies. rest 0 gives
// an empty picture. Raises EInvalidGraphic ("Bitmap image is not valid", also when the
// decoded picture would pass bytesLeft or lacks more than MissingRowsTolerated rows) or
// EReadError ("Stream read error" when the headers, masks or colour table run past the end);
// never reads beyond rest bytes.
std::size_t ReadBmp(const char* data, std::size_t rest, QImage& bitmap, std::size_t& bytesLeft);
