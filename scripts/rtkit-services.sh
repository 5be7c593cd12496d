#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts (or stops) a desktop's real-time service stack on a private system
# bus, for the tests and benchmarks that ask RealtimeKit for rights as an
# ordinary user:
#   - dbus-daemon as a system bus listening on a socket in a temporary folder,
#   - polkitd on that bus, with one rule that lets the test user (nobody,
#     uid 65534) use org.freedesktop.RealtimeKit1.* (a desktop grants the same
#     to the user of the active local session),
#   - rtkit-daemon on that bus with its usual options (chroot, dropped
#     privileges, canary watchdog).
# Nothing of the machine's own configuration changes: the rule is bind-mounted
# over /etc/polkit-1/rules.d in polkitd's own mount namespace only.
#
#   eval "$(scripts/rtkit-services.sh start)"   # sets LENTORA_RTKIT_DIR, LENTORA_RTKIT_BUS
#   scripts/rtkit-services.sh stop [DIR]          # DIR defaults to $LENTORA_RTKIT_DIR
# Needs root (the daemons start as root and drop their privileges themselves).
# One set at a time: here a second rtkit-daemon does not come up beside a
# running one.
set -euo pipefail

rtkit=/usr/libexec/rtkit-daemon
polkitd=/usr/lib/polkit-1/polkitd
test_user=nobody

cleanup_dir=
# On a failed start the daemons started so far are stopped again, and their
# logs, which go with their folder, are shown first.
die() {
    echo "rtkit-services: $*" >&2
    local dir=$cleanup_dir log
    cleanup_dir=
    if [[ -n $dir ]]; then
        for log in "$dir"/*.log; do
            [[ -s $log ]] || continue
            echo "--- $(basename "$log"):" >&2
            tail -n 40 "$log" >&2
        done
        stop "$dir" >/dev/null 2>&1 || true
    fi
    exit 1
}

bus_config() {
    cat <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <auth>EXTERNAL</auth>
  <listen>unix:path=$1/system_bus_socket</listen>
  <pidfile>$1/dbus.pid</pidfile>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Properties"/>
  </policy>
  <!-- The installed services' own bus policies (RealtimeKit1, PolicyKit1). -->
  <includedir>/usr/share/dbus-1/system.d</includedir>
</busconfig>
EOF
}

polkit_rule() {
    cat <<EOF
// Test rule: the test user may ask RealtimeKit for real-time and high priority.
polkit.addRule(function(action, subject) {
    if (action.id.indexOf("org.freedesktop.RealtimeKit1.") == 0 && subject.user == "$test_user")
        return polkit.Result.YES;
});
EOF
}

# Waits until NAME is owned on the bus at ADDRESS (up to 10 s).
wait_for_name() {
    local address=$1 name=$2
    for _ in $(seq 100); do
        if dbus-send --bus="$address" --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner "string:$name" 2>/dev/null | grep -q 'boolean true'; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

start() {
    [[ $(id -u) == 0 ]] || die "start needs root"
    [[ -x $rtkit ]] || die "$rtkit missing (package rtkit)"
    [[ -x $polkitd ]] || die "$polkitd missing (package polkitd)"
    local dir
    dir=$(mktemp -d /tmp/lentora-rtkit.XXXXXX)
    chmod 755 "$dir"  # the test user connects to the socket inside
    mkdir "$dir/rules"
    bus_config "$dir" >"$dir/bus.conf"
    polkit_rule >"$dir/rules/50-lentora-test.rules"
    chmod 755 "$dir/rules"
    chmod 644 "$dir/rules/50-lentora-test.rules"
    local address="unix:path=$dir/system_bus_socket"

    cleanup_dir=$dir
    setsid dbus-daemon --config-file="$dir/bus.conf" --fork >"$dir/dbus.log" 2>&1
    for _ in $(seq 50); do [[ -S $dir/system_bus_socket ]] && break; sleep 0.1; done
    [[ -S $dir/system_bus_socket ]] || die "the bus did not start (its log follows)"

    export DBUS_SYSTEM_BUS_ADDRESS=$address
    setsid unshare -m sh -c "mount --bind '$dir/rules' /etc/polkit-1/rules.d && exec '$polkitd' --no-debug" \
        >"$dir/polkitd.log" 2>&1 </dev/null &
    echo $! >"$dir/polkitd.pid"
    wait_for_name "$address" org.freedesktop.PolicyKit1 || die "polkitd did not start (the logs follow)"

    # rtkit-daemon limits its own file size to 0, so its log goes through a pipe.
    setsid "$rtkit" --stderr </dev/null > >(cat >>"$dir/rtkit.log") 2>&1 &
    echo $! >"$dir/rtkit.pid"
    wait_for_name "$address" org.freedesktop.RealtimeKit1 || die "rtkit-daemon did not start (the logs follow)"
    cleanup_dir=

    echo "export LENTORA_RTKIT_DIR=$dir LENTORA_RTKIT_BUS=$address"
}

# Ends one daemon by the id it was started with and waits until it is gone.
stop_pid() {
    local file=$1 pid
    [[ -f $file ]] || return 0
    pid=$(<"$file")
    if kill "$pid" 2>/dev/null; then
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$file"
}

stop() {
    local dir=${1:-${LENTORA_RTKIT_DIR:-}}
    [[ -n $dir && -d $dir && $dir == /tmp/lentora-rtkit.* ]] || die "stop: no service folder given"
    stop_pid "$dir/rtkit.pid"
    stop_pid "$dir/polkitd.pid"
    stop_pid "$dir/dbus.pid"
    rm -rf "$dir"
}

case ${1:-} in
start) start ;;
stop) stop "${2:-}" ;;
*) die "usage: $0 start | stop [DIR]" ;;
esac
