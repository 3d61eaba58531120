#include "FuzzSupport.h"

#include "ScriptedTeacherServer.h"
#include "TestSupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

// The fuzz build turns the sources into GB18030 before clang sees them; a literal that is not
// GBK here means the program under test is not the one that ships.
static_assert(sizeof("文") == 3 && "文"[0] == '\xCE' && "文"[1] == '\xC4',
              "narrow literals must be GBK bytes");

namespace {

int gBoxesShown = 0;

// Closes every message box right after it shows, and counts it; a box's own loop then ends at
// once.
class TBoxAnswerer : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                ++gBoxesShown;
                QTimer::singleShot(0, box, [box] { box->done(QMessageBox::Ok); });
            }
        return false;
    }
};

constexpr int ReadWaitMs = 2000;

} // namespace

void StartFuzzApplication() {
    if (QApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzzer";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's caches stay reachable, so the leak check at exit finds nothing.
    static auto* application = new QApplication(argc, argv);
    static auto* answerer = new TBoxAnswerer;
    application->installEventFilter(answerer);
}

int BoxesShown() {
    return gBoxesShown;
}

void FuzzCheck(bool condition, const char* what) {
    if (condition)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

std::vector<AnsiString> SplitReads(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<AnsiString> reads;
    std::size_t start = 0;
    while (start <= input.size()) {
        std::size_t end = input.find(ReadSeparator, start);
        if (end == std::string_view::npos)
            end = input.size();
        if (end > start)
            reads.emplace_back(input.substr(start, end - start));
        start = end + ReadSeparator.size();
    }
    return reads;
}

TReadFeeder::TReadFeeder(platform::TClientSocket& socket) : FSocket(socket) {
    FSocket.OnRead = [this, handle = FSocket.OnRead](platform::TCustomWinSocket& connection) {
        ++FReads;
        handle(connection);
    };
}

bool TReadFeeder::Connect(ScriptedTeacherServer& server) {
    FSocket.SetAddress("127.0.0.1");
    FSocket.SetPort(server.Port());
    FSocket.Open();
    return FSocket.WaitForConnected(ReadWaitMs) && server.WaitForConnections(1, ReadWaitMs);
}

bool TReadFeeder::Feed(ScriptedTeacherServer& server, const AnsiString& read) {
    const int before = FReads;
    server.Send(read);
    const bool taken = WaitUntil(
        [&] {
            return !FSocket.Active() || (FReads > before && FSocket.Socket().ReceiveLength() == 0);
        },
        ReadWaitMs);
    return taken && FSocket.Active();
}
