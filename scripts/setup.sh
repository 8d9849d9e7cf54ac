#!/bin/sh
# Installs every Debian package the build and the tests need, and the ja_JP.UTF-8 locale.
# Idempotent and quiet when everything is already present. Run as root (or through sudo).
set -eu
packages="cmake ninja-build g++ git locales
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  wine64 wine googletest libbenchmark-dev clang-14 libclang-rt-14-dev
  python3 xvfb xauth xdotool imagemagick fonts-ipafont-gothic fonts-wine
  lhasa jlha-utils p7zip-full"
missing=
for p in $packages; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing="$missing $p"
done
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
if [ -n "$missing" ]; then
  echo "setup: installing$missing" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
# jlha writes Shift-JIS names only in a Japanese locale; Wine's code page 932 comes from it too.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  echo "setup: generating ja_JP.UTF-8" >&2
  $sudo sh -c "grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen; locale-gen >/dev/null"
fi
