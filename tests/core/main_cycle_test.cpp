#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "sim/sim.h"
#include "fakes/fakes.h"

namespace kestra {
namespace {

using test::TestSim;

// A signal stand-in that records the route requests that reach it.
class RequestProbe : public RouteRequestTarget {
  public:
    RequestProbe(std::string name, std::vector<std::string>* log)
        : name_(std::move(name)), log_(log) {}
    void QueuedRouteRequest(RouteRequestTarget* exit, std::uint8_t flag) override {
        log_->push_back(name_ + " QC to " + (exit ? static_cast<RequestProbe*>(exit)->name_ : "-") +
                        " flag " + std::to_string(flag));
    }
    void RequestCancel() override { log_->push_back(name_ + " QD"); }

  private:
    std::string name_;
    std::vector<std::string>* log_;
};

TEST(RequestQueueTest, DelaysZeroAndThreeRunAtFirstAndThirdCycle) {
    TestSim t;
    std::vector<std::string> log;
    RequestProbe s1("S1", &log), s2("S2", &log), s3("S3", &log);
    t->QueueDelayedRequest("QC", &s1, &s2, 0, 0);
    t->QueueDelayedRequest("QC", &s2, &s3, 0, 3);
    t->QueueRequest("QD", &s3, nullptr, 0);
    t.Ticks(1);
    EXPECT_EQ(log, (std::vector<std::string>{"S1 QC to S2 flag 0", "S3 QD"}));
    t.Ticks(1);
    EXPECT_EQ(log.size(), 2u);
    t.Ticks(1);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[2], "S2 QC to S3 flag 0");
    EXPECT_EQ(t->Requests.Count(), 0);
}

// A request made while the queue runs waits for the next cycle.
class Requeuer : public RouteRequestTarget {
  public:
    explicit Requeuer(Sim& sim) : sim_(sim) {}
    void QueuedRouteRequest(RouteRequestTarget*, std::uint8_t) override {
        ++runs;
        if (runs == 1) sim_.QueueDelayedRequest("QC", this, this, 0, 0);
    }
    void RequestCancel() override {}
    int runs = 0;

  private:
    Sim& sim_;
};

TEST(RequestQueueTest, RequestQueuedDuringPassWaitsForNextCycle) {
    TestSim t;
    Requeuer r(*t);
    t->QueueRequest("QC", &r, &r, 0);
    t.Ticks(1);
    EXPECT_EQ(r.runs, 1);
    EXPECT_EQ(t->Requests.Count(), 1);
    t.Ticks(1);
    EXPECT_EQ(r.runs, 2);
    EXPECT_EQ(t->Requests.Count(), 0);
}

TEST(RequestQueueTest, UnknownCommandIsDropped) {
    TestSim t;
    std::vector<std::string> log;
    RequestProbe s1("S1", &log);
    t->QueueRequest("QX", &s1, nullptr, 0);
    t.Ticks(1);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(t->Requests.Count(), 0);
}

TEST(MainCycleTest, SpeedPositionsGiveIntervals) {
    EXPECT_EQ(SpeedPositionToInterval(0), 500);
    EXPECT_EQ(SpeedPositionToInterval(950), 25);
    EXPECT_EQ(SpeedPositionToInterval(475), 262);
    EXPECT_EQ(Sim().MajorCycleInterval, 250);
}

TEST(MainCycleTest, TwoCyclesMakeOneSecondAndFlashAlternates) {
    TestSim t;
    t->SimTime = 100;
    t.Ticks(1);
    EXPECT_TRUE(t->FlashPhase);
    EXPECT_EQ(t->SimTime, 101);
    EXPECT_EQ(t->FlashRed, RGBHex(0xFF0000));
    t.Ticks(1);
    EXPECT_FALSE(t->FlashPhase);
    EXPECT_EQ(t->SimTime, 101);
    EXPECT_EQ(t->FlashRed, 0u);
    EXPECT_EQ(t->FlashGrey, 0u);
    t.Ticks(10);
    EXPECT_EQ(t->SimTime, 106);
}

TEST(MainCycleTest, PausedSimulationShowsPausedAndKeepsTime) {
    TestSim t;
    t->SimTime = 500;
    t->PauseSimulation();
    t.Ticks(20);
    EXPECT_EQ(t->SimTime, 500);
    EXPECT_EQ(t.surface.RowText(47, 1, 6), "PAUSED");
    t->ResumeSimulation();
    t->ResumeSimulation();
    EXPECT_EQ(t->PauseCount, 0);
    EXPECT_FALSE(t->IsPaused());
    EXPECT_EQ(t.surface.RowText(47, 1, 6), "00:08 ");
}

TEST(MainCycleTest, ClientRunsCyclesButKeepsServerTime) {
    TestSim t;
    t->ClientMode = true;
    t->SimTime = 3600;
    auto& tc = t->TrackCircuits.Create(*t, "T1");
    tc.Occupy();
    tc.Vacate();
    t.Ticks(6);
    EXPECT_EQ(t->SimTime, 3600);
    EXPECT_FALSE(t->FlashPhase);
    EXPECT_EQ(tc.ClearDelay, 0);  // a client's circuits wait for the server
    EXPECT_EQ(tc.StateTime, 3);   // but the one-second cycle still runs
}

// An object that notes, with the clock, each cycle of the list it is entered in.
class StageProbe : public TSSIObject {
  public:
    StageProbe(std::string list, const Sim& sim, std::vector<std::string>* log)
        : list_(std::move(list)), sim_(sim), log_(log) {}
    void MajorCycle() override { Note("fast"); }
    void OneSecond() override { Note("second"); }
    void Note(const char* stage) {
        log_->push_back(list_ + " " + stage + " " + std::to_string(sim_.SimTime));
    }

  private:
    std::string list_;
    const Sim& sim_;
    std::vector<std::string>* log_;
};

// Notes the queued request with the clock when it runs.
class TimedRequest : public RouteRequestTarget {
  public:
    TimedRequest(const Sim& sim, std::vector<std::string>* log) : sim_(sim), log_(log) {}
    void QueuedRouteRequest(RouteRequestTarget*, std::uint8_t) override {
        log_->push_back("requests " + std::to_string(sim_.SimTime));
    }
    void RequestCancel() override {}

  private:
    const Sim& sim_;
    std::vector<std::string>* log_;
};

TEST(MainCycleTest, StagesRunInTheirFixedOrderOverTwoTicks) {
    TestSim t;
    std::vector<std::string> log;
    StageProbe signals("signals", *t, &log), points("points", *t, &log), routes("routes", *t, &log),
        circuits("circuits", *t, &log), subroutes("subroutes", *t, &log);
    // Entered in an order unlike the cycle's, so that only the cycle orders them.
    t->Subroutes.Add({}, &subroutes);
    t->TrackCircuits.Add({}, &circuits);
    t->Routes.Add({}, &routes);
    t->Points.Add({}, &points);
    t->Signals.Add({}, &signals);
    t->Hooks.CycleHook = [&] { log.push_back("hook " + std::to_string(t->SimTime)); };
    TimedRequest request(*t, &log);
    t->QueueDelayedRequest("QC", &request, &request, 0, 1);
    t->QueueDelayedRequest("QC", &request, &request, 0, 2);
    t->SimTime = 100;
    t.Ticks(2);
    const std::vector<std::string> expected{
        // First tick: the fast cycle, the requests, then the clock and the one-second
        // cycle, which sees the new time.
        "signals fast 100", "points fast 100", "routes fast 100", "circuits fast 100",
        "subroutes fast 100", "hook 100", "requests 100", "points second 101", "routes second 101",
        "signals second 101", "circuits second 101", "subroutes second 101",
        // Second tick: the fast cycle and the requests only; the clock stands.
        "signals fast 101", "points fast 101", "routes fast 101", "circuits fast 101",
        "subroutes fast 101", "hook 101", "requests 101"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(t->SimTime, 101);
}

TEST(MainCycleTest, MidnightShowsHourZero) {
    TestSim t;
    t->SimTime = 86399;
    t.Ticks(1);
    EXPECT_EQ(t->SimTime, 86400);
    EXPECT_EQ(t.surface.RowText(47, 1, 6), "00:00 ");
}

// A circuit whose fast cycle throws, to show the guard.
class Throwing : public TTCS {
  public:
    using TTCS::TTCS;
    void MajorCycle() override { throw std::runtime_error("boom"); }
};

TEST(MainCycleTest, ErrorInFastCycleSkipsRestOfStageButRequestsRun) {
    TestSim t;
    t->TrackCircuits.Adopt(std::make_unique<Throwing>(*t, "BAD"));
    auto& later = t->TrackCircuits.Create(*t, "T2");
    later.Occupy();
    later.Vacate();
    int hookCalls = 0;
    t->Hooks.CycleHook = [&] { ++hookCalls; };
    std::vector<std::string> log;
    RequestProbe s("S", &log);
    t->QueueRequest("QD", &s, nullptr, 0);
    t.Ticks(1);
    EXPECT_EQ(later.ClearDelay, 0);  // skipped
    EXPECT_EQ(hookCalls, 0);         // skipped
    EXPECT_EQ(log.size(), 1u);       // requests still ran
    EXPECT_EQ(t->SimTime, 1);        // the clock and later stages go on
    EXPECT_EQ(later.StateTime, 1);
}

TEST(MainCycleTest, ResetReturnsStateAndCallsResetHook) {
    TestSim t;
    auto& tc = t->TrackCircuits.Create(*t, "T1");
    tc.Occupy();
    tc.SetISOType(IsoEng);
    t->SimTime = 5000;
    t->Performance.Score = 7;
    t->Performance.MaxScore = 9;
    bool hook = false;
    t->Hooks.ResetHook = [&] { hook = true; };
    t->ResetSimulation();
    EXPECT_EQ(t->SimTime, 0);
    EXPECT_EQ(t->Performance.Score, 0);
    EXPECT_EQ(t->Performance.MaxScore, 0);
    EXPECT_TRUE(tc.IsClear());
    EXPECT_EQ(tc.ISOType, IsoNone);
    EXPECT_TRUE(hook);
}

TEST(MainCycleTest, TraceGoesToAttachedSinkWithTime) {
    TestSim t;
    t->Trace("dropped");  // no sink: nothing happens
    std::vector<std::string> lines;
    t->TraceHook = [&](const std::string& s) { lines.push_back(s); };
    t->SimTime = 3661;
    t->Trace("hello");
    EXPECT_EQ(lines, (std::vector<std::string>{"01:01:01: hello"}));
}

TEST(MainCycleTest, RandomIsRepeatableWithSeed) {
    Sim a({}, 42), b({}, 42);
    for (int i = 0; i < 100; ++i) {
        const int x = a.RandomInt(10);
        EXPECT_EQ(x, b.RandomInt(10));
        EXPECT_GE(x, 0);
        EXPECT_LT(x, 10);
    }
    EXPECT_EQ(a.RandomInt(1), 0);
}

}  // namespace
}  // namespace kestra
