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
        // The window shows the first unanswered call.
        if (c.windowOpen) {
            ASSERT_TRUE(t->Calls.ShowCall(&t->Calls.At(0)));
        }
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

namespace kestra {
namespace {

// The answer window follows the call it shows, not a count: when its call is withdrawn
// and another arrives, the new one rings although one call is unanswered and the window
// is open.
TEST(Telephone, TheCallOnShowIsTrackedWhenItGoesAndAnotherComes) {
    TestSim t;
    TCall& first = t->Calls.AddCall(MakeCall("Train 1A01"));
    ASSERT_TRUE(t->Calls.ShowCall(&first));
    EXPECT_FALSE(t->Calls.HasUnansweredCalls()) << "the call on show does not ring";
    t->Calls.RemoveCall(&first);  // the driver's signal cleared
    EXPECT_EQ(t->Calls.ShownCall(), nullptr);
    TCall& second = t->Calls.AddCall(MakeCall("Train 1A02"));
    EXPECT_TRUE(t->Calls.AnswerWindowOpen());
    EXPECT_TRUE(t->Calls.HasUnansweredCalls()) << "the new call rings";
    // Answering the window now answers nothing, and says why.
    EXPECT_FALSE(t->Calls.ReplyToShownCall(0));
    EXPECT_EQ(second.ReplyIndex, -1);
    EXPECT_EQ(t->Calls.Count(), 1);
    EXPECT_EQ(test::LastMessage(t), "Train 1A01 has rung off");
    t->Calls.CloseAnswerWindow();
    EXPECT_FALSE(t->Calls.AnswerWindowOpen());
    TCall stranger;
    EXPECT_FALSE(t->Calls.ShowCall(&stranger)) << "a call not in the list is not shown";
    EXPECT_TRUE(t->Calls.ShowCall(&second));
    EXPECT_TRUE(t->Calls.ReplyToShownCall(0));
    EXPECT_EQ(t->Calls.Count(), 0);
    EXPECT_EQ(test::LastMessage(t), "Train 1A02: Ok");
}

// A call withdrawn while shown is never answered through the window, even when a new
// call is made in its place in memory; clearing every call forgets the shown one too.
TEST(Telephone, AWithdrawnCallIsNeverAnsweredInItsPlace) {
    TestSim t;
    for (int round = 0; round < 20; ++round) {
        TCall& shown = t->Calls.AddCall(MakeCall("Train 1A01"));
        ASSERT_TRUE(t->Calls.ShowCall(&shown));
        if (round % 2)
            t->Calls.RemoveCall(&shown);
        else
            t->Calls.ClearCalls();
        TCall& next = t->Calls.AddCall(MakeCall("Train 2B02"));
        EXPECT_FALSE(t->Calls.ReplyToShownCall(0)) << "round " << round;
        EXPECT_EQ(next.ReplyIndex, -1) << "round " << round;
        t->Calls.CloseAnswerWindow();
        t->Calls.ClearCalls();
    }
}

// Prompts answered from a list, one answer per prompt; nothing once it runs out.
class ScriptedDialogs : public test::RecordingDialogs {
  public:
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& proposal) override {
        Inputs.push_back(caption + "|" + prompt + "|" + proposal);
        if (next_ >= Answers.size()) return std::nullopt;
        return Answers[next_++];
    }
    std::vector<std::string> Answers;

  private:
    std::size_t next_ = 0;
};

TEST(PhoneBook, RequestParametersAreTheNamesInAngleBrackets) {
    EXPECT_TRUE(RequestParameters("What failures are you working on?").empty());
    EXPECT_EQ(RequestParameters("Is <train> on time at <place>?"),
              (std::vector<std::string>{"train", "place"}));
    EXPECT_TRUE(RequestParameters("an unclosed <name").empty());
    std::string many;
    for (int i = 0; i < 12; ++i) many += "<p" + std::to_string(i) + "> ";
    EXPECT_EQ(RequestParameters(many).size(), kMaxRequestParameters);
}

TEST(PhoneBook, DialRingConnectAndSend) {
    TestSim t;
    std::vector<std::pair<int, RequestValues>> heard;
    t->PhoneBook.Entries.push_back(
        {"Yard", {"Hello", "Send <train> to <road>"}, [&](int request, const RequestValues& v) {
             heard.push_back({request, v});
             return std::string("Yard answers ") + std::to_string(request);
         }});
    TPlaceCall& line = t->PlaceCall;
    ScriptedDialogs dialogs;
    EXPECT_EQ(line.SendRequest(0, dialogs), "") << "nothing is sent at dial tone";
    EXPECT_EQ(line.Dial("Nobody"), -1);
    const std::int32_t ms = line.Dial("Yard");
    EXPECT_EQ(line.LineState, LineRinging);
    EXPECT_EQ(line.SendRequest(0, dialogs), "") << "nor while it rings";
    line.Connect();
    ASSERT_EQ(line.LineState, LineConnected);
    EXPECT_GE(ms, 5000);
    // A request without "<" makes one call with no parameters and asks nothing.
    EXPECT_EQ(line.SendRequest(0, dialogs), "Yard answers 0");
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_TRUE(dialogs.Inputs.empty());
    EXPECT_EQ(heard[0].second, RequestValues{});
    // Cancelling the second prompt leaves it empty; the party is still asked.
    dialogs.Answers = {"6R01"};
    EXPECT_EQ(line.SendRequest(1, dialogs), "Yard answers 1");
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].second[0], "6R01");
    EXPECT_EQ(heard[1].second[1], "");
    EXPECT_EQ(dialogs.Inputs,
              (std::vector<std::string>{"Parameter 1|Enter train|", "Parameter 2|Enter road|"}));
    EXPECT_EQ(line.SendRequest(2, dialogs), "") << "no such request";
    line.HangUp();
    EXPECT_EQ(line.LineState, LineDialTone);
    EXPECT_EQ(line.SelectedEntry, nullptr);
}

TEST(PhoneBook, RingingTimesFollowTheirThreeBands) {
    TestSim t;
    t->PhoneBook.Entries.push_back({"Depot", {"Hello"}, {}});
    int shortRings = 0, mediumRings = 0, longRings = 0;
    for (int i = 0; i < 2000; ++i) {
        const std::int32_t ms = t->PlaceCall.Dial("Depot");
        t->PlaceCall.HangUp();
        ASSERT_EQ(ms % 1000, 0);
        if (ms >= 5000 && ms <= 9000)
            ++shortRings;
        else if (ms >= 15000 && ms <= 29000)
            ++mediumRings;
        else if (ms >= 60000 && ms <= 119000)
            ++longRings;
        else
            ADD_FAILURE() << ms << " ms is in no band";
    }
    // 81, 15 and 4 in a hundred.
    EXPECT_NEAR(shortRings, 1620, 120);
    EXPECT_NEAR(mediumRings, 300, 80);
    EXPECT_NEAR(longRings, 80, 45);
}

}  // namespace
}  // namespace kestra

namespace kestra {
namespace {

TEST(Telephone, TheRingFollowsTheUnansweredCallsAndTheSoundSwitch) {
    TestSim t;
    TMessageOption& telephone = t->Messages().Options[EvTelephone];
    telephone.Sound = true;
    telephone.SoundFilename = "ring.wav";
    t->SimTime = 100;
    TCall& call = t->Calls.AddCall(MakeCall("Train 1A01"));
    t.Ticks(1);  // second 101: odd, the ring starts at once
    EXPECT_TRUE(t->Display().RingTimerRunning);
    EXPECT_EQ(t.sound.Played, std::vector<std::string>{"ring.wav"});
    t->Display().RingTimerTick();
    EXPECT_EQ(t.sound.Played.size(), 2u);
    t->PauseSimulation();
    t->Display().RingTimerTick();
    EXPECT_EQ(t.sound.Played.size(), 2u) << "no ring while paused";
    t->ResumeSimulation();
    telephone.Sound = false;
    t->Display().RingTimerTick();
    EXPECT_EQ(t.sound.Played.size(), 2u) << "the sound switch is off";
    telephone.Sound = true;
    // With the answer window on the only call, the ringing stops.
    ASSERT_TRUE(t->Calls.ShowCall(&call));
    t.Ticks(1);
    EXPECT_FALSE(t->Display().RingTimerRunning);
    t->Display().RingTimerTick();
    EXPECT_EQ(t.sound.Played.size(), 2u);
    t->Calls.CloseAnswerWindow();
    t->SimTime = 199;
    t.Ticks(1);  // second 200: restarts on an even second, no ring at once
    ASSERT_EQ(t->SimTime, 200);
    EXPECT_TRUE(t->Display().RingTimerRunning);
    EXPECT_EQ(t.sound.Played.size(), 2u);
}

}  // namespace
}  // namespace kestra
