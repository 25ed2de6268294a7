// Draws the built-in area as the panel shows it, without a window: one screen (0 is
// the overview) as a 1024 x 768 binary PPM image on standard output or in a file.
// Glyphs come from the panel fonts compiled into the engine. Routes may be set first,
// by the plates of their entrance and exit signals, and the simulation run on.
//
//   kestra_area_picture [--screen N] [--out FILE.ppm] [--set 11-15 ...] [--ticks N]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "sim/sim.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "panel/panel.h"
#include "panel_font.h"

namespace {

class PictureSurface : public kestra::PanelSurface {
  public:
    PictureSurface() : pixels_(kestra::PanelWidth * kestra::PanelHeight, 0) {}

    void PutGlyph(int px, int py, std::uint8_t code, kestra::Colour fg, kestra::Colour bg,
                  kestra::PanelFont font) override {
        const kestra::font::Face& face =
            font == kestra::PanelFont::Small ? kestra::font::Small : kestra::font::Normal;
        for (int y = 0; y < face.Height; ++y) {
            for (int x = 0; x < face.Width; ++x) {
                const bool ink = face.HasGlyph(code) && face.Ink(code, x, y);
                Put(px + x, py + y, ink ? fg : bg);
            }
        }
    }
    void Fill(kestra::Colour colour) override { std::fill(pixels_.begin(), pixels_.end(), colour); }
    void PutText(int px, int py, const std::string& text, kestra::Colour fg,
                 kestra::Colour bg) override {
        for (std::size_t i = 0; i < text.size(); ++i)
            PutGlyph(px + static_cast<int>(i) * kestra::CellWidth, py,
                     static_cast<std::uint8_t>(text[i]), fg, bg, kestra::PanelFont::Normal);
    }

    bool Write(const std::string& path) const {
        std::FILE* f = path.empty() ? stdout : std::fopen(path.c_str(), "wb");
        if (!f) return false;
        std::fprintf(f, "P6\n%d %d\n255\n", kestra::PanelWidth, kestra::PanelHeight);
        for (kestra::Colour c : pixels_) {
            const unsigned char rgb[3] = {static_cast<unsigned char>(c & 0xFF),
                                          static_cast<unsigned char>((c >> 8) & 0xFF),
                                          static_cast<unsigned char>((c >> 16) & 0xFF)};
            std::fwrite(rgb, 1, 3, f);
        }
        return path.empty() || std::fclose(f) == 0;
    }

  private:
    void Put(int x, int y, kestra::Colour c) {
        if (x >= 0 && y >= 0 && x < kestra::PanelWidth && y < kestra::PanelHeight)
            pixels_[y * kestra::PanelWidth + x] = c;
    }
    std::vector<kestra::Colour> pixels_;
};

}  // namespace

int main(int argc, char** argv) {
    int screen = 1;
    int ticks = 1;
    std::string out;
    std::vector<std::string> routes;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screen") == 0 && i + 1 < argc)
            screen = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc)
            out = argv[++i];
        else if (std::strcmp(argv[i], "--set") == 0 && i + 1 < argc)
            routes.push_back(argv[++i]);
        else if (std::strcmp(argv[i], "--ticks") == 0 && i + 1 < argc)
            ticks = std::atoi(argv[++i]);
    }
    PictureSurface surface;
    kestra::Ports ports;
    ports.Surface = &surface;
    kestra::Sim sim(ports, 1);
    auto area = kestra::area::BuildArea(sim);
    if (!area->Model->Valid()) {
        for (const std::string& e : area->Model->Errors) std::fprintf(stderr, "%s\n", e.c_str());
        return 1;
    }
    kestra::area::SetAreaTitle(sim);
    sim.MajorCycleTick();
    const std::string prefix = std::string("S") + kestra::area::BuiltInDescription().SignalPrefix;
    for (const std::string& r : routes) {
        const std::size_t dash = r.find('-');
        kestra::TSIG* entrance = sim.Signals.FindID(prefix + r.substr(0, dash));
        kestra::TSIG* exit =
            dash == std::string::npos ? nullptr : sim.Signals.FindID(prefix + r.substr(dash + 1));
        if (!entrance || !exit || !kestra::RouteRequest(sim, *entrance, *exit, 0).Set) {
            std::fprintf(stderr, "route %s not set: %s\n", r.c_str(), sim.LastFailReason.c_str());
            return 1;
        }
    }
    for (int i = 1; i < ticks; ++i) sim.MajorCycleTick();
    sim.Display().CurrentScreen = screen;
    sim.Display().RedrawPanel();
    return surface.Write(out) ? 0 : 1;
}
