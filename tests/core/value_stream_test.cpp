#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/value_stream.h"

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
        {{6, 0}, 0},                // string where an integer is expected
        {{9}, 0},                   // boolean
        {{5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}, 0},  // float
        {{3, 0x10}, 0},             // cut inside the payload
        {{4, 1, 2, 3}, 0},
        {{2, 5}, 1},                // integer where a string is expected
        {{6, 10, 'a', 'b'}, 1},     // length beyond the end
        {{12, 0xFF, 0xFF, 0xFF, 0x7F}, 1},  // a huge length must not allocate
        {{12, 1, 0}, 1},
        {{5, 1, 2, 3}, 2},
        {{6, 0}, 2},
        {{7}, 0},
    };
    for (const Case& c : cases) {
        ValueReader r(c.bytes);
        switch (c.what) {
            case 0: EXPECT_THROW(r.ReadInteger(), ReadError); break;
            case 1: EXPECT_THROW(r.ReadString(), ReadError); break;
            default: EXPECT_THROW(r.ReadFloat(), ReadError); break;
        }
    }
}

}  // namespace
}  // namespace kestra
