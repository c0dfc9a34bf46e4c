#!/usr/bin/env bash
# Builds the Debian package from a built tree, unpacks it into a throwaway
# root and checks what a user would get from installing it: the package's
# fields and dependencies, exactly the expected files, and programs that run
# from their installed places.
#
#   check_package.sh CPACK BUILD_DIR VERSION
#
# Exits 0 when every check holds; otherwise prints each failed check.
set -uo pipefail

cpack=$1
build=$2
version=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! "$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" \
    >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack could not build the package" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)
deb="$work/out/quillet_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
  echo "FAIL: no $(basename "$deb"); cpack made: $(ls "$work/out")" >&2
  exit 1
fi
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# --- Fields -----------------------------------------------------------------
[ "$(dpkg-deb -f "$deb" Package)" = quillet ] || fail "Package field"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version field"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "Architecture field"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Names only, one a line: "libc6 (>= 2.34)" -> "libc6".
dep_names=$(tr ',' '\n' <<<"$depends" | sed -E 's/^ *//; s/[ (].*//')
for needed in fonts-liberation xdg-utils qt6-translations-l10n libc6 libstdc++6 \
              libqt6core6 libqt6gui6 libqt6widgets6; do
  grep -qx "$needed" <<<"$dep_names" || fail "Depends lacks $needed"
done

# --- Files ------------------------------------------------------------------
root="$work/root"
dpkg-deb -x "$deb" "$root"
expected="./usr/bin/quillet
./usr/bin/quillet-convert
./usr/lib/quillet/quillet
./usr/lib/quillet/readme.txt
./usr/share/applications/quillet.desktop
./usr/share/man/man1/quillet-convert.1"
for size in 16 24 32 48 64 128 256; do
  expected+=$'\n'"./usr/share/icons/hicolor/${size}x${size}/apps/quillet.png"
done
actual=$(cd "$root" && find . \( -type f -o -type l \) | LC_ALL=C sort)
expected=$(LC_ALL=C sort <<<"$expected")
if [ "$actual" != "$expected" ]; then
  fail "the package's files differ from the layout:"
  diff <(echo "$expected") <(echo "$actual") >&2
fi

usr="$root/usr"
[ -L "$usr/bin/quillet" ] && [ "$(readlink "$usr/bin/quillet")" = ../lib/quillet/quillet ] ||
  fail "bin/quillet is not the link ../lib/quillet/quillet"
# The program looks for its instructions in the folder of its real file.
real=$(readlink -f "$usr/bin/quillet")
[ "$real" = "$usr/lib/quillet/quillet" ] || fail "bin/quillet resolves to $real"
[ -s "$(dirname "$real")/readme.txt" ] || fail "no readme.txt next to $real"
cmp -s "$usr/lib/quillet/readme.txt" "$(dirname "$0")/../resources/readme.txt" ||
  fail "the packaged readme.txt is not the instructions"
for exe in "$usr/lib/quillet/quillet" "$usr/bin/quillet-convert"; do
  [ -x "$exe" ] && file -b "$exe" | grep -q '^ELF' || fail "$exe is no executable"
done
for size in 16 24 32 48 64 128 256; do
  png="$usr/share/icons/hicolor/${size}x${size}/apps/quillet.png"
  file -b "$png" | grep -q "PNG image data, $size x $size," ||
    fail "$png is not a ${size}x${size} PNG: $(file -b "$png")"
done
desktop-file-validate "$usr/share/applications/quillet.desktop" ||
  fail "quillet.desktop does not validate"
grep -qx 'Exec=quillet' "$usr/share/applications/quillet.desktop" &&
  grep -qx 'Icon=quillet' "$usr/share/applications/quillet.desktop" ||
  fail "quillet.desktop does not start quillet with its icon"
man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l \
  "$usr/share/man/man1/quillet-convert.1" 2>&1 >"$work/man.txt")
[ -z "$man_warnings" ] || fail "man page warnings: $man_warnings"
grep -q -- '--to-mbox' "$work/man.txt" || fail "man page does not render"

# --- The installed programs run ---------------------------------------------
out=$("$usr/bin/quillet-convert" --version 2>&1)
grep -qw "$version" <<<"$out" || fail "quillet-convert --version printed: $out"

mkdir "$work/mail"
printf 'From a@example.org Mon Jan  1 09:00:00 2024\r\nSubject: x\r\n\r\nbody\r\n' \
  >"$work/mail/Inbox"
if "$usr/bin/quillet-convert" --to-box --quiet "$work/mail/Inbox" >"$work/convert.log" 2>&1; then
  expected_box=$(printf '\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S\r\nSubject: x\r\n\r\nbody\r\n' | od -An -tx1)
  [ "$(od -An -tx1 "$work/mail/Inbox.box")" = "$expected_box" ] ||
    fail "the installed quillet-convert wrote a wrong Inbox.box"
else
  fail "the installed quillet-convert failed: $(cat "$work/convert.log")"
fi

# The window program starts through its link and keeps running (it waits on
# its About window) until stopped; any earlier exit is a failure to start.
QT_QPA_PLATFORM=offscreen timeout 3 "$usr/bin/quillet" >"$work/quillet.log" 2>&1
status=$?
[ $status -eq 124 ] || fail "quillet ended with $status: $(cat "$work/quillet.log")"

if [ $failures -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all package checks passed"
