#include "interlocking/track_circuit.h"

#include <cstdio>
#include <limits>

#include "sim/sim.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "display/palette.h"

namespace kestra {

namespace {

struct MarkingColours {
    Colour c1;
    Colour c2;
};

constexpr MarkingColours kMarking[6] = {
    {ClBlack, ClBlack}, {ClCyan, ClCyan},  {ClPink, ClPink},
    {ClCyan, ClPink},   {ClCyan, ClBlack}, {ClBlack, ClPink},
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

int ParseHex4(std::string_view text) {
    if (text.size() < 4) return -1;
    int v = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = HexDigit(text[i]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

const char* ISOTypeLabel(std::uint8_t type) {
    static const char* labels[6] = {"None", "Eng", "TI", "Eng & TI", "Eng & BET", "BET"};
    return type < 6 ? labels[type] : "";
}

TTCS::TTCS(Sim& sim, std::string id) : TSSIObject(std::move(id)), sim_(sim) {}

void TTCS::Occupy() {
    ++OccupyCount;
    if (OccupyCount == 1) {
        StateTime = 0;
        Draw();
        if (sim_.TrainDescriber) sim_.TrainDescriber->BerthTDTrigger(*this, true);
        SendState();
    }
}

void TTCS::Vacate() {
    if (OccupyCount == 1 && sim_.TrackFailures) sim_.TrackFailures->OfferFailure(*this);
    --OccupyCount;
    if (OccupyCount == 0) {
        StateTime = 0;
        ClearDelay = 0;
    } else if (OccupyCount < 0) {
        sim_.Trace(ID + " occupy count < 0");
        OccupyCount = 0;
    }
}

void TTCS::SetISOType(std::uint8_t type) {
    if (type == ISOType) return;
    ISOType = type;
    if (type < 6) {
        ISOColour1 = kMarking[type].c1;
        ISOColour2 = kMarking[type].c2;
    }
    Draw();
    SendState();
}

void TTCS::SetOccupiedState(bool occupied) {
    if (occupied) {
        OccupyCount = 1;
        StateTime = 0;
        ClearDelay = 0;
    } else {
        OccupyCount = 0;
        StateTime = 0;
        ClearDelay = 3;
    }
    Draw();
    SendState();
}

void TTCS::SendState() {
    if (!sim_.IsBroadcasting()) return;
    const int index = sim_.TrackCircuits.IndexOf(this);
    if (index < 0) return;
    char buf[16];
    std::snprintf(buf, sizeof buf, "TA%04X%c%X", index & 0xFFFF, IsOccupied() ? '1' : '0',
                  ISOType & 0xF);
    sim_.Broadcast(buf);
}

void TTCS::ApplyState(std::string_view body) {
    if (body.size() < 2) return;
    const int type = HexDigit(body[1]);
    if (body[0] != '0' && body[0] != '1') return;
    if (type < 0) return;
    // The marking first, so that SetOccupiedState's redraw shows both.
    if (type != ISOType) {
        ISOType = static_cast<std::uint8_t>(type);
        if (type < 6) {
            ISOColour1 = kMarking[type].c1;
            ISOColour2 = kMarking[type].c2;
        }
    }
    SetOccupiedState(body[0] == '1');
}

void TTCS::MajorCycle() {
    if (sim_.ClientMode || OccupyCount > 0 || ClearDelay >= 3) return;
    ++ClearDelay;
    if (ClearDelay == 3) {
        Draw();
        if (sim_.TrainDescriber) sim_.TrainDescriber->BerthTDTrigger(*this, false);
        SendState();
    }
}

void TTCS::OneSecond() {
    if (StateTime < std::numeric_limits<std::int32_t>::max()) ++StateTime;
}

void TTCS::AssessorOccupy() {
    ++AssessorOccupants;
    Occupy();
}

bool TTCS::AssessorVacate() {
    if (AssessorOccupants <= 0) return false;
    --AssessorOccupants;
    Vacate();
    return true;
}

void TTCS::Reset() {
    AssessorOccupants = 0;
    OccupyCount = 0;
    StateTime = 0;
    ClearDelay = 3;
    ISOType = IsoNone;
    ISOColour1 = 0;
    ISOColour2 = 0;
    TSRs.FreeObjects();
}

bool TTCS::Save(ValueWriter& writer) {
    writer.WriteInteger(OccupyCount);
    writer.WriteInteger(StateTime);
    writer.WriteInteger(ClearDelay);
    writer.WriteInteger(ISOType);
    writer.WriteInteger(static_cast<std::int32_t>(ISOColour1));
    writer.WriteInteger(static_cast<std::int32_t>(ISOColour2));
    SaveCounted(writer, TSRs);
    return true;
}

bool TTCS::StageLoad(ValueReader& reader, LoadCommits& commits) {
    struct Record {
        std::int32_t occupy, stateTime, clearDelay, isoType, colour1, colour2;
    } rec;
    rec.occupy = reader.ReadInteger();
    rec.stateTime = reader.ReadInteger();
    rec.clearDelay = reader.ReadInteger();
    rec.isoType = reader.ReadInteger();
    rec.colour1 = reader.ReadInteger();
    rec.colour2 = reader.ReadInteger();
    if (rec.occupy < 0 || rec.clearDelay < 0 || rec.clearDelay > 3 || rec.isoType < 0 ||
        rec.isoType > 255)
        return false;
    std::vector<std::unique_ptr<TTSR>> tsrs;
    if (!ReadCounted(
            reader, TTSR::MinRecordBytes, [this] { return std::make_unique<TTSR>(this); }, tsrs))
        return false;
    commits.Add([this, rec, tsrs = std::move(tsrs)]() mutable {
        OccupyCount = rec.occupy;
        StateTime = rec.stateTime;
        ClearDelay = rec.clearDelay;
        SetISOType(static_cast<std::uint8_t>(rec.isoType));
        ISOColour1 = static_cast<Colour>(rec.colour1);
        ISOColour2 = static_cast<Colour>(rec.colour2);
        TSRs.FreeObjects();
        for (auto& t : tsrs) TSRs.Adopt(std::move(t));
    });
    return true;
}

TULC* TTCS::FirstRouteLockedSubroute() const {
    for (int i = 0; i < Subroutes.Count(); ++i) {
        TULC* s = Subroutes.At(i);
        if (s && s->IsRouteLocked()) return s;
    }
    return nullptr;
}

TULC* TTCS::FindSubrouteToSignal(const TSIG* signal) const {
    TULC* controlled = nullptr;
    TULC* any = nullptr;
    for (int i = 0; i < Subroutes.Count(); ++i) {
        TULC* s = Subroutes.At(i);
        if (!s || s->EndSignal != signal) continue;
        if (s->IsRouteLocked()) return s;
        if (!controlled && s->PointsControlledInPosition()) controlled = s;
        if (!any) any = s;
    }
    return controlled ? controlled : any;
}

bool TTCS::HasOverlapLock() const { return !Subroutes.IsOverlapFree(); }

void TTCS::Draw() {
    Berths.Draw();
    Points.Draw();
    // Unlit arrows first, so that a lit arrow is drawn over an unlit one.
    for (int i = 0; i < Subroutes.Count(); ++i) {
        TULC* s = Subroutes.At(i);
        if (s && s->IsFree()) s->DrawArrows();
    }
    for (int i = 0; i < Subroutes.Count(); ++i) {
        TULC* s = Subroutes.At(i);
        if (s && s->IsRouteLocked()) s->DrawArrows();
    }
    bool locked = false;
    for (int i = 0; i < Subroutes.Count() && !locked; ++i) {
        const TULC* s = Subroutes.At(i);
        locked = s && (s->IsRouteLocked() || s->IsOverlapHeld());
    }
    auto drawLocking = [this] {
        for (int i = 0; i < Subroutes.Count(); ++i) {
            TULC* s = Subroutes.At(i);
            if (s && (s->IsRouteLocked() || s->IsOverlapHeld())) s->DrawLocking();
        }
    };
    if (IsClear()) {
        TrackElements.DrawColour2Bg(ClGrey, ISOColour1, ISOColour2);
        if (locked) drawLocking();
    } else if (locked) {
        TrackElements.DrawColour2Bg(ClGrey, ISOColour1, ISOColour2);
        drawLocking();
    } else {
        TrackElements.DrawColour2Bg(ClRed, ISOColour1, ISOColour2);
    }
    // The selected entrance's marker stands on the track in front of its signal: drawn
    // over again, so that the track's own redraw (a route setting, a train, the whole
    // panel redrawn) does not wipe it out until the signal's next cycle.
    if (TSIG* entrance = sim_.Operator.SelectedEntrance) entrance->Draw();
}

bool TTCSList::IsClear() const {
    for (int i = 0; i < Count(); ++i) {
        const TTCS* c = At(i);
        if (c && !c->IsClear()) return false;
    }
    return true;
}

void TTCSList::HandleClientMessage(std::string_view payload) {
    if (payload.size() < 6) return;
    const int index = ParseHex4(payload.substr(2, 4));
    if (index < 0 || index >= Count()) return;
    // State comes from the server only: a server takes no occupation from a client.
    if (payload.substr(0, 2) == "TA" && At(index)->sim().ClientMode)
        At(index)->ApplyState(payload.substr(6));
    // The assessor's occupation or clearance, taken on the server from the assessor's
    // connection only (the session checks the sender). It adds or takes away one of the
    // assessor's own occupants, never a train's.
    if (payload.substr(0, 2) == "CC" && !At(index)->sim().ClientMode && payload.size() >= 7) {
        if (payload[6] == '1')
            At(index)->AssessorOccupy();
        else if (payload[6] == '0')
            At(index)->AssessorVacate();
    }
}

}  // namespace kestra
