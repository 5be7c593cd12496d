#!/usr/bin/env bash
# Installs what is missing, builds Lentora and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DLENTORA_TESTS=OFF -DLENTORA_BENCH=OFF
cmake --build build -j"$(nproc)" --target lentora
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "Lentora is built (build/src/app/lentora) but there is no display to show it on."
  echo "Run this command again from a terminal inside your desktop session, or, on a machine"
  echo "without a desktop, start it on a virtual display:  xvfb-run -a build/src/app/lentora"
  exit 1
fi
exec build/src/app/lentora "$@"
