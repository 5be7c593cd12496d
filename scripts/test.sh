#!/usr/bin/env bash
# Installs what is missing, builds Lentora with its tests and runs them.
# Extra arguments go to CMake (e.g. -DLENTORA_SANITIZE=ON); BUILD_DIR picks the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja "$@"
cmake --build "$build" -j"$(nproc)"
cd "$build"
# The tests that start busy threads measure processor time; run them one at a time.
ctest --output-on-failure --timeout 600
