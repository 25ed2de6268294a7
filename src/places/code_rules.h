#pragma once
// Code rules and timing insertions: what completes a timetable before it runs. A code
// rule fills in a line or path code the timetable writer left out, from the area's
// knowledge of which lines lead where; a timing insertion puts an extra timing location
// between two consecutive locations.

#include <cstdint>
#include <string>
#include <vector>

#include "core/ssi_object.h"

namespace kestra {

class TENT;
class TLOC;

// How a code rule matches a step from A to B.
enum RuleKind : std::uint8_t {
    // A is the rule's from-end and B its to-end: A's code is filled.
    RkForward = 0,
    // A is the rule's to-end and B its from-end: B's code is filled.
    RkBackward = 1,
    // At one location (from = to): whichever end is that location is filled.
    RkAtLocation = 2,
    // The first step of a timetable starts at the rule's from-location: A is filled.
    RkStart = 3,
};

// One end of a step: an entry point or a location, with its path and line codes.
struct RuleEnd {
    TENT* Entry = nullptr;
    TLOC* Location = nullptr;
    std::string* Path = nullptr;
    std::string* Line = nullptr;
};

class TRLE : public TSSIObject {
  public:
    TRLE() = default;

    // Offers the step A to B to this rule; fills at most one still-empty code.
    void Apply(const RuleEnd& a, bool firstStep, const RuleEnd& b) const;

    // --- fields, in declaration order
    TENT* FromEntry = nullptr;
    TLOC* FromLocation = nullptr;
    // True: the rule fills a path code; false: a line code.
    bool SetsPath = false;
    std::string Code;
    std::uint8_t Kind = RkForward;
    TENT* ToEntry = nullptr;
    TLOC* ToLocation = nullptr;
    // 1: the condition looks at a path code; 0: at a line code.
    std::uint8_t TestsPath = 0;
    // The code the examined end must have; empty: no condition.
    std::string Condition;
};

class TRLEList : public TTypedList<TRLE> {
  public:
    // Offers the step from A (an entry point or a location, with its codes) to B to
    // every rule in list order. A rule only fills a code that is still empty, so the
    // first rule to fill a code wins.
    void CheckInsertion(const RuleEnd& a, bool firstStep, const RuleEnd& b) const;
};

// An extra timing location between two consecutive locations (or from an entry point).
struct TINS {
    TLOC* From = nullptr;
    TENT* Entry = nullptr;
    TLOC* To = nullptr;
    TLOC* Insert = nullptr;
    // Where the inserted timing falls between the two, in 1024ths.
    std::uint32_t Fraction = 0;
};

// The timing insertions of the area: plain records, area data with no saved state.
class TINSList {
  public:
    void Add(const TINS& record) { records_.push_back(record); }
    int Count() const { return static_cast<int>(records_.size()); }
    // The first record for the step: with an entry point, one from that entry point to
    // to; without, one from from to to. Gives its fraction and location; false, 0 and
    // none when no record matches.
    bool CheckInsertion(TENT* entry, TLOC* from, TLOC* to, std::uint32_t& fraction,
                        TLOC*& insert) const;

  private:
    std::vector<TINS> records_;
};

}  // namespace kestra
