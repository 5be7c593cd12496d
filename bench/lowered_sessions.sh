#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What a busy program of another session gets while Lentora runs without any
# rights (uid 65534), with that session lowered by Lentora (the program is the
# same user's) and without (the program belongs to uid 65533, which Lentora
# leaves alone). Runs as root, on a quiet machine: under load from other
# programs a session at nice 19 gets almost nothing with or without Lentora.
#
#   bench/lowered_sessions.sh [LENTORA] [FACTOR...]   (default: build/src/app/lentora 50 90)
#
# Each cell: the program's sysbench events per second over 5 seconds of the
# slow-down, relative to its rate over the 4 seconds before Lentora started.
#
#   bench/lowered_sessions.sh --timing [LENTORA] [SESSIONS...]   (default: 10 50 140)
#
# How long lowering and putting back take with that many idle sessions of
# the same user: from Lentora's start to the launched program's start (the
# burners resume first, so this holds whatever Start waits for), to every
# session at nice 19; from the program's end to Lentora's exit, and to every
# session back. The kernel takes one such change a tenth of a second.
set -euo pipefail
timing=0
[[ ${1:-} == --timing ]] && { timing=1; shift; }
lentora=$(realpath "${1:-build/src/app/lentora}")
shift || true
factors=("${@:-50 90}")
[[ $timing == 0 || $# -gt 0 ]] || factors=(10 50 140)
[[ $timing == 1 ]] || command -v sysbench >/dev/null || { echo "needs sysbench (apt-get install sysbench)" >&2; exit 1; }
[[ $(id -u) == 0 ]] || { echo "runs as root (it starts programs as uids 65533 and 65534)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/run" "$work/timing"
chown 65531:65531 "$work/timing"
chmod 700 "$work/timing"
chown -R 65534:65534 "$work/home" "$work/run"
chmod 700 "$work/run"
chmod 755 "$work"
as() { local uid=$1; shift; setpriv --reuid="$uid" --regid="$uid" --clear-groups "$@"; }

# Per-second rates of seconds FROM..TO (1-based), averaged.
rate() { grep -o 'eps: [0-9.]*' "$1" | awk -v from="$2" -v to="$3" 'NR>=from && NR<=to {s+=$2; n++} END {print n ? s/n : 0}'; }

measure() {  # factor victim-uid -> percentage
    local log=$work/victim.log
    as "$2" setsid sysbench cpu --threads=1 --time=17 --report-interval=1 run >"$log" 2>&1 &
    local victim=$!
    sleep 5
    HOME=$work/home XDG_CONFIG_HOME=$work/home XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen \
        as 65534 setsid "$lentora" /SPEED="$1" /CLOSE /bin/sleep 11 >/dev/null 2>&1 &
    wait $! "$victim"
    awk -v base="$(rate "$log" 1 4)" -v slow="$(rate "$log" 10 14)" 'BEGIN {printf "%.1f", base ? 100 * slow / base : 0}'
}

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f s", b - a}'; }
# True when every group of the pids has nice value $1.
all_at() {
    local want=$1 pid word nice
    shift
    for pid in "$@"; do
        read -r _ word nice <"/proc/$pid/autogroup" 2>/dev/null || return 1
        [[ $nice == "$want" ]] || return 1
    done
}
wait_all_at() {  # nice pid... -> the time they all had it (gives up after 60 s)
    local limit=$(($(date +%s) + 60))
    until all_at "$@" || (($(date +%s) > limit)); do sleep 0.01; done
    now
}

# As a user of its own (65531): tests and other Lentoras run as 65534.
timed() {  # sessions -> one table row
    local pids=() i
    for ((i = 0; i < $1; i++)); do
        setpriv --reuid=65531 --regid=65531 --clear-groups setsid sleep 600 &  # not "as": $! is the sleep
        pids+=($!)
    done
    sleep 1
    # Runs until every session is lowered (the kernel's turns: 0.1 s each).
    printf '#!/bin/sh\ndate +%%s.%%N >%s\nsleep %s\ndate +%%s.%%N >%s\n' "$work/timing/started" $((4 + $1 / 5)) "$work/timing/ended" >"$work/program"
    chmod 755 "$work/program"
    rm -f "$work/timing/started" "$work/timing/ended"
    local began ended lowered back exited
    began=$(now)
    rm -f "$work/timing/exited"
    # Lentora's end is noted by a shell around it: this one is busy looking.
    HOME=$work/timing XDG_CONFIG_HOME=$work/timing XDG_RUNTIME_DIR=$work/timing QT_QPA_PLATFORM=offscreen \
        as 65531 setsid sh -c '"$0" /SPEED=50 /CLOSE "$1"; date +%s.%N >"$2"' \
        "$lentora" "$work/program" "$work/timing/exited" >/dev/null 2>&1 &
    local app=$!
    lowered=$(wait_all_at 19 "${pids[@]}")
    wait "$app" || true
    exited=$(cat "$work/timing/exited")
    ended=$(cat "$work/timing/ended")
    back=$(wait_all_at 0 "${pids[@]}")
    kill "${pids[@]}" 2>/dev/null || true
    wait "${pids[@]}" 2>/dev/null || true
    echo "| $1 | $(since "$began" "$(cat "$work/timing/started")") | $(since "$began" "$lowered") | $(since "$ended" "$exited") | $(since "$ended" "$back") |"
}

if [[ $timing == 1 ]]; then
    echo "| sessions | program started after | all lowered after | Lentora ended after the program | all back after the program |"
    echo "|---:|---:|---:|---:|---:|"
    for sessions in ${factors[*]}; do timed "$sessions"; done
    exit 0
fi

echo "| factor | ideal | other session lowered (same user) | not lowered (another user) |"
echo "|---:|---:|---:|---:|"
for factor in ${factors[*]}; do
    echo "| $factor | $((100 - factor)) | $(measure "$factor" 65534) % | $(measure "$factor" 65533) % |"
done
