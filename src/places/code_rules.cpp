#include "places/code_rules.h"

namespace kestra {

namespace {

// An end matches a rule's location or entry point only when that reference is set and
// the same object.
bool EndIs(const RuleEnd& end, const TLOC* location, const TENT* entry) {
    return (location && end.Location == location) || (entry && end.Entry == entry);
}

void FillIfEmpty(std::string* target, const std::string& code) {
    if (target && target->empty()) *target = code;
}

const std::string& Tested(const RuleEnd& end, std::uint8_t testsPath) {
    static const std::string kNone;
    const std::string* code = testsPath ? end.Path : end.Line;
    return code ? *code : kNone;
}

}  // namespace

void TRLE::Apply(const RuleEnd& a, bool firstStep, const RuleEnd& b) const {
    auto target = [&](const RuleEnd& end) { return SetsPath ? end.Path : end.Line; };
    switch (Kind) {
        case RkForward:
            if (!EndIs(a, FromLocation, FromEntry) || !EndIs(b, ToLocation, ToEntry)) return;
            if (!Condition.empty() && Condition != Tested(b, TestsPath)) return;
            FillIfEmpty(target(a), Code);
            return;
        case RkBackward:
            if (!EndIs(a, ToLocation, ToEntry) || !EndIs(b, FromLocation, FromEntry)) return;
            if (!Condition.empty() && Condition != Tested(a, TestsPath)) return;
            FillIfEmpty(target(b), Code);
            return;
        case RkAtLocation:
            if (FromLocation && a.Location == FromLocation &&
                (Condition.empty() || Condition == Tested(a, TestsPath)))
                FillIfEmpty(target(a), Code);
            // At the far end an empty condition stands for an empty code there.
            if (FromLocation && b.Location == FromLocation && Condition == Tested(b, TestsPath))
                FillIfEmpty(target(b), Code);
            return;
        case RkStart:
            if (firstStep && FromLocation && a.Location == FromLocation)
                FillIfEmpty(target(a), Code);
            return;
        default:
            return;
    }
}

void TRLEList::CheckInsertion(const RuleEnd& a, bool firstStep, const RuleEnd& b) const {
    ForEach([&](const TRLE& rule) { rule.Apply(a, firstStep, b); });
}

bool TINSList::CheckInsertion(TENT* entry, TLOC* from, TLOC* to, std::uint32_t& fraction,
                              TLOC*& insert) const {
    for (const TINS& r : records_) {
        const bool matches =
            entry ? (r.Entry == entry && r.To == to) : (r.From == from && r.To == to);
        if (matches) {
            fraction = r.Fraction;
            insert = r.Insert;
            return true;
        }
    }
    fraction = 0;
    insert = nullptr;
    return false;
}

}  // namespace kestra
