#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages that Lentora needs, asking apt only when
# something is missing: what building and running need, and with --tests
# (test.sh, CI) the tools of the test suite too. Run as root; as an ordinary
# user it only checks, and says what to run when something is missing.
# Without dpkg-query (Fedora, Arch ...) it names the packages to look for and
# leaves the build to try with what is there.
# Exit status: 0 when the build may go on, 1 when packages are missing.
set -euo pipefail
build=(g++ make ninja-build cmake pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libsystemd-dev)
tests=(
  clang libclang-rt-14-dev clang-format
  googletest libgtest-dev
  appstream
  xvfb xauth trayer x11-utils xdotool imagemagick fonts-dejavu-core fonts-liberation
  libx11-dev desktop-file-utils man-db libcap2-bin
  build-essential debhelper lintian
  dbus dbus-bin polkitd rtkit python3-dbus python3-gi
)
packages=("${build[@]}")
[[ ${1:-} == --tests ]] && packages+=("${tests[@]}")

if ! command -v dpkg-query >/dev/null; then
  echo "No dpkg-query here: not checking packages. On Debian they are: ${packages[*]}" >&2
  echo "Install your distribution's equivalents (CMake 3.25, Ninja, a C++20 compiler, Qt 6 Base" >&2
  echo "with its development files, libsystemd's sd-bus); trying the build with what is there." >&2
  exit 0
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})) && [[ $(id -u) != 0 ]]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root first:  sudo $0 ${1:-}" >&2
  exit 1
fi
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
