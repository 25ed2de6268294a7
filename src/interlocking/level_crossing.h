#pragma once
// Flags and level crossings: railway objects whose whole networked state is one small
// number. Flags are an area's switches (this railway has none); a level crossing is a
// controlled crossing worked by the routes over it: its barriers lower when a route
// over it is set and a train approaches, the signals reading over it clear only once
// the barriers are proved down, and the barriers rise once the train has cleared the
// crossing.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ssi_object.h"
#include "interlocking/interlocking_lists.h"
#include "interlocking/track_circuit.h"

namespace kestra {

class Sim;
class TOVL;
class TROU;

// A flag: a small number the area gives a meaning to.
class TFLG : public TSSIObject {
  public:
    explicit TFLG(Sim& sim, std::string id = {}) : TSSIObject(std::move(id)), sim_(sim) {}

    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    void Reset() override { State = 0; }
    bool Save(ValueWriter& writer) override;

    // Stores a new state, redraws and broadcasts "FA"; the same state does nothing.
    void SetState(std::int32_t value);
    // Broadcasts "FA" + position + the low 8 bits of the state.
    void SendState();

    Sim& sim() const { return sim_; }

    std::int32_t State = 0;

  private:
    Sim& sim_;
};

class TFLGList : public TTypedList<TFLG> {
  public:
    // An "FA" record from the server; positions outside the list and malformed numbers
    // are ignored.
    void HandleClientMessage(std::string_view payload);
};

class TLevelCrossing;

// Where a level crossing offers a random failure of its barriers as they start to lower
// (the failure list takes it).
class LevelCrossingFailureOffer {
  public:
    virtual ~LevelCrossingFailureOffer() = default;
    virtual void OfferFailure(TLevelCrossing& crossing) = 0;
};

// The states of a controlled level crossing, as they travel over the network.
enum LevelCrossingStates : std::uint8_t {
    LxOpen = 0,      // barriers raised, road open
    LxLowering = 1,  // road lights flashing, barriers going down
    LxDown = 2,      // barriers proved down: the signals over the crossing may clear
    LxRaising = 3,   // barriers going up
    LxFailed = 4,    // a barrier failed to come down: the signals are held at danger
};
inline constexpr std::uint8_t LxLastState = LxFailed;

// Seconds from the start of the road lights to the barriers proved down, and from the
// barriers leaving the down position to the road open.
inline constexpr std::int32_t LevelCrossingLowerTime = 20;
inline constexpr std::int32_t LevelCrossingRaiseTime = 8;

// A route over a crossing, with its subroutes up to and including the one over the
// crossing: a train on any of them that is still locked has yet to clear the road.
struct TCrossingRoute {
    TROU* Route = nullptr;
    std::vector<TULC*> UpToCrossing;
};

// An overlap over a crossing, with the routes that end at its signal: a train running
// along one of them to that signal could overrun into the overlap and onto the road.
struct TCrossingOverlap {
    TOVL* Overlap = nullptr;
    std::vector<TROU*> RoutesIn;
};

class TLevelCrossing : public TSSIObject {
  public:
    explicit TLevelCrossing(Sim& sim, std::string id = {}) : TSSIObject(std::move(id)), sim_(sim) {}

    void Draw() override;
    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    // The barriers' demand, and the road lights' flashing.
    void MajorCycle() override;
    // The barriers' movement.
    void OneSecond() override;
    void Reset() override;
    bool Save(ValueWriter& writer) override;

    // Stores a new state, calls OnStateChange and broadcasts "LX"; the same state does
    // nothing.
    void SetState(std::uint8_t value);
    // Broadcasts "LX" + position + the state.
    void SendState();
    // A barrier that will not come down (failed) or works again (repaired). A failure
    // shows the next time the barriers are lowered; a repair lets a failed crossing
    // lower again.
    void SetBarrierFailed(bool failed);

    // The only state in which a signal may clear over the crossing.
    bool ProvedDown() const { return State == LxDown; }
    // A train needs the road closed: one on the crossing, one in a route over it short
    // of the crossing, one approaching the entrance of a route set over it, or a signal
    // showing proceed over it; and the same for an overlap over the road that a train
    // relies on: one running in a route to the overlap's signal (until the overlap is
    // released behind it, or it has stood at an automatic's next signal for the time
    // the overlap would take to release), one approaching the entrance of such a route
    // set, or that entrance showing proceed.
    bool Wanted() const;
    // The routes over the crossing, as the area gave them.
    const std::vector<TCrossingRoute>& RoutesOver() const { return routes_; }
    // Entered by the area: a route over the crossing and its subroutes up to the one
    // over the road; the route is told it runs over this crossing.
    void AddRoute(TROU& route, std::vector<TULC*> upToCrossing);
    // The overlaps over the crossing, as the area gave them.
    const std::vector<TCrossingOverlap>& OverlapsOver() const { return overlaps_; }
    // Entered by the area, once the routes exist: an overlap over the road; the overlap
    // is told it runs over this crossing, and the routes ending at its signal are noted.
    void AddOverlap(TOVL& overlap);

    Sim& sim() const { return sim_; }

    std::uint8_t State = LxOpen;
    // Seconds into the current barrier movement.
    std::int32_t Timer = 0;
    bool BarrierFailed = false;
    // Called after every change of state (the area redraws there).
    std::function<void(TLevelCrossing&)> OnStateChange;
    // The circuits the road crosses.
    TTCSList Circuits;
    // The location the crossing belongs to, for the equipment lists.
    TSSIObject* Location = nullptr;
    // The panel: the road between the lines (cells at RoadX on the rows listed) and the
    // crossing's name beside it, both in the state's colour.
    std::string Name;
    std::int32_t RoadX = 0;
    std::vector<std::int32_t> RoadRows;
    std::int32_t LabelX = 0, LabelY = 0;

  private:
    Sim& sim_;
    std::vector<TCrossingRoute> routes_;
    std::vector<TCrossingOverlap> overlaps_;
};

class TLevelCrossingList : public TTypedList<TLevelCrossing> {
  public:
    // An "LX" record from the server; positions outside the list and malformed numbers
    // are ignored.
    void HandleClientMessage(std::string_view payload);
};

// The name of a crossing state, for messages and the assessor's lists.
const char* LevelCrossingStateName(std::uint8_t state);

}  // namespace kestra
