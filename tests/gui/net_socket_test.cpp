// The dedicated server as a separate process on 127.0.0.1 and a client over real
// sockets: the handshake and full state arrive, and a route the client asks for is set
// and mirrored. Only the loopback address is ever used.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <functional>
#include <string>

#include <QAction>
#include <QMenu>

#include "area/area_builder.h"
#include "display_form.h"
#include "fakes/pipe_network.h"
#include "qt_surface.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "net/net_session.h"
#include "qt_net.h"
#include "serve.h"
#include "sim/sim.h"

namespace kestra::app {
namespace {

// Runs the event loop until done() or the time is up.
bool SpinUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

TEST(ServeArgs, OptionsAndRefusals) {
    ServeOptions o;
    std::string error;
    ASSERT_TRUE(ParseServeArgs({"--headless", "--serve", "--port", "5000", "--speed", "20",
                                "--until", "07:30", "--bind", "0.0.0.0"},
                               o, error))
        << error;
    EXPECT_EQ(o.Port, 5000);
    EXPECT_EQ(ServeInterval(o.Speed), 25);
    EXPECT_EQ(ServeInterval(1), 500);
    EXPECT_EQ(o.Until, 7 * 3600 + 1800);
    EXPECT_EQ(o.Bind, "0.0.0.0");
    EXPECT_EQ(ServeOptions{}.Bind, "127.0.0.1");
    EXPECT_EQ(ServeOptions{}.Port, 4321);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--serve", "--speed", "0"},
                                                {"--serve", "--speed", "21"},
                                                {"--serve", "--port", "70000"},
                                                {"--serve", "--port"},
                                                {"--serve", "--until", "x"},
                                                {"--serve", "--what", "1"}}) {
        ServeOptions x;
        EXPECT_FALSE(ParseServeArgs(bad, x, error)) << bad[1];
    }
}

TEST(NetSocket, ClientOfADedicatedServerOnLoopback) {
    QProcess server;
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.start(KESTRA_PROGRAM, {"--headless", "--serve", "--port", "0", "--bind", "127.0.0.1",
                                  "--speed", "20", "--seed", "3"});
    ASSERT_TRUE(server.waitForStarted(10000));
    std::string out;
    int port = -1;
    ASSERT_TRUE(SpinUntil(
        [&] {
            server.waitForReadyRead(50);
            out += server.readAllStandardOutput().toStdString();
            const auto at = out.find("listening on 127.0.0.1:");
            if (at == std::string::npos) return false;
            const auto end = out.find('\n', at);
            if (end == std::string::npos) return false;
            port = std::stoi(out.substr(at + 23, end - at - 23));
            return true;
        },
        20000))
        << out;
    ASSERT_GT(port, 0);

    Sim sim(Ports{}, 1);
    area::BuildArea(sim);
    QtNetTransport transport;
    net::NetSession session(sim, transport);
    ASSERT_TRUE(session.Connect("127.0.0.1", port));
    EXPECT_TRUE(SpinUntil([&] { return session.Initialised(); }, 20000));
    EXPECT_TRUE(sim.ClientMode);

    // A main route from the first signal that has one, asked for by the client.
    TROU* route = nullptr;
    for (int i = 0; i < sim.Routes.Count() && !route; ++i) {
        TROU* r = sim.Routes.At(i);
        if (r && r->Class == RcMain && r->Entrance && r->Exit) route = r;
    }
    ASSERT_NE(route, nullptr);
    RouteRequest(sim, *route->Entrance, *route->Exit, 0);
    EXPECT_TRUE(SpinUntil([&] { return route->RouteSet; }, 20000));
    session.SendChatMessage("hello server");
    EXPECT_TRUE(SpinUntil(
        [&] {
            out += server.readAllStandardOutput().toStdString();
            return out.find("HELLO SERVER") != std::string::npos;
        },
        20000))
        << out;
    session.Disconnect();
    server.kill();
    server.waitForFinished(5000);
}

// The network items follow the session: listening and connecting exclude each other,
// and only a copy in a game can send a message.
TEST(NetMenu, ItemsFollowTheSession) {
    QtPanelSurface surface;
    Ports ports;
    ports.Surface = &surface;
    Sim sim(ports, 1);
    TDisplayForm form(sim, surface);
    test::PipeNetwork pipes;
    net::NetSession session(sim, pipes.AddTransport("10.0.0.1"));
    form.SetNetwork(&session);
    auto enabled = [&] {
        std::unique_ptr<QMenu> menu(form.BuildMainMenu());
        std::string flags;
        for (QAction* sub : menu->actions()) {
            if (sub->text() != "&Multiplayer") continue;
            for (QAction* a : sub->menu()->actions()) {
                const std::string t = a->text().toStdString();
                if (t == "&Listen for clients") flags += a->isChecked() ? "L+" : "L";
                if (t == "&Listen for clients" || t == "&Connect to server" ||
                    t == "&Disconnect from server" || t == "&Send Message" || t == "&Refresh")
                    flags += a->isEnabled() ? '1' : '0';
            }
        }
        return flags;
    };
    // Listen, connect, disconnect, send, refresh.
    EXPECT_EQ(enabled(), "L11000");
    form.RunMenuCommand(MenuCommand::ListenForClients);
    EXPECT_TRUE(session.Listening());
    EXPECT_EQ(enabled(), "L+10010");
    form.RunMenuCommand(MenuCommand::ConnectToServer);  // refused while listening
    EXPECT_EQ(session.Role(), net::NetRole::Server);
    form.RunMenuCommand(MenuCommand::ListenForClients);
    EXPECT_FALSE(session.Listening());
    EXPECT_EQ(enabled(), "L11000");
    ASSERT_TRUE(session.Connect("127.0.0.1", 4321) == false);  // nobody listens
    form.SetNetwork(nullptr);
}

}  // namespace
}  // namespace kestra::app
