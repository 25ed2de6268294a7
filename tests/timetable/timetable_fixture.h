#pragma once
// A small railway for the timetable suites: three key locations A, B and C in a line
// with a non-key timing point T between B and C, an entry point W before A, and paths
// W->A, A->B (platform 1 or 2), B->C.

#include <memory>
#include <string>

#include "fakes/fakes.h"
#include "places/code_rules.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"
#include "timetable/timetable.h"

namespace kestra::testing_tt {

struct TimetableFixture {
    test::RecordingDialogs dialogs;
    std::unique_ptr<Sim> sim;
    TLOC* A = nullptr;
    TLOC* B = nullptr;
    TLOC* C = nullptr;
    TLOC* T = nullptr;
    TENT* W = nullptr;

    TimetableFixture() {
        Ports ports;
        ports.Dialog = &dialogs;
        sim = std::make_unique<Sim>(ports, 7);
        sim->SimData.AreaID = "TST";
        A = &Location("A", "Alpha", true);
        B = &Location("B", "Bravo", true);
        C = &Location("C", "Charlie", true);
        T = &Location("T", "Tango", false);
        W = &sim->EntryPoints.Create(*sim, "W");
        W->Name = "West";
        AddPath(W, nullptr, "", A, "", DirDown, DirDown);
        AddPath(nullptr, A, "", B, "1", DirDown, DirDown);
        AddPath(nullptr, A, "", B, "2", DirDown, DirDown);
        AddPath(nullptr, B, "", C, "", DirDown, DirUp);
    }

    TLOC& Location(const std::string& id, const std::string& name, bool key) {
        TLOC& l = sim->Locations.Create(id);
        l.Name = name;
        l.KeyLocation = key;
        l.StandardDwell = 35;
        return l;
    }

    TPTH& AddPath(TENT* entry, TLOC* from, const std::string& fromPlatform, TLOC* to,
                  const std::string& toPlatform, std::uint8_t start, std::uint8_t end) {
        TPTH& p = sim->Paths.Create();
        p.Entry = entry;
        p.FromLocation = from;
        p.FromPlatform = fromPlatform;
        p.ToLocation = to;
        p.ToPlatform = toPlatform;
        p.StartDirection = start;
        p.EndDirection = end;
        return p;
    }

    TTimetableTrip Trip(TLOC* at, std::int32_t arr, std::int32_t dep,
                        const std::string& platform = {}) {
        TTimetableTrip t;
        t.Location = at;
        t.ArrTime = arr;
        t.DepTime = dep;
        t.Platform = platform;
        return t;
    }

    // An entering train W -> A -> B(plat 1) -> C, appended to the working timetable.
    TTimetable& EnteringTrain(const std::string& headcode, std::int32_t entry = 36000) {
        TTimetable& t = sim->Timetable.Create(*sim, headcode);
        t.EntryPoint = W;
        t.EntryTime = entry;
        t.Trips.Items = {Trip(A, entry + 120, entry + 150), Trip(B, entry + 600, entry + 660, "1"),
                         Trip(C, entry + 1200, 0)};
        return t;
    }
};

}  // namespace kestra::testing_tt
