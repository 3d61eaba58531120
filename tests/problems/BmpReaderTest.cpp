// Pictures inside a problem text: the bytes each layout occupies and the colours it shows.
#include "ProblemFileWriter.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "UnitStrStream.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace ProblemFileWriter;

namespace {

constexpr int Width = 5; // odd, so rows carry padding at every depth
constexpr int Height = 3;

// Distinct colours for the colour tables.
std::vector<QRgb> Palette(int entries) {
    std::vector<QRgb> palette;
    for (int i = 0; i < entries; ++i)
        palette.push_back(qRgb((i * 67 + 13) % 256, (i * 151 + 90) % 256, (i * 29 + 200) % 256));
    return palette;
}

// One picture layout: how it is written and what each pixel must show.
struct PictureCase {
    const char* Name;
    BmpLayout Layout;
    PixelFunction Raw;
    std::function<QRgb(int x, int y)> Expected;
};

PictureCase Paletted(const char* name, int bits, int entries, std::uint32_t colorsUsed,
                     int height = Height, std::uint32_t headerSize = 40) {
    BmpLayout layout;
    layout.BitsPerPixel = bits;
    layout.Width = bits == 1 ? 17 : Width;
    layout.Height = height;
    layout.HeaderSize = headerSize;
    layout.Palette = Palette(entries);
    layout.ColorsUsed = colorsUsed;
    const auto index = [entries](int x, int y) {
        return static_cast<std::uint32_t>((x + 2 * y) % entries);
    };
    const std::vector<QRgb> palette = layout.Palette;
    return {name, layout, index, [=](int x, int y) { return palette[index(x, y)]; }};
}

QRgb TrueColour(int x, int y) {
    return qRgb(x * 50 + 5, y * 80 + 10, (x * y * 30 + 100) % 256);
}

PictureCase Rgb24(const char* name, int height, bool imageSizeSet, std::uint32_t headerSize = 40,
                  std::uint32_t colorsUsed = 0) {
    BmpLayout layout;
    layout.Width = Width;
    layout.Height = height;
    layout.ImageSizeSet = imageSizeSet;
    layout.HeaderSize = headerSize;
    layout.ColorsUsed = colorsUsed;
    layout.Palette = Palette(static_cast<int>(colorsUsed));
    return {name, layout, [](int x, int y) { return TrueColour(x, y) & 0xFFFFFFu; }, TrueColour};
}

// A pixel packed under the masks; channels of fewer than 8 bits keep their top bits.
std::uint32_t Pack(QRgb colour, const std::vector<std::uint32_t>& masks) {
    const int channels[4] = {qRed(colour), qGreen(colour), qBlue(colour), qAlpha(colour)};
    std::uint32_t raw = 0;
    for (std::size_t i = 0; i < masks.size(); ++i) {
        const std::uint64_t mask = masks[i];
        if (mask == 0)
            continue;
        int shift = 0;
        while (!((mask >> shift) & 1))
            ++shift;
        int bits = 0;
        while ((mask >> (shift + bits)) & 1)
            ++bits;
        raw |= (static_cast<std::uint32_t>(channels[i]) >> (8 - bits)) << shift;
    }
    return raw;
}

// What a channel of the given width shows once widened to 8 bits (viewers differ in the low
// bits they fill in; SameColour allows for that).
int Widened(int value, int bits) {
    return (value >> (8 - bits)) << (8 - bits);
}

PictureCase Masked(const char* name, int bits, std::vector<std::uint32_t> masks,
                   std::uint32_t compression, int height = Height, std::uint32_t headerSize = 40) {
    BmpLayout layout;
    layout.Width = Width;
    layout.Height = height;
    layout.BitsPerPixel = bits;
    layout.Compression = compression;
    layout.HeaderSize = headerSize;
    if (compression == 3)
        layout.Masks = masks;
    int widths[3];
    for (int i = 0; i < 3; ++i) {
        widths[i] = 0;
        for (std::uint32_t m = masks[i]; m; m >>= 1)
            widths[i] += m & 1;
    }
    return {name, layout, [=](int x, int y) { return Pack(TrueColour(x, y), masks); },
            [=](int x, int y) {
                const QRgb c = TrueColour(x, y);
                return qRgb(Widened(qRed(c), widths[0]), Widened(qGreen(c), widths[1]),
                            Widened(qBlue(c), widths[2]));
            }};
}

std::vector<PictureCase> AdmittedPictures() {
    const std::vector<std::uint32_t> rgb555 = {0x7C00, 0x03E0, 0x001F};
    const std::vector<std::uint32_t> rgb565 = {0xF800, 0x07E0, 0x001F};
    const std::vector<std::uint32_t> xrgb = {0x00FF0000, 0x0000FF00, 0x000000FF};
    const std::vector<std::uint32_t> xbgr = {0x000000FF, 0x0000FF00, 0x00FF0000};
    const std::vector<std::uint32_t> argb = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    PictureCase reservedByteSet = Masked("32 bits, no compression, fourth byte set", 32, xrgb, 0);
    reservedByteSet.Raw = [](int x, int y) { return TrueColour(x, y) & 0x80FFFFFFu; };
    PictureCase misplacedPixels = Rgb24("24 bits, file header pointing elsewhere", Height, false);
    misplacedPixels.Layout.FileHeaderPixelOffset = 9;
    return {
        reservedByteSet,
        misplacedPixels,
        Paletted("1 bit, table by depth", 1, 2, 0),
        Paletted("1 bit, colours used 2", 1, 2, 2),
        Paletted("1 bit, top-down", 1, 2, 0, -Height),
        Paletted("4 bits, table by depth", 4, 16, 0),
        Paletted("4 bits, colours used 5", 4, 5, 5),
        Paletted("4 bits, top-down", 4, 16, 0, -Height),
        Paletted("8 bits, table by depth", 8, 256, 0),
        Paletted("8 bits, colours used 7", 8, 7, 7),
        Paletted("8 bits, top-down", 8, 256, 0, -Height),
        Paletted("core header, 1 bit", 1, 2, 0, Height, 12),
        Paletted("core header, 4 bits", 4, 16, 0, Height, 12),
        Paletted("core header, 8 bits", 8, 256, 0, Height, 12),
        Rgb24("24 bits, image size 0", Height, false),
        Rgb24("24 bits, image size set", Height, true),
        Rgb24("24 bits, top-down", -Height, false),
        Rgb24("24 bits, colour table of 3", Height, false, 40, 3),
        Rgb24("24 bits, core header", Height, false, 12),
        Rgb24("24 bits, 124-byte header", Height, true, 124),
        Rgb24("24 bits, 108-byte header", -Height, false, 108),
        Rgb24("24 bits, 16-byte header", Height, false, 16),
        Rgb24("24 bits, 64-byte header", Height, true, 64),
        Rgb24("24 bits, 24-byte header", -Height, false, 24),
        Masked("16 bits, no compression", 16, rgb555, 0),
        Masked("16 bits, no compression, top-down", 16, rgb555, 0, -Height),
        Masked("16 bits, bit fields 5-6-5", 16, rgb565, 3),
        Masked("16 bits, bit fields 5-5-5", 16, rgb555, 3),
        Masked("16 bits, bit fields 5-6-5, top-down", 16, rgb565, 3, -Height),
        Masked("16 bits, bit fields in a 56-byte header", 16, rgb565, 3, Height, 56),
        Masked("16 bits, bit fields in a 52-byte header", 16, rgb565, 3, -Height, 52),
        Masked("32 bits, bit fields in a 64-byte header", 32, xbgr, 3, Height, 64),
        Masked("32 bits, no compression", 32, xrgb, 0),
        Masked("32 bits, no compression, top-down", 32, xrgb, 0, -Height),
        Masked("32 bits, bit fields", 32, xrgb, 3),
        Masked("32 bits, bit fields in blue-green-red order", 32, xbgr, 3),
        Masked("32 bits, bit fields with alpha, 108-byte header", 32, argb, 3, Height, 108),
        Masked("32 bits, bit fields, 124-byte header, top-down", 32, xrgb, 3, -Height, 124),
    };
}

// The bytes a layout occupies by its headers: file header, header, masks, table, rows.
std::size_t OccupiedBytes(const BmpLayout& layout) {
    const std::size_t masks = layout.HeaderSize == 40 && layout.Compression == 3 ? 12 : 0;
    const std::size_t table = layout.Palette.size() * (layout.HeaderSize == 12 ? 3 : 4);
    return 14 + layout.HeaderSize + masks + table +
           BmpRowBytes(layout) * static_cast<std::size_t>(std::abs(layout.Height));
}

// Channels narrower than 8 bits may show their top bits repeated in the low bits.
bool SameColour(QRgb shown, QRgb expected) {
    const auto near = [](int s, int e) { return s >= e && s <= e + 7; };
    return near(qRed(shown), qRed(expected)) && near(qGreen(shown), qGreen(expected)) &&
           near(qBlue(shown), qBlue(expected)) && qAlpha(shown) == 255;
}

} // namespace

TEST(BmpReader, EveryAdmittedLayoutShowsItsColoursAndTakesItsBytes) {
    for (const PictureCase& picture : AdmittedPictures()) {
        SCOPED_TRACE(picture.Name);
        const AnsiString bmp = BuildBmp(picture.Layout, picture.Raw);
        ASSERT_EQ(bmp.size(), OccupiedBytes(picture.Layout));
        const AnsiString text = bmp + TextField("next");
        QImage bitmap;
        std::size_t bytesLeft = MaxLoadBytes;
        std::size_t consumed = 0;
        try {
            consumed = ReadBmp(text.data(), text.size(), bitmap, bytesLeft);
        } catch (const Exception& error) {
            ADD_FAILURE() << error.Message;
            continue;
        }
        EXPECT_EQ(consumed, bmp.size());
        EXPECT_EQ(text.substr(consumed), TextField("next"));
        // What was taken before decoding is what the decoded picture holds.
        EXPECT_EQ(MaxLoadBytes - bytesLeft,
                  static_cast<std::size_t>(bitmap.sizeInBytes()) +
                      static_cast<std::size_t>(bitmap.colorCount()) * sizeof(QRgb) +
                      ImageBookkeepingBytes);
        ASSERT_EQ(bitmap.width(), picture.Layout.Width);
        ASSERT_EQ(bitmap.height(), std::abs(picture.Layout.Height));
        int wrong = 0;
        for (int y = 0; y < bitmap.height(); ++y)
            for (int x = 0; x < bitmap.width(); ++x)
                if (!SameColour(bitmap.pixel(x, y), picture.Expected(x, y)) && wrong++ < 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << " shows " << std::hex
                                  << bitmap.pixel(x, y) << " instead of " << picture.Expected(x, y);
    }
}

namespace {

// The picture with the image size of its 40-byte or larger header set to size.
AnsiString WithImageSize(AnsiString bmp, std::uint32_t size) {
    AnsiString field;
    PutLE(field, size, 4);
    return bmp.replace(34, 4, field);
}

// Reads one picture from text; returns the bytes consumed.
std::size_t Consumed(const AnsiString& text, QImage& bitmap) {
    TMyStrStream reader;
    reader.Buffer.Assign(text);
    reader.ReadBitmap(bitmap);
    return reader.Buffer.Position;
}

} // namespace

TEST(BmpReader, NothingLeftGivesAnEmptyPicture) {
    QImage bitmap(2, 2, QImage::Format_RGB32);
    EXPECT_EQ(Consumed("", bitmap), 0u);
    EXPECT_TRUE(bitmap.isNull());
}

TEST(BmpReader, ImageSizeDecidesThePixelBytes) {
    BmpLayout layout;
    layout.Width = 3;
    layout.Height = 2;
    layout.ImageSizeSet = true;
    AnsiString bmp = BuildBmp(layout, [](int, int y) { return y == 0 ? 0xFF0000u : 0x0000FFu; });
    // Stated as 30 bytes: 6 more than the rows need, taken all the same.
    bmp[34] = 30;
    QImage bitmap;
    EXPECT_EQ(Consumed(bmp + "123456" + "next", bitmap), bmp.size() + 6);
    EXPECT_EQ(bitmap.pixel(0, 0), qRgb(255, 0, 0));

    // Stated as 18 bytes: the bottom row and two pixels of the top row are taken; the pixel
    // missing shows black.
    bmp[34] = 18;
    EXPECT_EQ(Consumed(bmp, bitmap), bmp.size() - 6);
    EXPECT_EQ(bitmap.pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(bitmap.pixel(1, 0), qRgb(255, 0, 0));
    EXPECT_EQ(bitmap.pixel(2, 0), qRgb(0, 0, 0));
}

TEST(BmpReader, CompressedPictureTakesEverythingLeft) {
    AnsiString bmp = SolidBmp24(3, 2, qRgb(9, 8, 7));
    bmp[30] = 2; // 4-bit run-length compression
    QImage bitmap;
    EXPECT_EQ(Consumed(bmp + TextField("unreachable"), bitmap), bmp.size() + 19);
}

TEST(BmpReader, ShortHeadersAndFileHeadersAreReadErrors) {
    const AnsiString bmp = SolidBmp24(3, 2, qRgb(9, 8, 7));
    QImage bitmap;
    for (const std::size_t length :
         {std::size_t{1}, std::size_t{13}, std::size_t{17}, std::size_t{53}}) {
        try {
            Consumed(bmp.substr(0, length), bitmap);
            ADD_FAILURE() << length << ": no error";
        } catch (const EReadError& error) {
            EXPECT_EQ(error.Message, "Stream read error");
        }
    }
}

TEST(BmpReader, PicturesOfOneTextDecodeWithinTheirAllowance) {
    const AnsiString big = SolidBmp24(300, 300, qRgb(1, 2, 3)); // 360,000 bytes once decoded
    const AnsiString small = SolidBmp24(5, 3, qRgb(9, 8, 7));   // 60
    QImage bitmap;
    TMyStrStream reader(1024 * 1024);
    reader.Buffer.Assign(small + big + big + big);
    for (int picture = 0; picture < 3; ++picture)
        reader.ReadBitmap(bitmap);
    EXPECT_THROW(reader.ReadBitmap(bitmap), EInvalidGraphic);

    // Two fit beside the text, a third does not; every loaded text comes with the allowance.
    const AnsiString text = small + small + small;
    TMyStrStream tight(text.size() + 2 * (60 + ImageBookkeepingBytes) + 59);
    const ProgramFolder folder;
    WriteBytes(folder.File("train.db"), Compress(text));
    for (int load = 0; load < 2; ++load) {
        tight.LoadFromFile(folder.File("train.db"));
        tight.ReadBitmap(bitmap);
        tight.ReadBitmap(bitmap);
        EXPECT_EQ(bitmap.pixel(4, 2), qRgb(9, 8, 7));
        try {
            tight.ReadBitmap(bitmap);
            ADD_FAILURE() << "load " << load << ": no error";
        } catch (const EInvalidGraphic& error) {
            EXPECT_EQ(error.Message, "Bitmap image is not valid");
        }
    }
}

// A stated image size may fall short of the rows by their padding, which shows black; a
// picture lacking more is refused before anything is decoded.
TEST(BmpReader, PixelBytesMissingBeyondTheRowsPaddingMakeThePictureInvalid) {
    const AnsiString bmp = SolidBmp24(5, 10, qRgb(9, 8, 7)); // rows of 16 bytes, 160 in all
    const std::size_t tolerated = MissingBytesPerRowTolerated * 10;
    QImage bitmap;
    EXPECT_EQ(Consumed(WithImageSize(bmp, 160 - tolerated), bitmap), bmp.size() - tolerated);
    EXPECT_EQ(bitmap.pixel(0, 9), qRgb(9, 8, 7));
    EXPECT_EQ(bitmap.pixel(4, 0), qRgb(0, 0, 0));
    EXPECT_THROW(Consumed(WithImageSize(bmp, 160 - tolerated - 1), bitmap), EInvalidGraphic);
    // Declared as 11,184,810 x 3 (128 MiB once decoded), stating and holding one pixel byte.
    AnsiString size;
    PutLE(size, 11184810, 4);
    PutLE(size, 3, 4);
    EXPECT_THROW(
        Consumed(WithImageSize(bmp.substr(0, 18) + size + bmp.substr(26, 28), 1) + "x", bitmap),
        EInvalidGraphic);
}

// A viewer shows the highest value of any channel width as full intensity: 5-bit white is
// white, not F8F8F8, and 10-bit channels are not lost.
TEST(BmpReader, ChannelsOfEveryWidthSpanTheFullRange) {
    struct Case {
        const char* Name;
        int Bits;
        std::uint32_t Compression;
        std::uint32_t HeaderSize;
        std::vector<std::uint32_t> Masks;
        std::uint32_t Raw;
        QRgb Expected;
    };
    const std::vector<Case> cases = {
        {"16 bits, no compression, white", 16, 0, 40, {}, 0x7FFF, qRgb(255, 255, 255)},
        {"16 bits, no compression, red 5 of 31", 16, 0, 40, {}, 5u << 10, qRgb(41, 0, 0)},
        {"16 bits, 5-6-5, white", 16, 3, 40, {0xF800, 0x07E0, 0x001F}, 0xFFFF, qRgb(255, 255, 255)},
        {"16 bits, 5-6-5, green 16 of 63",
         16,
         3,
         40,
         {0xF800, 0x07E0, 0x001F},
         16u << 5,
         qRgb(0, 65, 0)},
        {"16 bits, 4-4-4-4 with alpha",
         16,
         3,
         108,
         {0x0F00, 0x00F0, 0x000F, 0xF000},
         0x8F0F,
         qRgba(255, 0, 255, 0x88)},
        {"32 bits, 10-10-10",
         32,
         3,
         40,
         {0x3FF00000, 0x000FFC00, 0x000003FF},
         (1023u << 20) | (512u << 10) | 4u,
         qRgb(255, 128, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        BmpLayout layout;
        layout.Width = 3;
        layout.Height = -2;
        layout.BitsPerPixel = c.Bits;
        layout.Compression = c.Compression;
        layout.HeaderSize = c.HeaderSize;
        layout.Masks = c.Masks;
        const std::uint32_t raw = c.Raw;
        const AnsiString bmp =
            BuildBmp(layout, [raw](int x, int y) { return x == 2 && y == 1 ? 0u : raw; });
        QImage bitmap;
        ASSERT_EQ(Consumed(bmp + "next", bitmap), bmp.size());
        ASSERT_EQ(bitmap.size(), QSize(3, 2));
        EXPECT_EQ(bitmap.pixel(0, 0), c.Expected) << std::hex << bitmap.pixel(0, 0);
        EXPECT_EQ(bitmap.pixel(1, 1), c.Expected) << std::hex << bitmap.pixel(1, 1);
        EXPECT_EQ(qRed(bitmap.pixel(2, 1)) + qGreen(bitmap.pixel(2, 1)) + qBlue(bitmap.pixel(2, 1)),
                  0);

        // Stated short by the rows' padding allowance: the last pixel's bytes are missing and
        // show black.
        const std::size_t missing = MissingBytesPerRowTolerated * 2;
        const AnsiString uniform = BuildBmp(layout, [raw](int, int) { return raw; });
        const auto pixelBytes = static_cast<std::uint32_t>(2 * BmpRowBytes(layout));
        ASSERT_EQ(Consumed(WithImageSize(uniform, pixelBytes - missing), bitmap),
                  uniform.size() - missing);
        EXPECT_EQ(bitmap.pixel(0, 0), c.Expected);
        EXPECT_EQ(qRed(bitmap.pixel(2, 1)) + qGreen(bitmap.pixel(2, 1)) + qBlue(bitmap.pixel(2, 1)),
                  0);
    }
}

// The core header's width and height are unsigned 16-bit fields: 32768 and more are sizes,
// not top-down or negative ones.
TEST(BmpReader, CoreHeaderSizesOf32768AndMoreAreUnsigned) {
    struct Case {
        int Width, Height, Bits;
    };
    for (const Case& c :
         {Case{3, 62977, 8}, Case{40000, 2, 4}, Case{32768, 2, 32}, Case{3, 32768, 24}}) {
        SCOPED_TRACE(testing::Message() << c.Width << " x " << c.Height << ", " << c.Bits);
        BmpLayout layout;
        layout.HeaderSize = 12;
        layout.Width = c.Width;
        layout.Height = c.Height;
        layout.BitsPerPixel = c.Bits;
        const bool paletted = c.Bits <= 8;
        if (paletted)
            layout.Palette = Palette(1 << c.Bits);
        const QRgb top = paletted ? layout.Palette[1] : qRgb(200, 0, 0);
        const QRgb below = paletted ? layout.Palette[0] : qRgb(0, 0, 200);
        const AnsiString bmp = BuildBmp(layout, [&](int, int y) {
            return paletted ? (y == 0 ? 1u : 0u) : (y == 0 ? top : below) & 0xFFFFFFu;
        });
        QImage bitmap;
        ASSERT_EQ(Consumed(bmp + "next", bitmap), bmp.size());
        ASSERT_EQ(bitmap.size(), QSize(c.Width, c.Height));
        EXPECT_EQ(bitmap.pixel(c.Width - 1, 0), top);
        EXPECT_EQ(bitmap.pixel(0, c.Height - 1), below);
    }
}
