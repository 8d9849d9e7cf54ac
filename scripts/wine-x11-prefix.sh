#!/bin/sh
# Creates (once) a Wine prefix for people to look at: Wine's X11 driver, and Japanese fonts
# standing in for "ＭＳ Ｐゴシック" and the other faces of the dialogs. Its settings and its marker
# are those of the prefix scripts/browse.sh makes, so that the installer, the help viewer and the
# browser can share build/mingw/wineprefix-browse. Run it inside an X session (a real display or
# xvfb-run); the tests' null-driver prefixes are never touched.
#
# Usage: scripts/wine-x11-prefix.sh PREFIX
set -eu
export WINEPREFIX="$1" WINEDEBUG=-all LC_ALL="${LC_ALL:-ja_JP.UTF-8}"
[ ! -f "$WINEPREFIX/.tanuvia-browse-ready-2" ] || exit 0
rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
timeout 300 wine wineboot -i >/dev/null 2>&1 || true
for substitute in "ＭＳ Ｐゴシック=IPAPGothic" "ＭＳ ゴシック=IPAGothic" "MS Shell Dlg=IPAPGothic" \
                  "Tahoma=IPAPGothic"; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${substitute%%=*}" \
       /d "${substitute#*=}" /f >/dev/null 2>&1
done
wineserver -w
# Wine draws the caption buttons with Marlett, which it finds only among the prefix's fonts.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
touch "$WINEPREFIX/.tanuvia-browse-ready-2"
