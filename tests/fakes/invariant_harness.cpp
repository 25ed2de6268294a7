#include "fakes/invariant_harness.h"

#include <utility>

#include "fakes/ars_invariants.h"
#include "fakes/call_invariants.h"
#include "fakes/interlocking_invariants.h"
#include "fakes/train_invariants.h"
#include "runner/headless.h"
#include "sim/sim.h"

namespace kestra::test {

InvariantHarness::InvariantHarness(InvariantChecks checks) : checks_(checks) {}

InvariantHarness::~InvariantHarness() = default;

void InvariantHarness::Attach(runner::HeadlessOptions& options) {
    if (checks_.Describer) options.Surface = &surface_;
    auto before = std::move(options.BeforeCycle);
    options.BeforeCycle = [this, before](Sim& sim, std::vector<runner::HeadlessCommand>& c) {
        if (!hooked_) Hook(sim);
        if (before) before(sim, c);
    };
    auto each = std::move(options.EachCycle);
    options.EachCycle = [this, each](Sim& sim) {
        // A run started without a cycle before (there is none) still gets its checkers.
        if (!hooked_) Hook(sim);
        Check(sim);
        if (each) each(sim);
    };
    auto after = std::move(options.AfterRun);
    options.AfterRun = [this, after](Sim& sim) {
        if (after) after(sim);
        Unhook();
    };
}

void InvariantHarness::Hook(Sim& sim) {
    Unhook();
    hooked_ = &sim;
    if (checks_.Interlocking) interlocking_ = std::make_unique<InterlockingInvariants>(sim);
    if (checks_.Trains) trains_ = std::make_unique<TrainInvariants>(sim);
}

void InvariantHarness::Unhook() {
    if (trains_) excusedOverruns_ = trains_->ExcusedOverruns();
    // Taken off in the reverse order they went on: each restores the hooks it chained.
    trains_.reset();
    interlocking_.reset();
    hooked_ = nullptr;
}

void InvariantHarness::Note(const Sim& sim, const std::vector<std::string>& found) {
    for (const std::string& f : found) {
        if (broken_.size() >= checks_.Limit) return;
        broken_.push_back(sim.FormatSimTime() + " " + f);
    }
}

void InvariantHarness::Check(Sim& sim) {
    ++cycles_;
    if (interlocking_ && !interlocking_->CheckInto(found_)) Note(sim, found_);
    if (trains_ && !trains_->CheckInto(found_)) Note(sim, found_);
    if (checks_.Describer) Note(sim, CheckDescriber(sim, surface_, checks_.Rules));
    if (checks_.Calls) Note(sim, CallInvariants(sim).Check());
    if (checks_.ARS) Note(sim, CheckARS(sim));
}

std::string InvariantHarness::Report() const {
    std::string text;
    for (const std::string& b : broken_) text += b + "\n";
    return text;
}

}  // namespace kestra::test
