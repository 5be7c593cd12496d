#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the curve of bench/as_users_run_it.sh from its raw figures: a panel
# per rights and load, the processor share of each victim (the mean of its
# windows; per thread for the two-thread victim) against the factor, and the
# ideal 100 - factor in gray, on a logarithmic scale so that at the top of the
# range a factor of two off shows as far off as it is.
#   curve.sh FIGURES.tsv OUT.png
set -euo pipefail
raw=$1 png=$2
command -v gnuplot >/dev/null || { echo "needs gnuplot (apt-get install gnuplot-nox)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One file per panel, "factor launched other same two" a line (– where not measured).
awk -F'\t' -v dir="$work" '
/^#/ { next }
{
    panel = $1 ", " ($2 == "none" ? "no" : $2) " load"
    if (!(panel in seen)) { seen[panel] = ++n; names[n] = panel }
    sum[panel, $4, $3] += $6; count[panel, $4, $3]++; factors[panel, $4] = 1
}
END {
    split("launched other same two", victims, " ")
    for (i = 1; i <= n; i++) {
        file = dir "/panel-" i ".tsv"
        print names[i] > (dir "/panel-" i ".name")
        for (f = 0; f <= 100; f++) {
            if (!((names[i], f) in factors)) continue
            line = f
            for (v = 1; v <= 4; v++) {
                key = names[i] SUBSEP f SUBSEP victims[v]
                line = line "\t" ((key in count) ? sum[key] / count[key] : "NaN")
            }
            print line > file
        }
    }
}' "$raw"
plots=""
panels=0
for file in "$work"/panel-*.tsv; do
    panels=$((panels + 1))
    plots+="set title '$(cat "${file%.tsv}.name")'
plot 100 - x notitle with lines lw 2 lc rgb 'gray40', \
  '$file' using 1:2 title 'launched' with linespoints lc 1 pt 7, \
  '$file' using 1:3 title 'other user' with linespoints lc 2 pt 6, \
  '$file' using 1:4 title 'same user' with linespoints lc 3 pt 4, \
  '$file' using 1:5 title 'two threads (each)' with linespoints lc 4 pt 2
"
done
columns=$((panels < 2 ? panels : 2))
rows=$(((panels + columns - 1) / columns))
gnuplot <<GNUPLOT
set terminal pngcairo noenhanced size $((480 * columns)),$((360 * rows + 40)) font 'DejaVu Sans,9'
set output '$png'
set multiplot layout $rows,$columns title "A busy program's share against the factor, lentora measured from outside\n(logarithmic: a ratio is a distance; gray: 100 - factor)"
set xlabel 'slow-down factor (%)'
set ylabel 'share of a processor (%)'
set xrange [0:100]
set logscale y
set yrange [0.2:150]
set samples 99
set grid
set key top right font ',8'
set datafile separator "\t"
set datafile missing "NaN"
$plots
unset multiplot
GNUPLOT
