#include "assess/time_distance.h"

#include <algorithm>
#include <limits>

#include "interlocking/route.h"
#include "interlocking/subroute.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"

namespace kestra {

namespace {

constexpr std::string_view kEntryPrefix = "entry:";
// Two samples further apart than this are not joined by a line.
constexpr std::int32_t kLongestGap = 3 * TRunRecord::kSampleSeconds;

// True when the path starts at the place the line's description names.
bool StartsAt(const TPTH& path, const std::string& place) {
    if (place.empty()) return false;
    if (place.rfind(kEntryPrefix, 0) == 0)
        return path.Entry && !path.FromLocation &&
               path.Entry->ID == std::string_view(place).substr(kEntryPrefix.size());
    return path.FromLocation && path.FromLocation->ID == place;
}

bool EndsAt(const TPTH& path, const std::string& place) {
    return !place.empty() && place.rfind(kEntryPrefix, 0) != 0 && path.ToLocation &&
           path.ToLocation->ID == place;
}

// The subroutes a train runs over along the path, in order: the entry's own, then each
// route's.
std::vector<TULC*> SubroutesOf(const TPTH& path) {
    std::vector<TULC*> out;
    if (path.Entry && !path.FromLocation) {
        for (int i = 0; i < path.Entry->ULCs.Count(); ++i)
            if (TULC* u = path.Entry->ULCs.At(i)) out.push_back(u);
    }
    for (int i = 0; i < path.Objects.Count(); ++i) {
        const auto* route = dynamic_cast<const TROU*>(path.Objects.GetItem(i));
        if (!route) continue;
        for (int k = 0; k < route->Subroutes.Count(); ++k)
            if (TULC* u = route->Subroutes.At(k)) out.push_back(u);
    }
    return out;
}

double LengthOf(const std::vector<TULC*>& subroutes) {
    double sum = 0;
    for (const TULC* u : subroutes) sum += u->Length;
    return sum;
}

std::vector<const TPTH*> PathsBetween(Sim& sim, const std::string& from, const std::string& to) {
    std::vector<const TPTH*> out;
    sim.Paths.ForEach([&](const TPTH& p) {
        if (StartsAt(p, from) && EndsAt(p, to)) out.push_back(&p);
    });
    return out;
}

}  // namespace

int LatenessBand(std::int32_t minutesLate) {
    if (minutesLate <= 0) return 0;
    if (minutesLate <= 2) return 1;
    if (minutesLate <= 5) return 2;
    return 3;
}

GraphLineGeometry BuildLineGeometry(Sim& sim, const GraphLineSpec& graphLine) {
    GraphLineGeometry g;
    const auto count = static_cast<std::size_t>(sim.Subroutes.Count());
    g.From.assign(count, -1.0);
    g.To.assign(count, -1.0);
    double at = 0;
    for (std::size_t i = 0; i < graphLine.Places.size(); ++i) {
        g.Stations.push_back({graphLine.Places[i].Label, at});
        if (i + 1 == graphLine.Places.size()) break;
        const GraphPlaceSpec& a = graphLine.Places[i];
        const GraphPlaceSpec& b = graphLine.Places[i + 1];
        const std::vector<const TPTH*> down = PathsBetween(sim, a.Down, b.Down);
        const std::vector<const TPTH*> up = PathsBetween(sim, b.Up, a.Up);
        // The section's length is that of its first down path, else its first up path.
        double section = 0;
        if (!down.empty())
            section = LengthOf(SubroutesOf(*down.front()));
        else if (!up.empty())
            section = LengthOf(SubroutesOf(*up.front()));
        auto place = [&](const std::vector<const TPTH*>& paths, bool isDown) {
            for (const TPTH* p : paths) {
                const std::vector<TULC*> subroutes = SubroutesOf(*p);
                const double length = LengthOf(subroutes);
                if (length <= 0) continue;
                double run = 0;
                for (TULC* u : subroutes) {
                    const int index = sim.Subroutes.IndexOf(u);
                    const double f0 = run / length;
                    run += u->Length;
                    const double f1 = run / length;
                    if (index < 0 || g.From[static_cast<std::size_t>(index)] >= 0) continue;
                    const auto k = static_cast<std::size_t>(index);
                    g.From[k] = isDown ? at + f0 * section : at + (1 - f0) * section;
                    g.To[k] = isDown ? at + f1 * section : at + (1 - f1) * section;
                }
            }
        };
        if (graphLine.ShowDown) place(down, true);
        if (graphLine.ShowUp) place(up, false);
        at += section;
    }
    g.LengthMetres = at;
    return g;
}

TimeDistanceGraph BuildTimeDistanceGraph(Sim& sim, const GraphLineSpec& graphLine) {
    const GraphLineGeometry geometry = BuildLineGeometry(sim, graphLine);
    const TRunRecord& record = sim.Record;
    TimeDistanceGraph graph;
    graph.Name = graphLine.Name;
    graph.Title = graphLine.Title;
    graph.Stations = geometry.Stations;
    graph.LengthMetres = geometry.LengthMetres;

    const std::size_t traces = record.Traces.size();
    std::vector<GraphTrain> trains(traces);
    std::vector<std::int32_t> lastTime(traces, std::numeric_limits<std::int32_t>::min());
    // Each trace's reports, in time order, for the lateness at each point.
    std::vector<std::vector<const TimingReport*>> reports(traces);
    for (const TimingReport& r : record.Reports)
        if (r.Trace >= 0 && static_cast<std::size_t>(r.Trace) < traces)
            reports[static_cast<std::size_t>(r.Trace)].push_back(&r);
    std::vector<std::size_t> nextReport(traces, 0);
    std::vector<std::int32_t> late(traces, 0);
    // The booked time of the point each trace is due at next: after its last report's
    // booked time, or its first before any report. A train standing past it is late by
    // then, before it reports anywhere.
    std::vector<std::int32_t> reportedBooked(traces, std::numeric_limits<std::int32_t>::min());
    auto nextBooked = [&](std::size_t k) -> std::int32_t {
        for (const auto& booked : record.Traces[k].Booked)
            if (booked.second > reportedBooked[k]) return booked.second;
        return std::numeric_limits<std::int32_t>::max();
    };

    for (const RunningSample& s : record.Samples) {
        if (s.Trace < 0 || static_cast<std::size_t>(s.Trace) >= traces) continue;
        const auto k = static_cast<std::size_t>(s.Trace);
        while (nextReport[k] < reports[k].size() && reports[k][nextReport[k]]->Actual <= s.Time) {
            late[k] = reports[k][nextReport[k]]->MinutesLate;
            reportedBooked[k] = reports[k][nextReport[k]++]->Booked;
        }
        const std::int32_t due = nextBooked(k);
        const std::int32_t lateNow =
            s.Time > due ? std::max(late[k], (s.Time - due) / 60) : late[k];
        if (s.Subroute < 0 || static_cast<std::size_t>(s.Subroute) >= geometry.From.size())
            continue;
        const auto u = static_cast<std::size_t>(s.Subroute);
        if (geometry.From[u] < 0) continue;
        const TULC* subroute = sim.Subroutes.At(s.Subroute);
        const double length = subroute && subroute->Length > 0 ? subroute->Length : 1.0;
        const double f = std::clamp(static_cast<double>(s.HeadPos) / length, 0.0, 1.0);
        const double metres = geometry.From[u] + f * (geometry.To[u] - geometry.From[u]);
        GraphTrain& t = trains[k];
        if (t.Actual.empty() || s.Time - lastTime[k] > kLongestGap) t.Actual.emplace_back();
        t.Actual.back().push_back({s.Time, metres, lateNow});
        lastTime[k] = s.Time;
    }

    for (std::size_t k = 0; k < traces; ++k) {
        GraphTrain& t = trains[k];
        if (t.Actual.empty()) continue;
        if (graphLine.DrawnBeyond >= 0 &&
            static_cast<std::size_t>(graphLine.DrawnBeyond) < geometry.Stations.size()) {
            const double beyond =
                geometry.Stations[static_cast<std::size_t>(graphLine.DrawnBeyond)].Metres;
            bool reached = false;
            for (const auto& run : t.Actual)
                for (const GraphPoint& p : run) reached = reached || p.Metres > beyond + 1.0;
            if (!reached) continue;
        }
        t.Train = record.Traces[k].Train;
        for (const auto& [location, time] : record.Traces[k].Booked) {
            for (std::size_t i = 0; i < graphLine.Places.size(); ++i) {
                const GraphPlaceSpec& p = graphLine.Places[i];
                if (p.Down == location || p.Up == location) {
                    t.Booked.push_back({time, geometry.Stations[i].Metres, 0});
                    break;
                }
            }
        }
        std::stable_sort(t.Booked.begin(), t.Booked.end(),
                         [](const GraphPoint& a, const GraphPoint& b) { return a.Time < b.Time; });
        graph.Trains.push_back(std::move(t));
    }

    bool any = false;
    auto widen = [&](const GraphPoint& p) {
        if (!any) graph.FirstTime = graph.LastTime = p.Time;
        any = true;
        graph.FirstTime = std::min(graph.FirstTime, p.Time);
        graph.LastTime = std::max(graph.LastTime, p.Time);
    };
    for (const GraphTrain& t : graph.Trains) {
        for (const GraphPoint& p : t.Booked) widen(p);
        for (const auto& run : t.Actual)
            for (const GraphPoint& p : run) widen(p);
    }
    return graph;
}

}  // namespace kestra
