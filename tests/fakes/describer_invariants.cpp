#include "fakes/describer_invariants.h"

#include <map>

#include "display/options.h"
#include "panel/panel.h"
#include "trains/berth.h"

namespace kestra::test {

std::vector<std::string> CheckDescriber(Sim& sim, const RecordingSurface& surface,
                                        const DescriberRules& rules) {
    std::vector<std::string> out;
    std::map<std::string, std::string> seen;
    const int screen = sim.Display().CurrentScreen;
    const bool delay = sim.Options().BERMode == BerModeDelay;
    sim.Berths.ForEach([&](TBER& b) {
        if (!b.HasDescription()) return;
        const std::string& d = b.Description;
        if (d.size() != 4) out.push_back(b.ID + " holds \"" + d + "\", not four characters");
        if (d == sim.SimData.NonDescribed && !rules.UndescribedTrains)
            out.push_back(b.ID + " holds " + d + " though every train was described");
        if (!rules.Duplicates) {
            auto [it, fresh] = seen.emplace(d, b.ID);
            if (!fresh) out.push_back(d + " stands in both " + it->second + " and " + b.ID);
        }
        if (screen < 1 || (b.X == 0 && b.Y == 0)) return;
        const int column = b.X - (screen - 1) * ScreenColumns;
        if (column < 0 || column + 4 > ScreenColumns) return;  // another screen
        for (int i = 0; i < 4 && i < static_cast<int>(d.size()); ++i) {
            const Cell& c = surface.At(column + i, b.Y);
            const BerthColour fg = delay ? b.TextColour : b.Colour;
            if (c.Code != static_cast<std::uint8_t>(d[static_cast<std::size_t>(i)])) {
                out.push_back(b.ID + " shows '" + std::string(1, static_cast<char>(c.Code)) +
                              "' where its description has '" + d.substr(i, 1) + "'");
                break;
            }
            if (c.Fg == c.Bg) {
                out.push_back(b.ID + " is drawn in its own background colour");
                break;
            }
            if (c.Fg != fg && !(delay && b.TextColour == b.BackColour)) {
                out.push_back(b.ID + " is drawn in a colour that is not its current one");
                break;
            }
        }
    });
    return out;
}

}  // namespace kestra::test
