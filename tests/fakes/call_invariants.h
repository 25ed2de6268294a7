#pragma once
// What must hold between the drivers' calls and the trains that placed them, whatever
// the trains and the signaller do: every call from a train belongs to a train still in
// the area, a train has at most one call, and a train's call and the call's train point
// at each other.

#include <string>
#include <vector>

namespace kestra {
class Sim;
}

namespace kestra::test {

class CallInvariants {
  public:
    explicit CallInvariants(Sim& sim) : sim_(sim) {}
    // One line per broken condition; empty when everything holds.
    std::vector<std::string> Check() const;

  private:
    Sim& sim_;
};

}  // namespace kestra::test
