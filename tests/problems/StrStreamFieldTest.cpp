// Reading the length-prefixed fields and inflating problem texts.
#include "ProblemFileWriter.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "UnitStrStream.h"

#include <gtest/gtest.h>

using namespace ProblemFileWriter;

namespace {

// A reader whose text is the given bytes.
TMyStrStream ReaderOf(const AnsiString& text) {
    TMyStrStream reader;
    reader.Buffer.Assign(text);
    return reader;
}

AnsiString ConvertErrorOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const EConvertError& error) {
        return error.Message;
    }
    return "no error";
}

} // namespace

TEST(StrStreamFields, IntegerPrefixFormsAllReadTwelve) {
    for (const AnsiString& prefix :
         {AnsiString("00000012"), AnsiString("+0000012"), AnsiString("      12"),
          AnsiString("12\0\0\0\0\0\0", 8), AnsiString("$000000C"), AnsiString("0x00000C")}) {
        TMyStrStream reader = ReaderOf(prefix.substr(0, 8) + "abcdefghijklXY");
        EXPECT_EQ(reader.ReadString(), "abcdefghijkl") << prefix;
        EXPECT_EQ(reader.Buffer.Position, 20u) << prefix;
    }
}

TEST(StrStreamFields, TrailingBlanksInAPrefixAreAnIntegerError) {
    TMyStrStream reader = ReaderOf("12      abcdefghijkl");
    EXPECT_EQ(ConvertErrorOf([&] { reader.ReadString(); }),
              "'12      ' is not a valid integer value");
}

TEST(StrStreamFields, IntegerValueAndErrors) {
    TMyStrStream reader = ReaderOf("000000025700000011-2147483648" + IntegerField(7));
    EXPECT_EQ(reader.ReadInteger(), 57);
    EXPECT_EQ(reader.ReadInteger(), -2147483648);
    EXPECT_EQ(reader.ReadInteger(), 7);
    // At the end of the text the prefix is empty.
    EXPECT_EQ(ConvertErrorOf([&] { reader.ReadInteger(); }), "'' is not a valid integer value");

    TMyStrStream overflow = ReaderOf("000000102147483648");
    EXPECT_EQ(ConvertErrorOf([&] { overflow.ReadInteger(); }),
              "'2147483648' is not a valid integer value");
    TMyStrStream notNumber = ReaderOf("000000021x");
    EXPECT_EQ(ConvertErrorOf([&] { notNumber.ReadInteger(); }),
              "'1x' is not a valid integer value");
}

TEST(StrStreamFields, TextForms) {
    TMyStrStream reader =
        ReaderOf(TextField("abc") + "00000000" + TextField(AnsiString("\xD6\xD0\r\n\0z", 6)) +
                 "-0000001" + TextField("after"));
    EXPECT_EQ(reader.ReadString(), "abc");
    EXPECT_EQ(reader.ReadString(), "");
    EXPECT_EQ(reader.ReadString(), AnsiString("\xD6\xD0\r\n\0z", 6));
    // A negative length: an empty text, reading goes on right after the prefix.
    EXPECT_EQ(reader.ReadString(), "");
    EXPECT_EQ(reader.ReadString(), "after");
}

TEST(StrStreamFields, TextRunningPastTheEndTakesTheRest) {
    TMyStrStream reader = ReaderOf("00000010abc");
    EXPECT_EQ(reader.ReadString(), "abc");
    EXPECT_EQ(reader.Buffer.Position, 11u);
    EXPECT_EQ(reader.Buffer.Rest(), 0u);
    TMyStrStream huge = ReaderOf("$7FFFFFFabc");
    EXPECT_EQ(huge.ReadString(), "abc");
}

TEST(StrStreamFields, RealFollowsTheDecimalSeparator) {
    const char saved = DecimalSeparator();
    SetDecimalSeparator('.');
    TMyStrStream point = ReaderOf(RealField("0.5") + RealField(" -1.25E2 ") + RealField("0,5"));
    EXPECT_DOUBLE_EQ(point.ReadFloat(), 0.5);
    EXPECT_DOUBLE_EQ(point.ReadFloat(), -125.0);
    EXPECT_EQ(ConvertErrorOf([&] { point.ReadFloat(); }),
              "'0,5' is not a valid floating point value");

    SetDecimalSeparator(',');
    TMyStrStream comma = ReaderOf(RealField("0,5") + RealField("0.5"));
    EXPECT_DOUBLE_EQ(comma.ReadFloat(), 0.5);
    EXPECT_EQ(ConvertErrorOf([&] { comma.ReadFloat(); }),
              "'0.5' is not a valid floating point value");
    SetDecimalSeparator(saved);

    // The Real's prefix is ten characters wide.
    TMyStrStream worked = ReaderOf("00000000030.5");
    EXPECT_DOUBLE_EQ(worked.ReadFloat(), 0.5);
}

TEST(StrStreamFields, LineListBodies) {
    TStringList list;
    list.Add("stale");
    TMyStrStream reader = ReaderOf(LinesField("a\n\nb") + LinesField("x\r\ny\r\n") +
                                   LinesField("p\rq") + "-000000001" + LinesField("z"));
    reader.ReadStrings(list);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[0], "a");
    EXPECT_EQ(list[1], "");
    EXPECT_EQ(list[2], "b");
    reader.ReadStrings(list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[1], "y");
    reader.ReadStrings(list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[1], "q");
    reader.ReadStrings(list);
    EXPECT_EQ(list.Count(), 0);
    reader.ReadStrings(list);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list[0], "z");
}
