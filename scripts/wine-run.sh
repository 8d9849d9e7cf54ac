#!/bin/sh
# Runs a Windows program under Wine in the build tree's prefix (the CMake cross-compiling emulator).
# A test can fail but never hang: the whole run is bounded by TANUVIA_WINE_TIMEOUT seconds.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set" >&2
  exit 2
fi
[ -f "$WINEPREFIX/.tanuvia-ready" ] || "$here/wine-prefix.sh" "$WINEPREFIX"
export LC_ALL="${LC_ALL:-ja_JP.UTF-8}" WINEDEBUG="${WINEDEBUG:--all}"
[ -n "${TANUVIA_WINE_DISPLAY:-}" ] || export DISPLAY=
# Wine's system processes (services, device manager) outlive the program and inherit its output
# descriptors; were those ctest's pipes, ctest would wait for them. So the program writes to a file
# that is copied out when it ends.
wineserver -p120 </dev/null >/dev/null 2>&1 || true
log=$(mktemp)
timeout -k 10 "${TANUVIA_WINE_TIMEOUT:-600}" wine "$@" </dev/null >"$log" 2>&1
status=$?
cat "$log"
rm -f "$log"
exit $status
