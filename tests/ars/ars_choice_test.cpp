// ARS on a plain line with one train: what it waits for and why, shown as the
// signaller's status query shows it, and which route it sets; a route chosen in
// one cycle is set in the next only if it still may be.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "ars/ars_subarea.h"
#include "ars/ars_train.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "interlocking/signal.h"
#include "places/location.h"
#include "timetable/timetable.h"
#include "trains/berth.h"
#include "trains/train.h"

namespace kestra {
namespace {

using test::TestSim;

// Berths B0 (at S1), B1 (at S2) and B2 (at S3) on the plain line, and one train
// in B0 whose planned path is B0, S1-S2, B1, S2-S3, B2, made ARS by hand.
struct Line {
    TestSim t;
    test::PlainLine l{};
    TBER* b[4] = {};
    TARSTrain* train = nullptr;

    Line() {
        test::RailwayBuilder builder(*t);
        l = test::BuildPlainLine(builder);
        for (int i = 0; i < 3; ++i) {
            b[i] = &t->Berths.Create(*t, "B" + std::to_string(i));
            b[i]->X = 10 + 6 * i;
        }
        b[0]->Interpose("1A01");
        train = ars().FindByBerth(b[0]);
        train->PathEntries.Items.resize(5);
        TSSIObject* items[] = {b[0], l.S1S2, b[1], l.S2S3, b[2]};
        for (int i = 0; i < 5; ++i)
            train->PathEntries.Items[static_cast<std::size_t>(i)].Item = items[i];
        train->PathPosition = 0;
        train->OnPlannedPath = true;
        train->IsARS = true;
    }
    TARSTrainList& ars() { return t->ARSTrains(); }
    // One working cycle of ARS (every second call works).
    void Working() {
        ars().ARSCycle();
        ars().ARSCycle();
    }
    std::string Status() { return ars().StatusTextOf(*train); }
    // A second ARS train described in a new berth B3, whose planned path is B3, route,
    // B4, due at B3 at due; b[3] is B3. Null if no ARS train was made for it.
    TARSTrain* Other(const std::string& description, TROU* route, std::int32_t due) {
        TBER& b3 = t->Berths.Create(*t, "B3");
        TBER& b4 = t->Berths.Create(*t, "B4");
        b[3] = &b3;
        b3.Interpose(description);
        TARSTrain* other = ars().FindByBerth(&b3);
        if (!other) return nullptr;
        other->PathEntries.Items.resize(3);
        TSSIObject* items[] = {&b3, route, &b4};
        for (int i = 0; i < 3; ++i)
            other->PathEntries.Items[static_cast<std::size_t>(i)].Item = items[i];
        other->PathEntries.Items[0].DueTime = due;
        other->PathPosition = 0;
        other->OnPlannedPath = true;
        other->IsARS = true;
        return other;
    }
};

// Each reason for not setting the next route, and the route set when there is
// none.
TEST(ARSChoice, WhatTheTrainWaitsFor) {
    struct Case {
        const char* name;
        std::function<void(Line&)> make;
        const char* status;  // nullptr: unchanged from "Unknown"
        bool set;            // S1-S2 set after two working cycles
    };
    const Case cases[] = {
        // Set, and waiting for the signal to clear (no cycle has run to prove
        // it).
        {"free to go", [](Line&) {}, "Waiting for route to prove", true},
        {"a route only the signaller sets", [](Line& f) { f.l.S1S2->ARSAllowed = false; },
         "Waiting for manual route to be set", false},
        {"its sub-area switched off",
         [](Line& f) {
             TARS& a = f.t->ARSSubAreas.Create(*f.t);
             a.SetSelected(false);
             f.l.S1S2->ARSSubAreas.push_back(&a);
         },
         "Waiting for route in manual sub-area", false},
        {"a conflicting route set", [](Line& f) { ASSERT_TRUE(f.l.D1D2->SetRoute()); },
         "Waiting for route to become available", false},
        {"the end of its path", [](Line& f) { f.train->PathEntries.Items.resize(1); },
         "Route set to end of path", false},
        {"off its path while ARS", [](Line& f) { f.train->PathPosition = -1; },
         "Route set off planned path", false},
        {"behind an automatic signal at danger",
         [](Line& f) {
             auto& items = f.train->PathEntries.Items;
             items[1].Item = f.l.S2S3;
             items[3].Item = f.l.S1S2;
             f.l.S2S3->Class = RcAutomatic;
             ASSERT_TRUE(f.l.S2S3->SetRoute());
         },
         "Approaching red automatic signal", false},
        {"TRTS not operated at its first stop",
         [](Line& f) {
             f.l.S1->TRTSX = 1;
             f.l.S1->TRTSY = 1;
             f.train->Timetable = std::make_unique<TTimetable>(*f.t, "1A01");
             f.train->Timetable->Trips.Items.resize(1);
             f.train->PathEntries.Items[0].Locations = {0};
         },
         "Waiting for TRTS", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Line f;
        c.make(f);
        f.Working();
        f.Working();
        EXPECT_EQ(f.Status(), c.status ? c.status : "Unknown");
        EXPECT_EQ(f.l.S1S2->RouteSet, c.set);
        EXPECT_EQ(f.ars().RoutesSet, c.set ? 1 : 0);
    }
}

// A station where ARS waits for time: the route out is not set until the booked
// departure less the location's allowance, and then it is.
TEST(ARSChoice, BookedDepartureHoldsTheRouteOutUntilItsTime) {
    Line f;
    TLOC& station = f.t->Locations.Create("STN");
    station.Name = "Station";
    station.ARSWaitsForTime = true;
    station.ARSAllowance = 30;
    f.train->Timetable = std::make_unique<TTimetable>(*f.t, "1A01");
    TTimetableTrip stop;
    stop.Location = &station;
    stop.ArrTime = 7 * 3600;
    stop.DepTime = 7 * 3600 + 120;
    f.train->Timetable->Trips.Items.push_back(stop);
    f.train->Timetable->Trips.Items.push_back(stop);  // not its first trip: no TRTS
    f.train->PathEntries.Items[0].Locations = {1};
    f.t->SimTime = 7 * 3600 + 60;
    f.Working();
    f.Working();
    EXPECT_EQ(f.Status(), "Waiting for booked 07:02");
    EXPECT_FALSE(f.l.S1S2->RouteSet);
    // Within the allowance of its time.
    f.t->SimTime = 7 * 3600 + 95;
    f.Working();
    f.Working();
    EXPECT_TRUE(f.l.S1S2->RouteSet);
    // A pass is never held for time.
    Line g;
    g.train->Timetable = std::make_unique<TTimetable>(*g.t, "1A01");
    stop.IsPass = true;
    g.train->Timetable->Trips.Items.push_back(stop);
    g.train->Timetable->Trips.Items.push_back(stop);
    g.train->PathEntries.Items[0].Locations = {1};
    g.t->SimTime = 7 * 3600;
    g.Working();
    g.Working();
    EXPECT_TRUE(g.l.S1S2->RouteSet);
}

// A route chosen in one cycle and set by the signaller (or made unavailable)
// before the next is not set again, nor counted as set by ARS.
TEST(ARSChoice, AChosenRouteIsSetOnlyIfItStillMayBe) {
    struct Case {
        const char* name;
        std::function<void(Line&)> between;
    };
    const Case cases[] = {
        {"set by the signaller", [](Line& f) { ASSERT_TRUE(f.l.S1S2->SetRoute()); }},
        {"no longer for ARS", [](Line& f) { f.l.S1S2->ARSAllowed = false; }},
        {"a conflicting route set", [](Line& f) { ASSERT_TRUE(f.l.D1D2->SetRoute()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Line f;
        f.Working();
        ASSERT_EQ(f.ars().RouteRequests.size(), 1u);
        c.between(f);
        f.Working();
        EXPECT_EQ(f.ars().RoutesSet, 0);
        EXPECT_FALSE(f.l.D1D2->RouteSet && f.l.S1S2->RouteSet);
    }
}

// A train held behind an automatic signal (at danger, or clearing but not yet proved)
// chooses no route at all that cycle: the area's route-choice hook is not asked. A
// train free to go is asked about.
TEST(ARSChoice, AHeldTrainChoosesNoRoute) {
    struct Case {
        const char* name;
        std::uint8_t aspect;
        bool held;
    };
    const Case cases[] = {
        {"free", AspDanger, false},
        {"automatic at danger", AspDanger, true},
        {"automatic clearing, not proved", AspSingleYellow, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Line f;
        int asked = 0;
        f.t->Hooks.ARSRouteChoiceHook = [&asked](TROU*&, TARSTrain&) { ++asked; };
        if (c.held) {
            auto& items = f.train->PathEntries.Items;
            items[1].Item = f.l.S2S3;
            items[3].Item = f.l.S1S2;
            f.l.S2S3->Class = RcAutomatic;
            ASSERT_TRUE(f.l.S2S3->SetRoute());
            f.l.S2->Aspect = c.aspect;
            f.l.S2->SetProceedAllowed(false);
        }
        f.Working();
        EXPECT_EQ(asked > 0, !c.held) << asked;
        f.t->Hooks.ARSRouteChoiceHook = nullptr;
    }
}

// A train described in the berth ahead, past a route already cleared: the train behind
// waits for it, naming it (the chain of waiting trains follows that name).
TEST(ARSChoice, ATrainInTheBerthAheadHoldsTheTrainBehind) {
    Line f;
    ASSERT_TRUE(f.l.S1S2->SetRoute());
    f.l.S1->SetProceedAllowed(true);
    f.b[1]->Interpose("2B02");
    f.Working();
    f.Working();
    EXPECT_EQ(f.Status(), "Train 2B02 in front");
    EXPECT_EQ(f.train->StatusTrain, f.ars().FindByBerth(f.b[1]));
    EXPECT_FALSE(f.l.S2S3->RouteSet);
    EXPECT_EQ(f.ars().RoutesSet, 0);
}

// The next route not available but its alternative is: the alternative is set instead.
TEST(ARSChoice, TheAlternativeIsSetWhenTheRouteIsNotAvailable) {
    Line f;
    f.l.S1S2->Alternative = f.l.S2S3;
    ASSERT_TRUE(f.l.D1D2->SetRoute());
    ASSERT_FALSE(f.l.S1S2->IsAvailableARS());
    f.Working();
    f.Working();
    EXPECT_TRUE(f.l.S2S3->RouteSet);
    EXPECT_EQ(f.ars().RoutesSet, 1);
}

// The next route not available, another route of the same signal to the same exit is:
// it stands in only when the route is one the train's berth offers ARS.
TEST(ARSChoice, ASameSignalTwinStandsInOnlyForARouteTheBerthOffers) {
    for (const bool offered : {true, false}) {
        SCOPED_TRACE(offered ? "offered" : "not offered");
        Line f;
        test::RailwayBuilder builder(*f.t);
        TROU& twin = builder.Route(*f.l.S1, *f.l.S2, {f.l.T1ab, f.l.T2ab});
        ASSERT_GE(f.l.S1->Routes.IndexOf(&twin), 0);
        if (offered) f.b[0]->ARSRoutes.Add(f.l.S1S2->ID, f.l.S1S2);
        const TROU* refused = f.l.S1S2;
        f.t->Hooks.RouteAvailableHook = [refused](TROU& r) { return &r != refused; };
        f.Working();
        f.Working();
        EXPECT_EQ(twin.RouteSet, offered);
        EXPECT_FALSE(f.l.S1S2->RouteSet);
        EXPECT_EQ(f.ars().RoutesSet, offered ? 1 : 0);
        f.t->Hooks.RouteAvailableHook = nullptr;
    }
}

// Two ARS trains wanting conflicting routes over the plain line: 1A01 in B0 for S1-S2,
// and a second train in B3 for D1-D2. Which goes first, and what the other shows.
TEST(ARSChoice, PriorityBetweenTwoTrains) {
    constexpr std::int32_t kNow = 10 * 3600;
    struct Case {
        const char* name;
        std::int32_t aDue, aLate;
        const char* b;  // the second train's description
        std::int32_t bDue, bLate, bCycles;
        std::function<void(Line&, TARSTrain&)> make;
        const char* set;     // the route set
        const char* status;  // 1A01's status, nullptr for no check
    };
    const auto none = [](Line&, TARSTrain&) {};
    const Case cases[] = {
        {"on time, 1A01 due first", kNow + 60, 0, "2B01", kNow + 120, 0, 0, none, "S1-S2", nullptr},
        {"on time, the other due first", kNow + 120, 0, "2B01", kNow + 60, 0, 0, none, "D1-D2",
         "Giving priority to 2B01"},
        {"the other not ARS", kNow + 120, 0, "2B01", kNow + 60, 0, 0,
         [](Line&, TARSTrain& b) { b.IsARS = false; }, "S1-S2", nullptr},
        {"the other's path untimed", kNow + 120, 0, "2B01", 0, 0, 0, none, "S1-S2", nullptr},
        {"an alternative clear of the other", kNow + 120, 0, "2B01", kNow + 60, 0, 0,
         [](Line& f, TARSTrain&) { f.l.S1S2->Alternative = f.l.S2S3; }, "S2-S3 D1-D2", nullptr},
        // Off time: the one expected first by more than two minutes goes first, whatever
        // the weights say.
        {"1A01 early, the other late and expected first", kNow + 600, -6, "8B01", kNow - 300, 10, 0,
         none, "D1-D2", "Giving priority to 8B01"},
        {"1A01 late and expected first, the other early and heavy", kNow - 300, 10, "1B01",
         kNow + 600, -6, 200, none, "S1-S2", nullptr},
        // Expected together: the heavier goes first.
        {"both late, the other heavier", kNow - 150, 5, "1B01", kNow - 150, 5, 130, none, "D1-D2",
         "Giving priority to 1B01"},
        {"both late, 1A01 heavier", kNow - 150, 5, "2B01", kNow - 150, 5, 0, none, "S1-S2",
         nullptr},
        // The other already stands on the route's track: 1A01 waits for it there.
        {"the other on the stretch", kNow + 120, 0, "2B01", kNow + 60, 0, 0,
         [](Line& f, TARSTrain&) { f.l.S1S2->Berths.Add(f.b[3]->ID, f.b[3]); }, "D1-D2",
         "2B01 already on stretch"},
        // 1A01 stands on the other's path ahead of it: it must go first to clear the way.
        {"1A01 in the other's way", kNow + 120, 0, "2B01", kNow + 60, 0, 0,
         [](Line& f, TARSTrain& b) {
             b.PathEntries.Items.emplace_back();
             b.PathEntries.Items.back().Item = f.b[0];
         },
         "S1-S2", nullptr},
    };
    // Each case twice: with the routes numbered as the built area numbers them, when
    // the walk is skipped for a train none of whose routes conflicts with the candidate,
    // and without numbers, when every train's path is walked.
    for (const bool numbered : {false, true})
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (numbered ? ", numbered" : ""));
        Line f;
        f.t->SimTime = kNow;
        if (numbered) {
            f.l.S1S2->ARSIndex = 0;
            f.l.S2S3->ARSIndex = 1;
            f.l.D1D2->ARSIndex = 70;  // in the second word of the bits
        }
        f.l.S1S2->ConflictingRoutes.Add(f.l.D1D2->ID, f.l.D1D2);
        f.l.D1D2->ConflictingRoutes.Add(f.l.S1S2->ID, f.l.S1S2);
        TARSTrain* other = f.Other(c.b, f.l.D1D2, c.bDue);
        ASSERT_NE(other, nullptr);
        other->Lateness = c.bLate;
        other->CyclesSinceStep = c.bCycles;
        f.train->PathEntries.Items[0].DueTime = c.aDue;
        f.train->Lateness = c.aLate;
        c.make(f, *other);
        f.Working();
        const std::string status = f.Status();
        f.Working();
        std::string set;
        for (const TROU* r : {f.l.S1S2, f.l.S2S3, f.l.D1D2})
            if (r->RouteSet) set += (set.empty() ? "" : " ") + r->ID;
        EXPECT_EQ(set, c.set);
        if (c.status) {
            EXPECT_EQ(status, c.status);
        }
    }
}

// A train held short of the route it wants next is still waited for while the only
// thing on that route is a train running off it; a train standing there, or a circuit
// showing occupied with no train on it, may not clear, and then the other goes.
TEST(ARSChoice, AHeldTrainIsWaitedForOnlyWhileWhatBlocksItIsRunning) {
    constexpr std::int32_t kNow = 10 * 3600;
    struct Case {
        const char* name;
        int trains;    // trains on the blocked route's far circuit: 0 or 1
        double speed;  // that train's speed, metres a second
        const char* set;
        const char* status;
    };
    const Case cases[] = {
        {"a train running over it", 1, 20.0, "", "Giving priority to 2B01"},
        {"a train standing on it", 1, 0.0, "S1-S2", "Waiting for route to prove"},
        {"occupied with no train on it", 0, 0.0, "S1-S2", "Waiting for route to prove"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Line f;
        f.t->SimTime = kNow;
        // 2B01, due first, wants S2-S3 next, counted as conflicting with 1A01's S1-S2;
        // S2-S3's last circuit is occupied, so 2B01 is held short of it.
        f.l.S1S2->ConflictingRoutes.Add(f.l.S2S3->ID, f.l.S2S3);
        f.l.S2S3->ConflictingRoutes.Add(f.l.S1S2->ID, f.l.S1S2);
        TARSTrain* other = f.Other("2B01", f.l.S2S3, kNow + 60);
        ASSERT_NE(other, nullptr);
        f.train->PathEntries.Items[0].DueTime = kNow + 120;
        f.l.T4->Occupy();
        if (c.trains > 0) {
            TTRN& blocking = f.t->Trains.Create("6X01");
            blocking.Occupied.push_back(f.l.T4ab);
            blocking.Speed = c.speed;
        }
        for (int i = 0; i < 3; ++i) f.Working();
        EXPECT_EQ(f.Status(), c.status);
        EXPECT_EQ(f.ars().StatusTextOf(*other), "Waiting for route to become available");
        std::string set;
        for (const TROU* r : {f.l.S1S2, f.l.S2S3})
            if (r->RouteSet) set += (set.empty() ? "" : " ") + r->ID;
        EXPECT_EQ(set, c.set);
    }
}

// The priority rule walks the other train's path and asks the routes' conflicts afresh
// each working cycle: a change to either between cycles decides the next one. The other
// train's route is never available here, so it keeps wanting it.
TEST(ARSChoice, PriorityFollowsChangesToTheOtherPathAndTheConflicts) {
    constexpr std::int32_t kNow = 10 * 3600;
    struct Case {
        const char* name;
        std::function<void(Line&, TARSTrain&)> change;
    };
    const Case cases[] = {
        {"the conflicts removed",
         [](Line& f, TARSTrain&) {
             f.l.S1S2->ConflictingRoutes.Clear();
             f.l.D1D2->ConflictingRoutes.Clear();
         }},
        {"the other's route taken off its path",
         [](Line& f, TARSTrain& b) { b.PathEntries.Items[1].Item = f.b[2]; }},
        {"the other due later", [](Line&, TARSTrain& b) { b.PathEntries.Items[0].DueTime += 600; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Line f;
        f.t->SimTime = kNow;
        f.l.S1S2->ConflictingRoutes.Add(f.l.D1D2->ID, f.l.D1D2);
        f.l.D1D2->ConflictingRoutes.Add(f.l.S1S2->ID, f.l.S1S2);
        const TROU* refused = f.l.D1D2;
        f.t->Hooks.RouteAvailableHook = [refused](TROU& r) { return &r != refused; };
        TARSTrain* other = f.Other("2B01", f.l.D1D2, kNow + 60);
        ASSERT_NE(other, nullptr);
        f.train->PathEntries.Items[0].DueTime = kNow + 120;
        f.Working();
        f.Working();
        EXPECT_EQ(f.Status(), "Giving priority to 2B01");
        EXPECT_FALSE(f.l.S1S2->RouteSet);
        c.change(f, *other);
        f.Working();
        f.Working();
        EXPECT_TRUE(f.l.S1S2->RouteSet);
        f.t->Hooks.RouteAvailableHook = nullptr;
    }
}

}  // namespace
}  // namespace kestra
