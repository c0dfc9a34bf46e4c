#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows programs, built from Linux with MinGW-w64 against the Qt that
# scripts/build-qt-mingw.sh built (once, cached), into build-windows/:
#   Quillet-<version>-win64.zip   the program's folder, runs where unpacked
#   Quillet-<version>-setup.exe   the NSIS installer (/S: silent)
#
#   scripts/build-windows.sh        build both
#   scripts/build-windows.sh test   and run the Windows suites under Wine
# The Linux build (build/) must exist: the tests compare with its outputs.
set -euo pipefail
cd "$(dirname "$0")/.."

qt=$(scripts/build-qt-mingw.sh)
echo "Building Quillet for Windows against $qt" >&2
cmake -S . -B build-windows -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DQUILLET_LINUX_BUILD="$PWD/build" >/dev/null
cmake --build build-windows
cmake --build build-windows --target quillet_zip quillet_installer
ls -l build-windows/Quillet-*-win64.zip build-windows/Quillet-*-setup.exe

if [ "${1:-}" = test ]; then
  # One Wine prefix and server for the whole run; ended afterwards.
  export WINEPREFIX=$PWD/build-windows/wineprefix
  trap 'WINEPREFIX=$PWD/build-windows/wineprefix wineserver -k 2>/dev/null || true' EXIT
  # A persistent server and Wine's services, started here on /dev/null,
  # away from the tests' output pipes (wine_run.sh.in).
  wineserver -k 2>/dev/null || true
  # (wineserver exits 1 even when it has started the server.)
  wineserver -p </dev/null >/dev/null 2>&1 || true
  WINEDEBUG=-all wineboot </dev/null >/dev/null 2>&1
  ctest --test-dir build-windows --output-on-failure --timeout 900
fi
