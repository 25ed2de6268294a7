#pragma once
// A scripted signaller that works trains along their timetables' paths: once a
// simulated second, for each timetabled train, it finds the first signal ahead of the
// train with no route set and, when the train is close to it (standing there, or within
// its braking distance and a margin), asks for the next route of the train's path from
// that signal. It never asks for a route the train is not about to use: the route must
// start at the signal directly ahead, lie further along the train's path than the
// routes it already had, and lead onto clear track (a platform with a train in it only
// for a booked join). A train standing at a platform gets its way out only shortly
// before its booked departure, so a train waiting in the bay or in the loop holds
// nothing that another train needs. So that no two trains wait for each other for
// good, a train is held short of its route when another train is to come the other
// way over it or the route after it (of two that each want the other's way, the one
// whose way on beyond is free goes first), when a moving train runs over it or over
// the overlaps of the signal that train will stop at, and, when it would wait in a
// platform for a join, while another train wants to go through. Each route it asks for is given as
// a commands-file line ("HH:MM:SS route ENTRANCE EXIT"), played through the panel by the headless
// runner; the requests that set a route are kept, so a file written from them replays
// the run.
//
// It keeps the describer in step with the trains by hand, as a signaller does where
// nothing inserts descriptions for them: a train that takes a new description (a next
// service, the train that goes on after a join) has it interposed in place of its old
// one; a portion made by a divide is described in a free berth on the track it stands
// on, as soon as there is one; a train standing at a stop whose description was held
// back off its own track has it moved there; the description of a train absorbed by a join is
// cancelled. These are commands-file lines too ("interpose BERTH DESCRIPTION", "cancel-berth
// BERTH").

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "runner/headless.h"
#include "sim/sim.h"

namespace kestra::test {

// A route of a train's paths, with where it leads from and to.
struct PathRoute {
    TROU* Route = nullptr;
    // The trip the route's path starts from, when the route is the first of that path
    // (the way out of a stop or a pass), or none.
    const TTimetableTrip* DepartureTrip = nullptr;
    // The trip the route's path leads to.
    const TTimetableTrip* ArrivalTrip = nullptr;
};

// The routes of the timetable's paths in order of travel. Path k leads from the entry
// (k = 0 with an entry point) or from key trip k - 1 to key trip k, key trips counted
// without the entry.
void RoutesOfPaths(const TTimetable& timetable, std::vector<PathRoute>& out);

// One route request the signaller made and the interlocking granted.
struct SignallerRequest {
    std::int32_t Time = 0;
    std::string Entrance;
    std::string Exit;
    std::string Train;  // the description of the train it was set for
};

class PathSignaller {
  public:
    // How close a train must be to the signal ahead before its route is asked for:
    // its braking distance from its present speed, this many seconds' running at that
    // speed, and this many metres more.
    static constexpr double kLeadSeconds = 20.0;
    static constexpr double kLeadMetres = 400.0;
    // Seconds before its booked departure a standing train is given its way out.
    static constexpr std::int32_t kDepartureLead = 45;

    PathSignaller() = default;

    // The runner's before-cycle hook: acts once per simulated second (the first cycle
    // of each second), adding the route requests it wants played now.
    void BeforeCycle(Sim& sim, std::vector<runner::HeadlessCommand>& commands);

    // The requests that set their route, in time order.
    const std::vector<SignallerRequest>& Granted() const { return granted_; }
    // The requests of the present cycle, before they are played.
    std::vector<SignallerRequest> Asking() const {
        std::vector<SignallerRequest> out;
        for (const Pending& p : pending_) out.push_back(p.Request);
        return out;
    }
    // The describer commands it gave, as commands-file lines without their time.
    std::vector<std::string> DescriberCommands() const {
        std::vector<std::string> out;
        for (const Line& l : lines_)
            if (!l.Route) out.push_back(l.Text);
        return out;
    }
    // Requests the interlocking refused when played (each should have been foreseen).
    int Refused() const { return refused_; }
    // Why the signaller would or would not ask for a route for the train now.
    std::string Explain(Sim& sim, const TTRN& train);
    // The granted requests as a commands file, each line with the train it was for.
    std::string CommandsFile(const std::string& heading) const;

  private:
    struct Progress {
        const TTRN* Train = nullptr;
        const TTimetable* Timetable = nullptr;
        std::string TimetableID;
        // Index in the path's routes of the first route not yet passed.
        std::size_t Cursor = 0;
    };
    // The route a train will want next (from the first signal ahead with none set),
    // the route after it, and the train's place in the list.
    struct Claim {
        const TTRN* Train = nullptr;
        TROU* Route = nullptr;
        TROU* After = nullptr;
        bool Join = false;
        // The route after it cannot be set now (something in its way stands there).
        bool AfterBlocked = false;
        int Order = 0;
    };
    // Of two trains each waiting for the other's way, which goes first: the one whose
    // way on beyond is free (the other, once in, could not leave until the first had
    // gone), then the one earlier in the list of trains.
    static bool Precedes(const Claim& a, const Claim& b);
    static bool HeldOnlyByAPassingTrain(Sim& sim, TROU& route);
    struct Pending {
        TROU* Route = nullptr;
        SignallerRequest Request;
        int Sequence = 0;
    };
    // A line of the commands file: a granted route or a describer command, in the
    // order given.
    struct Line {
        std::int32_t Time = 0;
        int Sequence = 0;
        std::string Train;
        std::string Text;
        bool Route = false;
    };
    // A train as last seen: its description and whether it was going out of the area.
    struct Known {
        const TTRN* Train = nullptr;
        std::string ID;
        bool Leaving = false;
    };

    // A train whose description stands in a berth behind it, off its own track
    // (its step into an occupied platform was held back, as for the second train of a
    // join): the description is moved to a free berth on its track, or taken off until
    // one is free.
    void MoveStrandedDescription(Sim& sim, std::vector<runner::HeadlessCommand>& commands,
                                 const TTRN& train);
    // Interposes and cancels that bring the describer in step with the trains.
    void KeepDescriberInStep(Sim& sim, std::vector<runner::HeadlessCommand>& commands);
    void Give(Sim& sim, std::vector<runner::HeadlessCommand>& commands, const std::string& train,
              const std::string& verb, std::vector<std::string> args);

    // The train's progress record, made afresh for a new train or a new timetable.
    Progress& ProgressOf(const TTRN& train);
    // The route to ask for next for the train, or none; why says which and why.
    // With claimOnly, the route from the signal ahead however far it is, with none of
    // the other checks, and in claim the route after it and whether it leads to a
    // join.
    TROU* NextRoute(Sim& sim, const TTRN& train, Progress& progress, std::string* why,
                    bool claimOnly, Claim* claim);
    // The train's claim this second, or none.
    const Claim* ClaimOf(const TTRN& train) const;

    std::int32_t lastSecond_ = -1;
    std::vector<Progress> progress_;
    std::vector<Progress> scratch_;
    std::vector<TROU*> routes_;
    std::vector<Pending> pending_;
    std::vector<Claim> claims_;
    // Circuits moving trains are running over, with the train.
    std::vector<std::pair<const TTRN*, const TTCS*>> ahead_;
    std::vector<SignallerRequest> granted_;
    std::vector<Line> lines_;
    std::vector<Known> known_;
    // Trains made without a description that wait for a free berth to be described in.
    std::vector<const TTRN*> undescribed_;
    int sequence_ = 0;
    int refused_ = 0;
};

}  // namespace kestra::test
