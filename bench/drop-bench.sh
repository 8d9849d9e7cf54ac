#!/bin/bash
# A drop onto an archive's icon against "tnlzh a" of the same files, both under Wine in one run
# (drop_bench.exe times both), for the ~22 MB mixed corpus as one file, for the C++ headers
# folder (783 files), for 2,000 files of mixed text and binary (about 60 MB, the parallel
# benchmark's corpus), and for a folder of 20,000 small files (the per-file cost of the job;
# SMALL_FILES=N for another count).
# After each case the dropped archive is checked with lhasa.
#   bench/drop-bench.sh [BUILD_DIR] [RUNS] [CASES]   (default build/mingw, 3, "corpus.tar headers mixed small";
#                                                   build drop_bench and tnlzh)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
B=$(readlink -f "${1:-$here/../build/mingw}")
runs=${2:-3}
cases=${3:-corpus.tar headers mixed small}
export WINEPREFIX="$B/wineprefix" LC_ALL=ja_JP.UTF-8 TZ=Asia/Tokyo WINEDEBUG=-all
W=$(mktemp -d /tmp/tndrop.XXXXXX)
trap 'rm -rf "$W"' EXIT
tar cf "$W/corpus.tar" /usr/include/c++/12 /usr/bin/cmake /usr/share/common-licenses 2>/dev/null
cp -r /usr/include/c++/12 "$W/headers"
(cd "$W" && python3 "$here/mixed-corpus.py")
# SMALL_FILES (default 20,000) small files, 1,000 per folder.
python3 - "$W/small" "${SMALL_FILES:-20000}" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "d%03d" % (i // 1000))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%03d.txt" % (i % 1000)), "w") as f:
        f.write("small file %d of the drop benchmark\n" % i)
PY
echo "corpus.tar: $(stat -c %s "$W/corpus.tar") bytes; headers: $(find "$W/headers" -type f | wc -l) files; small: $(find "$W/small" -type f | wc -l) files"
win() { winepath -w "$1" 2>/dev/null; }
for name in $cases; do
  TANUVIA_WINE_TIMEOUT=7200 "$here/../scripts/wine-run.sh" "$B/bench/shell/drop_bench.exe" \
    "$(win "$B/cli/tnlzh.exe")" "$runs" "$(win "$W")" "$name"
  lhasa t "$W/drop.lzh" >/dev/null && echo "lhasa t: the dropped archive of $name is sound"
done
