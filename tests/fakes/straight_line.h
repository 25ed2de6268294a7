#pragma once
// A straight line worked by four signals, leaving the area at its far end, shared by the
// train tests:
//   U0 -S1- U1 U2 -S2- U3 U4 -S3- U5 (3000 m, leaves the area) -S4
// Routes S1-S2 (U1, U2) with S2's overlap on U3, S2-S3 (U3, U4), S3-S4 (U5; S4 stands
// beyond the edge, not at the end of U5). Every other subroute is 400 m and has a
// reverse twin D, so a train standing anywhere can reverse.

#include "fakes/interlocking_fixtures.h"

namespace kestra::test {

struct StraightLine {
    // Builds the line; the members point into the builder's simulation.
    void BuildStraightLine(RailwayBuilder& build);

    TTCS* C[6] = {};
    TULC* U[6] = {};
    TULC* D[6] = {};
    TSIG *S1 = nullptr, *S2 = nullptr, *S3 = nullptr, *S4 = nullptr;
    TOVL* S2Overlap = nullptr;
    TROU *S1S2 = nullptr, *S2S3 = nullptr, *S3S4 = nullptr;
};

}  // namespace kestra::test
