#include "phone/telephone.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/value_stream.h"
#include "fakes/fakes.h"
#include "sim/sim.h"

namespace kestra {
namespace {

using test::TestSim;

std::unique_ptr<TCall> MakeCall(const std::string& caller,
                                std::vector<TCallReply> replies = {{"Ok", false}}) {
    auto call = std::make_unique<TCall>();
    call->Caller = caller;
    call->Message = caller + " calling";
    call->Replies = std::move(replies);
    return call;
}

TEST(Telephone, CallsPlacedInTheSameSecondAreAllKeptInOrder) {
    TestSim t;
    t->SimTime = 36000;
    TCall& a = t->Calls.AddCall(MakeCall("Technician"));
    TCall& b = t->Calls.AddCall(MakeCall("Train 1A01"));
    TCall& c = t->Calls.AddCall(MakeCall("Train 1A02"));
    ASSERT_EQ(t->Calls.Count(), 3);
    EXPECT_EQ(&t->Calls.At(0), &a);
    EXPECT_EQ(&t->Calls.At(1), &b);
    EXPECT_EQ(&t->Calls.At(2), &c);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(t->Calls.At(i).CallTime, 36000);
        EXPECT_EQ(t->Calls.At(i).ReplyIndex, -1);
        EXPECT_TRUE(t->Calls.At(i).ReplyText.empty());
    }
    t->Calls.RemoveCall(&b);
    ASSERT_EQ(t->Calls.Count(), 2);
    EXPECT_EQ(&t->Calls.At(0), &a);
    EXPECT_EQ(&t->Calls.At(1), &c);
}

TEST(Telephone, UnansweredAndAwaitingCalls) {
    struct Case {
        int unanswered, awaiting;
        bool windowOpen, ringing, awaitingShown;
    };
    const Case cases[] = {
        {0, 0, false, false, false}, {1, 0, false, true, false}, {1, 0, true, false, false},
        {2, 0, true, true, false},   {0, 1, false, false, true}, {1, 1, true, false, true},
    };
    for (const Case& c : cases) {
        TestSim t;
        for (int i = 0; i < c.unanswered; ++i) t->Calls.AddCall(MakeCall("A"));
        for (int i = 0; i < c.awaiting; ++i) t->Calls.AddCall(MakeCall("B")).ReplyIndex = 0;
        t->Calls.AnswerWindowOpen = c.windowOpen;
        EXPECT_EQ(t->Calls.HasUnansweredCalls(), c.ringing)
            << c.unanswered << " unanswered, window " << c.windowOpen;
        EXPECT_EQ(t->Calls.HasAwaitingCalls(), c.awaitingShown) << c.awaiting << " awaiting";
    }
}

TEST(Telephone, AReplyWithoutAHandlerEndsTheCallAndIsShown) {
    TestSim t;
    TCall& call = t->Calls.AddCall(MakeCall("Technician", {{"Yes", false}, {"No", false}}));
    ASSERT_TRUE(t->Calls.Reply(call, 1));
    EXPECT_EQ(t->Calls.Count(), 0);
    EXPECT_EQ(test::LastMessage(t), "Technician: No");
}

TEST(Telephone, AHandlerSeesTheReplyAndDecidesWhetherTheCallGoes) {
    TestSim t;
    int seen = -1;
    std::string text;
    TCall& call = t->Calls.AddCall(MakeCall("Technician", {{"Yes", false}, {"No", true}}));
    call.OnReply = [&](TCall& c) {
        seen = c.ReplyIndex;
        text = c.ReplyText;
    };
    ASSERT_TRUE(t->Calls.Reply(call, 0));
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(text, "Yes");
    ASSERT_EQ(t->Calls.Count(), 1) << "the handler kept it";
    EXPECT_TRUE(t->Calls.HasAwaitingCalls());
    EXPECT_FALSE(t->Calls.HasUnansweredCalls());
}

TEST(Telephone, AFailingHandlerIsSwallowed) {
    TestSim t;
    TCall& call = t->Calls.AddCall(MakeCall("Technician"));
    call.OnReply = [](TCall&) { throw std::runtime_error("handler fault"); };
    EXPECT_NO_THROW(EXPECT_TRUE(t->Calls.Reply(call, 0)));
    EXPECT_EQ(test::LastMessage(t), "Technician: Ok");
}

TEST(Telephone, AReplyOutOfRangeOrToAnUnknownCallChangesNothing) {
    TestSim t;
    TCall& call = t->Calls.AddCall(MakeCall("Technician", {{"Yes", false}, {"No", false}}));
    for (int index : {-1, 2, 99}) {
        EXPECT_FALSE(t->Calls.Reply(call, index)) << index;
        EXPECT_EQ(call.ReplyIndex, -1) << index;
    }
    TCall stranger;
    stranger.Replies = {{"Ok", false}};
    EXPECT_FALSE(t->Calls.Reply(stranger, 0));
    EXPECT_EQ(stranger.ReplyIndex, -1);
    EXPECT_EQ(t->Calls.Count(), 1);
}

TEST(Telephone, IncidentsAreTimedAndSurviveASaveAndLoadInOrder) {
    TestSim t;
    t->SimTime = 7 * 3600 + 5 * 60 + 9;
    t->Incidents.AddIncident("first");
    t->Incidents.AddIncident("second");
    t->SimTime += 61;
    t->Incidents.AddIncident("third");
    const std::vector<std::string> expected = {"07:05:09 first", "07:05:09 second",
                                               "07:06:10 third"};
    EXPECT_EQ(t->Incidents.Lines, expected);

    ValueWriter w;
    ASSERT_TRUE(t->Incidents.SaveIncidents(w));
    const std::vector<std::uint8_t> bytes = w.TakeBytes();
    TestSim other;
    other->Incidents.Lines = {"06:00:00 already there"};
    ValueReader r(bytes.data(), bytes.size());
    ASSERT_TRUE(other->Incidents.LoadIncidents(r));
    std::vector<std::string> appended = {"06:00:00 already there"};
    appended.insert(appended.end(), expected.begin(), expected.end());
    EXPECT_EQ(other->Incidents.Lines, appended) << "loading appends";
}

TEST(Telephone, ADamagedIncidentRecordAddsNothing) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    ValueWriter huge;
    huge.WriteInteger(0x7FFFFFFF);
    huge.WriteString("one line only");
    ValueWriter negative;
    negative.WriteInteger(-1);
    ValueWriter cut;
    cut.WriteInteger(2);
    cut.WriteString("one");
    cut.WriteInteger(5);  // not a string
    const Case cases[] = {{"count beyond the file", huge.TakeBytes()},
                          {"negative count", negative.TakeBytes()},
                          {"line of the wrong type", cut.TakeBytes()},
                          {"empty", {}}};
    for (const Case& c : cases) {
        TestSim t;
        t->Incidents.Lines = {"kept"};
        ValueReader r(c.bytes.data(), c.bytes.size());
        EXPECT_FALSE(t->Incidents.LoadIncidents(r)) << c.name;
        EXPECT_EQ(t->Incidents.Lines, std::vector<std::string>{"kept"}) << c.name;
    }
}

}  // namespace
}  // namespace kestra
