#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a C++ file in src, tests, bench or fuzz is not in the house style
# of .clang-format, and names the files; `clang-format -i <file>` fixes one.
# Debian 12's clang-format (14) is the reference: a newer one may place a few
# things differently.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
  echo "clang-format is missing: run scripts/install-deps.sh --tests as root" >&2
  exit 1
fi
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
  'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
if ((${#files[@]} == 0)); then
  echo "No C++ files found: run this inside the project's git checkout" >&2
  exit 1
fi
# One run over all files; its complaints start with the file's name.
if ! report=$(clang-format --dry-run -Werror "${files[@]}" 2>&1); then
  echo "Not in the house style (clang-format -i fixes them):" >&2
  files=$(grep -oE '^[^:]+:[0-9]+:[0-9]+: error' <<<"$report" | cut -d: -f1 | sort -u | sed 's/^/  /' || true)
  echo "${files:-$report}" >&2  # no file named: clang-format itself failed (.clang-format)
  exit 1
fi
echo "${#files[@]} C++ files are in the house style"
