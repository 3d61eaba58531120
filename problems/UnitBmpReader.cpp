#include "UnitBmpReader.h"

#include "SysUtils.h"
#include "UnitBigBlock.h"

#include <QByteArray>
#include <QIODevice>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace {

// Reads the picture's parts front to back; a part running past the text is a read error.
class TBmpCursor {
public:
    TBmpCursor(const char* data, std::size_t size) : FData(data), FSize(size) {}
    const unsigned char* Need(std::uint64_t count) {
        if (count > FSize - FPosition)
            throw EReadError();
        const auto* part = reinterpret_cast<const unsigned char*>(FData + FPosition);
        FPosition += static_cast<std::size_t>(count);
        return part;
    }
    std::size_t Left() const { return FSize - FPosition; }
    std::size_t Position() const { return FPosition; }

private:
    const char* FData;
    std::size_t FSize;
    std::size_t FPosition = 0;
};

std::uint32_t LE16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
std::uint32_t LE32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::size_t FileHeaderSize = 14;
constexpr std::uint32_t CoreHeaderSize = 12;
constexpr std::uint32_t InfoHeaderSize = 40;
constexpr std::uint32_t V4HeaderSize = 108;
constexpr std::uint32_t V5HeaderSize = 124;
constexpr std::uint32_t BiRgb = 0;
constexpr std::uint32_t BiBitFields = 3;

void PutLE32(QByteArray& out, std::size_t at, std::uint64_t value) {
    for (int i = 0; i < 4; ++i)
        out[static_cast<qsizetype>(at) + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The fields of either header kind that decide the layout.
struct TBmpInfo {
    std::int64_t Width = 0;
    std::int64_t Height = 0; // negative: rows stored top-down
    std::uint32_t Planes = 0;
    std::uint32_t BitsPerPixel = 0;
    std::uint32_t Compression = BiRgb;
    std::uint32_t ImageSize = 0;
    std::uint32_t ColorsUsed = 0;

    std::int64_t RowBytes() const { return (Width * BitsPerPixel + 31) / 32 * 4; }
    std::int64_t Rows() const { return Height < 0 ? -Height : Height; }
    // Row bytes x rows; a hostile header can pass 64 bits, which counts as the extreme.
    std::int64_t RowsBytes() const {
        std::int64_t bytes = 0;
        if (__builtin_mul_overflow(RowBytes(), Rows(), &bytes))
            return RowBytes() < 0 ? std::numeric_limits<std::int64_t>::min()
                                  : std::numeric_limits<std::int64_t>::max();
        return bytes;
    }
};

// A core header as the 40-byte header of the same picture. Qt reads the core header's width
// and height as signed, so 32768 rows and more would turn into fewer rows stored top-down.
QByteArray InfoHeaderFromCore(const TBmpInfo& info) {
    QByteArray header(InfoHeaderSize, '\0');
    PutLE32(header, 0, InfoHeaderSize);
    PutLE32(header, 4, static_cast<std::uint64_t>(info.Width));
    PutLE32(header, 8, static_cast<std::uint64_t>(info.Height));
    PutLE32(header, 12, info.Planes | (info.BitsPerPixel << 16));
    return header;
}

// The header in a size Qt decodes: info, version 4 and version 5 headers stay as they are; a
// core header becomes an info header; a shorter info header is widened to 40 bytes with the
// fields it lacks taken as 0; any other size becomes a version 4 header keeping the first 40
// bytes and, for bit fields, the masks that follow them.
QByteArray DecodableHeader(const unsigned char* stored, std::uint32_t size, const TBmpInfo& info) {
    if (size == CoreHeaderSize)
        return InfoHeaderFromCore(info);
    QByteArray header(reinterpret_cast<const char*>(stored), static_cast<qsizetype>(size));
    if (size == InfoHeaderSize || size == V4HeaderSize || size == V5HeaderSize)
        return header;
    if (size < InfoHeaderSize) {
        header.append(static_cast<qsizetype>(InfoHeaderSize - size), '\0');
        PutLE32(header, 0, InfoHeaderSize);
        return header;
    }
    const std::uint32_t kept =
        info.Compression == BiBitFields ? std::min(size, InfoHeaderSize + 16) : InfoHeaderSize;
    header.truncate(static_cast<qsizetype>(kept));
    header.append(static_cast<qsizetype>(V4HeaderSize - kept), '\0');
    PutLE32(header, 0, V4HeaderSize);
    header.replace(56, 4, "BGRs"); // sRGB colour space
    return header;
}

// Reads the header and the fields of either kind that decide the layout; returns the stored
// header bytes (after its size field).
const unsigned char* ReadHeader(TBmpCursor& in, std::uint32_t size, TBmpInfo& info) {
    const unsigned char* rest = in.Need(size - 4);
    if (size == CoreHeaderSize) {
        info.Width = LE16(rest);
        info.Height = LE16(rest + 2);
        info.Planes = LE16(rest + 4);
        info.BitsPerPixel = LE16(rest + 6);
        return rest;
    }
    // Fields the header is too short to hold are taken as 0.
    unsigned char widened[InfoHeaderSize] = {};
    std::memcpy(widened + 4, rest, std::min<std::size_t>(size, InfoHeaderSize) - 4);
    const unsigned char* h = widened;
    info.Width = static_cast<std::int32_t>(LE32(h + 4));
    info.Height = static_cast<std::int32_t>(LE32(h + 8));
    info.Planes = LE16(h + 12);
    info.BitsPerPixel = LE16(h + 14);
    info.Compression = LE32(h + 16);
    info.ImageSize = LE32(h + 20);
    info.ColorsUsed = LE32(h + 32);
    return rest;
}

// The colour table as an info header has it: a core header's 3-byte entries gain a fourth.
QByteArray DecodableTable(const unsigned char* table, std::uint64_t bytes,
                          std::uint32_t headerSize) {
    const auto* entries = reinterpret_cast<const char*>(table);
    if (headerSize != CoreHeaderSize)
        return QByteArray(entries, static_cast<qsizetype>(bytes));
    QByteArray widened;
    widened.reserve(static_cast<qsizetype>(bytes / 3 * 4));
    for (std::uint64_t at = 0; at + 3 <= bytes; at += 3)
        widened.append(entries + at, 3).append('\0');
    return widened;
}

std::uint64_t ColourTableEntries(const TBmpInfo& info) {
    if (info.ColorsUsed != 0)
        return info.ColorsUsed;
    switch (info.BitsPerPixel) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

// One colour channel of a 16- or 32-bit pixel: where its bits lie and how many there are.
struct TChannel {
    std::uint32_t Mask = 0;
    int Shift = 0;
    int Bits = 0;

    // A mask that is empty or not one run of bits gives no channel.
    static bool Make(std::uint32_t mask, TChannel& channel) {
        if (mask == 0)
            return false;
        channel = {mask, std::countr_zero(mask), std::popcount(mask)};
        return (std::uint64_t{mask} >> channel.Shift) == (std::uint64_t{1} << channel.Bits) - 1;
    }
    // The channel's value widened or narrowed to 8 bits; a narrow value's bits are repeated
    // down to the lowest (abcde gives abcdeabc), so its highest value gives 255.
    std::uint32_t Scaled(std::uint32_t pixel) const {
        const std::uint32_t value = (pixel & Mask) >> Shift;
        if (Bits >= 8)
            return value >> (Bits - 8);
        std::uint32_t wide = value << (8 - Bits);
        for (int filled = Bits; filled < 8; filled += Bits)
            wide |= wide >> Bits;
        return wide;
    }
};

struct TChannels {
    TChannel Red, Green, Blue, Alpha;
    bool HasAlpha = false;
};

// The channels of a 16- or 32-bit picture that Qt would decode wrongly: Qt shifts channels
// narrower than 8 bits (white 0x7FFF shows as F8F8F8) and loses wider ones (10-bit channels
// show black). False for other pictures and for masks that overlap or are not single runs,
// which are left to Qt.
bool ChannelsToScale(const TBmpInfo& info, std::uint32_t headerSize, const unsigned char* header,
                     const unsigned char* maskBytes, TChannels& channels) {
    if (info.BitsPerPixel != 16 && info.BitsPerPixel != 32)
        return false;
    std::array<std::uint32_t, 4> masks{};
    if (info.Compression == BiRgb)
        masks = info.BitsPerPixel == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                        : std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
    else if (headerSize == InfoHeaderSize)
        masks = {LE32(maskBytes), LE32(maskBytes + 4), LE32(maskBytes + 8), 0};
    else if (headerSize >= InfoHeaderSize + 12)
        masks = {LE32(header + 40), LE32(header + 44), LE32(header + 48),
                 headerSize >= InfoHeaderSize + 16 ? LE32(header + 52) : 0};
    else
        return false;
    if (!TChannel::Make(masks[0], channels.Red) || !TChannel::Make(masks[1], channels.Green) ||
        !TChannel::Make(masks[2], channels.Blue))
        return false;
    channels.HasAlpha = masks[3] != 0;
    if (channels.HasAlpha && !TChannel::Make(masks[3], channels.Alpha))
        return false;
    if ((masks[0] & masks[1]) || (masks[0] & masks[2]) || (masks[1] & masks[2]) ||
        ((masks[0] | masks[1] | masks[2]) & masks[3]))
        return false;
    const auto eightBits = [](const TChannel& channel) { return channel.Bits == 8; };
    return !(eightBits(channels.Red) && eightBits(channels.Green) && eightBits(channels.Blue) &&
             (!channels.HasAlpha || eightBits(channels.Alpha)));
}

// Decodes the rows of a 16- or 32-bit picture under its channels; rows missing at the end of
// the pixel bytes are taken as zeros, as for the pictures Qt decodes.
QImage DecodeChannels(const TBmpInfo& info, const TChannels& channels, const unsigned char* pixels,
                      std::size_t pixelBytes) {
    const int width = static_cast<int>(info.Width);
    const int rows = static_cast<int>(info.Rows());
    QImage image = BigBlock::NewImage(
        width, rows, channels.HasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        throw EInvalidGraphic();
    const auto rowBytes = static_cast<std::size_t>(info.RowBytes());
    const std::size_t pixelSize = info.BitsPerPixel / 8;
    for (int stored = 0; stored < rows; ++stored) {
        const int y = info.Height < 0 ? stored : rows - 1 - stored;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const std::size_t rowStart = static_cast<std::size_t>(stored) * rowBytes;
        for (int x = 0; x < width; ++x) {
            const std::size_t at = rowStart + static_cast<std::size_t>(x) * pixelSize;
            std::uint32_t pixel = 0;
            for (std::size_t byte = 0; byte < pixelSize && at + byte < pixelBytes; ++byte)
                pixel |= std::uint32_t{pixels[at + byte]} << (8 * byte);
            line[x] =
                qRgba(static_cast<int>(channels.Red.Scaled(pixel)),
                      static_cast<int>(channels.Green.Scaled(pixel)),
                      static_cast<int>(channels.Blue.Scaled(pixel)),
                      channels.HasAlpha ? static_cast<int>(channels.Alpha.Scaled(pixel)) : 255);
        }
    }
    return image;
}

// The rows of a 24-bit picture without compression, the commonest kind, widened to 32 bits
// without Qt's general decoder; rows missing at the end of the pixel bytes show black.
QImage DecodeRgb24(const TBmpInfo& info, const unsigned char* pixels, std::size_t pixelBytes) {
    const int width = static_cast<int>(info.Width);
    const int rows = static_cast<int>(info.Rows());
    QImage image = BigBlock::NewImage(width, rows, QImage::Format_RGB32);
    if (image.isNull())
        throw EInvalidGraphic();
    const auto rowBytes = static_cast<std::size_t>(info.RowBytes());
    std::vector<unsigned char> partial;
    for (int stored = 0; stored < rows; ++stored) {
        const std::size_t rowStart = static_cast<std::size_t>(stored) * rowBytes;
        const unsigned char* row = pixels + rowStart;
        if (rowStart + rowBytes > pixelBytes) {
            partial.assign(rowBytes, 0);
            if (rowStart < pixelBytes)
                std::memcpy(partial.data(), row, pixelBytes - rowStart);
            row = partial.data();
        }
        const int y = info.Height < 0 ? stored : rows - 1 - stored;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = 0xFF000000u | row[3 * x] | (row[3 * x + 1] << 8) |
                      (std::uint32_t{row[3 * x + 2]} << 16);
    }
    return image;
}

// Qt refuses to decode images above its allocation limit; such a picture is not even padded.
bool WithinAllocationLimit(const TBmpInfo& info) {
    const int limitMiB = QImageReader::allocationLimit();
    if (limitMiB <= 0)
        return true;
    const std::uint64_t widest = 4; // bytes per decoded pixel at most
    const auto width = static_cast<std::uint64_t>(info.Width < 0 ? -info.Width : info.Width);
    return width * static_cast<std::uint64_t>(info.Rows()) * widest <=
           static_cast<std::uint64_t>(limitMiB) * 1024 * 1024;
}

// The picture as Qt reads it: the rewritten headers, then the pixel bytes straight from the
// text, then zeros for rows the text did not hold.
class TPictureDevice : public QIODevice {
public:
    TPictureDevice(QByteArray head, const char* pixels, qint64 pixelBytes, qint64 rowBytes)
        : FHead(std::move(head)), FPixels(pixels), FPixelBytes(std::min(pixelBytes, rowBytes)),
          FSize(FHead.size() + rowBytes) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return FSize; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 start = pos();
        const qint64 count = std::max<qint64>(0, std::min(maxSize, FSize - start));
        for (qint64 at = start; at < start + count;) {
            const qint64 end = start + count;
            if (at < FHead.size()) {
                const qint64 piece = std::min<qint64>(end, FHead.size()) - at;
                std::memcpy(data + (at - start), FHead.constData() + at,
                            static_cast<std::size_t>(piece));
                at += piece;
            } else if (at < FHead.size() + FPixelBytes) {
                const qint64 piece = std::min(end, FHead.size() + FPixelBytes) - at;
                std::memcpy(data + (at - start), FPixels + (at - FHead.size()),
                            static_cast<std::size_t>(piece));
                at += piece;
            } else {
                std::memset(data + (at - start), 0, static_cast<std::size_t>(end - at));
                at = end;
            }
        }
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray FHead;
    const char* FPixels;
    qint64 FPixelBytes;
    qint64 FSize;
};

// The headers as Qt decodes them: the file header, the header in a size Qt reads, the masks and
// the colour table in the 4-byte entries of an info header.
QByteArray DecodableHead(const unsigned char* storedHeader, std::uint32_t headerSize,
                         const TBmpInfo& info, const unsigned char* masks, std::uint64_t maskBytes,
                         const unsigned char* table, std::uint64_t tableBytes) {
    QByteArray head(FileHeaderSize, '\0');
    head[0] = 'B';
    head[1] = 'M';
    head.append(DecodableHeader(storedHeader, headerSize, info));
    head.append(reinterpret_cast<const char*>(masks), static_cast<qsizetype>(maskBytes));
    head.append(DecodableTable(table, tableBytes, headerSize));
    PutLE32(head, 10, static_cast<std::uint64_t>(head.size()));
    PutLE32(head, 2,
            static_cast<std::uint64_t>(head.size()) + static_cast<std::uint64_t>(info.RowsBytes()));
    return head;
}

// Qt's decoder on a picture: the image it decodes into is known from the headers alone.
class TQtPicture {
public:
    TQtPicture(QByteArray head, const unsigned char* pixels, std::uint64_t pixelBytes,
               std::int64_t rowsBytes)
        : FDevice(std::move(head), reinterpret_cast<const char*>(pixels),
                  static_cast<qint64>(pixelBytes), rowsBytes),
          FReader(&FDevice, "BMP") {}

    // Qt states the height of a picture stored top-down as negative.
    QSize Size() {
        const QSize stated = FReader.size();
        return {stated.width(), std::abs(stated.height())};
    }
    QImage::Format Format() { return FReader.imageFormat(); }
    // Qt decodes into the image prepared in that size and format, and keeps it.
    QImage Decode() {
        const QSize size = Size();
        QImage image = BigBlock::NewImage(size.width(), size.height(), Format());
        if (!FReader.read(&image))
            throw EInvalidGraphic();
        return image;
    }

private:
    TPictureDevice FDevice;
    QImageReader FReader;
};

// The pixel bytes the header states: its image size, or the rows' bytes when that is 0.
std::uint64_t StatedPixelBytes(const TBmpInfo& info) {
    return info.ImageSize != 0 ? std::uint64_t{info.ImageSize}
                               : static_cast<std::uint64_t>(info.RowsBytes());
}

// Takes the stated pixel bytes, which the text must hold whole; a stated size short of the rows
// by more than the tolerated bytes a row makes the picture invalid.
void TakePixels(TBmpCursor& in, const TBmpInfo& info) {
    const std::uint64_t stated = StatedPixelBytes(info);
    in.Need(stated);
    const auto needed = static_cast<std::uint64_t>(info.RowsBytes());
    const std::uint64_t missing = needed - std::min(stated, needed);
    if (missing > MissingBytesPerRowTolerated * static_cast<std::uint64_t>(info.Rows()))
        throw EInvalidGraphic();
}

// The memory a decoded picture holds: its pixel rows, a paletted image's colour table and Qt's
// record of the image.
std::uint64_t DecodedBytes(QSize size, QImage::Format format, std::uint64_t colours) {
    const bool paletted = QImage::toPixelFormat(format).colorModel() == QPixelFormat::Indexed;
    return BigBlock::ImageBytes(size.width(), size.height(), format) +
           (paletted ? colours * sizeof(QRgb) : 0) + ImageBookkeepingBytes;
}

} // namespace

std::size_t ReadBmp(const char* data, std::size_t rest, QImage& bitmap, std::size_t& bytesLeft) {
    if (rest == 0) {
        bitmap = QImage();
        return 0;
    }
    TBmpCursor in(data, rest);
    const unsigned char* fileHeader = in.Need(FileHeaderSize);
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M')
        throw EInvalidGraphic();
    const std::uint32_t headerSize = LE32(in.Need(4));
    if (headerSize < 4)
        throw EInvalidGraphic();
    TBmpInfo info;
    const unsigned char* storedHeader = ReadHeader(in, headerSize, info) - 4;
    if (info.Compression != BiRgb && info.Compression != BiBitFields) {
        // Such a picture takes the rest of the text, so its record can never be complete.
        bitmap = QImage();
        return rest;
    }
    if (info.Planes != 1)
        throw EInvalidGraphic();
    const std::uint64_t maskBytes = headerSize == InfoHeaderSize &&
                                            (info.BitsPerPixel == 16 || info.BitsPerPixel == 32) &&
                                            info.Compression == BiBitFields
                                        ? 12
                                        : 0;
    const unsigned char* masks = in.Need(maskBytes);
    const std::uint64_t tableBytes =
        ColourTableEntries(info) * (headerSize == CoreHeaderSize ? 3 : 4);
    const unsigned char* table = in.Need(tableBytes);

    // A picture the system cannot create is refused before its pixels are looked at, and its
    // memory is taken before anything is decoded.
    const std::int64_t needed = info.RowsBytes();
    if (needed <= 0 || !WithinAllocationLimit(info))
        throw EInvalidGraphic();
    const std::uint64_t stated = StatedPixelBytes(info);
    const auto* pixels = reinterpret_cast<const unsigned char*>(data + in.Position());
    TChannels channels;
    const bool rgb24 = info.BitsPerPixel == 24 && info.Compression == BiRgb;
    const bool scaled = !rgb24 && ChannelsToScale(info, headerSize, storedHeader, masks, channels);
    std::optional<TQtPicture> qt;
    QSize size(static_cast<int>(info.Width), static_cast<int>(info.Rows()));
    QImage::Format format = channels.HasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    if (!rgb24 && !scaled) {
        qt.emplace(
            DecodableHead(storedHeader, headerSize, info, masks, maskBytes, table, tableBytes),
            pixels, std::min<std::uint64_t>(stated, in.Left()), needed);
        size = qt->Size();
        format = qt->Format();
        if (size.isEmpty() || format == QImage::Format_Invalid)
            throw EInvalidGraphic();
    }
    const std::uint64_t cost = DecodedBytes(size, format, ColourTableEntries(info));
    if (cost > bytesLeft)
        throw EInvalidGraphic();

    TakePixels(in, info);
    bytesLeft -= static_cast<std::size_t>(cost);
    const auto pixelBytes = static_cast<std::size_t>(stated);
    if (rgb24)
        bitmap = DecodeRgb24(info, pixels, pixelBytes);
    else if (scaled)
        bitmap = DecodeChannels(info, channels, pixels, pixelBytes);
    else
        bitmap = qt->Decode();
    return in.Position();
}
