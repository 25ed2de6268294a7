#pragma once
// The panel model: turns glyph strings into glyphs on the panel surface, for the
// current screen or as overview miniatures, and draws the furniture (button bar, status
// line, message line, overview frames and message history).

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ports.h"

namespace kestra {

class Sim;

inline constexpr int CellWidth = 8;
inline constexpr int CellHeight = 16;
inline constexpr int ScreenColumns = 128;
inline constexpr int ScreenRows = 48;
inline constexpr int PanelWidth = 1024;
inline constexpr int PanelHeight = 768;

// Rows and columns of the furniture.
inline constexpr int ButtonBarRow = 46;
inline constexpr int StatusRow = 47;
inline constexpr int MessageLineColumn = 67;
inline constexpr int MessageLineFirstRow = 44;
inline constexpr int MessageLineRows = 4;
inline constexpr int MessageLineWidth = 60;
inline constexpr int TelephoneColumn = 13;
// The button bar: five-cell buttons at a pitch of six cells from column 1 (the first
// column of each pitch is the gap), the four fixed buttons first, then one per screen.
inline constexpr int ButtonPitch = 6;
inline constexpr int FixedButtons = 4;
// The status row: clock, score (four cells) and the mode banner.
inline constexpr int ClockColumn = 1;
inline constexpr int ScoreColumn = 8;
inline constexpr int ScoreCells = 4;
inline constexpr int BannerColumn = 18;
inline constexpr int HistoryTopRow = 28;
inline constexpr int HistoryBottomRow = 44;
inline constexpr int HistoryTextColumn = 2;
inline constexpr int HistoryTextWidth = 124;
// The overview shows at most six screens, three frames of 35 columns per band.
inline constexpr int OverviewScreens = 6;
inline constexpr int OverviewFrameColumns = 35;
// One notch of an ordinary mouse wheel, in the eighths of a degree the wheel reports.
inline constexpr int WheelNotch = 120;

// Frame pieces, telephone halves and the half-minute mark of the panel font.
enum FurnitureGlyph : std::uint8_t {
    FgTopLeft = 0x80,
    FgTopRight = 0x81,
    FgBottomLeft = 0x82,
    FgBottomRight = 0x83,
    FgBottomJunction = 0x84,
    FgTopJunction = 0x85,
    FgLeftJunction = 0x86,
    FgCrossing = 0x87,
    FgRightJunction = 0x88,
    FgHorizontal = 0x89,
    FgVertical = 0x8A,
    FgTelephoneLeft = 0xA6,
    FgTelephoneRight = 0xA7,
    FgHalfMinute = 0xBD,
};

// The signalling mode the status line announces; the override banner wins when the
// override mode is on together with another.
enum class SignallingMode : std::uint8_t {
    None,
    Override,
    Reminder,
    Isolation,
    Interpose,
    CancelTD
};

// What the telephone indicator on the status line shows.
enum class TelephoneIndicator : std::uint8_t { Idle, Ringing, InConversation };

class Panel {
  public:
    explicit Panel(Sim& sim) : sim_(sim) {}

    // --- drawing operations for the objects
    // Draws a glyph string starting at panel cell (x, y).
    void DrawText(int x, int y, Colour fg, std::string_view glyphs);
    // As DrawText, with background A on cells where x + y is even and B where it is odd.
    void DrawText2Bg(int x, int y, Colour fg, Colour bgB, Colour bgA, std::string_view glyphs);
    // Plain text at a screen cell of the current screen, for the furniture.
    void DrawStatusText(int column, int row, Colour bg, Colour fg, const std::string& text);

    // --- whole-panel drawing
    // Clears the panel and draws the furniture and every object of the current screen.
    void RedrawPanel();
    // The status line: clock or "PAUSED", score, telephone indicator and mode banner.
    void RedrawStatus();
    // The two telephone glyphs in the colours of Telephone and the flash phase.
    void UpdateTelephoneIndicator();
    // The two-second ring timer's tick: rings while the timer runs, the telephone
    // message type's sound is on and the simulation is not paused.
    void RingTimerTick();
    // The message history box of the overview; nothing on other screens.
    void DrawMessageHistory();
    SignallingMode StatusMode() const;

    // --- screens
    int ScreenCount() const;
    // Shows a screen and redraws; false (and nothing happens) when it does not exist or
    // is already shown.
    bool SelectScreen(int screen);
    // The mouse wheel: down shows the next screen, up the previous one.
    bool WheelDown() { return SelectScreen(CurrentScreen + 1); }
    bool WheelUp() { return CurrentScreen > 0 && SelectScreen(CurrentScreen - 1); }
    // Wheel movement in eighths of a degree, positive away from the user (up). A
    // high-resolution wheel or a touchpad reports one notch in many small parts, so the
    // movement is summed and one screen is stepped per notch (WheelNotch units); the
    // remainder is kept for the next movement and dropped when the direction turns.
    // Returns how many screens were stepped (negative: towards the overview).
    int WheelMoved(int angleDelta);
    // The pointer at panel pixel column px reaching a screen edge, when the option is on.
    // Returns how far the pointer is to be moved (-512, +512) or 0 when nothing changed.
    int PageFlip(int px);
    // The screen of the button at a pixel of the button bar, or -1.
    int ScreenButtonAt(int px, int py) const;
    // The screen whose overview miniature lies under a pixel of the overview, or -1.
    int MiniatureAt(int px, int py) const;
    // A press on the button bar's screen buttons, or on a miniature of the overview with
    // the left button. True when it changed the screen.
    bool ScreenClick(int px, int py, bool leftButton);

    // Glyph substitution that hides track-circuit break marks.
    static std::uint8_t SubstituteTrackBreak(std::uint8_t code);

    std::int32_t CurrentScreen = 1;
    bool NoSubstitute = false;
    bool EightBitColour = false;
    // Set by the telephone; the indicator is silver while no call exists.
    TelephoneIndicator Telephone = TelephoneIndicator::Idle;
    // The ring timer runs while any call rings; the window that owns the real timer
    // follows this flag.
    bool RingTimerRunning = false;

  private:
    // Plays the telephone message type's sound once, when that type plays sound.
    void PlayRing();
    void Interpret(int x, int y, Colour fg, Colour bg, bool twoBg, Colour bgB, Colour bgA,
                   std::string_view glyphs);
    void DrawButtonBar();
    void DrawOverviewFrames();
    // Wheel movement not yet worth a screen; its sign is the direction last turned.
    int wheelRemainder_ = 0;
    Sim& sim_;
};

}  // namespace kestra
