#pragma once
// The dedicated server: the simulation with no window, run in real time at a chosen
// speed, serving clients over TCP until it is stopped or the clock reaches --until.
//   kestra --headless --serve [--port N] [--bind ADDRESS] [--timetable FILE]
//          [--speed 1..20] [--until HH:MM] [--seed N]

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace kestra::app {

struct ServeOptions {
    int Port = 4321;
    // Loopback unless told otherwise: serving the world is a choice.
    std::string Bind = "127.0.0.1";
    std::string Timetable;
    // 1 is normal speed (500 ms a cycle), 20 the fastest (25 ms).
    int Speed = 1;
    std::int32_t Until = -1;
    std::uint32_t Seed = 0;
    bool SeedGiven = false;
};

// True when the arguments ask for the dedicated server.
bool IsServeCommand(const std::vector<std::string>& args);
// Reads the arguments (--headless and --serve among them); false with error set.
bool ParseServeArgs(const std::vector<std::string>& args, ServeOptions& options,
                    std::string& error);
// The timer interval of a speed.
inline int ServeInterval(int speed) {
    return 500 / speed;
}
// Runs the server inside the running Qt application; the exit status.
int RunServer(const ServeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kestra::app
