#include "core/value_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace kestra {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes IntBytes(std::int32_t v) {
    ValueWriter w;
    w.WriteInteger(v);
    return w.Bytes();
}

TEST(ValueStreamTest, IntegersUseSmallestForm) {
    EXPECT_EQ(IntBytes(100), (Bytes{0x02, 0x64}));
    EXPECT_EQ(IntBytes(30000), (Bytes{0x03, 0x30, 0x75}));
    EXPECT_EQ(IntBytes(36000), (Bytes{0x04, 0xA0, 0x8C, 0x00, 0x00}));
    EXPECT_EQ(IntBytes(-128), (Bytes{0x02, 0x80}));
    EXPECT_EQ(IntBytes(-129), (Bytes{0x03, 0x7F, 0xFF}));
    EXPECT_EQ(IntBytes(-32768), (Bytes{0x03, 0x00, 0x80}));
    EXPECT_EQ(IntBytes(32768), (Bytes{0x04, 0x00, 0x80, 0x00, 0x00}));
    for (std::int32_t v : {0, 1, -1, 127, 128, -32769, std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::max()}) {
        Bytes b = IntBytes(v);
        ValueReader r(b);
        EXPECT_EQ(r.ReadInteger(), v);
        EXPECT_TRUE(r.AtEnd());
    }
}

TEST(ValueStreamTest, StringsBooleansAndTags) {
    ValueWriter w;
    w.WriteString("KESTRA");
    w.WriteString(std::string(300, 'x'));
    w.WriteString("");
    w.WriteBoolean(true);
    w.WriteBoolean(false);
    const Bytes& b = w.Bytes();
    EXPECT_EQ(b[0], 6);
    EXPECT_EQ(b[1], 6);
    EXPECT_EQ(b[8], 12);
    EXPECT_EQ(b[9], 0x2C);  // 300 = 0x012C little-endian
    EXPECT_EQ(b[10], 0x01);
    ValueReader r(b);
    EXPECT_EQ(r.ReadString(), "KESTRA");
    EXPECT_EQ(r.ReadString(), std::string(300, 'x'));
    EXPECT_EQ(r.ReadString(), "");
    EXPECT_TRUE(r.ReadBoolean());
    EXPECT_FALSE(r.ReadBoolean());
    EXPECT_TRUE(r.AtEnd());
}

TEST(ValueStreamTest, BooleanIsTrueOnlyForTagNine) {
    Bytes b{9, 8, 2, 5};
    ValueReader r(b);
    EXPECT_TRUE(r.ReadBoolean());
    EXPECT_FALSE(r.ReadBoolean());
    EXPECT_FALSE(r.ReadBoolean());  // any other tag reads false
    EXPECT_FALSE(r.ReadBoolean());
}

TEST(ValueStreamTest, FloatsAreEightyBitAndRoundTrip) {
    ValueWriter w;
    w.WriteFloat(1.0);
    // 1.0: mantissa 0x8000000000000000, exponent 0x3FFF.
    EXPECT_EQ(w.Bytes(), (Bytes{5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}));
    w.Clear();
    w.WriteFloat(-2.0);
    EXPECT_EQ(w.Bytes(), (Bytes{5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0}));

    for (double v : {0.35, -1e300, 0.0, 1e-310, 0.434, 8.888888888888889, -0.0,
                     std::numeric_limits<double>::infinity(), std::numeric_limits<double>::max()}) {
        ValueWriter fw;
        fw.WriteFloat(v);
        ASSERT_EQ(fw.Bytes().size(), 11u);
        ValueReader r(fw.Bytes());
        const double got = r.ReadFloat();
        EXPECT_EQ(got, v);
        EXPECT_EQ(std::signbit(got), std::signbit(v));
    }
    ValueWriter nw;
    nw.WriteFloat(std::numeric_limits<double>::quiet_NaN());
    ValueReader nr(nw.Bytes());
    EXPECT_TRUE(std::isnan(nr.ReadFloat()));
}

// Tag 5 and the ten bytes of an extended value: mantissa little-endian, then the
// sign and exponent.
Bytes Extended(std::uint64_t mantissa, std::uint16_t signAndExponent) {
    Bytes b{TagFloat};
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<std::uint8_t>(mantissa >> (8 * i)));
    b.push_back(static_cast<std::uint8_t>(signAndExponent & 0xFF));
    b.push_back(static_cast<std::uint8_t>(signAndExponent >> 8));
    return b;
}

// Extended values written by hand, with mantissa bits below a double's precision: the
// reader rounds once, to nearest, ties to even.
TEST(ValueStreamTest, ReaderRoundsHandWrittenExtendedValues) {
    const double ulp1 = std::ldexp(1.0, -52);  // one unit in the last place of 1.0
    const double tiny = std::numeric_limits<double>::denorm_min();
    struct Case {
        const char* what;
        std::uint64_t mantissa;
        std::uint16_t top;
        double expect;
    } cases[] = {
        {"1 exactly", 0x8000000000000000u, 0x3FFF, 1.0},
        {"1, low bits below half", 0x80000000000003FFu, 0x3FFF, 1.0},
        {"1, exactly half, even stays", 0x8000000000000400u, 0x3FFF, 1.0},
        {"1, half and one more", 0x8000000000000401u, 0x3FFF, 1.0 + ulp1},
        {"odd, exactly half rounds up", 0x8000000000000C00u, 0x3FFF, 1.0 + 2 * ulp1},
        {"all ones rounds to 2", 0xFFFFFFFFFFFFFFFFu, 0x3FFF, 2.0},
        {"-3 with a stray low bit", 0xC000000000000001u, 0xC000, -3.0},
        {"0.35 as an extended writer gives it", 0xB333333333333333u, 0x3FFD, 0.35},
        {"0.434", 0xDE353F7CED916873u, 0x3FFD, 0.434},
        {"smallest double", 0x8000000000000000u, 0x3BCD, tiny},
        {"1.5 smallest doubles, tie to even", 0xC000000000000000u, 0x3BCD, 2 * tiny},
        {"extended denormal", 0x0000000000000001u, 0x0000, 0.0},
        {"zero", 0, 0x0000, 0.0},
        {"infinity", 0x8000000000000000u, 0x7FFF, std::numeric_limits<double>::infinity()},
        {"minus infinity", 0x8000000000000000u, 0xFFFF, -std::numeric_limits<double>::infinity()},
    };
    for (const Case& c : cases) {
        const Bytes b = Extended(c.mantissa, c.top);
        ValueReader r(b);
        EXPECT_EQ(r.ReadFloat(), c.expect) << c.what;
        EXPECT_TRUE(r.AtEnd()) << c.what;
    }
    const Bytes nan = Extended(0xC000000000000000u, 0x7FFF);
    ValueReader nr(nan);
    EXPECT_TRUE(std::isnan(nr.ReadFloat()));
    // The writer gives the bytes of the exactly representable cases.
    for (const Case& c : cases) {
        if (c.mantissa & 0x7FF || c.top == 0 || (c.top & 0x7FFF) == 0x3BCD) continue;
        ValueWriter w;
        w.WriteFloat(c.expect);
        EXPECT_EQ(w.Bytes(), Extended(c.mantissa, c.top)) << c.what;
    }
}

// The short form holds up to 255 characters; 256 needs the long form. Bytes by hand.
TEST(ValueStreamTest, StringsAtTheLengthBoundary) {
    std::string s255(255, 'a');
    s255[0] = '\xBD';  // 8-bit characters pass unchanged
    s255[1] = '\0';
    const std::string s256 = s255 + "z";
    // The tag and length as written by hand, then the first n characters of s.
    auto tagged = [](Bytes head, const std::string& s, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) head.push_back(static_cast<std::uint8_t>(s[i]));
        return head;
    };
    const Bytes short255 = tagged({6, 0xFF}, s255, 255);
    const Bytes long256 = tagged({12, 0x00, 0x01, 0x00, 0x00}, s256, 256);
    // A reader takes the long form for any length.
    const Bytes long255 = tagged({12, 0xFF, 0x00, 0x00, 0x00}, s255, 255);
    const Bytes cut255 = tagged({6, 0xFF}, s255, 254);  // one character short
    const Bytes cut256 = tagged({12, 0x00, 0x01, 0x00, 0x00}, s256, 255);

    struct Case {
        const char* what;
        const Bytes& bytes;
        const std::string* expect;  // none: a read error
    } cases[] = {
        {"255 short", short255, &s255}, {"256 long", long256, &s256}, {"255 long", long255, &s255},
        {"255 cut", cut255, nullptr},   {"256 cut", cut256, nullptr},
    };
    for (const Case& c : cases) {
        ValueReader r(c.bytes);
        if (c.expect) {
            EXPECT_EQ(r.ReadString(), *c.expect) << c.what;
            EXPECT_TRUE(r.AtEnd()) << c.what;
        } else {
            EXPECT_THROW(r.ReadString(), ReadError) << c.what;
        }
    }
    ValueWriter w;
    w.WriteString(s255);
    EXPECT_EQ(w.Bytes(), short255);
    w.Clear();
    w.WriteString(s256);
    EXPECT_EQ(w.Bytes(), long256);
}

TEST(ValueStreamTest, IntegersInWiderFormsThanNeededAreRead) {
    struct Case {
        Bytes bytes;
        std::int32_t expect;
    } cases[] = {
        {{2, 0x80}, -128},
        {{3, 0x05, 0x00}, 5},
        {{3, 0xFF, 0xFF}, -1},
        {{4, 0xFF, 0xFF, 0xFF, 0xFF}, -1},
        {{4, 0x00, 0x00, 0x00, 0x80}, std::numeric_limits<std::int32_t>::min()},
    };
    for (const Case& c : cases) {
        ValueReader r(c.bytes);
        EXPECT_EQ(r.ReadInteger(), c.expect);
        EXPECT_TRUE(r.AtEnd());
    }
}

TEST(ValueStreamTest, FloatReaderAcceptsIntegerForms) {
    ValueWriter w;
    w.WriteInteger(-5);
    w.WriteInteger(40000);
    ValueReader r(w.Bytes());
    EXPECT_EQ(r.ReadFloat(), -5.0);
    EXPECT_EQ(r.ReadFloat(), 40000.0);
}

TEST(ValueStreamTest, WrongTagsAndTruncationAreReadErrors) {
    struct Case {
        Bytes bytes;
        int what;  // 0 integer, 1 string, 2 float
    } cases[] = {
        {{}, 0},
        {{6, 0}, 0},                                      // string where an integer is expected
        {{9}, 0},                                         // boolean
        {{5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}, 0},  // float
        {{3, 0x10}, 0},                                   // cut inside the payload
        {{4, 1, 2, 3}, 0},
        {{2, 5}, 1},                        // integer where a string is expected
        {{6, 10, 'a', 'b'}, 1},             // length beyond the end
        {{12, 0xFF, 0xFF, 0xFF, 0x7F}, 1},  // a huge length must not allocate
        {{12, 1, 0}, 1},
        {{5, 1, 2, 3}, 2},
        {{6, 0}, 2},
        {{7}, 0},
    };
    for (const Case& c : cases) {
        ValueReader r(c.bytes);
        switch (c.what) {
            case 0:
                EXPECT_THROW(r.ReadInteger(), ReadError);
                break;
            case 1:
                EXPECT_THROW(r.ReadString(), ReadError);
                break;
            default:
                EXPECT_THROW(r.ReadFloat(), ReadError);
                break;
        }
    }
}

}  // namespace
}  // namespace kestra
