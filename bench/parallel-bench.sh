#!/bin/bash
# Every core against one, and the cost of many members: tnlzh a and x of 2,000 files of mixed text
# and binary (about 60 MB) with all cores, with -j 1 and against jlha, 7z and lhasa; then tnlzh a
# and x of 100,000 and of 200,000 small files. Everything is written in one scratch folder under
# /tmp and removed at the end. Ratios are taken within this one run.
#   bench/parallel-bench.sh [BUILD_DIR] [RUNS]   (default build/native, best of 3; needs jlha, 7z,
#                                                 lhasa)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
B=$(readlink -f "${1:-build/native}")
runs=${2:-3}
T=$B/cli/tnlzh
export LC_ALL=ja_JP.UTF-8
. "$here/timing.sh"
scratch tnpbench

python3 "$here/mixed-corpus.py"
echo "corpus: $(find mixed -type f | wc -l) files, $(du -sb mixed | cut -f1) bytes; $(nproc) cores"

echo "== tnlzh a of the 2,000 files (best of $runs, seconds; ratios: other / tnlzh all cores)"
a=$(best "$runs" "rm -f M.lzh" "$T" a M.lzh -q mixed)
a1=$(best "$runs" "rm -f M1.lzh" "$T" a M1.lzh -q -j 1 mixed)
cmp -s M.lzh M1.lzh || echo "the archives of all cores and of -j 1 differ"
# jlha takes files, not folders.
find mixed -type f | sort > files.txt
j=$(best "$runs" "rm -f J.lzh" sh -c 'jlha a2o5q J.lzh $(cat files.txt)')
[ "$(jlha l J.lzh | grep -c '\.dat')" = 2000 ] || echo "jlha a did not take every file"
echo "tnlzh a $a  -j 1 $a1  jlha a $j  -> -j1/all $(ratio "$a1" "$a")  jlha/tnlzh $(ratio "$j" "$a")"

echo "== tnlzh x of that archive (best of $runs)"
x=$(best "$runs" "rm -rf o && mkdir o" "$T" x M.lzh -q -C o)
diff -r mixed o/mixed >/dev/null || echo "tnlzh x gave other files"
x1=$(best "$runs" "rm -rf o && mkdir o" "$T" x M.lzh -q -j 1 -C o)
z=$(best "$runs" "rm -rf o && mkdir o" 7z x -oo -y M.lzh)
l=$(best "$runs" "rm -rf o && mkdir o" sh -c "cd o && lhasa xq ../M.lzh")
echo "tnlzh x $x  -j 1 $x1  7z x $z  lhasa x $l  -> -j1/all $(ratio "$x1" "$x")" \
     " 7z/tnlzh $(ratio "$z" "$x")  lhasa/tnlzh $(ratio "$l" "$x")"
rm -rf mixed o M.lzh M1.lzh J.lzh

echo "== many small members (one run each)"
declare -A made took
for count in 100000 200000; do
  python3 - "$count" <<'PY'
import os, random, sys
random.seed(1)
count = int(sys.argv[1])
words = ["alpha", "beta", "gamma", "delta", "member", "archive", "\n"]
for i in range(count):
    folder = f"small/d{i // 1000:03}"
    if i % 1000 == 0:
        os.makedirs(folder, exist_ok=True)
    with open(f"{folder}/f{i % 1000:04}.txt", "w") as out:
        out.write(" ".join(random.choice(words) for _ in range(40)))
PY
  sync
  s=$(now); "$T" a S.lzh -q small; e=$(now)
  made[$count]=$(echo "$e - $s" | bc -l)
  rm -rf o && mkdir o && sync
  s=$(now); "$T" x S.lzh -q -C o; e=$(now)
  took[$count]=$(echo "$e - $s" | bc -l)
  [ "$(find o -type f | wc -l)" = "$count" ] || echo "tnlzh x of $count members gave another count"
  echo "$count files: tnlzh a ${made[$count]} s  tnlzh x ${took[$count]} s"
  rm -rf small o S.lzh
done
echo "  -> 200,000/100,000: a $(ratio "${made[200000]}" "${made[100000]}")" \
     " x $(ratio "${took[200000]}" "${took[100000]}")"
