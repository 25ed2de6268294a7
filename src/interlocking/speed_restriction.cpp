#include "interlocking/speed_restriction.h"

namespace kestra {

void TTSR::MakeBlank() {
    ID.clear();
    FreightSpeed = 0;
    PassengerSpeed = 0;
    FromPosition = 0;
    ToPosition = 0;
    Owner = nullptr;
}

void TTSR::CopyRestriction(const TTSR& other) {
    ID = other.ID;
    FreightSpeed = other.FreightSpeed;
    PassengerSpeed = other.PassengerSpeed;
    FromPosition = other.FromPosition;
    ToPosition = other.ToPosition;
    Owner = other.Owner;
}

bool TTSR::Save(ValueWriter& writer) {
    writer.WriteFloat(FreightSpeed);
    writer.WriteFloat(PassengerSpeed);
    writer.WriteInteger(FromPosition);
    writer.WriteInteger(ToPosition);
    return true;
}

bool TTSR::StageLoad(ValueReader& reader, LoadCommits& commits) {
    struct Record {
        double freight, passenger;
        std::int32_t from, to;
    } rec;
    rec.freight = reader.ReadFloat();
    rec.passenger = reader.ReadFloat();
    rec.from = reader.ReadInteger();
    rec.to = reader.ReadInteger();
    commits.Add([this, rec] {
        FreightSpeed = rec.freight;
        PassengerSpeed = rec.passenger;
        FromPosition = rec.from;
        ToPosition = rec.to;
    });
    return true;
}

TTSR& TTSRList::InsertFront(std::unique_ptr<TTSR> tsr) {
    TTSR& ref = Adopt(std::move(tsr));
    // Adopt appended it; move the entry to the front.
    Delete(Count() - 1);
    Insert(0, ref.ID, &ref);
    return ref;
}

TTSR& TTSRList::Place(std::unique_ptr<TTSR> tsr, TSSIObject* owner) {
    tsr->Owner = owner;
    return InsertFront(std::move(tsr));
}

void TTSRList::Remove(TTSR* tsr) {
    const int index = IndexOf(tsr);
    if (index < 0) return;
    Delete(index);
    Destroy(tsr);
}

TTSR* TTSRList::MoveTo(TTSR* tsr, TTSRList& destination, TSSIObject* newOwner) {
    if (IndexOf(tsr) < 0) return nullptr;
    auto moved = std::make_unique<TTSR>();
    moved->CopyRestriction(*tsr);
    Remove(tsr);
    return &destination.Place(std::move(moved), newOwner);
}

}  // namespace kestra
