#include "assess/assessor.h"

#include <fstream>
#include <memory>

#include "interlocking/level_crossing.h"
#include "interlocking/points.h"
#include "interlocking/signal.h"
#include "interlocking/speed_restriction.h"
#include "interlocking/state_message.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "places/location.h"
#include "sim/sim.h"
#include "trains/train.h"

namespace kestra {

TAssessor::TAssessor(Sim& sim, std::string startDateTime)
    : sim_(sim), start_(std::move(startDateTime)) {}

void TAssessor::LogAction(const std::string& text) {
    log_.push_back(sim_.FormatSimTime() + "   " + text);
}

void TAssessor::SetInControl(bool on) {
    sim_.AssessorInControl = on;
}

bool TAssessor::InControl() const {
    return sim_.AssessorInControl;
}

// --- points

namespace {

// The failure request for the points and its pair: applied here, or sent to the server.
void ApplyPointsFailure(Sim& sim, TPTS& points, bool failedNormal, bool failedReverse) {
    if (sim.ClientMode) {
        const int index = sim.Points.IndexOf(&points);
        if (index >= 0)
            sim.SendToServer("CA" + Hex4(index) + (failedNormal ? "1" : "0") +
                             (failedReverse ? "1" : "0"));
        return;
    }
    points.SetFailedNormal(failedNormal);
    points.SetFailedReverse(failedReverse);
    points.Paired.ForEach([&](TPTS& pair) {
        pair.SetFailedNormal(failedNormal);
        pair.SetFailedReverse(failedReverse);
    });
}

}  // namespace

void TAssessor::SetNormalDetection(TPTS& points, bool available) {
    ApplyPointsFailure(sim_, points, !available, points.FailedReverse);
    LogAction("Points " + points.ID +
              (available ? " recovered normal detection" : " failed normal detection"));
}

void TAssessor::SetReverseDetection(TPTS& points, bool available) {
    ApplyPointsFailure(sim_, points, points.FailedNormal, !available);
    LogAction("Points " + points.ID +
              (available ? " recovered reverse detection" : " failed reverse detection"));
}

// --- signals

void TAssessor::SetLampProving(TSIG& signal, bool proved) {
    if (sim_.ClientMode) {
        const int index = sim_.Signals.IndexOf(&signal);
        if (index >= 0) sim_.SendToServer("CB" + Hex4(index) + (proved ? "1" : "0"));
    } else {
        signal.SetLampProved(proved);
    }
    LogAction("Signal " + signal.ID +
              (proved ? " recovered lamp proving" : " failed lamp proving"));
}

// --- track circuits

void TAssessor::SetIsolation(TTCS& circuit, std::uint8_t type) {
    if (type > IsoBET || sim_.ClientMode) return;
    circuit.SetISOType(type);
}

void TAssessor::Occupy(TTCS& circuit) {
    if (sim_.ClientMode) {
        const int index = sim_.TrackCircuits.IndexOf(&circuit);
        if (index >= 0) sim_.SendToServer("CC" + Hex4(index) + "1");
    } else {
        circuit.AssessorOccupy();
    }
    LogAction("Track " + circuit.ID + " occupied");
}

bool TAssessor::Unoccupy(TTCS& circuit) {
    if (sim_.ClientMode) {
        const int index = sim_.TrackCircuits.IndexOf(&circuit);
        if (index >= 0) sim_.SendToServer("CC" + Hex4(index) + "0");
    } else if (!circuit.AssessorVacate()) {
        return false;
    }
    LogAction("Track " + circuit.ID + " cleared");
    return true;
}

// --- power failures

void TAssessor::FailLocation(TLOC& location) {
    sim_.Points.ForEach([&](TPTS& p) {
        if (p.Location != &location) return;
        if (sim_.ClientMode) {
            ApplyPointsFailure(sim_, p, true, true);
        } else {
            p.SetFailedNormal(true);
            p.SetFailedReverse(true);
        }
    });
    sim_.Signals.ForEach([&](TSIG& s) {
        if (s.Location != &location) return;
        if (sim_.ClientMode) {
            const int index = sim_.Signals.IndexOf(&s);
            if (index >= 0) sim_.SendToServer("CB" + Hex4(index) + "0");
        } else {
            s.SetLampProved(false);
        }
    });
    sim_.TrackCircuits.ForEach([&](TTCS& c) {
        if (c.Location != &location) return;
        if (sim_.ClientMode) {
            const int index = sim_.TrackCircuits.IndexOf(&c);
            if (index >= 0) sim_.SendToServer("CC" + Hex4(index) + "1");
        } else {
            c.AssessorOccupy();
        }
    });
    if (!sim_.ClientMode) {
        sim_.LevelCrossings.ForEach([&](TLevelCrossing& lx) {
            if (lx.Location == &location) lx.SetBarrierFailed(true);
        });
    }
    LogAction("Power failure placed over " + location.Name + " area");
}

void TAssessor::FixLocation(TLOC& location) {
    sim_.Points.ForEach([&](TPTS& p) {
        if (p.Location != &location) return;
        if (sim_.ClientMode) {
            ApplyPointsFailure(sim_, p, false, false);
        } else {
            p.SetFailedNormal(false);
            p.SetFailedReverse(false);
        }
    });
    sim_.Signals.ForEach([&](TSIG& s) {
        if (s.Location != &location) return;
        if (sim_.ClientMode) {
            const int index = sim_.Signals.IndexOf(&s);
            if (index >= 0) sim_.SendToServer("CB" + Hex4(index) + "1");
        } else {
            s.SetLampProved(true);
        }
    });
    sim_.TrackCircuits.ForEach([&](TTCS& c) {
        if (c.Location != &location) return;
        if (sim_.ClientMode) {
            const int index = sim_.TrackCircuits.IndexOf(&c);
            if (index >= 0) sim_.SendToServer("CC" + Hex4(index) + "0");
        } else {
            // Only the occupant the failure added: a train's stays.
            c.AssessorVacate();
        }
    });
    if (!sim_.ClientMode) {
        sim_.LevelCrossings.ForEach([&](TLevelCrossing& lx) {
            if (lx.Location == &location) lx.SetBarrierFailed(false);
        });
    }
    LogAction("Power failure removed from " + location.Name + " area");
}

// --- trains

void TAssessor::SetPaused(TTRN& train, bool paused) {
    if (sim_.ClientMode) return;
    // Logged like every other injection, so that the report shows when the train was
    // held and let go.
    if (train.Paused == paused) return;
    train.Paused = paused;
    LogAction("Train " + train.ID + (paused ? " paused" : " no longer paused"));
}

bool TAssessor::GiveSPADAuthority(TTRN& train, SPADChoice choice, std::int32_t overrun) {
    std::string name;
    switch (choice) {
        case SPADChoice::KeepGoing:
            name = "KeepGoing";
            break;
        case SPADChoice::StopAtDistance:
            if (overrun < 1 || overrun > 9999) return false;
            name = "StopAtDistance " + std::to_string(overrun) + "m";
            break;
        case SPADChoice::StopNextSignal:
            name = "StopNextSignal";
            break;
        default:
            return false;
    }
    // A client's request would name the train by an identity no server gives out: the
    // authority is given on the copy that runs the trains only.
    if (!sim_.ClientMode) train.SetPassAuthority(static_cast<std::uint8_t>(choice), overrun);
    LogAction("Train " + train.ID + " SPAD (" + name + ")");
    return true;
}

// --- temporary speed restrictions

std::string TAssessor::OwnerText(const TSSIObject* owner, bool& subroute) {
    subroute = dynamic_cast<const TULC*>(owner) != nullptr;
    return owner ? owner->ID : std::string();
}

std::string TAssessor::CheckDraft(const TSRDraft& draft) {
    if (draft.Identity.empty()) return "An identity must be entered";
    if (!draft.Owner || (!dynamic_cast<TTCS*>(draft.Owner) && !dynamic_cast<TULC*>(draft.Owner)))
        return "A track circuit or subroute must be selected";
    if (draft.FreightMph < 0 || draft.PassengerMph < 0 || draft.FreightMph > 999 ||
        draft.PassengerMph > 999 || draft.FromPosition < 0 || draft.ToPosition < 0)
        return "Invalid number";
    return {};
}

namespace {

TTSRList* TSRListOf(TSSIObject* owner) {
    if (auto* c = dynamic_cast<TTCS*>(owner)) return &c->TSRs;
    if (auto* s = dynamic_cast<TULC*>(owner)) return &s->TSRs;
    return nullptr;
}

void FillRestriction(TTSR& tsr, const TSRDraft& draft) {
    tsr.ID = draft.Identity;
    tsr.FreightSpeed = MphToMetresPerSecond(draft.FreightMph);
    tsr.PassengerSpeed = MphToMetresPerSecond(draft.PassengerMph);
    tsr.FromPosition = draft.FromPosition;
    tsr.ToPosition = draft.ToPosition;
}

}  // namespace

TSRDraft TAssessor::DraftOf(const TTSR& tsr) {
    TSRDraft d;
    d.Owner = tsr.Owner;
    d.Identity = tsr.ID;
    d.FreightMph = MetresPerSecondToMph(tsr.FreightSpeed);
    d.PassengerMph = MetresPerSecondToMph(tsr.PassengerSpeed);
    d.FromPosition = tsr.FromPosition;
    d.ToPosition = tsr.ToPosition;
    return d;
}

bool TAssessor::StillPlaced(const PanelTSR& entry) const {
    TTSRList* list = TSRListOf(entry.Owner);
    return list && list->IndexOf(entry.Restriction) >= 0;
}

void TAssessor::RefreshTSRs() {
    // A new simulation or a load frees every restriction: forget those gone.
    std::erase_if(tsrs_, [&](const PanelTSR& e) { return !StillPlaced(e); });
    // Restrictions come from this panel only: those a loaded game brought back are
    // taken in after the panel's own, in the order the lists hold them.
    auto takeIn = [&](TTSRList& list, TSSIObject* owner) {
        list.ForEach([&](TTSR& t) {
            for (const PanelTSR& e : tsrs_)
                if (e.Restriction == &t) return;
            tsrs_.push_back({&t, owner});
        });
    };
    sim_.TrackCircuits.ForEach([&](TTCS& c) { takeIn(c.TSRs, &c); });
    sim_.Subroutes.ForEach([&](TULC& u) { takeIn(u.TSRs, &u); });
}

std::vector<TTSR*> TAssessor::TSRs() {
    RefreshTSRs();
    std::vector<TTSR*> out;
    for (const PanelTSR& e : tsrs_) out.push_back(e.Restriction);
    return out;
}

TTSR* TAssessor::AddTSR(const TSRDraft& draft) {
    if (sim_.ClientMode || !CheckDraft(draft).empty()) return nullptr;
    TTSRList* list = TSRListOf(draft.Owner);
    auto tsr = std::make_unique<TTSR>();
    FillRestriction(*tsr, draft);
    TTSR& placed = list->Place(std::move(tsr), draft.Owner);
    tsrs_.push_back({&placed, draft.Owner});
    bool subroute = false;
    const std::string owner = OwnerText(draft.Owner, subroute);
    LogAction(std::string("Temporary speed restriction added to ") +
              (subroute ? "subroute " : "track ") + owner);
    return &placed;
}

bool TAssessor::EditTSR(TTSR* tsr, const TSRDraft& draft) {
    if (sim_.ClientMode || !CheckDraft(draft).empty()) return false;
    RefreshTSRs();
    for (PanelTSR& e : tsrs_) {
        if (e.Restriction != tsr || !StillPlaced(e)) continue;
        FillRestriction(*tsr, draft);
        if (draft.Owner != e.Owner) {
            bool subroute = false;
            const std::string was = OwnerText(e.Owner, subroute);
            TTSR* moved = TSRListOf(e.Owner)->MoveTo(tsr, *TSRListOf(draft.Owner), draft.Owner);
            e.Restriction = moved;
            e.Owner = draft.Owner;
            LogAction("Temporary speed restriction edited (was " + was + ", now " +
                      OwnerText(draft.Owner, subroute) + ")");
        }
        return true;
    }
    return false;
}

bool TAssessor::DeleteTSR(TTSR* tsr) {
    if (sim_.ClientMode) return false;
    RefreshTSRs();
    for (auto it = tsrs_.begin(); it != tsrs_.end(); ++it) {
        if (it->Restriction != tsr) continue;
        const PanelTSR entry = *it;
        tsrs_.erase(it);
        if (!StillPlaced(entry)) return false;
        bool subroute = false;
        const std::string owner = OwnerText(entry.Owner, subroute);
        TSRListOf(entry.Owner)->Remove(tsr);
        LogAction(std::string("Temporary speed restriction removed from ") +
                  (subroute ? "subroute " : "track ") + owner);
        return true;
    }
    return false;
}

// --- level crossings

void TAssessor::SetBarrierFailed(TLevelCrossing& crossing, bool failed) {
    if (sim_.ClientMode) return;
    crossing.SetBarrierFailed(failed);
    LogAction("Level crossing " + crossing.Name +
              (failed ? " barriers failed" : " barriers repaired"));
}

// --- the report

std::vector<std::string> TAssessor::ReportLines(const std::string& assessor,
                                                const std::string& assessee,
                                                const std::vector<std::string>& comments,
                                                const std::string& endDateTime) const {
    const TPerformance& p = sim_.Performance;
    std::vector<std::string> out;
    auto rule = [&](std::size_t n) { out.push_back(std::string(n, '-')); };
    rule(34);
    out.push_back("KESTRA TORVALE B - ASSESSOR REPORT");
    rule(34);
    out.push_back("");
    out.push_back("Name of person doing the assessing: " + assessor);
    out.push_back("Name of person being assessed:      " + assessee);
    out.push_back("Start date/time:                    " + start_);
    out.push_back("End date/time:                      " + endDateTime);
    out.push_back("");
    out.push_back("--------");
    out.push_back("Comments");
    out.push_back("--------");
    out.push_back("");
    for (const std::string& line : comments) out.push_back(line);
    out.push_back("");
    rule(20);
    out.push_back("Assessor action list");
    rule(20);
    out.push_back("");
    for (const std::string& line : log_) out.push_back(line);
    out.push_back("Note: Times in above list relate to simulation time, not real time.");
    out.push_back("");
    out.push_back("-------");
    out.push_back("Scoring");
    out.push_back("-------");
    out.push_back("");
    for (std::string& line : p.ScoringLines()) out.push_back(std::move(line));
    out.push_back("");
    rule(10);
    out.push_back("Signatures");
    rule(10);
    out.push_back("");
    out.push_back("");
    out.push_back("Assessor: ______________________________   Date: __________");
    out.push_back("");
    out.push_back("");
    out.push_back("Assessee: ______________________________   Date: __________");
    out.push_back("");
    out.push_back("");
    rule(13);
    out.push_back("END OF REPORT");
    rule(13);
    return out;
}

bool TAssessor::WriteReport(const std::string& path, const std::string& assessor,
                            const std::string& assessee,
                            const std::vector<std::string>& comments) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    for (const std::string& line :
         ReportLines(assessor, assessee, comments, sim_.Time().RealDateTime()))
        file << line << "\r\n";
    file.flush();
    return static_cast<bool>(file);
}

}  // namespace kestra
