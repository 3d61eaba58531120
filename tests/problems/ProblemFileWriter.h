// Builds problem files for tests: length-prefixed fields, problem records, BMP pictures of
// every layout the reader admits, zlib compression and writing to disk.
#pragma once

#include "AnsiString.h"

#include <QColor>
#include <QRgb>

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ProblemFileWriter {

// The body behind its length, written as width zero-padded decimal digits.
inline AnsiString Prefixed(const AnsiString& body, int width) {
    AnsiString length = std::to_string(body.size());
    return AnsiString(static_cast<std::size_t>(width) - length.size(), '0') + length + body;
}
inline AnsiString IntegerField(int value) {
    return Prefixed(std::to_string(value), 8);
}
inline AnsiString TextField(const AnsiString& text) {
    return Prefixed(text, 8);
}
// body is written as it is: the test chooses its decimal separator.
inline AnsiString RealField(const AnsiString& body) {
    return Prefixed(body, 10);
}
inline AnsiString LinesField(const AnsiString& body) {
    return Prefixed(body, 10);
}

// bytes little-endian bytes of value; those beyond its four are zeros.
inline void PutLE(AnsiString& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(i < 4 ? (value >> (8 * i)) & 0xFF : 0);
}

// The layout of a BMP picture; Height < 0 stores the rows top-down.
struct BmpLayout {
    int Width = 1;
    int Height = 1;
    int BitsPerPixel = 24;
    std::uint32_t HeaderSize = 40; // 12 gives a core header with 3-byte colour entries
    std::uint32_t Compression = 0;
    std::uint16_t Planes = 1;
    // Red, green, blue (and alpha) masks: written after a 40-byte header when Compression is 3
    // and inside a bigger header.
    std::vector<std::uint32_t> Masks;
    std::vector<QRgb> Palette; // the colour table as written
    std::uint32_t ColorsUsed = 0;
    bool ImageSizeSet = false;
    std::uint32_t FileHeaderPixelOffset = 0; // written as it is; the reader ignores it
};

// Raw pixel value at (x, y), y counted from the top: a colour-table index up to 8 bits per
// pixel, otherwise the pixel's bits (24 bits: 0xRRGGBB).
using PixelFunction = std::function<std::uint32_t(int x, int y)>;

inline std::size_t BmpRowBytes(const BmpLayout& layout) {
    return static_cast<std::size_t>((layout.Width * layout.BitsPerPixel + 31) / 32 * 4);
}

inline AnsiString BmpPixels(const BmpLayout& layout, const PixelFunction& pixel) {
    const int rows = layout.Height < 0 ? -layout.Height : layout.Height;
    const std::size_t rowBytes = BmpRowBytes(layout);
    AnsiString out;
    for (int stored = 0; stored < rows; ++stored) {
        const int y = layout.Height < 0 ? stored : rows - 1 - stored;
        AnsiString row;
        if (layout.BitsPerPixel < 8) {
            std::uint32_t bits = 0;
            int used = 0;
            for (int x = 0; x < layout.Width; ++x) {
                bits = (bits << layout.BitsPerPixel) | pixel(x, y);
                used += layout.BitsPerPixel;
                if (used == 8) {
                    row += static_cast<char>(bits);
                    bits = 0;
                    used = 0;
                }
            }
            if (used > 0)
                row += static_cast<char>(bits << (8 - used));
        } else {
            for (int x = 0; x < layout.Width; ++x)
                PutLE(row, pixel(x, y), layout.BitsPerPixel / 8);
        }
        row.resize(rowBytes, '\0');
        out += row;
    }
    return out;
}

// The whole BMP file image: file header, header, masks, colour table, pixels.
inline AnsiString BuildBmp(const BmpLayout& layout, const PixelFunction& pixel) {
    const AnsiString pixels = BmpPixels(layout, pixel);
    AnsiString header;
    if (layout.HeaderSize == 12) {
        PutLE(header, 12, 4);
        PutLE(header, static_cast<std::uint32_t>(layout.Width), 2);
        PutLE(header, static_cast<std::uint32_t>(layout.Height), 2);
        PutLE(header, layout.Planes, 2);
        PutLE(header, static_cast<std::uint32_t>(layout.BitsPerPixel), 2);
    } else {
        PutLE(header, layout.HeaderSize, 4);
        PutLE(header, static_cast<std::uint32_t>(layout.Width), 4);
        PutLE(header, static_cast<std::uint32_t>(layout.Height), 4);
        PutLE(header, layout.Planes, 2);
        PutLE(header, static_cast<std::uint32_t>(layout.BitsPerPixel), 2);
        PutLE(header, layout.Compression, 4);
        PutLE(header, layout.ImageSizeSet ? static_cast<std::uint32_t>(pixels.size()) : 0, 4);
        PutLE(header, 2835, 4);
        PutLE(header, 2835, 4);
        PutLE(header, layout.ColorsUsed, 4);
        PutLE(header, 0, 4);
        if (layout.HeaderSize > 40) {
            for (const std::uint32_t mask : layout.Masks)
                PutLE(header, mask, 4);
            if (layout.HeaderSize >= 108 && layout.Masks.size() < 4)
                PutLE(header, 0, 4 * static_cast<int>(4 - layout.Masks.size()));
            if (layout.HeaderSize >= 108)
                header += "BGRs"; // colour space: sRGB, stored little-endian
        }
        header.resize(layout.HeaderSize, '\0');
    }
    AnsiString masks;
    if (layout.HeaderSize == 40 && layout.Compression == 3)
        for (const std::uint32_t mask : layout.Masks)
            PutLE(masks, mask, 4);
    AnsiString table;
    for (const QRgb colour : layout.Palette) {
        table += static_cast<char>(qBlue(colour));
        table += static_cast<char>(qGreen(colour));
        table += static_cast<char>(qRed(colour));
        if (layout.HeaderSize != 12)
            table += '\0';
    }
    const std::size_t offset = 14 + header.size() + masks.size() + table.size();
    AnsiString file = "BM";
    PutLE(file, static_cast<std::uint32_t>(offset + pixels.size()), 4);
    PutLE(file, 0, 4);
    PutLE(file,
          layout.FileHeaderPixelOffset ? layout.FileHeaderPixelOffset
                                       : static_cast<std::uint32_t>(offset),
          4);
    return file + header + masks + table + pixels;
}

// A small 24-bit picture of one colour.
inline AnsiString SolidBmp24(int width, int height, QRgb colour) {
    BmpLayout layout;
    layout.Width = width;
    layout.Height = height;
    return BuildBmp(layout, [colour](int, int) { return colour & 0xFFFFFFu; });
}

// The fields of one problem record as the test wants them written.
struct ProblemRecord {
    int Num1 = 1, Num2 = 2;
    AnsiString Title = "title", Text2 = "two", Text3 = "three", Text4 = "four", Text5 = "five",
               Text6 = "six";
    int Num3 = 3;
    AnsiString Picture = SolidBmp24(3, 2, qRgb(255, 0, 0));
    AnsiString Real = "0.5";
    AnsiString Lines = "x\r\ny";
    AnsiString Text7 = "seven";

    AnsiString Text() const {
        return IntegerField(Num1) + IntegerField(Num2) + TextField(Title) + TextField(Text2) +
               TextField(Text3) + TextField(Text4) + TextField(Text5) + TextField(Text6) +
               IntegerField(Num3) + Picture + RealField(Real) + LinesField(Lines) +
               TextField(Text7);
    }
};

// The count, then every record.
inline AnsiString ProblemText(const std::vector<ProblemRecord>& records) {
    AnsiString text = IntegerField(static_cast<int>(records.size()));
    for (const ProblemRecord& record : records)
        text += record.Text();
    return text;
}

// One zlib stream (header, deflate data, Adler-32).
inline AnsiString Compress(const AnsiString& text, int level = Z_DEFAULT_COMPRESSION) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    AnsiString out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()),
                  level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

inline void WriteBytes(const AnsiString& path, const AnsiString& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path);
}

// A whole problem file: the records' text compressed.
inline void WriteProblemFile(const AnsiString& path, const std::vector<ProblemRecord>& records) {
    WriteBytes(path, Compress(ProblemText(records)));
}

} // namespace ProblemFileWriter
