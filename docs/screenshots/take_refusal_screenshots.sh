#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real program under Xvfb (1280 x 800) with openbox, by mouse and
# keyboard, through what it refuses or asks before writing anything, and
# takes a screenshot of each:
#   docs/screenshots/take_refusal_screenshots.sh [BUILD_DIR]
# In .box -> mbox: "Posteingang.box" that is really an mbox is refused with
# its reason; "Inbox.box" would replace the user's "Inbox", and Escape on the
# question keeps it; the GBK-named "收件箱.box" beside them is named, with
# how to rename it, when the folder is first chosen from. In mbox -> .box, a
# choice of every file of a folder in the list, one named 'Post "alt"',
# converts them all. Prints what it checked; ends with exit 1 when a check
# failed.
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
# The GBK name cannot be removed by tools that decode names; rm can.
trap 'kill $wm 2>/dev/null || true; rm -rf "$work"' EXIT
mail="$work/Mail"
quotes="$work/Zitate"
mkdir -p "$mail" "$quotes"
python3 - "$mail" "$quotes" <<'PY'
import os, sys
mail, quotes = sys.argv[1], sys.argv[2]
sep = b"\x10" * 7 + b"\x11" * 6 + b"S"
def mbox(count):
    return b"".join(b"From a@example.org Mon Dec  7 10:00:00 2026\n"
                    b"Date: Mon, 7 Dec 2026 10:00:00 +0000\n"
                    b"Subject: %d\n\nbody %d\n\n" % (i, i)
                    for i in range(1, count + 1))
def box(count):
    return b"".join(sep + b"\r\nSubject: %d\r\n\r\nbody\r\n" % i
                    for i in range(1, count + 1))
files = {"Posteingang.box": mbox(469), "Inbox": mbox(3), "Inbox.box": box(3),
         }
for name, data in files.items():
    open(os.path.join(mail, name), "wb").write(data)
# "收件箱.box" as a Windows archive leaves it: GBK bytes.
open(os.path.join(mail.encode(), "收件箱".encode("gbk") + b".box"), "wb").write(box(1))
for name in ("Archiv", 'Post "alt"'):
    open(os.path.join(quotes, name), "wb").write(mbox(2))
PY
inbox_sum=$(md5sum <"$mail/Inbox")

failed=0
check() {  # DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok:   $what"; else echo "FAIL: $what"; failed=1; fi
}
snap() {  # NAME WINDOW
  import -frame -window "$2" "$work/shot.png"
  convert "$work/shot.png" -strip -colors 255 "PNG8:$here/$1.png"
  echo "shot: $1.png"
}
active() { xdotool getactivewindow; }
wait_new() {  # waits until a window other than those given is active
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
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
window_text() { xprop -id "$1" _NET_WM_NAME | sed 's/.*= //'; }

(cd "$mail" && exec "$build/bin/quillet") >"$work/quillet.log" 2>&1 &
pid=$!
sleep 2.5
click "$(active)" 300 120
sleep 1.5
main=$(active)

choose() {  # TYPED: the file dialog of Command1, names typed
  click "$main" 113 43; sleep 1.5
  local dialog
  dialog=$(wait_new "$main")
  # The field holds the last answer: typed over.
  xdotool key ctrl+a; xdotool type --delay 30 "$1"; sleep 0.5
  xdotool key Return; sleep 1.5
}

click "$main" 21 60; sleep 0.8   # Command4: .box -> mbox

# 1. An mbox named .box, chosen for .box -> mbox, in a folder that also
# holds a GBK-named mailbox: that one is named first, once.
choose "Posteingang.box"
warning=$(wait_new "$main")
snap undecodable_name_de "$warning"
xdotool key Return; sleep 1
click "$main" 581 60; sleep 1.5
box=$(wait_new "$main")
snap refused_format_de "$box"
xdotool key Return; sleep 1
check "nothing written for the mbox named .box" \
  [ ! -e "$mail/Posteingang" ]

# 2. Inbox.box would replace Inbox: the question, answered with Escape.
choose "Inbox.box"
click "$main" 581 60; sleep 1.5
question=$(wait_new "$main")
snap replace_question_de "$question"
xdotool key Escape; sleep 1
check "Escape on the question keeps Inbox as it was" \
  [ "$(md5sum <"$mail/Inbox")" = "$inbox_sum" ]
check "the program is still open with its window active" \
  [ "$(active)" = "$main" ]
snap replace_cancelled_de "$main"

# 3. mbox -> .box: every file of a folder chosen in the list, one of them
# named 'Post "alt"', then "Öffnen" and "Go!".
click "$main" 21 60; sleep 0.8   # Command4: mbox -> .box
click "$main" 113 43; sleep 1.5
dialog=$(wait_new "$main")
xdotool key ctrl+a; xdotool type --delay 30 "$quotes"; xdotool key Return
sleep 1.2
xdotool key shift+Tab; sleep 0.3   # from the name field to the list
xdotool key ctrl+a; sleep 0.5
snap quoted_names_chosen_de "$dialog"
click "$dialog" 566 358; sleep 1.5   # "Öffnen"
check "the dialog closed with the choice" [ "$(active)" = "$main" ]
click "$main" 581 60
for _ in $(seq 40); do
  [ "$(active)" != "$main" ] && break
  sleep 0.25
done
sleep 0.5
xdotool key Return; sleep 1.5   # the completion message
check "'Post \"alt\"' converted (into the target folder, Mail)" [ -s "$mail/Post \"alt\".box" ]
check "Archiv converted" [ -s "$mail/Archiv.box" ]
check "the program ended after the run" bash -c "! kill -0 $pid 2>/dev/null"
kill "$pid" 2>/dev/null || true
cat "$work/quillet.log"
exit $failed
