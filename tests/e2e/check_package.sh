#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package as a distribution builds it and a user installs it:
# built from a copy of the source tree with dpkg-buildpackage (tests off),
# checked by lintian, installed with dpkg -i, started with --version, its menu
# entry and run-time files checked, then purged. Changes the system: run as
# root on a machine that may get and lose the package (CI).
# Usage: check_package.sh [source tree]
set -euo pipefail
source_tree=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
[[ $(id -u) == 0 ]] || fail "run as root: the package is installed and purged"
work=$(mktemp -d)
trap 'dpkg --purge lentora >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

# The build folders and the repository itself are not part of the source.
mkdir "$work/lentora"
tar -C "$source_tree" --exclude='./build*' --exclude=./.git --exclude='./debian/.debhelper' -cf - . |
  tar -C "$work/lentora" -xf -
(cd "$work/lentora" && dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1 ||
  fail "dpkg-buildpackage failed:
$(tail -30 "$work/build.log")"
deb=$(echo "$work"/lentora_*.deb)
[[ -f $deb ]] || fail "no package was built"
echo "built $(basename "$deb")"

# Errors and warnings fail; the informational tags are shown only.
lintian_out=$(lintian --fail-on error,warning --display-info "$work"/lentora_*.changes 2>&1) ||
  fail "lintian:
$lintian_out"
lintian_out=$(grep -v 'running with root privileges' <<<"$lintian_out" || true)
[[ -z $lintian_out ]] || echo "lintian says: $lintian_out"

dpkg -i "$deb" >/dev/null || fail "dpkg -i failed"
version=$(dpkg-query -W -f='${Version}' lentora)
[[ $(lentora --version) == "Lentora $version" ]] || fail "lentora --version says \"$(lentora --version)\", the package $version"
desktop=/usr/share/applications/lentora.desktop
desktop-file-validate "$desktop" || fail "the menu entry does not validate"
grep -qx 'Exec=lentora' "$desktop" || fail "the menu entry does not start lentora"
grep -qx 'StartupWMClass=Lentora' "$desktop" || fail "the menu entry names no window class"
[[ -s /usr/share/icons/hicolor/48x48/apps/lentora.png ]] || fail "the menu entry's icon is missing"
# What the program opens at run time is where no compression reaches it.
for file in lentora.hlp README.md credits.html LICENSE COPYRIGHT docs/MEASUREMENTS.md docs/main-window.png; do
  [[ -s /usr/share/lentora/$file ]] || fail "/usr/share/lentora/$file is missing"
done
grep -q 'setcap cap_sys_nice+ep /usr/bin/lentora' /usr/share/lentora/lentora.hlp ||
  fail "the help does not name the installed program"

dpkg --purge lentora >/dev/null || fail "dpkg --purge failed"
[[ ! -e /usr/bin/lentora && ! -e /usr/share/lentora ]] || fail "files are left after the purge"
echo "the package builds, passes lintian, installs, runs and purges"
