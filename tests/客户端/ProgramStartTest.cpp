// The single-instance check with real processes of the built program, each started from a copy
// in a private program folder, with the names of local servers in a private folder too.
#include "Pellucan.h"

#include "Codec.h"
#include "MainWindowFixture.h"
#include "TestSupport.h"
#include "UnitMain.h"
#include "UnitSingleInstance.h"

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Starting a real client takes a while on a loaded machine.
constexpr int kStartTimeoutMs = 30000;
constexpr quint16 kPushPort = 1999;

bool PortIsFree(quint16 port) {
    QTcpServer probe;
    return probe.listen(QHostAddress::AnyIPv4, port);
}

// Asks without binding, so that the probe never takes the port from the program.
bool SomeoneListensOn(quint16 port) {
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    const bool answered = probe.waitForConnected(1000);
    probe.abort();
    return answered;
}

class ProgramStartTest : public testing::Test {
protected:
    ProgramStartTest() {
        const QString copy = QString::fromStdString(Folder.File("Pellucan"));
        if (!QFile::copy(QStringLiteral(PELLUCAN_EXE), copy))
            throw std::runtime_error("cannot copy the client into the program folder");
        Executable = copy;
    }
    ~ProgramStartTest() override {
        for (auto& process : Processes) {
            process->kill();
            process->waitForFinished();
        }
    }

    QProcess& StartClient() {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("TMPDIR"), TempFolder.Path());
        process->setProcessEnvironment(environment);
        process->start(Executable, {});
        Processes.push_back(std::move(process));
        return *Processes.back();
    }
    static bool MainWindowAnswers() { return FindWindowByTitle(MainWindowTitle); }

    ProgramFolder Folder;
    PrivateTempFolder TempFolder;
    QString Executable;
    std::vector<std::unique_ptr<QProcess>> Processes;
};

} // namespace

TEST_F(ProgramStartTest, ASecondStartShowsTheBoxAndCreatesNoWindowWhileTheFirstRuns) {
    ASSERT_FALSE(MainWindowAnswers());
    // Another client on the machine may hold the push port; the start goes on without it.
    const bool pushPortWasFree = PortIsFree(kPushPort);
    QProcess& first = StartClient();
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(WaitUntil(MainWindowAnswers, kStartTimeoutMs));
    if (pushPortWasFree) { // the first one's push receiver listens there
        EXPECT_TRUE(WaitUntil([] { return SomeoneListensOn(kPushPort); }, kStartTimeoutMs));
    }

    // The second start, as the program's start-up runs it.
    ModalBoxCloser boxes;
    EXPECT_TRUE(ReportRunningInstance());
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(FromQString(boxes.Boxes()[0].caption), "提示");
    EXPECT_EQ(FromQString(boxes.Boxes()[0].text),
              "已经运行了一个客户端程序实例！\r\n不能超过1个客户端实例。本次运行的程序将退出。");
    EXPECT_EQ(FormMain, nullptr);

    // The first is not touched: it runs on and still answers.
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_TRUE(MainWindowAnswers());
}

TEST_F(ProgramStartTest, ACrashedFirstInstanceDoesNotBlockTheNextStart) {
    QProcess& crashed = StartClient();
    ASSERT_TRUE(WaitUntil(MainWindowAnswers, kStartTimeoutMs));
    crashed.kill(); // leaves its registration behind, as a crash does
    ASSERT_TRUE(crashed.waitForFinished());
    EXPECT_FALSE(MainWindowAnswers());

    ModalBoxCloser boxes;
    EXPECT_FALSE(ReportRunningInstance());
    EXPECT_TRUE(boxes.Boxes().empty());

    QProcess& next = StartClient();
    ASSERT_TRUE(WaitUntil(MainWindowAnswers, kStartTimeoutMs));
    EXPECT_EQ(next.state(), QProcess::Running);
}

TEST_F(ProgramStartTest, AQtConfigurationPushedIntoTheProgramFolderLeavesTheStartAlone) {
    for (const char* name : {"qt.conf", "qt6.conf"})
        Folder.Write(name, "[Paths]\nPrefix=/nonexistent\nPlugins=/nonexistent/plugins\n");
    QProcess& client = StartClient();
    ASSERT_TRUE(
        WaitUntil([&] { return MainWindowAnswers() || client.state() == QProcess::NotRunning; },
                  kStartTimeoutMs));
    EXPECT_EQ(client.state(), QProcess::Running) << client.readAllStandardError().toStdString();
    EXPECT_TRUE(MainWindowAnswers());
}

TEST_F(ProgramStartTest, ARegistrationAnswersOnlyForItsExactTitle) {
    const AnsiString title = "Quorvane-客户端 2.3 RC";
    auto registration = std::make_unique<TWindowTitleRegistration>(title);
    ASSERT_TRUE(registration->Registered());
    EXPECT_TRUE(FindWindowByTitle(title));
    EXPECT_FALSE(FindWindowByTitle("Quorvane-客户端 2.1"));
    EXPECT_FALSE(FindWindowByTitle("quorvane-客户端 2.3 RC"));
    // A second registration of a live title leaves it to the first.
    EXPECT_FALSE(TWindowTitleRegistration(title).Registered());
    EXPECT_TRUE(FindWindowByTitle(title));
    registration.reset();
    EXPECT_FALSE(FindWindowByTitle(title));
}
