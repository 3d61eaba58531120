// A BMP picture inside a problem text: how many bytes it occupies, and its decoding.
#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>

// What a decoded picture costs besides its pixels: Qt's own record of the image and the heap
// blocks' headers (a 1 x 1 picture was measured to take 208 bytes in all).
inline constexpr std::size_t ImageBookkeepingBytes = 208;

// Bytes a picture may lack per row when its stated image size falls short of its rows; they
// show black. Writers that leave the rows' padding (at most 3 bytes a row) out of the image
// size fall short by that much; a picture mostly absent is refused before it is decoded.
inline constexpr std::uint64_t MissingBytesPerRowTolerated = 3;

// Decodes the BMP picture at data (rest bytes up to the end of the text) into bitmap and
// returns the bytes it occupies; rest 0 gives an empty picture. The decoded picture's memory,
// known from its headers, is taken from bytesLeft before anything is decoded. Raises
// EInvalidGraphic ("Bitmap image is not valid", also when that memory would pass bytesLeft or
// the stated pixel bytes lack more than MissingBytesPerRowTolerated a row) or EReadError
// ("Stream read error" when the headers, masks, colour table or stated pixel bytes run past
// the end); never reads beyond rest bytes.
std::size_t ReadBmp(const char* data, std::size_t rest, QImage& bitmap, std::size_t& bytesLeft);
