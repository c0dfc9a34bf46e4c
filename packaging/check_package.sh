#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a built tree, unpacks it into a throwaway
# root and checks what a user would get from installing it: the package's
# fields and dependencies, exactly the expected files, and programs that run
# from their installed places; and what Debian and the desktop check: lintian
# (no error, no warning, each informational tag justified in README.md),
# hardening-check, appstreamcli and desktop-file-validate, and the MIME type
# that file managers give .box files.
#
#   check_package.sh CPACK BUILD_DIR VERSION
#
# Exits 0 when every check holds; otherwise prints each failed check. A check
# whose tool is missing is skipped with its reason, and then the script exits
# 77 (skipped) unless another check failed.
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
skips=0
# have TOOL PACKAGE: whether TOOL is there; if not, says which check is skipped.
have() {
  command -v "$1" >/dev/null && return 0
  echo "SKIP: no $1 (Debian package $2; scripts/setup-debian.sh test installs it)" >&2
  skips=$((skips + 1))
  return 1
}
here=$(cd "$(dirname "$0")" && pwd)

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
for needed in fonts-liberation xdg-utils libc6 libstdc++6 \
              libqt6core6 libqt6gui6 libqt6widgets6; do
  grep -qx "$needed" <<<"$dep_names" || fail "Depends lacks $needed"
done
# Qt's translations serve the window's dialogs only: recommended, not needed.
grep -qx qt6-translations-l10n <<<"$dep_names" &&
  fail "qt6-translations-l10n is a hard dependency"
[ "$(dpkg-deb -f "$deb" Recommends)" = qt6-translations-l10n ] ||
  fail "Recommends is '$(dpkg-deb -f "$deb" Recommends)', not qt6-translations-l10n"
grep -Eq '^[^<>]+ <[^@<> ]+@[^@<> ]+\.[^@<> ]+>$' <<<"$(dpkg-deb -f "$deb" Maintainer)" ||
  fail "Maintainer '$(dpkg-deb -f "$deb" Maintainer)' is no name with an address"

# --- Files ------------------------------------------------------------------
root="$work/root"
dpkg-deb -x "$deb" "$root"
expected="./usr/bin/quillet
./usr/bin/quillet-convert
./usr/lib/quillet/quillet
./usr/lib/quillet/readme.txt
./usr/share/applications/quillet.desktop
./usr/share/doc/quillet/changelog.gz
./usr/share/doc/quillet/copyright
./usr/share/man/man1/quillet-convert.1.gz
./usr/share/man/man1/quillet.1.gz
./usr/share/metainfo/invalid.quillet.Quillet.metainfo.xml
./usr/share/mime/packages/quillet.xml"
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
desktop=$usr/share/applications/quillet.desktop
if have desktop-file-validate desktop-file-utils; then
  desktop-file-validate "$desktop" || fail "quillet.desktop does not validate"
fi
# File managers hand the chosen mailboxes over as files (%F).
grep -qx 'Exec=quillet %F' "$desktop" && grep -qx 'Icon=quillet' "$desktop" ||
  fail "quillet.desktop does not start quillet with its icon and files"
grep -qx 'MimeType=application/mbox;application/x-foxmail-box;' "$desktop" ||
  fail "quillet.desktop does not offer itself for mbox and .box files"

# Manual pages: compressed without a name or time in the header, free of
# troff warnings, each option an entry of its own (indented once, as .TP
# sets it, not run into the paragraph before).
for page in quillet quillet-convert; do
  gz=$usr/share/man/man1/$page.1.gz
  [ "$(od -An -tx1 -j3 -N5 "$gz" | tr -d ' ')" = 0000000000 ] ||
    fail "$page.1.gz carries a name or time stamp (gzip -n)"
  man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$gz" 2>&1 >"$work/$page.txt")
  [ -z "$man_warnings" ] || fail "$page.1 warnings: $man_warnings"
done
for option in '--to-box' '--to-mbox' '-o, --output-dir DIR' '-q, --quiet' '-z, --null' \
              '-h, --help' '-v, --version'; do
  grep -qx -- "       $option" "$work/quillet-convert.txt" ||
    fail "quillet-convert.1 has no entry of its own for $option"
done
for option in '-h, --help' '-v, --version'; do
  grep -qx -- "       $option" "$work/quillet.txt" ||
    fail "quillet.1 has no entry of its own for $option"
done

# Licence and history.
doc=$usr/share/doc/quillet
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$doc/copyright" && grep -qx 'License: GPL-3+' "$doc/copyright" ||
  fail "the copyright file is not machine-readable or names no GPL-3+"
grep -q '/usr/share/common-licenses/GPL-3' "$doc/copyright" ||
  fail "the copyright file does not point to the GPL's text"
cmp -s /usr/share/common-licenses/GPL-3 "$here/../LICENSE" ||
  fail "LICENSE is not the text of the GPL version 3"
changelog_version=$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version)
[ "$changelog_version" = "$version" ] ||
  fail "the changelog's latest entry is $changelog_version, the package $version"

# Software centres and file managers.
metainfo=$usr/share/metainfo/invalid.quillet.Quillet.metainfo.xml
if have appstreamcli appstream; then
  appstreamcli validate --no-net "$metainfo" || fail "the metainfo does not validate"
fi
grep -q "<release version=\"$version\"" "$metainfo" ||
  fail "the metainfo names no release $version"
if have update-mime-database shared-mime-info && have gio libglib2.0-bin; then
  # A MIME database of the system's types and ours alone, asked as a file
  # manager asks: by the name, and by the content where the name says nothing.
  mkdir -p "$work/xdg/mime/packages" "$work/mail-types"
  cp /usr/share/mime/packages/freedesktop.org.xml "$usr/share/mime/packages/quillet.xml" \
    "$work/xdg/mime/packages/"
  update-mime-database "$work/xdg/mime" >"$work/mime.log" 2>&1 ||
    fail "update-mime-database refused quillet.xml: $(cat "$work/mime.log")"
  for name in Inbox.box Inbox; do
    printf '\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S\r\nSubject: x\r\n\r\nbody\r\n' \
      >"$work/mail-types/$name"
  done
  printf 'From a@example.org Mon Jan  1 09:00:00 2024\nSubject: x\n\nbody\n' \
    >"$work/mail-types/Sent"
  for case in Inbox.box:application/x-foxmail-box Inbox:application/x-foxmail-box \
              Sent:application/mbox; do
    type=$(XDG_DATA_HOME="$work/none" XDG_DATA_DIRS="$work/xdg" \
      gio info -a standard::content-type "$work/mail-types/${case%%:*}" |
      sed -n 's/^ *standard::content-type: //p')
    [ "$type" = "${case#*:}" ] || fail "${case%%:*} is taken for '$type', not ${case#*:}"
  done
fi

# Debian's own checks: hardened executables, and lintian.
if have hardening-check devscripts; then
  # Control-flow protection is not asked for: Debian 12's C start files carry
  # no CET marking, so no program linked there is marked (see README.md).
  hardening-check --nocfprotection "$usr/lib/quillet/quillet" ||
    fail "hardening-check quillet"
  # quillet-convert is compiled with the same flags, but none of its calls of
  # a checkable function has a buffer whose size the compiler knows, so it
  # holds no checked function to find (see README.md).
  hardening-check --nocfprotection --nofortify "$usr/bin/quillet-convert" ||
    fail "hardening-check quillet-convert"
fi
if have lintian lintian; then
  lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb" \
    >"$work/lintian.txt" 2>&1
  status=$?
  grep -v '^running with root privileges' "$work/lintian.txt"
  [ $status -eq 0 ] && ! grep -qE '^[EW]: ' "$work/lintian.txt" ||
    fail "lintian reports errors or warnings, or could not check (exit $status)"
  # Each informational tag that stays is explained in packaging/README.md.
  for tag in $(sed -nE 's/^I: quillet: ([a-z0-9-]+).*/\1/p' "$work/lintian.txt" | sort -u); do
    grep -q -- "\`$tag\`" "$here/README.md" ||
      fail "lintian's $tag is not explained in packaging/README.md"
  done
fi

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
if [ $skips -gt 0 ]; then
  echo "$skips check(s) skipped for want of their tools; all others passed" >&2
  exit 77
fi
echo "all package checks passed"
