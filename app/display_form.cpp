#include "display_form.h"

#include <QKeyEvent>
#include <QPainter>

namespace kestra::app {

TDisplayForm::TDisplayForm(Sim& sim, QtPanelSurface& surface) : sim_(sim), surface_(surface) {
    setWindowTitle("Kestra");
    setCursor(Qt::CrossCursor);
    setAutoFillBackground(false);
    setMinimumSize(512, 384);
    connect(&majorCycle_, &QTimer::timeout, this, &TDisplayForm::OnMajorCycle);
    sim_.MajorCycleTick();
    majorCycle_.start(sim_.MajorCycleInterval);
}

QRect TDisplayForm::PanelRect() const {
    const int scale = std::max(1, std::min(width() / 1024, height() / 768));
    const int w = 1024 * scale;
    const int h = 768 * scale;
    return QRect((width() - w) / 2, (height() - h) / 2, w, h);
}

void TDisplayForm::OnMajorCycle() {
    sim_.MajorCycleTick();
    if (majorCycle_.interval() != sim_.MajorCycleInterval) majorCycle_.setInterval(sim_.MajorCycleInterval);
    const QRect dirty = surface_.TakeDirty();
    if (!dirty.isEmpty()) update();
}

void TDisplayForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(PanelRect(), surface_.Image());
}

void TDisplayForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_P) {
        if (sim_.IsPaused()) sim_.ResumeSimulation(); else sim_.PauseSimulation();
        sim_.Display().RedrawStatus();
        update();
        return;
    }
    if (event->key() == Qt::Key_Escape && event->modifiers() & Qt::ShiftModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace kestra::app
