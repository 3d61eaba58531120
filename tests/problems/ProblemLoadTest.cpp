// Loading whole problem files into the records' container.
#include "ProblemFileWriter.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "UnitPracDataMan.h"

#include <QBuffer>

#include <gtest/gtest.h>

using namespace ProblemFileWriter;

namespace {

class ProblemLoad : public ::testing::Test {
protected:
    AnsiString Path() const { return Folder.File("train.db"); }
    void WriteText(const AnsiString& text) const { WriteBytes(Path(), Compress(text)); }

    // Loads the file and returns the error's text ("" when it loaded).
    AnsiString Load() {
        try {
            Container.LoadFromFile(Path());
        } catch (const Exception& error) {
            return error.Message;
        }
        return "";
    }

    std::vector<AnsiString> Titles() const {
        std::vector<AnsiString> titles;
        for (int i = 0; i < Container.Count(); ++i)
            titles.push_back(Container.Items(i).Title);
        return titles;
    }

    static ProblemRecord Titled(const AnsiString& title) {
        ProblemRecord record;
        record.Title = title;
        return record;
    }

    ProgramFolder Folder;
    TPracDataManage Container;
};

using TitleList = std::vector<AnsiString>;

} // namespace

TEST_F(ProblemLoad, RecordsReadEveryField) {
    ProblemRecord first;
    first.Num1 = -7;
    first.Num2 = 2147483647;
    first.Title = "第一题";
    first.Text2 = "a\r\nb";
    first.Text3 = "";
    first.Num3 = 42;
    first.Picture = SolidBmp24(4, 3, qRgb(0, 128, 255));
    first.Real = "-2.5E-1";
    first.Lines = "line 1\r\nline 2\r\n";
    first.Text7 = "end";
    WriteProblemFile(Path(), {first, Titled("second")});

    EXPECT_EQ(Load(), "");
    ASSERT_EQ(Container.Count(), 2);
    const TPracDataItem& item = Container.Items(0);
    EXPECT_EQ(item.Num1, -7);
    EXPECT_EQ(item.Num2, 2147483647);
    EXPECT_EQ(item.Title, "\xB5\xDA\xD2\xBB\xCC\xE2"); // GBK bytes pass unconverted
    EXPECT_EQ(item.Text2, "a\r\nb");
    EXPECT_EQ(item.Text3, "");
    EXPECT_EQ(item.Text4, "four");
    EXPECT_EQ(item.Text6, "six");
    EXPECT_EQ(item.Num3, 42);
    ASSERT_EQ(item.Bitmap.size(), QSize(4, 3));
    EXPECT_EQ(item.Bitmap.pixel(3, 2), qRgb(0, 128, 255));
    EXPECT_DOUBLE_EQ(item.RealValue, -0.25);
    ASSERT_EQ(item.Lines.Count(), 2);
    EXPECT_EQ(item.Lines[1], "line 2");
    EXPECT_EQ(item.Text7, "end");
    EXPECT_EQ(Container.Items(1).Title, "second");
    EXPECT_EQ(Container.Items(1).Bitmap.pixel(2, 1), qRgb(255, 0, 0));
}

TEST_F(ProblemLoad, CountOfZeroOrLessReadsNothingMore) {
    WriteText(IntegerField(0) + "anything");
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Container.Count(), 0);
    WriteText(IntegerField(-3) + ProblemRecord().Text());
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Container.Count(), 0);
    EXPECT_EQ(Container.Stream.Buffer.Position, 10u) << "only the count was read";
}

TEST_F(ProblemLoad, CountAboveTheRecordsPresentKeepsThoseRead) {
    WriteText(IntegerField(3) + Titled("a").Text() + Titled("b").Text());
    EXPECT_EQ(Load(), "'' is not a valid integer value");
    EXPECT_EQ(Titles(), (TitleList{"a", "b"}));
}

TEST_F(ProblemLoad, BytesAfterTheLastRecordOrTheStreamAreIgnored) {
    WriteText(ProblemText({Titled("a")}) + "trailing text that is no record");
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Titles(), TitleList{"a"});

    Container.Clear();
    WriteBytes(Path(), Compress(ProblemText({Titled("b")})) + "bytes after the stream");
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Titles(), TitleList{"b"});
}

TEST_F(ProblemLoad, LastTextRunningPastTheEndStillLoads) {
    AnsiString text = ProblemText({Titled("a")});
    text.resize(text.size() - 5); // Text7 "seven" announced, nothing left of it
    WriteText(text);
    EXPECT_EQ(Load(), "");
    ASSERT_EQ(Container.Count(), 1);
    EXPECT_EQ(Container.Items(0).Text7, "");

    Container.Clear();
    WriteText(ProblemText({Titled("b")}).substr(0, text.size() + 2));
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Container.Items(0).Text7, "se");
}

TEST_F(ProblemLoad, SmallPictureOccupiesHeadersAndPaddedRows) {
    ProblemRecord record;
    record.Picture = SolidBmp24(3, 2, qRgb(1, 2, 3));
    ASSERT_EQ(record.Picture.size(), 14u + 40 + 2 * 12);
    const AnsiString text = ProblemText({record});
    WriteText(text);
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Container.Stream.Buffer.Position, text.size());
    EXPECT_EQ(Container.Items(0).Bitmap.pixel(0, 0), qRgb(1, 2, 3));
}

TEST_F(ProblemLoad, NegativeLengthsGiveEmptyFieldsAndReadingGoesOn) {
    ProblemRecord record;
    const AnsiString plain = record.Text();
    // Replace Text2 ("two") and the line list by negative lengths without bodies.
    AnsiString text = IntegerField(1) + IntegerField(1) + IntegerField(2) + TextField("title") +
                      "-0000009" + TextField("three") + TextField("four") + TextField("five") +
                      TextField("six") + IntegerField(3) + record.Picture + RealField("0.5") +
                      "-000000001" + TextField("seven");
    WriteText(text);
    EXPECT_EQ(Load(), "");
    ASSERT_EQ(Container.Count(), 1);
    EXPECT_EQ(Container.Items(0).Text2, "");
    EXPECT_EQ(Container.Items(0).Text3, "three");
    EXPECT_EQ(Container.Items(0).Lines.Count(), 0);
    EXPECT_EQ(Container.Items(0).Text7, "seven");
}

TEST_F(ProblemLoad, LoadingTwiceWithoutClearAppends) {
    WriteProblemFile(Path(), {Titled("a"), Titled("b")});
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Titles(), (TitleList{"a", "b", "a", "b"}));
    Container.Clear();
    EXPECT_EQ(Container.Count(), 0);
    EXPECT_FALSE(Container.Stream.Buffer.Bytes().empty()) << "Clear keeps the reader's text";
}

TEST_F(ProblemLoad, EmptyFilesFailOnTheCountAndLeaveTheContainerAsItWas) {
    WriteProblemFile(Path(), {Titled("kept")});
    EXPECT_EQ(Load(), "");
    WriteBytes(Path(), "");
    EXPECT_EQ(Load(), "'' is not a valid integer value");
    WriteText("");
    EXPECT_EQ(Load(), "'' is not a valid integer value");
    EXPECT_EQ(Titles(), TitleList{"kept"});
    Container.Clear();
    EXPECT_EQ(Load(), "'' is not a valid integer value");
    EXPECT_EQ(Container.Count(), 0);
}

// The text held before is released before a file inflates, so a failed inflate leaves none.
TEST_F(ProblemLoad, FilesThatDoNotInflateRaiseErrorAndLeaveNoText) {
    WriteProblemFile(Path(), {Titled("a")});
    EXPECT_EQ(Load(), "");

    AnsiString damaged = Compress(ProblemText({Titled("b")}));
    damaged[damaged.size() - 1] = static_cast<char>(damaged.back() ^ 0x40); // Adler-32
    WriteBytes(Path(), damaged);
    EXPECT_EQ(Load(), "Error");
    WriteBytes(Path(), ProblemText({Titled("c")})); // not compressed at all
    EXPECT_EQ(Load(), "Error");
    EXPECT_TRUE(Container.Stream.Buffer.Bytes().empty());
    EXPECT_EQ(Titles(), TitleList{"a"});
}

TEST_F(ProblemLoad, TruncatedStreamLoadsWhatItHolds) {
    const AnsiString compressed = Compress(ProblemText({Titled("a"), Titled("b")}), 0);
    // Stored blocks inflate byte for byte: the text ends 36 bytes before its end, inside the
    // second record's Real, whose prefix is left as "0000".
    WriteBytes(Path(), compressed.substr(0, compressed.size() - 4 - 36));
    EXPECT_EQ(Load(), "'' is not a valid floating point value");
    EXPECT_EQ(Titles(), TitleList{"a"});
}

TEST_F(ProblemLoad, MissingFileNamesThePath) {
    const AnsiString missing = Folder.File("missing.db");
    try {
        Container.LoadFromFile(missing);
        FAIL() << "no error";
    } catch (const EFOpenError& error) {
        EXPECT_NE(error.Message.find(missing), AnsiString::npos) << error.Message;
    }
}

TEST_F(ProblemLoad, PictureFailuresEndTheLoadAfterTheRecordsReadInFull) {
    struct Damage {
        const char* Name;
        std::function<void(AnsiString&)> Apply;
        AnsiString Error;
    };
    const std::vector<Damage> damages = {
        {"no BM", [](AnsiString& bmp) { bmp[0] = 'X'; }, "Bitmap image is not valid"},
        {"planes 2", [](AnsiString& bmp) { bmp[26] = 2; }, "Bitmap image is not valid"},
        {"8 bits per pixel without room for its colour table", [](AnsiString& bmp) { bmp[28] = 8; },
         "Stream read error"},
        {"colours used beyond the text", [](AnsiString& bmp) { bmp[46] = static_cast<char>(0xFF); },
         "Stream read error"},
        {"header size beyond the text", [](AnsiString& bmp) { bmp[17] = 0x7F; },
         "Stream read error"},
        {"width 0", [](AnsiString& bmp) { bmp[18] = 0; }, "Bitmap image is not valid"},
        {"depth of 7 bits", [](AnsiString& bmp) { bmp[28] = 7; }, "Bitmap image is not valid"},
        {"width beyond any image", [](AnsiString& bmp) { bmp[21] = 0x40; },
         "Bitmap image is not valid"},
        {"pixels cut short by the end of the text", [](AnsiString& bmp) { bmp.pop_back(); },
         "Stream read error"},
        {"rows beyond any 64-bit count",
         [](AnsiString& bmp) {
             bmp.replace(18, 8, "\xFF\xFF\xFF\x7F\x00\x00\x00\x80", 8); // width, height
             bmp[28] = 32;
         },
         "Bitmap image is not valid"},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.Name);
        ProblemRecord bad = Titled("bad");
        bad.Picture = SolidBmp24(3, 2, qRgb(1, 2, 3));
        damage.Apply(bad.Picture);
        // The broken picture is the last thing in the text, as a record's picture can be.
        AnsiString text = IntegerField(3) + Titled("good").Text() + bad.Text();
        text.resize(text.size() -
                    (RealField("0.5") + LinesField("x\r\ny") + TextField("seven")).size());
        WriteText(text);
        Container.Clear();
        EXPECT_EQ(Load(), damage.Error);
        EXPECT_EQ(Titles(), TitleList{"good"});
    }
}

TEST_F(ProblemLoad, MasksRunningPastTheTextAreAReadError) {
    BmpLayout layout;
    layout.BitsPerPixel = 16;
    layout.Compression = 3;
    layout.Masks = {0xF800, 0x07E0, 0x001F};
    const AnsiString bmp = BuildBmp(layout, [](int, int) { return 0u; });
    const std::size_t picture = Titled("a").Text().find("BM");
    WriteText(IntegerField(1) + Titled("a").Text().substr(0, picture) +
              bmp.substr(0, 14 + 40 + 11));
    EXPECT_EQ(Load(), "Stream read error");
}

TEST_F(ProblemLoad, RecordsOfOneFileTakeAtMostTheirAllowance) {
    ProblemRecord minimal;
    minimal.Title = minimal.Text2 = minimal.Text3 = minimal.Text4 = minimal.Text5 = minimal.Text6 =
        minimal.Lines = minimal.Text7 = "";
    minimal.Picture = SolidBmp24(1, 1, qRgb(1, 2, 3));
    ProblemRecord lineBreaks = minimal;
    lineBreaks.Lines = AnsiString(100000, '\n'); // 100,001 empty lines
    // 128 KiB of 16-bit pixels decode into 256 KiB: three such records' text fits the
    // allowance, and with it the first two pictures, not the third.
    BmpLayout sixteenBits;
    sixteenBits.Width = sixteenBits.Height = 256;
    sixteenBits.BitsPerPixel = 16;
    ProblemRecord doubling = minimal;
    doubling.Picture = BuildBmp(sixteenBits, [](int x, int y) { return (x ^ y) & 0x7FFFu; });
    struct Case {
        const char* Name;
        AnsiString Text;
        int Loaded;
    };
    constexpr std::size_t Allowance = 1024 * 1024;
    // A record with its 1 x 1 picture takes well over 300 bytes, its picture alone less.
    const std::size_t present = Allowance / 300;
    AnsiString declaredHuge = IntegerField(2147483647);
    for (std::size_t i = 0; i < present; ++i)
        declaredHuge += minimal.Text();
    const std::vector<Case> cases = {
        {"2^31-1 declared, more present than the allowance holds", declaredHuge, -1},
        {"a line list of line breaks", ProblemText({minimal, lineBreaks}), 1},
        {"complete pictures decoding to more than their text leaves",
         ProblemText({doubling, doubling, doubling}), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteText(c.Text);
        TPracDataManage container(Allowance);
        try {
            container.LoadFromFile(Path());
            ADD_FAILURE() << "no error";
        } catch (const EInvalidGraphic& error) {
            EXPECT_EQ(error.Message, "Bitmap image is not valid");
        }
        if (c.Loaded >= 0)
            EXPECT_EQ(container.Count(), c.Loaded);
        else
            EXPECT_LT(container.Count(), static_cast<int>(present));
    }
}

TEST_F(ProblemLoad, ItemsOutsideTheListRaiseTheListError) {
    WriteProblemFile(Path(), {Titled("a")});
    EXPECT_EQ(Load(), "");
    for (const int index : {-1, 1}) {
        try {
            Container.Items(index);
            FAIL() << index;
        } catch (const EListError& error) {
            EXPECT_EQ(error.Message, Format("List index out of bounds (%d)", index));
        }
    }
}

TEST_F(ProblemLoad, APictureCopyOutlivesItsRecord) {
    ProblemRecord record;
    record.Picture = SolidBmp24(800, 600, qRgb(10, 20, 30)); // big enough for its own block
    WriteProblemFile(Path(), {record});
    EXPECT_EQ(Load(), "");
    const QImage shown = Container.Items(0).Bitmap;
    Container.Clear();
    Container.LoadFromFile(Path());
    Container.Clear();
    ASSERT_EQ(shown.size(), QSize(800, 600));
    EXPECT_EQ(shown.pixel(799, 599), qRgb(10, 20, 30));
    EXPECT_EQ(shown.pixel(0, 0), qRgb(10, 20, 30));
}

TEST_F(ProblemLoad, InflatingStopsPastTheReadersBudget) {
    TMyStrStream reader(10000);
    WriteText(AnsiString(10000, 'z'));
    reader.LoadFromFile(Path());
    EXPECT_EQ(reader.Buffer.Size(), 10000u);
    WriteText(AnsiString(10001, 'y'));
    EXPECT_THROW(reader.LoadFromFile(Path()), EZDecompressionError);
    EXPECT_TRUE(reader.Buffer.Bytes().empty());
    EXPECT_EQ(MaxLoadBytes, 512u * 1024 * 1024);
}

TEST_F(ProblemLoad, StreamsFromOtherDeflateSettingsAndFlushes) {
    const AnsiString text = ProblemText({Titled("a"), Titled("b")});
    struct Writer {
        int Level, Strategy, Flush;
        std::size_t Chunk;
    };
    for (const Writer& writer :
         {Writer{9, Z_DEFAULT_STRATEGY, Z_NO_FLUSH, 7},
          Writer{1, Z_HUFFMAN_ONLY, Z_SYNC_FLUSH, 100}, Writer{6, Z_RLE, Z_FULL_FLUSH, 512},
          Writer{6, Z_FIXED, Z_PARTIAL_FLUSH, 33},
          Writer{0, Z_DEFAULT_STRATEGY, Z_SYNC_FLUSH, 1000}}) {
        z_stream stream{};
        ASSERT_EQ(deflateInit2(&stream, writer.Level, Z_DEFLATED, 15, 8, writer.Strategy), Z_OK);
        AnsiString compressed;
        char out[4096];
        for (std::size_t at = 0; at <= text.size(); at += writer.Chunk) {
            const bool last = at + writer.Chunk > text.size();
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data() + at));
            stream.avail_in = static_cast<uInt>(std::min(writer.Chunk, text.size() - at));
            do {
                stream.next_out = reinterpret_cast<Bytef*>(out);
                stream.avail_out = sizeof out;
                deflate(&stream, last ? Z_FINISH : writer.Flush);
                compressed.append(out, sizeof out - stream.avail_out);
            } while (stream.avail_out == 0);
        }
        deflateEnd(&stream);
        WriteBytes(Path(), compressed);
        Container.Clear();
        EXPECT_EQ(Load(), "") << writer.Strategy;
        EXPECT_EQ(Titles(), (TitleList{"a", "b"})) << writer.Strategy;
    }
}

TEST_F(ProblemLoad, PicturesWrittenByAnImageLibraryShowAsWritten) {
    QImage colour(13, 7, QImage::Format_RGB32);
    for (int y = 0; y < colour.height(); ++y)
        for (int x = 0; x < colour.width(); ++x)
            colour.setPixel(x, y, qRgb(x * 19, y * 36, (x + y) * 12));
    const std::vector<QImage> images = {
        colour,
        colour.convertToFormat(QImage::Format_Indexed8),
        colour.convertToFormat(QImage::Format_Mono),
        colour.convertToFormat(QImage::Format_RGB16),
    };
    std::vector<ProblemRecord> records;
    for (const QImage& image : images) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(image.save(&buffer, "BMP"));
        ProblemRecord record;
        record.Picture = AnsiString(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        records.push_back(record);
    }
    WriteProblemFile(Path(), records);
    EXPECT_EQ(Load(), "");
    ASSERT_EQ(Container.Count(), static_cast<int>(images.size()));
    for (int i = 0; i < Container.Count(); ++i) {
        const QImage& shown = Container.Items(i).Bitmap;
        ASSERT_EQ(shown.size(), images[i].size()) << i;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                ASSERT_EQ(shown.pixel(x, y), images[i].pixel(x, y)) << i << ": " << x << "," << y;
    }
}
