#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with Clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in their own build folder and runs each for a
# bounded time on a copy of its committed corpus. Fails when any target
# finds a crash, a leak, undefined behaviour or a broken invariant.
# FUZZ_SECONDS sets the time per target (default 60); FUZZ_TARGETS picks
# targets (default all); BUILD_DIR the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh --tests
build=${BUILD_DIR:-build-fuzz}
[[ $build == /* ]] || build=$root/$build  # the targets run from a scratch folder
seconds=${FUZZ_SECONDS:-60}
targets=${FUZZ_TARGETS:-"fuzz_cmdline fuzz_launch_file fuzz_launch_save fuzz_store_save fuzz_reg_format fuzz_int_text"}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DLENTORA_FUZZ=ON -DLENTORA_TESTS=OFF -DLENTORA_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target $targets

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=()
for target in $targets; do
  name=${target#fuzz_}
  work="$scratch/$name"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp -r "fuzz/corpus/$name/." "$work/corpus/"
  echo "== $target for ${seconds}s"
  # Run in the scratch folder: crash files land there, not in the tree.
  if (cd "$work" && "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" \
        >"$work/log" 2>&1); then
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|#[0-9]+ *DONE)' "$work/log" || true
  else
    echo "!! $target failed:"
    tail -n 60 "$work/log"
    for artifact in "$work"/artifacts/*; do
      [ -e "$artifact" ] || continue
      echo "-- input $(basename "$artifact") (base64):"
      base64 "$artifact" | head -c 4000
      echo
    done
    failed+=("$target")
  fi
done
if ((${#failed[@]})); then
  echo "Fuzzing failed: ${failed[*]}"
  exit 1
fi
echo "Fuzzing passed: $targets"
