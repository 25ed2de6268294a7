#include "fakes/call_invariants.h"

#include <map>

#include "sim/sim.h"

namespace kestra::test {

std::vector<std::string> CallInvariants::Check() const {
    std::vector<std::string> found;
    std::map<const TTRN*, int> callsOf;
    for (int i = 0; i < sim_.Calls.Count(); ++i) {
        const TCall& call = sim_.Calls.At(i);
        if (!call.Train) continue;
        // Only the address is compared until the train is known to be in the list.
        if (sim_.Trains.IndexOf(call.Train) < 0) {
            found.push_back("CallFromTrainNotInArea: \"" + call.Message + "\"");
            continue;
        }
        if (call.Train->State == TsLeaving)
            found.push_back("CallFromLeavingTrain: " + call.Train->ID);
        if (++callsOf[call.Train] == 2) found.push_back("TwoCallsFromOneTrain: " + call.Train->ID);
        if (call.IsUnanswered() && call.Train->PendingCall != &call)
            found.push_back("CallNotPendingOnItsTrain: " + call.Train->ID);
    }
    sim_.Trains.ForEach([&](const TTRN& train) {
        if (!train.PendingCall) return;
        if (!sim_.Calls.Contains(train.PendingCall))
            found.push_back("PendingCallNotInList: " + train.ID);
        else if (train.PendingCall->Train != &train)
            found.push_back("PendingCallOfAnotherTrain: " + train.ID);
    });
    return found;
}

}  // namespace kestra::test
