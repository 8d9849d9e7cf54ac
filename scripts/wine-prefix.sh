#!/bin/sh
# Creates (once) the Wine prefix of a build tree and keeps its wineserver alive for the test run.
# Usage: wine-prefix.sh PREFIX_DIR
set -eu
prefix=$1
export WINEPREFIX="$prefix" WINEDEBUG=-all
export LC_ALL="${LC_ALL:-ja_JP.UTF-8}"
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.tanuvia-ready" ]; then
  rm -rf "$prefix"
  # No display is needed: the null graphics driver creates windows, dialogs and list views headless.
  DISPLAY= timeout 300 wine wineboot -i </dev/null >/dev/null 2>&1 || true
  timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  timeout 60 wineserver -w </dev/null >/dev/null 2>&1 || true
  touch "$prefix/.tanuvia-ready"
fi
# Keep the server for 120 s after the last client so each test binary starts in a fraction of a
# second. Its output goes nowhere: a server holding ctest's pipes would make ctest wait for it.
# Nor does it get the lock: a server that no client ever joins stays, and would hold it forever.
wineserver -p120 </dev/null >/dev/null 2>&1 9>&- || true
