#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One entry point for people and CI:
#   ./build.sh run    install what building and running need, build the two
#                     programs, start Quillet
#   ./build.sh test   install the test tools too, build everything, check the layering
#                     and the format, run every test (then again under
#                     AddressSanitizer and UndefinedBehaviorSanitizer, with
#                     the fuzzer); the Windows suites too, under Wine, once
#                     ./build.sh windows has built Qt for MinGW
#   ./build.sh windows  install what is missing, build Qt for MinGW once
#                     (cached), build the Windows zip and installer into
#                     build-windows/
set -euo pipefail
cd "$(dirname "$0")"

what=${1:-run}
case "$what" in
  run | test | windows) ;;
  *)
    echo "usage: $0 [run|test|windows]" >&2
    exit 2
    ;;
esac

scripts/setup-debian.sh "$([ "$what" = run ] && echo run || echo test)"

if [ "$what" = windows ]; then
  # The Linux build too: the Windows tests compare their outputs with it.
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLET_BUILD_TESTS=ON >/dev/null
  cmake --build build --target quillet-convert make_mailbox
  scripts/setup-windows.sh
  if [ ! -f "$(scripts/build-qt-mingw.sh --prefix)/.complete" ]; then
    echo "The first Windows build builds Qt for MinGW-w64 from Debian's source:" >&2
    echo "20 to 35 minutes on two cores, once; later builds take 2 to 4 minutes." >&2
  fi
  exec scripts/build-windows.sh
fi

if [ "$what" = run ]; then
  # The programs alone: the tests, their libraries and tools are the test
  # command's.
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLET_BUILD_TESTS=OFF >/dev/null
  cmake --build build --target quillet quillet-convert
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # No desktop to show a window on (a server, a container): show the
    # command-line converter at work on a sample mailbox instead.
    echo "No display found; converting a sample mailbox with quillet-convert." >&2
    echo "On a desktop, this command starts the program's window." >&2
    sample=$(mktemp -d)
    trap 'rm -rf "$sample"' EXIT
    for n in 1 2 3; do
      printf 'From sample@example.org Mon Dec  7 09:0%s:00 2026\nFrom: sample@example.org\nSubject: Sample %s\n\nMessage %s.\n\n' \
        "$n" "$n" "$n"
    done >"$sample/Sample Inbox"
    build/bin/quillet-convert --to-box "$sample/Sample Inbox"
    mkdir "$sample/back"
    build/bin/quillet-convert --to-mbox --output-dir "$sample/back" "$sample/Sample Inbox.box"
    ls -lR "$sample"
    exit 0
  fi
  exec build/bin/quillet
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLET_BUILD_TESTS=ON >/dev/null
cmake --build build

# The code's own rules: the engine includes nothing above it, the shipped
# programs hold no test stand-in, the format is the committed one, and
# every source file states its licence.
scripts/check_layers.py
scripts/check_shipped_symbols.sh
scripts/check_format.sh
scripts/check_spdx.sh
ctest --test-dir build --output-on-failure
tests/reliability/run_sanitized.sh build-asan

# The Windows programs under Wine, where Qt for MinGW has been built.
if [ -f "$(scripts/build-qt-mingw.sh --prefix)/.complete" ]; then
  scripts/setup-windows.sh
  scripts/build-windows.sh test
else
  echo "Windows suites skipped: no Qt for MinGW is built here; ./build.sh windows" \
    "builds it once (20 to 35 minutes on two cores), and later runs test the" \
    "Windows programs under Wine."
fi
