#pragma once
// Overlaps: the safety margin beyond a signal, a short chain of subroutes locked with
// a main route up to that signal. A signal may have alternatives; one is chosen when
// the route is set and it can be swung to another when its track is wanted.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/ssi_object.h"
#include "interlocking/interlocking_lists.h"

namespace kestra {

class Sim;
class TLevelCrossing;

class TOVL : public TSSIObject {
  public:
    explicit TOVL(Sim& sim, std::string id = {});
    ~TOVL() override;

    // The area's set-up: the overlap's signal (which lists it among its overlaps, in
    // order of preference) and its subroutes in order from the signal.
    void Configure(TSIG& signal, std::initializer_list<TULC*> subroutes, bool restricted = false,
                   std::int32_t releaseTime = 0);

    // Usable with the routes now set or being set.
    bool IsApplicable() const;
    // The signaller's form: every subroute passes the signaller's check.
    bool IsAvailable();
    // The quiet form, for ARS.
    bool IsAvailableQuiet();
    bool ArePointsControlled() const;
    bool AreTCsClear() const;
    bool IsSet() const;
    // Circuits clear and route points in position (or still moving for this overlap).
    bool IsProved() const;
    // Every level crossing the overlap runs over has its barriers proved down.
    bool CrossingsProvedDown() const;
    // Points to move to take this overlap, plus 50 unless one of them is the points the
    // signaller is keying into the position this overlap needs.
    std::int32_t Cost() const;
    // Whether the overlap in use could be swung to this one.
    bool CanSwingTo(TOVL& current);
    // Takes every subroute, swinging other overlaps out of the way; false (and nothing
    // held) when one of them cannot move now.
    bool SetWithRoute();
    void SetBySwing();
    void Clear();

    Sim& sim() const { return sim_; }

    // --- fields, in declaration order
    bool TimedRelease = true;
    bool Restricted = false;
    TROUList Routes;
    TSIG* Signal = nullptr;
    TULCList Subroutes;
    std::int32_t ReleaseTime = 0;
    // The level crossings the overlap runs over (the crossings enter themselves).
    std::vector<const TLevelCrossing*> LevelCrossings;

  private:
    bool HookAccepts();
    Sim& sim_;
};

}  // namespace kestra
