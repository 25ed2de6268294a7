#pragma once
// The contents of the ARS train information window for one ARS train: what a single
// player or a server shows itself, and what a server sends a client that asks.

#include "ars/ars_train.h"
#include "core/ports.h"

namespace kestra {

// At most this many timetable lines follow a train on its path.
inline constexpr int ARSInformationPathRows = 10;

// The caption, the three labels and the timetable lines of the train.
ARSInformation BuildARSInformation(const TARSTrain& train);

// The TD menu's "Popup ARS Information" on a server or a single player's copy: the
// window when the train has a timetable, otherwise the message saying it has none.
// Nothing for a berth without an ARS train.
void ShowARSInformation(Sim& sim, TBER& berth, const std::string& description);

}  // namespace kestra
