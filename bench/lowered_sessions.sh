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
set -euo pipefail
lentora=$(realpath "${1:-build/src/app/lentora}")
shift || true
factors=("${@:-50 90}")
command -v sysbench >/dev/null || { echo "needs sysbench (apt-get install sysbench)" >&2; exit 1; }
[[ $(id -u) == 0 ]] || { echo "runs as root (it starts programs as uids 65533 and 65534)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/run"
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

echo "| factor | ideal | other session lowered (same user) | not lowered (another user) |"
echo "|---:|---:|---:|---:|"
for factor in ${factors[*]}; do
    echo "| $factor | $((100 - factor)) | $(measure "$factor" 65534) % | $(measure "$factor" 65533) % |"
done
