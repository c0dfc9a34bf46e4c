#!/usr/bin/env bash
# One entry point for people and CI:
#   ./build.sh run    install what is missing, build, start Quillet
#   ./build.sh test   install what is missing, build, run every test
set -euo pipefail
cd "$(dirname "$0")"

what=${1:-run}
scripts/setup-debian.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build

case "$what" in
  run)
    exec build/bin/quillet
    ;;
  test)
    ctest --test-dir build --output-on-failure
    ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac
