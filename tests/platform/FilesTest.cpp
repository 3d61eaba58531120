// The file interface's sharing rules on real files: what a hold and an unshared open refuse, and
// what they leave alone.
#include "Files.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <functional>
#include <optional>

namespace {

struct Change {
    const char* Name;
    std::function<int(const TestFolder&)> Run; // 0, or -1 with errno
};

int Opened(std::FILE* file) {
    return file ? platform::CloseFile(file) : -1;
}

const Change Changes[] = {
    {"write", [](const TestFolder& f) { return Opened(platform::OpenFile(f.File("a.m"), "wb")); }},
    {"append", [](const TestFolder& f) { return Opened(platform::OpenFile(f.File("a.m"), "ab")); }},
    {"update",
     [](const TestFolder& f) { return Opened(platform::OpenFile(f.File("a.m"), "r+b")); }},
    {"delete", [](const TestFolder& f) { return platform::DeleteFile(f.File("a.m")); }},
    {"rename over",
     [](const TestFolder& f) { return platform::RenameFile(f.Write("b.m", "b"), f.File("a.m")); }},
    {"rename away",
     [](const TestFolder& f) { return platform::RenameFile(f.File("a.m"), f.File("c.m")); }},
};

} // namespace

TEST(FileHold, HeldFileCanBeReadButNotChangedUnderAnyOfItsNames) {
    for (const Change& change : Changes) {
        SCOPED_TRACE(change.Name);
        TestFolder folder;
        folder.Write("a.m", "mine");
        ASSERT_EQ(::link(folder.File("a.m").c_str(), folder.File("link.m").c_str()), 0);
        {
            const platform::TFileHold hold(folder.File("link.m"));
            errno = 0;
            EXPECT_EQ(change.Run(folder), -1);
            EXPECT_EQ(errno, EBUSY);
            EXPECT_EQ(Opened(platform::OpenFile(folder.File("a.m"), "rb")), 0);
            EXPECT_EQ(folder.Read("a.m"), "mine");
        }
        EXPECT_EQ(change.Run(folder), 0) << "the hold has gone";
    }
}

TEST(FileHold, UnsharedOpenHoldsUntilClosedAndAMissingFileHoldsNothing) {
    TestFolder folder;
    const AnsiString name = folder.Write("up.m", "x");
    std::FILE* upload = platform::OpenFileUnshared(name);
    ASSERT_NE(upload, nullptr);
    errno = 0;
    EXPECT_EQ(platform::OpenFileUnshared(name), nullptr);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(platform::DeleteFile(name), -1);
    EXPECT_EQ(platform::CloseFile(upload), 0);
    EXPECT_EQ(platform::DeleteFile(name), 0);

    const platform::TFileHold nothing(name);
    EXPECT_EQ(Opened(platform::OpenFile(name, "wb")), 0);
    EXPECT_EQ(platform::DeleteFile(name), 0);
}

// GBK names meet the file system in its own encoding, and names from it come back as GBK; a name
// that cannot be carried names no file.
TEST(FileNames, CrossTheEdgeInTheFileSystemsEncodingBothWays) {
    const struct {
        const char* Name;
        std::string Gbk;
        std::optional<QString> Native; // none: it cannot be carried
    } names[] = {
        {"ASCII", "answer.m", QStringLiteral("answer.m")},
        {"Chinese", "桌面/作业.m", QString::fromUtf8(u8"桌面/作业.m")},
        {"trail byte 0x5C", "乗表.txt", QString::fromUtf8(u8"乗表.txt")},
        {"cut at a NUL", std::string("a.m\0b", 5), QStringLiteral("a.m")},
        {"invalid GBK", "a\x81/b", std::nullopt},
        {"lead byte at the end", "a\x81", std::nullopt},
    };
    for (const auto& name : names) {
        SCOPED_TRACE(name.Name);
        const std::optional<std::string> native = platform::NativeFileName(name.Gbk);
        ASSERT_EQ(native.has_value(), name.Native.has_value());
        if (!native)
            continue;
        EXPECT_EQ(*native, QFile::encodeName(*name.Native).toStdString());
        EXPECT_EQ(platform::AnsiFileName(*name.Native), name.Gbk.substr(0, name.Gbk.find('\0')));
    }
    // A character outside GBK comes back as a byte that begins no GBK character: no file.
    const std::string korean = platform::AnsiFileName(QString::fromUtf8(u8"과제/a.m"));
    EXPECT_EQ(korean, "\xFF\xFF/a.m");
    EXPECT_FALSE(platform::NativeFileName(korean).has_value());
}

TEST(FileNames, ANameThatCannotBeCarriedIsMissingWhenReadAndRefusedWhenCreated) {
    TestFolder folder;
    const std::string name = folder.File("\xFF.m");
    struct stat status {};
    errno = 0;
    EXPECT_EQ(platform::FileStatus(name, status), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(platform::OpenFile(name, "rb"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(platform::OpenFile(name, "wb"), nullptr);
    EXPECT_EQ(errno, EILSEQ);
    EXPECT_TRUE(QDir(QString::fromUtf8(folder.Path())).isEmpty());
}
