// The file interface's sharing rules on real files: what a hold and an unshared open refuse, and
// what they leave alone.
#include "Files.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <functional>

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
