#include "area/area_graph_lines.h"

namespace kestra::area {

std::vector<GraphLineSpec> TimeDistanceLines() {
    // Places west to east; each direction names a place as its paths do.
    const std::vector<GraphPlaceSpec> main = {
        {"West boundary", "entry:WEST", "WESTL"},
        {"Ostwick", "OSTWK", "OSTWK"},
        {"Vellmoor Central", "VLMC", "VLMC"},
        {"Skelbrook Jn", "SKLBJ", "SKLBJ"},
        {"Harnforth", "HRNF", "HRNF"},
        {"East boundary", "HRNFE", "entry:EAST"},
    };
    const std::vector<GraphPlaceSpec> branch = {
        {"Vellmoor Central", "VLMC", "VLMC"},
        {"Skelbrook Jn", "SKLBJ", "SKLBJ"},
        {"Quillby", "QLBY", "QLBY"},
        {"Tarrow boundary", "TARW", "entry:TARROW"},
    };
    return {
        {"down-main", "Down main: West boundary to East boundary", main, true, false, -1},
        {"up-main", "Up main: East boundary to West boundary", main, false, true, -1},
        {"branch", "Tarrow branch: Vellmoor Central to Tarrow, both ways", branch, true, true, 1},
    };
}

}  // namespace kestra::area
