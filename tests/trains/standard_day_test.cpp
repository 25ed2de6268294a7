// The standard day end to end on the built-in area, run headless from the timetable's
// start at 06:00 to 07:15: a stored commands file (tests/golden/standard_day.cmd) sets
// the routes, as a scripted signaller working the trains along their paths set them.
// The stretch holds a branch train turned back in the bay as its next service, a fast
// train divided at Vellmoor Central with its rear portion going down the branch, a
// branch train joined to a fast train, and freights through the goods loop at Ostwick.
// The message log, the summary, the state digest and what the trains did are compared
// with a stored result, and every invariant (interlocking, trains, describer) is checked
// after every cycle. KESTRA_UPDATE_GOLDEN=1 rewrites the stored result on purpose.
//
// The commands file is written by the disabled test StandardDay.WriteCommandsFile:
//   kestra_tests --gtest_also_run_disabled_tests --gtest_filter=StandardDay.DISABLED_*

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>

#include "area/area_builder.h"
#include "core/time_format.h"
#include "fakes/fakes.h"
#include "fakes/golden.h"
#include "fakes/invariant_harness.h"
#include "fakes/path_signaller.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "places/location.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_text.h"
#include "timetable/timetable_validate.h"
#include "trains/berth.h"
#include "trains/train.h"

namespace kestra {
namespace {

const std::string kGolden = std::string(KESTRA_SOURCE_DIR) + "/tests/golden/";
const std::string kTimetable = std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT";
const char* const kUntil = "07:15";
const char* const kSeed = "15";

// What the trains did, seen from outside after every cycle: a train made without an
// entry (a divided portion), a train gone other than out at the edge of the area
// (absorbed by a join), a new description on the same train (a next service) and
// whether the describer follows it, a change of direction, and each location a train
// reaches. One line each, with its time.
class DayObserver {
  public:
    void Observe(const Sim& sim) {
        now_.clear();
        sim.Trains.ForEach([&](TTRN& t) {
            const bool leaving = t.State == TsLeaving || (t.HeadULC && t.HeadULC->LeavesArea);
            now_.push_back({&t, t.ID, t.Timetable ? t.Timetable->ID : std::string(), t.Direction(),
                            t.LastLocation, t.State, leaving});
        });
        const bool entered = sim.Trains.EnteredCount != entered_;
        for (const Seen& n : now_) {
            const Seen* before = Find(seen_, n.Train);
            if (!before) {
                if (!entered) Note(sim, "made " + n.ID + " (no entry)");
                if (n.Location) Note(sim, n.ID + " at " + n.Location->ID);
                continue;
            }
            if (before->ID != n.ID || before->Headcode != n.Headcode) {
                Note(sim, "next service " + before->ID + " becomes " + n.ID +
                              (n.Headcode.empty() ? "" : " (" + n.Headcode + ")"));
                if (before->ID != n.ID) renamed_.push_back({before->ID, n.ID, sim.SimTime});
            }
            if (before->Direction != 0 && n.Direction != 0 && before->Direction != n.Direction)
                Note(sim,
                     n.ID + " reverses" + (n.Location ? " at " + n.Location->ID : std::string()));
            if (n.Location && n.Location != before->Location)
                Note(sim, n.ID + " at " + n.Location->ID);
            if (n.State == TsError && before->State != TsError) Note(sim, n.ID + " in error");
        }
        for (const Seen& b : seen_) {
            if (!Find(now_, b.Train) && !b.Leaving) Note(sim, "gone " + b.ID + " (not left)");
        }
        // Half a minute after a train took a new description, the describer shows the
        // new one and no longer the old.
        for (std::size_t i = 0; i < renamed_.size();) {
            const Renamed& r = renamed_[i];
            if (sim.SimTime < r.Time + 30) {
                ++i;
                continue;
            }
            bool old = false;
            sim.Berths.ForEach([&](TBER& b) { old = old || b.Description == r.Old; });
            if (old) Note(sim, "the describer still shows " + r.Old + " for " + r.New);
            renamed_.erase(renamed_.begin() + static_cast<std::ptrdiff_t>(i));
        }
        seen_.swap(now_);
        entered_ = sim.Trains.EnteredCount;
    }

    const std::vector<std::string>& Lines() const { return lines_; }
    bool Has(const std::string& text) const {
        return std::any_of(lines_.begin(), lines_.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }

  private:
    struct Seen {
        const TTRN* Train;
        std::string ID;
        std::string Headcode;
        std::uint8_t Direction;
        const TLOC* Location;
        std::uint8_t State;
        bool Leaving;  // at the edge of the area, going out
    };
    static const Seen* Find(const std::vector<Seen>& list, const TTRN* train) {
        for (const Seen& s : list)
            if (s.Train == train) return &s;
        return nullptr;
    }
    void Note(const Sim& sim, const std::string& text) {
        lines_.push_back(sim.FormatSimTime() + " " + text);
    }

    struct Renamed {
        std::string Old, New;
        std::int32_t Time;
    };
    std::vector<Seen> seen_, now_;
    std::vector<Renamed> renamed_;
    std::vector<std::string> lines_;
    std::int32_t entered_ = 0;
};

// One headless run of the stretch with every invariant checked after every cycle.
struct DayRun {
    std::string Out, Err;
    std::vector<std::string> Broken;
    DayObserver Moves;
    // Trains in the area at the end: description, state, whether they stand on track.
    std::vector<std::string> Trains;
    std::vector<std::string> Impossible;
    // When given, each train's line at the end says what the signaller makes of it.
    std::function<std::string(Sim&, const TTRN&)> Explain;
};

void RunDay(runner::HeadlessOptions options, DayRun& run) {
    test::InvariantHarness harness({.Describer = true, .Rules = {false, true}});
    options.EachCycle = [&](Sim& sim) {
        run.Moves.Observe(sim);
        if (sim.SimTime + 1 >= options.Until) {
            // The last cycle: what each train is doing as the run ends.
            run.Trains.clear();
            run.Impossible.clear();
            sim.Trains.ForEach([&](TTRN& t) {
                run.Trains.push_back(t.ID + " " + TrainStatusText(t.State, t.Speed) +
                                     (t.LastLocation ? " last at " + t.LastLocation->ID : "") +
                                     (run.Explain ? ": " + run.Explain(sim, t) : ""));
                if (t.State == TsError) run.Impossible.push_back(t.ID + " is in the error state");
                if (!t.HeadULC && t.State != TsLeaving)
                    run.Impossible.push_back(t.ID + " stands without a head subroute");
                if (t.HeadULC && t.Occupied.empty())
                    run.Impossible.push_back(t.ID + " occupies nothing");
            });
        }
    };
    harness.Attach(options);
    std::ostringstream out, err;
    const int status = runner::RunHeadless(options, out, err);
    run.Broken = harness.Broken();
    run.Out = out.str();
    run.Err = err.str();
    EXPECT_EQ(status, 0) << run.Err;
}

runner::HeadlessOptions DayOptions(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"--timetable", kTimetable, "--until", kUntil,
                                     "--seed",      kSeed,      "--log",   "--digest",
                                     "--ars",       "none", "--no-entry-delays"};
    args.insert(args.end(), extra.begin(), extra.end());
    runner::HeadlessOptions options;
    std::string error;
    EXPECT_TRUE(runner::ParseHeadlessArgs(args, options, error)) << error;
    return options;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + '\n';
    return text;
}

// Writes tests/golden/standard_day.cmd from the scripted signaller's granted requests.
TEST(StandardDay, DISABLED_WriteCommandsFile) {
    test::PathSignaller signaller;
    runner::HeadlessOptions options = DayOptions({});
    options.BeforeCycle = [&](Sim& sim, std::vector<runner::HeadlessCommand>& commands) {
        signaller.BeforeCycle(sim, commands);
    };
    DayRun run;
    run.Explain = [&](Sim& sim, const TTRN& t) { return signaller.Explain(sim, t); };
    RunDay(options, run);
    for (const std::string& b : run.Broken) ADD_FAILURE() << b;
    EXPECT_EQ(signaller.Refused(), 0) << run.Err;
    std::cout << Joined(run.Moves.Lines()) << Joined(run.Trains)
              << run.Out.substr(run.Out.find("seed "));
    const std::string heading =
        "# The signaller's commands for the standard day's end-to-end run from 06:00 to " +
        std::string(kUntil) +
        "\n# (tests/trains/standard_day_test.cpp), written by a scripted signaller that "
        "sets each\n# train's next route of its path as the train nears the signal, and "
        "the way out of a\n# stop shortly before the booked departure. Regenerate with "
        "the disabled test\n# StandardDay.DISABLED_WriteCommandsFile.\n";
    std::ofstream(kGolden + "standard_day.cmd") << signaller.CommandsFile(heading);
}

// What is wrong with a request the signaller is about to play, judged from the railway
// as it stands: the route must be the train's next on its path, from the signal
// directly ahead of it, with nobody in between; the way out of a stop no more than a
// minute before the booked departure; onto clear track, but for a booked join; and
// never towards another train standing on that route or the next one facing it.
// Empty when the request is sound.
std::string JudgeRequest(Sim& sim, const test::SignallerRequest& r) {
    const TTRN* train = sim.Trains.FindTrain(r.Train);
    if (!train || !train->Timetable || !train->HeadULC) return "no such train running";
    std::vector<test::PathRoute> routes;
    test::RoutesOfPaths(*train->Timetable, routes);
    std::size_t on = routes.size(), wanted = routes.size();
    for (std::size_t i = 0; i < routes.size(); ++i) {
        if (on == routes.size() && routes[i].Route->AllSubroutes.Contains(train->HeadULC)) on = i;
        if (routes[i].Route->Entrance->ID == r.Entrance && routes[i].Route->Exit->ID == r.Exit &&
            (wanted == routes.size() || (on != routes.size() && wanted <= on)))
            wanted = i;
    }
    if (wanted == routes.size()) return "the route is not on the train's path";
    if (on != routes.size() && wanted <= on) return "the train has passed that route";
    const test::PathRoute& next = routes[wanted];
    const TROU& route = *next.Route;
    if (train->TrainInFront) return "another train stands just in front of it";
    // The first signal ahead at danger, over nothing occupied, and near: a moving
    // train no further than it runs in half a minute beyond its braking distance.
    const TULC* u = train->HeadULC;
    double distance = u->Length - train->HeadPos;
    for (int steps = 0; u && u->EndSignal != route.Entrance; ++steps) {
        if (steps > 200 || (u->EndSignal && !u->EndSignal->CurrentRoute))
            return "the entrance is not the signal ahead of the train";
        u = u->NextSubroute();
        if (u && u->TrackCircuit && u->TrackCircuit->OccupyCount > 0 &&
            std::none_of(train->Occupied.begin(), train->Occupied.end(),
                         [&](const TULC* own) { return own->TrackCircuit == u->TrackCircuit; }))
            return "a train stands between it and the entrance";
        if (u) distance += u->Length;
    }
    if (!u) return "no way from the train to the entrance";
    if (train->Speed > 0 &&
        distance > train->BrakingDistance(train->Speed) + 30 * train->Speed + 600)
        return "the train is still " + std::to_string(static_cast<int>(distance)) +
               " m from the entrance";
    if (next.DepartureTrip && !next.DepartureTrip->IsPass && next.DepartureTrip->DepTime > 0 &&
        sim.SimTime < next.DepartureTrip->DepTime - 60)
        return "the way out is set more than a minute before the booked departure";
    if (!route.Subroutes.AreTCsClear()) {
        const bool join =
            next.ArrivalTrip &&
            std::any_of(next.ArrivalTrip->Activities.Items.begin(),
                        next.ArrivalTrip->Activities.Items.end(),
                        [](const TTimetableActivity& a) { return a.ActivityKind == ActJoins; });
        if (!join) return "the route leads onto occupied track";
    }
    std::string facing;
    auto facingOn = [&](const TROU& way) {
        sim.Trains.ForEach([&](TTRN& other) {
            if (&other == train) return;
            for (const TULC* theirs : other.Occupied)
                for (int i = 0; i < way.Subroutes.Count(); ++i) {
                    const TULC* s = way.Subroutes.At(i);
                    if (s && theirs && s->TrackCircuit == theirs->TrackCircuit &&
                        s->Direction != theirs->Direction)
                        facing = other.ID + " stands facing it";
                }
        });
    };
    facingOn(route);
    if (wanted + 1 < routes.size()) facingOn(*routes[wanted + 1].Route);
    return facing;
}

// The signaller's rules, each request judged at the moment it is made on the morning's
// run, and the freights that once met head on at Vellmoor's platform 3 (a train routed
// into the platform while the other was on its way to it from the other end) both run
// through to Harnforth.
TEST(StandardDay, ScriptedSignallerSetsOnlyRoutesTrainsAreAboutToUse) {
    test::PathSignaller signaller;
    runner::HeadlessOptions options = DayOptions({});
    std::vector<std::string> faults;
    int judged = 0;
    options.BeforeCycle = [&](Sim& sim, std::vector<runner::HeadlessCommand>& commands) {
        signaller.BeforeCycle(sim, commands);
        for (const test::SignallerRequest& r : signaller.Asking()) {
            ++judged;
            const std::string fault = JudgeRequest(sim, r);
            if (!fault.empty() && faults.size() < 20)
                faults.push_back(sim.FormatSimTime() + " route " + r.Entrance + " " + r.Exit +
                                 " for " + r.Train + ": " + fault);
        }
    };
    DayRun run;
    run.Explain = [&](Sim& sim, const TTRN& t) { return signaller.Explain(sim, t); };
    RunDay(options, run);
    for (const std::string& f : faults) ADD_FAILURE() << f;
    for (const std::string& b : run.Broken) ADD_FAILURE() << b;
    EXPECT_GT(judged, 50);
    EXPECT_EQ(signaller.Refused(), 0) << run.Err;
    EXPECT_EQ(static_cast<int>(signaller.Granted().size()), judged);
    const std::string moves = Joined(run.Moves.Lines());
    EXPECT_TRUE(run.Moves.Has("6E01 at HRNF")) << moves << Joined(run.Trains);
    EXPECT_TRUE(run.Moves.Has("6R01 at HRNF")) << moves << Joined(run.Trains);
    // Worked like this, the morning keeps moving: the join, the divided portion and the
    // loop freight all get away, and no more than a few trains are still in the area.
    EXPECT_TRUE(run.Moves.Has("1J01 at WESTL")) << moves << Joined(run.Trains);
    EXPECT_TRUE(run.Moves.Has("2B01 at TARW")) << moves << Joined(run.Trains);
    EXPECT_TRUE(run.Moves.Has("6M01 at WESTL")) << moves << Joined(run.Trains);
    EXPECT_LE(run.Trains.size(), 5u) << Joined(run.Trains);
}

// Writes a timetable given as text to a WTT file the runner can load; false, with the
// reason, when the area does not take it.
bool WriteTimetable(const std::string& text, const std::string& wtt, std::string& error) {
    Sim sim;
    area::BuildArea(sim);
    if (!ImportTimetableText(sim, text, error)) return false;
    sim.Timetable.ForEach([&](TTimetable& t) {
        std::string reason;
        if (error.empty() && !Validate(t, reason)) error = t.ID + ": " + reason;
    });
    if (!error.empty()) return false;
    if (!SaveTimetableFile(sim, wtt)) error = "cannot write " + wtt;
    return error.empty();
}

// Runs a timetable file until the given time with the scripted signaller working it,
// each request judged as it is made and every invariant checked; failures are added to
// the running test.
void RunSignalled(const std::string& wtt, const char* until, DayRun& run,
                  std::vector<test::SignallerRequest>* granted = nullptr,
                  const char* seed = kSeed) {
    runner::HeadlessOptions options;
    std::string error;
    ASSERT_TRUE(runner::ParseHeadlessArgs({"--timetable", wtt, "--until", until, "--seed", seed, "--ars", "none", "--no-entry-delays"},
                                          options, error))
        << error;
    test::PathSignaller signaller;
    options.BeforeCycle = [&](Sim& sim, std::vector<runner::HeadlessCommand>& commands) {
        signaller.BeforeCycle(sim, commands);
        for (const test::SignallerRequest& r : signaller.Asking())
            if (const std::string fault = JudgeRequest(sim, r); !fault.empty())
                ADD_FAILURE() << sim.FormatSimTime() << " route " << r.Entrance << " " << r.Exit
                              << " for " << r.Train << ": " << fault;
    };
    run.Explain = [&](Sim& sim, const TTRN& t) { return signaller.Explain(sim, t); };
    options.Until = runner::ParseClockTime(until);
    RunDay(options, run);
    run.Explain = nullptr;  // it refers to this signaller
    if (granted) *granted = signaller.Granted();
    for (const std::string& b : run.Broken) ADD_FAILURE() << b;
}

// Two trains that want Vellmoor Central's platform 3 from opposite ends: a freight out
// of Ostwick yard running down through it, and a stopping train coming up into it and
// on west over the crossings at the yard. Whichever comes first, the other must wait
// short of the platform and of the crossings, or each stands waiting for the other
// for good; and the freight's way out east must wait while the stopping train runs
// up towards the junction signal whose overlap it crosses, or the automatic signal
// before that junction goes back to danger too close in front of the stopping train.
// Both must be out of the area by 07:15, every request sound, for every phasing.
TEST(StandardDay, TrainsWantingOnePlatformFromBothEndsBothGetThrough) {
    struct Case {
        const char* FreightEntry;
        const char* StopperEntry;
    };
    // The stopping train comes up at 06:37 or so; the freight's entry from the yard
    // moves from ahead of it to behind it.
    const Case cases[] = {{"06:28", "06:30"}, {"06:30", "06:28"}, {"06:30", "06:30"},
                          {"06:32", "06:28"}, {"06:32", "06:32"}, {"06:34", "06:28"},
                          {"06:34", "06:34"}, {"06:36", "06:28"}, {"06:38", "06:28"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("freight enters ") + c.FreightEntry + ", stopping train " +
                     c.StopperEntry);
        const std::string text = std::string(R"(name Platform three
description Two trains for one platform.
start 06:25
finish 08:00

category STOP accel 3 speed 75 length 80 power diesel desc Stopping passenger
category FREIGHT accel 1 speed 60 length 400 power diesel freight desc Freight

train 6E01 FREIGHT OSTYD )") + c.FreightEntry +
                                 R"(
  VLMC   -     06:37 pass plat 3 line DG
  HRNF   -     06:43 pass plat 1 line DM
  HRNFE  -     06:44 pass line DM

train 2U12 STOP EAST )" + c.StopperEntry +
                                 R"(
  HRNF   06:31 06:32 plat 2 line UM
  VLMC   06:39 06:41 plat 3 line UM
  OSTWK  06:46 06:47 plat 2 line UM path UM
  WESTL  -     06:49 pass line UM
)";
        const std::string wtt = ::testing::TempDir() + "kestra_platform_three.wtt";
        std::string error;
        ASSERT_TRUE(WriteTimetable(text, wtt, error)) << error;
        DayRun run;
        RunSignalled(wtt, "07:15", run);
        EXPECT_NE(run.Out.find("trains_entered 2\ntrains_left 2\n"), std::string::npos)
            << run.Out.substr(run.Out.find("seed ")) << Joined(run.Trains);
    }
}

// A fast train divides at Vellmoor Central's platform 1 and its rear portion is booked
// away first, down the branch, while the front stands until later. The rear stands
// behind the front: it gets no route from the platform's starting signal (which would
// send the front, the first train at it, down the branch) until the front has gone;
// then both run to the end of their workings.
TEST(StandardDay, RearPortionBookedFirstWaitsForTheFrontToGo) {
    const std::string text = R"(name Rear first
description A divided train whose rear portion is booked to leave first.
start 06:45
finish 08:00

category SPLIT accel 3 speed 90 length 120 power diesel desc Fast passenger dividing
category BRANCH accel 3 speed 60 length 40 power diesel desc Branch passenger

train 1S01 SPLIT WEST 06:48 length 160
  OSTWK  -     06:49 pass plat 1 line DM
  VLMC   06:53 07:04 plat 1 line DM divide into 2B01
  HRNF   -     07:10 pass plat 1 line DM
  HRNFE  -     07:11 pass line DM

train 2B01 BRANCH - 06:58
  VLMC   -     06:58 plat 1 line DB
  QLBY   07:05 07:06 plat 1 line DB
  TARW   -     07:09 pass line DB
)";
    const std::string wtt = ::testing::TempDir() + "kestra_rear_first.wtt";
    std::string error;
    ASSERT_TRUE(WriteTimetable(text, wtt, error)) << error;
    DayRun run;
    RunSignalled(wtt, "07:30", run);
    const std::string moves = Joined(run.Moves.Lines());
    EXPECT_TRUE(run.Moves.Has("made 2B01 (no entry)")) << moves;
    EXPECT_TRUE(run.Moves.Has("1S01 at HRNF")) << moves << Joined(run.Trains);
    EXPECT_TRUE(run.Moves.Has("2B01 at TARW")) << moves << Joined(run.Trains);
}

// A freight out of Ostwick yard for the Down main leaves the goods loop over 507 and
// crosses to the Down main by the crossover 509 short of Central's home signal 11, so
// it runs into platform 2 the right way instead of along the Up main against the
// traffic; then on east to Harnforth.
TEST(StandardDay, AYardFreightCrossesToTheDownMainShortOfCentral) {
    const std::string text = R"(name Yard freight east
description A freight from the yard to the east over the Down main.
start 06:25
finish 08:00

category FREIGHT accel 1 speed 60 length 400 power diesel freight desc Freight

train 6E02 FREIGHT OSTYD 06:30
  VLMC   -     06:39 pass plat 2 line DG
  HRNF   -     06:46 pass plat 1 line DM
  HRNFE  -     06:47 pass line DM
)";
    const std::string wtt = ::testing::TempDir() + "kestra_yard_freight.wtt";
    std::string error;
    ASSERT_TRUE(WriteTimetable(text, wtt, error)) << error;
    DayRun run;
    std::vector<test::SignallerRequest> granted;
    RunSignalled(wtt, "07:15", run, &granted);
    std::string routes;
    for (const test::SignallerRequest& r : granted) routes += r.Entrance + "-" + r.Exit + " ";
    const auto has = [&](const char* entrance, const char* exit) {
        return std::any_of(granted.begin(), granted.end(), [&](const test::SignallerRequest& r) {
            return r.Entrance == entrance && r.Exit == exit;
        });
    };
    EXPECT_TRUE(has("SVM7", "SVM11")) << routes;
    EXPECT_TRUE(has("SVM11", "SVM15")) << routes;
    EXPECT_TRUE(run.Moves.Has("6E02 at HRNF")) << Joined(run.Moves.Lines()) << Joined(run.Trains);
    EXPECT_NE(run.Out.find("trains_left 1\n"), std::string::npos)
        << run.Out.substr(run.Out.find("seed ")) << Joined(run.Trains);
}

// The whole standard day, 06:00 to 12:00, worked live by the scripted signaller: every
// request judged, every invariant held every cycle, none refused. With seed 16 the day
// clears out but for the last arrivals; with seed 15 the scripted signaller, which plans
// one train at a time, gridlocks Central in the morning (trains queued at 20, 26 and a
// join waiting), and the run checks that the railway stays sound while it stands.
TEST(StandardDay, TheWholeDayRunsCleanUnderTheScriptedSignaller) {
    const struct {
        const char* Seed;
        bool Clears;
    } cases[] = {{"16", true}, {"15", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("seed ") + c.Seed);
        DayRun run;
        RunSignalled(kTimetable, "12:00", run, nullptr, c.Seed);
        EXPECT_TRUE(run.Err.empty()) << run.Err;
        EXPECT_TRUE(run.Impossible.empty()) << Joined(run.Impossible);
        EXPECT_FALSE(run.Moves.Has(" in error")) << Joined(run.Moves.Lines());
        if (!c.Clears) continue;
        EXPECT_NE(run.Out.find("trains_entered 89\n"), std::string::npos)
            << run.Out.substr(run.Out.find("seed "));
        EXPECT_LE(run.Trains.size(), 4u) << Joined(run.Trains);
    }
}

// The stored commands replayed: every command accepted, every invariant held, the
// five moves of the stretch made, no train left in a state it cannot be in, and the
// log, summary, digest and moves as stored.
TEST(StandardDay, StoredSignallingRunsTheMorningAsStored) {
    DayRun run;
    RunDay(DayOptions({"--commands", kGolden + "standard_day.cmd"}), run);
    for (const std::string& b : run.Broken) ADD_FAILURE() << b;
    EXPECT_TRUE(run.Err.empty()) << "the signaller's commands were refused:\n" << run.Err;
    EXPECT_TRUE(run.Impossible.empty()) << Joined(run.Impossible);
    EXPECT_FALSE(run.Trains.empty()) << "the run never reached its last cycle";

    const DayObserver& m = run.Moves;
    const std::string moves = Joined(m.Lines());
    // Bay turnback: the branch train into the bay leaves again as its next service,
    // back up the branch.
    EXPECT_TRUE(m.Has("next service 2T11 becomes 2T12")) << moves;
    EXPECT_TRUE(m.Has("2T12 at QLBY")) << moves;
    // Divide: the rear portion of the fast train is a new train that runs down the
    // branch; the front goes on east.
    EXPECT_TRUE(m.Has("made 2B01 (no entry)")) << moves;
    EXPECT_TRUE(m.Has("2B01 at QLBY")) << moves;
    EXPECT_TRUE(m.Has("1S01 at HRNF")) << moves;
    // Join: one of the two trains at platform 4 is absorbed, the other runs on west.
    EXPECT_TRUE(m.Has("gone 2J01 (not left)") || m.Has("gone 1J01 (not left)")) << moves;
    EXPECT_TRUE(m.Has("1J01 at WESTL") || m.Has("2J01 at WESTL")) << moves;
    // Freight through the goods loop at Ostwick and out of the area.
    EXPECT_TRUE(m.Has("6M01 at OSTGL")) << moves;
    EXPECT_TRUE(m.Has("6M01 at WESTL")) << moves;
    // Nothing went into the error state, and each new description reached the
    // describer.
    EXPECT_FALSE(m.Has(" in error")) << moves;
    EXPECT_FALSE(m.Has("the describer still shows")) << moves;

    const std::string actual = run.Out + "--- moves\n" + moves + "--- trains at the end\n" +
                               Joined(run.Trains) + "--- refusals\n" + run.Err;
    const std::string stored = kGolden + "standard_day.out";
    test::ExpectMatchesStored(actual, stored);
}

}  // namespace
}  // namespace kestra
