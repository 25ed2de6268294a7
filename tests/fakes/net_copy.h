#pragma once
// Copies of the program joined over the in-memory network, for multiplayer tests: each
// with its simulation of the built-in area (or a simulation it is given), its transport,
// its session, the message lines it showed and the windows it opened; and the state
// records of a simulation, to compare a client's mirror with the server.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fakes.h"
#include "fakes/pipe_network.h"
#include "net/net_session.h"
#include "sim/sim.h"

namespace kestra::test {

struct NetCopy {
    NetCopy(PipeNetwork& net, const std::string& address, Sim* existing = nullptr);
    ~NetCopy();
    NetCopy(const NetCopy&) = delete;
    NetCopy& operator=(const NetCopy&) = delete;
    // A message line shown with this text (the message line shows capitals).
    bool Showed(const std::string& upperText) const;
    int Count(int type) const;

    RecordingDialogs dialogs;
    std::unique_ptr<Sim> owned;
    Sim* sim = nullptr;
    PipeTransport* transport = nullptr;
    std::unique_ptr<net::NetSession> session;
    std::vector<std::pair<std::string, int>> Lines;
};

// Every list's state records as the simulation's own objects give them, in resend order.
std::vector<std::string> StateRecords(Sim& sim);
// The records that differ between a server and a client, readable; empty when none.
std::string StateDifferences(Sim& server, Sim& client);
// Delivers and pumps until nothing is left to move.
void SettleCopies(PipeNetwork& net, const std::vector<NetCopy*>& copies);

}  // namespace kestra::test
