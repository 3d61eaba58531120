#include "SysUtils.h"

#include <clocale>
#include <string>

#include <gtest/gtest.h>

namespace {

AnsiString IntegerError(const AnsiString& text) {
    try {
        StrToInt(text);
    } catch (const EConvertError& error) {
        return error.Message;
    }
    return "no error";
}

TEST(IntegerRule, ReadsDecimalFieldsWithBlanksSignsAndZeros) {
    EXPECT_EQ(StrToInt("00000012"), 12);
    EXPECT_EQ(StrToInt("+0000012"), 12);
    EXPECT_EQ(StrToInt("      12"), 12);
    EXPECT_EQ(StrToInt(AnsiString("12\0\0\0\0\0\0", 8)), 12);
    EXPECT_EQ(StrToInt(AnsiString("12\0zz", 5)), 12) << "a NUL byte ends the number";
    EXPECT_EQ(StrToInt("-2147483648"), -2147483648);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
}

TEST(IntegerRule, ReadsHexadecimalAsA32BitPattern) {
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("0x1A"), 26);
    EXPECT_EQ(StrToInt("0X1a"), 26);
    EXPECT_EQ(StrToInt("x10"), 16);
    EXPECT_EQ(StrToInt("X10"), 16);
    EXPECT_EQ(StrToInt("-$10"), -16);
}

TEST(IntegerRule, EverythingElseIsAnErrorQuotingTheText) {
    EXPECT_EQ(IntegerError("12      "), "'12      ' is not a valid integer value");
    EXPECT_EQ(IntegerError(""), "'' is not a valid integer value");
    EXPECT_EQ(IntegerError("        "), "'        ' is not a valid integer value");
    EXPECT_EQ(IntegerError("2147483648"), "'2147483648' is not a valid integer value");
    EXPECT_EQ(IntegerError("$1FFFFFFFF"), "'$1FFFFFFFF' is not a valid integer value");
    EXPECT_EQ(IntegerError("$"), "'$' is not a valid integer value");
    EXPECT_EQ(IntegerError("0x"), "'0x' is not a valid integer value");
    EXPECT_EQ(IntegerError("1 2"), "'1 2' is not a valid integer value");
    EXPECT_EQ(IntegerError("+-1"), "'+-1' is not a valid integer value");
}

TEST(IntegerRule, TheDefaultStandsOnlyForWhatIsNoNumber) {
    EXPECT_EQ(StrToIntDef(" -$10", 7), -16);
    EXPECT_EQ(StrToIntDef("12 ", 7), 7);
    EXPECT_EQ(StrToIntDef("", -1), -1);
}

class RealRule : public testing::Test {
protected:
    void SetUp() override { FSaved = DecimalSeparator(); }
    void TearDown() override { SetDecimalSeparator(FSaved); }
    char FSaved = '.';
};

TEST_F(RealRule, UsesTheUsersDecimalSeparator) {
    SetDecimalSeparator('.');
    EXPECT_DOUBLE_EQ(StrToFloat("0.5"), 0.5);
    EXPECT_DOUBLE_EQ(StrToFloat(" -1.25E2 "), -125.0);
    EXPECT_DOUBLE_EQ(StrToFloat("3"), 3.0);
    EXPECT_DOUBLE_EQ(StrToFloat(AnsiString("2.5\0x", 5)), 2.5);
    EXPECT_THROW(StrToFloat("0,5"), EConvertError);
    SetDecimalSeparator(',');
    EXPECT_DOUBLE_EQ(StrToFloat("0,5"), 0.5);
    try {
        StrToFloat("0.5");
        FAIL() << "no error";
    } catch (const EConvertError& error) {
        EXPECT_EQ(error.Message, "'0.5' is not a valid floating point value");
    }
}

TEST_F(RealRule, RejectsMalformedBodies) {
    SetDecimalSeparator('.');
    for (const char* bad : {"", " ", ".", "1e", "e5", "1.2.3", "abc", "1 2"})
        EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
}

TEST_F(RealRule, TwoDecimalsFollowTheSeparator) {
    SetDecimalSeparator('.');
    EXPECT_EQ(FormatFloatTwoDecimals(2394.5), "2394.50");
    EXPECT_EQ(FormatFloatTwoDecimals(0), "0.00");
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatFloatTwoDecimals(1.005e3), "1005,00");
    // The C library's own locale must not decide the separator.
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "C.UTF-8")) {
        SetDecimalSeparator('.');
        EXPECT_EQ(FormatFloatTwoDecimals(0.5), "0.50");
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(ErrorTexts, CarryTheSystemsWording) {
    EXPECT_EQ(EAssertionFailed("Source/UnitSocketClient", 476).Message,
              "Assertion failure (Source/UnitSocketClient, line 476)");
    EXPECT_EQ(EInOutError::FromErrno(EACCES).Message, "File access denied");
    EXPECT_EQ(EInOutError::FromErrno(ENOENT).Message, "File not found");
    EXPECT_EQ(EInOutError::FromErrno(ENOSPC).Message, "Disk full");
    EXPECT_EQ(EInOutError::FromErrno(EIO).Message, "I/O error 5") << "EIO is 5 on Linux";
    EXPECT_EQ(ESocketError::FromCall(10048, "bind").Message,
              "Windows socket error: Address already in use (10048), on API 'bind'");
    EXPECT_EQ(ESocketError::ActiveChange().Message, "Can't change value while socket is active");
}

} // namespace
