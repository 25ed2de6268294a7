// The derivation of a railway from its picture and tables, on small pictures drawn for
// each case: glyphs from connections, circuits from joints, subroutes and their points,
// crossovers, crossings and flank protection, routes and overlaps, and the errors a
// badly drawn picture is reported with.

#include "area/area_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kestra::area {
namespace {

// A small area on screen 1: the picture's rows start at row 10.
struct Fixture {
    std::vector<std::string> Rows1 = std::vector<std::string>(kRows);
    std::vector<std::string> Rows2 = std::vector<std::string>(kRows);
    std::vector<const char*> Ptr1, Ptr2;
    std::vector<SignalSpec> Signals;
    std::vector<PointsSpec> Points;
    std::vector<ZoneSpec> Zones{{0, 0, 255, 45, 50, 60, 40, 0, false, false}};
    std::vector<LocationSpec> Locations;
    std::vector<EntrySpec> Entries;
    std::vector<SubAreaSpec> SubAreas;
    std::vector<PathSpec> Paths;
    AreaDescription Description{};

    Fixture(std::initializer_list<std::string> picture, std::vector<SignalSpec> signals = {},
            std::vector<PointsSpec> points = {})
        : Signals(std::move(signals)), Points(std::move(points)) {
        int y = 10;
        for (const std::string& r : picture) Rows1[y++] = r;
    }
    AreaModel Derive() {
        Ptr1.clear();
        Ptr2.clear();
        for (const std::string& r : Rows1) Ptr1.push_back(r.c_str());
        for (const std::string& r : Rows2) Ptr2.push_back(r.c_str());
        Description = AreaDescription{"TST",   "Test",   "Test", "T",   "C", Ptr1,
                                      Ptr2,    Signals,  Points, Zones, {},  Locations,
                                      Entries, SubAreas, Paths,  {},    ""};
        return AreaModel(Description);
    }
};

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

const SubrouteInfo* FindSubroute(const AreaModel& m, int x, int y, const std::string& id) {
    const int cell = m.CellAt(x, y);
    if (cell < 0) return nullptr;
    for (const SubrouteInfo& s : m.Subroutes) {
        if (s.ID == id && std::find(s.Cells.begin(), s.Cells.end(), cell) != s.Cells.end())
            return &s;
    }
    return nullptr;
}

// --- glyphs ---------------------------------------------------------------------------

struct GlyphCase {
    const char* Name;
    std::initializer_list<std::string> Picture;
    std::vector<PointsSpec> Points;
    int X, Y;  // Y counted from the picture's first row
    std::uint8_t Glyph;
};

TEST(AreaModelGlyphs, EachCellTakesTheGlyphOfItsConnections) {
    const GlyphCase cases[] = {
        {"plain", {"[-----]"}, {}, 3, 0, 'a'},
        {"joint", {"[--|--]"}, {}, 3, 0, 91},
        {"buffer from the left", {"[-----]"}, {}, 6, 0, 0x96},
        {"buffer from the right", {"[-----]"}, {}, 0, 0, 0x97},
        {"line end to the right", {"[-----."}, {}, 6, 0, 0x98},
        {"line end to the left", {".-----]"}, {}, 0, 0, 0x99},
        {"points, leg up-right (orientation 1)",
         {"     ---]", "    /", "[--a----]"},
         {{1, 'a', "P1", ""}},
         3,
         2,
         'd'},
        {"points, leg down-right (orientation 2)",
         {"[--a----]", "    \\", "     ---]"},
         {{1, 'a', "P1", ""}},
         3,
         0,
         'e'},
        {"points, leg up-left (orientation 3)",
         {"[---", "    \\", "[----a---]"},
         {{1, 'a', "P1", ""}},
         5,
         2,
         'f'},
        {"points, leg down-left (orientation 0)",
         {"[-----a--]", "     /", "[----"},
         {{1, 'a', "P1", ""}},
         6,
         0,
         'g'},
        {"bend to up-right", {"     ---]", "    /", "[--a----]"}, {{1, 'a', "P1", ""}}, 5, 0, 'k'},
        {"bend from up-left",
         {"[--a----]", "    \\", "     ---]"},
         {{1, 'a', "P1", ""}},
         5,
         2,
         'j'},
        {"bend down-right", {"[---", "    \\", "[----a---]"}, {{1, 'a', "P1", ""}}, 3, 0, 'i'},
        {"bend up-right from the left",
         {"[-----a--]", "     /", "[----"},
         {{1, 'a', "P1", ""}},
         4,
         2,
         'h'},
        {"diagonal up", {"     ---]", "    /", "[--a----]"}, {{1, 'a', "P1", ""}}, 4, 1, 0x90},
        {"diagonal down", {"[--a----]", "    \\", "     ---]"}, {{1, 'a', "P1", ""}}, 4, 1, 0x91},
        {"crossing with a falling diagonal",
         {"[-a------]", "   \\", "[---+----]", "     \\", "      --]"},
         {{1, 'a', "P1", ""}},
         4,
         2,
         0x93},
    };
    for (const GlyphCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Fixture f(c.Picture, {}, c.Points);
        const AreaModel m = f.Derive();
        for (const std::string& e : m.Errors) ADD_FAILURE() << e;
        const int cell = m.CellAt(c.X, 10 + c.Y);
        ASSERT_GE(cell, 0);
        EXPECT_EQ(m.Cells[cell].Glyph, c.Glyph) << "got " << int(m.Cells[cell].Glyph);
    }
}

// --- errors ---------------------------------------------------------------------------

struct ErrorCase {
    const char* Name;
    std::initializer_list<std::string> Picture;
    std::vector<SignalSpec> Signals;
    std::vector<PointsSpec> Points;
    const char* Expected;
};

TEST(AreaModelErrors, ABadlyDrawnPictureIsReportedInWords) {
    const ErrorCase cases[] = {
        {"points without a name", {"     ---]", "    /", "[---------]"}, {}, {}, "unnamed points"},
        {"points not in the table",
         {"     ---]", "    /", "[--a------]"},
         {},
         {},
         "not in the points table"},
        {"points in the table not drawn", {"[-----]"}, {}, {{1, 'a', "P1", ""}}, "are not drawn"},
        {"unknown character", {"[--#--]"}, {}, {}, "unknown character"},
        {"loose end", {"[-----   "}, {}, {}, "does not join up"},
        {"label in lower case", {"{Station}", "[-----]"}, {}, {}, "lower-case"},
        {"signal not in the table", {"  1>", "[-----]"}, {}, {}, "not in the signal table"},
        {"signal in the table not drawn", {"[-----]"}, {{"1", "M", "RG", ""}}, {}, "not drawn"},
        {"signal without its track",
         {"  1>", "", "[-----]"},
         {{"1", "M", "RG", ""}},
         {},
         "does not stand at a joint"},
        {"no room for a berth",
         {" 1>", "[-----]"},
         {{"1", "M", "RG", ""}},
         {},
         "no room for the berth"},
        {"platform with track on neither side",
         {"", "==1==", "", "[-----]"},
         {},
         {},
         "neither side"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Fixture f(c.Picture, c.Signals, c.Points);
        const AreaModel m = f.Derive();
        const std::string all = Joined(m.Errors);
        EXPECT_NE(all.find(c.Expected), std::string::npos) << all;
        EXPECT_FALSE(m.Valid());
    }
}

TEST(AreaModelErrors, ThingsDrawnOverEachOtherAreReported) {
    // The lamps of signal 1 fall on the label next to it.
    Fixture f({"     1>X", "[------|-----]"}, {{"1", "M", "RG", ""}});
    const AreaModel m = f.Derive();
    const std::string all = Joined(m.DrawingErrors());
    EXPECT_NE(all.find("signal 1 draws over label"), std::string::npos) << all;
}

// A berth's description replaces four cells of plain track: the berths the model places
// sit on plain track only, and a berth moved onto another object's cells (points, a
// signal's plate or head) is reported with what it would hide.
TEST(AreaModelErrors, BerthsDrawOverNothingButPlainTrack) {
    Fixture f({"   1>              3>", ".----|----e----------|----.", "           \\",
               ".-----------f-----------------.", "                 <2      <4"},
              {{"1", "M", "RYG", ""},
               {"3", "M", "RYG", ""},
               {"2", "M", "RYG", ""},
               {"4", "M", "RYG", ""}},
              {{1, 'e', "P1A", "pair=f"}, {1, 'f', "P1B", "pair=e"}});
    AreaModel m = f.Derive();
    ASSERT_TRUE(m.Valid()) << Joined(m.Errors);
    EXPECT_EQ(Joined(m.DrawingErrors()), "");
    const auto b3 = std::find_if(m.Berths.begin(), m.Berths.end(),
                                 [](const BerthInfo& b) { return b.ID == "B3"; });
    ASSERT_NE(b3, m.Berths.end());
    struct Case {
        int X, Y;
        const char* Expected;
    } cases[] = {
        {8, 11, "berth B3 draws over points or a junction at 10,11"},
        {2, 10, "berth B3 draws over signal 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Expected);
        b3->X = c.X;
        b3->Y = c.Y;
        const std::string all = Joined(m.DrawingErrors());
        EXPECT_NE(all.find(c.Expected), std::string::npos) << all;
    }
}

// --- circuits and subroutes -------------------------------------------------------------

TEST(AreaModelCircuits, JointsDivideTheTrackAndEveryPassageIsASubrouteEachWay) {
    Fixture f({"       -----]", "      /", "[----a---|---]"}, {}, {{1, 'a', "P1", ""}});
    const AreaModel m = f.Derive();
    ASSERT_TRUE(m.Valid()) << Joined(m.Errors);
    // The turnout with its siding, and the line beyond the joint.
    ASSERT_EQ(m.Circuits.size(), 2u);
    const Circuit& turnout = m.Circuits[0];
    ASSERT_EQ(turnout.Ends.size(), 3u);  // buffer stops, the joint, the siding's buffers
    // Subroutes both ways over each road: two roads through the turnout, one beyond.
    EXPECT_EQ(turnout.Subroutes.size(), 4u);
    EXPECT_EQ(m.Circuits[1].Subroutes.size(), 2u);
    int normal = 0, reverse = 0;
    for (int s : turnout.Subroutes) {
        const SubrouteInfo& sub = m.Subroutes[s];
        ASSERT_EQ(sub.Points.size(), 1u);
        (sub.Points[0].Reverse ? reverse : normal)++;
        ASSERT_GE(sub.Opposite, 0);
        EXPECT_EQ(m.Subroutes[sub.Opposite].Opposite, s);
        EXPECT_NE(m.Subroutes[sub.Opposite].Direction, sub.Direction);
    }
    EXPECT_EQ(normal, 2);
    EXPECT_EQ(reverse, 2);
    // The straight road leads on into the circuit beyond, and back.
    const SubrouteInfo* right = FindSubroute(m, 8, 12, "AB");
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->Direction, 1);
    ASSERT_EQ(right->Next.size(), 1u);
    EXPECT_EQ(m.Subroutes[right->Next[0]].Circuit, 1);
    EXPECT_EQ(m.Subroutes[right->Next[0]].Previous.size(), 1u);
}

TEST(AreaModelCircuits, ACrossoverHasItsJointWhereItMeetsTheUpperPoints) {
    Fixture f({"[-----b-----]", "     /", "[---a-------]"}, {},
              {{1, 'a', "P1B", "pair=b"}, {1, 'b', "P1A", "pair=a"}});
    const AreaModel m = f.Derive();
    ASSERT_TRUE(m.Valid()) << Joined(m.Errors);
    ASSERT_EQ(m.Circuits.size(), 2u);
    const auto circuitOf = [&](int x, int y) {
        return m.Segments[m.Cells[m.CellAt(x, y)].Segments[0]].Circuit;
    };
    EXPECT_EQ(circuitOf(5, 11), circuitOf(4, 12));  // the diagonal belongs to the lower points
    EXPECT_NE(circuitOf(5, 11), circuitOf(6, 10));
    EXPECT_EQ(m.Points[0].Partner, 1);
    EXPECT_EQ(m.Points[1].Partner, 0);
}

TEST(AreaModelCircuits, ADiamondCrossingMakesTheTwoRoadsConflict) {
    Fixture f({"[-a--------]", "   \\", "[---+---|--]", "     \\", "      ---]"}, {},
              {{1, 'a', "P1", ""}});
    const AreaModel m = f.Derive();
    ASSERT_TRUE(m.Valid()) << Joined(m.Errors);
    const int crossing = m.CellAt(4, 12);
    ASSERT_EQ(m.Cells[crossing].Kind, CellKind::Crossing);
    int pairs = 0;
    for (std::size_t i = 0; i < m.Subroutes.size(); ++i) {
        for (int c : m.Subroutes[i].Conflicts) {
            ++pairs;
            const auto& back = m.Subroutes[c].Conflicts;
            EXPECT_NE(std::find(back.begin(), back.end(), static_cast<int>(i)), back.end());
            EXPECT_NE(m.Subroutes[c].Circuit, m.Subroutes[i].Circuit);
        }
    }
    // The straight road each way against the diagonal road each way.
    EXPECT_EQ(pairs, 8);
}

TEST(AreaModelCircuits, AnUnpairedCrossoverGivesFlankProtectionAPairedOneNeedsNone) {
    for (const bool paired : {false, true}) {
        SCOPED_TRACE(paired ? "paired" : "unpaired");
        Fixture f(
            {"[-----b-----]", "     /", "[---a-------]"}, {},
            {{1, 'a', "P1B", paired ? "pair=b" : ""}, {1, 'b', "P1A", paired ? "pair=a" : ""}});
        const AreaModel m = f.Derive();
        ASSERT_TRUE(m.Valid()) << Joined(m.Errors);
        // Along the upper line over its points normal (from its buffer stops A, past the
        // crossover's joint B, to its other buffer stops C), the lower points are held
        // normal.
        const SubrouteInfo* along = FindSubroute(m, 8, 10, "AC");
        ASSERT_NE(along, nullptr);
        if (paired) {
            EXPECT_TRUE(along->FlankNormal.empty());
        } else {
            ASSERT_EQ(along->FlankNormal.size(), 1u);
            EXPECT_EQ(m.Points[along->FlankNormal[0]].ID, "P1B");
            EXPECT_TRUE(along->FlankReverse.empty());
        }
    }
}

// --- routes and overlaps ----------------------------------------------------------------

TEST(AreaModelRoutes, RoutesRunBetweenConsecutiveSignalsWithOverlapsBeyondTheirExits) {
    Fixture f({"      1>       3>       5>", ".-------|--------|--------|------."},
              {{"1", "M", "RYG", ""}, {"3", "M", "RYG", ""}, {"5", "A", "RYG", "fringe"}});
    const AreaModel m = f.Derive();
    ASSERT_TRUE(m.Valid()) << Joined(m.Errors);
    std::vector<std::string> ids;
    for (const RouteInfo& r : m.Routes) ids.push_back(r.ID);
    EXPECT_EQ(ids, (std::vector<std::string>{"R1-3M", "R3-5M"}));
    const SignalInfo& s3 = m.Signals[m.SignalByPlate("3")];
    ASSERT_EQ(s3.Overlaps.size(), 1u);
    const OverlapInfo& o = m.Overlaps[s3.Overlaps[0]];
    ASSERT_EQ(o.Subroutes.size(), 1u);  // 9 cells of 50 m reach past 180 m
    EXPECT_EQ(m.Subroutes[o.Subroutes[0]].Circuit, s3.AheadCircuit);
    // The fringe signal's overlap runs to the area boundary.
    const SignalInfo& s5 = m.Signals[m.SignalByPlate("5")];
    ASSERT_EQ(s5.Overlaps.size(), 1u);
    EXPECT_TRUE(m.Subroutes[m.Overlaps[s5.Overlaps[0]].Subroutes.back()].LeavesArea);
    // Berths stand in rear of each signal.
    for (const char* plate : {"1", "3", "5"}) {
        const SignalInfo& s = m.Signals[m.SignalByPlate(plate)];
        ASSERT_GE(s.Berth, 0) << plate;
        EXPECT_EQ(m.Berths[s.Berth].X, s.PostX - 3) << plate;
        EXPECT_EQ(m.Berths[s.Berth].Circuit, s.BerthCircuit) << plate;
    }
}

TEST(AreaModelRoutes, NoRouteRunsWrongRoadPastTheBackOfASignalOnALineWorkedOneWay) {
    // A crossover leads trains running left from the lower line onto the upper line,
    // which is worked only rightwards: running on, they would pass the back of signal 1.
    Fixture f({"   1>              3>", ".----|----e----------|----.", "           \\",
               ".-----------f-----------------.", "                 <2      <4"},
              {{"1", "M", "RYG", ""},
               {"3", "M", "RYG", ""},
               {"2", "M", "RYG", ""},
               {"4", "M", "RYG", ""}},
              {{1, 'e', "P1A", "pair=f"}, {1, 'f', "P1B", "pair=e"}});
    const AreaModel m = f.Derive();
    ASSERT_TRUE(m.Valid()) << Joined(m.Errors);
    std::vector<std::string> ids;
    for (const RouteInfo& r : m.Routes) ids.push_back(r.ID);
    EXPECT_EQ(ids, (std::vector<std::string>{"R1-3M", "R4-2M"}));
    // Given a signal of its own for moves to the left, the upper line takes the
    // crossover move up to it, short of signal 1.
    f.Rows1[12] = "      <6   \\";
    f.Signals.push_back({"6", "M", "RYG", ""});
    const AreaModel withSignal = f.Derive();
    ASSERT_TRUE(withSignal.Valid()) << Joined(withSignal.Errors);
    EXPECT_TRUE(
        std::any_of(withSignal.Routes.begin(), withSignal.Routes.end(),
                    [](const RouteInfo& r) { return r.ID == "R2-6M" && r.ReversePoints == 2; }));
}

TEST(AreaModelRoutes, AMainRouteIntoAPlatformHasACallOnAndAWarnerVariant) {
    Fixture f({"   1>          3>", ".----|--|--------|------.", "          ===1==="},
              {{"1", "M", "RYG", "pl"}, {"3", "M", "RYG", "warner"}});
    f.Locations.push_back({"ST", "Station", 0, 0, 255, 45, "key"});
    const AreaModel m = f.Derive();
    ASSERT_TRUE(m.Valid()) << Joined(m.Errors);
    ASSERT_EQ(m.Routes.size(), 3u);
    const RouteInfo& main = m.Routes[0];
    EXPECT_EQ(main.Class, ClassMain);
    ASSERT_GE(main.CallOnVariant, 0);
    const RouteInfo& callOn = m.Routes[main.CallOnVariant];
    EXPECT_EQ(callOn.Class, ClassCallOn);
    EXPECT_FALSE(callOn.Permissive.empty());
    for (int s : callOn.Permissive) EXPECT_TRUE(m.Circuits[m.Subroutes[s].Circuit].Platform);
    const auto warner = std::find_if(m.Routes.begin(), m.Routes.end(),
                                     [](const RouteInfo& r) { return r.Class == ClassWarner; });
    ASSERT_NE(warner, m.Routes.end());
    EXPECT_EQ(warner->MainRoute, 0);
    EXPECT_EQ(warner->Subroutes, main.Subroutes);
}

}  // namespace
}  // namespace kestra::area
