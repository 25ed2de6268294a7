#include "timetable/timetable_authoring.h"

#include <unordered_set>

#include "places/entry_point.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"
#include "timetable/running_time.h"
#include "timetable/timetable.h"
#include "timetable/timetable_validate.h"

namespace kestra {

namespace {

constexpr int kMaxRepeats = 200;
constexpr int kMaxIntervalMinutes = 24 * 60;

std::string FirstLine(const std::string& message) {
    const std::size_t end = message.find_first_of("\r\n");
    return end == std::string::npos ? message : message.substr(0, end);
}

// Up to the next half minute: timetable times are kept in half minutes.
std::int32_t HalfMinuteUp(std::int32_t t) {
    return (t + 29) / 30 * 30;
}

// A location no path leaves: a train there is leaving the area.
bool IsExit(const Sim& sim, const TLOC* location) {
    bool leaves = false;
    sim.Paths.ForEach([&](const TPTH& p) { leaves = leaves || p.FromLocation == location; });
    return !leaves;
}

// The first path from (from, platform) to to that does not turn the train round; when
// platform is empty any platform at from will do.
const TPTH* PathBetween(const Sim& sim, const TLOC* from, const std::string& platform,
                        const TLOC* to) {
    const TPTH* found = nullptr;
    sim.Paths.ForEach([&](const TPTH& p) {
        if (found || p.Entry || p.FromLocation != from || p.ToLocation != to) return;
        if (p.StartDirection != p.EndDirection) return;
        if (!platform.empty() && !p.FromPlatform.empty() && p.FromPlatform != platform) return;
        found = &p;
    });
    return found;
}

// The first path from the entry point to location, whatever its codes.
const TPTH* EntryPathTo(const Sim& sim, const TENT* entry, const TLOC* location) {
    const TPTH* found = nullptr;
    sim.Paths.ForEach([&](const TPTH& p) {
        if (!found && p.Entry == entry && p.ToLocation == location) found = &p;
    });
    return found;
}

struct Stop {
    TLOC* Location = nullptr;
    bool Pass = false;
    std::int32_t Dwell = 0;  // s, the original's time standing there
};

}  // namespace

std::string NumberedHeadcode(const std::string& headcode, int step) {
    std::size_t digits = 0;
    while (digits < headcode.size() && digits < 9 &&
           headcode[headcode.size() - 1 - digits] >= '0' &&
           headcode[headcode.size() - 1 - digits] <= '9')
        ++digits;
    if (digits == 0 || step < 0) return {};
    const std::string prefix = headcode.substr(0, headcode.size() - digits);
    const long long number = std::stoll(headcode.substr(headcode.size() - digits)) + step;
    std::string text = std::to_string(number);
    if (text.size() > digits) return {};
    return prefix + std::string(digits - text.size(), '0') + text;
}

bool RepeatTrain(Sim& sim, const TTimetable& original, int count, int intervalMinutes,
                 std::vector<std::unique_ptr<TTimetable>>& copies, std::string& error) {
    copies.clear();
    if (count < 1 || count > kMaxRepeats) {
        error = "the number of copies must be 1 to " + std::to_string(kMaxRepeats);
        return false;
    }
    if (intervalMinutes < 1 || intervalMinutes > kMaxIntervalMinutes) {
        error = "the interval must be 1 to " + std::to_string(kMaxIntervalMinutes) + " minutes";
        return false;
    }
    std::unordered_set<std::string> used;
    sim.Timetable.ForEach([&](const TTimetable& t) { used.insert(t.ID); });
    used.insert(original.ID);
    int step = 0;
    for (int n = 1; n <= count; ++n) {
        std::string headcode;
        do {
            headcode = NumberedHeadcode(original.ID, ++step);
        } while (!headcode.empty() && used.count(headcode) != 0);
        if (headcode.empty()) {
            error = "train " + original.ID + ": no free headcode after it for copy " +
                    std::to_string(n) +
                    ": the headcode must end in digits with room to count on (2D01 gives 2D02, "
                    "2D03 ...)";
            copies.clear();
            return false;
        }
        used.insert(headcode);
        auto copy = std::make_unique<TTimetable>(sim, headcode);
        copy->CopyFrom(original, n * intervalMinutes);
        copy->ID = headcode;
        copy->Entered = false;
        copy->Delay = 0;
        copy->DelayWarned = false;
        for (TTimetableTrip& trip : copy->Trips.Items) trip.Activities.Items.clear();
        std::string message;
        if (!Validate(*copy, message)) {
            error = "train " + headcode + ": " + FirstLine(message);
            copies.clear();
            return false;
        }
        copies.push_back(std::move(copy));
    }
    return true;
}

std::unique_ptr<TTimetable> MakeReturnWorking(Sim& sim, TTimetable& original,
                                              const std::string& headcode, int turnroundMinutes,
                                              TENT* entry, std::string& error) {
    auto fail = [&](const std::string& why) {
        error = "train " + original.ID + ": " + why;
        return nullptr;
    };
    if (turnroundMinutes < 0 || turnroundMinutes > kMaxIntervalMinutes)
        return fail("the turn-round must be 0 to " + std::to_string(kMaxIntervalMinutes) +
                    " minutes");
    std::string message;
    if (!Validate(original, message))
        return fail("its own timetable does not validate: " + FirstLine(message));
    // The original's key calls, the timing points validation inserted among them (as
    // passes: the area's paths run between those too).
    std::vector<Stop> calls;
    for (const TTimetableTrip& trip : original.Trips.Items) {
        if (!IsKeyTrip(trip)) continue;
        Stop s;
        s.Location = trip.Location;
        s.Pass = trip.IsPass;
        s.Dwell = trip.ArrTime != 0 ? trip.DepTime - trip.ArrTime : 0;
        calls.push_back(s);
    }
    if (calls.size() < 2) return fail("it needs two key locations at least to be worked back");
    const std::int32_t endTime = original.Trips.Items.back().DepTime;
    const bool leavesArea = calls.back().Pass && IsExit(sim, calls.back().Location);
    if (leavesArea) calls.pop_back();
    std::vector<Stop> back(calls.rbegin(), calls.rend());
    if (back.empty()) return fail("it calls nowhere before it leaves the area");
    // A train that entered from the edge goes back out beyond its first call: to a
    // location no path leaves, reached from there.
    if (original.EntryPoint) {
        const TLOC* last = back.back().Location;
        TLOC* exit = nullptr;
        sim.Paths.ForEach([&](const TPTH& p) {
            if (!exit && !p.Entry && p.FromLocation == last && p.ToLocation &&
                IsExit(sim, p.ToLocation))
                exit = p.ToLocation;
        });
        if (!exit) return fail("no path leads out of the area from " + last->Name);
        back.push_back({exit, true, 0});
    }
    auto ret = std::make_unique<TTimetable>(sim, headcode);
    ret->CopyFrom(original);
    ret->ID = headcode;
    ret->Entered = false;
    ret->Delay = 0;
    ret->DelayWarned = false;
    ret->EntryPoint = nullptr;
    ret->Trips.Items.clear();
    const RunningCharacteristics train = RunningCharacteristics::Of(original);
    std::int32_t clock = HalfMinuteUp(endTime + turnroundMinutes * 60);
    std::string platform;
    if (leavesArea) {
        if (!entry) {
            std::string names;
            sim.EntryPoints.ForEach([&](TENT& e) {
                if (!EntryPathTo(sim, &e, back.front().Location)) return;
                if (!entry) entry = &e;
                names += (names.empty() ? "" : ", ") + e.ID;
            });
            if (!entry) return fail("no entry point has a path to " + back.front().Location->Name);
            if (names.find(',') != std::string::npos) {
                error = "train " + original.ID + ": several entry points lead to " +
                        back.front().Location->Name + " (" + names + "): say which one";
                return nullptr;
            }
        }
        ret->EntryPoint = entry;
        ret->EntryTime = clock;
        const TPTH* path = EntryPathTo(sim, entry, back.front().Location);
        if (!path)
            return fail("no path from entry point " + entry->ID + " to " +
                        back.front().Location->Name);
        const Stop& first = back.front();
        const std::int32_t run =
            MinimumRunningTime(*path, sim.SimData, train, SectionStart::Running,
                               first.Pass ? SectionEnd::Passing : SectionEnd::Stopping);
        if (run < 0) return fail("the area gives no running time into " + first.Location->Name);
        TTimetableTrip trip;
        trip.Location = first.Location;
        trip.Platform = path->ToPlatform;
        trip.Path = path->ToPath;
        clock = HalfMinuteUp(clock + run);
        trip.IsPass = first.Pass;
        if (!first.Pass) {
            trip.ArrTime = clock;
            clock = HalfMinuteUp(clock + first.Dwell);
        }
        trip.DepTime = clock;
        ret->Trips.Items.push_back(std::move(trip));
    } else {
        // Formed from the original where it stands: same platform, departs after the
        // turn-round.
        const TTimetableTrip& last = original.Trips.Items.back();
        TTimetableTrip trip;
        trip.Location = back.front().Location;
        trip.Platform = last.Platform;
        trip.DepTime = clock;
        ret->Trips.Items.push_back(std::move(trip));
    }
    for (std::size_t i = 1; i < back.size(); ++i) {
        TTimetableTrip& from = ret->Trips.Items.back();
        const Stop& to = back[i];
        const TPTH* path = PathBetween(sim, from.Location, from.Platform, to.Location);
        if (!path)
            return fail("no path from " + from.Location->Name + " to " + to.Location->Name +
                        " the other way");
        if (from.Line.empty()) from.Line = path->FromLine;
        const bool standing = !from.IsPass;
        const std::int32_t run = MinimumRunningTime(
            *path, sim.SimData, train, standing ? SectionStart::Standing : SectionStart::Running,
            to.Pass ? SectionEnd::Passing : SectionEnd::Stopping);
        if (run < 0) return fail("the area gives no running time to " + to.Location->Name);
        clock = HalfMinuteUp(clock + run + (standing ? DepartureSpread : 0));
        TTimetableTrip trip;
        trip.Location = to.Location;
        trip.Platform = path->ToPlatform;
        trip.Path = path->ToPath;
        trip.IsPass = to.Pass;
        if (!to.Pass) {
            trip.ArrTime = clock;
            // The last call is where the return ends: it arrives and stays.
            if (i + 1 < back.size()) clock = HalfMinuteUp(clock + std::max(to.Dwell, 30));
        }
        trip.DepTime = clock;
        ret->Trips.Items.push_back(std::move(trip));
    }
    if (!Validate(*ret, message))
        return fail("the return working " + headcode + " does not validate: " + FirstLine(message));
    if (!leavesArea && original.Trips.Items.back().Activities.Items.empty())
        original.Trips.Items.back().Activities.Items.push_back({ActNextTrain, headcode});
    return ret;
}

}  // namespace kestra
