#include <array>
#include <cstdio>
#include <string_view>

#include "display/palette.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "sim/sim.h"

// Drawing a signal: its head, buttons, entrance marker and train-ready indicator as
// glyph strings.

namespace kestra {

namespace {

// Glyph-string codes for the palette colours used by signals.
constexpr char FgBlack = ForegroundCode(PiBlack);
constexpr char FgGrey = ForegroundCode(PiGrey);
constexpr char FgWhite = ForegroundCode(PiWhite);
constexpr char FgRed = ForegroundCode(PiRed);
constexpr char FgOrange = ForegroundCode(PiOrange);
constexpr char FgYellow = ForegroundCode(PiYellow);
constexpr char FgGreen = ForegroundCode(PiGreen);
constexpr char FgSkyBlue = ForegroundCode(PiSkyBlue);
constexpr char BgBlack = BackgroundCode(PiBlack);
constexpr char BgWhite = BackgroundCode(PiWhite);
constexpr char BgOrange = BackgroundCode(PiOrange);
constexpr char BgCyan = BackgroundCode(PiCyan);
constexpr char BgPink = BackgroundCode(PiPink);

constexpr char LampUnlit = 'p';
constexpr char LampLit = 'q';

// A glyph string built without touching the heap.
class GlyphBuf {
  public:
    void Put(char c) {
        if (n_ < buf_.size()) buf_[n_++] = c;
    }
    std::string_view View() const { return {buf_.data(), n_}; }
    // Cells covered: the codes below 200.
    int Cells() const {
        int c = 0;
        for (std::size_t i = 0; i < n_; ++i) {
            if (static_cast<unsigned char>(buf_[i]) < 200) ++c;
        }
        return c;
    }

  private:
    std::array<char, 32> buf_{};
    std::size_t n_ = 0;
};

// One cell of a drawn control: its background, foreground and glyph.
struct Piece {
    char bg;
    char fg;
    char glyph;
};

// Backgrounds from a collar value: bgA under the post or button, bgB under the lamps.
void CollarBackgrounds(std::uint8_t collar, char& bgA, char& bgB) {
    switch (collar & 3) {
        case 1:
            bgA = bgB = BgCyan;
            break;
        case 2:
            bgA = bgB = BgPink;
            break;
        case 3:
            bgA = BgPink;
            bgB = BgCyan;
            break;
        default:
            bgA = bgB = BgBlack;
            break;
    }
}

// Writes pieces left to right, or mirrored (right to left order) for orientations 1 and 3.
void Emit(GlyphBuf& out, const Piece* pieces, int count, bool mirrored) {
    char bg = 0;
    char fg = 0;
    for (int k = 0; k < count; ++k) {
        const Piece& p = pieces[mirrored ? count - 1 - k : k];
        if (p.bg != bg) {
            out.Put(p.bg);
            bg = p.bg;
        }
        if (p.fg != fg) {
            out.Put(p.fg);
            fg = p.fg;
        }
        out.Put(p.glyph);
    }
}

char LampColourFor(const TSIG& s, std::uint8_t aspect, bool second) {
    const bool flash = s.sim().FlashPhase;
    if (second) {
        if (aspect == AspDoubleYellow) return FgYellow;
        if (aspect == AspFlashingDoubleYellow) return flash ? FgYellow : FgBlack;
        return 0;
    }
    switch (aspect) {
        case AspDanger:
            return (s.ApproachTimer < 255 && !flash) ? FgBlack : FgRed;
        case AspShunt:
            return FgRed;
        case AspSingleYellow:
        case AspDoubleYellow:
            return FgYellow;
        case AspFlashingSingleYellow:
        case AspFlashingDoubleYellow:
            return flash ? FgYellow : FgBlack;
        default:
            return FgGreen;
    }
}

}  // namespace

int TSIG::DrawHeadAt(int x, int y) {
    const Sim& sim = sim_;
    const bool showShunts = sim.Options().ShowShunts;
    const bool mirrored = (HeadOrientation & 1) != 0;
    const char post = static_cast<char>(128 + (HeadOrientation & 3));
    const char posLight = mirrored ? 's' : 'r';
    const char marker = static_cast<char>(mirrored ? 140 : 141);
    char bgA, bgB;
    const TSIG* collarSource = &ActingSignal();
    CollarBackgrounds(collarSource->Collar, bgA, bgB);

    auto repeatsAutomatic = [&] {
        if (SignalKind == SkRepeating) return NextSignal && NextSignal->SignalKind == SkAutomatic;
        if (SignalKind == SkRepeatingRepeater)
            return NextSignal && NextSignal->NextSignal &&
                   NextSignal->NextSignal->SignalKind == SkAutomatic;
        return false;
    };
    const bool mainLamps = (AspectFlags & (AfRed | AfSingleYellow | AfDoubleYellow | AfGreen)) != 0;
    const bool hasL2 = (AspectFlags & AfDoubleYellow) != 0;
    const char postColour = HasSetRoute() ? FgWhite : FgGrey;

    Piece pieces[6];
    int n = 0;
    int width = 0;
    bool countCells = false;
    int startX = x;
    auto lamps = [&](char bg) {
        if (!LampProved) {
            pieces[n++] = {bg, FgGrey, LampUnlit};
            if (hasL2) pieces[n++] = {bg, FgGrey, ' '};
        } else {
            pieces[n++] = {bg, LampColourFor(*this, Aspect, false), LampLit};
            if (hasL2) {
                const char c2 = LampColourFor(*this, Aspect, true);
                pieces[n++] = {bg, c2 ? c2 : FgBlack, c2 ? LampLit : ' '};
            }
        }
    };

    if (SignalKind == SkAutomatic || (IsRepeating() && repeatsAutomatic())) {
        pieces[n++] = {bgA, FgGrey, post};
        lamps(bgB);
        countCells = true;
    } else if ((SignalKind == SkRouteWorked && mainLamps) || IsRepeating()) {
        pieces[n++] = {bgA, postColour, post};
        if (AspectFlags & AfPositionLight)
            pieces[n++] = {bgA, (Aspect == AspShunt && LampProved) ? FgWhite : FgGrey, posLight};
        lamps(bgB);
        countCells = true;
    } else if (SignalKind == SkRouteWorked || (SignalKind == SkShunt && showShunts)) {
        const char lamp = Aspect == AspShunt
                              ? FgWhite
                              : ((ApproachTimer < 255 && !sim.FlashPhase) ? FgBlack : FgRed);
        pieces[n++] = {bgA, postColour, post};
        pieces[n++] = {bgB, lamp, posLight};
        width = 2;
    } else if (SignalKind == SkAutomaticLamp) {
        pieces[n++] = {bgA, FgGrey, post};
        pieces[n++] = {bgB, FgGrey, LampProved ? LampLit : LampUnlit};
        width = 2;
    } else if (SignalKind == SkGreyShunt && showShunts) {
        pieces[n++] = {bgA, FgGrey, post};
        pieces[n++] = {bgB, FgGrey, posLight};
        width = 2;
    } else if (SignalKind == SkDrawnOnly || SignalKind == SkSecondHead ||
               (SignalKind == SkShuntMarker && showShunts) ||
               (SignalKind == SkWhiteMarker && showShunts)) {
        const char fg = SignalKind == SkWhiteMarker ? FgWhite : FgGrey;
        pieces[n++] = {bgA, fg, marker};
        pieces[n++] = {bgB, fg, ' '};
        if (mirrored) startX = x - 1;
        width = 1;
    } else {
        return 0;
    }
    GlyphBuf buf;
    Emit(buf, pieces, n, mirrored);
    sim_.Display().DrawText(startX, y, ClGrey, buf.View());
    return countCells ? buf.Cells() : width;
}

int TSIG::DrawAutoButtonAt(int x, int y) {
    char bgA, bgB;
    CollarBackgrounds(AutoCollar, bgA, bgB);
    const Piece pieces[2] = {{bgA, FgSkyBlue, AutoWorking ? LampLit : LampUnlit},
                             {bgB, FgSkyBlue, 'A'}};
    GlyphBuf buf;
    Emit(buf, pieces, 2, (HeadOrientation & 1) != 0);
    sim_.Display().DrawText(x, y, ClSkyBlue, buf.View());
    return 2;
}

int TSIG::DrawERButtonAt(int x, int y) {
    char bgA, bgB;
    CollarBackgrounds(ERCollar, bgA, bgB);
    const Piece pieces[2] = {{bgA, FgRed, AutoWorking ? LampLit : LampUnlit}, {bgB, FgRed, 'E'}};
    GlyphBuf buf;
    Emit(buf, pieces, 2, (HeadOrientation & 1) != 0);
    sim_.Display().DrawText(x, y, ClRed, buf.View());
    return 2;
}

int TSIG::DrawWarnerButtonAt(int x, int y) {
    char bgA, bgB;
    CollarBackgrounds(WarnerCollar, bgA, bgB);
    GlyphBuf buf;
    buf.Put(bgA);
    buf.Put(FgYellow);
    buf.Put(static_cast<char>((HeadOrientation & 1) != 0 ? 140 : 141));
    sim_.Display().DrawText(x, y, ClYellow, buf.View());
    return 1;
}

void TSIG::DrawEntranceMarkerAt(int x, int y, std::string_view text) {
    if (sim_.Operator.SelectedEntrance != this) return;
    // A whole white cell with the track through it in black, flashing with a gap in the
    // track: a plain white dash would vanish on a route already set (white) and be hard
    // to find on grey, whereas a solid cell stands out on every track colour.
    GlyphBuf buf;
    buf.Put(sim_.FlashPhase ? BgWhite : BgBlack);
    buf.Put(FgBlack);
    for (const char c : text) buf.Put(c);
    sim_.Display().DrawText(x, y, ClBlack, buf.View());
}

void TSIG::Draw() {
    Elements.ForEach([&](TPEL& e) {
        switch (e.Role) {
            case SerHead:
            case SerHead2:
            case SerHead3:
            case SerHead4:
                e.Width = DrawHeadAt(e.X, e.Y);
                break;
            case SerEntrance:
                DrawEntranceMarkerAt(e.X, e.Y, e.Text);
                e.Width = 0;
                break;
            case SerWarner:
                e.Width = DrawWarnerButtonAt(e.X, e.Y);
                break;
            case SerAuto:
                e.Width = DrawAutoButtonAt(e.X, e.Y);
                break;
            case SerER:
                e.Width = DrawERButtonAt(e.X, e.Y);
                break;
            default:
                break;
        }
    });
    HeadWidth = (X != 0 || Y != 0) ? DrawHeadAt(X, Y) : 0;
    if (AutoButtonX != 0 || AutoButtonY != 0) DrawAutoButtonAt(AutoButtonX, AutoButtonY);
    if (EntranceX != 0 || EntranceY != 0) DrawEntranceMarkerAt(EntranceX, EntranceY, "a");
    if (ERButtonX != 0 || ERButtonY != 0) DrawERButtonAt(ERButtonX, ERButtonY);
    if (HasWarnerButton()) DrawWarnerButtonAt(WarnerButtonX, WarnerButtonY);
    if (HasTRTS()) {
        GlyphBuf buf;
        if (!TRTSOperated) {
            if (TRTSStyle == 0) {
                buf.Put(FgOrange);
                buf.Put(LampUnlit);
            } else {
                buf.Put(BgOrange);
                buf.Put(' ');
            }
        } else if (TRTSStyle == 0) {
            buf.Put(sim_.FlashPhase ? FgWhite : FgBlack);
            buf.Put(LampLit);
        } else {
            buf.Put(BgOrange);
            buf.Put(FgWhite);
            buf.Put(sim_.FlashPhase ? LampLit : ' ');
        }
        sim_.Display().DrawText(TRTSX, TRTSY, ClOrange, buf.View());
    }
}

}  // namespace kestra
