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
    for (int seed = 1; seed <= 2; ++seed) {
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

// The closure timetable, one seed: no stage error, no invariant broken, nothing
// routed off its path, and no train left standing for ten minutes at a red signal.
TEST(ARSEndToEnd, TheClosureTimetableRunsUnderARS) {
    for (const char* name : {"tunnel"}) {
        SCOPED_TRACE(name);
        const ARSRun run = RunUnderARS(name, 1);
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

}  // namespace
}  // namespace kestra
