// A server and clients as several simulations in one process, joined by in-memory
// pipes: the handshake, the full-state resend, state mirrored while trains run, client
// requests and refusals, chat, and clients that misbehave.

#include "net/net_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "assess/assessor.h"
#include "ars/ars_subarea.h"
#include "fakes/fakes.h"
#include "fakes/net_copy.h"
#include "fakes/pipe_network.h"
#include "interlocking/level_crossing.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/state_message.h"
#include "interlocking/track_circuit.h"
#include "net/framing.h"
#include "runner/headless.h"
#include "sim/sim.h"

namespace kestra {
namespace {

using net::NetSession;
using test::PipeNetwork;

// One copy of the program: its simulation of the built-in area, its transport and its
// session, and the messages it showed.
struct Copy {
    Copy(PipeNetwork& net, const std::string& address, Sim* existing = nullptr) {
        if (existing == nullptr) {
            owned = std::make_unique<Sim>(Ports{}, 7);
            area::BuildArea(*owned);
            existing = owned.get();
        }
        sim = existing;
        sim->Display().CurrentScreen = 1;
        sim->Display().RedrawPanel();
        transport = &net.AddTransport(address);
        session = std::make_unique<NetSession>(*sim, *transport);
        sim->Messages().LineObserver = [this](const std::string& text, int type) {
            Lines.push_back({text, type});
        };
    }
    ~Copy() {
        sim->Messages().LineObserver = nullptr;
        session.reset();
    }
    bool Showed(const std::string& upperText) const {
        return std::any_of(Lines.begin(), Lines.end(),
                           [&](const auto& l) { return l.first == upperText; });
    }
    int Count(int type) const {
        return static_cast<int>(std::count_if(Lines.begin(), Lines.end(),
                                              [&](const auto& l) { return l.second == type; }));
    }
    std::unique_ptr<Sim> owned;
    Sim* sim = nullptr;
    test::PipeTransport* transport = nullptr;
    std::unique_ptr<NetSession> session;
    std::vector<std::pair<std::string, int>> Lines;
};

// The state records of every list and their differences come from the shared helpers.
using test::StateRecords;
std::string Differences(Sim& server, Sim& client) { return test::StateDifferences(server, client); }

void Settle(PipeNetwork& net, const std::vector<Copy*>& copies) {
    for (int i = 0; i < 100; ++i) {
        net.Deliver();
        bool queued = false;
        for (Copy* c : copies) {
            c->session->Pump();
            queued = queued || c->session->QueuedResends() > 0;
        }
        if (!queued && net.QueuedBytes() == 0) return;
    }
}

TSIG& Same(Sim& other, const TSIG& s) {
    return *other.Signals.At(s.sim().Signals.IndexOf(&s));
}

// A main route that can be set in the quiet area, with the index of its entrance and exit.
TROU* FreeMainRoute(Sim& sim, int skip = 0) {
    for (int i = 0; i < sim.Routes.Count(); ++i) {
        TROU* r = sim.Routes.At(i);
        if (r && r->Class == RcMain && r->Entrance && r->Exit && r->IsAvailable() && skip-- <= 0)
            return r;
    }
    return nullptr;
}

class NetSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server = std::make_unique<Copy>(net, "10.0.0.1");
        ASSERT_TRUE(server->session->Listen());
        EXPECT_EQ(server->transport->ListenAddress, "127.0.0.1");
        EXPECT_EQ(server->transport->ListenPort, 4321);
    }
    std::unique_ptr<Copy> Client(const std::string& address) {
        auto c = std::make_unique<Copy>(net, address);
        EXPECT_TRUE(c->session->Connect("127.0.0.1"));
        Settle(net, {server.get(), c.get()});
        EXPECT_TRUE(c->session->Initialised()) << address;
        return c;
    }
    // A fresh client completes the handshake and its route request is set.
    void FreshClientWorks(int skip = 0) {
        auto c = Client("10.0.0.99");
        EXPECT_EQ(Differences(*server->sim, *c->sim), "");
        TROU* r = FreeMainRoute(*server->sim, skip);
        ASSERT_NE(r, nullptr);
        RouteRequest(*c->sim, Same(*c->sim, *r->Entrance), Same(*c->sim, *r->Exit), 0);
        Settle(net, {server.get(), c.get()});
        EXPECT_TRUE(r->RouteSet);
        EXPECT_TRUE(c->sim->Routes.At(server->sim->Routes.IndexOf(r))->RouteSet);
        EXPECT_EQ(Differences(*server->sim, *c->sim), "");
        c->session->Disconnect();
        Settle(net, {server.get()});
    }
    PipeNetwork net;
    std::unique_ptr<Copy> server;
};

TEST_F(NetSessionTest, HandshakeResendAndRouteRequestSeenByAll) {
    auto a = Client("10.0.0.2");
    auto b = Client("10.0.0.3");
    EXPECT_TRUE(a->sim->ClientMode);
    EXPECT_TRUE(a->Showed("CONNECTED TO SERVER"));
    EXPECT_TRUE(a->Showed("INITIALISATION FROM SERVER COMPLETE"));
    EXPECT_TRUE(server->Showed("CLIENT 10.0.0.2 CONNECTING"));
    EXPECT_EQ(server->session->ClientCount(), 2u);

    TROU* r = FreeMainRoute(*server->sim);
    ASSERT_NE(r, nullptr);
    const int index = server->sim->Routes.IndexOf(r);
    RouteRequest(*a->sim, Same(*a->sim, *r->Entrance), Same(*a->sim, *r->Exit), 0);
    // Nothing is set on the client itself: the request went to the server.
    EXPECT_FALSE(a->sim->Routes.At(index)->RouteSet);
    Settle(net, {server.get(), a.get(), b.get()});
    EXPECT_TRUE(r->RouteSet);
    EXPECT_TRUE(a->sim->Routes.At(index)->RouteSet);
    EXPECT_TRUE(b->sim->Routes.At(index)->RouteSet);
    // Points move and the signal clears over the next seconds; clients follow.
    for (int i = 0; i < 40; ++i) {
        server->sim->MajorCycleTick();
        a->sim->MajorCycleTick();
        b->sim->MajorCycleTick();
        Settle(net, {server.get(), a.get(), b.get()});
    }
    EXPECT_EQ(Differences(*server->sim, *a->sim), "");
    EXPECT_EQ(Differences(*server->sim, *b->sim), "");
    EXPECT_EQ(server->sim->PauseCount, 0);
}

TEST_F(NetSessionTest, RefusalGoesOnlyToTheAskingClient) {
    auto a = Client("10.0.0.2");
    auto b = Client("10.0.0.3");
    TROU* first = FreeMainRoute(*server->sim);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->SetRoute());
    Settle(net, {server.get(), a.get(), b.get()});
    // A route the interlocking now refuses, asked for by b.
    bool refused = false;
    for (int i = 0; i < server->sim->Routes.Count() && !refused; ++i) {
        TROU* r = server->sim->Routes.At(i);
        if (!r || r->Class != RcMain || !r->Entrance || !r->Exit || r->IsAvailable()) continue;
        const int before = b->Count(EvTips);
        RouteRequest(*b->sim, Same(*b->sim, *r->Entrance), Same(*b->sim, *r->Exit), 0);
        Settle(net, {server.get(), a.get(), b.get()});
        refused = b->Count(EvTips) > before;
    }
    ASSERT_TRUE(refused);
    EXPECT_EQ(a->Count(EvTips), 0);
    EXPECT_EQ(server->Count(EvTips), 0);
    // Two signals no route joins: the asker hears so, as on its own panel.
    TSIG& from = *b->sim->Signals.At(0);
    TSIG& to = *b->sim->Signals.At(b->sim->Signals.Count() - 1);
    RouteRequest(*b->sim, from, to, 0);
    Settle(net, {server.get(), a.get(), b.get()});
    EXPECT_TRUE(b->Showed("NO ROUTE BETWEEN SELECTED SIGNALS"));
    EXPECT_FALSE(server->Showed("NO ROUTE BETWEEN SELECTED SIGNALS"));
}

TEST_F(NetSessionTest, ChatBothWaysNotEchoed) {
    auto a = Client("10.0.0.2");
    auto b = Client("10.0.0.3");
    a->session->SendChatMessage("hello from a");
    Settle(net, {server.get(), a.get(), b.get()});
    EXPECT_TRUE(server->Showed("HELLO FROM A"));
    EXPECT_FALSE(a->Showed("HELLO FROM A"));
    EXPECT_FALSE(b->Showed("HELLO FROM A"));
    server->session->SendChatMessage("hello from the server");
    Settle(net, {server.get(), a.get(), b.get()});
    EXPECT_TRUE(a->Showed("HELLO FROM THE SERVER"));
    EXPECT_TRUE(b->Showed("HELLO FROM THE SERVER"));
    EXPECT_FALSE(server->Showed("HELLO FROM THE SERVER"));
    // A long message is cut to fit one frame rather than lost.
    a->session->SendChatMessage(std::string(300, 'w'));
    Settle(net, {server.get(), a.get(), b.get()});
    EXPECT_TRUE(server->Showed(std::string(122, 'W')));
}

TEST_F(NetSessionTest, ClientMayOnlyChat) {
    const int raw = net.RawConnect(4321);
    Settle(net, {server.get()});
    // Other message types: a failure pop-up, an ARS alarm, a general message.
    for (const char* type : {"00", "05", "07", "0C", "zz"})
        net.RawSend(raw, *net::Frame(std::string("MA") + type + "spoofed"));
    Settle(net, {server.get()});
    EXPECT_FALSE(server->Showed("SPOOFED"));
    net.RawSend(raw, *net::Frame("MA08fine"));
    Settle(net, {server.get()});
    EXPECT_TRUE(server->Showed("FINE"));
}

TEST_F(NetSessionTest, DifferentAreaIsTurnedAway) {
    auto c = std::make_unique<Copy>(net, "10.0.0.5");
    // Same area identity, one object fewer.
    c->sim->Berths.Delete(c->sim->Berths.Count() - 1);
    ASSERT_TRUE(c->session->Connect("127.0.0.1"));
    Settle(net, {server.get(), c.get()});
    EXPECT_TRUE(c->Showed("SERVER IS RUNNING DIFFERENT KESTRA!"));
    EXPECT_FALSE(c->session->Initialised());
    EXPECT_FALSE(server->Showed("SENDING CLIENT INITIALISATION DATA..."));
}

TEST_F(NetSessionTest, ConnectingAndDisconnectingResetTheClient) {
    auto c = std::make_unique<Copy>(net, "10.0.0.5");
    TROU* r = FreeMainRoute(*c->sim);
    ASSERT_NE(r, nullptr);
    ASSERT_TRUE(r->SetRoute());
    c->sim->Timetable.Name = "local";
    ASSERT_TRUE(c->session->Connect("127.0.0.1"));
    // The client's own game is gone before the server's state arrives.
    EXPECT_FALSE(r->RouteSet);
    EXPECT_EQ(c->sim->Timetable.Name, "None");
    Settle(net, {server.get(), c.get()});
    TROU* s = FreeMainRoute(*server->sim);
    ASSERT_TRUE(s->SetRoute());
    Settle(net, {server.get(), c.get()});
    TROU* mirrored = c->sim->Routes.At(server->sim->Routes.IndexOf(s));
    EXPECT_TRUE(mirrored->RouteSet);
    c->session->Disconnect();
    EXPECT_FALSE(c->sim->ClientMode);
    EXPECT_FALSE(mirrored->RouteSet);
    EXPECT_TRUE(c->Showed("DISCONNECTED FROM SERVER"));
    Settle(net, {server.get()});
    EXPECT_EQ(server->session->ClientCount(), 0u);
    // Listening and connecting exclude each other.
    EXPECT_FALSE(server->session->Connect("127.0.0.1"));
    auto d = std::make_unique<Copy>(net, "10.0.0.6");
    ASSERT_TRUE(d->session->Connect("127.0.0.1"));
    EXPECT_FALSE(d->session->Listen());
    EXPECT_FALSE(d->session->Connect("127.0.0.1"));
}

TEST_F(NetSessionTest, ServerGoingAwayLeavesThePanelFrozen) {
    auto c = Client("10.0.0.2");
    server->session->StopListening();
    Settle(net, {server.get(), c.get()});
    EXPECT_TRUE(c->Showed("DISCONNECTED FROM SERVER AT 127.0.0.1"));
    EXPECT_TRUE(c->sim->ClientMode);
    EXPECT_FALSE(c->session->Connected());
    const std::int32_t time = c->sim->SimTime;
    c->sim->MajorCycleTick();
    c->sim->MajorCycleTick();
    EXPECT_EQ(c->sim->SimTime, time);
}

TEST_F(NetSessionTest, FailuresAreReported) {
    PipeNetwork other;
    Copy lonely(other, "10.0.0.8");
    EXPECT_FALSE(lonely.session->Connect("127.0.0.1"));
    EXPECT_TRUE(lonely.Showed("FAILED TO CONNECT TO SERVER"));
    EXPECT_FALSE(lonely.sim->ClientMode);
    Copy busy(other, "10.0.0.9");
    busy.transport->FailListen = true;
    EXPECT_FALSE(busy.session->Listen());
    EXPECT_TRUE(busy.Showed("ERROR SETTING UP LISTENING PORT"));
    EXPECT_FALSE(busy.session->Listening());
}

TEST_F(NetSessionTest, AFullServerTurnsAClientAwayAndItPlaysAlone) {
    std::vector<int> raws;
    for (std::size_t i = 0; i < net::MaxClients; ++i) raws.push_back(net.RawConnect(4321));
    Settle(net, {server.get()});
    Copy late(net, "10.0.0.7");
    ASSERT_TRUE(late.session->Connect("127.0.0.1"));
    Settle(net, {server.get(), &late});
    EXPECT_TRUE(late.Showed("FAILED TO CONNECT TO SERVER"));
    EXPECT_FALSE(late.sim->ClientMode);
    EXPECT_EQ(late.session->Role(), net::NetRole::None);
    for (int raw : raws) net.RawClose(raw);
    Settle(net, {server.get()});
    FreshClientWorks();
}

TEST_F(NetSessionTest, ClockFollowsTheServerWithinTheSpeedsThatExist) {
    auto c = Client("10.0.0.2");
    server->sim->SimTime = 7 * 3600;
    server->sim->MajorCycleInterval = 25;
    server->sim->BroadcastClock();
    Settle(net, {server.get(), c.get()});
    EXPECT_EQ(c->sim->SimTime, 7 * 3600);
    EXPECT_EQ(c->sim->MajorCycleInterval, 25);
    // A spoofing server's clock with an interval no speed gives, or bad digits.
    for (const char* spoof : {"LA0000700000000000", "LA000070000000FFFF", "LA00007000000001F5",
                              "LA0000700z00000020", "LAFFFFFFFF00000020", "LA00007000000020"}) {
        server->sim->Broadcast(spoof);
        Settle(net, {server.get(), c.get()});
        EXPECT_EQ(c->sim->SimTime, 7 * 3600) << spoof;
        EXPECT_EQ(c->sim->MajorCycleInterval, 25) << spoof;
    }
}

TEST_F(NetSessionTest, NewGameOnAListeningServerReachesEveryClient) {
    auto a = Client("10.0.0.2");
    auto b = Client("10.0.0.3");
    TROU* r = FreeMainRoute(*server->sim);
    ASSERT_TRUE(r->SetRoute());
    Settle(net, {server.get(), a.get(), b.get()});
    // A new game resets the lists without a message per object.
    server->sim->ResetSimulation();
    EXPECT_NE(Differences(*server->sim, *a->sim), "");
    server->session->SendFullStateToAll();
    Settle(net, {server.get(), a.get(), b.get()});
    EXPECT_EQ(Differences(*server->sim, *a->sim), "");
    EXPECT_EQ(Differences(*server->sim, *b->sim), "");
}

// ---------------------------------------------------------------- hostile clients

TEST_F(NetSessionTest, SpoofedStateRecordsOfEveryListAreIgnored) {
    auto honest = Client("10.0.0.2");
    TROU* r = FreeMainRoute(*server->sim);
    ASSERT_TRUE(r->SetRoute());
    Settle(net, {server.get(), honest.get()});
    const auto before = StateRecords(*server->sim);
    const std::int32_t time = server->sim->SimTime;
    const int raw = net.RawConnect(4321);
    Settle(net, {server.get()});
    std::vector<std::string> spoofs = {
        "TA00001F", "TA00011F",                                // circuits occupied
        "RA00001",  "RA00000",  "UA00001----", "UA00010----",  // routes and locking
        "IB",       "IA",       "IC_",         "LA0000000000000019",
        "AD00000F", "CA000011", "CB00000",     "CC00001",  // the assessor's failures
    };
    spoofs.push_back(std::string("PA0000") + '\x3f' + '\x01');
    spoofs.push_back("BA0000" + std::string("1X99") + std::string(12, '\x01'));
    std::string sa = "SA";
    sa += '\0';
    sa += '\0';
    sa += '\x05';
    sa += '\xff';
    sa += '\x01';
    sa += '\0';
    spoofs.push_back(sa);
    for (int i = 0; i < 3; ++i) {
        for (const std::string& s : spoofs) net.RawSend(raw, *net::Frame(s));
        Settle(net, {server.get()});
    }
    EXPECT_EQ(StateRecords(*server->sim), before);
    EXPECT_EQ(server->sim->SimTime, time);
    EXPECT_EQ(Differences(*server->sim, *honest->sim), "");
    FreshClientWorks(1);
}

// Below the dispatcher, each list too refuses a state record on a server.
TEST_F(NetSessionTest, ListsTakeNoStateRecordOnAServer) {
    Sim& s = *server->sim;
    TROU* r = FreeMainRoute(s);
    ASSERT_TRUE(r->SetRoute());
    const auto before = StateRecords(s);
    std::string sa = "SA";
    sa += std::string(2, '\0');
    sa += '\x05';
    sa += '\xff';
    sa += std::string(2, '\0');
    s.Signals.HandleClientMessage(sa);
    s.TrackCircuits.HandleClientMessage("TA00001F");
    s.Berths.HandleClientMessage("BA00001X99" + std::string(12, '\x01'));
    s.Points.HandleClientMessage(std::string("PA0000") + '\x3f' + '\x01');
    s.Routes.HandleClientMessage("RA" + Hex4(s.Routes.IndexOf(r)) + "0");
    s.Subroutes.HandleClientMessage("UA00001----");
    EXPECT_EQ(StateRecords(s), before);
}

TEST_F(NetSessionTest, BadPositionsAreIgnored) {
    const auto before = StateRecords(*server->sim);
    const int raw = net.RawConnect(4321);
    Settle(net, {server.get()});
    const std::string n = std::to_string(server->sim->Signals.Count());
    for (const char* bad :
         {"PBzzzz",       "PB-001",       "PBFFFF",       "PB00",         "PB",
          "QCzzzz000000", "QC0000-00100", "QC0000FFFF00", "QCFFFF000000", "QC0000",
          "QD-001",       "QDFFFF",       "SBzzzz",       "SB-001",       "SBFFFF",
          "BB-0011A11",   "BBFFFF1A11",   "BCzzzz",       "PC 0001",      "pb0000",
          "QC00000001",   "ZZ0000"})
        net.RawSend(raw, *net::Frame(bad));
    Settle(net, {server.get()});
    EXPECT_EQ(StateRecords(*server->sim), before);
    FreshClientWorks();
}

TEST_F(NetSessionTest, OversizedUnterminatedAndGarbageFramesCostBoundedMemory) {
    const int garbage = net.RawConnect(4321);
    const int endless = net.RawConnect(4321);
    const int escapes = net.RawConnect(4321);
    Settle(net, {server.get()});
    for (int i = 0; i < 50; ++i) {
        net.RawSend(garbage, std::string(4000, static_cast<char>('a' + i % 20)) + "\x01\x1b");
        net.RawSend(endless, (i == 0 ? "\x02" : "") + std::string(4000, 'Q'));
        net.RawSend(escapes, (i == 0 ? "\x02" : "") + std::string(4000, '\x1b'));
        net.RawSend(garbage, "\x02" + std::string(300, 'P') + "\x01");
        Settle(net, {server.get()});
        EXPECT_LE(server->session->BufferedBytes(), 4 * net::MaxFrameBytes);
    }
    EXPECT_EQ(server->session->ClientCount(), 3u);
    FreshClientWorks();
}

TEST_F(NetSessionTest, BurstsOfConnectionsAreBounded) {
    int opened = 0;
    for (int burst = 0; burst < 4; ++burst) {
        std::vector<int> raws;
        for (int i = 0; i < 50; ++i, ++opened) {
            raws.push_back(net.RawConnect(4321));
            if (i % 3 == 0) net.RawSend(raws.back(), *net::Frame("IC"));
        }
        Settle(net, {server.get()});
        EXPECT_LE(server->session->ClientCount(), net::MaxClients);
        for (int raw : raws) net.RawClose(raw);
        Settle(net, {server.get()});
        EXPECT_EQ(server->session->ClientCount(), 0u);
    }
    EXPECT_EQ(opened, 200);
    FreshClientWorks();
}

TEST_F(NetSessionTest, ClientThatNeverReadsIsDroppedAndTheOthersGoOn) {
    auto honest = Client("10.0.0.2");
    const int deaf = net.RawConnect(4321, false);
    Settle(net, {server.get(), honest.get()});
    // It keeps asking for the whole state and never takes any of it.
    for (int i = 0; i < 200 && net.RawOpen(deaf); ++i) {
        net.RawSend(deaf, *net::Frame("IC"));
        Settle(net, {server.get(), honest.get()});
        EXPECT_LE(net.QueuedBytes(), net::MaxPendingOutput + 64 * 1024);
    }
    EXPECT_FALSE(net.RawOpen(deaf));
    EXPECT_EQ(server->session->ClientCount(), 1u);
    TROU* r = FreeMainRoute(*server->sim);
    RouteRequest(*honest->sim, Same(*honest->sim, *r->Entrance), Same(*honest->sim, *r->Exit), 0);
    Settle(net, {server.get(), honest.get()});
    EXPECT_TRUE(r->RouteSet);
    EXPECT_EQ(Differences(*server->sim, *honest->sim), "");
}

TEST_F(NetSessionTest, ClientVanishingInTheMiddleOfAResend) {
    auto honest = Client("10.0.0.2");
    // Every client's resend is queued (a new game); one client leaves before its turn,
    // another in the middle of its own, the transport reporting it from inside a send.
    const int early = net.RawConnect(4321);
    const int middle = net.RawConnect(4321);
    Settle(net, {server.get(), honest.get()});
    ASSERT_EQ(server->session->ClientCount(), 3u);
    server->session->SendFullStateToAll();
    EXPECT_EQ(server->session->QueuedResends(), 3u);
    net.RawClose(early);
    ConnectionId first = NoConnection, vanished = NoConnection;
    int sends = 0;
    server->transport->AfterSend = [&](ConnectionId id) {
        if (first == NoConnection) first = id;
        if (id != first && ++sends == 50) {
            vanished = id;
            server->session->OnDisconnected(id);
        }
    };
    Settle(net, {server.get(), honest.get()});
    server->transport->AfterSend = nullptr;
    EXPECT_NE(vanished, NoConnection);
    EXPECT_EQ(sends, 50);  // nothing more went to it once it had gone
    EXPECT_TRUE(net.RawOpen(middle));
    EXPECT_EQ(Differences(*server->sim, *honest->sim), "");
    EXPECT_EQ(server->session->ClientCount(), 1u);
    EXPECT_EQ(server->session->QueuedResends(), 0u);
    EXPECT_EQ(server->sim->PauseCount, 0);
    FreshClientWorks();
}

TEST_F(NetSessionTest, ClientGoingAwayInTheMiddleOfABroadcast) {
    // The first client's connection is reported gone from inside the send to it; the
    // clients after it still receive the record.
    const int raw = net.RawConnect(4321);
    Settle(net, {server.get()});
    auto a = Client("10.0.0.2");
    auto b = Client("10.0.0.3");
    bool reported = false;
    server->transport->AfterSend = [&](ConnectionId id) {
        if (reported) return;
        reported = true;
        server->session->OnDisconnected(id);
    };
    TROU* r = FreeMainRoute(*server->sim);
    ASSERT_TRUE(r->SetRoute());
    server->transport->AfterSend = nullptr;
    ASSERT_TRUE(reported);
    Settle(net, {server.get(), a.get(), b.get()});
    EXPECT_EQ(server->session->ClientCount(), 2u);
    EXPECT_TRUE(a->sim->Routes.At(server->sim->Routes.IndexOf(r))->RouteSet);
    EXPECT_TRUE(b->sim->Routes.At(server->sim->Routes.IndexOf(r))->RouteSet);
    (void)raw;
}

// ---------------------------------------------------------------- trains running

// The standard day from its start for half an hour, the routes set by the stored
// signaller's commands on the server; two clients mirror it. After every full resend
// and at the end (and every simulated minute) each client's state records equal the
// server's.
TEST(NetTrainsRunning, ClientsMirrorTheServer) {
    PipeNetwork net;
    std::unique_ptr<Copy> server, a, b;
    a = std::make_unique<Copy>(net, "10.0.0.2");
    b = std::make_unique<Copy>(net, "10.0.0.3");
    runner::HeadlessOptions o;
    std::string error;
    ASSERT_TRUE(runner::ParseHeadlessArgs(
        {"--timetable", std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT", "--commands",
         std::string(KESTRA_SOURCE_DIR) + "/tests/golden/standard_day.cmd", "--until", "06:30",
         "--seed", "15"},
        o, error))
        << error;
    std::vector<std::string> mismatches;
    int compared = 0, resends = 0, cycles = 0;
    bool finished = false;
    auto compare = [&](const char* when) {
        ++compared;
        for (Copy* c : {a.get(), b.get()}) {
            const std::string d = Differences(*server->sim, *c->sim);
            if (!d.empty() && mismatches.size() < 5)
                mismatches.push_back(server->sim->FormatSimTime() + " " + when + "\n" + d);
        }
    };
    o.EachCycle = [&](Sim& sim) {
        if (!server) {
            server = std::make_unique<Copy>(net, "10.0.0.1", &sim);
            ASSERT_TRUE(server->session->Listen());
            ASSERT_TRUE(a->session->Connect("127.0.0.1"));
            ASSERT_TRUE(b->session->Connect("127.0.0.1"));
            Settle(net, {server.get(), a.get(), b.get()});
            ASSERT_TRUE(a->session->Initialised());
            ASSERT_TRUE(b->session->Initialised());
            compare("after the first resends");
        }
        a->sim->MajorCycleTick();
        b->sim->MajorCycleTick();
        Settle(net, {server.get(), a.get(), b.get()});
        ++cycles;
        if (cycles % 120 == 0) compare("on the minute");
        if (cycles % 900 == 0) {
            a->session->Refresh();
            Settle(net, {server.get(), a.get(), b.get()});
            ++resends;
            compare("after a refresh");
        }
        if (sim.SimTime >= o.Until) {
            // The last cycle: compare, and let go of the server before the runner
            // frees its simulation.
            compare("at the end");
            finished = true;
            server.reset();
        }
    };
    std::ostringstream out, err;
    ASSERT_EQ(runner::RunHeadless(o, out, err), 0) << err.str();
    ASSERT_TRUE(finished);
    EXPECT_TRUE(mismatches.empty()) << (mismatches.empty() ? "" : mismatches.front());
    EXPECT_GE(compared, 30);
    EXPECT_GE(resends, 3);
    EXPECT_NE(out.str().find("trains_entered"), std::string::npos);
    // Trains ran: the clients saw circuits occupied.
    int occupied = 0;
    a->sim->TrackCircuits.ForEach([&](TTCS& t) { occupied += t.IsOccupied() ? 1 : 0; });
    EXPECT_GT(occupied, 0);
    // The other players are told of each train coming in.
    EXPECT_TRUE(std::any_of(b->Lines.begin(), b->Lines.end(), [](const auto& l) {
        return l.second == EvTrainEntering &&
               l.first.find("HAS ENTERED THE AREA") != std::string::npos;
    }));
    // The clients ran none of the simulation themselves.
    EXPECT_EQ(a->sim->Trains.Count(), 0);
    EXPECT_EQ(b->sim->Trains.Count(), 0);
}

// The level crossing's state reaches a client that joins later (the resend) and every
// change after that as it happens.
TEST_F(NetSessionTest, AClientSeesTheLevelCrossing) {
    TLevelCrossing* lx = server->sim->LevelCrossings.FindID("QLBYLC");
    ASSERT_NE(lx, nullptr);
    lx->SetState(LxDown);
    auto c = Client("10.0.0.2");
    TLevelCrossing* mirror = c->sim->LevelCrossings.FindID("QLBYLC");
    ASSERT_NE(mirror, nullptr);
    EXPECT_EQ(mirror->State, LxDown);
    lx->SetState(LxRaising);
    Settle(net, {server.get(), c.get()});
    EXPECT_EQ(mirror->State, LxRaising);
    EXPECT_EQ(Differences(*server->sim, *c->sim), "");
    // The client runs no crossing logic of its own: its cycles leave the state alone.
    for (int i = 0; i < 60; ++i) c->sim->MajorCycleTick();
    EXPECT_EQ(mirror->State, LxRaising);
}

// The assessor's failure codes from a client that is not the assessor change nothing:
// neither sent raw nor by the assessor's panel running on a client.
TEST_F(NetSessionTest, TheAssessorsCodesAreRefusedFromAPlainClient) {
    Sim& s = *server->sim;
    const auto before = StateRecords(s);
    const int raw = net.RawConnect(4321);
    Settle(net, {server.get()});
    for (const std::string& code : {"CA" + Hex4(0) + "11", "CB" + Hex4(0) + "0",
                                    "CC" + Hex4(0) + "1", "LX" + Hex4(0) + "04",
                                    "FA" + Hex4(0) + "01"})
        net.RawSend(raw, *net::Frame(code));
    Settle(net, {server.get()});
    EXPECT_EQ(StateRecords(s), before);

    auto c = Client("10.0.0.2");
    TAssessor onClient(*c->sim, "x");
    TPTS* p = c->sim->Points.At(0);
    onClient.SetNormalDetection(*p, false);
    onClient.SetLampProving(*c->sim->Signals.At(0), false);
    onClient.Occupy(*c->sim->TrackCircuits.At(0));
    Settle(net, {server.get(), c.get()});
    EXPECT_FALSE(s.Points.At(0)->FailedNormal);
    EXPECT_TRUE(s.Signals.At(0)->LampProved);
    EXPECT_EQ(s.TrackCircuits.At(0)->OccupyCount, 0);
    EXPECT_EQ(StateRecords(s), before);
}

}  // namespace
}  // namespace kestra
