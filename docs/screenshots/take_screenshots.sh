#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the screenshots in this folder from the real program, driven by mouse
# and keyboard under Xvfb (1280 x 800) with the openbox window manager:
#   docs/screenshots/take_screenshots.sh [BUILD_DIR]
# Needs xvfb-run, openbox, xdotool, xprop and ImageMagick (scripts/setup-debian.sh).
# Three mailboxes (Archiv, Posteingang, Gesendet) are made in a folder of
# their own; the names are typed into the file dialog in one go. The run
# fails first (the target folder is removed after it was chosen), in German
# and in French, then goes through. A second start at QT_SCALE_FACTOR=2 shows
# both windows and both dialogs, minimises the About window and switches the
# direction with Enter. What it checks along the way it prints; it ends with
# exit 1 when a check failed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
if [ -z "${INSIDE_XVFB:-}" ]; then
  INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$build"
fi
for tool in openbox xdotool xprop import convert; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
openbox >/dev/null 2>&1 &
wm=$!
sleep 1.5

work=$(mktemp -d)
trap 'kill $wm 2>/dev/null || true; rm -rf "$work"' EXIT
mail="$work/Mail"
mkdir -p "$mail" "$work/Ziel"
# mbox files with CR LF lines; Gesendet is large enough to watch the run.
mailbox() {  # NAME COUNT
  python3 - "$mail/$1" "$2" <<'PY'
import sys
name = sys.argv[1].rsplit("/", 1)[1]
with open(sys.argv[1], "wb") as out:
    for i in range(1, int(sys.argv[2]) + 1):
        out.write(b"From sender@example.org Mon Dec  7 10:00:00 2026\r\n"
                  b"From: sender@example.org\r\n"
                  + f"Subject: {name} {i}\r\n\r\n".encode()
                  + f"Line one of message {i}.\r\nLine two.\r\n\r\n".encode())
PY
}
mailbox Archiv 3
mailbox Posteingang 5
mailbox Gesendet 1000000

failed=0
check() {  # DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok:   $what"; else echo "FAIL: $what"; failed=1; fi
}
# Keeps the screenshots small: 8-bit palette, no metadata.
snap() {  # NAME WINDOW
  import -frame -window "$2" "$work/shot.png"
  convert "$work/shot.png" -strip -colors 255 "PNG8:$here/$1.png"
  echo "shot: $1.png"
}
active() { xdotool getactivewindow; }
visible() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null || true; }
# Waits until a window other than those given is active; prints its id.
wait_new() {
  local w
  for _ in $(seq 50); do
    w=$(active)
    if ! grep -qxF "$w" <<<"$*"; then
      echo "$w"
      return
    fi
    sleep 0.2
  done
  echo "no new window came up" >&2
  active
}
title() { xprop -id "$1" _NET_WM_NAME | sed 's/.*= //'; }
# menu X Y: opens the menu title at X of the menu bar, clicks the item at Y
# (coordinates in the window's own pixels; scaled by $scale).
menu() {
  xdotool mousemove --window "$main" $(($1 * scale)) $((10 * scale)) click 1
  sleep 0.7
  xdotool mousemove --window "$main" $((($1 + 15) * scale)) $(($2 * scale)) click 1
  sleep 1.2
}
click() {  # WINDOW X Y, in the window's own pixels before scaling
  xdotool mousemove --window "$1" $(($2 * scale)) $(($3 * scale)) click 1
}
start() {  # SCALE
  scale=$1
  # Started in the mail folder: the first file dialog opens there.
  (cd "$mail" && QT_SCALE_FACTOR=$1 exec "$build/bin/quillet") \
    >"$work/quillet.log" 2>&1 &
  pid=$!
  sleep 2.5
  splash=$(active)
}

# --- First start: each language, the typed selection, failures, the run ---
start 1
snap splash_de "$splash"
check "About window bears no title text" [ "$(title "$splash")" = '" "' ]
check "About window's icon name (task bar) is Quillet" \
  grep -q '"Quillet"' <(xprop -id "$splash" _NET_WM_ICON_NAME)
click "$splash" 300 120
sleep 1.5
main=$(active)
snap main_de "$main"
menu 25 75   # Sprache > English
snap main_en "$main"
menu 78 52   # Help > About
splash=$(wait_new "$main"); snap splash_en "$splash"
click "$splash" 300 120; sleep 1
menu 25 52   # Language > Français
snap main_fr "$main"
menu 78 52   # Aide > À propos
splash=$(wait_new "$main"); snap splash_fr "$splash"
click "$splash" 300 120; sleep 1
menu 25 31   # Langage > Deutsch

# Command1: three names typed at once.
click "$main" 113 43; sleep 1.5
dialog=$(wait_new "$main")
xdotool type --delay 30 '"Archiv" "Posteingang" "Gesendet"'; sleep 0.8
snap dialog_typed_de "$dialog"
xdotool key Return; sleep 1.5
# Command2: the folder picker, the target typed.
click "$main" 113 82; sleep 1.5
picker=$(wait_new "$main")
snap picker_de "$picker"
xdotool type --delay 10 "$work/Ziel"; xdotool key Return; sleep 1.5
snap main_de_ready "$main"

# A failure: the target is gone when "Go!" is clicked.
rmdir "$work/Ziel"
click "$main" 581 60; sleep 1.5
box=$(wait_new "$main")
snap failure_de "$box"
xdotool key Return; sleep 1
snap failed_de "$main"
menu 25 52   # Sprache > Français
click "$main" 581 60; sleep 1.5
box=$(wait_new "$main")
snap failure_fr "$box"
xdotool key Return; sleep 1
menu 25 31   # Langage > Deutsch

# The run goes through: all three outputs, then the program ends.
mkdir "$work/Ziel"
click "$main" 581 60; sleep 0.15
snap running_de "$main"
for _ in $(seq 240); do
  box=$(active)
  [ "$box" != "$main" ] && break
  sleep 0.5
done
sleep 0.5
snap done_de "$box"
xdotool key Return; sleep 1.5
for name in Archiv Posteingang Gesendet; do
  check "$name.box written" [ -s "$work/Ziel/$name.box" ]
done
check "the program ended after the run" bash -c "! kill -0 $pid 2>/dev/null"

# --- Second start at scale factor 2 ---------------------------------------
start 2
snap splash_scale2 "$splash"
# Minimising the About window leads on to the main window.
xdotool windowminimize "$splash"; sleep 1.5
main=$(active)
check "minimised About window leaves the main window shown" \
  [ -n "$(visible)" ]
check "the main window is the one shown" \
  bash -c "xprop -id $main _NET_WM_NAME | grep -q Konverter"
snap main_scale2 "$main"
click "$main" 113 43; sleep 2
dialog=$(wait_new "$main")
snap dialog_scale2 "$dialog"
xdotool key Escape; sleep 1
click "$main" 113 82; sleep 2
picker=$(wait_new "$main")
snap picker_scale2 "$picker"
xdotool key Escape; sleep 1
# Enter on the focused direction button switches the direction: Tab from
# the target button, focused since its click, past Text2 to Command4.
xdotool windowactivate --sync "$main"
for _ in 1 2; do xdotool key Tab; sleep 0.1; done
xdotool key Return; sleep 0.8
snap main_scale2_box "$main"
kill "$pid" 2>/dev/null || true
exit $failed
