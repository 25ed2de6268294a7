#pragma once
// The seeds a randomised suite plays. With KESTRA_SEED set, that seed alone (to replay a
// run that failed); otherwise the fixed regression seed first, then a few fresh seeds
// drawn from the machine's entropy source, so that every run of the suite also explores
// runs nobody has played before. A failing run names its seed and how to replay it.

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace kestra::test {

struct RunSeed {
    unsigned Seed;
    bool Fresh;
};

inline std::vector<RunSeed> RunSeeds(unsigned fixed, int fresh) {
    if (const char* env = std::getenv("KESTRA_SEED"); env && *env)
        return {{static_cast<unsigned>(std::strtoul(env, nullptr, 10)), false}};
    std::vector<RunSeed> seeds{{fixed, false}};
    std::random_device entropy;
    for (int i = 0; i < fresh; ++i) seeds.push_back({entropy(), true});
    return seeds;
}

inline std::string SeedNote(const RunSeed& s) {
    return std::string(s.Fresh ? "fresh" : "fixed") + " seed " + std::to_string(s.Seed) +
           " (replay with KESTRA_SEED=" + std::to_string(s.Seed) + ")";
}

}  // namespace kestra::test
