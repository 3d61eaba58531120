#include "BmpReading.h"

#include "FuzzSupport.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

constexpr std::size_t FileHeaderBytes = 14;
constexpr std::uint32_t CoreHeaderBytes = 12;
constexpr std::uint32_t InfoHeaderBytes = 40;
constexpr std::uint32_t NoCompression = 0;
constexpr std::uint32_t BitFields = 3;
// Pixels checked along a side: all of a small picture, evenly spread ones of a large picture,
// whose every pixel would slow each run down.
constexpr std::uint64_t PlacesPerSide = 256;

std::uint32_t LittleEndian(std::string_view bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

struct TLayout {
    std::uint64_t Width = 0;
    std::uint64_t Rows = 0;
    bool TopDown = false;
    std::uint32_t Bits = 0;
    std::uint32_t Compression = NoCompression;
    std::array<std::uint32_t, 4> Masks{}; // red, green, blue, alpha (0: none)
    std::uint64_t PixelsAt = 0;           // counted from the file header's first byte
    std::uint64_t PixelBytes = 0;         // as stated
    std::uint64_t RowBytes() const { return (Width * Bits + 31) / 32 * 4; }
};

bool CommonHeader(std::uint32_t bytes) {
    constexpr std::array<std::uint32_t, 6> sizes{12, 40, 52, 56, 108, 124};
    return std::find(sizes.begin(), sizes.end(), bytes) != sizes.end();
}

bool CommonBits(std::uint32_t bits) {
    constexpr std::array<std::uint32_t, 6> counts{1, 4, 8, 16, 24, 32};
    return std::find(counts.begin(), counts.end(), bits) != counts.end();
}

// The masks of a 16- or 32-bit picture: after a 40-byte header, inside a longer one, or the
// defaults of a picture without bit fields (5 bits a channel, or 8).
bool ReadMasks(std::string_view data, std::uint32_t headerBytes, TLayout& layout) {
    const std::size_t at = FileHeaderBytes + InfoHeaderBytes;
    if (layout.Compression == NoCompression) {
        layout.Masks = layout.Bits == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                         : std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
        return true;
    }
    if (data.size() < at + 12)
        return false;
    for (std::size_t i = 0; i < 3; ++i)
        layout.Masks[i] = LittleEndian(data, at + 4 * i, 4);
    if (headerBytes >= InfoHeaderBytes + 16)
        layout.Masks[3] = LittleEndian(data, at + 12, 4);
    return true;
}

std::optional<TLayout> ReadLayout(std::string_view data) {
    const std::size_t header = FileHeaderBytes;
    if (data.size() < header + 4 || data.substr(0, 2) != "BM")
        return std::nullopt;
    const std::uint32_t headerBytes = LittleEndian(data, header, 4);
    if (!CommonHeader(headerBytes) || data.size() < header + headerBytes)
        return std::nullopt;
    TLayout layout;
    std::uint32_t planes = 0, imageBytes = 0, colours = 0;
    if (headerBytes == CoreHeaderBytes) {
        layout.Width = LittleEndian(data, header + 4, 2);
        layout.Rows = LittleEndian(data, header + 6, 2);
        planes = LittleEndian(data, header + 8, 2);
        layout.Bits = LittleEndian(data, header + 10, 2);
    } else {
        const auto width = static_cast<std::int32_t>(LittleEndian(data, header + 4, 4));
        const auto height = static_cast<std::int32_t>(LittleEndian(data, header + 8, 4));
        layout.Width = width > 0 ? static_cast<std::uint64_t>(width) : 0;
        layout.TopDown = height < 0;
        layout.Rows = static_cast<std::uint64_t>(std::llabs(height));
        planes = LittleEndian(data, header + 12, 2);
        layout.Bits = LittleEndian(data, header + 14, 2);
        layout.Compression = LittleEndian(data, header + 16, 4);
        imageBytes = LittleEndian(data, header + 20, 4);
        colours = LittleEndian(data, header + 32, 4);
    }
    const bool masked = layout.Bits == 16 || layout.Bits == 32;
    const bool compressionRead =
        layout.Compression == NoCompression || (layout.Compression == BitFields && masked);
    if (planes != 1 || layout.Width == 0 || layout.Rows == 0 || !CommonBits(layout.Bits) ||
        !compressionRead || (masked && !ReadMasks(data, headerBytes, layout)))
        return std::nullopt;

    const bool masksFollow = layout.Compression == BitFields && headerBytes == InfoHeaderBytes;
    const std::uint64_t entries = colours != 0 ? colours : layout.Bits <= 8 ? 1u << layout.Bits : 0;
    layout.PixelsAt = header + headerBytes + (masksFollow ? 12 : 0) +
                      entries * (headerBytes == CoreHeaderBytes ? 3 : 4);
    std::uint64_t rowsBytes = 0;
    if (__builtin_mul_overflow(layout.RowBytes(), layout.Rows, &rowsBytes))
        return std::nullopt;
    layout.PixelBytes = imageBytes != 0 ? imageBytes : rowsBytes;
    if (layout.PixelBytes > data.size() || layout.PixelsAt > data.size() - layout.PixelBytes)
        return std::nullopt;
    return layout;
}

bool OneRun(std::uint32_t mask) {
    return mask != 0 && std::has_single_bit((std::uint64_t{mask} >> std::countr_zero(mask)) + 1);
}

// Whether the colours follow from the bytes alone: 24 bits, or masks each one run of bits, no
// two sharing a bit, and not four (or three without alpha) channels of 8 bits, which the image
// library decodes.
bool OwnColours(const TLayout& layout) {
    if (layout.Bits == 24)
        return true;
    if (layout.Bits != 16 && layout.Bits != 32)
        return false;
    const auto& [red, green, blue, alpha] = layout.Masks;
    if (!OneRun(red) || !OneRun(green) || !OneRun(blue) || (alpha != 0 && !OneRun(alpha)))
        return false;
    if ((red & green) || (red & blue) || (green & blue) || ((red | green | blue) & alpha))
        return false;
    const auto eightBits = [](std::uint32_t mask) { return std::popcount(mask) == 8; };
    return !(eightBits(red) && eightBits(green) && eightBits(blue) &&
             (alpha == 0 || eightBits(alpha)));
}

// One channel in 8 bits: a narrow channel's bits, highest first, are repeated until eight are
// written, so that its highest value gives 255; a wide one keeps its highest eight.
int Channel(std::uint32_t pixel, std::uint32_t mask) {
    const int width = std::popcount(mask);
    const std::uint32_t value = (pixel & mask) >> std::countr_zero(mask);
    if (width >= 8)
        return static_cast<int>(value >> (width - 8));
    std::uint32_t scaled = 0;
    for (int written = 0; written < 8; ++written)
        scaled = scaled << 1 | (value >> (width - 1 - written % width) & 1);
    return static_cast<int>(scaled);
}

// The colour of the pixel at x, y (rows counted from the top); bytes past the stated ones are 0.
QRgb ExpectedColour(const TLayout& layout, std::string_view pixels, std::uint64_t x,
                    std::uint64_t y) {
    const std::uint64_t storedRow = layout.TopDown ? y : layout.Rows - 1 - y;
    const std::uint64_t at = storedRow * layout.RowBytes() + x * (layout.Bits / 8);
    std::uint32_t pixel = 0;
    for (std::uint32_t byte = 0; byte < layout.Bits / 8; ++byte)
        if (at + byte < pixels.size())
            pixel |= std::uint32_t{static_cast<unsigned char>(pixels[at + byte])} << (8 * byte);
    if (layout.Bits == 24)
        return 0xFF000000u | pixel;
    const auto& [red, green, blue, alpha] = layout.Masks;
    return qRgba(Channel(pixel, red), Channel(pixel, green), Channel(pixel, blue),
                 alpha != 0 ? Channel(pixel, alpha) : 255);
}

// The place of the index-th of places checked along a side of the given length.
std::uint64_t Place(std::uint64_t index, std::uint64_t places, std::uint64_t length) {
    return places == length ? index : index * (length - 1) / (places - 1);
}

} // namespace

std::optional<std::size_t> BmpBytes(std::string_view data) {
    const std::optional<TLayout> layout = ReadLayout(data);
    if (!layout)
        return std::nullopt;
    return static_cast<std::size_t>(layout->PixelsAt + layout->PixelBytes);
}

void CheckBmpPixels(std::string_view data, const QImage& picture) {
    const std::optional<TLayout> layout = ReadLayout(data);
    if (!layout)
        return;
    FuzzCheck(static_cast<std::uint64_t>(picture.width()) == layout->Width &&
                  static_cast<std::uint64_t>(picture.height()) == layout->Rows,
              "a picture has the size its header states");
    if (!OwnColours(*layout))
        return;
    const std::string_view pixels = data.substr(layout->PixelsAt, layout->PixelBytes);
    const std::uint64_t columns = std::min(layout->Width, PlacesPerSide);
    const std::uint64_t rows = std::min(layout->Rows, PlacesPerSide);
    for (std::uint64_t row = 0; row < rows; ++row) {
        const std::uint64_t y = Place(row, rows, layout->Rows);
        for (std::uint64_t column = 0; column < columns; ++column) {
            const std::uint64_t x = Place(column, columns, layout->Width);
            FuzzCheck(picture.pixel(static_cast<int>(x), static_cast<int>(y)) ==
                          ExpectedColour(*layout, pixels, x, y),
                      "a pixel shows the colour its bytes give");
        }
    }
}
