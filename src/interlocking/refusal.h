#pragma once
// The interlocking's refusal reasons. A check that refuses leaves its reason in
// LastFailReason for the route request to show, except while a quiet check runs.
// The text is copied into the string's own storage, so that checks made in the cycles
// allocate nothing once the string has grown.

#include <string_view>

namespace kestra {

class Sim;

void SetFailReason(Sim& sim, std::string_view text, std::string_view suffix = {});

// Marks a quiet check for as long as it lives.
class QuietCheck {
  public:
    explicit QuietCheck(Sim& sim);
    ~QuietCheck();
    QuietCheck(const QuietCheck&) = delete;
    QuietCheck& operator=(const QuietCheck&) = delete;

  private:
    Sim& sim_;
};

}  // namespace kestra
