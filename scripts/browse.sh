#!/bin/sh
# Opens an archive in the browser window (tnbrowse) under Wine, the way the shell shows it.
#
# Usage: scripts/browse.sh [ARCHIVE.lzh]
#
# On a fresh Debian 12 machine it installs what it needs (scripts/setup.sh), builds the Windows
# library and tnbrowse (mingw preset) and the native tnlzh when the tree has it, and makes a sample
# archive of the project's own sources when no archive is given. With a display the window stays
# open until closed. Without one it runs under xvfb-run with Wine's X11 driver in a prefix of its
# own (build/mingw/wineprefix-browse; the tests' null-driver prefix is never touched), Japanese
# fonts and a substitute for "ＭＳ Ｐゴシック", saves a screenshot and prints where.
# The view starts in the mode the settings say (list unless "DefaultView" was changed).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$root/build/mingw

"$here/setup.sh"

cd "$root"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j2 --target tanufold tnbrowse
if [ -f cli/CMakeLists.txt ] || grep -q tnlzh CMakeLists.txt 2>/dev/null; then
  cmake --preset native >/dev/null
  cmake --build --preset native -j2 --target tnlzh || true
fi

archive=${1:-}
if [ -z "$archive" ]; then
  # The project's own sources: folders, many members and a few sizes.
  archive=$build/sample/tanuvia-sources.lzh
  mkdir -p "$build/sample"
  rm -f "$archive"
  members="README.md CMakeLists.txt archive codec namespace browse scripts"
  if [ -x "$root/build/native/tnlzh" ]; then
    "$root/build/native/tnlzh" a "$archive" $members >/dev/null
  else
    LC_ALL=ja_JP.UTF-8 jlha a2o5q "$archive" $members
  fi
fi
[ -f "$archive" ] || { echo "browse.sh: no archive at $archive" >&2; exit 2; }
archive=$(cd "$(dirname "$archive")" && pwd)/$(basename "$archive")

tnbrowse=$build/browse/tnbrowse.exe
library=$build/namespace/tanufold.dll
export WINEPREFIX="$build/wineprefix-browse" WINEDEBUG=-all LC_ALL=ja_JP.UTF-8 TZ=Asia/Tokyo

# Runs a command inside one X server session: the real display, or Xvfb without one.
in_display() {
  if [ -n "${DISPLAY:-}" ]; then sh -c "$1"; else xvfb-run -a -s "-screen 0 1024x768x24" sh -c "$1"; fi
}

if [ ! -f "$WINEPREFIX/.tanuvia-browse-ready" ]; then
  rm -rf "$WINEPREFIX"
  in_display '
    timeout 300 wine wineboot -i >/dev/null 2>&1 || true
    wine reg add "HKCU\\Software\\Wine\\Fonts\\Replacements" /v "ＭＳ Ｐゴシック" /d "IPAPGothic" /f >/dev/null 2>&1
    wine reg add "HKCU\\Software\\Wine\\Fonts\\Replacements" /v "ＭＳ ゴシック" /d "IPAGothic" /f >/dev/null 2>&1
    wine reg add "HKCU\\Software\\Wine\\Fonts\\Replacements" /v "MS Shell Dlg" /d "IPAPGothic" /f >/dev/null 2>&1
    wine reg add "HKCU\\Software\\Wine\\Fonts\\Replacements" /v "Tahoma" /d "IPAPGothic" /f >/dev/null 2>&1
    wineserver -w'
  touch "$WINEPREFIX/.tanuvia-browse-ready"
fi

windows_path() { winepath -w "$1" 2>/dev/null; }

if [ -n "${DISPLAY:-}" ]; then
  wine "$tnbrowse" "$(windows_path "$archive")" --dll "$(windows_path "$library")"
  exit $?
fi

shot=$build/screenshots/browse.png
mkdir -p "$(dirname "$shot")"
rm -f "$shot"
in_display "
  wine '$tnbrowse' \"\$(winepath -w '$archive')\" --dll \"\$(winepath -w '$library')\" \
       --close-after 20 >/dev/null 2>'$build/browse.log' &
  pid=\$!
  sleep 12
  import -window root '$shot'
  wait \$pid || true
  wineserver -k || true"
if [ -s "$shot" ]; then
  echo "$shot"
else
  echo "browse.sh: no screenshot; see $build/browse.log" >&2
  exit 1
fi
