#include <gtest/gtest.h>

#include <memory>

#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"

namespace kestra {
namespace {

using test::PlainLine;
using test::RailwayBuilder;
using test::TestSim;

class SpeedRestrictionTest : public ::testing::Test {
  protected:
    SpeedRestrictionTest() : build(*t), line(BuildPlainLine(build)) {}
    std::unique_ptr<TTSR> Make(const char* id, double mph, std::int32_t from, std::int32_t to) {
        auto tsr = std::make_unique<TTSR>();
        tsr->ID = id;
        tsr->FreightSpeed = MphToMetresPerSecond(mph);
        tsr->PassengerSpeed = MphToMetresPerSecond(mph + 10);
        tsr->FromPosition = from;
        tsr->ToPosition = to;
        return tsr;
    }
    TestSim t;
    RailwayBuilder build;
    PlainLine line;
};

TEST_F(SpeedRestrictionTest, BlankAndCopy) {
    auto a = Make("TSR1", 20, 100, 200);
    a->Owner = line.T1ab;
    TTSR b;
    b.CopyRestriction(*a);
    EXPECT_EQ(b.ID, "TSR1");
    EXPECT_EQ(b.Owner, line.T1ab);
    EXPECT_EQ(b.ToPosition, 200);
    EXPECT_DOUBLE_EQ(b.FreightSpeed, 20 / 2.25);
    b.MakeBlank();
    EXPECT_TRUE(b.ID.empty());
    EXPECT_EQ(b.Owner, nullptr);
    EXPECT_EQ(b.FreightSpeed, 0);
    EXPECT_EQ(b.FromPosition, 0);
}

TEST_F(SpeedRestrictionTest, PlacedAtTheFrontMovedBetweenOwnersAndRemoved) {
    TTSRList& sub = line.T1ab->TSRs;
    TTSRList& circuit = line.T2->TSRs;
    TTSR& first = sub.Place(Make("A", 20, 0, 50), line.T1ab);
    sub.Place(Make("B", 30, 60, 90), line.T1ab);
    ASSERT_EQ(sub.Count(), 2);
    EXPECT_EQ(sub.At(0)->ID, "B");  // the newest first
    EXPECT_EQ(first.Owner, line.T1ab);

    circuit.Place(Make("C", 40, 0, 0), line.T2);
    TTSR* moved = sub.MoveTo(&first, circuit, line.T2);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(sub.Count(), 1);
    ASSERT_EQ(circuit.Count(), 2);
    EXPECT_EQ(circuit.At(0), moved);
    EXPECT_EQ(moved->ID, "A");
    EXPECT_EQ(moved->Owner, line.T2);
    EXPECT_EQ(moved->ToPosition, 50);
    EXPECT_EQ(sub.MoveTo(moved, circuit, line.T2), nullptr);  // not on that list

    circuit.Remove(moved);
    ASSERT_EQ(circuit.Count(), 1);
    EXPECT_EQ(circuit.At(0)->ID, "C");
    circuit.Remove(nullptr);
    EXPECT_EQ(circuit.Count(), 1);

    // Saved with the subroute, a restriction comes back without its identity.
    ValueWriter w;
    ASSERT_TRUE(line.T1ab->Save(w));
    line.T1ab->Reset();
    EXPECT_TRUE(sub.Empty());
    ValueReader r(w.Bytes());
    ASSERT_TRUE(line.T1ab->Load(r));
    ASSERT_EQ(sub.Count(), 1);
    EXPECT_TRUE(sub.At(0)->ID.empty());
    EXPECT_EQ(MetresPerSecondToMph(sub.At(0)->FreightSpeed), 30);
    EXPECT_TRUE(sub.At(0)->Covers(75));
    EXPECT_FALSE(sub.At(0)->Covers(91));
}

}  // namespace
}  // namespace kestra
