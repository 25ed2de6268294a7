// The built-in area's description: its picture and tables live in vellmoor_layout.inc and
// vellmoor_routes_table.inc.

#include "area/area_description.h"
#include "area/area_model.h"

namespace kestra::area {

namespace {
#include "area/vellmoor_layout.inc"
#include "area/vellmoor_routes_table.inc"
}  // namespace

const AreaDescription& BuiltInDescription() {
    static const AreaDescription description{
        "VLM",
        "Vellmoor",
        "Vellmoor IECC",
        "VM",
        "T",
        kScreen1,
        kScreen2,
        kSignals,
        kPoints,
        kZones,
        kGradients,
        kLocations,
        kEntries,
        kSubAreas,
        kPaths,
        kScenarios,
        "GRYTUN",
        kLevelCrossings,
    };
    return description;
}

}  // namespace kestra::area
