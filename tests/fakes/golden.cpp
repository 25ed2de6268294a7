#include "fakes/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kestra::test {

void ExpectMatchesStored(const std::string& actual, const std::string& path) {
    if (const char* update = std::getenv("KESTRA_UPDATE_GOLDEN"); update && *update == '1') {
        std::ofstream(path) << actual;
        GTEST_SKIP() << "stored result rewritten: " << path;
    }
    std::ifstream in(path);
    ASSERT_TRUE(in) << "no stored result " << path;
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(actual, expected.str());
}

}  // namespace kestra::test
