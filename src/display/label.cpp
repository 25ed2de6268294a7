#include "display/label.h"

#include "sim/sim.h"
#include "display/palette.h"

namespace kestra {

void TPEL::Draw() {
    if (Visible) sim_.Display().DrawText(X, Y, ClGrey, Text);
}

void TPELList::DrawColour2Bg(Colour fg, Colour bgB, Colour bgA) const {
    ForEach([&](TPEL& l) { l.sim().Display().DrawText2Bg(l.X, l.Y, fg, bgB, bgA, l.Text); });
}

void TPELList::DrawLabels(std::uint8_t role, bool erase) const {
    ForEach([&](TPEL& l) {
        if (l.Role == role) l.sim().Display().DrawText(l.X, l.Y, erase ? ClBlack : ClGrey, l.Text);
    });
}

}  // namespace kestra
