#pragma once
// The Qt adapters of the dialogs, sound and settings ports.

#include <QPointer>
#include <QSettings>
#include <QSoundEffect>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "core/ports.h"

namespace kestra {
class Sim;
}

namespace kestra::app {

// Message, question and input boxes over the main window.
class QtDialogs : public Dialogs {
  public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& proposal) override;
    std::optional<std::string> OpenFile(const FileChoice& choice) override;
    std::optional<std::string> SaveFile(const FileChoice& choice) override;
    void ShowAnalysis(const std::vector<std::string>& lines) override;
    // Shown without a loop of its own: the answer may arrive while a network message is
    // being handled, which must not be entered again.
    void ShowARSInformation(const ARSInformation& info) override;
    // The simulation whose graph and punctuality report the analysis window offers.
    void SetReportSim(Sim* sim) { reportSim_ = sim; }

  private:
    QWidget* parent_;
    QPointer<QWidget> trainInfo_;
    Sim* reportSim_ = nullptr;
};

// WAV files played without waiting; a file that cannot be played is ignored.
class QtSound : public Sound {
  public:
    void PlayFile(const std::string& path) override;

  private:
    std::map<std::string, std::unique_ptr<QSoundEffect>> effects_;
};

// The options in the user's settings: QSettings("Kestra", "Options"), one value per name.
class QtSettings : public SettingsStore {
  public:
    QtSettings() : settings_("Kestra", "Options") {}
    std::optional<std::string> Read(const std::string& name) override;
    void Write(const std::string& name, const std::string& value) override;

  private:
    QSettings settings_;
};

}  // namespace kestra::app
