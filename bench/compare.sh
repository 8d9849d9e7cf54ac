#!/bin/sh
# bench/compare.sh TNBENCH FILE
#
# Runs tnbench, gzip -6 / gzip -dc and jlha on the same file in one go and prints speeds and
# sizes side by side. Each figure is the best of three runs; MB = 1,000,000 bytes of the original
# file. "cpu" figures use processor time (user + system), which a busy machine disturbs less than
# wall time. jlha's size is the packed size from its member header (header bytes not counted).
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

# best_of_3 NAME COMMAND...: runs COMMAND three times; sets NAME_wall and NAME_cpu (seconds).
best_of_3() {
  name=$1
  shift
  bw=
  bc_=
  for _ in 1 2 3; do
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$@"
    w=$(cut -d' ' -f1 "$work/time")
    c=$(awk '{print $2 + $3}' "$work/time")
    if [ -z "$bw" ] || [ "$(echo "$w < $bw" | bc -l)" = 1 ]; then bw=$w; fi
    if [ -z "$bc_" ] || [ "$(echo "$c < $bc_" | bc -l)" = 1 ]; then bc_=$c; fi
  done
  eval "${name}_wall=$bw ${name}_cpu=$bc_"
}

mbps() { echo "scale=2; $size / 1000000 / $1" | bc -l; }
pct() { echo "scale=3; 100 * $1 / $2" | bc -l; }


"$tnbench" "$file" >"$work/tnbench.txt"

best_of_3 gz sh -c 'gzip -6 -c "$0" >"$1"' "$file" "$work/f.gz"
best_of_3 gzd sh -c 'gzip -dc "$0" >/dev/null' "$work/f.gz"
gz_size=$(wc -c <"$work/f.gz")
echo "$file in=$size"
echo "gzip -6  out=$gz_size enc_MBps=$(mbps "$gz_wall") enc_cpu_MBps=$(mbps "$gz_cpu") dec_MBps=$(mbps "$gzd_wall")"

for method in 4 5 6 7; do
  line=$(grep -- "-lh$method- " "$work/tnbench.txt")
  ours=$(echo "$line" | sed -n 's/.* out=\([0-9]*\).*/\1/p')
  enc=$(echo "$line" | sed -n 's/.* enc_MBps=\([0-9.]*\).*/\1/p')
  cpu=$(echo "$line" | sed -n 's/.* enc_cpu_MBps=\([0-9.]*\).*/\1/p')
  dec=$(echo "$line" | sed -n 's/.* dec_MBps=\([0-9.-]*\).*/\1/p')
  text="-lh$method- out=$ours enc_MBps=$enc enc_cpu_MBps=${cpu:--} dec_MBps=$dec"
  if [ -n "$cpu" ]; then
    text="$text speed/gzip-6: wall $(echo "scale=2; $enc / $(mbps "$gz_wall")" | bc -l)x cpu $(echo "scale=2; $cpu / $(mbps "$gz_cpu")" | bc -l)x"
  fi
  # jlha has no -lh4- writer (it silently writes -lh5-): compare only when the method matches.
  best_of_3 j sh -c 'rm -f "$0" && cd "$1" && LC_ALL=ja_JP.UTF-8 jlha "a2o$2q" "$0" "$3"' \
    "$work/j.lzh" "$(dirname "$file")" "$method" "$(basename "$file")"
  if [ -s "$work/j.lzh" ] &&
     [ "$(dd if="$work/j.lzh" bs=1 skip=2 count=5 2>/dev/null)" = "-lh$method-" ]; then
    jsize=$(od -An -t u4 -j 7 -N 4 "$work/j.lzh" | tr -d ' ')
    text="$text | jlha out=$jsize enc_MBps=$(mbps "$j_wall") size ours/jlha=$(pct "$ours" "$jsize")%"
  else
    text="$text | jlha: no -lh$method- writer"
  fi
  echo "$text"
done
