#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the notification-area tests of the given test program against a real
# tray: a virtual X server (xvfb-run) with trayer as the tray host.
set -eu
binary=${1:?usage: run_tray_test.sh TEST_PROGRAM}

# The icon must go to the XEmbed tray of the virtual display, not to a
# StatusNotifier host reachable over the session bus.
unset DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM=xcb
# For a sanitizer build: the X11 libraries' own leaks are not ours.
here=$(cd "$(dirname "$0")" && pwd)
export LSAN_OPTIONS="suppressions=$here/lsan_tray.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

exec xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    binary=$1
    trayer --edge bottom --align right --widthtype pixel --width 200 --height 32 >/dev/null 2>&1 &
    trayer_pid=$!
    trap "kill $trayer_pid 2>/dev/null" EXIT
    tries=0
    until "$binary" --gtest_filter=TrayReal.HostIsAvailable >/dev/null 2>&1; do
        tries=$((tries + 1))
        if [ "$tries" -ge 50 ]; then
            echo "the tray host did not come up" >&2
            exit 1
        fi
        sleep 0.2
    done
    "$binary" --gtest_filter="TrayReal*"
' run_tray_test "$binary"
