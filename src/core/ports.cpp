#include "core/ports.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace kestra {

std::optional<std::string> MemorySettings::Read(const std::string& name) {
    for (const auto& [k, v] : Values) {
        if (k == name) return v;
    }
    return std::nullopt;
}

void MemorySettings::Write(const std::string& name, const std::string& value) {
    for (auto& [k, v] : Values) {
        if (k == name) {
            v = value;
            return;
        }
    }
    Values.emplace_back(name, value);
}

std::uint64_t SystemClock::TickMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string SystemClock::RealDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

void SystemClock::SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace kestra
