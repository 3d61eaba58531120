// A main window built in a private program folder, on scripted hardware, with every modal box
// closed and recorded.
#pragma once

#include "AnsiString.h"
#include "Codec.h"
#include "FakeHardware.h"
#include "ScriptedTeacherServer.h"
#include "Sockets.h"
#include "TestSupport.h"
#include "UnitMain.h"
#include "UnitSocketClient.h"
#include "UnitThreadReceiverNew.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// Points the folder of temporary files, where the windows register their titles, at a private
// folder while it lives, so that test windows and a client running on the machine never meet.
class PrivateTempFolder {
public:
    PrivateTempFolder() : FSaved(qgetenv("TMPDIR")) { qputenv("TMPDIR", FFolder.path().toUtf8()); }
    ~PrivateTempFolder() { qputenv("TMPDIR", FSaved); }
    QString Path() const { return FFolder.path(); }

private:
    QByteArray FSaved;
    QTemporaryDir FFolder;
};

// The first adapter's address as the scripted hardware reports it.
inline const AnsiString FirstAdapterId = "001A2B3C4D5E";

// The texts of a combo box's items, as the system's bytes.
inline std::vector<AnsiString> Items(const QComboBox* box) {
    std::vector<AnsiString> items;
    for (int i = 0; i < box->count(); ++i)
        items.push_back(FromQString(box->itemText(i)));
    return items;
}

// The 15-byte header of every upload block for the student number 2023001.
inline const AnsiString BlockHeader = AnsiString("2023001") + AnsiString(8, '\0');
// The run-time limit that the check of a Matlab program puts after every loop line.
inline const AnsiString LoopTimeCheck =
    "if cputime - t0_syschk>30, error('Cost too much time.'); end";

// The server pulls every answer file asked for, block by block, and ends each upload with the
// outcome reply.
inline void ServeUploads(ScriptedTeacherServer& server, const AnsiString& outcome) {
    server.OnCode("01", "03");
    server.OnCode("00", "05");
    server.OnCode("20", outcome); // the block, behind the header "2023001..."
}

// The messages the server has received that begin with these bytes, in order.
inline std::vector<AnsiString> MessagesStartingWith(const ScriptedTeacherServer& server,
                                                    const AnsiString& start) {
    std::vector<AnsiString> found;
    for (const AnsiString& message : server.MessageTexts())
        if (message.rfind(start, 0) == 0)
            found.push_back(message);
    return found;
}

class MainWindowTest : public testing::Test {
protected:
    MainWindowTest() {
        Hardware.Adapters.List = {{.Number = 0, .Address = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}}};
    }

    TFormMain& CreateWindow() {
        Window = std::make_unique<TFormMain>();
        return *Window;
    }
    void CloseWindow() { Window->close(); }
    // Server address and port of the window set to the scripted server on the loopback address.
    static void PointAt(TFormMain& w, const ScriptedTeacherServer& server) {
        w.cbxIP->setEditText(QStringLiteral("127.0.0.1"));
        w.Edit_Port->setMaximum(65535);
        w.Edit_Port->setValue(server.Port());
    }

    // A window pointed at the server, with the course, the student number "2023001" and the
    // password "472" typed.
    TFormMain& CreateWindowFor(const ScriptedTeacherServer& server,
                               const AnsiString& course = "高等数学") {
        TFormMain& w = CreateWindow();
        PointAt(w, server);
        w.cbxCourseID->setEditText(Q(course));
        w.EditStudNo->setText(QStringLiteral("2023001"));
        w.Edit_pwd->setText(QStringLiteral("472"));
        return w;
    }
    // That window once it has pressed "链接"; its identity is ConnectedIdentity.
    TFormMain& CreateWindowConnectedTo(ScriptedTeacherServer& server) {
        TFormMain& w = CreateWindowFor(server);
        w.btnConnect->click();
        EXPECT_TRUE(server.WaitForConnections(1));
        return w;
    }
    static inline const AnsiString ConnectedIdentity = FirstAdapterId + "?高等数学?2023001";

    // Whether the channel's connection is established, its connect event delivered.
    static bool Connected(const TSocketFileReceiverNew& channel) {
        return channel.FClientSocket->Active();
    }
    static bool AllChannelsConnected(const TFormMain& w) {
        for (const auto& channel : w.FDownloaders)
            if (!Connected(*channel))
                return false;
        return true;
    }

    // Types the answer, presses "发送文件" and waits until the window's sending state is over.
    static void SendAndWait(TFormMain& w, const AnsiString& answer) {
        w.cbxFileName->setEditText(Q(answer));
        w.btnSendFile->click();
        EXPECT_TRUE(WaitUntil([&] { return !w.FClient->IsBusy(); }));
    }

    static QString Q(const AnsiString& text) { return ToQString(text); }
    static AnsiString Text(const QString& text) { return FromQString(text); }
    size_t BoxCount() const { return Boxes.Boxes().size(); }
    // Caption and text of a box, as the system's bytes joined by " | ".
    AnsiString Box(size_t index) const {
        const auto& box = Boxes.Boxes().at(index);
        return Text(box.caption) + " | " + Text(box.text);
    }

    ProgramFolder Folder;
    PrivateTempFolder TempFolder;
    ScopedPushPort PushPort{0}; // any free port
    FakeHardware Hardware;
    ScopedHardwareAccess Scoped{Hardware.Access()};
    ModalBoxCloser Boxes;
    std::unique_ptr<TFormMain> Window;
};
