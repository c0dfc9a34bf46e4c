#!/usr/bin/env bash
# One entry point for people and CI:
#   ./build.sh run    install what building and running need, build the two
#                     programs, start Quillet
#   ./build.sh test   install the test tools too, build everything, check the layering
#                     and the format, run every test (then again under
#                     AddressSanitizer and UndefinedBehaviorSanitizer, with
#                     the fuzzer)
set -euo pipefail
cd "$(dirname "$0")"

what=${1:-run}
case "$what" in
  run | test) ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac

scripts/setup-debian.sh "$what"

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
# programs hold no test stand-in, and the format is the committed one.
scripts/check_layers.py
scripts/check_shipped_symbols.sh
scripts/check_format.sh
ctest --test-dir build --output-on-failure
tests/reliability/run_sanitized.sh build-asan
