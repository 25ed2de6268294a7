#include "timetable/running_time.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/time_format.h"
#include "interlocking/route.h"
#include "interlocking/subroute.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"
#include "timetable/timetable_validate.h"

namespace kestra {

RunningCharacteristics RunningCharacteristics::Of(const TTrainCategory& category) {
    return {category.AccelBrake, category.MaxSpeed, category.Length, category.IsFreight};
}

RunningCharacteristics RunningCharacteristics::Of(const TTimetable& timetable) {
    return {timetable.AccelBrake, timetable.MaxSpeed, timetable.Length, timetable.IsFreight};
}

namespace {

// One stretch of line along the path: where it starts, how long it is and how fast a
// train of this kind may run on it.
struct Stretch {
    double Start = 0;
    double Length = 0;
    double Limit = 0;  // m/s
    double Scale = 1;
};

// The factor on the acceleration rate by the ratio of speed to top speed, per profile:
// a train pulls hard from a stand and ever more weakly towards its top speed.
double AccelerationFactor(double ratio, int profile) {
    static constexpr double kBands[] = {0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 0.95};
    static constexpr double kFactors[12][5] = {
        {0.5, 1.25, 1.27, 1.4, 1.6},     {1.24, 1.25, 1.27, 1.4, 1.6},
        {1.1, 0.8, 0.8, 1.2, 1.3},       {0.75, 0.55, 0.6, 0.75, 0.9},
        {0.3, 0.4, 0.42, 0.45, 0.6},     {0.28, 0.3, 0.3, 0.32, 0.45},
        {0.24, 0.24, 0.245, 0.25, 0.37}, {0.19, 0.19, 0.195, 0.2, 0.29},
        {0.16, 0.16, 0.165, 0.17, 0.22}, {0.12, 0.12, 0.13, 0.14, 0.18},
        {0.1, 0.1, 0.11, 0.1, 0.15},     {0.07, 0.07, 0.07, 0.08, 0.1},
    };
    int row = 0;
    while (row < 11 && ratio >= kBands[row]) ++row;
    return kFactors[row][std::clamp(profile, 0, 4)];
}

// The profile column a rate falls in.
int ProfileOfRate(double accel) {
    if (accel <= 0.35) return 0;
    if (accel <= 0.4) return 1;
    if (accel <= 0.45) return 2;
    if (accel <= 0.62) return 3;
    return 4;
}

// Distance a train braking second by second needs to come down from v to target, with
// the margin a driver keeps at speed.
double BrakingDistance(double v, double target, double accel, double decel, double margin) {
    double sum = 0;
    for (double c = v + accel; c > target; c -= decel) sum += c;
    if (v > 15) sum += margin;
    if (v > 4) sum += v / 15 * margin;
    return std::round(sum + 0.5);
}

// The stretches of the path's routes in order of travel.
std::vector<Stretch> StretchesOf(const TPTH& path, bool freight) {
    std::vector<Stretch> out;
    double at = 0;
    const TULC* last = nullptr;
    for (int i = 0; i < path.Objects.Count(); ++i) {
        TSSIObject* o = path.Objects.GetItem(i);
        if (!o || o->Kind != KindRoute) continue;
        const TROU& route = *static_cast<const TROU*>(o);
        for (int k = 0; k < route.Subroutes.Count(); ++k) {
            const TULC* s = route.Subroutes.At(k);
            if (!s || s == last) continue;
            last = s;
            const double length = std::max(1, s->Length);
            out.push_back({at, length, s->EffectiveLineSpeed(freight), s->Scale});
            at += length;
        }
    }
    return out;
}

}  // namespace

std::int32_t MinimumRunningTime(const TPTH& path, const TSimData& data,
                                const RunningCharacteristics& train, SectionStart start,
                                SectionEnd end) {
    const std::vector<Stretch> line = StretchesOf(path, train.IsFreight);
    if (line.empty() || train.MaxSpeed <= 0) return -1;
    const int profile = std::clamp(train.AccelBrake, 0, 4);
    const double maxSpeed = train.MaxSpeed / 2.25;
    const double accel = data.AccelerationByPower[static_cast<std::size_t>(profile)];
    double decel = data.BrakingByPower[static_cast<std::size_t>(profile)];
    if (maxSpeed > 44.444) decel *= maxSpeed / 44.444;
    const double total = line.back().Start + line.back().Length;
    const double length = std::max(1, train.Length);

    // The limit over the whole train with its head at x: the tail side of the start is
    // taken to be as fast as the first stretch.
    auto limitUnder = [&](double x) {
        double limit = maxSpeed;
        for (const Stretch& s : line) {
            if (s.Start > x) break;
            if (s.Start + s.Length > x - length) limit = std::min(limit, s.Limit);
        }
        return limit;
    };
    auto scaleAt = [&](double x) {
        for (const Stretch& s : line) {
            if (x < s.Start + s.Length) return s.Scale;
        }
        return line.back().Scale;
    };

    double v = start == SectionStart::Running ? std::min(line.front().Limit, maxSpeed) : 0.0;
    double x = 0;
    std::int32_t seconds = 0;
    const int accelProfile = ProfileOfRate(accel);
    // Far more seconds than any path in an area can take.
    for (; seconds < 36000; ++seconds) {
        if (end == SectionEnd::Stopping ? x >= total - 5 : x >= total) break;
        bool brake = false, hold = false;
        // The stand at the end, and every lower limit ahead.
        // A speed to be down to within a distance: no faster once the braking from four
        // seconds' more speed would not fit, braking once the braking from this speed
        // would not.
        auto obstacle = [&](double distance, double target) {
            if (target < v + 4 * accel &&
                BrakingDistance(v + 4 * accel, target, accel, decel, 125) >= distance)
                hold = true;
            if (target < v && BrakingDistance(v, target, accel, decel, 100) >= distance)
                brake = true;
        };
        if (end == SectionEnd::Stopping) obstacle(total - x, 0);
        for (const Stretch& s : line) {
            if (s.Start > x) obstacle(s.Start - x, s.Limit);
        }
        const double here = limitUnder(x);
        const double scale = scaleAt(x);
        if (brake) {
            v -= decel / scale;
        } else if (!hold && v + accel <= here && v + accel <= maxSpeed) {
            v += accel * AccelerationFactor((v + accel) / maxSpeed, accelProfile) * scale;
        }
        v = std::min(v, here);
        // A train that has braked too early creeps on to its stop.
        if (v < 0.5) v = std::min(0.5, here);
        x += v;
    }
    return seconds;
}

namespace {

std::vector<int> KeyTrips(const TTimetable& timetable) {
    std::vector<int> keys;
    for (int i = 0; i < timetable.Trips.Count(); ++i) {
        if (IsKeyTrip(timetable.Trips.Items[static_cast<std::size_t>(i)])) keys.push_back(i);
    }
    return keys;
}

std::string PlaceName(const TTimetableTrip& trip) {
    return trip.Location ? trip.Location->ID : std::string("-");
}

}  // namespace

bool CheckRunningTimes(TTimetable& timetable, std::string& message) {
    ComputePaths(timetable);
    const std::vector<int> keys = KeyTrips(timetable);
    const std::size_t sections =
        keys.empty() ? 0 : keys.size() - 1 + (timetable.EntryPoint ? 1u : 0u);
    if (timetable.Paths.size() < sections) {
        message = "no path for every section";
        return false;
    }
    const TSimData& data = timetable.Simulation().SimData;
    const RunningCharacteristics train = RunningCharacteristics::Of(timetable);
    const auto& trips = timetable.Trips.Items;
    std::size_t path = 0;
    auto check = [&](const TTimetableTrip* from, const TTimetableTrip& to) {
        const TPTH& p = *timetable.Paths[path++];
        const bool standing = from && !from->IsPass;
        const SectionStart start = standing ? SectionStart::Standing : SectionStart::Running;
        const SectionEnd end = to.IsPass ? SectionEnd::Passing : SectionEnd::Stopping;
        const std::int32_t run = MinimumRunningTime(p, data, train, start, end);
        const std::int32_t leaves = from ? from->DepTime : timetable.EntryTime;
        const std::int32_t booked = to.ArrivalOrDeparture() - leaves;
        const std::int32_t needed = run + (standing ? DepartureSpread : 0);
        if (run < 0 || booked < needed) {
            message = (from ? PlaceName(*from) : "entry") + " " + FormatClock(leaves) + " to " +
                      PlaceName(to) + " " + FormatClock(to.ArrivalOrDeparture()) + ": booked " +
                      std::to_string(booked) + " s, needs " + std::to_string(needed) + " s";
            return false;
        }
        return true;
    };
    if (timetable.EntryPoint && !keys.empty()) {
        if (!check(nullptr, trips[static_cast<std::size_t>(keys.front())])) return false;
    }
    for (std::size_t k = 1; k < keys.size(); ++k) {
        if (!check(&trips[static_cast<std::size_t>(keys[k - 1])],
                   trips[static_cast<std::size_t>(keys[k])]))
            return false;
    }
    return true;
}

}  // namespace kestra
