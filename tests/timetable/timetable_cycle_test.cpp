// The working timetable in the simulation's main cycle: the entry step runs from the
// timer's ticks, and a new simulation starts with no timetable and no categories.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "timetable_fixture.h"

namespace kestra {
namespace {

using testing_tt::TimetableFixture;

class CountingTrains : public TrainEntryPort {
  public:
    int TrainsInArea() const override { return 0; }
    bool CanEnter(TENT&) override { return true; }
    void Enter(TENT& entry, TTimetable& t) override {
        Entered.push_back(entry.ID + ":" + t.ID);
        EnteredAt.push_back(sim->SimTime);
    }
    void LogIncident(const std::string&) override {}
    Sim* sim = nullptr;
    std::vector<std::string> Entered;
    std::vector<std::int32_t> EnteredAt;
};

TEST(TimetableCycle, TheTimerTicksLetATrainInAtItsEntryTime) {
    TimetableFixture f;
    CountingTrains trains;
    trains.sim = f.sim.get();
    f.sim->TrainEntry = &trains;
    f.EnteringTrain("1A05", 36000);
    f.sim->SimTime = 35990;
    // Two ticks make a second; run well past the entry time.
    for (int i = 0; i < 60; ++i) f.sim->MajorCycleTick();
    ASSERT_EQ(trains.Entered.size(), 1u);
    EXPECT_EQ(trains.Entered[0], "W:1A05");
    EXPECT_EQ(trains.EnteredAt[0], 36000);
}

TEST(TimetableCycle, APausedSimulationLetsNoTrainIn) {
    TimetableFixture f;
    CountingTrains trains;
    trains.sim = f.sim.get();
    f.sim->TrainEntry = &trains;
    f.EnteringTrain("1A05", 36000);
    f.sim->SimTime = 36000;
    f.sim->PauseSimulation();
    for (int i = 0; i < 10; ++i) f.sim->MajorCycleTick();
    EXPECT_TRUE(trains.Entered.empty());
}

TEST(TimetableCycle, ANewSimulationStartsWithoutTimetableOrCategories) {
    TimetableFixture f;
    f.sim->Categories.Create("STOP");
    f.EnteringTrain("1A05", 36000);
    f.sim->Timetable.Name = "Weekday";
    f.sim->Timetable.Description = "A weekday";
    f.sim->Timetable.StartTime = 6 * 3600;
    f.sim->Timetable.FinishTime = 9 * 3600;
    f.sim->ResetSimulation();
    EXPECT_EQ(f.sim->Timetable.Count(), 0);
    EXPECT_EQ(f.sim->Categories.Count(), 0);
    EXPECT_EQ(f.sim->Timetable.Name, "None");
    EXPECT_TRUE(f.sim->Timetable.Description.empty());
    EXPECT_EQ(f.sim->Timetable.StartTime, DefaultStartTime);
    EXPECT_EQ(f.sim->Timetable.FinishTime, DefaultFinishTime);
}

}  // namespace
}  // namespace kestra
