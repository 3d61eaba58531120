// A BMP picture inside a problem text: how many bytes it occupies, and its decoding.
#pragma once

#include <QImage>

#include <cstddef>

// Decodes the BMP picture at data (rest bytes up to the end of the text) into bitmap and
// returns the bytes it occupies. rest 0 gives an empty picture. Raises EInvalidGraphic
// ("Bitmap image is not valid") or EReadError ("Stream read error" when the headers, masks
// or colour table run past the end); never reads beyond rest bytes.
std::size_t ReadBmp(const char* data, std::size_t rest, QImage& bitmap);
