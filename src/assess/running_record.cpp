#include "assess/running_record.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "core/time_format.h"
#include "sim/sim.h"
#include "trains/train.h"

namespace kestra {

namespace {

// Reports more than this many minutes late count as very late.
constexpr std::int32_t kVeryLateMinutes = 5;

// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

}  // namespace

std::int32_t TRunRecord::TraceOf(TTRN& train) {
    if (train.RunTrace >= 0 && train.RunTrace < static_cast<std::int32_t>(Traces.size()) &&
        Traces[static_cast<std::size_t>(train.RunTrace)].Train == train.ID)
        return train.RunTrace;
    RunningTrace trace;
    trace.Train = train.ID;
    if (train.Timetable) {
        for (const TTimetableTrip& trip : train.Timetable->Trips.Items) {
            if (!trip.Location) continue;
            if (trip.ArrTime != 0) trace.Booked.emplace_back(trip.Location->ID, trip.ArrTime);
            if (trip.DepTime != 0) trace.Booked.emplace_back(trip.Location->ID, trip.DepTime);
        }
    }
    Traces.push_back(std::move(trace));
    train.RunTrace = static_cast<std::int32_t>(Traces.size()) - 1;
    return train.RunTrace;
}

void TRunRecord::NoteReport(Sim& sim, TTRN& train, const std::string& event, std::int32_t booked,
                            std::int32_t minutesLate) {
    TimingReport r;
    r.Train = train.ID;
    r.Location = train.LastLocation ? train.LastLocation->Name : std::string();
    r.Event = event;
    r.Booked = booked;
    r.Actual = sim.SimTime;
    r.MinutesLate = minutesLate;
    const std::int32_t delay = train.Timetable ? train.Timetable->Delay : 0;
    r.EntryMinutesLate = delay > 0 ? delay / 60 : 0;
    r.Trace = TraceOf(train);
    Reports.push_back(std::move(r));
}

void TRunRecord::Sample(Sim& sim) {
    if (sim.SimTime % kSampleSeconds != 0) return;
    sim.Trains.ForEach([&](TTRN& t) {
        if (!t.HeadULC || t.State == TsLeaving) return;
        // Room is made in large steps, so that sampling seldom allocates.
        if (Samples.size() == Samples.capacity()) Samples.reserve(Samples.size() + kSampleChunk);
        Samples.push_back({sim.SimTime, TraceOf(t), sim.Subroutes.IndexOf(t.HeadULC),
                           static_cast<float>(t.HeadPos)});
    });
}

void TRunRecord::Reset() {
    Reports.clear();
    Traces.clear();
    Samples.clear();
}

std::string PunctualityCsv(const TRunRecord& record) {
    std::string out = "train,location,event,booked,actual,minutes_late\n";
    for (const TimingReport& r : record.Reports) {
        out += CsvField(r.Train) + ',' + CsvField(r.Location) + ',' + CsvField(r.Event) + ',' +
               FormatClock(r.Booked) + ',' + FormatClock(r.Actual) + ',' +
               std::to_string(r.MinutesLate) + '\n';
    }
    return out;
}

std::vector<TrainPunctuality> PunctualityByTrain(const TRunRecord& record) {
    std::vector<TrainPunctuality> trains(record.Traces.size());
    std::vector<std::int32_t> previous(record.Traces.size(), -1);
    std::vector<bool> reported(record.Traces.size(), false);
    for (std::size_t i = 0; i < record.Traces.size(); ++i) trains[i].Train = record.Traces[i].Train;
    for (const TimingReport& r : record.Reports) {
        if (r.Trace < 0 || r.Trace >= static_cast<std::int32_t>(trains.size())) continue;
        const auto k = static_cast<std::size_t>(r.Trace);
        const std::int32_t late = std::max(0, r.MinutesLate);
        const std::int32_t before = previous[k] >= 0 ? previous[k] : r.EntryMinutesLate;
        if (late > before) trains[k].LostAt.emplace_back(r.Location, late - before);
        previous[k] = late;
        trains[k].FinalMinutesLate = r.MinutesLate;
        reported[k] = true;
    }
    std::vector<TrainPunctuality> out;
    for (std::size_t i = 0; i < trains.size(); ++i)
        if (reported[i]) out.push_back(std::move(trains[i]));
    return out;
}

std::vector<LocationPunctuality> PunctualityByLocation(const TRunRecord& record) {
    // Each working counts once at a location, by its last report there.
    std::map<std::pair<std::string, std::int32_t>, std::int32_t> last;
    std::vector<std::string> order;
    for (const TimingReport& r : record.Reports) {
        if (std::find(order.begin(), order.end(), r.Location) == order.end())
            order.push_back(r.Location);
        last[{r.Location, r.Trace}] = r.MinutesLate;
    }
    std::vector<LocationPunctuality> out;
    for (const std::string& name : order) {
        LocationPunctuality p;
        p.Location = name;
        for (const auto& [key, minutes] : last) {
            if (key.first != name) continue;
            if (minutes <= 0)
                ++p.OnTime;
            else if (minutes <= kVeryLateMinutes)
                ++p.Late;
            else
                ++p.VeryLate;
        }
        out.push_back(std::move(p));
    }
    return out;
}

std::vector<std::string> PunctualitySummaryLines(const TRunRecord& record) {
    std::vector<std::string> lines;
    lines.emplace_back("Trains: lateness at the last report, and where minutes were lost");
    for (const TrainPunctuality& t : PunctualityByTrain(record)) {
        std::string line = "\t" + t.Train + ": ";
        line += t.FinalMinutesLate > 0   ? std::to_string(t.FinalMinutesLate) + " min(s) late"
                : t.FinalMinutesLate < 0 ? std::to_string(-t.FinalMinutesLate) + " min(s) early"
                                         : std::string("on time");
        if (!t.LostAt.empty()) {
            line += "; lost";
            for (std::size_t i = 0; i < t.LostAt.size(); ++i)
                line += (i ? ", " : " ") + std::to_string(t.LostAt[i].second) + " at " +
                        t.LostAt[i].first;
        }
        lines.push_back(line);
    }
    lines.emplace_back();
    lines.emplace_back("Locations: trains on time, late (1 to 5 min) and very late (over 5 min)");
    for (const LocationPunctuality& p : PunctualityByLocation(record)) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "\t%s: %d on time, %d late, %d very late",
                      p.Location.c_str(), p.OnTime, p.Late, p.VeryLate);
        lines.emplace_back(buf);
    }
    return lines;
}

}  // namespace kestra
