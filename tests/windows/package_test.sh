#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The zip and the installer of the Windows build, under Wine:
# - the zip's folder holds every DLL its programs and plugins import that
#   Windows does not bring, and its quillet-convert.exe converts with no
#   other folder on the DLL path;
# - setup.exe /S installs into Program Files with the Start menu entries,
#   the installed quillet-convert.exe converts, and Uninstall.exe /S
#   removes everything it installed.
#
# usage: package_test.sh ZIP SETUP_EXE LINUX_MAKE_MAILBOX
set -euo pipefail
export LC_ALL=C.UTF-8  # names reach Wine programs as UTF-16 through it
zip=$1 setup=$2 make_mailbox=$3

work=$(mktemp -d /tmp/quillet-package-test.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINEPATH
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

wineboot -i >/dev/null 2>&1
system32=$WINEPREFIX/drive_c/windows/system32

# --- the zip
mkdir "$work/unzipped"
(cd "$work/unzipped" && python3 -m zipfile -e "$zip" .)
folder=$work/unzipped/Quillet
for f in quillet.exe quillet-convert.exe readme.txt qt.conf Qt6Core.dll \
  Qt6Gui.dll Qt6Widgets.dll plugins/platforms/qwindows.dll \
  plugins/styles/qwindowsvistastyle.dll translations/qt_de.qm \
  translations/qt_fr.qm translations/qtbase_de.qm translations/qtbase_fr.qm \
  libstdc++-6.dll libgcc_s_seh-1.dll \
  libwinpthread-1.dll licenses/GPL-3 licenses/LGPL-3; do
  [ -f "$folder/$f" ] || fail "the zip lacks $f"
done
# Names in lower case, one per line: Windows ignores case in DLL names.
have=$( (ls "$folder"; ls "$system32") | tr '[:upper:]' '[:lower:]')
missing=0
while IFS= read -r binary; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$binary" |
    sed -n 's/^\s*DLL Name: //p'); do
    lower=${dll,,}
    if grep -qxF -- "$lower" <<<"$have"; then continue; fi
    case $lower in api-ms-win-*) continue ;; esac
    echo "  ${binary#"$folder"/} imports $dll, which neither the zip nor Windows has" >&2
    missing=1
  done
done < <(find "$folder" -name '*.exe' -o -name '*.dll')
[ "$missing" -eq 0 ] || fail "DLLs missing from the zip"
echo "the zip's programs and plugins import only what the zip or Windows has"

"$make_mailbox" --format mbox-lf --size 200K "$work/Inbox" >/dev/null
out=$(cd "$work" && wine "$folder/quillet-convert.exe" --to-box Inbox) ||
  fail "the unzipped quillet-convert.exe did not convert"
[ -s "$work/Inbox.box" ] || fail "no Inbox.box from the unzipped program"
echo "the unzipped quillet-convert.exe converts: $out"
rm "$work/Inbox.box"

# --- the installer
wine "$setup" /S
wineserver -w
installed=$WINEPREFIX/drive_c/Program\ Files/Quillet
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Quillet
[ -f "$installed/quillet.exe" ] || fail "setup.exe /S installed no quillet.exe"
[ -f "$installed/Uninstall.exe" ] || fail "no uninstaller"
[ -f "$menu/Quillet.lnk" ] || fail "no Start menu entry for Quillet"
[ -f "$menu/Anleitung - Instructions.lnk" ] || fail "no Start menu entry for the instructions"
diff -r "$folder" "$installed" -x Uninstall.exe >/dev/null ||
  fail "the installed folder differs from the zip's"
out=$(cd "$work" && wine 'C:\Program Files\Quillet\quillet-convert.exe' --to-box Inbox) ||
  fail "the installed quillet-convert.exe did not convert"
[ -s "$work/Inbox.box" ] || fail "no Inbox.box from the installed program"
echo "setup.exe /S installed Quillet and its Start menu entries; it converts: $out"

wine 'C:\Program Files\Quillet\Uninstall.exe' /S
wineserver -w
sleep 1
wineserver -w
[ ! -e "$installed" ] || fail "the uninstaller left: $(ls -A "$installed")"
[ ! -e "$menu" ] || fail "the uninstaller left the Start menu folder"
if wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillet' >/dev/null 2>&1; then
  fail "the uninstaller left its registry key"
fi
echo "Uninstall.exe /S removed the folder, the Start menu entries and the registry keys"
