#pragma once
// The list classes of points, subroutes, overlaps and routes. They live together
// because these objects hold lists of one another: a points lists the subroutes that
// need it, a subroute lists its points, an overlap lists its routes. The element
// classes are complete only in their own headers; the lists' constructors and
// destructors are defined beside them so that holding a list needs no more than this.

#include <string_view>

#include "core/ssi_object.h"

namespace kestra {

class Sim;
class TPTS;
class TULC;
class TOVL;
class TROU;
class TSIG;

// Points: the simulation's class list, or an object's reference list. The list forms
// run in list order and stop at the first false; an empty list answers true.
class TPTSList : public TTypedList<TPTS> {
  public:
    TPTSList();
    ~TPTSList() override;

    bool IsSetNormal() const;
    bool IsSetReverse() const;
    bool IsFreeToGoNormal() const;
    bool IsFreeToGoReverse() const;
    bool ControlledNormal() const;
    bool ControlledReverse() const;
    bool CanMoveNormal() const;
    bool CanMoveReverse() const;
    bool Contains(const TPTS* points) const;

    // A message for the points: "PA" state from the server; "PB".."PE" and "CA"
    // requests from a client. Positions outside the list are ignored.
    void HandleClientMessage(std::string_view payload) const;
};

// Subroutes: the class list, or any list of subroutes (a route's, an overlap's, a
// circuit's). Each published check runs in list order and stops as soon as the answer
// is decided; an empty list answers true.
class TULCList : public TTypedList<TULC> {
  public:
    TULCList();
    ~TULCList() override;

    bool ArePointsControlledInPosition() const;
    bool ArePointsDetectedInPosition() const;
    bool AreTCsClear() const;
    bool IsCompletelyFree() const;
    bool IsFree() const;
    // The signaller's check on every entry (sets LastFailReason on refusal).
    bool IsFreeToSet() const;
    // The signaller's check with every circuit clear.
    bool IsFreeToSetARS() const;
    // The quiet automatic check.
    bool IsFreeToSetARSIgnoreOVL() const;
    // The check without the opposite-direction test.
    bool IsFreeToSetIgnoreParallel() const;
    bool IsOverlapFree() const;
    bool IsParallelFree() const;
    bool IsLockedAndProved() const;
    bool RouteProved() const;

    // Sets every entry as part of a route: locks it and calls its points.
    void RouteRequest() const;
    void SwingOverlapIfSet() const;
    bool Contains(const TULC* subroute) const;

    // A "UA" state message from the server; positions outside the list are ignored.
    void HandleClientMessage(std::string_view payload) const;
};

// Overlaps: the class list, the evaluation set, or a reference list.
class TOVLList : public TTypedList<TOVL> {
  public:
    TOVLList();
    ~TOVLList() override;

    bool Contains(const TOVL* overlap) const;
    // Removes the first entry of the overlap, if present.
    void Remove(const TOVL* overlap);
};

// Routes: the class list or a reference list.
class TROUList : public TTypedList<TROU> {
  public:
    TROUList();
    ~TROUList() override;

    bool Contains(const TROU* route) const;
    // At start-up: fills the subroutes of every automatic route by following the line
    // from its entrance signal to its exit signal.
    void DetermineAutoULCs() const;
    // An "RA" state message from the server; positions outside the list are ignored.
    void HandleClientMessage(std::string_view payload) const;
};

}  // namespace kestra
