#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Qt 6 qtbase (Core, Gui, Widgets, Test; the windows platform plugin
# and the windowsvista style; shared libraries) for x86_64-w64-mingw32 from
# Debian's own qt6-base source, once. The result lands in a cache folder
# outside any build tree, keyed by the source version and by the hash of this
# script and the toolchain file (their commands, not their comments), so a
# change to either builds a fresh Qt and an unchanged recipe is never built
# twice.
#
#   scripts/build-qt-mingw.sh           build if missing; print the prefix
#   scripts/build-qt-mingw.sh --prefix  print the prefix the cache would use
#
# The moc, rcc and uic of the host's Qt (Debian's qt6-base-dev, the same
# version) serve the cross build: QT_HOST_PATH.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
toolchain=$here/packaging/windows/mingw-w64-x86_64.cmake

qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
# Comments and blank lines are not the recipe: changing them builds nothing.
recipe_hash=$(cat "$0" "$toolchain" | grep -v '^[[:space:]]*\(#.*\)\?$' |
  sha256sum | cut -c1-12)
cache_root=${QUILLET_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillet}
key="qt-mingw-${qt_version//[^A-Za-z0-9.+-]/_}-$recipe_hash"
prefix=$cache_root/$key

if [ "${1:-}" = --prefix ]; then
  echo "$prefix"
  exit 0
fi
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

echo "Building Qt $qt_version for Windows (MinGW-w64) into $prefix." >&2
echo "This happens once; on two cores it takes 20 to 35 minutes." >&2

work=$cache_root/work-$key
rm -rf "$work" "$prefix"
mkdir -p "$work" "$cache_root/src"
# The toolchain file is kept beside the Qt it built: Qt's own toolchain file
# (lib/cmake/Qt6/qt.toolchain.cmake) loads it by this path in later builds.
mkdir -p "$prefix"
cp "$toolchain" "$prefix/mingw-w64-x86_64.cmake"

(
  cd "$cache_root/src"
  ls qt6-base_"${qt_version%-*}".orig.tar.* >/dev/null 2>&1 ||
    apt-get source --download-only "qt6-base=$qt_version" >&2
)
tar -C "$work" -xf "$cache_root"/src/qt6-base_"${qt_version%-*}".orig.tar.*
src=$(echo "$work"/qtbase-everywhere-src-*)

# OpenGL off entirely (INPUT_opengl=no: with FEATURE_opengl alone, the
# dynamic GL loader stays on and the windows plugin does not compile);
# DirectWrite 3 off (qwindows.dll fails to link with it); tablet events off
# (Debian's source drops the wintab headers). Modules Quillet does not use
# are off, and every third-party library is Qt's bundled copy, so nothing
# of the Linux host ends up in a Windows DLL.
cmake -S "$src" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64-x86_64.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=ON \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DINPUT_opengl=no \
  -DFEATURE_directwrite3=OFF \
  -DFEATURE_tabletevent=OFF \
  -DFEATURE_dbus=OFF -DFEATURE_network=OFF -DFEATURE_sql=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_vulkan=OFF -DFEATURE_icu=OFF -DFEATURE_pkg_config=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF \
  -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_doubleconversion=OFF >"$work/configure.log" 2>&1 ||
  { tail -40 "$work/configure.log" >&2; exit 1; }

# Ninja's own progress ([n/N]) is the progress of the long step.
cmake --build "$work/build" --parallel "${QUILLET_JOBS:-$(nproc)}" |
  awk '/^\[[0-9]+\/[0-9]+\]/ { split(substr($1, 2), a, "/"); p = int(100 * a[1] / a[2]); if (p != last) { printf "  Qt for Windows: %d %%\n", p > "/dev/stderr"; last = p } next } /error|Error|FAILED/ { print > "/dev/stderr" }'
[ "${PIPESTATUS[0]}" -eq 0 ] || exit 1
cmake --install "$work/build" >/dev/null
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
