#pragma once
// Telephone calls from drivers and others to the signaller, and the incident log: the
// engine's side of both. A call waits in the list until the signaller answers it or the
// party that placed it withdraws it; a train that leaves or is removed takes its call
// with it, so no call ever refers to a freed train.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestra {

class Sim;
class TTRN;
class ValueReader;
class ValueWriter;

// One reply choice; a reply that needs the signaller's confirmation says so.
struct TCallReply {
    std::string Text;
    bool Confirm = false;
};

// A call to the signaller.
class TCall {
  public:
    std::string Caller;
    // Called with the call when the signaller replies; it decides whether the call goes.
    // None: the call simply ends when answered.
    std::function<void(TCall&)> OnReply;
    std::string Message;
    std::vector<TCallReply> Replies;
    std::string ReplyText;
    // -1 while unanswered.
    std::int32_t ReplyIndex = -1;
    std::int32_t CallTime = 0;
    TTRN* Train = nullptr;
    std::int32_t CallKind = 0;

    bool IsUnanswered() const { return ReplyIndex < 0; }
};

// The outstanding calls, owned, in the order they were placed.
class TCallList {
  public:
    explicit TCallList(Sim& sim) : sim_(sim) {}
    TCallList(const TCallList&) = delete;
    TCallList& operator=(const TCallList&) = delete;

    // Appends the call, stamped with the clock, and gives it back.
    TCall& AddCall(std::unique_ptr<TCall> call);
    // Removes and frees the call; a call not in the list is left alone. The train that
    // placed it no longer holds it.
    void RemoveCall(const TCall* call);
    // Removes every call placed by the train (it leaves or is removed).
    void RemoveCallsOf(const TTRN* train);
    // Frees every call (a new simulation); no train holds one afterwards.
    void ClearCalls();
    // Any unanswered call other than the one the answer window shows.
    bool HasUnansweredCalls() const;
    // Any call with a reply chosen that its party still keeps.
    bool HasAwaitingCalls() const;
    // Answers the call with reply index (0-based): records the reply, shows it as a
    // telephone message and hands it to the call's party, or removes the call when it
    // has none. A reply handler that fails is ignored. False, with nothing changed, for
    // a call not in the list or an index out of range. The confirmation of a reply that
    // needs one is the answer window's business, before this.
    bool Reply(TCall& call, int index);

    // The answer window opens on a call of the list (false, and nothing shown, for a
    // call not in it) and closes. While it shows a call that call does not ring; when
    // its party withdraws it, the window is left showing nothing.
    bool ShowCall(TCall* call);
    void CloseAnswerWindow();
    // The call the answer window shows; none when closed or when the call has gone.
    TCall* ShownCall() const { return shown_; }
    // True while the window is open, whether or not its call is still there.
    bool AnswerWindowOpen() const { return windowOpen_; }
    // The reply chosen in the answer window. When the call has been withdrawn meanwhile
    // nothing is answered: the signaller is told that the caller has rung off (false).
    bool ReplyToShownCall(int index);

    bool Contains(const TCall* call) const;
    int Count() const { return static_cast<int>(Calls.size()); }
    TCall& At(int i) { return *Calls[static_cast<std::size_t>(i)]; }
    const TCall& At(int i) const { return *Calls[static_cast<std::size_t>(i)]; }

    std::vector<std::unique_ptr<TCall>> Calls;

  private:
    // Forgets the shown call when it goes, so that no later call that happens to take
    // its place in memory is mistaken for it.
    void Forget(const TCall* call);

    Sim& sim_;
    TCall* shown_ = nullptr;
    std::string shownCaller_;
    bool windowOpen_ = false;
};

// The incident log: lines of text, each beginning with the clock time it was written.
class TIncidentLog {
  public:
    explicit TIncidentLog(Sim& sim) : sim_(sim) {}
    TIncidentLog(const TIncidentLog&) = delete;
    TIncidentLog& operator=(const TIncidentLog&) = delete;

    // Appends "HH:MM:SS text".
    void AddIncident(const std::string& text);
    void ClearIncidents() { Lines.clear(); }
    // The saved record: the line count, then each line.
    bool SaveIncidents(ValueWriter& writer) const;
    // Reads the saved record and appends its lines; on a bad record nothing is added.
    bool LoadIncidents(ValueReader& reader);

    std::vector<std::string> Lines;

  private:
    Sim& sim_;
};

}  // namespace kestra
