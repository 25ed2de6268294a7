#include "screenshot.h"

#include <sstream>

#include "area/area_builder.h"
#include "core/time_format.h"
#include "qt_surface.h"
#include "runner/headless.h"
#include "sim/sim.h"

namespace kestra::app {

namespace {

// Plays the timetable headless up to the requested time and draws the screen then.
std::optional<QImage> RenderPlayed(const ScreenshotRequest& request, QString& error) {
    QtPanelSurface surface;
    runner::HeadlessOptions options;
    std::vector<std::string> args{"--timetable", request.Timetable.toStdString(),
                                  "--until",     request.Time.toStdString(),
                                  "--seed",      "1"};
    if (!request.Commands.isEmpty()) {
        args.push_back("--commands");
        args.push_back(request.Commands.toStdString());
    }
    if (!request.Ars.isEmpty()) {
        args.push_back("--ars");
        args.push_back(request.Ars.toStdString());
    }
    std::string parseError;
    if (!runner::ParseHeadlessArgs(args, options, parseError)) {
        error = QString::fromStdString(parseError);
        return std::nullopt;
    }
    options.Surface = &surface;
    std::optional<QImage> image;
    options.EachCycle = [&](Sim& sim) {
        if (sim.SimTime < options.Until) return;
        if (request.Screen < 0 || request.Screen > sim.Display().ScreenCount()) return;
        sim.Display().CurrentScreen = request.Screen;
        sim.Display().RedrawPanel();
        image = surface.Image();
    };
    std::ostringstream out, err;
    if (runner::RunHeadless(options, out, err) != 0 || !image) {
        error = QString::fromStdString(err.str().empty() ? "no picture: wrong screen?" : err.str());
        return std::nullopt;
    }
    return image;
}

}  // namespace

std::optional<QImage> RenderScreenshot(const ScreenshotRequest& request, QString& error) {
    if (!request.Timetable.isEmpty()) return RenderPlayed(request, error);
    QtPanelSurface surface;
    Ports ports;
    ports.Surface = &surface;  // pop-ups and sounds go to the null ports
    Sim sim(ports, 1);
    const auto area = area::BuildArea(sim);
    sim.MajorCycleTick();
    if (!request.Time.isEmpty()) {
        const std::int32_t t = ParseHalfMinute((request.Time + "   ").left(7).toStdString());
        if (t < 0) {
            error = "--time wants HH:MM";
            return std::nullopt;
        }
        sim.SimTime = t;
    }
    for (const QString& post : request.Posts) {
        const int colon = post.indexOf(':');
        bool ok = false;
        const int type = post.left(colon).toInt(&ok);
        if (colon < 0 || !ok || type < 0 || type >= EventTypeCount) {
            error = "--post wants TYPE:TEXT with a type from 0 to 13";
            return std::nullopt;
        }
        sim.PostEventMessage(post.mid(colon + 1).toStdString(), type);
    }
    for (const QString& item : request.Interposes) {
        const int colon = item.indexOf(':');
        const std::string name = item.left(colon).toStdString();
        TBER* berth = sim.Berths.FindID(name);
        if (berth == nullptr) berth = sim.Berths.FindID("B" + name);
        if (colon < 0 || berth == nullptr) {
            error = "--interpose wants BERTH:DESC with a berth of the area, not " + item;
            return std::nullopt;
        }
        berth->Interpose(item.mid(colon + 1).toStdString());
    }
    const int screens = sim.Display().ScreenCount();
    if (request.Screen < 0 || request.Screen > screens) {
        error =
            QString("no screen %1: the area has screens 0 to %2").arg(request.Screen).arg(screens);
        return std::nullopt;
    }
    sim.Display().CurrentScreen = request.Screen;
    sim.Display().RedrawPanel();
    return surface.Image();
}

}  // namespace kestra::app
