// A BMP picture inside a problem text: how many bytes it occupies, and its decoding.
#pragma once

#include "UnitZStream.h"

#include <QImage>

#include <cstddef>

// The memory the pictures of one problem text may decode into. A few bytes of a damaged or
// hostile text can declare a picture of a hundred megabytes; real pictures carry their pixels
// in the text and decode to at most twice its size.
inline constexpr std::size_t MaxPictureBytes = 2 * MaxInflatedSize;

// Decodes the BMP picture at data (rest bytes up to the end of the text) into bitmap, takes
// its decoded size from pictureBytesLeft and returns the bytes it occupies. rest 0 gives an
// empty picture. Raises EInvalidGraphic ("Bitmap image is not valid", also when the decoded
// picture would pass pictureBytesLeft) or EReadError ("Stream read error" when the headers,
// masks or colour table run past the end); never reads beyond rest bytes.
std::size_t ReadBmp(const char* data, std::size_t rest, QImage& bitmap,
                    std::size_t& pictureBytesLeft);
