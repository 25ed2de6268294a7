#include <gtest/gtest.h>

#include "core/time_format.h"

namespace kestra {
namespace {

TEST(TimeFormatTest, Formats) {
    const std::string half(1, HalfGlyph);
    struct Case {
        std::string got, want;
    } cases[] = {
        {FormatClock(0), "00:00:00"},
        {FormatClock(86400 + 3723), "01:02:03"},
        {FormatHalfMinute(0), "--:-- "},
        {FormatHalfMinute(25530), "07:05" + half},
        {FormatHalfMinute(25500), "07:05 "},
        {FormatHalfMinute(90000), "25:00 "},  // hours not reduced
        {FormatHalfMinuteAll(0), "00:00 "},
        {FormatHalfMinuteH(25530), "07:05 H"},
        {FormatHalfMinuteH(25500), "07:05  "},
        {FormatHalfUnits(7), "3" + half},
        {FormatHalfUnits(8), "4 "},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(TimeFormatTest, ParseHalfMinute) {
    const std::string half(1, HalfGlyph);
    EXPECT_EQ(ParseHalfMinute("_7:05 h"), 25530);
    EXPECT_EQ(ParseHalfMinute("07:05  "), 25500);
    EXPECT_EQ(ParseHalfMinute("07:05 H"), 25530);
    EXPECT_EQ(ParseHalfMinute("07:05 " + half), 25530);
    EXPECT_EQ(ParseHalfMinute("07:05 "), -1);
    EXPECT_EQ(ParseHalfMinute("07.05  "), -1);
    EXPECT_EQ(ParseHalfMinute("07:05 x"), -1);
    EXPECT_EQ(ParseHalfMinute("0a:05  "), -1);
    EXPECT_EQ(ParseHalfMinute("07:05x "), -1);
}

TEST(TimeFormatTest, ParseNumber) {
    EXPECT_EQ(ParseNumber("0"), 0);
    EXPECT_EQ(ParseNumber("1234"), 1234);
    EXPECT_EQ(ParseNumber(""), -1);
    EXPECT_EQ(ParseNumber("12a"), -1);
    EXPECT_EQ(ParseNumber(" 12"), -1);
    EXPECT_EQ(ParseNumber("99999999999"), -1);
}

}  // namespace
}  // namespace kestra
