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
scripts/install-deps.sh
build=${BUILD_DIR:-build-tsan}
cmake -S . -B "$build" -G Ninja -DLENTORA_TSAN=ON -DLENTORA_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target test_platform test_engine test_launch test_shell lentora_test_child lentora
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp halt_on_error=1 exitcode=66 second_deadlock_stack=1 report_signal_unsafe=1"
export QT_QPA_PLATFORM=offscreen
cd "$build/tests"
# Recent kernels randomise mappings beyond what this ThreadSanitizer expects;
# without randomisation it always finds its shadow memory.
run() { setarch "$(uname -m)" -R "$@"; }
# ThreadSanitizer holds back an asynchronous signal until the thread calls
# into its runtime, so a thread in a pure busy loop (or a sleep it does not
# intercept) is suspended late. The tests that time the suspension then fail
# on their time limits although nothing races (and the real-time run-time
# test's SIGXCPU comes after the kernel's SIGKILL): they run on their own, and
# only a ThreadSanitizer report (exit code 66) fails the script. The tests
# that fork a multi-threaded process and start threads in the child are not
# supported by ThreadSanitizer and are left out.
timed='SuspendableThread.SuspendStopsTheThreadBeforeItReturns:SuspendableThread.SuspensionDuringASleepDoesNotShortenIt:SuspendableThread.QuickResumeSuspendPairsLeaveItStopped:SuspendableThread.SuspendedBusyThreadUsesNoProcessor:SuspendableThread.SuspendsNest:RealtimeRunTimeLimit.ThreadThatRunsTooLongIsDemotedNotKilled'
forking='SystemControl.PriorityClassRaisesEveryThreadAndTheSessionGroupOnlyWhenAsked:SystemControl.WithoutRightsEverythingRunsAtNormalPriority:RightsLadder.OwnRightsAreFoundByTryingAndLeaveNothingRaised:OtherSessions.*'
# The user's service manager is asked on a thread that a silent bus may hold
# past the end of the test (the test makes one): under ThreadSanitizer that
# thread meets Qt's objects going away at the process's end. The test runs in
# the normal and the AddressSanitizer suites.
userManager='UserManagerScope.*'
racesOnly() {
  local status=0
  run "$@" || status=$?
  if ((status == 66)); then echo "ThreadSanitizer report in $*"; exit 66; fi
  if ((status != 0)); then echo "(time limits missed under ThreadSanitizer in $*: not a race)"; fi
}
# The D-Bus test leaves Qt's D-Bus thread running for the rest of its
# process, where the later tests that fork and start threads in the child
# would die: it runs in a process of its own.
dbus='RealtimeKitService.*'
run ./test_platform --gtest_filter="-$timed:$forking:$dbus:$userManager"
run ./test_platform --gtest_filter="$dbus"
racesOnly ./test_platform --gtest_filter="$timed"
run ./test_engine
run ./test_launch --gtest_filter='*Watch*'
run ./test_shell --gtest_filter='Launching*:LaunchFaults*:Signals/KilledChild*'
echo "ThreadSanitizer: no reports"
