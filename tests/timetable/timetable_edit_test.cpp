// What the timetable editors store from their boxes, the messages they give in their own
// words, the list window's entries and order, and the question a reset asks while the
// edited timetable is not saved.

#include "timetable/timetable_edit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "timetable_fixture.h"

namespace kestra {
namespace {

using testing_tt::TimetableFixture;
namespace fs = std::filesystem;

TEST(TimetableEdit, CategoryEditorWantsWholeNumbersLengthFirst) {
    struct Case {
        std::string Length, Speed;
        std::string Message;  // empty: stored
    };
    const Case cases[] = {
        {"abc", "xyz", InvalidTrainLengthText},
        {"", "90", InvalidTrainLengthText},
        {"120", "9.5", InvalidMaxSpeedText},
        {"120", "90", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Length + "/" + c.Speed);
        TimetableFixture f;
        TTrainCategory& cat = f.sim->Categories.Create("C");
        cat.Description = "Old";
        CategoryBoxes boxes;
        boxes.Description = "New";
        boxes.Length = c.Length;
        boxes.MaxSpeed = c.Speed;
        boxes.PowerTypes = PowerDiesel;
        std::string message;
        EXPECT_EQ(StoreCategoryBoxes(*f.sim, cat, boxes, message), c.Message.empty());
        EXPECT_EQ(message, c.Message);
        EXPECT_EQ(cat.Description, c.Message.empty() ? "New" : "Old");
        EXPECT_EQ(f.sim->Timetable.Modified, c.Message.empty());
    }
}

TEST(TimetableEdit, EditingACategoryChangesItsTrainsDeletingItLeavesThemAsTheyAre) {
    TimetableFixture f;
    TTrainCategory& cat = f.sim->Categories.Create("C");
    TTimetable& a = f.EnteringTrain("1A01");
    TTimetable& b = f.EnteringTrain("1A02");
    a.Category = &cat;
    cat.MaxSpeed = 100;
    cat.Length = 240;
    ApplyCategory(*f.sim, cat);
    EXPECT_EQ(a.MaxSpeed, 100);
    EXPECT_EQ(a.Length, 240);
    EXPECT_EQ(b.MaxSpeed, 0);
    DeleteCategory(*f.sim, cat);
    EXPECT_EQ(a.Category, nullptr);
    EXPECT_EQ(a.MaxSpeed, 100);
    EXPECT_EQ(f.sim->Categories.Count(), 0);
}

TEST(TimetableEdit, TripEditorStoresTheBoxesOrStaysOpen) {
    TimetableFixture f;
    TTimetableTrip trip;
    trip.AutoInserted = true;
    TripBoxes boxes;
    boxes.Location = f.B;
    boxes.Arrival = "10:05 H";
    boxes.Departure = "       ";  // not a time: stays open
    EXPECT_FALSE(StoreTripBoxes(*f.sim, trip, boxes));
    EXPECT_EQ(trip.Location, nullptr);
    boxes.Departure = "00:00  ";
    boxes.Location = nullptr;  // "(None)": stays open
    EXPECT_FALSE(StoreTripBoxes(*f.sim, trip, boxes));
    EXPECT_FALSE(f.sim->Timetable.Modified);
    boxes.Location = f.B;
    boxes.Engineering = "05 H";
    boxes.Pathing = "";
    boxes.Platform = "1";
    ASSERT_TRUE(StoreTripBoxes(*f.sim, trip, boxes));
    EXPECT_EQ(trip.ArrTime, 10 * 3600 + 5 * 60 + 30);
    EXPECT_EQ(trip.DepTime, trip.ArrTime);  // an arrival alone departs then
    EXPECT_EQ(trip.EngAllowance, 11);
    EXPECT_EQ(trip.PathAllowance, 0);
    EXPECT_FALSE(trip.AutoInserted);
    EXPECT_TRUE(f.sim->Timetable.Modified);
    EXPECT_EQ(FormatAllowanceBox(140), "70  ");
    EXPECT_EQ(FormatAllowanceBox(141), "70 H");
}

TEST(TimetableEdit, ListEntriesOrderTimesNameAndDuplicate) {
    TimetableFixture f;
    f.EnteringTrain("1A02", 36000);
    TTimetable& starting = f.sim->Timetable.Create(*f.sim, "0B01");
    starting.Trips.Items = {f.Trip(f.A, 0, 35100), f.Trip(f.B, 35700, 0, "1")};
    f.EnteringTrain("1A01", 37000);
    EXPECT_EQ(TrainListEntry(*f.sim->Timetable.At(0)), "1A02 West enters 10:00 ");
    EXPECT_EQ(TrainListEntry(starting), "0B01 Alpha dep 09:45 ");
    auto order = [&] {
        std::vector<std::string> ids;
        f.sim->Timetable.ForEach([&](TTimetable& t) { ids.push_back(t.ID); });
        return ids;
    };
    SortTimetables(*f.sim, TrainSort::Identity);
    EXPECT_EQ(order(), (std::vector<std::string>{"0B01", "1A01", "1A02"}));
    SortTimetables(*f.sim, TrainSort::DepartureTime);
    EXPECT_EQ(order(), (std::vector<std::string>{"0B01", "1A02", "1A01"}));
    SortTimetables(*f.sim, TrainSort::EntryLocation);
    EXPECT_EQ(order(), (std::vector<std::string>{"0B01", "1A02", "1A01"}));

    EXPECT_EQ(FormatListTime(25 * 3600 + 5 * 60), "25:05");
    std::int32_t t = 0;
    EXPECT_TRUE(ReadListTime("07x30", t));
    EXPECT_EQ(t, 7 * 3600 + 30 * 60);
    EXPECT_FALSE(ReadListTime("7:30", t));
    f.sim->SimData.AreaTitle = "Vellmoor";
    EXPECT_EQ(ListNameShown(*f.sim), "Vellmoor Custom Timetable");

    std::string message;
    EXPECT_EQ(DuplicateTimetable(*f.sim, *f.sim->Timetable.FindID("1A01"), "1A03", "x", message),
              nullptr);
    EXPECT_EQ(message, InvalidNumericInputText);
    f.sim->Timetable.FindID("1A01")->Entered = true;
    TTimetable* copy =
        DuplicateTimetable(*f.sim, *f.sim->Timetable.FindID("1A01"), "1A03", "30", message);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->ID, "1A03");
    EXPECT_EQ(copy->EntryTime, 37000 + 1800);
    EXPECT_FALSE(copy->Entered);
    EXPECT_EQ(f.sim->Timetable.Count(), 4);
}

TEST(TimetableEdit, EditedCopiesReplaceAppendAndRemoveMarkingTheTimetableModified) {
    TimetableFixture f;
    f.EnteringTrain("1A01", 36000);
    f.EnteringTrain("1A02", 37000);
    f.EnteringTrain("1A03", 38000);
    auto order = [&] {
        std::string ids;
        f.sim->Timetable.ForEach([&](TTimetable& t) { ids += t.ID + " "; });
        return ids;
    };
    std::unique_ptr<TTimetable> copy = CopyTimetable(*f.sim, *f.sim->Timetable.At(1));
    copy->ID = "2B02";
    copy->EntryTime = 40000;
    EXPECT_EQ(f.sim->Timetable.At(1)->ID, "1A02") << "the copy is not the timetable";
    ReplaceTimetable(*f.sim, 1, std::move(copy));
    EXPECT_EQ(order(), "1A01 2B02 1A03 ");
    EXPECT_EQ(f.sim->Timetable.FindID("2B02")->EntryTime, 40000);
    EXPECT_TRUE(f.sim->Timetable.Modified);
    f.sim->Timetable.Modified = false;
    AppendTimetable(*f.sim, std::make_unique<TTimetable>(*f.sim, "3C03"));
    EXPECT_EQ(order(), "1A01 2B02 1A03 3C03 ");
    EXPECT_TRUE(f.sim->Timetable.Modified);
    // The selection moves to the entry before, or to the first.
    f.sim->Timetable.Modified = false;
    EXPECT_EQ(RemoveTimetable(*f.sim, 2), 1);
    EXPECT_TRUE(f.sim->Timetable.Modified);
    EXPECT_EQ(RemoveTimetable(*f.sim, 0), 0);
    EXPECT_EQ(RemoveTimetable(*f.sim, 5), -1);
    EXPECT_EQ(order(), "2B02 3C03 ");
    EXPECT_EQ(RemoveTimetable(*f.sim, 1), 0);
    EXPECT_EQ(RemoveTimetable(*f.sim, 0), -1);
    EXPECT_EQ(f.sim->Timetable.Count(), 0);
}

TEST(TimetableEdit, TrainSearchNewCategoryAndExportWithoutAHook) {
    const std::vector<std::string> entries{"1A01 West enters 10:00", "2u05 Alpha dep 09:45",
                                           "2U06 West enters 11:00"};
    EXPECT_EQ(FindTrainEntry(entries, "2u"), 1);
    EXPECT_EQ(FindTrainEntry(entries, "2U06"), 2);
    EXPECT_EQ(FindTrainEntry(entries, "1a01 west"), 0);
    EXPECT_EQ(FindTrainEntry(entries, "9"), -1);
    EXPECT_EQ(FindTrainEntry(entries, "1A01 West enters 10:00 and more"), -1);

    TimetableFixture f;
    f.sim->Timetable.EditorDefaults = {AccelHigh, 90, 120, PowerDiesel};
    std::unique_ptr<TTrainCategory> c = NewCategory(*f.sim);
    ASSERT_EQ(c->ID.size(), 8u);
    EXPECT_EQ(c->ID.find_first_not_of("0123456789abcdef"), std::string::npos) << c->ID;
    EXPECT_EQ(c->Description, "Untitled category");
    EXPECT_EQ(c->AccelBrake, AccelHigh);
    EXPECT_EQ(c->MaxSpeed, 90);
    EXPECT_EQ(c->Length, 120);
    EXPECT_EQ(c->PowerTypes, PowerDiesel);
    EXPECT_FALSE(c->IsFreight);

    const fs::path path = fs::temp_directory_path() / "kestra_tt_export_test.txt";
    fs::remove(path);
    EXPECT_FALSE(ExportTimetable(*f.sim, path.string()));
    ASSERT_EQ(f.dialogs.Infos.size(), 1u);
    EXPECT_EQ(f.dialogs.Infos[0], "Export not available for this simulation");
    EXPECT_FALSE(fs::exists(path));
    f.sim->Hooks.ExportHook = [](std::string& text) { text = ",,1A01\nent,West,10:00\n"; };
    EXPECT_TRUE(ExportTimetable(*f.sim, path.string()));
    EXPECT_EQ(f.dialogs.Infos.back(), "Succesfully exported to " + path.string());
    EXPECT_EQ(fs::file_size(path), 22u);
    fs::remove(path);
    EXPECT_FALSE(ExportTimetable(*f.sim, (path / "no" / "such").string()));
    ASSERT_EQ(f.dialogs.Errors.size(), 1u);
    EXPECT_EQ(f.dialogs.Errors[0], "Error exporting file");
}

TEST(TimetableEdit, TheOutsideLayoutImportsValidTrainsAndAsksAboutTheOthers) {
    auto sim = std::make_unique<Sim>();
    area::BuildArea(*sim);
    // Columns: location 2-8, arrival 10-13, departure 15-18, platform 20-22, pass 24.
    auto row = [](const char* location, const char* arr, const char* dep, const char* plat,
                  bool pass = false) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "L%-7s %4s %4s %-3s %s\n", location, arr, dep, plat,
                      pass ? "P" : "");
        return std::string(buf);
    };
    const std::string good = "H2D01\n" + row("OSTWK", "", "0702", "1") +
                             row("VLMC", "0707", "0709", "2") + row("HRNF", "0716", "0717", "1") +
                             row("HRNFE", "", "0719", "", true);
    const struct {
        const char* Name;
        std::string Text;
        bool Goes;  // the answer to the question about an invalid train
        int Added;
        std::vector<std::string> Asked;  // each question's beginning
    } cases[] = {
        {"one good train", good + "E\nH9Z99\n" + row("NOWHERE", "0800", "0801", ""), true, 1, {}},
        {"an unknown location, then a good one",
         "H1X01\n" + row("NOWHERE", "0800", "0801", "") + good,
         true,
         1,
         {"1X01: unknown location \"NOWHERE\""}},
        {"a time that is no time, and the import ended",
         "H1X02\n" + row("OSTWK", "07:0", "0702", "") + good,
         false,
         0,
         {"1X02: times at OSTWK are not HHMM"}},
        {"a train that does not validate",
         "H1X03\n" + row("OSTWK", "", "0702", "1") + good,
         true,
         1,
         {"1X03: "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        sim->Timetable.Reset();
        std::vector<std::string> asked;
        const int added = ImportOutsideTimetable(*sim, c.Text, [&](const std::string& text) {
            asked.push_back(text);
            return c.Goes;
        });
        EXPECT_EQ(added, c.Added);
        EXPECT_EQ(sim->Timetable.Count(), c.Added);
        ASSERT_EQ(asked.size(), c.Asked.size()) << (asked.empty() ? "" : asked[0]);
        for (std::size_t i = 0; i < asked.size(); ++i)
            EXPECT_EQ(asked[i].rfind(c.Asked[i], 0), 0u) << asked[i];
    }
    sim->Timetable.Reset();
    ASSERT_EQ(ImportOutsideTimetable(*sim, good, [](const std::string&) { return true; }), 1);
    const TTimetable& t = *sim->Timetable.At(0);
    EXPECT_EQ(t.ID, "2D01");
    EXPECT_EQ(t.MaxSpeed, 90);
    EXPECT_EQ(t.PowerTypes, PowerOverhead);
    ASSERT_GE(t.Trips.Count(), 4);
    EXPECT_EQ(t.Trips.Items[1].ArrTime, 7 * 3600 + 7 * 60);
    EXPECT_EQ(t.Trips.Items[1].Platform, "2");
    EXPECT_TRUE(t.Trips.Items.back().IsPass);
    EXPECT_TRUE(sim->Timetable.Modified);
}

TEST(TimetableEdit, ValidationFailureTextIsTheEditorsOwn) {
    EXPECT_EQ(ValidationFailedText("Path not found"),
              "Timetable validation failed:\nPath not found\n\nPress Ok to continue editing the "
              "timetable, or Cancel to close the editor.");
}

// A reset asks before an edited timetable is lost, and saves it on Yes.
TEST(TimetableEdit, AResetAsksWhileTheTimetableIsNotSaved) {
    const fs::path dir = fs::temp_directory_path() / "kestra_reset_question";
    fs::remove_all(dir);
    fs::create_directories(dir / "TST");
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    for (bool yes : {false, true}) {
        SCOPED_TRACE(yes);
        TimetableFixture f;
        f.sim->Timetable.Name = "Edited";
        f.EnteringTrain("1A01");
        f.dialogs.ConfirmAnswer = yes;
        f.sim->ResetSimulation();
        EXPECT_TRUE(f.dialogs.Confirms.empty());  // not modified: no question
        f.EnteringTrain("1A01");
        f.sim->Timetable.Name = "Edited";
        f.sim->Timetable.Modified = true;
        f.sim->ResetSimulation();
        ASSERT_EQ(f.dialogs.Confirms.size(), 1u);
        EXPECT_EQ(f.dialogs.Confirms[0], "Timetable not saved! Do you want to save it now?");
        EXPECT_EQ(fs::exists(dir / "TST" / "Edited.WTT"), yes);
        EXPECT_EQ(f.sim->Timetable.Count(), 0);
        EXPECT_FALSE(f.sim->Timetable.Modified);
    }
    fs::current_path(before);
    fs::remove_all(dir);
}

// The name the saved timetable gets comes from the timetable itself: a name that would
// leave the data folder or is no file name is refused, and nothing is written.
TEST(TimetableEdit, TheResetSaveRefusesANameThatIsNoFileName) {
    const fs::path dir = fs::temp_directory_path() / "kestra_reset_names";
    fs::remove_all(dir);
    fs::create_directories(dir / "TST");
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    for (const std::string name : {"../outside", "a/b", "..", "", "back\\slash", "bell\x07"}) {
        SCOPED_TRACE(name);
        TimetableFixture f;
        f.EnteringTrain("1A01");
        f.sim->Timetable.Name = name;
        f.sim->Timetable.Modified = true;
        f.dialogs.ConfirmAnswer = true;
        f.sim->ResetSimulation();
        ASSERT_EQ(f.dialogs.Errors.size(), 1u);
        EXPECT_NE(f.dialogs.Errors[0].find("cannot be used as a file name"), std::string::npos);
        EXPECT_FALSE(fs::exists(dir / "outside.WTT"));
        EXPECT_FALSE(fs::exists(dir / "TST" / "a" / "b.WTT"));
        EXPECT_EQ(f.sim->Timetable.Count(), 0);
    }
    // A plain name is still saved.
    TimetableFixture f;
    f.EnteringTrain("1A01");
    f.sim->Timetable.Name = "Plain name";
    f.sim->Timetable.Modified = true;
    f.dialogs.ConfirmAnswer = true;
    f.sim->ResetSimulation();
    EXPECT_TRUE(f.dialogs.Errors.empty());
    EXPECT_TRUE(fs::exists(dir / "TST" / "Plain name.WTT"));
    fs::current_path(before);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kestra
