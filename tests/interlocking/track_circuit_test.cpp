#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/sim.h"
#include "fakes/fakes.h"
#include "display/palette.h"

namespace kestra {
namespace {

using test::TestSim;

// Records the describer triggers the circuits send.
class DescriberProbe : public TrainDescriberTrigger {
public:
    void BerthTDTrigger(TSSIObject& source, bool occupied) override {
        log.push_back(source.ID + (occupied ? " occ" : " clr"));
    }
    std::vector<std::string> log;
};

// Fails every circuit offered to it, as a random failure would.
class AlwaysFail : public TrackFailureOffer {
public:
    void OfferFailure(TTCS& c) override { c.Occupy(); }
};

class TrackCircuitTest : public ::testing::Test {
protected:
    TrackCircuitTest() {
        t->TrainDescriber = &describer;
        tc = &t->TrackCircuits.Create(*t, "T1");
    }
    TestSim t;
    DescriberProbe describer;
    TTCS* tc;
};

TEST_F(TrackCircuitTest, ClearsOnThirdCycleAfterLastOfTwoOccupants) {
    EXPECT_TRUE(tc->IsClear());
    tc->Occupy();
    tc->Occupy();
    EXPECT_EQ(describer.log, (std::vector<std::string>{"T1 occ"}));
    tc->Vacate();
    t.Ticks(5);
    EXPECT_TRUE(tc->IsOccupied());
    EXPECT_EQ(tc->ClearDelay, 3);  // never counted while still occupied by one
    tc->Vacate();
    EXPECT_EQ(tc->ClearDelay, 0);
    t.Ticks(2);
    EXPECT_TRUE(tc->IsOccupied());  // clearing still reads as occupied
    EXPECT_EQ(describer.log.size(), 1u);
    t.Ticks(1);
    EXPECT_TRUE(tc->IsClear());
    EXPECT_EQ(describer.log, (std::vector<std::string>{"T1 occ", "T1 clr"}));
}

TEST_F(TrackCircuitTest, ReoccupiedWhileClearingNeverReportsClear) {
    tc->Occupy();
    tc->Vacate();
    t.Ticks(2);
    tc->Occupy();
    EXPECT_EQ(tc->StateTime, 0);
    t.Ticks(10);
    EXPECT_TRUE(tc->IsOccupied());
    // Re-occupying from clearing is a first occupant again: one more occupation trigger,
    // no clear trigger.
    EXPECT_EQ(describer.log, (std::vector<std::string>{"T1 occ", "T1 occ"}));
}

TEST_F(TrackCircuitTest, ClearForAndOccupiedForCountSeconds) {
    tc->Occupy();
    tc->Vacate();
    t.Ticks(3);  // clear on the third cycle; two one-second cycles ran meanwhile
    ASSERT_TRUE(tc->IsClear());
    tc->StateTime = 0;  // as if it had cleared on this very cycle
    EXPECT_TRUE(tc->IsClearFor(0));
    EXPECT_FALSE(tc->IsClearFor(1));
    t.Ticks(2);
    EXPECT_TRUE(tc->IsClearFor(1));
    EXPECT_FALSE(tc->IsOccupiedFor(0));
    tc->Occupy();
    EXPECT_TRUE(tc->IsOccupiedFor(0));
    EXPECT_FALSE(tc->IsOccupiedFor(1));
    tc->StateTime = 2147483647;
    tc->OneSecond();
    EXPECT_EQ(tc->StateTime, 2147483647);
}

TEST_F(TrackCircuitTest, FailureOnLastVacateHoldsCircuit) {
    AlwaysFail fail;
    t->TrackFailures = &fail;
    tc->Occupy();
    tc->Occupy();
    tc->Vacate();  // not the last: no offer
    EXPECT_EQ(tc->OccupyCount, 1);
    tc->Vacate();  // the last: fails, stays occupied
    EXPECT_EQ(tc->OccupyCount, 1);
    t.Ticks(6);
    EXPECT_TRUE(tc->IsOccupied());
}

TEST_F(TrackCircuitTest, NegativeCountIsRepairedWithTrace) {
    std::vector<std::string> lines;
    t->TraceHook = [&](const std::string& s) { lines.push_back(s); };
    tc->Vacate();
    EXPECT_EQ(tc->OccupyCount, 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "00:00:00: T1 occupy count < 0");
}

TEST_F(TrackCircuitTest, MarkingTypesSetColours) {
    struct Case {
        std::uint8_t type;
        Colour c1, c2;
    } cases[] = {{1, ClCyan, ClCyan},  {2, ClPink, ClPink},   {3, ClCyan, ClPink},
                 {4, ClCyan, ClBlack}, {5, ClBlack, ClPink}, {0, ClBlack, ClBlack}};
    for (const Case& c : cases) {
        tc->SetISOType(c.type);
        EXPECT_EQ(tc->ISOType, c.type);
        EXPECT_EQ(tc->ISOColour1, c.c1);
        EXPECT_EQ(tc->ISOColour2, c.c2);
    }
    tc->SetISOType(3);
    tc->SetISOType(9);  // outside the table: colours kept
    EXPECT_EQ(tc->ISOType, 9);
    EXPECT_EQ(tc->ISOColour1, ClCyan);
    EXPECT_EQ(tc->ISOColour2, ClPink);
}

TEST_F(TrackCircuitTest, SaveLoadRoundTripKeepsSavedColoursAndRestrictions) {
    tc->Occupy();
    tc->Occupy();
    tc->StateTime = 40000;
    tc->SetISOType(3);
    tc->ISOColour1 = RGBHex(0x123456);
    auto tsr = std::make_unique<TTSR>();
    tsr->ID = "X";
    tsr->FreightSpeed = MphToMetresPerSecond(20);
    tsr->PassengerSpeed = 12.5;
    tsr->FromPosition = 100;
    tsr->ToPosition = 200;
    tc->TSRs.InsertFront(std::move(tsr));
    ValueWriter w;
    ASSERT_TRUE(t->TrackCircuits.Save(w));

    TestSim other;
    TTCS& copy = other->TrackCircuits.Create(*other, "T1");
    ValueReader r(w.Bytes());
    ASSERT_TRUE(other->TrackCircuits.Load(r));
    EXPECT_TRUE(r.AtEnd());
    EXPECT_EQ(copy.OccupyCount, 2);
    EXPECT_EQ(copy.StateTime, 40000);
    EXPECT_EQ(copy.ClearDelay, 3);
    EXPECT_EQ(copy.ISOType, 3);
    EXPECT_EQ(copy.ISOColour1, RGBHex(0x123456));  // the saved colour, not the table's
    EXPECT_EQ(copy.ISOColour2, ClPink);
    ASSERT_EQ(copy.TSRs.Count(), 1);
    const TTSR& back = *copy.TSRs.At(0);
    EXPECT_EQ(back.ID, "");
    EXPECT_EQ(back.Owner, &copy);
    EXPECT_DOUBLE_EQ(back.FreightSpeed, 20 / 2.25);
    EXPECT_EQ(MetresPerSecondToMph(back.FreightSpeed), 20);
    EXPECT_EQ(back.PassengerSpeed, 12.5);
    EXPECT_EQ(back.FromPosition, 100);
    EXPECT_EQ(back.ToPosition, 200);
    EXPECT_TRUE(back.Covers(150));
    EXPECT_FALSE(back.Covers(250));

    // Saving the loaded copy gives the same bytes.
    ValueWriter again;
    ASSERT_TRUE(other->TrackCircuits.Save(again));
    EXPECT_EQ(again.Bytes(), w.Bytes());
}

TEST_F(TrackCircuitTest, TruncatedOrCorruptRecordFailsCleanly) {
    ValueWriter w;
    tc->Save(w);
    std::vector<std::uint8_t> full = w.Bytes();
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        TestSim other;
        TTCS& copy = other->TrackCircuits.Create(*other, "T1");
        std::vector<std::uint8_t> part(full.begin(), full.begin() + static_cast<long>(cut));
        ValueReader r(part);
        EXPECT_FALSE(copy.Load(r)) << "cut at " << cut;
    }
    // A restriction count far beyond the data is refused without building anything.
    ValueWriter bad;
    for (int i = 0; i < 6; ++i) bad.WriteInteger(0);
    bad.WriteInteger(2000000000);
    ValueReader r(bad.Bytes());
    EXPECT_FALSE(tc->Load(r));
    EXPECT_EQ(tc->TSRs.Count(), 0);
}

TEST_F(TrackCircuitTest, ClientMirrorsServerAndServerBroadcasts) {
    t->Broadcaster = &t.broadcaster;
    t->TrackCircuits.Create(*t, "T2");
    TTCS& t2 = *t->TrackCircuits.At(1);
    t2.Occupy();
    t2.SetISOType(2);
    ASSERT_EQ(t.broadcaster.Sent.size(), 2u);
    EXPECT_EQ(t.broadcaster.Sent[0], "TA000110");
    EXPECT_EQ(t.broadcaster.Sent[1], "TA000112");

    TestSim client;
    client->ClientMode = true;
    client->TrackCircuits.Create(*client, "T1");
    TTCS& c2 = client->TrackCircuits.Create(*client, "T2");
    for (const auto& m : t.broadcaster.Sent) client->TrackCircuits.HandleClientMessage(m);
    EXPECT_TRUE(c2.IsOccupied());
    EXPECT_EQ(c2.ISOType, 2);
    EXPECT_EQ(c2.ISOColour1, ClPink);
    client->TrackCircuits.HandleClientMessage("TA000202");  // beyond the list: ignored
    client->TrackCircuits.HandleClientMessage("TA00zz02");  // malformed: ignored
    client->TrackCircuits.HandleClientMessage("TA000100");
    EXPECT_TRUE(c2.IsClear());
    client.Ticks(4);
    EXPECT_TRUE(c2.IsClear());
}

TEST_F(TrackCircuitTest, ListIsClearOnlyWhenEveryCircuitIs) {
    TTCSList refs;
    EXPECT_TRUE(refs.IsClear());
    TTCS& t2 = t->TrackCircuits.Create(*t, "T2");
    refs.Add("", tc);
    refs.Add("", &t2);
    EXPECT_TRUE(refs.IsClear());
    t2.Occupy();
    EXPECT_FALSE(refs.IsClear());
}

TEST_F(TrackCircuitTest, DrawsGreyWhenClearRedWhenOccupiedOverMarking) {
    t->SimData.ScreenCount = 2;
    TPEL& label = t->Labels.Create(*t);
    label.X = 10;
    label.Y = 4;
    label.Text = "\x61\x61";  // two plain-track glyphs
    tc->TrackElements.Add("", &label);
    tc->SetISOType(IsoEngTI);
    tc->Draw();
    EXPECT_EQ(t.surface.At(10, 4).Fg, ClGrey);
    EXPECT_EQ(t.surface.At(10, 4).Bg, ClPink);  // even x + y: colour 2
    EXPECT_EQ(t.surface.At(11, 4).Bg, ClCyan);  // odd: colour 1
    tc->Occupy();
    EXPECT_EQ(t.surface.At(10, 4).Fg, ClRed);
    EXPECT_EQ(t.surface.At(11, 4).Fg, ClRed);
    tc->Vacate();
    t.Ticks(3);
    EXPECT_EQ(t.surface.At(11, 4).Fg, ClGrey);
}

}  // namespace
}  // namespace kestra
