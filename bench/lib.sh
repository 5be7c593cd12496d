# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the benchmark scripts that rewrite the documentation's tables;
# they set $work to their scratch folder first.

# Replaces the lines between "<!-- NAME: begin -->" and "<!-- NAME: end -->"
# of a file with the content of another file.
replace_between() {
    local file=$1 name=$2 content=$3
    grep -q "^<!-- $name: begin -->" "$file" || { echo "$file has no \"$name\" marks" >&2; return 1; }
    awk -v begin="<!-- $name: begin -->" -v end="<!-- $name: end -->" '
        FNR == NR { text = text $0 "\n"; next }
        $0 == begin { print; printf "%s", text; skipping = 1; next }
        $0 == end { skipping = 0 }
        !skipping { print }' "$content" "$file" >"$work/replaced"
    cat "$work/replaced" >"$file"
}
