// The authoring tools: a train repeated at an interval and the return working of a
// train. What they make validates; on the built-in area the beginner's stopping train
// repeated every half hour and its return working run end to end under a scripted
// signaller, and each one enters and leaves the area.

#include "timetable/timetable_authoring.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "fakes/path_signaller.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "timetable/running_time.h"
#include "timetable/timetable_analysis.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_text.h"
#include "timetable/timetable_validate.h"
#include "timetable_fixture.h"
#include "trains/train.h"

namespace kestra {
namespace {

using testing_tt::TimetableFixture;
namespace fs = std::filesystem;

TEST(TimetableAuthoring, HeadcodesAreNumberedOnInTheirOwnWidth) {
    struct Case {
        std::string Headcode;
        int Step;
        std::string Expected;
    };
    const Case cases[] = {
        {"2D01", 1, "2D02"}, {"2D09", 1, "2D10"}, {"2D01", 98, "2D99"}, {"2D99", 1, ""},
        {"2DAB", 1, ""},     {"7", 2, "9"},       {"", 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Headcode + " + " + std::to_string(c.Step));
        EXPECT_EQ(NumberedHeadcode(c.Headcode, c.Step), c.Expected);
    }
}

TEST(TimetableAuthoring, RepeatsShiftTimesKeepTheCategoryAndSkipHeadcodesInUse) {
    TimetableFixture f;
    TTrainCategory& cat = f.sim->Categories.Create("S");
    TTimetable& t = f.EnteringTrain("1A05");
    t.Category = &cat;
    t.MaxSpeed = 60;
    t.Trips.Items[1].Activities.Items.push_back({ActNextTrain, "2B01"});
    f.EnteringTrain("1A07", 50000);
    std::vector<std::unique_ptr<TTimetable>> copies;
    std::string error;
    ASSERT_TRUE(RepeatTrain(*f.sim, t, 3, 30, copies, error)) << error;
    ASSERT_EQ(copies.size(), 3u);
    const std::string expected[] = {"1A06", "1A08", "1A09"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const TTimetable& c = *copies[static_cast<std::size_t>(i)];
        EXPECT_EQ(c.ID, expected[i]);
        EXPECT_EQ(c.EntryTime, t.EntryTime + (i + 1) * 1800);
        EXPECT_EQ(c.Trips.Items[1].DepTime, t.Trips.Items[1].DepTime + (i + 1) * 1800);
        EXPECT_EQ(c.Category, &cat);
        EXPECT_EQ(c.MaxSpeed, 60);
        EXPECT_FALSE(c.Entered);
        EXPECT_TRUE(c.Trips.Items[1].Activities.Items.empty());
    }
    // Out of range, or out of headcodes: nothing made.
    for (auto [count, interval] : {std::pair{0, 30}, std::pair{3, 0}, std::pair{201, 30}}) {
        EXPECT_FALSE(RepeatTrain(*f.sim, t, count, interval, copies, error));
        EXPECT_TRUE(copies.empty());
    }
    TTimetable& last = f.EnteringTrain("1A98");
    EXPECT_FALSE(RepeatTrain(*f.sim, last, 2, 30, copies, error));
    EXPECT_NE(error.find("no free headcode"), std::string::npos) << error;
    EXPECT_TRUE(copies.empty());
}

const std::string kBeginner = std::string(KESTRA_SOURCE_DIR) + "/data/VLM/beginner.txt";

// The beginner's header, categories and its first stopping train 2D01 alone.
std::string BeginnerStoppingTrain() {
    std::ifstream in(kBeginner);
    std::string line, text;
    bool inTrain = false;
    while (std::getline(in, line)) {
        if (line.rfind("train ", 0) == 0) {
            if (inTrain) break;
            inTrain = line.rfind("train 2D01 ", 0) == 0;
            if (!inTrain) continue;
        }
        if (line.rfind("  ", 0) == 0 && !inTrain) continue;
        text += line + "\n";
    }
    return text;
}

struct Beginner {
    std::unique_ptr<Sim> sim = std::make_unique<Sim>();
    TTimetable* Stopper = nullptr;
    Beginner() {
        area::BuildArea(*sim);
        std::string error;
        EXPECT_TRUE(ImportTimetableText(*sim, BeginnerStoppingTrain(), error)) << error;
        Stopper = sim->Timetable.FindID("2D01");
    }
};

TEST(TimetableAuthoring, TheBeginnersStopperRepeatedAndWorkedBackValidatesAndKeepsTime) {
    Beginner b;
    ASSERT_NE(b.Stopper, nullptr);
    std::vector<std::unique_ptr<TTimetable>> copies;
    std::string error;
    ASSERT_TRUE(RepeatTrain(*b.sim, *b.Stopper, 3, 30, copies, error)) << error;
    std::unique_ptr<TTimetable> back =
        MakeReturnWorking(*b.sim, *b.Stopper, "2U51", 5, b.sim->EntryPoints.FindID("EAST"), error);
    ASSERT_NE(back, nullptr) << error;
    EXPECT_EQ(back->EntryPoint, b.sim->EntryPoints.FindID("EAST"));
    // Stations in reverse order, leaving at the far end.
    std::vector<std::string> calls;
    for (const TTimetableTrip& t : back->Trips.Items)
        if (!t.IsPass) calls.push_back(t.Location->ID);
    EXPECT_EQ(calls, (std::vector<std::string>{"HRNF", "VLMC", "OSTWK"}));
    EXPECT_EQ(back->Trips.Items.back().Location->ID, "WESTL");
    for (auto& c : copies) b.sim->Timetable.InsertOwned(b.sim->Timetable.Count(), std::move(c));
    b.sim->Timetable.InsertOwned(b.sim->Timetable.Count(), std::move(back));
    b.sim->Timetable.ForEach([&](TTimetable& t) {
        SCOPED_TRACE(t.ID);
        std::string message;
        EXPECT_TRUE(Validate(t, message)) << message;
        EXPECT_TRUE(CheckRunningTimes(t, message)) << message;
    });
    EXPECT_EQ(b.sim->Timetable.Count(), 5);
    // The analysis finds nothing wrong with them.
    const TimetableAnalysis a = AnalyseTimetable(*b.sim);
    EXPECT_TRUE(a.Problems.empty()) << a.Problems.front();
}

TEST(TimetableAuthoring, AReturnWorkingFromAStopFormsThereAndEndsWhereTheOriginalStarted) {
    TimetableFixture f;
    // A starting train A -> B (plat 1) -> C; the fixture has no way back, so the
    // return cannot be made and says why.
    TTimetable& t = f.sim->Timetable.Create(*f.sim, "2B01");
    t.MaxSpeed = 60;
    t.Trips.Items = {f.Trip(f.A, 0, 36000), f.Trip(f.B, 36300, 36360, "1"), f.Trip(f.C, 36900, 0)};
    std::string error;
    EXPECT_EQ(MakeReturnWorking(*f.sim, t, "2B02", 5, nullptr, error), nullptr);
    EXPECT_EQ(error, "train 2B01: no path from Charlie to Bravo the other way");
    EXPECT_TRUE(t.Trips.Items.back().Activities.Items.empty());
}

// Runs the timetable file headless to 10:00 under the scripted signaller; the trains
// seen in the area, and those still there at the end, go to seen and stillIn.
void RunWorked(const std::string& file, std::set<std::string>& seen,
               std::set<std::string>& stillIn) {
    test::PathSignaller signaller;
    runner::HeadlessOptions options;
    options.TimetableFile = file;
    options.Until = 10 * 3600;
    options.Seed = 3;
    options.SeedGiven = true;
    options.BeforeCycle = [&](Sim& sim, std::vector<runner::HeadlessCommand>& commands) {
        signaller.BeforeCycle(sim, commands);
    };
    std::vector<std::string> broken;
    options.EachCycle = [&](Sim& sim) {
        stillIn.clear();
        sim.Trains.ForEach([&](TTRN& t) {
            seen.insert(t.ID);
            stillIn.insert(t.ID);
            if (t.State == TsError && broken.size() < 5) broken.push_back(t.ID + " in error");
        });
    };
    std::ostringstream out, err;
    EXPECT_EQ(runner::RunHeadless(options, out, err), 0) << err.str();
    for (const std::string& b : broken) ADD_FAILURE() << b;
    EXPECT_EQ(signaller.Refused(), 0);
}

// A timetable written from docs/timetables.md alone (tests/data/timetables) checks clean,
// analyses clean, and its trains run in and out of the area; so does the page's first
// example, taken from the page itself.
TEST(TimetableAuthoring, TimetablesWrittenFromThePageLoadAndRun) {
    const std::string file =
        std::string(KESTRA_SOURCE_DIR) + "/tests/data/timetables/hand_written.txt";
    {
        Sim sim;
        area::BuildArea(sim);
        std::ifstream in(file);
        std::ostringstream text;
        text << in.rdbuf();
        std::string error;
        ASSERT_TRUE(ImportTimetableText(sim, text.str(), error)) << error;
        sim.Timetable.ForEach([&](TTimetable& t) {
            std::string message;
            EXPECT_TRUE(Validate(t, message)) << t.ID << ": " << message;
        });
        const TimetableAnalysis a = AnalyseTimetable(sim);
        EXPECT_TRUE(a.Problems.empty()) << a.Problems.front();
    }
    std::set<std::string> seen, stillIn;
    RunWorked(file, seen, stillIn);
    EXPECT_EQ(seen, (std::set<std::string>{"2D21", "2T21", "2T22", "6Q21"}));
    EXPECT_TRUE(stillIn.empty()) << *stillIn.begin();

    // The page's first example, as printed.
    std::ifstream page(std::string(KESTRA_SOURCE_DIR) + "/docs/timetables.md");
    std::ostringstream all;
    all << page.rdbuf();
    const std::string md = all.str();
    const std::size_t start = md.find("```\n# My first timetable");
    ASSERT_NE(start, std::string::npos);
    const std::size_t end = md.find("```", start + 3);
    ASSERT_NE(end, std::string::npos);
    Sim sim;
    area::BuildArea(sim);
    std::string error;
    ASSERT_TRUE(ImportTimetableText(sim, md.substr(start + 4, end - start - 4), error)) << error;
    ASSERT_EQ(sim.Timetable.Count(), 1);
    std::string message;
    EXPECT_TRUE(Validate(*sim.Timetable.At(0), message)) << message;
}

// Every train of the file enters and leaves the area in a headless run worked by the
// scripted signaller.
TEST(TimetableAuthoring, TheRepeatsAndTheReturnRunHeadlessEndToEnd) {
    Beginner b;
    ASSERT_NE(b.Stopper, nullptr);
    std::vector<std::unique_ptr<TTimetable>> copies;
    std::string error;
    ASSERT_TRUE(RepeatTrain(*b.sim, *b.Stopper, 3, 30, copies, error)) << error;
    for (auto& c : copies) b.sim->Timetable.InsertOwned(b.sim->Timetable.Count(), std::move(c));
    std::unique_ptr<TTimetable> back =
        MakeReturnWorking(*b.sim, *b.Stopper, "2U51", 5, b.sim->EntryPoints.FindID("EAST"), error);
    ASSERT_NE(back, nullptr) << error;
    b.sim->Timetable.InsertOwned(b.sim->Timetable.Count(), std::move(back));
    const fs::path dir = fs::temp_directory_path() / "kestra_authoring_run";
    fs::create_directories(dir);
    const std::string file = (dir / "repeated.WTT").string();
    ASSERT_TRUE(SaveTimetableFile(*b.sim, file));

    std::set<std::string> seen, stillIn;
    RunWorked(file, seen, stillIn);
    EXPECT_EQ(seen, (std::set<std::string>{"2D01", "2D02", "2D03", "2D04", "2U51"}));
    EXPECT_TRUE(stillIn.empty()) << *stillIn.begin();
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kestra
