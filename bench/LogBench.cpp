// Times one and a half times the log's bound of lines through the log function into the main
// window's log against a bare QPlainTextEdit of the same bound taking the same lines with
// appendPlainText, each side in fresh processes run alternately, and reports the log's memory.
// Then times a server's flood of messages of line breaks into the main window's log.
#include "ChildRuns.h"

#include "AnsiString.h"
#include "Codec.h"
#include "LogView.h"
#include "UnitMain.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QWindow>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Past the bound, so that both sides drop their oldest lines as a long session would.
constexpr int kLines = LogLinesMax / 2 * 3;
constexpr int kRounds = 5;
// The flood: "08" messages whose text is 64 KiB of line breaks.
constexpr int kFloodMessages = 3000;
constexpr size_t kFloodMessageBytes = 64 * 1024;
// Lines taken between two turns of the event loop, as a burst of replies brings them; a paint
// after every single line would measure the offscreen painter instead of the log.
constexpr int kLinesPerTurn = 100;

using Clock = std::chrono::steady_clock;

// Lines as the log gets them during a lesson: time-stamped replies, some with a file name.
std::vector<AnsiString> LessonLines() {
    std::vector<AnsiString> lines;
    lines.reserve(kLines);
    for (int i = 0; i < kLines; ++i) {
        const AnsiString stamp = Format("%02d:%02d:%02d", 8 + i / 3600 % 10, i / 60 % 60, i % 60);
        lines.push_back(i % 2 ? stamp + "  发送文件成功, 文件名: D:\\作业\\answer" + IntToStr(i) +
                                    ".m"
                              : stamp + " 服务端收到了您发送的消息！ ");
    }
    return lines;
}

void WaitExposed(QWidget& widget) {
    widget.show();
    while (!widget.windowHandle() || !widget.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    QApplication::processEvents();
}

// Appends every line, letting the loop run after every burst as the socket events that bring them
// do, and prints the time in milliseconds and the growth of the resident set in KiB.
template <typename Append> void TimeAppends(QWidget& shown, QPlainTextEdit& log, Append append) {
    const std::vector<AnsiString> lines = LessonLines();
    WaitExposed(shown);
    const long before = ResidentKiB();
    const Clock::time_point start = Clock::now();
    for (size_t i = 0; i < lines.size(); ++i) {
        append(log, lines[i]);
        if ((i + 1) % kLinesPerTurn == 0)
            QApplication::processEvents();
    }
    log.repaint();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("%.1f %ld %d\n", ms, ResidentKiB() - before, log.blockCount());
    std::fflush(stdout);
    // Closing the window would write its settings beside the benchmark.
    ::_exit(0);
}

void RunClient() {
    const ScopedPushPort anyFreePort(0);
    TFormMain window;
    TimeAppends(window, *window.Memo1,
                [](QPlainTextEdit& log, const AnsiString& line) { AppendLogEntry(&log, line); });
}

// The same widget as the main window's log, alone and of the same size.
void RunFloor(int width, int height) {
    QPlainTextEdit log;
    QFont font = log.font();
    font.setFamily(FormFontFamily());
    font.setPixelSize(19);
    log.setFont(font);
    log.setLineWrapMode(QPlainTextEdit::NoWrap);
    log.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log.resize(width, height);
    log.setMaximumBlockCount(LogLinesMax);
    TimeAppends(log, log, [](QPlainTextEdit& edit, const AnsiString& line) {
        edit.appendPlainText(ToQString(line));
    });
}

// Each message as the main connection logs a server message, with the loop run after each as
// the socket events that bring them do; prints milliseconds, the growth of the resident set in
// KiB and the lines the log holds.
void RunFlood() {
    const ScopedPushPort anyFreePort(0);
    TFormMain window;
    WaitExposed(window);
    const AnsiString entry = "\r\n08:00:00 服务端消息: \r\n" + AnsiString(kFloodMessageBytes, '\n');
    const long before = ResidentKiB();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kFloodMessages; ++i) {
        AppendLogEntry(window.Memo1, entry);
        QApplication::processEvents();
    }
    window.Memo1->repaint();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("%.1f %ld %d\n", ms, ResidentKiB() - before, window.Memo1->blockCount());
    std::fflush(stdout);
    ::_exit(0);
}

// The size the main window gives its log.
void PrintLogSize() {
    const ScopedPushPort anyFreePort(0);
    TFormMain window;
    WaitExposed(window);
    std::printf("%d %d\n", window.Memo1->width(), window.Memo1->height());
    std::fflush(stdout);
    ::_exit(0);
}

struct TRun {
    double Ms;
    double Kib;
};

TRun ParseRun(const std::string& output) {
    TRun run{};
    std::sscanf(output.c_str(), "%lf %lf", &run.Ms, &run.Kib);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 2) {
        QApplication application(argc, argv);
        const std::string mode = argv[1];
        if (mode == "client")
            RunClient();
        else if (mode == "flood")
            RunFlood();
        else if (mode == "size")
            PrintLogSize();
        else if (mode == "floor" && argc == 4)
            RunFloor(std::atoi(argv[2]), std::atoi(argv[3]));
        std::fprintf(stderr, "usage: %s [client | flood | size | floor WIDTH HEIGHT]\n", argv[0]);
        return 2;
    }
    // The windows register their titles in the folder of temporary files: a private one keeps
    // them from meeting a client running on the machine.
    QTemporaryDir temp;
    qputenv("TMPDIR", temp.path().toUtf8());
    const std::string self = "/proc/self/exe";
    char path[4096];
    const ssize_t length = ::readlink(self.c_str(), path, sizeof path - 1);
    const std::string exe(path, length > 0 ? static_cast<size_t>(length) : 0);
    try {
        int width = 0, height = 0;
        std::sscanf(RunChild({exe, "size"}).c_str(), "%d %d", &width, &height);
        std::vector<double> client, floor, ratio, clientKib, floorKib;
        for (int round = 0; round < kRounds; ++round) {
            const TRun c = ParseRun(RunChild({exe, "client"}));
            const TRun f =
                ParseRun(RunChild({exe, "floor", std::to_string(width), std::to_string(height)}));
            client.push_back(c.Ms);
            floor.push_back(f.Ms);
            ratio.push_back(c.Ms / f.Ms);
            clientKib.push_back(c.Kib);
            floorKib.push_back(f.Kib);
            std::printf("round %d: log %.0f ms, floor %.0f ms, ratio %.2f\n", round + 1, c.Ms, f.Ms,
                        c.Ms / f.Ms);
            std::fflush(stdout);
        }
        const auto print = [](const char* what, const TSpread& s, const char* unit) {
            std::printf("  %-28s min %9.2f  median %9.2f  max %9.2f %s\n", what, s.Min, s.Median,
                        s.Max, unit);
        };
        std::printf("%d lines into a %dx%d log of at most %d lines, %d rounds in fresh "
                    "processes, alternating\n",
                    kLines, width, height, LogLinesMax, kRounds);
        print("main window's log", Spread(client), "ms");
        print("appendPlainText floor", Spread(floor), "ms");
        print("ratio (goal: within 1.1)", Spread(ratio), "");
        print("log memory after the lines", Spread(clientKib), "KiB");
        print("floor memory after the lines", Spread(floorKib), "KiB");
        std::printf("  log memory per kept line: %.2f KiB (median)\n",
                    Spread(clientKib).Median / LogLinesMax);
        double floodMs = 0, floodKib = 0, floodLines = 0;
        std::sscanf(RunChild({exe, "flood"}).c_str(), "%lf %lf %lf", &floodMs, &floodKib,
                    &floodLines);
        std::printf("%d messages of %zu line breaks into the main window's log: %.0f ms, "
                    "%.0f KiB, %.0f lines kept\n",
                    kFloodMessages, kFloodMessageBytes, floodMs, floodKib, floodLines);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "log_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
