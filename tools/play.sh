#!/usr/bin/env bash
# Installs the dependencies, builds Kestra and starts it. Extra arguments go to the program.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/tools/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" --target kestra -j "$(nproc)"
mkdir -p "$root/data"
cd "$root/data"
exec "$root/build/app/kestra" "$@"
