// The timetable file: records byte by byte, both magics and versions, and loads that
// fail leaving everything as it was.

#include "timetable/timetable_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "timetable_fixture.h"

namespace kestra {
namespace {

using testing_tt::TimetableFixture;
using Bytes = std::vector<std::uint8_t>;

void Append(Bytes& b, std::initializer_list<int> values) {
    for (int v : values) b.push_back(static_cast<std::uint8_t>(v));
}
void AppendString(Bytes& b, const std::string& s) {
    b.push_back(6);
    b.push_back(static_cast<std::uint8_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}

// The header of a file written by hand: magic, version, area "TST", name "N", empty
// description, 07:00, 22:00.
Bytes HeaderBytes(const std::string& magic = "KESTRAT2", std::int8_t version = 2) {
    Bytes b;
    AppendString(b, magic);
    Append(b, {2, version});
    AppendString(b, "TST");
    AppendString(b, "N");
    AppendString(b, "");
    Append(b, {3, 0x70, 0x62});              // 25200 in two bytes
    Append(b, {4, 0x60, 0x35, 0x01, 0x00});  // 79200 in four
    return b;
}

// One category EXP and one train 1A05 with one auto-inserted trip and one activity.
Bytes CategoryBytes() {
    Bytes b;
    Append(b, {2, 1});
    AppendString(b, "EXP");
    AppendString(b, "");
    Append(b, {2, 2, 8, 2, 100, 3, 0xC8, 0x00, 2, 9});
    return b;
}

Bytes TimetableBytes(bool withCategoryName, const std::string& location = "*T",
                     const std::string& entry = "W") {
    Bytes b;
    Append(b, {2, 1});
    AppendString(b, "1A05");
    Append(b, {2, 2, 8, 2, 50});       // profile 2, not as required, 50 %
    Append(b, {3, 0xC8, 0x00, 8});     // delay 200 in two bytes, not warned
    Append(b, {4, 0xA0, 0x8C, 0, 0});  // entry 36000 in four bytes
    AppendString(b, "");
    AppendString(b, entry);
    Append(b, {2, 100, 2, 0, 8, 8, 3, 0xC8, 0x00, 2, 25});  // 100 mph, reserved 0, flags 9|16
    if (withCategoryName) AppendString(b, "EXP");
    Append(b, {2, 1});
    AppendString(b, location);
    Append(b, {4, 0xCC, 0x8D, 0, 0, 2, 0});  // departs 36300, no arrival
    AppendString(b, "1");
    AppendString(b, "");
    AppendString(b, "");
    Append(b, {2, 3, 2, 0x9C, 9, 8});  // allowances 3 and -100, passing, not down
    Append(b, {2, 1, 2, 0});
    AppendString(b, "2T11");
    return b;
}

Bytes WholeFile() {
    Bytes b = HeaderBytes();
    const Bytes c = CategoryBytes();
    const Bytes t = TimetableBytes(true);
    b.insert(b.end(), c.begin(), c.end());
    b.insert(b.end(), t.begin(), t.end());
    return b;
}

void BuildSample(TimetableFixture& f) {
    Sim& sim = *f.sim;
    sim.Timetable.Name = "N";
    TTrainCategory& exp = sim.Categories.Create("EXP");
    exp.AccelBrake = 2;
    exp.MaxSpeed = 100;
    exp.Length = 200;
    exp.PowerTypes = PowerOverhead | PowerDiesel;
    TTimetable& t = sim.Timetable.Create(sim, "1A05");
    t.AccelBrake = 2;
    t.Category = &exp;
    t.Delay = 200;
    t.EntryTime = 36000;
    t.EntryPoint = f.W;
    t.MaxSpeed = 100;
    t.Length = 200;
    t.PowerTypes = 9;
    t.STP = true;
    TTimetableTrip trip = f.Trip(f.T, 0, 36300, "1");
    trip.AutoInserted = true;
    trip.EngAllowance = 3;
    trip.PathAllowance = -100;
    trip.IsPass = true;
    trip.Activities.Items.push_back({ActNextTrain, "2T11"});
    t.Trips.Items.push_back(trip);
}

// Everything a load could change, to compare before and after a failed one.
std::string Snapshot(const Sim& sim) {
    const Bytes b = TimetableFileBytes(sim);
    return std::string(b.begin(), b.end()) + "|" + std::to_string(sim.Timetable.Modified);
}

TEST(TimetableFile, WritesEveryValueFormAsHandWritten) {
    TimetableFixture f;
    BuildSample(f);
    EXPECT_EQ(TimetableFileBytes(*f.sim), WholeFile());
}

TEST(TimetableFile, ReadsBackWhatWasWrittenWithEnteredCleared) {
    TimetableFixture f;
    Bytes file = WholeFile();
    ASSERT_TRUE(LoadTimetableBytes(*f.sim, file));
    EXPECT_EQ(TimetableFileBytes(*f.sim), file);
    const TTimetable* t = f.sim->Timetable.At(0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Category, f.sim->Categories.FindID("EXP"));
    ASSERT_EQ(t->Trips.Count(), 1);
    EXPECT_TRUE(t->Trips.Items[0].AutoInserted);
    EXPECT_EQ(t->Trips.Items[0].Location, f.T);
    EXPECT_TRUE(t->STP);
}

TEST(TimetableFile, ArrivalWithoutDepartureReadsAsDepartingAtArrival) {
    TimetableFixture f;
    TTimetable& t = f.EnteringTrain("2B01");
    const Bytes bytes = TimetableFileBytes(*f.sim);
    ASSERT_EQ(t.Trips.Items.back().DepTime, 0);
    f.sim->Timetable.FreeObjects();
    ASSERT_TRUE(LoadTimetableBytes(*f.sim, bytes));
    const TTimetable* back = f.sim->Timetable.At(0);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->Trips.Count(), 3);
    EXPECT_EQ(back->Trips.Items[2].DepTime, back->Trips.Items[2].ArrTime);
}

TEST(TimetableFile, OldMagicHasNoCategoriesAndVersionOneGivesTheNotice) {
    struct Case {
        const char* Magic;
        std::int8_t Version;
        bool Categories;
        bool Notice;
    };
    for (const Case& c : {Case{"KESTRATT", 2, false, false}, Case{"KESTRAT2", 1, true, true},
                          Case{"KESTRATT", 1, false, true}}) {
        SCOPED_TRACE(std::string(c.Magic) + " v" + std::to_string(c.Version));
        TimetableFixture f;
        Bytes b = HeaderBytes(c.Magic, c.Version);
        if (c.Categories) {
            const Bytes cat = CategoryBytes();
            b.insert(b.end(), cat.begin(), cat.end());
        }
        const Bytes t = TimetableBytes(c.Categories);
        b.insert(b.end(), t.begin(), t.end());
        std::string error;
        ASSERT_TRUE(LoadTimetableBytes(*f.sim, b, &error)) << error;
        EXPECT_EQ(f.sim->Categories.Count(), c.Categories ? 1 : 0);
        ASSERT_EQ(f.sim->Timetable.Count(), 1);
        EXPECT_EQ(f.sim->Timetable.At(0)->Category != nullptr, c.Categories);
        EXPECT_EQ(f.dialogs.Infos.size(), c.Notice ? 1u : 0u);
        // Saving always writes the current magic and version.
        const Bytes saved = TimetableFileBytes(*f.sim);
        const Bytes head = HeaderBytes();
        EXPECT_TRUE(std::equal(head.begin(), head.begin() + 12, saved.begin()));
    }
}

TEST(TimetableFile, WrongMagicOrVersionIsRefusedWithItsMessageAndChangesNothing) {
    struct Case {
        Bytes File;
        std::string Message;
    };
    Bytes v3 = HeaderBytes("KESTRAT2", 3);
    const Case cases[] = {
        {HeaderBytes("KESTRA"), "Not a Kestra timetable file"},
        {Bytes{9, 9, 9}, "Not a Kestra timetable file"},
        {v3, "The simulator (version 2) cannot read this version of timetable data (version 3)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Message);
        TimetableFixture f;
        BuildSample(f);
        const std::string before = Snapshot(*f.sim);
        EXPECT_FALSE(LoadTimetableBytes(*f.sim, c.File));
        ASSERT_EQ(f.dialogs.Errors.size(), 1u);
        EXPECT_EQ(f.dialogs.Errors[0], c.Message);
        EXPECT_EQ(Snapshot(*f.sim), before);
    }
}

TEST(TimetableFile, AFileCutShortAnywhereLeavesEverythingAsItWas) {
    const Bytes file = WholeFile();
    for (std::size_t length = 0; length < file.size(); ++length) {
        SCOPED_TRACE(length);
        TimetableFixture f;
        f.sim->Timetable.Name = "Before";
        f.EnteringTrain("9Z99");
        const std::string before = Snapshot(*f.sim);
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(LoadTimetableBytes(*f.sim, cut));
        EXPECT_EQ(Snapshot(*f.sim), before);
        EXPECT_EQ(f.sim->Categories.Count(), 0);
        EXPECT_EQ(f.sim->Timetable.Count(), 1);
        EXPECT_EQ(f.sim->Timetable.Name, "Before");
    }
}

TEST(TimetableFile, HugeCountsFailAtOnce) {
    // Each count in turn replaced by 0x7FFFFFFF: category, timetable, trip, activity.
    const Bytes head = HeaderBytes();
    const std::size_t catCount = head.size();
    const std::size_t ttCount = catCount + CategoryBytes().size();
    const Bytes file = WholeFile();
    std::vector<std::size_t> positions = {catCount, ttCount};
    // The trip count is the last "02 01" before the trip's location "*T"; the activity
    // count the "02 01" just before the activity kind.
    for (std::size_t i = ttCount + 2; i + 3 < file.size(); ++i) {
        if (file[i] == 2 && file[i + 1] == 1 && file[i + 2] == 6 && file[i + 3] == 2)
            positions.push_back(i);
        if (file[i] == 2 && file[i + 1] == 1 && file[i + 2] == 2 && file[i + 3] == 0)
            positions.push_back(i);
    }
    ASSERT_EQ(positions.size(), 4u);
    for (std::size_t pos : positions) {
        SCOPED_TRACE(pos);
        Bytes bad(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(pos));
        Append(bad, {4, 0xFF, 0xFF, 0xFF, 0x7F});
        bad.insert(bad.end(), file.begin() + static_cast<std::ptrdiff_t>(pos) + 2, file.end());
        TimetableFixture f;
        std::string error;
        EXPECT_FALSE(LoadTimetableBytes(*f.sim, bad, &error));
        EXPECT_NE(error.find("2147483647"), std::string::npos) << error;
        EXPECT_EQ(f.sim->Timetable.Count(), 0);
    }
}

TEST(TimetableFile, AnActivityKindPastTheLastIsRefused) {
    // The activity count 1 and kind 0 ("02 01 02 00"): the kind patched to each value.
    const Bytes file = WholeFile();
    std::size_t kind = 0;
    for (std::size_t i = 0; i + 3 < file.size(); ++i) {
        if (file[i] == 2 && file[i + 1] == 1 && file[i + 2] == 2 && file[i + 3] == 0) kind = i + 3;
    }
    ASSERT_NE(kind, 0u);
    for (const std::uint8_t value : {std::uint8_t{ActJoins}, std::uint8_t{ActJoins + 1}}) {
        SCOPED_TRACE(value);
        Bytes patched = file;
        patched[kind] = value;
        TimetableFixture f;
        std::string error;
        const bool read = LoadTimetableBytes(*f.sim, patched, &error);
        EXPECT_EQ(read, value == ActJoins) << error;
        EXPECT_EQ(f.sim->Timetable.Count(), read ? 1 : 0);
    }
}

TEST(TimetableFile, UnknownEntryLocationOrCategoryIsAnErrorNamingTrainAndID) {
    struct Case {
        Bytes File;
        std::string Error;
    };
    auto file = [](const std::string& location, const std::string& entry, bool category) {
        Bytes b = HeaderBytes();
        Bytes c = category ? CategoryBytes() : Bytes{2, 0};
        Bytes t = TimetableBytes(true, location, entry);
        b.insert(b.end(), c.begin(), c.end());
        b.insert(b.end(), t.begin(), t.end());
        return b;
    };
    const Case cases[] = {
        {file("*T", "NOWHERE", true), "train 1A05: unknown entry point NOWHERE"},
        {file("ZZZ", "W", true), "train 1A05: unknown location ZZZ"},
        {file("*T", "W", false), "train 1A05: unknown category EXP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Error);
        TimetableFixture f;
        std::string error;
        EXPECT_FALSE(LoadTimetableBytes(*f.sim, c.File, &error));
        EXPECT_EQ(error, c.Error);
        EXPECT_EQ(f.sim->Timetable.Count(), 0);
        EXPECT_EQ(f.sim->Categories.Count(), 0);
    }
}

TEST(TimetableFile, MergingTwiceKeepsOneCategoryAndPutsNewTrainsFirst) {
    TimetableFixture f;
    f.EnteringTrain("9Z99");
    const Bytes file = WholeFile();
    ASSERT_TRUE(LoadTimetableBytes(*f.sim, file));
    ASSERT_TRUE(LoadTimetableBytes(*f.sim, file));
    EXPECT_EQ(f.sim->Categories.Count(), 1);
    ASSERT_EQ(f.sim->Timetable.Count(), 3);
    EXPECT_EQ(f.sim->Timetable.At(0)->ID, "1A05");
    EXPECT_EQ(f.sim->Timetable.At(2)->ID, "9Z99");
    EXPECT_EQ(f.sim->Timetable.At(0)->Category, f.sim->Timetable.At(1)->Category);
}

TEST(TimetableFile, SaveReplacesTheOldFileOnlyWhenTheNewOneIsComplete) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "kestra_tt_save_test";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path target = dir / "day.wtt";
    {
        std::ofstream old(target, std::ios::binary);
        old << "old contents";
    }
    TimetableFixture f;
    BuildSample(f);
    f.sim->Timetable.Modified = true;
    // The new file cannot be written beside the old one: the old one stays whole.
    fs::create_directories(dir / "day.wtt.part");
    EXPECT_FALSE(SaveTimetableFile(*f.sim, target.string()));
    Bytes kept;
    ASSERT_TRUE(ReadFileBytes(target.string(), kept));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "old contents");
    EXPECT_TRUE(f.sim->Timetable.Modified);
    fs::remove_all(dir / "day.wtt.part");
    EXPECT_TRUE(SaveTimetableFile(*f.sim, target.string()));
    Bytes written;
    ASSERT_TRUE(ReadFileBytes(target.string(), written));
    EXPECT_EQ(written, WholeFile());
    EXPECT_FALSE(f.sim->Timetable.Modified);
    EXPECT_FALSE(fs::exists(dir / "day.wtt.part"));
    fs::remove_all(dir);
}

TEST(TimetableFile, HeaderReaderFailsForWrongMagicOrUnknownVersion) {
    TTimetableHeader h;
    EXPECT_TRUE(ReadTimetableHeaderBytes(HeaderBytes(), h));
    EXPECT_EQ(h.Name, "N");
    EXPECT_EQ(h.StartTime, 25200);
    TTimetableHeader v1;
    EXPECT_TRUE(ReadTimetableHeaderBytes(HeaderBytes("KESTRATT", 1), v1));
    EXPECT_EQ(v1.Name, "N");
    TTimetableHeader untouched;
    untouched.Name = "kept";
    EXPECT_FALSE(ReadTimetableHeaderBytes(HeaderBytes("KESTRA"), untouched));
    EXPECT_FALSE(ReadTimetableHeaderBytes(HeaderBytes("KESTRAT2", 3), untouched));
    EXPECT_FALSE(ReadTimetableHeaderBytes(Bytes{6, 8, 'K'}, untouched));
    EXPECT_EQ(untouched.Name, "kept");
    EXPECT_FALSE(ReadTimetableHeader("/nonexistent/kestra/none.wtt", untouched));
}

TEST(TimetableFile, ABooleanWithAnyOtherTagReadsFalse) {
    TimetableFixture f;
    Bytes file = WholeFile();
    // The trip's "passing" boolean (9) becomes 7: read as false, no error.
    Bytes marker = {2, 3, 2, 0x9C, 9, 8};
    auto it = std::search(file.begin(), file.end(), marker.begin(), marker.end());
    ASSERT_NE(it, file.end());
    *(it + 4) = 7;
    ASSERT_TRUE(LoadTimetableBytes(*f.sim, file));
    EXPECT_FALSE(f.sim->Timetable.At(0)->Trips.Items[0].IsPass);
}

// A speed or length no train can run with is refused, naming the train; so is one of a
// category. Control bytes in what the message repeats from the file come out escaped.
TEST(TimetableFile, AbsurdSpeedOrLengthIsRefusedAndMessagesShowNoControlBytes) {
    struct Case {
        const char* Name;
        void (*Change)(Sim&);
        std::string Error;
    };
    const Case cases[] = {
        {"negative speed", [](Sim& s) { s.Timetable.At(0)->MaxSpeed = -5; },
         "train 1A05: maximum speed -5 mph is not 0 to 250"},
        {"absurd speed", [](Sim& s) { s.Timetable.At(0)->MaxSpeed = 100000; },
         "train 1A05: maximum speed 100000 mph is not 0 to 250"},
        {"negative length", [](Sim& s) { s.Timetable.At(0)->Length = -1; },
         "train 1A05: length -1 m is not 0 to 2000"},
        {"category's absurd length", [](Sim& s) { s.Categories.At(0)->Length = 1 << 30; },
         "category EXP: length 1073741824 m is not 0 to 2000"},
        {"control bytes in the train's name and speed",
         [](Sim& s) {
             s.Timetable.At(0)->ID = "1A\x07\x1b";
             s.Timetable.At(0)->MaxSpeed = -1;
         },
         "train 1A\\x07\\x1B: maximum speed -1 mph is not 0 to 250"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TimetableFixture source;
        BuildSample(source);
        c.Change(*source.sim);
        const Bytes file = TimetableFileBytes(*source.sim);
        TimetableFixture f;
        std::string error;
        EXPECT_FALSE(LoadTimetableBytes(*f.sim, file, &error));
        EXPECT_EQ(error, c.Error);
        EXPECT_EQ(f.sim->Timetable.Count(), 0);
        EXPECT_EQ(f.sim->Categories.Count(), 0);
    }
    // The limits themselves are accepted.
    TimetableFixture source;
    BuildSample(source);
    source.sim->Timetable.At(0)->MaxSpeed = MaxTrainSpeedMph;
    source.sim->Timetable.At(0)->Length = MaxTrainLengthMetres;
    TimetableFixture f;
    std::string error;
    EXPECT_TRUE(LoadTimetableBytes(*f.sim, TimetableFileBytes(*source.sim), &error)) << error;
}

}  // namespace
}  // namespace kestra
