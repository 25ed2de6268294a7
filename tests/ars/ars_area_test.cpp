// What ARS reads of the built-in area, and the area's hooks under ARS's quiet checks.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "area/area_builder.h"
#include "ars/ars_train.h"
#include "fakes/fakes.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "trains/berth.h"

namespace kestra {
namespace {

using test::TestSim;

int ScenarioNamed(const std::string& part) {
    const std::vector<std::string> names = area::ScenarioNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i].find(part) != std::string::npos) return static_cast<int>(i);
    return -1;
}

// ARS asks every two seconds whether its next routes are free; the answer must not
// replace the reason the signaller was last given for a refusal.
TEST(ARSArea, QuietChecksLeaveTheSignallersRefusalReason) {
    TestSim t;
    auto built = area::BuildArea(*t);
    const int closure = ScenarioNamed("Tunnel");
    ASSERT_GE(closure, 0);
    t->Hooks.ScenarioHook(closure);
    t->LastFailReason = "the signaller's reason";
    int refusedByHook = 0;
    for (int i = 0; i < t->Routes.Count(); ++i) {
        TROU& r = *t->Routes.At(i);
        if (r.Class == RcAutomatic || r.IsAvailableARS()) continue;
        EXPECT_EQ(t->LastFailReason, "the signaller's reason") << r.ID;
        // The signaller's own check of the same route gives its reason.
        if (!r.IsAvailable() &&
            t->LastFailReason == "Route passes through an engineering possession")
            ++refusedByHook;
        t->LastFailReason = "the signaller's reason";
    }
    EXPECT_GT(refusedByHook, 0) << "no route was refused by the area's possession check";
}

TEST(ARSArea, RoutesKnowTheirBerthsAndConflictsAndEveryPlatformHasACodeInsertionEntry) {
    TestSim t;
    auto built = area::BuildArea(*t);
    int withBerths = 0;
    for (int i = 0; i < t->Routes.Count(); ++i) {
        const TROU& r = *t->Routes.At(i);
        if (r.Class == RcAutomatic) continue;
        withBerths += r.Berths.Count() > 0;
        EXPECT_LT(r.ConflictingRoutes.IndexOf(&r), 0) << r.ID << " conflicts with itself";
        // Conflicts are mutual.
        for (int k = 0; k < r.ConflictingRoutes.Count(); ++k) {
            const TROU* o = r.ConflictingRoutes.At(k);
            EXPECT_GE(o->ConflictingRoutes.IndexOf(&r), 0) << r.ID << " / " << o->ID;
        }
        // A route and one that ends where it begins but the other way share track.
        if (r.Alternative) {
            EXPECT_GE(r.ConflictingRoutes.IndexOf(r.Alternative), 0) << r.ID;
        }
    }
    EXPECT_GT(withBerths, 0);
    const auto& entries = t->ARSTrains().ACIEntries;
    EXPECT_GE(entries.size(), 10u);
    int tagged = 0;
    for (const TACIEntry& e : entries) {
        ASSERT_FALSE(e.PlatformBerths.empty()) << e.Platform;
        for (std::size_t k = 1; k < e.PlatformBerths.size(); ++k)
            EXPECT_LE(e.PlatformBerths[k - 1]->X, e.PlatformBerths[k]->X) << "platform order";
    }
    // A step into a platform berth carries the way the train arrives (1 Down, left to
    // right; 2 Up); every other step 0.
    std::set<const TBER*> platformBerths;
    for (const TACIEntry& e : entries)
        platformBerths.insert(e.PlatformBerths.begin(), e.PlatformBerths.end());
    int down = 0, up = 0;
    t->Berths.ForEach([&](const TBER& b) {
        for (const TBERStep& s : b.Steps) {
            const bool intoPlatform =
                s.ToBerth && s.ToBerth != &b && platformBerths.count(s.ToBerth);
            if (!intoPlatform) {
                EXPECT_EQ(s.ARSTag, 0) << b.ID;
                continue;
            }
            ++tagged;
            EXPECT_EQ(s.ARSTag, s.ToBerth->X >= b.X ? 1 : 2) << b.ID << " to " << s.ToBerth->ID;
            down += s.ARSTag == 1;
            up += s.ARSTag == 2;
        }
    });
    EXPECT_GT(tagged, 0);
    EXPECT_GT(down, 0);
    EXPECT_GT(up, 0);
}

// Routes conflict for ARS when they share a circuit, when their exits' first overlaps
// do, and when one runs over the overlap the other takes at its exit, unless it starts
// at that exit (it is then the way on of the train the overlap is for).
TEST(ARSArea, ARouteOverAnotherRoutesOverlapConflictsWithItUnlessItIsTheWayOn) {
    TestSim t;
    auto built = area::BuildArea(*t);
    const auto route = [&](const std::string& id) {
        TROU* found = nullptr;
        t->Routes.ForEach([&](TROU& r) {
            if (r.ID == id) found = &r;
        });
        return found;
    };
    struct Case {
        const char* A;
        const char* B;
        bool Conflict;
    };
    const Case cases[] = {
        // Into platform 4 from the east: 18's overlap runs over the west throat that the
        // departure from platform 3 needs the other way.
        {"R20-18M", "R16-10M", true},
        // The train's own way on from 18 over that overlap.
        {"R20-18M", "R18-10M", false},
        // Out of the yard towards the loop's exit, and the Up main past it.
        {"R5-7M", "R18-10M", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.A) + " / " + c.B);
        TROU* a = route(c.A);
        TROU* b = route(c.B);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(a->ConflictingRoutes.IndexOf(b) >= 0, c.Conflict);
        EXPECT_EQ(b->ConflictingRoutes.IndexOf(a) >= 0, c.Conflict);
    }
}

}  // namespace
}  // namespace kestra
