#include "ars/ars_train_info.h"

#include "core/time_format.h"
#include "places/location.h"
#include "sim/sim.h"

namespace kestra {

namespace {

std::vector<std::string> Row(const TTimetableTrip& trip) {
    std::string dep = FormatHalfMinuteH(trip.DepTime);
    if (trip.IsPass && dep.size() > 2) dep[2] = '/';
    return {trip.Location ? trip.Location->Name : std::string(),
            trip.ArrTime != 0 ? FormatHalfMinuteH(trip.ArrTime) : std::string(),
            dep,
            trip.Path,
            trip.Platform,
            trip.Line,
            trip.Activities.FormatText()};
}

}  // namespace

ARSInformation BuildARSInformation(const TARSTrain& t) {
    ARSInformation info;
    info.Caption = "ARS Information for train " + t.Description;
    info.Status = t.sim().ARSTrains().StatusTextOf(t);
    info.Delay = DelayText(t);
    if (!t.Timetable) return info;
    info.Description = t.Timetable->Description;
    const auto& trips = t.Timetable->Trips.Items;
    const int count = static_cast<int>(trips.size());
    int from = -1;
    if (t.PathPosition >= 0) {
        for (int i = t.PathPosition; i < t.PathEntries.Count(); ++i) {
            const auto& locations = t.PathEntries.Items[static_cast<std::size_t>(i)].Locations;
            if (!locations.empty()) {
                from = locations.front();
                break;
            }
        }
    }
    if (t.PathPosition >= 0 && from < 0) return info;
    if (from < 0) {
        // Off its path: the whole timetable.
        for (const TTimetableTrip& trip : trips) info.Rows.push_back(Row(trip));
        return info;
    }
    // The next eleven trips from there, those inserted automatically left out, ten lines
    // at most.
    for (int i = from; i < count && i < from + ARSInformationPathRows + 1; ++i) {
        const TTimetableTrip& trip = trips[static_cast<std::size_t>(i)];
        if (trip.AutoInserted) continue;
        if (static_cast<int>(info.Rows.size()) >= ARSInformationPathRows) break;
        info.Rows.push_back(Row(trip));
    }
    return info;
}

void ShowARSInformation(Sim& sim, TBER& berth, const std::string& description) {
    const TARSTrain* t = sim.ARSTrains().FindForCommand(&berth, description);
    if (!t) return;
    if (!t->HasTimetable || !t->Timetable) {
        sim.PostEventMessage(t->Description + " has no/invalid timetable data", EvARSMessage);
        return;
    }
    sim.Dialog().ShowARSInformation(BuildARSInformation(*t));
}

}  // namespace kestra
