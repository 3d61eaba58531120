#include "UnitSplit.h"

#include <gtest/gtest.h>

namespace {

using Pieces = std::vector<AnsiString>;

Pieces SplitTo(const AnsiString& text, const AnsiString& separator) {
    TStringList list;
    SplitStringTo(text, separator, list);
    return {list.begin(), list.end()};
}

Pieces Split(const AnsiString& text, const AnsiString& separator) {
    TStringList list;
    SplitString(text, separator, list);
    return {list.begin(), list.end()};
}

TEST(Splitting, FollowsTheSampleTable) {
    EXPECT_EQ(SplitTo("", ";"), (Pieces{""}));
    EXPECT_EQ(SplitTo("a;", ";"), (Pieces{"a", ""}));
    EXPECT_EQ(SplitTo(";a", ";"), (Pieces{"", "a"}));
    EXPECT_EQ(SplitTo("a;;b", ";"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(SplitTo(" a ; b ", ";"), (Pieces{"a", "b"}));
    EXPECT_EQ(SplitTo("a; ;b", ";"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(SplitTo("a;\r\nb", ";"), (Pieces{"a", "b"}));
    EXPECT_EQ(SplitTo("a   b", " "), (Pieces{"a", "b"}));
    // After the first cut the rest loses its trailing blanks too, so no empty piece follows.
    EXPECT_EQ(SplitTo("a  b  ", " "), (Pieces{"a", "b"}));
    EXPECT_EQ(SplitTo("a; b ;\t", ";"), (Pieces{"a", "b", ""}));
    EXPECT_EQ(SplitTo(" a", " "), (Pieces{"", "a"}));
    EXPECT_EQ(Split(" a", " "), (Pieces{"a"}));
    EXPECT_EQ(SplitTo("a ", " "), (Pieces{"a", ""}));
    EXPECT_EQ(Split("a ", " "), (Pieces{"a"}));
    EXPECT_EQ(Split("  a  b  ", " "), (Pieces{"a", "b"}));
    EXPECT_EQ(SplitTo(" x;y ", ""), (Pieces{"x;y"}));
}

TEST(Splitting, SplitStringReplacesWhileSplitStringToAppends) {
    TStringList list;
    list.Add("old");
    SplitString("a+b+c+d", "+", list);
    EXPECT_EQ(Pieces(list.begin(), list.end()), (Pieces{"a", "b", "c", "d"}));
    SplitStringTo("e+f", "+", list);
    EXPECT_EQ(list.Count(), 6);
    EXPECT_EQ(list[4], "e");
}

TEST(Splitting, DoubleByteTextStaysWhole) {
    EXPECT_EQ(Split("2030+2031+2032+机器17", "+"), (Pieces{"2030", "2031", "2032", "机器17"}));
}

} // namespace
