#include "qt_surface.h"

#include <QColor>
#include <algorithm>
#include <array>

#include "panel/panel.h"
#include "panel_font.h"

namespace kestra::app {

QColor ToQColor(Colour c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

Colour FromQColor(const QColor& c) {
    return static_cast<Colour>(c.red()) | (static_cast<Colour>(c.green()) << 8) |
           (static_cast<Colour>(c.blue()) << 16);
}

namespace {

QRgb ToRgb(Colour c) {
    return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// A code with no glyph shows as a hollow box, so that the fault is seen at once.
constexpr std::uint8_t MissingBox[16] = {0x00, 0x00, 0x7E, 0x42, 0x42, 0x42, 0x42, 0x42,
                                         0x42, 0x42, 0x42, 0x42, 0x42, 0x7E, 0x00, 0x00};
constexpr std::uint8_t MissingSmall[16] = {0xC0, 0xC0, 0xC0, 0xC0};

// For each pattern of eight pixels, all ones where a pixel is inked.
using MaskTable = std::array<std::array<std::uint32_t, 8>, 256>;
const MaskTable& RowMasks() {
    static const MaskTable table = [] {
        MaskTable t{};
        for (int row = 0; row < 256; ++row)
            for (int x = 0; x < 8; ++x) t[row][x] = (row & (0x80 >> x)) ? 0xFFFFFFFFu : 0u;
        return t;
    }();
    return table;
}

}  // namespace

QtPanelSurface::QtPanelSurface() : image_(PanelWidth, PanelHeight, QImage::Format_RGB32) {
    image_.fill(Qt::black);
}

void QtPanelSurface::PutGlyph(int px, int py, std::uint8_t code, Colour fg, Colour bg,
                              PanelFont font) {
    const font::Face& face = font == PanelFont::Small ? font::Small : font::Normal;
    const std::uint8_t* rows = face.Rows[code];
    if (!face.HasGlyph(code)) rows = font == PanelFont::Small ? MissingSmall : MissingBox;
    // The part of the cell inside the panel.
    const int x0 = std::max(px, 0), y0 = std::max(py, 0);
    const int x1 = std::min(px + face.Width, image_.width());
    const int y1 = std::min(py + face.Height, image_.height());
    if (x0 >= x1 || y0 >= y1) return;
    const QRgb ink = ToRgb(fg);
    const QRgb paper = ToRgb(bg);
    uchar* bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    const QRgb diff = ink ^ paper;
    if (face.Width == 8 && x0 == px && x1 == px + 8) {
        // Whole normal-font rows: eight pixels from a table of ink masks per row pattern.
        for (int y = y0; y < y1; ++y) {
            auto* line = reinterpret_cast<QRgb*>(bits + y * stride) + px;
            const std::uint32_t* mask = RowMasks()[rows[y - py]].data();
            for (int x = 0; x < 8; ++x) line[x] = paper ^ (diff & mask[x]);
        }
        AddDirty(x0, y0, x1, y1);
        return;
    }
    for (int y = y0; y < y1; ++y) {
        auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
        const unsigned row = rows[y - py];
        // Branch-free: all ones where the glyph has ink.
        for (int x = x0; x < x1; ++x) {
            const QRgb mask = 0u - ((row >> (7 - (x - px))) & 1u);
            line[x] = paper ^ (diff & mask);
        }
    }
    AddDirty(x0, y0, x1, y1);
}

void QtPanelSurface::AddDirty(int x0, int y0, int x1, int y1) {
    if (dirtyX1_ <= dirtyX0_) {
        dirtyX0_ = x0, dirtyY0_ = y0, dirtyX1_ = x1, dirtyY1_ = y1;
        return;
    }
    dirtyX0_ = std::min(dirtyX0_, x0);
    dirtyY0_ = std::min(dirtyY0_, y0);
    dirtyX1_ = std::max(dirtyX1_, x1);
    dirtyY1_ = std::max(dirtyY1_, y1);
}

void QtPanelSurface::Fill(Colour colour) {
    image_.fill(ToQColor(colour));
    AddDirty(0, 0, image_.width(), image_.height());
}

void QtPanelSurface::PutText(int px, int py, const std::string& text, Colour fg, Colour bg) {
    for (std::size_t i = 0; i < text.size(); ++i)
        PutGlyph(px + static_cast<int>(i) * CellWidth, py, static_cast<std::uint8_t>(text[i]), fg, bg,
                 PanelFont::Normal);
}

QRect QtPanelSurface::TakeDirty() {
    if (dirtyX1_ <= dirtyX0_) return QRect();
    const QRect r(dirtyX0_, dirtyY0_, dirtyX1_ - dirtyX0_, dirtyY1_ - dirtyY0_);
    dirtyX0_ = dirtyY0_ = dirtyX1_ = dirtyY1_ = 0;
    return r;
}

}  // namespace kestra::app
