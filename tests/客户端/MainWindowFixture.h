// A main window built in a private program folder, on scripted hardware, with every modal box
// closed and recorded.
#pragma once

#include "AnsiString.h"
#include "Codec.h"
#include "FakeHardware.h"
#include "ScriptedTeacherServer.h"
#include "TestSupport.h"
#include "UnitMain.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>

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

    // A window pointed at the server, with the course "高等数学" and the student number
    // "2023001" typed, that has pressed "链接"; its identity is ConnectedIdentity.
    TFormMain& CreateWindowConnectedTo(ScriptedTeacherServer& server) {
        TFormMain& w = CreateWindow();
        PointAt(w, server);
        w.cbxCourseID->setEditText(Q("高等数学"));
        w.EditStudNo->setText(QStringLiteral("2023001"));
        w.btnConnect->click();
        EXPECT_TRUE(server.WaitForConnections(1));
        return w;
    }
    static inline const AnsiString ConnectedIdentity = FirstAdapterId + "?高等数学?2023001";

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
