#include "Classes.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

std::vector<AnsiString> Items(const TStringList& list) {
    return {list.begin(), list.end()};
}

TEST(LineList, TextFormPutsCrLfAfterEveryItem) {
    TStringList list;
    EXPECT_EQ(list.Text(), "");
    list.Add("");
    EXPECT_EQ(list.Text(), "\r\n");
    list.Add("b");
    EXPECT_EQ(list.Text(), "\r\nb\r\n");
}

TEST(LineList, SetTextCutsAtEveryKindOfLineEnd) {
    TStringList list;
    list.SetText("a\r\nb");
    EXPECT_EQ(Items(list), (std::vector<AnsiString>{"a", "b"}));
    list.SetText("a\rb\nc");
    EXPECT_EQ(Items(list), (std::vector<AnsiString>{"a", "b", "c"}));
    list.SetText("a\r\n");
    EXPECT_EQ(Items(list), (std::vector<AnsiString>{"a"}));
    list.SetText("a\n\rb");
    EXPECT_EQ(Items(list), (std::vector<AnsiString>{"a", "", "b"}));
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
    list.SetText(AnsiString("x\r\ny\0z\r\nw", 10));
    EXPECT_EQ(Items(list), (std::vector<AnsiString>{"x", "y"}));
}

TEST(LineList, IndexOutsideTheListRaisesTheListError) {
    TStringList list;
    list.Add("a");
    EXPECT_EQ(list[0], "a");
    try {
        (void)list[1];
        FAIL() << "no error";
    } catch (const EListError& error) {
        EXPECT_STREQ(error.what(), "List index out of bounds (1)");
    }
    EXPECT_THROW((void)list.Strings(-1), EListError);
    EXPECT_THROW(list.Delete(3), EListError);
}

TEST(LineList, SavesAndLoadsFilesAndReportsFailures) {
    ProgramFolder folder;
    TStringList list;
    list.Add("课程");
    list.Add("b");
    list.SaveToFile(folder.File("x.txt"));
    EXPECT_EQ(folder.Read("x.txt"), "课程\r\nb\r\n");

    TStringList loaded;
    loaded.Add("old");
    loaded.LoadFromFile(folder.File("x.txt"));
    EXPECT_EQ(Items(loaded), Items(list));

    EXPECT_THROW(loaded.LoadFromFile(folder.File("missing.txt")), EFOpenError);
    EXPECT_EQ(loaded.Count(), 2) << "a failed load leaves the list unchanged";
    EXPECT_THROW(list.SaveToFile(folder.File("no/such/folder.txt")), EFCreateError);
    try {
        list.SaveToFile("/dev/full"); // opens, but takes no byte
        FAIL() << "no error";
    } catch (const EWriteError& error) {
        EXPECT_EQ(error.Message, "Stream write error");
    }
    QDir(QString::fromStdString(folder.Path())).mkdir(QStringLiteral("folder.txt"));
    EXPECT_THROW(loaded.LoadFromFile(folder.File("folder.txt")), EFOpenError);
    try {
        loaded.LoadFromFile("/proc/self/mem"); // opens, but its first byte cannot be read
        FAIL() << "no error";
    } catch (const EFReadError& error) {
        EXPECT_EQ(error.Message, "Cannot read file \"/proc/self/mem\". Input/output error");
    }
    EXPECT_EQ(loaded.Count(), 2);
}

TEST(LineList, WholeLineSearchIgnoresAsciiCaseOnly) {
    TStringList list;
    list.Add("Alpha");
    list.Add("alpha");
    EXPECT_EQ(list.IndexOf("ALPHA"), 0);
    EXPECT_EQ(list.IndexOf("beta"), -1);
}

TEST(NameValueLines, LookUpTakesTheFirstNameIgnoringCase) {
    TStringList list;
    list.Add("ipsrv=10.0.0.5");
    list.Add("IPSRV=x");
    list.Add("novalue");
    list.Add("formula=a=b");
    EXPECT_EQ(list.Values("IpSrv"), "10.0.0.5");
    EXPECT_EQ(list.Values("missing"), "");
    EXPECT_EQ(list.Values("novalue"), "") << "a line without = has no name";
    EXPECT_EQ(list.Values("formula"), "a=b");
    EXPECT_EQ(list.Names(2), "");
    EXPECT_EQ(list.Names(3), "formula");
}

TEST(NameValueLines, SettingReplacesInPlaceAppendsOrDeletes) {
    TStringList list;
    list.Add("ipsrv=1");
    list.Add("courseid=c");
    list.SetValue("IPSRV", "2");
    EXPECT_EQ(Items(list), (std::vector<AnsiString>{"IPSRV=2", "courseid=c"}));
    list.SetValue("portsrv", "2023");
    EXPECT_EQ(list[2], "portsrv=2023");
    list.SetValue("ipsrv", "");
    EXPECT_EQ(Items(list), (std::vector<AnsiString>{"courseid=c", "portsrv=2023"}));
    list.SetValue("absent", "");
    EXPECT_EQ(list.Count(), 2);
}

TEST(NameValueLines, GbkTrailBytesAreNotFolded) {
    // 0x81 0x41 and 0x81 0x61: one double-byte character each, trail bytes 'A' and 'a'.
    const AnsiString upper("\x81"
                           "A",
                           2);
    const AnsiString lower("\x81"
                           "a",
                           2);
    TStringList list;
    list.Add(upper + "=1");
    EXPECT_EQ(list.Values(lower), "");
    EXPECT_EQ(list.Values(upper), "1");
    EXPECT_FALSE(AnsiSameText(upper, lower));
    EXPECT_TRUE(AnsiSameText("A" + upper, "a" + upper));
}

} // namespace
