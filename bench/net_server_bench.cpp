// The server's side of a shared game: the standard day's first half hour (its routes
// set by the stored signaller's commands) served to 8 clients at the fastest speed, and
// one full-state resend. Clients are in-memory peers that read everything, so only the
// server's work is timed. Reported: server time per major cycle (simulation and
// network), bytes a second to each client at the fastest speed (40 cycles a second),
// and the size and time of one full resend.
#include <benchmark/benchmark.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "fakes/pipe_network.h"
#include "net/framing.h"
#include "net/net_session.h"
#include "runner/headless.h"
#include "sim/sim.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClients = 8;
constexpr double kFastestCyclesPerSecond = 1000.0 / kestra::net::FastestCycleInterval;

void BM_ServerWithEightClients(benchmark::State& state) {
    for (auto _ : state) {
        kestra::test::PipeNetwork net;
        std::unique_ptr<kestra::net::NetSession> session;
        kestra::test::PipeTransport* transport = nullptr;
        std::vector<int> clients;
        std::size_t received = 0;
        long cycles = 0;
        Clock::duration spent{};
        Clock::time_point last{};
        kestra::runner::HeadlessOptions o;
        std::string error;
        kestra::runner::ParseHeadlessArgs(
            {"--timetable", std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT", "--commands",
             std::string(KESTRA_SOURCE_DIR) + "/tests/golden/standard_day.cmd", "--until",
             "06:30", "--seed", "15"},
            o, error);
        o.EachCycle = [&](kestra::Sim& sim) {
            if (!session) {
                transport = &net.AddTransport("10.0.0.1");
                session = std::make_unique<kestra::net::NetSession>(sim, *transport);
                session->Listen();
                for (int i = 0; i < kClients; ++i) clients.push_back(net.RawConnect(4321));
                net.Deliver();
                for (int c : clients) net.RawSend(c, *kestra::net::Frame("IC"));
                for (int i = 0; i < 20; ++i) {
                    net.Deliver();
                    session->Pump();
                }
                for (int c : clients) net.RawTake(c);
                last = Clock::now();
                return;
            }
            if (sim.FlashPhase) sim.BroadcastClock();
            session->Pump();
            net.Deliver();
            const auto now = Clock::now();
            spent += now - last;
            ++cycles;
            for (int c : clients) received += net.RawTake(c).size();
            if (sim.SimTime >= o.Until) session.reset();
            last = Clock::now();
        };
        std::ostringstream out, err;
        kestra::runner::RunHeadless(o, out, err);
        const double us = std::chrono::duration<double, std::micro>(spent).count();
        state.counters["server_us_per_cycle"] = cycles ? us / static_cast<double>(cycles) : 0;
        state.counters["bytes_per_s_per_client"] =
            cycles ? static_cast<double>(received) / kClients / static_cast<double>(cycles) *
                         kFastestCyclesPerSecond
                   : 0;
        state.counters["cycles"] = static_cast<double>(cycles);
    }
}
BENCHMARK(BM_ServerWithEightClients)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_FullResend(benchmark::State& state) {
    kestra::Sim sim({}, 1);
    kestra::area::BuildArea(sim);
    kestra::test::PipeNetwork net;
    kestra::test::PipeTransport& transport = net.AddTransport("10.0.0.1");
    kestra::net::NetSession session(sim, transport);
    session.Listen();
    const int client = net.RawConnect(4321);
    net.Deliver();
    net.RawTake(client);
    std::size_t bytes = 0;
    for (auto _ : state) {
        session.SendFullStateToAll();
        session.Pump();
        net.Deliver();
        bytes = net.RawTake(client).size();
    }
    state.counters["resend_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_FullResend)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
