#!/usr/bin/env bash
# Takes the screenshots in this folder from the real program under Xvfb:
#   docs/screenshots/take_screenshots.sh [BUILD_DIR] [MAILBOX]
# Needs xvfb-run, xdotool and ImageMagick's import; with openbox installed
# the windows get title bars. MAILBOX (an mbox file) is converted by the
# last steps, which end the program; its .box output lands beside it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
mailbox=${2:-}
if [ -z "${INSIDE_XVFB:-}" ]; then
  INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$build" "$mailbox"
fi
command -v openbox >/dev/null && { openbox >/dev/null 2>&1 & sleep 1.5; }
"$build/bin/quillet" >/dev/null 2>&1 &
pid=$!
sleep 2.5
main=none
snap() { import -frame -window "$2" "$here/$1.png"; }
others() { xdotool search --onlyvisible --pid $pid | grep -v "^$main$" | head -1; }
# menu X Y: opens the menu title at X of the menu bar, clicks the item at Y.
menu() {
  xdotool mousemove --window "$main" "$1" 10 click 1; sleep 0.7
  xdotool mousemove --window "$main" $(($1 + 15)) "$2" click 1; sleep 1.2
}
splash=$(others); snap splash_de "$splash"
xdotool mousemove --window "$splash" 300 120 click 1; sleep 1.5
main=$(xdotool search --onlyvisible --pid $pid | head -1)
snap main_de "$main"
menu 25 75   # Sprache > English
snap main_en "$main"
menu 78 52   # Help > About
splash=$(others); snap splash_en "$splash"
xdotool mousemove --window "$splash" 300 120 click 1; sleep 1
menu 25 52   # Language > Français
snap main_fr "$main"
menu 78 52   # Aide > par...
splash=$(others); snap splash_fr "$splash"
xdotool mousemove --window "$splash" 300 120 click 1; sleep 1
menu 25 31   # Langage > Deutsch
if [ -n "$mailbox" ]; then
  xdotool mousemove --window "$main" 113 43 click 1; sleep 1.5   # Command1
  dialog=$(others); snap dialog_de "$dialog"
  xdotool type --delay 20 "$mailbox"; xdotool key Return; sleep 1.5
  snap main_de_ready "$main"
  xdotool mousemove --window "$main" 581 60 click 1; sleep 0.35  # Go!
  snap running_de "$main"
  for _ in $(seq 60); do box=$(others); [ -n "$box" ] && break; sleep 1; done
  sleep 0.5; snap done_de "$box"
  xdotool key Return; sleep 1.5
fi
kill $pid 2>/dev/null || true
