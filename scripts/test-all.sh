#!/bin/sh
# Installs what is missing, then builds and tests every preset. The project's one test command.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
for preset in native-asan mingw native; do
  echo "== $preset" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
echo "== mingw32 (build only)" >&2
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 -j "$jobs"
if [ -f fuzz/CMakeLists.txt ]; then
  echo "== fuzz (smoke run of every target)" >&2
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  ctest --preset fuzz
fi
echo "all tests passed" >&2
