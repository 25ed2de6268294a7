// The shipped timetables run headless with ARS switched on everywhere and no command at
// all: every train that entered leaves the area or ends its working in it, nothing
// stands long at a red signal, no cycle stage raised an error, and the interlocking,
// train and ARS invariants hold after every cycle.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "area/area_builder.h"
#include "ars/ars_subarea.h"
#include "ars/ars_train.h"
#include "core/time_format.h"
#include "fakes/ars_invariants.h"
#include "fakes/golden.h"
#include "fakes/invariant_harness.h"
#include "interlocking/route.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_text.h"
#include "trains/berth.h"

namespace kestra {
namespace {

const std::string kDataDir = std::string(KESTRA_SOURCE_DIR) + "/data/VLM/";

// The shipped timetable's text compiled to a WTT file; its finish time in finish.
bool Compile(const std::string& name, const std::string& wtt, std::int32_t& finish,
             std::string& error) {
    std::ifstream in(kDataDir + name + ".txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    Sim sim;
    area::BuildArea(sim);
    if (!ImportTimetableText(sim, text.str(), error)) return false;
    finish = sim.Timetable.FinishTime;
    return SaveTimetableFile(sim, wtt);
}

// The value of a summary line ("name N"), -1 when missing.
long SummaryValue(const std::string& out, const std::string& name) {
    const std::string key = "\n" + name + " ";
    const auto at = out.find(key);
    if (at == std::string::npos) return -1;
    return std::stol(out.substr(at + key.size()));
}

struct ARSRun {
    std::string out, err;
    std::vector<std::string> broken;
    int status = -1;
};

// The timetable under ARS from its start to an hour past its finish, or to until when
// given; watch, when given, looks at the simulation after every cycle.
ARSRun RunUnderARS(
    const std::string& name, int seed, const std::string& until = {},
    const std::function<void(Sim&)>& watch = {}, const std::vector<std::string>& extra = {},
    const std::function<void(Sim&, std::vector<runner::HeadlessCommand>&)>& before = {}) {
    ARSRun run;
    const std::string wtt = ::testing::TempDir() + "kestra_ars_" + name + ".wtt";
    std::int32_t finish = 0;
    std::string error;
    if (!Compile(name, wtt, finish, error)) {
        run.err = "cannot compile " + name + ": " + error;
        return run;
    }
    runner::HeadlessOptions o;
    std::string parseError;
    std::vector<std::string> args = {
        "--timetable", wtt,
        "--ars",       "all",
        "--seed",      std::to_string(seed),
        "--until",     until.empty() ? FormatClock(finish + 3600).substr(0, 5) : until,
        "--log",       "--past-finish"};
    args.insert(args.end(), extra.begin(), extra.end());
    if (!runner::ParseHeadlessArgs(args, o, parseError)) {
        run.err = parseError;
        return run;
    }
    test::InvariantHarness harness({.ARS = true});
    if (before) o.BeforeCycle = before;
    if (watch) o.EachCycle = watch;
    harness.Attach(o);
    std::ostringstream out, err;
    run.status = runner::RunHeadless(o, out, err);
    run.out = out.str();
    run.err = err.str();
    run.broken = harness.Broken();
    return run;
}

TEST(ARSEndToEnd, TheBeginnersTimetableRunsItselfUnderARS) {
    for (int seed = 1; seed <= 5; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const ARSRun run = RunUnderARS("beginner", seed);
        ASSERT_EQ(run.status, 0) << run.err;
        for (const std::string& b : run.broken) ADD_FAILURE() << b;
        const long entered = SummaryValue(run.out, "trains_entered");
        const long left = SummaryValue(run.out, "trains_left");
        const long inArea = SummaryValue(run.out, "trains_in_area");
        EXPECT_GT(entered, 0) << run.out;
        EXPECT_GT(SummaryValue(run.out, "ars_routes_set"), 0);
        EXPECT_EQ(SummaryValue(run.out, "errors_caught"), 0);
        EXPECT_LT(SummaryValue(run.out, "longest_wait_at_red"), 600);
        // The beginner's trains all run through: none divides, joins or ends here.
        EXPECT_EQ(left, entered);
        EXPECT_EQ(inArea, 0);
        EXPECT_EQ(run.out.find("ROUTED OFF PLANNED PATH"), std::string::npos);
        std::cout << "seed " << seed << ": entered " << entered << ", left " << left << ", in area "
                  << inArea << "\n";
    }
}

// The closure timetable, seeds 1 to 5: no stage error, no invariant broken, nothing
// routed off its path, and no train left standing for ten minutes at a red signal.
TEST(ARSEndToEnd, TheClosureTimetableRunsUnderARS) {
    const char* name = "tunnel";
    for (int seed = 1; seed <= 5; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const ARSRun run = RunUnderARS(name, seed);
        ASSERT_EQ(run.status, 0) << run.err;
        for (const std::string& b : run.broken) ADD_FAILURE() << b;
        EXPECT_EQ(SummaryValue(run.out, "errors_caught"), 0);
        EXPECT_GT(SummaryValue(run.out, "ars_routes_set"), 0);
        EXPECT_LT(SummaryValue(run.out, "longest_wait_at_red"), 600);
        EXPECT_EQ(run.out.find("ROUTED OFF PLANNED PATH"), std::string::npos);
        EXPECT_EQ(SummaryValue(run.out, "trains_left"), SummaryValue(run.out, "trains_entered"));
        std::cout << name << ": entered " << SummaryValue(run.out, "trains_entered") << ", left "
                  << SummaryValue(run.out, "trains_left") << ", in area "
                  << SummaryValue(run.out, "trains_in_area") << ", longest wait at red "
                  << SummaryValue(run.out, "longest_wait_at_red") << "\n";
    }
}

// The standard day's first join at Vellmoor Central, described by ARS alone: 2J01
// stands in platform 4, 1J01 is called on behind it and described in the platform's
// other berth, still on its planned path, and code insertion takes 2J01's description
// off once both stand there.
TEST(ARSEndToEnd, AJoinIsDescribedAutomatically) {
    bool calledOn = false, joined = false;
    std::string seen;
    const ARSRun run = RunUnderARS("standard", 1, "07:00", [&](Sim& sim) {
        const TARSTrain* t = sim.ARSTrains().FindByDescription("1J01");
        if (!t || !t->Berth) return;
        bool atCentral = false;
        for (int i = 0; i < t->Berth->Locations.Count(); ++i)
            atCentral = atCentral || t->Berth->Locations.At(i)->ID == "VLMC";
        if (!atCentral) return;
        bool partnerShown = false;
        sim.Berths.ForEach(
            [&](const TBER& b) { partnerShown = partnerShown || b.Description == "2J01"; });
        if (partnerShown && t->IsARS && t->StepKind == 2) calledOn = true;
        if (calledOn && !partnerShown && t->IsARS && t->OnPlannedPath) joined = true;
        seen = sim.FormatSimTime() + " " + t->Berth->ID + " " + sim.ARSTrains().StatusTextOf(*t);
    });
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& b : run.broken) ADD_FAILURE() << b;
    EXPECT_EQ(SummaryValue(run.out, "errors_caught"), 0);
    EXPECT_TRUE(calledOn) << "1J01 never described in platform 4 beside 2J01; last seen " << seen;
    EXPECT_TRUE(joined) << "2J01's description never taken off; last seen " << seen;
    EXPECT_EQ(run.out.find("1J01 ROUTED OFF"), std::string::npos);
}

// The beginner's day under ARS alone, seed 1, from its start to an hour past its finish:
// log, summary and digest are stored like the other golden runs, so any change in what
// ARS sets, or when, shows up as a difference (KESTRA_UPDATE_GOLDEN=1 rewrites it).
TEST(HeadlessGolden, TheBeginnersDayUnderARSMatchesTheStoredResult) {
    const ARSRun run = RunUnderARS("beginner", 1, {}, {}, {"--digest"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& b : run.broken) ADD_FAILURE() << b;
    EXPECT_EQ(SummaryValue(run.out, "errors_caught"), 0);
    test::ExpectMatchesStored(run.out + "--- refusals\n" + run.err,
                              std::string(KESTRA_SOURCE_DIR) + "/tests/golden/beginner_ars.out");
}

// The signaller cancels the furthest route ARS has set ahead of a train in the
// beginner's day: once the cancel is carried out the train is non-ARS and stays so,
// the route's sub-areas drop out of effect (and flash), and both messages are shown.
TEST(ARSEndToEnd, ACancelledRouteAheadMakesTheTrainNonARS) {
    std::string description, signal;
    TROU* cancelled = nullptr;
    bool cancelDone = false, checked = false;
    const auto before = [&](Sim& sim, std::vector<runner::HeadlessCommand>& commands) {
        if (cancelled) return;
        sim.ARSTrains().ForEach([&](TARSTrain& t) {
            if (cancelled || !t.IsARS) return;
            TROU* furthest = nullptr;
            int routes = 0;
            for (TSSIObject* o : t.SecuredAhead) {
                if (!o || o->Kind != KindRoute) continue;
                ++routes;
                auto* r = static_cast<TROU*>(o);
                if (r->Class != RcAutomatic && !r->ARSSubAreas.empty()) furthest = r;
            }
            if (routes < 2 || !furthest || furthest == t.SecuredAhead.front()) return;
            cancelled = furthest;
            description = t.Description;
            signal = furthest->Entrance->ID;
            commands.push_back({0, sim.SimTime, "cancel", {signal}});
        });
    };
    const auto watch = [&](Sim& sim) {
        if (!cancelled || checked) return;
        if (!cancelDone) {
            if (cancelled->RouteSet) return;
            cancelDone = true;
            const TARSTrain* t = sim.ARSTrains().FindByDescription(description);
            ASSERT_NE(t, nullptr) << description;
            EXPECT_FALSE(t->IsARS);
            EXPECT_FALSE(t->ARSEnabled);
            for (ARSSubAreaLink* link : cancelled->ARSSubAreas) {
                const auto* a = dynamic_cast<const TARS*>(link);
                ASSERT_NE(a, nullptr);
                EXPECT_TRUE(a->Selected) << a->Label;
                EXPECT_FALSE(a->InEffect) << a->Label << " still in effect";
            }
            return;
        }
        // A minute on: the train is still non-ARS and shows so.
        const TARSTrain* t = sim.ARSTrains().FindByDescription(description);
        if (!t) {
            checked = true;
            return;
        }
        if (sim.SimTime % 60 != 0) return;
        EXPECT_FALSE(t->IsARS);
        EXPECT_EQ(sim.ARSTrains().StatusTextOf(*t), "Non-ARS");
        checked = true;
    };
    const ARSRun run = RunUnderARS("beginner", 1, "08:00", watch, {}, before);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_NE(cancelled, nullptr) << "no train had two routes set ahead";
    EXPECT_TRUE(cancelDone) << "the cancel of " << signal << " was never carried out";
    EXPECT_TRUE(checked);
    for (const std::string& b : run.broken) ADD_FAILURE() << b;
    EXPECT_NE(run.out.find("ROUTE CANCELLED FOR " + description + " - MADE NON-ARS"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("ARS SUBAREA(S) CANCELLED DUE TO ROUTE CANCEL"), std::string::npos);
    EXPECT_EQ(SummaryValue(run.out, "errors_caught"), 0);
}

// With every sub-area switched off ARS still knows its trains but sets no route at all,
// nor chooses one to set: the signaller has the whole area.
TEST(ARSEndToEnd, NoRouteIsSetInASubAreaSwitchedOff) {
    std::vector<std::string> chosen;
    const auto watch = [&](Sim& sim) {
        for (const TROU* r : sim.ARSTrains().RouteRequests)
            if (!r->SubAreasInEffect() && chosen.size() < 5)
                chosen.push_back(sim.FormatSimTime() + " " + r->ID);
    };
    const ARSRun run = RunUnderARS("beginner", 1, "08:00", watch, {"--ars", "none"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_GT(SummaryValue(run.out, "trains_entered"), 0);
    EXPECT_EQ(SummaryValue(run.out, "ars_routes_set"), 0);
    for (const std::string& c : chosen) ADD_FAILURE() << "chosen in a sub-area off: " << c;
    EXPECT_EQ(SummaryValue(run.out, "errors_caught"), 0);
}

// A route ARS chose is set a cycle later; a sub-area switched off in between (by the
// signaller's click or a client's request) must stop it.
TEST(ARSEndToEnd, ARouteChosenBeforeItsSubAreaIsSwitchedOffIsNotSet) {
    TROU* queued = nullptr;
    std::string id;
    std::string setAt;
    const auto watch = [&](Sim& sim) {
        if (queued) {
            if (queued->RouteSet && setAt.empty()) setAt = sim.FormatSimTime();
            return;
        }
        const auto& requests = sim.ARSTrains().RouteRequests;
        if (requests.empty()) return;
        queued = requests.front();
        id = queued->ID;
        for (ARSSubAreaLink* a : queued->ARSSubAreas) a->SetInactive();
    };
    const ARSRun run = RunUnderARS("beginner", 1, "07:30", watch, {});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_NE(queued, nullptr) << "ARS chose no route to switch off under";
    EXPECT_TRUE(setAt.empty()) << "route " << id << " set at " << setAt
                               << " with its sub-area switched off";
    EXPECT_EQ(SummaryValue(run.out, "errors_caught"), 0);
}

// The standard day under ARS alone, seeds 1 to 5, from 06:00 to an hour past its
// finish: portions divide and join at Central, freights wait in the goods loop and cross
// the main lines, branch trains turn back in the bay. Every train that entered leaves
// the area or ends its working in it (one joins another), none stands ten minutes at a
// red signal, nothing is routed off its path, and every invariant holds every cycle.
TEST(ARSEndToEnd, TheStandardDayRunsItselfUnderARS) {
    for (int seed = 1; seed <= 5; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const ARSRun run = RunUnderARS("standard", seed);
        ASSERT_EQ(run.status, 0) << run.err;
        for (const std::string& b : run.broken) ADD_FAILURE() << b;
        const long entered = SummaryValue(run.out, "trains_entered");
        EXPECT_GT(entered, 80) << run.out;
        EXPECT_EQ(SummaryValue(run.out, "trains_in_area"), 0) << run.out;
        EXPECT_EQ(SummaryValue(run.out, "errors_caught"), 0);
        EXPECT_LT(SummaryValue(run.out, "longest_wait_at_red"), 600);
        // Neither routed off nor described off its path on entering or dividing.
        EXPECT_EQ(run.out.find("OFF PLANNED PATH"), std::string::npos);
    }
}

// A freight from the yard runs wrong road through Central's platform 3 without stopping:
// its first timetabled place is Central, but it does not start its working there, so ARS
// does not wait for a train ready to start plunger that no one will press. (Waiting for
// it held the freight at the platform starter for good.)
TEST(ARSEndToEnd, AFreightPassingThePlatformItEntersByDoesNotWaitForTheReadyPlunger) {
    const std::string text =
        "name Yard freight\nstart 06:00\nfinish 07:00\n"
        "category FREIGHT accel 1 speed 60 length 400 power diesel freight desc Freight\n"
        "train 6E01 FREIGHT OSTYD 06:05\n"
        "  VLMC   -     06:13 pass plat 3 line DG\n"
        "  HRNF   -     06:19 pass plat 1 line DM\n"
        "  HRNFE  -     06:20 pass line DM\n";
    Sim compile;
    area::BuildArea(compile);
    std::string error;
    ASSERT_TRUE(ImportTimetableText(compile, text, error)) << error;
    const std::string wtt = ::testing::TempDir() + "kestra_ars_yard_freight.wtt";
    ASSERT_TRUE(SaveTimetableFile(compile, wtt));
    // Central's sub-area is off until 06:20: the signaller brings the freight into
    // platform 3, where it comes to a stand at the starter, then switches ARS on there.
    const std::string commands = ::testing::TempDir() + "kestra_ars_yard_freight.cmd";
    std::ofstream(commands) << "06:12:00 route SVM7 SVM17\n06:20:00 click 104 14 left\n";
    runner::HeadlessOptions o;
    ASSERT_TRUE(runner::ParseHeadlessArgs({"--timetable", wtt, "--ars",
                                           "OSTWICK,GOODS LOOP YARD DEPOT,SKELBROOK,HARNFORTH",
                                           "--seed", "1", "--until", "07:00", "--log",
                                           "--past-finish", "--commands", commands},
                                          o, error))
        << error;
    bool stoodAtTheStarter = false;
    std::string heldFor;
    o.EachCycle = [&](Sim& sim) {
        sim.ARSTrains().ForEach([&](TARSTrain& t) {
            if (t.Berth && t.Berth->ID == "B17" && sim.FormatSimTime() == "06:19:00")
                stoodAtTheStarter = true;
            if (t.Status == StWaitingTRTS && heldFor.empty())
                heldFor = sim.FormatSimTime() + " " + t.Description + " at " +
                          (t.Berth ? t.Berth->ID : std::string("?"));
        });
    };
    std::ostringstream out, err;
    ASSERT_EQ(runner::RunHeadless(o, out, err), 0) << err.str();
    EXPECT_TRUE(stoodAtTheStarter) << out.str() << err.str();
    EXPECT_TRUE(heldFor.empty()) << "held for the plunger: " << heldFor;
    EXPECT_EQ(SummaryValue(out.str(), "trains_left"), 1) << out.str();
    EXPECT_EQ(SummaryValue(out.str(), "errors_caught"), 0);
}

// Standard day, seed 16, to 08:30: a freight at Central's platform starter was held for
// a train whose own way was blocked by the trains behind it, and the station locked up.
// No train is held for one that cannot move.
TEST(ARSEndToEnd, NoTrainIsHeldForOneThatCannotMove) {
    const ARSRun run = RunUnderARS("standard", 16, "08:30");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& b : run.broken) ADD_FAILURE() << b;
    EXPECT_LT(SummaryValue(run.out, "longest_wait_at_red"), 600) << run.out;
    EXPECT_LT(SummaryValue(run.out, "trains_in_area"), 12) << run.out;
    EXPECT_EQ(SummaryValue(run.out, "errors_caught"), 0);
}

}  // namespace
}  // namespace kestra
