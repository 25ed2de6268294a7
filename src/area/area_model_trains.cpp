// What trains and timetables need of the places: the berths and codes of each
// location, the platforms that face each other, the stopping points, and the code
// rules that fill in what a timetable writer leaves out.

#include <algorithm>
#include <set>
#include <tuple>

#include "area/area_model.h"
#include "area/area_model_internal.h"

namespace kestra::area {

using namespace model;

namespace {
// Metres short of the signal stop where a stopping train's head stands.
constexpr int kShortOfSignalStop = 5;
// Rule kinds, as the code rules take them.
constexpr std::uint8_t kRuleForward = 0;
constexpr std::uint8_t kRuleBackward = 1;

void AddUnique(std::vector<std::string>& list, const std::string& code) {
    if (!code.empty() && std::find(list.begin(), list.end(), code) == list.end())
        list.push_back(code);
}
}  // namespace

int AreaModel::EntryByCode(const std::string& code) const {
    for (std::size_t i = 0; i < Entries.size(); ++i)
        if (Entries[i].Code == code) return static_cast<int>(i);
    return -1;
}

void AreaModel::FindLocationData() {
    for (std::size_t l = 0; l < Locations.size(); ++l) {
        LocationInfo& loc = Locations[l];
        for (const LocationSpec& row : d_.Locations)
            if (loc.Code == row.Code) loc.StopWhenInside = HasOption(row.Options, "stop-inside");
        // Platform berths only: a berth on the approach would make ARS hold trains at
        // the home signal as if they were in the platform.
        std::set<int> platformCircuits;
        for (int p : loc.Platforms)
            platformCircuits.insert(Platforms[p].Circuits.begin(), Platforms[p].Circuits.end());
        for (std::size_t b = 0; b < Berths.size(); ++b)
            if (platformCircuits.count(Berths[b].Circuit))
                loc.Berths.push_back(static_cast<int>(b));
        // Platforms sharing one band face each other.
        for (int p : loc.Platforms) {
            for (int q : loc.Platforms) {
                const PlatformInfo &a = Platforms[p], &b = Platforms[q];
                if (p != q && a.BandY == b.BandY && a.BandX0 <= b.BandX1 && b.BandX0 <= a.BandX1)
                    loc.Adjacent.push_back({a.Code, b.Code});
            }
        }
    }
    // A timetable gives the line away from a location and the path code into it: a
    // path offers its line as both, and its own codes where it has them.
    for (const PathInfo& p : Paths) {
        if (p.FromLocation >= 0) {
            LocationInfo& from = Locations[p.FromLocation];
            AddUnique(from.Lines, p.Line);
            AddUnique(from.Lines, p.FromLine);
            AddUnique(from.PathCodes, p.FromPath);
        }
        LocationInfo& to = Locations[p.ToLocation];
        AddUnique(to.PathCodes, p.Line);
        AddUnique(to.PathCodes, p.ToPath);
        AddUnique(to.Lines, p.ToLine);
    }
}

void AreaModel::FindStopPoints() {
    auto add = [&](int location, int subroute, const std::string& platform) {
        const SubrouteInfo& s = Subroutes[subroute];
        StopPointInfo sp;
        sp.Location = location;
        sp.Subroute = subroute;
        sp.Platform = platform;
        sp.Position = std::max(0, s.Length - s.SignalOffset - kShortOfSignalStop);
        StopPoints.push_back(sp);
    };
    for (std::size_t l = 0; l < Locations.size(); ++l) {
        const LocationInfo& loc = Locations[l];
        const std::size_t first = StopPoints.size();
        if (!loc.Platforms.empty()) {
            for (int p : loc.Platforms)
                for (int s : Platforms[p].Subroutes) add(static_cast<int>(l), s, Platforms[p].Code);
        } else if (loc.Key) {
            // A timing point without platforms: every track through it.
            for (std::size_t s = 0; s < Subroutes.size(); ++s)
                if (Circuits[Subroutes[s].Circuit].Location == static_cast<int>(l))
                    add(static_cast<int>(l), static_cast<int>(s), "");
        }
        // Chain the points of one platform (or timing point) in the direction of travel.
        for (std::size_t i = first; i < StopPoints.size(); ++i) {
            for (std::size_t j = first; j < StopPoints.size(); ++j) {
                StopPointInfo &a = StopPoints[i], &b = StopPoints[j];
                if (i == j || a.Platform != b.Platform) continue;
                const std::vector<int>& next = Subroutes[a.Subroute].Next;
                if (a.Continuation < 0 && b.Previous < 0 &&
                    std::find(next.begin(), next.end(), b.Subroute) != next.end()) {
                    a.Continuation = static_cast<int>(j);
                    b.Previous = static_cast<int>(i);
                }
            }
        }
        if (loc.Key && StopPoints.size() == first)
            Error("timing location " + loc.Code + " has nowhere for a train to stop");
    }
}

// The rules that complete a timetable given without codes. Codes matter only where two
// paths between the same places are told apart by them, so:
// - arriving at a location by a path that ends at the signal where a path with a
//   from-path code starts, the location's path code is that code (the way the train
//   came in says which path it leaves by);
// - otherwise the first path of a pair in the table with codes is the one a timetable
//   without codes takes: its codes are filled in.
void AreaModel::FindCodeRules() {
    auto startOf = [&](const PathInfo& p) {
        for (int o : p.Objects)
            if (o < 0) return Routes[-1 - o].Entrance;
        return -1;
    };
    auto arrivalOf = [&](const PathInfo& p) {
        for (auto o = p.Objects.rbegin(); o != p.Objects.rend(); ++o)
            if (*o < 0) return Routes[-1 - *o].Exit;
        return -1;
    };
    // Each (rule kind, sets path, from-end, to-end) filled once: the first rule wins.
    std::set<std::tuple<int, bool, int, int, int>> made;
    auto add = [&](const PathInfo& p, std::uint8_t kind, bool setsPath, const std::string& code) {
        if (code.empty() ||
            !made.insert({kind, setsPath, p.Entry, p.FromLocation, p.ToLocation}).second)
            return;
        CodeRuleInfo r;
        r.Kind = kind;
        r.SetsPath = setsPath;
        r.Code = code;
        if (kind == kRuleForward) {
            // The pair's first end is the path's start, its second the path's end.
            r.FromEntry = p.Entry;
            r.FromLocation = p.FromLocation;
            r.ToLocation = p.ToLocation;
        } else {
            // A backward rule names the pair the other way round.
            r.ToEntry = p.Entry;
            r.ToLocation = p.FromLocation;
            r.FromLocation = p.ToLocation;
        }
        CodeRules.push_back(r);
    };
    for (const PathInfo& leaving : Paths) {
        if (leaving.FromPath.empty()) continue;
        for (const PathInfo& arriving : Paths)
            if (arriving.ToLocation == leaving.FromLocation &&
                arrivalOf(arriving) == startOf(leaving))
                add(arriving, kRuleBackward, true, leaving.FromPath);
    }
    for (const PathInfo& p : Paths) {
        add(p, kRuleForward, false, p.FromLine);
        add(p, kRuleForward, true, p.FromPath);
        add(p, kRuleBackward, true, p.ToPath);
        add(p, kRuleBackward, false, p.ToLine);
    }
}

}  // namespace kestra::area
