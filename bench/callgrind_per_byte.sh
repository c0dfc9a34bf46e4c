#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Instructions per input byte of quillet-convert in each direction, counted
# with callgrind: independent of the machine's load, unlike wall time.
# Start-up and the per-run work are taken out by subtracting a run on an
# empty mailbox of the same direction. Then the same per small mailbox:
# instructions and (with strace installed) system calls per file of a run
# over 1000 small mailboxes (0.1-0.7 KiB, mbox -> .box), less a run over one.
#
#   bench/callgrind_per_byte.sh [--build DIR] [--size 20M] [--data DIR]
#                               [--baseline PROGRAM]
#
#   --baseline PROGRAM  also count an older quillet-convert on the same
#                       files and compare its outputs with this one's
#                       byte for byte (a difference fails the script)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$repo/build
size=20M
data=$repo/bench/data/callgrind
baseline=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --data) data=$2; shift 2 ;;
    --baseline) baseline=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--size SIZE] [--data DIR] [--baseline PROGRAM]" >&2
       exit 2 ;;
  esac
done
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }
bin=$(cd "$build" && pwd)/bin
convert=$bin/quillet-convert
[ -x "$convert" ] && [ -x "$bin/make_mailbox" ] ||
  { echo "build the targets quillet-convert and make_mailbox first" >&2; exit 1; }

mkdir -p "$data"
data=$(cd "$data" && pwd)
trap 'rm -rf "$data"' EXIT
"$bin/make_mailbox" --format mbox-lf --size "$size" --seed 1 "$data/lf.mbox" >/dev/null
"$bin/make_mailbox" --format mbox-crlf --size "$size" --seed 2 "$data/crlf.mbox" >/dev/null
"$bin/make_mailbox" --format box --size "$size" --seed 3 "$data/src.box" >/dev/null
mkdir -p "$data/small" "$data/one"
awk -v dir="$data/small" 'BEGIN {
  for (i = 0; i < 1000; i++) {
    f = sprintf("%s/m%06d", dir, i)
    for (j = 0; j <= i % 7; j++)
      printf "From a@example.org Mon Jan  1 09:00:00 2024\nSubject: %d %d\n\n%s\n", i, j, "small body line" > f
    close(f)
  }
}'
cp "$data/small/m000000" "$data/one/"
: >"$data/empty.mbox"
: >"$data/empty.box"

# instructions PROGRAM OUTDIR FLAG FILE...: the instructions one run executes.
instructions() {
  local program=$1 outdir=$2 flag=$3
  shift 3
  rm -rf "$outdir"; mkdir -p "$outdir"
  valgrind --tool=callgrind --callgrind-out-file="$data/cg.out" \
    "$program" --quiet "$flag" --output-dir "$outdir" "$@" \
    2>"$data/cg.err" >/dev/null
  awk '/^summary:/ { print $2 }' "$data/cg.out"
  rm -f "$data/cg.out"
}

# per_byte PROGRAM TAG FLAG FILE EMPTY: instructions per input byte.
per_byte() {
  local program=$1 tag=$2 flag=$3 file=$4 empty=$5
  local full none bytes
  full=$(instructions "$program" "$data/out-$tag" "$flag" "$file")
  none=$(instructions "$program" "$data/out-empty" "$flag" "$empty")
  bytes=$(stat -c %s "$file")
  echo "($full - $none) / $bytes" | bc -l
}

printf '%-22s %10s' "instructions per byte" "this build"
[ -n "$baseline" ] && printf ' %10s %8s' "baseline" "ratio"
echo
for row in "LF mbox -> .box|--to-box|lf.mbox|empty.mbox" \
           "CR LF mbox -> .box|--to-box|crlf.mbox|empty.mbox" \
           ".box -> mbox|--to-mbox|src.box|empty.box"; do
  IFS='|' read -r name flag file empty <<<"$row"
  ours=$(per_byte "$convert" new "$flag" "$data/$file" "$data/$empty")
  printf '%-22s %10.2f' "$name" "$ours"
  if [ -n "$baseline" ]; then
    theirs=$(per_byte "$baseline" old "$flag" "$data/$file" "$data/$empty")
    printf ' %10.2f %8.2f' "$theirs" "$(echo "$ours / $theirs" | bc -l)"
    diff -r "$data/out-new" "$data/out-old" >/dev/null ||
      { echo; echo "outputs differ from the baseline's for $file" >&2; exit 1; }
    printf '  same bytes'
  fi
  echo
done

# small_files PROGRAM TAG: instructions and system calls per small mailbox.
small_files() {
  local program=$1 tag=$2 many one
  local -a all=("$data"/small/m*)
  many=$(instructions "$program" "$data/out-small-$tag" --to-box "${all[@]}")
  one=$(instructions "$program" "$data/out-one" --to-box "$data/one/m000000")
  printf ' %10.0f' "$(echo "($many - $one) / 999" | bc -l)"
  if command -v strace >/dev/null; then
    rm -rf "$data/out-s"; mkdir -p "$data/out-s"
    many=$(strace -f -c -o "$data/st" "$program" --quiet --to-box --output-dir "$data/out-s" "${all[@]}" >/dev/null 2>&1; awk '$NF == "total" { print $4 }' "$data/st")
    rm -rf "$data/out-s"; mkdir -p "$data/out-s"
    one=$(strace -f -c -o "$data/st" "$program" --quiet --to-box --output-dir "$data/out-s" "$data/one/m000000" >/dev/null 2>&1; awk '$NF == "total" { print $4 }' "$data/st")
    printf ' %6.1f calls' "$(echo "($many - $one) / 999" | bc -l)"
  fi
}

printf '%-22s' "per small mailbox"
small_files "$convert" new
if [ -n "$baseline" ]; then
  small_files "$baseline" old
  diff -r "$data/out-small-new" "$data/out-small-old" >/dev/null ||
    { echo; echo "small outputs differ from the baseline's" >&2; exit 1; }
  printf '  same bytes'
fi
echo
