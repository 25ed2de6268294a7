#pragma once
// The panel surface as a 1024 x 768 image that the main window paints scaled.

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
    // The part of the panel changed since the last call.
    QRect TakeDirty();

private:
    QImage image_;
    QRect dirty_;
};

QColor ToQColor(Colour c);

}  // namespace kestra::app
