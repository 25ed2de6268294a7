#pragma once
// The parties the signaller can telephone, and the place-call line: dial a party, wait
// while it rings, then send it requests or messages and read its answers. The area
// fills the book; each party answers through its own handler.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestra {

class Sim;
class Dialogs;

// A request may name up to this many parameters, each written as "<name>".
inline constexpr std::size_t kMaxRequestParameters = 10;
using RequestValues = std::array<std::string, kMaxRequestParameters>;

struct PhoneBookEntry {
    std::string Name;
    // The requests and messages that can be sent to this party.
    std::vector<std::string> Requests;
    // Answers request (an index into Requests) with the parameter values given: the
    // response shown to the signaller.
    std::function<std::string(int request, const RequestValues& values)> OnRequest;
};

class TPhoneBook {
  public:
    std::vector<PhoneBookEntry> Entries;
    const PhoneBookEntry* Find(const std::string& name) const;
};

// The names written between "<" and ">" in a request, in order, at most ten. An
// unclosed "<" names nothing.
std::vector<std::string> RequestParameters(const std::string& request);

// The place-call line.
enum LineStates : std::int32_t {
    LineDialTone = 0,
    LineRinging = 1,
    LineConnected = 2,
};

class TPlaceCall {
  public:
    explicit TPlaceCall(Sim& sim) : sim_(sim) {}

    // Dials the party: the line rings; answers the ringing time in milliseconds
    // (mostly 5 to 9 s, sometimes 15 to 29 s, now and then a minute or more), or -1 for
    // a party not in the book or a line not at dial tone.
    std::int32_t Dial(const std::string& name);
    // The ringing time is over: the party answers.
    void Connect();
    // Sends the request: asks each parameter in turn through the dialogs ("Parameter n",
    // "Enter name"); a cancelled prompt ends the asking, leaving the rest empty. Then the
    // party answers. Empty, with nothing asked, when not connected or the index is out
    // of range.
    std::string SendRequest(int index, Dialogs& dialogs);
    // Back to dial tone.
    void HangUp();

    std::int32_t LineState = LineDialTone;
    // The party dialled; none at dial tone.
    const PhoneBookEntry* SelectedEntry = nullptr;

  private:
    Sim& sim_;
};

}  // namespace kestra
