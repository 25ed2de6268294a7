#pragma once
// Messages to the signaller, each with an event type that fixes its colour, pop-up,
// sound and whether it is shown.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

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

// The file name of the sound the program makes for each event type, in the sounds
// folder of the area's data folder; the telephone message type's sound is the ring.
const char* StandardSoundFile(int type);

// The fixed defaults of the 14 event types.
const std::array<TMessageOption, EventTypeCount>& DefaultMessageOptions();

struct MessageText {
    std::string Text;
    kestra::Colour Colour = 0;
};

// The connection of the client whose request a server is handling; messages raised
// meanwhile go back to that client alone.
class RequestingClient {
  public:
    virtual ~RequestingClient() = default;
    virtual void Reply(const std::string& payload) = 0;
};

class Messages {
  public:
    explicit Messages(Sim& sim);

    // The one way to report to the signaller: line, history, sound and pop-up by type.
    void PostEventMessage(const std::string& text, int type);
    // A red line on the message line only: no history, sound or pop-up.
    void PostErrorLine(const std::string& text);
    // Sends "MA", the type in two hexadecimal digits and the text to every client.
    void BroadcastEventMessage(const std::string& text, int type);
    // An "MA" message received from the server: posted as if raised here. Malformed
    // messages are ignored.
    void HandleClientMessage(std::string_view payload);
    void ClearMessages();
    // Draws the four message-line rows on a normal screen.
    void DrawMessageLine();

    // Set by the server while it handles one client's request.
    RequestingClient* Requester = nullptr;
    // Told of every line put on the message line, as shown, with its event type (-1
    // for a red error line): the headless runner's log.
    std::function<void(const std::string& text, int type)> LineObserver;

    std::array<TMessageOption, EventTypeCount> Options;
    std::deque<MessageText> MessageLine;     // at most 4, newest last
    std::deque<MessageText> MessageHistory;  // at most 15, oldest first

  private:
    void PushLine(const std::string& text, kestra::Colour colour);
    Sim& sim_;
};

}  // namespace kestra
