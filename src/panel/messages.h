#pragma once
// Messages to the signaller, each with an event type that fixes its colour, pop-up,
// sound and whether it is shown.

#include <array>
#include <cstdint>
#include <deque>
#include <string>

#include "core/ports.h"

namespace kestra {

class Sim;

enum EventType : int {
    EvTracksideFailure = 0,
    EvWaitingAtRed = 1,
    EvStillWaitingAtRed = 2,
    EvWrongRoute = 3,
    EvARSMessage = 4,
    EvARSAlarm = 5,
    EvLocationReport = 6,
    EvGeneral = 7,
    EvTelephone = 8,
    EvTips = 9,
    EvTrainEntering = 10,
    EvReadyToStart = 11,
    EvReadyInSiding = 12,
    EvDelayedEntry = 13,
    EventTypeCount = 14,
};

struct TMessageOption {
    kestra::Colour Colour = 0;
    bool Popup = false;
    bool Sound = false;
    std::string Name;
    bool CanDisable = false;
    bool Disabled = false;
    std::string SoundFilename;
};

// The fixed defaults of the 14 event types.
const std::array<TMessageOption, EventTypeCount>& DefaultMessageOptions();

struct MessageText {
    std::string Text;
    kestra::Colour Colour = 0;
};

class Messages {
public:
    explicit Messages(Sim& sim);

    void PostEventMessage(const std::string& text, int type);
    void PostErrorLine(const std::string& text);
    void ClearMessages();
    // Draws the four message-line rows on a normal screen.
    void DrawMessageLine();

    std::array<TMessageOption, EventTypeCount> Options;
    std::deque<MessageText> MessageLine;     // at most 4, newest last
    std::deque<MessageText> MessageHistory;  // at most 15, oldest first

private:
    void PushLine(const std::string& text, kestra::Colour colour);
    Sim& sim_;
};

}  // namespace kestra
