// The main connection's reply dispatch driven by the server's reads over loopback TCP, with the
// widgets bound as the main window binds them and an answer file requested, so that the upload
// replies have a file to read and delete.
#include "FuzzSupport.h"
#include "ScriptedTeacherServer.h"
#include "TestSupport.h"
#include "UnitSocketClient.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {

// The widgets the connection object switches, bound as the main window binds them.
struct TWidgets {
    TWidgets() {
        PollTimer.setInterval(500);
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

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ProgramFolder folder;
    // Two blocks and a bit, so that "05" reads whole and short blocks.
    AnsiString answer;
    while (answer.size() < 2100)
        answer += "x = x + 1;\r\n";
    folder.Write("answer.m", answer);

    ScriptedTeacherServer server;
    TWidgets widgets;
    TSClient client; // declared last: it goes before the widgets it refers to
    widgets.BindTo(client);
    client.FIdentity = "0A1B2C3D4E5F?高等数学?2023001";
    client.FStudentNo = "2023001";
    TReadFeeder feeder(*client.FSocket);
    FuzzCheck(client.ConnectServer("127.0.0.1", server.Port(), true) &&
                  server.WaitForConnections(1),
              "the client connects to the server");
    client.SendFileRequest("1", "key", folder.File("answer.m"));
    for (const AnsiString& read : SplitReads(data, size))
        if (!feeder.Feed(server, read))
            break;
    return 0;
}
