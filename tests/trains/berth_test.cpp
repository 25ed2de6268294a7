// The train describer on a plain line: stepping on each kind of trigger with its
// conditions, interpose and cancel, colours, drawing, clicks, saved state and the
// mirroring of berths on clients.

#include "trains/berth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "display/palette.h"
#include "fakes/describer_invariants.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"

namespace kestra::test {
namespace {

// Records what ARS would be told.
class RecordingARS : public BerthARSEvents {
  public:
    void DescriptionMoved(TBER& from, TBER& to, std::uint8_t tag) override {
        Events.push_back("move " + from.ID + ">" + to.ID + " " + std::to_string(tag));
    }
    void DescriptionLeft(TBER& from) override { Events.push_back("left " + from.ID); }
    void DescriptionInterposed(TBER& b) override { Events.push_back("interpose " + b.ID); }
    void DescriptionCancelled(TBER& b) override { Events.push_back("cancel " + b.ID); }
    std::vector<std::string> Events;
};

// The plain line T0 - T4 with a berth in rear of each up signal: B1 on T0 (S1), B2 on
// T2 (S2) and the fringe box's berth B3 on T4 (S3), all on screen 1.
class BerthTest : public ::testing::Test {
  public:
    BerthTest() : build(*t), line(BuildPlainLine(build)) {
        B1 = &MakeBerth("B1", 10, line.T0);
        B2 = &MakeBerth("B2", 20, line.T2);
        B3 = &MakeBerth("B3", 30, line.T4);
        B3->External = true;
        t->Berths.ARS = &ars;
    }

    TBER& MakeBerth(const std::string& id, int x, TTCS* circuit) {
        TBER& b = t->Berths.Create(*t, id);
        b.X = x;
        b.Y = kRow;
        b.TrackCircuit = circuit;
        circuit->Berths.Add(id, &b);
        return b;
    }

    TBERStep& AddStep(TBER& from, TBER* to, TSSIObject* trigger,
                      std::vector<TSSIObject*> conditions = {}, bool onRelease = false,
                      bool copyOnly = false) {
        TBERStep s;
        s.ToBerth = to;
        s.Trigger = trigger;
        s.Conditions = std::move(conditions);
        s.OnRelease = onRelease;
        s.CopyOnly = copyOnly;
        from.Steps.push_back(std::move(s));
        return from.Steps.back();
    }

    // Runs major cycles until a vacated circuit reports clear.
    void Clear(TTCS& c) {
        c.Vacate();
        t.Ticks(3);
    }

    // The berths that hold "****".
    std::vector<std::string> NonDescribed() {
        std::vector<std::string> out;
        t->Berths.ForEach([&](TBER& b) {
            if (b.Description == "****") out.push_back(b.ID);
        });
        return out;
    }

    static constexpr int kRow = 5;
    TestSim t;
    RailwayBuilder build;
    PlainLine line;
    RecordingARS ars;
    TBER* B1 = nullptr;
    TBER* B2 = nullptr;
    TBER* B3 = nullptr;
};

// ------------------------------------------------------------------ stepping

// One way of firing a step: the trigger object, whether the step fires on release, and
// what the test does to the railway to fire it.
struct TriggerCase {
    const char* Name;
    std::function<TSSIObject*(BerthTest&, PlainLine&)> Trigger;
    bool OnRelease;
    std::function<void(BerthTest&, PlainLine&)> Fire;
};

class BerthTriggerTest : public BerthTest, public ::testing::WithParamInterface<int> {};

const std::vector<TriggerCase>& TriggerCases() {
    static const std::vector<TriggerCase> cases = {
        {"CircuitOccupied", [](BerthTest&, PlainLine& l) { return l.T1; }, false,
         [](BerthTest&, PlainLine& l) { l.T1->Occupy(); }},
        {"CircuitCleared", [](BerthTest&, PlainLine& l) { return l.T1; }, true,
         [](BerthTest& f, PlainLine& l) {
             l.T1->Occupy();
             EXPECT_EQ(f.B2->Description, "") << "a release step fired on occupation";
             l.T1->Vacate();
             f.t.Ticks(3);
         }},
        {"RouteSet", [](BerthTest&, PlainLine& l) { return l.S1S2; }, false,
         [](BerthTest&, PlainLine& l) { l.S1S2->MarkSet(); }},
        {"RouteReleased", [](BerthTest&, PlainLine& l) { return l.S1S2; }, true,
         [](BerthTest&, PlainLine& l) {
             l.S1S2->MarkSet();
             l.S1S2->Unset();
         }},
        {"SignalOff", [](BerthTest&, PlainLine& l) { return l.S1; }, false,
         [](BerthTest&, PlainLine& l) { l.S1->SetAspect(AspSingleYellow); }},
        {"SignalBackToDanger", [](BerthTest&, PlainLine& l) { return l.S1; }, true,
         [](BerthTest&, PlainLine& l) {
             l.S1->SetAspect(AspSingleYellow);
             l.S1->SetAspect(AspDanger);
         }},
        {"BerthDescribed", [](BerthTest& f, PlainLine&) { return f.B3; }, false,
         [](BerthTest& f, PlainLine&) { f.B3->Interpose("9Z99"); }},
        {"BerthEmptied", [](BerthTest& f, PlainLine&) { return f.B3; }, true,
         [](BerthTest& f, PlainLine&) { f.B3->CancelDescription(); }},
    };
    return cases;
}

TEST_P(BerthTriggerTest, StepFiresOnItsTriggerOnlyWhileItsConditionHolds) {
    const TriggerCase& c = TriggerCases()[static_cast<std::size_t>(GetParam())];
    SCOPED_TRACE(c.Name);
    // The condition: circuit T3 occupied.
    AddStep(*B1, B2, c.Trigger(*this, line), {line.T3}, c.OnRelease);
    B1->Interpose("1a23");

    c.Fire(*this, line);
    EXPECT_EQ(B2->Description, "") << "stepped although its condition was false";
    EXPECT_EQ(B1->Description, "1A23");

    // Back to the start state of the trigger, then fire again with the condition true.
    line.S1S2->Unset();
    line.S1->SetAspect(AspDanger);
    if (line.T1->IsOccupied()) Clear(*line.T1);
    line.T3->Occupy();
    B1->Interpose("1a23");
    B2->Description.clear();
    B3->Description.clear();
    c.Fire(*this, line);
    EXPECT_EQ(B2->Description, "1A23");
    EXPECT_EQ(B1->Description, "");
    EXPECT_EQ(B1->Colour, ClCyan) << "a berth stepped from shows the stepped colour";
    EXPECT_TRUE(NonDescribed().empty());
}

INSTANTIATE_TEST_SUITE_P(Triggers, BerthTriggerTest,
                         ::testing::Range(0, static_cast<int>(TriggerCases().size())),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(TriggerCases()[info.param].Name);
                         });

TEST_F(BerthTest, ConditionListWithNullNegatesTheNextEntryOnly) {
    line.T0->Occupy();
    const std::vector<TSSIObject*> conditions{nullptr, line.T3, B3};
    struct Row {
        bool occupied, described, expected;
    };
    for (const Row r : {Row{false, true, true}, Row{true, true, false}, Row{false, false, false},
                        Row{true, false, false}}) {
        SCOPED_TRACE(testing::Message()
                     << "occupied " << r.occupied << " described " << r.described);
        if (r.occupied && !line.T3->IsOccupied()) line.T3->Occupy();
        if (!r.occupied && line.T3->IsOccupied()) Clear(*line.T3);
        B3->Description = r.described ? "1A23" : "";
        EXPECT_EQ(BerthConditionsHold(conditions), r.expected);
    }
    EXPECT_TRUE(BerthConditionsHold({}));
    EXPECT_TRUE(BerthConditionsHold({line.T0, nullptr})) << "a trailing null has no effect";
    EXPECT_FALSE(BerthConditionsHold({nullptr, line.T0, line.T3}));
}

TEST_F(BerthTest, OnlyTheFirstMatchingStepOfABerthFires) {
    AddStep(*B1, B2, line.T1, {line.T4});  // condition false: passed over
    AddStep(*B1, B3, line.T1);
    AddStep(*B1, B2, line.T1);
    B1->Interpose("1A23");
    line.T1->Occupy();
    EXPECT_EQ(B3->Description, "1A23");
    EXPECT_EQ(B2->Description, "");
    ASSERT_EQ(ars.Events.size(), 2u);
    EXPECT_EQ(ars.Events.back(), "move B1>B3 0");
}

TEST_F(BerthTest, AChainOfBerthsStepsInOneEvent) {
    AddStep(*B1, B2, line.T1);
    AddStep(*B2, nullptr, B2);  // a berth that passes its description straight on
    B1->Interpose("1A23");
    line.T1->Occupy();
    EXPECT_EQ(B2->Description, "");
    ASSERT_FALSE(ars.Events.empty());
    EXPECT_EQ(ars.Events.back(), "left B2");
}

TEST_F(BerthTest, CopyOnlyLeavesTheSourceAndTellsNoOne) {
    AddStep(*B1, B2, line.T1, {}, false, true);
    B1->Interpose("1A23");
    ars.Events.clear();
    line.T1->Occupy();
    EXPECT_EQ(B1->Description, "1A23");
    EXPECT_EQ(B2->Description, "1A23");
    EXPECT_TRUE(ars.Events.empty());
}

// The undescribed train copied: both berths show "****", and the source, which gained
// it, is drawn and sent like the destination.
TEST_F(BerthTest, CopyOnlyFromAnEmptyBerthShowsAndSendsBothBerths) {
    t->Broadcaster = &t.broadcaster;
    AddStep(*B1, B2, line.T1, {}, false, true);
    line.T1->Occupy();
    EXPECT_EQ(B1->Description, "****");
    EXPECT_EQ(B2->Description, "****");
    EXPECT_EQ(t.surface.RowText(kRow, 10, 4), "****") << "source not redrawn";
    bool sentSource = false;
    for (const std::string& m : t.broadcaster.Sent) sentSource |= m.rfind("BA0000****", 0) == 0;
    EXPECT_TRUE(sentSource) << "source's **** never reached the clients";
}

TEST_F(BerthTest, NonDescribedTrainToTheFringeCostsTenPointsNotBelowZero) {
    AddStep(*B2, B3, line.T3);
    struct Row {
        int score, expected;
    };
    for (const Row r : {Row{25, 15}, Row{5, 0}, Row{0, 0}}) {
        SCOPED_TRACE(r.score);
        t->Performance.Score = r.score;
        const int lost = t->Performance.OtherPointsLost;
        B3->Description.clear();
        if (line.T3->IsOccupied()) Clear(*line.T3);
        line.T3->Occupy();
        EXPECT_EQ(B3->Description, "****");
        EXPECT_EQ(t->Performance.Score, r.expected);
        EXPECT_EQ(t->Performance.OtherPointsLost, lost + 10);
        EXPECT_EQ(LastMessage(t), "Non-described train sent to fringe signalbox!");
    }
    // A described train costs nothing.
    t->Performance.Score = 25;
    B3->Description.clear();
    Clear(*line.T3);
    B2->Interpose("1A23");
    line.T3->Occupy();
    EXPECT_EQ(B3->Description, "1A23");
    EXPECT_EQ(t->Performance.Score, 25);
}

// ------------------------------------------------------------------ mended faults

// A step with no trigger and no conditions from an empty berth, leaving the describer:
// before, each firing raised the every-cycle trigger again and stepped "****" for ever.
TEST_F(BerthTest, UntriggeredStepDoesNotReRaiseItselfForEver) {
    AddStep(*B1, nullptr, nullptr);
    t.Ticks(2);
    EXPECT_EQ(B1->Description, "");
    EXPECT_TRUE(ars.Events.empty()) << "an empty berth sent a train out of the area";

    B1->Interpose("1A23");
    t.Ticks(1);
    EXPECT_EQ(B1->Description, "");
    ASSERT_FALSE(ars.Events.empty());
    EXPECT_EQ(ars.Events.back(), "left B1");
    EXPECT_EQ(std::count(ars.Events.begin(), ars.Events.end(), "left B1"), 1);
}

TEST_F(BerthTest, UntriggeredCopyWithNowhereToGoDoesNothing) {
    AddStep(*B1, nullptr, nullptr, {}, false, true);
    B1->Interpose("1A23");
    t.Ticks(2);
    EXPECT_EQ(B1->Description, "1A23");
}

// Data that steps a description round in a circle on each other's release returns.
TEST_F(BerthTest, TriggersNestOnlySoDeep) {
    AddStep(*B1, B2, B2, {}, true);
    AddStep(*B2, B1, B1, {}, true);
    B1->Interpose("1A23");
    B2->Interpose("2B45");
    B2->CancelDescription();
    EXPECT_EQ(t->Berths.CountDescription("1A23"), 1);
}

// A signal stepping from yellow to green: the step fired when it cleared must not fire
// again and write "****" from the berth the train has left.
TEST_F(BerthTest, AspectUpgradeDoesNotFireASignalStepAgain) {
    AddStep(*B1, B2, line.S1);
    B1->Interpose("1A23");
    line.S1->SetAspect(AspSingleYellow);
    ASSERT_EQ(B2->Description, "1A23");
    B2->CancelDescription();  // the train has gone on
    line.S1->SetAspect(AspDoubleYellow);
    line.S1->SetAspect(AspGreen);
    EXPECT_EQ(B2->Description, "");
    EXPECT_EQ(B1->Description, "");
    EXPECT_TRUE(NonDescribed().empty());
}

// Decision: a step never overwrites a described berth. The train in it is still there
// (a call-on into an occupied platform, a joining move); the stepping description
// stays in its own berth for the signaller, and an undescribed move changes nothing.
TEST_F(BerthTest, StepDoesNotOverwriteADescribedBerth) {
    AddStep(*B1, B2, line.T1);
    B2->Interpose("2B45");
    B1->Interpose("1A23");
    line.T1->Occupy();
    EXPECT_EQ(B2->Description, "2B45");
    EXPECT_EQ(B1->Description, "1A23");

    Clear(*line.T1);
    B1->CancelDescription();
    line.T1->Occupy();
    EXPECT_EQ(B2->Description, "2B45");
    EXPECT_EQ(B1->Description, "") << "an undescribed move left **** behind";
}

// Each colour state replaces the one before, so the colours shown are the current ones;
// setting what is already shown sends nothing.
TEST_F(BerthTest, ColourStatesReplaceEachOther) {
    using Op = void (*)(TBER&);
    struct Row {
        const char* name;
        Op first, second;
        BerthColour text, back;
    };
    const Op early = [](TBER& b) { b.SetEarly(); };
    const Op veryLate = [](TBER& b) { b.SetVeryLate(); };
    const Op late = [](TBER& b) { b.SetLate(); };
    const Op noPath = [](TBER& b) { b.SetNoARSPath(); };
    const Op onTime = [](TBER& b) { b.SetOnTime(); };
    const Row rows[] = {
        {"early then very late", early, veryLate, ClWhite, ClRed},
        {"very late then early", veryLate, early, ClWhite, ClGreen},
        {"late then no path", late, noPath, ClBlack, ClGrey},
        {"no path then late", noPath, late, ClBlack, ClYellow},
        {"late then on time", late, onTime, ClBlack, ClWhite},
        {"on time then early", onTime, early, ClWhite, ClGreen},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        r.first(*B1);
        r.second(*B1);
        EXPECT_EQ(B1->TextColour, r.text);
        EXPECT_EQ(B1->BackColour, r.back);
    }
    t->Broadcaster = &t.broadcaster;
    B1->SetOnTime();
    const std::size_t sent = t.broadcaster.Sent.size();
    B1->SetOnTime();
    B1->SetARSColour();
    B1->SetARSColour();
    EXPECT_EQ(t.broadcaster.Sent.size(), sent + 1) << "an unchanged colour was sent again";
    B1->SetARSRunningToColour();
    EXPECT_EQ(B1->Colour, ClOrange);
    B1->SetNonARSColour();
    EXPECT_EQ(B1->Colour, ClPink);
}

// In the delay mode the text stands on its background colour; after a new simulation
// it must still be legible.
TEST_F(BerthTest, DelayModeDescriptionIsLegibleAfterAReset) {
    t->Options().BERMode = BerModeDelay;
    t->ResetSimulation();
    EXPECT_NE(B1->TextColour, B1->BackColour);
    B1->Interpose("1A23");
    const Cell& c = t.surface.At(10, kRow);
    EXPECT_EQ(c.Code, '1');
    EXPECT_NE(c.Fg, c.Bg);
    // Colours from elsewhere (a file, a server) that coincide are still drawn legibly.
    B1->TextColour = ClGrey;
    B1->BackColour = ClGrey;
    B1->Draw();
    EXPECT_NE(t.surface.At(10, kRow).Fg, t.surface.At(10, kRow).Bg);
}

TEST_F(BerthTest, QueueChangesReachClients) {
    t->Broadcaster = &t.broadcaster;
    B3->Queue.push_back({B1, line.S1S2});
    B1->Interpose("1A23");
    t.Ticks(1);
    EXPECT_EQ(B3->Description, "") << "queue entry blocked by its route";
    line.S1S2->MarkSet();
    t.broadcaster.Sent.clear();
    t.Ticks(1);
    EXPECT_EQ(B3->Description, "1A23");
    ASSERT_FALSE(t.broadcaster.Sent.empty());
    bool sent = false;
    for (const std::string& m : t.broadcaster.Sent) sent |= m.rfind("BA00021A23", 0) == 0;
    EXPECT_TRUE(sent);
    // An unchanged queue sends nothing more.
    t.broadcaster.Sent.clear();
    t.Ticks(2);
    for (const std::string& m : t.broadcaster.Sent) EXPECT_NE(m.rfind("BA0002", 0), 0u) << m;
}

// ------------------------------------------------------------------ interpose, cancel

TEST_F(BerthTest, InterposeFormatsToFourUpperCaseCharacters) {
    struct Row {
        const char *in, *out;
    };
    for (const Row r : {Row{"ab", "AB  "}, Row{"abcdef", "ABCD"}, Row{"1a23", "1A23"},
                        Row{"\xBD"
                            "a",
                            "\xBD"
                            "A  "}}) {
        B1->Interpose(r.in);
        EXPECT_EQ(B1->Description, r.out);
    }
    B1->Interpose("   ");
    EXPECT_EQ(B1->Description, "") << "interposing nothing leaves an empty berth";
}

TEST_F(BerthTest, CancellingAnEmptyBerthStillRaisesItsRelease) {
    AddStep(*B2, B3, B1, {}, true);
    B2->Interpose("1A23");
    B1->CancelDescription();
    EXPECT_EQ(B3->Description, "1A23");
}

TEST_F(BerthTest, ClicksHitTheFirstThreeCellsOfADescribedBerthOnly) {
    EXPECT_FALSE(t->Berths.CheckLeftClick(10, kRow)) << "an empty berth reacted";
    B1->Interpose("1A23");
    for (int x = 10; x < 13; ++x) EXPECT_TRUE(t->Berths.CheckLeftClick(x, kRow)) << x;
    EXPECT_FALSE(t->Berths.CheckLeftClick(13, kRow));
    EXPECT_FALSE(t->Berths.CheckLeftClick(10, kRow + 1));
    t->Operator.PopupMenu = PopupMenuKind::None;
    EXPECT_TRUE(t->Berths.CheckRightClick(11, kRow));
    EXPECT_EQ(t->Operator.SelectedBerth, B1);
    EXPECT_EQ(t->Operator.SelectedDescription, "1A23");
    EXPECT_EQ(t->Operator.PopupMenu, PopupMenuKind::Berth);
}

// ------------------------------------------------------------------ drawing

TEST_F(BerthTest, EmptyBerthShowsItsCircuitsState) {
    const Cell& c = t.surface.At(10, kRow);
    B1->Draw();
    EXPECT_EQ(c.Code, 'a');
    EXPECT_EQ(c.Fg, ClGrey);
    line.T0->Occupy();
    EXPECT_EQ(c.Fg, ClRed);
    B1->EmptyStyle = EmptyCrosses;
    B1->Draw();
    EXPECT_EQ(t.surface.RowText(kRow, 10, 4), "xxxx");
    B1->Interpose("1A23");
    EXPECT_EQ(t.surface.RowText(kRow, 10, 4), "1A23");
    EXPECT_EQ(c.Fg, B1->Colour);
}

// ------------------------------------------------------------------ saved state, clients

TEST_F(BerthTest, SavedRecordRoundTripsAndACorruptOneChangesNothing) {
    B1->Interpose("1A23");
    B1->SetVeryLate();
    ValueWriter w;
    ASSERT_TRUE(t->Berths.Save(w));
    TestSim other;
    RailwayBuilder ob(*other);
    BuildPlainLine(ob);
    for (const char* id : {"B1", "B2", "B3"}) other->Berths.Create(*other, id);
    ValueReader r(w.Bytes());
    ASSERT_TRUE(other->Berths.Load(r));
    EXPECT_EQ(other->Berths.At(0)->Description, "1A23");
    EXPECT_EQ(other->Berths.At(0)->BackColour, ClRed);

    ValueWriter bad;
    bad.WriteInteger(-1);  // a colour with its top byte set
    bad.WriteInteger(0);
    bad.WriteInteger(0);
    bad.WriteString("ZZZZ");
    ValueReader br(bad.Bytes());
    EXPECT_FALSE(other->Berths.Load(br));
    EXPECT_EQ(other->Berths.At(0)->Description, "1A23");
    // Each colour in turn one above the largest of 24 bits, the other berths' whole.
    for (int which = 0; which < 3; ++which) {
        SCOPED_TRACE(which);
        ValueWriter wide;
        for (int berth = 0; berth < 3; ++berth) {
            for (int c = 0; c < 3; ++c)
                wide.WriteInteger(berth == 0 && c == which ? 0x1000000 : 0xFFFFFF);
            wide.WriteString("ZZZZ");
        }
        ValueReader wr(wide.Bytes());
        EXPECT_FALSE(other->Berths.Load(wr));
        EXPECT_EQ(other->Berths.At(0)->Description, "1A23");
    }
}

TEST_F(BerthTest, ClientAsksTheServerAndShowsOnlyWhatTheServerSends) {
    std::vector<std::string> requests;
    t->ServerLink = [&](const std::string& p) { requests.push_back(p); };
    t->ClientMode = true;
    B2->Interpose("ab");
    B2->CancelDescription();
    EXPECT_EQ(B2->Description, "");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], "BB0001ab  ");
    EXPECT_EQ(requests[1], "BC0001");
    // Steps do not run on a client.
    AddStep(*B1, B2, line.T1);
    B1->Description = "1A23";
    line.T1->Occupy();
    EXPECT_EQ(B2->Description, "");

    std::string state = "BA00011A23";
    for (BerthColour c : {ClCyan, ClRed, ClWhite})
        for (int i = 0; i < 4; ++i) state.push_back(static_cast<char>((c >> (8 * i)) & 0xFF));
    t->Berths.HandleClientMessage(state);
    EXPECT_EQ(B2->Description, "1A23");
    EXPECT_EQ(B2->Colour, ClCyan);
    EXPECT_EQ(B2->BackColour, ClRed);
    EXPECT_EQ(B2->TextColour, ClWhite);
    t->Berths.HandleClientMessage("BA00FF1A23");  // outside the list
    t->Berths.HandleClientMessage("BA0001");      // cut short
    EXPECT_EQ(B2->Description, "1A23");
}

TEST_F(BerthTest, ServerSendsEveryChangeAndActsOnClientRequests) {
    t->Broadcaster = &t.broadcaster;
    t->Berths.HandleClientMessage("BB00022b45");
    EXPECT_EQ(B3->Description, "2B45");
    ASSERT_FALSE(t.broadcaster.Sent.empty());
    EXPECT_EQ(t.broadcaster.Sent.back().substr(0, 10), "BA00022B45");
    EXPECT_EQ(t.broadcaster.Sent.back().size(), 22u);
    t->Berths.HandleClientMessage("BC0002");
    EXPECT_EQ(B3->Description, "");
    EXPECT_EQ(t.broadcaster.Sent.back().substr(0, 10), "BA0002    ");
}

// ------------------------------------------------------------------ the invariant checker

// Each describer invariant planted alone is reported; a clean describer reports nothing.
TEST_F(BerthTest, DescriberInvariantsReportEachPlantedFault) {
    B1->Interpose("1A23");
    B2->Interpose("2B45");
    EXPECT_TRUE(CheckDescriber(*t, t.surface).empty());
    struct Plant {
        const char* name;
        std::function<void()> apply, undo;
        DescriberRules rules;
    };
    const Plant plants[] = {
        {"undescribed train",
         [&] { B2->Description = "****", B2->Draw(); },
         [&] { B2->Interpose("2B45"); },
         {}},
        {"duplicate", [&] { B2->Interpose("1A23"); }, [&] { B2->Interpose("2B45"); }, {}},
        {"not redrawn", [&] { B2->Description = "3C67"; }, [&] { B2->Interpose("2B45"); }, {}},
        {"stale colour", [&] { B2->Colour = ClOrange; }, [&] { B2->Draw(); }, {}},
        {"not four characters",
         [&] { B2->Description = "2B", B2->Draw(); },
         [&] { B2->Interpose("2B45"); },
         {}},
    };
    for (const Plant& p : plants) {
        SCOPED_TRACE(p.name);
        p.apply();
        EXPECT_FALSE(CheckDescriber(*t, t.surface, p.rules).empty());
        p.undo();
        EXPECT_TRUE(CheckDescriber(*t, t.surface).empty());
    }
    // What the rules allow is not reported.
    B2->Description = "****";
    B2->Draw();
    DescriberRules undescribed;
    undescribed.UndescribedTrains = true;
    EXPECT_TRUE(CheckDescriber(*t, t.surface, undescribed).empty());
}

}  // namespace
}  // namespace kestra::test
