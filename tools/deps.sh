#!/usr/bin/env bash
# Installs what Kestra needs to build, test and run on Debian 12. Safe to run again.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev qt6-multimedia-dev libgl-dev
          libgtest-dev libgmock-dev googletest libbenchmark-dev xvfb xauth)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
