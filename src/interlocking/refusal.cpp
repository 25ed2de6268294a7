#include "interlocking/refusal.h"

#include "sim/sim.h"

namespace kestra {

void SetFailReason(Sim& sim, std::string_view text, std::string_view suffix) {
    if (sim.QuietChecks > 0) return;
    sim.LastFailReason.assign(text);
    sim.LastFailReason.append(suffix);
}

QuietCheck::QuietCheck(Sim& sim) : sim_(sim) {
    ++sim_.QuietChecks;
}

QuietCheck::~QuietCheck() {
    --sim_.QuietChecks;
}

}  // namespace kestra
