// Draws the built-in area as the panel shows it after start-up, without a window: one
// screen (0 is the overview) as a 1024 x 768 binary PPM image on standard output or in a
// file. Glyphs come from the panel fonts compiled into the engine.
//
//   kestra_area_picture [--screen N] [--out FILE.ppm]

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "core/sim.h"
#include "panel_font.h"

namespace {

class PictureSurface : public kestra::PanelSurface {
public:
    PictureSurface() : pixels_(1024 * 768, 0) {}

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
    void PutText(int px, int py, const std::string& text, kestra::Colour fg, kestra::Colour bg) override {
        for (std::size_t i = 0; i < text.size(); ++i)
            PutGlyph(px + static_cast<int>(i) * 8, py, static_cast<std::uint8_t>(text[i]), fg, bg,
                     kestra::PanelFont::Normal);
    }

    bool Write(const std::string& path) const {
        std::FILE* f = path.empty() ? stdout : std::fopen(path.c_str(), "wb");
        if (!f) return false;
        std::fprintf(f, "P6\n1024 768\n255\n");
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
        if (x >= 0 && y >= 0 && x < 1024 && y < 768) pixels_[y * 1024 + x] = c;
    }
    std::vector<kestra::Colour> pixels_;
};

}  // namespace

int main(int argc, char** argv) {
    int screen = 1;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screen") == 0 && i + 1 < argc) screen = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) out = argv[++i];
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
    sim.Display().CurrentScreen = screen;
    sim.Display().RedrawPanel();
    return surface.Write(out) ? 0 : 1;
}
