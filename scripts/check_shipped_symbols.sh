#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a shipped program carries a test stand-in: the test-only
# libraries (tests/support, tests/reliability) must never be linked into
# quillet or quillet-convert.
#
#   scripts/check_shipped_symbols.sh [program ...]
#
# Without arguments looks at build/bin/quillet and build/bin/quillet-convert
# below the project's root. Prints every offending symbol with its program
# and exits 1 when there is any, 2 when a program is missing or nm fails,
# 0 otherwise.
#
# A stand-in is a name that starts with one of the stand-ins' words (Fake,
# Forwarding, Recording, Fault, MemoryFile/Input/Output, FailingOutput,
# CappedOutput, WrappedFileLayer), matched case-sensitively at the start of
# a name so that words such as "Default" do not count, or anything in the
# tests' namespaces quillet::testing and quillet::reliability.

root=$(cd "$(dirname "$0")/.." && pwd)
if [ "$#" -eq 0 ]; then
  set -- "$root/build/bin/quillet" "$root/build/bin/quillet-convert"
fi

pattern='(^|[^A-Za-z0-9_])(Fake|Forwarding|Recording|Fault|Memory(File|Input|Output)|FailingOutput|CappedOutput|WrappedFileLayer)[A-Za-z0-9_]*|quillet::(testing|reliability)::'

status=0
for program in "$@"; do
  if [ ! -f "$program" ]; then
    echo "check_shipped_symbols: $program does not exist (build it first)" >&2
    exit 2
  fi
  if ! symbols=$(nm -C "$program"); then
    echo "check_shipped_symbols: nm cannot read $program" >&2
    exit 2
  fi
  found=$(printf '%s\n' "$symbols" | sed 's/^[0-9a-fA-F]* *[A-Za-z?-] //' |
          grep -E "$pattern" | sort -u)
  if [ -n "$found" ]; then
    echo "$program carries test stand-ins:"
    printf '%s\n' "$found" | sed 's/^/  /'
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "no test stand-ins in: $*"
exit "$status"
