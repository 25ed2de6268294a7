#include "trains/train_entry.h"

#include "interlocking/subroute.h"
#include "places/entry_point.h"
#include "sim/sim.h"
#include "timetable/timetable_validate.h"
#include "trains/berth.h"
#include "trains/train.h"

namespace kestra {

namespace {

// Puts a description into the entry berth, when the entry point has one. An untimetabled
// train's berth shows the non-ARS colour: ARS has nothing to run it by.
void InterposeAtEntry(TSSIObject* berth, const std::string& description, bool timetabled) {
    if (!berth || berth->Kind != KindBerth) return;
    TBER& b = *static_cast<TBER*>(berth);
    b.Interpose(description);
    if (!timetabled) b.SetNonARSColour();
}

}  // namespace

int TrainEntryService::TrainsInArea() const {
    return sim_.Trains.TrainsInArea();
}

bool TrainEntryService::CanEnter(TENT& entry) {
    return entry.CanEnter();
}

void TrainEntryService::Enter(TENT& entry, TTimetable& timetable) {
    EnterTrain(entry, &timetable);
}

void TrainEntryService::LogIncident(const std::string& text) { sim_.Incidents.AddIncident(text); }

TTRN* TrainEntryService::EnterTrain(TENT& entry, TTimetable* timetable) {
    TULC* first = entry.ULCs.At(0);
    if (!first) return nullptr;
    std::string description;
    if (timetable) {
        description = timetable->ID;
    } else {
        description = sim_.EntryPoints.NextUntimetabledDescription(
            [this](std::string_view d) { return sim_.Trains.FindTrain(d) != nullptr; });
        if (description.empty()) return nullptr;
    }
    entry.ULCs.RouteRequest();
    TTRN& train = sim_.Trains.Create(description);
    ++sim_.Trains.EnteredCount;
    if (timetable) {
        InterposeAtEntry(entry.Berth, description, true);
        std::string reason;
        const bool valid = Validate(*timetable, reason);
        const std::string text = "Train " + description + " has entered the area (" +
                                 entry.Name + (valid ? ")" : ") with an invalid timetable");
        sim_.PostEventMessage(text, EvTrainEntering);
        // The other players see the train come in too.
        sim_.Messages().BroadcastEventMessage(text, EvTrainEntering);
        train.Place(valid ? timetable : nullptr, *first, &entry);
    } else {
        InterposeAtEntry(entry.Berth, description, false);
        train.Place(nullptr, *first, &entry);
    }
    entry.StartCountdown();
    return &train;
}

}  // namespace kestra
