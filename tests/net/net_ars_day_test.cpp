// The beginner's timetable under ARS for half an hour with a server and two clients in
// one process: after every cycle each client's state records equal the server's, the
// server's interlocking, train and ARS invariants hold every cycle, no cycle stage on
// any copy raised an error; a client switches a sub-area off and on again mid-run and
// asks for an ARS train's information, which arrives as the server shows it.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ars/ars_subarea.h"
#include "ars/ars_train.h"
#include "ars/ars_train_info.h"
#include "fakes/invariant_harness.h"
#include "fakes/net_copy.h"
#include "panel/commands.h"
#include "runner/headless.h"
#include "trains/berth.h"

namespace kestra {
namespace {

using test::NetCopy;
using test::PipeNetwork;
using test::StateDifferences;

TEST(NetARSDay, TwoClientsMirrorTheBeginnersTimetableUnderARS) {
    PipeNetwork net;
    auto a = std::make_unique<NetCopy>(net, "10.0.0.2");
    auto b = std::make_unique<NetCopy>(net, "10.0.0.3");
    std::unique_ptr<NetCopy> server;
    runner::HeadlessOptions o;
    std::string error;
    ASSERT_TRUE(runner::ParseHeadlessArgs(
        {"--timetable", std::string(KESTRA_BINARY_DIR) + "/VLM/beginner.WTT", "--ars", "all",
         "--until", "07:30", "--seed", "5"},
        o, error))
        << error;
    test::InvariantHarness harness({.ARS = true, .Limit = 10});
    std::vector<std::string> mismatches;
    int cycles = 0, compared = 0, resends = 0;
    bool finished = false, asked = false;
    ARSInformation expected;
    const int subArea = 2;
    auto settle = [&] { test::SettleCopies(net, {server.get(), a.get(), b.get()}); };
    auto compare = [&](const char* when) {
        ++compared;
        for (NetCopy* c : {a.get(), b.get()}) {
            const std::string d = StateDifferences(*server->sim, *c->sim);
            if (!d.empty() && mismatches.size() < 5)
                mismatches.push_back(server->sim->FormatSimTime() + " " + when + "\n" + d);
        }
    };
    o.AfterRun = [&](Sim&) { server.reset(); };
    o.EachCycle = [&](Sim& sim) {
        if (!server) {
            server = std::make_unique<NetCopy>(net, "10.0.0.1", &sim);
            ASSERT_TRUE(server->session->Listen());
            ASSERT_TRUE(a->session->Connect("127.0.0.1"));
            ASSERT_TRUE(b->session->Connect("127.0.0.1"));
            settle();
            ASSERT_TRUE(a->session->Initialised());
            ASSERT_TRUE(b->session->Initialised());
            compare("after the first resends");
        }
        a->sim->MajorCycleTick();
        b->sim->MajorCycleTick();
        settle();
        ++cycles;
        compare("after the cycle");

        // A signaller on a client takes a sub-area out of ARS for two minutes.
        TARS& mine = *b->sim->ARSSubAreas.At(subArea);
        if (cycles == 1200) {
            mine.CheckRightClick(mine.Column, mine.Row);
            settle();
            EXPECT_FALSE(sim.ARSSubAreas.At(subArea)->Selected);
        } else if (cycles == 1440) {
            mine.CheckLeftClick(mine.Column, mine.Row);
            settle();
            EXPECT_TRUE(sim.ARSSubAreas.At(subArea)->InEffect);
        }
        // Another asks for the information of the first ARS train with a timetable.
        if (!asked && cycles >= 600) {
            for (int i = 0; i < sim.ARSTrains().Count() && !asked; ++i) {
                const TARSTrain* t = sim.ARSTrains().At(i);
                if (!t || !t->Berth || !t->Timetable || t->PathPosition < 0) continue;
                asked = true;
                expected = BuildARSInformation(*t);
                OperatorCommands commands(*a->sim);
                a->sim->Operator.SelectedBerth = a->sim->Berths.At(sim.Berths.IndexOf(t->Berth));
                commands.BerthMenuARS(MenuCommand::BerthPopupARSInformation);
                settle();
            }
        }
        if (cycles % 900 == 0) {
            a->session->Refresh();
            settle();
            ++resends;
            compare("after a refresh");
        }
        if (sim.SimTime >= o.Until) {
            compare("at the end");
            finished = true;
        }
    };
    harness.Attach(o);
    std::ostringstream out, err;
    ASSERT_EQ(runner::RunHeadless(o, out, err), 0) << err.str();
    ASSERT_TRUE(finished);
    for (const std::string& f : harness.Broken()) ADD_FAILURE() << f;
    EXPECT_TRUE(mismatches.empty()) << (mismatches.empty() ? "" : mismatches.front());
    EXPECT_GE(compared, 3000);
    EXPECT_GE(resends, 3);
    const std::string summary = out.str();
    EXPECT_NE(summary.find("\nerrors_caught 0\n"), std::string::npos) << summary;
    EXPECT_EQ(summary.find("\nars_routes_set 0\n"), std::string::npos) << summary;
    EXPECT_EQ(a->sim->ErrorsCaught, 0);
    EXPECT_EQ(b->sim->ErrorsCaught, 0);
    // The clients ran none of it themselves and hold no ARS trains.
    EXPECT_EQ(a->sim->Trains.Count(), 0);
    EXPECT_EQ(a->sim->ARSTrains().Count(), 0);
    EXPECT_EQ(b->sim->ARSTrains().Count(), 0);
    // The information window opened on the client that asked, as the server had it.
    ASSERT_TRUE(asked);
    ASSERT_EQ(a->dialogs.ARSInfos.size(), 1u);
    const ARSInformation& got = a->dialogs.ARSInfos.front();
    EXPECT_EQ(got.Caption, expected.Caption);
    EXPECT_EQ(got.Description, expected.Description);
    EXPECT_EQ(got.Status, expected.Status);
    EXPECT_EQ(got.Delay, expected.Delay);
    EXPECT_EQ(got.Rows, expected.Rows);
    EXPECT_FALSE(got.Rows.empty());
    EXPECT_TRUE(b->dialogs.ARSInfos.empty());
}

}  // namespace
}  // namespace kestra
