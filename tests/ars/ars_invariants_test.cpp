// The ARS invariant checker that the end-to-end runs hook to every cycle: each broken
// state is reported, and a sound one is not, so a run that reports nothing means
// something.

#include "fakes/ars_invariants.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ars/ars_train.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "trains/berth.h"

namespace kestra {
namespace {

using test::TestSim;

// Two described berths with their (non-ARS) trains and a plain line whose routes the
// tests put on a train's path or in the request queue.
struct Checked {
    TestSim t;
    TBER* b[3] = {};
    test::PlainLine line{};
    Checked() {
        test::RailwayBuilder builder(*t);
        line = test::BuildPlainLine(builder);
        for (int i = 0; i < 3; ++i) {
            b[i] = &t->Berths.Create(*t, "B" + std::to_string(i));
            b[i]->X = 10 + 6 * i;
        }
        b[0]->Interpose("1A01");
        b[1]->Interpose("1A02");
    }
    TARSTrainList& ars() { return t->ARSTrains(); }
    TARSTrain& first() { return *ars().FindByBerth(b[0]); }
    TARSTrain& second() { return *ars().FindByBerth(b[1]); }
    // Puts the first train on a path of its berth, route S1-S2 and berth 2, as ARS.
    void OnPath() {
        TARSTrain& a = first();
        a.PathEntries.Items.resize(3);
        a.PathEntries.Items[0].Item = b[0];
        a.PathEntries.Items[1].Item = line.S1S2;
        a.PathEntries.Items[2].Item = b[2];
        a.PathPosition = 0;
        a.OnPlannedPath = true;
        a.IsARS = true;
    }
    std::string Report() {
        std::string all;
        for (const std::string& s : test::CheckARS(*t)) all += s + "\n";
        return all;
    }
};

TEST(ARSInvariants, EachBrokenStateIsReportedAndASoundOneIsNot) {
    struct Case {
        const char* name;
        std::function<void(Checked&)> make;
        const char* reported;  // nullptr: nothing may be reported
    };
    TestSim elsewhere;
    TARSTrain stray(*elsewhere);
    TBER& elsewhereBerth = elsewhere->Berths.Create(*elsewhere, "B0");
    const Case cases[] = {
        {"sound", [](Checked&) {}, nullptr},
        {"sound on its path with its route requested",
         [](Checked& c) {
             c.OnPath();
             c.ars().RouteRequests.push_back(c.line.S1S2);
         },
         nullptr},
        {"no berth", [](Checked& c) { c.first().Berth = nullptr; }, "stands in no berth"},
        {"a berth of no describer",
         [&elsewhereBerth](Checked& c) { c.first().Berth = &elsewhereBerth; },
         "stands in no berth"},
        {"berth shows another description", [](Checked& c) { c.b[0]->Description = "9Z99"; },
         "showing '9Z99'"},
        {"two trains in one berth", [](Checked& c) { c.second().Berth = c.b[0]; },
         "shares berth B0"},
        {"ARS off its path",
         [](Checked& c) {
             c.OnPath();
             c.first().PathPosition = -1;
         },
         "is ARS but not at its berth's entry"},
        {"ARS at another berth's entry",
         [](Checked& c) {
             c.OnPath();
             c.first().PathPosition = 2;
         },
         "is ARS but not at its berth's entry"},
        {"refers to a freed train", [&stray](Checked& c) { c.second().StatusTrain = &stray; },
         "refers to a freed train"},
        {"a route on no train's path",
         [](Checked& c) {
             c.OnPath();
             c.ars().RouteRequests.push_back(c.line.D1D2);
         },
         "route D1-D2 chosen by ARS off every train's path"},
        {"a route behind the train",
         [](Checked& c) {
             TARSTrain& a = c.first();
             c.OnPath();
             a.PathPosition = 2;
             a.Berth = c.b[2];
             c.b[2]->Description = a.Description;
             c.b[0]->Description.clear();
             c.ars().RouteRequests.push_back(c.line.S1S2);
         },
         "route S1-S2 chosen by ARS off every train's path"},
        {"a route on the path of a train that is not ARS",
         [](Checked& c) {
             c.OnPath();
             c.first().IsARS = false;
             c.ars().RouteRequests.push_back(c.line.S1S2);
         },
         "route S1-S2 chosen by ARS off every train's path"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Checked c;
        k.make(c);
        const std::string report = c.Report();
        if (!k.reported) {
            EXPECT_EQ(report, "");
        } else {
            EXPECT_NE(report.find(k.reported), std::string::npos) << report;
        }
    }
}

}  // namespace
}  // namespace kestra
