// The sounds the build generates: one playable WAV file for each message event type,
// the telephone's being the ring.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "panel/messages.h"

namespace kestra {
namespace {

std::uint32_t LE(const std::vector<unsigned char>& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<std::size_t>(i)];
    return v;
}

TEST(Sounds, EveryEventTypeHasAShortAudibleWaveFile) {
    const std::string folder = std::string(KESTRA_BINARY_DIR) + "/VLM/sounds/";
    for (int type = 0; type < EventTypeCount; ++type) {
        const std::string name = StandardSoundFile(type);
        ASSERT_FALSE(name.empty()) << type;
        std::ifstream f(folder + name, std::ios::binary);
        ASSERT_TRUE(f) << name;
        const std::vector<unsigned char> b((std::istreambuf_iterator<char>(f)),
                                           std::istreambuf_iterator<char>());
        ASSERT_GE(b.size(), 44u) << name;
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF") << name;
        EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ") << name;
        EXPECT_EQ(LE(b, 4, 4), b.size() - 8) << name;
        EXPECT_EQ(LE(b, 20, 2), 1u) << name << ": PCM";
        EXPECT_EQ(LE(b, 22, 2), 1u) << name << ": mono";
        EXPECT_EQ(LE(b, 34, 2), 16u) << name;
        const std::uint32_t rate = LE(b, 24, 4);
        const std::uint32_t data = LE(b, 40, 4);
        EXPECT_EQ(data + 44, b.size()) << name;
        const double seconds = static_cast<double>(data) / 2 / rate;
        EXPECT_GT(seconds, 0.05) << name;
        EXPECT_LT(seconds, 2.0) << name;
        int peak = 0;
        for (std::size_t i = 44; i + 1 < b.size(); i += 2) {
            const auto v = static_cast<std::int16_t>(LE(b, i, 2));
            peak = std::max(peak, std::abs(static_cast<int>(v)));
        }
        EXPECT_GT(peak, 5000) << name << " is silent";
    }
    EXPECT_EQ(std::string(StandardSoundFile(EvTelephone)), "ring.wav");
}

}  // namespace
}  // namespace kestra
