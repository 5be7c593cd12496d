#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures the slow-down curve in every configuration (bench/slowdown_bench,
# as root) and rewrites every figure taken from it: the dated tables in
# bench/README.md, the summary table in docs/MEASUREMENTS.md and docs/slowdown-curve.png.
#
# Usage, as root: bench/slowdown_tables.sh [BUILD_DIR] [slowdown_bench options]
# (BUILD_DIR defaults to build/ in the source folder; --seconds=S sets the
# window, 5 s by default: about 35 minutes in all.) The figures are kept in docs/slowdown-curve.tsv;
# bench/slowdown_tables.sh --replot draws the picture again from them.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
replot=false
if [ "${1:-}" = --replot ]; then replot=true; shift; fi
build=${1:-$src/build}
[ $# -gt 0 ] && shift
data=$src/docs/slowdown-curve.tsv
if ! $replot && [ "$(id -u)" != 0 ]; then
  echo "Run as root: the benchmark runs parts as another user and sets a capability." >&2
  exit 1
fi
for tool in gnuplot:gnuplot-nox sysbench:sysbench; do
  command -v "${tool%%:*}" >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${tool#*:}"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if $replot; then
  today=$(sed -n 's/^# measured //p' "$data")
else
cmake --build "$build" --target slowdown_bench
# The desktop's real-time service on a private bus, for the RealtimeKit
# configuration (an ordinary user whose only right is the service).
if [ -z "${LENTORA_RTKIT_BUS:-}" ] && [ -x /usr/libexec/rtkit-daemon ]; then
  eval "$("$src/scripts/rtkit-services.sh" start)"
  trap 'rm -rf "$work"; "$src/scripts/rtkit-services.sh" stop "$LENTORA_RTKIT_DIR"' EXIT
fi
"$build/bench/slowdown_bench" --data="$work/curve.tsv" --latency "$@" | tee "$work/tables.md"
today=$(date -u +%Y-%m-%d)
load=$(cut -d' ' -f1-3 /proc/loadavg)
{ echo "# measured $today"; cat "$work/curve.tsv"; } > "$data"

# shellcheck source=bench/lib.sh
source "$src/bench/lib.sh"

# bench/README.md: the full tables, dated.
{
  echo "Measured $today with \`bench/slowdown_tables.sh\` (load average at the end: $load):"
  echo
  cat "$work/tables.md"
} > "$work/bench-section.md"
replace_between "$src/bench/README.md" "slowdown tables" "$work/bench-section.md"

# docs/MEASUREMENTS.md: one column per configuration, "launched / other session, free".
awk -F'\t' -v today="$today" '
  /^#/ { next }
  !($1 in seen) { seen[$1] = 1; names[++n] = $1 }
  { cell[$1, $2] = $4 " / " $6 " / " $7; factors[$2] = 1; ideal[$2] = $3 }
  END {
    printf "Measured %s (`bench/slowdown_tables.sh`, 5-second windows); each cell: a launched program / a program of another session / a program with a busy thread per processor (pinned, sysbench and the largest 100 ms slice in bench/README.md).\n\n", today
    printf "| factor | window shows |"; for (i = 1; i <= n; i++) printf " %s |", names[i]; print ""
    printf "|---:|---:|"; for (i = 1; i <= n; i++) printf "---:|"; print ""
    split("0 10 25 50 75 90 95 96 97 98", order, " ")
    for (k = 1; k <= 10; k++) {
      f = order[k]; if (!(f in factors)) continue
      printf "| %s | %s %% |", f, ideal[f]
      for (i = 1; i <= n; i++) printf " %s |", ((names[i], f) in cell) ? cell[names[i], f] " %" : "–"
      print ""
    }
  }' "$data" > "$work/readme-section.md"
replace_between "$src/docs/MEASUREMENTS.md" "slowdown summary" "$work/readme-section.md"
fi

# docs/slowdown-curve.png: a panel per configuration, each victim a curve
# against the ideal line.
awk -F'\t' '/^#/ { next } !($1 in seen) { seen[$1] = ++n } { print > ("'"$work"'/config-" seen[$1] ".tsv") }' "$data"
panels=""
i=0
while IFS= read -r name; do
  i=$((i + 1))
  panels+="set title '$name'
plot 100 - x notitle with lines lw 2 lc rgb 'gray40', \
  '$work/config-$i.tsv' using 2:4 title 'launched' with linespoints lc 1 pt 7, \
  '$work/config-$i.tsv' using 2:6 title 'other session' with linespoints lc 2 pt 6, \
  '$work/config-$i.tsv' using 2:7 title 'busy threads' with linespoints lc 3 pt 4, \
  '$work/config-$i.tsv' using 2:8 title 'sysbench' with linespoints lc 4 pt 2
"
done < <(awk -F'\t' '/^#/ { next } !($1 in seen) { seen[$1] = 1; print $1 }' "$data")
columns=$(( i < 3 ? i : 3 ))
rows=$(( (i + columns - 1) / columns ))
gnuplot <<EOF
set terminal pngcairo noenhanced size $((430 * columns)),$((360 * rows + 40)) font 'DejaVu Sans,9'
set output '$src/docs/slowdown-curve.png'
set multiplot layout $rows,$columns title "Speed of CPU-bound programs against the slow-down factor, 5-second windows ($today); gray: 100 - factor"
set xlabel 'slow-down factor (%)'
set ylabel 'speed (%)'
set xrange [0:100]
set yrange [0:110]
set grid
set key top right font ',8'
set datafile separator "\t"
$panels
unset multiplot
EOF
echo "Rewrote bench/README.md, docs/MEASUREMENTS.md, docs/slowdown-curve.tsv and docs/slowdown-curve.png."
