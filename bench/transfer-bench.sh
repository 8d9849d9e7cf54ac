#!/bin/bash
# Carrying members out of an archive (the drag data object: its creation, the first CF_HDROP
# request that writes the copies, and "FileContents" of one member) against the engine's
# extraction that tnlzh.exe x runs, both timed inside one Wine process on the same file system.
#   bench/transfer-bench.sh [BUILD_DIR [THREADS]]     (default build/mingw, one thread per core)
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

cp -r /usr/include/c++/12 headers
head -c 20000000 <(while :; do cat /usr/include/c++/12/bits/*.h; done) > big.bin
wine "$B/cli/tnlzh.exe" a -q -m5 headers.lzh headers >/dev/null
wine "$B/cli/tnlzh.exe" a -q -m5 big.lzh big.bin >/dev/null
python3 "$here/mixed-corpus.py"
wine "$B/cli/tnlzh.exe" a -q -m5 mixed.lzh mixed >/dev/null
echo "headers.lzh: $(find headers -type f | wc -l) members; big.lzh: one 20 MB member (-lh5-);" \
  "mixed.lzh: the 2,000 files of 30 KB on average of the parallel benchmark"
for a in headers big mixed; do
  wine "$B/bench/shell/transfer_bench.exe" $a.lzh "$temp" 5 "${2:-0}"
done
