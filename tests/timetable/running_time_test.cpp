// Sectional running times along a path's routes, and the check of booked times against
// them.

#include "timetable/running_time.h"

#include <gtest/gtest.h>

#include <string>

#include "core/time_format.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "places/location.h"
#include "places/path.h"
#include "timetable/timetable.h"

namespace kestra {
namespace {

// A station A, a 3 km line of three 1 km stretches and a station B. The middle stretch's
// speeds can be lowered; every stretch runs passenger trains at 30 m/s and freight at
// 20 m/s unless a case says otherwise.
struct LineFixture {
    test::RecordingDialogs dialogs;
    std::unique_ptr<Sim> sim;
    TULC *first = nullptr, *middle = nullptr, *last = nullptr;
    TPTH* path = nullptr;
    TLOC *A = nullptr, *B = nullptr;

    LineFixture() {
        Ports ports;
        ports.Dialog = &dialogs;
        sim = std::make_unique<Sim>(ports, 3);
        test::RailwayBuilder b(*sim);
        TTCS& c1 = b.Circuit("C1");
        TTCS& c2 = b.Circuit("C2");
        TTCS& c3 = b.Circuit("C3");
        TSIG& s1 = b.Signal("S1");
        TSIG& s2 = b.Signal("S2");
        first = &b.Subroute(c1, "C1ab", nullptr, 1000);
        middle = &b.Subroute(c2, "C2ab", nullptr, 1000);
        last = &b.Subroute(c3, "C3ab", &s2, 1000);
        b.Chain({first, middle, last});
        TROU& route = b.Route(s1, s2, {first, middle, last});
        A = &sim->Locations.Create("A");
        A->KeyLocation = true;
        B = &sim->Locations.Create("B");
        B->KeyLocation = true;
        path = &sim->Paths.Create();
        path->FromLocation = A;
        path->ToLocation = B;
        path->Objects.Add({}, &route);
    }

    std::int32_t Time(const RunningCharacteristics& train, SectionStart start, SectionEnd end) {
        return MinimumRunningTime(*path, sim->SimData, train, start, end);
    }
};

// 100 mph is faster than every line speed here, so the line sets the pace.
constexpr RunningCharacteristics kPassenger{3, 100, 80, false};

TEST(RunningTime, AtLineSpeedThroughout) {
    LineFixture f;
    // 3000 m at 30 m/s.
    EXPECT_EQ(f.Time(kPassenger, SectionStart::Running, SectionEnd::Passing), 100);
    // A freight train keeps to the freight speed: 3000 m at 20 m/s.
    RunningCharacteristics freight = kPassenger;
    freight.IsFreight = true;
    EXPECT_EQ(f.Time(freight, SectionStart::Running, SectionEnd::Passing), 150);
    // A train slower than the line keeps to its own top speed: 45 mph is 20 m/s.
    RunningCharacteristics slow = kPassenger;
    slow.MaxSpeed = 45;
    EXPECT_EQ(f.Time(slow, SectionStart::Running, SectionEnd::Passing), 150);
}

TEST(RunningTime, StartingAndStoppingCostTime) {
    LineFixture f;
    const std::int32_t runPass = f.Time(kPassenger, SectionStart::Running, SectionEnd::Passing);
    const std::int32_t runStop = f.Time(kPassenger, SectionStart::Running, SectionEnd::Stopping);
    const std::int32_t standPass = f.Time(kPassenger, SectionStart::Standing, SectionEnd::Passing);
    const std::int32_t standStop = f.Time(kPassenger, SectionStart::Standing, SectionEnd::Stopping);
    EXPECT_GT(runStop, runPass);
    EXPECT_GT(standPass, runPass);
    EXPECT_GT(standStop, runStop);
    EXPECT_GT(standStop, standPass);
    // From a stand to a stand: at least the time at line speed plus a start and a stop
    // at the profile's rates (0.62 up, 0.504 down, averaging half the speed), and not
    // absurdly more.
    const double lower = 3000.0 / 30.0 + 30.0 / 0.62 / 2 + 30.0 / 0.504 / 2;
    EXPECT_GE(standStop, static_cast<std::int32_t>(lower));
    EXPECT_LT(standStop, static_cast<std::int32_t>(lower * 1.6));
    // A gentler profile needs longer.
    RunningCharacteristics heavy = kPassenger;
    heavy.AccelBrake = 0;
    EXPECT_GT(f.Time(heavy, SectionStart::Standing, SectionEnd::Stopping), standStop);
}

TEST(RunningTime, ASlowStretchHoldsTheWholeTrain) {
    LineFixture f;
    const std::int32_t clear = f.Time(kPassenger, SectionStart::Running, SectionEnd::Passing);
    f.middle->PassengerSpeed = 10;
    const std::int32_t slowed = f.Time(kPassenger, SectionStart::Running, SectionEnd::Passing);
    // 1000 m at 10 m/s instead of 30 m/s costs at least 66 s, braking and pulling away
    // more.
    EXPECT_GE(slowed - clear, 66);
    // A longer train keeps the low speed until its tail is off the slow stretch.
    RunningCharacteristics longTrain = kPassenger;
    longTrain.Length = 400;
    EXPECT_GE(f.Time(longTrain, SectionStart::Running, SectionEnd::Passing), slowed + 10);
    // Freight trains are held by the freight speed only.
    f.middle->PassengerSpeed = 30;
    f.middle->FreightSpeed = 10;
    RunningCharacteristics freight = kPassenger;
    freight.IsFreight = true;
    EXPECT_GT(f.Time(freight, SectionStart::Running, SectionEnd::Passing), 150);
    EXPECT_EQ(f.Time(kPassenger, SectionStart::Running, SectionEnd::Passing), clear);
}

TEST(RunningTime, NoRoutesOrNoSpeedGivesNoTime) {
    LineFixture f;
    TPTH& empty = f.sim->Paths.Create();
    EXPECT_EQ(MinimumRunningTime(empty, f.sim->SimData, kPassenger, SectionStart::Standing,
                                 SectionEnd::Stopping),
              -1);
    RunningCharacteristics still = kPassenger;
    still.MaxSpeed = 0;
    EXPECT_EQ(f.Time(still, SectionStart::Standing, SectionEnd::Stopping), -1);
}

TEST(RunningTime, CheckNamesTheFirstSectionBookedTooShort) {
    LineFixture f;
    const std::int32_t need =
        f.Time(kPassenger, SectionStart::Standing, SectionEnd::Stopping) + DepartureSpread;
    struct Case {
        std::int32_t Booked;
        bool Passes;
    };
    for (const Case& c : {Case{need, true}, Case{need - 1, false}, Case{need + 600, true}}) {
        SCOPED_TRACE(c.Booked);
        TTimetable& t = f.sim->Timetable.Create(*f.sim, "2A0" + std::to_string(c.Booked % 10));
        t.AccelBrake = kPassenger.AccelBrake;
        t.MaxSpeed = kPassenger.MaxSpeed;
        t.Length = kPassenger.Length;
        TTimetableTrip from, to;
        from.Location = f.A;
        from.DepTime = 36000;
        to.Location = f.B;
        to.ArrTime = 36000 + c.Booked;
        to.DepTime = to.ArrTime;
        t.Trips.Items = {from, to};
        std::string message;
        EXPECT_EQ(CheckRunningTimes(t, message), c.Passes) << message;
        if (!c.Passes) {
            EXPECT_EQ(message, "A 10:00:00 to B " + FormatClock(36000 + c.Booked) + ": booked " +
                                   std::to_string(c.Booked) + " s, needs " + std::to_string(need) +
                                   " s");
        }
    }
}

TEST(RunningTime, APassingStartNeedsNoDepartureSpread) {
    LineFixture f;
    const std::int32_t need = f.Time(kPassenger, SectionStart::Running, SectionEnd::Passing);
    TTimetable& t = f.sim->Timetable.Create(*f.sim, "1A00");
    t.AccelBrake = kPassenger.AccelBrake;
    t.MaxSpeed = kPassenger.MaxSpeed;
    t.Length = kPassenger.Length;
    TTimetableTrip from, to;
    from.Location = f.A;
    from.DepTime = 36000;
    from.IsPass = true;
    to.Location = f.B;
    to.DepTime = 36000 + need;
    to.IsPass = true;
    t.Trips.Items = {from, to};
    std::string message;
    EXPECT_TRUE(CheckRunningTimes(t, message)) << message;
    t.Trips.Items[1].DepTime -= 1;
    EXPECT_FALSE(CheckRunningTimes(t, message));
}

TEST(RunningTime, ASectionWithoutPathFailsTheCheck) {
    LineFixture f;
    TTimetable& t = f.sim->Timetable.Create(*f.sim, "2A00");
    t.MaxSpeed = 75;
    TTimetableTrip from, to;
    from.Location = f.B;  // no path from B to A
    from.DepTime = 36000;
    to.Location = f.A;
    to.ArrTime = to.DepTime = 40000;
    t.Trips.Items = {from, to};
    std::string message;
    EXPECT_FALSE(CheckRunningTimes(t, message));
    EXPECT_EQ(message, "no path for every section");
}

}  // namespace
}  // namespace kestra
