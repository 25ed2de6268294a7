#pragma once
// Letting trains into the area: the trains' side of the timetable's entry step. An entry
// point that can take a train has its entry route requested, the train made and placed
// on the route's first subroute, and the description put into its entry berth.

#include <string>
#include <vector>

#include "timetable/timetable.h"

namespace kestra {

class Sim;
class TENT;
class TTRN;

class TrainEntryService final : public TrainEntryPort {
  public:
    explicit TrainEntryService(Sim& sim) : sim_(sim) {}

    int TrainsInArea() const override;
    bool CanEnter(TENT& entry) override;
    void Enter(TENT& entry, TTimetable& timetable) override;
    // Writes to the simulation's incident log.
    void LogIncident(const std::string& text) override;

    // Lets a train in at an entry point, with a timetable or none (an untimetabled
    // train takes the next "**nn" description). None when no description is free or
    // the entry point has no entry route.
    TTRN* EnterTrain(TENT& entry, TTimetable* timetable);

  private:
    Sim& sim_;
};

}  // namespace kestra
