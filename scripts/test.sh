#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, test tools included, builds Lentora with its tests
# and runs them; fails when a test fails or when no test ran.
# Extra arguments go to CMake (e.g. -DLENTORA_SANITIZE=ON). Builds in build/
# (or the user's own folder when build/ is another user's); BUILD_DIR picks one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
source scripts/build-folder.sh
build=$(lentora_build_folder build)
echo "Building in $build"
# The tests are switched on whatever the folder held (run.sh leaves them off).
lentora_configure "$build" "$@" -DLENTORA_TESTS=ON
cmake --build "$build" -j"$(nproc)"
cd "$build"
# The tests that start busy threads measure processor time; run them one at a time.
ctest --output-on-failure --timeout 600 --no-tests=error
