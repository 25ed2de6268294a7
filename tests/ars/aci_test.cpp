// Automatic code insertion on a small platform: next workings, divides into one or
// several portions (arriving either way), joins with and without a next working, a
// join with a portion that divides off at the same place, and the hold of a train whose
// partner has not yet arrived.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ars/ars_train.h"
#include "fakes/fakes.h"
#include "places/location.h"
#include "timetable/timetable.h"
#include "trains/berth.h"

namespace kestra {
namespace {

using test::TestSim;

TTimetableActivity Act(std::uint8_t kind, const std::string& headcode) {
    TTimetableActivity a;
    a.ActivityKind = kind;
    a.Headcode = headcode;
    return a;
}

// One platform of a station with its berths left to right and its code-insertion
// entry; timetables for trains calling there.
struct Platform {
    TestSim t;
    TLOC* station = nullptr;
    TLOC* beyond = nullptr;
    std::vector<TBER*> b;

    explicit Platform(int berths, bool chainAllowed = true) {
        station = &t->Locations.Create("STN");
        station->Name = "Station";
        station->KeyLocation = true;
        beyond = &t->Locations.Create("BYD");
        beyond->Name = "Beyond";
        beyond->KeyLocation = true;
        for (int i = 0; i < berths; ++i) {
            TBER& x = t->Berths.Create(*t, "P" + std::to_string(i));
            x.X = 10 + 6 * i;
            x.Y = 5;
            x.Locations.Add(station->ID, station);
            station->Berths.Add(x.ID, &x);
            b.push_back(&x);
        }
        t->ARSTrains().AddACIEntry(station, chainAllowed, "1", b);
    }

    TARSTrainList& ars() { return t->ARSTrains(); }

    // A timetable calling here with the activities given; the working ends here when
    // endsHere, otherwise it runs on beyond.
    void Timetable(const std::string& headcode, const std::vector<TTimetableActivity>& acts,
                   bool endsHere = false) {
        auto tt = std::make_unique<TTimetable>(*t, headcode);
        TTimetableTrip here;
        here.Location = station;
        here.ArrTime = 7 * 3600;
        here.DepTime = endsHere ? 0 : 7 * 3600 + 240;
        here.Platform = "1";
        here.Activities.Items = acts;
        tt->Trips.Items.push_back(here);
        if (!endsHere) {
            TTimetableTrip on;
            on.Location = beyond;
            on.DepTime = 7 * 3600 + 600;
            on.IsPass = true;
            tt->Trips.Items.push_back(on);
        }
        t->Timetable.InsertOwned(t->Timetable.Count(), std::move(tt));
    }

    // The train described in berth i after a step into the platform tagged stepKind.
    TARSTrain& Arrive(int i, const std::string& description, std::uint8_t stepKind) {
        b[static_cast<std::size_t>(i)]->Interpose(description);
        TARSTrain* train = ars().FindByBerth(b[static_cast<std::size_t>(i)]);
        EXPECT_NE(train, nullptr) << description;
        if (!train) throw std::runtime_error("no ARS train for " + description);
        EXPECT_TRUE(train->HasTimetable) << description;
        train->StepKind = stepKind;
        return *train;
    }

    // ARS working cycles up to and including the next one that runs code insertion
    // (every eighth call), which applies what it queued.
    void Insertion() {
        for (int i = 0; i < 8; ++i) ars().ARSCycle();
    }

    // What the platform's berths show, left to right, "----" for an empty one.
    std::string Shown() const {
        std::string s;
        for (const TBER* x : b)
            s += (s.empty() ? "" : " ") + (x->HasDescription() ? x->Description : "----");
        return s;
    }

    // The activities left on the train's copy of its trip here.
    std::vector<TTimetableActivity> Left(const std::string& description) {
        const TARSTrain* train = ars().FindByDescription(description);
        if (!train || !train->Timetable || train->Timetable->Trips.Items.empty()) return {};
        return train->Timetable->Trips.Items.front().Activities.Items;
    }
};

// A single next working in the train's own berth, when the next working's timetable
// gives no way out; the activity is gone once done.
TEST(ACI, NextWorkingTakesTheTrainsBerthOnce) {
    Platform p(2);
    p.Timetable("2A01", {Act(ActNextTrain, "2N01")}, true);
    p.Arrive(1, "2A01", 4);
    p.Insertion();
    EXPECT_EQ(p.Shown(), "---- 2N01");
    EXPECT_EQ(p.ars().FindByDescription("2A01"), nullptr);
    ASSERT_NE(p.ars().FindByBerth(p.b[1]), nullptr);
    EXPECT_EQ(p.ars().FindByBerth(p.b[1])->Description, "2N01");
}

// Already described somewhere on the platform: nothing is queued, and the activity is
// removed all the same, so a later pass does not describe it after all.
TEST(ACI, NextWorkingAlreadyShownIsNotDescribedAgain) {
    Platform p(3);
    p.Timetable("2A01", {Act(ActNextTrain, "2N01")});
    p.Arrive(0, "2A01", 4);
    p.b[2]->Interpose("2N01");
    p.Insertion();
    EXPECT_EQ(p.Shown(), "2A01 ---- 2N01");
    EXPECT_TRUE(p.Left("2A01").empty());
    p.b[2]->CancelDescription();
    p.Insertion();
    EXPECT_EQ(p.Shown(), "2A01 ---- ----");
}

// A new rear on a two-berth platform, the train in the last berth. Running Up the
// train's rear is at that end: its description moves to the first berth and the new
// rear's goes into the last, in the same working cycle. Running Down the last berth is
// its front: it stays there and the new rear is described in the first. With one berth
// free only, the divide waits for room.
TEST(ACI, NewRearOnATwoBerthPlatformIsDescribedAtTheTrainsRear) {
    struct Case {
        std::uint8_t stepKind;
        const char* shown;
        int trainBerth;
    };
    for (const Case c : {Case{2, "1A01 2R01", 0}, Case{1, "2R01 1A01", 1}}) {
        SCOPED_TRACE("step kind " + std::to_string(c.stepKind));
        Platform p(2);
        p.Timetable("1A01", {Act(ActDividesNewRear, "2R01")});
        p.b[0]->Interpose("9Z99");
        p.Arrive(1, "1A01", c.stepKind);
        p.Insertion();
        EXPECT_EQ(p.Shown(), "9Z99 1A01") << "no room: nothing done";
        ASSERT_EQ(p.Left("1A01").size(), 1u);
        p.b[0]->CancelDescription();
        p.Insertion();
        EXPECT_EQ(p.Shown(), c.shown);
        const TARSTrain* train = p.ars().FindByDescription("1A01");
        ASSERT_NE(train, nullptr);
        EXPECT_EQ(train->Berth, p.b[c.trainBerth]);
        EXPECT_TRUE(p.Left("1A01").empty());
    }
}

// Several portions and a next working: each portion described on its side of the
// train (rear portions behind it, front ones ahead, mirrored for an Up arrival), the
// train's own berth taking the next working once every portion has its berth.
TEST(ACI, SeveralPortionsAndANextWorking) {
    struct Case {
        const char* name;
        std::vector<TTimetableActivity> acts;
        int berths, at;
        std::uint8_t stepKind;
        int passes;
        const char* shown;
    };
    const Case cases[] = {
        {"rear and front, Down",
         {Act(ActNextTrain, "2N01"), Act(ActDividesNewRear, "2R01"),
          Act(ActDividesNewFront, "2F01")},
         3,
         1,
         1,
         1,
         "2R01 2N01 2F01"},
        {"rear and front, Up",
         {Act(ActNextTrain, "2N01"), Act(ActDividesNewRear, "2R01"),
          Act(ActDividesNewFront, "2F01")},
         3,
         1,
         2,
         1,
         "2F01 2N01 2R01"},
        // Two rear portions from the platform's first berth: the train moves forward
        // each pass, one portion at a time, the furthest rear first.
        {"two rears, Down",
         {Act(ActNextTrain, "2N01"), Act(ActDividesNewRear, "2R01"),
          Act(ActDividesNewRear, "2R02")},
         3,
         0,
         1,
         2,
         "2R01 2R02 2N01"},
        // A rear portion of a train arriving Up goes on its right: the train moves left
        // to make room, whichever berth it came to.
        {"rear, Up, in the last berth",
         {Act(ActNextTrain, "2N01"), Act(ActDividesNewRear, "2R01")},
         2,
         1,
         2,
         1,
         "2N01 2R01"},
        {"rear, Up, in the first berth",
         {Act(ActNextTrain, "2N01"), Act(ActDividesNewRear, "2R01")},
         2,
         0,
         2,
         1,
         "2N01 2R01"},
        {"front, Down, in the last berth",
         {Act(ActNextTrain, "2N01"), Act(ActDividesNewFront, "2F01")},
         2,
         1,
         1,
         1,
         "2N01 2F01"},
        {"front, Up, in the first berth",
         {Act(ActNextTrain, "2N01"), Act(ActDividesNewFront, "2F01")},
         2,
         0,
         2,
         1,
         "2F01 2N01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Platform p(c.berths);
        p.Timetable("1A01", c.acts);
        p.Arrive(c.at, "1A01", c.stepKind);
        for (int i = 0; i < c.passes; ++i) p.Insertion();
        EXPECT_EQ(p.Shown(), c.shown);
        EXPECT_EQ(p.ars().FindByDescription("1A01"), nullptr) << "the next working replaced it";
    }
}

// The Up arrival with its one rear portion placed: the next working is described in the
// same pass, as for a Down arrival (it is not left for a later pass).
TEST(ACI, AnUpArrivalTakesItsNextWorkingInTheSamePassAsItsPortions) {
    Platform p(2);
    p.Timetable("1A01", {Act(ActNextTrain, "2N01"), Act(ActDividesNewRear, "2R01")});
    p.Arrive(0, "1A01", 2);
    for (int i = 0; i < 7; ++i) p.ars().ARSCycle();
    EXPECT_EQ(p.Shown(), "1A01 ----");
    p.ars().ARSCycle();
    EXPECT_EQ(p.Shown(), "2N01 2R01");
}

// Joins and several portions act only after a step into the platform (tagged 1 or 2).
TEST(ACI, PortionsWaitForATaggedStep) {
    Platform p(3);
    p.Timetable("1A01", {Act(ActNextTrain, "2N01"), Act(ActDividesNewFront, "2F01")});
    TARSTrain& t = p.Arrive(1, "1A01", 4);
    p.Insertion();
    EXPECT_EQ(p.Shown(), "---- 1A01 ----");
    t.StepKind = 1;
    p.Insertion();
    EXPECT_EQ(p.Shown(), "2N01 ---- 2F01");
}

// A join with a next working: the joined train takes the new description in the later
// of the two berths in platform order, whichever of the two stands there, and the
// other berth is cleared. A platform that does not allow the chain is left alone.
TEST(ACI, AJoinWithANextWorking) {
    struct Case {
        const char* name;
        int trainAt;
        bool chain;
        const char* shown;
    };
    const Case cases[] = {
        {"the train first", 0, true, "---- 2N01"},
        {"the partner first", 1, true, "---- 2N01"},
        {"no chain allowed", 0, false, "1J01 2J01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Platform p(2, c.chain);
        p.Timetable("1J01", {Act(ActJoins, "2J01"), Act(ActNextTrain, "2N01")});
        p.b[static_cast<std::size_t>(1 - c.trainAt)]->Interpose("2J01");
        p.Arrive(c.trainAt, "1J01", 1);
        p.Insertion();
        EXPECT_EQ(p.Shown(), c.shown);
    }
}

// Without a next working the partner's description disappears into the train, except
// at the train's last trip: its working ends here and the partner clears it.
TEST(ACI, AJoinClearsThePartnerUnlessTheWorkingEndsHere) {
    for (const bool endsHere : {false, true}) {
        SCOPED_TRACE(endsHere ? "ends here" : "runs on");
        Platform p(2);
        p.Timetable("1J01", {Act(ActJoins, "2J01")}, endsHere);
        p.b[0]->Interpose("2J01");
        p.Arrive(1, "1J01", 2);
        p.Insertion();
        EXPECT_EQ(p.Shown(), endsHere ? "2J01 1J01" : "---- 1J01");
        EXPECT_TRUE(p.Left("1J01").empty()) << "the join is done once";
    }
}

// The partner has not arrived: code insertion does nothing and ARS holds the train
// "Waiting for joining"; once the partner stands in the platform the join is made and
// the hold lifts. A join with a next working keeps the train's description meanwhile.
TEST(ACI, AJoinWaitsForItsPartner) {
    for (const bool withNext : {false, true}) {
        SCOPED_TRACE(withNext ? "with a next working" : "alone");
        Platform p(2);
        std::vector<TTimetableActivity> acts{Act(ActJoins, "2J01")};
        if (withNext) acts.push_back(Act(ActNextTrain, "2N01"));
        p.Timetable("1J01", acts);
        TARSTrain& t = p.Arrive(1, "1J01", 1);
        // On its planned path at the platform, so ARS looks at it.
        t.PathEntries.Items.resize(1);
        t.PathEntries.Items[0].Item = p.b[1];
        t.PathEntries.Items[0].Locations = {0};
        t.PathPosition = 0;
        t.OnPlannedPath = true;
        t.IsARS = true;
        p.Insertion();
        p.Insertion();
        EXPECT_EQ(p.Shown(), "---- 1J01");
        EXPECT_EQ(p.ars().StatusTextOf(t), "Waiting for joining 2J01");
        p.b[0]->Interpose("2J01");
        p.Insertion();
        if (withNext) {
            EXPECT_EQ(p.Shown(), "---- 2N01");
            continue;
        }
        EXPECT_EQ(p.Shown(), "---- 1J01");
        p.ars().ARSCycle();
        p.ars().ARSCycle();
        EXPECT_NE(p.ars().StatusTextOf(t), "Waiting for joining 2J01");
    }
}

// A join with a portion that divides off here: it is not joined straight back while it
// is still described at the station; once it has gone, the join waits for its return.
TEST(ACI, AJoinWithAPortionDividingOffHereWaitsForItToReturn) {
    Platform p(2);
    p.Timetable("1A01", {Act(ActJoins, "2P01"), Act(ActDividesNewFront, "2P01")});
    p.Arrive(0, "1A01", 1);
    p.Insertion();
    EXPECT_EQ(p.Shown(), "1A01 2P01");
    p.Insertion();
    EXPECT_EQ(p.Shown(), "1A01 2P01") << "joined back straight away";
    // The portion leaves, and comes back.
    p.b[1]->CancelDescription();
    p.Insertion();
    EXPECT_EQ(p.Shown(), "1A01 ----");
    p.b[1]->Interpose("2P01");
    p.Insertion();
    EXPECT_EQ(p.Shown(), "1A01 ----");
    EXPECT_TRUE(p.Left("1A01").empty());
}

// A train whose join lies ahead, at a station it has not reached, is held showing the
// join planned there, not waiting for its partner.
TEST(ACI, AJoinAheadIsPlannedNotAwaited) {
    Platform p(2);
    p.Timetable("1J01", {Act(ActJoins, "2J01")});
    TBER& approach = p.t->Berths.Create(*p.t, "A0");
    approach.X = 2;
    approach.Y = 5;
    approach.Interpose("1J01");
    TARSTrain* t = p.ars().FindByBerth(&approach);
    ASSERT_NE(t, nullptr);
    t->PathEntries.Items.resize(1);
    t->PathEntries.Items[0].Item = &approach;
    t->PathEntries.Items[0].Locations = {0};
    t->PathPosition = 0;
    t->OnPlannedPath = true;
    t->IsARS = true;
    p.ars().ARSCycle();
    p.ars().ARSCycle();
    EXPECT_EQ(p.ars().StatusTextOf(*t), "Join planned at Station");
}

}  // namespace
}  // namespace kestra
