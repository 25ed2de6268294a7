#pragma once
// The Help menu's windows: the keys and the mouse, the panel legend (every glyph and
// colour of the panel drawn with the panel's own font beside its meaning) and the
// walkthrough of a first game.

#include <QDialog>
#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

#include "core/ports.h"

namespace kestra::app {

enum class HelpPage { KeysAndMouse, PanelLegend, FirstGame };

// One cell of a legend sample: a glyph of the panel font in its colours.
struct LegendCell {
    std::uint8_t Code;
    Colour Fg;
    Colour Bg;
};

// One row of the legend: a heading (no cells, no sample) or a sample and its meaning.
struct LegendRow {
    std::vector<LegendCell> Cells;
    QString Meaning;
    bool Heading = false;
};

// Every row of the panel legend, in the order the window shows them.
const std::vector<LegendRow>& PanelLegendRows();
// A legend sample drawn with the panel's 8 x 16 font, each pixel zoom x zoom.
QImage RenderLegendSample(const std::vector<LegendCell>& cells, int zoom);
// The windows' captions and texts (rich text for the keys and the walkthrough).
QString HelpTitle(HelpPage page);
QString HelpText(HelpPage page);

// A help window; not modal, so the game can be watched while reading.
class THelpWindow : public QDialog {
    Q_OBJECT
  public:
    THelpWindow(HelpPage page, QWidget* parent);
    HelpPage Page() const { return page_; }

  private:
    HelpPage page_;
};

}  // namespace kestra::app
