#include "fakes/random_signaller.h"

#include <cstdlib>
#include <deque>
#include <sstream>

#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/track_circuit.h"

namespace kestra::test {

unsigned SeedFromEnvironment(unsigned fallback) {
    const char* env = std::getenv("KESTRA_SEED");
    return env ? static_cast<unsigned>(std::strtoul(env, nullptr, 10)) : fallback;
}

RandomSignaller::RandomSignaller(TestSim& t, InterlockingInvariants& checker, unsigned seed,
                                 SignallerMix mix)
    : t_(t), checker_(checker), seed_(seed), mix_(mix), rng_(seed) {
    t->Signals.ForEach([&](TSIG& s) {
        signals_.push_back(&s);
        if (!s.Routes.Empty() && s.SignalKind != SkAutomatic) entrances_.push_back(&s);
    });
    t->Routes.ForEach([&](TROU& r) {
        if (r.Class != RcAutomatic) routes_.push_back(&r);
    });
    t->Points.ForEach([&](TPTS& p) { points_.push_back(&p); });
    t->TrackCircuits.ForEach([&](TTCS& c) { circuits_.push_back(&c); });
    lastOverlap_.assign(signals_.size(), nullptr);
    for (TPTS* p : points_) lastNormal_.push_back(p->ControlledNormal);
}

int RandomSignaller::Pick(int n) {
    return static_cast<int>(rng_() % static_cast<unsigned>(n));
}

std::string RandomSignaller::Work(int steps) {
    if (entrances_.empty() || signals_.empty() || routes_.empty() || circuits_.empty())
        return "nothing to work: the railway needs routes, signals and circuits";
    std::deque<std::string> log;
    for (int step = 0; step < steps; ++step) {
        log.push_back(Step());
        if (log.size() > mix_.logLength) log.pop_front();
        Count();
        const std::vector<std::string> broken = checker_.Check();
        if (!broken.empty()) {
            std::ostringstream report;
            report << "seed " << seed_ << ", after step " << step << ":\n";
            for (const std::string& l : log) report << "  " << l << "\n";
            for (const std::string& b : broken) report << "  BROKEN: " << b << "\n";
            return report.str();
        }
    }
    return {};
}

// One action; what it did, for the log.
std::string RandomSignaller::Step() {
    std::ostringstream what;
    const int action = Pick(100);
    if (action < mix_.requestBelow) {
        TSIG* e = entrances_[Pick(static_cast<int>(entrances_.size()))];
        TSIG* x = signals_[Pick(static_cast<int>(signals_.size()))];
        std::uint8_t flag = 0;
        if (Pick(mix_.anySignalsOneIn) != 0) {
            const TROU* r = routes_[Pick(static_cast<int>(routes_.size()))];
            e = r->Entrance;
            x = r->Exit;
            flag = r->Class == RcWarner ? 1 : 0;
        }
        const RouteRequestResult r = RouteRequest(*t_, *e, *x, flag);
        what << "request " << e->ID << "-" << x->ID
             << (r.Set       ? " set"
                 : r.NoRoute ? " none"
                             : " refused");
        counts_.routesSet += r.Set;
        counts_.refusals += !r.Set && !r.NoRoute;
        counts_.noRoute += r.NoRoute;
    } else if (action < mix_.cancelBelow) {
        TSIG* e = entrances_[Pick(static_cast<int>(entrances_.size()))];
        t_->QueueRequest("QD", e, nullptr, 0);
        what << "cancel " << e->ID;
    } else if (action < mix_.keyBelow && !points_.empty()) {
        TPTS* p = points_[Pick(static_cast<int>(points_.size()))];
        const bool normal = Pick(2) == 0;
        if (normal) {
            p->KeyNormalAction();
        } else {
            p->KeyReverseAction();
        }
        what << "key " << p->ID << (normal ? " normal" : " reverse");
    } else if (action < mix_.circuitBelow) {
        TTCS* c = circuits_[Pick(static_cast<int>(circuits_.size()))];
        if (c->OccupyCount == 0) {
            c->Occupy();
            what << "occupy " << c->ID;
        } else {
            c->Vacate();
            what << "vacate " << c->ID;
        }
    } else {
        const int n = 1 + Pick(mix_.maxTicks);
        t_.Ticks(n);
        what << "ticks " << n;
    }
    return what.str();
}

void RandomSignaller::Count() {
    for (std::size_t i = 0; i < points_.size(); ++i) {
        counts_.pointsMoved += points_[i]->ControlledNormal != lastNormal_[i];
        lastNormal_[i] = points_[i]->ControlledNormal;
    }
    for (std::size_t i = 0; i < signals_.size(); ++i) {
        TOVL* now = signals_[i]->CurrentOverlap;
        if (now && lastOverlap_[i] && now != lastOverlap_[i]) ++counts_.overlapChanges;
        if (now) lastOverlap_[i] = now;
    }
    for (TSIG* s : entrances_) {
        counts_.proceedCycles += s->Aspect != AspDanger && s->SignalKind == SkRouteWorked;
    }
}

}  // namespace kestra::test
