// The main connection's reply dispatch driven by the server's reads over loopback TCP, with the
// widgets bound as the main window binds them and an answer file requested, so that the upload
// replies have a file to read and delete. What the client sends in answer to each read is held
// against the answer file: on "03" its size, on each "05" of an upload the file's next block
// behind the student number, and no block at any other time.
#include "FuzzSupport.h"
#include "ScriptedTeacherServer.h"
#include "TestSupport.h"
#include "UnitSocketClient.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <string_view>

namespace {

const AnsiString Identity = "0A1B2C3D4E5F?高等数学?2023001";
const AnsiString StudentNo = "2023001";
constexpr std::size_t UploadHeaderBytes = 15;
constexpr std::size_t UploadBlockBytes = 1024;
// Two blocks and a bit, so that "05" reads whole and short blocks.
constexpr std::size_t AnswerBytes = 2100;

// The widgets the connection object switches, bound as the main window binds them.
struct TWidgets {
    TWidgets() {
        // Longer than any run: a poll would put a message of its own among the answers.
        PollTimer.setInterval(3600 * 1000);
        PollTimer.setSingleShot(true);
    }
    void BindTo(TSClient& client) {
        client.FBtnSendFile = &SendFile;
        client.FBtnSendMessage = &SendMessage;
        client.FBtnRequestScore = &RequestScore;
        client.FBtnSelectFile = &SelectFile;
        client.FLog = &Log;
        client.FPollTimer = &PollTimer;
        client.FControls[0] = &SendFile;
        client.FControls[1] = &RequestScore;
        client.FControls[3] = &DownNew;
        client.FProblemBox = &ProblemBox;
        client.FOnPortReady = [](int) {};
        client.FOnClientIndex = [] {};
    }
    QPushButton SendFile, SendMessage, RequestScore, SelectFile, DownNew;
    QPlainTextEdit Log;
    QComboBox ProblemBox;
    QTimer PollTimer;
};

std::size_t Occurrences(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos;
         at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// What the client sent in answer to the read: everything before its echo of a "14" read sent
// behind it (a "14" read has an echo of its own first). False when the connection went down.
bool TakeAnswer(ScriptedTeacherServer& server, TReadFeeder& feeder, const AnsiString& read,
                std::size_t& taken, AnsiString& answer) {
    const AnsiString echo = "14" + Identity;
    const std::size_t echoes = read.starts_with("14") ? 2 : 1;
    if (!feeder.Feed(server, "14") || !WaitUntil([&] {
            return Occurrences(std::string_view(server.Received()).substr(taken), echo) >= echoes;
        }))
        return false;
    const AnsiString received = server.Received();
    answer = received.substr(taken, received.size() - echo.size() - taken);
    taken = received.size();
    return true;
}

// The upload as the answers show it: one starts at each size announcement and reads the file
// block by block until a reply ends it.
class TUploadCheck {
public:
    explicit TUploadCheck(const AnsiString& file) : FFile(file) {}

    void Check(const AnsiString& read, const AnsiString& answer) {
        const AnsiString code = read.substr(0, 2);
        if (code == "05" && FUploading) {
            const AnsiString block = FFile.substr(FSent, UploadBlockBytes);
            FuzzCheck(answer == Header() + block, "a block asked for is the file's next bytes");
            FSent += block.size();
            return;
        }
        FuzzCheck(answer.find(Header()) == AnsiString::npos, "no block goes out unasked");
        if (code == "03" && answer.starts_with("00")) {
            const std::size_t blocks = (FFile.size() + UploadBlockBytes - 1) / UploadBlockBytes;
            FuzzCheck(answer == "00" + Identity + "?" +
                                    IntToStr(static_cast<long long>(FFile.size())) + "?" +
                                    IntToStr(static_cast<long long>(blocks)),
                      "an upload announces the file's size and blocks");
            FUploading = true;
            FSent = 0;
        } else if (code == "09" || code == "02" || code == "28" || code == "06") {
            FUploading = false;
        }
    }

private:
    static AnsiString Header() {
        AnsiString header = StudentNo;
        header.resize(UploadHeaderBytes, '\0');
        return header;
    }

    const AnsiString FFile;
    bool FUploading = false;
    std::size_t FSent = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ProgramFolder folder;
    const AnsiString answer = FileBytes(AnswerBytes);
    folder.Write("answer.m", answer);

    ScriptedTeacherServer server;
    TWidgets widgets;
    TSClient client; // declared last: it goes before the widgets it refers to
    widgets.BindTo(client);
    client.FIdentity = Identity;
    client.FStudentNo = StudentNo;
    TReadFeeder feeder(*client.FSocket);
    FuzzCheck(client.ConnectServer("127.0.0.1", server.Port(), true) &&
                  server.WaitForConnections(1),
              "the client connects to the server");
    client.SendFileRequest("1", "key", folder.File("answer.m"));
    std::size_t taken = 0;
    AnsiString reply;
    FuzzCheck(TakeAnswer(server, feeder, "", taken, reply), "the client asks to send its answer");
    TUploadCheck upload(answer);
    for (const AnsiString& read : SplitReads(data, size)) {
        if (!feeder.Feed(server, read) || !TakeAnswer(server, feeder, read, taken, reply))
            break;
        upload.Check(read, reply);
    }
    return 0;
}
