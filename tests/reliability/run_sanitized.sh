#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the whole project with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test there, the fuzz test
# (reliability_fuzz, about a minute) included.
#
#   tests/reliability/run_sanitized.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-asan; a relative one is taken from the
# project's root. JOBS=N limits the build to N parallel jobs.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-build-asan}
case "$build" in
  /*) ;;
  *) build="$root/$build" ;;
esac

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_SANITIZE=ON -DQUILLET_ASSERTS=ON >/dev/null
cmake --build "$build" ${JOBS:+-j "$JOBS"}

# Any report ends the test that made it; UBSan's come with a stack trace.
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir "$build" --output-on-failure ${JOBS:+-j "$JOBS"}
