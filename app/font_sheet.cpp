#include "font_sheet.h"

#include <QPainter>
#include <utility>
#include <vector>

#include "panel_font.h"

namespace kestra::app {

namespace {

constexpr int Zoom = 3;  // the normal font at three times its size
constexpr int SmallZoom = 4;
constexpr int PerRow = 16;
constexpr int BoxW = 8 * Zoom + 2 * SmallZoom + 18;
constexpr int BoxH = 16 * Zoom + 18;

void PaintGlyph(QImage& img, const font::Face& face, std::uint8_t code, int x0, int y0, int zoom,
                QRgb ink, QRgb paper) {
    for (int y = 0; y < face.Height; ++y)
        for (int x = 0; x < face.Width; ++x) {
            const QRgb c = face.Ink(code, x, y) ? ink : paper;
            for (int dy = 0; dy < zoom; ++dy)
                for (int dx = 0; dx < zoom; ++dx)
                    img.setPixel(x0 + x * zoom + dx, y0 + y * zoom + dy, c);
        }
}

struct Piece {
    int x, y;
    std::uint8_t code;
    QRgb colour;
};

// Small layouts: a run with a crossover, a branch climbing away, signals, a berth.
std::vector<Piece> Layouts() {
    const QRgb grey = qRgb(0xA0, 0xA0, 0xA0), white = qRgb(255, 255, 255), red = qRgb(255, 0, 0),
               yellow = qRgb(255, 255, 0), green = qRgb(0, 255, 0), cyan = qRgb(0, 255, 255);
    std::vector<Piece> v;
    auto run = [&](int x, int y, const char* s, QRgb c) {
        for (int i = 0; s[i]; ++i) v.push_back({x + i, y, static_cast<std::uint8_t>(s[i]), c});
    };
    run(0, 3, "aaaaae", grey);
    run(6, 3, "aaaaaaaa]", grey);
    run(15, 3, "[aaaa", grey);
    run(0, 4, "aaaaaa", red);
    run(6, 4, "f", red);
    run(7, 4, "aaaaaaaaaaaaa", red);
    run(0, 8, "aaah", white);
    v.push_back({4, 7, 0x90, white});
    v.push_back({5, 6, 0x90, white});
    run(6, 5, "kaaaaa", white);
    run(12, 5, "\x96", white);
    v.push_back({2, 2, 0x80, white});
    v.push_back({3, 2, 'q', green});
    v.push_back({9, 2, 0x80, grey});
    v.push_back({10, 2, 'r', grey});
    v.push_back({11, 2, 'q', yellow});
    v.push_back({12, 2, 'q', yellow});
    v.push_back({17, 5, 'p', grey});
    v.push_back({18, 5, 'q', red});
    v.push_back({19, 5, 0x83, grey});
    run(14, 8, "1A23", cyan);
    run(10, 8, "a", white);
    v.push_back({11, 8, 0x8D, white});
    run(8, 10, "a", grey);
    v.push_back({9, 10, 0x92, grey});
    run(10, 10, "a", grey);
    v.push_back({8, 11, 0x90, grey});
    v.push_back({10, 9, 0x90, grey});
    return v;
}

}  // namespace

QImage RenderFontSheet() {
    std::vector<int> codes;
    for (int c = 0; c < 256; ++c)
        if (font::Normal.HasGlyph(static_cast<std::uint8_t>(c))) codes.push_back(c);
    const int rows = (static_cast<int>(codes.size()) + PerRow - 1) / PerRow;
    const int layoutCols = 24, layoutRows = 13, layoutZoom = 2;
    const int width = PerRow * BoxW + 20;
    const int gridH = rows * BoxH + 40;
    const int height = gridH + layoutRows * 16 * layoutZoom + 40;
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(qRgb(32, 32, 32));
    QPainter p(&img);
    p.setPen(Qt::white);
    p.drawText(10, 20,
               "KESTRA 8x16 (left, x3) and KESTRASMALL 2x4 (right, x4): every glyph with its code");
    p.end();
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const int bx = 10 + static_cast<int>(i % PerRow) * BoxW;
        const int by = 30 + static_cast<int>(i / PerRow) * BoxH;
        const auto code = static_cast<std::uint8_t>(codes[i]);
        PaintGlyph(img, font::Normal, code, bx, by, Zoom, qRgb(230, 230, 230), qRgb(0, 0, 0));
        PaintGlyph(img, font::Small, code, bx + 8 * Zoom + 4, by, SmallZoom, qRgb(230, 230, 230),
                   qRgb(0, 0, 0));
        QPainter t(&img);
        t.setPen(qRgb(150, 150, 150));
        QFont f = t.font();
        f.setPixelSize(10);
        t.setFont(f);
        t.drawText(bx, by + 16 * Zoom + 12, QString("%1").arg(code, 2, 16, QChar('0')).toUpper());
    }
    // Layouts at twice the size on the panel's black.
    const int lx = 10, ly = gridH + 20;
    QPainter p2(&img);
    p2.setPen(Qt::white);
    p2.drawText(lx, ly - 6, "Pieces joined cell to cell (x2):");
    p2.fillRect(lx, ly, layoutCols * 8 * layoutZoom, layoutRows * 16 * layoutZoom, Qt::black);
    p2.end();
    for (const Piece& piece : Layouts()) {
        PaintGlyph(img, font::Normal, piece.code, lx + piece.x * 8 * layoutZoom,
                   ly + piece.y * 16 * layoutZoom, layoutZoom, piece.colour, qRgb(0, 0, 0));
    }
    return img;
}

}  // namespace kestra::app
