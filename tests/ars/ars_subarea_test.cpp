// ARS sub-areas: the indicator's clicks in every mode, its drawing, the drop out of
// effect after a signaller's route cancel, the client messages and the saved record.

#include "ars/ars_subarea.h"

#include <gtest/gtest.h>

#include <string>

#include "area/area_builder.h"
#include "display/palette.h"
#include "fakes/fakes.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "panel/commands.h"
#include "panel/panel.h"

namespace kestra {
namespace {

using test::LastMessage;
using test::TestSim;

// One sub-area at column 20, row 10 of screen 1, labelled to its right.
struct OneSubArea {
    TestSim t;
    TARS& a = t->ARSSubAreas.Create(*t);
    OperatorCommands commands{*t};
    OneSubArea() {
        a.SetPlacement(20, 10, ARSLabelRight, "WEST");
        t->Display().CurrentScreen = 1;
    }
    void Press(int column, int row, bool left) {
        commands.MousePress(column * CellWidth + CellWidth / 2, row * CellHeight + CellHeight / 2,
                            left ? MouseButton::Left : MouseButton::Right);
    }
};

TEST(ARSSubArea, ClicksHitTheStateCellAndOneEitherSideOnly) {
    OneSubArea f;
    f.a.AddExtraPosition(40, 12);
    EXPECT_TRUE(f.a.HitTest(19, 10));
    EXPECT_TRUE(f.a.HitTest(20, 10));
    EXPECT_TRUE(f.a.HitTest(21, 10));
    EXPECT_FALSE(f.a.HitTest(18, 10));  // the left collar mark
    EXPECT_FALSE(f.a.HitTest(22, 10));
    EXPECT_FALSE(f.a.HitTest(20, 11));
    EXPECT_TRUE(f.a.HitTest(41, 12));  // an extra position
    EXPECT_FALSE(f.a.HitTest(43, 12));
}

// What each click does in each mode and state, on a single-player panel.
TEST(ARSSubArea, ClicksInEveryModeAndState) {
    struct Case {
        const char* name;
        bool selected, inEffect, collared;
        bool reminder, isolation, left;
        bool wantSelected, wantInEffect, wantCollared;
        const char* message;
    };
    const Case cases[] = {
        {"on, right: off", true, true, false, false, false, false, false, false, false, ""},
        {"off, left: on", false, false, false, false, false, true, true, true, false, ""},
        {"dropped, left: back", true, false, false, false, false, true, true, true, false, ""},
        {"dropped, right: off", true, false, false, false, false, false, false, false, false, ""},
        {"collared off, left: refused", false, false, true, false, false, true, false, false, true,
         kSubareaCollared},
        {"collared on, right: off", true, true, true, false, false, false, false, false, true, ""},
        {"REM left: collar", true, true, false, true, false, true, true, true, true, ""},
        {"REM right: uncollar", false, false, true, true, false, false, false, false, false, ""},
        {"ISO left: refused", false, false, false, false, true, true, false, false, false,
         kCannotIsolateSubarea},
        {"ISO right: refused", true, true, false, false, true, false, true, true, false,
         kCannotRemoveIsolationSubarea},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OneSubArea f;
        f.a.Selected = c.selected;
        f.a.InEffect = c.inEffect;
        f.a.Collared = c.collared;
        f.t->Operator.ReminderMode = c.reminder;
        f.t->Operator.IsolationMode = c.isolation;
        f.Press(20, 10, c.left);
        EXPECT_EQ(f.a.Selected, c.wantSelected);
        EXPECT_EQ(f.a.InEffect, c.wantInEffect);
        EXPECT_EQ(f.a.Collared, c.wantCollared);
        if (*c.message) {
            EXPECT_EQ(LastMessage(f.t), c.message);
        }
        // The click ends the signalling modes.
        EXPECT_FALSE(f.t->Operator.ReminderMode);
        EXPECT_FALSE(f.t->Operator.IsolationMode);
    }
}

TEST(ARSSubArea, AnUnavailableSubAreaIsSelectedButNotInEffect) {
    OneSubArea f;
    f.a.Available = false;
    f.a.SetSelected(true);
    EXPECT_TRUE(f.a.Selected);
    EXPECT_FALSE(f.a.InEffect);
    f.a.SetInEffect(true);  // never in effect without the switch... and with it, as given
    f.a.SetSelected(false);
    f.a.SetInEffect(true);
    EXPECT_FALSE(f.a.InEffect) << "in effect while not selected";
}

TEST(ARSSubArea, DrawsStateLampCollarsAndLabelAndFlashesWhenDropped) {
    OneSubArea f;
    auto& s = f.t.surface;
    f.a.Draw();
    EXPECT_EQ(s.At(19, 10).Code, 'S');
    EXPECT_EQ(s.At(20, 10).Code, 'q');
    EXPECT_EQ(s.At(20, 10).Fg, ClPink);
    EXPECT_EQ(s.RowText(10, 23, 4), "WEST");
    EXPECT_EQ(s.At(23, 10).Fg, ClPink);
    EXPECT_NE(s.At(18, 10).Code, ']');

    f.a.SetSelected(false);
    EXPECT_EQ(s.At(20, 10).Code, 'p');
    EXPECT_EQ(s.At(20, 10).Fg, ClGrey);
    f.a.SetCollared(true);
    EXPECT_EQ(s.At(18, 10).Code, ']');
    EXPECT_EQ(s.At(18, 10).Fg, ClYellow);
    EXPECT_EQ(s.At(21, 10).Code, '[');

    // Dropped out of effect by a route cancel: the lamp flashes with the cycle.
    f.a.SetCollared(false);
    f.a.SetSelected(true);
    EXPECT_TRUE(f.a.SetInactive());
    EXPECT_FALSE(f.a.SetInactive()) << "already out of effect";
    f.t.Ticks(1);
    const Colour first = s.At(20, 10).Fg;
    f.t.Ticks(1);
    const Colour second = s.At(20, 10).Fg;
    EXPECT_NE(first, second);
    EXPECT_TRUE((first == ClPink && second == ClBlack) || (first == ClBlack && second == ClPink));
    EXPECT_EQ(s.At(20, 10).Code, 'q');
}

TEST(ARSSubArea, ListIsActiveOnlyWhenEveryMemberIsInEffect) {
    TestSim t;
    EXPECT_TRUE(t->ARSSubAreas.IsActive()) << "an empty list is active";
    TARS& a = t->ARSSubAreas.Create(*t);
    TARS& b = t->ARSSubAreas.Create(*t);
    EXPECT_TRUE(t->ARSSubAreas.IsActive());
    b.SetInactive();
    EXPECT_FALSE(t->ARSSubAreas.IsActive());
    EXPECT_TRUE(t->ARSSubAreas.SetInactive()) << "a was still in effect";
    EXPECT_FALSE(t->ARSSubAreas.SetInactive());
    EXPECT_FALSE(a.InEffect);
    t->ResetSimulation();
    EXPECT_TRUE(a.Selected && a.InEffect && b.InEffect && !a.Collared);
}

TEST(ARSSubArea, SavedRecordRoundTripsAndNeverLoadsInEffectWithoutSelected) {
    TestSim t;
    TARS& a = t->ARSSubAreas.Create(*t);
    a.SetSelected(true);
    a.SetCollared(true);
    a.SetInactive();
    ValueWriter w;
    ASSERT_TRUE(a.Save(w));
    TARS& b = t->ARSSubAreas.Create(*t);
    ValueReader r(w.Bytes());
    ASSERT_TRUE(b.Load(r));
    EXPECT_EQ(b.StateBits(), a.StateBits());

    // Bits: in effect and available, not selected.
    ValueWriter bad;
    bad.WriteInteger(ARSBitAvailable | ARSBitInEffect);
    bad.WriteInteger(7);
    ValueReader rb(bad.Bytes());
    ASSERT_TRUE(b.Load(rb));
    EXPECT_FALSE(b.InEffect);
    EXPECT_TRUE(b.Collared) << "any non-zero collar value is collared";

    // A record cut short changes nothing.
    const std::uint8_t before = b.StateBits();
    ValueWriter cut;
    cut.WriteInteger(ARSBitSelected);
    ValueReader rc(cut.Bytes());
    EXPECT_FALSE(b.Load(rc));
    EXPECT_EQ(b.StateBits(), before);
}

// The server acts only on the four requests, each exactly six characters; a client
// acts only on a state message of exactly seven. Unknown codes change nothing.
TEST(ARSSubAreaMessages, EachSideAcceptsOnlyItsOwnExactCodes) {
    TestSim server;
    TARS& s = server->ARSSubAreas.Create(*server);
    TARSList& list = server->ARSSubAreas;
    EXPECT_EQ(list.HandleClientMessage("AZ0000"), "");
    EXPECT_TRUE(s.Selected && s.InEffect) << "an unknown code switched ARS off";
    list.HandleClientMessage(std::string("AD0000") + char(0));
    EXPECT_TRUE(s.Selected) << "a server took a state message";
    list.HandleClientMessage("AH0000X");
    EXPECT_TRUE(s.Selected) << "a request with a tail was taken";
    list.HandleClientMessage("AH0001");
    EXPECT_TRUE(s.Selected) << "a position outside the list was taken";
    list.HandleClientMessage("AH0000");
    EXPECT_FALSE(s.Selected);
    list.HandleClientMessage("AI0000");
    EXPECT_TRUE(s.Collared);
    // A collared sub-area refuses the client's switch-on; the text goes back to the
    // client and the server shows nothing.
    const std::size_t shown = test::MessageTexts(server).size();
    EXPECT_EQ(list.HandleClientMessage("AG0000"), kSubareaCollared);
    EXPECT_FALSE(s.Selected);
    EXPECT_EQ(test::MessageTexts(server).size(), shown);
    list.HandleClientMessage("AJ0000");
    EXPECT_EQ(list.HandleClientMessage("AG0000"), "");
    EXPECT_TRUE(s.Selected && s.InEffect);

    TestSim client;
    client->ClientMode = true;
    TARS& c = client->ARSSubAreas.Create(*client);
    TARSList& cl = client->ARSSubAreas;
    cl.HandleClientMessage("AH0000");
    EXPECT_TRUE(c.Selected) << "a client acted on a request";
    cl.HandleClientMessage(std::string("AD0000") + char(ARSBitSelected | ARSBitCollared));
    EXPECT_TRUE(c.Selected && c.Collared && !c.InEffect && !c.Available);
    cl.HandleClientMessage(std::string("AD0000") + char(ARSBitInEffect | ARSBitAvailable));
    EXPECT_FALSE(c.InEffect) << "in effect without selected";
    const std::uint8_t before = c.StateBits();
    cl.HandleClientMessage(std::string("AD0000") + char(0x31));
    cl.HandleClientMessage(std::string("AD0000") + char(1) + char(1));
    cl.HandleClientMessage("AD0000");
    EXPECT_EQ(c.StateBits(), before) << "a malformed state message was applied";
}

TEST(ARSSubAreaMessages, ClientClicksBecomeRequestsAndServerChangesAreBroadcast) {
    OneSubArea f;
    std::vector<std::string> sent;
    f.t->ClientMode = true;
    f.t->ServerLink = [&](const std::string& p) { sent.push_back(p); };
    f.Press(20, 10, true);
    f.Press(20, 10, false);
    f.t->Operator.ReminderMode = true;
    f.Press(20, 10, true);
    f.t->Operator.ReminderMode = true;
    f.Press(20, 10, false);
    EXPECT_EQ(sent, (std::vector<std::string>{"AG0000", "AH0000", "AI0000", "AJ0000"}));
    EXPECT_TRUE(f.a.Selected) << "a client changed its own copy";

    OneSubArea g;
    g.t->Broadcaster = &g.t.broadcaster;
    g.a.SetCollared(true);
    ASSERT_FALSE(g.t.broadcaster.Sent.empty());
    EXPECT_EQ(g.t.broadcaster.Sent.back(),
              std::string("AD0000") +
                  char(ARSBitSelected | ARSBitAvailable | ARSBitInEffect | ARSBitCollared));
}

// The built-in area: its indicators, each route's sub-areas, the signaller's cancel and
// the scenario without ARS.
TEST(ARSSubAreaArea, RoutesLieInSubAreasAndACancelDropsThemOutOfEffect) {
    TestSim t;
    auto built = area::BuildArea(*t);
    ASSERT_GE(t->ARSSubAreas.Count(), 4);
    int placed = 0;
    for (int i = 0; i < t->Routes.Count(); ++i) {
        const TROU& r = *t->Routes.At(i);
        if (r.Class == RcAutomatic) continue;
        EXPECT_FALSE(r.ARSSubAreas.empty()) << r.ID;
        placed += r.ARSSubAreas.size() > 1;
    }
    EXPECT_GT(placed, 0) << "no route lies in two sub-areas";
    // A route in two sub-areas, set and cancelled by the signaller.
    TROU* two = nullptr;
    for (int i = 0; i < t->Routes.Count() && !two; ++i) {
        TROU& r = *t->Routes.At(i);
        if (r.Class == RcMain && r.ARSSubAreas.size() == 2 && r.IsAvailable()) two = &r;
    }
    ASSERT_NE(two, nullptr);
    ASSERT_TRUE(two->SetRoute()) << t->LastFailReason;
    t.Ticks(12);
    t->QueueRequest("QD", two->Entrance, nullptr, 0);
    t.Ticks(2);
    const auto count = [&](const std::string& text) {
        int n = 0;
        for (const std::string& m : test::MessageTexts(t)) n += m == text;
        return n;
    };
    EXPECT_EQ(count("ARS subarea(s) cancelled due to route cancel"), 1);
    for (ARSSubAreaLink* l : two->ARSSubAreas) {
        const TARS& a = *static_cast<TARS*>(l);
        EXPECT_TRUE(a.Selected);
        EXPECT_FALSE(a.InEffect) << a.Label;
    }
    // Already out of effect: a second cancel says nothing.
    t.Ticks(8);
    ASSERT_TRUE(two->SetRoute()) << t->LastFailReason;
    t.Ticks(12);
    t->QueueRequest("QD", two->Entrance, nullptr, 0);
    t.Ticks(2);
    EXPECT_EQ(count("ARS subarea(s) cancelled due to route cancel"), 1);
}

TEST(ARSSubAreaArea, TheScenarioWithoutARSSwitchesEverySubAreaOffAndCollarsIt) {
    TestSim t;
    auto built = area::BuildArea(*t);
    const std::vector<std::string> names = area::ScenarioNames();
    int noARS = -1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].find("ARS") != std::string::npos) noARS = static_cast<int>(i);
    }
    ASSERT_GE(noARS, 0);
    ASSERT_TRUE(t->Hooks.ScenarioHook);
    t->Hooks.ScenarioHook(noARS);
    t->ARSSubAreas.ForEach([](const TARS& a) {
        EXPECT_TRUE(a.Collared) << a.Label;
        EXPECT_FALSE(a.Selected) << a.Label;
        EXPECT_FALSE(a.InEffect) << a.Label;
    });
    EXPECT_FALSE(t->ARSSubAreas.IsActive());
}

}  // namespace
}  // namespace kestra
