#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building and running need when it is missing (not the test
# tools: test.sh adds those), builds Lentora and starts it.
# Builds in build/ (or the user's own folder when build/ is another user's;
# BUILD_DIR picks one), without touching the options the folder holds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
source scripts/build-folder.sh
build=$(lentora_build_folder build)
# A new folder needs neither the tests nor the benchmarks to start Lentora;
# one that test.sh made keeps them.
options=()
[[ -f $build/CMakeCache.txt ]] || options=(-DLENTORA_TESTS=OFF -DLENTORA_BENCH=OFF)
lentora_configure "$build" "${options[@]}"
cmake --build "$build" -j"$(nproc)" --target lentora
program=$build/src/app/lentora
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "Lentora is built ($program) but there is no display to show it on."
  echo "Run this command again from a terminal inside your desktop session, or, on a machine"
  echo "without a desktop, start it on a virtual display:  xvfb-run -a $program"
  exit 1
fi
exec "$program" "$@"
