// The kestra program: the Qt front end, or a headless run of the engine.

#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/sim.h"
#include "display_form.h"
#include "qt_surface.h"

namespace {

// Runs the engine with no window: --headless [--ticks N].
int RunHeadless(int argc, char** argv) {
    long ticks = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ticks") == 0 && i + 1 < argc) ticks = std::atol(argv[++i]);
    }
    const auto seed = static_cast<std::uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    kestra::Sim sim({}, seed);
    for (long i = 0; i < ticks; ++i) sim.MajorCycleTick();
    std::printf("ticks %ld simtime %s\n", ticks, sim.FormatSimTime().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) return RunHeadless(argc, argv);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kestra");
    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption windowed("windowed", "Open an ordinary window instead of full screen.");
    parser.addOption(windowed);
    QCommandLineOption quitAfter("quit-after", "Quit after this many milliseconds.", "ms");
    parser.addOption(quitAfter);
    parser.process(app);

    kestra::app::QtPanelSurface surface;
    kestra::Ports ports;
    ports.Surface = &surface;
    const auto seed = static_cast<std::uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    kestra::Sim sim(ports, seed);
    kestra::app::TDisplayForm form(sim, surface);
    if (parser.isSet(windowed)) {
        form.resize(1024, 768);
        form.show();
    } else {
        form.setWindowFlags(Qt::FramelessWindowHint);
        form.showFullScreen();
    }
    if (parser.isSet(quitAfter)) {
        QTimer::singleShot(parser.value(quitAfter).toInt(), &app, [&] {
            std::printf("ran to %s\n", sim.FormatSimTime().c_str());
            QApplication::quit();
        });
    }
    return app.exec();
}
