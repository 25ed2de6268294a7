// The built-in area built into a simulation: its objects, their identifiers, and the
// consistency of the interlocking tables derived from its description.

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "area/area_builder.h"
#include "fakes/fakes.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "panel_font.h"
#include "sim/sim.h"

namespace kestra {
namespace {

using area::BuildArea;
using area::BuiltArea;

std::string Name(const TULC* s) {
    return s ? (s->TrackCircuit ? s->TrackCircuit->ID : "?") + " " + s->ID : "none";
}

class BuiltInArea : public ::testing::Test {
  protected:
    void SetUp() override { area = BuildArea(sim); }
    Sim sim;
    std::shared_ptr<BuiltArea> area;
};

TEST_F(BuiltInArea, DerivesWithoutErrorAndDrawsNothingOverAnythingElse) {
    ASSERT_TRUE(area->Model);
    for (const std::string& e : area->Model->Errors) ADD_FAILURE() << e;
    for (const std::string& e : area->Model->DrawingErrors()) ADD_FAILURE() << e;
}

TEST_F(BuiltInArea, CountsOfEveryKindAreThoseOfARealSecondaryMainLine) {
    std::ostringstream summary;
    area::PrintAreaSummary(sim, summary);
    std::cout << summary.str();
    const area::AreaModel& m = *area->Model;
    std::cout << "berths " << m.Berths.size() << " (planned)\nentry_points " << m.Entries.size()
              << " (planned)\nlocations " << m.Locations.size() << " (planned)\npaths "
              << m.Paths.size() << " (planned)\nars_subareas " << m.SubAreas.size()
              << " (planned)\n";
    // The summary's counts are the lists' own.
    std::map<std::string, int> counts;
    std::istringstream in(summary.str());
    std::string kind;
    int n = 0;
    while (in >> kind >> n) counts[kind] = n;
    EXPECT_EQ(counts["signals"], sim.Signals.Count());
    EXPECT_EQ(counts["track_circuits"], sim.TrackCircuits.Count());
    EXPECT_EQ(counts["points"], sim.Points.Count());
    EXPECT_EQ(counts["routes"], sim.Routes.Count());
    EXPECT_EQ(counts["subroutes"], sim.Subroutes.Count());
    EXPECT_EQ(counts["overlaps"], sim.Overlaps.Count());
    // The railway the area is meant to be.
    struct Range {
        const char* Kind;
        int Count, Low, High;
    };
    int controlled = 0, automatic = 0;
    for (const area::SignalInfo& s : m.Signals) {
        controlled += s.Type == area::SignalType::Main || s.Type == area::SignalType::Shunt;
        automatic += s.Type == area::SignalType::Automatic;
    }
    const Range ranges[] = {
        {"signals", sim.Signals.Count(), 60, 100},
        {"track circuits", sim.TrackCircuits.Count(), 120, 200},
        {"points ends", sim.Points.Count(), 20, 40},
        {"controlled signals", controlled, 35, 90},
        {"automatic signals", automatic, 8, 40},
        {"entry points", static_cast<int>(m.Entries.size()), 5, 12},
        {"ARS sub-areas", static_cast<int>(m.SubAreas.size()), 4, 12},
    };
    for (const Range& r : ranges) {
        EXPECT_GE(r.Count, r.Low) << r.Kind;
        EXPECT_LE(r.Count, r.High) << r.Kind;
    }
}

TEST(BuiltInAreaBuild, TakesWellUnderASecondAndCanBeBuiltManyTimes) {
    for (int i = 0; i < 3; ++i) {
        Sim sim;
        std::vector<int> progress;
        const auto start = std::chrono::steady_clock::now();
        auto area = BuildArea(sim, [&](int p) { progress.push_back(p); });
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        std::cout << "building the area took " << ms << " ms\n";
        EXPECT_LT(ms, 500.0);
        ASSERT_TRUE(area->Model->Valid());
        // The splash bar: from 0 to 100, never backwards, through the build stages.
        ASSERT_GE(progress.size(), 4u);
        EXPECT_EQ(progress.front(), 0);
        EXPECT_EQ(progress.back(), 100);
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_NE(std::find(progress.begin(), progress.end(), 10), progress.end());
        EXPECT_NE(std::find(progress.begin(), progress.end(), 20), progress.end());
        EXPECT_GT(sim.Signals.Count(), 0);
    }
}

TEST_F(BuiltInArea, FillsTheAreaConstantsAndTheTitle) {
    EXPECT_EQ(sim.SimData.ScreenCount, 2);
    EXPECT_EQ(sim.SimData.AreaID, "VLM");
    EXPECT_EQ(sim.SimData.AreaName, "Vellmoor");
    EXPECT_EQ(sim.SimData.NonDescribed, "****");
    EXPECT_TRUE(sim.SimData.ARSLabelLetter);
    const std::string before = sim.SimData.AreaTitle;
    EXPECT_FALSE(before.empty());
    area::SetAreaTitle(sim);
    EXPECT_EQ(sim.SimData.AreaTitle, before + " " + area::kAreaVersion);
}

// Class-list keys are empty, so a lookup by key finds nothing; FindID finds the object.
TEST_F(BuiltInArea, ObjectsAreFoundByIdentifierNotByKey) {
    struct Kind {
        const char* Name;
        TSSIList* List;
        std::function<TSSIObject*(const std::string&)> Find;
    };
    const Kind kinds[] = {
        {"signals", &sim.Signals,
         [&](const std::string& id) { return static_cast<TSSIObject*>(sim.Signals.FindID(id)); }},
        {"track circuits", &sim.TrackCircuits,
         [&](const std::string& id) {
             return static_cast<TSSIObject*>(sim.TrackCircuits.FindID(id));
         }},
        {"points", &sim.Points,
         [&](const std::string& id) { return static_cast<TSSIObject*>(sim.Points.FindID(id)); }},
        {"routes", &sim.Routes,
         [&](const std::string& id) { return static_cast<TSSIObject*>(sim.Routes.FindID(id)); }},
    };
    for (const Kind& k : kinds) {
        ASSERT_GT(k.List->Count(), 0) << k.Name;
        std::set<std::string> ids;
        for (int i = 0; i < k.List->Count(); ++i) {
            EXPECT_TRUE(k.List->Key(i).empty()) << k.Name << " " << i;
            TSSIObject* o = k.List->GetItem(i);
            ASSERT_FALSE(o->ID.empty()) << k.Name << " " << i;
            EXPECT_TRUE(ids.insert(o->ID).second) << k.Name << " identifier used twice: " << o->ID;
            EXPECT_EQ(k.Find(o->ID), o) << k.Name << " " << o->ID;
        }
    }
    EXPECT_NE(sim.Signals.FindID("SVM11"), nullptr);
    EXPECT_EQ(sim.Signals.FindID("VM11"), nullptr);
}

// Every glyph the area draws exists in both panel fonts.
TEST_F(BuiltInArea, EveryGlyphItDrawsIsInTheFont) {
    std::set<std::uint8_t> codes;
    auto collect = [&](const std::string& glyphs) {
        for (char ch : glyphs) {
            const auto c = static_cast<std::uint8_t>(ch);
            if ((c >= 201 && c <= 209 && c != 205) || (c >= 210 && c <= 221) ||
                (c >= 230 && c <= 240) || c == 255)
                continue;
            codes.insert(c);
        }
    };
    sim.Labels.ForEach([&](TPEL& l) { collect(l.Text); });
    sim.Points.ForEach([&](TPTS& p) {
        static const char* glyphs[4] = {"gak", "dah", "eai", "faj"};
        collect(glyphs[p.Orientation & 3]);
    });
    for (const area::DrawnCell& d : area->Model->DrawnCells()) codes.insert(d.Glyph);
    ASSERT_GT(codes.size(), 20u);
    for (std::uint8_t c : codes) {
        EXPECT_TRUE(font::Normal.HasGlyph(c))
            << "code " << int(c) << " missing from the panel font";
        EXPECT_TRUE(font::Small.HasGlyph(c))
            << "code " << int(c) << " missing from the overview font";
    }
    // Every orientation's points glyph is a real junction glyph, never the "?" fallback.
    sim.Points.ForEach([&](TPTS& p) { EXPECT_LE(p.Orientation, 3) << p.ID; });
}

// Drawing the whole panel puts the railway inside rows 1 to 43 of each screen, where
// the furniture never overdraws it.
TEST(BuiltInAreaDrawing, EveryScreenShowsItsRailwayClearOfTheFurniture) {
    test::TestSim t;
    auto area = BuildArea(*t);
    for (int screen = 1; screen <= 2; ++screen) {
        t.surface.Clear();
        t->Display().CurrentScreen = screen;
        t->Labels.Draw();
        t->Signals.Draw();
        t->TrackCircuits.Draw();
        int drawn = 0;
        for (int row = 0; row < 48; ++row) {
            for (int col = 0; col < 128; ++col) {
                if (!t.surface.At(col, row).Drawn) continue;
                ++drawn;
                EXPECT_GE(row, area::kFirstRailwayRow) << "screen " << screen << " column " << col;
                EXPECT_LE(row, area::kLastRailwayRow) << "screen " << screen << " column " << col;
            }
        }
        EXPECT_GT(drawn, 300) << "screen " << screen;
    }
    // Each track cell of the model shows on its own screen at its own place.
    t->Display().CurrentScreen = 2;
    t.surface.Clear();
    t->TrackCircuits.Draw();
    for (const area::TrackCell& c : area->Model->Cells) {
        if (c.X < 128) continue;
        EXPECT_TRUE(t.surface.At(c.X - 128, c.Y).Drawn) << c.X << "," << c.Y;
    }
}

// --- the interlocking tables -----------------------------------------------------------

TEST_F(BuiltInArea, EveryRouteRunsFromItsEntranceToItsExitOverJoinedSubroutes) {
    ASSERT_GT(sim.Routes.Count(), 60);
    sim.Routes.ForEach([&](TROU& r) {
        SCOPED_TRACE(r.ID);
        ASSERT_NE(r.Entrance, nullptr);
        ASSERT_NE(r.Exit, nullptr);
        ASSERT_FALSE(r.AllSubroutes.Empty());
        EXPECT_TRUE(r.Entrance->Routes.Contains(&r));
        const TULC* first = r.AllSubroutes.At(0);
        EXPECT_EQ(first->StartSignal, r.Entrance) << Name(first);
        EXPECT_TRUE(r.Entrance->SubroutesFromHere.Contains(first));
        EXPECT_EQ(r.FirstSubroute, first);
        EXPECT_EQ(r.FirstCircuit, first->TrackCircuit);
        for (int i = 1; i < r.AllSubroutes.Count(); ++i) {
            const TULC* a = r.AllSubroutes.At(i - 1);
            const TULC* b = r.AllSubroutes.At(i);
            EXPECT_TRUE(a->Next.Contains(b)) << Name(a) << " does not lead into " << Name(b);
            EXPECT_TRUE(b->Previous.Contains(a));
            EXPECT_EQ(a->Direction, b->Direction);
            EXPECT_NE(a->TrackCircuit, b->TrackCircuit);
            // Only shunt signals, passed in preset mode, stand inside a route.
            if (a->EndSignal) {
                EXPECT_EQ(a->EndSignal->SignalKind, SkRouteWorked) << Name(a);
                EXPECT_FALSE(a->EndSignal->HasRedLamp())
                    << Name(a) << " ends at " << a->EndSignal->ID;
            }
        }
        EXPECT_EQ(r.AllSubroutes.At(r.AllSubroutes.Count() - 1)->EndSignal, r.Exit);
        EXPECT_TRUE(r.PointsConsistent()) << "needs points both ways";
        if (r.Class == RcCallOn) {
            ASSERT_NE(r.MainRoute, nullptr);
            EXPECT_EQ(r.MainRoute->CallOnVariant, &r);
            EXPECT_FALSE(r.PermissiveSubroutes.Empty());
            EXPECT_EQ(r.MainRoute->Entrance, r.Entrance);
            EXPECT_EQ(r.MainRoute->Exit, r.Exit);
        }
        if (r.Class == RcWarner) {
            ASSERT_NE(r.MainRoute, nullptr);
            EXPECT_TRUE(r.Exit->HasWarnerButton());
        }
        if (r.Alternative) {
            EXPECT_EQ(r.Alternative->Entrance, r.Entrance);
            EXPECT_EQ(r.Alternative->Exit, r.Exit);
            EXPECT_NE(r.Alternative, &r);
        }
        EXPECT_EQ(r.RouteSet, r.Class == RcAutomatic);
    });
}

TEST_F(BuiltInArea, AutomaticSignalsHoldTheirPermanentRoutesOverPlainLine) {
    int automatic = 0;
    sim.Signals.ForEach([&](TSIG& s) {
        if (s.SignalKind != SkAutomatic) return;
        SCOPED_TRACE(s.ID);
        ++automatic;
        EXPECT_FALSE(s.ControlCircuits.Empty());
        if (!s.NextSignal) return;  // the last signal before the area boundary
        ASSERT_NE(s.CurrentRoute, nullptr);
        const TROU& r = *s.CurrentRoute;
        EXPECT_EQ(r.Class, RcAutomatic);
        EXPECT_TRUE(r.RouteSet);
        EXPECT_EQ(r.Exit, s.NextSignal);
        ASSERT_FALSE(r.Subroutes.Empty());
        r.Subroutes.ForEach([&](TULC& u) {
            EXPECT_TRUE(u.AlwaysPassable) << Name(&u);
            EXPECT_TRUE(u.HasNoPoints()) << Name(&u);
            EXPECT_GE(s.ControlCircuits.IndexOf(u.TrackCircuit), 0) << Name(&u);
        });
        EXPECT_EQ(r.Subroutes.At(r.Subroutes.Count() - 1)->EndSignal, s.NextSignal);
    });
    EXPECT_GE(automatic, 8);
}

TEST_F(BuiltInArea, EveryOverlapStartsAtItsSignalAndEndsAtACircuitBoundary) {
    ASSERT_GT(sim.Overlaps.Count(), 30);
    sim.Overlaps.ForEach([&](TOVL& o) {
        ASSERT_NE(o.Signal, nullptr);
        SCOPED_TRACE(o.Signal->ID);
        EXPECT_TRUE(o.Signal->Overlaps.Contains(&o));
        ASSERT_FALSE(o.Subroutes.Empty());
        const TULC* first = o.Subroutes.At(0);
        EXPECT_EQ(first->StartSignal, o.Signal) << Name(first);
        std::set<const TTCS*> circuits;
        for (int i = 0; i < o.Subroutes.Count(); ++i) {
            const TULC* s = o.Subroutes.At(i);
            EXPECT_TRUE(circuits.insert(s->TrackCircuit).second)
                << "circuit twice in an overlap: " << Name(s);
            if (i > 0) {
                EXPECT_TRUE(o.Subroutes.At(i - 1)->Next.Contains(s)) << Name(s);
            }
        }
        // The overlap ends where its last circuit ends: at another circuit, the area
        // boundary or buffer stops (with or without a stop marker at them).
        const TULC* last = o.Subroutes.At(o.Subroutes.Count() - 1);
        if (last->Next.Empty()) {
            EXPECT_TRUE(last->LeavesArea || last->EndSignal == nullptr ||
                        last->EndSignal->IsMarker())
                << Name(last);
        }
        for (int i = 0; i < last->Next.Count(); ++i)
            EXPECT_NE(last->Next.At(i)->TrackCircuit, last->TrackCircuit);
    });
    // Every exit of a main route has an overlap unless the line ends beyond it.
    sim.Routes.ForEach([&](TROU& r) {
        if (r.Class != RcMain || r.Exit->SignalKind == SkDrawnOnly) return;
        EXPECT_FALSE(r.Exit->Overlaps.Empty()) << r.ID;
    });
}

TEST_F(BuiltInArea, PointsAndSubroutesListEachOtherBothWays) {
    int lists = 0;
    sim.Points.ForEach([&](TPTS& p) {
        SCOPED_TRACE(p.ID);
        ASSERT_NE(p.TrackCircuit, nullptr);
        EXPECT_GE(p.TrackCircuit->Points.IndexOf(&p), 0);
        EXPECT_FALSE(p.NormalSubroutes.Empty());
        EXPECT_FALSE(p.ReverseSubroutes.Empty());
        struct Pair {
            const TULCList* FromPoints;
            bool (*Has)(const TULC&, const TPTS*);
        };
        const Pair pairs[] = {
            {&p.NormalSubroutes,
             [](const TULC& s, const TPTS* q) { return s.NormalPoints.Contains(q); }},
            {&p.ReverseSubroutes,
             [](const TULC& s, const TPTS* q) { return s.ReversePoints.Contains(q); }},
            {&p.FlankNormalSubroutes,
             [](const TULC& s, const TPTS* q) { return s.FlankNormalPoints.Contains(q); }},
            {&p.FlankReverseSubroutes,
             [](const TULC& s, const TPTS* q) { return s.FlankReversePoints.Contains(q); }},
        };
        for (const Pair& pair : pairs) {
            for (int i = 0; i < pair.FromPoints->Count(); ++i) {
                EXPECT_TRUE(pair.Has(*pair.FromPoints->At(i), &p)) << Name(pair.FromPoints->At(i));
                ++lists;
            }
        }
        for (int i = 0; i < p.Paired.Count(); ++i) EXPECT_TRUE(p.Paired.At(i)->Paired.Contains(&p));
    });
    sim.Subroutes.ForEach([&](TULC& s) {
        SCOPED_TRACE(Name(&s));
        struct Pair {
            const TPTSList* FromSubroute;
            const TULCList& (*Back)(const TPTS&);
        };
        const Pair pairs[] = {
            {&s.NormalPoints, [](const TPTS& q) -> const TULCList& { return q.NormalSubroutes; }},
            {&s.ReversePoints, [](const TPTS& q) -> const TULCList& { return q.ReverseSubroutes; }},
            {&s.FlankNormalPoints,
             [](const TPTS& q) -> const TULCList& { return q.FlankNormalSubroutes; }},
            {&s.FlankReversePoints,
             [](const TPTS& q) -> const TULCList& { return q.FlankReverseSubroutes; }},
        };
        for (const Pair& pair : pairs) {
            for (int i = 0; i < pair.FromSubroute->Count(); ++i) {
                EXPECT_TRUE(pair.Back(*pair.FromSubroute->At(i)).Contains(&s))
                    << pair.FromSubroute->At(i)->ID;
            }
        }
        // A subroute never needs the same points both ways, nor holds its own route
        // points for flank protection.
        for (int i = 0; i < s.NormalPoints.Count(); ++i) {
            EXPECT_FALSE(s.ReversePoints.Contains(s.NormalPoints.At(i)));
            EXPECT_FALSE(s.FlankReversePoints.Contains(s.NormalPoints.At(i)));
        }
    });
    EXPECT_GT(lists, 60);
}

TEST_F(BuiltInArea, ConflictsOppositesAndCircuitsAreListedBothWays) {
    int conflicts = 0;
    sim.Subroutes.ForEach([&](TULC& s) {
        SCOPED_TRACE(Name(&s));
        ASSERT_NE(s.TrackCircuit, nullptr);
        EXPECT_TRUE(s.TrackCircuit->Subroutes.Contains(&s));
        for (int i = 0; i < s.Conflicts.Count(); ++i) {
            const TULC* c = s.Conflicts.At(i);
            EXPECT_TRUE(c->Conflicts.Contains(&s)) << Name(c);
            EXPECT_NE(c->TrackCircuit, s.TrackCircuit);
            ++conflicts;
        }
        if (s.Opposite) {
            EXPECT_EQ(s.Opposite->Opposite, &s);
            EXPECT_EQ(s.Opposite->TrackCircuit, s.TrackCircuit);
            EXPECT_NE(s.Opposite->Direction, s.Direction);
            EXPECT_EQ(s.Opposite->ID, (std::string{s.ID[1], s.ID[0]}));
        }
        for (int i = 0; i < s.Next.Count(); ++i) EXPECT_TRUE(s.Next.At(i)->Previous.Contains(&s));
        EXPECT_GT(s.Length, 0);
        EXPECT_GT(s.PassengerSpeed, 0.0f);
        EXPECT_LE(s.FreightSpeed, s.PassengerSpeed);
        EXPECT_EQ(s.ClearTime,
                  static_cast<int>(std::lround(2.0 * std::sqrt(static_cast<double>(s.Length)))));
    });
    // The diamond crossing at Skelbrook Junction.
    EXPECT_GT(conflicts, 0);
    sim.TrackCircuits.ForEach([&](TTCS& c) { EXPECT_FALSE(c.Subroutes.Empty()) << c.ID; });
}

TEST_F(BuiltInArea, EveryControlledSignalCanBeChosenAndHasABerthPlace) {
    const area::AreaModel& m = *area->Model;
    for (std::size_t i = 0; i < m.Signals.size(); ++i) {
        const area::SignalInfo& info = m.Signals[i];
        const TSIG& s = *area->Signals[i];
        SCOPED_TRACE(s.ID);
        EXPECT_NE(s.BerthCircuit, nullptr);
        if (info.Type == area::SignalType::Marker) continue;
        EXPECT_GE(info.Berth, 0);
        if (info.Type == area::SignalType::Automatic) continue;
        EXPECT_FALSE(s.Routes.Empty()) << "a controlled signal without routes";
        EXPECT_TRUE(s.EntranceX != 0 || s.EntranceY != 0);
        EXPECT_NE(s.FirstCircuitAhead, nullptr);
    }
}

// --- scenarios ---------------------------------------------------------------------------

TEST_F(BuiltInArea, ScenarioTableHasTheFourScenariosAndTheirSettings) {
    const std::vector<std::string> names = area::ScenarioNames();
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0], "Beginner");
    EXPECT_EQ(names[1], "Standard");
    EXPECT_NE(names[2].find("Greyhallow Tunnel"), std::string::npos);
    EXPECT_EQ(names[3], "No ARS");
    EXPECT_EQ(area::ScenarioDescriptions()[0],
              "Normal running, no lines or platforms closed. No trackside failures but limited "
              "delays and disturbances.");
    EXPECT_EQ(area::ScenarioDescriptions()[1],
              "Normal running, no lines or platforms closed. Usual delays and disturbances "
              "including trackside failures.");
    struct Expected {
        int Max;
        float Points, Signals, Track, Amount, Probability;
    };
    const Expected expected[] = {
        {0, 0.0f, 0.0f, 0.0f, 0.75f, 0.1f},
        {2, 0.0025f, 0.001f, 0.0025f, 1.25f, 0.15f},
        {2, 0.0025f, 0.001f, 0.0025f, 1.25f, 0.15f},
        {1, 0.0025f, 0.001f, 0.0025f, 1.25f, 0.15f},
    };
    ASSERT_TRUE(sim.Hooks.ScenarioHook);
    for (int i = 0; i < 4; ++i) {
        sim.Options().MaxFailures = 9;
        sim.Options().DelayAmount = 9;
        sim.Hooks.ScenarioHook(i);
        const Options& o = sim.Options();
        EXPECT_EQ(o.MaxFailures, expected[i].Max) << i;
        EXPECT_FLOAT_EQ(o.PointsFailureChance, expected[i].Points) << i;
        EXPECT_FLOAT_EQ(o.SignalFailureChance, expected[i].Signals) << i;
        EXPECT_FLOAT_EQ(o.TrackFailureChance, expected[i].Track) << i;
        EXPECT_FLOAT_EQ(o.DelayAmount, expected[i].Amount) << i;
        EXPECT_FLOAT_EQ(o.DelayProbability, expected[i].Probability) << i;
    }
}

TEST_F(BuiltInArea, LineClosureCollarsTheTunnelSignalsAndMarksItsCircuits) {
    ASSERT_GE(area->ClosureSignals.size(), 8u);
    ASSERT_GE(area->ClosureCircuits.size(), 6u);
    std::cout << "line closure: " << area->ClosureSignals.size() << " signals with reminders, "
              << area->ClosureCircuits.size() << " circuits marked for engineering\n";
    // Nothing else is touched by the other scenarios.
    sim.Hooks.ScenarioHook(1);
    sim.Signals.ForEach([](TSIG& s) { EXPECT_EQ(s.Collar, 0) << s.ID; });
    sim.TrackCircuits.ForEach([](TTCS& c) { EXPECT_EQ(c.ISOType, IsoNone) << c.ID; });
    sim.ResetSimulation();
    sim.Hooks.ScenarioHook(2);
    int collared = 0, marked = 0;
    sim.Signals.ForEach([&](TSIG& s) {
        const bool listed = std::find(area->ClosureSignals.begin(), area->ClosureSignals.end(),
                                      &s) != area->ClosureSignals.end();
        EXPECT_EQ((s.Collar & CollarGeneral) != 0, listed) << s.ID;
        collared += listed;
    });
    sim.TrackCircuits.ForEach([&](TTCS& c) {
        const bool listed = std::find(area->ClosureCircuits.begin(), area->ClosureCircuits.end(),
                                      &c) != area->ClosureCircuits.end();
        EXPECT_EQ(c.ISOType, listed ? IsoEng : IsoNone) << c.ID;
        marked += listed;
    });
    EXPECT_EQ(collared, static_cast<int>(area->ClosureSignals.size()));
    EXPECT_EQ(marked, static_cast<int>(area->ClosureCircuits.size()));
    // The tunnel's automatic signals are all among them.
    sim.Signals.ForEach([&](TSIG& s) {
        if (s.SignalKind == SkAutomatic && s.NextSignal && s.X > 150 && s.X < 205 && s.Y < 22) {
            EXPECT_TRUE(s.Collar & CollarGeneral) << s.ID;
        }
    });
}

}  // namespace
}  // namespace kestra
