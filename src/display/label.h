#pragma once
// Panel labels: glyph strings at panel cells, owned by the simulation's label list
// and referred to by the objects they belong to.

#include <cstdint>
#include <string>

#include "core/ports.h"
#include "core/ssi_object.h"

namespace kestra {

class Sim;

class TPEL : public TSSIObject {
public:
    explicit TPEL(Sim& sim, std::string id = {}) : TSSIObject(std::move(id)), sim_(sim) {}
    void Draw() override;
    Sim& sim() const { return sim_; }

    std::int32_t X = 0;
    std::int32_t Y = 0;
    std::string Text;
    bool Visible = true;
    std::uint8_t Role = 0;
    TSSIObject* Owner = nullptr;
    std::int32_t Width = 0;

private:
    Sim& sim_;
};

// A list of labels: the simulation's class list, or an object's reference list.
class TPELList : public TTypedList<TPEL> {
public:
    // Every label at its own cell with a checkerboard of two backgrounds.
    void DrawColour2Bg(Colour fg, Colour bgB, Colour bgA) const;
    // Labels of one role, in black when erasing, else in grey.
    void DrawLabels(std::uint8_t role, bool erase) const;
};

}  // namespace kestra
