#include <algorithm>
#include <array>
#include <memory>

#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "places/location.h"
#include "sim/sim.h"
#include "trains/train.h"

namespace kestra {

namespace {

// Seconds a driver takes to start after the signal clears: 2 + random 0..4.
constexpr std::int32_t kStartDelayBase = 2;
constexpr std::int32_t kStartDelayRandom = 5;
// Seconds before a driver held at a red signal telephones: 105 + random 0..29.
constexpr std::int32_t kPhoneDelayBase = 105;
constexpr std::int32_t kPhoneDelayRandom = 30;
// Seconds before a driver at a wrong route telephones: 15 + random 0..14.
constexpr std::int32_t kWrongRoutePhoneBase = 15;
constexpr std::int32_t kWrongRoutePhoneRandom = 15;
// Random seconds added to a departure; the train is ready to start this long before.
constexpr std::int32_t kDepartureRandom = 15;
// A random station delay: 2 chances in 500, 90 + random 0..119 seconds.
constexpr std::int32_t kStationDelayChances = 2;
constexpr std::int32_t kStationDelayOutOf = 500;
constexpr std::int32_t kStationDelayBase = 90;
constexpr std::int32_t kStationDelayRandom = 120;
// Reversing at a key location: 5 s for every 20 m of train, random 0..14 more, 30 s at least.
constexpr std::int32_t kReverseSecondsPerStep = 5;
constexpr std::int32_t kReverseMetresPerStep = 20;
constexpr std::int32_t kReverseRandom = 15;
constexpr std::int32_t kReverseMinimum = 30;
// Closing the doors and the right-away of a passenger train: 13 + random 0..11.
constexpr std::int32_t kDoorsBase = 13;
constexpr std::int32_t kDoorsRandom = 12;

// The replies' waits, base + random 0..n-1 seconds.
constexpr std::int32_t kWait2Base = 120;
constexpr std::int32_t kWait2Random = 60;
constexpr std::int32_t kWait5Base = 300;
constexpr std::int32_t kWait5Random = 60;
constexpr std::int32_t kWait15Base = 930;
constexpr std::int32_t kWait15Random = 120;

// The kinds of driver call.
enum DriverCallKind : std::int32_t {
    CallPassedAtDanger = 1,
    CallWaitingAtRed = 2,
    CallWrongRoute = 3,
    CallLineExamined = 4,
};
static_assert(CallLineExamined == kHighestCallKind, "the saved record holds every call kind");

// The replies of a call at a red signal, in the order the signaller is offered them.
enum WaitingReply : int {
    ReplyWait2 = 0,
    ReplyWait5 = 1,
    ReplyWait15 = 2,
    ReplyPassAtDanger = 3,
    ReplyExamineLine = 4,
    ReplyExamineAndPass = 5,
};

constexpr std::array<const char*, 10> kStationDelayReasons = {
    "assistance being given to a wheelchair passenger",
    "police attendance",
    "ambulance attendance",
    "technical reasons",
    "door problems",
    "a technical fault",
    "passenger disturbances",
    "the wrong kind of food trolley",
    "unexplained reasons",
    "a broken window being replaced",
};

bool StartsWithOneOf(const std::string& id, std::string_view firsts) {
    return !id.empty() && firsts.find(id[0]) != std::string_view::npos;
}

// Passenger classes: calls, doors and goods lines.
bool IsPassengerClass(const std::string& id) {
    return StartsWithOneOf(id, "129");
}
// Passenger classes for station timing, where empty coaching stock counts too.
bool KeepsBookedTimes(const std::string& id) {
    return StartsWithOneOf(id, "1259");
}

const TULCLOC& StopPointOf(const TULC& subroute, int i) {
    return static_cast<const TULCLOC&>(*subroute.StopPoints.At(i));
}

}  // namespace

// --- calls

void TTRN::PlaceCall(std::int32_t kind, bool logIncident) {
    auto call = std::make_unique<TCall>();
    call->Caller = "Train " + ID;
    call->Train = this;
    call->CallKind = kind;
    call->OnReply = [this](TCall& c) { OnCallReply(c); };
    const std::string driver = "Driver of " + ID;
    switch (kind) {
        case CallPassedAtDanger:
            call->Message = driver + " informing you that the previous signal was passed at danger";
            call->Replies = {{"Wait for further instructions", false},
                             {"Authorise driver to continue moving", true}};
            break;
        case CallWaitingAtRed:
            call->Message = driver + " waiting at red signal";
            if (sim_.SimData.SignalInDriverCalls && SignalAhead && !SignalAhead->ID.empty())
                call->Message += " " + SignalAhead->ID.substr(1);
            call->Replies = {{"Wait 2 minutes for signal to clear before phoning back", false},
                             {"Wait 5 minutes for signal to clear before phoning back", false},
                             {"Wait 15 minutes for signal to clear before phoning back", false},
                             {"Authorise driver to pass signal at danger", true},
                             {"Ask driver to examine the line", false},
                             {"Ask driver to examine the line and pass signal at danger", true}};
            break;
        case CallWrongRoute:
            call->Message = driver + (State == TsNoTraction
                                          ? " has an incorrect route set - traction is not suitable"
                                          : " has an incorrect route set");
            call->Replies = {
                {"Wait 5 minutes for signal to be replaced to red and then clear again before "
                 "phoning back",
                 false},
                {"Abandon timetable", true}};
            break;
        default:
            call->Message =
                driver + " informing you that, after examining the line, no obstruction was found";
            call->Replies = {{"Ok", false}};
            break;
    }
    const std::string message = call->Message;
    PendingCall = &sim_.Calls.AddCall(std::move(call));
    if (logIncident) sim_.Incidents.AddIncident(message);
}

void TTRN::WithdrawCall() {
    if (!PendingCall) return;
    TCall* call = PendingCall;
    PendingCall = nullptr;
    sim_.Calls.RemoveCall(call);
}

// The signaller's reply to one of this train's calls: forget the call, act, remove it.
void TTRN::OnCallReply(TCall& call) {
    if (PendingCall == &call) PendingCall = nullptr;
    const int reply = call.ReplyIndex;
    // A train told to go on from its starting signal leaves its stop as it would have
    // done when the signal cleared; otherwise it would stop again at the same platform.
    const bool atStartingSignal = State == TsReadyToStart;
    switch (call.CallKind) {
        case CallPassedAtDanger:
            if (reply == 1) SetState(TsMoving);
            break;
        case CallWaitingAtRed:
            switch (reply) {
                case ReplyWait2:
                    Timer = kWait2Base + sim_.RandomInt(kWait2Random);
                    break;
                case ReplyWait5:
                    Timer = kWait5Base + sim_.RandomInt(kWait5Random);
                    break;
                case ReplyWait15:
                    Timer = kWait15Base + sim_.RandomInt(kWait15Random);
                    break;
                case ReplyPassAtDanger:
                    SetPassAuthority(PassNext, 0);
                    break;
                case ReplyExamineLine:
                    CautionMode = CautionAsked;
                    SetState(TsMoving);
                    break;
                case ReplyExamineAndPass:
                    CautionMode = CautionAsked;
                    SetPassAuthority(PassNext, 0);
                    break;
                default:
                    break;
            }
            break;
        case CallWrongRoute:
            if (reply == 0) {
                Timer = kWait5Base + sim_.RandomInt(kWait5Random);
            } else if (reply == 1) {
                SetTripIndex(-1);
                SetState(TsMoving);
                // The signaller accepts the route the driver stands at: the train runs
                // on past this signal without being stopped by the same test again.
                RouteAcceptedAt = SignalAhead;
            }
            break;
        case CallLineExamined:
            CautionMode = CautionNone;
            SetState(TsMoving);
            break;
        default:
            break;
    }
    if (atStartingSignal && State == TsMoving) LeaveStop();
    sim_.Calls.RemoveCall(&call);
}

void TTRN::LeaveStop() {
    if (!Timetable || !CurTrip) return;
    ReportDeparture();
    SetTripIndex(TripIndex + 1);
    if (!CurTrip) SetState(TsTerminated);
}

// The driver's count-down to telephoning, while held at a signal: phones when it runs
// out and no call is waiting; withdraws the call once the signal clears.
void TTRN::CountDownToCall() {
    if (Timer > 0) --Timer;
    // While the assessor is in control the driver waits without telephoning.
    if (Timer < 1 && !PendingCall && !sim_.AssessorInControl) {
        // The other players see that the driver is waiting; the call rings here.
        sim_.Messages().BroadcastEventMessage(ID + " waiting at red signal", EvWaitingAtRed);
        PlaceCall(CallWaitingAtRed);
    }
    if (SignalAhead->ShowsProceedToDriver() && CautionMode == CautionNone) {
        WithdrawCall();
        SubState = 2;
    }
}

// --- waiting at a red signal (state 1)

void TTRN::WaitAtRed() {
    Speed = 0;
    if (!SignalAhead) {
        SetState(TsMoving);
        return;
    }
    switch (SubState) {
        case 0:
            // The driver owns up to a signal passed at danger before anything else.
            if (PassMode == PassCountingDown || PassMode == PassStopAtNext) {
                PlaceCall(CallPassedAtDanger);
                PassMode = PassNone;
            }
            Timer = kPhoneDelayBase + sim_.RandomInt(kPhoneDelayRandom);
            SubState = 1;
            // The count-down starts in the second the train stands.
            [[fallthrough]];
        case 1: {
            // A train starting its working here, drawn up to the platform starter, is
            // ready to go: the train ready to start plunger is pressed again if it went out
            // (a train ahead in the same platform cleared the signal and took the
            // indication with it, as the front portion of a divided train does).
            const bool startedHere = Timetable && !Timetable->EntryPoint &&
                                     Timetable->Trips.Count() > 0 && LastLocation &&
                                     LastLocation == Timetable->Trips.Items[0].Location;
            if (startedHere && SignalAhead->HasTRTS() && !SignalAhead->TRTSOperated) {
                SignalAhead->OperateTRTS();
                if (SignalAhead->TRTSOperated) {
                    std::string text = "TRTS for " + ID;
                    if (LastLocation) text += " at " + LastLocation->Name;
                    sim_.PostEventMessage(text, EvReadyToStart);
                }
            }
            // A driver who has examined the line reports it; a train holds one call at a
            // time, so when the passed signal was reported first this call follows once
            // that one is answered.
            if (CautionMode == CautionExamining && !PendingCall) PlaceCall(CallLineExamined);
            CountDownToCall();
            break;
        }
        case 2:
            Timer = kStartDelayBase + sim_.RandomInt(kStartDelayRandom);
            SubState = 3;
            break;
        default:
            if (--Timer < 1) SetState(TsMoving);
            break;
    }
}

// --- station stop (state 3)

void TTRN::DrawStationDelay() {
    if (sim_.RandomInt(kStationDelayOutOf) >= kStationDelayChances) return;
    const char* reason =
        kStationDelayReasons[static_cast<std::size_t>(sim_.RandomInt(kStationDelayReasons.size()))];
    Timer += kStationDelayBase + sim_.RandomInt(kStationDelayRandom);
    sim_.Incidents.AddIncident(ID + " delayed at " + LastLocation->Name + " due to " + reason);
}

void TTRN::StationStop() {
    Speed = 0;
    if (!CurTrip || !LastLocation) return;
    const std::int32_t now = sim_.SimTime;
    if (Timer == 0) {
        ReportArrival();
        if (HeadULC->LeavesArea) {
            // Terminates at the boundary: the train is gone, its minutes accounted.
            SetState(TsLeaving);
            VacateAll();
            sim_.Performance.AccountMinutes(*this);
            return;
        }
        if (StartArrivalActivity()) return;

        // The departure time.
        const TLOC& location = *LastLocation;
        if (CurTrip->DepTime - location.StandardDwell < now) {
            Timer = now + location.MinimumDwell + sim_.RandomInt(kDepartureRandom);
        } else if (KeepsBookedTimes(ID)) {
            Timer = CurTrip->DepTime + sim_.RandomInt(kDepartureRandom);
            DrawStationDelay();
        } else {
            // Other trains leave as soon as they have stood their time.
            Timer = now + location.StandardDwell + sim_.RandomInt(kDepartureRandom);
        }

        // Reversing at a timing point takes time by the train's length.
        const bool down = Direction() == 1;
        if (location.KeyLocation && down != CurTrip->DownDirection) {
            Timer += std::max(kReverseMinimum,
                              sim_.RandomInt(kReverseRandom) +
                                  (Length / kReverseMetresPerStep) * kReverseSecondsPerStep);
            if (CanReverse())
                Reverse();
            else
                sim_.Trace("Warning: Cannot reverse " + ID + " at " + location.Name);
        }

        sim_.Performance.AccountMinutes(*this);
        TakeNextService();
        // A departure time of 0 would make the next second an arrival again.
        if (State == TsAtStation && Timer == 0) Timer = 1;
        return;
    }
    if (now >= Timer - kDepartureRandom) {
        if (Timetable && TripIndex + 1 < Timetable->Trips.Count()) {
            SignalAhead = HeadULC->NextSignal();
            SetState(TsReadyToStart);
        } else {
            CurTrip = nullptr;
            SetState(TsTerminated);
        }
    }
}

// --- ready to start (state 11)

void TTRN::ReadyToStart() {
    Speed = 0;
    const bool blocked = SignalAhead && !SignalAhead->ShowsProceedToDriver() &&
                         !IsPassingAuthority(PassMode) && !SignalAhead->RouteProvedAtDanger();
    if (blocked) {
        LookAhead.clear();
        FindTrainInFront();
        if (!TrainInFront) {
            const bool wasOperated = SignalAhead->TRTSOperated;
            SignalAhead->OperateTRTS();
            if (!wasOperated && SignalAhead->TRTSOperated && Timetable) {
                std::string text = "TRTS for " + ID;
                if (LastLocation) text += " at " + LastLocation->Name;
                sim_.PostEventMessage(text, EvReadyToStart);
            }
        }
        if (SubState == 0) {
            Timer = kPhoneDelayBase + sim_.RandomInt(kPhoneDelayRandom);
            SubState = 1;
        } else if (SubState == 1) {
            CountDownToCall();
        }
        return;
    }
    WithdrawCall();
    if (SubState < 2) {
        if (IsPassengerClass(ID)) {
            SubState = 2;
            Timer = kDoorsBase + sim_.RandomInt(kDoorsRandom);
        } else {
            Timer = 0;
        }
    }
    if (--Timer < 1) {
        LookAhead.clear();
        FindTrainInFront();
        if (TrainInFront) return;
        SetState(TsMoving);
        LeaveStop();
    }
}

// --- wrong route (state 9) and unsuitable traction (state 13)

void TTRN::WrongRouteWait() {
    Speed = 0;
    if (!SignalAhead) {
        SetState(TsMoving);
        return;
    }
    switch (SubState) {
        case 0:
            Timer = kWrongRoutePhoneBase + sim_.RandomInt(kWrongRoutePhoneRandom);
            SubState = 1;
            sim_.Performance.Penalise(kWrongRouteStandingPenalty);
            break;
        case 1: {
            if (Timer > 0) --Timer;
            if (Timer < 1 && !PendingCall) {
                sim_.Messages().BroadcastEventMessage(ID + " has wrong route set", EvWaitingAtRed);
                PlaceCall(CallWrongRoute);
                sim_.Performance.Penalise(kWrongRouteStandingPenalty);
            }
            if (!SignalAhead->ShowsProceedToDriver()) {
                // The signal was put back: the train now waits at it like any other.
                SetState(TsAtRed);
                break;
            }
            const bool wrong = Timetable && CurTrip && !SkipNextStop && IsWrongRoute(*SignalAhead);
            const bool traction = PowerTypes == 0 || SignalAhead->RouteSuitsTraction(
                                                         static_cast<std::uint8_t>(PowerTypes));
            const bool hook = sim_.Hooks.WrongRouteHook &&
                              sim_.Hooks.WrongRouteHook(*this, SignalAhead->CurrentRoute);
            if (!wrong && traction && !hook) {
                WithdrawCall();
                SubState = 2;
            }
            break;
        }
        case 2:
            Timer = kStartDelayBase + sim_.RandomInt(kStartDelayRandom);
            SubState = 3;
            break;
        default:
            if (--Timer < 1) SetState(TsMoving);
            break;
    }
}

// --- the checks past a signal

bool TTRN::IsWrongRoute(const TSIG& signal) const {
    if (!Timetable || !CurTrip || SkipNextStop) return false;
    if (!signal.ShowsProceed() || !signal.CurrentRoute || !signal.CurrentRoute->RouteSet)
        return false;
    const TTimetableTrip* first = Timetable->NextKeyTrip(TripIndex);
    if (!first) return false;
    const auto firstIndex = static_cast<int>(first - Timetable->Trips.Items.data());
    const TTimetableTrip* second = Timetable->NextKeyTrip(firstIndex + 1);
    const TSSIList& excluded = signal.CurrentRoute->ExcludedLocations;
    return (first->Location && excluded.IndexOf(first->Location) >= 0) ||
           (second && second->Location && excluded.IndexOf(second->Location) >= 0);
}

bool TTRN::StoppedOnEnteringPastSignal(TSIG& signal) {
    if (RouteAcceptedAt == &signal) {
        RouteAcceptedAt = nullptr;
        return false;
    }
    RouteAcceptedAt = nullptr;
    std::uint8_t stop = TsMoving;
    if (IsWrongRoute(signal))
        stop = TsWrongRoute;
    else if (PowerTypes != 0 && !signal.RouteSuitsTraction(static_cast<std::uint8_t>(PowerTypes)))
        stop = TsNoTraction;
    else if (sim_.Hooks.WrongRouteHook && sim_.Hooks.WrongRouteHook(*this, signal.CurrentRoute))
        stop = TsWrongRoute;
    if (stop != TsMoving) {
        sim_.Performance.Penalise(kWrongRoutePenalty);
        ++sim_.Performance.WrongRoutes;
        SetState(stop);
        // The driver stands at this signal and watches it.
        SignalAhead = &signal;
        return true;
    }
    return false;
}

void TTRN::NoteGoodsLine(const TULC& from, const TULC& to) {
    if (!IsPassengerClass(ID) || from.GoodsLine || !to.GoodsLine) return;
    sim_.PostEventMessage(ID + " has been sent onto a goods line", EvTips);
    ++sim_.Performance.WrongRoutes;
    sim_.Performance.Penalise(kGoodsLinePenalty);
}

// --- timing-point reports

void TTRN::WorkOutPlatformUsed() {
    PlatformUsed.clear();
    if (!CurTrip || !HeadULC) return;
    const TLOC* location = CurTrip->Location;
    const std::string& booked = CurTrip->Platform;
    const TULCLOC* first = nullptr;
    const TULCLOC* adjacent = nullptr;
    for (int k = 0; k < HeadULC->StopPoints.Count(); ++k) {
        const TULCLOC& point = StopPointOf(*HeadULC, k);
        if (point.Location != location) continue;
        if (point.Platform == booked) {
            PlatformUsed = point.Platform;
            return;
        }
        if (location && location->IsAdjacent(booked, point.Platform)) adjacent = &point;
        if (!first) first = &point;
    }
    if (adjacent)
        PlatformUsed = adjacent->Platform;
    else if (first)
        PlatformUsed = first->Platform;
}

void TTRN::MakeReport(const std::string& verb, std::int32_t lateness) {
    const std::int32_t m = lateness / 60;
    sim_.Record.NoteReport(sim_, *this, verb, sim_.SimTime - lateness, m);
    const std::int32_t entryDelay = Timetable ? Timetable->Delay : 0;
    sim_.Performance.ScoreTimingPoint(MinutesLostInArea(m, entryDelay));
    const bool arrival = verb == "arrived at";
    if (!arrival || HeadULC->LeavesArea) Lateness = std::max(0, m) * 60;

    std::string text = ID + " " + verb + " " + LastLocation->Name + " ";
    if (m == 0)
        text += "on time";
    else if (m > 0)
        text += std::to_string(m) + " min(s) late";
    else
        text += std::to_string(-m) + " min(s) early";

    if (!CurTrip->Platform.empty()) {
        const std::string& booked = CurTrip->Platform;
        const TLOC* location = CurTrip->Location;
        PlatformScoreKind kind = PlatformWrong;
        if (!PlatformUsed.empty() && PlatformUsed == booked)
            kind = PlatformBooked;
        else if (!PlatformUsed.empty() && location && location->IsAdjacent(booked, PlatformUsed))
            kind = PlatformAdjacent;
        if (kind == PlatformAdjacent) text += " (opposite platform)";
        if (kind == PlatformWrong) text += " (wrong platform)";
        sim_.Performance.ScorePlatform(kind);
    }

    const std::int32_t level = sim_.Options().LocationReporting;
    if (level == ReportAlways || (level == ReportTwoMinutesLate && m >= 2) ||
        (level == ReportFiveMinutesLate && m >= 5))
        sim_.PostEventMessage(text, EvLocationReport);
}

void TTRN::ReportArrival() {
    // A train back at its stop after a divide or a join reported when it drew up.
    if (ArrivalAlreadyReported) {
        ArrivalAlreadyReported = false;
        return;
    }
    if (!CurTrip || !LastLocation || NoReports || CurTrip->AutoInserted) return;
    WorkOutPlatformUsed();
    const std::int32_t now = sim_.SimTime;
    if (CurTrip->ArrTime != 0) {
        MakeReport("arrived at", now - CurTrip->ArrTime);
    } else if (HeadULC->LeavesArea && !CurTrip->IsPass && CurTrip->DepTime != 0) {
        MakeReport("arrived at", now - CurTrip->DepTime - LastLocation->MinimumDwell);
    }
    SkipNextStop = false;
}

void TTRN::ReportDeparture() {
    if (!CurTrip || !LastLocation || NoReports || CurTrip->AutoInserted) return;
    WorkOutPlatformUsed();
    if (CurTrip->DepTime != 0)
        MakeReport(CurTrip->IsPass ? "passed" : "departed from", sim_.SimTime - CurTrip->DepTime);
    SkipNextStop = false;
}

}  // namespace kestra
