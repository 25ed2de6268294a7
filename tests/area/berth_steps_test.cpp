// The built-in area's describer: every route has its step, every description that
// enters can leave, and a train run along the routes from each entry point to each exit
// carries its description berth by berth to the boundary, with no "****" anywhere.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "area/area_model.h"
#include "fakes/describer_invariants.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_invariants.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "places/location.h"
#include "places/path.h"
#include "trains/berth.h"

namespace kestra::area {
namespace {

const AreaModel& Model() {
    static const AreaModel model(BuiltInDescription());
    return model;
}

std::string BerthName(const AreaModel& m, int b) {
    return b < 0 ? "(out)" : m.Berths[b].ID;
}

// Berths a description can leave the area from.
std::set<int> ExitBerths(const AreaModel& m) {
    std::set<int> out;
    for (const BerthStepInfo& s : m.BerthSteps)
        if (s.To < 0 && s.Route < 0) out.insert(s.From);
    return out;
}

TEST(BerthSteps, EveryRouteFromABerthStepsIntoABerthAsItsTrainEntersIt) {
    const AreaModel& m = Model();
    ASSERT_TRUE(m.Valid());
    ASSERT_FALSE(m.Berths.empty());
    int callOnTwins = 0;
    for (std::size_t r = 0; r < m.Routes.size(); ++r) {
        const RouteInfo& route = m.Routes[r];
        const int from = m.Signals[route.Entrance].Berth;
        if (from < 0) continue;
        const int first = m.Subroutes[route.Subroutes.front()].Circuit;
        bool found = false;
        for (const BerthStepInfo& s : m.BerthSteps) {
            if (s.From != from || s.Route != static_cast<int>(r)) continue;
            found = true;
            EXPECT_EQ(s.Trigger.Kind, StepObjectKind::Circuit) << route.ID;
            EXPECT_EQ(s.Trigger.Index, first) << route.ID << ": not on its first circuit";
            // An automatic's route also asks that no route runs the other way through
            // its first circuit (a train on a wrong-road route has not passed the signal).
            const int opposite = m.Subroutes[route.Subroutes.front()].Opposite;
            const bool automatic = route.Class == ClassAuto && opposite >= 0;
            // A call-on route's first step goes into the platform's other berth while the
            // exit's berth shows the train already standing there.
            const int exitBerth = m.Signals[route.Exit].Berth;
            if (route.Class == ClassCallOn && s.Conditions.size() == 2u &&
                s.Conditions[1].Kind == StepObjectKind::Berth) {
                EXPECT_EQ(s.Conditions[1].Index, exitBerth) << route.ID;
                EXPECT_FALSE(s.Conditions[1].Negated) << route.ID;
                EXPECT_NE(s.To, exitBerth) << route.ID;
                ++callOnTwins;
                continue;
            }
            ASSERT_EQ(s.Conditions.size(), automatic ? 2u : 1u) << route.ID;
            EXPECT_EQ(s.Conditions[0].Kind, StepObjectKind::Route) << route.ID;
            EXPECT_EQ(s.Conditions[0].Index, static_cast<int>(r)) << route.ID;
            if (automatic) {
                EXPECT_EQ(s.Conditions[1].Kind, StepObjectKind::Subroute) << route.ID;
                EXPECT_EQ(s.Conditions[1].Index, opposite) << route.ID;
                EXPECT_TRUE(s.Conditions[1].Negated) << route.ID;
            }
            EXPECT_GE(s.To, 0) << route.ID << " ends where no berth takes its train";
        }
        EXPECT_TRUE(found) << "route " << route.ID << " has no describer step";
    }
    // Call-on routes into platforms have such a step.
    EXPECT_GT(callOnTwins, 0);
}

// A description followed from every entry point, along every step, can always reach a
// berth it leaves the area from: no berth it can reach is a dead end.
TEST(BerthSteps, EveryDescriptionFromAnEntryPointCanReachAnExit) {
    const AreaModel& m = Model();
    ASSERT_FALSE(m.Entries.empty());
    std::map<int, std::set<int>> next;
    for (const BerthStepInfo& s : m.BerthSteps)
        if (s.To >= 0) next[s.From].insert(s.To);
    const std::set<int> exits = ExitBerths(m);
    ASSERT_FALSE(exits.empty());
    // Berths from which an exit can be reached, growing backwards from the exits.
    std::set<int> leaves = exits;
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [from, tos] : next) {
            if (leaves.count(from)) continue;
            for (int to : tos)
                if (leaves.count(to)) {
                    leaves.insert(from);
                    grew = true;
                    break;
                }
        }
    }
    for (const EntryInfo& e : m.Entries) {
        SCOPED_TRACE("entry " + e.Code);
        ASSERT_GE(e.Berth, 0) << "entry point without a berth";
        std::set<int> reached{e.Berth};
        std::deque<int> todo{e.Berth};
        while (!todo.empty()) {
            const int b = todo.front();
            todo.pop_front();
            EXPECT_TRUE(leaves.count(b)) << BerthName(m, b) << " is a dead end for a description";
            for (int to : next[b])
                if (reached.insert(to).second) todo.push_back(to);
        }
        bool exitReached = false;
        for (int b : reached) exitReached |= exits.count(b) > 0;
        EXPECT_TRUE(exitReached);
    }
    // Every exit berth belongs to the fringe box beyond the boundary.
    for (int b : exits) EXPECT_TRUE(m.Berths[b].External) << BerthName(m, b);
}

// The routes (main and automatic) from a signal to each signal whose berth is an exit,
// fewest first; one way to each exit.
std::vector<std::vector<int>> WaysOut(const AreaModel& m, int signal) {
    const std::set<int> exits = ExitBerths(m);
    std::map<int, std::vector<int>> way{{signal, {}}};
    std::deque<int> todo{signal};
    std::vector<std::vector<int>> out;
    while (!todo.empty()) {
        const int s = todo.front();
        todo.pop_front();
        if (exits.count(m.Signals[s].Berth)) {
            out.push_back(way[s]);
            continue;
        }
        for (int r : m.Signals[s].Routes) {
            const RouteInfo& route = m.Routes[r];
            if (route.Class != ClassMain && route.Class != ClassAuto) continue;
            if (way.count(route.Exit)) continue;
            way[route.Exit] = way[s];
            way[route.Exit].push_back(r);
            todo.push_back(route.Exit);
        }
    }
    return out;
}

// A train that is only its occupation: it stands on circuits and moves onto the next.
class CircuitTrain {
  public:
    explicit CircuitTrain(test::TestSim& t) : t_(t) {}
    void Enter(TTCS* c) {
        if (c == nullptr || (!held_.empty() && held_.back() == c)) return;
        c->Occupy();
        held_.push_back(c);
        // The rear clears the circuit behind once the front is on the next.
        while (held_.size() > 2) {
            held_.front()->Vacate();
            held_.pop_front();
        }
        Cycle();
    }
    // One major cycle, with the describer's invariants checked after it.
    void Cycle() {
        t_.Ticks(1);
        for (std::string& b : test::CheckDescriber(*t_, t_.surface)) Broken.push_back(b);
    }
    void Leave() {
        for (TTCS* c : held_) c->Vacate();
        held_.clear();
        for (int i = 0; i < 4; ++i) Cycle();
    }
    std::vector<std::string> Broken;

  private:
    test::TestSim& t_;
    std::deque<TTCS*> held_;
};

TEST(BerthSteps, DescriptionsRunFromEveryEntryToEveryExitBerthByBerth) {
    const AreaModel& m = Model();
    int runs = 0;
    for (const EntryInfo& e : m.Entries) {
        ASSERT_GE(e.FirstSignal, 0);
        for (const std::vector<int>& way : WaysOut(m, e.FirstSignal)) {
            test::TestSim t;
            const auto area = BuildArea(*t);
            ASSERT_TRUE(area->Model && area->Model->Valid());
            ASSERT_EQ(area->Berths.size(), m.Berths.size());
            t->Display().CurrentScreen = 1;
            t->Display().RedrawPanel();
            std::string trace = "entry " + e.Code;
            for (int r : way) trace += " " + m.Routes[r].ID;
            SCOPED_TRACE(trace);
            ++runs;

            auto* entry = static_cast<TBER*>(area->Berths[e.Berth]);
            entry->Interpose("1a23");
            CircuitTrain train(t);
            train.Enter(area->Circuits[m.Signals[e.FirstSignal].BerthCircuit]);
            for (int r : way) {
                const RouteInfo& info = m.Routes[r];
                TSIG& entrance = *area->Signals[info.Entrance];
                TSIG& exit = *area->Signals[info.Exit];
                if (info.Class != ClassAuto) {
                    // The way on may cross the overlap of the signal the train has just
                    // reached (into Harnforth's platform 2 from the west and out over
                    // 543): it stands there until the overlap's timed release.
                    RouteRequestResult result = RouteRequest(*t, entrance, exit, 0);
                    for (int i = 0; i < 120 && !result.Set; ++i) {
                        train.Cycle();
                        result = RouteRequest(*t, entrance, exit, 0);
                    }
                    ASSERT_TRUE(result.Set)
                        << "route " << info.ID << " refused: " << t->LastFailReason;
                }
                for (int i = 0; i < 40 && !entrance.ShowsProceed(); ++i) train.Cycle();
                TROU* set = entrance.CurrentRoute;
                ASSERT_NE(set, nullptr) << info.ID;
                ASSERT_TRUE(set->RouteSet) << info.ID;
                for (int i = 0; i < set->AllSubroutes.Count(); ++i)
                    if (TULC* s = set->AllSubroutes.At(i)) train.Enter(s->TrackCircuit);
                const int arrival = m.Signals[info.Exit].Berth;
                ASSERT_GE(arrival, 0) << info.ID;
                EXPECT_EQ(static_cast<TBER*>(area->Berths[arrival])->Description, "1A23")
                    << "not in " << m.Berths[arrival].ID << " after " << info.ID;
                EXPECT_EQ(t->Berths.CountDescription("1A23"), 1);
                const auto broken = test::CheckDescriber(*t, t.surface);
                EXPECT_TRUE(broken.empty()) << broken.front();
            }
            // Past the fringe signal and out.
            const SignalInfo& last = m.Signals[m.Routes[way.back()].Exit];
            train.Enter(area->Circuits[last.AheadCircuit]);
            EXPECT_EQ(t->Berths.CountDescription("1A23"), 0) << "never left the area";
            train.Leave();
            std::vector<std::string> stars;
            t->Berths.ForEach([&](TBER& b) {
                if (b.Description == "****") stars.push_back(b.ID);
            });
            EXPECT_TRUE(stars.empty()) << stars.front() << " holds ****";
            EXPECT_EQ(t->Performance.Score, 0);
            EXPECT_EQ(t->Performance.OtherPointsLost, 0);
            EXPECT_TRUE(train.Broken.empty()) << train.Broken.front();
        }
    }
    EXPECT_GT(runs, 0);
}

// Where a train reverses (platform ends, sidings), setting a route from the signal that
// leads back out takes its description over from the berth it arrived in.
TEST(BerthSteps, ReversingTrainsTakeTheirDescriptionToTheDepartureBerth) {
    const AreaModel& m = Model();
    std::set<std::pair<int, int>> tried;
    int reversed = 0;
    for (const BerthStepInfo& s : m.BerthSteps) {
        if (s.Trigger.Kind != StepObjectKind::Route || s.To < 0) continue;
        if (!tried.insert({s.From, s.To}).second) continue;
        const RouteInfo& route = m.Routes[s.Trigger.Index];
        if (route.Class != ClassMain && route.Class != ClassShunt) continue;
        SCOPED_TRACE(BerthName(m, s.From) + " to " + BerthName(m, s.To) + " by " + route.ID);
        test::TestSim t;
        const auto area = BuildArea(*t);
        auto* from = static_cast<TBER*>(area->Berths[s.From]);
        auto* to = static_cast<TBER*>(area->Berths[s.To]);
        ASSERT_NE(from->TrackCircuit, nullptr);
        from->Interpose("2b45");
        from->TrackCircuit->Occupy();
        t.Ticks(2);
        EXPECT_EQ(from->Description, "2B45") << "moved before any route was set";
        const RouteRequestResult r =
            RouteRequest(*t, *area->Signals[route.Entrance], *area->Signals[route.Exit], 0);
        if (!r.Set) continue;  // refused here (an overlap over the standing train, say)
        EXPECT_EQ(to->Description, "2B45");
        EXPECT_EQ(from->Description, "");
        EXPECT_EQ(t->Berths.CountDescription("****"), 0);
        ++reversed;
    }
    EXPECT_FALSE(tried.empty()) << "the area has no reversal steps";
    EXPECT_GT(reversed, 0) << "no reversal could be set up";
}

// A route that ends at a stop marker delivers its train to the marker's own berth, at
// the buffer-stop end of the track, not to the berth of the signal that leads back out.
TEST(BerthSteps, RoutesEndingAtStopMarkersStepIntoTheMarkersBerth) {
    const AreaModel& m = Model();
    int markers = 0;
    for (std::size_t r = 0; r < m.Routes.size(); ++r) {
        const RouteInfo& route = m.Routes[r];
        const SignalInfo& exit = m.Signals[route.Exit];
        if (exit.Type != SignalType::Marker) continue;
        SCOPED_TRACE(route.ID);
        ASSERT_GE(exit.Berth, 0) << "stop marker " << exit.Plate << " has no berth";
        const BerthInfo& b = m.Berths[exit.Berth];
        EXPECT_EQ(b.Circuit, exit.BerthCircuit);
        // Within a berth's length of the marker.
        EXPECT_LE(std::abs(b.X - exit.PostX), 2 * 4) << b.ID;
        ++markers;
        const int from = m.Signals[route.Entrance].Berth;
        ASSERT_GE(from, 0);
        bool stepped = false;
        for (const BerthStepInfo& s : m.BerthSteps)
            if (s.From == from && s.Route == static_cast<int>(r)) stepped |= s.To == exit.Berth;
        EXPECT_TRUE(stepped) << "not into " << b.ID;
    }
    EXPECT_GT(markers, 0) << "no route ends at a stop marker";
}

// Every platform has a berth on two of its circuits, so that the two portions of a
// train that divides or joins there can both be described; the berth added where a
// platform had only one lies on the platform's track and hands its description to the
// platform's departure berth.
TEST(BerthSteps, EveryPlatformHasTwoBerthsAndTheSecondStepsToTheDeparture) {
    const AreaModel& m = Model();
    ASSERT_FALSE(m.Platforms.empty());
    for (const PlatformInfo& p : m.Platforms) {
        ASSERT_GE(p.Location, 0);
        SCOPED_TRACE(m.Locations[p.Location].Code + " " + p.Code);
        std::vector<int> berths;
        for (std::size_t b = 0; b < m.Berths.size(); ++b)
            if (std::find(p.Circuits.begin(), p.Circuits.end(), m.Berths[b].Circuit) !=
                p.Circuits.end())
                berths.push_back(static_cast<int>(b));
        EXPECT_GE(berths.size(), 2u);
        for (int b : berths) {
            SCOPED_TRACE(m.Berths[b].ID);
            EXPECT_EQ(m.Berths[b].Y, p.TrackY);
            // Each can hand its description to another berth of the platform.
            bool onward = false;
            for (const BerthStepInfo& s : m.BerthSteps)
                onward |= s.From == b && s.Trigger.Kind == StepObjectKind::Route &&
                          std::find(berths.begin(), berths.end(), s.To) != berths.end();
            if (m.Berths[b].Signal < 0) {
                EXPECT_TRUE(onward) << "a dead end";
            }
        }
    }
}

// A berth hands its description over only to a signal whose train it can be: one facing
// the other way with the berth in rear of it, or a berth with no signal of its own.
TEST(BerthSteps, HandOversGoToASignalLeadingAwayFromTheArrivalBerth) {
    const AreaModel& m = Model();
    int handOvers = 0;
    for (const BerthStepInfo& s : m.BerthSteps) {
        if (s.Trigger.Kind != StepObjectKind::Route) continue;
        ASSERT_GE(s.To, 0);
        const BerthInfo &from = m.Berths[s.From], &to = m.Berths[s.To];
        SCOPED_TRACE(from.ID + " to " + to.ID);
        ASSERT_GE(to.Signal, 0);
        const SignalInfo& dep = m.Signals[to.Signal];
        EXPECT_NE(dep.Type, SignalType::Automatic);
        EXPECT_EQ(m.Routes[s.Trigger.Index].Entrance, to.Signal);
        if (from.Signal >= 0) {
            EXPECT_NE(m.Signals[from.Signal].RightFacing, dep.RightFacing);
        }
        if (from.Circuit != to.Circuit) {
            EXPECT_TRUE(dep.RightFacing ? from.X < to.X : from.X > to.X) << "not in rear";
        }
        // While the train stands at the arrival berth and the departure berth is empty.
        ASSERT_EQ(s.Conditions.size(), 2u);
        EXPECT_EQ(s.Conditions[0].Kind, StepObjectKind::Circuit);
        EXPECT_EQ(s.Conditions[0].Index, from.Circuit);
        EXPECT_EQ(s.Conditions[1].Kind, StepObjectKind::Berth);
        EXPECT_EQ(s.Conditions[1].Index, s.To);
        EXPECT_TRUE(s.Conditions[1].Negated);
        ++handOvers;
    }
    EXPECT_GT(handOvers, 0);
}

// Turning back in Vellmoor Central's bay: a train run in from 20 is described at the
// buffer-stop berth; setting the route out from 21 steps its description into 21's
// berth, and running out carries it on. A second train's description already in 21's
// berth is not overwritten.
class BayTurnback : public ::testing::Test {
  protected:
    void SetUp() override {
        area_ = BuildArea(*t_);
        ASSERT_TRUE(area_->Model && area_->Model->Valid());
        m_ = area_->Model.get();
    }
    TBER* Berth(const std::string& id) {
        for (std::size_t b = 0; b < m_->Berths.size(); ++b)
            if (m_->Berths[b].ID == id) return static_cast<TBER*>(area_->Berths[b]);
        return nullptr;
    }
    TSIG* Signal(const std::string& plate) {
        const int s = m_->SignalByPlate(plate);
        return s < 0 ? nullptr : area_->Signals[s];
    }
    // The plate of the exit of the first route out of the bay, from 21 (empty if none).
    std::string ExitOutOfTheBay() const {
        const SignalInfo& s21 = m_->Signals[m_->SignalByPlate("21")];
        if (s21.Routes.empty()) return {};
        return m_->Signals[m_->Routes[s21.Routes.front()].Exit].Plate;
    }
    // Sets the first route out of the bay, with no train run along it.
    void SetRouteOutOfTheBay() {
        const std::string exit = ExitOutOfTheBay();
        ASSERT_FALSE(exit.empty());
        const RouteRequestResult r = RouteRequest(*t_, *Signal("21"), *Signal(exit), 0);
        ASSERT_TRUE(r.Set) << t_->LastFailReason;
    }
    // Sets the route and runs a train along it, circuit by circuit, slowly enough for
    // each circuit behind it to clear and its subroutes to release.
    void Run(CircuitTrain& train, const std::string& from, const std::string& to) {
        TSIG* entrance = Signal(from);
        TSIG* exit = Signal(to);
        ASSERT_TRUE(entrance && exit);
        const RouteRequestResult r = RouteRequest(*t_, *entrance, *exit, 0);
        ASSERT_TRUE(r.Set) << from << " to " << to << ": " << t_->LastFailReason;
        TROU* set = entrance->CurrentRoute;
        ASSERT_NE(set, nullptr);
        for (int i = 0; i < set->AllSubroutes.Count(); ++i)
            if (TULC* s = set->AllSubroutes.At(i)) {
                train.Enter(s->TrackCircuit);
                for (int c = 0; c < 4; ++c) train.Cycle();
            }
    }
    test::TestSim t_;
    std::shared_ptr<BuiltArea> area_;
    const AreaModel* m_ = nullptr;
};

TEST_F(BayTurnback, ArrivesAtTheBufferStopBerth) {
    TBER *b20 = Berth("B20"), *bay = Berth("BB1"), *b21 = Berth("B21");
    ASSERT_TRUE(b20 && bay && b21);
    b20->Interpose("2c10");
    CircuitTrain train(t_);
    train.Enter(b20->TrackCircuit);
    Run(train, "20", "B1");
    EXPECT_EQ(bay->Description, "2C10");
    EXPECT_EQ(b21->Description, "");
    EXPECT_EQ(b20->Description, "");
    // Standing in the bay; nothing moves before a route out is set.
    for (int i = 0; i < 5; ++i) train.Cycle();
    EXPECT_EQ(bay->Description, "2C10");
    EXPECT_EQ(t_->Berths.CountDescription("2C10"), 1);
    EXPECT_EQ(t_->Berths.CountDescription("****"), 0);
    EXPECT_TRUE(train.Broken.empty()) << train.Broken.front();
}

TEST_F(BayTurnback, LeavesBy21WithItsDescription) {
    TBER *bay = Berth("BB1"), *b21 = Berth("B21");
    ASSERT_TRUE(bay && b21);
    bay->Interpose("2c10");
    CircuitTrain train(t_);
    train.Enter(b21->TrackCircuit);
    train.Enter(bay->TrackCircuit);
    const std::string exit = ExitOutOfTheBay();
    ASSERT_FALSE(exit.empty());
    Run(train, "21", exit);
    EXPECT_EQ(bay->Description, "");
    EXPECT_EQ(b21->Description, "");
    const int next = m_->Signals[m_->SignalByPlate(exit)].Berth;
    ASSERT_GE(next, 0);
    EXPECT_EQ(static_cast<TBER*>(area_->Berths[next])->Description, "2C10") << "21 to " << exit;
    EXPECT_EQ(t_->Berths.CountDescription("2C10"), 1);
    EXPECT_EQ(t_->Berths.CountDescription("****"), 0);
    EXPECT_TRUE(train.Broken.empty()) << train.Broken.front();
}

TEST_F(BayTurnback, ADescriptionAlreadyIn21sBerthStaysAndTheBayKeepsItsOwn) {
    TBER *bay = Berth("BB1"), *b21 = Berth("B21");
    ASSERT_TRUE(bay && b21);
    bay->Interpose("2c10");
    b21->Interpose("1d55");
    bay->TrackCircuit->Occupy();
    b21->TrackCircuit->Occupy();
    t_.Ticks(2);
    SetRouteOutOfTheBay();
    if (HasFatalFailure()) return;
    EXPECT_EQ(b21->Description, "1D55");
    EXPECT_EQ(bay->Description, "2C10");
}

// A description left in the bay's buffer-stop berth with no train on its circuit does
// not follow a route set out of the bay.
TEST_F(BayTurnback, NoHandOverWhileTheBufferStopCircuitIsClear) {
    TBER *bay = Berth("BB1"), *b21 = Berth("B21");
    ASSERT_TRUE(bay && b21);
    bay->Interpose("2c10");
    t_.Ticks(2);
    SetRouteOutOfTheBay();
    if (HasFatalFailure()) return;
    EXPECT_EQ(bay->Description, "2C10");
    EXPECT_EQ(b21->Description, "");
}

// The berths know the locations they serve and the links ARS follows from them.
TEST(BerthSteps, BerthsAreWiredToTheirLocationsAndPathLinks) {
    test::TestSim t;
    const auto area = BuildArea(*t);
    ASSERT_EQ(area->Berths.size(), Model().Berths.size());
    int linked = 0;
    for (TSSIObject* o : area->Berths) {
        auto* b = dynamic_cast<TBER*>(o);
        ASSERT_NE(b, nullptr);
        const auto& links = t->Paths.ARSRoutes(b);
        ASSERT_EQ(b->ARSRoutes.Count(), static_cast<int>(links.size())) << b->ID;
        for (std::size_t i = 0; i < links.size(); ++i)
            EXPECT_EQ(b->ARSRoutes.GetItem(static_cast<int>(i)), links[i].Next) << b->ID;
        linked += b->ARSRoutes.Count() > 0;
    }
    EXPECT_GT(linked, 0) << "no berth has a link for ARS";
    int served = 0;
    t->Locations.ForEach([&](TLOC& l) {
        for (int i = 0; i < l.Berths.Count(); ++i) {
            auto* b = dynamic_cast<TBER*>(l.Berths.GetItem(i));
            ASSERT_NE(b, nullptr) << l.ID;
            EXPECT_GE(b->Locations.IndexOf(&l), 0) << b->ID << " does not serve " << l.ID;
            ++served;
        }
    });
    EXPECT_GT(served, 0);
}

}  // namespace
}  // namespace kestra::area
