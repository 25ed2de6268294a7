#pragma once
// Entry points: where trains come into the area from outside, with the subroutes of
// the route they come in on, the berth their description is put into and the
// countdown that spaces entering trains.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/ssi_object.h"
#include "interlocking/interlocking_lists.h"

namespace kestra {

class Sim;

// Seconds of free, proved entry route an entry point waits after a train entered: a
// random count below this.
inline constexpr std::int32_t kEntrySpacingSeconds = 20;

class TENT : public TSSIObject {
  public:
    explicit TENT(Sim& sim, std::string id = {});

    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    void OneSecond() override;
    void Reset() override;
    bool Save(ValueWriter& writer) override;

    // True when a train may enter now: the countdown has run out and the entry
    // subroutes are free to set and proved. A quiet check: it leaves the signaller's
    // last refusal reason alone.
    bool CanEnter();
    // The entry subroutes are free to set and proved (quietly).
    bool EntryRouteClear();
    // What follows a train's entry at this point: the next may come after a random 0 to
    // 19 seconds of free, proved entry route. Letting the train in itself (requesting
    // the entry route, making the train, interposing its description, placing it on the
    // first subroute) belongs to the trains, which call this once they have done so.
    void StartCountdown();

    Sim& sim() const { return sim_; }

    // --- fields, in declaration order
    // The subroutes of the entry route; the first is where a new train's head is put.
    TULCList ULCs;
    // The berth an entering train's description goes into, or none.
    TSSIObject* Berth = nullptr;
    std::string Name;
    std::int32_t Countdown = 0;

  private:
    Sim& sim_;
};

// The entry points of the area, in the order the area made them.
class TENTList : public TTypedList<TENT> {
  public:
    // The description of the next train that enters without a timetable: "**" and a
    // two-digit counter running 00 to 99 and round again, shared by every entry point.
    // A description still carried by a train (inUse answers true) is skipped, so two
    // trains never share one; with all hundred in use the answer is empty and no train
    // may enter without a timetable. The counter moves past the value given.
    std::string NextUntimetabledDescription(const std::function<bool(std::string_view)>& inUse);
    // The counter, for saving and for tests.
    std::int32_t UntimetabledCounter() const { return counter_; }
    void Reset() override;

  private:
    std::int32_t counter_ = 0;
};

}  // namespace kestra
