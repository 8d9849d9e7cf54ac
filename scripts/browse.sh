#!/bin/sh
# Opens an archive in the browser window (tnbrowse) under Wine, the way the shell shows it.
#
# Usage: scripts/browse.sh [--installed] [ARCHIVE.lzh]
#
# With --installed the library is first installed in the prefix by its own installer
# (scripts/install.sh runs TNSETUP.EXE and answers it), and the window then finds it the way the
# shell does, through the registered class; without it the window loads the built library.
#
# On a fresh Debian 12 machine it installs what it needs (scripts/setup.sh), builds the Windows
# library and tnbrowse (mingw preset) and the native tnlzh when the tree has it, and makes a sample
# archive of the project's own sources when no archive is given. With a display the window stays
# open until closed. Without one it runs under xvfb-run with Wine's X11 driver in a prefix of its
# own (build/mingw/wineprefix-browse; the tests' null-driver prefix is never touched), Japanese
# fonts and a substitute for "ＭＳ Ｐゴシック", and Wine drawing the window frames itself (there is
# no window manager), saves a screenshot and prints where.
# The view starts in details mode, so the seven columns are seen.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$root/build/mingw

installed=
if [ "${1:-}" = --installed ]; then installed=1; shift; fi

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
  # A few members with Japanese names (stored in Shift-JIS): a folder and a file in it, and a
  # file at the top.
  extra=$build/sample/extra
  rm -rf "$extra"
  mkdir -p "$extra/資料"
  cp "$root/README.md" "$extra/説明書.txt"
  cp "$root/tests/data/README.md" "$extra/資料/ソフト紹介.txt"
  if [ -x "$root/build/native/cli/tnlzh" ]; then
    "$root/build/native/cli/tnlzh" a "$archive" -q $members >/dev/null
    "$root/build/native/cli/tnlzh" a "$archive" -q -C "$extra" 資料 説明書.txt >/dev/null
  else
    LC_ALL=ja_JP.UTF-8 jlha a2o5q "$archive" $members
    (cd "$extra" && LC_ALL=ja_JP.UTF-8 jlha a2o5q "$archive" 資料 説明書.txt)
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

# The prefix is made again when its settings change (its marker names their version).
in_display "'$here/wine-x11-prefix.sh' '$WINEPREFIX'"

windows_path() { winepath -w "$1" 2>/dev/null; }

if [ -n "$installed" ]; then
  "$here/install.sh" "$WINEPREFIX" >/dev/null
  source_of_library="--registered"
else
  source_of_library="--dll \"\$(winepath -w '$library')\""
fi

# Under Xvfb there is no window manager: Wine then draws the window frame and caption itself.
# On a real display the window manager does. (Set inside the X session that runs the window: a
# Wine started outside it would leave the session's Wine without a display.)
x11_key='HKCU\Software\Wine\X11 Driver'
x11_own="wine reg add '$x11_key' /v Decorated /d N /f >/dev/null 2>&1
  wine reg add '$x11_key' /v Managed /d N /f >/dev/null 2>&1"
x11_manager="wine reg delete '$x11_key' /v Decorated /f >/dev/null 2>&1
  wine reg delete '$x11_key' /v Managed /f >/dev/null 2>&1"

if [ -n "${DISPLAY:-}" ]; then
  sh -c "$x11_manager" || true
  if [ -n "$installed" ]; then
    wine "$tnbrowse" "$(windows_path "$archive")" --view details --registered
  else
    wine "$tnbrowse" "$(windows_path "$archive")" --view details --dll "$(windows_path "$library")"
  fi
  exit $?
fi

shot=$build/screenshots/browse.png
menu_shot=$build/screenshots/item-menu.png
background_shot=$build/screenshots/background-menu.png
mkdir -p "$(dirname "$shot")"
rm -f "$shot" "$menu_shot" "$background_shot"
in_display "
  $x11_own
  wine '$tnbrowse' \"\$(winepath -w '$archive')\" --view details \
       $source_of_library --close-after 20 >/dev/null 2>'$build/browse.log' &
  pid=\$!
  sleep 12
  import -window root '$shot'
  convert '$shot' -trim +repage '$shot'
  # The library's item menu as a right-click on a member shows it (the first file's row).
  window=\$(xdotool search --name 'tanuvia' | head -1)
  xdotool mousemove --window \$window 60 190 click 3
  sleep 3
  import -window root '$menu_shot'
  xdotool key Escape
  sleep 1
  # And the folder's background menu, on the view's empty space.
  xdotool mousemove --window \$window 400 380 click 3
  sleep 3
  import -window root '$background_shot'
  xdotool key Escape
  wait \$pid || true
  wineserver -k || true"
if [ -s "$shot" ]; then
  echo "$shot"
  for extra in "$menu_shot" "$background_shot"; do [ ! -s "$extra" ] || echo "$extra"; done
else
  echo "browse.sh: no screenshot; see $build/browse.log" >&2
  exit 1
fi
