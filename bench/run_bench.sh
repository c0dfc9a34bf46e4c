#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times quillet-convert against the benchmark's reference rewriter
# (line_end_rewriter), plain copies and an awk rewrite of the same files, in
# one run, alternating the commands and taking medians, and prints ratios
# and peak memory. The goal figures (first) are ratios of alternating pairs
# A B A B, the median of the per-pair ratios, and are also written to
# --results as Markdown tables. See bench/README.md.
#
#   bench/run_bench.sh [--build DIR] [--size 512M] [--runs 5] [--pairs 7]
#                      [--big] [--data DIR] [--keep] [--baseline PROGRAM]
#                      [--small N] [--check N]
#                      [--only small|large|goals|window]
#                      [--tmpfs DIR] [--results FILE]
#
#   --build DIR  the CMake build folder holding bin/ (default: build)
#   --size SIZE  size of the generated mailboxes (default: 512M, or
#                $QUILLET_BENCH_SIZE)
#   --runs N     timed runs of each command in the rotated tables (default: 5)
#   --pairs N    alternating pairs for each goal ratio (default: 7, or
#                $QUILLET_BENCH_PAIRS)
#   --tmpfs DIR  a tmpfs folder for the outputs on tmpfs (default: /dev/shm)
#   --results FILE  where the goal tables go (default: bench/last_run.md,
#                git-ignored; copy the figures into bench/RESULTS.md)
#   --big        also convert a source over 4 GiB both ways and compare the
#                round trip byte for byte (needs ~13 GiB free and minutes)
#   --data DIR   where the files go (default: bench/data, git-ignored)
#   --keep       keep the generated files
#   --baseline PROGRAM  also time another quillet-convert (an older build)
#                on the same files, alternating with this one
#   --small N    N small mailboxes (0.5-7 KiB) in one run against cp of the
#                same files followed by sync, into an empty folder and over
#                the earlier outputs (default: 10000, or $QUILLET_BENCH_SMALL;
#                0 skips)
#   --check N    the job check alone over N mailboxes whose outputs exist
#                (default: 100000; 0 skips)
#   --only small|large|goals|window  only the small-mailbox figures
#                (--small, --check), only the large-file ones, only the goal
#                tables, or only the window's run against the command line's
#   --no-callgrind  skip the instruction counts (bench/callgrind_per_byte.sh,
#                run first when valgrind is installed: instructions per
#                input byte per direction, and per small mailbox)
#
# When the build holds bin/gui_run_bench (the window's run), it is timed on
# the same files with the same arguments as quillet-convert:
#   gui_run_bench (--to-box | --to-mbox) --output-dir DIR FILE
# and its goal row pairs it with bin/cli_run_bench (quillet-convert with a
# clock around its run): each prints its run alone, timed inside the
# process, so the runs are compared without either program's start-up,
# which is shown apart.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$repo/build
size=${QUILLET_BENCH_SIZE:-512M}
runs=5
pairs=${QUILLET_BENCH_PAIRS:-7}
tmpfs=/dev/shm
results=$repo/bench/last_run.md
big=0
data=$repo/bench/data
keep=0
baseline=""
small=${QUILLET_BENCH_SMALL:-10000}
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
    --pairs) pairs=$2; shift 2 ;;
    --tmpfs) tmpfs=$2; shift 2 ;;
    --results) results=$2; shift 2 ;;
    --big) big=1; shift ;;
    --data) data=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--build DIR] [--size SIZE] [--runs N] [--big] [--data DIR] [--keep] [--baseline PROGRAM] [--small N] [--check N] [--only small|large|goals|window] [--pairs N] [--tmpfs DIR] [--results FILE] [--no-callgrind]" >&2
       exit 2 ;;
  esac
done

bin=$(cd "$build" && pwd)/bin
convert=$bin/quillet-convert
make_mailbox=$bin/make_mailbox
rewriter=$bin/line_end_rewriter
for program in "$convert" "$make_mailbox" "$rewriter" /usr/bin/time; do
  [ -x "$program" ] || { echo "missing $program (build the targets quillet-convert, make_mailbox and line_end_rewriter)" >&2; exit 1; }
done
command -v strace >/dev/null || { echo "missing strace (system calls per file)" >&2; exit 1; }
gui_bench=""
cli_bench=$bin/cli_run_bench
if [ -x "$bin/gui_run_bench" ]; then
  gui_bench=$bin/gui_run_bench
  [ -x "$cli_bench" ] || { echo "missing $cli_bench (build the target cli_run_bench, the command line's run timed as the window's is)" >&2; exit 1; }
fi

mkdir -p "$data"
data=$(cd "$data" && pwd)
out=$data/out
cleanup() {
  rm -rf "$out"
  rm -f "$data"/.t.* "$data"/.m.* "$data"/.c.* "$data"/.p.* "$data/.mem" \
        "$data/.stdout" "$data/.strace"
  if [ "$keep" -eq 0 ]; then
    rm -f "$data"/src.mbox "$data"/src-crlf.mbox "$data"/src.box \
          "$data"/line.txt "$data"/line.mbox "$data"/line.box "$data"/big.box "$data"/big
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

# ---------------------------------------------------------------------------
# The goals, as ratios of alternating pairs: A B A B ..., each pair's A
# timed right next to its B, the ratio taken pair by pair and the median of
# those ratios reported, so that a machine whose speed drifts moves both
# halves of a pair alike. Figures also go to $results.

# timed_one COMMAND...: wall seconds of one run of COMMAND (output thrown
# away), after `sync` has written out what earlier runs left dirty.
timed_one() {
  sync
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  echo "($end - $start) / 1000000000" | bc -l
}

# paired NAME PREPARE_A RUN_A PREPARE_B RUN_B: $pairs alternating pairs;
# PREPARE_* (untimed) and RUN_* (timed) are shell functions. Sets
# pair_a, pair_b (median seconds) and pair_ratio (median of A/B per pair),
# and pair_spread ("min-max" of the per-pair ratios).
paired() {
  local name=$1 prep_a=$2 run_a=$3 prep_b=$4 run_b=$5 i a b
  : >"$data/.p.a"; : >"$data/.p.b"; : >"$data/.p.r"
  for ((i = 0; i < pairs; i++)); do
    "$prep_a"; a=$(timed_one "$run_a")
    "$prep_b"; b=$(timed_one "$run_b")
    echo "$a" >>"$data/.p.a"
    echo "$b" >>"$data/.p.b"
    echo "$a / $b" | bc -l >>"$data/.p.r"
  done
  pair_a=$(median <"$data/.p.a")
  pair_b=$(median <"$data/.p.b")
  pair_ratio=$(median <"$data/.p.r")
  pair_spread=$(spread "$data/.p.r")
}

# timed_run COMMAND...: like timed_one, for a program that also times its
# run from inside (gui_run_bench, cli_run_bench: a line "NAME<TAB>seconds
# <TAB>...<TAB>processor seconds"). Prints "WALL RUN CPU": the whole
# process, the run alone and the run's processor time.
timed_run() {
  sync
  local start end run
  start=$(date +%s%N)
  "$@" >"$data/.stdout"
  end=$(date +%s%N)
  run=$(awk -F '\t' '$1 ~ /_run_bench$/ { print $2, $4 }' "$data/.stdout")
  [ -n "$run" ] || { echo "FAIL: $1 printed no time for its run" >&2; exit 1; }
  echo "$(echo "($end - $start) / 1000000000" | bc -l) $run"
}

# spread FILE: "min-max" of the numbers in FILE.
spread() {
  printf '%.2f-%.2f' "$(sort -n "$1" | head -n 1)" "$(sort -n "$1" | tail -n 1)"
}

# paired_runs PREPARE RUN_A RUN_B: like paired, for two programs that time
# their run from inside; each pair gives the ratio of the runs alone and the
# ratio of the whole processes. Sets run_a, run_b (median run seconds),
# rest_a, rest_b (median of each run's whole process less its run: start-up
# and exit), run_ratio, run_spread, wall_ratio and wall_spread, and
# cpu_ratio, cpu_spread for the runs' processor time (steadier than wall
# time on a busy machine).
paired_runs() {
  local prep=$1 cmd_a=$2 cmd_b=$3 i a b
  : >"$data/.p.ra"; : >"$data/.p.rb"; : >"$data/.p.sa"; : >"$data/.p.sb"
  : >"$data/.p.r"; : >"$data/.p.w"; : >"$data/.p.c"
  for ((i = 0; i < pairs; i++)); do
    "$prep"; a=$(timed_run "$cmd_a")
    "$prep"; b=$(timed_run "$cmd_b")
    # shellcheck disable=SC2086
    set -- $a $b  # wall_a run_a cpu_a wall_b run_b cpu_b
    echo "$2" >>"$data/.p.ra"
    echo "$5" >>"$data/.p.rb"
    echo "$1 - $2" | bc -l >>"$data/.p.sa"
    echo "$4 - $5" | bc -l >>"$data/.p.sb"
    echo "$2 / $5" | bc -l >>"$data/.p.r"
    echo "$1 / $4" | bc -l >>"$data/.p.w"
    echo "$3 / $6" | bc -l >>"$data/.p.c"
  done
  run_a=$(median <"$data/.p.ra")
  run_b=$(median <"$data/.p.rb")
  rest_a=$(median <"$data/.p.sa")
  rest_b=$(median <"$data/.p.sb")
  run_ratio=$(median <"$data/.p.r")
  run_spread=$(spread "$data/.p.r")
  wall_ratio=$(median <"$data/.p.w")
  wall_spread=$(spread "$data/.p.w")
  cpu_ratio=$(median <"$data/.p.c")
  cpu_spread=$(spread "$data/.p.c")
}

# row FORMAT ARGS...: one line of the table, on the terminal and in $results.
row() {
  # shellcheck disable=SC2059
  printf "$@" | tee -a "$results"
}

fresh_out() { rm -rf "$target"; mkdir -p "$target"; }
run_convert() { "$convert" --quiet "$flag" --output-dir "$target" "$src"; }
run_rewriter() { "$rewriter" "$flag" "$src" "$target/$(basename "$src").out"; }
run_dd_sync() { dd if="$src" of="$target/copy" bs=1M conv=fdatasync status=none; }
run_gui() {
  QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$gui_bench" "$flag" \
    --output-dir "$target" "$src" 2>/dev/null
}
run_cli() { "$cli_bench" --quiet "$flag" --output-dir "$target" "$src"; }

# goals_window: the window's run against the command line's, on the LF
# mbox and the .box source (needs gui_run_bench; skipped without it).
goals_window() {
  [ -n "$gui_bench" ] || return 0
  local entry title file
  # The runs alone, each timed inside its process from the same point
  # (the click on "Go!", the call of the command): the goal. Start-up and
  # exit (the whole process less its run) apart, and the whole processes.
  row '\n| the window against the command line (disk) | window run s | command-line run s | ÷ run alone | goal | ÷ run processor time | window start-up + exit s | command-line start-up + exit s | ÷ whole processes |\n'
  row '|---|---|---|---|---|---|---|---|---|\n'
  for entry in "LF mbox -> .box|src.mbox|--to-box" ".box -> mbox|src.box|--to-mbox"; do
    IFS='|' read -r title file flag <<<"$entry"
    src=$data/$file target=$out
    paired_runs fresh_out run_gui run_cli
    row '| %s | %.3f | %.3f | **%.2f** (%s) | ≤ 1.00 %s | %.2f (%s) | %.3f | %.3f | %.2f (%s) |\n' \
      "$title" "$run_a" "$run_b" "$run_ratio" "$run_spread" \
      "$(awk -v r="$run_ratio" 'BEGIN { print (r <= 1.0) ? "✓" : "✗" }')" \
      "$cpu_ratio" "$cpu_spread" "$rest_a" "$rest_b" "$wall_ratio" "$wall_spread"
  done
}

goals_large() {
  local tmp_root=$tmpfs/quillet-bench.$$
  mkdir -p "$tmp_root"
  row '\n## %s mailboxes, %d alternating pairs, medians (per-pair ratio min-max)\n\n' "$size" "$pairs"
  row '| direction | output on | quillet-convert s | rewriter s | ÷ rewriter | goal | dd conv=fdatasync s | ÷ dd |\n'
  row '|---|---|---|---|---|---|---|---|\n'
  local entry title file goal where expected reported
  for entry in "LF mbox -> .box|src.mbox|--to-box|$n_lf" \
               "CR LF mbox -> .box|src-crlf.mbox|--to-box|$n_crlf" \
               ".box -> mbox|src.box|--to-mbox|$n_box"; do
    IFS='|' read -r title file flag expected <<<"$entry"
    src=$data/$file
    cat "$src" >/dev/null  # the source in the page cache
    rm -rf "$out"; mkdir -p "$out"
    reported=$("$convert" --quiet "$flag" --output-dir "$out" "$src" | cut -f 3)
    if [ "$reported" != "$expected" ]; then
      echo "FAIL: $title: quillet-convert reported $reported messages, expected $expected" >&2
      exit 1
    fi
    for where in disk tmpfs; do
      if [ "$where" = disk ]; then target=$out goal=1.10; else target=$tmp_root/out goal=1.05; fi
      paired rewriter fresh_out run_convert fresh_out run_rewriter
      local t_conv=$pair_a t_rw=$pair_b r_rw=$pair_ratio s_rw=$pair_spread
      paired dd fresh_out run_convert fresh_out run_dd_sync
      row '| %s | %s | %.3f | %.3f | **%.2f** (%s) | ≤ %s %s | %.3f | %.2f (%s) |\n' \
        "$title" "$where" "$t_conv" "$t_rw" "$r_rw" "$s_rw" "$goal" \
        "$(awk -v r="$r_rw" -v g="$goal" 'BEGIN { print (r <= g) ? "✓" : "✗" }')" \
        "$pair_b" "$pair_ratio" "$pair_spread"
    done
  done
  rm -rf "$tmp_root"

  goals_window

  row '\n| peak memory of quillet-convert (max RSS) | MiB | goal |\n|---|---|---|\n'
  local peak
  for entry in "LF mbox -> .box, $size|src.mbox|--to-box" ".box -> mbox, $size|src.box|--to-mbox"; do
    IFS='|' read -r title file flag <<<"$entry"
    rm -rf "$out"; mkdir -p "$out"
    /usr/bin/time -f '%M' -o "$data/.mem" "$convert" --quiet "$flag" --output-dir "$out" "$data/$file" >/dev/null
    peak=$(tail -n 1 "$data/.mem")
    row '| %s | %.1f | ≤ 12.5 %s |\n' "$title" "$(echo "$peak / 1024" | bc -l)" \
      "$(awk -v p="$peak" 'BEGIN { print (p <= 12.5 * 1024) ? "✓" : "✗" }')"
  done
}

# small_mailboxes N DIR: N mbox files of 0.5 to 7 KiB, the same every time.
small_mailboxes() {
  rm -rf "$2"; mkdir -p "$2"
  awk -v n="$1" -v dir="$2" 'BEGIN {
    for (i = 0; i < n; i++) {
      f = sprintf("%s/m%06d", dir, i)
      want = 512 + (i * 7919) % 6400   # 0.5 to 7 KiB, the last message included
      written = 0
      for (j = 0; written < want; j++) {
        msg = sprintf("From a@example.org Mon Jan  1 09:%02d:00 2024\nFrom: <a@example.org>\nSubject: %d %d\nDate: Mon, 1 Jan 2024 09:%02d:00 +0000\n\n", j % 60, i, j, j % 60)
        for (k = 0; k < 4 && written + length(msg) < want; k++)
          msg = msg sprintf("body line %d of message %d, long enough to look like text.\n", k, j)
        printf "%s\n", msg > f
        written += length(msg) + 1
      }
      close(f)
    }
  }'
}

# syscalls_per_file COMMAND...: system calls of the whole command (strace
# -f -c, all processes) divided by the number of small mailboxes.
syscalls_per_file() {
  strace -f -c -o "$data/.strace" "$@" >/dev/null 2>&1
  echo "$(awk '$NF == "total" { print $4 }' "$data/.strace") / $small" | bc -l
}

goals_small() {
  local dir=$data/small
  small_mailboxes "$small" "$dir"
  row '\n## %s small mailboxes (0.5-7 KiB, mbox -> .box), %d alternating pairs, medians\n\n' "$small" "$pairs"
  row '| into | quillet-convert s | cp + sync s | ÷ | goal | system calls per file (cp + sync) |\n'
  row '|---|---|---|---|---|---|\n'
  # Both write into $out: the converter's outputs are m*.box, cp's m*.
  # Commands as arrays, so that strace can run them too.
  local -a cmd_convert=(sh -c 'cd "$1" && exec "$2" --quiet --to-box --output-dir "$3" m*'
                        sh "$dir" "$convert" "$out")
  local -a cmd_force=(sh -c 'cd "$1" && exec "$2" --quiet --force --to-box --output-dir "$3" m*'
                      sh "$dir" "$convert" "$out")
  local -a cmd_cp=(sh -c 'cd "$1" && cp m* "$2" && sync' sh "$dir" "$out")
  small_convert() { "${cmd_convert[@]}"; }
  small_convert_force() { "${cmd_force[@]}"; }
  small_cp() { "${cmd_cp[@]}"; }
  empty_out() { rm -rf "$out"; mkdir -p "$out"; }
  keep_out() { :; }
  local calls_conv calls_cp
  paired small_empty empty_out small_convert empty_out small_cp
  empty_out
  calls_conv=$(syscalls_per_file "${cmd_convert[@]}")
  empty_out
  calls_cp=$(syscalls_per_file "${cmd_cp[@]}")
  row '| an empty folder | %.3f | %.3f | **%.2f** (%s) | ≤ 2 %s | %.1f (%.1f) |\n' \
    "$pair_a" "$pair_b" "$pair_ratio" "$pair_spread" \
    "$(awk -v r="$pair_ratio" 'BEGIN { print (r <= 2) ? "✓" : "✗" }')" "$calls_conv" "$calls_cp"
  # Replacing: every output (and every copy) is there from the run before.
  empty_out; small_convert >/dev/null; small_cp
  paired small_replace keep_out small_convert_force keep_out small_cp
  calls_conv=$(syscalls_per_file "${cmd_force[@]}")
  calls_cp=$(syscalls_per_file "${cmd_cp[@]}")
  row '| the earlier outputs (--force) | %.3f | %.3f | **%.2f** (%s) | ≤ 2 %s | %.1f (%.1f) |\n' \
    "$pair_a" "$pair_b" "$pair_ratio" "$pair_spread" \
    "$(awk -v r="$pair_ratio" 'BEGIN { print (r <= 2) ? "✓" : "✗" }')" "$calls_conv" "$calls_cp"
  local peak
  /usr/bin/time -f '%M' -o "$data/.mem" "$convert" --quiet --force --to-box --output-dir "$out" "$dir/m000000" >/dev/null
  peak=$(tail -n 1 "$data/.mem")
  row '\n| peak memory of quillet-convert (max RSS) | MiB | goal |\n|---|---|---|\n'
  row '| one small mailbox (%s bytes) | %.1f | ≤ 12.5 %s |\n' "$(stat -c %s "$dir/m000000")" \
    "$(echo "$peak / 1024" | bc -l)" \
    "$(awk -v p="$peak" 'BEGIN { print (p <= 12.5 * 1024) ? "✓" : "✗" }')"
  rm -rf "$dir" "$out"
}

echo "quillet benchmark: $(nproc) cores, $(uname -r), $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "load average at start: $(cut -d ' ' -f 1-3 /proc/loadavg)"
{
  echo "# quillet benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "$(nproc) cores, $(uname -r), commit $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo '?'),"
  echo "load average at start $(cut -d ' ' -f 1-3 /proc/loadavg)."
} >"$results"
# Instruction counts do not depend on the machine's load, unlike the times
# below: the figure to compare between builds on a busy machine.
if [ "$only" != goals ] && [ "$only" != window ] && [ "$callgrind" -eq 1 ] && command -v valgrind >/dev/null; then
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
[ "$only" = window ] ||
  n_crlf=$(generate "$data/src-crlf.mbox" --format mbox-crlf --size "$size" --seed 2)
n_box=$(generate "$data/src.box" --format box --size "$size" --seed 3)

if [ "$only" = window ]; then
  [ -n "$gui_bench" ] || { echo "--only window needs $bin/gui_run_bench" >&2; exit 1; }
  cat "$data/src.mbox" "$data/src.box" >/dev/null  # in the page cache
  goals_window
else
  goals_large
fi
if [ "$only" != goals ] && [ "$only" != window ]; then

bench_direction "mbox (LF) -> .box" "$data/src.mbox" --to-box "$awk_to_box" "$n_lf"
bench_direction "mbox (CR LF) -> .box" "$data/src-crlf.mbox" --to-box "$awk_to_box" "$n_crlf"
bench_direction ".box -> mbox" "$data/src.box" --to-mbox "$awk_to_mbox" "$n_box"
rm -f "$data/src.mbox" "$data/src-crlf.mbox" "$data/src.box"

echo
echo "one line of 1 GiB without line end, median of 4 (peak memory must not follow it)"
# The line follows one separator line of the source's format: a source
# that starts no message is refused before it is read.
"$make_mailbox" --single-line 1G "$data/line.txt" >/dev/null
{ printf 'From a@example.org Mon Jan  1 09:00:00 2024\n'; cat "$data/line.txt"; } >"$data/line.mbox"
{ printf '\020\020\020\020\020\020\020\021\021\021\021\021\021S\r\n'; cat "$data/line.txt"; } >"$data/line.box"
rm -f "$data/line.txt"
rm -f "$data"/.t.* "$data"/.m.* "$data"/.c.*
for ((run = 0; run < 4; run++)); do
  for ((i = 0; i < 2; i++)); do
    case $(((i + run) % 2)) in
      0) cat "$data/line.mbox" >/dev/null
         timed line_box "$convert" --quiet --to-box --output-dir "$out" "$data/line.mbox" ;;
      1) cat "$data/line.box" >/dev/null
         timed line_mbox "$convert" --quiet --to-mbox --output-dir "$out" "$data/line.box" ;;
    esac
  done
done
printf '  %-34s %8s %10s %10s\n' "" "wall s" "cpu s" "peak MiB"
for name in line_box line_mbox; do
  printf '  %-34s %8.3f %10.3f %10.1f\n' "quillet-convert --to-${name#line_}" \
    "$(median <"$data/.t.$name")" "$(median <"$data/.c.$name")" \
    "$(echo "$(max <"$data/.m.$name") / 1024" | bc -l)"
done
rm -f "$data/line.mbox" "$data/line.box"
else
  rm -f "$data/src.mbox" "$data/src-crlf.mbox" "$data/src.box"
fi  # not --only goals or window
fi  # not --only small

# Many small mailboxes: each output is synced before its rename (in groups,
# one file-system flush per group) and the folder once at the end; cp
# followed by sync is the durable copy of the same files.
if [ "$only" != large ] && [ "$only" != window ] && [ "$small" -gt 0 ]; then
  goals_small
fi

# The job check alone: N mailboxes whose outputs all exist; the last output
# name is taken by a folder, so the check goes through every mailbox and
# refuses the job at the last, before anything is written.
if [ "$only" != large ] && [ "$only" != goals ] && [ "$only" != window ] &&
   [ "$check" -gt 0 ]; then
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
printf '\nload average at end %s.\n' "$(cut -d ' ' -f 1-3 /proc/loadavg)" >>"$results"
echo "goal tables written to $results"
