#!/usr/bin/env bash
# Installs every Debian 12 package Quillet needs to build, test, benchmark and
# run. Safe to run again: apt skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev googletest
  python3
  clang libclang-rt-14-dev          # libFuzzer and sanitizer runtimes
  xvfb xauth imagemagick xdotool    # screenshots of the real windows, clicks on them
  fonts-liberation fonts-dejavu-core  # metric-compatible stand-ins for Arial / MS Sans Serif
  xdg-utils                         # opening the instructions with the desktop's program
  time                              # peak memory figures in the benchmark
  man-db dpkg-dev file desktop-file-utils  # packaging checks
  e2fsprogs exfatprogs exfat-fuse acl  # real file systems in the reliability tests: thin ext4, exFAT, ACLs
)

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
