#!/usr/bin/env bash
# Installs what is missing, builds the client and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${BUILD_DIR:-build-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLUCAN_TESTS=OFF
cmake --build "$build" --parallel
exec "$build/客户端/Pellucan"

