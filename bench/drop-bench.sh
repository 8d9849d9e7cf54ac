#!/bin/bash
# A drop onto an archive's icon against "tnlzh a" of the same files, both under Wine in one run
# (drop_bench.exe times both), for the ~22 MB mixed corpus as one file, for the C++ headers
# folder as ~2,000 files, and for a folder of 20,000 small files (the per-file cost of the job).
# After each case the dropped archive is checked with lhasa.
#   bench/drop-bench.sh [BUILD_DIR] [RUNS] [CASES]   (default build/mingw, 3, "corpus.tar headers small";
#                                                   build drop_bench and tnlzh)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
B=$(readlink -f "${1:-$here/../build/mingw}")
runs=${2:-3}
cases=${3:-corpus.tar headers small}
export WINEPREFIX="$B/wineprefix" LC_ALL=ja_JP.UTF-8 TZ=Asia/Tokyo WINEDEBUG=-all
W=$(mktemp -d /tmp/tndrop.XXXXXX)
trap 'rm -rf "$W"' EXIT
tar cf "$W/corpus.tar" /usr/include/c++/12 /usr/bin/cmake /usr/share/common-licenses 2>/dev/null
cp -r /usr/include/c++/12 "$W/headers"
mkdir -p "$W/small"
for d in $(seq -w 0 19); do
  mkdir "$W/small/d$d"
  for f in $(seq -w 0 999); do echo "small file $d/$f of the drop benchmark" > "$W/small/d$d/f$f.txt"; done
done
echo "corpus.tar: $(stat -c %s "$W/corpus.tar") bytes; headers: $(find "$W/headers" -type f | wc -l) files; small: $(find "$W/small" -type f | wc -l) files"
win() { winepath -w "$1" 2>/dev/null; }
for name in $cases; do
  TANUVIA_WINE_TIMEOUT=1800 "$here/../scripts/wine-run.sh" "$B/bench/shell/drop_bench.exe" \
    "$(win "$B/cli/tnlzh.exe")" "$runs" "$(win "$W")" "$name"
  lhasa t "$W/drop.lzh" >/dev/null && echo "lhasa t: the dropped archive of $name is sound"
done
