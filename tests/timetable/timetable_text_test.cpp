// The readable text form: parsing, its errors with line numbers, and the round trip
// text -> file -> text -> file.

#include "timetable/timetable_text.h"

#include <gtest/gtest.h>

#include <chrono>
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

# The trains 1A05 hands over to.
train 2T11 EXP - 10:30
train 2T12 EXP - 10:30
train 2T13 EXP - 10:30
train 1A99 EXP - 10:30
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
    ASSERT_EQ(sim.Timetable.Count(), 6);
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
    t.MaxSpeed = 60;
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
    // A train line the trip cases build on: it has a speed, so it can run.
    const std::string T = "train 1A05 - W 10:00 speed 75\n";
    const Case cases[] = {
        {"name x\n  A 10:00 10:01\n",
         "line 2: \"A\" is not an item, and there is no train for it to be a trip of"},
        {T + "  A 10:00\n",
         "line 2: train 1A05: a trip needs: location arrival departure (\"-\" for no arrival)"},
        {T + "  Q 10:00 10:01\n",
         "line 2: train 1A05: unknown location Q; the locations are: A (Alpha), B (Bravo), C "
         "(Charlie), T (Tango)"},
        {"\n\ntrain 1A05 - NORTH 10:00\n",
         "line 3: train 1A05: unknown entry point NORTH; the entry points are: W (West) (\"-\" "
         "for a train that starts in the area)"},
        {"train 1A05 XYZ W 10:00\n",
         "line 1: train 1A05: unknown category XYZ; the categories are: none (define one with a "
         "\"category\" line)"},
        {"category EXP speed 90\ncategory FRT speed 50\ntrain 1A05 XYZ W 10:00\n",
         "line 3: train 1A05: unknown category XYZ; the categories are: EXP, FRT"},
        {"train 1A05 - W 10:61\n", "line 1: train 1A05: bad time \"10:61\""},
        {"train 1A05 - W 10:60\n", "line 1: train 1A05: bad time \"10:60\""},
        {"train 1A05 - W 10:00:60\n", "line 1: train 1A05: bad time \"10:00:60\""},
        {T + "  A - -\n", "line 2: train 1A05: a trip without arrival needs a departure time"},
        {"train 1A05 - W 10:00 fast\n",
         "line 1: train 1A05: unknown train option \"fast\": write accel, speed, length, power, "
         "freight, nonfreight, as-required, percent, stp, delay, warned, reserved or desc"},
        {T + "  A 10:00 10:01 plat\n", "line 2: train 1A05: \"plat\" needs a value"},
        {T + "  A 10:00 10:01 next 2T11\n", "line 2: train 1A05: write \"next service HEADCODE\""},
        {"category C accel 7\n", "line 1: accel must be 0 to 4"},
        {"category C\ncategory C\n",
         "line 2: category C is defined twice: give the second one another name"},
        {"train 1A05 - W 10:00 power steam\n", "line 1: train 1A05: unknown power type \"steam\""},
        {"start 99999999999:00\n", "line 1: bad time \"99999999999:00\""},
        {"train 1A05 - W 10:00 delay 99999999999\n",
         "line 1: train 1A05: bad number \"99999999999\""},
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

// Mistakes a newcomer makes writing a timetable by hand: each refused with its line, the
// train and what to do, and nothing of the file applied.
TEST(TimetableText, HandWritingTrapsAreRefusedWithTheLineTheTrainAndWhatToDo) {
    struct Case {
        const char* Name;
        std::string Text;
        std::string Error;  // the start of the message
    };
    const Case cases[] = {
        {"no category, so no speed", "train 1A05 - W 10:00\n  A 10:02 10:03\n",
         "line 1: train 1A05: maximum speed 0 mph is not 1 to 250: name a category"},
        {"negative speed", "train 1A05 - W 10:00 speed -5\n",
         "line 1: train 1A05: maximum speed -5 mph is not 1 to 250"},
        {"absurd length", "train 1A05 - W 10:00 speed 60 length 99999\n",
         "line 1: train 1A05: length 99999 m is not 0 to 2000"},
        {"category with an absurd speed", "category C speed 9000\n",
         "line 1: category C: maximum speed 9000 mph is not 0 to 250"},
        {"arrival after departure", "train 1A05 - W 10:00 speed 60\n  A 10:05 10:03\n",
         "line 2: train 1A05: arrives at A at 10:05 but departs at 10:03: the departure must "
         "not be before the arrival"},
        {"times running backwards",
         "train 1A05 - W 10:00 speed 60\n  A 10:02 10:03\n  B 10:01 10:04\n",
         "line 3: train 1A05: is due at B at 10:01, before its time at A at 10:03: times must "
         "not run backwards"},
        {"next service naming no train",
         "train 1A05 - W 10:00 speed 60\n  A 10:02 10:03\n\n  B 10:10 10:11 next service 2T11\n",
         "line 4: train 1A05: \"next service 2T11\" names a train that is not in the timetable: "
         "add a train 2T11"},
        {"join naming no train", "train 1A05 - W 10:00 speed 60\n  A 10:02 10:03 join 1Z99\n",
         "line 2: train 1A05: \"join 1Z99\" names a train"},
        {"control bytes in a name", "train 1A05 - W 10:00 speed 60\n  Q\x01\x1b 10:02 10:03\n",
         "line 2: train 1A05: unknown location Q\\x01\\x1B;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TimetableFixture f;
        std::string error;
        EXPECT_FALSE(ImportTimetableText(*f.sim, c.Text, error));
        EXPECT_EQ(error.substr(0, c.Error.size()), c.Error);
        for (char ch : error) EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20) << error;
        EXPECT_EQ(f.sim->Timetable.Count(), 0);
        EXPECT_EQ(f.sim->Categories.Count(), 0);
    }
}

TEST(TimetableText, WhatAHandWrittenFileMayDoIsRead) {
    // A byte-order mark, a category defined below the train that names it, a '#' inside
    // a description, a next service naming a train further down, and a departure given
    // as 00:00 (none: the arrival, as in a timetable file).
    const std::string text =
        "\xEF\xBB\xBFname Hand made\n"
        "train 1A05 EXP W 10:00 desc Express #2 to Charlie\n"
        "  A 10:02 10:03\n"
        "  B 10:10 00:00 plat 1 next service 2B01\n"
        "train 2B01 EXP - 10:20\n"
        "  B - 10:20 plat 1\n"
        "  C 10:30 -\n"
        "category EXP speed 90 length 120 desc Express # the fast ones\n";
    TimetableFixture f;
    std::string error;
    ASSERT_TRUE(ImportTimetableText(*f.sim, text, error)) << error;
    EXPECT_EQ(f.sim->Timetable.Name, "Hand made");
    ASSERT_EQ(f.sim->Timetable.Count(), 2);
    const TTimetable& t = *f.sim->Timetable.At(0);
    EXPECT_EQ(t.Description, "Express #2 to Charlie");
    EXPECT_EQ(t.MaxSpeed, 90);
    ASSERT_EQ(t.Trips.Count(), 2);
    EXPECT_EQ(t.Trips.Items[1].DepTime, t.Trips.Items[1].ArrTime);
    ASSERT_EQ(f.sim->Categories.Count(), 1);
    EXPECT_EQ(f.sim->Categories.At(0)->Description, "Express # the fast ones");

    // The text and the timetable file agree: text -> file -> text -> file is stable.
    const std::vector<std::uint8_t> wtt = TimetableFileBytes(*f.sim);
    TimetableFixture g;
    ASSERT_TRUE(LoadTimetableBytes(*g.sim, wtt, &error)) << error;
    std::string exported;
    ASSERT_TRUE(ExportTimetableText(*g.sim, exported, error)) << error;
    TimetableFixture h;
    ASSERT_TRUE(ImportTimetableText(*h.sim, exported, error)) << error << "\n" << exported;
    EXPECT_EQ(TimetableFileBytes(*h.sim), wtt) << exported;
}

TEST(TimetableText, APartnerInTheWorkingTimetableAlreadyCounts) {
    TimetableFixture f;
    f.EnteringTrain("2T11");
    f.sim->Timetable.Name = "Before";
    std::string error;
    EXPECT_TRUE(ImportTimetableText(
        *f.sim, "train 1A05 - W 10:00 speed 60\n  A 10:02 10:03 next service 2T11\n", error))
        << error;
    // Without a "name" line the timetable has the name a new one has.
    EXPECT_EQ(f.sim->Timetable.Name, "None");
}

// Reading stays linear in the number of categories and trains: each name is found
// through an index, not by walking every category read so far.
TEST(TimetableText, ManyCategoriesAndTrainsLoadQuickly) {
    // Reads the text form of count categories and trains, writes it as a WTT and reads
    // that back; the seconds taken.
    const auto readBoth = [](int count) {
        std::string text;
        text.reserve(static_cast<std::size_t>(count) * 80);
        for (int i = 0; i < count; ++i)
            text += "category C" + std::to_string(i) + " speed 60 length 100\n";
        for (int i = 0; i < count; ++i)
            text += "train X" + std::to_string(i) + " C" + std::to_string(count - 1 - i) +
                    " W 10:00\n  A 10:02 10:03\n";
        TimetableFixture f;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(ImportTimetableText(*f.sim, text, error)) << error;
        const std::vector<std::uint8_t> wtt = TimetableFileBytes(*f.sim);
        TimetableFixture g;
        EXPECT_TRUE(LoadTimetableBytes(*g.sim, wtt, &error)) << error;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(g.sim->Categories.Count(), count);
        EXPECT_EQ(g.sim->Timetable.Count(), count);
        return seconds;
    };
    constexpr int kCount = 20000;
    const double quarter = readBoth(kCount / 4);
    const double whole = readBoth(kCount);
    // Walking the categories for every name takes tens of seconds at this size, and
    // four times the names take sixteen times as long. A loaded machine or a sanitizer
    // build may miss the absolute bound, so the growth decides then: linear reading
    // takes about four times as long.
    EXPECT_TRUE(whole < 8.0 || whole < 8.0 * quarter)
        << kCount / 4 << " names: " << quarter << " s, " << kCount << " names: " << whole << " s";
}

}  // namespace
}  // namespace kestra
