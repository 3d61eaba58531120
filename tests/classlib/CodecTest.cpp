#include "Codec.h"

#include <gtest/gtest.h>

namespace {

TEST(Codec, ChineseTextRoundTrips) {
    const AnsiString gbk = "已经运行了一个客户端程序实例！";
    const QString shown = ToQString(gbk);
    EXPECT_EQ(shown, QStringLiteral(u"已经运行了一个客户端程序实例！"));
    EXPECT_EQ(FromQString(shown), gbk);
    EXPECT_EQ(gbk.size(), 30u) << "fifteen double-byte characters";
}

TEST(Codec, InvalidBytesBecomeReplacementCharacters) {
    // A lead byte before a byte that cannot follow it, 0xFF, and a lead byte at the end.
    const AnsiString bytes("a\x81"
                           "1\xff"
                           "c\xb0",
                           6);
    const QString shown = ToQString(bytes);
    EXPECT_EQ(shown, QStringLiteral(u"a\uFFFD1\uFFFDc\uFFFD"));
}

TEST(Codec, CharactersOutsideGbkBecomeQuestionMarks) {
    EXPECT_EQ(FromQString(QStringLiteral(u"x\U0001F600y")), "x?y");
    EXPECT_EQ(FromQString(QStringLiteral(u"\u0E01")), "?");
}

TEST(Codec, AsciiPassesUnchanged) {
    AnsiString all;
    for (int c = 1; c < 0x80; ++c)
        all += static_cast<char>(c);
    EXPECT_EQ(FromQString(ToQString(all)), all);
}

} // namespace
