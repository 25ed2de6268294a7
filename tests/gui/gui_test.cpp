// The Qt front end under the offscreen platform: the panel image, the main window's
// scaling, keys, mouse and wheel, the Options dialog, and the screenshot.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QWheelEvent>
#include <optional>
#include <ostream>

#include "sim/sim.h"
#include "display_form.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "help_windows.h"
#include "options_form.h"
#include "display/palette.h"
#include "panel_font.h"
#include "qt_surface.h"
#include "screenshot.h"

namespace kestra::app {
namespace {

QRgb Rgb(Colour c) {
    return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

TEST(QtSurfaceTest, GlyphPixelsComeFromTheFont) {
    QtPanelSurface s;
    s.TakeDirty();
    s.PutGlyph(16, 32, 'q', ClRed, ClCyan, PanelFont::Normal);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x) {
            const QRgb want = font::Normal.Ink('q', x, y) ? Rgb(ClRed) : Rgb(ClCyan);
            ASSERT_EQ(s.Image().pixel(16 + x, 32 + y), want) << x << "," << y;
        }
    EXPECT_EQ(s.Image().pixel(15, 32), qRgb(0, 0, 0));
    EXPECT_EQ(s.TakeDirty(), QRect(16, 32, 8, 16));
    EXPECT_TRUE(s.TakeDirty().isEmpty());
}

TEST(QtSurfaceTest, SmallGlyphsAndClipping) {
    QtPanelSurface s;
    s.PutGlyph(100, 100, 'a', ClWhite, ClBlack, PanelFont::Small);
    EXPECT_EQ(s.Image().pixel(100, 101), Rgb(ClWhite));
    EXPECT_EQ(s.Image().pixel(101, 101), Rgb(ClWhite));
    EXPECT_EQ(s.Image().pixel(100, 100), Rgb(ClBlack));
    s.TakeDirty();
    s.PutGlyph(1020, 760, 'a', ClWhite, ClGrey, PanelFont::Normal);  // half outside
    EXPECT_EQ(s.TakeDirty(), QRect(1020, 760, 4, 8));
    s.PutGlyph(-8, -16, 'a', ClWhite, ClGrey, PanelFont::Normal);  // wholly outside
    EXPECT_TRUE(s.TakeDirty().isEmpty());
}

TEST(QtSurfaceTest, CodeWithoutGlyphShowsAHollowBox) {
    QtPanelSurface s;
    s.PutGlyph(0, 0, 205, ClWhite, ClBlack, PanelFont::Normal);
    EXPECT_EQ(s.Image().pixel(1, 2), Rgb(ClWhite));
    EXPECT_EQ(s.Image().pixel(3, 7), Rgb(ClBlack));
}

TEST(DisplayFormTest, PanelIsScaledByTheLargestWholeFactorAndCentred) {
    struct Case {
        int w, h;
        QRect panel;
    };
    const Case cases[] = {
        {1024, 768, QRect(0, 0, 1024, 768)},   {1920, 1080, QRect(448, 156, 1024, 768)},
        {2048, 1536, QRect(0, 0, 2048, 1536)}, {3840, 2160, QRect(896, 312, 2048, 1536)},
        {3072, 2304, QRect(0, 0, 3072, 2304)}, {800, 600, QRect(-112, -84, 1024, 768)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TDisplayForm::PanelRectFor(QSize(c.w, c.h)), c.panel) << c.w << "x" << c.h;
}

class FormTest : public ::testing::Test {
  protected:
    FormTest() {
        Ports ports;
        ports.Surface = &surface;
        ports.Settings = &settings;
        ports.Audio = &sound;
        sim = std::make_unique<Sim>(ports, 7);
        sim->SimData.ScreenCount = 2;
        form = std::make_unique<TDisplayForm>(*sim, surface);
        form->resize(2048 + 200, 1536 + 100);  // scale 2, offset (100, 50)
        sim->Display().RedrawPanel();
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent e(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(form.get(), &e);
    }
    void Press(QPoint window, Qt::MouseButton button = Qt::LeftButton) {
        QMouseEvent e(QEvent::MouseButtonPress, window, form->mapToGlobal(window), button, button,
                      Qt::NoModifier);
        QApplication::sendEvent(form.get(), &e);
    }
    void Wheel(int dy) {
        QWheelEvent e(QPointF(500, 500), QPointF(500, 500), QPoint(), QPoint(0, dy), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(form.get(), &e);
    }
    // A panel pixel as a window position at scale 2 with the offset (100, 50).
    static QPoint W(int px, int py) { return QPoint(100 + 2 * px + 1, 50 + 2 * py + 1); }
    int Screen() { return sim->Display().CurrentScreen; }
    QtPanelSurface surface;
    MemorySettings settings;
    test::RecordingSound sound;
    std::unique_ptr<Sim> sim;
    std::unique_ptr<TDisplayForm> form;
};

TEST_F(FormTest, MousePositionsMapBackToPanelPixels) {
    EXPECT_EQ(form->ToPanel(QPoint(100, 50)), QPoint(0, 0));
    EXPECT_EQ(form->ToPanel(QPoint(101, 51)), QPoint(0, 0));
    EXPECT_EQ(form->ToPanel(QPoint(102, 52)), QPoint(1, 1));
    EXPECT_EQ(form->ToPanel(QPoint(100 + 2047, 50 + 1535)), QPoint(1023, 767));
    EXPECT_EQ(form->ToPanel(QPoint(99, 49)), QPoint(-1, -1));
}

TEST_F(FormTest, DigitKeysWheelAndButtonsChangeScreen) {
    Key(Qt::Key_0);
    EXPECT_EQ(Screen(), 0);
    Key(Qt::Key_3);  // no third screen
    EXPECT_EQ(Screen(), 0);
    Key(Qt::Key_2, Qt::ControlModifier);  // digits only without modifiers
    EXPECT_EQ(Screen(), 0);
    Wheel(120);  // up on the overview: nothing
    EXPECT_EQ(Screen(), 0);
    Wheel(-120);
    EXPECT_EQ(Screen(), 1);
    Press(W(37 * 8, 46 * 16 + 4));  // the VW2 button
    EXPECT_EQ(Screen(), 2);
    Wheel(-120);  // down on the last screen: nothing
    EXPECT_EQ(Screen(), 2);
    Press(W(25 * 8 + 8, 46 * 16));  // MSG
    EXPECT_EQ(Screen(), 0);
    Press(W(300, 80));  // the VW2 miniature
    EXPECT_EQ(Screen(), 2);
}

TEST_F(FormTest, ScreenChangeRepaintsTheImage) {
    Key(Qt::Key_0);
    // Overview frame corner in silver at the top-left cell.
    EXPECT_EQ(surface.Image().pixel(0, 0), Rgb(ClBlack));
    bool silver = false;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x) silver |= surface.Image().pixel(x, y) == Rgb(ClSilver);
    EXPECT_TRUE(silver);
}

TEST_F(FormTest, PKeyPausesAndResumes) {
    Key(Qt::Key_P);
    EXPECT_TRUE(sim->IsPaused());
    Key(Qt::Key_P);
    EXPECT_FALSE(sim->IsPaused());
}

TEST_F(FormTest, F3OpensTheOptionsAndRedrawsAfterwards) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TOptionsForm*>(QApplication::activeModalWidget());
        seen = dialog != nullptr;
        if (dialog) {
            dialog->ShowTrackBreaksBox->setChecked(true);
            dialog->OkButton->click();
        }
    });
    surface.TakeDirty();
    Key(Qt::Key_F3);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(sim->Options().ShowTrackBreaks);
    EXPECT_EQ(settings.Read("ShowTrackBreaks").value_or(""), "true");
}

TEST_F(FormTest, HidingTheWindowSavesTheOptions) {
    sim->MajorCycleInterval = 100;
    form->show();
    form->hide();
    EXPECT_EQ(settings.Read("Speed").value_or(""), "100");
}

TEST_F(FormTest, MainMenuFollowsTheMenuTable) {
    std::unique_ptr<QMenu> menu(form->BuildMainMenu());
    QStringList headings;
    for (QAction* a : menu->actions()) headings << a->text();
    EXPECT_EQ(headings, (QStringList{"&File", "&Timetable", "Train &Describer", "Si&gnalling",
                                     "&Multiplayer", "&Reports", "&Help"}));
    // Every item is there with its caption; unbuilt subsystems are disabled, not hidden.
    int items = 0;
    for (QAction* sub : menu->actions()) {
        // The front end's own: Help (HelpMenuOpensItsWindows) and the reports.
        if (sub->text() == "&Help" || sub->text() == "&Reports") continue;
        for (QAction* a : sub->menu()->actions()) {
            ++items;
            bool found = false;
            for (const MenuItem& item : MainMenuItems) {
                if (a->text() == item.Caption) {
                    found = true;
                    EXPECT_EQ(a->isEnabled(), item.Available) << item.Caption;
                    EXPECT_EQ(a->isVisible(), !item.Hidden) << item.Caption;
                }
            }
            EXPECT_TRUE(found) << a->text().toStdString();
        }
    }
    EXPECT_EQ(items, 21);
    // The override item switches the mode on and shows it ticked next time.
    form->RunMenuCommand(MenuCommand::OverrideReminderMode);
    EXPECT_TRUE(sim->Operator.OverrideMode);
    EXPECT_TRUE(sim->OVRTimerRunning);
    std::unique_ptr<QMenu> again(form->BuildMainMenu());
    QAction* signalling = again->actions()[3];
    EXPECT_TRUE(signalling->menu()->actions()[0]->isChecked());
    // A disabled command does nothing even when asked for directly.
    for (const MenuItem& item : MainMenuItems) {
        if (item.Available) continue;
        form->RunMenuCommand(item.Command);
        EXPECT_TRUE(sim->Operator.OverrideMode) << item.Caption;
    }
}

TEST_F(FormTest, ClickingTwoSignalsInTheWindowSetsTheRoute) {
    test::RailwayBuilder b(*sim);
    test::PlainLine f = test::BuildPlainLine(b);
    f.S1->X = 10;
    f.S1->Y = 5;
    f.S1->EntranceX = 13;
    f.S1->EntranceY = 6;
    f.S2->X = 30;
    f.S2->Y = 5;
    sim->Options().NoSignalPopupMenu = true;
    sim->Display().RedrawPanel();
    for (int i = 0; i < 2; ++i) sim->MajorCycleTick();
    Press(W(10 * 8 + 2, 5 * 16 + 8));
    EXPECT_EQ(sim->Operator.SelectedEntrance, f.S1);
    Press(W(30 * 8 + 2, 5 * 16 + 8));
    EXPECT_TRUE(f.S1S2->RouteSet);
    for (int i = 0; i < 2; ++i) sim->MajorCycleTick();
    EXPECT_NE(f.S1->Aspect, AspDanger);
    // The lit lamp shows in the window's image, yellow beside the post.
    form->FlushPanel();
    bool yellow = false;
    for (int y = 5 * 16; y < 6 * 16; ++y)
        for (int x = 11 * 8; x < 12 * 8; ++x)
            yellow |= surface.Image().pixel(x, y) == Rgb(ClYellow);
    EXPECT_TRUE(yellow);
    Press(W(10 * 8 + 2, 5 * 16 + 8), Qt::RightButton);  // right click cancels
    for (int i = 0; i < 3; ++i) sim->MajorCycleTick();
    EXPECT_FALSE(f.S1S2->RouteSet);
}

// The Help menu comes last with its three windows; each opens beside the panel without
// stopping the game, and says what it is for.
TEST_F(FormTest, HelpMenuOpensItsWindows) {
    std::unique_ptr<QMenu> menu(form->BuildMainMenu());
    ASSERT_FALSE(menu->actions().isEmpty());
    QAction* help = menu->actions().last();
    ASSERT_EQ(help->text(), "&Help");
    const QList<QAction*> items = help->menu()->actions();
    ASSERT_EQ(items.size(), 3);
    const struct {
        const char* caption;
        const char* title;
        const char* mentions;
    } want[] = {{"&Keys and mouse", "Keys and mouse", "Shift+Esc"},
                {"&Panel legend", "Panel legend", "entrance"},
                {"&First game", "First game", "2D01"}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(want[i].caption);
        EXPECT_EQ(items[i]->text(), want[i].caption);
        items[i]->trigger();
        THelpWindow* window = nullptr;
        for (THelpWindow* w : form->findChildren<THelpWindow*>())
            if (w->windowTitle() == want[i].title) window = w;
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_FALSE(window->isModal());
        QString text;
        for (QTextBrowser* b : window->findChildren<QTextBrowser*>()) text += b->toPlainText();
        for (QLabel* l : window->findChildren<QLabel*>()) text += l->text();
        EXPECT_TRUE(text.contains(want[i].mentions)) << text.left(200).toStdString();
        window->close();
    }
    // The game runs on while help is open.
    THelpWindow* legend = form->ShowHelp(HelpPage::PanelLegend);
    const std::int32_t before = sim->SimTime;
    for (int i = 0; i < 4; ++i) sim->MajorCycleTick();
    EXPECT_GT(sim->SimTime, before);
    EXPECT_FALSE(legend->findChildren<QLabel*>("legendSample").isEmpty());
    legend->close();
}

// Not a test: writes the pictures of the three Help windows for the documentation,
// into the folder named by KESTRA_HELP_PICTURES (docs/screens/README.md).
TEST_F(FormTest, DISABLED_WriteHelpPictures) {
    const QString folder = qEnvironmentVariable("KESTRA_HELP_PICTURES");
    ASSERT_FALSE(folder.isEmpty()) << "set KESTRA_HELP_PICTURES to the output folder";
    const std::pair<HelpPage, const char*> pages[] = {{HelpPage::KeysAndMouse, "help-keys.png"},
                                                      {HelpPage::PanelLegend, "help-legend.png"},
                                                      {HelpPage::FirstGame, "help-first-game.png"}};
    for (const auto& [page, name] : pages) {
        THelpWindow* w = form->ShowHelp(page);
        if (page == HelpPage::PanelLegend) w->resize(780, 2080);  // every row in one picture
        QApplication::processEvents();
        EXPECT_TRUE(w->grab().save(folder + "/" + name)) << name;
        w->close();
    }
}

// The legend's samples are the panel's own glyphs, and the one for the entrance marker
// is exactly the cell the panel draws for a selected entrance in its lit phase.
TEST_F(FormTest, PanelLegendDrawsThePanelsGlyphs) {
    int samples = 0;
    const LegendRow* entrance = nullptr;
    QString all;
    for (const LegendRow& r : PanelLegendRows()) {
        all += r.Meaning + "\n";
        if (r.Heading) continue;
        ++samples;
        ASSERT_FALSE(r.Cells.empty()) << r.Meaning.toStdString();
        for (const LegendCell& c : r.Cells)
            EXPECT_TRUE(font::Normal.HasGlyph(c.Code))
                << int{c.Code} << " " << r.Meaning.toStdString();
        if (r.Meaning.startsWith("The selected entrance")) entrance = &r;
        // Pixel by pixel: ink in the cell's foreground, the rest its background.
        const QImage img = RenderLegendSample(r.Cells, 1);
        ASSERT_EQ(img.width(), static_cast<int>(r.Cells.size()) * 8);
        const LegendCell& c0 = r.Cells[0];
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(img.pixel(x, y),
                          font::Normal.Ink(c0.Code, x, y) ? Rgb(c0.Fg) : Rgb(c0.Bg));
    }
    EXPECT_GT(samples, 30);
    for (const char* topic : {"danger", "entrance", "Auto button", "Emergency", "Warner", "collar",
                              "isolated", "keyed", "Timekeeping", "score", "Telephone"})
        EXPECT_TRUE(all.contains(topic)) << topic;
    ASSERT_NE(entrance, nullptr);
    ASSERT_EQ(entrance->Cells.size(), 3u);
    // The panel's own drawing of a selected entrance.
    test::RailwayBuilder b(*sim);
    test::PlainLine f = test::BuildPlainLine(b);
    f.S1->X = 10;
    f.S1->Y = 5;
    f.S1->EntranceX = 13;
    f.S1->EntranceY = 6;
    f.S1->FirstCircuitAhead = f.T1;
    sim->Operator.SelectedEntrance = f.S1;
    sim->FlashPhase = true;
    f.S1->Draw();
    const QImage sample = RenderLegendSample({entrance->Cells[1]}, 1);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(surface.Image().pixel(13 * 8 + x, 6 * 16 + y), sample.pixel(x, y))
                << x << "," << y;
}

// The middle (wheel) button is not a click: with the default option a right click on
// an entrance cancels its route, a middle press leaves it set.
TEST_F(FormTest, MiddleButtonDoesNothing) {
    test::RailwayBuilder b(*sim);
    test::PlainLine f = test::BuildPlainLine(b);
    f.S1->X = 10;
    f.S1->Y = 5;
    f.S1->EntranceX = 13;
    f.S1->EntranceY = 6;
    f.S2->X = 30;
    f.S2->Y = 5;
    sim->Options().NoSignalPopupMenu = true;
    sim->Display().RedrawPanel();
    Press(W(10 * 8 + 2, 5 * 16 + 8));
    Press(W(30 * 8 + 2, 5 * 16 + 8));
    ASSERT_TRUE(f.S1S2->RouteSet);
    Press(W(10 * 8 + 2, 5 * 16 + 8), Qt::MiddleButton);
    for (int i = 0; i < 3; ++i) sim->MajorCycleTick();
    EXPECT_TRUE(f.S1S2->RouteSet);
    Press(W(37 * 8, 46 * 16 + 4), Qt::MiddleButton);  // the VW2 button
    EXPECT_EQ(Screen(), 1);
    Press(W(10 * 8 + 2, 5 * 16 + 8), Qt::RightButton);
    for (int i = 0; i < 3; ++i) sim->MajorCycleTick();
    EXPECT_FALSE(f.S1S2->RouteSet);
}

TEST(DisplayFormButtonTest, OnlyLeftAndRightAreClicks) {
    EXPECT_EQ(TDisplayForm::PanelButton(Qt::LeftButton), MouseButton::Left);
    EXPECT_EQ(TDisplayForm::PanelButton(Qt::RightButton), MouseButton::Right);
    for (Qt::MouseButton other :
         {Qt::MiddleButton, Qt::BackButton, Qt::ForwardButton, Qt::ExtraButton4, Qt::NoButton})
        EXPECT_EQ(TDisplayForm::PanelButton(other), MouseButton::Other) << other;
}

// A touchpad or a high-resolution wheel reports a notch in small parts.
TEST_F(FormTest, FineWheelMovementStepsOneScreenPerNotch) {
    for (int i = 0; i < 7; ++i) Wheel(-15);
    EXPECT_EQ(Screen(), 1);
    Wheel(-15);  // the eighth part completes the notch
    EXPECT_EQ(Screen(), 2);
    for (int i = 0; i < 8; ++i) Wheel(15);
    EXPECT_EQ(Screen(), 1);
    Wheel(119);
    EXPECT_EQ(Screen(), 1);
}

TEST_F(FormTest, PauseKeyOnlyWithoutModifiers) {
    for (Qt::KeyboardModifiers mods :
         {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::KeyboardModifiers(Qt::ShiftModifier),
          Qt::KeyboardModifiers(Qt::AltModifier)}) {
        Key(Qt::Key_P, mods);
        EXPECT_FALSE(sim->IsPaused()) << mods.toInt();
    }
    Key(Qt::Key_P);
    EXPECT_TRUE(sim->IsPaused());
}

TEST_F(FormTest, ShiftEscapeClosesTheWindowButEscapeAloneDoesNot) {
    form->show();
    Key(Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    Key(Qt::Key_Escape, Qt::ControlModifier);
    EXPECT_TRUE(form->isVisible());
    Key(Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(sim->IsPaused()) << "closing pauses the simulation";
}

// What each key with each set of modifiers means to the panel.
struct KeyCase {
    const char* Name;
    int Key;
    Qt::KeyboardModifiers Modifiers;
    std::optional<TDisplayForm::PanelKeyPress> Expected;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.Name;
}

class PanelKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(PanelKeyTest, MapsToThePanelsKey) {
    const KeyCase& c = GetParam();
    const auto got = TDisplayForm::PanelKeyFor(c.Key, c.Modifiers);
    ASSERT_EQ(got.has_value(), c.Expected.has_value());
    if (got) {
        EXPECT_EQ(got->Key, c.Expected->Key);
        EXPECT_EQ(got->Digit, c.Expected->Digit);
    }
}

using KP = TDisplayForm::PanelKeyPress;
const Qt::KeyboardModifiers kNone = Qt::NoModifier;
const Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
const Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
const Qt::KeyboardModifiers kAlt = Qt::AltModifier;
const Qt::KeyboardModifiers kKeypad = Qt::KeypadModifier;

const KeyCase kKeyCases[] = {
    {"Digit0", Qt::Key_0, kNone, KP{PanelKey::Digit, 0}},
    {"Digit7", Qt::Key_7, kNone, KP{PanelKey::Digit, 7}},
    {"KeypadDigit2", Qt::Key_2, kKeypad, KP{PanelKey::Digit, 2}},
    {"CtrlDigit", Qt::Key_2, kCtrl, std::nullopt},
    {"ShiftDigit", Qt::Key_2, kShift, std::nullopt},
    {"AltDigit", Qt::Key_2, kAlt, std::nullopt},
    {"F1", Qt::Key_F1, kNone, KP{PanelKey::F1}},
    {"F2", Qt::Key_F2, kNone, KP{PanelKey::F2}},
    {"F3", Qt::Key_F3, kNone, KP{PanelKey::F3}},
    {"F4", Qt::Key_F4, kNone, KP{PanelKey::F4}},
    {"F5", Qt::Key_F5, kNone, KP{PanelKey::F5}},
    {"F6", Qt::Key_F6, kNone, KP{PanelKey::F6}},
    {"F7", Qt::Key_F7, kNone, KP{PanelKey::F7}},
    {"F10", Qt::Key_F10, kNone, KP{PanelKey::F10}},
    {"F11", Qt::Key_F11, kNone, KP{PanelKey::F11}},
    {"F8IsNotAPanelKey", Qt::Key_F8, kNone, std::nullopt},
    {"ShiftF2", Qt::Key_F2, kShift, std::nullopt},
    {"CtrlF3", Qt::Key_F3, kCtrl, std::nullopt},
    {"AltF4", Qt::Key_F4, kAlt, std::nullopt},
    {"P", Qt::Key_P, kNone, KP{PanelKey::P}},
    {"CtrlP", Qt::Key_P, kCtrl, std::nullopt},
    {"ShiftP", Qt::Key_P, kShift, std::nullopt},
    {"AltP", Qt::Key_P, kAlt, std::nullopt},
    {"CtrlS", Qt::Key_S, kCtrl, KP{PanelKey::CtrlS}},
    {"S", Qt::Key_S, kNone, std::nullopt},
    {"CtrlShiftS", Qt::Key_S, kCtrl | kShift, std::nullopt},
    {"CtrlAltS", Qt::Key_S, kCtrl | kAlt, std::nullopt},
    {"CtrlI", Qt::Key_I, kCtrl, KP{PanelKey::CtrlI}},
    {"I", Qt::Key_I, kNone, std::nullopt},
    {"CtrlShiftI", Qt::Key_I, kCtrl | kShift, std::nullopt},
    {"CtrlX", Qt::Key_X, kCtrl, std::nullopt},
    {"Escape", Qt::Key_Escape, kNone, std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Keys, PanelKeyTest, ::testing::ValuesIn(kKeyCases),
                         [](const ::testing::TestParamInfo<KeyCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST(DisplayFormKeyTest, OnlyShiftEscapeCloses) {
    EXPECT_TRUE(TDisplayForm::IsCloseKey(Qt::Key_Escape, Qt::ShiftModifier));
    EXPECT_FALSE(TDisplayForm::IsCloseKey(Qt::Key_Escape, Qt::NoModifier));
    EXPECT_FALSE(TDisplayForm::IsCloseKey(Qt::Key_Escape, Qt::ControlModifier));
    EXPECT_FALSE(TDisplayForm::IsCloseKey(Qt::Key_Q, Qt::ShiftModifier));
}

class OptionsFormTest : public ::testing::Test {
  protected:
    OptionsFormTest() {
        Ports ports;
        ports.Settings = &settings;
        ports.Audio = &sound;
        sim = std::make_unique<Sim>(ports, 7);
        LoadOptions(*sim);
    }
    MemorySettings settings;
    test::RecordingSound sound;
    std::unique_ptr<Sim> sim;
};

TEST_F(OptionsFormTest, PagesAndButtons) {
    TOptionsForm f(*sim);
    EXPECT_EQ(f.windowTitle(), "Options");
    const QStringList pages = {"&General",  "&Display", "&Control",
                               "&Messages", "&ARS",     "&Failures"};
    ASSERT_EQ(f.Pages->count(), pages.size());
    for (int i = 0; i < pages.size(); ++i) EXPECT_EQ(f.Pages->tabText(i), pages[i]);
    EXPECT_EQ(f.OkButton->text(), "Ok");
    EXPECT_EQ(f.OkButton->toolTip(), "Accept the changes");
    EXPECT_EQ(f.CancelButton->toolTip(), "Abandon the changes");
    EXPECT_EQ(f.EventCombo->count(), 14);
    EXPECT_EQ(f.EventCombo->currentIndex(), 0);
    EXPECT_EQ(f.ARSClassList->count(), 11);
    EXPECT_EQ(f.ARSClassList->item(10)->text(), "Other");
}

TEST_F(OptionsFormTest, ShowsTheDefaults) {
    TOptionsForm f(*sim);
    EXPECT_EQ(f.SpeedTrackBar->value(), 500);  // 250 ms
    EXPECT_TRUE(f.NoSignalPopupMenuBox->isChecked());
    EXPECT_TRUE(f.MousePageFlipBox->isChecked());
    EXPECT_TRUE(f.ShowAutosBox->isChecked());
    EXPECT_FALSE(f.ShowTrackBreaksBox->isChecked());
    EXPECT_TRUE(f.LocationReportingButtons[2]->isChecked());
    EXPECT_TRUE(f.BERModeButtons[0]->isChecked());
    EXPECT_TRUE(f.ARSClickModeButtons[0]->isChecked());
    for (int i = 0; i < 11; ++i) EXPECT_EQ(f.ARSClassList->item(i)->checkState(), Qt::Checked);
    EXPECT_EQ(f.DelayAmountBar->value(), 250);
    EXPECT_TRUE(f.PopupBox->isChecked());  // type 0
    EXPECT_FALSE(f.DisableBox->isEnabled());
}

// Real time is the slider's left end; the readout between the end labels says what the
// position chosen means and follows the slider.
TEST_F(OptionsFormTest, SpeedReadoutFollowsTheSlider) {
    EXPECT_EQ(TOptionsForm::SpeedReadout(0), "1:1 (500 ms a cycle)");
    EXPECT_EQ(TOptionsForm::SpeedReadout(500), "2:1 (250 ms a cycle)");
    EXPECT_EQ(TOptionsForm::SpeedReadout(800), "5:1 (100 ms a cycle)");
    EXPECT_EQ(TOptionsForm::SpeedReadout(950), "20:1 (25 ms a cycle)");
    TOptionsForm f(*sim);
    EXPECT_EQ(f.SpeedReadoutLabel->text(), "2:1 (250 ms a cycle)");  // the default
    f.SpeedTrackBar->setValue(0);
    EXPECT_EQ(f.SpeedReadoutLabel->text(), "1:1 (500 ms a cycle)");
    f.SpeedTrackBar->setValue(950);
    EXPECT_EQ(f.SpeedReadoutLabel->text(), "20:1 (25 ms a cycle)");
}

TEST_F(OptionsFormTest, CancelAfterChangingTheSpeedLeavesItUnchanged) {
    TOptionsForm f(*sim);
    f.SpeedTrackBar->setValue(900);
    f.ShowShuntsBox->setChecked(true);
    f.CancelButton->click();
    EXPECT_EQ(f.result(), QDialog::Rejected);
    EXPECT_EQ(sim->MajorCycleInterval, 250);
    EXPECT_FALSE(sim->Options().ShowShunts);
    EXPECT_FALSE(settings.Read("Speed").has_value());
}

TEST_F(OptionsFormTest, OkStoresAndSavesEveryPage) {
    TOptionsForm f(*sim);
    f.SpeedTrackBar->setValue(900);
    f.ShowShuntsBox->setChecked(true);
    f.BERModeButtons[1]->setChecked(true);
    f.NoSignalPopupMenuBox->setChecked(false);
    f.LocationReportingButtons[3]->setChecked(true);
    f.ARSClassList->item(9)->setCheckState(Qt::Unchecked);
    f.ARSClickModeButtons[2]->setChecked(true);
    f.TrackFailureBar->setValue(25);
    f.MaxFailuresSpin->setValue(2);
    f.OkButton->click();
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_EQ(sim->MajorCycleInterval, 50);
    const Options& o = sim->Options();
    EXPECT_TRUE(o.ShowShunts);
    EXPECT_EQ(o.BERMode, 1);
    EXPECT_FALSE(o.NoSignalPopupMenu);
    EXPECT_EQ(o.LocationReporting, 3);
    EXPECT_FALSE(o.ARS[9]);
    EXPECT_TRUE(o.ARS[8]);
    EXPECT_EQ(o.ARSClickMode, 2);
    EXPECT_FLOAT_EQ(o.TrackFailureChance, 0.0025f);
    EXPECT_EQ(o.MaxFailures, 2);
    EXPECT_EQ(settings.Read("Speed").value_or(""), "50");
    EXPECT_EQ(settings.Read("ARS9").value_or(""), "false");
}

TEST_F(OptionsFormTest, EventSettingsApplyAtOnceAndSurviveCancel) {
    TOptionsForm f(*sim);
    f.EventCombo->setCurrentIndex(EvLocationReport);
    EXPECT_TRUE(f.DisableBox->isEnabled());
    f.DisableBox->setChecked(true);
    f.PopupBox->setChecked(true);
    f.EventCombo->setCurrentIndex(EvTracksideFailure);
    EXPECT_FALSE(f.DisableBox->isChecked());
    f.CancelButton->click();
    EXPECT_TRUE(sim->Messages().Options[EvLocationReport].Disabled);
    EXPECT_TRUE(sim->Messages().Options[EvLocationReport].Popup);
    EXPECT_FALSE(settings.Read("Disabled6").has_value()) << "written only by a later save";
}

TEST_F(OptionsFormTest, OptionsKeepTheirSettingsAcrossRestarts) {
    {
        TOptionsForm f(*sim);
        f.ShowPointsBox->setChecked(true);
        f.SpeedTrackBar->setValue(0);
        f.OkButton->click();
    }
    Ports ports;
    ports.Settings = &settings;
    Sim restarted(ports, 8);
    LoadOptions(restarted);
    EXPECT_TRUE(restarted.Options().ShowPoints);
    EXPECT_EQ(restarted.MajorCycleInterval, 500);
    TOptionsForm again(restarted);
    EXPECT_TRUE(again.ShowPointsBox->isChecked());
    EXPECT_EQ(again.SpeedTrackBar->value(), 0);
}

TEST(ScreenshotTest, OverviewShowsFramesHistoryAndButtons) {
    ScreenshotRequest r;
    r.Screen = 0;
    r.Time = "14:32";
    r.Posts = {"7:Welcome", "0:Points failure"};
    QString error;
    const auto image = RenderScreenshot(r, error);
    ASSERT_TRUE(image.has_value()) << error.toStdString();
    EXPECT_EQ(image->size(), QSize(1024, 768));
    auto cellHas = [&](int col, int row, Colour c) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x)
                if (image->pixel(col * 8 + x, row * 16 + y) == Rgb(c)) return true;
        return false;
    };
    EXPECT_TRUE(cellHas(0, 0, ClSilver));   // frame corner
    EXPECT_TRUE(cellHas(2, 30, ClRed));     // second history message
    EXPECT_TRUE(cellHas(2, 29, ClCyan));    // first history message
    EXPECT_TRUE(cellHas(26, 46, ClWhite));  // MSG is the shown screen
    EXPECT_TRUE(cellHas(1, 46, ClOrange));  // button bar
    EXPECT_TRUE(cellHas(1, 47, ClSilver));  // the clock
    EXPECT_FALSE(cellHas(100, 45, ClDarkGrey)) << "no message line on the overview";
}

TEST(ScreenshotTest, RefusesBadRequests) {
    QString error;
    ScreenshotRequest r;
    r.Screen = 3;  // the built-in area has two screens
    EXPECT_FALSE(RenderScreenshot(r, error).has_value());
    EXPECT_TRUE(error.contains("no screen 3"));
    // Screen 2 shows the railway: grey track across the middle of the panel.
    r.Screen = 2;
    const std::optional<QImage> image = RenderScreenshot(r, error);
    ASSERT_TRUE(image.has_value());
    int grey = 0;
    for (int x = 0; x < 1024; ++x)
        for (int y = 200; y < 700; ++y) grey += image->pixel(x, y) == Rgb(ClGrey);
    EXPECT_GT(grey, 2000);
    r.Screen = 1;
    r.Posts = {"nonsense"};
    EXPECT_FALSE(RenderScreenshot(r, error).has_value());
    r.Posts = {"14:too big"};
    EXPECT_FALSE(RenderScreenshot(r, error).has_value());
}

}  // namespace
}  // namespace kestra::app

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
