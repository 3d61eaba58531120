// Loads a generated problem file of 100 records with 800 x 600 24-bit pictures and compares
// the load with two floors doing the same work as fast as honestly possible: inflating the
// file (one large read, one pre-touched buffer of the final size, one inflate call), and that
// inflate plus a plain 24- to 32-bit conversion of every picture into the loader's kind of
// blocks. Every measurement runs in a fresh copy of itself, the three alternating over several
// rounds, so that generating the file and earlier rounds' memory do not count.
#include "ChildRuns.h"
#include "SysUtils.h"
#include "UnitBigBlock.h"
#include "UnitPracDataMan.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int RecordCount = 100;
constexpr int PictureWidth = 800;
constexpr int PictureHeight = 600;
constexpr int DefaultRounds = 9;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

AnsiString Prefixed(const AnsiString& body, std::size_t width) {
    const AnsiString length = std::to_string(body.size());
    return AnsiString(width - length.size(), '0') + length + body;
}

// A problem picture as a teacher's tool makes it: white page, lines of glyph-like strokes,
// a framed diagram with a curve and a shaded box.
QImage ProblemPicture(std::mt19937& random) {
    QImage image(PictureWidth, PictureHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.6));
    std::uniform_int_distribution<int> glyphWidth(6, 14);
    std::uniform_int_distribution<int> stroke(0, 3);
    for (int line = 0; line < 14; ++line) {
        const int y = 30 + line * 26;
        int x = 30 + (line % 5 == 0 ? 30 : 0);
        const int end = 760 - static_cast<int>(random() % 200);
        while (x < end) {
            const int w = glyphWidth(random);
            switch (stroke(random)) {
            case 0:
                painter.drawLine(x, y, x + w, y + 14);
                break;
            case 1:
                painter.drawEllipse(x, y + 4, w, 10);
                break;
            case 2:
                painter.drawLine(x + w / 2, y, x + w / 2, y + 16);
                painter.drawLine(x, y + 8, x + w, y + 8);
                break;
            default:
                painter.drawArc(x, y, w, 16, 0, 180 * 16);
            }
            x += w + 4 + (random() % 7 == 0 ? 10 : 0);
        }
    }
    painter.setPen(QPen(QColor(0, 0, 160), 2));
    painter.drawRect(60, 410, 680, 170);
    QPainterPath curve;
    curve.moveTo(70, 560);
    for (int x = 70; x <= 730; x += 10)
        curve.lineTo(x, 495 - 60 * std::sin((x + static_cast<int>(random() % 50)) / 60.0));
    painter.setPen(QPen(QColor(200, 30, 30), 2));
    painter.drawPath(curve);
    painter.fillRect(500, 430, 200, 40, QColor(230, 240, 255));
    return image;
}

AnsiString BmpBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return AnsiString(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

AnsiString RecordText(int index, const AnsiString& picture) {
    const AnsiString paragraph =
        "编写函数 myfun，输入一个向量 x，返回其中所有大于平均值的元素之和。"
        "要求不使用循环语句，结果保留两位小数；函数须能处理空向量与含 NaN 的输入。";
    AnsiString lines;
    for (int i = 0; i < 20; ++i)
        lines += "    y(" + std::to_string(i + 1) + ") = sum(x(x > mean(x))) * " +
                 std::to_string(i) + ";\r\n";
    return Prefixed("1", 8) + "00000001" + std::to_string(index % 10) +
           Prefixed("第" + std::to_string(index + 1) + "题 向量运算与函数编写", 8) +
           Prefixed(paragraph, 8) + Prefixed(paragraph + paragraph, 8) + Prefixed("编程题", 8) +
           Prefixed("", 8) + Prefixed("myfun.m", 8) + Prefixed("10", 8) + picture +
           Prefixed("12.5", 10) + Prefixed(lines, 10) + Prefixed("参考答案见课程资料。", 8);
}

// Generates the file and the list of where its pictures start in the text; returns the
// inflated size.
std::size_t Generate(const std::string& path, const std::string& offsetsPath) {
    std::mt19937 random(2024);
    AnsiString text = Prefixed(std::to_string(RecordCount), 8);
    std::ofstream offsets(offsetsPath);
    for (int i = 0; i < RecordCount; ++i) {
        const AnsiString picture = BmpBytes(ProblemPicture(random));
        const AnsiString record = RecordText(i, picture);
        offsets << text.size() + record.find(picture) << "\n";
        text += record;
    }
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    AnsiString compressed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(compressed.data()), &size,
              reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()),
              Z_DEFAULT_COMPRESSION);
    compressed.resize(size);
    std::ofstream(path, std::ios::binary).write(compressed.data(), size);
    std::printf("file: %d records, %.1f MiB compressed, %.1f MiB inflated\n", RecordCount,
                size / 1048576.0, text.size() / 1048576.0);
    return text.size();
}

double PeakRssBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "problem_load_bench: %s\n", what);
    std::exit(1);
}

// A big block released when it goes.
struct Block {
    explicit Block(std::size_t size)
        : Size(size), Data(static_cast<char*>(BigBlock::Allocate(size))) {}
    ~Block() { BigBlock::Free(Data, Size); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    std::size_t Size;
    char* Data;
};

// The whole file in one read into a block of its size.
std::unique_ptr<Block> ReadWhole(const char* path) {
    const int file = open(path, O_RDONLY);
    struct stat status {};
    if (file < 0 || fstat(file, &status) != 0)
        Fail("cannot open the file");
    auto bytes = std::make_unique<Block>(static_cast<std::size_t>(status.st_size));
    for (std::size_t done = 0; done < bytes->Size;) {
        const ssize_t count = read(file, bytes->Data + done, bytes->Size - done);
        if (count <= 0)
            Fail("cannot read the file");
        done += static_cast<std::size_t>(count);
    }
    close(file);
    return bytes;
}

// The text in one inflate call into a block of its final size, every page touched first.
std::unique_ptr<Block> InflateWhole(const Block& compressed, std::size_t inflatedSize) {
    auto text = std::make_unique<Block>(inflatedSize);
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    for (std::size_t at = 0; at < inflatedSize; at += page)
        text->Data[at] = 0;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        Fail("inflateInit failed");
    stream.next_in = reinterpret_cast<Bytef*>(compressed.Data);
    stream.avail_in = static_cast<uInt>(compressed.Size);
    stream.next_out = reinterpret_cast<Bytef*>(text->Data);
    stream.avail_out = static_cast<uInt>(inflatedSize);
    if (inflate(&stream, Z_FINISH) != Z_STREAM_END || stream.total_out != inflatedSize)
        Fail("zlib could not inflate the file");
    inflateEnd(&stream);
    return text;
}

// Every picture of the text as 32-bit pixels, top row first, each in a block of its own.
std::vector<std::unique_ptr<Block>> ConvertPictures(const Block& text,
                                                    const std::vector<std::size_t>& pictures) {
    constexpr std::size_t PixelOffset = 14 + 40;
    constexpr std::size_t RowBytes = (PictureWidth * 3 + 3) / 4 * 4;
    std::vector<std::unique_ptr<Block>> blocks;
    for (const std::size_t picture : pictures) {
        auto block = std::make_unique<Block>(std::size_t{PictureWidth} * PictureHeight * 4);
        const auto* pixels =
            reinterpret_cast<const unsigned char*>(text.Data + picture + PixelOffset);
        auto* out = reinterpret_cast<std::uint32_t*>(block->Data);
        // Rows in stored order (bottom row first), so the text is read front to back.
        for (int stored = 0; stored < PictureHeight; ++stored) {
            const unsigned char* row = pixels + stored * RowBytes;
            std::uint32_t* line = out + std::size_t{PictureWidth} *
                                            static_cast<std::size_t>(PictureHeight - 1 - stored);
            for (int x = 0; x < PictureWidth; ++x)
                line[x] = 0xFF000000u | row[3 * x] | (row[3 * x + 1] << 8) |
                          (std::uint32_t{row[3 * x + 2]} << 16);
        }
        blocks.push_back(std::move(block));
    }
    return blocks;
}

// The picture offsets, one decimal number a line.
std::vector<std::size_t> ReadOffsets(const char* path) {
    std::vector<std::size_t> offsets;
    std::ifstream file(path);
    for (std::size_t offset = 0; file >> offset;)
        offsets.push_back(offset);
    return offsets;
}

// One measurement in this fresh process; prints milliseconds and the peak memory in bytes.
int MeasureOnce(const std::string& what, const char* path, std::size_t inflatedSize,
                const char* offsetsPath) {
    const std::vector<std::size_t> offsets = ReadOffsets(offsetsPath);
    TPracDataManage container;
    std::unique_ptr<Block> text;
    std::vector<std::unique_ptr<Block>> pictures;
    const double baseline = PeakRssBytes();
    const auto start = Clock::now();
    if (what == "load") {
        try {
            container.LoadFromFile(path);
        } catch (const Exception& error) {
            std::fprintf(stderr, "problem_load_bench: load failed: %s\n", error.Message.c_str());
            return 1;
        }
    } else {
        text = InflateWhole(*ReadWhole(path), inflatedSize);
        if (what == "convert")
            pictures = ConvertPictures(*text, offsets);
    }
    const double seconds = Seconds(Clock::now() - start);
    if (what == "load" && (container.Count() != RecordCount ||
                           container.Items(0).Bitmap.size() != QSize(PictureWidth, PictureHeight)))
        Fail("the load gave other records than generated");
    std::printf("%.3f %.0f %.0f\n", seconds * 1000, PeakRssBytes(), baseline);
    return 0;
}

struct Figure {
    double Milliseconds = 0, PeakBytes = 0, BaselineBytes = 0;
};

// Runs one measurement in a fresh copy of this program.
Figure RunFresh(const std::string& self, const std::string& what, const std::string& path,
                std::size_t inflatedSize, const std::string& offsets) {
    if (std::system(("'" + self + "' --warm").c_str()) != 0)
        Fail("warming the memory failed");
    const std::string command = "'" + self + "' --measure " + what + " '" + path + "' " +
                                std::to_string(inflatedSize) + " '" + offsets + "'";
    FILE* child = popen(command.c_str(), "r");
    Figure figure;
    if (!child || std::fscanf(child, "%lf %lf %lf", &figure.Milliseconds, &figure.PeakBytes,
                              &figure.BaselineBytes) != 3)
        Fail("a measuring run failed");
    pclose(child);
    return figure;
}

void PrintRow(const std::string& name, const std::vector<double>& values, const char* unit) {
    const TSpread spread = Spread(values);
    std::printf("%-44s %8.2f %8.2f %8.2f %s\n", name.c_str(), spread.Min, spread.Median, spread.Max,
                unit);
}

// Touches more memory than any measurement takes and lets it go. On a virtual machine a page
// the system has not used for a while can cost far more to touch than one just freed; run
// before every measurement, this gives each the same start whatever ran before it.
int WarmMemory() {
    constexpr std::size_t Size = std::size_t{768} * 1024 * 1024;
    const Block block(Size);
    for (std::size_t at = 0; at < Size; at += 4096)
        block.Data[at] = 1;
    return 0;
}

// The machine's load average over the last minute, as the system reports it.
std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string minute;
    file >> minute;
    return minute.empty() ? "unknown" : minute;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--measure")
        return MeasureOnce(argv[2], argv[3], std::stoull(argv[4]), argv[5]);
    if (argc == 2 && std::string(argv[1]) == "--warm")
        return WarmMemory();
    const int rounds = argc == 2 ? std::stoi(argv[1]) : DefaultRounds;
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("train.db")).toStdString();
    const std::string offsets = folder.filePath(QStringLiteral("pictures.txt")).toStdString();
    const std::size_t inflatedSize = Generate(path, offsets);
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        Fail("cannot find this program");

    const std::string loadAtStart = LoadAverage();
    std::vector<double> load, inflate, convert, loadByInflate, loadByConvert, peak;
    for (int round = 0; round < rounds; ++round) {
        const Figure client = RunFresh(self, "load", path, inflatedSize, offsets);
        const Figure inflateFloor = RunFresh(self, "inflate", path, inflatedSize, offsets);
        const Figure convertFloor = RunFresh(self, "convert", path, inflatedSize, offsets);
        load.push_back(client.Milliseconds);
        inflate.push_back(inflateFloor.Milliseconds);
        convert.push_back(convertFloor.Milliseconds);
        loadByInflate.push_back(client.Milliseconds / inflateFloor.Milliseconds);
        loadByConvert.push_back(client.Milliseconds / convertFloor.Milliseconds);
        peak.push_back((client.PeakBytes - client.BaselineBytes) / 1048576.0);
        std::printf("round %2d: load %7.1f ms, inflate %7.1f ms, inflate + convert %7.1f ms\n",
                    round + 1, client.Milliseconds, inflateFloor.Milliseconds,
                    convertFloor.Milliseconds);
        std::fflush(stdout);
    }
    std::printf("\n%-44s %8s %8s %8s\n",
                (std::to_string(rounds) + " rounds, fresh processes, alternating").c_str(), "min",
                "median", "max");
    PrintRow("load", load, "ms");
    PrintRow("floor: inflate", inflate, "ms");
    PrintRow("floor: inflate + convert", convert, "ms");
    PrintRow("ratio load / inflate (goal 1.3)", loadByInflate, "");
    PrintRow("ratio load / inflate + convert (goal 1.1)", loadByConvert, "");
    PrintRow("load's memory growth", peak, "MiB");
    std::printf("load's memory growth / inflated text, median: %.2f (goal <= 3)\n",
                Spread(peak).Median * 1048576.0 / static_cast<double>(inflatedSize));
    std::printf("inflated text: %.1f MiB; machine load average %s at the start, %s at the end\n",
                static_cast<double>(inflatedSize) / 1048576.0, loadAtStart.c_str(),
                LoadAverage().c_str());
    return 0;
}
