// Times one answer upload of a 4 MiB file through TSClient against a loopback server that
// pulls blocks as fast as it can, and the same client-side exchange as a bare blocking loop.
#include "UnitSocketClient.h"

#include "AnsiString.h"

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
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kFileSize = 4 * 1024 * 1024;
constexpr int kBlockSize = 1024;
constexpr int kHeaderSize = 15;
constexpr int kRounds = 5;
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

// The floor: the same client-side exchange as a bare blocking loop.
double UploadWithBlockingLoop(int port, const std::string& fileName) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        Fail("connect");
    SetNoDelay(fd);
    const auto start = Clock::now();
    SendText(fd, "01" + kIdentity + "?1?key?" + fileName);
    int file = -1;
    for (;;) {
        const std::string reply = ReceiveSome(fd);
        const std::string code = reply.substr(0, 2);
        if (code == "03") {
            file = ::open(fileName.c_str(), O_RDONLY);
            if (file < 0)
                Fail("open " + fileName);
            const off_t size = ::lseek(file, 0, SEEK_END);
            ::lseek(file, 0, SEEK_SET);
            SendText(fd, "00" + kIdentity + "?" + std::to_string(size) + "?" +
                             std::to_string((size + kBlockSize - 1) / kBlockSize));
        } else if (code == "05") {
            char block[kHeaderSize + kBlockSize] = {};
            std::memcpy(block, kStudentNo.data(), std::min<size_t>(kStudentNo.size(), 15));
            const ssize_t n = ::read(file, block + kHeaderSize, kBlockSize);
            if (n < 0)
                Fail("read");
            SendAll(fd, block, static_cast<size_t>(kHeaderSize + n));
        } else if (code == "09") {
            break;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(file);
    ::close(fd);
    return seconds;
}

// The client under test, driven by the event loop exactly as the main window drives it.
double UploadWithClient(int port, const std::string& fileName) {
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
    const auto start = Clock::now();
    client.SetBusy(true);
    client.SendFileRequest("1", "key", fileName);
    while (client.IsBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return std::chrono::duration<double>(Clock::now() - start).count();
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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
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
    const long residentBefore = PeakResidentKiB();
    std::vector<double> clientTimes, floorTimes;
    long residentAfterClient = 0;
    for (int round = 0; round < kRounds; ++round) {
        clientTimes.push_back(UploadWithClient(server.Port(), fileName));
        residentAfterClient = PeakResidentKiB();
        floorTimes.push_back(UploadWithBlockingLoop(server.Port(), fileName));
    }
    serverThread.join();
    for (size_t i = 1; i < received.size(); ++i)
        if (received[i] != kFileSize)
            Fail("an upload lost bytes");

    const double client = Median(clientTimes);
    const double floor = Median(floorTimes);
    std::printf("upload of %d bytes (%d blocks), median of %d rounds\n", kFileSize,
                kFileSize / kBlockSize, kRounds);
    std::printf("  TSClient:            %8.1f ms\n", client * 1000);
    std::printf("  blocking-loop floor: %8.1f ms\n", floor * 1000);
    std::printf("  ratio:               %8.2f (goal: at most 1.50)\n", client / floor);
    std::printf("  peak resident set:   %ld KiB after a warm-up upload, %ld KiB after the client's "
                "uploads (+%ld KiB; file %d KiB)\n",
                residentBefore, residentAfterClient, residentAfterClient - residentBefore,
                kFileSize / 1024);
    return 0;
}
