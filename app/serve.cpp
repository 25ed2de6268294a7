#include "serve.h"

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <ostream>

#include "area/area_builder.h"
#include "net/net_session.h"
#include "qt_net.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "timetable/timetable_start.h"

namespace kestra::app {

namespace {
bool ParseNumber(const std::string& text, long low, long high, long& value) {
    if (text.empty() || text.size() > 9) return false;
    long v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < low || v > high) return false;
    value = v;
    return true;
}
}  // namespace

bool IsServeCommand(const std::vector<std::string>& args) {
    bool headless = false, serve = false;
    for (const std::string& a : args) {
        headless = headless || a == "--headless";
        serve = serve || a == "--serve";
    }
    return headless && serve;
}

bool ParseServeArgs(const std::vector<std::string>& args, ServeOptions& o, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--headless" || a == "--serve") continue;
        if (i + 1 >= args.size()) {
            error = a + " wants a value";
            return false;
        }
        const std::string& v = args[++i];
        long n = 0;
        if (a == "--port") {
            if (!ParseNumber(v, 0, 65535, n)) return error = "--port wants 0..65535", false;
            o.Port = static_cast<int>(n);
        } else if (a == "--bind") {
            o.Bind = v;
        } else if (a == "--timetable") {
            o.Timetable = v;
        } else if (a == "--speed") {
            if (!ParseNumber(v, 1, 20, n)) return error = "--speed wants 1..20", false;
            o.Speed = static_cast<int>(n);
        } else if (a == "--until") {
            o.Until = runner::ParseClockTime(v);
            if (o.Until < 0) return error = "--until wants HH:MM", false;
        } else if (a == "--seed") {
            if (!ParseNumber(v, 0, 999999999, n)) return error = "--seed wants a number", false;
            o.Seed = static_cast<std::uint32_t>(n);
            o.SeedGiven = true;
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    return true;
}

int RunServer(const ServeOptions& o, std::ostream& out, std::ostream& err) {
    const std::uint32_t seed =
        o.SeedGiven ? o.Seed
                    : static_cast<std::uint32_t>(
                          std::chrono::steady_clock::now().time_since_epoch().count());
    Sim sim(Ports{}, seed);
    area::BuildArea(sim);
    if (!o.Timetable.empty()) {
        std::string error;
        if (!StartWithTimetable(sim, o.Timetable, -1, &error)) {
            err << "cannot start with " << o.Timetable << ": " << error << '\n';
            return 2;
        }
    }
    sim.MajorCycleInterval = ServeInterval(o.Speed);
    sim.Messages().LineObserver = [&](const std::string& text, int) {
        out << sim.FormatSimTime() << ' ' << text << std::endl;
    };
    QtNetTransport transport;
    net::NetSession session(sim, transport);
    if (!session.Listen(o.Bind, o.Port)) {
        err << "cannot listen on " << o.Bind << ':' << o.Port << '\n';
        sim.Messages().LineObserver = nullptr;
        return 1;
    }
    out << "listening on " << o.Bind << ':' << transport.ListeningPort() << std::endl;
    QTimer cycle;
    cycle.setInterval(sim.MajorCycleInterval);
    int status = 0;
    QObject::connect(&cycle, &QTimer::timeout, [&] {
        sim.MajorCycleTick();
        // The clients' clocks follow once a simulated second.
        if (sim.FlashPhase) sim.BroadcastClock();
        session.Pump();
        if (o.Until >= 0 && sim.SimTime >= o.Until) {
            cycle.stop();
            QCoreApplication::exit(status);
        }
    });
    cycle.start();
    status = QCoreApplication::exec();
    session.StopListening();
    sim.Messages().LineObserver = nullptr;
    out << "simtime " << sim.FormatSimTime() << std::endl;
    return status;
}

}  // namespace kestra::app
