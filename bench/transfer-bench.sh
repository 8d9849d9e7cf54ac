#!/bin/bash
# Carrying members out of an archive (the clipboard data object, which decodes every member and
# writes its temporary copy) against tnlzh.exe extracting the same archive, both under Wine in one
# run, on the same file system.
#   bench/transfer-bench.sh [BUILD_DIR]     (default build/mingw)
set -eu
B=$(readlink -f "${1:-build/mingw}")
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$B/wineprefix} LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all DISPLAY=
[ -f "$WINEPREFIX/.tanuvia-ready" ] || "$here/../scripts/wine-prefix.sh" "$WINEPREFIX"
wineserver -p60 || true
W=$(mktemp -d /tmp/tntransfer.XXXXXX)
trap 'rm -rf "$W"' EXIT
cd "$W"
mkdir temp
temp="Z:$(echo "$W" | tr / '\\')\\temp"

. "$here/timing.sh"

cp -r /usr/include/c++/12 headers
head -c 20000000 <(while :; do cat /usr/include/c++/12/bits/*.h; done) > big.bin
wine "$B/cli/tnlzh.exe" a -q -m5 headers.lzh headers >/dev/null
wine "$B/cli/tnlzh.exe" a -q -m5 big.lzh big.bin >/dev/null
members=$(find headers -type f | wc -l)
for a in headers big; do
  x=$(best 5 "rm -rf o && mkdir o" wine "$B/cli/tnlzh.exe" x $a.lzh -q -C o)
  d=$(best 5 "rm -rf temp/*" wine "$B/bench/shell/transfer_bench.exe" $a.lzh "$temp")
  rm -rf temp/*
  inside=$(wine "$B/bench/shell/transfer_bench.exe" $a.lzh "$temp")
  rm -rf temp/*
  echo "$a.lzh ($( [ $a = headers ] && echo "$members members" || echo "one 20 MB member"), -lh5-):" \
       "data object ${d}s, tnlzh.exe x ${x}s, ratio $(ratio "$d" "$x")" \
       "(in-process creation: $inside)"
done
