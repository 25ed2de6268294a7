#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim.h"
#include "fakes/fakes.h"
#include "display/palette.h"

namespace kestra {
namespace {

using test::TestSim;

class MessagesTest : public ::testing::Test {
  protected:
    MessagesTest() { t->SimData.ScreenCount = 2; }
    Messages& M() { return t->Messages(); }
    std::string LineRow(int i) { return t.surface.RowText(44 + i, 67, 60); }
    // Posts without pop-up boxes or sounds getting in the way.
    void Quiet() {
        for (auto& o : M().Options) {
            o.Popup = false;
            o.Sound = false;
        }
    }
    TestSim t;
};

TEST_F(MessagesTest, MessageLineShowsLastFourUpperCasedRightAligned) {
    Quiet();
    for (int i = 1; i <= 5; ++i) t->PostEventMessage("train " + std::to_string(i), EvGeneral);
    ASSERT_EQ(M().MessageLine.size(), 4u);
    EXPECT_EQ(M().MessageLine.front().Text, "TRAIN 2");  // the fifth pushed the first off
    EXPECT_EQ(LineRow(0), std::string(53, ' ') + "TRAIN 2");
    EXPECT_EQ(LineRow(3), std::string(53, ' ') + "TRAIN 5");
    EXPECT_EQ(t.surface.At(126, 47).Fg, ClCyan);
    EXPECT_EQ(t.surface.At(67, 44).Bg, ClDarkGrey);
}

TEST_F(MessagesTest, FewerThanFourLinesLeaveBlankRowsAbove) {
    Quiet();
    t->PostEventMessage("one", EvTelephone);
    EXPECT_EQ(LineRow(0), std::string(60, ' '));
    EXPECT_EQ(LineRow(3), std::string(57, ' ') + "ONE");
    EXPECT_EQ(t.surface.At(126, 47).Fg, ClWhite);
}

TEST_F(MessagesTest, LongMessageIsCutTo60OnTheLineAnd124InTheHistory) {
    Quiet();
    std::string text;
    for (int i = 0; i < 130; ++i) text += static_cast<char>('a' + i % 26);
    t->PostEventMessage(text.substr(0, 70), EvGeneral);
    std::string upper70 = text.substr(0, 70);
    for (char& c : upper70) c = static_cast<char>(c - 'a' + 'A');
    EXPECT_EQ(LineRow(3), upper70.substr(0, 60));
    t->PostEventMessage(text, EvGeneral);
    t->Display().SelectScreen(0);
    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(c - 'a' + 'A');
    EXPECT_EQ(t.surface.RowText(29, 2, 124), upper70 + std::string(54, ' '));
    EXPECT_EQ(t.surface.RowText(30, 2, 124), upper.substr(0, 124));
    EXPECT_EQ(t.surface.At(126, 30).Code, ' ');  // the text stops before the frame
    EXPECT_EQ(t.surface.At(127, 30).Code, 0x8A);
}

TEST_F(MessagesTest, HistoryKeepsFifteenOldestFirstInOwnCase) {
    Quiet();
    for (int i = 1; i <= 16; ++i)
        t->PostEventMessage("Msg " + std::to_string(i), i % 2 ? EvGeneral : EvWrongRoute);
    ASSERT_EQ(M().MessageHistory.size(), 15u);
    EXPECT_EQ(M().MessageHistory.front().Text, "Msg 2");
    EXPECT_EQ(M().MessageHistory.back().Text, "Msg 16");
    t->Display().SelectScreen(0);
    EXPECT_EQ(t.surface.RowText(29, 2, 6), "MSG 2 ");
    EXPECT_EQ(t.surface.At(2, 29).Fg, ClYellow);
    EXPECT_EQ(t.surface.RowText(43, 2, 6), "MSG 16");
    EXPECT_EQ(t.surface.At(2, 43).Bg, ClBlack);
}

TEST_F(MessagesTest, HistoryIsRedrawnOnlyWhileTheOverviewIsShown) {
    Quiet();
    t->PostEventMessage("on screen one", EvGeneral);
    EXPECT_FALSE(t.surface.At(2, 29).Drawn);
    t->Display().SelectScreen(0);
    t.surface.Clear();
    t->PostEventMessage("on the overview", EvGeneral);
    EXPECT_EQ(t.surface.RowText(30, 2, 15), "ON THE OVERVIEW");
    EXPECT_FALSE(t.surface.At(100, 47).Drawn) << "no message line on the overview";
}

// Each event type's defaults decide colour, sound and pop-up.
TEST_F(MessagesTest, TypeDefaultsDecideColourSoundAndPopup) {
    struct Case {
        int type;
        Colour colour;
        bool popup, sound, canDisable;
    };
    const Case cases[] = {
        {0, ClRed, true, true, false},      {1, ClYellow, false, false, false},
        {2, ClYellow, false, true, false},  {3, ClYellow, true, true, false},
        {4, ClMagenta, false, true, false}, {5, ClMagenta, false, true, false},
        {6, ClSilver, false, false, true},  {7, ClCyan, false, false, false},
        {8, ClWhite, false, false, false},  {9, ClCyan, false, false, true},
        {10, ClCyan, false, true, true},    {11, ClCyan, false, true, true},
        {12, ClWhite, true, true, true},    {13, ClWhite, false, false, true},
    };
    for (const Case& c : cases) {
        TestSim s;
        for (auto& o : s->Messages().Options) o.SoundFilename = "beep.wav";
        s->PostEventMessage("text", c.type);
        EXPECT_EQ(s->Messages().MessageLine.back().Colour, c.colour) << c.type;
        EXPECT_EQ(s.dialogs.Infos.size(), c.popup ? 1u : 0u) << c.type;
        EXPECT_EQ(s.sound.Played.size(), c.sound ? 1u : 0u) << c.type;
        EXPECT_EQ(s->Messages().Options[c.type].CanDisable, c.canDisable) << c.type;
        EXPECT_FALSE(s->IsPaused()) << c.type;
    }
}

TEST_F(MessagesTest, SoundWithoutFileIsSilent) {
    t->PostEventMessage("enters", EvTrainEntering);
    EXPECT_TRUE(t.sound.Played.empty());
    M().Options[EvTrainEntering].SoundFilename = "/sounds/horn.wav";
    t->PostEventMessage("enters", EvTrainEntering);
    EXPECT_EQ(t.sound.Played, (std::vector<std::string>{"/sounds/horn.wav"}));
}

TEST_F(MessagesTest, DisabledTypeProducesNothing) {
    M().Options[EvReadyInSiding].Disabled = true;
    M().Options[EvReadyInSiding].SoundFilename = "x.wav";
    t->PostEventMessage("ready", EvReadyInSiding);
    EXPECT_TRUE(M().MessageLine.empty());
    EXPECT_TRUE(M().MessageHistory.empty());
    EXPECT_TRUE(t.sound.Played.empty());
    EXPECT_TRUE(t.dialogs.Infos.empty());
    EXPECT_EQ(t.surface.GlyphCount, 0);
}

// Records whether the simulation was paused while the box was up.
class PauseProbe : public test::RecordingDialogs {
  public:
    void ShowInformation(const std::string& text) override {
        pausedDuringBox = sim->IsPaused();
        RecordingDialogs::ShowInformation(text);
    }
    Sim* sim = nullptr;
    bool pausedDuringBox = false;
};

TEST_F(MessagesTest, PopupPausesWhileTheBoxIsOpen) {
    PauseProbe dialogs;
    Ports ports;
    ports.Dialog = &dialogs;
    Sim sim(ports);
    dialogs.sim = &sim;
    sim.PostEventMessage("Points failed", EvTracksideFailure);
    EXPECT_TRUE(dialogs.pausedDuringBox);
    EXPECT_EQ(dialogs.Infos, (std::vector<std::string>{"Points failed"}));
    EXPECT_FALSE(sim.IsPaused());
}

TEST_F(MessagesTest, ErrorLineIsRedAndStaysOutOfTheHistory) {
    M().PostErrorLine("bad timetable line");
    EXPECT_EQ(M().MessageLine.back().Text, "BAD TIMETABLE LINE");
    EXPECT_EQ(M().MessageLine.back().Colour, ClRed);
    EXPECT_TRUE(M().MessageHistory.empty());
    EXPECT_TRUE(t.sound.Played.empty());
    EXPECT_TRUE(t.dialogs.Infos.empty());
    EXPECT_EQ(t.surface.At(126, 47).Fg, ClRed);
}

TEST_F(MessagesTest, ClearEmptiesLineAndHistory) {
    Quiet();
    t->PostEventMessage("a", EvGeneral);
    t->ResetSimulation();
    EXPECT_TRUE(M().MessageLine.empty());
    EXPECT_TRUE(M().MessageHistory.empty());
}

TEST_F(MessagesTest, BroadcastSendsTypeInHexToClients) {
    M().BroadcastEventMessage("Train 1A23 entering", EvTrainEntering);
    EXPECT_TRUE(t.broadcaster.Sent.empty()) << "not a server";
    t->Broadcaster = &t.broadcaster;
    M().BroadcastEventMessage("Train 1A23 entering", EvTrainEntering);
    EXPECT_EQ(t.broadcaster.Sent, (std::vector<std::string>{"MA0ATrain 1A23 entering"}));
    EXPECT_TRUE(M().MessageLine.empty()) << "broadcasting does not post here";
}

class ReplyProbe : public RequestingClient {
  public:
    void Reply(const std::string& payload) override { sent.push_back(payload); }
    std::vector<std::string> sent;
};

TEST_F(MessagesTest, MessageDuringAClientRequestGoesToThatClientOnly) {
    ReplyProbe client;
    t->Broadcaster = &t.broadcaster;
    M().Requester = &client;
    t->PostEventMessage("Subarea is collared", EvARSMessage);
    EXPECT_EQ(client.sent, (std::vector<std::string>{"MA04Subarea is collared"}));
    EXPECT_TRUE(M().MessageLine.empty());
    EXPECT_TRUE(t.sound.Played.empty());
    EXPECT_TRUE(t.broadcaster.Sent.empty());
}

TEST_F(MessagesTest, ClientPostsReceivedMessages) {
    Quiet();
    struct Case {
        const char* payload;
        bool posted;
        Colour colour;
    };
    const Case cases[] = {
        {"MA0CReady in siding", true, ClWhite},
        {"MA03wrong", true, ClYellow},
        {"MA0c", true, ClWhite},
        {"MAZZbad", false, 0},
        {"MA0", false, 0},
        {"XA03text", false, 0},
    };
    for (const Case& c : cases) {
        M().ClearMessages();
        M().HandleClientMessage(c.payload);
        EXPECT_EQ(M().MessageLine.size(), c.posted ? 1u : 0u) << c.payload;
        if (c.posted) {
            EXPECT_EQ(M().MessageLine.back().Colour, c.colour) << c.payload;
        }
    }
}

}  // namespace
}  // namespace kestra
