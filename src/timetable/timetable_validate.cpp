#include "timetable/timetable_validate.h"

#include <utility>

#include "interlocking/route.h"
#include "places/code_rules.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"

namespace kestra {

namespace {

// More passes than any sensible set of insertions needs; a rule set that would go on
// inserting for ever stops here.
constexpr int kMaxInsertionPasses = 16;

// A trip of the timetable being rebuilt, with its position before insertion (-1 for
// a trip inserted now).
struct PlacedTrip {
    TTimetableTrip Trip;
    int Original = -1;
};

// n x fraction / 1024, to the nearest whole, halves to even.
std::int32_t ScaleByFraction(std::int64_t n, std::uint32_t fraction) {
    const std::int64_t num = n * static_cast<std::int64_t>(fraction);
    std::int64_t q = num / 1024;
    std::int64_t r = num % 1024;
    if (r < 0) {
        r += 1024;
        q -= 1;
    }
    if (r > 512 || (r == 512 && (q % 2) != 0)) ++q;
    return static_cast<std::int32_t>(q);
}

// A passing trip at location, made by validation.
TTimetableTrip InsertedTrip(TLOC* location, std::int32_t base, std::uint32_t fraction,
                            const TTimetableTrip& next) {
    TTimetableTrip t;
    t.Location = location;
    t.ArrTime = 0;
    t.IsPass = true;
    t.AutoInserted = true;
    const std::int64_t span =
        static_cast<std::int64_t>(next.ArrivalOrDeparture()) - next.AllowanceSeconds() - base;
    t.DepTime = base + ScaleByFraction(span, fraction);
    return t;
}

// True when the original trips strictly between positions from and to (from -1: the
// start) already call at location, so that an insertion made by an earlier validation
// is not made again.
bool AlreadyBetween(const std::vector<TTimetableTrip>& original, int from, int to,
                    const TLOC* location) {
    if (to < 0) return false;
    for (int i = from + 1; i < to; ++i) {
        if (original[i].Location == location) return true;
    }
    return false;
}

PathQuery EntryQuery(TENT* entry, const TTimetableTrip& to) {
    PathQuery q;
    q.Entry = entry;
    q.ToLocation = to.Location;
    q.ToPlatform = to.Platform;
    q.ToPath = to.Path;
    q.ToLine = to.Line;
    return q;
}

PathQuery PairQuery(const TTimetableTrip& from, const TTimetableTrip& to) {
    PathQuery q;
    q.FromLocation = from.Location;
    q.FromPlatform = from.Platform;
    q.FromPath = from.Path;
    q.FromLine = from.Line;
    q.ToLocation = to.Location;
    q.ToPlatform = to.Platform;
    q.ToPath = to.Path;
    q.ToLine = to.Line;
    return q;
}

std::vector<int> KeyTripIndexes(const TTimetable& t) {
    std::vector<int> keys;
    for (int i = 0; i < t.Trips.Count(); ++i) {
        if (IsKeyTrip(t.Trips.Items[i])) keys.push_back(i);
    }
    return keys;
}

const std::string& NameOf(const TLOC* location) {
    static const std::string none = "(None)";
    return location ? location->Name : none;
}

}  // namespace

void InsertTimingPoints(TTimetable& timetable) {
    Sim& sim = timetable.Simulation();
    const std::vector<TTimetableTrip> original = timetable.Trips.Items;
    std::vector<PlacedTrip> keys;
    std::vector<PlacedTrip> intermediates;
    for (int i = 0; i < static_cast<int>(original.size()); ++i) {
        (IsKeyTrip(original[i]) ? keys : intermediates).push_back({original[i], i});
    }
    if (keys.empty()) return;

    for (int pass = 0; pass < kMaxInsertionPasses; ++pass) {
        bool inserted = false;
        std::uint32_t fraction = 0;
        TLOC* insert = nullptr;
        if (timetable.EntryPoint &&
            sim.TimingInsertions.CheckInsertion(timetable.EntryPoint, nullptr,
                                                keys.front().Trip.Location, fraction, insert) &&
            insert && !AlreadyBetween(original, -1, keys.front().Original, insert)) {
            keys.insert(
                keys.begin(),
                {InsertedTrip(insert, timetable.EntryTime, fraction, keys.front().Trip), -1});
            inserted = true;
        }
        std::size_t prev = 0;
        for (std::size_t cur = 1; cur < keys.size(); ++cur) {
            fraction = 0;
            insert = nullptr;
            const PlacedTrip& p = keys[prev];
            const PlacedTrip& c = keys[cur];
            if (sim.TimingInsertions.CheckInsertion(nullptr, p.Trip.Location, c.Trip.Location,
                                                    fraction, insert) &&
                insert &&
                !(p.Original >= 0 && AlreadyBetween(original, p.Original, c.Original, insert))) {
                PlacedTrip made{InsertedTrip(insert, p.Trip.DepTime, fraction, c.Trip), -1};
                keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(cur), std::move(made));
                inserted = true;
            }
            // The inserted trip (now at cur) or the current trip becomes the previous one.
            prev = cur;
        }
        if (!inserted) break;
    }

    std::vector<TTimetableTrip> rebuilt;
    rebuilt.reserve(keys.size() + intermediates.size());
    for (PlacedTrip& k : keys) rebuilt.push_back(std::move(k.Trip));
    for (PlacedTrip& m : intermediates) {
        int after = -1;
        for (int i = 0; i < static_cast<int>(rebuilt.size()); ++i) {
            if (rebuilt[i].DepTime < m.Trip.DepTime) after = i;
        }
        rebuilt.insert(rebuilt.begin() + (after + 1), std::move(m.Trip));
    }
    timetable.Trips.Items = std::move(rebuilt);
}

void FillCodes(TTimetable& timetable) {
    Sim& sim = timetable.Simulation();
    const std::vector<int> keys = KeyTripIndexes(timetable);
    if (keys.empty()) return;
    auto& trips = timetable.Trips.Items;
    if (timetable.EntryPoint) {
        std::string scratchPath, scratchLine;
        TTimetableTrip& first = trips[keys.front()];
        sim.CodeRules.CheckInsertion({timetable.EntryPoint, nullptr, &scratchPath, &scratchLine},
                                     true, {nullptr, first.Location, &first.Path, &first.Line});
    }
    for (std::size_t i = 1; i < keys.size(); ++i) {
        TTimetableTrip& a = trips[keys[i - 1]];
        TTimetableTrip& b = trips[keys[i]];
        const bool firstStep = i == 1 && timetable.EntryPoint == nullptr;
        sim.CodeRules.CheckInsertion({nullptr, a.Location, &a.Path, &a.Line}, firstStep,
                                     {nullptr, b.Location, &b.Path, &b.Line});
    }
}

bool Validate(TTimetable& timetable, std::string& message) {
    InsertTimingPoints(timetable);
    FillCodes(timetable);
    Sim& sim = timetable.Simulation();
    const std::vector<int> keys = KeyTripIndexes(timetable);
    const auto& trips = timetable.Trips.Items;
    std::size_t next = 1;
    if (timetable.EntryPoint) {
        if (keys.empty()) {
            message = "Entering trip list must specify at least one key location";
            return false;
        }
        const TTimetableTrip& first = trips[keys.front()];
        if (!sim.Paths.FindPath(EntryQuery(timetable.EntryPoint, first))) {
            message =
                "Path not found from entrance " + timetable.EntryPoint->Name + " to location " +
                NameOf(first.Location) +
                " using platform/line/path codes specified\r\n\r\nPossible alternatives:\r\n" +
                sim.Paths.ListPaths(timetable.EntryPoint, nullptr, first.Location);
            return false;
        }
    } else if (keys.size() < 2) {
        message = "Starting trip list must specify at least two key locations";
        return false;
    }
    for (; next < keys.size(); ++next) {
        const TTimetableTrip& a = trips[keys[next - 1]];
        const TTimetableTrip& b = trips[keys[next]];
        if (!sim.Paths.FindPath(PairQuery(a, b))) {
            message =
                "Path not found from " + NameOf(a.Location) + " to " + NameOf(b.Location) +
                " using platform/line/path codes specified\r\n\r\nPossible alternatives:\r\n" +
                sim.Paths.ListPaths(nullptr, a.Location, b.Location);
            return false;
        }
    }
    message.clear();
    return true;
}

std::string ValidationAdvice(const std::string& message) {
    auto starts = [&](const char* text) { return message.rfind(text, 0) == 0; };
    if (starts("Entering trip list"))
        return "add a trip at a key location (a station or timing point) the entry point leads "
               "to";
    if (starts("Starting trip list"))
        return "a train that starts in the area needs trips at two key locations at least: add "
               "them, or give the train an entry point";
    if (starts("Path not found from entrance"))
        return "give the first trip the platform, path and line codes of one of the "
               "alternatives, or add the location the entry point leads to first";
    if (starts("Path not found"))
        return "give the two trips the platform, path and line codes of one of the "
               "alternatives (start codes on the first, end codes on the second), or add the "
               "location between them";
    return "correct the trips named";
}

void ComputePaths(TTimetable& timetable) {
    Sim& sim = timetable.Simulation();
    timetable.Paths.clear();
    const std::vector<int> keys = KeyTripIndexes(timetable);
    auto& trips = timetable.Trips.Items;
    std::size_t next = 1;
    if (timetable.EntryPoint) {
        if (keys.empty()) return;
        TTimetableTrip& first = trips[keys.front()];
        const TPTH* path = sim.Paths.FindPath(EntryQuery(timetable.EntryPoint, first));
        if (!path) return;
        timetable.Paths.push_back(path);
        first.DownDirection = path->EndDirection == DirDown;
    }
    for (; next < keys.size(); ++next) {
        TTimetableTrip& a = trips[keys[next - 1]];
        TTimetableTrip& b = trips[keys[next]];
        const TPTH* path = sim.Paths.FindPath(PairQuery(a, b));
        if (!path) return;
        timetable.Paths.push_back(path);
        a.DownDirection = path->StartDirection == DirDown;
        b.DownDirection = path->EndDirection == DirDown;
    }
}

std::uint8_t FirstPathDirection(TTimetable& timetable) {
    if (timetable.Paths.empty()) ComputePaths(timetable);
    return timetable.Paths.empty() ? 0 : timetable.Paths.front()->StartDirection;
}

void RoutesOnPaths(TTimetable& timetable, std::vector<TROU*>& routes) {
    routes.clear();
    if (timetable.Paths.empty()) ComputePaths(timetable);
    for (const TPTH* path : timetable.Paths) {
        for (int i = 0; i < path->Objects.Count(); ++i) {
            TSSIObject* o = path->Objects.GetItem(i);
            if (o && o->Kind == KindRoute) routes.push_back(static_cast<TROU*>(o));
        }
    }
}

}  // namespace kestra
