// ARS trains: creation from the describer, the delay texts, the priority weight and the
// lateness rules, freeing a train that others refer to, the saved records read with
// every count and index checked, and the describer's trigger depth after an error.

#include "ars/ars_train.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "fakes/fakes.h"
#include "interlocking/route.h"
#include "interlocking/track_circuit.h"
#include "trains/berth.h"

namespace kestra {
namespace {

using test::LastMessage;
using test::TestSim;

// Berths with descriptions that have no timetable: each becomes a non-ARS train.
struct Berths3 {
    TestSim t;
    TBER* b[3] = {};
    Berths3() {
        for (int i = 0; i < 3; ++i) {
            b[i] = &t->Berths.Create(*t, "B" + std::to_string(i));
            b[i]->X = 10 + 6 * i;
            b[i]->Y = 5;
        }
    }
    TARSTrainList& ars() { return t->ARSTrains(); }
};

TEST(ARSTrain, DelayTexts) {
    struct Case {
        std::int32_t lateness;
        bool onPath;
        std::string text;
    };
    const std::string half(1, '\xBD');
    const Case cases[] = {
        {0, true, "On time"},           {-1, true, "On time"},
        {1, true, "On time"},           {2, true, "1 minute late"},
        {-2, true, "1 minute early"},   {3, true, "1" + half + " minutes  late"},
        {-4, true, "2 minutes  early"}, {20, true, "10 minutes  late"},
        {20, false, "Unknown"},
    };
    TestSim t;
    for (const Case& c : cases) {
        TARSTrain train(*t);
        train.Lateness = c.lateness;
        train.OnPlannedPath = c.onPath;
        EXPECT_EQ(DelayText(train), c.text) << c.lateness;
    }
}

TEST(ARSTrain, AnEarlyTrainNeverWeighsLessThanOneOnTimeAndGainsByWaiting) {
    // Early: the same weight as on time, never negative.
    EXPECT_EQ(PriorityWeight(16, -6, 0), PriorityWeight(16, 0, 0));
    EXPECT_GT(PriorityWeight(16, -6, 0), 0);
    // Waiting beyond the starvation limit raises the weight of an early train too.
    EXPECT_GT(PriorityWeight(16, -6, 200), PriorityWeight(16, -6, 130));
    EXPECT_GT(PriorityWeight(16, -6, 130), PriorityWeight(16, -6, 0));
    // Late trains weigh in proportion.
    EXPECT_EQ(PriorityWeight(16, 5, 0), 80);
}

TEST(ARSTrain, LatenessAlongThePathAndPastTheLastTimedEntry) {
    TPathEntryList path;
    // Berth due 1000, route, berth due 1600, route, exit berth untimed.
    path.Items.resize(5);
    path.Items[0].DueTime = 1000;
    path.Items[2].DueTime = 1600;
    path.Items[4].DueTime = 0;
    EXPECT_EQ(LatenessAt(path, 0, 1000, 0), 0);
    EXPECT_EQ(LatenessAt(path, 0, 1090, 0), 3);
    EXPECT_EQ(LatenessAt(path, 2, 1300, 0), 0) << "between the previous and this due time";
    EXPECT_EQ(LatenessAt(path, 2, 940, 0), -2) << "before the previous due time: early";
    EXPECT_EQ(LatenessAt(path, 2, 1900, 0), 10);
    // Leaving: the clock is not the lateness; the train keeps what it had.
    EXPECT_EQ(LatenessAt(path, 4, 7 * 3600, 1), 1);
    EXPECT_EQ(LatenessAt(path, 4, 7 * 3600, -3), -3);
}

TEST(ARSTrain, InterposingCreatesATrainAndCancellingFreesIt) {
    Berths3 f;
    f.b[0]->Interpose("1A01");
    ASSERT_EQ(f.ars().Count(), 1);
    TARSTrain* t = f.ars().FindByBerth(f.b[0]);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Description, "1A01");
    EXPECT_FALSE(t->IsARS) << "no timetable";
    EXPECT_EQ(LastMessage(f.t), "1A01 not in timetable");
    // The undescribed train makes none.
    f.b[1]->Interpose("****");
    EXPECT_EQ(f.ars().Count(), 1);
    f.b[0]->CancelDescription();
    EXPECT_EQ(f.ars().Count(), 0);
}

TEST(ARSTrain, FreeingATrainLeavesNoOtherPointingAtIt) {
    Berths3 f;
    f.b[0]->Interpose("1A01");
    f.b[1]->Interpose("1A02");
    TARSTrain* a = f.ars().FindByBerth(f.b[0]);
    TARSTrain* b = f.ars().FindByBerth(f.b[1]);
    ASSERT_TRUE(a && b);
    f.ars().SetStatus(*a, StGivingPriority, b, b->Description);
    f.b[1]->CancelDescription();
    a = f.ars().FindByBerth(f.b[0]);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->StatusTrain, nullptr);
    // And the survivor still saves (it would write a freed train's index otherwise).
    ValueWriter w;
    EXPECT_TRUE(f.ars().Save(w));
}

// A menu command by description acts only when the description names one train.
TEST(ARSTrain, CommandsByDescriptionNeverPickOneOfTwoTrains) {
    Berths3 f;
    f.b[0]->Interpose("1A01");
    f.b[1]->Interpose("1A01");
    EXPECT_EQ(LastMessage(f.t), "1A01 duplicated in area");
    EXPECT_EQ(f.ars().FindForCommand(nullptr, "1A01"), nullptr);
    EXPECT_EQ(f.ars().FindForCommand(f.b[1], "1A01"), f.ars().FindByBerth(f.b[1]));
    f.b[2]->Interpose("2B02");
    EXPECT_EQ(f.ars().FindForCommand(nullptr, "2B02"), f.ars().FindByBerth(f.b[2]));
    // The command on the second berth acts on that train only.
    f.ars().FindByBerth(f.b[0])->ARSEnabled = true;
    f.ars().MakeNonARS(*f.b[1], "1A01");
    EXPECT_TRUE(f.ars().FindByBerth(f.b[0])->ARSEnabled);
    EXPECT_FALSE(f.ars().FindByBerth(f.b[1])->ARSEnabled);
    EXPECT_EQ(LastMessage(f.t), "1A01 made non-ARS");
}

TEST(ARSTrainRecords, SaveAndLoadRoundTripWithReferencesBetweenTrains) {
    Berths3 f;
    f.b[0]->Interpose("1A01");
    f.b[2]->Interpose("1A03");
    TARSTrain* a = f.ars().FindByBerth(f.b[0]);
    TARSTrain* c = f.ars().FindByBerth(f.b[2]);
    f.ars().SetStatus(*c, StTrainInFront, a, "1A01");
    c->PathEntries.Items.resize(2);
    c->PathEntries.Items[0].Item = f.b[2];
    c->PathEntries.Items[0].DueTime = 1234;
    c->PathEntries.Items[1].Item = f.b[1];
    c->PathPosition = 0;
    c->Lateness = -3;
    ValueWriter w;
    ASSERT_TRUE(f.ars().Save(w));

    Berths3 g;
    ValueReader r(w.Bytes());
    ASSERT_TRUE(g.ars().LoadTrains(r));
    ASSERT_EQ(g.ars().Count(), 2);
    TARSTrain* la = g.ars().FindByBerth(g.b[0]);
    TARSTrain* lc = g.ars().FindByBerth(g.b[2]);
    ASSERT_TRUE(la && lc);
    EXPECT_EQ(lc->StatusTrain, la);
    EXPECT_EQ(lc->Status, StTrainInFront);
    ASSERT_EQ(lc->PathEntries.Count(), 2);
    EXPECT_EQ(lc->PathEntries.Items[1].Item, g.b[1]);
    EXPECT_EQ(lc->PathEntries.Items[0].DueTime, 1234);
    EXPECT_EQ(lc->Lateness, -3);
}

// Corrupt records are refused before anything is built, and the list is left as it was.
TEST(ARSTrainRecords, CorruptRecordsAreRefusedAndChangeNothing) {
    Berths3 f;
    f.b[0]->Interpose("1A01");
    f.b[1]->Interpose("1A02");
    f.ars().SetStatus(*f.ars().FindByBerth(f.b[1]), StTrainInFront, f.ars().FindByBerth(f.b[0]),
                      "1A01");
    ValueWriter good;
    ASSERT_TRUE(f.ars().Save(good));
    const std::vector<std::uint8_t> bytes = good.Bytes();

    auto loads = [&](const std::vector<std::uint8_t>& data) {
        Berths3 g;
        g.b[2]->Interpose("9Z99");
        ValueReader r(data);
        const bool ok = g.ars().LoadTrains(r);
        if (!ok) {
            EXPECT_EQ(g.ars().Count(), 1) << "a failed load changed the list";
            EXPECT_NE(g.ars().FindByBerth(g.b[2]), nullptr);
        }
        return ok;
    };
    EXPECT_TRUE(loads(bytes));

    // A count far beyond the bytes left.
    ValueWriter huge;
    huge.WriteInteger(50000000);
    EXPECT_FALSE(loads(huge.Bytes()));
    ValueWriter negative;
    negative.WriteInteger(-1);
    EXPECT_FALSE(loads(negative.Bytes()));

    // Each index out of range in turn: rewrite one train's record by hand.
    auto record = [&](std::int32_t berth, std::int32_t statusIndex, std::int32_t nextRoute,
                      std::int32_t pathCount, std::int32_t tripIndex) {
        ValueWriter w;
        w.WriteInteger(1);
        w.WriteString("1A01");
        w.WriteInteger(berth);
        w.WriteBoolean(false);
        w.WriteBoolean(false);
        w.WriteBoolean(false);
        w.WriteInteger(pathCount);
        for (int i = 0; i < std::min(pathCount, 1); ++i) {
            w.WriteInteger(1);
            w.WriteInteger(0);
            w.WriteInteger(tripIndex >= 0 ? 1 : 0);
            if (tripIndex >= 0) w.WriteInteger(tripIndex);
            w.WriteInteger(0);
            w.WriteBoolean(false);
        }
        w.WriteInteger(-1);
        w.WriteInteger(0);  // spare entries
        w.WriteInteger(0);
        w.WriteInteger(4);
        for (int i = 0; i < 4; ++i) w.WriteBoolean(false);
        w.WriteInteger(StNonARS);
        w.WriteInteger(statusIndex >= 0 ? 1 : 0);
        w.WriteInteger(statusIndex);
        w.WriteString("");
        w.WriteInteger(nextRoute);
        w.WriteInteger(0);
        w.WriteInteger(0);
        return w.Bytes();
    };
    EXPECT_TRUE(loads(record(0, -1, -1, 1, -1))) << "the hand-made record itself is sound";
    EXPECT_FALSE(loads(record(3, -1, -1, 0, -1))) << "berth";
    EXPECT_FALSE(loads(record(-1, -1, -1, 0, -1))) << "no berth";
    EXPECT_FALSE(loads(record(0, 1, -1, 0, -1))) << "status train";
    EXPECT_FALSE(loads(record(0, -1, 0, 0, -1))) << "route";
    EXPECT_FALSE(loads(record(0, -1, -1, 1, 0))) << "trip without a timetable";
    EXPECT_FALSE(loads(record(0, -1, -1, 100000, -1))) << "path count";
    // Cut short anywhere.
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
        EXPECT_FALSE(loads(cut)) << "cut at " << n;
    }
}

// A step whose handling throws must not leave the describer one level deeper: after
// more than its nesting limit of such errors it still steps.
TEST(BerthTrigger, DepthSurvivesAnErrorInsideAStep) {
    struct Throwing : BerthARSEvents {
        bool Throw = true;
        int Moves = 0;
        void DescriptionMoved(TBER&, TBER&, std::uint8_t) override {
            ++Moves;
            if (Throw) throw std::runtime_error("inside a step");
        }
        void DescriptionLeft(TBER&) override {}
        void DescriptionInterposed(TBER&) override {}
        void DescriptionCancelled(TBER&) override {}
    } events;
    TestSim t;
    TTCS& circuit = t->TrackCircuits.Create(*t, "T1");
    TBER& a = t->Berths.Create(*t, "A");
    TBER& b = t->Berths.Create(*t, "B");
    TBERStep step;
    step.ToBerth = &b;
    step.Trigger = &circuit;
    a.Steps.push_back(step);
    t->Berths.ARS = &events;
    for (int i = 0; i < TBERList::kMaxTriggerDepth + 2; ++i) {
        b.Description.clear();
        a.Interpose("1A01");
        EXPECT_THROW(t->Berths.BerthTDTrigger(circuit, true), std::runtime_error);
    }
    events.Throw = false;
    b.Description.clear();
    a.Interpose("1A01");
    const int before = events.Moves;
    t->Berths.BerthTDTrigger(circuit, true);
    EXPECT_EQ(events.Moves, before + 1) << "the describer stopped stepping";
    EXPECT_EQ(b.Description, "1A01");
    t->Berths.ARS = nullptr;
}

}  // namespace
}  // namespace kestra
