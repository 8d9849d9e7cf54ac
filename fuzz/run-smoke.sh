#!/bin/sh
# CI smoke run of one fuzz target: a fresh copy of the seeds (libFuzzer adds to its corpus
# folder), then a short bounded run. Usage: run-smoke.sh TARGET WORKDIR SEEDDIR... -- FLAGS...
set -eu
target=$1
work=$2
shift 2
rm -rf "$work"
mkdir -p "$work/corpus"
while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do
  cp -R "$1"/. "$work/corpus/"
  shift
done
[ "$#" -gt 0 ] && shift
cd "$work"
exec "$target" "$@" corpus
