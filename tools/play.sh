#!/usr/bin/env bash
# Installs the dependencies, builds Kestra and starts it. Extra arguments go to the program.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/tools/deps.sh"
# A compiler cache, when one is installed, makes the second build quick.
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
cmake --build "$root/build" --target kestra kestra_timetables kestra_sounds -j "$(nproc)"
# The build folder is the program's working folder: its VLM/ holds the shipped
# timetables compiled to WTT, where the timetable menu looks for them, and its sounds.
cd "$root/build"
# With no arguments the start-up dialog offers a new game (scenario, timetable of VLM/
# and start time) or a saved game; --timetable FILE starts straight on a timetable.
exec "$root/build/app/kestra" "$@"
