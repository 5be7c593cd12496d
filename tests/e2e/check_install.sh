#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs Lentora into a temporary prefix and checks what a desktop user and a
# distribution get: the program, its help file where the help window looks, the
# menu entry, the icons, the metainfo, the manual page (with the paths of the
# configured prefix), the README, the credits and the licence; then starts the
# installed program. tests/e2e/check_package.sh does the same for the Debian
# package.
# Usage: check_install.sh <cmake> <build dir> <test child> <version> <configured prefix>
set -euo pipefail
cmake_command=$1 build=$2 child=$3 version=$4 configured=$5
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake_command" --install "$build" --prefix "$prefix" >/dev/null

[[ -x $prefix/bin/lentora ]] || fail "bin/lentora is missing or not executable"
[[ $("$prefix/bin/lentora" --version) == "Lentora $version" ]] || fail "--version does not say Lentora $version"
for file in share/applications/lentora.desktop share/icons/hicolor/scalable/apps/lentora.svg \
            share/man/man1/lentora.1; do
  [[ -s $prefix/$file ]] || fail "$file is missing"
done
# The help window and the About box's links look in <bindir>/../share/lentora.
for file in lentora.hlp README.md credits.html LICENSE COPYRIGHT; do
  [[ -s $prefix/bin/../share/lentora/$file ]] || fail "$file is not where the program looks"
done
# Fault: the help's setcap line named /usr/local/bin/lentora in a /usr install.
grep -qF "setcap cap_sys_nice+ep $configured/bin/lentora" "$prefix/share/lentora/lentora.hlp" ||
  fail "the help does not name the program of the configured prefix"
# The installed README links only what is installed beside it.
links=$(grep -oE '\]\([^)#]+' "$prefix/share/lentora/README.md" | cut -c3- | grep -v '^https\?:' || true)
for link in $links; do
  [[ -e $prefix/share/lentora/$link ]] || fail "the installed README links $link, which is not installed"
done

# Each icon must be a PNG of the size of the folder it is in.
for size in 16 22 24 32 48 64 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/lentora.png
  [[ -s $icon ]] || fail "the ${size}x${size} icon is missing"
  [[ $(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || fail "the $size icon is not a PNG"
  [[ $(od -An -j16 -N8 -tu4 --endian=big "$icon" | xargs) == "$size $size" ]] || fail "the icon is not ${size}x${size}"
done

# The texts made from templates carry the build's version and paths, no placeholder.
# Pictures are skipped (-I): a PNG's bytes may happen to read as one.
left=$(grep -rlIE '@[A-Z_]+@' "$prefix/share" || true)
[[ -z $left ]] || fail "placeholders left in: $left"
metainfo=$(echo "$prefix"/share/metainfo/*.metainfo.xml)
[[ -f $metainfo ]] || fail "the metainfo is missing"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo does not name version $version"
appstreamcli validate --no-net --pedantic "$metainfo" >/dev/null || fail "the metainfo does not validate:
$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1)"

desktop=$prefix/share/applications/lentora.desktop
grep -qx 'Exec=lentora' "$desktop" || fail "the desktop entry does not start lentora"
grep -qx 'Icon=lentora' "$desktop" || fail "the desktop entry does not name the icon"
grep -qx 'StartupWMClass=Lentora' "$desktop" || fail "the desktop entry does not name the window class"
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
[[ $(grep -c '^Categories=' "$desktop") == 1 ]] || fail "the desktop entry needs one Categories line"

if command -v man >/dev/null; then
  page=$prefix/share/man/man1/lentora.1
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man warns about the page: $warnings"
  text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null | col -b)
  for word in /NOCPUID /MINIMIZE /CLOSE /WAIT= /RUNFOR= /SPEED= /VIRTSPEED= //foo lentora.ini registry.reg \
              EXAMPLES "EXIT STATUS" "cap_sys_nice" "GPL-3.0-or-later" "$configured/bin/lentora" \
              "$configured/share/lentora/lentora.hlp" "Copyright"; do
    grep -qF -- "$word" <<<"$text" || fail "the manual page does not mention $word"
  done
else
  echo "note: man is not installed; manual page not rendered"
fi

# The installed program starts, measures, launches and ends with /CLOSE.
home=$prefix/home
mkdir -p "$home"
status=0
(cd "$home" && HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home QT_QPA_PLATFORM=offscreen \
  LENTORA_CHILD_RECORD=$home/record timeout 60 "$prefix/bin/lentora" /CLOSE "$child" installed) \
  >/dev/null 2>&1 || status=$?
[[ $status == 0 ]] || fail "the installed program ended with status $status"
grep -qx 'arg=installed' "$home/record" || fail "the installed program did not launch its program"
grep -q '"bench"=dword:' "$home/.config/lentora/registry.reg" || fail "the installed program kept no benchmark"
echo "installed tree is complete"
