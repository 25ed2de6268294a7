#include "fakes/ars_invariants.h"

#include <algorithm>

#include "ars/ars_train.h"
#include "interlocking/route.h"

namespace kestra::test {

std::vector<std::string> CheckARS(Sim& sim) {
    std::vector<std::string> out;
    TARSTrainList& list = sim.ARSTrains();
    std::vector<const TBER*> berths;
    list.ForEach([&](const TARSTrain& t) {
        const std::string d = "ARS train " + t.Description;
        if (!t.Berth || sim.Berths.IndexOf(t.Berth) < 0) {
            out.push_back(d + " stands in no berth of the describer");
            return;
        }
        if (t.Berth->Description != t.Description)
            out.push_back(d + " stands in berth " + t.Berth->ID + " showing '" +
                          t.Berth->Description + "'");
        for (const TBER* b : berths)
            if (b == t.Berth) out.push_back(d + " shares berth " + b->ID);
        berths.push_back(t.Berth);
        if (t.IsARS) {
            // A train called on into an occupied platform stands in the platform's
            // other berth.
            const auto samePlatform = [&](const TSSIObject* item) {
                for (const TACIEntry& e : list.ACIEntries) {
                    const auto& pb = e.PlatformBerths;
                    if (std::find(pb.begin(), pb.end(), item) != pb.end() &&
                        std::find(pb.begin(), pb.end(), t.Berth) != pb.end())
                        return true;
                }
                return false;
            };
            if (t.PathPosition < 0 || t.PathPosition >= t.PathEntries.Count() ||
                (t.PathEntries.Items[t.PathPosition].Item != t.Berth &&
                 !samePlatform(t.PathEntries.Items[t.PathPosition].Item)))
                out.push_back(d + " is ARS but not at its berth's entry of its path");
        }
        if (t.StatusTrain && list.IndexOf(t.StatusTrain) < 0)
            out.push_back(d + " refers to a freed train");
    });
    for (const TROU* r : list.RouteRequests) {
        bool onPath = false;
        list.ForEach([&](const TARSTrain& t) {
            if (onPath || !t.IsARS || t.PathPosition < 0) return;
            onPath =
                t.PathEntries.FindBerthRoute(r, t.PathPosition) >= 0 ||
                (r->MainRoute && t.PathEntries.FindBerthRoute(r->MainRoute, t.PathPosition) >= 0);
        });
        // A route replaced by its alternative or a same-signal twin stands in for one
        // on the path: the same entrance and exit.
        if (!onPath) {
            list.ForEach([&](const TARSTrain& t) {
                if (onPath || !t.IsARS || t.PathPosition < 0) return;
                for (int i = t.PathPosition; i < t.PathEntries.Count() && !onPath; ++i) {
                    const TSSIObject* o = t.PathEntries.Items[i].Item;
                    if (!o || o->Kind != KindRoute) continue;
                    const TROU* p = static_cast<const TROU*>(o);
                    onPath =
                        p->Alternative == r || (p->Entrance == r->Entrance && p->Exit == r->Exit);
                }
            });
        }
        if (!onPath) out.push_back("route " + r->ID + " chosen by ARS off every train's path");
    }
    return out;
}

}  // namespace kestra::test
