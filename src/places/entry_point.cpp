#include "places/entry_point.h"

#include <cstdio>

#include "interlocking/refusal.h"
#include "interlocking/subroute.h"
#include "sim/sim.h"

namespace kestra {

namespace {
// Counter values of untimetabled descriptions: "**00" to "**99".
constexpr std::int32_t kCounterValues = 100;
}  // namespace

TENT::TENT(Sim& sim, std::string id) : TSSIObject(std::move(id)), sim_(sim) {}

bool TENT::StageLoad(ValueReader& reader, LoadCommits& commits) {
    const std::int32_t countdown = reader.ReadInteger();
    // The countdown only ever holds a value drawn below the spacing.
    if (countdown < 0 || countdown >= kEntrySpacingSeconds) return false;
    commits.Add([this, countdown] { Countdown = countdown; });
    return true;
}

bool TENT::Save(ValueWriter& writer) {
    writer.WriteInteger(Countdown);
    return true;
}

void TENT::Reset() {
    Countdown = 0;
}

bool TENT::EntryRouteClear() {
    // A quiet check: an entry point asking every second must not overwrite the reason
    // the signaller's last command was refused.
    QuietCheck quiet(sim_);
    return ULCs.IsFreeToSet() && ULCs.RouteProved();
}

bool TENT::CanEnter() {
    return Countdown < 1 && EntryRouteClear();
}

void TENT::OneSecond() {
    if (Countdown > 0 && EntryRouteClear()) --Countdown;
}

void TENT::StartCountdown() {
    Countdown = sim_.RandomInt(kEntrySpacingSeconds);
}

std::string TENTList::NextUntimetabledDescription(
    const std::function<bool(std::string_view)>& inUse) {
    for (std::int32_t tried = 0; tried < kCounterValues; ++tried) {
        char text[8];
        std::snprintf(text, sizeof text, "**%2.2d", static_cast<int>(counter_));
        counter_ = (counter_ + 1) % kCounterValues;
        if (!inUse || !inUse(text)) return text;
    }
    return {};
}

void TENTList::Reset() {
    TTypedList<TENT>::Reset();
    counter_ = 0;
}

}  // namespace kestra
