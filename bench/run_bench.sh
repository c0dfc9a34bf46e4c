#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times quillet-convert against plain copies and an awk rewrite of the same
# files, in one run, alternating the commands and taking medians, and prints
# ratios and peak memory. See bench/README.md.
#
#   bench/run_bench.sh [--build DIR] [--size 512M] [--runs 5] [--big]
#                      [--data DIR] [--keep] [--baseline PROGRAM]
#                      [--small N] [--check N] [--only small|large]
#
#   --build DIR  the CMake build folder holding bin/ (default: build)
#   --size SIZE  size of the generated mailboxes (default: 512M)
#   --runs N     timed runs of each command (default: 5)
#   --big        also convert a source over 4 GiB both ways and compare the
#                round trip byte for byte (needs ~13 GiB free and minutes)
#   --data DIR   where the files go (default: bench/data, git-ignored)
#   --keep       keep the generated files
#   --baseline PROGRAM  also time another quillet-convert (an older build)
#                on the same files, alternating with this one
#   --small N    N small mailboxes in one run against cp of the same files
#                followed by sync (default: 10000; 0 skips)
#   --check N    the job check alone over N mailboxes whose outputs exist
#                (default: 100000; 0 skips)
#   --only small|large  only the small-mailbox figures (--small, --check)
#                or only the large-file ones
##   --no-callgrind  skip the instruction counts (bench/callgrind_per_byte.sh,
#                run first when valgrind is installed: instructions per
#                input byte per direction, and per small mailbox)
#
# When the build holds bin/gui_run_bench (the window's run), it is timed on
# the same files with the same arguments as quillet-convert:
#   gui_run_bench (--to-box | --to-mbox) --output-dir DIR FILE
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$repo/build
size=512M
runs=5
big=0
data=$repo/bench/data
keep=0
baseline=""
small=10000
check=100000
only=""
callgrind=1
while [ $# -gt 0 ]; do
  case "$1" in
    --baseline) baseline=$2; shift 2 ;;
    --small) small=$2; shift 2 ;;
    --check) check=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --no-callgrind) callgrind=0; shift ;;
    --build) build=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --big) big=1; shift ;;
    --data) data=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--build DIR] [--size SIZE] [--runs N] [--big] [--data DIR] [--keep] [--baseline PROGRAM] [--small N] [--check N] [--only small|large] [--no-callgrind]" >&2
       exit 2 ;;
  esac
done

bin=$(cd "$build" && pwd)/bin
convert=$bin/quillet-convert
make_mailbox=$bin/make_mailbox
for program in "$convert" "$make_mailbox" /usr/bin/time; do
  [ -x "$program" ] || { echo "missing $program (build the targets quillet-convert and make_mailbox)" >&2; exit 1; }
done
gui_bench=""
[ -x "$bin/gui_run_bench" ] && gui_bench=$bin/gui_run_bench

mkdir -p "$data"
data=$(cd "$data" && pwd)
out=$data/out
cleanup() {
  rm -rf "$out"
  rm -f "$data"/.t.* "$data"/.m.* "$data"/.c.* "$data/.mem" "$data/.stdout"
  if [ "$keep" -eq 0 ]; then
    rm -f "$data"/src.mbox "$data"/src-crlf.mbox "$data"/src.box \
          "$data"/line.txt "$data"/big.box "$data"/big
    rm -rf "$data"/roundtrip "$data"/small "$data"/small-out
  fi
}
trap cleanup EXIT

export LC_ALL=C

# Separator rewrites as one-liners, for comparison: mbox to .box (every line
# beginning "From " becomes the 14-byte separator, lines end in CR LF) and
# .box to mbox (separator to a "From - " line, CR LF to LF, ">From" quoting;
# no date lookup, so it does less than the converter).
awk_to_box='BEGIN { ORS = "\r\n" } { sub(/\r$/, "") } /^From / { print "\020\020\020\020\020\020\020\021\021\021\021\021\021S"; next } { print }'
awk_to_mbox='{ sub(/\r$/, "") } /^\020\020\020\020\020\020\020\021\021\021\021\021\021S/ { print "From - Thu Jan  1 00:00:00 1970"; next } /^>*From / { print ">" $0; next } { print }'

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
max() { sort -n | tail -n 1; }

# timed NAME COMMAND...: runs COMMAND once with an empty output folder, no
# dirty pages left from the run before and the source in the page cache;
# appends its wall time (s), peak resident memory (KiB) and processor time
# (user + system, s; steadier than wall time on a busy machine) to NAME's
# lists.
timed() {
  local name=$1; shift
  rm -rf "$out"; mkdir -p "$out"
  sync
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M %U %S' -o "$data/.mem" "$@" >"$data/.stdout"
  end=$(date +%s%N)
  echo "($end - $start) / 1000000000" | bc -l >>"$data/.t.$name"
  tail -n 1 "$data/.mem" | awk '{ print $1 }' >>"$data/.m.$name"
  tail -n 1 "$data/.mem" | awk '{ print $2 + $3 }' >>"$data/.c.$name"
}

# bench_one NAME: one timed run of the command NAME on $src (set by
# bench_direction), checking the message count quillet-convert reports.
bench_one() {
  case $1 in
    cat) timed cat sh -c 'cat "$1" > "$2"' sh "$src" "$out/copy" ;;
    cat_sync) timed cat_sync sh -c 'cat "$1" > "$2" && sync "$2"' sh "$src" "$out/copy" ;;
    # cat copies inside the kernel (copy_file_range); dd passes every byte
    # through a user-space buffer, as any converter must.
    dd) timed dd dd if="$src" of="$out/copy" bs=1M status=none ;;
    # The durable user-space copy: what the converter's checked sync must
    # be measured against.
    dd_sync) timed dd_sync dd if="$src" of="$out/copy" bs=1M conv=fdatasync status=none ;;
    awk) timed awk sh -c 'awk "$1" "$2" > "$3"' sh "$program" "$src" "$out/awk" ;;
    awk_sync) timed awk_sync sh -c 'awk "$1" "$2" > "$3" && sync "$3"' sh "$program" "$src" "$out/awk" ;;
    convert)
      timed convert "$convert" --quiet "$flag" --output-dir "$out" "$src"
      local reported
      reported=$(cut -f 3 "$data/.stdout")
      if [ "$reported" != "$expected" ]; then
        echo "FAIL: $title: quillet-convert reported $reported messages, expected $expected" >&2
        exit 1
      fi
      ;;
    baseline)
      timed baseline "$baseline" --quiet "$flag" --output-dir "$out" "$src" ;;
    # Same arguments as quillet-convert; no display needed.
    gui) timed gui env QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" \
           "$gui_bench" "$flag" --output-dir "$out" "$src" ;;
  esac
}

# bench_direction TITLE SRC CONVERT_FLAG AWK_PROGRAM EXPECTED_SEPARATORS
bench_direction() {
  title=$1 src=$2 flag=$3 program=$4 expected=$5
  rm -f "$data"/.t.* "$data"/.m.* "$data"/.c.*
  cat "$src" >/dev/null  # warm the page cache
  local commands=(cat cat_sync dd dd_sync awk awk_sync convert)
  [ -n "$gui_bench" ] && commands+=(gui)
  [ -n "$baseline" ] && commands+=(baseline)
  local count=${#commands[@]} run i
  for ((run = 0; run < runs; run++)); do
    # The order turns by one each round, so that no command always runs
    # right after the same other one, nor always in the same place (writes
    # here are slower every other run, whatever the command).
    for ((i = 0; i < count; i++)); do
      bench_one "${commands[(i + run) % count]}"
    done
  done
  local t_cat t_sync t_awk t_conv m_conv
  t_cat=$(median <"$data/.t.cat")
  t_sync=$(median <"$data/.t.cat_sync")
  t_awk=$(median <"$data/.t.awk")
  t_conv=$(median <"$data/.t.convert")
  m_conv=$(max <"$data/.m.convert")
  printf '\n%s  (%s, %s messages, median of %d alternating runs)\n' \
    "$title" "$(du -h --apparent-size "$src" | cut -f 1)" "$expected" "$runs"
  printf '  %-34s %8s %10s\n' "" "wall s" "cpu s"
  local name label
  local names=(cat cat_sync dd dd_sync awk awk_sync convert)
  [ -n "$baseline" ] && names+=(baseline)
  for name in "${names[@]}"; do
    case $name in
      cat) label="cat SRC > DST" ;;
      cat_sync) label="cat SRC > DST && sync DST" ;;
      dd) label="dd bs=1M (user-space copy)" ;;
      dd_sync) label="dd bs=1M conv=fdatasync" ;;
      baseline) label="baseline $flag" ;;
      awk) label="awk rewrite" ;;
      awk_sync) label="awk rewrite && sync DST" ;;
      convert) label="quillet-convert $flag" ;;
    esac
    printf '  %-34s %8.3f %10.3f\n' "$label" "$(median <"$data/.t.$name")" \
      "$(median <"$data/.c.$name")"
  done
  printf '  %-34s %8.2f x\n' \
    "quillet-convert / cat" "$(echo "$t_conv / $t_cat" | bc -l)" \
    "quillet-convert / (cat && sync)" "$(echo "$t_conv / $t_sync" | bc -l)" \
    "quillet-convert / (dd conv=fdatasync)" \
    "$(echo "$t_conv / $(median <"$data/.t.dd_sync")" | bc -l)" \
    "awk / quillet-convert" "$(echo "$t_awk / $t_conv" | bc -l)" \
    "(awk && sync) / quillet-convert" \
    "$(echo "$(median <"$data/.t.awk_sync") / $t_conv" | bc -l)" \
    "awk / quillet-convert (cpu)" \
    "$(echo "$(median <"$data/.c.awk") / $(median <"$data/.c.convert")" | bc -l)"
  if [ -n "$baseline" ]; then
    printf '  %-34s %8.2f x\n' "quillet-convert / baseline" \
      "$(echo "$t_conv / $(median <"$data/.t.baseline")" | bc -l)" \
      "baseline / (dd conv=fdatasync)" \
      "$(echo "$(median <"$data/.t.baseline") / $(median <"$data/.t.dd_sync")" | bc -l)"
  fi
  if [ -n "$gui_bench" ]; then
    local t_gui
    t_gui=$(median <"$data/.t.gui")
    printf '  %-34s %8.3f\n' "gui_run_bench $flag" "$t_gui"
    printf '  %-34s %8.2f x\n' "gui_run_bench / quillet-convert" \
      "$(echo "$t_gui / $t_conv" | bc -l)"
  fi
  printf '  %-34s %8.1f MiB\n' "quillet-convert peak memory" \
    "$(echo "$m_conv / 1024" | bc -l)"
}

# separators FILE...: the count make_mailbox printed for the file it wrote.
generate() {
  local file=$1; shift
  "$make_mailbox" "$@" "$file" | awk '$1 == "separators" { print $2 }'
}

echo "quillet benchmark: $(nproc) cores, $(uname -r), $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "load average at start: $(cut -d ' ' -f 1-3 /proc/loadavg)"
# Instruction counts do not depend on the machine's load, unlike the times
# below: the figure to compare between builds on a busy machine.
if [ "$callgrind" -eq 1 ] && command -v valgrind >/dev/null; then
  echo
  echo "callgrind, 20 MB mailboxes, start-up excluded"
  callgrind_args=(--build "$build" --data "$data/callgrind")
  [ -n "$baseline" ] && callgrind_args+=(--baseline "$baseline")
  "$repo/bench/callgrind_per_byte.sh" "${callgrind_args[@]}" | sed 's/^/  /'
  echo
fi
if [ "$only" != small ]; then
echo "generating ${size} mailboxes in $data ..."
n_lf=$(generate "$data/src.mbox" --format mbox-lf --size "$size" --seed 1)
n_crlf=$(generate "$data/src-crlf.mbox" --format mbox-crlf --size "$size" --seed 2)
n_box=$(generate "$data/src.box" --format box --size "$size" --seed 3)

bench_direction "mbox (LF) -> .box" "$data/src.mbox" --to-box "$awk_to_box" "$n_lf"
bench_direction "mbox (CR LF) -> .box" "$data/src-crlf.mbox" --to-box "$awk_to_box" "$n_crlf"
bench_direction ".box -> mbox" "$data/src.box" --to-mbox "$awk_to_mbox" "$n_box"
rm -f "$data/src.mbox" "$data/src-crlf.mbox" "$data/src.box"

echo
echo "one line of 1 GiB without line end, median of 4 (peak memory must not follow it)"
"$make_mailbox" --single-line 1G "$data/line.txt" >/dev/null
cat "$data/line.txt" >/dev/null
rm -f "$data"/.t.* "$data"/.m.* "$data"/.c.*
for ((run = 0; run < 4; run++)); do
  for ((i = 0; i < 2; i++)); do
    case $(((i + run) % 2)) in
      0) timed line_box "$convert" --quiet --to-box --output-dir "$out" "$data/line.txt" ;;
      1) timed line_mbox "$convert" --quiet --to-mbox --output-dir "$out" "$data/line.txt" ;;
    esac
  done
done
printf '  %-34s %8s %10s %10s\n' "" "wall s" "cpu s" "peak MiB"
for name in line_box line_mbox; do
  printf '  %-34s %8.3f %10.3f %10.1f\n' "quillet-convert --to-${name#line_}" \
    "$(median <"$data/.t.$name")" "$(median <"$data/.c.$name")" \
    "$(echo "$(max <"$data/.m.$name") / 1024" | bc -l)"
done
rm -f "$data/line.txt"
fi  # not --only small

# Many small mailboxes: each output is synced before its rename (in groups,
# one file-system flush per group) and the folder once at the end; cp
# followed by sync is the durable copy of the same files.
if [ "$only" != large ] && [ "$small" -gt 0 ]; then
  echo
  echo "$small small mailboxes in one run (median of $runs alternating runs)"
  rm -rf "$data/small"; mkdir -p "$data/small"
  awk -v n="$small" -v dir="$data/small" 'BEGIN {
    for (i = 0; i < n; i++) {
      f = sprintf("%s/m%06d", dir, i)
      for (j = 0; j <= i % 7; j++)
        printf "From a@example.org Mon Jan  1 09:00:00 2024\nSubject: %d %d\n\n%s\n", i, j, "small body line" > f
      close(f)
    }
  }'
  rm -f "$data"/.t.* "$data"/.m.* "$data"/.c.*
  small_commands=(small_convert small_cp)
  [ -n "$baseline" ] && small_commands+=(small_baseline)
  for ((run = 0; run < runs; run++)); do
    for ((i = 0; i < ${#small_commands[@]}; i++)); do
      case ${small_commands[(i + run) % ${#small_commands[@]}]} in
        small_convert) timed small_convert sh -c 'cd "$1" && exec "$2" --quiet --to-box --output-dir "$3" m*' \
             sh "$data/small" "$convert" "$out" ;;
        small_cp) timed small_cp sh -c 'cd "$1" && cp m* "$2" && sync' sh "$data/small" "$out" ;;
        small_baseline) timed small_baseline sh -c 'cd "$1" && exec "$2" --quiet --to-box --output-dir "$3" m*' \
             sh "$data/small" "$baseline" "$out" ;;
      esac
    done
  done
  printf '  %-34s %8s %10s\n' "" "wall s" "cpu s"
  printf '  %-34s %8.3f %10.3f\n' "quillet-convert --to-box (all)" \
    "$(median <"$data/.t.small_convert")" "$(median <"$data/.c.small_convert")" \
    "cp (all) && sync" "$(median <"$data/.t.small_cp")" "$(median <"$data/.c.small_cp")"
  printf '  %-34s %8.2f x\n' "quillet-convert / (cp && sync)" \
    "$(echo "$(median <"$data/.t.small_convert") / $(median <"$data/.t.small_cp")" | bc -l)"
  if [ -n "$baseline" ]; then
    printf '  %-34s %8.3f %10.3f\n' "baseline --to-box (all)" \
      "$(median <"$data/.t.small_baseline")" "$(median <"$data/.c.small_baseline")"
    printf '  %-34s %8.2f x\n' "baseline / (cp && sync)" \
      "$(echo "$(median <"$data/.t.small_baseline") / $(median <"$data/.t.small_cp")" | bc -l)"
  fi
  rm -rf "$data/small"
fi

# The job check alone: N mailboxes whose outputs all exist; the last output
# name is taken by a folder, so the check goes through every mailbox and
# refuses the job at the last, before anything is written.
if [ "$only" != large ] && [ "$check" -gt 0 ]; then
  echo
  echo "the check of $check mailboxes with existing outputs (median of $runs)"
  rm -rf "$data/small" "$data/small-out"; mkdir -p "$data/small" "$data/small-out"
  (cd "$data/small" && seq -f 'c%06g' 0 $((check - 1)) | xargs touch)
  (cd "$data/small-out" && seq -f 'c%06g.box' 0 $((check - 2)) | xargs touch)
  mkdir "$data/small-out/$(printf 'c%06d.box' $((check - 1)))"
  rm -f "$data"/.t.*
  for ((run = 0; run < runs; run++)); do
    start=$(date +%s%N)
    (cd "$data/small" && "$convert" --quiet --to-box --output-dir "$data/small-out" c* 2>/dev/null) && {
      echo "FAIL: the check accepted an output name taken by a folder" >&2; exit 1; }
    end=$(date +%s%N)
    echo "($end - $start) / 1000000000" | bc -l >>"$data/.t.check"
  done
  printf '  %-34s %8.3f s\n' "quillet-convert (check, refused)" "$(median <"$data/.t.check")"
  rm -rf "$data/small" "$data/small-out"
fi

if [ "$big" -eq 1 ]; then
  echo
  echo "a .box source over 4 GiB, to mbox and back, compared byte for byte"
  n_big=$(generate "$data/big.box" --format box --size 4300M --seed 4 --plain)
  rm -rf "$data/roundtrip"; mkdir -p "$data/roundtrip"
  rm -f "$data"/.t.* "$data"/.m.* "$data"/.c.*
  timed big_mbox "$convert" --quiet --to-mbox "$data/big.box"
  got=$(cut -f 3 "$data/.stdout")
  from_lines=$(grep -c '^From - ' "$data/big" || true)
  timed big_box "$convert" --quiet --to-box --output-dir "$data/roundtrip" "$data/big"
  back=$(cut -f 3 "$data/.stdout")
  printf '  %-34s %s bytes, %s messages\n' "source" "$(stat -c %s "$data/big.box")" "$n_big"
  printf '  %-34s %8.3f s %8.1f MiB, %s messages reported, %s separator lines\n' \
    "--to-mbox" "$(cat "$data/.t.big_mbox")" "$(echo "$(cat "$data/.m.big_mbox") / 1024" | bc -l)" "$got" "$from_lines"
  printf '  %-34s %8.3f s %8.1f MiB, %s messages reported\n' \
    "--to-box (back)" "$(cat "$data/.t.big_box")" "$(echo "$(cat "$data/.m.big_box") / 1024" | bc -l)" "$back"
  if [ "$got" = "$n_big" ] && [ "$from_lines" = "$n_big" ] && [ "$back" = "$n_big" ] &&
     cmp "$data/big.box" "$data/roundtrip/big.box"; then
    echo "  round trip: identical"
  else
    echo "FAIL: the round trip over 4 GiB differs" >&2
    exit 1
  fi
fi

echo
echo "load average at end: $(cut -d ' ' -f 1-3 /proc/loadavg)"
