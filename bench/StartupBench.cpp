// Times the real program's start-up, from starting the process to its main window's first
// painted frame, against an empty QMainWindow of the same size built with the same flags. Each
// start is a fresh process run from a folder holding only the executable, in a private network
// namespace so that port 1999 is free; program and floor alternate.
#include "ChildRuns.h"

#include "Pellucan.h"
#include "UnitMain.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 9;
constexpr int kPushPort = 1999;

long long MonotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// Prints the moment the first frame of a main window is out and ends the process: a zero timer
// started from the window's first paint runs once the whole frame is painted and flushed.
class TFirstFrame : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!FSeen && event->type() == QEvent::Paint && watched->isWidgetType() &&
            qobject_cast<QMainWindow*>(static_cast<QWidget*>(watched)->window())) {
            FSeen = true;
            QTimer::singleShot(0, [] {
                std::printf("%lld\n", MonotonicNs());
                std::fflush(stdout);
                ::_exit(0);
            });
        }
        return false;
    }

private:
    bool FSeen = false;
};

void InstallFirstFrameHook() {
    qApp->installEventFilter(new TFirstFrame(qApp));
}
Q_COREAPP_STARTUP_FUNCTION(InstallFirstFrameHook)

// The floor; with withText, the same window showing one line in the form's font as well, which
// tells how much of the program's start-up the font system and the CJK font take.
int RunFloor(int argc, char** argv, bool withText) {
    QApplication application(argc, argv);
    QMainWindow window;
    window.resize(1239, 814);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    if (withText) {
        auto* line = new QLabel(QString::fromUtf16(u"（一）答题前，先执行以下三步:"), &window);
        QFont font = line->font();
        font.setFamily(FormFontFamily());
        font.setPixelSize(19);
        line->setFont(font);
        window.setCentralWidget(line);
    }
    window.show();
    return application.exec();
}

void WriteFile(const char* path, const std::string& text) {
    std::ofstream(path) << text;
}

// A private network namespace (inside a user namespace, so no privilege is needed) in which no
// other program holds port 1999.
bool EnterPrivateNetwork() {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        return false;
    WriteFile("/proc/self/setgroups", "deny");
    WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
    WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    return true;
}

bool PushPortFree() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kPushPort);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return free;
}

// Milliseconds from starting the child to its first frame.
double TimeStart(const std::string& exe, const char* mode) {
    const long long start = MonotonicNs();
    const long long frame = std::atoll(RunChild({exe, mode}).c_str());
    return (frame - start) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "program")
        return ProgramMain(argc - 1, argv);
    if (argc == 2 && std::string(argv[1]) == "floor")
        return RunFloor(argc - 1, argv, false);
    if (argc == 2 && std::string(argv[1]) == "text")
        return RunFloor(argc - 1, argv, true);
    if (argc != 1) {
        std::fprintf(stderr, "usage: %s [program | floor | text]\n", argv[0]);
        return 2;
    }
    const bool privateNetwork = EnterPrivateNetwork();
    if (!privateNetwork && !PushPortFree()) {
        std::fprintf(stderr, "startup_bench: no private network namespace and port %d is taken\n",
                     kPushPort);
        return 1;
    }
    // The program folder holds the executable alone; the windows register their titles in a
    // private folder of temporary files.
    QTemporaryDir folder;
    QTemporaryDir temp;
    const std::string exe = folder.path().toStdString() + "/Pellucan";
    std::filesystem::copy_file(std::filesystem::read_symlink("/proc/self/exe"), exe);
    ::setenv("TMPDIR", temp.path().toUtf8().constData(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    try {
        TimeStart(exe, "program"); // loads the libraries into the page cache for both sides
        std::vector<double> program, floor, ratio, text;
        for (int round = 0; round < kRounds; ++round) {
            program.push_back(TimeStart(exe, "program"));
            floor.push_back(TimeStart(exe, "floor"));
            text.push_back(TimeStart(exe, "text"));
            ratio.push_back(program.back() / floor.back());
            std::printf("round %d: program %.1f ms, floor %.1f ms, ratio %.2f; floor with one "
                        "line of text %.1f ms\n",
                        round + 1, program.back(), floor.back(), ratio.back(), text.back());
            std::fflush(stdout);
        }
        std::printf("start-up to the first painted frame, offscreen, %d rounds, alternating, %s\n",
                    kRounds,
                    privateNetwork ? "in a private network namespace" : "port 1999 found free");
        const auto print = [](const char* what, const TSpread& s) {
            std::printf("  %-26s min %8.2f  median %8.2f  max %8.2f\n", what, s.Min, s.Median,
                        s.Max);
        };
        print("program (ms)", Spread(program));
        print("empty QMainWindow (ms)", Spread(floor));
        print("ratio (goal: within 1.5)", Spread(ratio));
        print("floor + one line (ms)", Spread(text));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "startup_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
