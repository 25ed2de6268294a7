#include "display/palette.h"

namespace kestra {

Colour PaletteColour(int index, bool eightBit) {
    static constexpr Colour table[PaletteSize] = {ClBlack,  ClGrey,   ClWhite, ClRed,
                                                  ClOrange, ClYellow, ClGreen, ClSkyBlue,
                                                  ClViolet, ClCyan,   ClPink,  ClDarkGreen};
    if (index < 0 || index >= PaletteSize) return ClBlack;
    if (eightBit && table[index] == ClOrange) return ClOlive;
    if (eightBit && table[index] == ClPink) return ClMagenta;
    return table[index];
}

}  // namespace kestra
