#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <sstream>
#include "runner/headless.h"
#include "sim/sim.h"
#include "interlocking/signal.h"
#include "interlocking/route.h"
#include "interlocking/overlap.h"
#include "interlocking/subroute.h"
#include "ars/ars_train.h"
#include "trains/train.h"
#include "interlocking/track_circuit.h"
namespace kestra {
TEST(ZZDebug, Gridlock) {
    const char* until = std::getenv("ZZ_UNTIL");
    runner::HeadlessOptions o; std::string e;
    std::vector<std::string> args = {"--timetable", std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT", "--ars", "all", "--seed", std::getenv("ZZ_SEED") ? std::getenv("ZZ_SEED") : "1", "--until", until ? until : "06:50", "--past-finish"};
    ASSERT_TRUE(runner::ParseHeadlessArgs(args, o, e)) << e;
    std::string last;
    std::map<std::string, std::pair<std::string, int>> waits;
    o.EachCycle = [&](Sim& sim) {
        sim.Trains.ForEach([&](const TTRN& t) {
            auto& w = waits[t.ID];
            if (t.State != TsAtRed || !t.SignalAhead) { if (w.second && sim.SimTime - w.second > 450) std::cout << "wait " << t.ID << " at " << w.first << " " << sim.SimTime - w.second << "s until " << sim.FormatSimTime() << "\n"; w = {"", 0}; return; }
            if (w.first != t.SignalAhead->ID) w = {t.SignalAhead->ID, sim.SimTime};
        });
        const char* watch = std::getenv("ZZ_WATCH");
        if (!watch) return;
        std::string now;
        sim.ARSTrains().ForEach([&](TARSTrain& t) {
            if (t.Description.find(watch) == std::string::npos) return;
            now += t.Description + "@" + (t.Berth ? t.Berth->ID : "-") + " pos=" + std::to_string(t.PathPosition) + " ars=" + std::to_string(t.IsARS) + " " + sim.ARSTrains().StatusTextOf(t) + "; ";
        });
        if (now != last) std::cout << sim.FormatSimTime() << " " << now << "\n";
        last = now;
    };
    o.AfterRun = [&](Sim& sim) {
        for (const char* id : {"SVM5", "SVM7", "SVM10", "SVM16", "SVM17", "SVM18"}) { if (std::getenv("ZZ_QUIET")) break;
            TSIG* s = nullptr;
            sim.Signals.ForEach([&](TSIG& x) { if (x.ID == id) s = &x; });
            if (!s) { std::cout << id << " missing\n"; continue; }
            std::cout << id << " route=" << (s->CurrentRoute ? s->CurrentRoute->ID : "-")
                      << " set=" << (s->CurrentRoute ? s->CurrentRoute->RouteSet : 0)
                      << " armed=" << s->Armed << " passed=" << s->TrainPassed << " relAllowed=" << s->ReleaseAllowed
                      << " proceed=" << s->ProceedAllowed << " cancel=" << s->CancelRequested
                      << " routeIn=" << (s->RouteIn ? s->RouteIn->ID : "-") << " routeInSet=" << (s->RouteIn ? s->RouteIn->RouteSet : 0)
                      << " kind=" << int(s->SignalKind) << " red=" << s->HasRedLamp() << " ps=" << int(s->PassageState) << " at=" << int(s->ApproachTimer) << " asp=" << int(s->Aspect) << " ovl=" << (s->CurrentOverlap ? s->CurrentOverlap->ID : "-") << "\n";
        }
        sim.Routes.ForEach([&](TROU& r) { if (r.RouteSet) std::cout << "set " << r.ID << (r.Entrance && r.Entrance->ShowsProceed() ? " off" : "") << "\n"; });
        sim.Trains.ForEach([&](TTRN& t) {
            std::cout << "train " << t.ID << " state=" << int(t.State) << " sub=" << t.SubState << " trip=" << t.TripIndex << " sig=" << (t.SignalAhead ? t.SignalAhead->ID : "-") << " len=" << t.Length << " head=" << (t.HeadULC ? t.HeadULC->ID : "-") << "@" << t.HeadPos << " tail=" << t.TailPos << " occ:";
            for (TULC* u : t.Occupied) if (u) std::cout << " " << u->ID << "(" << u->Length << "," << (u->TrackCircuit ? u->TrackCircuit->ID : "") << ")";
            std::cout << "\n";
        });
        sim.ARSTrains().ForEach([&](TARSTrain& t) {
            std::cout << t.Description << " " << (t.Berth ? t.Berth->ID : "-") << " " << sim.ARSTrains().StatusTextOf(t) << "\n";
        });
    };
    std::ostringstream out, err;
    runner::RunHeadless(o, out, err);
}
}
