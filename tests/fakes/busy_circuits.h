#pragma once
// A railway of nothing but track circuits, each drawn as one four-character label, and
// trains passing over them one circuit a cycle: the set-up under which the allocation
// test and the major-cycle benchmark run the cycle in its steady state.

#include <string>

#include "sim/sim.h"

namespace kestra::test {

// Adds `count` circuits T0, T1, ... to the simulation, each with a label of its own.
inline void AddBusyCircuits(Sim& sim, int count) {
    for (int i = 0; i < count; ++i) {
        TTCS& c = sim.TrackCircuits.Create(sim, "T" + std::to_string(i));
        TPEL& l = sim.Labels.Create(sim);
        l.X = i % 256;
        l.Y = i % 40;
        l.Text = "aaaa";
        c.TrackElements.Add("", &l);
    }
}

// Occupies circuit `cycle % count` when it is clear and clears it when it is occupied,
// so that both the occupying and the clearing paths run as the cycles go by.
inline void PassOverCircuit(Sim& sim, int cycle, int count) {
    TTCS& c = *sim.TrackCircuits.At(cycle % count);
    if (c.OccupyCount == 0)
        c.Occupy();
    else
        c.Vacate();
}

}  // namespace kestra::test
