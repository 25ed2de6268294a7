#include "fakes/net_copy.h"

#include "interlocking/level_crossing.h"

#include <algorithm>
#include <sstream>

#include "area/area_builder.h"
#include "ars/ars_subarea.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "trains/berth.h"

namespace kestra::test {

NetCopy::NetCopy(PipeNetwork& net, const std::string& address, Sim* existing) {
    if (existing == nullptr) {
        Ports ports;
        ports.Dialog = &dialogs;
        owned = std::make_unique<Sim>(ports, 7);
        area::BuildArea(*owned);
        existing = owned.get();
    }
    sim = existing;
    sim->Display().CurrentScreen = 1;
    sim->Display().RedrawPanel();
    transport = &net.AddTransport(address);
    session = std::make_unique<net::NetSession>(*sim, *transport);
    sim->Messages().LineObserver = [this](const std::string& text, int type) {
        Lines.push_back({text, type});
    };
}

NetCopy::~NetCopy() {
    sim->Messages().LineObserver = nullptr;
    session.reset();
}

bool NetCopy::Showed(const std::string& upperText) const {
    return std::any_of(Lines.begin(), Lines.end(),
                       [&](const auto& l) { return l.first == upperText; });
}

int NetCopy::Count(int type) const {
    return static_cast<int>(
        std::count_if(Lines.begin(), Lines.end(), [&](const auto& l) { return l.second == type; }));
}

std::vector<std::string> StateRecords(Sim& sim) {
    RecordingBroadcaster rec;
    StateBroadcaster* savedB = sim.Broadcaster;
    const bool savedClient = sim.ClientMode;
    sim.Broadcaster = &rec;
    sim.ClientMode = false;
    sim.ARSSubAreas.ForEach([](TARS& a) { a.SendState(); });
    sim.Berths.ForEach([](TBER& b) { b.SendBerthState(); });
    sim.Points.ForEach([](TPTS& p) { p.SendState(); });
    sim.Routes.ForEach([](TROU& r) { r.SendState(); });
    sim.Signals.ForEach([](TSIG& s) { s.SendState(); });
    sim.TrackCircuits.ForEach([](TTCS& t) { t.SendState(); });
    sim.Subroutes.ForEach([](TULC& u) { u.SendState(); });
    sim.Flags.ForEach([](TFLG& f) { f.SendState(); });
    sim.LevelCrossings.ForEach([](TLevelCrossing& lx) { lx.SendState(); });
    sim.Broadcaster = savedB;
    sim.ClientMode = savedClient;
    return rec.Sent;
}

std::string StateDifferences(Sim& server, Sim& client) {
    const auto a = StateRecords(server);
    const auto b = StateRecords(client);
    if (a.size() != b.size()) return "record counts differ";
    std::ostringstream out;
    int shown = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;
        if (++shown > 5) break;
        out << "record " << i << " " << a[i].substr(0, 2) << ": server [";
        for (char c : a[i]) out << std::hex << (static_cast<unsigned>(c) & 0xFF) << ' ';
        out << "] client [";
        for (char c : b[i]) out << std::hex << (static_cast<unsigned>(c) & 0xFF) << ' ';
        out << "]\n";
    }
    return out.str();
}

void SettleCopies(PipeNetwork& net, const std::vector<NetCopy*>& copies) {
    for (int i = 0; i < 100; ++i) {
        net.Deliver();
        bool queued = false;
        for (NetCopy* c : copies) {
            c->session->Pump();
            queued = queued || c->session->QueuedResends() > 0;
        }
        if (!queued && net.QueuedBytes() == 0) return;
    }
}

}  // namespace kestra::test
