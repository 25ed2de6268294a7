#include "trains/train_list.h"

#include <algorithm>
#include <cmath>

#include "core/time_format.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "sim/sim.h"
#include "trains/berth.h"
#include "trains/train.h"

namespace kestra {

namespace {

// A station stop counts as delayed in the list past this entry delay.
constexpr std::int32_t kDelayedStopSeconds = 119;

// Takes the train's description out of the describer (and with it the ARS train):
// every berth holding it when no other train has that description, else only the
// berths on the circuits the train stands on.
void CancelDescriptionsOf(Sim& sim, const TTRN& train) {
    const std::string description = TBER::FormatDescription(train.ID);
    int sameDescription = 0;
    sim.Trains.ForEach([&](const TTRN& t) {
        if (&t != &train && t.State != TsLeaving && TBER::FormatDescription(t.ID) == description)
            ++sameDescription;
    });
    auto onTrain = [&](const TBER& b) {
        return std::any_of(train.Occupied.begin(), train.Occupied.end(), [&](const TULC* u) {
            return u && u->TrackCircuit && u->TrackCircuit == b.TrackCircuit;
        });
    };
    sim.Berths.ForEach([&](TBER& b) {
        if (b.Description != description) return;
        if (sameDescription == 0 || onTrain(b)) b.CancelDescription();
    });
}

}  // namespace

std::string TrainListStatus(const TTRN& t) {
    switch (t.State) {
        case TsAtStation:
            if (t.Timetable && t.Timetable->Delay > kDelayedStopSeconds && t.TripIndex == 0)
                return "Stopped at station (delayed)";
            break;
        case TsWaitingForJoin:
            if (t.CurActivity) return "Waiting for joining train " + t.CurActivity->Headcode;
            break;
        case TsReadyToStart:
            if (t.TrainInFront) return "Ready to depart but train in front";
            break;
        default:
            break;
    }
    std::string text = TrainStatusText(t.State, t.Speed);
    return text.empty() ? "?" : text;
}

std::array<std::string, kTrainListColumns> TrainListCells(const TTRN& t) {
    std::array<std::string, kTrainListColumns> c;
    c[0] = t.ID;
    c[1] = t.Timetable ? t.Timetable->ID : "-";
    const std::uint8_t direction = t.Direction();
    c[2] = direction == 1 ? "Down" : direction == 2 ? "Up" : "?";
    c[3] = TrainListStatus(t);
    if (t.LastLocation) {
        c[4] = t.LastLocation->Name;
        if (!t.PlatformUsed.empty()) c[4] += " (platform " + t.PlatformUsed + ")";
    } else if (t.EntryPoint) {
        c[4] = t.EntryPoint->Name;
    } else {
        c[4] = "-";
    }
    c[5] = std::to_string(t.Length) + "m";
    c[6] = t.PassFlag ? "Y" : "N";
    c[7] = t.SkipNextStop ? "Y" : "N";
    c[8] = t.Timetable ? t.Timetable->Description : std::string();
    return c;
}

std::vector<TrainListRow> TrainListRows(Sim& sim) {
    std::vector<TrainListRow> rows;
    sim.Trains.ForEach([&](const TTRN& t) {
        if (t.State == TsLeaving) return;
        rows.push_back({t.ID, &t, TrainListCells(t)});
    });
    std::stable_sort(rows.begin(), rows.end(), [](const TrainListRow& a, const TrainListRow& b) {
        return a.Description < b.Description;
    });
    return rows;
}

TTRN* FindRowTrain(Sim& sim, const TrainListRow& row) {
    TTRN* found = nullptr;
    // The row's pointer is only compared, never followed, until it is found in the list.
    sim.Trains.ForEach([&](TTRN& t) {
        if (&t == row.Train && t.ID == row.Description && t.State != TsLeaving) found = &t;
    });
    return found;
}

TrainCommandResult RunTrainCommand(Sim& sim, const TrainListRow& row, TrainCommand command) {
    TTRN* found = FindRowTrain(sim, row);
    if (!found) {
        sim.Dialog().ShowError(TrainGoneMessage);
        return TrainCommandResult::Gone;
    }
    TTRN& t = *found;
    Dialogs& dialogs = sim.Dialog();
    TPerformance& score = sim.Performance;
    const bool atRed = t.State == TsAtRed || t.State == TsReadyToStart;
    switch (command) {
        case TrainCommand::NonStop: {
            const int trips = t.Timetable ? t.Timetable->Trips.Count() : 0;
            if (t.Timetable && t.TripIndex >= 0 && t.TripIndex == trips - 1) {
                dialogs.ShowInformation(
                    "Cannot go non-stop through next station: Train terminates at next station");
                return TrainCommandResult::Refused;
            }
            if (!t.Timetable || t.TripIndex < 0 || t.TripIndex >= trips) {
                dialogs.ShowInformation(
                    "Cannot go non-stop through next station: Train has no timetable or has "
                    "terminated");
                return TrainCommandResult::Refused;
            }
            t.SkipNextStop = true;
            if (t.State == TsWrongRoute) t.SetState(TsMoving);
            return TrainCommandResult::Done;
        }
        case TrainCommand::AbandonJoin: {
            if (t.State != TsWaitingForJoin || !t.Timetable || !t.CurTrip) {
                dialogs.ShowError("Cannot ignore joining trains: Not waiting for a joining train");
                return TrainCommandResult::Refused;
            }
            auto& items = t.CurTrip->Activities.Items;
            items.erase(std::remove_if(
                            items.begin(), items.end(),
                            [](const TTimetableActivity& a) { return a.ActivityKind == ActJoins; }),
                        items.end());
            // The activity the train pointed at may have been one of those erased.
            t.CurActivity = nullptr;
            t.ActivityIndex = 0;
            t.SetState(TsAtStation);
            // The stop goes on from its arrival, which was reported when the train drew up.
            t.ArrivalAlreadyReported = true;
            score.Penalise(kJoinAbandonedPenalty);
            ++score.JoinsAbandoned;
            return TrainCommandResult::Done;
        }
        case TrainCommand::AbandonTimetable:
            t.Timetable.reset();
            t.SetTripIndex(-1);
            t.SetState(TsMoving);
            return TrainCommandResult::Done;
        case TrainCommand::AuthorisePass:
            if (!atRed) {
                dialogs.ShowError(
                    "Cannot authorise train to pass signal at danger: Not stopped at red signal");
                return TrainCommandResult::Refused;
            }
            t.SetPassAuthority(PassNext, 0);
            return TrainCommandResult::Done;
        case TrainCommand::Reverse:
            if (t.Speed >= 0.1) {
                dialogs.ShowError("Cannot reverse train: Train in motion");
                return TrainCommandResult::Refused;
            }
            if (!t.CanReverse()) {
                dialogs.ShowError("Cannot reverse train: Train in one-way track");
                return TrainCommandResult::Refused;
            }
            t.Reverse();
            t.SetState(TsMoving);
            return TrainCommandResult::Done;
        case TrainCommand::ExamineLine:
            if (!atRed) {
                dialogs.ShowError(
                    "Cannot tell driver to examine the line: Not stopped at red signal");
                return TrainCommandResult::Refused;
            }
            t.CautionMode = CautionAsked;
            return TrainCommandResult::Done;
        case TrainCommand::Remove: {
            if (!dialogs.Confirm("Do you really want to remove train " + t.ID + "?"))
                return TrainCommandResult::Refused;
            // The question let the game run: the train may have gone meanwhile.
            TTRN* again = FindRowTrain(sim, row);
            if (!again) {
                dialogs.ShowError(TrainGoneMessage);
                return TrainCommandResult::Gone;
            }
            CancelDescriptionsOf(sim, *again);
            again->VacateAll();
            again->SetState(TsLeaving);
            score.Penalise(kTrainRemovedPenalty);
            ++score.TrainsRemoved;
            return TrainCommandResult::Removed;
        }
        case TrainCommand::AdjustLength: {
            const std::optional<std::string> text = dialogs.InputBox(
                "Adjust Train Length", "Enter new length (metres)", std::to_string(t.Length));
            if (!text) return TrainCommandResult::Refused;
            TTRN* again = FindRowTrain(sim, row);
            if (!again) {
                dialogs.ShowError(TrainGoneMessage);
                return TrainCommandResult::Gone;
            }
            const std::int32_t length = ParseNumber(*text);
            if (length == -1 && *text != "-1") {
                dialogs.ShowError("Invalid numeric input");
                return TrainCommandResult::Refused;
            }
            if (length > again->Length || length < kBareTrainLength) {
                dialogs.ShowError("Cannot make train longer than it is, or less than 20m long");
                return TrainCommandResult::Refused;
            }
            again->Length = length;
            again->ComputeTail();
            score.Penalise(kTrainShortenedPenalty);
            ++score.TrainsShortened;
            return TrainCommandResult::Done;
        }
    }
    return TrainCommandResult::Refused;
}

}  // namespace kestra
