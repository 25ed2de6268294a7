#include "fakes/path_signaller.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "area/area_builder.h"
#include "core/time_format.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "places/path.h"
#include "trains/berth.h"
#include "trains/train.h"

namespace kestra::test {

namespace {

// How far ahead of a train the signaller looks for the first signal without a route.
constexpr double kLookAheadMetres = 6000.0;

}  // namespace

void RoutesOfPaths(const TTimetable& timetable, std::vector<PathRoute>& out) {
    out.clear();
    std::vector<const TTimetableTrip*> keys;
    for (const TTimetableTrip& trip : timetable.Trips.Items)
        if (IsKeyTrip(trip)) keys.push_back(&trip);
    const std::size_t offset = timetable.EntryPoint ? 0 : 1;
    for (std::size_t p = 0; p < timetable.Paths.size(); ++p) {
        const TPTH* path = timetable.Paths[p];
        if (!path) continue;
        const std::size_t to = p + offset;
        const TTimetableTrip* from = to >= 1 && to - 1 < keys.size() ? keys[to - 1] : nullptr;
        const TTimetableTrip* arrival = to < keys.size() ? keys[to] : nullptr;
        bool first = true;
        for (int i = 0; i < path->Objects.Count(); ++i) {
            TSSIObject* o = path->Objects.GetItem(i);
            if (!o || o->Kind != KindRoute) continue;
            out.push_back({static_cast<TROU*>(o), first ? from : nullptr, arrival});
            first = false;
        }
    }
}

namespace {

bool HasJoin(const TTimetableTrip* trip) {
    if (!trip) return false;
    for (const TTimetableActivity& a : trip->Activities.Items)
        if (a.ActivityKind == ActJoins) return true;
    return false;
}

// The headcode the train joins at the trip, or empty.
std::string JoinPartner(const TTimetableTrip* trip) {
    if (!trip) return {};
    for (const TTimetableActivity& a : trip->Activities.Items)
        if (a.ActivityKind == ActJoins) return a.Headcode;
    return {};
}

// A circuit the train does not stand on holds a train.
bool OccupiedByAnother(const TTRN& train, const TULC& subroute) {
    const TTCS* circuit = subroute.TrackCircuit;
    if (!circuit || circuit->OccupyCount == 0) return false;
    for (const TULC* own : train.Occupied)
        if (own && own->TrackCircuit == circuit) return false;
    return true;
}

// The two routes run over a circuit in opposite directions.
bool Opposing(const TROU& a, const TROU& b) {
    for (int i = 0; i < a.Subroutes.Count(); ++i) {
        const TULC* u = a.Subroutes.At(i);
        if (!u || !u->TrackCircuit) continue;
        for (int k = 0; k < b.Subroutes.Count(); ++k) {
            const TULC* v = b.Subroutes.At(k);
            if (v && v->TrackCircuit == u->TrackCircuit && v->Direction != u->Direction)
                return true;
        }
    }
    return false;
}

// The train is in a state in which it may yet move on by itself.
bool MayMoveOn(const TTRN& train) {
    switch (train.State) {
        case TsMoving:
        case TsAtRed:
        case TsAtStation:
        case TsReadyToStart:
        case TsTrainInFront:
            return true;
        default:
            return false;
    }
}

}  // namespace

// The route is refused only because a train running up to an automatic signal needs the
// overlap the route crosses: it frees itself once that train has passed, so it does not
// count as blocked when deciding which of two trains goes first.
bool PathSignaller::HeldOnlyByAPassingTrain(Sim& sim, TROU& route) {
    const std::string before = sim.LastFailReason;
    const bool held =
        !route.IsAvailable() && sim.LastFailReason == area::kOverlapLockedByApproachingTrain;
    sim.LastFailReason = before;
    return held;
}

bool PathSignaller::Precedes(const Claim& a, const Claim& b) {
    if (a.AfterBlocked != b.AfterBlocked) return !a.AfterBlocked;
    return a.Order < b.Order;
}

const PathSignaller::Claim* PathSignaller::ClaimOf(const TTRN& train) const {
    for (const Claim& c : claims_)
        if (c.Train == &train) return &c;
    return nullptr;
}

PathSignaller::Progress& PathSignaller::ProgressOf(const TTRN& train) {
    for (Progress& p : progress_) {
        if (p.Train != &train) continue;
        if (p.Timetable != train.Timetable.get() || !train.Timetable ||
            p.TimetableID != train.Timetable->ID) {
            p = Progress{&train, train.Timetable.get(),
                         train.Timetable ? train.Timetable->ID : std::string(), 0};
        }
        return p;
    }
    progress_.push_back(Progress{&train, train.Timetable.get(),
                                 train.Timetable ? train.Timetable->ID : std::string(), 0});
    return progress_.back();
}

TROU* PathSignaller::NextRoute(Sim& sim, const TTRN& train, Progress& progress, std::string* why,
                               bool claimOnly, Claim* claim) {
    auto no = [&](const std::string& reason) -> TROU* {
        if (why) *why = reason;
        return nullptr;
    };
    if (!train.Timetable) return no("no timetable");
    if (!train.HeadULC) return no("no head subroute");
    if (!MayMoveOn(train))
        return no("does not move on by itself (" + TrainStatusText(train.State, 0) + ")");
    std::vector<PathRoute> routes;
    RoutesOfPaths(*train.Timetable, routes);
    if (routes.empty()) return no("no routes on its paths");
    auto findFrom = [&](const TSIG* entrance) -> std::size_t {
        for (std::size_t i = progress.Cursor; i < routes.size(); ++i)
            if (routes[i].Route->Entrance == entrance) return i;
        return routes.size();
    };

    // The route the head is on has been used; the next one is asked for from beyond it.
    // (Routes set ahead may be another train's, still held behind it: they move
    // nothing.)
    for (std::size_t i = progress.Cursor; i < routes.size(); ++i) {
        if (routes[i].Route->AllSubroutes.Contains(train.HeadULC)) {
            progress.Cursor = i + 1;
            break;
        }
    }
    const TULC* u = train.HeadULC;
    double distance = u->Length - train.HeadPos;
    bool first = true;  // no signal passed over yet
    for (int steps = 0; steps < 400 && distance < kLookAheadMetres; ++steps) {
        if (TSIG* signal = u->EndSignal) {
            if (signal->CurrentRoute) {
                // Set already: look on past it.
                first = false;
            } else if (!signal->IsAutomaticKind()) {
                const std::size_t i = findFrom(signal);
                if (i == routes.size())
                    return no("no route of its path from " + signal->ID + " (cursor " +
                              std::to_string(progress.Cursor) + " of " +
                              std::to_string(routes.size()) + ")");
                const PathRoute& next = routes[i];
                // A standing train is at its signal, however long the platform.
                const double reach = train.Speed <= 0 && first
                                         ? kLookAheadMetres
                                         : train.BrakingDistance(train.Speed) +
                                               train.Speed * kLeadSeconds + kLeadMetres;
                // Whatever the distance, the train will want this route next.
                if (claimOnly) {
                    if (claim) {
                        claim->After = i + 1 < routes.size() ? routes[i + 1].Route : nullptr;
                        claim->Join = HasJoin(next.ArrivalTrip);
                        claim->AfterBlocked = claim->After &&
                                              !claim->After->Entrance->CurrentRoute &&
                                              !claim->After->IsAvailableARS() &&
                                              !HeldOnlyByAPassingTrain(sim, *claim->After);
                    }
                    return next.Route;
                }
                if (distance > reach)
                    return no(signal->ID + " is " + std::to_string(int(distance)) + " m ahead");
                // The way out of a stop waits for the booked departure.
                if (next.DepartureTrip && !next.DepartureTrip->IsPass &&
                    next.DepartureTrip->DepTime > 0 &&
                    sim.SimTime < next.DepartureTrip->DepTime - kDepartureLead)
                    return no("waits for its departure from " + signal->ID);
                // Onto clear track only, but into a platform for a booked join once
                // the train to join stands there, so that the call-on route is set.
                TROU* route = next.Route;
                if (!route->Subroutes.AreTCsClear()) {
                    const bool callOn = HasJoin(next.ArrivalTrip) && route->CallOnVariant &&
                                        route->CallOnVariant->CallOnApplies();
                    if (!callOn)
                        return no("the way from " + signal->ID + " to " + route->Exit->ID +
                                  " is occupied");
                }
                // A train that will stand in the platform until its partner joins it
                // lets another train that wants to go through first.
                if (const std::string partner = JoinPartner(next.ArrivalTrip);
                    !partner.empty() && route->Subroutes.AreTCsClear()) {
                    const TULC* last = route->Subroutes.At(route->Subroutes.Count() - 1);
                    for (const Claim& c : claims_) {
                        if (c.Train == &train || c.Train->ID == partner || !last) continue;
                        for (int k = 0; k < c.Route->Subroutes.Count(); ++k) {
                            const TULC* s = c.Route->Subroutes.At(k);
                            if (s && s->TrackCircuit == last->TrackCircuit)
                                return no("holds at " + signal->ID + ": " + c.Train->ID +
                                          " goes through the platform first");
                        }
                    }
                }
                for (int k = 0; k < route->AllSubroutes.Count(); ++k) {
                    const TULC* s = route->AllSubroutes.At(k);
                    for (const auto& [other, circuit] : ahead_)
                        if (other != &train && s && s->TrackCircuit == circuit)
                            return no("holds at " + signal->ID + ": " + other->ID +
                                      " is running over " + s->ID);
                }
                // Nor against a train that is to come the other way over this route or
                // the one after it (that train goes first when each wants the other's
                // way and it precedes).
                const TROU* after = i + 1 < routes.size() ? routes[i + 1].Route : nullptr;
                const Claim* own = ClaimOf(train);
                for (const Claim& c : claims_) {
                    // A claim on occupied track waits anyway (a join excepted).
                    if (c.Train == &train || (!c.Route->Subroutes.AreTCsClear() && !c.Join))
                        continue;
                    // Nor does one the interlocking would refuse now (its overlap
                    // fouled by a train standing at the far end, say): waiting for it
                    // could wait for ever on the train held here.
                    if (!c.Route->Entrance->CurrentRoute && !c.Route->IsAvailableARS() &&
                        !HeldOnlyByAPassingTrain(sim, *c.Route))
                        continue;
                    if (!Opposing(*route, *c.Route) && !(after && Opposing(*after, *c.Route)))
                        continue;
                    // Each wants the other's way: see Precedes.
                    const bool mutual = own && (Opposing(*c.Route, *own->Route) ||
                                                (c.After && Opposing(*c.After, *own->Route)));
                    if (mutual && Precedes(*own, c)) continue;
                    return no("holds at " + signal->ID + ": " + c.Train->ID +
                              " is to come the other way");
                }
                if (why) *why = "route " + signal->ID + " " + route->Exit->ID;
                return route;
            }
        }
        if (u->LeavesArea) return no("leaving the area");
        const TULC* n = u->NextSubroute();
        if (!n) return no("no way on past " + u->ID);
        if (OccupiedByAnother(train, *n)) return no("a train stands ahead on " + n->ID);
        distance += n->Length;
        u = n;
    }
    return no("no signal within reach (walked to " + u->ID + ", " + std::to_string(int(distance)) +
              " m)");
}

std::string PathSignaller::Explain(Sim& sim, const TTRN& train) {
    std::string why;
    if (std::getenv("KESTRA_SIGNALLER_DEBUG") && train.SignalAhead) {
        TSIG* s = train.SignalAhead;
        why = "[ahead " + s->ID +
              (s->CurrentRoute ? " route to " + s->CurrentRoute->Exit->ID : "") +
              (s->ShowsProceed() ? " proceed" : " danger") + " head " + train.HeadULC->ID + "] ";
        if (const TROU* r = s->CurrentRoute) {
            for (int k = 0; k < r->AllSubroutes.Count(); ++k)
                if (const TULC* u = r->AllSubroutes.At(k))
                    why +=
                        u->ID + (u->IsProved() ? "+" : "-") + (u->IsCircuitClear() ? "c " : "o ");
            why += s->ApproachControlled ? "approach-controlled " : "";
            why += s->OverlapProved() ? "" : "overlap-unproved ";
        }
    }
    Progress copy = ProgressOf(train);
    std::string reason;
    TROU* route = NextRoute(sim, train, copy, &reason, false, nullptr);
    why += reason;
    if (route && !route->IsAvailable()) {
        why += " (not available: " + sim.LastFailReason + ")";
        if (std::getenv("KESTRA_SIGNALLER_DEBUG")) {
            sim.Points.ForEach([&](TPTS& pts) {
                auto held = [&](const TULCList& list, const char* how) {
                    for (int k = 0; k < list.Count(); ++k)
                        if (const TULC* u = list.At(k); u && (!u->Free || u->Overlap))
                            why += "\n   " + pts.ID + " " + how + " by " + u->ID +
                                   (u->Free ? "" : " locked") + (u->Overlap ? " overlap" : "") +
                                   (u->StartSignal ? " from " + u->StartSignal->ID : "");
                };
                held(pts.NormalSubroutes, "normal");
                held(pts.ReverseSubroutes, "reverse");
            });
            for (int i = 0; i < route->Exit->Overlaps.Count(); ++i) {
                const TOVL* o = route->Exit->Overlaps.At(i);
                if (!o) continue;
                why += "\n   overlap " + o->ID + ":";
                for (int k = 0; k < o->Subroutes.Count(); ++k) {
                    const TULC* u = o->Subroutes.At(k);
                    if (!u) continue;
                    why += " " + u->ID + (u->Free ? "" : "[locked]") +
                           (u->Overlap ? "[ovl " + u->Overlap->ID + "]" : "") +
                           (u->TrackCircuit && u->TrackCircuit->OccupyCount ? "[occ]" : "");
                    for (int c = 0; c < u->NormalPoints.Count(); ++c)
                        if (TPTS* pts = u->NormalPoints.At(c))
                            why += std::string("<") + pts->ID + " N " +
                                   (pts->IsFreeToGoNormal() ? "free" : "held") + ">";
                    for (int c = 0; c < u->ReversePoints.Count(); ++c)
                        if (TPTS* pts = u->ReversePoints.At(c))
                            why += std::string("<") + pts->ID + " R " +
                                   (pts->IsFreeToGoReverse() ? "free" : "held") + ">";
                    for (int c = 0; c < u->Conflicts.Count(); ++c) {
                        const TULC* x = u->Conflicts.At(c);
                        if (x && (!x->Free || x->Overlap)) why += "{conflict " + x->ID + " held}";
                    }
                }
            }
        }
    }
    return why;
}

void PathSignaller::BeforeCycle(Sim& sim, std::vector<runner::HeadlessCommand>& commands) {
    // What last second's requests came to.
    for (const Pending& p : pending_) {
        if (p.Route->Entrance && p.Route->Entrance->CurrentRoute) {
            granted_.push_back(p.Request);
            lines_.push_back({p.Request.Time, p.Sequence, p.Request.Train,
                              "route " + p.Request.Entrance + ' ' + p.Request.Exit, true});
        } else
            ++refused_;
    }
    pending_.clear();
    if (sim.SimTime == lastSecond_) return;
    lastSecond_ = sim.SimTime;
    KeepDescriberInStep(sim, commands);

    // Keep the records of the trains still here.
    scratch_.clear();
    sim.Trains.ForEach([&](TTRN& train) {
        for (const Progress& p : progress_)
            if (p.Train == &train) scratch_.push_back(p);
    });
    progress_.swap(scratch_);

    // What each train waits for or nears: the route from the signal ahead.
    claims_.clear();
    int order = 0;
    sim.Trains.ForEach([&](TTRN& train) {
        Progress copy = ProgressOf(train);
        Claim c;
        if (TROU* route = NextRoute(sim, train, copy, nullptr, true, &c)) {
            c.Train = &train;
            c.Route = route;
            c.Order = order;
            claims_.push_back(c);
        }
        ++order;
    });

    // The track each moving train is running on to the signal it must stop at, and
    // that signal's overlaps: a route over it would put a signal back in front of the
    // train.
    ahead_.clear();
    sim.Trains.ForEach([&](TTRN& train) {
        if (train.Speed <= 0 || train.State != TsMoving) return;
        auto add = [&](const TULC* u) {
            if (u && u->TrackCircuit) ahead_.push_back({&train, u->TrackCircuit});
        };
        add(train.HeadULC);
        const TULC* last = train.HeadULC;
        for (const TULC* u : train.LookAhead) {
            add(u);
            last = u;
        }
        if (last && last->EndSignal)
            for (int i = 0; i < last->EndSignal->Overlaps.Count(); ++i)
                if (const TOVL* o = last->EndSignal->Overlaps.At(i))
                    for (int k = 0; k < o->Subroutes.Count(); ++k) add(o->Subroutes.At(k));
    });

    std::vector<const TSIG*> asked;
    // The track of the routes asked for this second, with their exits' overlaps: a
    // second request over any of it waits a second, as the first one's locks are not
    // in place until it is played.
    std::vector<const TTCS*> claimed;
    auto trackOf = [](const TROU& route, std::vector<const TTCS*>& out) {
        for (int i = 0; i < route.Subroutes.Count(); ++i)
            if (const TULC* u = route.Subroutes.At(i); u && u->TrackCircuit)
                out.push_back(u->TrackCircuit);
        if (route.Exit)
            for (int i = 0; i < route.Exit->Overlaps.Count(); ++i)
                if (const TOVL* o = route.Exit->Overlaps.At(i))
                    for (int k = 0; k < o->Subroutes.Count(); ++k)
                        if (const TULC* u = o->Subroutes.At(k); u && u->TrackCircuit)
                            out.push_back(u->TrackCircuit);
    };
    std::vector<const TTCS*> track;
    sim.Trains.ForEach([&](TTRN& train) {
        TROU* route = NextRoute(sim, train, ProgressOf(train), nullptr, false, nullptr);
        if (!route || !route->Entrance || !route->Exit) return;
        if (std::find(asked.begin(), asked.end(), route->Entrance) != asked.end()) return;
        track.clear();
        trackOf(*route, track);
        if (std::any_of(track.begin(), track.end(), [&](const TTCS* c) {
                return std::find(claimed.begin(), claimed.end(), c) != claimed.end();
            }))
            return;
        // The interlocking's own check, asked quietly first, so that only requests it
        // will grant are played.
        TROU* toSet = route;
        if (route->Class == RcMain && route->CallOnVariant && !route->Subroutes.AreTCsClear())
            toSet = route->CallOnVariant;
        if (!toSet->IsAvailable()) return;
        asked.push_back(route->Entrance);
        claimed.insert(claimed.end(), track.begin(), track.end());
        runner::HeadlessCommand c;
        c.Time = sim.SimTime;
        c.Verb = "route";
        c.Args = {route->Entrance->ID, route->Exit->ID};
        commands.push_back(c);
        pending_.push_back(
            {route, {sim.SimTime, route->Entrance->ID, route->Exit->ID, train.ID}, sequence_++});
    });
}

void PathSignaller::Give(Sim& sim, std::vector<runner::HeadlessCommand>& commands,
                         const std::string& train, const std::string& verb,
                         std::vector<std::string> args) {
    std::string text = verb;
    for (const std::string& a : args) text += ' ' + a;
    lines_.push_back({sim.SimTime, sequence_++, train, text, false});
    runner::HeadlessCommand c;
    c.Time = sim.SimTime;
    c.Verb = verb;
    c.Args = std::move(args);
    commands.push_back(std::move(c));
}

void PathSignaller::MoveStrandedDescription(Sim& sim,
                                            std::vector<runner::HeadlessCommand>& commands,
                                            const TTRN& train) {
    if (train.State == TsLeaving) return;
    TBER* shown = sim.Berths.FindDescription(TBER::FormatDescription(train.ID));
    if (!shown || shown->External) return;
    auto onTrack = [&](const TBER& b) {
        return b.TrackCircuit &&
               std::any_of(train.Occupied.begin(), train.Occupied.end(),
                           [&](const TULC* u) { return u && u->TrackCircuit == b.TrackCircuit; });
    };
    if (onTrack(*shown)) return;
    // A description taken over by the route out (a reversal) stands in front of the
    // signal the train leaves by: that is where it belongs.
    bool departure = false;
    sim.Signals.ForEach([&](TSIG& sig) {
        departure = departure || (sig.CurrentRoute &&
                                  static_cast<SignalBerthTarget*>(shown) == sig.SignalBerth());
    });
    if (departure) return;
    // Nor is a description in front of a signal ahead of the train (a train stopped
    // short of the circuit its description stands on).
    const TULC* u = train.HeadULC;
    for (int steps = 0; u && steps < 32; ++steps, u = u->NextSubroute())
        if (u->EndSignal && static_cast<SignalBerthTarget*>(shown) == u->EndSignal->SignalBerth())
            return;
    // A free berth on its own track (one still showing an absorbed train's description
    // is freed first, and taken the second after).
    TBER* target = nullptr;
    sim.Berths.ForEach([&](TBER& b) {
        if (!target && !b.External && !b.HasDescription() && onTrack(b)) target = &b;
    });
    // Left behind it, the description would step on with the next train to use that
    // signal (and leave that train's own behind): it comes off now, and with no berth
    // free on its track (the platform's other berth holds the train it is joining) the
    // train waits undescribed until one is.
    Give(sim, commands, train.ID, "cancel-berth", {shown->ID});
    if (target) {
        Give(sim, commands, train.ID, "interpose", {target->ID, train.ID});
    } else if (std::find(undescribed_.begin(), undescribed_.end(), &train) == undescribed_.end()) {
        undescribed_.push_back(&train);
    }
}

void PathSignaller::KeepDescriberInStep(Sim& sim, std::vector<runner::HeadlessCommand>& commands) {
    auto shown = [&](const std::string& id) {
        return sim.Berths.FindDescription(TBER::FormatDescription(id));
    };
    auto running = [&](const std::string& id) {
        bool found = false;
        sim.Trains.ForEach([&](TTRN& t) { found = found || t.ID == id; });
        return found;
    };
    std::vector<Known> now;
    sim.Trains.ForEach([&](TTRN& train) {
        const bool leaving =
            train.State == TsLeaving || (train.HeadULC && train.HeadULC->LeavesArea);
        now.push_back({&train, train.ID, leaving});
        const auto before = std::find_if(known_.begin(), known_.end(),
                                         [&](const Known& k) { return k.Train == &train; });
        const bool seen = before != known_.end();
        const auto waiting = std::find(undescribed_.begin(), undescribed_.end(), &train);
        if (seen && before->ID == train.ID && waiting == undescribed_.end()) {
            MoveStrandedDescription(sim, commands, train);
            return;
        }
        if (train.ID.empty() || !train.HeadULC || leaving) return;
        // The berth still showing the train's old description, unless another train now
        // goes by that description.
        TBER* old = seen && !running(before->ID) ? shown(before->ID) : nullptr;
        if (old && old->External) old = nullptr;
        if (shown(train.ID)) {
            if (old) Give(sim, commands, train.ID, "cancel-berth", {old->ID});
            return;
        }
        if (old) {
            Give(sim, commands, train.ID, "interpose", {old->ID, train.ID});
            return;
        }
        if (seen && waiting == undescribed_.end()) return;
        // A train nobody described (a divided portion): the first free berth on the
        // track it stands on; while there is none (its other portion's description
        // stands there), it waits for one.
        TBER* free = nullptr;
        for (const TULC* u : train.Occupied) {
            if (!u || !u->TrackCircuit || free) continue;
            sim.Berths.ForEach([&](TBER& b) {
                if (!free && b.TrackCircuit == u->TrackCircuit && !b.HasDescription() &&
                    !b.External)
                    free = &b;
            });
        }
        if (free) {
            Give(sim, commands, train.ID, "interpose", {free->ID, train.ID});
            if (waiting != undescribed_.end()) undescribed_.erase(waiting);
        } else if (waiting == undescribed_.end()) {
            undescribed_.push_back(&train);
        }
    });
    // A train gone other than out of the area (absorbed by a join): its description
    // comes off the panel.
    for (const Known& k : known_) {
        if (k.Leaving || k.ID.empty() || running(k.ID)) continue;
        if (std::any_of(now.begin(), now.end(), [&](const Known& n) { return n.Train == k.Train; }))
            continue;
        if (TBER* b = shown(k.ID); b && !b->External)
            Give(sim, commands, k.ID, "cancel-berth", {b->ID});
    }
    known_.swap(now);
    // Forget waiting trains that are gone.
    undescribed_.erase(std::remove_if(undescribed_.begin(), undescribed_.end(),
                                      [&](const TTRN* t) {
                                          return std::none_of(
                                              known_.begin(), known_.end(),
                                              [&](const Known& k) { return k.Train == t; });
                                      }),
                       undescribed_.end());
}

std::string PathSignaller::CommandsFile(const std::string& heading) const {
    std::ostringstream out;
    out << heading;
    std::vector<Line> lines = lines_;
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        return a.Time != b.Time ? a.Time < b.Time : a.Sequence < b.Sequence;
    });
    const std::string* last = nullptr;
    for (const Line& l : lines) {
        if (!last || *last != l.Train) out << "# " << l.Train << '\n';
        last = &l.Train;
        out << FormatClock(l.Time) << ' ' << l.Text << '\n';
    }
    return out.str();
}

}  // namespace kestra::test
