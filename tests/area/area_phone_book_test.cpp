// The built-in area's telephone directory: who is in it, and what each party answers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "area/area_builder.h"
#include "fakes/fakes.h"
#include "interlocking/track_circuit.h"
#include "places/location.h"
#include "sim/sim.h"
#include "timetable/timetable.h"
#include "timetable/timetable_text.h"

namespace kestra {
namespace {

const char* const kTimetable = R"(name Book
description Two trains from the west.
start 07:00
finish 09:00

category STOP accel 3 speed 75 length 80 power diesel desc Stopping passenger

train 2D01 STOP WEST 07:00
  OSTWK  07:01 07:02 plat 1 line DM
  VLMC   07:07 07:09 plat 2 line DM

train 2D03 STOP WEST 07:30
  OSTWK  07:31 07:32 plat 1 line DM
  VLMC   07:37 07:39 plat 2 line DM
)";

class AreaPhoneBook : public ::testing::Test {
  protected:
    AreaPhoneBook() { area::BuildArea(*t); }
    std::string Ask(const std::string& party, int request, const std::string& value = "") {
        const PhoneBookEntry* e = t->PhoneBook.Find(party);
        if (!e) {
            ADD_FAILURE() << "no " << party;
            return {};
        }
        RequestValues v;
        v[0] = value;
        return e->OnRequest(request, v);
    }
    test::TestSim t;
};

TEST_F(AreaPhoneBook, TheTechnicianTheFringesTheYardAndTheDepot) {
    std::vector<std::string> names;
    for (const PhoneBookEntry& e : t->PhoneBook.Entries) names.push_back(e.Name);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "Technician", "West main line control centre",
                         "East main line control centre", "Tarrow branch control centre",
                         "Harnforth Quarry control centre", "Ostwick Yard", "Vellmoor Depot"}));
    for (const PhoneBookEntry& e : t->PhoneBook.Entries) {
        EXPECT_FALSE(e.Requests.empty()) << e.Name;
        EXPECT_TRUE(e.OnRequest) << e.Name;
    }
}

TEST_F(AreaPhoneBook, TheTechnicianAnswersFromTheCurrentFailures) {
    EXPECT_EQ(Ask("Technician", 0), "No failures have been reported to us.");
    EXPECT_EQ(Ask("Technician", 1, "Ostwick"),
              "Nothing is wrong with our equipment in the Ostwick area.");
    EXPECT_EQ(Ask("Technician", 1, "Nowhere"), "We have no \"Nowhere\" area on our books.");
    // A circuit at Ostwick fails as a train leaves it.
    TTCS* circuit = nullptr;
    t->TrackCircuits.ForEach([&](TTCS& c) {
        const auto* l = dynamic_cast<const TLOC*>(c.Location);
        if (!circuit && l && l->Name == "Ostwick") circuit = &c;
    });
    ASSERT_NE(circuit, nullptr) << "the area gives its circuits their locations";
    t->Failures.SetFailureSettings(1, 1.0f, 0.0f, 0.0f);
    t->SimTime = 7 * 3600;
    circuit->Occupy();
    circuit->Vacate();
    ASSERT_EQ(t->Failures.Count(), 1);
    EXPECT_EQ(Ask("Technician", 1, "ostwick"),
              "We have just had an alarm from the Ostwick area; a technician is on the way.");
    EXPECT_EQ(Ask("Technician", 0), "No failures have been reported to us.") << "not yet detected";
    t.Ticks(60);
    const std::string working = Ask("Technician", 0);
    EXPECT_EQ(working.rfind("We are working on: a track circuit failure in the Ostwick area, "
                            "fixed by about ",
                            0),
              0u)
        << working;
    EXPECT_EQ(
        Ask("Technician", 1, "Ostwick")
            .rfind(
                "We know of the track circuit failure in the Ostwick area; it should be fixed by "
                "about ",
                0),
        0u);
}

TEST_F(AreaPhoneBook, AFringeControlCentreKnowsWhatItIsSending) {
    std::string error;
    ASSERT_TRUE(ImportTimetableText(*t, kTimetable, error)) << error;
    t->Timetable.ForEach([](TTimetable& tt) { tt.Delay = tt.ID == "2D01" ? 180 : 0; });
    const std::string west = "West main line control centre";
    EXPECT_EQ(Ask(west, 0), "2D01 is next, booked at 07:00, running 3 min(s) late.");
    EXPECT_EQ(Ask(west, 1, "2d03"), "2D03 is booked to you at 07:30, on time.");
    EXPECT_EQ(Ask(west, 1, "9Z99"), "We have no 9Z99 booked to you.");
    EXPECT_EQ(Ask(west, 1, ""), "Which train do you mean?");
    EXPECT_EQ(Ask("East main line control centre", 0),
              "Nothing more is booked to come to you from us today.");
    t->Timetable.ForEach([](TTimetable& tt) { tt.Entered = tt.ID == "2D01"; });
    EXPECT_EQ(Ask(west, 1, "2D01"), "2D01 has already gone through to you.");
    EXPECT_EQ(Ask(west, 0), "2D03 is next, booked at 07:30, on time.");
    EXPECT_EQ(Ask("Ostwick Yard", 3), "0 train(s) still to come out to you today.");
}

}  // namespace
}  // namespace kestra
