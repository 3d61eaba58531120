#include "UnitMain.h"

#include "Application.h"
#include "Codec.h"
#include "LogView.h"
#include "Pellucan.h"
#include "Screen.h"
#include "Sockets.h"
#include "UnitCommon.h"
#include "UnitFormLook.h"
#include "UnitFrameProb.h"
#include "UnitPracDataMan.h"
#include "UnitSingleInstance.h"
#include "UnitSocketClient.h"
#include "UnitStartFile.h"
#include "UnitThreadReceiver.h"
#include "UnitThreadReceiverNew.h"
#include "UnitTrain.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>

const char* const MainWindowTitle = "Quorvane-客户端 2.3 RC";

namespace {

constexpr int kPushPort = 1999;
std::optional<int> gPushPortOverride; // empty while no ScopedPushPort lives
constexpr int kServerPort = 2023;
constexpr int kPollIntervalMs = 500;
constexpr int kProblemNumbers = 20;
// The answer box starts here inside its panel; the help button keeps this gap to it and to
// the panel's right edge.
constexpr int kAnswerBoxLeft = 128;
constexpr int kHelpGap = 10;
constexpr int kPanelEdgeGap = 4;

const QColor kSkyBlue(0xA6, 0xCA, 0xF0);

const char* const kSettingsFile = "setting.txt";
const char* const kServerListFile = "setup_srvip.txt";
const char* const kCourseNamesFile = "coursenames.txt";

// Appended to the log at creation, one entry each; a trailing CR LF leaves an empty line.
const char* const kInstructionLines[] = {
    "如果无法成功报到或登录有错，请关闭客户端程序后重新登录。\r\n",
    " >> 成绩排名规则：",
    " >> 总分优先；分数相同者以完成时间少者优先.",
    "（一）答题前，先执行以下三步:",
    "1. 链接; 2.报到; 3.下载题目.\r\n",
    "（二）浏览题目，按照先易后难原则答题.",
    "做完一题，提交一题。提交前先本机运行通过后，再发送程序文件到服务端。\r\n",
    "（三）发送程序文件步骤:",
    "1. 选择提交解答的题目序号;",
    "2. 点击“选择文件”按钮选择程序文件;",
    "3. 点击“发送文件”按钮，发送解答程序文件至服务端。\r\n",
    "（四）如何知道解答对错？",
    "1. 发送程序后一般立刻会收到服务端返回是否正确的信息；",
    "2. 也可以通过点击“查分”了解得分情况。",
};

AnsiString TextOf(const QComboBox* box) {
    return FromQString(box->currentText());
}

// Adds the lines as items with nothing selected and the given text in the box: adding to an
// empty box would otherwise select the first item and show it.
void AddItemsKeepingText(QComboBox* box, const TStringList& lines, const QString& text) {
    for (const AnsiString& line : lines)
        box->addItem(ToQString(line));
    box->setCurrentIndex(-1);
    box->setEditText(text);
}

} // namespace

ScopedPushPort::ScopedPushPort(int port) : ScopedOverride(gPushPortOverride, port) {}

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent) {
    setupUi(this);
    BuildExtraControls();
    ApplyFonts();
    BindHandlers();
    Guarded([this] { FormCreate(); });
}

TFormMain::~TFormMain() = default;

// The parts of the form that the form description cannot hold.
void TFormMain::BuildExtraControls() {
    FrameProbList1 = new TFrameProbList(GroupBox2);
    FrameProbList1->setObjectName(QStringLiteral("FrameProbList1"));
    FrameProbList1->Panel1->setFixedHeight(41);
    for (QPushButton* button : {FrameProbList1->btnFirst, FrameProbList1->btnPrev,
                                FrameProbList1->btnNext, FrameProbList1->btnLast})
        button->setFixedHeight(30);
    GroupBox2->layout()->addWidget(FrameProbList1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(N9);
    PopupMenu1->addAction(NReReport);
    PopupMenu1->addAction(ID1);

    Timer_Msg = new QTimer(this);
    Timer_Msg->setObjectName(QStringLiteral("Timer_Msg"));
    Timer_Msg->setInterval(kPollIntervalMs);
    // A coarse timer may fire up to 5% early; the poll keeps its full 500 ms.
    Timer_Msg->setTimerType(Qt::PreciseTimer);

    SetColor(Edit_Port, QPalette::Base, kSkyBlue);
    SetColor(EditStudNo, QPalette::Base, kSkyBlue);
    SetColor(cbxFileName, QPalette::Base, Qt::white);
    SetColor(lblClientIndex, QPalette::WindowText, Qt::blue);
    cbxCourseID->lineEdit()->setCompleter(nullptr);
    EditOrder->lineEdit()->setMaxLength(3);

    CenterOnScreen(this);
    Splitter3->setSizes({265, height() - 265});
    Splitter3->setStretchFactor(0, 0);
    Splitter3->setStretchFactor(1, 1);
    // The fillers of the middle may shrink to nothing, as client-aligned controls do: the
    // picture view's holder can then grow over the middle panel, whose fixed rows are cut off
    // at its bottom instead of being pressed together.
    for (QWidget* filler : std::initializer_list<QWidget*>{Panel1, Panel2, Memo_Message, Memo1}) {
        QSizePolicy policy = filler->sizePolicy();
        policy.setVerticalPolicy(QSizePolicy::Ignored);
        filler->setSizePolicy(policy);
    }
    SetColor(Splitter1->handle(1), QPalette::Window, kSkyBlue);
    Splitter1->handle(1)->setAutoFillBackground(true);
    Splitter1->setSizes({488, width() - 488});
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
}

const QString& FormFontFamily() {
    static const QString family =
        InstalledFamily({"楷体", "KaiTi", "仿宋", "FangSong", "宋体", "SimSun"});
    return family;
}

void TFormMain::ApplyFonts() {
    QFont chinese = font();
    chinese.setFamily(FormFontFamily());
    chinese.setPixelSize(19);
    setFont(chinese);
    // The password box's style sheet (for its "*") would otherwise keep the default font.
    Edit_pwd->setFont(chinese);
}

void TFormMain::BindHandlers() {
    connect(btnConnect, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { btnConnectClick(); }));
    connect(btnReport, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { btnReportClick(); }));
    connect(BitBtn1, &QPushButton::clicked, this, GuardedSlot([this](bool) { NReReportClick(); }));
    connect(NReReport, &QAction::triggered, this, GuardedSlot([this](bool) { NReReportClick(); }));
    connect(N9, &QAction::triggered, this, GuardedSlot([this](bool) { N9Click(); }));
    connect(ID1, &QAction::triggered, this, GuardedSlot([this](bool) { ID1Click(); }));
    // timeout carries a private tag that a guarded slot would pass on, so the guard sits inside.
    connect(Timer_Msg, &QTimer::timeout, this, [this] { Guarded([this] { Timer_MsgTimer(); }); });
    connect(cbxIP, &QComboBox::editTextChanged, this,
            GuardedSlot([this](const QString&) { cbxIPChange(); }));
    connect(Splitter1, &QSplitter::splitterMoved, this,
            GuardedSlot([this](int, int) { Splitter1Moved(); }));
    connect(Memo1, &QWidget::customContextMenuRequested, this,
            GuardedSlot([this](const QPoint& position) {
                PopupMenu1->popup(Memo1->viewport()->mapToGlobal(position));
            }));
    Memo1->installEventFilter(this);
    Memo_Message->installEventFilter(this);
    BindSendHandlers();
    BindDownloadHandlers();
    BindMessageHandlers();
    BindAccountHandlers();
}

// The window's creation steps, in order; an error ends them where it is raised, except that of
// the push receiver.
void TFormMain::FormCreate() {
    setWindowTitle(ToQString(MainWindowTitle));
    FTitleRegistration = std::make_unique<TWindowTitleRegistration>(MainWindowTitle);

    FClient = std::make_unique<TSClient>();
    FClient->FBtnSendFile = btnSendFile;
    FClient->FBtnSendMessage = btnSendMessage;
    FClient->FBtnRequestScore = btnRequestScore;
    FClient->FBtnSelectFile = btnSelectFile;
    FClient->FLog = Memo1;

    btnReport->setEnabled(false);
    btnSendMessage->setEnabled(false);

    FSettings = std::make_unique<TStringList>();
    FCourseNames = std::make_unique<TStringList>();
    FSentFiles = std::make_unique<TStringList>();

    LoadSettings();

    // Pushed and downloaded files in progress share one memory budget.
    const auto transferBudget = std::make_shared<TTransferBudget>();
    // A port taken by another program (or a second user's client) costs the pushed files
    // only: the box is shown and the window is completed.
    Guarded([this, &transferBudget] {
        FPushReceiver = std::make_unique<TSocketFileReceiver>(
            GetExePath(), gPushPortOverride.value_or(kPushPort), transferBudget);
        FPushReceiver->FLog = Memo1;
    });

    cbxFileIndex->clear();
    FDownloaders.push_back(std::make_unique<TSocketFileReceiverNew>(GetExePath(), transferBudget));
    FDownloaders.push_back(std::make_unique<TSocketFileReceiverNew>(GetExePath(), transferBudget));
    cbxFileIndex->addItem(QStringLiteral("1"));
    FDownloaders.push_back(std::make_unique<TSocketFileReceiverNew>(GetExePath(), transferBudget));
    cbxFileIndex->addItem(QStringLiteral("2"));
    cbxFileIndex->setCurrentIndex(0);

    Edit_Port->setValue(kServerPort);

    btnSendFile->setEnabled(false);
    btnRequestScore->setEnabled(false);
    btnDownNew->setEnabled(false);

    FReportCount = 0;
    FScoreQueryCount = 0;

    const AnsiString courseNames = GetExePath() + kCourseNamesFile;
    if (FileExists(courseNames)) {
        LoadStartFile(courseNames, *FCourseNames);
        AddItemsKeepingText(cbxCourseID, *FCourseNames, cbxCourseID->currentText());
        FCourseNames->Clear();
    }

    InitLists();

    // The picture keeps its natural size; the scroll box scrolls when it is larger.
    FrameProbList1->ScrollBox1->setWidgetResizable(false);
    FrameProbList1->Image1->adjustSize();

    FPracData = std::make_unique<TPracDataManage>();

    for (const char* line : kInstructionLines)
        AppendLogEntry(Memo1, line);
    // The student reads the instructions from their first line; later entries bring the end
    // into view as usual.
    Memo1->moveCursor(QTextCursor::Start);
}

void TFormMain::LoadSettings() {
    const AnsiString path = GetExePath() + kSettingsFile;
    if (FileExists(path)) {
        LoadStartFile(path, *FSettings);
        cbxIP->setEditText(ToQString(FSettings->Values("ipsrv")));
    }
    FSettingsRead = true;
}

void TFormMain::InitLists() {
    EditOrder->clear();
    for (int number = 1; number <= kProblemNumbers; ++number)
        EditOrder->addItem(QString::number(number));
    EditOrder->setCurrentIndex(-1);

    const AnsiString path = GetExePath() + kServerListFile;
    if (FileExists(path)) {
        TStringList addresses;
        LoadStartFile(path, addresses);
        const QString text = cbxIP->currentText();
        cbxIP->clear();
        AddItemsKeepingText(cbxIP, addresses, text);
    }
    FServerListRead = true;
}

void TFormMain::SaveSettings() {
    if (FSettingsRead && FSettings) {
        FSettings->SetValue("ipsrv", ServerAddress());
        FSettings->SetValue("portsrv", IntToStr(Edit_Port->value()));
        FSettings->SetValue("courseid", TextOf(cbxCourseID));
        FSettings->SetValue("studno", FromQString(EditStudNo->text()));
        FSettings->SaveToFile(GetExePath() + kSettingsFile);
    }
    if (FServerListRead) {
        TStringList addresses;
        for (int i = 0; i < cbxIP->count(); ++i)
            addresses.Add(FromQString(cbxIP->itemText(i)));
        addresses.SaveToFile(GetExePath() + kServerListFile);
    }
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (!FClosed) {
        FClosed = true;
        FormClose();
    }
    event->accept();
}

// A failed save shows its box; the window closes and its objects are released all the same.
void TFormMain::FormClose() {
    Guarded([this] { SaveSettings(); });
    FPushReceiver.reset();
    FSettings.reset();
    FCourseNames.reset();
    FSentFiles.reset();
    // No tick may reach the connection object once it is gone.
    Timer_Msg->stop();
    FClient.reset();
    for (auto& channel : FDownloaders)
        channel.reset();
    FDownloaders.clear();
    if (FormTrain)
        FormTrain->FreeData();
    emit Closed();
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == Memo1 || watched == Memo_Message)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        Guarded([&] {
            if (watched == Memo1)
                Memo1KeyDown(key->key(), key->modifiers());
            else
                Memo_MessageKeyDown(key->key(), key->modifiers());
        });
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::Memo1KeyDown(int key, Qt::KeyboardModifiers shift) {
    if (key == Qt::Key_A && shift.testFlag(Qt::ControlModifier))
        Memo1->selectAll();
}

void TFormMain::Memo_MessageKeyDown(int key, Qt::KeyboardModifiers shift) {
    if (key == Qt::Key_A && shift.testFlag(Qt::ControlModifier))
        Memo_Message->selectAll();
}

void TFormMain::N9Click() {
    Memo1->selectAll();
}

void TFormMain::cbxIPChange() {
    if (ClientConnected())
        FClient->FSocket->Close();
}

// The answer box takes the panel's width between its left edge and the help button, which
// stays inside the panel's right edge.
void TFormMain::Splitter1Moved() {
    const int helpLeft = Panel4->width() - kPanelEdgeGap - btnHelp->width();
    btnHelp->move(helpLeft, btnHelp->y());
    cbxFileName->setGeometry(kAnswerBoxLeft, cbxFileName->y(), helpLeft - kHelpGap - kAnswerBoxLeft,
                             cbxFileName->height());
}

bool TFormMain::ClientConnected() const {
    return FClient && FClient->FSocket && FClient->FSocket->Active();
}

AnsiString TFormMain::ServerAddress() const {
    return TextOf(cbxIP);
}
