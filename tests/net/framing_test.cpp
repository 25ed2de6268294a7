// Frames of the multiplayer protocol: escapes, the frame limit counted on the wire, and
// what a connection sending rubbish costs.

#include "net/framing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestra::net {
namespace {

std::vector<std::string> FeedAll(TSocketEntry& e, const std::string& bytes) {
    std::vector<std::string> got;
    e.Feed(bytes.data(), bytes.size(), [&](const std::string& p) {
        got.push_back(p);
        return true;
    });
    return got;
}

TEST(Framing, EveryByteValueTravelsUnchanged) {
    // Control bytes in a binary record, and an "AD" flag byte of 1 or 2.
    std::string all;
    for (int i = 0; i < 60; ++i) all.push_back(static_cast<char>(i * 5));
    for (const std::string& payload : {std::string("AD0001\x01", 7), std::string("AD0001\x02", 7),
                                       std::string("\x1b\x1b\x01"), all}) {
        const auto frame = Frame(payload);
        ASSERT_TRUE(frame.has_value());
        TSocketEntry e;
        const auto got = FeedAll(e, "junk" + *frame + "junk");
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0], payload);
    }
}

TEST(Framing, TheLimitCountsEscapes) {
    // 126 plain bytes fit; 64 control bytes (128 on the wire) do not.
    EXPECT_TRUE(Frame(std::string(126, 'x')).has_value());
    EXPECT_FALSE(Frame(std::string(127, 'x')).has_value());
    EXPECT_FALSE(Frame(std::string(64, '\x02')).has_value());
    EXPECT_TRUE(Frame(std::string(63, '\x02')).has_value());
    EXPECT_EQ(FittingLength("MA08", std::string(200, 'a')), 122u);
    EXPECT_EQ(FittingLength("MA08", std::string(200, '\x1b')), 61u);
}

TEST(Framing, LongFramesAreDroppedAndTheNextOneArrives) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    const std::string ok = *Frame("PB0001");
    const std::vector<Case> cases = {
        {"plain bytes past the limit", "\x02" + std::string(127, 'x') + "\x01"},
        {"escapes past the limit", "\x02" + std::string(200, '\x1b') + "\x01"},
        {"a frame that never ends", "\x02" + std::string(100000, 'y')},
        {"escaped bytes that never end", "\x02" + std::string(100000, '\x1b')},
    };
    for (const Case& c : cases) {
        TSocketEntry e;
        const auto got = FeedAll(e, c.bytes + ok);
        ASSERT_EQ(got.size(), 1u) << c.name;
        EXPECT_EQ(got[0], "PB0001") << c.name;
        EXPECT_LE(e.Buffer.capacity(), 2 * MaxFrameBytes) << c.name;
        EXPECT_GE(e.Dropped, 1u) << c.name;
    }
    // The longest frame that fits arrives whole.
    TSocketEntry e;
    const auto got = FeedAll(e, *Frame(std::string(126, 'z')));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].size(), 126u);
}

TEST(Framing, GarbageOutsideFramesCostsNothing) {
    TSocketEntry e;
    std::string garbage;
    for (int i = 0; i < 100000; ++i) garbage.push_back(static_cast<char>(i % 2 ? 0x1b : 0x01));
    EXPECT_TRUE(FeedAll(e, garbage).empty());
    EXPECT_EQ(e.Buffer.size(), 0u);
    // A start byte inside a frame starts it again.
    EXPECT_EQ(FeedAll(e, "\x02PB\x02QD0001\x01"), std::vector<std::string>{"QD0001"});
}

TEST(Framing, ASenderGoingAwayStopsTheRest) {
    TSocketEntry e;
    const std::string two = *Frame("IC") + *Frame("IC");
    int n = 0;
    e.Feed(two.data(), two.size(), [&](const std::string&) {
        ++n;
        return false;
    });
    EXPECT_EQ(n, 1);
}

}  // namespace
}  // namespace kestra::net
