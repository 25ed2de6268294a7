#pragma once
// Stored results of end-to-end runs (tests/golden/*.out): a run's text is compared with
// its stored copy, or, with KESTRA_UPDATE_GOLDEN=1 in the environment, written over it
// on purpose and the test reported as skipped.

#include <string>

namespace kestra::test {

// Compares actual with the file at path (a failure of the running test when they
// differ or the file is missing), or rewrites the file when asked to.
void ExpectMatchesStored(const std::string& actual, const std::string& path);

}  // namespace kestra::test
