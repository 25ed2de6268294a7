// The kestra program: the Qt front end, a picture of the panel, or a headless run of
// the engine.

#include <QApplication>
#include <QGuiApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "area/area_builder.h"
#include "sim/sim.h"
#include "display_form.h"
#include "graph_view.h"
#include "font_sheet.h"
#include "display/options.h"
#include "net/net_session.h"
#include "qt_net.h"
#include "qt_ports.h"
#include "telephone_form.h"
#include "qt_surface.h"
#include "runner/headless.h"
#include "runner/timetable_tool.h"
#include "screenshot.h"
#include "serve.h"
#include "startup_form.h"
#include "timetable/timetable_start.h"

namespace {

std::uint32_t ClockSeed() {
    return static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

// Runs the engine with no window; see runner/headless.h for the options.
int RunHeadless(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    kestra::runner::HeadlessOptions options;
    std::string error;
    if (!kestra::runner::ParseHeadlessArgs(args, options, error)) {
        std::fprintf(stderr, "kestra --headless: %s\n", error.c_str());
        return 2;
    }
    if (options.ReportDir.empty()) return kestra::runner::RunHeadless(options, std::cout, std::cerr);
    // The report's pictures are painted by Qt, which needs no display for that.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication painting(qtArgc, qtArgv);
    options.DrawGraph = [](const kestra::TimeDistanceGraph& graph, const std::string& path,
                           std::string& error) {
        return kestra::app::SaveTimeDistancePng(graph, path, error);
    };
    return kestra::runner::RunHeadless(options, std::cout, std::cerr);
}

bool DisplayAvailable() {
    auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
    {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (kestra::runner::IsTimetableCommand(args))
            return kestra::runner::RunTimetableTool(args, std::cout, std::cerr);
        if (kestra::app::IsServeCommand(args)) {
            kestra::app::ServeOptions options;
            std::string error;
            if (!kestra::app::ParseServeArgs(args, options, error)) {
                std::fprintf(stderr, "kestra --serve: %s\n", error.c_str());
                return 2;
            }
            QCoreApplication app(argc, argv);
            return kestra::app::RunServer(options, std::cout, std::cerr);
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) return RunHeadless(argc, argv);
        if (std::strcmp(argv[i], "--area-summary") == 0) {
            kestra::Sim sim;
            kestra::area::BuildArea(sim);
            kestra::area::PrintAreaSummary(sim, std::cout);
            return 0;
        }
    }
    if (!DisplayAvailable()) {
        std::fprintf(stderr,
                     "Kestra cannot open a display: no DISPLAY or WAYLAND_DISPLAY is set. Run it "
                     "on a desktop, or set QT_QPA_PLATFORM=offscreen for --screenshot.\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kestra");
    QApplication::setOrganizationName("Kestra");
    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption windowed("windowed", "Open an ordinary window instead of full screen.");
    QCommandLineOption quitAfter("quit-after", "Quit after this many milliseconds.", "ms");
    QCommandLineOption screenshot("screenshot", "Write the panel as a PNG and exit.", "file");
    QCommandLineOption screen("screen", "Screen for --screenshot (0 is the overview).", "n", "1");
    QCommandLineOption post("post", "With --screenshot: post a message first.", "type:text");
    QCommandLineOption time("time", "With --screenshot: the clock shows this time.", "HH:MM");
    QCommandLineOption interpose("interpose",
                                 "With --screenshot: put a train description into a berth first.",
                                 "berth:description");
    QCommandLineOption timetable("timetable",
                                 "Start a new game with this timetable (a WTT file or the text "
                                 "form).",
                                 "file");
    QCommandLineOption fontSheet("font-sheet", "Write every glyph of the panel fonts as a PNG.",
                                 "file");
    parser.addOption(timetable);
    QCommandLineOption commands(
        "commands", "With --screenshot and --timetable: a headless commands file to play.", "file");
    parser.addOption(commands);
    QCommandLineOption ars("ars",
                           "With --screenshot and --timetable: ARS sub-areas switched on for the "
                           "play (all, none or names).",
                           "sub-areas");
    parser.addOption(ars);
    QCommandLineOption connectTo("connect", "Start as a client of the server at HOST[:PORT].",
                                 "host[:port]");
    parser.addOption(connectTo);
    QCommandLineOption assessor("assessor",
                                "Offer the assessor's control panel (Multiplayer menu, F11).");
    parser.addOption(assessor);
    parser.addOptions({windowed, quitAfter, screenshot, screen, post, time, interpose, fontSheet});
    parser.process(app);

    if (parser.isSet(fontSheet)) {
        return kestra::app::RenderFontSheet().save(parser.value(fontSheet), "PNG") ? 0 : 1;
    }
    if (parser.isSet(screenshot)) {
        bool ok = false;
        const int n = parser.value(screen).toInt(&ok);
        if (!ok) {
            std::fprintf(stderr, "--screen wants a number\n");
            return 2;
        }
        kestra::app::ScreenshotRequest request;
        request.Screen = n;
        request.Posts = parser.values(post);
        request.Time = parser.value(time);
        request.Interposes = parser.values(interpose);
        if (parser.isSet(timetable)) {
            request.Timetable = parser.value(timetable);
            request.Commands = parser.value(commands);
            request.Ars = parser.value(ars);
        }
        QString error;
        const auto image = kestra::app::RenderScreenshot(request, error);
        if (!image) {
            std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
            return 2;
        }
        if (!image->save(parser.value(screenshot), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n",
                         parser.value(screenshot).toLocal8Bit().constData());
            return 1;
        }
        return 0;
    }

    kestra::app::QtPanelSurface surface;
    kestra::app::QtDialogs dialogs;
    kestra::app::QtSound sound;
    kestra::app::QtSettings settings;
    kestra::Ports ports;
    ports.Surface = &surface;
    ports.Dialog = &dialogs;
    ports.Audio = &sound;
    ports.Settings = &settings;
    kestra::Sim sim(ports, ClockSeed());
    dialogs.SetReportSim(&sim);
    {
        // The splash window stays at least two seconds while the area is built.
        const auto shown = std::chrono::steady_clock::now();
        kestra::app::TSplashForm splash;
        splash.show();
        splash.SetSplashProgress(0);
        kestra::area::BuildArea(sim, [&](int percent) { splash.SetSplashProgress(percent); });
        kestra::area::SetAreaTitle(sim);
        splash.SetSplashProgress(100);
        while (std::chrono::steady_clock::now() - shown < std::chrono::milliseconds(2000)) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        splash.close();
    }
    kestra::LoadOptions(sim);
    // The program's own sounds, for every message type the options name none for.
    {
        const std::string area = sim.SimData.AreaID.empty() ? "VLM" : sim.SimData.AreaID;
        const QString appDir = QCoreApplication::applicationDirPath();
        kestra::app::UseStandardSounds(
            sim, {QDir::currentPath().toStdString() + "/" + area + "/sounds",
                  (appDir + "/../" + QString::fromStdString(area) + "/sounds").toStdString(),
                  (appDir + "/../share/kestra/" + QString::fromStdString(area) + "/sounds")
                      .toStdString()});
    }
    if (parser.isSet(timetable)) {
        std::string error;
        if (!kestra::StartWithTimetable(sim, parser.value(timetable).toStdString(), -1, &error)) {
            std::fprintf(stderr, "cannot start with %s: %s\n",
                         parser.value(timetable).toLocal8Bit().constData(), error.c_str());
            return 1;
        }
    }
    kestra::app::TDisplayForm form(sim, surface);
    dialogs.SetParent(&form);
    kestra::app::QtNetTransport transport;
    kestra::net::NetSession network(sim, transport);
    form.SetNetwork(&network);
    form.SetAssessorMode(parser.isSet(assessor));
    // Without a timetable on the command line the start-up dialog comes first.
    sim.StartupTimerRunning = !parser.isSet(timetable);
    sim.MajorCycleTick();
    sim.Display().CurrentScreen = 1;
    sim.Display().RedrawPanel();
    if (parser.isSet(windowed)) {
        form.resize(kestra::PanelWidth, kestra::PanelHeight);
        form.show();
    } else {
        form.setWindowFlags(Qt::FramelessWindowHint);
        // Cover the whole screen even where no window manager enlarges a full-screen
        // window (a bare X server, a kiosk session).
        form.setGeometry(QGuiApplication::primaryScreen()->geometry());
        form.showFullScreen();
    }
    if (parser.isSet(connectTo)) {
        std::string host = parser.value(connectTo).toStdString();
        int port = kestra::net::DefaultPort;
        if (const auto colon = host.rfind(':');
            colon != std::string::npos && host.find(':') == colon) {
            port = std::atoi(host.c_str() + colon + 1);
            host.resize(colon);
        }
        network.Connect(host, port);
        form.FlushPanel();
    }
    if (parser.isSet(quitAfter)) {
        QTimer::singleShot(parser.value(quitAfter).toInt(), &app, [&] {
            std::printf("ran to %s\n", sim.FormatSimTime().c_str());
            form.close();
            QApplication::quit();
        });
    }
    return app.exec();
}
