// The fuzz targets' own reading of a BMP picture at the front of some bytes, straight from the
// format: the bytes it occupies and, where its colours follow from its bytes alone, each pixel.
#pragma once

#include <QImage>

#include <cstddef>
#include <optional>
#include <string_view>

// The headers, masks, colour table and stated pixel bytes of a picture of one plane, headers of
// a common size and no compression or bit fields, when data holds them all; none otherwise.
std::optional<std::size_t> BmpBytes(std::string_view data);

// Fails the run when the picture decoded from data has another size than its headers state or,
// for 24 bits uncompressed and 16 or 32 bits under masks of other than four 8-bit channels, a
// pixel whose colour is not the one its bytes give.
void CheckBmpPixels(std::string_view data, const QImage& picture);
