#pragma once
// The time-distance graph painted with Qt: time across, the line's places down the
// side, each train's booked running dashed and its actual running solid, coloured by
// its lateness. The view pans (drag) and zooms (wheel) in time; the window follows the
// running game and saves the picture as PNG.

#include <QDialog>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <string>
#include <vector>

#include "assess/time_distance.h"

class QComboBox;
class QCheckBox;

namespace kestra {
class Sim;
}

namespace kestra::app {

// Paints the graph into the rectangle, showing the times from..to (seconds).
void PaintTimeDistance(QPainter& painter, const QRect& area, const TimeDistanceGraph& graph,
                       std::int32_t from, std::int32_t to);
// The whole graph as a picture of the given size.
QImage RenderTimeDistance(const TimeDistanceGraph& graph, const QSize& size);
// Writes the whole graph as a PNG file; false with error set when it cannot.
bool SaveTimeDistancePng(const TimeDistanceGraph& graph, const std::string& path,
                         std::string& error);

// The painting widget: a graph and the times it shows.
class TTimeDistanceView : public QWidget {
    Q_OBJECT
  public:
    explicit TTimeDistanceView(QWidget* parent = nullptr);
    void SetGraph(TimeDistanceGraph graph);
    const TimeDistanceGraph& Graph() const { return graph_; }
    // The times shown.
    void SetRange(std::int32_t from, std::int32_t to);
    std::int32_t From() const { return from_; }
    std::int32_t To() const { return to_; }
    // Zooms by the factor (below 1: in) about the time at the given x.
    void ZoomAbout(double factor, int x);
    // Moves the shown times by seconds.
    void Pan(std::int32_t seconds);

  signals:
    // The player moved or zoomed the view by hand.
    void ViewMoved();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    TimeDistanceGraph graph_;
    std::int32_t from_ = 0;
    std::int32_t to_ = 3600;
    int dragX_ = 0;
};

// The "Time-Distance Graph" window: a line chooser, the view, a follow switch and
// "Save as PNG...". It rebuilds its graph from the simulation every two seconds.
class TGraphForm : public QDialog {
    Q_OBJECT
  public:
    TGraphForm(Sim& sim, QWidget* parent = nullptr);
    // Builds the chosen line's graph again from the simulation; when following, shows
    // the last hours up to the clock.
    void Refresh();
    TTimeDistanceView& View() { return *view_; }
    QComboBox& LineChooser() { return *lines_; }
    QCheckBox& Follow() { return *follow_; }
    // Saves the chosen line's whole graph; false with error set when it cannot.
    bool SaveAs(const std::string& path, std::string& error);

  private:
    Sim& sim_;
    std::vector<GraphLineSpec> specs_;
    QComboBox* lines_ = nullptr;
    QCheckBox* follow_ = nullptr;
    TTimeDistanceView* view_ = nullptr;
    QTimer refresh_;
};

}  // namespace kestra::app
