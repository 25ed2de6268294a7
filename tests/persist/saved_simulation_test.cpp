// The saved game: the header and its refusals, the mends of the container (a save
// that fails leaves the old file, rates and counts checked, the area's layout checked,
// the timetable's header kept, late trains still entering), and whole games saved,
// loaded and saved again.

#include "persist/saved_simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "fakes/fakes.h"
#include "fakes/invariant_harness.h"
#include "fakes/path_signaller.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "sim/state_digest.h"
#include "timetable/timetable_file.h"

namespace kestra {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kTimetable = std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT";

// A simulation of the built-in area with recording ports.
std::unique_ptr<test::TestSim> AreaSim() {
    auto t = std::make_unique<test::TestSim>();
    area::BuildArea(**t);
    return t;
}

// The standard timetable cut to its first keep trains (all when keep < 0), started at
// its start time with the entry delays drawn, and run for ticks major cycles with
// nobody signalling: trains enter, stand at red signals and telephone.
void PlayUnsignalled(Sim& sim, int keep, int ticks) {
    ASSERT_TRUE(LoadTimetableFile(sim, kTimetable));
    if (keep >= 0) {
        for (int i = sim.Timetable.Count() - 1; i >= keep; --i)
            sim.Timetable.Destroy(sim.Timetable.At(i));
        sim.Timetable.Pack();
    }
    sim.SimTime = sim.Timetable.StartTime;
    sim.Timetable.GenerateDelays();
    for (int i = 0; i < ticks; ++i) sim.MajorCycleTick();
}

Bytes Saved(Sim& sim) {
    ValueWriter w;
    EXPECT_TRUE(WriteSavedSimulation(sim, w));
    return w.TakeBytes();
}

// The digest of a simulation of the area just reset.
std::string ResetDigest() {
    auto t = AreaSim();
    (*t)->ResetSimulation();
    return StateDigest(**t);
}

std::filesystem::path TempDir(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("kestra_saved_" + name + "_" +
                      std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

TEST(SavedGame, TheHeaderIsWrittenInItsSmallestForms) {
    auto t = AreaSim();
    Sim& sim = **t;
    const struct {
        std::int32_t Time;
        Bytes Form;
    } cases[] = {{100, {2, 0x64}}, {30000, {3, 0x30, 0x75}}, {36000, {4, 0xA0, 0x8C, 0, 0}}};
    for (const auto& c : cases) {
        sim.SimTime = c.Time;
        ValueWriter head;
        head.WriteString("KESTRA");
        head.WriteInteger(2);
        head.WriteString(sim.SimData.AreaID);
        head.WriteString(AreaFingerprint(sim));
        Bytes expected = head.Bytes();
        expected.insert(expected.end(), c.Form.begin(), c.Form.end());
        const Bytes file = Saved(sim);
        ASSERT_GE(file.size(), expected.size());
        EXPECT_EQ(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(expected.size())),
                  expected)
            << c.Time;
    }
}

TEST(SavedGame, EveryHeaderCaseGivesItsBoxAndLeavesAResetSimulation) {
    auto t = AreaSim();
    Sim& sim = **t;
    const std::string reset = ResetDigest();
    auto header = [&](const std::string& magic, std::int32_t version, const std::string& area) {
        ValueWriter w;
        w.WriteString(magic);
        w.WriteInteger(version);
        w.WriteString(area);
        return w.TakeBytes();
    };
    const std::string id = sim.SimData.AreaID;
    const Bytes timetable = TimetableFileBytes(sim);
    const struct {
        const char* Name;
        Bytes File;
        std::string Box;
    } cases[] = {
        {"Empty", {}, "Not a Kestra file"},
        {"TimetableFile", timetable, "Not a Kestra file"},
        {"WrongMagic", header("KESTRB", 2, id), "Not a Kestra file"},
        {"NewerVersion", header("KESTRA", 3, id),
         "The simulator (version 2) cannot read this version of data (version 3)"},
        {"AnotherArea", header("KESTRA", 2, id + "X"),
         "This saved simulation is not for " + sim.SimData.AreaTitle},
        // Cut inside the header or just after it: no box of its own, the caller's.
        {"CutAfterMagic", Bytes{6, 6, 'K', 'E', 'S', 'T', 'R', 'A'}, ""},
        {"CutAfterArea", header("KESTRA", 2, id), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        PlayUnsignalled(sim, 4, 40);
        t->dialogs.Errors.clear();
        SimulationLoadError error;
        EXPECT_EQ(LoadSimulationBytes(sim, c.File, &error), 1);
        if (c.Box.empty()) {
            EXPECT_TRUE(t->dialogs.Errors.empty());
        } else {
            ASSERT_EQ(t->dialogs.Errors.size(), 1u);
            EXPECT_EQ(t->dialogs.Errors[0], c.Box);
        }
        EXPECT_EQ(error.Box, c.Box);
        EXPECT_FALSE(error.Reason.empty());
        EXPECT_EQ(sim.SimTime, 0);
        EXPECT_EQ(sim.Trains.Count(), 0);
        EXPECT_EQ(sim.Timetable.Count(), 0);
        EXPECT_EQ(StateDigest(sim), reset);
    }
}

TEST(SavedGame, AFileCutShortInTheTrainsLeavesNoTrains) {
    auto t = AreaSim();
    Sim& sim = **t;
    PlayUnsignalled(sim, 6, 1200);
    ASSERT_GT(sim.Trains.Count(), 0);
    const Bytes file = Saved(sim);
    // The file after the trains: no ARS trains (2 bytes), the failures (three floats of
    // 11 bytes, two small integers of 2) and the incident log. Cut half-way through the
    // trains.
    ValueWriter trains;
    ASSERT_TRUE(sim.Trains.Save(trains));
    ValueWriter incidents;
    ASSERT_TRUE(sim.Incidents.SaveIncidents(incidents));
    const std::size_t after = 2 + 3 * 11 + 2 + 2 + incidents.Bytes().size();
    ASSERT_GT(file.size(), after + trains.Bytes().size());
    const Bytes cut(file.begin(),
                    file.end() - static_cast<std::ptrdiff_t>(after + trains.Bytes().size() / 2));
    EXPECT_EQ(LoadSimulationBytes(sim, cut), 1);
    EXPECT_EQ(sim.Trains.Count(), 0);
    EXPECT_EQ(StateDigest(sim), ResetDigest());
}

TEST(SavedGame, AFailedSaveLeavesThePreviousFileWhole) {
    auto t = AreaSim();
    Sim& sim = **t;
    const auto dir = TempDir("failed");
    const std::string path = (dir / "game.ZRV").string();
    sim.SimTime = 1000;
    ASSERT_EQ(SaveSimulation(sim, path), 0);
    Bytes before;
    ASSERT_TRUE(ReadFileBytes(path, before));
    // The new file cannot be written beside the old one.
    std::filesystem::create_directory(path + ".part");
    sim.SimTime = 2000;
    EXPECT_EQ(SaveSimulation(sim, path), 1);
    Bytes after;
    ASSERT_TRUE(ReadFileBytes(path, after));
    EXPECT_EQ(after, before);
    std::filesystem::remove_all(path + ".part");
    ASSERT_EQ(SaveSimulation(sim, path), 0);
    ASSERT_TRUE(ReadFileBytes(path, after));
    EXPECT_EQ(after, Saved(sim));
    std::filesystem::remove_all(dir);
}

TEST(SavedGame, RatesNoTrainCouldRunWithAreRefused) {
    auto t = AreaSim();
    Sim& sim = **t;
    const TSimData defaults = sim.SimData;
    const float bad[] = {0.0f, -0.4f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()};
    auto writer = AreaSim();
    for (int which = 0; which < 10; ++which) {
        for (const float value : bad) {
            SCOPED_TRACE(std::to_string(which) + " " + std::to_string(value));
            auto& rates = which % 2 == 0 ? (*writer)->SimData.AccelerationByPower
                                         : (*writer)->SimData.BrakingByPower;
            const float good = rates[static_cast<std::size_t>(which / 2)];
            rates[static_cast<std::size_t>(which / 2)] = value;
            EXPECT_EQ(LoadSimulationBytes(sim, Saved(**writer)), 1);
            rates[static_cast<std::size_t>(which / 2)] = good;
            EXPECT_EQ(sim.SimData.AccelerationByPower, defaults.AccelerationByPower);
            EXPECT_EQ(sim.SimData.BrakingByPower, defaults.BrakingByPower);
        }
    }
    // Good rates other than the defaults are taken.
    (*writer)->SimData.BrakingByPower[2] = 0.6f;
    EXPECT_EQ(LoadSimulationBytes(sim, Saved(**writer)), 0);
    EXPECT_EQ(sim.SimData.BrakingByPower[2], 0.6f);
}

TEST(SavedGame, CountsLargerThanTheBytesLeftAreRefused) {
    auto t = AreaSim();
    Sim& sim = **t;
    sim.Incidents.ClearIncidents();
    const Bytes file = Saved(sim);
    // The file ends with the failures' count, Quillby level crossing's record (state,
    // timer, barrier failed), the incident count and the assessor's two counts
    // (circuits with the assessor's occupants, restriction identities):
    // "02 00 | 02 00 02 00 08 | 02 00 | 02 00 02 00".
    ASSERT_GE(file.size(), 13u);
    ASSERT_EQ(Bytes(file.end() - 13, file.end()), (Bytes{2, 0, 2, 0, 2, 0, 8, 2, 0, 2, 0, 2, 0}));
    const Bytes huge = {4, 0xFF, 0xFF, 0xFF, 0x7F};
    const Bytes negative = {2, 0xFF};
    for (const Bytes& count : {huge, negative}) {
        for (const std::size_t from_end : {std::size_t{13}, std::size_t{6}}) {
            SCOPED_TRACE(from_end);
            Bytes bad(file.begin(), file.end() - static_cast<std::ptrdiff_t>(from_end));
            bad.insert(bad.end(), count.begin(), count.end());
            if (from_end == 13) bad.insert(bad.end(), {2, 0, 2, 0, 8, 2, 0, 2, 0, 2, 0});
            if (from_end == 6) bad.insert(bad.end(), {2, 0, 2, 0});
            EXPECT_EQ(LoadSimulationBytes(sim, bad), 1);
            EXPECT_TRUE(sim.Incidents.Lines.empty());
        }
    }
    EXPECT_EQ(LoadSimulationBytes(sim, file), 0);
}

TEST(SavedGame, AFileFromAnotherLayoutOfTheAreaIsRefused) {
    auto writer = AreaSim();
    const Bytes file = Saved(**writer);
    auto t = AreaSim();
    Sim& sim = **t;
    ASSERT_EQ(LoadSimulationBytes(sim, file), 0);
    // One signal named differently, and one more panel label.
    sim.Signals.At(3)->ID += "X";
    const std::string box = "This saved simulation was made with another layout of " +
                            sim.SimData.AreaTitle +
                            " (its signals, track or routes differ) and cannot be loaded";
    EXPECT_EQ(LoadSimulationBytes(sim, file), 1);
    ASSERT_EQ(t->dialogs.Errors.size(), 1u);
    EXPECT_EQ(t->dialogs.Errors.back(), box);
    sim.Signals.At(3)->ID.pop_back();
    sim.Labels.Create(sim, "extra");
    EXPECT_EQ(LoadSimulationBytes(sim, file), 1);
    ASSERT_EQ(t->dialogs.Errors.size(), 2u);
    EXPECT_EQ(t->dialogs.Errors.back(), box);
}

TEST(SavedGame, TheTimetablesHeaderAndSettingsComeBack) {
    auto t = AreaSim();
    Sim& sim = **t;
    PlayUnsignalled(sim, 3, 20);
    sim.Options().PointsFailureChance = 0.0025f;
    sim.Options().MaxFailures = 1;
    const std::string name = sim.Timetable.Name;
    const std::int32_t start = sim.Timetable.StartTime, finish = sim.Timetable.FinishTime;
    ASSERT_NE(finish, DefaultFinishTime) << "the standard day ends at its own time";
    const Bytes file = Saved(sim);
    auto loaded = AreaSim();
    ASSERT_EQ(LoadSimulationBytes(**loaded, file), 0);
    EXPECT_EQ((*loaded)->Timetable.Name, name);
    EXPECT_EQ((*loaded)->Timetable.StartTime, start);
    EXPECT_EQ((*loaded)->Timetable.FinishTime, finish);
    EXPECT_FALSE((*loaded)->Timetable.Modified);
    EXPECT_EQ((*loaded)->Options().PointsFailureChance, 0.0025f);
    EXPECT_EQ((*loaded)->Options().MaxFailures, 1);
}

TEST(SavedGame, ATrainWaitingForItsDelayStillEntersAfterALoad) {
    auto t = AreaSim();
    Sim& sim = **t;
    PlayUnsignalled(sim, -1, 0);
    // A train due a minute ago, held back by its delay.
    TTimetable* late = nullptr;
    sim.Timetable.ForEach([&](TTimetable& tt) {
        if (!late && tt.EntryPoint && !tt.Entered) late = &tt;
    });
    ASSERT_NE(late, nullptr);
    sim.SimTime = late->EntryTime + 60;
    late->Delay = 900;
    int waiting = 0;
    sim.Timetable.ForEach([&](TTimetable& tt) { waiting += tt.Entered ? 0 : 1; });
    const Bytes file = Saved(sim);
    auto loaded = AreaSim();
    ASSERT_EQ(LoadSimulationBytes(**loaded, file), 0);
    int still = 0;
    (*loaded)->Timetable.ForEach([&](TTimetable& tt) { still += tt.Entered ? 0 : 1; });
    EXPECT_EQ(still, waiting);
    const TTimetable* again = (*loaded)->Timetable.At(sim.Timetable.IndexOf(late));
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(again->Entered);
}

// Loads bytes into sim and saves again, with the entry delays of the trains still to
// enter put back as they were in original (a load draws them afresh).
Bytes LoadAndSaveAgain(Sim& original, Sim& into, const Bytes& file, int* stillToEnter) {
    EXPECT_EQ(LoadSimulationBytes(into, file), 0);
    *stillToEnter = 0;
    EXPECT_EQ(into.Timetable.Count(), original.Timetable.Count());
    for (int i = 0; i < into.Timetable.Count() && i < original.Timetable.Count(); ++i) {
        TTimetable* t = into.Timetable.At(i);
        if (t->Entered) continue;
        ++*stillToEnter;
        t->Delay = original.Timetable.At(i)->Delay;
    }
    return Saved(into);
}

// Where two saved games first differ, for a failure message.
std::string FirstDifference(const Bytes& a, const Bytes& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) +
           ", first difference at byte " + std::to_string(i);
}

TEST(SavedGame, SaveLoadSaveGivesTheSameGameThroughTheStandardDay) {
    test::PathSignaller signaller;
    runner::HeadlessOptions o;
    std::string error;
    ASSERT_TRUE(runner::ParseHeadlessArgs(
        {"--timetable", kTimetable, "--until", "07:40", "--seed", "15"}, o, error))
        << error;
    o.BeforeCycle = [&](Sim& sim, std::vector<runner::HeadlessCommand>& commands) {
        signaller.BeforeCycle(sim, commands);
    };
    auto into = AreaSim();
    int moments = 0, withTrains = 0, exact = 0;
    o.EachCycle = [&](Sim& sim) {
        // Every four minutes of the run, once the second is whole.
        if (sim.FlashPhase || sim.SimTime % 240 != 0) return;
        ++moments;
        if (sim.Trains.Count() > 0) ++withTrains;
        const std::string digest = StateDigest(sim);
        const Bytes file = Saved(sim);
        int still = 0;
        const Bytes again = LoadAndSaveAgain(sim, **into, file, &still);
        EXPECT_EQ(again, file) << sim.FormatSimTime() << ": " << FirstDifference(again, file);
        EXPECT_EQ(StateDigest(**into), digest) << sim.FormatSimTime();
        // With nothing still to enter the bytes are the same without any help.
        if (still == 0) {
            ++exact;
            EXPECT_EQ(Saved(**into), file);
        }
        // The loaded game goes on as the saved one does.
        for (int i = 0; i < 4; ++i) (*into)->MajorCycleTick();
        EXPECT_GE((*into)->SimTime, sim.SimTime + 1);
    };
    std::ostringstream out, err;
    ASSERT_EQ(runner::RunHeadless(o, out, err), 0) << err.str();
    EXPECT_GE(moments, 9);
    EXPECT_GE(withTrains, 5);
}

TEST(SavedGame, CutOrDamagedFilesAreRefusedWithoutHarm) {
    auto t = AreaSim();
    Sim& sim = **t;
    PlayUnsignalled(sim, 6, 1200);
    ASSERT_GT(sim.Trains.Count(), 0);
    const Bytes file = Saved(sim);
    const std::string reset = ResetDigest();
    // Cut at every byte: every load fails and leaves a reset simulation.
    for (std::size_t length = 0; length < file.size(); ++length) {
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        ASSERT_EQ(LoadSimulationBytes(sim, cut), 1) << length;
        if (length % 97 == 0) {
            ASSERT_EQ(StateDigest(sim), reset) << length;
        }
    }
    // Random bytes changed: the load may succeed (a changed value can still be a good
    // one) or fail, but never crashes, and a failure leaves a reset simulation.
    std::mt19937 random(2024);
    for (int round = 0; round < 300; ++round) {
        Bytes bad = file;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f)
            bad[random() % bad.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
        if (LoadSimulationBytes(sim, bad) != 0) {
            ASSERT_EQ(sim.Trains.Count(), 0) << round;
            ASSERT_EQ(sim.SimTime, 0) << round;
        }
    }
    ASSERT_EQ(LoadSimulationBytes(sim, file), 0);
    EXPECT_EQ(Saved(sim).size(), file.size());
}

TEST(SavedGame, TheEndOfTheTimetableShowsTheAnalysisAndStartsAnew) {
    auto t = AreaSim();
    Sim& sim = **t;
    // An empty timetable never ends.
    sim.SimTime = DefaultFinishTime + 10;
    auto ends = [&] {
        return std::count(t->dialogs.Infos.begin(), t->dialogs.Infos.end(), "End of timetable!");
    };
    t->Ticks(4);
    EXPECT_EQ(ends(), 0);
    EXPECT_FALSE(sim.StartupTimerRunning);

    PlayUnsignalled(sim, 3, 0);
    sim.SimTime = sim.Timetable.FinishTime - 1;
    // Up to the finish and the second after it, the game goes on.
    for (int i = 0; i < 10 && sim.SimTime <= sim.Timetable.FinishTime; ++i) {
        t->Ticks(1);
        EXPECT_EQ(ends(), 0) << sim.FormatSimTime();
    }
    ASSERT_EQ(sim.SimTime, sim.Timetable.FinishTime + 1);
    t->Ticks(1);
    EXPECT_EQ(ends(), 1);
    ASSERT_EQ(t->dialogs.Analyses.size(), 1u);
    EXPECT_EQ(t->dialogs.Analyses[0].front(), "Analysis of your performance and score");
    EXPECT_EQ(sim.SimTime, 0);
    EXPECT_EQ(sim.Timetable.Count(), 0);
    EXPECT_TRUE(sim.StartupTimerRunning);
    EXPECT_FALSE(sim.IsPaused());
}

// --- the headless runner

struct RunResult {
    int Status = 0;
    std::string Out, Err;
};

RunResult Headless(const std::vector<std::string>& args) {
    runner::HeadlessOptions o;
    std::string error;
    RunResult r;
    if (!runner::ParseHeadlessArgs(args, o, error)) {
        r.Status = 2;
        r.Err = error;
        return r;
    }
    std::ostringstream out, err;
    r.Status = runner::RunHeadless(o, out, err);
    r.Out = out.str();
    r.Err = err.str();
    return r;
}

TEST(SavedGameHeadless, LoadRunNothingAndSaveGivesTheSameFile) {
    const auto dir = TempDir("headless");
    const std::string a = (dir / "a.ZRV").string(), b = (dir / "b.ZRV").string(),
                      c = (dir / "c.ZRV").string();
    RunResult r =
        Headless({"--timetable", kTimetable, "--until", "07:06", "--seed", "3", "--save", a});
    ASSERT_EQ(r.Status, 0) << r.Err;
    r = Headless({"--load", a, "--ticks", "0", "--seed", "4", "--save", b, "--digest"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("ticks 0"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("simtime 07:06:00"), std::string::npos) << r.Out;
    r = Headless({"--load", b, "--ticks", "0", "--seed", "4", "--save", c});
    ASSERT_EQ(r.Status, 0) << r.Err;
    Bytes bb, cb;
    ASSERT_TRUE(ReadFileBytes(b, bb));
    ASSERT_TRUE(ReadFileBytes(c, cb));
    EXPECT_EQ(bb, cb) << "the same seed draws the same delays";
    // Run on from the loaded game.
    r = Headless({"--load", a, "--ticks", "20", "--seed", "4"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("simtime 07:06:10"), std::string::npos) << r.Out;
    std::filesystem::remove_all(dir);
}

TEST(SavedGameHeadless, ARefusedFileExitsOneWithTheBoxOnStderr) {
    const auto dir = TempDir("refused");
    const std::string timetable = (dir / "t.ZRV").string();
    std::filesystem::copy_file(kTimetable, timetable);
    RunResult r = Headless({"--load", timetable, "--ticks", "0"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "Not a Kestra file\nError loading simulation\n");
    r = Headless({"--load", (dir / "none.ZRV").string(), "--ticks", "0"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Error loading simulation"), std::string::npos);
    r = Headless({"--load", timetable, "--timetable", kTimetable, "--ticks", "0"});
    EXPECT_EQ(r.Status, 2);
    std::filesystem::remove_all(dir);
}

TEST(SavedGameHeadless, TheRunEndsAtTheEndOfTheTimetable) {
    const RunResult r = Headless(
        {"--timetable", kTimetable, "--start", "11:59:50", "--ticks", "100", "--seed", "1"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("simtime 12:00:01"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("End of timetable!"), std::string::npos) << r.Out;
}

// A game saved half way through the beginner's timetable under ARS and loaded by
// another run goes on to the finish: the timetable ends at its own finish time, no
// stage raised an error, and the interlocking, train and ARS invariants hold after
// every cycle of the loaded game.
TEST(SavedGameHeadless, ALoadedGameRunsOnToTheFinishUnderARS) {
    const auto dir = TempDir("finish");
    const std::string saved = (dir / "half.ZRV").string();
    const std::string beginner = std::string(KESTRA_BINARY_DIR) + "/VLM/beginner.WTT";
    RunResult r = Headless({"--timetable", beginner, "--ars", "all", "--seed", "5", "--until",
                            "08:00", "--save", saved});
    ASSERT_EQ(r.Status, 0) << r.Err;

    runner::HeadlessOptions o;
    std::string error;
    ASSERT_TRUE(runner::ParseHeadlessArgs(
        {"--load", saved, "--seed", "6", "--until", "10:00", "--digest"}, o, error))
        << error;
    test::InvariantHarness harness({.ARS = true});
    int cycles = 0;
    o.EachCycle = [&](Sim&) { ++cycles; };
    harness.Attach(o);
    std::ostringstream out, err;
    ASSERT_EQ(runner::RunHeadless(o, out, err), 0) << err.str();
    for (const std::string& b : harness.Broken()) ADD_FAILURE() << b;
    const std::string text = out.str();
    EXPECT_GT(cycles, 7000);
    EXPECT_NE(text.find("simtime 09:00:0"), std::string::npos) << text;
    EXPECT_NE(text.find("End of timetable!"), std::string::npos) << text;
    EXPECT_NE(text.find("\nerrors_caught 0\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\nars_routes_set 0\n"), std::string::npos) << "ARS went on setting routes";
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kestra
