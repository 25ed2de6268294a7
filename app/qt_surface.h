#pragma once
// The panel surface as a 1024 x 768 image that the main window paints scaled. Glyphs
// are copied from the compiled-in panel fonts straight into the image's pixels.

#include <QImage>
#include <QRect>

#include "core/ports.h"

namespace kestra::app {

class QtPanelSurface : public PanelSurface {
  public:
    QtPanelSurface();
    void PutGlyph(int px, int py, std::uint8_t code, Colour fg, Colour bg, PanelFont font) override;
    void Fill(Colour colour) override;
    void PutText(int px, int py, const std::string& text, Colour fg, Colour bg) override;

    const QImage& Image() const { return image_; }
    // The part of the panel changed since the last call, in panel pixels.
    QRect TakeDirty();

  private:
    void AddDirty(int x0, int y0, int x1, int y1);
    QImage image_;
    // The changed area as [x0, x1) x [y0, y1); empty when x1 <= x0.
    int dirtyX0_ = 0, dirtyY0_ = 0, dirtyX1_ = 0, dirtyY1_ = 0;
};

QColor ToQColor(Colour c);
Colour FromQColor(const QColor& c);

}  // namespace kestra::app
