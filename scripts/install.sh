#!/bin/sh
# Installs Tanuvia with its own installer in a Wine prefix under the build tree: runs TNSETUP.EXE
# from the package (build/mingw/package: TANUFOLD.DLL, TNSETUP.EXE, TANUFOLD.HLP, TANUFOLD.CNT,
# TANUFOLD.HTM) and answers it as a user who agrees (yes to the installation, OK to its messages, no to the
# restart question), then lets Wine make the file replacements that wait for a restart, as a
# restart would. The shell, or any program, then finds tanufold through the registered class.
#
# Usage: scripts/install.sh [--remove] [PREFIX]
#
# PREFIX defaults to build/mingw/wineprefix-browse, the prefix in which scripts/browse.sh shows
# archives; it is created when missing (scripts/wine-x11-prefix.sh). Without a display everything
# runs under xvfb-run. --remove runs the uninstall command the installer registered instead.
# Prints the installer's messages and exits with its exit code: 0 done, 1 declined, 2 failed,
# 3 when the run itself went wrong.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$root/build/mingw

remove=
if [ "${1:-}" = --remove ]; then remove=1; shift; fi
prefix=${1:-$build/wineprefix-browse}
mkdir -p "$(dirname "$prefix")"
prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")

"$here/setup.sh"
cd "$root"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j2 --target tnpackage answer_setup

export WINEPREFIX="$prefix" WINEDEBUG=-all LC_ALL=ja_JP.UTF-8 TZ=Asia/Tokyo
answer=$build/tests/setup/answer_setup.exe
if [ -n "$remove" ]; then
  # The uninstall command: the installed copy, as the control panel runs it.
  program='C:\windows\system32\SHELLEXT\TNSETUP.EXE'
  argument=/remove
else
  program="\$(winepath -w '$build/package/TNSETUP.EXE')"
  argument=
fi

# Runs a command inside one X server session: the real display, or Xvfb without one.
in_display() {
  if [ -n "${DISPLAY:-}" ]; then sh -c "$1"
  else xvfb-run -a -s "-screen 0 1024x768x24" sh -c "$1"; fi
}

status=$(mktemp)
in_display "
  '$here/wine-x11-prefix.sh' '$prefix'
  wine '$answer' \"$program\" $argument
  echo \$? > '$status'
  wine wineboot >/dev/null 2>&1 || true
  wineserver -k || true"
code=$(cat "$status")
rm -f "$status"
exit "${code:-3}"
