#pragma once
// Signals: the aspects shown to drivers, and the entrance and exit points of routes.

#include <cstdint>
#include <string>

#include "core/request_queue.h"
#include "core/ssi_object.h"
#include "display/label.h"
#include "interlocking/interlocking_lists.h"
#include "interlocking/track_circuit.h"

namespace kestra {

class Sim;
class TOVL;
class TSIG;
class TROU;
class TULC;

// Aspects, from danger to green.
enum Aspects : std::uint8_t {
    AspDanger = 0,
    AspShunt = 1,
    AspSingleYellow = 2,
    AspFlashingSingleYellow = 3,
    AspDoubleYellow = 4,
    AspFlashingDoubleYellow = 5,
    AspGreen = 6,
};

// Signal kinds (SignalKind), by how the signal works in the major cycle and how it is
// drawn. Only kinds 0 to 4 and 9 work; the others are drawn and nothing more.
enum SignalKinds : std::uint8_t {
    SkRouteWorked = 0,  // worked by routes: a main signal, or a shunt signal without a red lamp
    SkShunt = 1,        // a shunt signal worked by routes
    SkAutomatic = 2,    // works by itself over its permanent route
    SkRepeating = 3,    // repeats NextSignal
    SkRepeatingRepeater = 4,  // repeats NextSignal, itself a repeating signal
    SkDrawnOnly = 5,          // a stop marker: drawn, never worked
    SkWhiteMarker = 6,        // a white marker, shown and clickable only with the shunt option
    SkSecondHead = 7,         // a marker that is a second head of NextSignal: acts on it
    SkShuntMarker = 8,        // a grey marker, shown and clickable only with the shunt option
    SkAutomaticLamp = 9,      // an automatic signal drawn as a single lamp
    SkGreyShunt = 10,         // a grey shunt head, shown and clickable only with the shunt option
};

// Lamps a signal has, as bits of AspectFlags.
enum AspectFlagBits : std::uint8_t {
    AfRed = 1,
    AfPositionLight = 2,
    AfSingleYellow = 4,
    AfFlashingSingleYellow = 8,
    AfDoubleYellow = 16,
    AfFlashingDoubleYellow = 32,
    AfGreen = 64,
};

// Reminder collar bits.
enum CollarBits : std::uint8_t {
    CollarGeneral = 1,
    CollarTraction = 2,
};

// Roles of a signal's extra panel elements.
enum SignalElementRole : std::uint8_t {
    SerHead = 0,
    SerNothing = 1,
    SerHead2 = 2,
    SerHead3 = 3,
    SerHead4 = 4,
    SerEntrance = 5,
    SerWarner = 6,
    SerAuto = 7,
    SerER = 8,
};

// The controls of a signal that the signaller clicks.
enum class SignalControl { Head = 0, Auto = 1, Warner = 2, ER = 3 };

// What a signal needs of the train-describer berth in front of it. Berths implement it.
class SignalBerthTarget {
  public:
    virtual ~SignalBerthTarget() = default;
    virtual int BerthColumn() const = 0;
    virtual void InterposeDescription(const std::string& description) = 0;
    virtual void CancelDescription() = 0;
};

// The random-failure check offered a signal whenever its aspect changes.
class SignalFailureOffer {
  public:
    virtual ~SignalFailureOffer() = default;
    virtual void OfferFailure(TSIG& signal) = 0;
};

// What automatic route setting is told by signals.
class SignalARSEvents {
  public:
    virtual ~SignalARSEvents() = default;
    virtual void RouteCancelled(TSIG& signal) = 0;
};

class TSIG : public TSSIObject, public RouteRequestTarget {
  public:
    explicit TSIG(Sim& sim, std::string id = {});
    ~TSIG() override;

    bool CheckLeftClick(int x, int y) override;
    bool CheckRightClick(int x, int y) override;
    void Draw() override;
    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    void MajorCycle() override;
    void OneSecond() override;
    void Reset() override;
    bool Save(ValueWriter& writer) override;

    // Queued requests: a route request from this signal to an exit, and a cancel.
    void QueuedRouteRequest(RouteRequestTarget* exit, std::uint8_t flag) override;
    void RequestCancel() override;

    // --- state setters (redraw and broadcast as each needs)
    void SetAspect(std::uint8_t aspect);
    void SetProceedAllowed(bool flag) { ProceedAllowed = flag; }
    void SetAutoWorking(bool flag);
    void SetCollar(std::uint8_t value);
    void SetWarnerCollar(std::uint8_t value);
    void SetAutoCollar(std::uint8_t value);
    void SetERCollar(std::uint8_t value);
    void SetLampProved(bool flag);
    // Changes the route the signal works over, telling the clients.
    void SetCurrentRoute(TROU* route);
    void SetApproachTimer(std::int32_t value);
    void SetPassageState(std::int32_t value) { PassageState = value; }
    void SetTRTS(bool flag);
    void OperateTRTS();
    // Broadcasts the binary "SA" state record.
    void SendState();
    // Applies a received "SA" record (8 bytes, code included).
    void ApplyState(std::string_view record);

    // --- queries
    bool ShowsProceed() const { return Aspect != AspDanger; }
    // What a driver reads: a proceed aspect whose lamps are lit. A dark signal (a failed
    // lamp) is a signal at danger to a driver, whatever the interlocking shows.
    bool ShowsProceedToDriver() const { return Aspect != AspDanger && LampProved; }
    bool RouteProvedAtDanger() const;
    bool HasTRTS() const { return TRTSX != 0 || TRTSY != 0; }
    bool TRTSSatisfied() const { return TRTSOperated || !HasTRTS(); }
    bool HasWarnerButton() const { return WarnerButtonX != 0 || WarnerButtonY != 0; }
    bool HasRedLamp() const { return (AspectFlags & AfRed) != 0; }
    // Kinds, by name.
    bool IsRouteWorked() const { return SignalKind == SkRouteWorked || SignalKind == SkShunt; }
    bool IsAutomaticKind() const {
        return SignalKind == SkAutomatic || SignalKind == SkAutomaticLamp;
    }
    bool IsRepeating() const {
        return SignalKind == SkRepeating || SignalKind == SkRepeatingRepeater;
    }
    // Drawn as a one-cell marker glyph (kinds 5 to 8).
    bool IsMarker() const { return SignalKind >= SkDrawnOnly && SignalKind <= SkShuntMarker; }
    // Shown and clickable only while the shunt option is on.
    bool ShownOnlyWithShunts() const {
        return SignalKind == SkShunt || SignalKind == SkWhiteMarker ||
               SignalKind == SkShuntMarker || SignalKind == SkGreyShunt;
    }
    // The signal whose clicks and collars a click here acts on: NextSignal for a second
    // head, this signal otherwise.
    TSIG& ActingSignal() { return SignalKind == SkSecondHead && NextSignal ? *NextSignal : *this; }
    const TSIG& ActingSignal() const {
        return SignalKind == SkSecondHead && NextSignal ? *NextSignal : *this;
    }
    // The panel column of the post: the head's outer end, its last cell when the lamps
    // face left. A stop marker's glyph always stands at X.
    int PostColumn() const {
        return (HeadOrientation & 1) && SignalKind != SkDrawnOnly ? X + HeadWidth - 1 : X;
    }
    bool RouteSuitsTraction(std::uint8_t power) const;
    std::int32_t LookAheadCount() const;
    TULC* ApproachSubroute() const;
    bool ApproachOccupied() const;
    // Aspect this signal would show following the signal ahead.
    std::uint8_t AspectFrom(const TSIG& next, bool repeating) const;
    // Derives BaseAspect from AspectFlags.
    void SetBaseAspectFromFlags();
    // The route set from this signal, set and locked.
    bool HasSetRoute() const;
    // The train-describer berth in front of the signal, or none.
    SignalBerthTarget* SignalBerth();
    bool HasEntranceMarker() const;
    // A train stands or runs towards the signal within its approach-locking reach.
    bool TrainApproaching() const;

    // --- the signaller's controls
    // Runs the action of one control with the button and the panel's mode.
    void ControlAction(SignalControl control, bool left, bool reminder, bool isolation);
    // Drops this signal as the selected entrance and redraws what showed it.
    void Deselect();

    // --- overlap operations (signal_overlaps.cpp)
    bool FullOverlapAvailable();
    bool FullOverlapAvailableQuiet();
    bool RestrictedOverlapAvailable();
    bool RestrictedOverlapAvailableQuiet();
    int RestrictedOverlapCount() const;
    bool OverlapProved();
    bool OverlapClearAvailable();
    bool CanSwingOverlap();
    void SwingOverlap();
    void SetFullOverlap();
    void SetRestrictedOverlap();
    void SetFullOverlapForUpgrade();

    Sim& sim() const { return sim_; }

    // --- fields, in declaration order
    std::int32_t ApproachTimer = 255;
    bool ProceedAllowed = false;
    std::uint8_t Aspect = AspDanger;
    bool AutoWorking = false;
    bool ReleaseAllowed = false;
    bool LampProved = true;
    std::uint8_t BaseAspect = AspDanger;
    // A new signal is idle, so armed: a route set before its first cycle clears it.
    bool Armed = true;
    std::int32_t PassageState = 0;
    bool TrainPassed = false;
    std::uint8_t Collar = 0;
    std::uint8_t WarnerCollar = 0;
    std::uint8_t AutoCollar = 0;
    std::uint8_t ERCollar = 0;
    bool TRTSOperated = false;
    bool AutoOnWarner = false;
    TOVL* SwingCandidate = nullptr;
    bool ApproachLit = false;
    std::int32_t LookAhead = 0;
    std::uint8_t AspectFlags = AfRed;
    TTCS* BerthCircuit = nullptr;
    bool CancelRequested = false;
    TROU* CurrentRoute = nullptr;
    TSSIObject* CachedBerth = nullptr;
    bool ApproachControlled = false;
    std::uint8_t SignalKind = 0;
    TSIG* NextSignal = nullptr;
    bool WasOff = false;
    bool PresetsProceeding = false;
    TOVLList Overlaps;
    TOVL* CurrentOverlap = nullptr;
    TPELList Elements;
    TROU* PresetRoute = nullptr;
    bool PresetMode = false;
    bool PresetEntered = false;
    std::int32_t ApproachTime = 0;
    TROU* RouteIn = nullptr;
    TROUList Routes;
    std::int32_t SightingDistance = 300;
    TTCSList ControlCircuits;
    TTCSList AheadCircuits;
    TULCList AutoSubroutes;
    std::uint8_t HeadOrientation = 0;
    std::int32_t X = 0, Y = 0;
    std::int32_t AutoButtonX = 0, AutoButtonY = 0;
    std::int32_t ERButtonX = 0, ERButtonY = 0;
    std::int32_t EntranceX = 0, EntranceY = 0;
    std::int32_t WarnerButtonX = 0, WarnerButtonY = 0;
    std::int32_t TRTSX = 0, TRTSY = 0;
    std::uint8_t TRTSStyle = 0;
    TTCS* FirstCircuitAhead = nullptr;
    TULCList SubroutesToHere;
    TULCList SubroutesFromHere;
    TULCList MustBeFree;
    std::int32_t HeadWidth = 0;
    std::int32_t YellowRun = 0;
    std::int32_t DoubleYellowRun = 0;
    TSSIObject* Location = nullptr;
    TTCSList TRTSCircuits;

  private:
    bool ClaimClick(int x, int y, bool left);
    void SelectAsEntrance();
    void HeadLeft();
    void HeadRight();
    void MainRules();
    void ShuntRules();
    void AutomaticRule();
    void RepeatingRule();
    void Idle();
    void Exchanges();
    void UpdatePassage(TROU& route);
    void ApplyApproachLocking(bool mainSignal);
    void ReleaseRoute();
    void RouteReleaseAndAutoWorking(bool allowRelease);
    void UpdateApproachLit();
    int DrawHeadAt(int x, int y);
    int DrawAutoButtonAt(int x, int y);
    int DrawERButtonAt(int x, int y);
    int DrawWarnerButtonAt(int x, int y);
    void DrawEntranceMarkerAt(int x, int y, std::string_view text);

    Sim& sim_;
};

class TSIGList : public TTypedList<TSIG> {
  public:
    // An "SA" record from the server; positions outside the list are ignored.
    void HandleClientMessage(std::string_view payload);
};

}  // namespace kestra
