#pragma once
// The panel drawn without a person: one screen of a fresh simulation with the default
// options, as a 1024 x 768 image.

#include <QImage>
#include <QString>
#include <QStringList>
#include <optional>

namespace kestra::app {

struct ScreenshotRequest {
    int Screen = 1;
    // Messages posted first, each "TYPE:TEXT".
    QStringList Posts;
    // Train descriptions put into berths first, each "BERTH:DESC" (a berth by its identity
    // or by its signal's plate).
    QStringList Interposes;
    // The clock, "HH:MM"; empty for the start time.
    QString Time;
    // With a timetable: the game is played headless with that timetable and commands
    // file up to Time (required), then the screen is drawn as it stands.
    QString Timetable;
    QString Commands;
    // With a timetable: the ARS sub-areas switched on for the play, as headless --ars
    // takes them ("all", "none" or names); empty leaves them as the scenario has them.
    QString Ars;
};

// The picture, or nothing with the reason in error.
std::optional<QImage> RenderScreenshot(const ScreenshotRequest& request, QString& error);

}  // namespace kestra::app
