// The readable text form: parsing, its errors with line numbers, and the round trip
// text -> file -> text -> file.

#include "timetable/timetable_text.h"

#include <gtest/gtest.h>

#include <string>

#include "timetable/timetable_file.h"
#include "timetable_fixture.h"

namespace kestra {
namespace {

using testing_tt::TimetableFixture;

const char* kSample = R"(# A small day
name Sample day
description Two trains\x7Cand a comment \# not a comment
start 07:00
finish 25:30

category EXP accel 2 speed 100 length 200 power overhead+diesel desc Express passenger
category FRT accel 0 speed 60 length 400 power diesel freight

train 1A05 EXP W 10:00 delay -45 desc The morning express
  A 10:02 10:02:30 plat 1 eng 1.5 allow 0.5
  *T - 10:05 pass down
  B 10:10 10:11 plat 2 line DM path X next service 2T11
  C 10:20 - divide into 2T12 divide front into 2T13 join 1A99

train 6M21 FRT - 24:10 speed 45 nonfreight as-required percent 30 stp warned reserved 7
  A - 24:10
  B 24:30 -   # arrives after midnight
)";

TEST(TimetableText, ParsesEveryField) {
    TimetableFixture f;
    std::string error;
    ASSERT_TRUE(ImportTimetableText(*f.sim, kSample, error)) << error;
    const Sim& sim = *f.sim;
    EXPECT_EQ(sim.Timetable.Name, "Sample day");
    EXPECT_EQ(sim.Timetable.Description, "Two trains|and a comment # not a comment");
    EXPECT_EQ(sim.Timetable.FinishTime, 25 * 3600 + 1800);
    ASSERT_EQ(sim.Categories.Count(), 2);
    EXPECT_EQ(sim.Categories.At(0)->PowerTypes, PowerOverhead | PowerDiesel);
    EXPECT_TRUE(sim.Categories.At(1)->IsFreight);
    ASSERT_EQ(sim.Timetable.Count(), 2);
    const TTimetable& a = *sim.Timetable.At(0);
    EXPECT_EQ(a.ID, "1A05");
    EXPECT_EQ(a.EntryPoint, f.W);
    EXPECT_EQ(a.EntryTime, 36000);
    EXPECT_EQ(a.Delay, -45);
    EXPECT_EQ(a.MaxSpeed, 100);
    EXPECT_EQ(a.Description, "The morning express");
    ASSERT_EQ(a.Trips.Count(), 4);
    EXPECT_EQ(a.Trips.Items[0].DepTime, 36150);
    EXPECT_EQ(a.Trips.Items[0].EngAllowance, 3);
    EXPECT_EQ(a.Trips.Items[0].PathAllowance, 1);
    EXPECT_TRUE(a.Trips.Items[1].AutoInserted);
    EXPECT_TRUE(a.Trips.Items[1].IsPass);
    EXPECT_TRUE(a.Trips.Items[1].DownDirection);
    EXPECT_EQ(a.Trips.Items[2].Path, "X");
    EXPECT_EQ(NextTrainOf(a.Trips.Items[2]), "2T11");
    EXPECT_EQ(a.Trips.Items[3].DepTime, a.Trips.Items[3].ArrTime);
    EXPECT_EQ(a.Trips.Items[3].Activities.FormatText(), "DR:2T12 DF:2T13  J:1A99 ");
    const TTimetable& b = *sim.Timetable.At(1);
    EXPECT_EQ(b.EntryPoint, nullptr);
    EXPECT_EQ(b.MaxSpeed, 45);
    EXPECT_FALSE(b.IsFreight);
    EXPECT_EQ(b.Length, 400);
    EXPECT_TRUE(b.AsRequired && b.STP && b.DelayWarned);
    EXPECT_EQ(b.AsRequiredPercent, 30);
    EXPECT_EQ(b.Reserved, 7);
    EXPECT_EQ(b.Trips.Items[1].ArrTime, 24 * 3600 + 1800);
}

TEST(TimetableText, RoundTripTextFileTextFileIsByteIdentical) {
    TimetableFixture f1;
    std::string error;
    ASSERT_TRUE(ImportTimetableText(*f1.sim, kSample, error)) << error;
    const std::vector<std::uint8_t> wtt1 = TimetableFileBytes(*f1.sim);

    TimetableFixture f2;
    ASSERT_TRUE(LoadTimetableBytes(*f2.sim, wtt1, &error)) << error;
    std::string text;
    ASSERT_TRUE(ExportTimetableText(*f2.sim, text, error)) << error;

    TimetableFixture f3;
    ASSERT_TRUE(ImportTimetableText(*f3.sim, text, error)) << error << "\n" << text;
    EXPECT_EQ(TimetableFileBytes(*f3.sim), wtt1) << text;
    std::string again;
    ASSERT_TRUE(ExportTimetableText(*f3.sim, again, error));
    EXPECT_EQ(again, text);
}

TEST(TimetableText, OddCodesAndTextSurviveTheRoundTrip) {
    TimetableFixture f1;
    f1.sim->Timetable.Name = " lead#ing\\ and \xBD ";
    TTimetable& t = f1.EnteringTrain("-");
    t.Trips.Items[0].Platform = "a b";
    t.Trips.Items[0].Line = "-";
    t.Trips.Items[0].Activities.Items.push_back({ActJoins, ""});
    t.Trips.Items[0].EngAllowance = -3;
    t.Trips.Items.back().DepTime = t.Trips.Items.back().ArrTime;
    std::string text, error;
    ASSERT_TRUE(ExportTimetableText(*f1.sim, text, error)) << error;
    TimetableFixture f2;
    ASSERT_TRUE(ImportTimetableText(*f2.sim, text, error)) << error << "\n" << text;
    EXPECT_EQ(TimetableFileBytes(*f2.sim), TimetableFileBytes(*f1.sim)) << text;
}

TEST(TimetableText, ErrorsGiveTheLineNumberAndChangeNothing) {
    struct Case {
        std::string Text;
        std::string Error;
    };
    const Case cases[] = {
        {"name x\n  A 10:00 10:01\n",
         "line 2: \"A\" is not an item, and there is no train for it to be a trip of"},
        {"train 1A05 - W 10:00\n  A 10:00\n", "line 2: a trip needs: location arrival departure"},
        {"train 1A05 - W 10:00\n  Q 10:00 10:01\n", "line 2: train 1A05: unknown location Q"},
        {"\n\ntrain 1A05 - NORTH 10:00\n", "line 3: train 1A05: unknown entry point NORTH"},
        {"train 1A05 XYZ W 10:00\n", "line 1: train 1A05: unknown category XYZ"},
        {"train 1A05 - W 10:61\n", "line 1: bad time \"10:61\""},
        {"train 1A05 - W 10:60\n", "line 1: bad time \"10:60\""},
        {"train 1A05 - W 10:00:60\n", "line 1: bad time \"10:00:60\""},
        {"train 1A05 - W 10:00\n  A - -\n",
         "line 2: a trip without arrival needs a departure time"},
        {"train 1A05 - W 10:00 fast\n", "line 1: unknown train option \"fast\""},
        {"train 1A05 - W 10:00\n  A 10:00 10:01 plat\n", "line 2: \"plat\" needs a value"},
        {"train 1A05 - W 10:00\n  A 10:00 10:01 next 2T11\n",
         "line 2: write \"next service HEADCODE\""},
        {"category C accel 7\n", "line 1: accel must be 0 to 4"},
        {"category C\ncategory C\n", "line 2: category C is defined twice"},
        {"train 1A05 - W 10:00 power steam\n", "line 1: unknown power type \"steam\""},
        {"start 99999999999:00\n", "line 1: bad time \"99999999999:00\""},
        {"train 1A05 - W 10:00 delay 99999999999\n", "line 1: bad number \"99999999999\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        TimetableFixture f;
        f.sim->Timetable.Name = "Before";
        std::string error;
        EXPECT_FALSE(ImportTimetableText(*f.sim, c.Text, error));
        EXPECT_EQ(error, c.Error);
        EXPECT_EQ(f.sim->Timetable.Name, "Before");
        EXPECT_EQ(f.sim->Timetable.Count(), 0);
        EXPECT_EQ(f.sim->Categories.Count(), 0);
    }
}

TEST(TimetableText, NegativeTimesHaveNoTextForm) {
    TimetableFixture f;
    f.EnteringTrain("1A05", -5);
    std::string text, error;
    EXPECT_FALSE(ExportTimetableText(*f.sim, text, error));
    EXPECT_NE(error.find("negative time"), std::string::npos);
}

}  // namespace
}  // namespace kestra
