// Times one answer upload of a 4 MiB file through TSClient against a loopback server that
// pulls blocks as fast as it can, and the same exchange as a bare blocking loop (the floor),
// alternating the two, with the whole process pinned to one processor.
#include "UnitSocketClient.h"

#include "AnsiString.h"
#include "ChildRuns.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kFileSize = 4 * 1024 * 1024;
constexpr int kBlockSize = 1024;
constexpr int kHeaderSize = 15;
constexpr int kRounds = 9;
const AnsiString kIdentity = "001122334455?bench?20260001";
const AnsiString kStudentNo = "20260001";

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "upload_bench: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

void SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            Fail("send");
        data += sent;
        size -= static_cast<size_t>(sent);
    }
}

void SendText(int fd, const std::string& text) {
    SendAll(fd, text.data(), text.size());
}

// Whatever one read yields, as the client's own framing rule takes it.
std::string ReceiveSome(int fd) {
    char buffer[4096];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0)
        Fail("recv");
    return std::string(buffer, static_cast<size_t>(got));
}

void ReceiveExactly(int fd, char* buffer, size_t size) {
    while (size > 0) {
        const ssize_t got = ::recv(fd, buffer, size, 0);
        if (got <= 0)
            Fail("recv block");
        buffer += got;
        size -= static_cast<size_t>(got);
    }
}

void SetNoDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// The teacher's side: one upload per session, every block asked for as soon as the previous
// one is in. A connection that closes without a request (a superseded connect attempt) is
// dropped and the next one waited for.
class PullingServer {
public:
    PullingServer() {
        FListen = ::socket(AF_INET, SOCK_STREAM, 0);
        if (FListen < 0)
            Fail("socket");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(FListen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(FListen, 8) != 0)
            Fail("listen");
        socklen_t length = sizeof address;
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
    }
    ~PullingServer() { ::close(FListen); }
    int Port() const { return FPort; }

    // Serves `sessions` uploads in turn; returns the bytes of file received per session.
    std::vector<long long> Serve(int sessions) {
        std::vector<long long> received;
        for (int i = 0; i < sessions; ++i)
            received.push_back(ServeOne());
        return received;
    }

private:
    int AcceptRequester(std::string& request) {
        std::vector<pollfd> fds{{FListen, POLLIN, 0}};
        for (;;) {
            if (::poll(fds.data(), fds.size(), -1) < 0)
                Fail("poll");
            for (size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char buffer[4096];
                const ssize_t got = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
                if (got > 0) {
                    request.assign(buffer, static_cast<size_t>(got));
                    const int chosen = fds[i].fd;
                    for (size_t j = 1; j < fds.size(); ++j)
                        if (j != i)
                            ::close(fds[j].fd);
                    return chosen;
                }
                ::close(fds[i].fd);
                fds.erase(fds.begin() + static_cast<long>(i));
                --i;
            }
            if (fds[0].revents & POLLIN) {
                const int fd = ::accept(FListen, nullptr, nullptr);
                if (fd < 0)
                    Fail("accept");
                SetNoDelay(fd);
                fds.push_back({fd, POLLIN, 0});
            }
        }
    }

    long long ServeOne() {
        std::string request;
        const int fd = AcceptRequester(request);
        if (request.compare(0, 2, "01") != 0)
            Fail("expected the file request, got " + request);
        SendText(fd, "03");
        const std::string info = ReceiveSome(fd);
        const size_t countAt = info.rfind('?');
        if (info.compare(0, 2, "00") != 0 || countAt == std::string::npos)
            Fail("expected the file size, got " + info);
        const size_t sizeAt = info.rfind('?', countAt - 1);
        const long long size = std::stoll(info.substr(sizeAt + 1, countAt - sizeAt - 1));
        const long long count = std::stoll(info.substr(countAt + 1));
        std::vector<char> block(kHeaderSize + kBlockSize);
        long long remaining = size;
        for (long long i = 0; i < count; ++i) {
            const long long n = std::min<long long>(remaining, kBlockSize);
            SendText(fd, "05");
            ReceiveExactly(fd, block.data(), static_cast<size_t>(kHeaderSize + n));
            remaining -= n;
        }
        SendText(fd, "09");
        // The client closes; wait for it so that the next session starts clean.
        char rest[256];
        while (::recv(fd, rest, sizeof rest, 0) > 0) {
        }
        ::close(fd);
        return size - remaining;
    }

    int FListen = -1;
    int FPort = 0;
};

// Wall time and the main thread's processor time of one upload.
struct Timing {
    double Wall = 0;
    double Processor = 0;
};

double ThreadProcessorSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class Stopwatch {
public:
    Timing Elapsed() const {
        return {std::chrono::duration<double>(Clock::now() - FWall).count(),
                ThreadProcessorSeconds() - FProcessor};
    }

private:
    Clock::time_point FWall = Clock::now();
    double FProcessor = ThreadProcessorSeconds();
};

// The floor: the same exchange as a bare blocking loop, the file taken in one read into a
// buffer of its size, touched before (and kept across rounds).
Timing UploadWithBlockingLoop(int port, const std::string& fileName, std::vector<char>& file) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        Fail("connect");
    SetNoDelay(fd);
    const Stopwatch stopwatch;
    SendText(fd, "01" + kIdentity + "?1?key?" + fileName);
    size_t offset = 0;
    char block[kHeaderSize + kBlockSize] = {};
    std::memcpy(block, kStudentNo.data(), std::min<size_t>(kStudentNo.size(), kHeaderSize));
    for (;;) {
        const std::string reply = ReceiveSome(fd);
        const std::string code = reply.substr(0, 2);
        if (code == "03") {
            const int input = ::open(fileName.c_str(), O_RDONLY);
            struct stat status {};
            if (input < 0 || ::fstat(input, &status) != 0)
                Fail("open " + fileName);
            if (static_cast<size_t>(status.st_size) != file.size())
                Fail("unexpected size of " + fileName);
            if (::read(input, file.data(), file.size()) != static_cast<ssize_t>(file.size()))
                Fail("read " + fileName);
            ::close(input);
            SendText(fd, "00" + kIdentity + "?" + std::to_string(file.size()) + "?" +
                             std::to_string((file.size() + kBlockSize - 1) / kBlockSize));
        } else if (code == "05") {
            const size_t n = std::min<size_t>(kBlockSize, file.size() - offset);
            std::memcpy(block + kHeaderSize, file.data() + offset, n);
            offset += n;
            SendAll(fd, block, kHeaderSize + n);
        } else if (code == "09") {
            break;
        }
    }
    const Timing timing = stopwatch.Elapsed();
    ::close(fd);
    return timing;
}

// The client under test, driven by the event loop exactly as the main window drives it.
Timing UploadWithClient(int port, const std::string& fileName) {
    QPlainTextEdit log;
    QPushButton sendFile, sendMessage, requestScore, selectFile;
    TSClient client;
    client.FBtnSendFile = &sendFile;
    client.FBtnSendMessage = &sendMessage;
    client.FBtnRequestScore = &requestScore;
    client.FBtnSelectFile = &selectFile;
    client.FLog = &log;
    client.FIdentity = kIdentity;
    client.FStudentNo = kStudentNo;
    if (!client.ConnectServer("127.0.0.1", port, true))
        Fail("TSClient could not connect");
    const Stopwatch stopwatch;
    client.SetBusy(true);
    client.SendFileRequest("1", "key", fileName);
    while (client.IsBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return stopwatch.Elapsed();
}

// The load averages over 1, 5 and 15 minutes: how busy the machine was.
std::string LoadAverage() {
    double load[3] = {};
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3)
            load[0] = load[1] = load[2] = 0;
        std::fclose(file);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

long PeakResidentKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Written in pieces so that the peak resident set never holds the whole file.
std::string MakeRandomFile(const QTemporaryDir& dir) {
    const std::string fileName = dir.path().toStdString() + "/answer.bin";
    FILE* file = std::fopen(fileName.c_str(), "wb");
    if (!file)
        Fail("create " + fileName);
    std::mt19937 random(2026);
    std::vector<char> piece(64 * 1024);
    for (int written = 0; written < kFileSize; written += static_cast<int>(piece.size())) {
        for (char& byte : piece)
            byte = static_cast<char>(random());
        if (std::fwrite(piece.data(), 1, piece.size(), file) != piece.size())
            Fail("write " + fileName);
    }
    if (std::fclose(file) != 0)
        Fail("close " + fileName);
    return fileName;
}

// Pins the whole process (client, floor and server thread) to one processor: the one named on
// the command line, else the last one it may run on. Unpinned, wake-ups across processors
// hide what each side costs.
int PinToOneProcessor(int argc, char** argv) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        Fail("sched_getaffinity");
    int processor = -1;
    if (argc > 1)
        processor = std::atoi(argv[1]);
    else
        for (int i = 0; i < CPU_SETSIZE; ++i)
            if (CPU_ISSET(i, &allowed))
                processor = i;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(processor, &one);
    if (processor < 0 || ::sched_setaffinity(0, sizeof one, &one) != 0)
        Fail("pin to processor " + std::to_string(processor));
    return processor;
}

void PrintRow(const char* name, const TSpread& spread, double scale, const char* unit) {
    std::printf("  %-26s %8.2f %8.2f %8.2f %s\n", name, spread.Min * scale, spread.Median * scale,
                spread.Max * scale, unit);
}

} // namespace

int main(int argc, char** argv) {
    const int processor = PinToOneProcessor(argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        Fail("temporary folder");
    const std::string fileName = MakeRandomFile(dir);
    const std::string warmUpFileName = dir.path().toStdString() + "/warmup.bin";
    if (FILE* warmUp = std::fopen(warmUpFileName.c_str(), "wb"); !warmUp || std::fclose(warmUp))
        Fail("create " + warmUpFileName);

    PullingServer server;
    std::vector<long long> received;
    std::thread serverThread([&] { received = server.Serve(1 + 2 * kRounds); });
    // Widgets, fonts and sockets come up once; what grows after this is the uploads' own.
    UploadWithClient(server.Port(), warmUpFileName);
    std::vector<char> floorBuffer(kFileSize, 1);
    const long residentBefore = PeakResidentKiB();
    std::vector<double> clientWall, floorWall, clientProcessor, floorProcessor, ratios;
    long residentAfterClient = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Alternating which goes first, so that neither always meets a warmer cache.
        Timing client, floor;
        if (round % 2 == 0) {
            client = UploadWithClient(server.Port(), fileName);
            residentAfterClient = PeakResidentKiB();
            floor = UploadWithBlockingLoop(server.Port(), fileName, floorBuffer);
        } else {
            floor = UploadWithBlockingLoop(server.Port(), fileName, floorBuffer);
            client = UploadWithClient(server.Port(), fileName);
            residentAfterClient = PeakResidentKiB();
        }
        clientWall.push_back(client.Wall);
        clientProcessor.push_back(client.Processor);
        floorWall.push_back(floor.Wall);
        floorProcessor.push_back(floor.Processor);
        ratios.push_back(client.Wall / floor.Wall);
    }
    serverThread.join();
    for (size_t i = 1; i < received.size(); ++i)
        if (received[i] != kFileSize)
            Fail("an upload lost bytes");

    std::printf("upload of %d bytes (%d blocks), %d alternating rounds, pinned to processor %d\n",
                kFileSize, kFileSize / kBlockSize, kRounds, processor);
    std::printf("  %-26s %8s %8s %8s\n", "", "min", "median", "max");
    PrintRow("TSClient wall", Spread(clientWall), 1000, "ms");
    PrintRow("TSClient main thread CPU", Spread(clientProcessor), 1000, "ms");
    PrintRow("floor wall", Spread(floorWall), 1000, "ms");
    PrintRow("floor main thread CPU", Spread(floorProcessor), 1000, "ms");
    PrintRow("ratio (per round)", Spread(ratios), 1, "(goal: at most 1.30)");
    std::printf("  peak resident set: %ld KiB after a warm-up upload, %ld KiB after the client's "
                "uploads (+%ld KiB; file %d KiB)\n",
                residentBefore, residentAfterClient, residentAfterClient - residentBefore,
                kFileSize / 1024);
    std::printf("  load average: %s\n", LoadAverage().c_str());
    return 0;
}
