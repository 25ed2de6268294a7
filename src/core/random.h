#pragma once
// The program's single random generator. The program seeds it from the clock,
// tests from a fixed seed, so a run can be repeated exactly.

#include <cstdint>
#include <random>

namespace kestra {

class Random {
public:
    explicit Random(std::uint32_t seed = 1) : engine_(seed) {}
    void Seed(std::uint32_t seed) { engine_.seed(seed); }
    // Uniform integer 0 .. n-1; 0 when n <= 1.
    std::int32_t Next(std::int32_t n) {
        if (n <= 1) return 0;
        return static_cast<std::int32_t>((static_cast<std::uint64_t>(engine_()) * n) >> 32);
    }
    // Uniform real in [0, 1).
    double NextDouble() { return static_cast<double>(engine_()) / 4294967296.0; }

private:
    std::mt19937 engine_;
};

}  // namespace kestra
