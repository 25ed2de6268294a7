#include <ostream>

#include "area/area_builder.h"
#include "interlocking/subroute.h"
#include "sim/sim.h"

namespace kestra::area {

// The count of every kind of object the area made. Berths and ARS sub-areas are counted
// from the area's tables until their classes exist.
void PrintAreaSummary(const Sim& sim, std::ostream& out) {
    out << "signals " << sim.Signals.Count() << "\n";
    out << "track_circuits " << sim.TrackCircuits.Count() << "\n";
    out << "points " << sim.Points.Count() << "\n";
    out << "routes " << sim.Routes.Count() << "\n";
    out << "subroutes " << sim.Subroutes.Count() << "\n";
    out << "overlaps " << sim.Overlaps.Count() << "\n";
    out << "entry_points " << sim.EntryPoints.Count() << "\n";
    out << "locations " << sim.Locations.Count() << "\n";
    int stopPoints = 0;
    sim.Subroutes.ForEach([&](const TULC& s) { stopPoints += s.StopPoints.Count(); });
    out << "stopping_points " << stopPoints << "\n";
    out << "paths " << sim.Paths.Count() << "\n";
    out << "code_rules " << sim.CodeRules.Count() << "\n";
    const AreaModel* model = sim.Area && sim.Area->Model ? sim.Area->Model.get() : nullptr;
    out << "berths " << (model ? model->Berths.size() : 0) << "\n";
    out << "ars_subareas " << (model ? model->SubAreas.size() : 0) << "\n";
}

}  // namespace kestra::area
