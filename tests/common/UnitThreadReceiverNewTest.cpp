// The download channel: its request, its codes, its completion steps and its end point.
#include "UnitThreadReceiverNew.h"
#include "Application.h"
#include "Codec.h"
#include "PushFixture.h"
#include "SysUtils.h"

#include <QPushButton>

#include <gtest/gtest.h>

namespace {

const AnsiString StudentNo = "20230017";

class DownloadChannelTest : public testing::Test {
protected:
    void SetUp() override {
        channel = std::make_unique<TSocketFileReceiverNew>(
            folder.Path(), std::make_shared<TTransferBudget>(), maxFileBytes);
        channel->FLog = &log;
        channel->FStudentNo = StudentNo;
        channel->FButton = &button;
        button.setEnabled(false);
        reads = std::make_unique<ReadCounter>(channel->FClientSocket->OnRead);
        EXPECT_TRUE(channel->Connect("127.0.0.1", server.Port()));
        ASSERT_TRUE(WaitUntil([this] { return channel->FClientSocket->Active(); }));
        peer = server.Accept();
    }

    void Send(const AnsiString& message) {
        const int before = reads->Count();
        peer->Send(message);
        ASSERT_TRUE(reads->WaitFor(before + 1)) << "not handled: " << message.substr(0, 20);
    }
    void ExpectReply(const AnsiString& code) {
        EXPECT_EQ(peer->Take(code.size() + StudentNo.size()), code + StudentNo);
    }
    void Offer(const AnsiString& name, int size, int blocks) {
        Send("01" + name);
        ExpectReply("03");
        Send("00" + IntToStr(size) + "?" + IntToStr(blocks));
        ExpectReply("04");
        Send("04");
        ExpectReply("05");
    }
    void StartDownload() {
        channel->StartDownload();
        EXPECT_TRUE(channel->FDownloading);
        ExpectReply("18");
    }

    std::size_t maxFileBytes = MaxReceivedFileBytes; // the channel is made with this bound
    ProgramFolder folder;
    QPlainTextEdit log;
    QPushButton button;
    ModalBoxCloser boxes;
    ChannelServer server;
    std::unique_ptr<TSocketFileReceiverNew> channel;
    std::unique_ptr<ReadCounter> reads;
    std::unique_ptr<ReceiverPeer> peer;
};

// Files may grow to one block.
class BoundedDownloadChannelTest : public DownloadChannelTest {
protected:
    BoundedDownloadChannelTest() { maxFileBytes = 1024; }
};

} // namespace

// --- Downloads
// ------------------------------------------------------------------------------------

TEST_F(DownloadChannelTest, CompletedFileRunsEveryStepAndTheCallbackLast) {
    struct Seen {
        bool called = false, busy = true, buttonEnabled = false, fileWritten = false;
        std::size_t boxes = 0, logLines = 0;
    } seen;
    channel->FOnDone = [&] {
        seen = {true,
                channel->FDownloading,
                button.isEnabled(),
                folder.Exists("train.db"),
                boxes.Boxes().size(),
                LogLines(&log).size()};
    };
    StartDownload();
    Offer("train.db", 1500, 2);
    Send(FileBytes(1024));
    ExpectReply("04");
    EXPECT_FALSE(seen.called);
    Send("04");
    ExpectReply("05");
    Send("short");
    ExpectReply("09");

    EXPECT_EQ(folder.Read("train.db"), FileBytes(1024) + "short");
    EXPECT_TRUE(seen.called);
    EXPECT_FALSE(seen.busy);
    EXPECT_TRUE(seen.buttonEnabled);
    EXPECT_TRUE(seen.fileWritten);
    EXPECT_EQ(seen.boxes, 1u) << "the callback runs after the size box has closed";
    EXPECT_EQ(seen.logLines, 1u);
    EXPECT_EQ(AfterTimeStamp(LogLines(&log)[0]), "  文件接收完毕: train.db");
    EXPECT_EQ(boxes.Boxes()[0].text, ToQString("接收:源和目标字节数不一致"));
}

TEST_F(DownloadChannelTest, FileThatCannotBeWrittenLeavesTheChannelBusy) {
    bool called = false;
    channel->FOnDone = [&] { called = true; };
    StartDownload();
    Offer("shared/", 3, 1);
    Send("abc");
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_TRUE(boxes.Boxes()[0].text.startsWith(QStringLiteral("Cannot create file")));
    EXPECT_TRUE(button.isEnabled()) << "the button comes back before the file is written";
    EXPECT_TRUE(channel->FDownloading);
    EXPECT_FALSE(called);
    EXPECT_TRUE(LogLines(&log).empty());
    EXPECT_EQ(peer->TakeAll(), "");
}

TEST_F(DownloadChannelTest, ServerEndWritesTheFileButKeepsTheChannelBusy) {
    bool called = false;
    channel->FOnDone = [&] { called = true; };
    StartDownload();
    Offer("share.zip", 3000, 3);
    Send(FileBytes(1024));
    ExpectReply("04");
    Send("09");
    EXPECT_EQ(folder.Read("share.zip"), FileBytes(1024));
    EXPECT_TRUE(channel->FDownloading);
    EXPECT_FALSE(button.isEnabled());
    EXPECT_FALSE(called);
    EXPECT_EQ(peer->TakeAll(), "");
}

TEST_F(BoundedDownloadChannelTest, TransferDroppedPastTheBoundEndsTheDownloadWithoutTheCallback) {
    bool called = false;
    channel->FOnDone = [&] { called = true; };
    StartDownload();
    Offer("huge.bin", 1, 0);
    Send(FileBytes(1024)); // exactly at the bound: still taken
    ExpectReply("04");
    Send("04");
    ExpectReply("05");
    Send("y");
    EXPECT_FALSE(channel->FDownloading);
    EXPECT_TRUE(button.isEnabled());
    EXPECT_FALSE(called);
    EXPECT_FALSE(folder.Exists("huge.bin"));
}

// --- A connection that closes --------------------------------------------------------------------

TEST_F(DownloadChannelTest, ConnectionClosingMidFileGivesTheDownloadUp) {
    StartDownload();
    Offer("train.db", 2000, 2);
    peer->Close();
    ASSERT_TRUE(WaitUntil([this] { return !channel->FDownloading; }));
    EXPECT_TRUE(button.isEnabled());
    EXPECT_TRUE(channel->FClients.AwaitingCommand) << "the next offer is no block";
    ASSERT_EQ(LogLines(&log).size(), 1u);
    EXPECT_EQ(AfterTimeStamp(LogLines(&log)[0]), " train.db 接收中断，已放弃接收");
}

TEST_F(DownloadChannelTest, ConnectionClosingBeforeAnyOfferClearsTheBusyFlagWithoutALogLine) {
    StartDownload();
    peer->Close();
    ASSERT_TRUE(WaitUntil([this] { return !channel->FDownloading; }));
    EXPECT_TRUE(button.isEnabled());
    EXPECT_TRUE(LogLines(&log).empty());
}

// --- The channel's own codes ---------------------------------------------------------------------

TEST_F(DownloadChannelTest, NoSharedFileClearsTheBusyFlagAndLogs) {
    StartDownload();
    Send("27");
    EXPECT_FALSE(channel->FDownloading);
    EXPECT_FALSE(button.isEnabled());
    const auto lines = LogLines(&log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(AfterTimeStamp(lines[0]), " 服务端没有设置共享文件");
    EXPECT_EQ(peer->TakeAll(), "");
}

TEST_F(DownloadChannelTest, IdentityRequestIsAnsweredWithTheStudentNumber) {
    Send("18");
    ExpectReply("21");
}

TEST_F(DownloadChannelTest, WithoutALogNothingIsWrittenToIt) {
    channel->FLog = nullptr;
    Send("08hello");
    Send("27");
    EXPECT_TRUE(LogLines(&log).empty());
}

// --- End point -----------------------------------------------------------------------------------

TEST_F(DownloadChannelTest, SameEndPointIsNoChangeAndAnotherOneRaises) {
    EXPECT_TRUE(channel->Connect("127.0.0.1", server.Port()));
    EXPECT_TRUE(channel->FClientSocket->Active());
    try {
        channel->Connect("127.0.0.1", server.Port() + 1);
        FAIL() << "a different port was taken while connected";
    } catch (const ESocketError& error) {
        EXPECT_EQ(error.Message, "Can't change value while socket is active");
    }
    EXPECT_EQ(channel->FClientSocket->Port(), server.Port());
    EXPECT_TRUE(channel->FClientSocket->Active());
    Send("18"); // still the same connection
    ExpectReply("21");
}

TEST_F(DownloadChannelTest, ErrorRuleClosesOnlyAbortedOrRefusedConnections) {
    int code = 10054;
    channel->ClientSocketError(channel->FClientSocket->Socket(), platform::eeReceive, code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(channel->FClientSocket->Active());
    code = 10061;
    channel->ClientSocketError(channel->FClientSocket->Socket(), platform::eeConnect, code);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(channel->FClientSocket->Active());
}

TEST_F(DownloadChannelTest, ChannelDestroyedWhileTheSizeBoxIsOpenCallsNothing) {
    bool called = false;
    channel->FOnDone = [&] { called = true; };
    const OnBoxShown ownerGoes([this] { channel.reset(); });
    StartDownload();
    Offer("train.db", 10, 1);
    Send("short");
    ExpectReply("09");
    ASSERT_TRUE(WaitUntil([this] { return channel == nullptr && !boxes.Boxes().empty(); }));
    EXPECT_EQ(folder.Read("train.db"), "short");
    EXPECT_FALSE(called);
}

TEST_F(DownloadChannelTest, DestroyingMidTransferWritesNothing) {
    StartDownload();
    Offer("train.db", 2000, 2);
    channel.reset();
    EXPECT_TRUE(peer->WaitClosedByReceiver());
    EXPECT_FALSE(folder.Exists("train.db"));
}
