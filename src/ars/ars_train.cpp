#include "ars/ars_train.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ars/ars_subarea.h"
#include "core/time_format.h"
#include "interlocking/route.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_validate.h"
#include "trains/train.h"

namespace kestra {

namespace {

// Item kinds of a saved path entry.
constexpr std::int32_t kItemNone = 0;
constexpr std::int32_t kItemBerth = 1;
constexpr std::int32_t kItemRoute = 2;
// The fewest bytes a saved path entry takes: five small integers and a boolean.
constexpr std::size_t kMinEntryBytes = 6;
// The fewest bytes a saved ARS train takes.
constexpr std::size_t kMinTrainBytes = 24;
// A train standing longer than this many cycles gains priority with every further one.
constexpr std::int32_t kStarvationCycles = 120;
// ARS cycles between runs of its working part, and working cycles between code insertions.
constexpr std::uint32_t kCounterWrap = 8;

TBER* AsBerth(TSSIObject* o) {
    return o && o->Kind == KindBerth ? static_cast<TBER*>(o) : nullptr;
}
TROU* AsRoute(TSSIObject* o) {
    return o && o->Kind == KindRoute ? static_cast<TROU*>(o) : nullptr;
}

// The description without the blanks that pad it to four characters.
std::string Trimmed(std::string_view s) {
    std::size_t end = s.size();
    while (end > 0 && s[end - 1] == ' ') --end;
    return std::string(s.substr(0, end));
}

std::uint8_t StepTag(const TBER& from, const TBER& to) {
    for (const TBERStep& s : from.Steps)
        if (s.ToBerth == &to) return s.ARSTag;
    return 0;
}

bool ConflictsWith(const TROU& a, const TROU& b) {
    return a.ConflictsWith(b);
}

// The due arrival at a trip: the passing time, the arrival, or the departure less the
// location's standard dwell.
std::int32_t DueArrival(const TTimetableTrip& trip) {
    if (trip.IsPass) return trip.DepTime;
    if (trip.ArrTime != 0) return trip.ArrTime;
    const std::int32_t dwell = trip.Location ? trip.Location->StandardDwell : 0;
    return trip.DepTime - dwell;
}

}  // namespace

// ------------------------------------------------------------------ path entries

int TPathEntryList::FindBerthRoute(const TSSIObject* object, int start) const {
    if (start < 0) return -1;
    for (int i = start; i < Count(); ++i)
        if (Items[i].Item == object) return i;
    return -1;
}

int TPathEntryList::FindBerthRouteReverse(const TSSIObject* object, int start) const {
    if (start >= Count()) start = Count() - 1;
    for (int i = start; i >= 0; --i)
        if (Items[i].Item == object) return i;
    return -1;
}

void TPathEntryList::SavePE(Sim& sim, ValueWriter& w) const {
    w.WriteInteger(Count());
    for (const TPathEntry& e : Items) {
        if (const TBER* b = AsBerth(e.Item)) {
            w.WriteInteger(kItemBerth);
            w.WriteInteger(sim.Berths.IndexOf(b));
        } else if (const TROU* r = AsRoute(e.Item)) {
            w.WriteInteger(kItemRoute);
            w.WriteInteger(sim.Routes.IndexOf(r));
        } else {
            w.WriteInteger(kItemNone);
            w.WriteInteger(-1);
        }
        w.WriteInteger(static_cast<std::int32_t>(e.Locations.size()));
        for (int trip : e.Locations) w.WriteInteger(trip);
        w.WriteInteger(e.DueTime);
        w.WriteBoolean(e.Reverses);
    }
}

bool TPathEntryList::LoadPE(Sim& sim, ValueReader& r, int tripCount) {
    const std::int32_t count = r.ReadInteger();
    if (count < 0 || static_cast<std::size_t>(count) > r.Remaining() / kMinEntryBytes) return false;
    std::vector<TPathEntry> items;
    items.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        TPathEntry e;
        const std::int32_t kind = r.ReadInteger();
        const std::int32_t index = r.ReadInteger();
        if (kind == kItemBerth) {
            e.Item = sim.Berths.At(index);
            if (index < 0 || index >= sim.Berths.Count() || !e.Item) return false;
        } else if (kind == kItemRoute) {
            e.Item = sim.Routes.At(index);
            if (index < 0 || index >= sim.Routes.Count() || !e.Item) return false;
        } else if (kind != kItemNone) {
            return false;
        }
        const std::int32_t trips = r.ReadInteger();
        if (trips < 0 || static_cast<std::size_t>(trips) > r.Remaining()) return false;
        for (std::int32_t k = 0; k < trips; ++k) {
            const std::int32_t trip = r.ReadInteger();
            if (trip < 0 || trip >= tripCount) return false;
            e.Locations.push_back(trip);
        }
        e.DueTime = r.ReadInteger();
        e.Reverses = r.ReadBoolean();
        items.push_back(std::move(e));
    }
    Items = std::move(items);
    return true;
}

// ------------------------------------------------------------------ trains

TARSTrain::TARSTrain(Sim& sim) : sim_(sim) {
    Kind = KindARSTrain;
    SecuredAhead.reserve(16);
}

bool TARSTrain::Save(ValueWriter& w) {
    w.WriteString(Description);
    w.WriteInteger(sim_.Berths.IndexOf(Berth));
    w.WriteBoolean(HasTimetable);
    w.WriteBoolean(Timetable != nullptr);
    if (Timetable) WriteTimetable(w, *Timetable, true);
    w.WriteBoolean(PathValid);
    PathEntries.SavePE(sim_, w);
    w.WriteInteger(PathPosition);
    SpareEntries.SavePE(sim_, w);
    w.WriteInteger(SpareValue);
    w.WriteInteger(StepKind);
    w.WriteBoolean(OnPlannedPath);
    w.WriteBoolean(RoutedOff);
    w.WriteBoolean(IsARS);
    w.WriteBoolean(ARSEnabled);
    w.WriteInteger(Status);
    const int statusIndex = StatusTrain ? sim_.ARSTrains().IndexOf(StatusTrain) : -1;
    w.WriteInteger(statusIndex >= 0 ? 1 : 0);
    w.WriteInteger(statusIndex);
    w.WriteString(StatusText);
    w.WriteInteger(NextRoute ? sim_.Routes.IndexOf(NextRoute) : -1);
    w.WriteInteger(Lateness);
    w.WriteInteger(CyclesSinceStep);
    return true;
}

std::int64_t PriorityWeight(std::int32_t classWeight, std::int32_t lateness,
                            std::int32_t cyclesSinceStep) {
    std::int64_t w = classWeight;
    w *= lateness > 0 ? lateness : 1;
    if (cyclesSinceStep > kStarvationCycles) w *= cyclesSinceStep - kStarvationCycles;
    return w;
}

std::int32_t LatenessAt(const TPathEntryList& path, int position, std::int32_t clock,
                        std::int32_t previous) {
    if (position < 0 || position >= path.Count()) return previous;
    const auto& items = path.Items;
    const std::int32_t d = items[position].DueTime;
    // Past the last timed entry (the exits are untimed) the lateness stays what it was
    // at the last timed entry: leaving the area makes nobody late.
    if (d == 0) return previous;
    std::int32_t p = 0;
    for (int j = position - 1; j >= 0; --j) {
        if (items[j].DueTime != 0 && items[j].DueTime != d) {
            p = items[j].DueTime;
            break;
        }
    }
    if (p != 0 && clock < p) return (clock - p) / 30;
    if (clock < d) return 0;
    return (clock - d) / 30;
}

std::string DelayText(const TARSTrain& t) {
    if (!t.OnPlannedPath) return "Unknown";
    const std::int32_t d = t.Lateness;
    if (d >= -1 && d <= 1) return "On time";
    const std::int32_t a = d < 0 ? -d : d;
    std::string s = std::to_string(a / 2);
    if (a % 2) s += HalfGlyph;
    s += " minute";
    if (d != 2 && d != -2) s += "s ";
    s += d < -1 ? " early" : " late";
    return s;
}

// ------------------------------------------------------------------ the list

TARSTrainList::TARSTrainList(Sim& sim) : sim_(sim) {
    RouteRequests.reserve(64);
}

TARSTrain* TARSTrainList::FindByBerth(const TSSIObject* berth) const {
    TARSTrain* found = nullptr;
    ForEach([&](TARSTrain& t) {
        if (!found && berth && t.Berth == berth) found = &t;
    });
    return found;
}

TARSTrain* TARSTrainList::FindByDescription(std::string_view description) const {
    TARSTrain* found = nullptr;
    ForEach([&](TARSTrain& t) {
        if (!found && t.Description == description) found = &t;
    });
    return found;
}

TARSTrain* TARSTrainList::FindForCommand(const TSSIObject* berth,
                                         std::string_view description) const {
    // The train in the berth, when it still carries the description the request saw.
    if (TARSTrain* t = FindByBerth(berth))
        if (description.empty() || t->Description == description) return t;
    TARSTrain* found = nullptr;
    int n = 0;
    ForEach([&](TARSTrain& t) {
        if (t.Description == description) {
            found = &t;
            ++n;
        }
    });
    return n == 1 ? found : nullptr;
}

void TARSTrainList::SetStatus(TARSTrain& t, std::uint8_t code, TARSTrain* other,
                              std::string_view text) {
    if (t.Status == code && t.StatusTrain == other && t.StatusText == text) return;
    t.Status = code;
    t.StatusTrain = other;
    t.StatusText = text;
}

std::string TARSTrainList::StatusTextOf(const TARSTrain& t) const {
    if (!t.OnPlannedPath) return "Off planned path";
    const std::string& x = t.StatusText;
    switch (t.Status) {
        case StNonARS:
            return "Non-ARS";
        case StTrainInFront:
            return "Train " + x + " in front";
        case StApproachingRedAuto:
            return "Approaching red automatic signal";
        case StEnoughRouteSet:
            return "Enough route set";
        case StEndOfPath:
            return "Route set to end of path";
        case StWaitingAvailable:
            return "Waiting for route to become available";
        case StWaitingProve:
            return "Waiting for route to prove";
        case StManualSubArea:
            return "Waiting for route in manual sub-area";
        case StManualRoute:
            return "Waiting for manual route to be set";
        case StSetOffPath:
            return "Route set off planned path";
        case StWaitingTRTS:
            return "Waiting for TRTS";
        case StGivingPriority:
            return "Giving priority to " + x;
        case StWaitingJoining13:
            return "Waiting for joining " + x;
        case StAlreadyOnStretch:
            return x + " already on stretch";
        case StReverses:
            return "Reverses at " + x;
        case StWaitingBooked:
            return "Waiting for booked " + x;
        case StJoinPlanned:
            return "Join planned at " + x;
        case StWaitingJoining:
            return "Waiting for joining " + x;
        case StLocationDelay:
            return "Location delay at " + x;
        default:
            return "Unknown";
    }
}

// The route chosen for the train this cycle, still waiting in the queue to be set at the
// start of the next, is not set once the train is no longer ARS's: the signaller has
// taken it over (or it has gone).
void TARSTrainList::WithdrawRequest(TARSTrain& t) {
    if (t.NextRoute)
        RouteRequests.erase(std::remove(RouteRequests.begin(), RouteRequests.end(), t.NextRoute),
                            RouteRequests.end());
    t.NextRoute = nullptr;
}

void TARSTrainList::FreeTrain(TARSTrain* t) {
    if (!t) return;
    pathRoutesValid_ = false;
    WithdrawRequest(*t);
    // No other train may keep pointing at the one that goes.
    ForEach([&](TARSTrain& other) {
        if (other.StatusTrain == t) other.StatusTrain = nullptr;
    });
    Destroy(t);
    Pack();
}

void TARSTrainList::ClearAll() {
    FreeObjects();
    RouteRequests.clear();
    PendingCancels.clear();
    PendingInterposes.clear();
    PendingMoves.clear();
    counter_ = 0;
}

void TARSTrainList::RemoveTrainAt(const TBER& berth) {
    while (TARSTrain* t = FindByBerth(&berth)) FreeTrain(t);
}

bool TARSTrainList::ClassEnabled(const std::string& description) const {
    const char c = description.empty() ? ' ' : description[0];
    const int index = (c >= '0' && c <= '9') ? c - '0' : ARSClassCount - 1;
    return sim_.Options().ARS[static_cast<std::size_t>(index)];
}

std::int32_t TARSTrainList::ClassWeight(const std::string& description) const {
    const char c = description.empty() ? ' ' : description[0];
    if (c >= '0' && c <= '9') return sim_.SimData.ClassPriority[static_cast<std::size_t>(c - '0')];
    return 1;
}

void TARSTrainList::MakeNonARSColour(TARSTrain& t) {
    if (!t.Berth) return;
    t.Berth->SetNonARSColour();
    t.Berth->SetNoARSPath();
}

// ------------------------------------------------------------------ describer events

void TARSTrainList::DescriptionInterposed(TBER& berth) {
    if (sim_.ClientMode) return;
    RemoveTrainAt(berth);
    if (!berth.HasDescription()) return;
    if (berth.Description == TBER::FormatDescription(sim_.SimData.NonDescribed)) {
        berth.SetNonARSColour();
        berth.SetNoARSPath();
        return;
    }
    CreateTrain(berth, berth.Description, Trimmed(berth.Description));
}

void TARSTrainList::DescriptionCancelled(TBER& berth) {
    if (sim_.ClientMode) return;
    RemoveTrainAt(berth);
}

void TARSTrainList::DescriptionMoved(TBER& from, TBER& to, std::uint8_t arsTag) {
    if (sim_.ClientMode) return;
    TARSTrain* moving = FindByBerth(&from);
    // Whatever stood in the berth stepped into is gone (the describer only steps into
    // an empty berth, so this is a leftover record).
    while (TARSTrain* stale = FindByBerth(&to)) {
        if (stale == moving) break;
        FreeTrain(stale);
    }
    if (moving) {
        StepTrain(*moving, from, to, arsTag);
    } else {
        DescriptionInterposed(to);
    }
}

void TARSTrainList::RouteCancelled(TSIG& signal) {
    if (signal.CurrentRoute) RouteCancelled(*signal.CurrentRoute);
}

void TARSTrainList::RouteCancelled(TROU& route) {
    ForEach([&](TARSTrain& t) {
        if (t.PathPosition < 0) return;
        for (int i = t.PathPosition + 1; i < t.PathEntries.Count(); ++i) {
            TSSIObject* item = t.PathEntries.Items[i].Item;
            if (TROU* r = AsRoute(item)) {
                if (r == &route) {
                    if (t.IsARS)
                        sim_.PostEventMessage(
                            "Route cancelled for " + t.Description + " - made non-ARS", EvARSAlarm);
                    WithdrawRequest(t);
                    t.IsARS = false;
                    t.ARSEnabled = false;
                    SetStatus(t, StNonARS, nullptr, {});
                    MakeNonARSColour(t);
                    return;
                }
                if (!r->RouteSet) return;
            } else if (TBER* b = AsBerth(item)) {
                if (b->HasDescription() && b->Description != t.Description) return;
            }
        }
    });
}

// ------------------------------------------------------------------ creation

TARSTrain* TARSTrainList::CreateTrain(TBER& berth, const std::string& description,
                                      const std::string& lookupName) {
    pathRoutesValid_ = false;
    auto made = std::make_unique<TARSTrain>(sim_);
    TARSTrain& t = *made;
    t.ID = description;
    t.Description = description;
    t.Berth = &berth;
    t.StepKind = 4;
    t.CyclesSinceStep = 0;
    const bool duplicate = FindByDescription(description) != nullptr;
    Adopt(std::move(made));
    SetUpTimetable(t, lookupName);
    t.ARSEnabled = true;
    if (lookupName == Trimmed(description) && !ClassEnabled(description)) {
        MakeNonARSColour(t);
        t.IsARS = false;
        SetStatus(t, StNonARS, nullptr, {});
        sim_.PostEventMessage(description + " entering area non-ARS", EvARSAlarm);
    }
    if (duplicate) sim_.PostEventMessage(description + " duplicated in area", EvARSAlarm);
    UpdateDelay(t);
    return &t;
}

void TARSTrainList::RunToPattern(TBER& berth, const std::string& pattern) {
    if (pattern.empty() || !berth.HasDescription()) return;
    std::string name = pattern.substr(0, 4);
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    RemoveTrainAt(berth);
    CreateTrain(berth, berth.Description, name);
}

void TARSTrainList::SetUpTimetable(TARSTrain& t, const std::string& lookupName) {
    const std::string& d = t.Description;
    const bool runningTo = lookupName != Trimmed(d);
    const TTimetable* found = sim_.Timetable.FindByHeadcode(lookupName, sim_.SimTime);
    if (!found) {
        t.HasTimetable = false;
        sim_.PostEventMessage(runningTo ? d + " running to " + lookupName + " not in timetable"
                                        : d + " not in timetable",
                              EvARSAlarm);
        MakeNonARSColour(t);
        t.IsARS = false;
        SetStatus(t, StNonARS, nullptr, {});
        return;
    }
    t.HasTimetable = true;
    t.Timetable = std::make_unique<TTimetable>(sim_, found->ID);
    t.Timetable->CopyFrom(*found);
    std::string reason;
    Validate(*t.Timetable, reason);
    ComputePaths(*t.Timetable);
    BuildPath(t);
    // Each activity's partner: which way its first path leaves, for code insertion.
    for (TTimetableTrip& trip : t.Timetable->Trips.Items) {
        for (TTimetableActivity& a : trip.Activities.Items) {
            a.PartnerDirection = PartnerDirectionUnresolved;
            if (TTimetable* other = sim_.Timetable.FindByHeadcode(a.Headcode, trip.DepTime)) {
                const std::uint8_t dir = FirstPathDirection(*other);
                if (dir == DirDown || dir == DirUp) a.PartnerDirection = dir;
            }
        }
    }
    if (t.OnPlannedPath) {
        if (runningTo) {
            t.Berth->SetARSRunningToColour();
            sim_.PostEventMessage(d + " running to " + lookupName, EvARSMessage);
        } else {
            t.Berth->SetARSColour();
        }
        t.IsARS = true;
        SetStatus(t, StUnknown, nullptr, {});
    } else {
        sim_.PostEventMessage(d + (runningTo ? " running to " + lookupName : std::string()) +
                                  " entering area off planned path",
                              EvARSAlarm);
        MakeNonARSColour(t);
        t.IsARS = false;
        SetStatus(t, StNonARS, nullptr, {});
    }
}

void TARSTrainList::BuildPath(TARSTrain& t) {
    pathRoutesValid_ = false;
    TTimetable& tt = *t.Timetable;
    auto& trips = tt.Trips.Items;
    t.PathEntries.Items.clear();
    t.PathValid = false;
    t.OnPlannedPath = false;
    t.PathPosition = -1;
    std::vector<int> keys;
    for (int i = 0; i < static_cast<int>(trips.size()); ++i)
        if (IsKeyTrip(trips[i])) keys.push_back(i);
    // The segments: from the entry to the first key trip, then key to key. A train that
    // enters with no key trip, or starts with fewer than two, has no defined path.
    const std::size_t expected = keys.empty() ? 0 : (tt.EntryPoint ? keys.size() : keys.size() - 1);
    if (expected == 0 || tt.Paths.size() != expected) return;
    t.PathValid = true;
    const TPTH* previous = nullptr;
    for (std::size_t seg = 0; seg < expected; ++seg) {
        const TPTH& path = *tt.Paths[seg];
        const int fromKey = tt.EntryPoint ? (seg == 0 ? -1 : keys[seg - 1]) : keys[seg];
        const int toKey = tt.EntryPoint ? keys[seg] : keys[seg + 1];
        // The trips at other locations between the two ends, in timetable order.
        int nextBetween = fromKey + 1;
        const TLOC* fromLoc = fromKey >= 0 ? trips[fromKey].Location : nullptr;
        const TLOC* toLoc = trips[toKey].Location;
        bool skipLeadingBerths = false;
        if (previous) {
            if (previous->EndDirection == path.StartDirection) {
                skipLeadingBerths = true;
            } else if (!t.PathEntries.Items.empty()) {
                t.PathEntries.Items.back().Reverses = true;
            }
        }
        for (int i = 0; i < path.Objects.Count(); ++i) {
            TSSIObject* o = path.Objects.GetItem(i);
            TBER* b = AsBerth(o);
            if (skipLeadingBerths && b) continue;
            skipLeadingBerths = false;
            TPathEntry e;
            e.Item = o;
            if (b) {
                for (int k = 0; k < b->Locations.Count(); ++k) {
                    const TLOC* loc = b->Locations.At(k);
                    if (loc && loc == fromLoc) {
                        e.Locations.push_back(fromKey);
                    } else if (loc && loc == toLoc) {
                        e.Locations.push_back(toKey);
                    } else if (loc && nextBetween < toKey && trips[nextBetween].Location == loc) {
                        e.Locations.push_back(nextBetween++);
                    }
                }
            }
            t.PathEntries.Items.push_back(std::move(e));
        }
        previous = &path;
    }
    t.PathPosition = t.PathEntries.FindBerthRoute(t.Berth, 0);
    // Described in the other berth of the platform its path starts from (a portion
    // divided off, a next working behind another train): on the path all the same.
    if (t.PathPosition < 0) t.PathPosition = PlatformTwinEntry(t, *t.Berth, -1);
    if (t.PathPosition >= 0) {
        t.OnPlannedPath = true;
        t.StepKind = 4;
        for (int i = t.PathPosition + 1; i < t.PathEntries.Count(); ++i) {
            if (TBER* next = AsBerth(t.PathEntries.Items[i].Item)) {
                t.StepKind = StepTag(*t.Berth, *next);
                break;
            }
        }
    }
    ComputeDueTimes(t);
}

void TARSTrainList::ComputeDueTimes(TARSTrain& t) {
    auto& items = t.PathEntries.Items;
    const auto& trips = t.Timetable->Trips.Items;
    std::int32_t p = 0;
    if (t.Timetable->EntryPoint) {
        p = t.Timetable->EntryTime;
    } else {
        for (const TPathEntry& e : items) {
            if (!e.Locations.empty()) {
                p = trips[e.Locations.front()].DepTime;
                break;
            }
        }
    }
    std::size_t first = 0;
    float total = 0;
    for (std::size_t j = 0; j < items.size(); ++j) {
        TPathEntry& e = items[j];
        if (AsBerth(e.Item) && !e.Locations.empty()) {
            const TTimetableTrip& trip = trips[e.Locations.front()];
            const std::int32_t a = DueArrival(trip);
            float s = 0;
            for (std::size_t k = first; k <= j; ++k) {
                if (AsBerth(items[k].Item)) {
                    items[k].DueTime =
                        total == 0 ? p
                                   : p + static_cast<std::int32_t>(
                                             std::lround((s / total) * static_cast<float>(a - p)));
                } else if (TROU* r = AsRoute(items[k].Item)) {
                    s += static_cast<float>(r->RouteLength());
                }
            }
            p = trip.DepTime;
            first = j;
            total = 0;
        } else if (TROU* r = AsRoute(e.Item)) {
            total += static_cast<float>(r->RouteLength());
        }
    }
}

// ------------------------------------------------------------------ stepping

void TARSTrainList::StepTrain(TARSTrain& t, TBER& from, TBER& to, std::uint8_t tag) {
    UpdateDelay(t);
    (void)from;
    t.StepKind = (tag == 1 || tag == 2) ? tag : 4;
    t.Berth = &to;
    const int old = t.PathPosition;
    int pos = t.PathEntries.FindBerthRoute(&to, old + 1);
    if (pos < 0) pos = t.PathEntries.FindBerthRouteReverse(&to, old);
    if (pos < 0) pos = PlatformTwinEntry(t, to, old);
    t.PathPosition = pos;
    if (pos < 0) {
        // Stepping on from the last berth of the path is running past its end (towards
        // the boundary, past automatic signals the path does not list): the train has
        // not been routed off it, and is not reported as such.
        bool pastEnd = old >= 0;
        for (int k = old + 1; pastEnd && k < t.PathEntries.Count(); ++k)
            pastEnd = AsBerth(t.PathEntries.Items[k].Item) == nullptr;
        if (old >= 0 && !pastEnd && !t.RoutedOff && t.OnPlannedPath && t.IsARS) {
            sim_.PostEventMessage(t.Description + " routed off planned path and made non-ARS",
                                  EvARSAlarm);
            MakeNonARSColour(t);
        }
        WithdrawRequest(t);
        t.IsARS = false;
        t.OnPlannedPath = false;
        t.RoutedOff = true;
    } else if (t.ARSEnabled && t.HasTimetable && !t.IsARS && !t.OnPlannedPath) {
        if (ClassEnabled(t.Description)) {
            to.SetARSColour();
            t.IsARS = true;
        }
        t.OnPlannedPath = true;
        t.RoutedOff = false;
    }
    t.CyclesSinceStep = 0;
}

// A train called on into a platform where another stands is described in the
// platform's other berth: it has reached the path's next berth all the same when that
// berth belongs to the same platform. The entry's index, or -1.
int TARSTrainList::PlatformTwinEntry(const TARSTrain& t, const TBER& to, int old) const {
    const auto& items = t.PathEntries.Items;
    int j = old + 1;
    while (j < static_cast<int>(items.size()) && !AsBerth(items[j].Item)) ++j;
    if (j >= static_cast<int>(items.size())) return -1;
    return SamePlatform(*AsBerth(items[j].Item), to) ? j : -1;
}

bool TARSTrainList::SamePlatform(const TBER& a, const TBER& b) const {
    for (const TACIEntry& e : ACIEntries) {
        const auto has = [&](const TBER* x) {
            return std::find(e.PlatformBerths.begin(), e.PlatformBerths.end(), x) !=
                   e.PlatformBerths.end();
        };
        if (has(&a) && has(&b)) return true;
    }
    return false;
}

void TARSTrainList::DrawUpInPlatform(TARSTrain& t) {
    // A train described in the other berth of its platform (called on behind another
    // train, or the rear portion of a divide) takes its path's berth once that berth is
    // empty, that is once the train in front has left or joined it: the departure's
    // describer step starts from that berth.
    const int pos = t.PathPosition;
    if (pos < 0 || pos >= t.PathEntries.Count() || !t.Berth) return;
    TBER* ahead = AsBerth(t.PathEntries.Items[pos].Item);
    if (!ahead || ahead == t.Berth || ahead->HasDescription() || !SamePlatform(*ahead, *t.Berth))
        return;
    for (const auto& [from, to] : PendingMoves)
        if (from == t.Berth || to == ahead) return;
    PendingMoves.emplace_back(t.Berth, ahead);
}

// ------------------------------------------------------------------ the cycle

void TARSTrainList::ARSCycle() {
    if (sim_.ClientMode) return;
    counter_ = (counter_ + 1) % kCounterWrap;
    if (counter_ % 2 != 0) return;
    // The routes chosen last time, if they can still be set: a sub-area switched off
    // since (by the signaller, a client or a route cancel) takes the route back.
    for (TROU* r : RouteRequests) {
        if (!r->RouteSet && r->ARSAllowed && r->SubAreasInEffect() && r->IsAvailableARS() &&
            r->SetRoute())
            ++RoutesSet;
    }
    RouteRequests.clear();
    const bool aci = counter_ == 0 && sim_.Options().ACI;
    MakePathRoutes();
    for (int i = 0; i < Count(); ++i) {
        TARSTrain* t = At(i);
        if (!t) continue;
        try {
            TrainCycle(*t);
            if (aci && t->HasTimetable) RunACI(*t);
        } catch (const std::exception&) {
            ++sim_.ErrorsCaught;
        }
    }
    pathRoutesValid_ = false;
    // The code insertions queued, cancels first; each goes through the describer, so
    // ARS trains come and go the usual way. The queues are moved out first: applying
    // them may run this list's own describer events.
    if (PendingCancels.empty() && PendingInterposes.empty() && PendingMoves.empty()) return;
    std::vector<TBER*> cancels;
    std::vector<std::pair<std::string, TBER*>> interposes;
    std::vector<std::pair<TBER*, TBER*>> moves;
    cancels.swap(PendingCancels);
    interposes.swap(PendingInterposes);
    moves.swap(PendingMoves);
    for (TBER* b : cancels) b->CancelDescription();
    for (auto& [from, to] : moves) {
        // Only into a berth the cancels emptied, and only the train still standing there.
        TARSTrain* t = FindByBerth(from);
        if (!t || !from->HasDescription() || to->HasDescription()) continue;
        MoveAlongPlatform(*t, *to);
    }
    for (auto& [description, b] : interposes) b->Interpose(description);
}

void TARSTrainList::MakePathRoutes() {
    if (pathRoutes_.size() < static_cast<std::size_t>(Count()))
        pathRoutes_.resize(static_cast<std::size_t>(Count()));
    for (int i = 0; i < Count(); ++i) {
        PathRoutes& p = pathRoutes_[static_cast<std::size_t>(i)];
        p.Train = At(i);
        p.Routes.clear();
        std::fill(p.Conflicts.begin(), p.Conflicts.end(), 0);
        p.ConflictsComplete = true;
        if (!p.Train) continue;
        const auto& items = p.Train->PathEntries.Items;
        std::int32_t lastDue = 0, lastDueIndex = -1;
        for (int k = 0; k < static_cast<int>(items.size()); ++k) {
            if (AsBerth(items[k].Item)) {
                if (items[k].DueTime != 0) {
                    lastDue = items[k].DueTime;
                    lastDueIndex = k;
                }
            } else if (const TROU* r = AsRoute(items[k].Item)) {
                p.Routes.push_back({r, k, lastDue, lastDueIndex});
                bool complete = true;
                const std::vector<std::uint64_t>& bits = r->ConflictBits(complete);
                p.ConflictsComplete = p.ConflictsComplete && complete;
                if (p.Conflicts.size() < bits.size()) p.Conflicts.resize(bits.size(), 0);
                for (std::size_t w = 0; w < bits.size(); ++w) p.Conflicts[w] |= bits[w];
            }
        }
    }
    pathRoutesValid_ = true;
}

void TARSTrainList::MovedAlongPlatform(TARSTrain& t, TBER& to) {
    t.Berth = &to;
    // The train's place on its path moves with its description, as a step's does, so
    // that the cycle looks ahead from the berth it stands in.
    const int old = t.PathPosition;
    if (old < 0) return;
    // Drawn up into the berth its path already stands at.
    if (old < t.PathEntries.Count() && t.PathEntries.Items[old].Item == &to) return;
    int pos = t.PathEntries.FindBerthRoute(&to, old + 1);
    if (pos < 0) pos = t.PathEntries.FindBerthRouteReverse(&to, old);
    t.PathPosition = pos;
    if (pos < 0) {
        if (t.IsARS) MakeNonARSColour(t);
        t.IsARS = false;
        t.OnPlannedPath = false;
        t.RoutedOff = true;
    }
}

void TARSTrainList::AddACIEntry(TLOC* location, bool chainAllowed, const std::string& platform,
                                std::vector<TBER*> berths) {
    TACIEntry e;
    e.Location = location;
    e.ChainAllowed = chainAllowed;
    e.Platform = platform;
    e.PlatformBerths = std::move(berths);
    ACIEntries.push_back(std::move(e));
}

void TARSTrainList::RunACI(TARSTrain& t) {
    if (!ClassEnabled(t.Description) || !t.Timetable || !t.Berth) return;
    if (t.PathPosition >= t.PathEntries.Count()) return;
    const TACIEntry* entry = nullptr;
    for (const TACIEntry& e : ACIEntries) {
        if (std::find(e.PlatformBerths.begin(), e.PlatformBerths.end(), t.Berth) !=
            e.PlatformBerths.end()) {
            entry = &e;
            break;
        }
    }
    if (!entry) return;
    // A copy: processing a trip may move the train and change its path position.
    std::vector<int>& trips = aciTrips_;
    trips.clear();
    const auto& items = t.Timetable->Trips.Items;
    if (t.PathPosition >= 0) {
        const std::vector<int>& here = t.PathEntries.Items[t.PathPosition].Locations;
        trips.assign(here.begin(), here.end());
    } else {
        for (int k = 0; k < t.Berth->Locations.Count(); ++k)
            for (int i = 0; i < static_cast<int>(items.size()); ++i)
                if (items[i].Location == t.Berth->Locations.At(k)) trips.push_back(i);
    }
    for (std::size_t n = 0; n < trips.size(); ++n) {
        const int trip = trips[n];
        if (trip < 0 || trip >= static_cast<int>(items.size())) continue;
        if (items[trip].Activities.Items.empty()) continue;
        ProcessTrip(t, trip, *entry);
    }
}

// The train's description moves to another berth of its platform (carrying its
// colours), and its place on its path moves with it.
void TARSTrainList::MoveAlongPlatform(TARSTrain& t, TBER& to) {
    sim_.Berths.MoveDescription(*t.Berth, to);
    MovedAlongPlatform(t, to);
}

void TARSTrainList::ProcessTrip(TARSTrain& t, int tripIndex, const TACIEntry& entry) {
    auto& activities = t.Timetable->Trips.Items[tripIndex].Activities.Items;
    if (activities.size() == 1 && activities.front().ActivityKind == ActNextTrain) {
        const std::string next = activities.front().Headcode;
        activities.clear();
        NextWorking(t, tripIndex, entry, next);
        return;
    }
    const auto& berths = entry.PlatformBerths;
    const int here =
        static_cast<int>(std::find(berths.begin(), berths.end(), t.Berth) - berths.begin());
    // The run of empty berths either side of the train's own, in platform order.
    int first = here, last = here;
    while (first > 0 && !berths[first - 1]->HasDescription()) --first;
    while (last + 1 < static_cast<int>(berths.size()) && !berths[last + 1]->HasDescription())
        ++last;
    const TTimetableActivity a = activities.front();
    if (a.ActivityKind == ActDividesNewRear || a.ActivityKind == ActDividesNewFront) {
        if (first == last) return;  // no room yet: tried again later
        // Platform berths run left to right. A train that came in running Down (step
        // kind 1) faces the last of them, so its rear is towards the first; one running Up
        // faces the first. The new portion is described at its own end of the train.
        const bool rear = a.ActivityKind == ActDividesNewRear;
        const bool atLast = t.StepKind == 1 ? !rear : rear;
        TBER* target = atLast ? berths[last] : berths[first];
        // The train's own description makes room by one berth along the platform.
        if (target == t.Berth)
            MoveAlongPlatform(t, *(atLast ? berths[here - 1] : berths[here + 1]));
        PendingInterposes.emplace_back(TBER::FormatDescription(a.Headcode), target);
        activities.erase(activities.begin());
        return;
    }
    if (t.StepKind != 1 && t.StepKind != 2) return;
    JoinsAndPortions(t, tripIndex, entry, first, last);
}

// A train with joins, or with several activities of which the first is no divide: the
// joins whose partner stands in the platform are carried out; failing any, the train
// is divided into its portions, each described in an empty berth of the platform.
void TARSTrainList::JoinsAndPortions(TARSTrain& t, int tripIndex, const TACIEntry& entry, int first,
                                     int last) {
    auto& activities = t.Timetable->Trips.Items[tripIndex].Activities.Items;
    const auto& berths = entry.PlatformBerths;
    const auto kindOf = [&](std::size_t i) { return activities[i].ActivityKind; };
    const auto described = [&](std::size_t i) {
        return TBER::FormatDescription(activities[i].Headcode);
    };
    // A join with a portion that divides off here waits (as a code-insertion activity)
    // while the portion is still described at the location, so the two are not joined
    // again the moment they are divided; once it has gone it is a join again.
    for (std::size_t i = 0; i < activities.size(); ++i) {
        if (kindOf(i) != ActCodeInsertion) continue;
        const std::string p = described(i);
        bool shown = false;
        for (const TACIEntry& e : ACIEntries) {
            if (e.Location != entry.Location) continue;
            for (const TBER* b : e.PlatformBerths) shown = shown || b->Description == p;
        }
        if (!shown) activities[i].ActivityKind = ActJoins;
    }
    bool joined = false;
    for (std::size_t i = 0; i < activities.size();) {
        if (kindOf(i) != ActJoins) {
            ++i;
            continue;
        }
        const std::string p = described(i);
        TBER* partner = nullptr;
        for (TBER* q : berths)
            if (q != t.Berth && q->Description == p) partner = partner ? partner : q;
        if (!partner) {
            ++i;
            continue;
        }
        activities.erase(activities.begin() + static_cast<long>(i));
        CarryOutJoin(t, tripIndex, entry, *partner);
        joined = true;
        i = 0;  // the join may have taken the next working with it
    }
    if (joined) return;
    for (std::size_t i = 0; i < activities.size(); ++i) {
        if (kindOf(i) != ActJoins) continue;
        for (std::size_t k = 0; k < activities.size(); ++k)
            if ((kindOf(k) == ActDividesNewRear || kindOf(k) == ActDividesNewFront) &&
                described(k) == described(i))
                activities[i].ActivityKind = ActCodeInsertion;
    }
    // The train and its portions in the order they stand, front portions after the
    // train, rear portions before it (running Down; the other way for an Up arrival).
    // -1 is the train itself.
    std::vector<int> order{-1};
    int own = 0, rears = 0, fronts = 0, next = -1;
    for (std::size_t i = 0; i < activities.size(); ++i) {
        const int k = static_cast<int>(i);
        if (kindOf(i) == ActDividesNewFront) {
            order.insert(order.begin() + own + 1, k);
            ++fronts;
        } else if (kindOf(i) == ActDividesNewRear) {
            order.insert(order.begin() + own, k);
            ++own;
            ++rears;
        } else if (kindOf(i) == ActNextTrain) {
            next = k;
        }
    }
    const int n = static_cast<int>(order.size());
    if (t.StepKind == 2) {
        std::reverse(order.begin(), order.end());
        own = n - 1 - own;
    }
    if (rears + fronts == 0 && next < 0) return;
    const int before = own, after = n - 1 - own;
    int here = static_cast<int>(std::find(berths.begin(), berths.end(), t.Berth) - berths.begin());
    // Room for portions that go on one side only: the train's description moves one
    // berth the other way. The side follows the order above, so for an Up arrival the
    // move is mirrored too (moving it towards its portions would leave them no berth).
    if (before > 0 && after == 0 && here < last) {
        ++here;
        MoveAlongPlatform(t, *berths[here]);
    } else if (after > 0 && before == 0 && here > first) {
        --here;
        MoveAlongPlatform(t, *berths[here]);
    }
    const int i = here - first;
    std::vector<int> placed;
    for (int k = 0; k < std::min(i, own); ++k) {
        PendingInterposes.emplace_back(described(static_cast<std::size_t>(order[k])),
                                       berths[first + k]);
        placed.push_back(order[k]);
    }
    const int placedBefore = static_cast<int>(placed.size());
    for (int li = n - 1, bi = last; li > own && bi > here; --li, --bi) {
        PendingInterposes.emplace_back(described(static_cast<std::size_t>(order[li])), berths[bi]);
        placed.push_back(order[li]);
    }
    const int placedAfter = static_cast<int>(placed.size()) - placedBefore;
    // The next working takes the train's berth once every portion is described, in
    // either direction of arrival, and not while a join is still to come: the train
    // keeps its description until its partner has joined it.
    bool joinPending = false;
    for (std::size_t k = 0; k < activities.size(); ++k)
        joinPending = joinPending || kindOf(k) == ActJoins || kindOf(k) == ActCodeInsertion;
    if (next >= 0 && placedBefore == before && placedAfter == after && !joinPending) {
        PendingInterposes.emplace_back(described(static_cast<std::size_t>(next)), t.Berth);
        placed.push_back(next);
    }
    std::sort(placed.begin(), placed.end());
    for (auto it = placed.rbegin(); it != placed.rend(); ++it)
        activities.erase(activities.begin() + *it);
}

// The train joins the partner described in berth q of the platform. With a next
// working the joined train takes the new description in the later of the two berths in
// platform order and the other is cleared (only where the platform allows the chain).
// Without, the partner's description disappears into the train, except at the train's
// last trip: its working ends here, and the partner, which runs on, clears it.
void TARSTrainList::CarryOutJoin(TARSTrain& t, int tripIndex, const TACIEntry& entry, TBER& q) {
    auto& activities = t.Timetable->Trips.Items[tripIndex].Activities.Items;
    for (std::size_t i = 0; i < activities.size(); ++i) {
        if (activities[i].ActivityKind != ActNextTrain) continue;
        if (!entry.ChainAllowed) return;
        const std::string next = TBER::FormatDescription(activities[i].Headcode);
        activities.erase(activities.begin() + static_cast<long>(i));
        const auto& berths = entry.PlatformBerths;
        const auto b = std::find(berths.begin(), berths.end(), t.Berth);
        const auto other = std::find(berths.begin(), berths.end(), &q);
        if (b < other) {
            PendingInterposes.emplace_back(next, &q);
            PendingCancels.push_back(t.Berth);
        } else {
            PendingInterposes.emplace_back(next, t.Berth);
            PendingCancels.push_back(&q);
        }
        return;
    }
    if (tripIndex + 1 < t.Timetable->Trips.Count()) PendingCancels.push_back(&q);
}

void TARSTrainList::NextWorking(TARSTrain& t, int tripIndex, const TACIEntry& entry,
                                const std::string& next) {
    (void)tripIndex;
    const std::string described = TBER::FormatDescription(next);
    const auto& berths = entry.PlatformBerths;
    for (const TBER* b : berths)
        if (b->Description == described) return;
    int here = static_cast<int>(std::find(berths.begin(), berths.end(), t.Berth) - berths.begin());
    int target = here;
    std::uint8_t direction = 0;
    if (TTimetable* tt = sim_.Timetable.FindByHeadcode(next, sim_.SimTime))
        direction = FirstPathDirection(*tt);
    const int step = direction == DirDown ? 1 : direction == DirUp ? -1 : 0;
    if (step != 0) {
        for (int i = here + step; i >= 0 && i < static_cast<int>(berths.size()); i += step) {
            if (berths[i]->HasDescription()) break;
            target = i;
        }
    }
    // Described in another berth of the platform: the old description goes, or it would
    // stand on as a second train in the platform.
    if (berths[target] != t.Berth) PendingCancels.push_back(t.Berth);
    PendingInterposes.emplace_back(described, berths[target]);
}

void TARSTrainList::TrainCycle(TARSTrain& t) {
    if (!t.IsARS) return;
    DrawUpInPlatform(t);
    LookAhead(t);
    if (!t.IsARS) return;
    ChooseRoute(t);
    UpdateDelay(t);
    ++t.CyclesSinceStep;
}

void TARSTrainList::RoutedOffBySignaller(TARSTrain& t, int index) {
    if (t.IsARS) sim_.PostEventMessage(t.Description + " routed off planned path", EvARSAlarm);
    t.RoutedOff = true;
    t.IsARS = false;
    WithdrawRequest(t);
    MakeNonARSColour(t);
    SetStatus(t, StNonARS, nullptr, {});
    t.SecuredTo = index + 1;
    t.PathPosition = -1;
}

void TARSTrainList::LookAhead(TARSTrain& t) {
    t.NextRoute = nullptr;
    t.SecuredAhead.clear();
    t.SecuredTo = t.PathPosition;
    if (t.PathPosition < 0) return;
    auto& items = t.PathEntries.Items;
    // Described in the other berth of its platform, behind the train that stands in the
    // path's berth: the routes from that berth are the other train's until it has gone.
    if (TBER* at = AsBerth(items[t.PathPosition].Item);
        at && at != t.Berth && at->HasDescription() && at->Description != t.Description) {
        t.SecuredAhead.push_back(at);
        return;
    }
    for (int i = t.PathPosition + 1; i < static_cast<int>(items.size()); ++i) {
        TSSIObject* item = items[i].Item;
        if (TROU* r = AsRoute(item)) {
            if (r->RouteSet) {
                if (r->Entrance->ProceedAllowed || r->ExemptFromClearing) {
                    t.SecuredAhead.push_back(r);
                    t.SecuredTo = i;
                    continue;
                }
                if (r->Class == RcAutomatic) {
                    t.SecuredAhead.push_back(r);
                    t.SecuredTo = i;
                }
                t.NextRoute = r;
                return;
            }
            const TROU* current = r->Entrance->CurrentRoute;
            if (current && current != r && current->RouteSet && current->Entrance->ProceedAllowed) {
                if (current->Exit == r->Exit) {
                    t.SecuredTo = i;
                    t.NextRoute = r;
                    continue;
                }
                RoutedOffBySignaller(t, i);
                return;
            }
            t.NextRoute = r;
            return;
        }
        if (TBER* b = AsBerth(item)) {
            t.SecuredAhead.push_back(b);
            t.SecuredTo = i;
            if (b->HasDescription() && b->Description != t.Description) return;
        }
    }
}

bool TARSTrainList::JoiningCheck(TARSTrain& t) {
    if (!t.Timetable || t.SecuredTo < 0 || t.SecuredTo >= t.PathEntries.Count()) return false;
    const auto& items = t.PathEntries.Items;
    int j = t.SecuredTo;
    while (j >= 0 && AsBerth(items[j].Item) && items[j].Locations.empty()) --j;
    if (j < 0 || !AsBerth(items[j].Item)) return false;
    auto& trips = t.Timetable->Trips.Items;
    for (int tripIndex : items[j].Locations) {
        const TTimetableTrip& trip = trips[tripIndex];
        std::string partners;
        for (const TTimetableActivity& a : trip.Activities.Items) {
            if (a.ActivityKind != ActJoins) continue;
            if (!partners.empty()) partners += "-";
            partners += a.Headcode;
        }
        if (partners.empty()) continue;
        const bool here =
            t.Berth && trip.Location && t.Berth->Locations.IndexOf(trip.Location) >= 0;
        if (!here) {
            SetStatus(t, StJoinPlanned, nullptr, trip.Location ? trip.Location->Name : "");
        } else {
            SetStatus(t, StWaitingJoining, nullptr, partners);
        }
        t.NextRoute = nullptr;
        return true;
    }
    return false;
}

// The train is to join another at the location just beyond its candidate route: once
// the partner stands in one of the location's berths, the route into it is the
// candidate's call-on variant when the partner stands on that route's track, and none
// otherwise (the main route cannot be set into an occupied platform).
void TARSTrainList::JoinAhead(TARSTrain& t) {
    if (!t.Timetable) return;
    const auto& items = t.PathEntries.Items;
    int j = t.SecuredTo + 1;
    while (j < static_cast<int>(items.size()) && j >= 0 && items[j].Item == t.NextRoute) ++j;
    if (j < 0 || j >= static_cast<int>(items.size())) return;
    if (!AsBerth(items[j].Item)) return;
    const auto& trips = t.Timetable->Trips.Items;
    for (int tripIndex : items[j].Locations) {
        if (tripIndex < 0 || tripIndex >= static_cast<int>(trips.size())) continue;
        const TTimetableTrip& trip = trips[tripIndex];
        if (!trip.Location) continue;
        for (const TTimetableActivity& a : trip.Activities.Items) {
            if (a.ActivityKind != ActJoins) continue;
            const std::string partner = TBER::FormatDescription(a.Headcode);
            const TSSIList& berths = trip.Location->Berths;
            for (int k = 0; k < berths.Count(); ++k) {
                const TBER* b = AsBerth(berths.GetItem(k));
                if (!b || b->Description != partner) continue;
                TROU* r = t.NextRoute;
                t.NextRoute = r->Berths.IndexOf(b) >= 0 ? r->CallOnVariant : nullptr;
                SetStatus(t, StJoinPlanned, nullptr, trip.Location->Name);
                return;
            }
        }
    }
}

void TARSTrainList::BookedTimeHold(TARSTrain& t) {
    if (!t.Timetable) return;
    const auto& items = t.PathEntries.Items;
    int j = t.SecuredTo;
    if (j < 0 || j >= static_cast<int>(items.size())) return;
    while (j >= 0 && AsBerth(items[j].Item) && items[j].Locations.empty()) --j;
    if (j < 0 || !AsBerth(items[j].Item)) return;
    const TTimetableTrip& trip = t.Timetable->Trips.Items[items[j].Locations.back()];
    if (trip.IsPass || !trip.Location || !trip.Location->ARSWaitsForTime) return;
    if (sim_.SimTime < trip.DepTime - trip.Location->ARSAllowance) {
        std::string when = FormatHalfMinuteAll(trip.DepTime);
        const auto b = when.find_first_not_of(' ');
        const auto e = when.find_last_not_of(' ');
        when = b == std::string::npos ? std::string() : when.substr(b, e - b + 1);
        SetStatus(t, StWaitingBooked, nullptr, when);
        t.NextRoute = nullptr;
        t.CyclesSinceStep = 0;
    }
}

void TARSTrainList::ChooseRoute(TARSTrain& t) {
    bool held = false;
    for (TSSIObject* o : t.SecuredAhead) {
        if (TROU* r = AsRoute(o)) {
            if (r->Class == RcAutomatic && r->Entrance->Aspect == AspDanger &&
                !r->ExemptFromClearing) {
                SetStatus(t, StApproachingRedAuto, nullptr, {});
                t.NextRoute = nullptr;
                held = true;
                break;
            }
            if (r->RouteSet && !r->ExemptFromClearing && !r->Entrance->ProceedAllowed) {
                SetStatus(t, StWaitingProve, nullptr, {});
                held = true;
                break;
            }
        } else if (TBER* b = AsBerth(o)) {
            if (b->HasDescription() && b->Description != t.Description) {
                SetStatus(t, StTrainInFront, FindByBerth(b), b->Description);
                held = true;
                break;
            }
        }
    }
    if (JoiningCheck(t)) return;
    if (held) return;
    const int last = t.PathEntries.Count() - 1;
    if (t.SecuredTo == -1) {
        SetStatus(t, StSetOffPath, nullptr, {});
        return;
    }
    if (t.SecuredTo >= last) {
        SetStatus(t, StEndOfPath, nullptr, {});
        return;
    }
    {
        const TROU* second = nullptr;
        int routes = 0, counted = 0;
        for (TSSIObject* o : t.SecuredAhead) {
            if (TROU* r = AsRoute(o)) {
                ++routes;
                if (routes == 2) second = r;
                if (!r->ExemptFromClearing || r->Entrance->Aspect != AspDanger) ++counted;
            }
        }
        if (second) {
            const std::int32_t l = second->Entrance->LookAheadCount();
            if (l == 1 || counted >= l) {
                SetStatus(t, StEnoughRouteSet, nullptr, {});
                return;
            }
        }
    }
    // Candidate filters.
    if (t.NextRoute && !t.NextRoute->IsAvailableARS() && t.NextRoute->Alternative &&
        t.NextRoute->Alternative->IsAvailableARS())
        t.NextRoute = t.NextRoute->Alternative;
    if (t.NextRoute) JoinAhead(t);
    if (t.NextRoute && JoiningCheck(t)) return;
    if (t.NextRoute) BookedTimeHold(t);
    if (t.NextRoute && !t.NextRoute->Entrance->TRTSSatisfied() && t.PathPosition >= 0) {
        const TPathEntry& here = t.PathEntries.Items[t.PathPosition];
        // A train that stops here waits for the platform staff; one that came in from an
        // entry point and passes has its first trip here too, but no one will press the
        // plunger for it.
        const bool starting = t.Timetable && (!t.Timetable->EntryPoint ||
                                              t.Timetable->Trips.Count() == 0 ||
                                              !t.Timetable->Trips.Items[0].IsPass);
        if (starting && !here.Locations.empty() && here.Locations.front() == 0) {
            SetStatus(t, StWaitingTRTS, nullptr, {});
            t.NextRoute = nullptr;
            t.CyclesSinceStep = 0;
        }
    }
    if (t.NextRoute) {
        try {
            Priority(t);
        } catch (const std::exception&) {
            ++sim_.ErrorsCaught;
        }
    }
    if (t.NextRoute && !t.NextRoute->IsAvailableARS() && t.Berth &&
        t.Berth->ARSRoutes.IndexOf(t.NextRoute) >= 0) {
        TROU* chosen = t.NextRoute;
        const TROUList& alternatives = chosen->Entrance->Routes;
        for (int i = 0; i < alternatives.Count(); ++i) {
            TROU* r = alternatives.At(i);
            if (!r || r == chosen || r->Class != chosen->Class || r->Exit != chosen->Exit) continue;
            if (!r->IsAvailableARS()) continue;
            t.NextRoute = r;
            Priority(t);
            if (t.NextRoute) break;
            t.NextRoute = chosen;
        }
    }
    if (t.NextRoute && sim_.Hooks.ARSRouteChoiceHook) sim_.Hooks.ARSRouteChoiceHook(t.NextRoute, t);
    TROU* r = t.NextRoute;
    if (!r) return;
    if (r->RouteSet) {
        SetStatus(t, StWaitingProve, nullptr, {});
    } else if (r->ARSAllowed) {
        if (!r->SubAreasInEffect()) {
            SetStatus(t, StManualSubArea, nullptr, {});
        } else if (r->IsAvailableARS()) {
            bool queued = false;
            for (TROU* q : RouteRequests) queued = queued || q == r;
            if (!queued) RouteRequests.push_back(r);
        } else {
            SetStatus(t, StWaitingAvailable, nullptr, {});
        }
    } else {
        SetStatus(t, StManualRoute, nullptr, {});
    }
}

bool TARSTrainList::CannotReachSoon(const TARSTrain& t, const TROU& conflict) const {
    // A train held short of the conflicting route (behind a train in front, at a signal
    // that will not clear, for its booked time, a join or another train) is not waited
    // for unless that route is the very next one it wants and no train stands on it: a
    // route held only by other routes' locks and overlaps, or by a train running over
    // it, will come free; one with a train standing on it (this train, standing in the
    // way, among them) may not, nor one whose circuit shows occupied with no train on
    // it. Holding a train for one that cannot reach the junction only lengthens the
    // queue, and where that train's way is blocked by this one or by trains behind it,
    // stops it for good.
    switch (t.Status) {
        case StTrainInFront:
        case StWaitingJoining:
        case StWaitingJoining13:
        case StWaitingProve:
        case StApproachingRedAuto:
        case StWaitingAvailable:
        case StWaitingBooked:
        case StWaitingTRTS:
        case StGivingPriority:
        case StLocationDelay:
        case StAlreadyOnStretch: {
            if (t.NextRoute != &conflict) return true;
            if (conflict.RouteSet) return false;
            for (int k = 0; k < conflict.AllSubroutes.Count(); ++k) {
                const TULC* c = conflict.AllSubroutes.At(k);
                if (c && c->TrackCircuit && c->TrackCircuit->IsOccupied() &&
                    !OnlyRunningTrainsOn(*c->TrackCircuit))
                    return true;
            }
            return false;
        }
        default:
            return false;
    }
}

bool TARSTrainList::OnlyRunningTrainsOn(const TTCS& circuit) const {
    bool running = false, standing = false;
    sim_.Trains.ForEach([&](const TTRN& train) {
        bool on = false;
        for (const TULC* u : train.Occupied) on = on || (u && u->TrackCircuit == &circuit);
        if (!on) return;
        if (train.Speed > kRunningSpeed) {
            running = true;
        } else {
            standing = true;
        }
    });
    return running && !standing;
}

bool TARSTrainList::WaitingChainCircular(const TARSTrain& s) const {
    const TARSTrain* t = &s;
    for (int steps = 0; steps <= Count(); ++steps) {
        if (t->Status != StTrainInFront && t->Status != StGivingPriority) return false;
        t = t->StatusTrain;
        if (!t) return false;
        if (t == &s) return true;
    }
    return true;  // longer than the list: some train repeats
}

void TARSTrainList::Priority(TARSTrain& s) {
    TROU* const first = s.NextRoute;
    for (int i = 0; i < Count() && s.NextRoute; ++i) {
        TARSTrain* other = At(i);
        if (!other || other == &s || !other->IsARS || !other->OnPlannedPath) continue;
        TARSTrain& t = *other;
        TROU* r = s.NextRoute;
        std::int32_t dt = 0;
        const TROU* rt = nullptr;
        const int from = t.SecuredTo < 0 ? 0 : t.SecuredTo;
        if (pathRoutesValid_ && static_cast<std::size_t>(i) < pathRoutes_.size() &&
            pathRoutes_[static_cast<std::size_t>(i)].Train == &t) {
            const PathRoutes& path = pathRoutes_[static_cast<std::size_t>(i)];
            if (path.ConflictsComplete && r->ARSIndex >= 0) {
                const auto word = static_cast<std::size_t>(r->ARSIndex / 64);
                const bool met = word < path.Conflicts.size() &&
                                 ((path.Conflicts[word] >> (r->ARSIndex % 64)) & 1) != 0;
                if (!met) continue;  // no route of the path conflicts with r
            }
            // The same walk over the routes alone: the due time is that of the last
            // timed berth passed on the way, if the walk passed it.
            for (const RouteAhead& a : path.Routes) {
                if (a.Index < from || !ConflictsWith(*a.Route, *r)) continue;
                rt = a.Route;
                dt = a.LastDueIndex >= from ? a.LastDue : 0;
                break;
            }
        } else {
            const auto& items = t.PathEntries.Items;
            for (int k = from; k < static_cast<int>(items.size()); ++k) {
                if (AsBerth(items[k].Item)) {
                    if (items[k].DueTime != 0) dt = items[k].DueTime;
                } else if (TROU* tr = AsRoute(items[k].Item)) {
                    if (ConflictsWith(*tr, *r)) {
                        rt = tr;
                        break;
                    }
                }
            }
        }
        if (!rt || dt == 0) continue;
        if (CannotReachSoon(t, *rt)) continue;
        if (r->Alternative && !ConflictsWith(*rt, *r->Alternative)) {
            s.NextRoute = r->Alternative;
            continue;
        }
        const std::int32_t ds = (s.PathPosition >= 0 && s.PathPosition < s.PathEntries.Count())
                                    ? s.PathEntries.Items[s.PathPosition].DueTime
                                    : 0;
        const std::int32_t ls = std::max(1, 30 * s.Lateness);
        const std::int32_t lt = std::max(1, 30 * t.Lateness);
        auto weight = [&](const TARSTrain& x) {
            return PriorityWeight(ClassWeight(x.Description), x.Lateness, x.CyclesSinceStep);
        };
        bool otherFirst = false;
        if (s.Lateness >= -3 && s.Lateness <= 3 && t.Lateness >= -3 && t.Lateness <= 3) {
            otherFirst = dt < ds;
        } else {
            const std::int32_t es = ds + ls, et = dt + lt;
            if (es - et > 120) {
                otherFirst = true;
            } else if (et - es > 120) {
                otherFirst = false;
            } else {
                otherFirst = !(weight(s) > weight(t));
            }
        }
        if (otherFirst) {
            SetStatus(s, StGivingPriority, &t, t.Description);
            if (WaitingChainCircular(s)) {
                // Two trains each waiting for the other: this one goes.
                SetStatus(s, StWaitingAvailable, nullptr, {});
            } else {
                s.NextRoute = nullptr;
            }
        }
        if (s.Status == StGivingPriority && t.Berth && first->Berths.IndexOf(t.Berth) >= 0) {
            SetStatus(s, StAlreadyOnStretch, &t, t.Description);
            s.NextRoute = nullptr;
        }
        if (s.Status == StGivingPriority && s.Berth &&
            t.PathEntries.FindBerthRoute(s.Berth, t.PathPosition) >= 0) {
            s.NextRoute = first;
            SetStatus(s, StWaitingAvailable, nullptr, {});
        }
    }
}

void TARSTrainList::UpdateDelay(TARSTrain& t) {
    if (!t.IsARS || t.PathPosition < 0 || t.PathPosition >= t.PathEntries.Count()) {
        t.Lateness = 0;
        if (t.Berth) t.Berth->SetNoARSPath();
        return;
    }
    t.Lateness = LatenessAt(t.PathEntries, t.PathPosition, sim_.SimTime, t.Lateness);
    if (!t.Berth) return;
    if (t.Lateness < -2) {
        t.Berth->SetEarly();
    } else if (t.Lateness <= 2) {
        t.Berth->SetOnTime();
    } else if (t.Lateness <= 9) {
        t.Berth->SetLate();
    } else {
        t.Berth->SetVeryLate();
    }
}

// ------------------------------------------------------------------ menu commands

void TARSTrainList::MakeARS(TBER& berth, const std::string& description) {
    TARSTrain* t = FindForCommand(&berth, description);
    if (!t || !t->Berth) return;
    TBER& b = *t->Berth;
    const std::string d = t->Description;
    FreeTrain(t);
    TARSTrain* made = CreateTrain(b, d, Trimmed(d));
    sim_.PostEventMessage(d + (made && made->IsARS ? " made ARS" : " cannot be made ARS"),
                          EvARSMessage);
}

void TARSTrainList::MakeNonARS(TBER& berth, const std::string& description) {
    TARSTrain* t = FindForCommand(&berth, description);
    if (!t) return;
    WithdrawRequest(*t);
    t->ARSEnabled = false;
    t->IsARS = false;
    MakeNonARSColour(*t);
    SetStatus(*t, StNonARS, nullptr, {});
    sim_.PostEventMessage(t->Description + " made non-ARS", EvARSMessage);
}

void TARSTrainList::QueryIsARS(TBER& berth, const std::string& description) {
    TARSTrain* t = FindForCommand(&berth, description);
    if (!t) return;
    sim_.PostEventMessage(t->Description + (t->IsARS ? " is ARS" : " is non-ARS"), EvARSMessage);
}

void TARSTrainList::QueryStatus(TBER& berth, const std::string& description) {
    TARSTrain* t = FindForCommand(&berth, description);
    if (!t) return;
    sim_.PostEventMessage(t->Description + " " + StatusTextOf(*t), EvARSMessage);
}

void TARSTrainList::ShowTimetableSummary(TBER& berth, const std::string& description) {
    TARSTrain* t = FindForCommand(&berth, description);
    if (!t) return;
    sim_.PostEventMessage(t->Description + "   Location Arr  Dep/Pass Pth Plt Lin Activites     ",
                          EvARSMessage);
    if (!t->Timetable) return;
    const auto& trips = t->Timetable->Trips.Items;
    int from = static_cast<int>(trips.size()) - 3;
    if (t->OnPlannedPath && t->PathPosition >= 0) {
        for (int i = t->PathPosition; i < t->PathEntries.Count(); ++i) {
            if (!t->PathEntries.Items[i].Locations.empty()) {
                from = t->PathEntries.Items[i].Locations.front();
                break;
            }
        }
    }
    if (from < 0) from = 0;
    int shown = 0;
    for (int i = from; i < static_cast<int>(trips.size()) && shown < 3; ++i) {
        const TTimetableTrip& trip = trips[i];
        if (t->OnPlannedPath && trip.AutoInserted) continue;
        std::string dep = FormatHalfMinute(trip.DepTime);
        if (trip.IsPass && dep.size() > 2) dep[2] = '/';
        std::string acts[2];
        for (std::size_t k = 0; k < 2 && k < trip.Activities.Items.size(); ++k) {
            TTimetableActivityList one;
            one.Items.push_back(trip.Activities.Items[k]);
            acts[k] = one.FormatText();
        }
        char line[160];
        std::snprintf(line, sizeof line, "%18.18s %6.6s %6.6s %3.3s %3.3s %3.3s %7.7s %7.7s",
                      trip.Location ? trip.Location->Name.c_str() : "",
                      trip.ArrTime ? FormatHalfMinute(trip.ArrTime).c_str() : "", dep.c_str(),
                      trip.Path.c_str(), trip.Platform.c_str(), trip.Line.c_str(), acts[0].c_str(),
                      acts[1].c_str());
        sim_.PostEventMessage(line, EvARSMessage);
        ++shown;
    }
}

void TARSTrainList::HandleClientMessage(std::string_view message) {
    if (sim_.ClientMode || message.size() != 10) return;
    const int index = ParseHex4(message.substr(2, 4));
    if (index < 0 || index >= sim_.Berths.Count()) return;
    TBER* b = sim_.Berths.At(index);
    if (!b) return;
    const std::string description(message.substr(6, 4));
    const std::string_view code = message.substr(0, 2);
    if (code == "AA") {
        MakeARS(*b, description);
    } else if (code == "AB") {
        MakeNonARS(*b, description);
    } else if (code == "AC") {
        QueryIsARS(*b, description);
    } else if (code == "AE") {
        QueryStatus(*b, description);
    } else if (code == "AF") {
        ShowTimetableSummary(*b, description);
    }
}

// ------------------------------------------------------------------ saved state

bool TARSTrainList::Save(ValueWriter& writer) {
    writer.WriteInteger(Count());
    for (int i = 0; i < Count(); ++i) {
        TARSTrain* t = At(i);
        if (!t || !t->Save(writer)) return false;
    }
    return true;
}

bool TARSTrainList::LoadTrains(ValueReader& r) {
    struct Staged {
        std::unique_ptr<TARSTrain> train;
        int statusIndex = -1;
        int nextRoute = -1;
    };
    std::vector<Staged> staged;
    try {
        const std::int32_t count = r.ReadInteger();
        // Bounded by what is left before anything is made.
        if (count < 0 || static_cast<std::size_t>(count) > r.Remaining() / kMinTrainBytes)
            return false;
        for (std::int32_t i = 0; i < count; ++i) {
            Staged s;
            s.train = std::make_unique<TARSTrain>(sim_);
            TARSTrain& t = *s.train;
            t.Description = r.ReadString();
            t.ID = t.Description;
            const std::int32_t berth = r.ReadInteger();
            if (berth < 0 || berth >= sim_.Berths.Count() || !sim_.Berths.At(berth)) return false;
            t.Berth = sim_.Berths.At(berth);
            t.HasTimetable = r.ReadBoolean();
            if (r.ReadBoolean()) {
                std::string error;
                t.Timetable = ReadTimetableRecord(r, sim_, error);
                if (!t.Timetable) return false;
            }
            const int trips = t.Timetable ? t.Timetable->Trips.Count() : 0;
            t.PathValid = r.ReadBoolean();
            if (!t.PathEntries.LoadPE(sim_, r, trips)) return false;
            t.PathPosition = r.ReadInteger();
            if (t.PathPosition < -1 || t.PathPosition >= t.PathEntries.Count()) return false;
            if (!t.SpareEntries.LoadPE(sim_, r, trips)) return false;
            t.SpareValue = r.ReadInteger();
            const std::int32_t step = r.ReadInteger();
            if (step < 0 || step > 4) return false;
            t.StepKind = static_cast<std::uint8_t>(step);
            t.OnPlannedPath = r.ReadBoolean();
            t.RoutedOff = r.ReadBoolean();
            t.IsARS = r.ReadBoolean();
            t.ARSEnabled = r.ReadBoolean();
            const std::int32_t status = r.ReadInteger();
            if (status < 0 || status > StLocationDelay) return false;
            t.Status = static_cast<std::uint8_t>(status);
            const std::int32_t hasStatusTrain = r.ReadInteger();
            s.statusIndex = r.ReadInteger();
            if (hasStatusTrain == 0) s.statusIndex = -1;
            if (s.statusIndex < -1 || s.statusIndex >= count) return false;
            t.StatusText = r.ReadString();
            s.nextRoute = r.ReadInteger();
            if (s.nextRoute < -1 || s.nextRoute >= sim_.Routes.Count()) return false;
            t.NextRoute = s.nextRoute >= 0 ? sim_.Routes.At(s.nextRoute) : nullptr;
            t.Lateness = r.ReadInteger();
            t.CyclesSinceStep = r.ReadInteger();
            if (t.IsARS && !t.Timetable) return false;
            staged.push_back(std::move(s));
        }
    } catch (const std::exception&) {
        return false;
    }
    for (Staged& s : staged)
        if (s.statusIndex >= 0) s.train->StatusTrain = staged[s.statusIndex].train.get();
    ClearAll();
    for (Staged& s : staged) Adopt(std::move(s.train));
    return true;
}

}  // namespace kestra
