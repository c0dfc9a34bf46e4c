#!/usr/bin/env bash
# One entry point for people and CI:
#   ./build.sh run    install what is missing, build, start Quillet
#   ./build.sh test   install what is missing, build, check the layering
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

scripts/setup-debian.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build

if [ "$what" = run ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # No desktop to show a window on (a server, a container): show the
    # command-line converter at work on a sample mailbox instead.
    echo "No display found; converting a sample mailbox with quillet-convert." >&2
    echo "On a desktop, this command starts the program's window." >&2
    sample=$(mktemp -d)
    build/bin/make_mailbox --format mbox-lf --size 1M "$sample/Sample Inbox" >/dev/null
    build/bin/quillet-convert --to-box "$sample/Sample Inbox"
    mkdir "$sample/back"
    build/bin/quillet-convert --to-mbox --output-dir "$sample/back" "$sample/Sample Inbox.box"
    ls -lR "$sample"
    exit 0
  fi
  exec build/bin/quillet
fi

# The code's own rules: the engine includes nothing above it, the shipped
# programs hold no test stand-in, and the format is the committed one.
scripts/check_layers.py
scripts/check_shipped_symbols.sh
scripts/check_format.sh
ctest --test-dir build --output-on-failure
tests/reliability/run_sanitized.sh build-asan
