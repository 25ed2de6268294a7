// Scripted ARS cases on the built-in area, run headless: two trains converging on
// Skelbrook Junction from the branch and from the tunnel, each held at the junction
// until both stand there (the Skelbrook sub-area is switched on only then), so that ARS
// decides between two waiting trains. The train due first goes first and the other
// gives way and follows; two trains each giving way to the other do not both wait.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "area/area_builder.h"
#include "ars/ars_subarea.h"
#include "ars/ars_train.h"
#include "core/time_format.h"
#include "fakes/ars_invariants.h"
#include "fakes/interlocking_invariants.h"
#include "fakes/train_invariants.h"
#include "places/location.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_text.h"
#include "trains/berth.h"
#include "trains/train.h"

namespace kestra {
namespace {

const char* const kOthers =
    "OSTWICK,GOODS LOOP YARD DEPOT,VELLMOOR CENTRAL,HARNFORTH,TARROW BRANCH";

struct ScriptedRun {
    std::string out, err;
    std::vector<std::string> broken;
    int status = -1;
};

// The timetable text run headless from its start to until, ARS on everywhere but at
// Skelbrook, no entry delays; watch sees the simulation after every cycle, with the
// interlocking, train and ARS invariants checked first.
ScriptedRun RunText(const std::string& text, const std::string& until,
                    const std::function<void(Sim&)>& watch) {
    ScriptedRun run;
    const std::string wtt = ::testing::TempDir() + "kestra_ars_scripted.wtt";
    {
        Sim sim;
        area::BuildArea(sim);
        std::string error;
        if (!ImportTimetableText(sim, text, error) || !SaveTimetableFile(sim, wtt)) {
            run.err = "cannot compile the timetable: " + error;
            return run;
        }
    }
    runner::HeadlessOptions o;
    std::string parseError;
    const std::vector<std::string> args = {
        "--timetable", wtt,       "--ars", kOthers, "--seed",
        "1",           "--until", until,   "--log", "--no-entry-delays"};
    if (!runner::ParseHeadlessArgs(args, o, parseError)) {
        run.err = parseError;
        return run;
    }
    std::unique_ptr<test::InterlockingInvariants> interlocking;
    std::unique_ptr<test::TrainInvariants> trains;
    std::vector<std::string> found;
    o.AfterRun = [&](Sim&) {
        trains.reset();
        interlocking.reset();
    };
    o.EachCycle = [&](Sim& sim) {
        if (!interlocking) {
            interlocking = std::make_unique<test::InterlockingInvariants>(sim);
            trains = std::make_unique<test::TrainInvariants>(sim);
        }
        if (run.broken.size() < 20) {
            if (!interlocking->CheckInto(found))
                for (auto& f : found) run.broken.push_back(sim.FormatSimTime() + " " + f);
            if (!trains->CheckInto(found))
                for (auto& f : found) run.broken.push_back(sim.FormatSimTime() + " " + f);
            for (auto& f : test::CheckARS(sim)) run.broken.push_back(sim.FormatSimTime() + " " + f);
        }
        watch(sim);
    };
    std::ostringstream out, err;
    run.status = runner::RunHeadless(o, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

long SummaryValue(const std::string& out, const std::string& name) {
    const std::string key = "\n" + name + " ";
    const auto at = out.find(key);
    if (at == std::string::npos) return -1;
    return std::stol(out.substr(at + key.size()));
}

// An Up branch train from Tarrow and an Up main train from the east, both calling at
// Vellmoor Central (the main one runs on west); entry times and their arrivals at
// Central as "HH:MM" or "HH:MM:SS" are given.
std::string Timetable(const std::string& branchEntry, const std::string& quillby,
                      const std::string& branchAt, const std::string& mainEntry,
                      const std::string& harnforth, const std::string& mainAt) {
    std::ostringstream s;
    s << "name Skelbrook\ndescription Two trains for the junction\nstart 07:00\nfinish 08:00\n\n"
      << "category BRANCH accel 3 speed 60 length 40 power diesel desc Branch\n"
      << "category STOP accel 3 speed 75 length 80 power diesel desc Stopping\n\n"
      << "train 2A01 BRANCH TARROW " << branchEntry << "\n"
      << "  QLBY   -     " << quillby << " pass plat 2 line UB\n"
      << "  VLMC   " << branchAt << " -     plat 5 line UB\n\n"
      << "train 2B01 STOP EAST " << mainEntry << "\n"
      << "  HRNF   -     " << harnforth << " pass plat 2 line UM\n"
      << "  VLMC   " << mainAt << " -     plat 3 line UM\n";
    return s.str();
}

// The branch train due first at the junction, then the main one.
const std::string kSkelbrook[] = {
    Timetable("07:00", "07:04", "07:14", "07:04", "07:07", "07:14"),
    Timetable("07:00", "07:04", "07:17", "07:04", "07:07", "07:14"),
};

struct Watch {
    bool switched = false;
    std::string switchedAt, firstAtCentral, gaveWay, detail;
    std::int32_t switchTime = 0, firstRouteAfter = -1;
    std::int64_t routesBefore = 0;
    std::map<std::string, bool> atCentral;
    std::map<std::string, std::int32_t> dueAtGate, latenessAtGate;
};

bool Standing(Sim& sim, const std::string& headcode) {
    bool standing = false;
    sim.Trains.ForEach([&](TTRN& t) {
        if (t.ID == headcode && t.Speed == 0) standing = true;
    });
    return standing;
}

bool AtCentral(const TARSTrain& t) {
    if (!t.Berth) return false;
    for (int i = 0; i < t.Berth->Locations.Count(); ++i)
        if (t.Berth->Locations.At(i)->ID == "VLMC") return true;
    return false;
}

// Holds both trains at the junction until both stand there waiting for Skelbrook, then
// lets prepare change them and switches the sub-area on; afterwards notes the order in
// which they reach Central and which gave way to which.
std::function<void(Sim&)> Junction(Watch& w,
                                   const std::function<void(TARSTrain&, TARSTrain&)>& prepare) {
    return [&w, prepare](Sim& sim) {
        TARSTrainList& list = sim.ARSTrains();
        TARSTrain* a = list.FindByDescription("2A01");
        TARSTrain* b = list.FindByDescription("2B01");
        if (!w.switched) {
            if (!a || !b) return;
            w.detail = sim.FormatSimTime() + " 2A01 " + list.StatusTextOf(*a) + ", 2B01 " +
                       list.StatusTextOf(*b);
            // Each waits for Skelbrook, or gives way to the other (which waits for it).
            const auto waiting = [](const TARSTrain& t) {
                return t.Status == StManualSubArea || t.Status == StGivingPriority;
            };
            if (!waiting(*a) || !waiting(*b)) return;
            if (!Standing(sim, "2A01") || !Standing(sim, "2B01")) return;
            if (a->PathPosition < 0 || b->PathPosition < 0) return;
            if (prepare) prepare(*a, *b);
            for (TARSTrain* t : {a, b}) {
                w.dueAtGate[t->Description] = t->PathEntries.Items[t->PathPosition].DueTime;
                w.latenessAtGate[t->Description] = t->Lateness;
            }
            w.routesBefore = list.RoutesSet;
            w.switchTime = sim.SimTime;
            w.switchedAt = sim.FormatSimTime();
            sim.ARSSubAreas.ForEach([](TARS& s) {
                if (s.Label == "SKELBROOK") s.SetSelected(true);
            });
            w.switched = true;
            return;
        }
        if (w.firstRouteAfter < 0 && list.RoutesSet > w.routesBefore)
            w.firstRouteAfter = sim.SimTime - w.switchTime;
        for (TARSTrain* t : {a, b}) {
            if (!t) continue;
            if (t->Status == StGivingPriority && w.gaveWay.empty())
                w.gaveWay = t->Description + " " + list.StatusTextOf(*t);
            if (AtCentral(*t) && !w.atCentral[t->Description]) {
                w.atCentral[t->Description] = true;
                if (w.firstAtCentral.empty()) w.firstAtCentral = t->Description;
            }
        }
    };
}

// Both trains stand at the junction, each within a minute and a half of time: the one
// due first at the junction goes first, whichever reaches the junction first and
// whichever ARS looks at first; the other gives way to it and then follows.
TEST(ARSScripted, TheTrainDueFirstGoesFirstAtSkelbrook) {
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"branch due first", kSkelbrook[0]},
        {"main due first", kSkelbrook[1]},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Watch w;
        const ScriptedRun run = RunText(c.text, "07:40", Junction(w, {}));
        ASSERT_EQ(run.status, 0) << run.err;
        for (const std::string& b : run.broken) ADD_FAILURE() << b;
        EXPECT_EQ(SummaryValue(run.out, "errors_caught"), 0);
        ASSERT_TRUE(w.switched) << "the two trains never both stood at the junction; " << w.detail;
        const std::int32_t dueA = w.dueAtGate["2A01"], dueB = w.dueAtGate["2B01"];
        ASSERT_NE(dueA, dueB);
        for (const auto& [d, lateness] : w.latenessAtGate) {
            EXPECT_GE(lateness, -3) << d << " at " << w.switchedAt;
            EXPECT_LE(lateness, 3) << d << " at " << w.switchedAt;
        }
        const std::string first = dueA < dueB ? "2A01" : "2B01";
        const std::string second = dueA < dueB ? "2B01" : "2A01";
        EXPECT_EQ(w.firstAtCentral, first) << "switched on at " << w.switchedAt;
        EXPECT_EQ(w.gaveWay, second + " Giving priority to " + first);
        EXPECT_TRUE(w.atCentral[second]) << second << " never followed";
    }
}

// Two trains equally late, of one class, due at the same time and waiting as long:
// each finds the other first. The first to decide gives way; the second finds the
// chain of trains waiting for each other circular and goes, at once.
TEST(ARSScripted, ACircularWaitingChainResolves) {
    Watch w;
    const std::string text = kSkelbrook[0];
    const ScriptedRun run = RunText(text, "07:40", [&](Sim& sim) {
        // Both due at the junction three minutes ago (six half-minutes late), neither
        // having waited longer than the other.
        const std::int32_t due = sim.SimTime - 180;
        Junction(w, [due](TARSTrain& a, TARSTrain& b) {
            for (TARSTrain* t : {&a, &b}) {
                const int upTo = std::max(t->PathPosition, t->SecuredTo);
                for (int k = 0; k <= upTo && k < t->PathEntries.Count(); ++k) {
                    std::int32_t& d = t->PathEntries.Items[static_cast<std::size_t>(k)].DueTime;
                    if (d > due || k == t->PathPosition) d = due;
                }
                t->Lateness = 6;
                t->CyclesSinceStep = 0;
            }
        })(sim);
    });
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& b : run.broken) ADD_FAILURE() << b;
    EXPECT_EQ(SummaryValue(run.out, "errors_caught"), 0);
    ASSERT_TRUE(w.switched) << "the two trains never both stood at the junction; " << w.detail;
    EXPECT_FALSE(w.gaveWay.empty()) << "neither gave way: no tie was made";
    EXPECT_GE(w.firstRouteAfter, 0) << "no route set at the junction: both still waiting";
    EXPECT_LE(w.firstRouteAfter, 10) << "the junction stood idle " << w.firstRouteAfter << " s";
    EXPECT_TRUE(w.atCentral["2A01"]);
    EXPECT_TRUE(w.atCentral["2B01"]);
}

}  // namespace
}  // namespace kestra
