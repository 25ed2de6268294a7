// ARS over the network: a client's sub-area switches and collars, its ARS train
// commands and its request for a train's ARS information are carried out on the server,
// the answers go to that client alone, and every copy sees the resulting state; what a
// hostile peer sends with the ARS codes (state records from a client, requests from a
// server, bad lengths, unknown sub-areas, berths and trains) changes nothing.

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "ars/ars_subarea.h"
#include "ars/ars_train.h"
#include "fakes/net_copy.h"
#include "interlocking/state_message.h"
#include "net/framing.h"
#include "panel/commands.h"
#include "trains/berth.h"

namespace kestra {
namespace {

using test::NetCopy;
using test::PipeNetwork;
using test::StateDifferences;
using test::StateRecords;

class NetARSTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server = std::make_unique<NetCopy>(net, "10.0.0.1");
        ASSERT_TRUE(server->session->Listen());
    }
    std::unique_ptr<NetCopy> Client(const std::string& address) {
        auto c = std::make_unique<NetCopy>(net, address);
        EXPECT_TRUE(c->session->Connect("127.0.0.1"));
        Settle({c.get()});
        EXPECT_TRUE(c->session->Initialised()) << address;
        return c;
    }
    void Settle(std::vector<NetCopy*> clients) {
        clients.push_back(server.get());
        test::SettleCopies(net, clients);
    }
    // A berth of the area with a place on the panel, not at the fringe.
    int SomeBerth(int skip = 0) const {
        for (int i = 0; i < server->sim->Berths.Count(); ++i) {
            const TBER* b = server->sim->Berths.At(i);
            if (b && !b->External && (b->X != 0 || b->Y != 0) && skip-- <= 0) return i;
        }
        return -1;
    }
    PipeNetwork net;
    std::unique_ptr<NetCopy> server;
};

TEST_F(NetARSTest, SubAreaClicksOnAClientAreCarriedOutOnTheServerAndSeenByAll) {
    auto a = Client("10.0.0.2");
    auto b = Client("10.0.0.3");
    ASSERT_GT(server->sim->ARSSubAreas.Count(), 1);
    const int i = server->sim->ARSSubAreas.Count() - 1;
    TARS& onServer = *server->sim->ARSSubAreas.At(i);
    TARS& mine = *a->sim->ARSSubAreas.At(i);
    TARS& theirs = *b->sim->ARSSubAreas.At(i);
    auto settle = [&] { Settle({a.get(), b.get()}); };

    // Switched off from the client: nothing changes there until the server says so.
    ASSERT_TRUE(mine.CheckRightClick(mine.Column, mine.Row));
    EXPECT_TRUE(mine.Selected);
    settle();
    EXPECT_FALSE(onServer.Selected);
    EXPECT_FALSE(mine.Selected);
    EXPECT_FALSE(theirs.InEffect);

    // Collared from the client in REMINDER mode.
    a->sim->Operator.ReminderMode = true;
    ASSERT_TRUE(mine.CheckLeftClick(mine.Column, mine.Row));
    EXPECT_FALSE(a->sim->Operator.ReminderMode);
    settle();
    EXPECT_TRUE(onServer.Collared);
    EXPECT_TRUE(theirs.Collared);

    // Switching a collared sub-area on is refused, and only the asker hears so.
    ASSERT_TRUE(mine.CheckLeftClick(mine.Column, mine.Row));
    settle();
    EXPECT_FALSE(onServer.Selected);
    EXPECT_TRUE(a->Showed("SUBAREA IS COLLARED"));
    EXPECT_FALSE(b->Showed("SUBAREA IS COLLARED"));
    EXPECT_FALSE(server->Showed("SUBAREA IS COLLARED"));

    // The collar off, and ARS on again.
    a->sim->Operator.ReminderMode = true;
    ASSERT_TRUE(mine.CheckRightClick(mine.Column, mine.Row));
    settle();
    EXPECT_FALSE(onServer.Collared);
    ASSERT_TRUE(mine.CheckLeftClick(mine.Column, mine.Row));
    settle();
    EXPECT_TRUE(onServer.Selected);
    EXPECT_TRUE(onServer.InEffect);
    EXPECT_TRUE(theirs.InEffect);
    EXPECT_EQ(StateDifferences(*server->sim, *a->sim), "");
    EXPECT_EQ(StateDifferences(*server->sim, *b->sim), "");
}

// The flag byte of "AD" is a control byte for some states; it must travel escaped.
TEST_F(NetARSTest, EveryFlagByteOfASubAreaArrivesUnchanged) {
    auto a = Client("10.0.0.2");
    TARS& s = *server->sim->ARSSubAreas.At(0);
    TARS& c = *a->sim->ARSSubAreas.At(0);
    struct Case {
        bool available, selected, collared;
    };
    for (const Case k : {Case{false, true, false},  // 1: selected only
                         Case{true, false, false},  // 2: available only
                         Case{true, true, true},    // 15
                         Case{false, false, true},  // 8
                         Case{false, false, false}}) {
        s.Available = k.available;
        s.SetSelected(k.selected);
        s.SetCollared(k.collared);
        Settle({a.get()});
        EXPECT_EQ(static_cast<int>(c.StateBits()), static_cast<int>(s.StateBits()));
    }
}

TEST_F(NetARSTest, ARSTrainCommandsFromAClientAnswerThatClientAlone) {
    auto a = Client("10.0.0.2");
    auto b = Client("10.0.0.3");
    const int index = SomeBerth();
    ASSERT_GE(index, 0);
    // A description with no timetable: an ARS train that cannot be ARS.
    server->sim->Berths.At(index)->Interpose("9Z99");
    Settle({a.get(), b.get()});
    TBER& mine = *a->sim->Berths.At(index);
    ASSERT_EQ(mine.Description, "9Z99");
    const std::size_t serverLines = server->Lines.size();
    const std::size_t otherLines = b->Lines.size();

    const TARSTrain* made = server->sim->ARSTrains().FindByBerth(server->sim->Berths.At(index));
    ASSERT_NE(made, nullptr);
    std::string status = "9Z99 " + server->sim->ARSTrains().StatusTextOf(*made);
    for (char& ch : status) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    OperatorCommands commands(*a->sim);
    struct Case {
        MenuCommand command;
        const char* answer;
    };
    for (const Case k :
         {Case{MenuCommand::BerthIsARS, "9Z99 IS NON-ARS"},
          Case{MenuCommand::BerthQueryRoutesetting, status.c_str()},
          Case{MenuCommand::BerthMakeARS, "9Z99 CANNOT BE MADE ARS"},
          Case{MenuCommand::BerthMakeNonARS, "9Z99 MADE NON-ARS"},
          Case{MenuCommand::BerthPopupARSInformation, "9Z99 HAS NO/INVALID TIMETABLE DATA"}}) {
        a->sim->Operator.SelectedBerth = &mine;
        commands.BerthMenuARS(k.command);
        Settle({a.get(), b.get()});
        EXPECT_TRUE(a->Showed(k.answer)) << k.answer;
    }
    // The timetable summary's heading.
    a->sim->Operator.SelectedBerth = &mine;
    commands.BerthMenuARS(MenuCommand::BerthQueryTimetable);
    Settle({a.get(), b.get()});
    ASSERT_FALSE(a->Lines.empty());
    EXPECT_NE(a->Lines.back().first.find("LOCATION ARR  DEP/PASS"), std::string::npos);
    EXPECT_TRUE(a->dialogs.ARSInfos.empty());
    // Nothing was shown on the server or on the other client.
    EXPECT_EQ(server->Lines.size(), serverLines);
    EXPECT_EQ(b->Lines.size(), otherLines);
    // Made non-ARS on the server.
    const TARSTrain* t = server->sim->ARSTrains().FindByBerth(server->sim->Berths.At(index));
    ASSERT_NE(t, nullptr);
    EXPECT_FALSE(t->ARSEnabled);
    EXPECT_EQ(StateDifferences(*server->sim, *a->sim), "");
}

// The window's contents travel as "AL", "AM" rows and "AN"; a client keeps what a
// complete answer holds and no more rows than a bound, whatever a server sends.
TEST_F(NetARSTest, ARSInformationFromTheServerFillsTheWindowOnce) {
    auto a = Client("10.0.0.2");
    auto send = [&](const std::string& payload) {
        server->sim->Broadcast(payload);
        Settle({a.get()});
    };
    send("AM" + std::string("Stray\t\t\t\t\t\t\t"));  // no "AL" before it
    send("AN");
    EXPECT_TRUE(a->dialogs.ARSInfos.empty());
    send("AL1A23Express\tEnough route set\tOn time\t");
    send("AMNorthby\t\t10:00\tML\t2\tFL\t\t");
    send("AMSouthby\t10:20\t10:21\t\t1\t\tN 2A11\t");
    send("AMShort");  // fields missing: empty
    send("AN");
    ASSERT_EQ(a->dialogs.ARSInfos.size(), 1u);
    const ARSInformation& info = a->dialogs.ARSInfos.back();
    EXPECT_EQ(info.Caption, "ARS Information for train 1A23");
    EXPECT_EQ(info.Description, "Express");
    EXPECT_EQ(info.Status, "Enough route set");
    EXPECT_EQ(info.Delay, "On time");
    ASSERT_EQ(info.Rows.size(), 3u);
    EXPECT_EQ(info.Rows[1],
              (std::vector<std::string>{"Southby", "10:20", "10:21", "", "1", "", "N 2A11"}));
    EXPECT_EQ(info.Rows[2], (std::vector<std::string>(7)));
    EXPECT_EQ(info.Rows[2].size(), 7u);
    // A second "AN" opens nothing; a flood of rows is bounded.
    send("AN");
    EXPECT_EQ(a->dialogs.ARSInfos.size(), 1u);
    send("AL1A23");
    for (int i = 0; i < 500; ++i) server->sim->Broadcast("AMRow\t");
    Settle({a.get()});
    send("AN");
    ASSERT_EQ(a->dialogs.ARSInfos.size(), 2u);
    EXPECT_LE(a->dialogs.ARSInfos.back().Rows.size(), 64u);
    EXPECT_GE(a->dialogs.ARSInfos.back().Rows.size(), 10u);
    // A server copy never takes the window's records from a client.
    EXPECT_TRUE(server->dialogs.ARSInfos.empty());
}

TEST_F(NetARSTest, HostileARSMessagesChangeNothing) {
    auto honest = Client("10.0.0.2");
    const int index = SomeBerth();
    ASSERT_GE(index, 0);
    server->sim->Berths.At(index)->Interpose("9Z99");
    TARS& first = *server->sim->ARSSubAreas.At(0);
    first.SetCollared(true);
    Settle({honest.get()});
    const auto before = StateRecords(*server->sim);
    const int raw = net.RawConnect(4321);
    Settle({honest.get()});
    net.RawTake(raw);
    const std::string n = Hex4(server->sim->ARSSubAreas.Count());
    const std::string berth = Hex4(index);
    const std::string berths = Hex4(server->sim->Berths.Count());
    std::vector<std::string> bad = {
        // sub-area state records from a client, and requests with bad positions/lengths
        "AD00000F", "AD000007", "AD0000", "AG" + n, "AGzzzz", "AG-001", "AGFFFF", "AG000",
        "AG00000", "AH00001", "AI" + n, "AJ-001", "AJ000", "ag0000", "AH",
        // the sub-area collared: a switch-on is refused, never carried out
        "AG0000",
        // ARS train commands: unknown berth, bad lengths, a description nobody carries
        "AA" + berths + "9Z99", "AB" + berths + "9Z99", "ABzzzz9Z99", "AB-0019Z99",
        "AB" + berth + "9Z9", "AB" + berth + "9Z999", "AB" + berth + "1X11", "AB",
        // information requests likewise
        "AO9Z99" + berths, "AO9Z99zzzz", "AO9Z99", "AO9Z99" + berth + "0", "AO1X11" + berth,
        // the server's records
        "ALxxxx", "AMrow", "AN", "AK" + berth + "9Z99"};
    for (const std::string& s : bad) net.RawSend(raw, *net::Frame(s));
    Settle({honest.get()});
    EXPECT_EQ(StateRecords(*server->sim), before);
    const TARSTrain* t = server->sim->ARSTrains().FindByBerth(server->sim->Berths.At(index));
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->ARSEnabled);
    // The refusal of the collared switch-on is the only answer the peer had.
    const std::string got = net.RawTake(raw);
    EXPECT_NE(got.find("Subarea is collared"), std::string::npos);
    EXPECT_EQ(got.find("AL"), std::string::npos);
    EXPECT_EQ(got.find("9Z99"), std::string::npos);
    EXPECT_TRUE(server->dialogs.ARSInfos.empty());
    // Nothing of it reached the honest client either.
    EXPECT_FALSE(honest->Showed("SUBAREA IS COLLARED"));
    EXPECT_EQ(StateDifferences(*server->sim, *honest->sim), "");

    // Requests arriving at a client from a server change nothing there.
    TARS& mirrored = *honest->sim->ARSSubAreas.At(1);
    const auto clientBefore = StateRecords(*honest->sim);
    for (const std::string& s :
         {std::string("AH0001"), std::string("AI0001"), "AB" + berth + "9Z99",
          std::string("AD0001\x10", 7), std::string("AD0001")})
        server->sim->Broadcast(s);
    Settle({honest.get()});
    EXPECT_EQ(StateRecords(*honest->sim), clientBefore);
    EXPECT_TRUE(mirrored.Selected);
}

}  // namespace
}  // namespace kestra
