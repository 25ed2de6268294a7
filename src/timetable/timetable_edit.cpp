#include "timetable/timetable_edit.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <utility>
#include <vector>

#include "core/hooks.h"
#include "core/time_format.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "sim/sim.h"
#include "timetable/timetable.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_validate.h"

namespace kestra {

namespace {

// A whole number, optionally signed; false for anything else (empty included).
bool WholeNumber(const std::string& text, std::int32_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i >= text.size() || text.size() - i > 9) return false;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    value = static_cast<std::int32_t>(negative ? -v : v);
    return true;
}

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string ValidationFailedText(const std::string& message) {
    return "Timetable validation failed:\n" + message +
           "\n\nPress Ok to continue editing the timetable, or Cancel to close the editor.";
}

bool StoreCategoryBoxes(Sim& sim, TTrainCategory& category, const CategoryBoxes& boxes,
                        std::string& message) {
    std::int32_t length = 0, speed = 0;
    if (!WholeNumber(boxes.Length, length)) {
        message = InvalidTrainLengthText;
        return false;
    }
    if (!WholeNumber(boxes.MaxSpeed, speed)) {
        message = InvalidMaxSpeedText;
        return false;
    }
    category.Description = boxes.Description;
    category.Length = length;
    category.MaxSpeed = speed;
    category.AccelBrake = boxes.AccelBrake;
    category.IsFreight = boxes.IsFreight;
    category.PowerTypes = boxes.PowerTypes;
    sim.Timetable.Modified = true;
    return true;
}

void ApplyCategory(Sim& sim, const TTrainCategory& category) {
    sim.Timetable.ForEach([&](TTimetable& t) {
        if (t.Category != &category) return;
        t.AccelBrake = category.AccelBrake;
        t.IsFreight = category.IsFreight;
        t.MaxSpeed = category.MaxSpeed;
        t.Length = category.Length;
        t.PowerTypes = category.PowerTypes;
    });
}

void DeleteCategory(Sim& sim, TTrainCategory& category) {
    sim.Timetable.ForEach([&](TTimetable& t) {
        if (t.Category == &category) t.Category = nullptr;
    });
    sim.Categories.Destroy(&category);
    sim.Categories.Pack();
}

std::int32_t ParseAllowanceBox(const std::string& box) {
    std::string four = box;
    four.resize(4, ' ');
    if (four == "    ") return 0;
    const std::int32_t seconds = ParseHalfMinute("00:" + four);
    return seconds < 0 ? 0 : seconds / 30;
}

std::string FormatAllowanceBox(std::int32_t halfMinutes) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d %c", halfMinutes / 2, halfMinutes % 2 ? 'H' : ' ');
    return buf;
}

bool StoreTripBoxes(Sim& sim, TTimetableTrip& trip, const TripBoxes& b) {
    const std::int32_t arrival = ParseHalfMinute(b.Arrival);
    const std::int32_t departure = ParseHalfMinute(b.Departure);
    if (arrival < 0 || departure < 0 || !b.Location) return false;
    trip.Location = b.Location;
    trip.ArrTime = arrival;
    trip.DepTime = departure;
    if (trip.ArrTime != 0 && trip.DepTime == 0) trip.DepTime = trip.ArrTime;
    trip.IsPass = b.Pass;
    trip.Platform = b.Platform;
    trip.Line = b.Line;
    trip.Path = b.Path;
    trip.EngAllowance = ParseAllowanceBox(b.Engineering);
    trip.PathAllowance = ParseAllowanceBox(b.Pathing);
    trip.AutoInserted = false;
    sim.Timetable.Modified = true;
    return true;
}

std::string TrainListEntry(const TTimetable& t) {
    std::string text = t.ID + " ";
    if (t.EntryPoint) return text + t.EntryPoint->Name + " enters " + FormatHalfMinute(t.EntryTime);
    if (t.Trips.Empty()) return text;
    const TTimetableTrip& first = t.Trips.Items.front();
    return text + (first.Location ? first.Location->Name : std::string()) + " dep " +
           FormatHalfMinute(first.DepTime);
}

void SortTimetables(Sim& sim, TrainSort sort) {
    std::vector<TTimetable*> order;
    sim.Timetable.ForEach([&](TTimetable& t) { order.push_back(&t); });
    auto keyTime = [](const TTimetable* t) {
        return t->EntryTime == 0 && !t->Trips.Empty() ? t->Trips.Items.front().DepTime
                                                      : t->EntryTime;
    };
    auto after = [&](const TTimetable* a, const TTimetable* b) {
        switch (sort) {
            case TrainSort::Identity:
                return a->ID != b->ID ? a->ID > b->ID : a->EntryTime > b->EntryTime;
            case TrainSort::DepartureTime:
                return keyTime(a) != keyTime(b) ? keyTime(a) > keyTime(b) : a->ID > b->ID;
            case TrainSort::EntryLocation:
                if ((a->EntryPoint == nullptr) != (b->EntryPoint == nullptr))
                    return a->EntryPoint != nullptr;
                if (a->EntryPoint && a->EntryPoint->Name != b->EntryPoint->Name)
                    return a->EntryPoint->Name > b->EntryPoint->Name;
                return a->EntryTime > b->EntryTime;
        }
        return false;
    };
    // Neighbours exchanged until a pass exchanges none: equal entries keep their order.
    for (bool swapped = true; swapped;) {
        swapped = false;
        for (std::size_t i = 0; i + 1 < order.size(); ++i) {
            if (after(order[i], order[i + 1])) {
                std::swap(order[i], order[i + 1]);
                swapped = true;
            }
        }
    }
    for (int i = 0; i < static_cast<int>(order.size()); ++i) {
        sim.Timetable.Delete(sim.Timetable.IndexOf(order[static_cast<std::size_t>(i)]));
        sim.Timetable.Insert(i, order[static_cast<std::size_t>(i)]->ID,
                             order[static_cast<std::size_t>(i)]);
    }
}

std::string FormatListTime(std::int32_t t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%2.2d:%2.2d", t / 3600, (t / 60) % 60);
    return buf;
}

bool ReadListTime(const std::string& box, std::int32_t& t) {
    if (box.size() < 5 || !Digit(box[0]) || !Digit(box[1]) || !Digit(box[3]) || !Digit(box[4]))
        return false;
    t = 36000 * (box[0] - '0') + 3600 * (box[1] - '0') + 600 * (box[3] - '0') + 60 * (box[4] - '0');
    return true;
}

std::string ListNameShown(const Sim& sim) {
    return sim.Timetable.Name == "None" ? sim.SimData.AreaTitle + " Custom Timetable"
                                        : sim.Timetable.Name;
}

TTimetable* DuplicateTimetable(Sim& sim, const TTimetable& timetable, const std::string& headcode,
                               const std::string& minutesText, std::string& message) {
    std::int32_t minutes = 0;
    if (!WholeNumber(minutesText, minutes)) {
        message = InvalidNumericInputText;
        return nullptr;
    }
    auto copy = std::make_unique<TTimetable>(sim, headcode);
    copy->CopyFrom(timetable, minutes);
    copy->ID = headcode;
    copy->Entered = false;
    return &sim.Timetable.InsertOwned(sim.Timetable.Count(), std::move(copy));
}

std::unique_ptr<TTimetable> CopyTimetable(Sim& sim, const TTimetable& timetable) {
    auto copy = std::make_unique<TTimetable>(sim, timetable.ID);
    copy->CopyFrom(timetable);
    return copy;
}

TTimetable& ReplaceTimetable(Sim& sim, int index, std::unique_ptr<TTimetable> copy) {
    if (index >= 0 && index < sim.Timetable.Count()) {
        sim.Timetable.Destroy(sim.Timetable.At(index));
        sim.Timetable.Pack();
    } else {
        index = sim.Timetable.Count();
    }
    sim.Timetable.Modified = true;
    return sim.Timetable.InsertOwned(index, std::move(copy));
}

TTimetable& AppendTimetable(Sim& sim, std::unique_ptr<TTimetable> timetable) {
    sim.Timetable.Modified = true;
    return sim.Timetable.InsertOwned(sim.Timetable.Count(), std::move(timetable));
}

int RemoveTimetable(Sim& sim, int index) {
    if (index < 0 || index >= sim.Timetable.Count()) return -1;
    sim.Timetable.Destroy(sim.Timetable.At(index));
    sim.Timetable.Pack();
    sim.Timetable.Modified = true;
    if (sim.Timetable.Count() == 0) return -1;
    return index > 0 ? index - 1 : 0;
}

int FindTrainEntry(const std::vector<std::string>& entries, const std::string& answer) {
    auto upper = [](std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return s;
    };
    const std::string wanted = upper(answer);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (upper(entries[i].substr(0, wanted.size())) == wanted) return static_cast<int>(i);
    }
    return -1;
}

std::unique_ptr<TTrainCategory> NewCategory(Sim& sim) {
    char id[16];
    const auto byte = [&] { return static_cast<unsigned>(sim.RandomInt(255)); };
    const unsigned a = byte(), b = byte(), c = byte(), d = byte();
    std::snprintf(id, sizeof id, "%2.2x%2.2x%2.2x%2.2x", a, b, c, d);
    auto category = std::make_unique<TTrainCategory>(id);
    const TimetableDefaults& defaults = sim.Timetable.EditorDefaults;
    category->Description = "Untitled category";
    category->AccelBrake = defaults.AccelBrake;
    category->MaxSpeed = defaults.MaxSpeed;
    category->Length = defaults.Length;
    category->PowerTypes = defaults.PowerTypes;
    category->IsFreight = false;
    return category;
}

namespace {

// Characters first to last (counted from 1) of a line, without surrounding blanks.
std::string Columns(const std::string& line, std::size_t first, std::size_t last) {
    if (line.size() < first) return {};
    std::string part = line.substr(first - 1, last - first + 1);
    const auto begin = part.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    const auto end = part.find_last_not_of(" \t\r");
    return part.substr(begin, end - begin + 1);
}

// "HHMM" as seconds; blank is 0; -1 when it is not four digits.
std::int32_t HHMM(const std::string& text) {
    if (text.empty()) return 0;
    if (text.size() != 4) return -1;
    for (char c : text)
        if (!Digit(c)) return -1;
    return ((text[0] - '0') * 10 + (text[1] - '0')) * 3600 +
           ((text[2] - '0') * 10 + (text[3] - '0')) * 60;
}

}  // namespace

int ImportOutsideTimetable(Sim& sim, const std::string& text,
                           const std::function<bool(const std::string&)>& invalid) {
    int added = 0;
    std::unique_ptr<TTimetable> train;
    std::string problem;  // a line of the train that could not be read
    // False when the import is to end.
    auto finish = [&]() -> bool {
        if (!train) return true;
        std::unique_ptr<TTimetable> t = std::move(train);
        std::string message = problem;
        if (message.empty() && Validate(*t, message)) {
            AppendTimetable(sim, std::move(t));
            ++added;
            return true;
        }
        return invalid(t->ID + ": " + message);
    };
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty()) continue;
        if (line[0] == 'E') break;
        if (line[0] == 'H') {
            if (!finish()) return added;
            train = std::make_unique<TTimetable>(sim, Columns(line, 2, 5));
            train->AccelBrake = AccelHigh;
            train->MaxSpeed = 90;
            train->Length = 80;
            train->PowerTypes = PowerOverhead;
            problem.clear();
        } else if (line[0] == 'L' && train && problem.empty()) {
            TTimetableTrip trip;
            const std::string id = Columns(line, 2, 8);
            trip.Location = sim.Locations.FindID(id);
            trip.ArrTime = HHMM(Columns(line, 10, 13));
            trip.DepTime = HHMM(Columns(line, 15, 18));
            trip.Platform = Columns(line, 20, 22);
            if (!trip.Location) {
                problem = "unknown location \"" + PrintableText(id) + "\"";
            } else if (trip.ArrTime < 0 || trip.DepTime < 0) {
                problem = "times at " + id + " are not HHMM";
            } else {
                if (trip.DepTime == 0) trip.DepTime = trip.ArrTime;
                trip.IsPass = Columns(line, 24, 24) == "P";
                train->Trips.Items.push_back(std::move(trip));
            }
        }
    }
    finish();
    return added;
}

bool ExportTimetable(Sim& sim, const std::string& path) {
    if (!sim.Hooks.ExportHook) {
        sim.Dialog().ShowInformation("Export not available for this simulation");
        return false;
    }
    std::string text;
    sim.Hooks.ExportHook(text);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        sim.Dialog().ShowError("Error exporting file");
        return false;
    }
    sim.Dialog().ShowInformation("Succesfully exported to " + path);
    return true;
}

}  // namespace kestra
