// Loads a generated problem file of 100 records with 800 x 600 24-bit pictures and compares
// the load with zlib alone inflating the same file; reports the peak memory of the load.
// Runs the load in a fresh copy of itself so that generating the file does not count.
#include "SysUtils.h"
#include "UnitBigBlock.h"
#include "UnitPracDataMan.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace {

constexpr int RecordCount = 100;
constexpr int PictureWidth = 800;
constexpr int PictureHeight = 600;
constexpr int Rounds = 5;

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

AnsiString ReadFile(const char* path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    AnsiString bytes(static_cast<std::size_t>(file.tellg()), '\0');
    file.seekg(0);
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// Generates the file; returns the inflated size.
std::size_t Generate(const std::string& path) {
    std::mt19937 random(2024);
    AnsiString text = Prefixed(std::to_string(RecordCount), 8);
    for (int i = 0; i < RecordCount; ++i)
        text += RecordText(i, BmpBytes(ProblemPicture(random)));
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

// zlib alone: read the file and inflate it in one call into a buffer of the final size, a
// plain one or one on huge pages like the loader's (first touching small pages is costly on
// some machines, virtual ones above all).
double InflateOnly(const char* path, std::size_t inflatedSize, bool hugePages) {
    const auto start = Clock::now();
    const AnsiString compressed = ReadFile(path);
    const std::unique_ptr<char[]> plain(hugePages ? nullptr : new char[inflatedSize]);
    void* huge = hugePages ? BigBlock::Allocate(inflatedSize) : nullptr;
    char* inflated = hugePages ? static_cast<char*>(huge) : plain.get();
    uLongf size = static_cast<uLongf>(inflatedSize);
    const int result = uncompress(reinterpret_cast<Bytef*>(inflated), &size,
                                  reinterpret_cast<const Bytef*>(compressed.data()),
                                  static_cast<uLong>(compressed.size()));
    BigBlock::Free(huge, inflatedSize);
    if (result != Z_OK || size != inflatedSize) {
        std::fprintf(stderr, "problem_load_bench: zlib could not inflate the file\n");
        std::exit(1);
    }
    return Seconds(Clock::now() - start);
}

int Measure(const char* path, std::size_t inflatedSize) {
    const double baseline = PeakRssBytes();
    TPracDataManage container;
    auto start = Clock::now();
    try {
        container.LoadFromFile(path);
    } catch (const Exception& error) {
        std::fprintf(stderr, "problem_load_bench: load failed: %s\n", error.Message.c_str());
        return 1;
    }
    double load = Seconds(Clock::now() - start);
    const double peak = PeakRssBytes();
    const QImage& first = container.Items(0).Bitmap;
    std::printf("loaded: %d records, pictures %dx%d\n", container.Count(), first.width(),
                first.height());
    for (int round = 1; round < Rounds; ++round) {
        container.Clear();
        start = Clock::now();
        container.LoadFromFile(path);
        load = std::min(load, Seconds(Clock::now() - start));
    }
    container.Clear();
    double inflate = InflateOnly(path, inflatedSize, false);
    double inflateHuge = InflateOnly(path, inflatedSize, true);
    for (int round = 1; round < Rounds; ++round) {
        inflate = std::min(inflate, InflateOnly(path, inflatedSize, false));
        inflateHuge = std::min(inflateHuge, InflateOnly(path, inflatedSize, true));
    }

    std::printf("load:         %8.1f ms (best of %d)\n", load * 1000, Rounds);
    std::printf("inflate only: %8.1f ms (best of %d)\n", inflate * 1000, Rounds);
    std::printf("ratio:        %8.2f (goal <= 1.5)\n", load / inflate);
    std::printf("inflate only, huge pages: %8.1f ms, ratio %.2f\n", inflateHuge * 1000,
                load / inflateHuge);
    std::printf("peak RSS:     %8.1f MiB (%.1f MiB before the load)\n", peak / 1048576.0,
                baseline / 1048576.0);
    std::printf("peak / inflated size: %.2f (goal <= 3)\n",
                peak / static_cast<double>(inflatedSize));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--load")
        return Measure(argv[2], std::stoull(argv[3]));
    QTemporaryDir folder;
    const std::string path = folder.filePath("train.db").toStdString();
    const std::size_t inflatedSize = Generate(path);
    std::fflush(stdout);
    const std::string size = std::to_string(inflatedSize);
    const pid_t child = fork();
    if (child == 0) {
        execl("/proc/self/exe", argv[0], "--load", path.c_str(), size.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
