#include "UnitCommon.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QDir>

#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

namespace {

TEST(ProgramFolder, EndsWithTheSeparatorAndHoldsTheExecutable) {
    const AnsiString folder = GetExePath();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(QDir(QString::fromStdString(folder)).exists());
}

TEST(AddBackslash, AppendsTheSeparatorOnce) {
    EXPECT_EQ(AddBackslash(""), "/");
    EXPECT_EQ(AddBackslash("/tmp/"), "/tmp/");
    EXPECT_EQ(AddBackslash("/tmp"), "/tmp/");
}

TEST(TimeStamps, PadEveryFieldToTwoDigits) {
    const ScopedClock morning(TestMoment);
    EXPECT_EQ(DateTimeStamp(), "2026-03-07 08:05:09");
    EXPECT_EQ(TimeStamp(), "08:05:09");
    const ScopedClock evening(QDateTime(QDate(2026, 1, 1), QTime(21, 5, 3)));
    EXPECT_EQ(TimeStamp(), "21:05:03");
}

TEST(EndsWith, ComparesBytesWithCase) {
    EXPECT_TRUE(EndsWith("", ""));
    EXPECT_TRUE(EndsWith("abc", ""));
    EXPECT_FALSE(EndsWith("a.M", ".m"));
    EXPECT_FALSE(EndsWith("m", ".m"));
    EXPECT_TRUE(EndsWith(".m", ".m"));
    EXPECT_TRUE(EndsWith("答案.m", ".m"));
}

TEST(IsMatlabProgram, TheNameEndsWithDotMInEitherCase) {
    for (const char* name : {"a.m", "b.M", "答案.m", "dir.x/.m"})
        EXPECT_TRUE(IsMatlabProgram(name)) << name;
    for (const char* name : {"a.mat", "a.m.txt", "a.m ", "m", "dir.m/a"})
        EXPECT_FALSE(IsMatlabProgram(name)) << name;
}

TEST(FileExists, OnlyARegularFileCountsAndAnUnanswerableNameRaises) {
    ProgramFolder folder;
    folder.Write("file.txt", "");
    QDir(QString::fromStdString(folder.Path())).mkdir(QStringLiteral("folder.txt"));
    std::filesystem::create_symlink("file.txt", folder.File("link.txt"));
    std::filesystem::create_symlink("loop.txt", folder.File("loop.txt"));
    const struct {
        AnsiString name;
        bool exists;
    } cases[] = {{"file.txt", true},     {"link.txt", true},    {"folder.txt", false},
                 {"missing.txt", false}, {"file.txt/x", false}, {AnsiString(300, 'x'), false}};
    for (const auto& c : cases)
        EXPECT_EQ(FileExists(folder.File(c.name)), c.exists) << c.name;
    EXPECT_THROW(FileExists(folder.File("loop.txt")), EFOpenError);
}

TEST(WriteAndClose, AFullDiskRaisesTheIoErrorWhetherTheWriteOrTheCloseFindsIt) {
    // One byte waits in the buffer until the close; a megabyte fails in the write.
    for (const std::size_t size : {std::size_t{1}, std::size_t{1} << 20}) {
        std::FILE* full = std::fopen("/dev/full", "wb");
        ASSERT_NE(full, nullptr);
        try {
            WriteAndClose(full, AnsiString(size, 'x'));
            ADD_FAILURE() << size << " bytes written to a full disk";
        } catch (const EInOutError& error) {
            EXPECT_EQ(error.ErrorCode, ENOSPC) << size;
        }
    }
}

TEST(AppendLineToFile, CreatesOrExtendsTheFile) {
    ProgramFolder folder;
    AppendLineToFile(folder.File("dbg.txt"), "一");
    EXPECT_EQ(folder.Read("dbg.txt"), "一\r\n");
    folder.Write("old.txt", "kept");
    AppendLineToFile(folder.File("old.txt"), "two");
    EXPECT_EQ(folder.Read("old.txt"), "kepttwo\r\n");
}

TEST(AppendLineToFile, RaisesTheIoErrorWhenTheFileCannotBeOpened) {
    ProgramFolder folder;
    QDir(QString::fromStdString(folder.Path())).mkdir(QStringLiteral("dir.txt"));
    EXPECT_THROW(AppendLineToFile(folder.File("dir.txt"), "x"), EInOutError);
    try {
        AppendLineToFile(folder.File("missing/x.txt"), "x");
        FAIL() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Message, "File not found");
    }
}

TEST(JoinFields, KeepsEmptyFields) {
    EXPECT_EQ(JoinFields("A1B2", "Course", "07", "?"), "A1B2?Course?07");
    EXPECT_EQ(JoinFields("", "", "", "?"), "??");
}

} // namespace
