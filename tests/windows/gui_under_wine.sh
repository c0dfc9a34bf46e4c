#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real quillet.exe under Wine, on Xvfb with openbox, driven by mouse and
# keyboard: the About window, a click to the main window, the direction
# switched to .box -> mbox, a mailbox named 收件箱.box chosen in the file
# dialog (Ctrl+A in its list) and converted with "Go!". Checks the output
# against the Linux build's conversion of the same file. Screenshots
# (windows_*.png) go to $QUILLET_SCREENSHOTS when set (docs/screenshots
# holds the last ones taken).
#
# usage: gui_under_wine.sh WINE_RUN QUILLET_EXE LINUX_CONVERT LINUX_MAKE_MAILBOX
# (QUILLET_EXE: the one in the program's laid-out folder, with its DLLs,
# plugins and catalogues)
set -euo pipefail
if [ -z "${INSIDE_XVFB:-}" ]; then
  INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi
wine_run=$1 exe=$2 linux_convert=$3 make_mailbox=$4
for tool in openbox xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 77; }
done
openbox >/dev/null 2>&1 &
wm=$!
work=$(mktemp -d /tmp/quillet-wine-gui.XXXXXX)
trap 'kill $wm 2>/dev/null || true; rm -rf "$work"' EXIT
shots=${QUILLET_SCREENSHOTS:-$work}
mkdir -p "$work/Mail" "$work/linux"
"$make_mailbox" --format box --size 300K "$work/Mail/收件箱.box" >/dev/null

failed=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok:   $what"; else echo "FAIL: $what"; failed=1; fi
}
snap() {
  import -frame -window "$2" "$work/shot.png"
  convert "$work/shot.png" -strip -colors 255 "PNG8:$shots/$1.png"
  echo "shot: $1.png"
}
active() { xdotool getactivewindow; }
wait_new() {
  local w
  for _ in $(seq 75); do
    w=$(active 2>/dev/null || true)
    if [ -n "$w" ] && ! grep -qxF "$w" <<<"$*"; then
      echo "$w"
      return
    fi
    sleep 0.2
  done
  echo "no new window came up" >&2
  active
}
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

(cd "$work/Mail" && exec "$wine_run" "$exe") >"$work/quillet.log" 2>&1 &
pid=$!
splash=$(wait_new "")
sleep 3
snap windows_splash "$splash"
click "$splash" 300 120
main=$(wait_new "$splash")
sleep 1.5
snap windows_main "$main"
check "the main window is Quillet's" bash -c "xdotool getwindowname $main | grep -q Konverter"

click "$main" 21 60; sleep 1          # direction: .box -> mbox
click "$main" 113 43                  # Mbox(en) wählen...
dialog=$(wait_new "$main")
sleep 2
# Into the dialog's list of files, all of them chosen, then Open.
xdotool key --window "$dialog" shift+Tab; sleep 0.3
xdotool key ctrl+a; sleep 0.5
snap windows_dialog "$dialog"
check "the file dialog speaks German (Qt's catalogues deployed)" \
  bash -c "xdotool getwindowname $dialog | grep -qx 'Öffnen'"
xdotool key Return
sleep 2
click "$main" 581 60                  # Go!
box=$(wait_new "$main")
sleep 1
snap windows_done "$box"
xdotool key Return; sleep 2

"$linux_convert" --to-mbox --output-dir "$work/linux" "$work/Mail/收件箱.box" >/dev/null
check "收件箱 written by the window" [ -s "$work/Mail/收件箱" ]
check "the same messages as the Linux build's, separator dates of the run aside" \
  bash -c "diff <(grep -v '^From - ' '$work/Mail/收件箱') <(grep -v '^From - ' '$work/linux/收件箱') >/dev/null"
check "no temporary file left" bash -c "! ls -A '$work/Mail' | grep -q quillet-tmp"
for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
check "the program ended after the run" bash -c "! kill -0 $pid 2>/dev/null"
kill "$pid" 2>/dev/null || true
exit $failed
