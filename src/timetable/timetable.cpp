#include "timetable/timetable.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/ascii_text.h"
#include "core/time_format.h"
#include "places/location.h"
#include "sim/sim.h"
#include "timetable/timetable_validate.h"

namespace kestra {

// --- categories

void TTrainCategory::CopyFields(const TTrainCategory& other) {
    Description = other.Description;
    AccelBrake = other.AccelBrake;
    IsFreight = other.IsFreight;
    MaxSpeed = other.MaxSpeed;
    Length = other.Length;
    PowerTypes = other.PowerTypes;
}

bool TTrainCategory::SameFields(const TTrainCategory& other) const {
    return Description == other.Description && AccelBrake == other.AccelBrake &&
           IsFreight == other.IsFreight && MaxSpeed == other.MaxSpeed && Length == other.Length &&
           PowerTypes == other.PowerTypes;
}

// --- activities and trips

TTimetableActivityList TTimetableActivityList::Duplicate() const {
    TTimetableActivityList copy;
    copy.Items.reserve(Items.size());
    for (const TTimetableActivity& a : Items) copy.Items.push_back({a.ActivityKind, a.Headcode});
    return copy;
}

std::string TTimetableActivityList::FormatText() const {
    std::string text;
    for (const TTimetableActivity& a : Items) {
        switch (a.ActivityKind) {
            case ActNextTrain:
                text += " N:";
                break;
            case ActDividesNewRear:
                text += "DR:";
                break;
            case ActDividesNewFront:
                text += "DF:";
                break;
            case ActJoins:
                text += " J:";
                break;
            default:
                break;
        }
        text += a.Headcode + " ";
    }
    return text;
}

TTimetableTripList TTimetableTripList::Duplicate() const {
    TTimetableTripList copy;
    copy.Items = Items;
    for (TTimetableTrip& t : copy.Items) t.Activities = t.Activities.Duplicate();
    return copy;
}

TTimetableTripList TTimetableTripList::DuplicateKeyLocations() const {
    TTimetableTripList copy;
    for (const TTimetableTrip& t : Items) {
        if (!IsKeyTrip(t)) continue;
        copy.Items.push_back(t);
        copy.Items.back().Activities = t.Activities.Duplicate();
    }
    return copy;
}

TTimetableTripList TTimetableTripList::DuplicateTimeDifference(std::int32_t minutes) const {
    TTimetableTripList copy = Duplicate();
    const std::int32_t shift = minutes * 60;
    for (TTimetableTrip& t : copy.Items) {
        t.DepTime += shift;
        if (t.ArrTime != 0) t.ArrTime += shift;
    }
    return copy;
}

bool IsKeyTrip(const TTimetableTrip& trip) {
    return trip.Location != nullptr && trip.Location->KeyLocation;
}

std::string NextTrainOf(const TTimetableTrip& trip) {
    std::string headcode;
    for (const TTimetableActivity& a : trip.Activities.Items) {
        if (a.ActivityKind == ActNextTrain) headcode = a.Headcode;
    }
    return headcode;
}

namespace {

// "--- " style allowance column: the half units, or "---" when none.
std::string AllowanceText(std::int32_t n) {
    return n == 0 ? "---" : FormatHalfUnits(n);
}

}  // namespace

std::string TripRow(const TTimetableTrip& trip) {
    std::string location = "(None)";
    if (trip.Location) {
        location = trip.AutoInserted ? trip.Location->Name : AsciiUpper(trip.Location->Name);
    }
    std::string dep = FormatHalfMinuteAll(trip.DepTime);
    if (trip.IsPass && dep.size() > 2) dep[2] = '/';
    char buf[160];
    std::snprintf(buf, sizeof buf, "%20.20s %6.6s %6.6s %3.3s %3.3s %3.3s %3.3s %3.3s %-24.24s",
                  location.c_str(), FormatHalfMinute(trip.ArrTime).c_str(), dep.c_str(),
                  trip.Path.c_str(), trip.Platform.c_str(), trip.Line.c_str(),
                  AllowanceText(trip.EngAllowance).c_str(),
                  AllowanceText(trip.PathAllowance).c_str(), trip.Activities.FormatText().c_str());
    return buf;
}

std::int32_t TripReferenceTime(const TTimetableTrip& trip) {
    if (trip.IsPass) return trip.DepTime;
    if (trip.ArrTime != 0) return trip.ArrTime;
    const std::int32_t dwell = trip.Location ? trip.Location->StandardDwell : 0;
    return trip.DepTime - dwell;
}

// --- one train's timetable

TTimetable::TTimetable(Sim& sim, std::string headcode)
    : TSSIObject(std::move(headcode)), sim_(&sim) {
    const TimetableDefaults& d = sim.Timetable.EditorDefaults;
    AccelBrake = d.AccelBrake;
    MaxSpeed = d.MaxSpeed;
    Length = d.Length;
    PowerTypes = d.PowerTypes;
}

void TTimetable::CopyFrom(const TTimetable& other, std::int32_t minutes) {
    ID = other.ID;
    AccelBrake = other.AccelBrake;
    AsRequired = other.AsRequired;
    AsRequiredPercent = other.AsRequiredPercent;
    Category = other.Category;
    Delay = other.Delay;
    DelayWarned = other.DelayWarned;
    EntryTime = other.EntryTime + (minutes > 0 ? minutes * 60 : 0);
    Description = other.Description;
    EntryPoint = other.EntryPoint;
    IsFreight = other.IsFreight;
    MaxSpeed = other.MaxSpeed;
    Paths.clear();
    Reserved = other.Reserved;
    Entered = other.Entered;
    STP = other.STP;
    Length = other.Length;
    Trips = minutes == 0 ? other.Trips.Duplicate() : other.Trips.DuplicateTimeDifference(minutes);
    PowerTypes = other.PowerTypes;
}

std::string TTimetable::ShortHeadcode() const {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%4.4s", ID.c_str());
    return buf;
}

std::int32_t TTimetable::FirstDepTime() const {
    return Trips.Empty() ? 0 : Trips.Items.front().DepTime;
}

std::int32_t TTimetable::ReferenceTime() const {
    if (Trips.Empty()) return EntryTime;
    return Trips.Items.front().ArrivalOrDeparture();
}

TTimetableTrip* TTimetable::NextKeyTrip(int index) {
    for (int i = index < 0 ? 0 : index; i < Trips.Count(); ++i) {
        if (IsKeyTrip(Trips.Items[i])) return &Trips.Items[i];
    }
    return nullptr;
}

bool TTimetable::IsFreightClass() const {
    if (ID.empty()) return false;
    switch (ID[0]) {
        case '0':
        case '3':
        case '4':
        case '6':
        case '7':
        case '8':
            return true;
        default:
            return false;
    }
}

namespace {

// One row of a delay table: draws up to Last (inclusive) give Random(Span) + Offset.
struct DelayBand {
    int LastEntering;
    int LastStarting;
    std::int32_t Span;
    std::int32_t Offset;
};

constexpr DelayBand kFreightDelays[] = {
    {24, 24, 150, -300}, {59, 59, 90, -180}, {74, 79, 30, -30},
    {87, 92, 90, 30},    {96, 97, 180, 120}, {99, 99, 300, 300},
};

constexpr DelayBand kPassengerDelays[] = {
    {49, 74, 60, -30},
    {74, 87, 90, 30},
    {92, 94, 180, 120},
    {99, 99, 300, 300},
};

template <std::size_t N>
std::int32_t DrawFromTable(Sim& sim, const DelayBand (&table)[N], bool entering) {
    const int e = sim.RandomInt(100);
    for (const DelayBand& band : table) {
        if (e <= (entering ? band.LastEntering : band.LastStarting))
            return sim.RandomInt(band.Span) + band.Offset;
    }
    return 0;
}

}  // namespace

void TTimetable::GenerateDelay(bool afterLoad) {
    if (Entered) return;
    Sim& sim = *sim_;
    const bool entering = EntryPoint != nullptr;
    bool drawn = false;
    if (entering && sim.SimTime > EntryTime && !afterLoad) {
        // Too late to enter: the train never appears.
        Entered = true;
    } else if (IsFreightClass()) {
        Delay = DrawFromTable(sim, kFreightDelays, entering);
        drawn = true;
    } else {
        // A draw below the probability gives a delay, so probability 0 never does and
        // probability 1 always does.
        const int e = sim.RandomInt(100);
        if (e < static_cast<int>(std::lround(sim.Options().DelayProbability * 100.0))) {
            Delay = DrawFromTable(sim, kPassengerDelays, entering);
            drawn = true;
        }
    }
    // Only a delay drawn now is scaled: a delay kept from before was scaled when it was
    // drawn, and scaling it again on every new draw would make it grow without end.
    if (drawn && Delay > 0) {
        Delay = static_cast<std::int32_t>(
            std::lround(Delay * static_cast<double>(sim.Options().DelayAmount)));
    }
    if (sim.Hooks.DelayHook) sim.Hooks.DelayHook(*this, Delay);
}

void TTimetable::PostLateEntryWarning() {
    Sim& sim = *sim_;
    DelayWarned = true;
    const std::string minutes = std::to_string((Delay + 30) / 60);
    sim.PostEventMessage("Train " + ShortHeadcode() + " will be about " + minutes +
                             " minutes late entering your area",
                         EvDelayedEntry);
    if (sim.TrainEntry) {
        sim.TrainEntry->LogIncident("Train " + ShortHeadcode() + " running " + minutes +
                                    " minutes late");
    }
}

void TTimetable::MajorCycle() {
    Sim& sim = *sim_;
    if (STP) return;
    // Without trains to let in there is nothing to do yet: the timetable waits.
    TrainEntryPort* trains = sim.TrainEntry;
    if (!Entered && EntryPoint && trains && sim.SimTime >= EntryTime + Delay) {
        if (trains->TrainsInArea() >= sim.SimData.MaxTrains) {
            sim.PostEventMessage("Train " + ShortHeadcode() + " has been cancelled", EvTelephone);
            Entered = true;
        } else {
            std::string message;
            if (EntryValidated || Validate(*this, message)) {
                EntryValidated = true;
                TENT* entry = EntryPoint;
                if (sim.Hooks.EntryHook) sim.Hooks.EntryHook(entry, *this);
                if (entry && trains->CanEnter(*entry)) {
                    Entered = true;
                    // A draw below the percentage runs the train, so 0 per cent never runs it.
                    const bool runs = !AsRequired || sim.RandomInt(100) < AsRequiredPercent;
                    if (runs) trains->Enter(*entry, *this);
                }
            }
        }
    }
    if (!Entered && EntryPoint && sim.SimTime == EntryTime - 60 && Delay >= 600 && !DelayWarned) {
        PostLateEntryWarning();
    }
}

// --- the working timetable

void TTimetableList::Reset() {
    FreeObjects();
    Name = "None";
    Description.clear();
    Modified = false;
    FinishTime = DefaultFinishTime;
    StartTime = DefaultStartTime;
}

void TTimetableList::GenerateDelays() {
    ForEach([](TTimetable& t) { t.GenerateDelay(); });
}

void TTimetableList::GenerateDelaysAfterLoad() {
    ForEach([](TTimetable& t) { t.GenerateDelay(true); });
}

TTimetable& TTimetableList::InsertOwned(int index, std::unique_ptr<TTimetable> timetable) {
    TTimetable& ref = Adopt(std::move(timetable));
    const int last = Count() - 1;
    if (index < 0 || index > last) index = last;
    if (index != last) {
        Delete(last);
        Insert(index, ref.ID, &ref);
    }
    return ref;
}

TTimetable* TTimetableList::FindByHeadcode(std::string_view headcode, std::int32_t time) const {
    TTimetable* best = nullptr;
    std::int64_t bestDistance = 86400;
    ForEach([&](TTimetable& t) {
        if (t.ID != headcode) return;
        const std::int64_t distance =
            std::llabs(static_cast<std::int64_t>(t.ReferenceTime()) - time);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = &t;
        }
    });
    return best;
}

}  // namespace kestra
