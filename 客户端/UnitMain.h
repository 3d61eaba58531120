// The main window: its controls come from UnitMain.ui; creation, closing, settings and the small
// behaviours live in UnitMain.cpp, connecting, reporting and the machine identity in
// UnitMainConnect.cpp.
#pragma once

#include "AnsiString.h"
#include "Classes.h"
#include "ui_UnitMain.h"

#include <QMainWindow>

#include <memory>
#include <vector>

class QFileDialog;
class QMenu;
class QTimer;
class TFrameProbList;
class TPracDataManage;
class TSClient;
class TSocketFileReceiver;
class TSocketFileReceiverNew;
class TWindowTitleRegistration;

// The title of the main window, which the single-instance check looks for.
extern const char* const MainWindowTitle;

// The family of the window's text: the first of the form's Chinese fonts that is installed.
const QString& FormFontFamily();

// Gives the push receiver of windows created from now on another port (0: any free one), so
// that tests neither need port 1999 nor take it from a client running on the machine; a
// negative port gives back 1999.
void SetPushPortForTests(int port);

class TFormMain : public QMainWindow, public Ui::TFormMain {
    Q_OBJECT

public:
    // Builds the controls, binds the handlers and runs FormCreate under the error guard: a step
    // that raises shows its box, the later steps are skipped and the window still works.
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // Controls the form description cannot hold.
    TFrameProbList* FrameProbList1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QTimer* Timer_Msg = nullptr;
    QFileDialog* OpenDialog1 = nullptr;

    // Objects the window owns; each is null until its creation step has run, and again once
    // the window has closed.
    std::unique_ptr<TSClient> FClient;
    std::unique_ptr<TSocketFileReceiver> FPushReceiver;
    std::vector<std::unique_ptr<TSocketFileReceiverNew>> FDownloaders; // channels 0, 1, 2
    std::unique_ptr<TPracDataManage> FPracData;
    std::unique_ptr<TStringList> FSettings;    // the lines of "setting.txt"
    std::unique_ptr<TStringList> FCourseNames; // scratch list for "coursenames.txt"
    std::unique_ptr<TStringList> FSentFiles;   // problem number = first answer file sent
    int FReportCount = 0;
    int FScoreQueryCount = 0;

    // Creation and closing.
    void FormCreate();
    void FormClose();
    void LoadSettings();
    void SaveSettings();
    void InitLists();

    // Small behaviours of the window.
    void cbxIPChange();
    void Splitter1Moved();
    void N9Click();
    void Memo1KeyDown(int key, Qt::KeyboardModifiers shift);
    void Memo_MessageKeyDown(int key, Qt::KeyboardModifiers shift);

    // Connecting and reporting attendance.
    bool CheckCourseName();
    AnsiString BuildIdentity();
    void btnConnectClick();
    void btnReportClick();
    void ShowClientIndex();
    void Timer_MsgTimer();
    void NReReportClick();

    // Machine identity.
    AnsiString GetMachineId();
    void ID1Click();

    // Binds download channel index to its button, the student number and its announced port.
    void SetupDownloader(int index);

signals:
    // The window has run its close steps; the program's main loop ends on it.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildExtraControls();
    void ApplyFonts();
    void BindHandlers();
    // Whether the main connection's socket is open; false when there is no connection object.
    bool ClientConnected() const;
    AnsiString ServerAddress() const;
    void ClearProblemImage();
    void AddServerAddressToList();

    std::unique_ptr<TWindowTitleRegistration> FTitleRegistration;
    // A settings file is written back at close only when it was read at creation, so that a
    // creation that stopped early does not wipe the lines it never loaded.
    bool FSettingsRead = false;
    bool FServerListRead = false;
    bool FClosed = false;
};
