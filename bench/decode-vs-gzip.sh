#!/bin/sh
# Decode throughput of DecodeStream against `gzip -dc` on the same data, measured in one run.
# Usage: bench/decode-vs-gzip.sh BUILD_DIR [ROUNDS]   (BUILD_DIR: a native build with decode_bench)
# The corpus is a tar of C++ headers, a program and licence texts (~22 MB); the -lh5-/-lh7- data
# comes from jlha, the gzip data from gzip -6. Best of ROUNDS for both.
set -eu
build=$1
rounds=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar cf "$work/corpus.tar" /usr/include/c++/12 /usr/bin/cmake /usr/share/common-licenses 2>/dev/null
gzip -6 -c "$work/corpus.tar" >"$work/corpus.tar.gz"
(cd "$work" && LC_ALL=ja_JP.UTF-8 jlha a2o5q c5.lzh corpus.tar && LC_ALL=ja_JP.UTF-8 jlha a2o7q c7.lzh corpus.tar) >/dev/null
size=$(stat -c %s "$work/corpus.tar")
best=
i=0
while [ $i -lt "$rounds" ]; do
  start=$(date +%s%N)
  gzip -dc "$work/corpus.tar.gz" >/dev/null
  stop=$(date +%s%N)
  t=$((stop - start))
  if [ -z "$best" ] || [ $t -lt "$best" ]; then best=$t; fi
  i=$((i + 1))
done
echo "corpus $size bytes"
awk -v s="$size" -v t="$best" 'BEGIN { printf "gzip -dc (gzip -6 data): best %.1f MB/s\n", s / 1e6 / (t / 1e9) }'
"$build/bench/decode_bench" "$work/c5.lzh" "$rounds"
"$build/bench/decode_bench" "$work/c7.lzh" "$rounds"
