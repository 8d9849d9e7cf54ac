#!/bin/bash
# A drop onto an archive's icon against "tnlzh a" of the same files, both under Wine in one run
# (drop_bench.exe times both), for the ~22 MB mixed corpus as one file and for the C++ headers
# folder as ~2,000 files. After each case the dropped archive is checked with lhasa.
#   bench/drop-bench.sh [BUILD_DIR] [RUNS]     (default build/mingw, 3; build drop_bench and tnlzh)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
B=$(readlink -f "${1:-$here/../build/mingw}")
runs=${2:-3}
export WINEPREFIX="$B/wineprefix" LC_ALL=ja_JP.UTF-8 TZ=Asia/Tokyo WINEDEBUG=-all
W=$(mktemp -d /tmp/tndrop.XXXXXX)
trap 'rm -rf "$W"' EXIT
tar cf "$W/corpus.tar" /usr/include/c++/12 /usr/bin/cmake /usr/share/common-licenses 2>/dev/null
cp -r /usr/include/c++/12 "$W/headers"
echo "corpus.tar: $(stat -c %s "$W/corpus.tar") bytes; headers: $(find "$W/headers" -type f | wc -l) files"
win() { winepath -w "$1" 2>/dev/null; }
for name in corpus.tar headers; do
  TANUVIA_WINE_TIMEOUT=1800 "$here/../scripts/wine-run.sh" "$B/bench/shell/drop_bench.exe" \
    "$(win "$B/cli/tnlzh.exe")" "$runs" "$(win "$W")" "$name"
  lhasa t "$W/drop.lzh" >/dev/null && echo "lhasa t: the dropped archive of $name is sound"
done
