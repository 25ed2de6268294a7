#pragma once
// Berths and the train describer: the four-character descriptions shown in front of the
// signals, stepped from berth to berth as track circuits, routes, signals and berths
// change state, and interposed or cancelled by the signaller.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ssi_object.h"
#include "display/label.h"
#include "interlocking/signal.h"
#include "interlocking/track_circuit.h"
#include "places/location.h"

namespace kestra {

class Sim;
class TBER;
class TROU;

// How an empty berth is drawn.
enum BerthEmptyStyle : std::uint8_t {
    EmptyTrack = 0,
    EmptyCrosses = 1,
    EmptySlashes = 2,
    EmptyBlank = 3,
};

// The berth's field `Colour` hides the type's name inside the class.
using BerthColour = Colour;

// One step leaving a berth: where the description goes, what fires it and what must hold.
struct TBERStep {
    // Destination; none: the description leaves the describer.
    TBER* ToBerth = nullptr;
    // The object whose change of state fires the step; none: tried every major cycle.
    TSSIObject* Trigger = nullptr;
    // False: fire when the trigger becomes active; true: when it becomes inactive.
    bool OnRelease = false;
    // Objects that must all be true; a null entry negates the entry after it. The step
    // owns the list, not the objects.
    std::vector<TSSIObject*> Conditions;
    // Read by ARS when a description moves along this step (0, 1 or 2).
    std::uint8_t ARSTag = 0;
    // Copy to the destination and leave the source as it is.
    bool CopyOnly = false;
};

// One entry of a berth's queue: a berth it may mirror, and the route that must be set.
struct TBERQueueEntry {
    TBER* Berth = nullptr;
    TROU* Route = nullptr;
};

// What automatic route setting is told by the describer.
class BerthARSEvents {
  public:
    virtual ~BerthARSEvents() = default;
    virtual void DescriptionMoved(TBER& from, TBER& to, std::uint8_t arsTag) = 0;
    virtual void DescriptionLeft(TBER& from) = 0;
    virtual void DescriptionInterposed(TBER& berth) = 0;
    virtual void DescriptionCancelled(TBER& berth) = 0;
};

// The truth value of a step condition or the active state of a trigger object:
// occupied circuit, set route, signal off danger, described berth, route-locked
// subroute; any other object is true.
bool BerthConditionTruth(const TSSIObject& object);
// The running AND of a condition list; a null entry negates the entry after it.
bool BerthConditionsHold(const std::vector<TSSIObject*>& conditions);

class TBER : public TSSIObject, public SignalBerthTarget {
  public:
    explicit TBER(Sim& sim, std::string id = {});

    bool CheckLeftClick(int x, int y) override;
    bool CheckRightClick(int x, int y) override;
    void Draw() override;
    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    void MajorCycle() override;
    void Reset() override;
    bool Save(ValueWriter& writer) override;

    // --- SignalBerthTarget: the signal's interpose and cancel by signal
    int BerthColumn() const override { return X; }
    void InterposeDescription(const std::string& description) override { Interpose(description); }
    void CancelDescription() override;

    // Puts a description into the berth ("%-4.4s", upper-case); on a client asks the server.
    void Interpose(std::string_view description);
    bool HasDescription() const { return !Description.empty(); }
    // The description as four characters: cut to four, padded with blanks.
    static std::string FormatDescription(std::string_view description);

    // Tries the berth's steps for (object, state); true when one matched.
    bool TrySteps(const TSSIObject* object, bool state);
    // Mirrors the first qualifying berth of the queue; true when anything changed.
    bool UpdateFromQueue();

    // --- colour operations for ARS; each redraws and sends only when it changes a colour
    void SetARSColour();
    void SetARSRunningToColour();
    void SetNonARSColour();
    void SetEarly();
    void SetOnTime();
    void SetLate();
    void SetVeryLate();
    void SetNoARSPath();

    // "BA" with the berth's index, description and three colours.
    void SendBerthState();
    // Applies a "BA" body (description and colours) from the server.
    void ApplyState(std::string_view body);

    Sim& sim() const { return sim_; }

    // --- fields, in declaration order
    BerthColour Colour = 0;
    BerthColour BackColour = 0;
    BerthColour TextColour = 0;
    std::string Description;
    std::int32_t X = 0;
    std::int32_t Y = 0;
    std::uint8_t EmptyStyle = EmptyTrack;
    TTCS* TrackCircuit = nullptr;
    TULCList ClearULCs;
    bool External = false;
    TLOCList Locations;
    TPELList Positions;
    std::vector<TBERStep> Steps;
    TSSIList ARSRoutes;
    std::vector<TBERQueueEntry> Queue;

  private:
    friend class TBERList;
    // Sets the three colours; redraws and sends only when one changed.
    void SetColours(BerthColour colour, BerthColour text, BerthColour back);
    void PerformStep(const TBERStep& step);
    bool HitAt(int x, int y) const;
    bool Click(int x, int y, bool right);
    void DrawAt(int x, int y);
    Sim& sim_;
};

class TBERList : public TTypedList<TBER>, public TrainDescriberTrigger {
  public:
    // Raised by circuits, routes, signals and berths at every change between active and
    // inactive; every berth in list order tries its steps. Nothing on a client.
    void BerthTDTrigger(TSSIObject& source, bool active) override;
    // The every-cycle trigger (no object).
    void RaiseTrigger(TSSIObject* source, bool active);
    // ARS's direct move of a description and its colours.
    void MoveDescription(TBER& from, TBER& to);
    // A "BA", "BB" or "BC" message; positions outside the list are ignored.
    void HandleClientMessage(std::string_view payload);
    // The berths holding exactly this description.
    int CountDescription(std::string_view description) const;
    TBER* FindDescription(std::string_view description) const;

    // Told when descriptions move, leave, are interposed or cancelled; none until ARS
    // exists.
    BerthARSEvents* ARS = nullptr;
    // Deepest nesting of triggers raised by steps. A chain of steps is short; berth data
    // that steps a description round in a circle would otherwise never return.
    static constexpr int kMaxTriggerDepth = 64;

  private:
    int depth_ = 0;
};

}  // namespace kestra
