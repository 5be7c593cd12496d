#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages that building and testing Lentora need,
# asking apt only when something is missing. Run as root; as an ordinary user
# it only checks, and says what to run when something is missing.
set -euo pipefail
packages=(
  g++ make ninja-build cmake pkg-config clang libclang-rt-14-dev clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev libsystemd-dev
  googletest libgtest-dev libgmock-dev
  appstream
  xvfb xauth trayer x11-utils xdotool imagemagick fonts-dejavu-core fonts-liberation
  libx11-dev desktop-file-utils man-db libcap2-bin
  dbus dbus-bin polkitd rtkit python3-dbus python3-gi
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})) && [[ $(id -u) != 0 ]]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root first:  sudo $0" >&2
  exit 1
fi
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
