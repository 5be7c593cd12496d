#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What programs get while the real lentora program slows the machine down,
# measured from outside, the way a user runs it: `lentora /SPEED=f /CLOSE
# program` from a command line, on a private X server, each run in a fresh
# session (setsid). Victim: `sysbench cpu` (Debian's package), one busy
# thread unless named:
#   launched    started by Lentora (/WAIT gives its full-speed rate first);
#   other       a program of another user's session (uid 65533), while
#               Lentora slows down with /bin/sleep as its launched program;
#   same        a program of another session of Lentora's own user;
#   two         sysbench --threads=2, started by Lentora.
# Rights: root; nobody (uid 65534, no rights); rtkit (uid 65534 with only
# RealtimeKit, on a private bus from scripts/rtkit-services.sh).
# Loads: none; light (bench/as_users_run_it/desktop_load.cpp as uid 65533 in a
# session of its own: awake every 4 ms for 200 µs, as a compositor).
#
# Usage, as root:
#   bench/as_users_run_it.sh [LENTORA] [--factors=0,50,90,95,97,98] [--only=TEXT]
#       [--rights=root,nobody] [--loads=none,light] [--victims=launched,other,same,two]
#       [--windows=2] [--window=5] [--out=FILE] [--docs] [--from=FIGURES.tsv] [--curve=FILE.png]
# LENTORA defaults to build/src/app/lentora. --only=TEXT keeps the cells whose
# name ("root, light load, launched", "nobody, no load, same") holds TEXT, to repeat a doubtful one.
# Prints a markdown summary (also written to FILE) and keeps the raw figures,
# one line per 5-second window, in FILE's .tsv beside it, and each cell's
# outputs (victim, probe, Lentora's standard error) in FILE's .logs folder.
# --docs also puts the summary into bench/README.md and its first table into
# docs/MEASUREMENTS.md (between their "as users run it" marks). --from makes
# the summary (and with --docs the tables) of figures kept from an earlier run,
# measuring nothing; several runs' .tsv files may be joined with cat first.
# --curve draws the shares against the factor (bench/as_users_run_it/curve.sh).
#
# Per window: the victim's processor share (its threads' run time per second,
# /proc/PID/task/TID/schedstat, in % of a processor; per thread for `two`) and
# its work rate (sysbench events per second against its own rate before the
# slow-down, same seconds), each with its ratio to the ideal 100 - factor; the
# largest 100 ms slice's share as a ratio to the ideal; Lentora's own processor
# time apart from its burners; and, where Lentora prints one, its readout line
# at the end of the launch against the outside figure over the same span.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
lentora=$src/build/src/app/lentora
factors=0,50,90,95,97,98
only=
rights_list=root,nobody
loads=none,light
victims=launched,other,same,two
windows=2
window=5
out=
docs=false
from=
curve=
for arg in "$@"; do
    case $arg in
    --factors=*) factors=${arg#*=} ;;
    --only=*) only=${arg#*=} ;;
    --rights=*) rights_list=${arg#*=} ;;
    --loads=*) loads=${arg#*=} ;;
    --victims=*) victims=${arg#*=} ;;
    --windows=*) windows=${arg#*=} ;;
    --window=*) window=${arg#*=} ;;
    --out=*) out=${arg#*=} ;;
    --docs) docs=true ;;
    --from=*) from=$(realpath "${arg#*=}") ;;
    --curve=*) curve=$(realpath -m "${arg#*=}") ;;
    -*) echo "unknown option $arg" >&2; exit 2 ;;
    *) lentora=$arg ;;
    esac
done
lentora=$(realpath -m "$lentora")
[[ -n $from || -x $lentora ]] || { echo "no lentora program at $lentora" >&2; exit 1; }
[[ -z $from || -s $from ]] || { echo "no figures in $from" >&2; exit 1; }
[[ -n $from || $(id -u) == 0 ]] || { echo "runs as root (it starts programs as uids 65533 and 65534)" >&2; exit 1; }
for tool in sysbench Xvfb setpriv c++; do
    [[ -z $from ]] || break
    command -v $tool >/dev/null || { echo "needs $tool (apt-get install sysbench xvfb util-linux g++)" >&2; exit 1; }
done

work=$(mktemp -d)
chmod 755 "$work"
pids_to_end=()
# shellcheck disable=SC2317  # called by the trap
cleanup() {
    local pid
    for pid in "${pids_to_end[@]}"; do kill "$pid" 2>/dev/null || true; done
    if [[ ${started_rtkit:-} == yes ]]; then "$src/scripts/rtkit-services.sh" stop "$LENTORA_RTKIT_DIR" >/dev/null 2>&1; fi
    rm -rf "$work"
}
trap cleanup EXIT

set_up() {
    c++ -std=c++20 -O2 -Wall -Wextra -o "$work/share_probe" "$src/bench/as_users_run_it/share_probe.cpp"
    c++ -std=c++20 -O2 -Wall -Wextra -o "$work/desktop_load" "$src/bench/as_users_run_it/desktop_load.cpp"
    # A private X server for every run, as a desktop's: lentora refuses to start without a display.
    display=:$((90 + RANDOM % 100))
    Xvfb "$display" -ac -nolisten tcp >"$work/xvfb.log" 2>&1 &
    pids_to_end+=($!)
    sleep 1
    # A home and runtime folder per user, kept over all runs (the benchmark time is stored once).
    local uid
    for uid in 0 65534; do
        mkdir -p "$work/home-$uid/run"
        chmod 700 "$work/home-$uid/run"
        chown -R "$uid:$uid" "$work/home-$uid"
    done
    if [[ ,$rights_list, == *,rtkit,* && -z ${LENTORA_RTKIT_BUS:-} ]]; then
        eval "$("$src/scripts/rtkit-services.sh" start)"
        started_rtkit=yes
    fi
    # A first start measures and stores the benchmark time, for seconds on a
    # busy machine: done here, not in the first cell's measurement.
    for uid in 0 65534; do
        # shellcheck disable=SC2046
        as "$uid" env $(lentora_env "$uid") "$lentora" /SPEED=0 /CLOSE /bin/true >/dev/null 2>&1 &
        wait_for_end $!
    done
}
as() {  # uid command... : in a fresh session, as that user (run with &: $! is then the program's pid)
    local uid=$1
    shift
    if [[ $uid == 0 ]]; then exec setsid "$@"; else exec setpriv --reuid="$uid" --regid="$uid" --clear-groups setsid "$@"; fi
}
lentora_env() {  # uid
    echo "HOME=$work/home-$1 XDG_CONFIG_HOME=$work/home-$1 XDG_RUNTIME_DIR=$work/home-$1/run DISPLAY=$display"
}
uid_of() { [[ $1 == root ]] && echo 0 || echo 65534; }

# Sysbench events per second over the report seconds FROM..TO (the report
# "[ Ks ]" ends the K-th second of the victim's life). A starved victim skips
# reports, and the next one gives the rate since the last: each counts for
# the part of its seconds inside the window.
rate() {
    sed -n 's/^\[ *\([0-9]*\)s \].* eps: \([0-9.]*\).*/\1 \2/p' "$1" |
        awk -v from="$2" -v to="$3" '
            {
                overlap = ($1 < to ? $1 : to) - (last > from ? last : from)
                if (overlap > 0) { events += $2 * overlap; seconds += overlap }
                last = $1
            }
            END { printf "%.2f", seconds ? events / seconds : 0 }'
}

# One cell: writes its raw lines (one per window) to the .tsv.
run_cell() {  # rights load victim factor
    local rights=$1 load=$2 victim=$3 factor=$4 uid
    uid=$(uid_of "$rights")
    local log=$work/victim.log err=$work/lentora.err probe=$work/probe.out threads=1 wait=4
    # Lentora takes 2 to 6 s to start on a busy machine; another session's
    # victim runs from before it starts.
    local seconds=$((wait + 6 + windows * window))
    [[ $victim == other || $victim == same ]] && seconds=$((seconds + 4))
    [[ $victim == two ]] && threads=2
    rm -f "$log" "$err"
    touch "$log" && chmod 666 "$log"
    local env
    env=$(lentora_env "$uid")
    [[ $rights == rtkit ]] && env+=" DBUS_SYSTEM_BUS_ADDRESS=$LENTORA_RTKIT_BUS"
    local bench=(/usr/bin/sysbench cpu --threads="$threads" --time="$seconds" --report-interval=1 run)
    local lpid vpid=
    if [[ $victim == launched || $victim == two ]]; then
        # The victim's output to its log through a shell that then becomes it.
        # shellcheck disable=SC2086,SC2016
        as "$uid" env $env "$lentora" /SPEED="$factor" /WAIT=$wait /CLOSE /bin/sh -c 'exec "$@" >"$0" 2>&1' "$log" \
            "${bench[@]}" >/dev/null 2>"$err" &
        lpid=$!
        probe "$work/share_probe" --lentora=$lpid --victim-name=sysbench --load="${load_pid:-0}" --windows="$windows" \
            --window="$window" --start-by=$((wait + 2)) >"$probe"
    else
        local vuid=65533
        [[ $victim == same ]] && vuid=$uid
        as "$vuid" "${bench[@]}" >"$log" 2>&1 &
        vpid=$!
        # The probe watches the victim from its start, and Lentora once its pid is written.
        rm -f "$work/lentora.pid"
        probe "$work/share_probe" --lentora=@"$work/lentora.pid" --victim=$vpid --load="${load_pid:-0}" \
            --windows="$windows" --window="$window" --start-by=$((wait + 3)) >"$probe" &
        local ppid=$!
        sleep $wait
        # shellcheck disable=SC2086
        as "$uid" env $env "$lentora" /SPEED="$factor" /CLOSE /bin/sleep $((seconds + 5)) >/dev/null 2>"$err" &
        lpid=$!
        echo "$lpid" >"$work/lentora.pid"
        wait "$ppid" || true
        pkill -P "$lpid" -x sleep 2>/dev/null || true  # the harmless launch: the watch ends, Lentora with it
    fi
    wait_for_end "$lpid"
    if [[ -n $vpid ]]; then wait "$vpid" 2>/dev/null || true; fi
    record "$rights" "$load" "$victim" "$factor" "$threads"
}

wait_for_end() {  # pid: Lentora ends with its watch; one that hangs is ended
    for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.2; done
    kill -0 "$1" 2>/dev/null && { echo "lentora $1 did not end; ended with SIGTERM" >&2; kill "$1"; }
    wait "$1" 2>/dev/null || true
}

# Appends the cell's windows to the .tsv: rights load victim factor window
# share rate slice own burners load_share outside readout readout_s span_s
# base_share loadavg probe (shares in % of a processor, per thread; the outside
# figure over the readout's last seconds where Lentora printed one, else over
# the slowed span).
record() {
    local rights=$1 load=$2 victim=$3 factor=$4 threads=$5
    local base base_rate readout span span_s loadavg probe_cost
    base=$(sed -n 's/^baseline from=\([0-9]*\) to=\([0-9]*\) share=\(.*\)/\1 \2 \3/p' "$work/probe.out")
    base_rate=$([[ -n $base ]] && rate "$work/victim.log" "${base%% *}" "$(cut -d' ' -f2 <<<"$base")" || echo 0)
    readout=$(sed -n 's/^lentora: the program ran at \([0-9.]*\) % of a processor.* over \([0-9.]*\) s;.*/\1 \2/p' \
        "$work/lentora.err" | tail -1)
    span=$(sed -n 's/^span seconds=\([0-9.]*\) share=\(.*\)/\2/p' "$work/probe.out")
    span_s=$(sed -n 's/^span seconds=\([0-9.]*\) .*/\1/p' "$work/probe.out")
    if [[ -n $readout ]]; then  # the readout's own seconds, seen from outside, per thread as the readout is
        local tail_s
        tail_s=$(awk -v s="${readout#* }" 'BEGIN { printf "%d", s + 0.5 }')
        span=$(awk -v s="$tail_s" -v t="$threads" '$1 == "tail" && $2 == "seconds=" s { sub("share=", "", $3); print $3 / t }' \
            "$work/probe.out")
        span_s=$tail_s
    fi
    loadavg=$(cut -d' ' -f1 /proc/loadavg)
    probe_cost=$(sed -n 's/^probe share=//p' "$work/probe.out")
    if [[ $factor != 0 ]] && grep -q '^slowed seen=0' "$work/probe.out"; then
        echo "$rights, $load, $victim, $factor: the burners never ran while the victim did; no window kept" >&2
        sed -i '/^window/d' "$work/probe.out"
    fi
    grep -q '^window' "$work/probe.out" || echo "$rights, $load, $victim, $factor: no window measured" \
        "($(tr '\n' ' ' <"$work/probe.out"); $(tail -2 "$work/lentora.err" | tr '\n' ' '))" >&2
    if [[ -n $out ]]; then  # each cell's own outputs, to look into a doubtful figure
        local keep
        keep=${out%.md}.logs/$rights-$load-$victim-$factor
        mkdir -p "$keep" && cp "$work/victim.log" "$work/probe.out" "$work/lentora.err" "$keep/"
    fi
    local n=0 line
    while read -r line; do
        n=$((n + 1))
        local from to share slice own burners lshare
        eval "${line#window }"  # the probe's own key=value words
        printf '%s\t%s\t%s\t%s\t%d\t%.2f\t%.2f\t%.2f\t%.3f\t%.3f\t%.1f\t%.2f\t%s\t%s\t%s\t%.1f\t%s\t%.3f\n' \
            "$rights" "$load" "$victim" "$factor" "$n" \
            "$(awk -v s="$share" -v t="$threads" 'BEGIN { print 100 * s / t }')" \
            "$(awk -v r="$(rate "$work/victim.log" "$from" "$to")" -v b="$base_rate" 'BEGIN { print (b > 0 ? 100 * r / b : 0) }')" \
            "$(awk -v s="$slice" -v t="$threads" 'BEGIN { print 100 * s / t }')" \
            "$(awk -v s="$own" 'BEGIN { print 100 * s }')" "$(awk -v s="$burners" 'BEGIN { print s }')" \
            "$(awk -v s="$lshare" 'BEGIN { print 100 * s }')" "$(awk -v s="${span:-0}" 'BEGIN { print 100 * s }')" \
            "${readout:+${readout% *}}" "${readout:+${readout#* }}" "${span_s:-}" \
            "$(awk -v s="${base##* }" -v t="$threads" 'BEGIN { print 100 * s / t }')" "$loadavg" \
            "$(awk -v s="${probe_cost:-0}" 'BEGIN { print 100 * s }')" >>"$raw"
    done < <(grep '^window' "$work/probe.out" | sed 's/ load=/ lshare=/')
}

# The probe runs in real time above the burners (9) and the window's thread
# (10): starved, it would stamp its readings late. It takes a few hundred
# microseconds every 100 ms.
probe() { chrt -f 50 "$@"; }

# shellcheck source=bench/lib.sh
source "$src/bench/lib.sh"

start_load() {
    as 65533 "$work/desktop_load" 4000 200 &
    load_pid=$!
    pids_to_end+=("$load_pid")
    sleep 0.5
}
stop_load() {
    [[ -n ${load_pid:-} ]] && { kill "$load_pid" 2>/dev/null || true; wait "$load_pid" 2>/dev/null || true; }
    load_pid=
}

measure_all() {
    local load rights victim name factor
    for load in ${loads//,/ }; do
        [[ $load == light ]] && start_load
        for rights in ${rights_list//,/ }; do
            for victim in ${victims//,/ }; do
                name="$rights, $([[ $load == none ]] && echo no || echo "$load") load, $victim"
                [[ -z $only || $name == *"$only"* ]] || continue
                for factor in ${factors//,/ }; do
                    echo "$name, factor $factor ($(cut -d' ' -f1 /proc/loadavg))" >&2
                    run_cell "$rights" "$load" "$victim" "$factor"
                done
            done
        done
        stop_load
    done
}

if [[ -n $from ]]; then
    raw=$from
else
    raw=${out:+${out%.md}.tsv}
    raw=${raw:-$work/figures.tsv}
    # The run's own line: what, when, and how busy the machine was.
    printf '# %s against %s (%s processors, windows of %s s), load average before: %s\n' \
        "$(date -u '+%Y-%m-%d %H:%M UTC')" "$lentora" "$(nproc)" "$window" "$(cut -d' ' -f1-3 /proc/loadavg)" >"$raw"
    set_up
    measure_all
    echo "# load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$raw"
fi
grep -q '^[^#]' "$raw" || { echo "no cell measured (--only=$only names none?)" >&2; exit 1; }
summary=$("$src/bench/as_users_run_it/summary.sh" "$raw")
echo "$summary"
[[ -n $out ]] && echo "$summary" >"$out"
[[ -n $curve ]] && "$src/bench/as_users_run_it/curve.sh" "$raw" "$curve"
if $docs; then
    echo "$summary" >"$work/summary.md"
    replace_between "$src/bench/README.md" "as users run it" "$work/summary.md"
    # The measurements page takes the dated line and the first table.
    awk '{ print } /^\|/ { in_table = 1 } in_table && /^$/ { exit }' "$work/summary.md" >"$work/first-table.md"
    replace_between "$src/docs/MEASUREMENTS.md" "as users run it" "$work/first-table.md"
    echo "Rewrote the tables in bench/README.md and docs/MEASUREMENTS.md." >&2
fi
exit 0
