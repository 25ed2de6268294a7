#pragma once
// Recording fakes of the engine's ports, and a simulation wired to them.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/ports.h"
#include "sim/sim.h"

namespace kestra::test {

// One glyph cell as the surface last received it.
struct Cell {
    std::uint8_t Code = 0;
    Colour Fg = 0;
    Colour Bg = 0;
    bool Drawn = false;
};

// Keeps the last glyph put in every normal cell and every overview (small) cell.
class RecordingSurface : public PanelSurface {
  public:
    void PutGlyph(int px, int py, std::uint8_t code, Colour fg, Colour bg, PanelFont font) override;
    void Fill(Colour colour) override;
    void PutText(int px, int py, const std::string& text, Colour fg, Colour bg) override;

    // Normal cell at screen column/row.
    const Cell& At(int column, int row) const;
    // Small-font glyph at an overview pixel; nothing when none was drawn there.
    std::optional<Cell> SmallAt(int px, int py) const;
    // The text of a row of normal cells (codes as characters, undrawn cells as spaces).
    std::string RowText(int row, int from, int count) const;
    void Clear();

    int GlyphCount = 0;
    int FillCount = 0;
    Colour LastFill = 0;

  private:
    Cell cells_[48][128];
    std::map<std::pair<int, int>, Cell> small_;
};

class RecordingDialogs : public Dialogs {
  public:
    void ShowError(const std::string& text) override { Errors.push_back(text); }
    void ShowInformation(const std::string& text) override { Infos.push_back(text); }
    bool Confirm(const std::string& text) override {
        Confirms.push_back(text);
        return ConfirmAnswer;
    }
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& proposal) override {
        Inputs.push_back(caption + "|" + prompt + "|" + proposal);
        return InputAnswer;
    }
    void ShowAnalysis(const std::vector<std::string>& lines) override {
        Analyses.push_back(lines);
    }
    void ShowARSInformation(const ARSInformation& info) override { ARSInfos.push_back(info); }
    std::optional<std::string> OpenFile(const FileChoice& choice) override {
        FileChoices.push_back(choice);
        return FileAnswer;
    }
    std::optional<std::string> SaveFile(const FileChoice& choice) override {
        FileChoices.push_back(choice);
        return FileAnswer;
    }
    std::vector<std::string> Errors, Infos, Confirms, Inputs;
    std::vector<std::vector<std::string>> Analyses;
    std::vector<ARSInformation> ARSInfos;
    bool ConfirmAnswer = false;
    std::optional<std::string> InputAnswer;
    // The file dialogs' offers, and the file every one of them chooses.
    std::vector<FileChoice> FileChoices;
    std::optional<std::string> FileAnswer;
};

class RecordingSound : public Sound {
  public:
    void PlayFile(const std::string& path) override { Played.push_back(path); }
    std::vector<std::string> Played;
};

// Closes the road at every level crossing the route (or the overlap it holds beyond its
// exit) runs over, as a train standing on the crossing's other line would (one occupant
// on each crossed circuit the route and that overlap do not use), so that the route's signal can clear once the barriers are down. Gives the
// major cycles to run for that.
int CloseLevelCrossingsFor(Sim& sim, const TROU& route);

class RecordingBroadcaster : public StateBroadcaster {
  public:
    void Broadcast(const std::string& payload) override { Sent.push_back(payload); }
    std::vector<std::string> Sent;
};

// A clock the test moves by hand.
class ManualClock : public Clock {
  public:
    std::uint64_t TickMs() override { return Now; }
    std::string RealDateTime() override { return "2026-01-01 12:00:00"; }
    void SleepMs(int ms) override { Now += static_cast<std::uint64_t>(ms); }
    std::uint64_t Now = 0;
};

// A simulation wired to recording fakes, with a fixed random seed.
struct TestSim {
    TestSim();
    RecordingSurface surface;
    RecordingDialogs dialogs;
    RecordingSound sound;
    MemorySettings settings;
    ManualClock clock;
    RecordingBroadcaster broadcaster;
    std::unique_ptr<Sim> sim;

    Sim& operator*() { return *sim; }
    Sim* operator->() { return sim.get(); }
    // Runs n major cycles.
    void Ticks(int n);
};

// The texts of the message history, oldest first.
std::vector<std::string> MessageTexts(TestSim& t);
// The text of the newest message; empty when there is none.
std::string LastMessage(TestSim& t);

}  // namespace kestra::test
