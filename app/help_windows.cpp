#include "help_windows.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <algorithm>

#include "display/palette.h"
#include "panel_font.h"
#include "qt_surface.h"

namespace kestra::app {

namespace {

constexpr std::uint8_t kPost = 0x80;       // signal post, lamps to the right
constexpr std::uint8_t kMarker = 0x8D;     // marker pointing right
constexpr std::uint8_t kPhoneLeft = 0xA6;  // the telephone symbol's two halves
constexpr std::uint8_t kPhoneRight = 0xA7;
constexpr std::uint8_t kPlatform = 0x9A;
constexpr std::uint8_t kBuffer = 0x96;

LegendCell C(char code, Colour fg, Colour bg = ClBlack) {
    return {static_cast<std::uint8_t>(code), fg, bg};
}
LegendCell C(std::uint8_t code, Colour fg, Colour bg = ClBlack) {
    return {code, fg, bg};
}
// A run of text cells in one colour pair.
std::vector<LegendCell> Text(const char* s, Colour fg, Colour bg = ClBlack) {
    std::vector<LegendCell> v;
    for (int i = 0; s[i] != '\0'; ++i) v.push_back(C(s[i], fg, bg));
    return v;
}
LegendRow Heading(const char* text) {
    return {{}, text, true};
}

std::vector<LegendRow> BuildLegend() {
    const Colour g = ClGrey, w = ClWhite, k = ClBlack;
    std::vector<LegendRow> v;
    v.push_back(Heading("Signals"));
    v.push_back({{C(kPost, g), C('q', ClRed)}, "Signal at danger (red)"});
    v.push_back({{C(kPost, w), C('q', ClYellow)},
                 "Single yellow: the route ahead is set; the post is white while a route is set "
                 "from the signal"});
    v.push_back(
        {{C(kPost, w), C('q', ClYellow), C('q', ClYellow)}, "Double yellow (preliminary caution)"});
    v.push_back({{C(kPost, w), C('q', ClGreen)}, "Green (clear)"});
    v.push_back({{C(kPost, g), C('q', ClRed)},
                 "Red lamp flashing: the route was cancelled with a train approaching; it stays "
                 "locked until the approach-locking time has run"});
    v.push_back({{C(kPost, g), C('p', g)}, "Lamp ring, not lit: the lamp is not proved (failed)"});
    v.push_back({{C(kPost, g), C('r', w), C('q', ClRed)},
                 "Position-light (shunt) lamps, white when a shunt or call-on route is set"});
    v.push_back({{C(kMarker, g), C(' ', g)},
                 "Stop marker: the end of a route at buffer stops or a fringe; also an exit"});
    v.push_back(Heading("Selecting routes"));
    v.push_back(
        {{C('a', g), C('a', k, w), C('a', g)},
         "The selected entrance: a white cell on the track in front of the signal, flashing with a "
         "gap. Click an exit signal next, or the entrance again to drop it"});
    v.push_back(
        {{C('a', w), C('a', w), C('a', w)}, "Track locked for a route or an overlap (white)"});
    v.push_back({{C('a', g), C('a', g), C('a', g)}, "Track clear and free (grey)"});
    v.push_back({{C('a', ClRed), C('a', ClRed), C('a', ClRed)}, "Track occupied by a train (red)"});
    v.push_back({{C('a', g), C(kBuffer, g)}, "Buffer stops"});
    v.push_back({{C(kPlatform, ClViolet), C(kPlatform, ClViolet), C('2', w, ClViolet)},
                 "Platform (numbered)"});
    v.push_back(Heading("Buttons beside signals"));
    v.push_back({{C('p', ClSkyBlue), C('A', ClSkyBlue)},
                 "Auto button, off. Left click: the signal's route re-clears for every train "
                 "(automatic working)"});
    v.push_back({{C('q', ClSkyBlue), C('A', ClSkyBlue)},
                 "Auto button, on (lit). Right click switches it off"});
    v.push_back({{C('q', ClRed), C('E', ClRed)},
                 "Emergency replacement of an automatic signal, lit while it works. Left click "
                 "puts the signal to red, right click restores it"});
    v.push_back({{C(kMarker, ClYellow)},
                 "Warner button: click it (instead of the signal) as the exit of a warner route"});
    v.push_back(Heading("Reminders and isolation (REM and ISO buttons)"));
    v.push_back(
        {{C(kPost, g, ClCyan), C('q', ClRed, ClCyan)},
         "Cyan collar: general reminder on the signal or button; no route can be set from it"});
    v.push_back(
        {{C(kPost, g, ClPink), C('q', ClRed, ClPink)}, "Pink collar: traction isolation reminder"});
    v.push_back({{C(kPost, g, ClPink), C('q', ClRed, ClCyan)}, "Both reminders"});
    v.push_back({{C('a', g, ClPink), C('a', g, ClCyan), C('a', g, ClPink)},
                 "Track on a cyan, pink or chequered background: the section is blocked or "
                 "isolated (an engineering possession, say); no route passes over it"});
    v.push_back(Heading("Points"));
    v.push_back({{C('a', g), C('e', g), C('a', g)},
                 "Points, position not shown (shown while locked in a route, or always with \"Show "
                 "point positions\" in the Options)"});
    v.push_back({{C('a', w), C('a', w), C('a', w)}, "Points lying normal in a route"});
    v.push_back({{C('a', w), C('i', w)}, "Points lying reverse in a route"});
    v.push_back({{C('a', g), C('e', g), C('a', g)},
                 "Points glyph flashing: the points are moving, or not detected"});
    v.push_back({{C('a', g), C('e', g, ClYellow), C('a', g)},
                 "Yellow block: points keyed by the signaller (left click keys normal, right click "
                 "reverse; the same click again takes the key off). It flashes while the points "
                 "move to the keyed position"});
    v.push_back({{C(']', ClYellow), C('N', g), C('[', ClYellow)},
                 "Keyed normal (N) or reverse (R) beside the points' number; yellow brackets: "
                 "reminder on the points"});
    v.push_back(Heading("Train descriptions"));
    v.push_back({Text("2D01", ClPink),
                 "A description set by hand or by a train entering, ARS not working it (pink)"});
    v.push_back({Text("2D01", ClCyan),
                 "ARS is setting routes for this train (cyan); also a description that has just "
                 "stepped on"});
    v.push_back(
        {Text("2D01", ClOrange), "ARS is running the train to a special timing pattern (orange)"});
    v.push_back({Text("2D01", k, w),
                 "Timekeeping colours (train describer mode \"Delay\" in the Options): black on white on time"});
    v.push_back({Text("2D01", w, ClGreen), "Early (white on green)"});
    v.push_back({Text("2D01", k, ClYellow), "Late (black on yellow)"});
    v.push_back({Text("2D01", w, ClRed), "Very late (white on red)"});
    v.push_back({Text("2D01", k, g), "Not worked by ARS (black on grey)"});
    v.push_back({Text("aaaa", g), "An empty berth shows its track"});
    v.push_back(Heading("ARS sub-areas"));
    v.push_back({{C('S', ClPink), C('q', ClPink)},
                 "ARS on: routes in this sub-area are set for ARS trains (left click)"});
    v.push_back({{C('S', g), C('p', g)}, "ARS off: you set the routes (right click)"});
    v.push_back({{C('S', ClPink), C('q', ClPink)},
                 "Flashing, with its name: you cancelled a route in the sub-area, so ARS is out "
                 "of effect there until you click it on again"});
    v.push_back({{C(']', ClYellow), C('S', g), C('p', g), C('[', ClYellow)},
                 "Yellow collar: ARS cannot be switched on (REM, then a left click puts it on; "
                 "REM, then a right click takes it off)"});
    v.push_back(Heading("Status line (bottom left)"));
    v.push_back({Text("07:42 ", k, ClSilver), "The clock; \"PAUSED\" while paused (P)"});
    v.push_back({Text("097%", k, ClSilver),
                 "The score: the share of the points available so far that you have kept"});
    v.push_back({{C(kPhoneLeft, ClSilver), C(kPhoneRight, ClSilver)},
                 "Telephone: grey when quiet, flashing while a driver calls, white while a call "
                 "waits for its answer"});
    v.push_back({Text("INTERPOSE TD", k, w),
                 "The mode banner: REM.OVERRIDE, REMINDER, ISOLATION, INTERPOSE TD or CANCEL TD "
                 "while the next click has a special meaning"});
    return v;
}

const char* kKeysHtml = R"(
<h3>Keys</h3>
<table border="1" cellpadding="4" cellspacing="0">
<tr><th>Key</th><th>What it does</th></tr>
<tr><td>P</td><td>Pause and resume the game</td></tr>
<tr><td>1, 2</td><td>Show screen 1 (Ostwick and Vellmoor Central) or screen 2 (Skelbrook Junction, the Tarrow branch, Harnforth)</td></tr>
<tr><td>0</td><td>The overview: all screens in miniature and the message history</td></tr>
<tr><td>F3</td><td>Options (speed, what the panel shows, how right clicks work, messages)</td></tr>
<tr><td>Ctrl+I</td><td>Interpose a train description: type it, then click the signal in front of the berth (or the berth)</td></tr>
<tr><td>Shift+Esc</td><td>Close the program</td></tr>
</table>
<h3>Mouse</h3>
<table border="1" cellpadding="4" cellspacing="0">
<tr><th>Where</th><th>Left button</th><th>Right button</th></tr>
<tr><td>Signal</td><td>First click: the signal becomes the <b>entrance</b> (a white cell flashes on the
track in front of it). Second click on another signal: the route from the entrance to it is set.
A click on the entrance again drops it</td><td>Cancel the route from this signal (with
"Right-click cancels route", on by default); otherwise the signal's menu</td></tr>
<tr><td>"A" auto button</td><td>Automatic working on (the route re-clears for every train)</td><td>Automatic working off</td></tr>
<tr><td>"E" emergency button</td><td>Replace the automatic signal to red</td><td>Restore it</td></tr>
<tr><td>Yellow warner marker</td><td>Exit of a warner route</td><td></td></tr>
<tr><td>Points</td><td>Key normal (yellow block); again: key off</td><td>Key reverse; again: key off</td></tr>
<tr><td>Train description</td><td>What the Options choose ("Clicking on a  train description
shows...", ARS page): the ARS timetable summary, the routesetting status or the ARS information
window</td><td>The description's menu: Interpose, Cancel and the ARS commands (Make Train ARS or
Non-ARS, its status and timetable, Popup ARS Information, a special timing pattern)</td></tr>
<tr><td>ARS sub-area ("S" and its lamp)</td><td>ARS on ("Subarea is collared" while
collared)</td><td>ARS off</td></tr>
<tr><td>MNU</td><td colspan="2">The main menu (File, Timetable, Train Describer, Signalling, Multiplayer, Help)</td></tr>
<tr><td>ROV</td><td colspan="2">Override reminders for the next route (20 seconds)</td></tr>
<tr><td>REM, ISO</td><td colspan="2">The next click on a signal or button applies (left) or removes (right) a general (REM) or traction (ISO) reminder collar; REM on an ARS sub-area puts its collar on (left) or takes it off (right)</td></tr>
<tr><td>MSG, VW1, VW2</td><td colspan="2">Show the overview or a screen; on the overview a click on a miniature shows that screen; the wheel changes screens</td></tr>
<tr><td>Score, telephone</td><td colspan="2">Performance analysis and the telephone (status line)</td></tr>
</table>
)";

const char* kFirstGameHtml = R"(
<p>Start a game with <b>New Game</b> in the start-up dialog: the scenario <b>Beginner</b>,
then the timetable <b>beginner</b> at 07:00. The game opens on screen 1. You are the
signaller: trains only move when you set routes for them, by clicking an <b>entrance</b>
signal and then an <b>exit</b> signal. The clock runs from the start: press <b>P</b> to
pause while you read, and again to play.</p>
<ol>
<li><b>07:00, the first train.</b> Train 2D01 enters at the left edge of screen 1 ("TO
CORRANBY"), on the upper line. Its description <b>2D01</b> appears in pink on the track in front
of signal <b>1</b>. Stopping trains call at Ostwick, then Vellmoor Central, then run on to
Harnforth on screen 2.</li>
<li><b>Into Ostwick.</b> Click signal 1's head (the red lamp): a white cell flashes on the
track just beyond it: 1 is the entrance. Click signal <b>3</b> (at the end of Ostwick platform
1): the track from 1 to 3 and a short overlap beyond 3 turn white and 1 shows a proceed aspect.
If you clicked the wrong signal, the message line says which signal is now the entrance; click
it again to drop it.</li>
<li><b>Out of Ostwick.</b> Click 3, then <b>101</b>; then 101, then <b>11</b>. The train
stops at Ostwick platform 1, waits for its time and goes on; its description steps along with
it. Behind the train the track turns grey again section by section.</li>
<li><b>Into Vellmoor Central.</b> Click 11, then <b>15</b> (the end of Central platform
2): the crossovers in front of 11 move (flashing while they move) and 11 clears once they lie
right. 2D01 runs into Central platform 2 and stops. That is your first train routed into
Vellmoor Central.</li>
<li><b>Onwards.</b> Click 15, then <b>103</b> (far right of screen 1). Press <b>2</b> for
screen 2 and carry on to Harnforth. Trains from the east (2U01 at 07:07) come the other way
along the lower line.</li>
</ol>
<p><b>Good to know.</b> A route is refused with a reason on the message line (bottom right).
Right-click an entrance to cancel its route; with a train approaching the route stays locked
for a while and the red lamp flashes. The auto button "A" keeps a plain-line route set for
every train. Goods trains may enter up to five minutes before their booked time, passenger
trains up to half a minute. <b>P</b> pauses; <b>F3</b> sets the speed (the slider's left end
is real time).</p>
)";

}  // namespace

const std::vector<LegendRow>& PanelLegendRows() {
    static const std::vector<LegendRow> rows = BuildLegend();
    return rows;
}

QImage RenderLegendSample(const std::vector<LegendCell>& cells, int zoom) {
    const font::Face& face = font::Normal;
    const int n = static_cast<int>(cells.size());
    QImage img(std::max(1, n) * face.Width * zoom, face.Height * zoom, QImage::Format_RGB32);
    img.fill(Qt::black);
    for (int i = 0; i < n; ++i) {
        const LegendCell& cell = cells[static_cast<std::size_t>(i)];
        const QRgb ink = ToQColor(cell.Fg).rgb(), paper = ToQColor(cell.Bg).rgb();
        for (int y = 0; y < face.Height; ++y)
            for (int x = 0; x < face.Width; ++x) {
                const QRgb c = face.Ink(cell.Code, x, y) ? ink : paper;
                for (int dy = 0; dy < zoom; ++dy)
                    for (int dx = 0; dx < zoom; ++dx)
                        img.setPixel((i * face.Width + x) * zoom + dx, y * zoom + dy, c);
            }
    }
    return img;
}

QString HelpTitle(HelpPage page) {
    switch (page) {
        case HelpPage::KeysAndMouse:
            return "Keys and mouse";
        case HelpPage::PanelLegend:
            return "Panel legend";
        case HelpPage::FirstGame:
            return "First game";
    }
    return {};
}

QString HelpText(HelpPage page) {
    switch (page) {
        case HelpPage::KeysAndMouse:
            return kKeysHtml;
        case HelpPage::FirstGame:
            return kFirstGameHtml;
        case HelpPage::PanelLegend: {
            QString all;
            for (const LegendRow& r : PanelLegendRows()) all += r.Meaning + "\n";
            return all;
        }
    }
    return {};
}

THelpWindow::THelpWindow(HelpPage page, QWidget* parent) : QDialog(parent), page_(page) {
    setWindowTitle(HelpTitle(page));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    if (page == HelpPage::PanelLegend) {
        auto* inner = new QWidget;
        auto* grid = new QGridLayout(inner);
        int row = 0;
        for (const LegendRow& r : PanelLegendRows()) {
            auto* meaning = new QLabel(r.Meaning);
            meaning->setWordWrap(true);
            if (r.Heading) {
                meaning->setText("<b>" + r.Meaning.toHtmlEscaped() + "</b>");
                grid->addWidget(meaning, row++, 0, 1, 2);
                continue;
            }
            auto* sample = new QLabel;
            sample->setObjectName("legendSample");
            sample->setPixmap(QPixmap::fromImage(RenderLegendSample(r.Cells, 2)));
            sample->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            grid->addWidget(sample, row, 0);
            grid->addWidget(meaning, row++, 1);
        }
        grid->setColumnStretch(1, 1);
        auto* scroll = new QScrollArea;
        scroll->setWidget(inner);
        scroll->setWidgetResizable(true);
        layout->addWidget(scroll);
        resize(720, 640);
    } else {
        auto* text = new QTextBrowser;
        text->setHtml(HelpText(page));
        layout->addWidget(text);
        resize(720, page == HelpPage::KeysAndMouse ? 620 : 560);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
}

}  // namespace kestra::app
