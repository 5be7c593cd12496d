#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when the program holds a test double. Every fake is named Fake...
# (tests/support/fakes), so a symbol with that name in the program means a
# fake was compiled into one of its libraries.
set -eu
program=${1:?usage: no_fakes_in_program.sh PROGRAM}
symbols=$(nm -C "$program")
# Without symbols (a stripped program) there is nothing to check against.
if ! printf '%s\n' "$symbols" | grep -q 'Tform1'; then
    echo "no symbols of the main window in $program: cannot check it" >&2
    exit 1
fi
fakes=$(printf '%s\n' "$symbols" | grep 'Fake' || true)
if [ -n "$fakes" ]; then
    echo "test doubles in $program:" >&2
    printf '%s\n' "$fakes" | head -n 20 >&2
    exit 1
fi
echo "no test doubles in $program"
