#pragma once
// Ports: the only way the engine touches the world. The Qt front end implements
// them in app/, the tests with recording fakes; the Null* versions serve headless runs.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestra {

// Colours are RGB held as 32-bit integers with red in the low byte (0x00BBGGRR).
using Colour = std::uint32_t;

// Builds a colour from the usual RRGGBB hexadecimal reading.
constexpr Colour RGBHex(std::uint32_t rrggbb) {
    return ((rrggbb >> 16) & 0xFF) | (rrggbb & 0xFF00) | ((rrggbb & 0xFF) << 16);
}

enum class PanelFont : std::uint8_t { Normal, Small };

// The 1024 x 768 panel picture. Coordinates are pixels.
class PanelSurface {
public:
    virtual ~PanelSurface() = default;
    // One glyph in a cell: 8 x 16 pixels for the normal font, 2 x 4 for the small one.
    virtual void PutGlyph(int px, int py, std::uint8_t code, Colour fg, Colour bg, PanelFont font) = 0;
    // Fills the whole panel with one colour.
    virtual void Fill(Colour colour) = 0;
    // Plain text in the normal font, one cell per character, no code interpretation.
    virtual void PutText(int px, int py, const std::string& text, Colour fg, Colour bg) = 0;
};

// Modal boxes and windows.
// What a file dialog offers: the folder it opens in, the filter as pairs of description
// and pattern separated by "|" ("Timetables (*.WTT)|*.WTT|All files (*.*)|*.*"), the
// extension added to a name typed without one, and the name proposed for saving.
struct FileChoice {
    std::string InitialFolder;
    std::string Filter;
    std::string DefaultExtension;
    std::string ProposedName;
};

// What the ARS train information window shows: its caption, the train's timetable
// description, routesetting status and delay, and the next lines of its timetable
// (location, arrival, departure, path, platform, line, activities).
struct ARSInformation {
    std::string Caption;
    std::string Description;
    std::string Status;
    std::string Delay;
    std::vector<std::vector<std::string>> Rows;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Open-file dialog for a file that exists; nothing when cancelled (or where there
    // is no dialog to show).
    virtual std::optional<std::string> OpenFile(const FileChoice&) { return std::nullopt; }
    // Save-file dialog that asks before overwriting; nothing when cancelled.
    virtual std::optional<std::string> SaveFile(const FileChoice&) { return std::nullopt; }
    virtual void ShowError(const std::string& text) = 0;
    virtual void ShowInformation(const std::string& text) = 0;
    // Yes/No question; true for Yes.
    virtual bool Confirm(const std::string& text) = 0;
    // Input box; nothing when cancelled.
    virtual std::optional<std::string> InputBox(const std::string& caption,
                                                const std::string& prompt,
                                                const std::string& proposal) = 0;
    // The performance analysis, one line of text each ("\t" indents), shown modally.
    virtual void ShowAnalysis(const std::vector<std::string>& /*lines*/) {}
    // The ARS information of one train (its caption, labels and timetable rows).
    virtual void ShowARSInformation(const ARSInformation& /*info*/) {}
};

// Plays a WAV file without waiting; failures are ignored.
class Sound {
public:
    virtual ~Sound() = default;
    virtual void PlayFile(const std::string& path) = 0;
};

// Named option values of the user's settings store.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> Read(const std::string& name) = 0;
    virtual void Write(const std::string& name, const std::string& value) = 0;
};

// Real time as the program sees it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint64_t TickMs() = 0;
    // Local date and time as "YYYY-MM-DD HH:MM:SS".
    virtual std::string RealDateTime() = 0;
    virtual void SleepMs(int ms) = 0;
};

// Receives the state messages a server broadcasts to its clients. Before any
// network exists the simulation holds none and nothing is sent.
class StateBroadcaster {
public:
    virtual ~StateBroadcaster() = default;
    virtual void Broadcast(const std::string& payload) = 0;
};

// Null implementations for headless runs.
class NullSurface final : public PanelSurface {
public:
    void PutGlyph(int, int, std::uint8_t, Colour, Colour, PanelFont) override {}
    void Fill(Colour) override {}
    void PutText(int, int, const std::string&, Colour, Colour) override {}
};

class NullDialogs final : public Dialogs {
public:
    void ShowError(const std::string&) override {}
    void ShowInformation(const std::string&) override {}
    bool Confirm(const std::string&) override { return false; }
    std::optional<std::string> InputBox(const std::string&, const std::string&,
                                        const std::string&) override {
        return std::nullopt;
    }
};

class NullSound final : public Sound {
public:
    void PlayFile(const std::string&) override {}
};

// Keeps settings in memory only.
class MemorySettings final : public SettingsStore {
public:
    std::optional<std::string> Read(const std::string& name) override;
    void Write(const std::string& name, const std::string& value) override;
    std::vector<std::pair<std::string, std::string>> Values;
};

// Steady clock of the machine.
class SystemClock final : public Clock {
public:
    std::uint64_t TickMs() override;
    std::string RealDateTime() override;
    void SleepMs(int ms) override;
};

// The set of ports a simulation is given. Any left empty is replaced by a null one.
struct Ports {
    PanelSurface* Surface = nullptr;
    Dialogs* Dialog = nullptr;
    Sound* Audio = nullptr;
    SettingsStore* Settings = nullptr;
    Clock* Time = nullptr;
};

}  // namespace kestra
