#pragma once
// The assessor's control panel without its window: what an assessor watching a trainee
// does to the simulation by hand (equipment failures, occupations, isolation markings,
// power failures over a location, temporary speed restrictions, train pauses and
// authorities to pass a signal at danger), each action logged with the simulation
// time, and the assessor's report combining the log, comments and the performance
// counters. The window (app/) shows lists of the objects and calls these.
//
// On a multiplayer client the failure actions go to the server as requests ("CA",
// "CB", "CC"), which the server takes from an assessor's connection only.

#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

class Sim;
class TPTS;
class TSIG;
class TTCS;
class TULC;
class TLOC;
class TTRN;
class TTSR;
class TSSIObject;
class TLevelCrossing;

// What "Pass next signal irrespective of aspect" gives a train.
enum class SPADChoice : std::uint8_t { KeepGoing = 1, StopAtDistance = 2, StopNextSignal = 3 };

// A restriction as the editor shows it: the owner (a track circuit or a subroute), the
// identity, speeds in mph and the stretch of a subroute in metres.
struct TSRDraft {
    TSSIObject* Owner = nullptr;
    std::string Identity;
    std::int32_t FreightMph = 0;
    std::int32_t PassengerMph = 0;
    std::int32_t FromPosition = 0;
    std::int32_t ToPosition = 0;
};

class TAssessor {
  public:
    // startDateTime: the real date and time the panel was made (the program's start).
    TAssessor(Sim& sim, std::string startDateTime);

    // --- the log
    // Appends the simulation time, three blanks and the text.
    void LogAction(const std::string& text);
    const std::vector<std::string>& ActionLog() const { return log_; }
    const std::string& AssessmentStart() const { return start_; }

    // --- General: taking control of random failures and drivers' calls.
    void SetInControl(bool on);
    bool InControl() const;

    // --- Points: detection available or failed, for the points and its pair.
    void SetNormalDetection(TPTS& points, bool available);
    void SetReverseDetection(TPTS& points, bool available);

    // --- Signals
    void SetLampProving(TSIG& signal, bool proved);

    // --- Track circuits
    void SetIsolation(TTCS& circuit, std::uint8_t type);
    void Occupy(TTCS& circuit);
    // Takes away one of the assessor's own occupants; false (nothing logged) when the
    // assessor added none: a train's occupation is never taken away.
    bool Unoccupy(TTCS& circuit);

    // --- Power failures over a location: its points lose detection both ways, its
    // signals their lamp proving, its circuits gain one occupant, its level crossings'
    // barriers fail; fixing undoes exactly that.
    void FailLocation(TLOC& location);
    void FixLocation(TLOC& location);

    // --- Trains
    void SetPaused(TTRN& train, bool paused);
    // The overrun is used for StopAtDistance only and must then be 1 to 9999; false
    // (nothing given) otherwise.
    bool GiveSPADAuthority(TTRN& train, SPADChoice choice, std::int32_t overrun);

    // --- Temporary speed restrictions added with the panel
    // Checks a draft as the editor's "Ok" does: "" when it may be used, else the message.
    static std::string CheckDraft(const TSRDraft& draft);
    // Creates the restriction at the front of its owner's list; none in client mode or
    // for a draft that does not pass the check.
    TTSR* AddTSR(const TSRDraft& draft);
    // Writes a draft back to one of the panel's restrictions, moving it to the front of
    // a new owner's list when the owner changed.
    bool EditTSR(TTSR* tsr, const TSRDraft& draft);
    bool DeleteTSR(TTSR* tsr);
    // The panel's restrictions in place (a new simulation frees them all; a loaded game
    // brings its own back).
    std::vector<TTSR*> TSRs();
    // The draft of one of them, for the editor.
    static TSRDraft DraftOf(const TTSR& tsr);

    // --- Level crossings: a barrier that will not come down.
    void SetBarrierFailed(TLevelCrossing& crossing, bool failed);

    // --- The report
    std::vector<std::string> ReportLines(const std::string& assessor, const std::string& assessee,
                                         const std::vector<std::string>& comments,
                                         const std::string& endDateTime) const;
    // Writes the report; false when the file could not be written.
    bool WriteReport(const std::string& path, const std::string& assessor,
                     const std::string& assessee, const std::vector<std::string>& comments) const;

  private:
    struct PanelTSR {
        TTSR* Restriction;
        TSSIObject* Owner;
    };
    bool StillPlaced(const PanelTSR& entry) const;
    // Forgets restrictions gone and takes in those a load placed.
    void RefreshTSRs();
    // The ID of a restriction's owner, for the log.
    static std::string OwnerText(const TSSIObject* owner, bool& subroute);

    Sim& sim_;
    std::string start_;
    std::vector<std::string> log_;
    std::vector<PanelTSR> tsrs_;
};

// The line the report writer shows for any write error.
inline constexpr const char* AssessorReportError =
    "Error during saving of logfile. Try another filename or a different location.";

}  // namespace kestra
