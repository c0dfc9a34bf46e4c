#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages the Windows build needs on top of the
# Linux ones: the MinGW-w64 cross compiler (posix threads), Wine to run the
# tests, NSIS for the installer, GoogleTest's source, and Debian's qt6-base
# source (which needs a deb-src entry for apt). Safe to run again.
set -euo pipefail

packages=(
  g++-mingw-w64-x86-64-posix mingw-w64-tools  # the cross compiler, windres
  wine wine64                                  # the Windows programs' tests
  nsis                                         # the installer
  googletest                                   # /usr/src/googletest
  dpkg-dev                                     # apt-get source
  qt6-base-dev qt6-translations-l10n           # moc, rcc, uic; Qt's catalogues
  fonts-liberation fonts-wqy-microhei  # Latin and Chinese names in the windows
  python3 xvfb xdotool imagemagick openbox  # tests, screenshots
)

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
updated=0
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update -qq
  updated=1
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# apt-get source needs the source lists of the same suites.
if ! grep -rqs '^Types: deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  echo "Adding Debian's source lists (deb-src) for qt6-base's source." >&2
  $sudo tee /etc/apt/sources.list.d/quillet-debian-src.sources >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  updated=0
fi
if [ "$updated" -eq 0 ] && ! apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package:'; then
  $sudo apt-get update -qq
fi
