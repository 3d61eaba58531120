#!/usr/bin/env bash
# Installs what building, running, testing and fuzzing the client needs on Debian 12 (as root).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  zlib1g-dev libgtest-dev libgmock-dev
  clang-format
  clang libclang-rt-14-dev llvm
  fonts-noto-cjk
  xvfb xauth
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
