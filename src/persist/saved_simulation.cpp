#include "persist/saved_simulation.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "ars/ars_train.h"
#include "interlocking/speed_restriction.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"

namespace kestra {

namespace {

// The area's rates above this are no rates a train could run with: a file that holds
// one is damaged.
constexpr double kHighestRate = 10.0;

// Raised inside the readers for a record that reads but cannot be used.
struct Refused {
    std::string Reason;
};

// The lists whose objects the area builds once, in the order their records stand in
// the file: berths, entry points, locations, overlaps, panel labels, paths, points,
// routes, signals, track circuits, subroutes. Timing insertions and code rules keep no
// saved state and have no place here.
std::array<TSSIList*, 11> ObjectSectionsInFileOrder(Sim& sim) {
    return {&sim.Berths,  &sim.EntryPoints,   &sim.Locations, &sim.Overlaps,
            &sim.Labels,  &sim.Paths,         &sim.Points,    &sim.Routes,
            &sim.Signals, &sim.TrackCircuits, &sim.Subroutes};
}

// --- sections whose subsystems plug in later. Each writes and reads its final record
// shape, so that files keep their shape when the subsystem arrives.

// ARS trains: the count, then each record (the ARS train list's own section), read once
// the berths, routes, timetable and trains it points into are in place.
void SaveARSTrainsSection(Sim& sim, ValueWriter& w) {
    if (!sim.ARSTrains().Save(w)) throw WriteError("the ARS train section could not be written");
}
bool LoadARSTrainsSection(Sim& sim, ValueReader& r) {
    return sim.ARSTrains().LoadTrains(r);
}

// Flags and level crossings: each object's record in list order, no count (the area
// makes the same objects every time).
void SaveFlagsSection(Sim& sim, ValueWriter& w) {
    if (!sim.Flags.Save(w)) throw WriteError("the flag section could not be written");
}
bool LoadFlagsSection(Sim& sim, ValueReader& r) {
    return sim.Flags.Load(r);
}
void SaveLevelCrossingsSection(Sim& sim, ValueWriter& w) {
    if (!sim.LevelCrossings.Save(w))
        throw WriteError("the level crossing section could not be written");
}
bool LoadLevelCrossingsSection(Sim& sim, ValueReader& r) {
    return sim.LevelCrossings.Load(r);
}

// Failures: the three chances, the most at once, then the count of current failures
// and each failure's kind, position, repair and age (the failure list's own record).
void SaveFailuresSection(Sim& sim, ValueWriter& w) {
    if (!sim.Failures.SaveFailures(w)) throw WriteError("the failure section could not be written");
}
bool LoadFailuresSection(Sim& sim, ValueReader& r) {
    return sim.Failures.LoadFailures(r);
}

// The assessor's injections that the object records do not hold, after the incident
// log: the track circuits holding occupants the assessor added (count, then each
// circuit's position and how many of its occupants are the assessor's), then the
// identities of the temporary speed restrictions (count, then each identity, in the
// order their records stand: the circuits' restrictions, then the subroutes').
// Without the first, an occupation the assessor placed could never be taken away after
// a load; the restrictions' own records carry no identity.
void ForEachRestriction(Sim& sim, const std::function<void(TTSR&)>& each) {
    sim.TrackCircuits.ForEach([&](TTCS& c) { c.TSRs.ForEach(each); });
    sim.Subroutes.ForEach([&](TULC& u) { u.TSRs.ForEach(each); });
}

void SaveAssessorSection(Sim& sim, ValueWriter& w) {
    std::int32_t circuits = 0;
    sim.TrackCircuits.ForEach([&](TTCS& c) { circuits += c.AssessorOccupants > 0 ? 1 : 0; });
    w.WriteInteger(circuits);
    for (int i = 0; i < sim.TrackCircuits.Count(); ++i) {
        const TTCS* c = sim.TrackCircuits.At(i);
        if (!c || c->AssessorOccupants <= 0) continue;
        w.WriteInteger(i);
        w.WriteInteger(c->AssessorOccupants);
    }
    std::int32_t restrictions = 0;
    ForEachRestriction(sim, [&](TTSR&) { ++restrictions; });
    w.WriteInteger(restrictions);
    ForEachRestriction(sim, [&](TTSR& t) { w.WriteString(t.ID); });
}

// Read once the circuits' records (with their whole occupation) and the restrictions are
// in place: each count is bounded by the bytes left, a position must name a circuit not
// named before, and the assessor's occupants cannot outnumber the circuit's occupants.
bool LoadAssessorSection(Sim& sim, ValueReader& r) {
    // Two integers of at least two bytes each per circuit.
    const std::int32_t circuits = r.ReadInteger();
    if (circuits < 0 || circuits > sim.TrackCircuits.Count() ||
        static_cast<std::size_t>(circuits) > r.Remaining() / 4)
        return false;
    std::vector<std::pair<TTCS*, std::int32_t>> occupants;
    occupants.reserve(static_cast<std::size_t>(circuits));
    for (std::int32_t i = 0; i < circuits; ++i) {
        const std::int32_t index = r.ReadInteger();
        const std::int32_t count = r.ReadInteger();
        TTCS* c =
            index >= 0 && index < sim.TrackCircuits.Count() ? sim.TrackCircuits.At(index) : nullptr;
        if (!c || count < 1 || count > c->OccupyCount) return false;
        for (const auto& [seen, n] : occupants)
            if (seen == c) return false;
        occupants.emplace_back(c, count);
    }
    // At least the two bytes of an empty string each.
    const std::int32_t restrictions = r.ReadInteger();
    std::int32_t placed = 0;
    ForEachRestriction(sim, [&](TTSR&) { ++placed; });
    if (restrictions != placed || static_cast<std::size_t>(restrictions) > r.Remaining() / 2)
        return false;
    std::vector<std::string> identities;
    identities.reserve(static_cast<std::size_t>(restrictions));
    for (std::int32_t i = 0; i < restrictions; ++i) identities.push_back(r.ReadString());
    for (const auto& [c, n] : occupants) c->AssessorOccupants = n;
    std::size_t next = 0;
    ForEachRestriction(sim, [&](TTSR& t) { t.ID = identities[next++]; });
    return true;
}

// --- the timetable: its header (name, description, start and finish), then the train
// timetables with their entered state and category names.

void SaveTimetableSection(Sim& sim, ValueWriter& w) {
    w.WriteString(sim.Timetable.Name);
    w.WriteString(sim.Timetable.Description);
    w.WriteInteger(sim.Timetable.StartTime);
    w.WriteInteger(sim.Timetable.FinishTime);
    WriteTimetableSection(w, sim.Timetable);
}

// Reads the category and timetable sections into load (nothing applied yet).
bool ReadTimetableSections(Sim& sim, ValueReader& r, TimetableLoad& load) {
    if (!ReadCategorySection(r, sim, load)) return false;
    load.Name = r.ReadString();
    load.Description = r.ReadString();
    load.StartTime = r.ReadInteger();
    load.FinishTime = r.ReadInteger();
    if (load.StartTime < 0 || load.FinishTime < 0) {
        load.Error = "the timetable's start or finish is negative";
        return false;
    }
    load.HasHeader = true;
    return ReadTimetableSection(r, sim, true, true, load);
}

void WriteHeader(Sim& sim, ValueWriter& w) {
    w.WriteString(SavedSimulationMagic);
    w.WriteInteger(SavedSimulationVersion);
    w.WriteString(sim.SimData.AreaID);
    w.WriteString(AreaFingerprint(sim));
    w.WriteInteger(sim.SimTime);
    if (!sim.Performance.Save(w)) throw WriteError("the performance record failed");
    for (std::size_t i = 0; i < sim.SimData.AccelerationByPower.size(); ++i) {
        w.WriteFloat(sim.SimData.AccelerationByPower[i]);
        w.WriteFloat(sim.SimData.BrakingByPower[i]);
    }
}

// A rate read from a file: a positive finite number a train can brake or accelerate by.
float ReadRate(ValueReader& r) {
    const double v = r.ReadFloat();
    if (!std::isfinite(v) || v <= 0.0 || v > kHighestRate)
        throw Refused{"an acceleration or braking rate out of range"};
    return static_cast<float>(v);
}

// Everything after the header checks. Throws ReadError or Refused on a bad file.
void ReadBody(Sim& sim, ValueReader& r) {
    const std::int32_t time = r.ReadInteger();
    if (time < 0) throw Refused{"a negative clock"};
    TPerformance performance;
    if (!performance.Load(r)) throw Refused{"the performance record is damaged"};
    TSimData rates = sim.SimData;
    for (std::size_t i = 0; i < rates.AccelerationByPower.size(); ++i) {
        rates.AccelerationByPower[i] = ReadRate(r);
        rates.BrakingByPower[i] = ReadRate(r);
    }
    sim.SimTime = time;
    sim.Performance = performance;
    sim.SimData.AccelerationByPower = rates.AccelerationByPower;
    sim.SimData.BrakingByPower = rates.BrakingByPower;

    // Section 7, the ARS sub-areas, and sections 8 to 20, the area's objects: every
    // record read and checked before any is applied.
    const bool objects = LoadAllOrNothing([&](LoadCommits& commits) {
        if (!sim.ARSSubAreas.StageLoad(r, commits)) return false;
        for (TSSIList* list : ObjectSectionsInFileOrder(sim)) {
            if (!list->StageLoad(r, commits)) return false;
        }
        return true;
    });
    if (!objects) throw Refused{"an object record is damaged"};

    // Sections 21 and 22: the categories and the timetable.
    TimetableLoad load;
    if (!ReadTimetableSections(sim, r, load)) {
        sim.Messages().PostErrorLine("Error reading from file");
        throw Refused{"the timetable is damaged: " + load.Error};
    }
    CommitTimetableLoad(sim, load);

    // Section 23: the trains.
    if (!sim.Trains.Load(r)) throw Refused{"a train record is damaged"};
    // Section 24: the ARS trains.
    if (!LoadARSTrainsSection(sim, r)) throw Refused{"the ARS train section is damaged"};
    // Section 25: the area's own state.
    if (sim.Hooks.LoadHook && !sim.Hooks.LoadHook(r)) throw Refused{"the area's state is damaged"};
    sim.Timetable.Modified = false;
    // Sections 26 to 29.
    if (!LoadFlagsSection(sim, r)) throw Refused{"the flags are damaged"};
    if (!LoadFailuresSection(sim, r)) throw Refused{"the failure section is damaged"};
    if (!LoadLevelCrossingsSection(sim, r)) throw Refused{"the level crossings are damaged"};
    if (!sim.Incidents.LoadIncidents(r)) throw Refused{"the incident log is damaged"};
    if (!LoadAssessorSection(sim, r)) throw Refused{"the assessor's section is damaged"};
    if (!r.AtEnd()) throw Refused{"data after the last section"};
}

// Fails a load: the box (if any) is shown, the simulation reset.
int FailLoad(Sim& sim, SimulationLoadError* error, const std::string& box,
             const std::string& reason) {
    if (!box.empty()) sim.Dialog().ShowError(box);
    sim.ResetSimulation();
    if (error) {
        error->Box = box;
        error->Reason = reason.empty() ? box : reason;
    }
    return 1;
}

}  // namespace

std::string AreaFingerprint(Sim& sim) {
    struct Named {
        const char* Code;
        const TSSIList* List;
    };
    const Named lists[] = {
        {"TC", &sim.TrackCircuits}, {"PT", &sim.Points},      {"SR", &sim.Subroutes},
        {"OV", &sim.Overlaps},      {"RT", &sim.Routes},      {"SG", &sim.Signals},
        {"BR", &sim.Berths},        {"EN", &sim.EntryPoints}, {"LC", &sim.Locations},
        {"PA", &sim.Paths},         {"PL", &sim.Labels},
        {"FL", &sim.Flags},         {"LX", &sim.LevelCrossings},
    };
    std::uint64_t h = 0xcbf29ce484222325ull;
    auto mix = [&](std::uint8_t b) {
        h ^= b;
        h *= 0x100000001b3ull;
    };
    std::string text;
    for (const Named& n : lists) {
        const int count = n.List->Count();
        text += n.Code + std::to_string(count) + ' ';
        for (int i = 0; i < count; ++i) {
            const TSSIObject* o = n.List->GetItem(i);
            if (o) {
                for (char c : o->ID) mix(static_cast<std::uint8_t>(c));
            }
            mix(0);
        }
        mix(0xff);
    }
    char hash[20];
    std::snprintf(hash, sizeof hash, "#%016llx", static_cast<unsigned long long>(h));
    return text + hash;
}

bool WriteSavedSimulation(Sim& sim, ValueWriter& w) {
    try {
        WriteHeader(sim, w);
        if (!sim.ARSSubAreas.Save(w)) return false;
        for (TSSIList* list : ObjectSectionsInFileOrder(sim)) {
            if (!list->Save(w)) return false;
        }
        WriteCategorySection(w, sim.Categories);
        SaveTimetableSection(sim, w);
        if (!sim.Trains.Save(w)) return false;
        SaveARSTrainsSection(sim, w);
        if (sim.Hooks.SaveHook && !sim.Hooks.SaveHook(w)) return false;
        SaveFlagsSection(sim, w);
        SaveFailuresSection(sim, w);
        SaveLevelCrossingsSection(sim, w);
        if (!sim.Incidents.SaveIncidents(w)) return false;
        SaveAssessorSection(sim, w);
        return true;
    } catch (const WriteError&) {
        return false;
    }
}

int SaveSimulation(Sim& sim, const std::string& path) {
    ValueWriter w;
    if (!WriteSavedSimulation(sim, w)) return 1;
    return WriteFileReplacing(path, w.Bytes()) ? 0 : 1;
}

int LoadSimulationBytes(Sim& sim, const std::vector<std::uint8_t>& bytes,
                        SimulationLoadError* error) {
    sim.ResetSimulation();
    // What a load sets that a reset leaves alone: put back when the load fails.
    const auto accelerations = sim.SimData.AccelerationByPower;
    const auto brakings = sim.SimData.BrakingByPower;
    const Options settings = sim.Options();
    const auto Fail = [&](Sim& s, SimulationLoadError* e, const std::string& box,
                          const std::string& reason) {
        s.SimData.AccelerationByPower = accelerations;
        s.SimData.BrakingByPower = brakings;
        s.Options().PointsFailureChance = settings.PointsFailureChance;
        s.Options().SignalFailureChance = settings.SignalFailureChance;
        s.Options().TrackFailureChance = settings.TrackFailureChance;
        s.Options().MaxFailures = settings.MaxFailures;
        return FailLoad(s, e, box, reason);
    };
    ValueReader r(bytes);
    std::string magic, area;
    std::int32_t version = -1;
    bool shortHeader = false;
    // The magic, the version and the area are all read before any is checked.
    try {
        magic = r.ReadString();
        version = r.ReadInteger();
        area = r.ReadString();
    } catch (const ReadError&) {
        shortHeader = true;
    }
    if (magic != SavedSimulationMagic) return Fail(sim, error, "Not a Kestra file", "");
    if (shortHeader) return Fail(sim, error, "", "the file ends inside its header");
    if (version != SavedSimulationVersion) {
        return Fail(sim, error,
                    "The simulator (version " + std::to_string(SavedSimulationVersion) +
                        ") cannot read this version of data (version " + std::to_string(version) +
                        ")",
                    "");
    }
    if (area != sim.SimData.AreaID)
        return Fail(sim, error, "This saved simulation is not for " + sim.SimData.AreaTitle, "");
    try {
        const std::string fingerprint = r.ReadString();
        if (fingerprint != AreaFingerprint(sim)) {
            return Fail(sim, error,
                        "This saved simulation was made with another layout of " +
                            sim.SimData.AreaTitle +
                            " (its signals, track or routes differ) and cannot be loaded",
                        "");
        }
        ReadBody(sim, r);
    } catch (const ReadError& e) {
        return Fail(sim, error, "", std::string("the file is cut short or damaged: ") + e.what());
    } catch (const Refused& refused) {
        return Fail(sim, error, "", refused.Reason);
    }
    // Every train still to enter draws a new entry delay.
    sim.Timetable.GenerateDelaysAfterLoad();
    return 0;
}

int LoadSimulation(Sim& sim, const std::string& path, SimulationLoadError* error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, bytes)) {
        sim.ResetSimulation();
        if (error) *error = {"", "cannot open " + path};
        return 1;
    }
    return LoadSimulationBytes(sim, bytes, error);
}

}  // namespace kestra
