#include "timetable/timetable_analysis.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "core/time_format.h"
#include "places/location.h"
#include "sim/sim.h"
#include "timetable/timetable.h"
#include "timetable/timetable_validate.h"

namespace kestra {

namespace {

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

void SortNoCase(std::vector<std::string>& lines) {
    std::stable_sort(lines.begin(), lines.end(), LessNoCase);
}

// Where in the train's timetable a problem lies: its trip (counted from 1, as the
// editor's location list shows them) and the trip's location.
std::string TripPlace(const TTimetableTrip& trip, std::size_t index) {
    return " (trip " + std::to_string(index + 1) +
           (trip.Location ? ", " + trip.Location->Name : std::string()) + ")";
}

// The first line of a validation message (the rest lists alternatives).
std::string FirstLine(const std::string& message) {
    const std::size_t end = message.find_first_of("\r\n");
    return end == std::string::npos ? message : message.substr(0, end);
}

void CheckOneTimetable(Sim& sim, TTimetable& t, std::vector<std::string>& problems,
                       std::vector<std::string>& used) {
    const std::string& T = t.ID;
    std::string message;
    if (!Validate(t, message))
        problems.push_back(T + ": Invalid timetable data (" + FirstLine(message) + ")");
    if (t.Trips.Empty()) problems.push_back(T + ": No trips defined");
    if ((t.PowerTypes & PowerTypeMask) == 0)
        problems.push_back(T + ": No diesel/electric power defined");
    for (std::size_t i = 0; i < t.Trips.Items.size(); ++i) {
        const TTimetableTrip& trip = t.Trips.Items[i];
        if (trip.Location && trip.Location->NonStation && (trip.ArrTime != 0 || !trip.IsPass))
            problems.push_back(T + ": Stops at non-station " + trip.Location->Name +
                               TripPlace(trip, i));
        for (const TTimetableActivity& a : trip.Activities.Items) {
            const std::string& H = a.Headcode;
            used.push_back(H);
            const TTimetable* other = sim.Timetable.FindByHeadcode(H, trip.DepTime);
            if (!other) {
                problems.push_back(T + ": Associated train " + H + " not defined" +
                                   TripPlace(trip, i));
                continue;
            }
            if (!other->Trips.Empty()) {
                const TTimetableTrip& first = other->Trips.Items.front();
                if (first.Location == trip.Location) {
                    if (first.Platform != trip.Platform)
                        problems.push_back(T + ": Associated train " + H +
                                           " uses different platform" + TripPlace(trip, i));
                } else {
                    problems.push_back(T + ": Associated train " + H +
                                       " starts from different location" + TripPlace(trip, i));
                }
            }
            if (other->Length != t.Length)
                problems.push_back(T + ": Associated train " + other->ID +
                                   " has a different length" + TripPlace(trip, i));
        }
    }
}

void CheckNextTrains(const Sim& sim, std::vector<std::string>& problems) {
    sim.Timetable.ForEach([&](const TTimetable& x) {
        const std::string& T = x.ID;
        for (std::size_t i = 0; i < x.Trips.Items.size(); ++i) {
            int nexts = 0;
            for (const TTimetableActivity& a : x.Trips.Items[i].Activities.Items) {
                if (a.ActivityKind == ActNextTrain && ++nexts > 1)
                    problems.push_back(T + ": More than one Next Train activity" +
                                       TripPlace(x.Trips.Items[i], i));
            }
        }
        std::string references;
        int count = 0;
        sim.Timetable.ForEach([&](const TTimetable& holder) {
            for (const TTimetableTrip& trip : holder.Trips.Items) {
                for (const TTimetableActivity& a : trip.Activities.Items) {
                    if (a.ActivityKind != ActNextTrain || a.Headcode != T) continue;
                    if (count++ > 0) references += ", ";
                    references += holder.ID;
                }
            }
        });
        if (count >= 2)
            problems.push_back(T + ": Referenced by more than one train (" + references + ")");
    });
}

// The event lines of one trip for the location summary.
void EventLines(const TTimetable& t, std::size_t i, std::vector<std::string>& events) {
    const TTimetableTrip& trip = t.Trips.Items[i];
    const std::size_t n = t.Trips.Items.size();
    if (i > 0 && trip.ArrTime != 0)
        events.push_back(FormatHalfMinuteAll(trip.ArrTime) + " A   " + t.ID + "   " +
                         t.Description);
    if (i + 1 < n && trip.DepTime != 0)
        events.push_back(FormatHalfMinuteAll(trip.DepTime) + (trip.IsPass ? " P   " : " D   ") +
                         t.ID + "   " + t.Description);
}

void LocationSummary(const Sim& sim, std::vector<std::string>& report) {
    const std::string rule(40, '-');
    sim.Locations.ForEach([&](const TLOC& l) {
        report.push_back(rule);
        std::string name = l.Name;
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        report.push_back(name);
        report.push_back(rule);
        report.emplace_back();
        auto collect = [&](const std::string* platform) {
            std::vector<std::string> events;
            sim.Timetable.ForEach([&](const TTimetable& t) {
                for (std::size_t i = 0; i < t.Trips.Items.size(); ++i) {
                    const TTimetableTrip& trip = t.Trips.Items[i];
                    if (trip.Location != &l) continue;
                    if (platform && trip.Platform != *platform) continue;
                    EventLines(t, i, events);
                }
            });
            SortNoCase(events);
            report.insert(report.end(), events.begin(), events.end());
            report.emplace_back();
        };
        if (l.Platforms.empty()) {
            collect(nullptr);
            return;
        }
        for (const std::string& p : l.Platforms) {
            report.push_back("Platform " + p);
            report.emplace_back();
            collect(&p);
        }
    });
}

}  // namespace

TimetableAnalysis AnalyseTimetable(Sim& sim) {
    TimetableAnalysis result;
    std::vector<std::string>& problems = result.Problems;
    std::vector<std::string> used;
    sim.Timetable.ForEach([&](TTimetable& t) { CheckOneTimetable(sim, t, problems, used); });
    std::sort(used.begin(), used.end());
    sim.Timetable.ForEach([&](const TTimetable& t) {
        if (!t.EntryPoint && !std::binary_search(used.begin(), used.end(), t.ID))
            problems.push_back(t.ID + ": Never used");
    });
    CheckNextTrains(sim, problems);
    if (sim.Hooks.AnalysisHook)
        sim.Timetable.ForEach([&](TTimetable& t) { sim.Hooks.AnalysisHook(t, problems); });
    SortNoCase(problems);
    result.Report.push_back("*** ANALYSIS SUMMARY ***");
    result.Report.insert(result.Report.end(), problems.begin(), problems.end());
    result.Report.push_back("*** LOCATION SUMMARY ***");
    LocationSummary(sim, result.Report);
    return result;
}

bool WriteAnalysisReport(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const std::string& line : lines) out << line << "\n";
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace kestra
