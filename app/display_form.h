#pragma once
// The main window: paints the panel image scaled by the largest whole factor that
// fits, centred on black, and drives the major cycle from its timer.

#include <QTimer>
#include <QWidget>

#include "core/sim.h"
#include "qt_surface.h"

namespace kestra::app {

class TDisplayForm : public QWidget {
    Q_OBJECT
public:
    TDisplayForm(Sim& sim, QtPanelSurface& surface);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnMajorCycle();
    QRect PanelRect() const;
    Sim& sim_;
    QtPanelSurface& surface_;
    QTimer majorCycle_;
};

}  // namespace kestra::app
