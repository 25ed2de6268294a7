// The built-in area worked as a signaller works it: every route set from a clean state
// by clicking its signals, every route proved and its signal cleared, and a long seeded
// session of route setting and cancelling under the interlocking's invariant checker.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>

#include "area/area_builder.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_invariants.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "panel/commands.h"
#include "panel/panel.h"

namespace kestra {
namespace {

using test::InterlockingInvariants;
using test::TestSim;

// A press of the left or right button on a panel cell, on the screen that shows it.
void Press(TestSim& t, OperatorCommands& commands, int column, int row, bool left = true) {
    commands.SelectScreen(column / ScreenColumns + 1);
    commands.MousePress((column % ScreenColumns) * CellWidth + CellWidth / 2,
                        row * CellHeight + CellHeight / 2, left);
}

void PressHead(TestSim& t, OperatorCommands& commands, const TSIG& s) {
    Press(t, commands, s.PostColumn(), s.Y);
}

// Occupies what a call-on needs occupied: the last circuit of the route's permissive part.
void OccupyPlatform(const TROU& r) {
    r.PermissiveSubroutes.At(r.PermissiveSubroutes.Count() - 1)->TrackCircuit->Occupy();
}

struct RouteCase {
    int Index;
    std::string ID;
    std::uint8_t Class;
};

std::vector<RouteCase> AllRoutes() {
    Sim sim;
    area::BuildArea(sim);
    std::vector<RouteCase> out;
    for (int i = 0; i < sim.Routes.Count(); ++i) {
        const TROU* r = sim.Routes.At(i);
        if (r->Class != RcAutomatic) out.push_back({i, r->ID, r->Class});
    }
    return out;
}

// Every route, alone on a clean railway, is available and is set by clicking its
// entrance and then its exit (the exit's warner button for a warner route); the route
// the click sets joins the same two signals in the same class; once the points have
// moved, the route it set is proved and its entrance shows what its class allows.
TEST(BuiltInAreaRoutes, EveryRouteIsSetByClickingItsSignalsAndClears) {
    const std::vector<RouteCase> cases = AllRoutes();
    ASSERT_GT(cases.size(), 60u);
    int cleared = 0;
    for (const RouteCase& c : cases) {
        SCOPED_TRACE(c.ID);
        TestSim t;
        auto built = area::BuildArea(*t);
        t->Options().NoSignalPopupMenu = true;
        OperatorCommands commands(*t);
        TROU& route = *t->Routes.At(c.Index);
        TSIG& entrance = *route.Entrance;
        TSIG& exit = *route.Exit;
        if (route.Class == RcCallOn) OccupyPlatform(route);
        t.Ticks(8);
        // The route itself is available from a clean state.
        EXPECT_TRUE(route.IsAvailable()) << t->LastFailReason;
        t->Display().RedrawPanel();  // every head's width, for the clicks
        PressHead(t, commands, entrance);
        ASSERT_EQ(t->Operator.SelectedEntrance, &entrance) << "the entrance does not take the click";
        if (route.Class == RcWarner) {
            Press(t, commands, exit.WarnerButtonX, exit.WarnerButtonY);
        } else {
            PressHead(t, commands, exit);
        }
        ASSERT_NE(entrance.CurrentRoute, nullptr) << t->LastFailReason;
        const TROU& set = *entrance.CurrentRoute;
        EXPECT_TRUE(set.RouteSet);
        EXPECT_EQ(set.Exit, &exit);
        EXPECT_EQ(set.Class, route.Class) << set.ID;
        EXPECT_EQ(t->Operator.SelectedEntrance, nullptr);
        // The points move and the route proves.
        t.Ticks(12);
        RouteProvedFlags flags;
        EXPECT_TRUE(entrance.CurrentRoute && entrance.CurrentRoute->IsProved(flags)) << set.ID;
        // A train standing at the signal lets the routes that wait for it clear.
        if (flags.ApproachWait) {
            entrance.BerthCircuit->Occupy();
            t.Ticks(2 * 60);
        }
        if (route.Class == RcMain) {
            EXPECT_GE(entrance.Aspect, AspSingleYellow);
        } else if (route.Class == RcWarner) {
            EXPECT_GE(entrance.Aspect, AspSingleYellow);
        } else {
            EXPECT_EQ(entrance.Aspect, AspShunt);
        }
        cleared += entrance.Aspect != AspDanger;
        // Cancelling with no train about gives the route back at once.
        if (!flags.ApproachWait) {
            t->QueueRequest("QD", &entrance, nullptr, 0);
            t.Ticks(4);
            EXPECT_EQ(entrance.CurrentRoute, nullptr);
            EXPECT_EQ(entrance.Aspect, AspDanger);
        }
    }
    std::cout << cases.size() << " routes set by clicks, " << cleared << " signals cleared\n";
}

// Each main route is set by its own request once the routes listed before it to the
// same exit are made unavailable by keying points to the position this one needs, so
// that no route is shadowed by another.
TEST(BuiltInAreaRoutes, EveryMainRouteIsSetItselfWhenItsEarlierAlternativesAreBlocked) {
    const std::vector<RouteCase> cases = AllRoutes();
    int shadowed = 0;
    for (const RouteCase& c : cases) {
        if (c.Class != RcMain) continue;
        TestSim t;
        area::BuildArea(*t);
        TROU& route = *t->Routes.At(c.Index);
        SCOPED_TRACE(route.ID);
        auto needs = [](const TROU& r, const TPTS* p) {
            int need = 0;  // 1 normal, 2 reverse
            r.AllSubroutes.ForEach([&](TULC& s) {
                if (s.NormalPoints.Contains(p)) need = 1;
                if (s.ReversePoints.Contains(p)) need = 2;
            });
            return need;
        };
        for (int i = 0; i < route.Entrance->Routes.Count(); ++i) {
            TROU* other = route.Entrance->Routes.At(i);
            if (other == &route) break;
            if (other->Exit != route.Exit || other->Class != RcMain) continue;
            TPTS* key = nullptr;
            t->Points.ForEach([&](TPTS& p) {
                const int mine = needs(route, &p), theirs = needs(*other, &p);
                if (!key && mine && theirs && mine != theirs) key = &p;
            });
            ASSERT_NE(key, nullptr) << other->ID << " cannot be told from it by its points";
            if (needs(route, key) == 2) key->KeyReverseAction();
            else key->KeyNormalAction();
            ++shadowed;
        }
        t.Ticks(12);
        const RouteRequestResult r = RouteRequest(*t, *route.Entrance, *route.Exit, 0);
        EXPECT_TRUE(r.Set) << t->LastFailReason;
        EXPECT_EQ(route.Entrance->CurrentRoute, &route);
    }
    std::cout << shadowed << " earlier alternatives blocked by keying points\n";
    EXPECT_GT(shadowed, 3);
}

// --- a long session under the invariant checker ---------------------------------------

unsigned Seed() {
    const char* env = std::getenv("KESTRA_SEED");
    return env ? static_cast<unsigned>(std::strtoul(env, nullptr, 10)) : 6061u;
}

TEST(BuiltInAreaSession, LongRandomWorkingOfTheWholeAreaBreaksNoInvariant) {
    TestSim t;
    auto built = area::BuildArea(*t);
    InterlockingInvariants checker(*t);
    ASSERT_TRUE(checker.Check().empty());
    const unsigned seed = Seed();
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::vector<TSIG*> entrances, signals;
    t->Signals.ForEach([&](TSIG& s) {
        signals.push_back(&s);
        if (!s.Routes.Empty() && s.SignalKind != SkAutomatic) entrances.push_back(&s);
    });
    std::vector<TROU*> routes;
    t->Routes.ForEach([&](TROU& r) {
        if (r.Class != RcAutomatic) routes.push_back(&r);
    });
    std::vector<TPTS*> points;
    t->Points.ForEach([&](TPTS& p) { points.push_back(&p); });
    std::vector<TTCS*> circuits;
    t->TrackCircuits.ForEach([&](TTCS& c) { circuits.push_back(&c); });

    int set = 0, refused = 0, none = 0, moved = 0, cleared = 0;
    std::vector<bool> wasNormal;
    for (TPTS* p : points) wasNormal.push_back(p->ControlledNormal);
    std::vector<std::string> log;
    const int steps = 30000;
    for (int step = 0; step < steps; ++step) {
        std::ostringstream what;
        const int action = pick(100);
        if (action < 35) {
            TSIG* e = entrances[pick(static_cast<int>(entrances.size()))];
            TSIG* x = signals[pick(static_cast<int>(signals.size()))];
            std::uint8_t flag = 0;
            if (pick(5) != 0) {
                const TROU* r = routes[pick(static_cast<int>(routes.size()))];
                e = r->Entrance;
                x = r->Exit;
                flag = r->Class == RcWarner ? 1 : 0;
            }
            const RouteRequestResult r = RouteRequest(*t, *e, *x, flag);
            what << "request " << e->ID << "-" << x->ID << (r.Set ? " set" : r.NoRoute ? " none" : " refused");
            set += r.Set;
            refused += !r.Set && !r.NoRoute;
            none += r.NoRoute;
        } else if (action < 47) {
            TSIG* e = entrances[pick(static_cast<int>(entrances.size()))];
            t->QueueRequest("QD", e, nullptr, 0);
            what << "cancel " << e->ID;
        } else if (action < 55) {
            TPTS* p = points[pick(static_cast<int>(points.size()))];
            if (pick(2) == 0) p->KeyNormalAction();
            else p->KeyReverseAction();
            what << "key " << p->ID;
        } else if (action < 70) {
            TTCS* c = circuits[pick(static_cast<int>(circuits.size()))];
            if (c->OccupyCount == 0) {
                c->Occupy();
                what << "occupy " << c->ID;
            } else {
                c->Vacate();
                what << "vacate " << c->ID;
            }
        } else {
            const int n = 1 + pick(6);
            t.Ticks(n);
            what << "ticks " << n;
        }
        for (std::size_t i = 0; i < points.size(); ++i) {
            moved += points[i]->ControlledNormal != wasNormal[i];
            wasNormal[i] = points[i]->ControlledNormal;
        }
        for (TSIG* s : entrances) cleared += s->Aspect != AspDanger && s->SignalKind == SkRouteWorked;
        log.push_back(what.str());
        if (log.size() > 20) log.erase(log.begin());
        const std::vector<std::string> broken = checker.Check();
        if (!broken.empty()) {
            std::ostringstream report;
            report << "seed " << seed << ", after step " << step << ":\n";
            for (const std::string& l : log) report << "  " << l << "\n";
            for (const std::string& b : broken) report << "  BROKEN: " << b << "\n";
            FAIL() << report.str();
        }
    }
    std::cout << "seed " << seed << ": " << steps << " steps, " << set << " routes set, " << refused
              << " refused, " << none << " between unjoined signals, " << moved << " points movements, "
              << cleared << " signal-cycles at a proceed aspect\n";
    EXPECT_GT(set, 1000);
    EXPECT_GT(refused, 1000);
    EXPECT_GT(moved, 100);
    EXPECT_GT(cleared, 1000);
}

}  // namespace
}  // namespace kestra
