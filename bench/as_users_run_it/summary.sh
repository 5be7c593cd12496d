#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The markdown summary of bench/as_users_run_it.sh from its raw figures:
#   summary.sh FIGURES.tsv
# First a table of the victims' processor share and work rate per factor,
# then the details per cell. A figure that several windows gave is a range.
set -euo pipefail
raw=$1
echo "Measured with \`bench/as_users_run_it.sh\`, $(grep -c '^[^#]' "$raw") windows:"
echo
sed -n 's/^# \(.*\)/- \1/p' "$raw"
echo
awk -F'\t' '
/^#/ { next }
function range(lo, hi, digits) {
    return sprintf("%." digits "f", lo) (sprintf("%." digits "f", lo) == sprintf("%." digits "f", hi) ? "" : sprintf("–%." digits "f", hi))
}
function keep(name, key, v) {
    if (!((name, key) in lo) || v < lo[name, key]) lo[name, key] = v
    if (!((name, key) in hi) || v > hi[name, key]) hi[name, key] = v
}
# Bold where a ratio is off the ideal by more than a tenth.
function ratio(name, key, ideal,   a, b, text) {
    a = lo[name, key] / ideal; b = hi[name, key] / ideal
    text = range(a, b, 2) "×"
    return (a < 0.9 || b > 1.1) ? "**" text "**" : text
}
{
    row = $1 ", " ($2 == "none" ? "no" : $2) " load, " $3; cell = row SUBSEP $4
    if (!(row in seen)) { seen[row] = 1; rows[++n] = row }
    if (!($4 in hasFactor)) { hasFactor[$4] = 1; factors[++m] = $4 }
    keep(cell, "share", $6); keep(cell, "rate", $7); keep(cell, "slice", $8); keep(cell, "own", $9)
    keep(cell, "burners", $10); keep(cell, "load", $11); keep(cell, "base", $16); keep(cell, "avg", $17); keep(cell, "probe", $18)
    # Work per processor second against before: below 1 where the short
    # slots start with cold caches.
    if ($6 > 0 && $16 > 0) keep(cell, "work", ($7 / 100) / ($6 / $16))
    outside[cell] = $12; readout[cell] = $13; readoutSeconds[cell] = $14; span[cell] = $15
    measured[cell] = 1
}
END {
    for (k = 1; k <= m; k++) {  # factors in rising order (insertion sort: mawk has no asort)
        order[k] = factors[k]
        for (j = k; j > 1 && order[j - 1] + 0 > order[j] + 0; j--) { t = order[j]; order[j] = order[j - 1]; order[j - 1] = t }
    }
    print "Each cell: the victim'\''s processor share in % of a processor (per thread for the two-thread victim) and its ratio to the ideal 100 − factor, then its work rate (sysbench events per second against its own rate just before) and its ratio. Bold: more than 10 % off."
    print ""
    printf "| rights, load, victim |"; for (k = 1; k <= m; k++) printf " %s (ideal %d) |", order[k], 100 - order[k]; print ""
    printf "|---|"; for (k = 1; k <= m; k++) printf "---|"; print ""
    for (i = 1; i <= n; i++) {
        printf "| %s |", rows[i]
        for (k = 1; k <= m; k++) {
            cell = rows[i] SUBSEP order[k]; ideal = 100 - order[k]
            if (!(cell in measured)) { printf " – |"; continue }
            printf " %s (%s) · %s (%s) |", range(lo[cell, "share"], hi[cell, "share"], 1), ratio(cell, "share", ideal),
                range(lo[cell, "rate"], hi[cell, "rate"], 1), ratio(cell, "rate", ideal)
        }
        print ""
    }
    print ""
    print "Details per cell: the largest 100 ms slice of the victim as a ratio to the ideal; Lentora'\''s own processor time apart from its burners (% of a processor); what the burners held (processors); the background load'\''s share (%); the victim'\''s share before the slow-down; its work per processor second against before (below 1 where it loses to cold caches); Lentora'\''s readout at the end of a launch against the outside figure over the same seconds (its last ones before the program'\''s end), per thread as the readout counts; the load average and the probe'\''s own processor time (%)."
    print ""
    print "| rights, load, victim | factor | largest 100 ms | Lentora apart from burners | burners held | load got | before | work per processor second | readout / outside | load avg | probe |"
    print "|---|---:|---:|---:|---:|---:|---:|---:|---|---:|---:|"
    for (i = 1; i <= n; i++) for (k = 1; k <= m; k++) {
        cell = rows[i] SUBSEP order[k]; ideal = 100 - order[k]
        if (!(cell in measured)) continue
        # Beside another session'\''s victim Lentora launched /bin/sleep: its readout is the sleep'\''s.
        if (rows[i] ~ /, (other|same)$/) r = "– (launched: /bin/sleep)"
        else r = readout[cell] == "" ? "none printed; outside " sprintf("%.2f %% over %s s", outside[cell], span[cell]) \
            : sprintf("%s %% over %s s / %.2f %% over %s s = %.2f×", readout[cell], readoutSeconds[cell], outside[cell], span[cell], outside[cell] > 0 ? readout[cell] / outside[cell] : 0)
        printf "| %s | %s | %s | %s %% | %s | %s %% | %s %% | %s | %s | %s | %s %% |\n", rows[i], order[k], ratio(cell, "slice", ideal),
            range(lo[cell, "own"], hi[cell, "own"], 2), range(lo[cell, "burners"], hi[cell, "burners"], 2),
            range(lo[cell, "load"], hi[cell, "load"], 1), range(lo[cell, "base"], hi[cell, "base"], 1),
            ((cell, "work") in lo) ? range(lo[cell, "work"], hi[cell, "work"], 2) : "–", r,
            range(lo[cell, "avg"], hi[cell, "avg"], 2), range(lo[cell, "probe"], hi[cell, "probe"], 2)
    }
}' "$raw"
