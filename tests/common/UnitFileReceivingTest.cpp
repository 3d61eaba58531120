// The receiving exchange as the server drives it, over real loopback TCP to a push receiver.
#include "UnitFileReceiving.h"

#include "Codec.h"
#include "Files.h"
#include "PushFixture.h"

#include "Application.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const AnsiString SizeMismatch = "接收:源和目标字节数不一致";

void ExpectSizeMismatchBox(const ModalBoxCloser& boxes) {
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, ToQString(ApplicationTitle()));
    EXPECT_EQ(boxes.Boxes()[0].text, ToQString(SizeMismatch));
}

} // namespace

// --- Whole transfers and when a file is complete -------------------------------------------

TEST_F(PushReceiverTest, FileInTwoBlocksReplacesTheOldFileAndIsLogged) {
    const ScopedClock clock(TestMoment);
    folder.Write("data.bin", FileBytes(5000, 1));
    const AnsiString bytes = FileBytes(1500);
    Offer(*peer, "data.bin", 1500, 2);
    SendBlock(*peer, bytes.substr(0, 1024), "04");
    EXPECT_FALSE(folder.Exists("data.bin")) << "the offer deletes the old file";
    SendBlock(*peer, bytes.substr(1024), "09");

    EXPECT_EQ(folder.Read("data.bin"), bytes);
    EXPECT_EQ(LogLines(&log), std::vector<AnsiString>{"08:05:09  文件接收完毕: data.bin"});
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(peer->TakeAll(), "");
}

TEST_F(PushReceiverTest, AnnouncedBlockCountCompletesWithoutAShortBlock) {
    const AnsiString bytes = FileBytes(2048);
    Offer(*peer, "even.bin", 2048, 2);
    SendBlock(*peer, bytes.substr(0, 1024), "04");
    SendBlock(*peer, bytes.substr(1024), "09");
    EXPECT_EQ(folder.Read("even.bin"), bytes);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(PushReceiverTest, WithoutBlockCountOnlyAShortBlockCompletes) {
    const AnsiString bytes = FileBytes(2048);
    Offer(*peer, "open.bin", 2048, 0);
    SendBlock(*peer, bytes.substr(0, 1024), "04");
    SendBlock(*peer, bytes.substr(1024), "04");
    EXPECT_FALSE(folder.Exists("open.bin"));
    SendBlock(*peer, "tail", "09");
    EXPECT_EQ(folder.Read("open.bin"), bytes + "tail");
    ExpectSizeMismatchBox(boxes);
}

TEST_F(PushReceiverTest, ShortFirstReadCompletesTheFileAndShowsTheSizeBox) {
    const AnsiString bytes = FileBytes(700);
    Offer(*peer, "short.bin", 1500, 2);
    SendBlock(*peer, bytes, "09");
    EXPECT_EQ(folder.Read("short.bin"), bytes) << "the file stays written";
    ExpectSizeMismatchBox(boxes);
    ASSERT_EQ(LogLines(&log).size(), 1u);
    EXPECT_EQ(AfterTimeStamp(LogLines(&log)[0]), "  文件接收完毕: short.bin");
}

TEST_F(PushReceiverTest, PeerHangingUpWhileTheSizeBoxIsOpenLeavesTheReceiverWorking) {
    boxes.WhileOpen = [&] {
        peer->Close();
        PumpEvents(100);
    };
    Offer(*peer, "hangup.bin", 3000, 0);
    Send(*peer, "04");
    ExpectReply(*peer, "05");
    Send(*peer, FileBytes(76));
    ExpectSizeMismatchBox(boxes);
    EXPECT_EQ(folder.Read("hangup.bin"), FileBytes(76));

    boxes.WhileOpen = nullptr;
    peer = ReceiverPeer::ConnectTo(port);
    Push(*peer, "after.bin", "still here");
    EXPECT_EQ(folder.Read("after.bin"), "still here");
}

TEST_F(PushReceiverTest, BytesBeyondABlockAreTheNextMessage) {
    log.appendPlainText(QStringLiteral("earlier"));
    const AnsiString bytes = FileBytes(1030);
    Offer(*peer, "split.bin", 1030, 2);
    Send(*peer, "04");
    ExpectReply(*peer, "05");
    Send(*peer, bytes.substr(0, 1024) + "08note", 2);
    ExpectReply(*peer, "04");
    const auto lines = LogLines(&log);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(AfterTimeStamp(lines[2]), " note");
    SendBlock(*peer, bytes.substr(1024), "09");
    EXPECT_EQ(folder.Read("split.bin"), bytes);
}

// --- Offers, cancels and ends -----------------------------------------------------------------

TEST_F(PushReceiverTest, OfferWhileOpenDropsTheEarlierFile) {
    folder.Write("first.txt", "old");
    Offer(*peer, "first.txt", 2048, 2);
    SendBlock(*peer, FileBytes(1024, 3), "04");
    Offer(*peer, "second.txt", 5, 1);
    SendBlock(*peer, "fresh", "09");
    EXPECT_FALSE(folder.Exists("first.txt"));
    EXPECT_EQ(folder.Read("second.txt"), "fresh") << "a new offer starts an empty buffer";
}

TEST_F(PushReceiverTest, CancelAfterOfferLeavesNoFile) {
    folder.Write("gone.txt", "old");
    Send(*peer, "01gone.txt");
    ExpectReply(*peer, "03");
    Send(*peer, "06");
    Send(*peer, "01next.txt");
    ExpectReply(*peer, "03"); // the cancel had no reply of its own
    EXPECT_FALSE(folder.Exists("gone.txt"));
}

TEST_F(PushReceiverTest, ServerEndWritesWhatIsHeldWithoutReplyOrBox) {
    const AnsiString block = FileBytes(1024);
    Offer(*peer, "part.bin", 3000, 3);
    SendBlock(*peer, block, "04");
    Send(*peer, "09");
    EXPECT_EQ(folder.Read("part.bin"), block);
    Send(*peer, "01probe");
    ExpectReply(*peer, "03");
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(LogLines(&log).empty());
}

TEST_F(PushReceiverTest, BlockOrEndOutsideATransferWritesNothing) {
    log.appendPlainText(QStringLiteral("earlier"));
    Send(*peer, "09");
    Send(*peer, "04");
    ExpectReply(*peer, "05");
    Send(*peer, "stray");
    Send(*peer, "08after"); // the record awaits a command again
    EXPECT_EQ(peer->TakeAll(), "");
    const auto lines = LogLines(&log);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(AfterTimeStamp(lines[2]), " after");
    EXPECT_EQ(receiver->FClients[0].Stream, nullptr);
}

// --- Text messages and codes -----------------------------------------------------------------

TEST_F(PushReceiverTest, TextMessageKeepsItsLeadingBlanks) {
    log.appendPlainText(QStringLiteral("earlier"));
    Send(*peer, "08  下课后交作业 ");
    const auto lines = LogLines(&log);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "") << "an empty line comes first";
    EXPECT_EQ(AfterTimeStamp(lines[2]), "   下课后交作业 ");
    EXPECT_EQ(peer->TakeAll(), "");
}

TEST_F(PushReceiverTest, ChannelCodesShortAndUnknownTextsAreIgnored) {
    for (const AnsiString message : {"27", "18", "1", "ZZ?x"})
        Send(*peer, message);
    Send(*peer, "01probe");
    ExpectReply(*peer, "03");
    EXPECT_TRUE(LogLines(&log).empty());
}

TEST_F(PushReceiverTest, BadSizeAnnouncementsRaiseAndChangeOnlyWhatCameBefore) {
    Offer(*peer, "f.bin", 10, 4);
    Send(*peer, "00abc?2");
    Send(*peer, "0012");
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("'abc' is not a valid integer value"));
    EXPECT_EQ(boxes.Boxes()[1].text, QStringLiteral("List index out of bounds (1)"));
    EXPECT_EQ(receiver->FClients[0].FileSize, 12);
    EXPECT_EQ(receiver->FClients[0].BlockCount, 4);
    EXPECT_EQ(peer->TakeAll(), "");
}

TEST_F(PushReceiverTest, ErrorWhileAReceiverBoxIsOpenIsLoggedInsteadOfNesting) {
    auto second = ReceiverPeer::ConnectTo(port, "127.0.0.2");
    const OnBoxShown whileOpen([&] { Send(*second, "00bad?1"); });
    Send(*peer, "00abc?2");
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("'abc' is not a valid integer value"));
    const auto lines = LogLines(&log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(AfterTimeStamp(lines[0]), " 'bad' is not a valid integer value");

    Send(*second, "00bad?1"); // with no box open, the next error has its box again
    EXPECT_EQ(boxes.Boxes().size(), 2u);
}

// --- Where files land ------------------------------------------------------------------------

TEST(FileNamePart, KeepsTheLastPartAfterAnySeparator) {
    EXPECT_EQ(FileNamePart("C:\\课程\\第一章\\train.db"), "train.db");
    EXPECT_EQ(FileNamePart("C:name.txt"), "name.txt");
    EXPECT_EQ(FileNamePart("../x"), "x");
    EXPECT_EQ(FileNamePart("a/../../b"), "b");
    EXPECT_EQ(FileNamePart("/etc/passwd"), "passwd");
    EXPECT_EQ(FileNamePart("dir/"), "");
    EXPECT_EQ(FileNamePart("dir\\"), "");
    EXPECT_EQ(FileNamePart("plain"), "plain");
}

TEST(FileNamePart, TrailByteOfADoubleByteCharacterIsNoSeparator) {
    // "乗" is 0x81 0x5C in GBK: its second byte is the backslash.
    EXPECT_EQ(FileNamePart("乗.txt"), "乗.txt");
    EXPECT_EQ(FileNamePart("资料\\乗\\乗表.m"), "乗表.m");
    EXPECT_EQ(FileNamePart("a\\b\x81"), "b\x81") << "a lead byte at the end stands alone";
    EXPECT_EQ(FileNamePart("a\x81/b"), "b") << "the file system splits at a slash after it";
    EXPECT_EQ(FileNamePart("\x81/.."), "..");
}

TEST_F(PushReceiverTest, OfferedPathsLandInTheFolderUnderTheirLastPart) {
    Push(*peer, "C:\\Documents\\课程\\train.db?7?x", "one");
    Push(*peer, "D:name.txt", "two");
    Push(*peer, "../escape-up.txt", "three");
    Push(*peer, "a/../../escape-deep.txt", "four");
    Push(*peer, "资料\\乗.txt", "five");
    Push(*peer, AnsiString("cut.txt") + '\0' + "/whole.txt", "six");
    EXPECT_EQ(folder.Read("train.db"), "one");
    EXPECT_EQ(folder.Read("name.txt"), "two");
    EXPECT_EQ(folder.Read("escape-up.txt"), "three");
    EXPECT_EQ(folder.Read("escape-deep.txt"), "four");
    EXPECT_EQ(folder.Read("乗.txt"), "five");
    EXPECT_EQ(folder.Read("cut.txt"), "six") << "file calls end the name at the NUL";
    EXPECT_FALSE(folder.Exists("whole.txt"));
    QFile stored(QDir(ToQString(folder.Path())).filePath(QString::fromUtf8(u8"乗.txt")));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly)) << "stored under the name it spells";
    EXPECT_EQ(stored.readAll(), QByteArray("five"));
    EXPECT_FALSE(folder.Exists("../escape-up.txt"));
    EXPECT_FALSE(folder.Exists("../escape-deep.txt"));
    EXPECT_EQ(AfterTimeStamp(LogLines(&log)[0]), "  文件接收完毕: train.db");
}

TEST_F(PushReceiverTest, SlashAfterALeadByteStillEndsThePath) {
    const AnsiString subfolder = folder.File("a\x81");
    ASSERT_EQ(::mkdir(subfolder.c_str(), 0700), 0);
    Push(*peer, "a\x81/inner.txt", "six");
    EXPECT_EQ(folder.Read("inner.txt"), "six");
    EXPECT_NE(::access((subfolder + "/inner.txt").c_str(), F_OK), 0);
    ::rmdir(subfolder.c_str()); // made by raw bytes that name no text: only they remove it
}

// Names that address no file of their own, the running program, a file the client reads from its
// folder, or a file an upload holds.
TEST_F(PushReceiverTest, RefusedNamesFailWithTheCreationErrorAndReplaceNothing) {
    const AnsiString program =
        QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName())
            .toStdString();
    const platform::TFileHold held(folder.Write("held.m", "the student's"));
    for (const AnsiString& name :
         {AnsiString("dir/"), AnsiString("C:\\dir\\"), AnsiString(".."), AnsiString("a/."),
          AnsiString(), "C:\\bin\\" + program, AnsiString("temp.m"), AnsiString("syschk_temp.m"),
          AnsiString("qt.conf"), AnsiString("qt6.conf"), AnsiString("held.m")}) {
        SCOPED_TRACE(name);
        const std::size_t boxesBefore = boxes.Boxes().size();
        Offer(*peer, name, 3, 1);
        SendBlock(*peer, "abc", ""); // no "09": the file could not be written
        ASSERT_EQ(boxes.Boxes().size(), boxesBefore + 1);
        EXPECT_TRUE(boxes.Boxes().back().text.startsWith(QStringLiteral("Cannot create file")));
        EXPECT_NE(receiver->FClients[0].Stream, nullptr) << "the buffer is kept";
        Send(*peer, "06");
    }
    EXPECT_EQ(peer->TakeAll(), "");
    EXPECT_TRUE(LogLines(&log).empty());
    EXPECT_EQ(QDir(ToQString(folder.Path())).entryList(QDir::Files | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("held.m")});
    EXPECT_EQ(folder.Read("held.m"), "the student's");
}

// --- Memory bound ------------------------------------------------------------------------------

namespace {

// Files may grow to three blocks: the doubling buffer would pass that bound on the third.
class BoundedPushReceiverTest : public PushReceiverTest {
protected:
    BoundedPushReceiverTest() { limits.MaxFileBytes = 3 * 1024; }
};

} // namespace

TEST_F(BoundedPushReceiverTest, TransferGrowingPastTheBoundIsDropped) {
    EXPECT_EQ(MaxReceivedFileBytes, 256u * 1024 * 1024);
    Offer(*peer, "big.bin", 1, 0);
    for (int block = 0; block < 3; ++block)
        SendBlock(*peer, FileBytes(1024), "04"); // up to exactly the bound: still taken
    EXPECT_LE(receiver->FClients[0].Stream->Capacity(), limits.MaxFileBytes);
    SendBlock(*peer, "y", ""); // one byte more: dropped
    EXPECT_FALSE(folder.Exists("big.bin"));
    EXPECT_EQ(receiver->FClients[0].Stream, nullptr);
    const auto lines = LogLines(&log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(AfterTimeStamp(lines[0]), " big.bin 文件过大，已放弃接收");

    Push(*peer, "after.bin", "still usable"); // the connection and the record go on
    EXPECT_EQ(folder.Read("after.bin"), "still usable");
}

TEST_F(PushReceiverTest, TransferThatWouldPassTheSharedBudgetIsDroppedAndTheOtherCompletes) {
    budget = std::make_shared<TTransferBudget>(3 * 1024);
    Listen();
    auto other = ReceiverPeer::ConnectTo(port, "127.0.0.2");
    Offer(*peer, "first.bin", 2048, 2);
    Offer(*other, "second.bin", 3072, 3);
    SendBlock(*peer, FileBytes(1024), "04");
    for (unsigned seed : {3u, 5u})
        SendBlock(*other, FileBytes(1024, seed), "04");
    SendBlock(*peer, FileBytes(1024), "");       // would pass the budget: dropped
    SendBlock(*other, FileBytes(1024, 9), "09"); // its doubling is cut to what the budget has

    EXPECT_FALSE(folder.Exists("first.bin"));
    EXPECT_EQ(folder.Read("second.bin"),
              FileBytes(1024, 3) + FileBytes(1024, 5) + FileBytes(1024, 9));
    EXPECT_EQ(budget->InUse(), 0u);
    const auto lines = LogLines(&log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(AfterTimeStamp(lines[0]), " first.bin 文件过大，已放弃接收");
}
