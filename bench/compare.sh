#!/bin/sh
# bench/compare.sh TNBENCH FILE
#
# Runs tnbench, gzip -6 / gzip -dc and jlha on the same file in one go and prints speeds and
# sizes side by side. Times are the best of three runs; MB = 1,000,000 bytes of the original file.
# jlha's size is the packed size recorded in its member header (header bytes not counted).
set -eu

if [ $# -ne 2 ]; then
  echo "usage: $0 TNBENCH FILE" >&2
  exit 2
fi
tnbench=$1
file=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
size=$(wc -c <"$file")

now() { date +%s.%N; }

# best_of_3 COMMAND...: prints the shortest wall time in seconds.
best_of_3() {
  best=
  for _ in 1 2 3; do
    start=$(now)
    "$@"
    end=$(now)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

mbps() { echo "scale=2; $size / 1000000 / $1" | bc -l; }
pct() { echo "scale=3; 100 * $1 / $2" | bc -l; }

gzip_enc() { gzip -6 -c "$file" >"$work/f.gz"; }
gzip_dec() { gzip -dc "$work/f.gz" >/dev/null; }
jlha_enc() { rm -f "$work/j.lzh"; (cd "$(dirname "$file")" && LC_ALL=ja_JP.UTF-8 jlha "a2o${method}q" "$work/j.lzh" "$(basename "$file")"); }

"$tnbench" "$file" >"$work/tnbench.txt"

t_gz=$(best_of_3 gzip_enc)
t_gzd=$(best_of_3 gzip_dec)
gz_size=$(wc -c <"$work/f.gz")
echo "$file in=$size"
echo "gzip -6   out=$gz_size enc_MBps=$(mbps "$t_gz") dec_MBps=$(mbps "$t_gzd")"

for method in 4 5 6 7; do
  line=$(grep -- "-lh$method- " "$work/tnbench.txt")
  ours=$(echo "$line" | sed -n 's/.* out=\([0-9]*\).*/\1/p')
  enc=$(echo "$line" | sed -n 's/.* enc_MBps=\([0-9.]*\).*/\1/p')
  dec=$(echo "$line" | sed -n 's/.* dec_MBps=\([0-9.]*\).*/\1/p')
  # jlha has no -lh4- writer (it silently writes -lh5-): compare only when the method matches.
  if t_j=$(best_of_3 jlha_enc 2>/dev/null) && [ -s "$work/j.lzh" ] &&
     [ "$(dd if="$work/j.lzh" bs=1 skip=2 count=5 2>/dev/null)" = "-lh$method-" ]; then
    jsize=$(od -An -t u4 -j 7 -N 4 "$work/j.lzh" | tr -d ' ')
    jtext="jlha out=$jsize enc_MBps=$(mbps "$t_j") ours/jlha=$(pct "$ours" "$jsize")%"
  else
    jtext="jlha: no -lh$method- writer"
  fi
  echo "-lh$method-    out=$ours enc_MBps=$enc dec_MBps=${dec:--} ours/gzip_speed=$(echo "scale=2; $enc / $(mbps "$t_gz")" | bc -l)x  $jtext"
done
