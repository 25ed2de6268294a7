// A load that fails part-way must leave the simulation exactly as it was: no object
// of the list changed, not even those whose records were read before the failure,
// and nothing redrawn or sent to clients.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "interlocking/speed_restriction.h"

namespace kestra {
namespace {

using test::BuildDoubleJunction;
using test::DoubleJunction;
using test::RailwayBuilder;
using test::TestSim;
using Bytes = std::vector<std::uint8_t>;

// A double junction in a simulation, with its objects at hand.
struct Junction {
    Junction() {
        t->SimData.ScreenCount = 1;
        f = BuildDoubleJunction(b);
        t.Ticks(2);
    }
    void SetRoute(TSIG& from, TSIG& to) {
        const RouteRequestResult r = RouteRequest(*t, from, to, 0);
        ASSERT_TRUE(r.Set) << t->LastFailReason;
    }
    static void Restrict(TTSRList& list, TSSIObject* owner, double mph, std::int32_t from,
                         std::int32_t to) {
        auto tsr = std::make_unique<TTSR>();
        tsr->FreightSpeed = mph / 2.25;
        tsr->PassengerSpeed = mph / 2.25 + 0.123456789;  // low mantissa bits in use
        tsr->FromPosition = from;
        tsr->ToPosition = to;
        list.Place(std::move(tsr), owner);
    }

    TestSim t;
    RailwayBuilder b{*t};
    DoubleJunction f{};
};

// The state whose records are read: something away from the start state in the first
// objects of every list, so that applying even the first record would show.
void MakeSourceState(Junction& j) {
    DoubleJunction& f = j.f;
    j.SetRoute(*f.SA, *f.SB);  // calls P1 reverse
    j.SetRoute(*f.S0, *f.SA);
    j.t.Ticks(12);
    f.T0->Occupy();
    f.TD->Occupy();
    f.TA->SetISOType(IsoEng);
    f.S0->SetCollar(2);
    f.SD->SetCollar(1);
    f.P2->SetReminder(true);
    Junction::Restrict(f.T0->TSRs, f.T0, 20, 0, 0);
    Junction::Restrict(f.T0->TSRs, f.T0, 45, 0, 0);
    Junction::Restrict(f.T0ab->TSRs, f.T0ab, 30, 10, 150);
    Junction::Restrict(f.TD2ba->TSRs, f.TD2ba, 15, 0, 90);
    j.t.Ticks(2);
}

// The state a failed load must leave alone: other routes, collars and restrictions.
void MakeTargetState(Junction& j) {
    DoubleJunction& f = j.f;
    j.SetRoute(*f.SMd, *f.SD);
    j.t.Ticks(12);
    f.TB2->Occupy();
    f.SB->SetCollar(3);
    f.P1->SetReminder(true);
    Junction::Restrict(f.TX->TSRs, f.TX, 50, 0, 0);
    Junction::Restrict(f.TDba->TSRs, f.TDba, 25, 5, 60);
    j.t.Ticks(2);
}

struct Section {
    const char* name;
    std::function<bool(Sim&, ValueWriter&)> save;
    std::function<bool(Sim&, ValueReader&)> load;
    // The objects of the section, for the one-object loads; none for the whole file.
    std::function<TSSIList*(Sim&)> list;
};

Section ListSection(const char* name, TSSIList& (*of)(Sim&)) {
    return {name, [of](Sim& s, ValueWriter& w) { return of(s).Save(w); },
            [of](Sim& s, ValueReader& r) { return of(s).Load(r); },
            [of](Sim& s) { return &of(s); }};
}

void PrintTo(const Section& section, std::ostream* os) {
    *os << section.name;
}

// Every class list that writes records (a circuit's and a subroute's records hold
// their speed restrictions). Overlaps and panel labels write no record of their own;
// they take part in the whole object sections.
std::vector<Section> ListSections() {
    return {
        ListSection("track circuits", [](Sim& s) -> TSSIList& { return s.TrackCircuits; }),
        ListSection("points", [](Sim& s) -> TSSIList& { return s.Points; }),
        ListSection("subroutes", [](Sim& s) -> TSSIList& { return s.Subroutes; }),
        ListSection("routes", [](Sim& s) -> TSSIList& { return s.Routes; }),
        ListSection("signals", [](Sim& s) -> TSSIList& { return s.Signals; }),
    };
}

// The lists and, together, every object section of a saved simulation.
std::vector<Section> Sections() {
    std::vector<Section> all = ListSections();
    all.push_back({"every object section",
                   [](Sim& s, ValueWriter& w) { return s.SaveObjectSections(w); },
                   [](Sim& s, ValueReader& r) { return s.LoadObjectSections(r); }, nullptr});
    return all;
}

std::string SectionName(const ::testing::TestParamInfo<Section>& info) {
    std::string name;
    for (const char* c = info.param.name; *c; ++c) {
        if (*c != ' ') name += *c;
    }
    return name;
}

Bytes Saved(Sim& s, const Section& section) {
    ValueWriter w;
    EXPECT_TRUE(section.save(s, w)) << section.name;
    return w.Bytes();
}

// Everything the target shows of itself: every object section and the clock.
Bytes WholeState(Sim& s) {
    ValueWriter w;
    EXPECT_TRUE(s.SaveObjectSections(w));
    w.WriteInteger(s.SimTime);
    return w.Bytes();
}

class LoadAtomicTest : public ::testing::TestWithParam<Section> {
  protected:
    LoadAtomicTest() {
        MakeSourceState(source);
        MakeTargetState(target);
        target.t->Broadcaster = &target.t.broadcaster;
    }
    Junction source;
    Junction target;
};

TEST_P(LoadAtomicTest, CutAnywhereFailsAndChangesNothing) {
    const Section& section = GetParam();
    const Bytes full = Saved(*source.t, section);
    const Bytes before = WholeState(*target.t);
    ASSERT_NE(Saved(*target.t, section), full) << "the two states must differ";

    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        const Bytes part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        const int drawn = target.t.surface.GlyphCount + target.t.surface.FillCount;
        const std::size_t sent = target.t.broadcaster.Sent.size();
        ValueReader r(part);
        EXPECT_FALSE(section.load(*target.t, r)) << section.name << " cut at " << cut;
        // Stop at the first cut that changes anything: the rest would only repeat it.
        ASSERT_EQ(WholeState(*target.t), before)
            << section.name << " changed by a load cut at " << cut << " of " << full.size();
        ASSERT_EQ(target.t.surface.GlyphCount + target.t.surface.FillCount, drawn)
            << section.name << " redrawn by a load cut at " << cut;
        ASSERT_EQ(target.t.broadcaster.Sent.size(), sent)
            << section.name << " sent to clients by a load cut at " << cut;
    }

    // The whole record loads, and then the target saves exactly what was read.
    ValueReader r(full);
    ASSERT_TRUE(section.load(*target.t, r)) << section.name;
    EXPECT_TRUE(r.AtEnd());
    EXPECT_EQ(Saved(*target.t, section), full) << section.name;
}

using LoadAtomicObjectTest = LoadAtomicTest;

TEST_P(LoadAtomicObjectTest, CutObjectRecordLeavesThatObjectAlone) {
    const Section& section = GetParam();
    ASSERT_TRUE(section.list);
    TSSIList& from = *section.list(*source.t);
    TSSIList& into = *section.list(*target.t);
    ASSERT_EQ(from.Count(), into.Count());
    for (int i = 0; i < from.Count(); ++i) {
        ValueWriter w;
        ASSERT_TRUE(from.GetItem(i)->Save(w));
        const Bytes full = w.Bytes();
        TSSIObject& object = *into.GetItem(i);
        ValueWriter mine;
        ASSERT_TRUE(object.Save(mine));
        for (std::size_t cut = 0; cut < full.size(); ++cut) {
            const Bytes part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
            ValueReader r(part);
            EXPECT_FALSE(object.Load(r)) << section.name << " " << i << " cut at " << cut;
            ValueWriter after;
            ASSERT_TRUE(object.Save(after));
            ASSERT_EQ(after.Bytes(), mine.Bytes())
                << section.name << " " << object.ID << " changed by a cut at " << cut;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryClass, LoadAtomicTest, ::testing::ValuesIn(Sections()), SectionName);
INSTANTIATE_TEST_SUITE_P(EveryClass, LoadAtomicObjectTest, ::testing::ValuesIn(ListSections()),
                         SectionName);

// A record that reads but makes no sense (both positions detected) is refused as a
// whole: the other points read before it keep their state.
TEST(LoadAtomicCorruptTest, CorruptLaterRecordKeepsEarlierObjects) {
    Junction source, target;
    MakeSourceState(source);
    ValueWriter w;
    ASSERT_TRUE(source.t->Points.GetItem(0)->Save(w));
    w.WriteInteger(0);
    w.WriteInteger(0);
    WriteFlagSet(w, {false, false, true, true});  // detected normal and reverse
    const Bytes before = WholeState(*target.t);
    ValueReader r(w.Bytes());
    EXPECT_FALSE(target.t->Points.Load(r));
    EXPECT_EQ(WholeState(*target.t), before);
}

}  // namespace
}  // namespace kestra
