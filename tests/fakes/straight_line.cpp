#include "fakes/straight_line.h"

#include <string>

#include "interlocking/signal.h"
#include "interlocking/subroute.h"

namespace kestra::test {

void StraightLine::BuildStraightLine(RailwayBuilder& build) {
    for (int i = 0; i < 6; ++i) C[i] = &build.Circuit("T" + std::to_string(i));
    S1 = &build.Signal("S1", C[0]);
    S2 = &build.Signal("S2", C[2]);
    S3 = &build.Signal("S3", C[4]);
    S4 = &build.Signal("S4", C[5]);
    TSIG* ends[6] = {S1, nullptr, S2, nullptr, S3, S4};
    for (int i = 0; i < 6; ++i) {
        U[i] = &build.Subroute(*C[i], "AB", ends[i], i == 5 ? 3000 : 400);
        D[i] = &build.Subroute(*C[i], "BA", nullptr, i == 5 ? 3000 : 400);
        SetOpposites(*U[i], *D[i]);
    }
    U[5]->LeavesArea = 1;
    build.Chain({U[0], U[1], U[2], U[3], U[4], U[5]});
    build.Chain({D[5], D[4], D[3], D[2], D[1], D[0]});
    S2Overlap = &build.Overlap(*S2, {U[3]});
    S1S2 = &build.Route(*S1, *S2, {U[1], U[2]});
    S2S3 = &build.Route(*S2, *S3, {U[3], U[4]});
    S3S4 = &build.Route(*S3, *S4, {U[5]});
    // The last route runs off the area: nothing stands at its far end.
    U[5]->EndSignal = nullptr;
}

}  // namespace kestra::test
