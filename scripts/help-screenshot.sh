#!/bin/sh
# Opens the package's help file (build/mingw/package/TANUFOLD.HLP, made by scripts/make-help.py)
# in Wine's help viewer, winhlp32, under Xvfb, and saves the contents topic and the options topic
# as build/mingw/screenshots/help-contents.png and help-options.png. Uses the prefix of
# scripts/browse.sh (build/mingw/wineprefix-browse, X11 driver, Japanese fonts), creating it when
# missing; the tests' prefixes are never touched.
#
# Usage: scripts/help-screenshot.sh   (builds the package of the mingw preset first)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$root/build/mingw
cd "$root"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j2 --target tnpackage

export WINEPREFIX="$build/wineprefix-browse" WINEDEBUG=-all LC_ALL=ja_JP.UTF-8 TZ=Asia/Tokyo
out=$build/screenshots
mkdir -p "$out"
for topic in contents:IDH_CONTENTS options:IDH_OPTIONS; do
  png=$out/help-${topic%%:*}.png
  rm -f "$png"
  xvfb-run -a -s "-screen 0 1024x768x24" sh -c "
    '$here/wine-x11-prefix.sh' '$WINEPREFIX'
    wine winhlp32 -i ${topic#*:} \"\$(winepath -w '$build/package/TANUFOLD.HLP')\" >/dev/null 2>&1 &
    sleep 8
    import -window root '$png.full.png'
    wineserver -k || true"
  # The viewer's window, without the empty screen around it.
  convert "$png.full.png" -trim +repage "$png" && rm -f "$png.full.png"
  [ -s "$png" ] || { echo "help-screenshot.sh: no picture of $topic" >&2; exit 1; }
  echo "$png"
done
