// The answer upload over real loopback TCP: the file request, the size announcement, blocks
// pulled one by one with their exact bytes, the outcome replies, the deletion of an uploaded
// Matlab program, the diagnostic lines and replies that come out of order.
#include "ClientFixture.h"

#include "Codec.h"
#include "Files.h"
#include "SysUtils.h"
#include "UnitCheckText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

// The 15-byte header of every block for this student number.
AnsiString Header(const AnsiString& studentNo) {
    AnsiString header = studentNo.substr(0, 15);
    header.resize(15, '\0');
    return header;
}

} // namespace

class TSClientUpload : public ConnectedClientFixture {
protected:
    void SetUp() override {
        ConnectedClientFixture::SetUp();
        // Only whether the timer runs matters here; its polls would only add bytes to the wire.
        QObject::disconnect(&PollTimer, &QTimer::timeout, nullptr, nullptr);
    }

    static constexpr const char* ProblemNumber = "3";
    static constexpr const char* ProblemKey = "k3";

    AnsiString MakeFile(const AnsiString& name, const AnsiString& bytes) {
        Folder.Write(name, bytes);
        return Folder.File(name);
    }

    // The main window's part of sending: poll stopped, busy, buttons off, then the request.
    void RequestUpload(const AnsiString& fileName) {
        Client.StopPollTimer();
        Client.SetBusy(true);
        Client.SetButtonsEnabled(false);
        Client.SendFileRequest(ProblemNumber, ProblemKey, fileName);
    }

    // Requests the file and answers "03"; returns once the size announcement is in.
    void StartUpload(const AnsiString& fileName) {
        const size_t before = Server.Received().size();
        const size_t messages = Server.Messages().size();
        RequestUpload(fileName);
        ASSERT_TRUE(Server.WaitForMessages(messages + 1));
        ASSERT_EQ(Server.Received().substr(before), RequestBytes(fileName));
        Server.Send("03");
        ASSERT_TRUE(Server.WaitForMessages(messages + 2));
    }

    static AnsiString RequestBytes(const AnsiString& fileName) {
        return "01" + Identity + "?" + ProblemNumber + "?" + ProblemKey + "?" + fileName;
    }

    // Asks for one block; returns the bytes that arrived for it once `expected` are in.
    AnsiString PullBlock(size_t expected) {
        const size_t before = Server.Received().size();
        Server.Send("05");
        EXPECT_TRUE(Server.WaitForBytes(before + expected));
        return Server.Received().substr(before);
    }

    bool ButtonsEnabled() const {
        return BtnSendFile.isEnabled() && BtnSendMessage.isEnabled() &&
               BtnRequestScore.isEnabled() && BtnSelectFile.isEnabled();
    }

    std::vector<AnsiString> DiagnosticLines() const {
        TStringList lines;
        lines.SetText(Folder.Read("dbgclient.txt"));
        std::vector<AnsiString> texts;
        for (const AnsiString& line : lines)
            texts.push_back(AfterDateTimeStamp(line));
        return texts;
    }
};

// ---- Whole uploads, block by block ----

struct UploadCase {
    size_t Size;
    int Blocks;
    bool ShortLastBlock; // fewer than 15 bytes of file in the last block
};
// Keeps the test's listed name short.
void PrintTo(const UploadCase& c, std::ostream* out) {
    *out << c.Size << " bytes";
}

class TSClientUploadSizes : public TSClientUpload,
                            public ::testing::WithParamInterface<UploadCase> {};

TEST_P(TSClientUploadSizes, EveryBlockCarriesTheHeaderAndTheNextBytesOfTheFile) {
    const UploadCase upload = GetParam();
    const AnsiString content = FileBytes(upload.Size);
    const AnsiString fileName = MakeFile("answer.bin", content);
    ASSERT_NO_FATAL_FAILURE(StartUpload(fileName));
    EXPECT_EQ(Server.MessageTexts()[1], "00" + Identity + "?" + std::to_string(upload.Size) + "?" +
                                            std::to_string(upload.Blocks));

    AnsiString expectedWire = RequestBytes(fileName) + Server.MessageTexts()[1];
    for (int block = 0; block < upload.Blocks; ++block) {
        const AnsiString part = content.substr(static_cast<size_t>(block) * 1024, 1024);
        const AnsiString expected = Header(Client.FStudentNo) + part;
        EXPECT_EQ(PullBlock(expected.size()), expected) << "block " << block;
        expectedWire += expected;
    }
    EXPECT_EQ(Server.Received(), expectedWire);
    EXPECT_EQ(SentAfter("09"), ""); // nothing unasked
    EXPECT_EQ(Client.FSendStream, nullptr);
    EXPECT_TRUE(Folder.Exists("answer.bin")); // only Matlab programs are deleted
    EXPECT_EQ(Folder.Read("answer.bin"), content);
    const std::vector<AnsiString> expectedDiagnostics =
        upload.ShortLastBlock ? std::vector<AnsiString>{" iNum < 15(SClient.ClientSocketRead)"}
                              : std::vector<AnsiString>{};
    EXPECT_EQ(DiagnosticLines(), expectedDiagnostics);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TSClientUploadSizes,
                         ::testing::Values(UploadCase{0, 0, false}, UploadCase{1024, 1, false},
                                           UploadCase{1025, 2, true}, UploadCase{3000, 3, false}),
                         [](const auto& info) {
                             return "Bytes" + std::to_string(info.param.Size);
                         });

TEST_F(TSClientUpload, EmptyFileAnsweredWithTheHeaderAloneAndBothDiagnosticLines) {
    const ScopedClock clock(TestMoment);
    ASSERT_NO_FATAL_FAILURE(StartUpload(MakeFile("empty.bin", "")));
    EXPECT_EQ(PullBlock(15), Header(Client.FStudentNo));
    EXPECT_EQ(Folder.Read("dbgclient.txt"),
              "2026-03-07 08:05:09 client iNum==0\r\n"
              "2026-03-07 08:05:09 iNum < 15(SClient.ClientSocketRead)\r\n");
}

TEST_F(TSClientUpload, FullDiagnosticFileBecomesTheOldOneAndANewOneBegins) {
    const AnsiString full(1024 * 1024, 'x');
    Folder.Write("dbgclient.txt", full);
    ASSERT_NO_FATAL_FAILURE(StartUpload(MakeFile("empty.bin", "")));
    PullBlock(15);
    EXPECT_EQ(Folder.Read("dbgclient.old"), full);
    EXPECT_EQ(DiagnosticLines().size(), 2u);
}

TEST_F(TSClientUpload, SuccessGivesTheControlsBackAndLogsTheFileName) {
    const AnsiString fileName = MakeFile("answer.txt", "x = 1;");
    ASSERT_NO_FATAL_FAILURE(StartUpload(fileName));
    PullBlock(15 + 6);
    EXPECT_FALSE(ButtonsEnabled());
    Deliver("09");
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_FALSE(Client.IsBusy());
    EXPECT_TRUE(PollTimer.isActive());
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_TRUE(IsStamped(Lines()[0], "  发送文件成功, 文件名: " + fileName)) << Lines()[0];
}

// ---- The student-number header ----

struct HeaderCase {
    const char* Name;
    AnsiString StudentNo;
    AnsiString Expected;
};
void PrintTo(const HeaderCase& c, std::ostream* out) {
    *out << c.Name;
}

class TSClientUploadHeader : public TSClientUpload,
                             public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(TSClientUploadHeader, FirstFifteenBytesOfTheStudentNumberZeroPadded) {
    Client.FStudentNo = GetParam().StudentNo;
    ASSERT_NO_FATAL_FAILURE(StartUpload(MakeFile("answer.bin", "abc")));
    EXPECT_EQ(PullBlock(18), GetParam().Expected + "abc");
}

INSTANTIATE_TEST_SUITE_P(
    StudentNumbers, TSClientUploadHeader,
    ::testing::Values(HeaderCase{"ThreeBytes", "007", AnsiString("007") + AnsiString(12, '\0')},
                      HeaderCase{"FifteenBytes", "202300100200301", "202300100200301"},
                      HeaderCase{"TwentyBytes", "20230010020030104005", "202300100200301"},
                      // eight double-byte characters: the eighth is cut after its lead byte
                      HeaderCase{"DoubleByteCutAtByteFifteen", "张王李赵刘陈杨黄",
                                 AnsiString("张王李赵刘陈杨黄", 15)},
                      HeaderCase{"Empty", "", AnsiString(15, '\0')}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---- Deleting the uploaded Matlab program ----

class TSClientUploadDeletion : public TSClientUpload {
protected:
    // A whole upload of a small file, ended by "09" while the closer answers any box.
    void UploadAndFinish(const AnsiString& fileName) {
        ASSERT_NO_FATAL_FAILURE(StartUpload(fileName));
        PullBlock(15 + 4);
        Deliver("09");
    }
};

TEST_F(TSClientUploadDeletion, MatlabProgramIsDeletedWhateverTheCaseOfItsExtension) {
    for (const char* name : {"syschk_a.m", "syschk_b.M"}) {
        ModalBoxCloser closer;
        ASSERT_NO_FATAL_FAILURE(UploadAndFinish(MakeFile(name, "r=1;")));
        EXPECT_FALSE(Folder.Exists(name)) << name;
        EXPECT_TRUE(closer.Boxes().empty()) << name;
    }
}

TEST_F(TSClientUploadDeletion, OtherFilesStay) {
    ModalBoxCloser closer;
    for (const char* name : {"answer.mm", "answer.txt", "answer"}) {
        ASSERT_NO_FATAL_FAILURE(UploadAndFinish(MakeFile(name, "r=1;")));
        EXPECT_TRUE(Folder.Exists(name)) << name;
    }
    // The dot of a folder is no extension of the file inside it.
    std::filesystem::create_directory(Folder.File("work.m"));
    ASSERT_NO_FATAL_FAILURE(UploadAndFinish(MakeFile("work.m/answer", "r=1;")));
    EXPECT_TRUE(Folder.Exists("work.m/answer"));
    EXPECT_TRUE(closer.Boxes().empty());
}

TEST_F(TSClientUploadDeletion, FileAlreadyGoneShowsNoBox) {
    ModalBoxCloser closer;
    const AnsiString fileName = MakeFile("syschk_gone.m", "r=1;");
    ASSERT_NO_FATAL_FAILURE(StartUpload(fileName));
    std::filesystem::remove(fileName);
    Deliver("09");
    EXPECT_TRUE(closer.Boxes().empty());
    EXPECT_FALSE(Client.IsBusy());
    EXPECT_TRUE(PollTimer.isActive());
}

TEST_F(TSClientUploadDeletion, FailedDeletionShowsItsBoxAndStillEndsTheUpload) {
    const AnsiString fileName = MakeFile("syschk_kept.m", "r=1;");
    ImmutableFile immutable(fileName);
    if (!immutable.IsSet())
        GTEST_SKIP() << "this file system cannot make a file undeletable";
    ModalBoxCloser closer;
    ASSERT_NO_FATAL_FAILURE(UploadAndFinish(fileName));
    ASSERT_EQ(closer.Boxes().size(), 1u);
    EXPECT_EQ(FromQString(closer.Boxes()[0].caption), "提示");
    EXPECT_EQ(FromQString(closer.Boxes()[0].text), "删除临时文件失败！");
    EXPECT_TRUE(Folder.Exists("syschk_kept.m"));
    EXPECT_FALSE(Client.IsBusy());
    EXPECT_TRUE(PollTimer.isActive());
}

TEST_F(TSClientUploadDeletion, FileThatCannotBeTestedShowsTheExceptionBox) {
    // A link that points at itself cannot be resolved: the existence test itself fails.
    const AnsiString fileName = Folder.File("loop.m");
    std::filesystem::create_symlink("loop.m", fileName);
    ModalBoxCloser closer;
    RequestUpload(fileName);
    Deliver("09");
    ASSERT_EQ(closer.Boxes().size(), 1u);
    EXPECT_EQ(FromQString(closer.Boxes()[0].caption), "提示");
    EXPECT_EQ(FromQString(closer.Boxes()[0].text), "删除临时文件失败（出现异常）！");
    EXPECT_FALSE(Client.IsBusy());
    EXPECT_TRUE(PollTimer.isActive());
}

// ---- Refusal, error, reset and check results ----

TEST_F(TSClientUpload, RefusalThenResetOnlyGivesTheButtonsBackAgain) {
    ASSERT_NO_FATAL_FAILURE(StartUpload(MakeFile("answer.bin", FileBytes(3000))));
    PullBlock(1039);
    Deliver("02超时");
    EXPECT_EQ(Client.FSendStream, nullptr);
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_FALSE(Client.IsBusy());
    EXPECT_TRUE(PollTimer.isActive());
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_TRUE(IsStamped(Lines()[0], "  发送失败，被服务端拒绝! 原因: 超时")) << Lines()[0];

    Client.SetButtonsEnabled(false);
    Client.SetBusy(true);
    PollTimer.stop();
    EXPECT_EQ(SentAfter("06"), "");
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_TRUE(Client.IsBusy());
    EXPECT_FALSE(PollTimer.isActive());
    EXPECT_EQ(Lines().size(), 1u);
}

TEST_F(TSClientUpload, ServerErrorIsLoggedAfterAnEmptyLineAndEndsTheUpload) {
    ASSERT_NO_FATAL_FAILURE(StartUpload(MakeFile("answer.bin", FileBytes(3000))));
    Deliver("28磁盘已满");
    EXPECT_EQ(Client.FSendStream, nullptr);
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_FALSE(Client.IsBusy());
    EXPECT_TRUE(PollTimer.isActive());
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[0], "");
    EXPECT_TRUE(IsStamped(Lines()[1], " 发送异常-服务端消息: 磁盘已满")) << Lines()[1];
}

TEST_F(TSClientUpload, ResetMidUploadReleasesTheFileButStaysBusy) {
    const AnsiString fileName = MakeFile("answer.bin", FileBytes(3000));
    ASSERT_NO_FATAL_FAILURE(StartUpload(fileName));
    PullBlock(1039);
    Deliver("06");
    EXPECT_EQ(Client.FSendStream, nullptr);
    EXPECT_EQ(platform::DeleteFile(fileName), 0) << "nothing holds the file any more";
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_TRUE(Client.IsBusy());
    EXPECT_FALSE(PollTimer.isActive());
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(SentAfter("05"), ""); // no file, no block
}

TEST_F(TSClientUpload, ConnectionClosedOrReopenedEndsTheUploadAndReleasesTheFile) {
    const AnsiString content = FileBytes(3000);
    const AnsiString fileName = MakeFile("answer.bin", content);
    const std::function<void()> roads[] = {
        [&] { Server.CloseConnection(); },
        [&] { Client.ConnectServer(Loopback, Server.Port(), true); }};
    for (const std::function<void()>& closeConnection : roads) {
        ClearLog();
        ASSERT_NO_FATAL_FAILURE(StartUpload(fileName));
        PullBlock(1039);
        const int connections = Server.ConnectionCount();
        closeConnection();
        ASSERT_TRUE(WaitUntil([&] { return !Client.IsBusy(); }));
        EXPECT_EQ(Client.FSendStream, nullptr);
        EXPECT_TRUE(ButtonsEnabled());
        ASSERT_EQ(Lines().size(), 1u);
        EXPECT_TRUE(IsStamped(Lines()[0], "   发送失败. 原因: 与服务端的连接已断开")) << Lines()[0];

        ASSERT_TRUE(Client.ConnectServer(Loopback, Server.Port(), false));
        ASSERT_TRUE(Server.WaitForConnections(connections + 1));
        EXPECT_EQ(SentAfter("05"), "");                 // no stale block on the fresh connection
        ASSERT_NO_FATAL_FAILURE(StartUpload(fileName)); // the old handle no longer holds it
        EXPECT_EQ(PullBlock(1039), Header(Client.FStudentNo) + content.substr(0, 1024));
        Deliver("09");
    }
}

// A request the busy flag waits for ends once no reply can come: its connection closes before
// the reply, or is down already when it is made (the poll then starts again as well). Only an
// answer logs that it failed.
TEST_F(TSClientUpload, RequestThatNoReplyCanReachEndsTheBusyState) {
    struct Road {
        const char* Name;
        bool Answer;
        bool DownBefore;
    };
    const AnsiString fileName = MakeFile("answer.bin", FileBytes(10));
    for (const Road& road :
         {Road{"answer, closed after", true, false}, Road{"scores, closed after", false, false},
          Road{"answer, down before", true, true}, Road{"scores, down before", false, true}}) {
        SCOPED_TRACE(road.Name);
        ClearLog();
        if (road.DownBefore) {
            Server.CloseConnection();
            ASSERT_TRUE(WaitUntil([&] { return !Client.FSocket->Active(); }));
        }
        const size_t messages = Server.Messages().size();
        if (road.Answer) {
            RequestUpload(fileName);
        } else {
            Client.StopPollTimer();
            Client.SetBusy(true);
            Client.SetButtonsEnabled(false);
            Client.RequestScore("");
        }
        if (!road.DownBefore) {
            ASSERT_TRUE(Server.WaitForMessages(messages + 1));
            Server.CloseConnection();
        }
        ASSERT_TRUE(WaitUntil([&] { return !Client.IsBusy(); }));
        EXPECT_TRUE(ButtonsEnabled());
        EXPECT_EQ(PollTimer.isActive(), road.DownBefore);
        if (road.Answer) {
            ASSERT_EQ(Lines().size(), 1u);
            EXPECT_TRUE(IsStamped(Lines()[0], "   发送失败. 原因: 与服务端的连接已断开"));
        } else {
            EXPECT_TRUE(Lines().empty());
        }
        PollTimer.stop();
        const int connections = Server.ConnectionCount();
        ASSERT_TRUE(Client.ConnectServer(Loopback, Server.Port(), false));
        ASSERT_TRUE(Server.WaitForConnections(connections + 1));
    }
}

TEST_F(TSClientUpload, CheckResultsAreOneUnstampedEntryAndChangeNothingElse) {
    const AnsiString payload = "3,2000 1+;4,20051";
    Client.SetBusy(true);
    Deliver("29" + payload);
    Deliver("29");
    TStringList expected;
    expected.SetText(FormatCheckResults(payload) + "\r\n" + FormatCheckResults(""));
    ASSERT_EQ(Lines().size(), static_cast<size_t>(expected.Count()));
    for (int i = 0; i < expected.Count(); ++i)
        EXPECT_EQ(Lines()[i], expected[i]);
    EXPECT_TRUE(Client.IsBusy());
    EXPECT_FALSE(PollTimer.isActive());
    EXPECT_TRUE(BtnSendFile.isEnabled());
}

// ---- Replies out of order ----

TEST_F(TSClientUpload, BlockRequestWithoutAnOpenFileIsIgnored) {
    EXPECT_EQ(SentAfter("05"), "");
    RequestUpload(MakeFile("answer.bin", "abc"));
    ASSERT_TRUE(Server.WaitForMessages(2)); // behind the echo
    EXPECT_EQ(SentAfter("05"), "");         // asked for, but "03" never came
    EXPECT_TRUE(Lines().empty());
    EXPECT_FALSE(Folder.Exists("dbgclient.txt"));
}

TEST_F(TSClientUpload, BlockRequestAfterSuccessAndSuccessTwiceSendNothing) {
    ModalBoxCloser closer;
    const AnsiString fileName = MakeFile("syschk_twice.m", "r=1;");
    ASSERT_NO_FATAL_FAILURE(StartUpload(fileName));
    PullBlock(15 + 4);
    Deliver("09");
    EXPECT_EQ(SentAfter("05"), "");
    EXPECT_EQ(SentAfter("09"), "");
    EXPECT_EQ(Lines().size(), 2u); // each success is logged
    EXPECT_TRUE(closer.Boxes().empty());
    EXPECT_EQ(Client.FSendStream, nullptr);
}

TEST_F(TSClientUpload, SecondGoAheadFailsToOpenTheHeldFileAndTheUploadGoesOn) {
    const AnsiString content = FileBytes(2048);
    const AnsiString fileName = MakeFile("answer.bin", content);
    ASSERT_NO_FATAL_FAILURE(StartUpload(fileName));
    PullBlock(1039);
    ModalBoxCloser closer;
    EXPECT_EQ(SentAfter("03"), ""); // no second size announcement
    ASSERT_EQ(closer.Boxes().size(), 1u);
    EXPECT_NE(FromQString(closer.Boxes()[0].text).find(fileName), AnsiString::npos);
    EXPECT_EQ(PullBlock(1039), Header(Client.FStudentNo) + content.substr(1024));
}

TEST_F(TSClientUpload, MissingFileShowsTheOpenErrorAndSendsNothing) {
    ModalBoxCloser closer;
    const AnsiString fileName = Folder.File("nowhere.bin");
    RequestUpload(fileName);
    ASSERT_TRUE(Server.WaitForMessages(1));
    EXPECT_EQ(SentAfter("03"), "");
    ASSERT_EQ(closer.Boxes().size(), 1u);
    EXPECT_EQ(FromQString(closer.Boxes()[0].text), EFOpenError(fileName, ENOENT).Message);
    EXPECT_EQ(Client.FSendStream, nullptr);
    EXPECT_TRUE(Client.IsBusy());
    EXPECT_FALSE(ButtonsEnabled());
}

TEST_F(TSClientUpload, FolderInsteadOfAFileIsNotOpened) {
    ModalBoxCloser closer;
    RequestUpload(Folder.Path());
    ASSERT_TRUE(Server.WaitForMessages(1));
    EXPECT_EQ(SentAfter("03"), "");
    EXPECT_EQ(closer.Boxes().size(), 1u);
    EXPECT_EQ(Client.FSendStream, nullptr);
}

// ---- A diagnostic line that cannot be written ----

TEST_F(TSClientUpload, FailedDiagnosticLineStillSendsTheBlockThenShowsItsError) {
    // Root writes anywhere; a folder in the way makes the append fail all the same.
    std::filesystem::create_directory(Folder.File("dbgclient.txt"));
    const AnsiString content = FileBytes(1025);
    ASSERT_NO_FATAL_FAILURE(StartUpload(MakeFile("answer.bin", content)));
    EXPECT_EQ(PullBlock(1039), Header(Client.FStudentNo) + content.substr(0, 1024));

    // The box must find the short block already on its way: the server receives it while the
    // box is still open.
    const AnsiString expectedBlock = Header(Client.FStudentNo) + content.substr(1024);
    const size_t before = Server.Received().size();
    std::vector<QString> boxTexts;
    bool blockArrivedWhileBoxOpen = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        watcher.stop();
        boxTexts.push_back(box->text());
        blockArrivedWhileBoxOpen = Server.WaitForBytes(before + expectedBlock.size());
        box->button(QMessageBox::Ok)->click();
    });
    watcher.start(5);
    Server.Send("05");
    ASSERT_TRUE(WaitUntil([&] { return !boxTexts.empty(); }));
    EXPECT_TRUE(blockArrivedWhileBoxOpen);
    EXPECT_EQ(Server.Received().substr(before), expectedBlock);
    EXPECT_EQ(FromQString(boxTexts[0]), EInOutError::FromErrno(EISDIR).Message);

    Deliver("09");
    EXPECT_FALSE(Client.IsBusy());
    EXPECT_EQ(Client.FSendStream, nullptr);
}
