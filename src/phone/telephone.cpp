#include "phone/telephone.h"

#include <algorithm>
#include <exception>

#include "core/value_stream.h"
#include "sim/sim.h"
#include "trains/train.h"

namespace kestra {

namespace {

// A train whose call goes must not keep pointing at it.
void ReleaseFromTrain(const TCall& call) {
    if (call.Train && call.Train->PendingCall == &call) call.Train->PendingCall = nullptr;
}

}  // namespace

TCall& TCallList::AddCall(std::unique_ptr<TCall> call) {
    call->CallTime = sim_.SimTime;
    Calls.push_back(std::move(call));
    return *Calls.back();
}

bool TCallList::Contains(const TCall* call) const {
    return std::any_of(Calls.begin(), Calls.end(),
                       [&](const std::unique_ptr<TCall>& c) { return c.get() == call; });
}

void TCallList::RemoveCall(const TCall* call) {
    auto it = std::find_if(Calls.begin(), Calls.end(),
                           [&](const std::unique_ptr<TCall>& c) { return c.get() == call; });
    if (it == Calls.end()) return;
    Forget(it->get());
    ReleaseFromTrain(**it);
    Calls.erase(it);
}

void TCallList::RemoveCallsOf(const TTRN* train) {
    if (!train) return;
    for (const std::unique_ptr<TCall>& c : Calls) {
        if (c->Train == train) {
            Forget(c.get());
            ReleaseFromTrain(*c);
        }
    }
    Calls.erase(std::remove_if(Calls.begin(), Calls.end(),
                               [&](const std::unique_ptr<TCall>& c) { return c->Train == train; }),
                Calls.end());
}

void TCallList::ClearCalls() {
    for (const std::unique_ptr<TCall>& c : Calls) ReleaseFromTrain(*c);
    Calls.clear();
    shown_ = nullptr;
}

void TCallList::Forget(const TCall* call) {
    if (shown_ == call) shown_ = nullptr;
}

bool TCallList::ShowCall(TCall* call) {
    if (!Contains(call)) return false;
    shown_ = call;
    shownCaller_ = call->Caller;
    windowOpen_ = true;
    return true;
}

void TCallList::CloseAnswerWindow() {
    shown_ = nullptr;
    windowOpen_ = false;
}

bool TCallList::ReplyToShownCall(int index) {
    if (!shown_) {
        if (windowOpen_) sim_.PostEventMessage(shownCaller_ + " has rung off", EvTelephone);
        return false;
    }
    return Reply(*shown_, index);
}

bool TCallList::HasUnansweredCalls() const {
    // The call on show is not ringing; any other unanswered one is, however many calls
    // have come and gone since the window opened.
    return std::any_of(Calls.begin(), Calls.end(), [&](const std::unique_ptr<TCall>& c) {
        return c->IsUnanswered() && c.get() != shown_;
    });
}

bool TCallList::HasAwaitingCalls() const {
    return std::any_of(Calls.begin(), Calls.end(),
                       [](const std::unique_ptr<TCall>& c) { return !c->IsUnanswered(); });
}

bool TCallList::Reply(TCall& call, int index) {
    if (!Contains(&call) || index < 0 || index >= static_cast<int>(call.Replies.size()))
        return false;
    try {
        call.ReplyIndex = index;
        call.ReplyText = call.Replies[static_cast<std::size_t>(index)].Text;
        sim_.PostEventMessage(call.Caller + ": " + call.ReplyText, EvTelephone);
        if (call.OnReply) {
            // The handler may free the call: keep its own copy alive while it runs.
            const std::function<void(TCall&)> handler = call.OnReply;
            handler(call);
        } else {
            RemoveCall(&call);
        }
    } catch (const std::exception&) {
    }
    return true;
}

void TIncidentLog::AddIncident(const std::string& text) {
    Lines.push_back(sim_.FormatSimTime() + " " + text);
}

bool TIncidentLog::SaveIncidents(ValueWriter& writer) const {
    try {
        writer.WriteInteger(static_cast<std::int32_t>(Lines.size()));
        for (const std::string& line : Lines) writer.WriteString(line);
    } catch (const WriteError&) {
        return false;
    }
    return true;
}

bool TIncidentLog::LoadIncidents(ValueReader& reader) {
    try {
        const std::int32_t count = reader.ReadInteger();
        // Each line takes at least its tag and length byte: a count larger than the
        // bytes left is a damaged file, refused before anything is built.
        if (count < 0 || static_cast<std::size_t>(count) > reader.Remaining() / 2) return false;
        std::vector<std::string> read;
        read.reserve(static_cast<std::size_t>(count));
        for (std::int32_t i = 0; i < count; ++i) read.push_back(reader.ReadString());
        Lines.insert(Lines.end(), read.begin(), read.end());
    } catch (const ReadError&) {
        return false;
    }
    return true;
}

}  // namespace kestra
