// The area's shipped timetables: every train validates on the built-in area and keeps to
// the running times its paths allow, each timetable is what it says it is, and the
// build's compiled files are exactly the texts through the program's writer.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "runner/timetable_tool.h"
#include "sim/sim.h"
#include "timetable/running_time.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_text.h"
#include "timetable/timetable_validate.h"

namespace kestra {
namespace {

const std::string kDataDir = std::string(KESTRA_SOURCE_DIR) + "/data/VLM";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The built-in area with one shipped timetable loaded from its text.
struct Shipped {
    std::unique_ptr<Sim> sim = std::make_unique<Sim>();
    bool loaded = false;
    std::string error;

    explicit Shipped(const std::string& name) {
        area::BuildArea(*sim);
        loaded = ImportTimetableText(*sim, ReadAll(kDataDir + "/" + name + ".txt"), error);
    }
    std::vector<TTimetable*> Trains() const {
        std::vector<TTimetable*> out;
        sim->Timetable.ForEach([&](TTimetable& t) { out.push_back(&t); });
        return out;
    }
};

bool HasActivity(const TTimetable& t, std::uint8_t kind) {
    for (const TTimetableTrip& trip : t.Trips.Items) {
        for (const TTimetableActivity& a : trip.Activities.Items) {
            if (a.ActivityKind == kind) return true;
        }
    }
    return false;
}

bool CallsAt(const TTimetable& t, const std::string& location) {
    return std::any_of(t.Trips.Items.begin(), t.Trips.Items.end(), [&](const TTimetableTrip& trip) {
        return trip.Location && trip.Location->ID == location;
    });
}

// The time a train is first due: its entry, or its first departure.
std::int32_t DueTime(const TTimetable& t) {
    return t.EntryPoint ? t.EntryTime : t.FirstDepTime();
}

const char* const kNames[] = {"beginner", "standard", "tunnel"};

TEST(ShippedTimetables, TheAreaShipsItsThreeTimetablesAndNothingElse) {
    std::set<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(kDataDir)) {
        if (e.path().extension() == ".txt") found.insert(e.path().stem().string());
    }
    EXPECT_EQ(found, (std::set<std::string>{"beginner", "standard", "tunnel"}));
}

TEST(ShippedTimetables, EveryTrainValidatesOnTheBuiltInArea) {
    for (const char* name : kNames) {
        SCOPED_TRACE(name);
        std::ostringstream out, err;
        const int status = runner::RunTimetableTool(
            {"--timetable-check", kDataDir + "/" + name + ".txt"}, out, err);
        EXPECT_EQ(status, 0) << out.str() << err.str();
        EXPECT_NE(out.str().find(" invalid 0\n"), std::string::npos) << out.str() << err.str();
    }
}

TEST(ShippedTimetables, EveryTrainKeepsToTheRunningTimesOfItsPaths) {
    for (const char* name : kNames) {
        SCOPED_TRACE(name);
        Shipped s(name);
        ASSERT_TRUE(s.loaded) << s.error;
        for (TTimetable* t : s.Trains()) {
            std::string message;
            if (!Validate(*t, message)) continue;  // reported by the validation test
            EXPECT_TRUE(CheckRunningTimes(*t, message)) << t->ID << ": " << message;
        }
    }
}

TEST(ShippedTimetables, CompiledFilesAreTheTextsThroughTheWriter) {
    for (const char* name : kNames) {
        SCOPED_TRACE(name);
        const std::string wtt = std::string(KESTRA_BINARY_DIR) + "/VLM/" + name + ".WTT";
        std::vector<std::uint8_t> built;
        ASSERT_TRUE(ReadFileBytes(wtt, built)) << wtt << " was not built";
        Shipped s(name);
        ASSERT_TRUE(s.loaded) << s.error;
        EXPECT_TRUE(built == TimetableFileBytes(*s.sim)) << wtt << " differs from its text";
        TTimetableHeader header;
        ASSERT_TRUE(ReadTimetableHeader(wtt, header));
        EXPECT_EQ(header.Name, s.sim->Timetable.Name);
        EXPECT_EQ(header.StartTime, s.sim->Timetable.StartTime);
    }
}

TEST(ShippedTimetables, TheBeginnersIsAQuietTwoHoursWithoutDividesOrJoins) {
    Shipped s("beginner");
    ASSERT_TRUE(s.loaded) << s.error;
    const auto trains = s.Trains();
    EXPECT_GE(trains.size(), 20u);
    EXPECT_LE(trains.size(), 35u);
    EXPECT_EQ(s.sim->Timetable.FinishTime - s.sim->Timetable.StartTime, 2 * 3600);
    for (const TTimetable* t : trains) {
        EXPECT_FALSE(HasActivity(*t, ActDividesNewRear) || HasActivity(*t, ActDividesNewFront))
            << t->ID;
        EXPECT_FALSE(HasActivity(*t, ActJoins)) << t->ID;
    }
}

TEST(ShippedTimetables, TheStandardDayIsBusyWithEveryKindOfTrain) {
    Shipped s("standard");
    ASSERT_TRUE(s.loaded) << s.error;
    const auto trains = s.Trains();
    EXPECT_GE(trains.size(), 100u);
    const std::int32_t start = s.sim->Timetable.StartTime;
    EXPECT_GE(s.sim->Timetable.FinishTime - start, 4 * 3600);
    // Busy: at least a dozen trains due in each of the first four hours.
    for (int hour = 0; hour < 4; ++hour) {
        const auto due = std::count_if(trains.begin(), trains.end(), [&](const TTimetable* t) {
            return DueTime(*t) >= start + hour * 3600 && DueTime(*t) < start + (hour + 1) * 3600;
        });
        EXPECT_GE(due, 12) << "hour " << hour;
    }
    auto any = [&](auto&& pred) { return std::any_of(trains.begin(), trains.end(), pred); };
    auto entersAt = [](const TTimetable* t, const char* entry) {
        return t->EntryPoint && t->EntryPoint->ID == entry;
    };
    // Stopping and fast passenger trains on the main line.
    EXPECT_TRUE(any([&](const TTimetable* t) {
        return t->ID[0] == '2' && entersAt(t, "WEST") && CallsAt(*t, "OSTWK");
    }));
    EXPECT_TRUE(any([&](const TTimetable* t) {
        return t->ID[0] == '1' && std::any_of(t->Trips.Items.begin(), t->Trips.Items.end(),
                                              [](const TTimetableTrip& p) { return p.IsPass; });
    }));
    // Branch trains that terminate in the bay and go back.
    EXPECT_TRUE(any([&](const TTimetable* t) {
        return entersAt(t, "TARROW") && !t->Trips.Empty() &&
               t->Trips.Items.back().Platform == "5" && !NextTrainOf(t->Trips.Items.back()).empty();
    }));
    // Dividing and joining at the principal station.
    EXPECT_TRUE(any([&](const TTimetable* t) {
        return HasActivity(*t, ActDividesNewRear) || HasActivity(*t, ActDividesNewFront);
    }));
    EXPECT_TRUE(any([&](const TTimetable* t) { return HasActivity(*t, ActJoins); }));
    // Empty stock to and from the depot.
    EXPECT_TRUE(any([&](const TTimetable* t) { return t->ID[0] == '5' && entersAt(t, "DEPOT"); }));
    EXPECT_TRUE(any([&](const TTimetable* t) { return t->ID[0] == '5' && CallsAt(*t, "VLMDEP"); }));
    // Freight through the goods loop and the yard, and quarry trains.
    EXPECT_TRUE(any([&](const TTimetable* t) { return t->IsFreight && CallsAt(*t, "OSTGL"); }));
    EXPECT_TRUE(any([&](const TTimetable* t) { return t->IsFreight && CallsAt(*t, "OSTYD"); }));
    EXPECT_TRUE(any([&](const TTimetable* t) { return t->IsFreight && entersAt(t, "OSTYD"); }));
    EXPECT_TRUE(any([&](const TTimetable* t) { return entersAt(t, "QUARRY"); }));
    EXPECT_TRUE(any([&](const TTimetable* t) { return CallsAt(*t, "HRNFQ"); }));
    // One train runs only on some days.
    EXPECT_EQ(std::count_if(trains.begin(), trains.end(),
                            [](const TTimetable* t) { return t->AsRequired; }),
              1);
}

TEST(ShippedTimetables, InTheTunnelClosureNoTrainPassesTheTunnel) {
    Shipped s("tunnel");
    ASSERT_TRUE(s.loaded) << s.error;
    const std::set<std::string> east{"HRNF", "HRNFE", "HRNFQ", "GRYTUN"};
    const std::set<std::string> west{"WESTL",  "OSTWK", "OSTYD", "OSTGL",
                                     "VLMDEP", "VLMC",  "SKLBJ", "GRYTUN"};
    int turnedAtCentral = 0, turnedAtHarnforth = 0;
    for (const TTimetable* t : s.Trains()) {
        bool eastSide = false, westSide = false;
        for (const TTimetableTrip& trip : t->Trips.Items) {
            if (!trip.Location) continue;
            eastSide = eastSide || east.count(trip.Location->ID) > 0;
            westSide = westSide || west.count(trip.Location->ID) > 0;
        }
        EXPECT_FALSE(eastSide && westSide) << t->ID << " runs through the tunnel";
        if (t->Trips.Empty() || NextTrainOf(t->Trips.Items.back()).empty()) continue;
        const TLOC* end = t->Trips.Items.back().Location;
        if (!end) continue;
        if (t->EntryPoint && t->EntryPoint->ID == "WEST" && end->ID == "VLMC") ++turnedAtCentral;
        if (t->EntryPoint && t->EntryPoint->ID == "EAST" && end->ID == "HRNF") ++turnedAtHarnforth;
    }
    EXPECT_GT(turnedAtCentral, 0);
    EXPECT_GT(turnedAtHarnforth, 0);
}

}  // namespace
}  // namespace kestra
