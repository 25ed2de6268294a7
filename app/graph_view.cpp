#include "graph_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>

#include "area/area_graph_lines.h"
#include "core/time_format.h"
#include "sim/sim.h"

namespace kestra::app {

namespace {

// The colours of the lateness bands: on time, up to 2, 3 to 5, over 5 minutes late.
const std::array<QColor, 4> kBandColours{QColor(0x1a, 0x9a, 0x3a), QColor(0xc8, 0xa8, 0x00),
                                         QColor(0xe8, 0x70, 0x10), QColor(0xd0, 0x20, 0x20)};
const QColor kBookedColour(0x50, 0x70, 0xb0);
const QColor kGridColour(0xdd, 0xdd, 0xdd);
// Widths of the margins: place names at the left, the title above, times below.
constexpr int kLeftMargin = 150;
constexpr int kTopMargin = 44;
constexpr int kBottomMargin = 34;
constexpr int kRightMargin = 16;
// The narrowest and widest spans of time the view shows.
constexpr std::int32_t kShortestSpan = 10 * 60;
constexpr std::int32_t kLongestSpan = 36 * 3600;
// How much the live view shows before the clock, and after it.
constexpr std::int32_t kFollowSpan = 2 * 3600;
constexpr std::int32_t kFollowAhead = 10 * 60;

// A step between time marks that gives at most about twelve marks over the span.
std::int32_t TimeStep(std::int32_t span) {
    for (const std::int32_t minutes : {1, 2, 5, 10, 15, 30, 60, 120, 180, 360})
        if (span / (minutes * 60) <= 12) return minutes * 60;
    return 720 * 60;
}

QString HoursMinutes(std::int32_t t) {
    return QString::fromStdString(FormatClock(t).substr(0, 5));
}

}  // namespace

void PaintTimeDistance(QPainter& p, const QRect& area, const TimeDistanceGraph& graph,
                       std::int32_t from, std::int32_t to) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.fillRect(area, Qt::white);
    const QRect plot = area.adjusted(kLeftMargin, kTopMargin, -kRightMargin, -kBottomMargin);
    if (to <= from) to = from + 1;
    const double length = graph.LengthMetres > 0 ? graph.LengthMetres : 1.0;
    auto xOf = [&](double t) {
        return plot.left() + (t - from) * plot.width() / static_cast<double>(to - from);
    };
    auto yOf = [&](double metres) { return plot.top() + metres * plot.height() / length; };

    // The title and the legend.
    QFont font = p.font();
    font.setPixelSize(15);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(area.left() + 8, area.top() + 4, area.width() - 16, 22),
               Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(graph.Title));
    font.setBold(false);
    font.setPixelSize(12);
    p.setFont(font);
    const QFontMetrics metrics(font);
    const std::array<const char*, 4> bands{"on time", "1-2 min late", "3-5 min late",
                                           "over 5 min late"};
    int lx = area.right() - 8;
    for (int i = 3; i >= -1; --i) {
        const QString text =
            i < 0 ? QString("booked") : QString(bands[static_cast<std::size_t>(i)]);
        const int w = metrics.horizontalAdvance(text);
        lx -= w;
        p.setPen(Qt::black);
        p.drawText(QPoint(lx, area.top() + 38), text);
        QPen pen(i < 0 ? kBookedColour : kBandColours[static_cast<std::size_t>(i)], 2.5);
        if (i < 0) pen.setStyle(Qt::DashLine);
        p.setPen(pen);
        p.drawLine(QPointF(lx - 30, area.top() + 34), QPointF(lx - 6, area.top() + 34));
        lx -= 44;
    }

    // The places down the side, and the time marks along the bottom.
    p.setPen(QPen(kGridColour, 1));
    p.drawRect(plot);
    for (const GraphStation& s : graph.Stations) {
        const double y = yOf(s.Metres);
        p.setPen(QPen(kGridColour, 1));
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(Qt::black);
        p.drawText(QRectF(area.left() + 4, y - 9, kLeftMargin - 10, 18),
                   Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(s.Label));
    }
    const std::int32_t step = TimeStep(to - from);
    for (std::int32_t t = (from + step - 1) / step * step; t <= to; t += step) {
        const double x = xOf(t);
        p.setPen(QPen(kGridColour, 1));
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(x - 30, plot.bottom() + 4, 60, 18), Qt::AlignCenter, HoursMinutes(t));
    }

    // The trains, clipped to the plot.
    p.setClipRect(plot.adjusted(-1, -1, 1, 1));
    for (const GraphTrain& train : graph.Trains) {
        if (train.Booked.size() >= 2) {
            QPen pen(kBookedColour, 1.2, Qt::DashLine);
            p.setPen(pen);
            QPainterPath path(
                QPointF(xOf(train.Booked.front().Time), yOf(train.Booked.front().Metres)));
            for (std::size_t i = 1; i < train.Booked.size(); ++i)
                path.lineTo(xOf(train.Booked[i].Time), yOf(train.Booked[i].Metres));
            p.drawPath(path);
        }
        for (const auto& run : train.Actual) {
            for (std::size_t i = 1; i < run.size(); ++i) {
                const GraphPoint& a = run[i - 1];
                const GraphPoint& b = run[i];
                if (b.Time < from || a.Time > to) continue;
                p.setPen(
                    QPen(kBandColours[static_cast<std::size_t>(LatenessBand(b.MinutesLate))], 2.0));
                p.drawLine(QPointF(xOf(a.Time), yOf(a.Metres)),
                           QPointF(xOf(b.Time), yOf(b.Metres)));
            }
        }
        // The description where the train's first run begins.
        if (!train.Actual.empty() && !train.Actual.front().empty()) {
            const GraphPoint& first = train.Actual.front().front();
            if (first.Time >= from && first.Time <= to) {
                p.setPen(Qt::black);
                p.drawText(QPointF(xOf(first.Time) + 3, yOf(first.Metres) - 3),
                           QString::fromStdString(train.Train));
            }
        }
    }
    p.restore();
}

QImage RenderTimeDistance(const TimeDistanceGraph& graph, const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    std::int32_t from = graph.FirstTime;
    std::int32_t to = graph.LastTime;
    // A little room either side, whole quarter hours.
    from = std::max(0, (from - 300) / 900 * 900);
    to = (to + 300 + 899) / 900 * 900;
    if (to <= from) to = from + 3600;
    PaintTimeDistance(p, QRect(QPoint(0, 0), size), graph, from, to);
    return image;
}

bool SaveTimeDistancePng(const TimeDistanceGraph& graph, const std::string& path,
                         std::string& error) {
    // Wide enough that a whole day still tells trains apart.
    const std::int32_t span = std::max(3600, graph.LastTime - graph.FirstTime);
    const int width = std::clamp(span / 6, 1200, 6000);
    const QImage image = RenderTimeDistance(graph, QSize(width, 800));
    if (!image.save(QString::fromStdString(path), "PNG")) {
        error = "the picture could not be written";
        return false;
    }
    return true;
}

// --- the view

TTimeDistanceView::TTimeDistanceView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(640, 360);
    setCursor(Qt::OpenHandCursor);
}

void TTimeDistanceView::SetGraph(TimeDistanceGraph graph) {
    graph_ = std::move(graph);
    update();
}

void TTimeDistanceView::SetRange(std::int32_t from, std::int32_t to) {
    const std::int32_t span = std::clamp(to - from, kShortestSpan, kLongestSpan);
    from_ = std::max(0, from);
    to_ = from_ + span;
    update();
}

void TTimeDistanceView::ZoomAbout(double factor, int x) {
    const int plotWidth = std::max(1, width() - kLeftMargin - kRightMargin);
    const double at = std::clamp((x - kLeftMargin) / static_cast<double>(plotWidth), 0.0, 1.0);
    const double pivot = from_ + at * (to_ - from_);
    const auto span = static_cast<std::int32_t>(std::clamp((to_ - from_) * factor,
                                                           static_cast<double>(kShortestSpan),
                                                           static_cast<double>(kLongestSpan)));
    const auto from = static_cast<std::int32_t>(std::lround(pivot - at * span));
    SetRange(from, from + span);
}

void TTimeDistanceView::Pan(std::int32_t seconds) {
    SetRange(from_ + seconds, to_ + seconds);
}

void TTimeDistanceView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintTimeDistance(p, rect(), graph_, from_, to_);
}

void TTimeDistanceView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) return;
    ZoomAbout(delta > 0 ? 0.8 : 1.25, static_cast<int>(event->position().x()));
    emit ViewMoved();
    event->accept();
}

void TTimeDistanceView::mousePressEvent(QMouseEvent* event) {
    dragX_ = static_cast<int>(event->position().x());
}

void TTimeDistanceView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const int x = static_cast<int>(event->position().x());
    const int plotWidth = std::max(1, width() - kLeftMargin - kRightMargin);
    const auto seconds =
        static_cast<std::int32_t>(std::lround((dragX_ - x) * (to_ - from_) / double(plotWidth)));
    dragX_ = x;
    if (seconds != 0) {
        Pan(seconds);
        emit ViewMoved();
    }
}

// --- the window

TGraphForm::TGraphForm(Sim& sim, QWidget* parent)
    : QDialog(parent), sim_(sim), specs_(area::TimeDistanceLines()) {
    setWindowTitle("Time-Distance Graph");
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto* lineLabel = new QLabel("&Line:");
    bar->addWidget(lineLabel);
    lines_ = new QComboBox;
    lineLabel->setBuddy(lines_);
    for (const GraphLineSpec& s : specs_) lines_->addItem(QString::fromStdString(s.Title));
    bar->addWidget(lines_, 1);
    follow_ = new QCheckBox("&Follow the clock");
    follow_->setChecked(true);
    bar->addWidget(follow_);
    auto* save = new QPushButton("&Save as PNG...");
    bar->addWidget(save);
    auto* ok = new QPushButton("&Ok");
    bar->addWidget(ok);
    layout->addLayout(bar);
    view_ = new TTimeDistanceView;
    layout->addWidget(view_, 1);
    layout->addWidget(new QLabel("Drag to move in time, turn the wheel to zoom."));
    resize(1100, 640);

    connect(lines_, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
    connect(follow_, &QCheckBox::toggled, this, [this] { Refresh(); });
    connect(view_, &TTimeDistanceView::ViewMoved, this, [this] { follow_->setChecked(false); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, "Save As",
            QString::fromStdString(
                "graph-" +
                specs_[static_cast<std::size_t>(std::max(0, lines_->currentIndex()))].Name +
                ".png"),
            "PNG pictures (*.png)");
        if (path.isEmpty()) return;
        std::string error;
        if (!SaveAs(path.toStdString(), error))
            QMessageBox::critical(this, "Error", QString::fromStdString(error));
    });
    refresh_.setInterval(2000);
    connect(&refresh_, &QTimer::timeout, this, [this] { Refresh(); });
    refresh_.start();
    Refresh();
}

void TGraphForm::Refresh() {
    const int index = std::max(0, lines_->currentIndex());
    if (static_cast<std::size_t>(index) >= specs_.size()) return;
    view_->SetGraph(BuildTimeDistanceGraph(sim_, specs_[static_cast<std::size_t>(index)]));
    if (follow_->isChecked()) {
        const std::int32_t now = std::max(sim_.SimTime, view_->Graph().LastTime);
        const std::int32_t from = std::max(view_->Graph().FirstTime, now - kFollowSpan);
        view_->SetRange(from - 60, now + kFollowAhead);
    }
}

bool TGraphForm::SaveAs(const std::string& path, std::string& error) {
    return SaveTimeDistancePng(view_->Graph(), path, error);
}

}  // namespace kestra::app
