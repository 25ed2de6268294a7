#include "qt_surface.h"

#include <QFont>
#include <QPainter>

namespace kestra::app {

QColor ToQColor(Colour c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

QtPanelSurface::QtPanelSurface() : image_(1024, 768, QImage::Format_RGB32) { image_.fill(Qt::black); }

void QtPanelSurface::PutGlyph(int px, int py, std::uint8_t code, Colour fg, Colour bg,
                              PanelFont font) {
    const int w = font == PanelFont::Small ? 2 : 8;
    const int h = font == PanelFont::Small ? 4 : 16;
    const QRect cell(px, py, w, h);
    QPainter p(&image_);
    p.fillRect(cell, ToQColor(bg));
    if (font == PanelFont::Normal && code > 32 && code < 127) {
        QFont f("Monospace");
        f.setPixelSize(13);
        p.setFont(f);
        p.setPen(ToQColor(fg));
        p.drawText(cell, Qt::AlignCenter, QString(QChar(code)));
    } else if (font == PanelFont::Small && code != 32) {
        p.fillRect(cell, ToQColor(fg));
    }
    dirty_ |= cell;
}

void QtPanelSurface::Fill(Colour colour) {
    image_.fill(ToQColor(colour));
    dirty_ = image_.rect();
}

void QtPanelSurface::PutText(int px, int py, const std::string& text, Colour fg, Colour bg) {
    for (std::size_t i = 0; i < text.size(); ++i)
        PutGlyph(px + static_cast<int>(i) * 8, py, static_cast<std::uint8_t>(text[i]), fg, bg,
                 PanelFont::Normal);
}

QRect QtPanelSurface::TakeDirty() {
    QRect r = dirty_;
    dirty_ = QRect();
    return r;
}

}  // namespace kestra::app
