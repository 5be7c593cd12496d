#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the tests that run threads against each other (thread suspension,
# the burners, the launch watcher alone and in the window) with ThreadSanitizer in
# their own build folder and runs them. Qt is not built with ThreadSanitizer,
# so reports from inside Qt and glib are suppressed (tests/tsan.supp); our
# own code is never suppressed. BUILD_DIR picks the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh --tests
build=${BUILD_DIR:-build-tsan}
# Recent kernels randomise mappings beyond what this ThreadSanitizer expects;
# without randomisation (which child processes inherit) it always finds its
# shadow memory. The build runs the tests too, to list them for CTest.
run() { setarch "$(uname -m)" -R "$@"; }
cmake -S . -B "$build" -G Ninja -DLENTORA_TSAN=ON -DLENTORA_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
run cmake --build "$build" -j"$(nproc)" --target test_platform test_engine test_launch test_shell lentora_test_child lentora
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp halt_on_error=1 exitcode=66 second_deadlock_stack=1 report_signal_unsafe=1"
export QT_QPA_PLATFORM=offscreen
cd "$build/tests"
# The tests are picked by their labels (tests/CMakeLists.txt): the platform
# and engine suites and the launch watcher alone and in the window, each test
# in a process of its own. Left out: the tests that fork a multi-threaded
# process and start threads in the child (not supported by ThreadSanitizer).
run ctest --output-on-failure --no-tests=error -L '^(platform|engine)$|:threads$'
# ThreadSanitizer holds back an asynchronous signal until the thread calls
# into its runtime, so a thread in a pure busy loop (or a sleep it does not
# intercept) is suspended late. The tests that time the suspension then fail
# on their time limits although nothing races (and the real-time run-time
# test's SIGXCPU comes after the kernel's SIGKILL): only a ThreadSanitizer
# report fails the script.
if ! run ctest --output-on-failure --no-tests=error -L ':timed$' --output-log timed.log; then
  if grep -q 'WARNING: ThreadSanitizer' timed.log; then
    echo "ThreadSanitizer report in the timed tests"
    exit 66
  fi
  echo "(time limits missed under ThreadSanitizer in the timed tests: not a race)"
fi
echo "ThreadSanitizer: no reports"
