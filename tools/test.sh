#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs every test: once in a normal
# build, then the engine suites again under AddressSanitizer and UBSan. Both builds
# treat warnings as errors.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/tools/deps.sh"
# A compiler cache, when one is installed, makes the second build quick.
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" -DKESTRA_WERROR=ON
cmake --build "$root/build" -j "$jobs"
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" -DKESTRA_SANITIZE=ON -DKESTRA_WERROR=ON \
      -DKESTRA_BUILD_APP=OFF -DKESTRA_BUILD_BENCH=OFF
cmake --build "$root/build-asan" -j "$jobs"
cd "$root/build-asan" && ctest --output-on-failure -j "$jobs"
