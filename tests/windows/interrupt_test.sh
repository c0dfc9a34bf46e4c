#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Ctrl+C during a large conversion by quillet-convert.exe under Wine (Wine
# delivers a terminal's SIGINT to a console program as CTRL_C_EVENT): the
# temporary output is removed, standard error names the mailbox, nothing
# appears under the output's name and the exit status is the one of an
# interrupted console program (STATUS_CONTROL_C_EXIT).
#
# usage: interrupt_test.sh WINE_RUN QUILLET_CONVERT_EXE LINUX_MAKE_MAILBOX
set -euo pipefail
export LC_ALL=C.UTF-8  # names reach Wine programs as UTF-16 through it
wine_run=$1 exe=$2 make_mailbox=$3

work=$(mktemp -d /tmp/quillet-interrupt-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$make_mailbox" --format mbox-lf --size 1G "$work/Large" >/dev/null
mkdir "$work/out"
"$wine_run" "$exe" --to-box --output-dir "$work/out" "$work/Large" \
  >"$work/stdout" 2>"$work/stderr" &
pid=$!
# Wait for the temporary output, then interrupt while it grows.
for _ in $(seq 1 600); do
  if compgen -G "$work/out/.Large.box.quillet-tmp-*" >/dev/null; then break; fi
  sleep 0.05
done
compgen -G "$work/out/.Large.box.quillet-tmp-*" >/dev/null ||
  fail "no temporary output appeared: $(cat "$work/stderr")"
sleep 0.2
# The terminal's Ctrl+C: SIGINT to the program (through timeout, which
# passes it on, to Wine's process).
pkill -INT -P "$pid" -f timeout 2>/dev/null || true
kill -INT "$pid" 2>/dev/null || true
for child in $(pgrep -P "$pid"); do kill -INT "$child" 2>/dev/null || true; done
status=0
wait "$pid" || status=$?
echo "exit status $status; standard error: $(cat "$work/stderr")"
leftovers=$(ls -A "$work/out")
[ -z "$leftovers" ] || fail "left in the target folder: $leftovers"
grep -q "interrupted by Ctrl+C while writing .*Large.box; nothing of it was saved, its temporary file .* was removed" "$work/stderr" ||
  fail "standard error does not say which output was interrupted"
[ "$status" -ne 0 ] || fail "exit status 0 after an interrupt"
echo "Ctrl+C removed the temporary output and said so"
