// "下载题目", "下载共享", the reload of "train.db" into the picture view, the view's buttons in
// the main window and "查看题目", against scripted teacher and channel servers on loopback.
#include "MainWindowFixture.h"

#include "Application.h"
#include "Pellucan.h"
#include "ProblemFileWriter.h"
#include "ScriptedTeacherServer.h"
#include "Sockets.h"
#include "UnitFrameProb.h"
#include "UnitPracDataMan.h"
#include "UnitSocketClient.h"
#include "UnitThreadReceiverNew.h"
#include "UnitTrain.h"

#include <QCheckBox>
#include <QListWidget>
#include <QTcpServer>

#include <array>
#include <memory>

using namespace ProblemFileWriter;

namespace {

const AnsiString StudentNo = "2023001";

// The first problem's picture gives every pixel its own colour, so any shift or mix-up shows.
constexpr int FirstWidth = 6, FirstHeight = 4;
QRgb FirstPixel(int x, int y) {
    return qRgb(x * 40, y * 60, 200 - x * 10);
}

// Three problems: the picture above, a small one 9 high and a noisy one 48 high that takes the
// file past several blocks.
AnsiString ThreeProblems() {
    BmpLayout first;
    first.Width = FirstWidth;
    first.Height = FirstHeight;
    BmpLayout noisy;
    noisy.Width = 48;
    noisy.Height = 48;
    std::vector<ProblemRecord> records(3);
    records[0].Picture = BuildBmp(first, [](int x, int y) { return FirstPixel(x, y) & 0xFFFFFFu; });
    records[1].Picture = SolidBmp24(5, 9, qRgb(0, 128, 0));
    records[2].Picture = BuildBmp(noisy, [](int x, int y) {
        return static_cast<std::uint32_t>((x * 2654435761u) ^ (y * 40503u)) & 0xFFFFFFu;
    });
    return Compress(ProblemText(records));
}

// Two ports nobody listens on: taken from the system together, then given back.
std::array<int, 2> RefusedPorts() {
    QTcpServer probes[2];
    for (QTcpServer& probe : probes)
        probe.listen(QHostAddress::LocalHost);
    return {probes[0].serverPort(), probes[1].serverPort()};
}

class DownloadTest : public MainWindowTest {
protected:
    // Connected and reported; the attendance reply has not come yet.
    TFormMain& CreateReportedWindow() {
        TFormMain& w = CreateWindow();
        PointAt(w, Server);
        w.cbxCourseID->setEditText(Q("高等数学"));
        w.EditStudNo->setText(Q(StudentNo));
        w.btnConnect->click();
        w.btnReport->click();
        EXPECT_TRUE(Server.WaitForMessages(1));
        return w;
    }
    // The attendance reply with these port fields and the client index 17.
    void Announce(TFormMain& w, const AnsiString& ports) {
        Server.Send("22" + ports + "+17");
        EXPECT_TRUE(WaitUntil([&] { return w.lblClientIndex->text() == QStringLiteral("17"); }));
    }
    AnsiString ChannelPorts() const {
        return IntToStr(Channels[0].Port()) + "+" + IntToStr(Channels[1].Port()) + "+" +
               IntToStr(Channels[2].Port());
    }
    // Reported, with the three channels connected to the three channel servers.
    TFormMain& CreateReadyWindow() {
        TFormMain& w = CreateReportedWindow();
        Announce(w, ChannelPorts());
        EXPECT_TRUE(WaitUntil([&] { return AllChannelsConnected(w); }));
        return w;
    }
    // Starts "下载题目" and serves the bytes under the name until the channel is done with them.
    void DownloadProblems(TFormMain& w, const AnsiString& name, const AnsiString& bytes) {
        ServeFile(Channels[0], bytes);
        const size_t before = Channels[0].Messages().size();
        w.btnDownNew->click();
        ASSERT_TRUE(Channels[0].WaitForMessages(before + 1));
        EXPECT_EQ(Channels[0].MessageTexts().back(), "18" + StudentNo);
        Channels[0].Send("01" + name);
        // Until the server has the acknowledgement, so that it never meets the next request.
        ASSERT_TRUE(WaitUntil([&] {
            return !w.FDownloaders[0]->FDownloading &&
                   Channels[0].MessageTexts().back() == "09" + StudentNo;
        }));
    }
    std::vector<AnsiString> BoxesFrom(size_t first) const {
        std::vector<AnsiString> boxes;
        for (size_t i = first; i < BoxCount(); ++i)
            boxes.push_back(Box(i));
        return boxes;
    }
    static QString Number(const TFormMain& w) { return w.FrameProbList1->lblIndexProb->text(); }
    static QPixmap Picture(const TFormMain& w) { return w.FrameProbList1->Image1->pixmap(); }

    ScriptedTeacherServer Server;
    ScriptedTeacherServer Channels[3];
};

} // namespace

TEST_F(DownloadTest, DownloadingTheProblemsShowsTheFirstPictureOfTrainDb) {
    TFormMain& w = CreateReadyWindow();
    EXPECT_EQ(w.FDownloaders[0]->FOnDone, nullptr); // bound by the first request only
    w.FrameProbList1->Image1->setPixmap(QPixmap(3, 3));
    ServeFile(Channels[0], ThreeProblems());
    w.btnDownNew->click();
    EXPECT_TRUE(Picture(w).isNull()) << "emptied by the click";
    ASSERT_TRUE(Channels[0].WaitForMessages(1));
    EXPECT_EQ(Channels[0].MessageTexts()[0], "18" + StudentNo);

    // The problem types arriving mid-download set channel 0 up again without disturbing it.
    Server.Send("241=0\r\n2=1");
    ASSERT_TRUE(WaitUntil([&] { return Server.MessageTexts().back().substr(0, 2) == "25"; }));
    Channels[0].Send("01train.db");
    ASSERT_TRUE(WaitUntil([&] { return Number(w) == QStringLiteral("1"); }));

    EXPECT_EQ(Folder.Read("train.db"), ThreeProblems());
    EXPECT_EQ(w.FPracData->Count(), 3);
    EXPECT_EQ(w.FrameProbList1->PracDataManage, w.FPracData.get());
    EXPECT_EQ(w.FrameProbList1->CurIndex, 0);
    const QImage shown = Picture(w).toImage();
    ASSERT_EQ(shown.size(), QSize(FirstWidth, FirstHeight));
    for (int y = 0; y < FirstHeight; ++y)
        for (int x = 0; x < FirstWidth; ++x)
            EXPECT_EQ(shown.pixel(x, y), FirstPixel(x, y)) << x << "," << y;
    EXPECT_EQ(Channels[0].ConnectionCount(), 1);
    EXPECT_EQ(BoxCount(), 0u);
}

// --- The boxes of both buttons
// ------------------------------------------------------------------------------------

struct BoxCase {
    const char* Name;
    std::function<TFormMain&(class DownloadBoxTest&)> Arrange;
    std::vector<AnsiString> DownNewBoxes;
    std::vector<AnsiString> DownShareBoxes;
};
void PrintTo(const BoxCase& row, std::ostream* out) {
    *out << row.Name;
}

class DownloadBoxTest : public DownloadTest, public testing::WithParamInterface<BoxCase> {
public:
    using DownloadTest::Channels;
    using DownloadTest::CreateReadyWindow;
    using DownloadTest::CreateReportedWindow;
    using DownloadTest::Server;
};

const AnsiString NoPort = "系统提示 | 还没链接服务。";
const AnsiString NoMainConnection = "系统提示 | 未链接服务端，请重新链接。";
const AnsiString ServerBusy = "操作提示 | 服务端繁忙，请稍后再下载！";
const AnsiString Downloading = "操作提示 | 正在下载！请等待。";

TEST_P(DownloadBoxTest, EachButtonShowsItsBoxesInTurnAndSendsNothing) {
    TFormMain& w = GetParam().Arrange(*this);
    const size_t requests[] = {Channels[0].Messages().size(), Channels[1].Messages().size()};
    w.FrameProbList1->Image1->setPixmap(QPixmap(3, 3));

    size_t first = BoxCount();
    w.btnDownNewClick(); // the button itself is disabled before the attendance reply
    EXPECT_EQ(BoxesFrom(first), GetParam().DownNewBoxes);
    first = BoxCount();
    w.btnDownShare->click();
    EXPECT_EQ(BoxesFrom(first), GetParam().DownShareBoxes);

    PumpEvents(20);
    EXPECT_EQ(Channels[0].Messages().size(), requests[0]);
    EXPECT_EQ(Channels[1].Messages().size(), requests[1]);
    EXPECT_EQ(Picture(w).isNull(), GetParam().DownNewBoxes.front() != Downloading);
}

INSTANTIATE_TEST_SUITE_P(
    Situations, DownloadBoxTest,
    testing::Values(
        BoxCase{"NoAttendanceReplyYet",
                [](DownloadBoxTest& t) -> TFormMain& { return t.CreateReportedWindow(); },
                {NoPort, ServerBusy},
                {NoPort}},
        // The server has dropped the main connection and channel 0's, but not channel 1's.
        BoxCase{"NoMainConnection",
                [](DownloadBoxTest& t) -> TFormMain& {
                    TFormMain& w = t.CreateReadyWindow();
                    t.Server.CloseConnection();
                    t.Channels[0].CloseConnection();
                    EXPECT_TRUE(WaitUntil([&] {
                        return !w.FClient->FSocket->Active() &&
                               !w.FDownloaders[0]->FClientSocket->Active();
                    }));
                    return w;
                },
                {NoMainConnection, ServerBusy},
                {NoMainConnection}},
        BoxCase{"BothChannelsDownloading",
                [](DownloadBoxTest& t) -> TFormMain& {
                    TFormMain& w = t.CreateReadyWindow();
                    w.btnDownNew->click();
                    w.btnDownShare->click();
                    EXPECT_TRUE(t.Channels[0].WaitForMessages(1));
                    EXPECT_TRUE(t.Channels[1].WaitForMessages(1));
                    return w;
                },
                {Downloading},
                {Downloading}}),
    [](const testing::TestParamInfo<BoxCase>& info) { return info.param.Name; });

// --- Channels
// ------------------------------------------------------------------------------------

TEST_F(DownloadTest, ARefusedChannelConnectsAgainOnTheNextClickAndDownloadsOnTheOneAfter) {
    const std::array<int, 2> ports = RefusedPorts();
    TFormMain& w = CreateReportedWindow();
    int refusals = 0;
    for (int channel = 0; channel < 2; ++channel) {
        auto& socket = *w.FDownloaders[static_cast<size_t>(channel)]->FClientSocket;
        socket.OnError = [&refusals, rule = socket.OnError](auto& s, auto event, int& code) {
            refusals += code == 10061;
            rule(s, event, code);
        };
    }
    Announce(w, IntToStr(ports[0]) + "+" + IntToStr(ports[1]) + "+" + IntToStr(Channels[2].Port()));
    ASSERT_TRUE(WaitUntil([&] { return refusals == 2; }));

    ScriptedTeacherServer late[] = {ScriptedTeacherServer(ports[0]),
                                    ScriptedTeacherServer(ports[1])};
    w.btnDownNew->click();
    w.btnDownShare->click();
    EXPECT_EQ(BoxesFrom(0), std::vector<AnsiString>{ServerBusy}); // -3; "下载共享" shows none
    ASSERT_TRUE(
        WaitUntil([&] { return Connected(*w.FDownloaders[0]) && Connected(*w.FDownloaders[1]); }));
    EXPECT_TRUE(late[0].Messages().empty());

    w.btnDownNew->click();
    w.btnDownShare->click();
    ASSERT_TRUE(late[0].WaitForMessages(1));
    ASSERT_TRUE(late[1].WaitForMessages(1));
    EXPECT_EQ(late[0].MessageTexts()[0], "18" + StudentNo);
    EXPECT_EQ(late[1].MessageTexts()[0], "18" + StudentNo);
    EXPECT_EQ(BoxCount(), 1u);
}

TEST_F(DownloadTest, ShareTwoDownloadsOnTheThirdPortAndLeavesTheViewAlone) {
    TFormMain& w = CreateReadyWindow();
    w.FrameProbList1->Image1->setPixmap(QPixmap(7, 7));
    w.FrameProbList1->lblIndexProb->setText(QStringLiteral("5"));
    const AnsiString shared = "共享资料\r\n" + AnsiString(3000, 'x');
    ServeFile(Channels[2], shared);
    w.cbxFileIndex->setCurrentIndex(1);
    w.btnDownShare->click();
    ASSERT_TRUE(Channels[2].WaitForMessages(1));
    EXPECT_EQ(Channels[2].MessageTexts()[0], "18" + StudentNo);
    EXPECT_EQ(w.FDownloaders[2]->FButton, w.btnDownShare);
    Channels[2].Send("01资料.txt");
    ASSERT_TRUE(WaitUntil([&] { return !w.FDownloaders[2]->FDownloading; }));

    EXPECT_EQ(Folder.Read("资料.txt"), shared);
    EXPECT_EQ(Picture(w).size(), QSize(7, 7));
    EXPECT_EQ(Number(w), QStringLiteral("5"));
    EXPECT_TRUE(Channels[1].Messages().empty());
    EXPECT_FALSE(Folder.Exists("train.db"));
    EXPECT_EQ(BoxCount(), 0u);
}

// Port lines the server should not send: the reply ends in the default error box where the
// channel set-up raises, and "下载共享" with share number 2 in its own box.
struct PortLineCase {
    const char* Name;
    const char* Ports;
    const char* SetupError;
    bool ShareTwoHasNoPort; // else the click raises the set-up's error again
};
void PrintTo(const PortLineCase& row, std::ostream* out) {
    *out << row.Name;
}

class BadPortLineTest : public DownloadTest, public testing::WithParamInterface<PortLineCase> {};

TEST_P(BadPortLineTest, TheReplyAndShareTwoEndInTheirBoxes) {
    TFormMain& w = CreateReportedWindow();
    Announce(w, GetParam().Ports);
    const AnsiString error = ApplicationTitle() + " | " + GetParam().SetupError;
    EXPECT_EQ(BoxesFrom(0), std::vector<AnsiString>{error});

    w.cbxFileIndex->setCurrentIndex(1);
    w.btnDownShare->click();
    EXPECT_EQ(BoxesFrom(1), std::vector<AnsiString>{GetParam().ShareTwoHasNoPort ? NoPort : error});
    EXPECT_FALSE(w.FDownloaders[2]->FDownloading);
}

// Ports 1 and 2 are refused; 0 and 65536 reach no server.
INSTANTIATE_TEST_SUITE_P(
    Lines, BadPortLineTest,
    testing::Values(PortLineCase{"TwoPorts", "1+2", "List index out of bounds (2)", false},
                    PortLineCase{"ZeroTooLargeAndText", "0+65536+abc",
                                 "'abc' is not a valid integer value", true}),
    [](const testing::TestParamInfo<PortLineCase>& info) { return info.param.Name; });

// --- The reload of "train.db"
// ------------------------------------------------------------------------------------

// A second download after the three problems were shown and ">" moved to the second.
struct ReloadCase {
    const char* Name;
    const char* ServedAs;
    AnsiString Bytes;
    const char* Error; // the default box's text, "" for none
    int Count;         // records in the container afterwards
    int CurIndex;
    const char* Number;
};
void PrintTo(const ReloadCase& row, std::ostream* out) {
    *out << row.Name;
}

class ReloadTest : public DownloadTest, public testing::WithParamInterface<ReloadCase> {};

TEST_P(ReloadTest, EveryCompletedProblemFileReloadsTrainDb) {
    const ReloadCase& row = GetParam();
    TFormMain& w = CreateReadyWindow();
    DownloadProblems(w, "train.db", ThreeProblems());
    w.FrameProbList1->btnNext->click();
    ASSERT_EQ(Number(w), QStringLiteral("2"));

    DownloadProblems(w, row.ServedAs, row.Bytes);
    if (*row.Error)
        ASSERT_EQ(BoxesFrom(0), std::vector<AnsiString>{ApplicationTitle() + " | " + row.Error});
    else
        EXPECT_EQ(BoxCount(), 0u);
    EXPECT_EQ(w.FPracData->Count(), row.Count);
    EXPECT_EQ(w.FrameProbList1->PracDataManage, w.FPracData.get());
    EXPECT_EQ(w.FrameProbList1->CurIndex, row.CurIndex);
    EXPECT_EQ(Number(w), Q(row.Number));
    EXPECT_EQ(Picture(w).isNull(), row.CurIndex != 0) << "emptied by the click, shown by a load";
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReloadTest,
    testing::Values(ReloadCase{"NoRecords", "train.db", Compress(IntegerField(0)), "", 0, -1, "2"},
                    // The name is fixed: the earlier "train.db" is read again.
                    ReloadCase{"AnotherName", "other.db", Compress(IntegerField(0)), "", 3, 0, "1"},
                    ReloadCase{"NotZlib", "train.db", "not a zlib stream", "Error", 0, 1, "2"},
                    // The count promises two records; the one present stays.
                    ReloadCase{"CutShort", "train.db",
                               Compress(IntegerField(2) + ProblemRecord().Text()),
                               "'' is not a valid integer value", 1, 1, "2"}),
    [](const testing::TestParamInfo<ReloadCase>& info) { return info.param.Name; });

// The server decides how many problem files complete: while the box of one reload error is
// open, the next one is logged.
TEST_F(DownloadTest, AReloadErrorWhileAnotherOnesBoxIsOpenIsLogged) {
    TFormMain& w = CreateReadyWindow();
    const auto errorLogged = [&] { return IsStamped(LogLines(w.Memo1).back(), " Error"); };
    const AnsiString notZlib = "not a zlib stream";
    const OnBoxShown whileOpen([&] {
        ServeFile(Channels[0], notZlib);
        Channels[0].Send("01train.db"); // the same file again, unasked
        EXPECT_TRUE(WaitUntil(errorLogged));
    });
    DownloadProblems(w, "train.db", notZlib);
    EXPECT_EQ(BoxesFrom(0), std::vector<AnsiString>{ApplicationTitle() + " | Error"});
    EXPECT_TRUE(errorLogged());
}

TEST_F(DownloadTest, AMissingTrainDbShowsTheFileErrorAndLeavesTheView) {
    TFormMain& w = CreateReadyWindow();
    DownloadProblems(w, "other.db", Compress(IntegerField(0)));
    ASSERT_EQ(BoxCount(), 1u);
    EXPECT_NE(Box(0).find(Folder.File("train.db")), AnsiString::npos) << Box(0);
    EXPECT_EQ(w.FrameProbList1->PracDataManage, nullptr);
    EXPECT_EQ(Number(w), QStringLiteral("-"));
}

// --- Events while a box is open, and closing
// ------------------------------------------------------------------------------------

// Channel 0 completes a problem file while the box of "下载共享" is open; then the window closes
// while the box of "下载题目" is open and channel 2 is downloading. Each handler goes on with
// what is left: the reloaded view, and after the close no further box and nothing touched.
TEST_F(DownloadTest, WhileABoxIsOpenADownloadCanCompleteAndTheWindowCanClose) {
    TFormMain& w = CreateReadyWindow();
    ServeFile(Channels[0], ThreeProblems());
    w.btnDownNew->click();
    w.cbxFileIndex->setCurrentIndex(1);
    w.btnDownShare->click(); // its server never answers
    ASSERT_TRUE(Channels[0].WaitForMessages(1));
    ASSERT_TRUE(Channels[2].WaitForMessages(1));
    Server.CloseConnection();
    ASSERT_TRUE(WaitUntil([&] { return !w.FClient->FSocket->Active(); }));

    Boxes.WhileOpen = [&] {
        Boxes.WhileOpen = nullptr;
        Channels[0].Send("01train.db");
        EXPECT_TRUE(WaitUntil([&] { return Number(w) == QStringLiteral("1"); }));
    };
    w.cbxFileIndex->setCurrentIndex(0);
    w.btnDownShare->click();
    EXPECT_EQ(BoxesFrom(0), std::vector<AnsiString>{NoMainConnection});
    EXPECT_EQ(w.FPracData->Count(), 3);

    // Channel 0 not connected: only the close keeps the busy box from following.
    Channels[0].CloseConnection();
    ASSERT_TRUE(WaitUntil([&] { return !Connected(*w.FDownloaders[0]); }));
    Boxes.WhileOpen = [&] {
        Boxes.WhileOpen = nullptr;
        CloseWindow();
    };
    w.btnDownNew->click();
    EXPECT_EQ(BoxesFrom(1), std::vector<AnsiString>{NoMainConnection});
    EXPECT_TRUE(w.FDownloaders.empty());
    EXPECT_TRUE(Channels[2].Connection().WaitForClosed());
    w.btnDownNewClick();
    w.btnDownShareClick();
    EXPECT_EQ(BoxCount(), 2u);
}

// --- The picture view's buttons and "查看题目"
// ------------------------------------------------------------------------------------

TEST_F(DownloadTest, EachViewButtonInTheMainWindowActsOnceAsTheViewsOwnHandler) {
    TFormMain& w = CreateWindow();
    w.show();
    WriteBytes(Folder.File("set.db"), ThreeProblems());
    TPracDataManage data;
    data.LoadFromFile(Folder.File("set.db"));
    TFrameProbList& view = *w.FrameProbList1;
    view.PracDataManage = &data;
    const int start = w.GroupBox2->height();
    ASSERT_NE(start, 220);

    struct Step {
        QAbstractButton* Control;
        int CurIndex;
        const char* Number;
        int Height; // of the view's holder
    };
    // Pictures are 4, 9 and 48 high; a holder fits a picture at its height + 85.
    const Step steps[] = {
        {view.btnNext, 1, "2", start},       {view.btnLast, 2, "3", start},
        {view.btnPrev, 1, "2", start},       {view.BitBtn1, 1, "2", 220},
        {view.BitBtn1, 1, "2", 9 + 85},      {view.btnFirst, 0, "1", 9 + 85},
        {view.cbAutoHeight, 0, "1", 4 + 85}, {view.btnLast, 2, "3", 48 + 85},
    };
    for (const Step& step : steps) {
        step.Control->click();
        EXPECT_EQ(view.CurIndex, step.CurIndex) << step.Control->objectName().toStdString();
        EXPECT_EQ(view.lblIndexProb->text(), Q(step.Number));
        EXPECT_EQ(w.GroupBox2->height(), step.Height) << step.Control->objectName().toStdString();
    }
    EXPECT_EQ(BoxCount(), 0u);
}

// Sets the program's browser for the test's life.
class BrowserWindow {
public:
    BrowserWindow() { FormTrain = &Window; }
    ~BrowserWindow() { FormTrain = nullptr; }
    TFormTrain Window;
};

TEST_F(DownloadTest, ViewProblemsShowsTheOneBrowserWhichKeepsItsSetUntilTheMainWindowCloses) {
    Folder.Write("dbsettrain.txt", "第一套=set.db\r\n");
    WriteBytes(Folder.File("set.db"), ThreeProblems());
    BrowserWindow browser;
    TFormTrain& train = browser.Window;
    TFormMain& w = CreateWindow();
    w.show();

    w.N6->trigger();
    EXPECT_TRUE(train.isVisible());
    EXPECT_FALSE(train.FreeDataOnClose);
    train.btnOpenDb->click();
    ASSERT_EQ(train.ListBox1->count(), 3);
    train.close();
    EXPECT_FALSE(train.isVisible());
    EXPECT_EQ(train.PracDataManage->Count(), 3);

    w.N6->trigger();
    w.activateWindow();
    w.N6->trigger();
    EXPECT_TRUE(train.isVisible());
    EXPECT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &train; }));
    EXPECT_EQ(train.ListBox1->count(), 3);
    EXPECT_EQ(train.PracDataManage->Count(), 3);

    CloseWindow();
    EXPECT_EQ(train.PracDataManage->Count(), 0);
    EXPECT_EQ(BoxCount(), 0u);
}
