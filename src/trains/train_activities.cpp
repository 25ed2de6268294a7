#include "sim/sim.h"
#include "trains/train.h"

namespace kestra {

// A standing train with another close in front of it.
void TTRN::TrainInFrontStep() {
    Speed = 0;
    FindTrainInFront();
    if (!TrainInFront) SetState(TsMoving);
}

void TTRN::JoinStep() {
    Speed = 0;
}

void TTRN::WaitForJoin() {
    Speed = 0;
}

void TTRN::DivideStep() {
    Speed = 0;
}

// Placeholders for the activities' arrival steps (helper B replaces them).
bool TTRN::StartArrivalActivity() { return false; }

void TTRN::TakeNextService() {}

}  // namespace kestra
