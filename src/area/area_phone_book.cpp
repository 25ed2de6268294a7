// The area's telephone directory: the technician, the control centres beyond each
// fringe, the yard and the depot. Each party answers from what the simulation knows:
// the technician from the current failures, the others from the trains booked to come
// into the area through their entry point.

#include <algorithm>
#include <string>

#include "area/area_builder.h"
#include "core/time_format.h"
#include "phone/failures.h"
#include "phone/phone_book.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "sim/sim.h"
#include "timetable/timetable.h"

namespace kestra::area {

namespace {

// The party at the end of the line from each entry point, by its code.
struct Party {
    const char* Entry;
    const char* Name;
    bool Sidings;  // a yard or depot: it can say how many trains it still has to send
};
constexpr Party kParties[] = {
    {"WEST", "West main line control centre", false},
    {"EAST", "East main line control centre", false},
    {"TARROW", "Tarrow branch control centre", false},
    {"QUARRY", "Harnforth Quarry control centre", false},
    {"OSTYD", "Ostwick Yard", true},
    {"DEPOT", "Vellmoor Depot", true},
};

std::string FailureName(FailureKind kind) {
    switch (kind) {
        case FailPoints:
            return "points failure";
        case FailSignal:
            return "signal lamp failure";
        case FailTrack:
            return "track circuit failure";
        case FailCrossing:
            return "level crossing failure";
    }
    return "failure";
}

// A failure the technician has heard of: one announced already.
bool Known(const TFailure& f) {
    return f.AgeCycles >= DetectionCycles(f.Kind);
}

// When the technician expects it fixed: two major cycles a second, to the minute above.
std::string FixedBy(const Sim& sim, const TFailure& f) {
    const std::int32_t at = sim.SimTime + (f.RepairCycles + 1) / 2;
    return FormatClock(((at + 59) / 60) * 60).substr(0, 5);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string TechnicianAnswer(Sim& sim, int request, const RequestValues& values) {
    const std::vector<TFailure>& failures = sim.Failures.Failures();
    if (request == 0) {
        std::string answer;
        for (const TFailure& f : failures) {
            if (!Known(f)) continue;
            answer += answer.empty() ? "We are working on: " : "; ";
            answer += "a " + FailureName(f.Kind) + " in the " +
                      EquipmentLocationName(*f.Equipment, f.Kind) + " area, fixed by about " +
                      FixedBy(sim, f);
        }
        return answer.empty() ? "No failures have been reported to us." : answer + ".";
    }
    // Examine the equipment of an area, named as the panel names its locations.
    const std::string wanted = Lower(values[0]);
    const TLOC* location = nullptr;
    sim.Locations.ForEach([&](TLOC& l) {
        if (!location && (Lower(l.Name) == wanted || Lower(l.ID) == wanted)) location = &l;
    });
    if (!location) return "We have no \"" + values[0] + "\" area on our books.";
    for (const TFailure& f : failures) {
        if (EquipmentLocationName(*f.Equipment, f.Kind) != location->Name) continue;
        if (!Known(f))
            return "We have just had an alarm from the " + location->Name +
                   " area; a technician is on the way.";
        return "We know of the " + FailureName(f.Kind) + " in the " + location->Name +
               " area; it should be fixed by about " + FixedBy(sim, f) + ".";
    }
    return "Nothing is wrong with our equipment in the " + location->Name + " area.";
}

// The trains still to come in through the entry point, earliest expected first.
std::vector<const TTimetable*> StillToCome(Sim& sim, const TENT* entry) {
    std::vector<const TTimetable*> trains;
    sim.Timetable.ForEach([&](TTimetable& t) {
        if (t.EntryPoint == entry && !t.Entered) trains.push_back(&t);
    });
    std::stable_sort(trains.begin(), trains.end(), [](const TTimetable* a, const TTimetable* b) {
        return a->EntryTime + a->Delay < b->EntryTime + b->Delay;
    });
    return trains;
}

std::string Lateness(const TTimetable& t) {
    const std::int32_t minutes = t.Delay / 60;
    if (minutes > 0) return ", running " + std::to_string(minutes) + " min(s) late";
    if (minutes < 0) return ", running " + std::to_string(-minutes) + " min(s) early";
    return ", on time";
}

std::string PartyAnswer(Sim& sim, const TENT* entry, int request, const RequestValues& values) {
    const std::vector<const TTimetable*> trains = StillToCome(sim, entry);
    switch (request) {
        case 0:
            if (trains.empty()) return "Nothing more is booked to come to you from us today.";
            return trains.front()->ID + " is next, booked at " +
                   FormatClock(trains.front()->EntryTime).substr(0, 5) + Lateness(*trains.front()) +
                   ".";
        case 1: {
            if (values[0].empty()) return "Which train do you mean?";
            for (const TTimetable* t : trains) {
                if (Lower(t->ID) == Lower(values[0]))
                    return t->ID + " is booked to you at " +
                           FormatClock(t->EntryTime).substr(0, 5) + Lateness(*t) + ".";
            }
            bool entered = false;
            sim.Timetable.ForEach([&](TTimetable& t) {
                if (t.EntryPoint == entry && t.Entered && Lower(t.ID) == Lower(values[0]))
                    entered = true;
            });
            if (entered) return values[0] + " has already gone through to you.";
            return "We have no " + values[0] + " booked to you.";
        }
        case 2:
            return "Understood: we will tell drivers to expect delays.";
        default:
            return std::to_string(trains.size()) + " train(s) still to come out to you today.";
    }
}

}  // namespace

void FillPhoneBook(Sim& sim) {
    TPhoneBook& book = sim.PhoneBook;
    book.Entries.clear();
    book.Entries.push_back(
        {"Technician",
         {"What failures are you working on?", "Please examine the equipment in the <area> area"},
         [&sim](int request, const RequestValues& values) {
             return TechnicianAnswer(sim, request, values);
         }});
    for (const Party& p : kParties) {
        TENT* entry = nullptr;
        sim.EntryPoints.ForEach([&](TENT& e) {
            if (!entry && e.ID == p.Entry) entry = &e;
        });
        if (!entry) continue;
        PhoneBookEntry e;
        e.Name = p.Name;
        e.Requests = {"When is your next train to us due?", "Is <train> running on time?",
                      "Message: trains are being delayed in this area"};
        if (p.Sidings) e.Requests.push_back("How many trains have you still to send out?");
        e.OnRequest = [&sim, entry](int request, const RequestValues& values) {
            return PartyAnswer(sim, entry, request, values);
        };
        book.Entries.push_back(std::move(e));
    }
}

}  // namespace kestra::area
