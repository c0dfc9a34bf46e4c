#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages Quillet needs. Safe to run again: apt skips
# what is already there.
#
#   scripts/setup-debian.sh run    what building and running the programs need
#   scripts/setup-debian.sh test   that, and every tool of the tests, the
#                                  benchmark and the package checks (default)
set -euo pipefail

set_name=${1:-test}

# Building and running: the compiler and build tools, Qt, and what the
# program uses at run time without linking it.
run_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-translations-l10n             # Qt's own dialog texts in German and French
  fonts-liberation fonts-dejavu-core  # metric-compatible stand-ins for Arial / MS Sans Serif
  xdg-utils                         # opening the instructions with the desktop's program
)

# The tests, the benchmark and the package checks.
test_packages=(
  ccache                            # rebuilds of the many test programs from the cache
  libgtest-dev googletest
  python3
  clang libclang-rt-14-dev          # libFuzzer and sanitizer runtimes
  clang-format                      # the format check of the test command
  xvfb xauth imagemagick xdotool    # screenshots of the real windows, clicks on them
  openbox x11-utils                 # a window manager for the screenshots; xprop
  time                              # peak memory figures in the benchmark
  valgrind strace                   # the benchmark's instruction counts and system calls per file
  mutt neomutt dovecot-core procmail git    # real mbox writers and readers for the round-trip test
  man-db dpkg-dev file              # the package test: manual pages, the package's fields
  lintian devscripts                # the package test: Debian's checks, hardening-check
  appstream desktop-file-utils      # the package test: metainfo and desktop entry
  shared-mime-info libglib2.0-bin   # the package test: the .box MIME type (gio)
  locales                           # Turkish locales for the date parser's case test
  e2fsprogs exfatprogs exfat-fuse acl  # real file systems in the reliability tests: thin ext4, exFAT, ACLs
  bindfs                            # a second view of a folder through FUSE, with other file identities
)

case "$set_name" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac

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

[ "$set_name" = test ] || exit 0

# The date parser's test runs under Turkish locales, where "I" is not the
# capital of "i"; it skips when they are missing.
if ! locale -a 2>/dev/null | grep -qx 'tr_TR.utf8' ||
   ! locale -a 2>/dev/null | grep -qx 'tr_TR.iso88599'; then
  for l in "tr_TR.UTF-8 UTF-8" "tr_TR ISO-8859-9"; do
    grep -qx "$l" /etc/locale.gen || echo "$l" | $sudo tee -a /etc/locale.gen >/dev/null
  done
  $sudo locale-gen
fi
