#pragma once
// The main window: paints the panel image scaled by the largest whole factor that
// fits, crisp and centred on black, maps the mouse back to panel pixels, changes
// screens, and drives the major cycle from its timer.

#include <QTimer>
#include <QWidget>

#include "core/sim.h"
#include "qt_surface.h"

namespace kestra::app {

class TDisplayForm : public QWidget {
    Q_OBJECT
  public:
    TDisplayForm(Sim& sim, QtPanelSurface& surface);

    // Where the panel lies in a window of the given size: scaled by the largest whole
    // factor that fits (at least 1) and centred.
    static QRect PanelRectFor(const QSize& window);
    QRect PanelRect() const { return PanelRectFor(size()); }
    // A window position as a panel pixel (outside the panel when the window is larger).
    QPoint ToPanel(const QPoint& window) const;
    // Opens the Options dialog and redraws the panel afterwards.
    void ShowOptions();
    // Paints the panel's changes since the last call.
    void FlushPanel();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void OnMajorCycle();
    Sim& sim_;
    QtPanelSurface& surface_;
    QTimer majorCycle_;
};

}  // namespace kestra::app
