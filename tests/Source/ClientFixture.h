// A TSClient bound to real widgets of its own, as the main window binds them, with a scripted
// teacher server on loopback and helpers to deliver server messages and read the log.
#pragma once

#include "Application.h"
#include "ScriptedTeacherServer.h"
#include "Sockets.h"
#include "TestSupport.h"
#include "UnitSocketClient.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

class ClientFixture : public ::testing::Test {
protected:
    // Machine identifier "?" course name "?" student number, as the main window joins it.
    inline static const AnsiString Identity = "0A1B2C3D4E5F?高等数学?2023001";
    static constexpr const char* Loopback = "127.0.0.1";
    // Read events the client's socket has delivered.
    int Reads = 0;

    ClientFixture() {
        Client.FBtnSendFile = &BtnSendFile;
        Client.FBtnSendMessage = &BtnSendMessage;
        Client.FBtnRequestScore = &BtnRequestScore;
        Client.FBtnSelectFile = &BtnSelectFile;
        Client.FLog = &Log;
        Client.FIdentity = Identity;
        Client.FStudentNo = "2023001";
        ClearLog();
        Client.FSocket->OnRead =
            [this, handle = Client.FSocket->OnRead](platform::TCustomWinSocket& socket) {
                ++Reads;
                handle(socket);
            };
        // The main window's poll timer: 500 ms, one shot; its tick disables it and polls once.
        PollTimer.setInterval(500);
        PollTimer.setSingleShot(true);
        QObject::connect(&PollTimer, &QTimer::timeout, [this] {
            Guarded([this] {
                PollTimer.stop();
                Client.PollServer();
            });
        });
    }

    // Opens the main connection to the scripted server and waits until the server has it.
    void Connect() {
        ASSERT_TRUE(Client.ConnectServer(Loopback, Server.Port(), true));
        ASSERT_TRUE(Server.WaitForConnections(1));
    }

    // What the main window binds when the student reports attendance.
    void BindReportWidgets() {
        Client.FPollTimer = &PollTimer;
        Client.FControls[0] = &BtnSendFile;
        Client.FControls[1] = &BtnRequestScore;
        Client.FControls[3] = &BtnDownNew;
        Client.FProblemBox = &ProblemBox;
    }

    // Sends one server message and waits until the client has handled it, so that the next one
    // cannot join it in one read, however loaded the machine.
    void Deliver(const AnsiString& message) {
        const int before = Reads;
        Server.Send(message);
        EXPECT_TRUE(WaitUntil([&] { return Reads > before; })) << "not read: " << message;
    }

    // Delivers the message and returns what the client sent in answer to it. The echo that the
    // server asks for next comes back behind everything the client sent before it, so nothing
    // is still on its way; the echo itself is left out.
    AnsiString SentAfter(const AnsiString& message) {
        const size_t before = Server.ReceivedSize();
        Deliver(message);
        const AnsiString echo = "04" + Client.FIdentity;
        Server.Send("04");
        const auto echoed = [&] {
            const AnsiString received = Server.Received();
            return received.size() >= before + echo.size() &&
                   received.compare(received.size() - echo.size(), echo.size(), echo) == 0;
        };
        if (!WaitUntil(echoed)) {
            ADD_FAILURE() << "no echo after: " << message;
            return Server.Received().substr(before);
        }
        const AnsiString received = Server.Received();
        return received.substr(before, received.size() - before - echo.size());
    }

    // Waits until the server has received exactly these bytes in all, joined.
    bool WaitForReceived(const AnsiString& bytes) {
        return WaitUntil([&] { return Server.ReceivedSize() >= bytes.size(); }) &&
               Server.Received() == bytes;
    }

    // The main window's log always holds its instructions before anything else arrives; an
    // entry that begins with CR LF shows its empty line only below earlier lines.
    void ClearLog() {
        Log.clear();
        Log.appendPlainText(QStringLiteral("instructions"));
    }
    // The lines written after the instructions.
    std::vector<AnsiString> Lines() const {
        std::vector<AnsiString> lines = LogLines(&Log);
        lines.erase(lines.begin());
        return lines;
    }

    ProgramFolder Folder;
    ScriptedTeacherServer Server;
    QPlainTextEdit Log;
    QPushButton BtnSendFile, BtnSendMessage, BtnRequestScore, BtnSelectFile, BtnDownNew;
    QComboBox ProblemBox;
    QTimer PollTimer;
    TSClient Client; // declared last: it goes before the widgets it refers to
};

// The same, already connected, with the report's widgets bound.
class ConnectedClientFixture : public ClientFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Connect());
        BindReportWidgets();
    }
};
