// Code rules and timing insertions: which code each kind of rule fills at which end,
// conditions, the first rule winning, and timing insertions by entry point or location.

#include "places/code_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "places/entry_point.h"
#include "places/location.h"
#include "sim/sim.h"

namespace kestra {
namespace {

struct Codes {
    std::string pathA, lineA, pathB, lineB;
};

class CodeRulesTest : public ::testing::Test {
  protected:
    TRLE& Rule(std::uint8_t kind, TLOC* from, TLOC* to, bool setsPath, std::string code,
               std::uint8_t testsPath = 0, std::string condition = "") {
        TRLE& r = rules.Create();
        r.Kind = kind;
        r.FromLocation = from;
        r.ToLocation = to;
        r.SetsPath = setsPath;
        r.Code = std::move(code);
        r.TestsPath = testsPath;
        r.Condition = std::move(condition);
        return r;
    }
    void Offer(TLOC* a, TLOC* b, Codes& c, bool firstStep = false) {
        rules.CheckInsertion({nullptr, a, &c.pathA, &c.lineA}, firstStep,
                             {nullptr, b, &c.pathB, &c.lineB});
    }
    TLOC x{"X"}, y{"Y"}, z{"Z"};
    TRLEList rules;
};

TEST_F(CodeRulesTest, EachKindFillsItsEnd) {
    struct Case {
        const char* what;
        std::uint8_t kind;
        TLOC *ruleFrom, *ruleTo, *a, *b;
        bool setsPath, firstStep;
        Codes given, expected;
    };
    TLOC *X = &x, *Y = &y, *Z = &z;
    const Case cases[] = {
        {"forward fills A's line", RkForward, X, Y, X, Y, false, false, {}, {"", "ML", "", ""}},
        {"forward, wrong pair", RkForward, X, Y, X, Z, false, false, {}, {}},
        {"forward, reversed pair", RkForward, X, Y, Y, X, false, false, {}, {}},
        {"backward fills B's path", RkBackward, X, Y, Y, X, true, false, {}, {"", "", "ML", ""}},
        {"backward, forward pair", RkBackward, X, Y, X, Y, true, false, {}, {}},
        {"at location, A there", RkAtLocation, Y, Y, Y, Z, false, false, {}, {"", "ML", "", ""}},
        {"at location, B there with empty code",
         RkAtLocation,
         Y,
         Y,
         X,
         Y,
         false,
         false,
         {},
         {"", "", "", "ML"}},
        {"start on the first step", RkStart, X, nullptr, X, Y, false, true, {}, {"", "ML", "", ""}},
        {"start not on a later step", RkStart, X, nullptr, X, Y, false, false, {}, {}},
        {"a filled code is kept",
         RkForward,
         X,
         Y,
         X,
         Y,
         false,
         false,
         {"", "SL", "", ""},
         {"", "SL", "", ""}},
    };
    for (const Case& k : cases) {
        rules.FreeObjects();
        Rule(k.kind, k.ruleFrom, k.ruleTo, k.setsPath, "ML");
        Codes c = k.given;
        Offer(k.a, k.b, c, k.firstStep);
        EXPECT_EQ(c.pathA, k.expected.pathA) << k.what;
        EXPECT_EQ(c.lineA, k.expected.lineA) << k.what;
        EXPECT_EQ(c.pathB, k.expected.pathB) << k.what;
        EXPECT_EQ(c.lineB, k.expected.lineB) << k.what;
    }
}

TEST_F(CodeRulesTest, ConditionsLookAtTheOtherEndsCode) {
    // Forward: X's line is UM when Y's path is P1.
    Rule(RkForward, &x, &y, false, "UM", 1, "P1");
    Codes differs{"", "", "P2", ""};
    Offer(&x, &y, differs);
    EXPECT_EQ(differs.lineA, "") << "Y's path is P2: no fill";
    Codes same{"", "", "P1", ""};
    Offer(&x, &y, same);
    EXPECT_EQ(same.lineA, "UM");

    // Backward: the condition is on A's code.
    rules.FreeObjects();
    Rule(RkBackward, &x, &y, false, "DM", 0, "FL");
    Codes noLine;
    Offer(&y, &x, noLine);
    EXPECT_EQ(noLine.lineB, "");
    Codes fast{"", "FL", "", ""};
    Offer(&y, &x, fast);
    EXPECT_EQ(fast.lineB, "DM");
}

TEST_F(CodeRulesTest, AtLocationWithConditionAndTheEmptyConditionAtTheFarEnd) {
    Rule(RkAtLocation, &y, &y, true, "BAY", 0, "SL");
    Codes slow{"", "", "", "SL"};
    Offer(&x, &y, slow);
    EXPECT_EQ(slow.pathB, "BAY");
    Codes fast{"", "", "", "FL"};
    Offer(&x, &y, fast);
    EXPECT_EQ(fast.pathB, "");

    rules.FreeObjects();
    Rule(RkAtLocation, &y, &y, true, "BAY");
    Codes lineGiven{"", "", "", "FL"};
    Offer(&x, &y, lineGiven);
    EXPECT_EQ(lineGiven.pathB, "") << "empty condition at B matches only an empty code";
    Codes lineGivenAtA{"", "FL", "", ""};
    Offer(&y, &x, lineGivenAtA);
    EXPECT_EQ(lineGivenAtA.pathA, "BAY") << "empty condition at A is no condition";
}

TEST_F(CodeRulesTest, TheFirstRuleToFillACodeWins) {
    Rule(RkForward, &x, &y, false, "FIRST");
    Rule(RkForward, &x, &y, false, "SECOND");
    Rule(RkForward, &x, &y, true, "PATH");
    Codes c;
    Offer(&x, &y, c);
    EXPECT_EQ(c.lineA, "FIRST");
    EXPECT_EQ(c.pathA, "PATH") << "a rule for the other code still applies";
}

TEST_F(CodeRulesTest, EntryPointsAsEnds) {
    Sim sim;
    TENT entryPoint(sim, "E");
    TENT* entry = &entryPoint;
    TRLE& r = rules.Create();
    r.Kind = RkForward;
    r.FromEntry = entry;
    r.ToLocation = &x;
    r.Code = "DM";
    std::string scratchPath, scratchLine, pathB, lineB;
    rules.CheckInsertion({entry, nullptr, &scratchPath, &scratchLine}, true,
                         {nullptr, &x, &pathB, &lineB});
    EXPECT_EQ(scratchLine, "DM");
    scratchLine.clear();
    rules.CheckInsertion({nullptr, &y, &scratchPath, &scratchLine}, true,
                         {nullptr, &x, &pathB, &lineB});
    EXPECT_EQ(scratchLine, "") << "a rule's unset end matches nothing";
}

TEST(TimingInsertions, ByEntryPointOrByLocationsFirstMatchWins) {
    Sim sim;
    TENT entryPoint(sim, "E");
    TENT* entry = &entryPoint;
    TLOC a("A"), b("B"), mid("M"), other("O");
    TINSList list;
    std::uint32_t fraction = 99;
    TLOC* insert = &a;
    EXPECT_FALSE(list.CheckInsertion(nullptr, &a, &b, fraction, insert));
    EXPECT_EQ(fraction, 0u);
    EXPECT_EQ(insert, nullptr);
    list.Add({&a, nullptr, &b, &mid, 512});
    list.Add({&a, nullptr, &b, &other, 100});
    list.Add({nullptr, entry, &b, &other, 300});
    ASSERT_TRUE(list.CheckInsertion(nullptr, &a, &b, fraction, insert));
    EXPECT_EQ(insert, &mid);
    EXPECT_EQ(fraction, 512u);
    ASSERT_TRUE(list.CheckInsertion(entry, nullptr, &b, fraction, insert));
    EXPECT_EQ(fraction, 300u);
    EXPECT_FALSE(list.CheckInsertion(nullptr, &b, &a, fraction, insert)) << "direction matters";
    EXPECT_FALSE(list.CheckInsertion(entry, &a, &a, fraction, insert));
}

}  // namespace
}  // namespace kestra
