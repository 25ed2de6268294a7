#include "fakes/train_invariants.h"

#include <algorithm>
#include <cstdio>

#include "interlocking/overlap.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"

namespace kestra::test {

namespace {
// Rounding room on speeds compared with limits.
constexpr double kSpeedTolerance = 1e-3;
constexpr std::size_t kTrainRoom = 64;
}  // namespace

TrainInvariants::TrainInvariants(Sim& sim) : sim_(sim) {
    previousEntered_ = sim.Hooks.SubrouteEnteredHook;
    sim.Hooks.SubrouteEnteredHook = [this](TTRN& train, TULC& subroute) {
        SubrouteEntered(train, subroute);
        if (previousEntered_) previousEntered_(train, subroute);
    };
    seen_.reserve(kTrainRoom);
    passedAtDanger_.reserve(kTrainRoom);
    excused_.reserve(kTrainRoom);
    overrunning_.reserve(kTrainRoom);
}

TrainInvariants::~TrainInvariants() {
    sim_.Hooks.SubrouteEnteredHook = previousEntered_;
}

std::uint8_t TrainInvariants::AuthorityAtLastCheck(const TTRN& train) const {
    for (const TrainSeen& t : seen_) {
        if (t.Train == &train) return t.Authority;
    }
    return train.PassMode;
}

bool TrainInvariants::InList(const TTRN* train) const {
    return sim_.Trains.IndexOf(train) >= 0;
}

namespace {

bool OnSubroutes(const TULCList& subroutes, const TSSIObject* equipment) {
    for (int i = 0; i < subroutes.Count(); ++i) {
        const TULC* u = subroutes.At(i);
        if (!u) continue;
        if (u->TrackCircuit == equipment) return true;
        for (const TPTSList* points : {&u->NormalPoints, &u->ReversePoints}) {
            for (int k = 0; k < points->Count(); ++k) {
                if (points->At(k) == equipment) return true;
            }
        }
    }
    return false;
}

// Metres from a head position to the signal ahead along the subroutes as they lead
// now; -1 when the signal is not within reach.
double DistanceToSignal(const TULC* head, double headPos, const TSIG* signal) {
    double q = -headPos;
    const TULC* u = head;
    for (int steps = 0; u && steps < 64 && q < 10000; ++steps) {
        q += u->Length;
        if (u->EndSignal == signal) return q - u->SignalOffset;
        u = u->NextSubroute();
    }
    return -1;
}

}  // namespace

bool TrainInvariants::FailureThrewBack(const TSIG& signal, const TROU* route) const {
    for (const TFailure& f : sim_.Failures.Failures()) {
        const TSSIObject* e = f.Equipment;
        if (e == &signal) return true;
        if (!route) continue;
        if (e == route->Exit || OnSubroutes(route->AllSubroutes, e)) return true;
        // The exit's overlap, which a main route proves.
        for (int i = 0; i < sim_.Overlaps.Count(); ++i) {
            const TOVL* o = sim_.Overlaps.At(i);
            if (o && o->Signal == route->Exit && OnSubroutes(o->Subroutes, e)) return true;
        }
    }
    return false;
}

void TrainInvariants::ExcuseTrainsForThrownBackSignals() {
    const int signals = sim_.Signals.Count();
    if (static_cast<int>(signalProceed_.size()) != signals) return;
    for (int i = 0; i < signals; ++i) {
        const TSIG* s = sim_.Signals.At(i);
        if (!s || !signalProceed_[static_cast<std::size_t>(i)] || s->ShowsProceed()) continue;
        if (!FailureThrewBack(*s, signalRoute_[static_cast<std::size_t>(i)])) continue;
        for (const TrainSeen& t : seen_) {
            if (!InList(t.Train)) continue;
            const double d = DistanceToSignal(t.Head, t.HeadPos, s);
            // Too close to stop: within its braking distance, or the next second's run.
            if (d >= 0 && d < t.Braking + t.Speed + 1.0) excused_.emplace_back(t.Train, s);
        }
    }
}

bool TrainInvariants::Excused(const TTRN* train, const TSIG* signal) {
    for (auto it = excused_.begin(); it != excused_.end(); ++it) {
        if (it->first == train && it->second == signal) {
            excused_.erase(it);
            return true;
        }
    }
    return false;
}

void TrainInvariants::CheckOverruns(std::vector<std::string>& out) {
    for (auto& [train, lastSpeed] : overrunning_) {
        if (!InList(train)) {
            train = nullptr;
            continue;
        }
        const TTRN& t = *train;
        if (t.Speed > lastSpeed + kSpeedTolerance)
            out.push_back("train " + t.ID +
                          " gained speed after overrunning a signal a failure threw back");
        else if (t.Speed > 0 && t.PassMode != PassCountingDown)
            out.push_back("train " + t.ID +
                          " runs on after overrunning a signal a failure threw back");
        lastSpeed = t.Speed;
        if (t.Speed <= 0) train = nullptr;
    }
    std::erase_if(overrunning_, [](const auto& o) { return o.first == nullptr; });
    // A train that stood, or a signal that cleared again, needs the excuse no longer.
    std::erase_if(excused_, [&](const auto& e) {
        return !InList(e.first) || e.first->Speed <= 0 || e.second->ShowsProceed();
    });
}

void TrainInvariants::SubrouteEntered(TTRN& train, TULC& subroute) {
    // The subroute left behind is the second occupied one, once the head has moved on.
    if (train.Occupied.size() < 2 || train.Occupied.front() != &subroute) return;
    const TULC* left = train.Occupied[1];
    const TSIG* signal = left->EndSignal;
    if (!signal || signal->ShowsProceed()) return;
    const std::uint8_t mode = AuthorityAtLastCheck(train);
    if (mode == PassNext || mode == PassNextAndStop || mode == PassToNextSignal) return;
    passedAtDanger_.push_back({&train, train.ID, signal});
}

bool TrainInvariants::CheckInto(std::vector<std::string>& out) {
    out.clear();
    ExcuseTrainsForThrownBackSignals();
    for (const Passed& p : passedAtDanger_) {
        if (Excused(p.Train, p.Signal)) {
            overrunning_.emplace_back(p.Train, p.Train->Speed);
            ++excusedOverruns_;
            continue;
        }
        out.push_back("train " + p.TrainID + " passed signal " + p.Signal->ID +
                      " at danger without authority");
    }
    passedAtDanger_.clear();
    CheckOverruns(out);

    // Occupancy: each circuit's count equals the train subroutes on it, and one more
    // while a failure holds it.
    const int circuits = sim_.TrackCircuits.Count();
    counts_.assign(static_cast<std::size_t>(circuits), 0);
    for (const TFailure& f : sim_.Failures.Failures()) {
        const int i = f.Kind == FailTrack ? sim_.TrackCircuits.IndexOf(f.Equipment) : -1;
        if (i >= 0) ++counts_[static_cast<std::size_t>(i)];
    }
    sim_.Trains.ForEach([&](TTRN& t) {
        for (const TULC* u : t.Occupied) {
            const int i = sim_.TrackCircuits.IndexOf(u->TrackCircuit);
            if (i >= 0) ++counts_[static_cast<std::size_t>(i)];
        }
    });
    for (int i = 0; i < circuits; ++i) {
        const TTCS* c = sim_.TrackCircuits.At(i);
        if (c && c->OccupyCount != counts_[static_cast<std::size_t>(i)]) {
            out.push_back("circuit " + c->ID + " occupied " + std::to_string(c->OccupyCount) +
                          " times with " + std::to_string(counts_[static_cast<std::size_t>(i)]) +
                          " train subroutes on it");
        }
    }

    // Speeds.
    sim_.Trains.ForEach([&](TTRN& t) {
        if (t.Speed > t.MaxSpeed + kSpeedTolerance)
            out.push_back("train " + t.ID + " above its top speed");
        // The head may have just run onto a lower line speed with up to one second's
        // braking still in hand (the step holds every subroute behind it to its line
        // speed at once, and the head's the next second); every other subroute's line
        // speed holds.
        for (std::size_t i = 0; i < t.Occupied.size(); ++i) {
            const TULC* u = t.Occupied[i];
            const double allowance = i == 0 ? t.Decel / std::min(1.0f, u->Scale) : 0.0;
            if (t.Speed > u->LineSpeed(t.IsFreight) + allowance + kSpeedTolerance) {
                out.push_back("train " + t.ID + " above the line speed on " + u->TrackCircuit->ID);
                break;
            }
        }
        if (t.Speed < 0) out.push_back("train " + t.ID + " with a negative speed");
    });

    // Numbers.
    const int trains = sim_.Trains.TrainsInArea();
    if (trains > sim_.SimData.MaxTrains)
        out.push_back(std::to_string(trains) + " trains in the area, above the limit");

    // What the activities (next service, divide, join) must leave behind.
    int placed = 0;
    sim_.Trains.ForEach([&](TTRN& t) {
        if (t.HeadULC) {
            ++placed;
        } else if (t.State != TsError) {
            // Only a train put out of use keeps its entry without a place; one that lost
            // its place otherwise should have left.
            out.push_back("train " + t.ID + " has no head subroute");
        }
        for (std::size_t i = 0; i < t.Occupied.size(); ++i) {
            for (std::size_t j = i + 1; j < t.Occupied.size(); ++j) {
                if (t.Occupied[i] == t.Occupied[j])
                    out.push_back("train " + t.ID + " holds one subroute twice");
            }
        }
        for (const TTRN* other : {t.TrainInFront, t.TrainBehind}) {
            if (other && sim_.Trains.IndexOf(other) < 0)
                out.push_back("train " + t.ID + " is linked to a train not in the list");
        }
        if (t.State == TsJoining && !t.TrainInFront)
            out.push_back("train " + t.ID + " is joining with no train in front");
        // The current trip and activity lie in the train's own timetable copy.
        if (t.CurTrip) {
            const auto* items = t.Timetable ? &t.Timetable->Trips.Items : nullptr;
            const bool inside = items && !items->empty() && t.CurTrip >= items->data() &&
                                t.CurTrip < items->data() + items->size();
            if (!inside) {
                out.push_back("train " + t.ID + " has a trip outside its own timetable");
            } else if (t.CurActivity) {
                const auto& acts = t.CurTrip->Activities.Items;
                if (acts.empty() || t.CurActivity < acts.data() ||
                    t.CurActivity >= acts.data() + acts.size())
                    out.push_back("train " + t.ID + " has an activity outside its trip");
            }
        } else if (t.CurActivity) {
            out.push_back("train " + t.ID + " has an activity but no trip");
        }
    });
    if (trains != placed)
        out.push_back(std::to_string(trains) + " trains counted in the area, " +
                      std::to_string(placed) + " with a place on the track");

    seen_.clear();
    sim_.Trains.ForEach([&](TTRN& t) {
        seen_.push_back({&t, t.PassMode, t.HeadULC, t.HeadPos, t.Speed,
                         t.HeadULC ? t.BrakingDistance(t.Speed) : 0.0});
    });
    const int signals = sim_.Signals.Count();
    signalProceed_.assign(static_cast<std::size_t>(signals), 0);
    signalRoute_.assign(static_cast<std::size_t>(signals), nullptr);
    for (int i = 0; i < signals; ++i) {
        const TSIG* s = sim_.Signals.At(i);
        if (!s || !s->ShowsProceed()) continue;
        signalProceed_[static_cast<std::size_t>(i)] = 1;
        signalRoute_[static_cast<std::size_t>(i)] = s->CurrentRoute;
    }
    return out.empty();
}

std::vector<std::string> TrainInvariants::Check() {
    std::vector<std::string> out;
    CheckInto(out);
    return out;
}

}  // namespace kestra::test
