#include "display_form.h"

#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

#include "options_form.h"
#include "panel/options.h"

namespace kestra::app {

TDisplayForm::TDisplayForm(Sim& sim, QtPanelSurface& surface) : sim_(sim), surface_(surface) {
    setWindowTitle("Kestra");
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setMinimumSize(512, 384);
    connect(&majorCycle_, &QTimer::timeout, this, &TDisplayForm::OnMajorCycle);
    majorCycle_.start(sim_.MajorCycleInterval);
}

QRect TDisplayForm::PanelRectFor(const QSize& window) {
    const int scale =
        std::max(1, std::min(window.width() / PanelWidth, window.height() / PanelHeight));
    const int w = PanelWidth * scale;
    const int h = PanelHeight * scale;
    return QRect((window.width() - w) / 2, (window.height() - h) / 2, w, h);
}

QPoint TDisplayForm::ToPanel(const QPoint& window) const {
    const QRect r = PanelRect();
    const int scale = r.width() / PanelWidth;
    auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    return QPoint(floorDiv(window.x() - r.left(), scale), floorDiv(window.y() - r.top(), scale));
}

void TDisplayForm::FlushPanel() {
    const QRect dirty = surface_.TakeDirty();
    if (dirty.isEmpty()) return;
    const QRect r = PanelRect();
    const int scale = r.width() / PanelWidth;
    update(QRect(r.left() + dirty.left() * scale, r.top() + dirty.top() * scale,
                 dirty.width() * scale, dirty.height() * scale));
}

void TDisplayForm::OnMajorCycle() {
    sim_.MajorCycleTick();
    if (majorCycle_.interval() != sim_.MajorCycleInterval)
        majorCycle_.setInterval(sim_.MajorCycleInterval);
    FlushPanel();
}

void TDisplayForm::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect r = PanelRect();
    const int scale = r.width() / PanelWidth;
    // Black margins around the panel.
    const QRegion margins = QRegion(event->rect()) - QRegion(r);
    for (const QRect& m : margins) p.fillRect(m, Qt::black);
    // The panel pixels under the exposed area, whole pixels only, nearest neighbour.
    const QRect exposed = event->rect() & r;
    if (exposed.isEmpty()) return;
    const int x0 = (exposed.left() - r.left()) / scale;
    const int y0 = (exposed.top() - r.top()) / scale;
    const int x1 = (exposed.right() - r.left()) / scale;
    const int y1 = (exposed.bottom() - r.top()) / scale;
    const QRect source(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    const QRect target(r.left() + x0 * scale, r.top() + y0 * scale, source.width() * scale,
                       source.height() * scale);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(target, surface_.Image(), source);
}

void TDisplayForm::ShowOptions() {
    TOptionsForm form(sim_, this);
    form.exec();
    majorCycle_.setInterval(sim_.MajorCycleInterval);
    sim_.Display().RedrawPanel();
    FlushPanel();
}

void TDisplayForm::keyPressEvent(QKeyEvent* event) {
    const auto mods =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int key = event->key();
    if (mods == Qt::NoModifier && key >= Qt::Key_0 && key <= Qt::Key_9) {
        sim_.Display().SelectScreen(key - Qt::Key_0);
        FlushPanel();
        return;
    }
    if (mods == Qt::NoModifier && key == Qt::Key_P) {
        if (sim_.IsPaused())
            sim_.ResumeSimulation();
        else
            sim_.PauseSimulation();
        sim_.Display().RedrawStatus();
        FlushPanel();
        return;
    }
    if (mods == Qt::NoModifier && key == Qt::Key_F3) {
        ShowOptions();
        return;
    }
    if (key == Qt::Key_Escape && (mods & Qt::ShiftModifier)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TDisplayForm::mousePressEvent(QMouseEvent* event) {
    const QPoint p = ToPanel(event->position().toPoint());
    if (p.x() < 0 || p.y() < 0 || p.x() >= PanelWidth || p.y() >= PanelHeight) return;
    sim_.Display().ScreenClick(p.x(), p.y(), event->button() == Qt::LeftButton);
    FlushPanel();
}

void TDisplayForm::mouseMoveEvent(QMouseEvent* event) {
    const QPoint window = event->position().toPoint();
    // The screen edges of the window count as the panel's edges.
    int px = ToPanel(window).x();
    if (window.x() >= width() - 1) px = std::max(px, PanelWidth - 1);
    if (window.x() <= 0) px = std::min(px, 0);
    const int move = sim_.Display().PageFlip(px);
    if (move != 0) {
        const int scale = PanelRect().width() / PanelWidth;
        QCursor::setPos(mapToGlobal(QPoint(window.x() + move * scale, window.y())));
        FlushPanel();
    }
}

void TDisplayForm::wheelEvent(QWheelEvent* event) {
    const int dy = event->angleDelta().y();
    if (dy < 0) sim_.Display().WheelDown();
    if (dy > 0) sim_.Display().WheelUp();
    FlushPanel();
}

void TDisplayForm::closeEvent(QCloseEvent* event) {
    sim_.PauseSimulation();
    majorCycle_.stop();
    setWindowTitle("Kestra exiting...");
    event->accept();
}

void TDisplayForm::hideEvent(QHideEvent* event) {
    // Hiding the main window writes the options.
    SaveOptions(sim_);
    QWidget::hideEvent(event);
}

}  // namespace kestra::app
