// Paths: finding one by the codes at both ends, listing them for an error message,
// finding one through an object for code insertion, and the links they give ARS.

#include "places/path.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/ssi_object.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "sim/sim.h"

namespace kestra {
namespace {

// A berth or a route as the paths see them: an object with its kind.
std::unique_ptr<TSSIObject> Object(const std::string& id, std::uint8_t kind) {
    auto o = std::make_unique<TSSIObject>(id);
    o->Kind = kind;
    return o;
}

class PathListTest : public ::testing::Test {
  protected:
    TPTH& Path(TENT* entry, TLOC* from, std::string fromPlatform, TLOC* to, std::string toPlatform,
               std::string toLine = "") {
        TPTH& p = paths.Create();
        p.Entry = entry;
        p.FromLocation = from;
        p.FromPlatform = std::move(fromPlatform);
        p.ToLocation = to;
        p.ToPlatform = std::move(toPlatform);
        p.ToLine = std::move(toLine);
        return p;
    }
    Sim sim;
    TENT entryPoint{sim, "E"};
    TLOC a{"A"}, b{"B"}, c{"C"};
    TPTHList paths;
};

TEST_F(PathListTest, FindPathMatchesEndsAndEveryCode) {
    TPTH& aToB3 = Path(nullptr, &a, "1", &b, "3");
    TPTH& aToBAny = Path(nullptr, &a, "1", &b, "");
    TPTH& aToBFast = Path(nullptr, &a, "", &b, "2", "FL");
    TPTH& bToC = Path(nullptr, &b, "", &c, "");
    struct Case {
        const char* what;
        PathQuery query;
        TPTH* expected;
    };
    const Case cases[] = {
        {"platform given and matched", {nullptr, &a, "1", "", "", &b, "3", "", ""}, &aToB3},
        {"empty ToPlatform matches another platform",
         {nullptr, &a, "1", "", "", &b, "4", "", ""},
         &aToBAny},
        {"empty ToPlatform matches no platform",
         {nullptr, &a, "1", "", "", &b, "", "", ""},
         &aToBAny},
        {"ToPlatform 3 does not match no platform, the next path does",
         {nullptr, &a, "1", "", "", &b, "", "", ""},
         &aToBAny},
        {"from platform differs, empty path ToLine needs the given line",
         {nullptr, &a, "2", "", "", &b, "2", "", "FL"},
         &aToBFast},
        {"line differs", {nullptr, &a, "2", "", "", &b, "2", "", "SL"}, nullptr},
        {"wrong direction", {nullptr, &b, "", "", "", &a, "", "", ""}, nullptr},
        {"a path from an entry point is not one from a location",
         {&entryPoint, nullptr, "", "", "", &b, "3", "", ""},
         nullptr},
        {"second pair", {nullptr, &b, "9", "X", "Y", &c, "", "", ""}, &bToC},
    };
    for (const Case& k : cases) EXPECT_EQ(paths.FindPath(k.query), k.expected) << k.what;
    // First in list order wins.
    EXPECT_EQ(paths.FindPath({nullptr, &a, "1", "", "", &b, "3", "", ""}), &aToB3);
}

TEST_F(PathListTest, ListPathsGivesHeaderLinesOrNoneFound) {
    EXPECT_EQ(paths.ListPaths(nullptr, &a, &b), "\tNone found.\n\r");
    TPTH& p = Path(nullptr, &a, "1", &b, "3", "ML");
    p.FromLine = "DM";
    Path(nullptr, &b, "", &c, "");  // another pair, not listed
    EXPECT_EQ(paths.ListPaths(nullptr, &a, &b),
              "\tPlat\tPath\tLine\t-\tPlat\tPath\tLine\n\r"
              "\t1\t\tDM\t-\t3\t\tML\n\r");
}

TEST_F(PathListTest, ListPathsSaysMoreOnlyWhenMoreExist) {
    for (int i = 0; i < TPTHList::kListLimit; ++i) Path(nullptr, &a, std::to_string(i), &b, "");
    const std::string full = paths.ListPaths(nullptr, &a, &b);
    EXPECT_EQ(full.find("More available"), std::string::npos)
        << "exactly the limit: nothing more to offer";
    EXPECT_NE(full.find("\t24\t"), std::string::npos);
    Path(nullptr, &a, "extra", &b, "");
    const std::string more = paths.ListPaths(nullptr, &a, &b);
    EXPECT_NE(more.find("More available (list too long)\n\r"), std::string::npos);
    EXPECT_EQ(more.find("extra"), std::string::npos) << "nothing beyond the limit is listed";
}

TEST_F(PathListTest, FindPathForACIByStartEndAndObject) {
    auto berth = Object("B1", KindBerth);
    auto route = Object("R1", KindRoute);
    TENT* entry = &entryPoint;
    TPTH& fromA = Path(nullptr, &a, "", &b, "");
    fromA.Objects.Add("", route.get());
    TPTH& fromEntry = Path(entry, nullptr, "", &b, "");
    fromEntry.Objects.Add("", berth.get());
    EXPECT_EQ(paths.FindPathForACI(nullptr, &a, route.get(), &b), &fromA);
    EXPECT_EQ(paths.FindPathForACI(entry, nullptr, berth.get(), &b), &fromEntry);
    EXPECT_EQ(paths.FindPathForACI(nullptr, &a, berth.get(), &b), nullptr) << "not on the path";
    EXPECT_EQ(paths.FindPathForACI(nullptr, &a, route.get(), &c), nullptr) << "other end";
}

TEST_F(PathListTest, InitPathsLinksEachBerthAndRouteToWhatFollows) {
    auto b1 = Object("B1", KindBerth), r1 = Object("R1", KindRoute);
    auto b2 = Object("B2", KindBerth), r2 = Object("R2", KindRoute);
    auto r3 = Object("R3", KindRoute), other = Object("X", KindOther);
    TPTH& first = Path(nullptr, &a, "", &b, "");
    first.Objects.AddObjectList({b1.get(), r1.get(), b2.get(), r2.get()});
    TPTH& second = Path(nullptr, &a, "", &c, "");
    second.StartDirection = second.EndDirection = DirUp;
    second.Objects.AddObjectList({b1.get(), r3.get(), other.get(), r2.get()});
    // A path that turns round gives no links.
    TPTH& turning = Path(nullptr, &b, "", &a, "");
    turning.EndDirection = DirUp;
    turning.Objects.AddObjectList({b2.get(), r3.get()});

    EXPECT_TRUE(paths.ARSRoutes(b1.get()).empty()) << "nothing is linked before InitPaths";
    paths.InitPaths();
    const auto& fromB1 = paths.ARSRoutes(b1.get());
    ASSERT_EQ(fromB1.size(), 2u);
    EXPECT_EQ(fromB1[0].Next, r3.get()) << "the later path's link comes first";
    EXPECT_EQ(fromB1[0].Direction, DirUp);
    EXPECT_EQ(fromB1[1].Next, r1.get());
    EXPECT_EQ(fromB1[1].Direction, DirDown);
    ASSERT_EQ(paths.ARSRoutes(r1.get()).size(), 1u);
    EXPECT_EQ(paths.ARSRoutes(r1.get())[0].Next, b2.get());
    ASSERT_EQ(paths.ARSRoutes(b2.get()).size(), 1u) << "the turning path adds nothing";
    EXPECT_EQ(paths.ARSRoutes(b2.get())[0].Next, r2.get());
    EXPECT_TRUE(paths.ARSRoutes(other.get()).empty()) << "only berths and routes are linked";
    ASSERT_EQ(paths.ARSRoutes(r3.get()).size(), 1u);
    EXPECT_EQ(paths.ARSRoutes(r3.get())[0].Next, other.get());

    paths.InitPaths();
    EXPECT_EQ(paths.ARSRoutes(b1.get()).size(), 2u) << "running again does not duplicate";
    EXPECT_EQ(paths.LinkedObjectCount(), 4);
}

TEST(Location, AdjacentPlatformsBothWaysOnce) {
    TLOC loc("VLMC");
    loc.AddAdjacentPair("1", "2");
    loc.AddAdjacentPair("2", "1");
    EXPECT_TRUE(loc.IsAdjacent("1", "2"));
    EXPECT_TRUE(loc.IsAdjacent("2", "1"));
    EXPECT_FALSE(loc.IsAdjacent("1", "3"));
    EXPECT_EQ(loc.AdjacentPlatforms.size(), 2u);
    EXPECT_EQ(loc.ARSAllowance, kDefaultARSAllowance);
    EXPECT_FALSE(loc.ARSWaitsForTime);
}

TEST(StoppingPoint, DrawsUpShortOfTheSignalStop) {
    EXPECT_EQ(TULCLOC::PositionFor(200, 10), 185);
    EXPECT_EQ(TULCLOC::PositionFor(200, 0), 195);
    EXPECT_EQ(TULCLOC::PositionFor(3, 0), 0) << "never before the start of the subroute";
}

}  // namespace
}  // namespace kestra
