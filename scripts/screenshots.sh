#!/bin/sh
# Shows every dialog of the shell library with sample data under Xvfb and saves one PNG per
# dialog under build/mingw/screenshots/. Uses a Wine prefix of its own with the X11 driver
# (build/mingw/wineprefix-x11), Japanese fonts (fonts-ipafont-gothic) and a substitute for
# "ＭＳ Ｐゴシック", so the test prefix (null driver) is never touched.
#
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default build/mingw; build it first)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/mingw}
build=$(cd "$build" && pwd)
gallery=$build/tests/dll/dialog_gallery.exe
out=$build/screenshots
[ -f "$gallery" ] || { echo "screenshots.sh: build $gallery first" >&2; exit 2; }
mkdir -p "$out"

export WINEPREFIX="$build/wineprefix-x11" WINEDEBUG=-all LC_ALL=ja_JP.UTF-8 TZ=Asia/Tokyo

run_in_display() {
  # Everything that talks to Wine runs inside one X server session.
  xvfb-run -a -s "-screen 0 1024x768x24" sh -c "$1"
}

if [ ! -f "$WINEPREFIX/.tanuvia-x11-ready" ]; then
  rm -rf "$WINEPREFIX"
  run_in_display '
    timeout 300 wine wineboot -i >/dev/null 2>&1 || true
    wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /d N /f >/dev/null 2>&1
    wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
    wine reg add "HKCU\\Software\\Wine\\Fonts\\Replacements" /v "ＭＳ Ｐゴシック" /d "IPAPGothic" /f >/dev/null 2>&1
    wine reg add "HKCU\\Software\\Wine\\Fonts\\Replacements" /v "ＭＳ ゴシック" /d "IPAGothic" /f >/dev/null 2>&1
    wineserver -w'
  touch "$WINEPREFIX/.tanuvia-x11-ready"
fi

adding=$build/tests/dll/adding_gallery/adding_gallery.exe
for name in overwrite overwrite-folder folder-conflict file-conflict file-conflict-rename \
            folder-options compression-options progress summary \
            member-page comment-page members-page folder-page archive-page \
            level0-question commit-refused; do
  program=$gallery
  # The dialogs of adding files come from a gallery of their own.
  case $name in progress|summary) program=$adding ;; esac
  rect=$(mktemp)
  rm -f "$rect"
  png="$out/$name.png"
  run_in_display "
    wine '$program' $name \"\$(winepath -w '$rect')\" >/dev/null 2>&1 &
    pid=\$!
    i=0
    while [ ! -s '$rect' ] && [ \$i -lt 200 ]; do sleep 0.1; i=\$((i+1)); done
    if [ -s '$rect' ]; then import -window root -crop \"\$(cat '$rect')\" +repage '$png'; fi
    wait \$pid || true
    wineserver -k || true"
  if [ -f "$png" ]; then echo "$png"; else echo "screenshots.sh: no picture of $name" >&2; fi
  rm -f "$rect"
done
