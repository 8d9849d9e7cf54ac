#!/bin/bash
# Command-line tests of tnlzh.
#   cli-test.sh TNLZH             the native tool, against independent readers and writers
#                                 (lhasa, 7z, jlha: scripts/setup.sh installs them, so a missing
#                                 one fails the test)
#   cli-test.sh --wine TNLZH.EXE  the Windows tool under Wine: the checks that need no host tool
set -u
WINE_RUN=
if [ "${1:-}" = --wine ]; then
  WINE_RUN=$(readlink -f "$(dirname "$0")/../../scripts/wine-run.sh")
  shift
fi
TNLZH=$(readlink -f "$1")
INTEROP=$(readlink -f "${TANUVIA_INTEROP_DIR:-$(dirname "$0")/../interop}")
export LC_ALL=ja_JP.UTF-8 TZ=Asia/Tokyo
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tnlzh-cli.XXXXXX")
trap 'chmod -R u+w "$WORK"; rm -rf "$WORK"' EXIT
cd "$WORK" || exit 2
failures=0
checks=0
pass() { checks=$((checks + 1)); }
fail() { checks=$((checks + 1)); failures=$((failures + 1)); echo "FAIL: $*" >&2; }
# Runs the tool; no run may hang (wine-run.sh bounds its own). Under Wine the tool's stderr
# arrives on stdout, in code page 932 with CR LF line ends: it is turned into UTF-8 lines, and
# its paths keep their "\" separators.
tn() {
  if [ -z "$WINE_RUN" ]; then
    timeout -k 5 120 "$TNLZH" "$@"
    return
  fi
  "$WINE_RUN" "$TNLZH" "$@" >wine.out
  local status=$?
  tr -d '\r' <wine.out | iconv -c -f CP932 -t UTF-8
  rm -f wine.out
  return $status
}
expect_status() {  # expected-status description command...
  local want=$1 what=$2
  shift 2
  "$@" >out.txt 2>err.txt
  local got=$?
  if [ "$got" = "$want" ]; then
    pass
  else
    fail "$what: status $got, expected $want"
    cat out.txt err.txt >&2
  fi
}
# Waits up to $2 seconds for file $1; false when it never appears.
wait_for() {
  local i
  for i in $(seq $(($2 * 20))); do [ -e "$1" ] && return 0; sleep 0.05; done
  return 1
}
if [ -z "$WINE_RUN" ]; then
  for tool in lhasa 7z jlha iconv python3; do
    command -v $tool >/dev/null 2>&1 || fail "$tool is not installed (scripts/setup.sh installs it)"
  done
fi
have() { command -v "$1" >/dev/null 2>&1; }
# lhasa extracts archive $1 (header level $2) to the files of src. lhasa writes the names as
# stored (Shift-JIS bytes): they are compared through a conversion.
lhasa_extracts_src() {
  local f sj ok=1
  rm -rf y && mkdir y && (cd y && lhasa xq ../$1 >/dev/null 2>&1)
  while IFS= read -r f; do
    # lhasa splits level-0 paths at every 0x5C byte, the trail bytes of 表 and ソ included (it
    # does so with jlha's level-0 archives too): those names cannot be compared there.
    [ $2 = 0 ] && case "$f" in *表*|*ソ*) continue ;; esac
    sj=$(printf '%s' "$f" | iconv -f UTF-8 -t CP932)
    cmp -s "$f" "y/$sj" || { ok=0; echo "  lhasa: $f" >&2; }
  done < <(find src -type f)
  [ $ok = 1 ] && pass || fail "lhasa x of $1 differs"
}

# Files whose names hold Shift-JIS characters with a trail byte 0x5C (表 = 95 5C, ソ = 83 5C).
mkdir -p src/ソフト/表示 src/empty
head -c 200000 /usr/share/common-licenses/GPL-3 > src/GPL-3
cat /usr/share/common-licenses/* > src/ソフト/licenses.txt
head -c 65536 /dev/urandom > src/ソフト/表示/noise.bin
printf 'a' > src/ソフト/表示/one.txt
: > src/zero.txt
chmod a-w src/GPL-3

# Archives we write are read by ourselves and (natively) by the others.
for level in 0 1 2 3; do for method in 0 4 5 6 7; do
  a=t$level$method.lzh
  expect_status 0 "a -h$level -m$method" tn a $a -q -h $level -m $method src
  expect_status 0 "t of $a" tn t $a -q
  rm -rf x && mkdir x
  expect_status 0 "x of $a" tn x $a -C x -q -j 4
  if diff -r src x/src >/dev/null; then pass; else fail "tnlzh x of $a differs"; fi
  rm -rf x1 && mkdir x1 && expect_status 0 "x -j 1 of $a" tn x $a -C x1 -q -j 1
  if diff -r x x1 >/dev/null; then pass; else fail "tnlzh x -j 1 and -j 4 of $a differ"; fi
  [ "$(stat -c %A x/src/GPL-3 | cut -c3)" = - ] && pass || fail "read-only attribute lost in $a"
  [ -n "$WINE_RUN" ] && continue
  if have lhasa; then
    expect_status 0 "lhasa t $a" lhasa tq $a
    lhasa_extracts_src $a $level
  fi
  if have 7z && [ $level -le 2 ]; then
    expect_status 0 "7z t $a" 7z t $a
  fi
done; done

# Archives written by jlha (Shift-JIS names) extract the same with tnlzh and lhasa.
if [ -z "$WINE_RUN" ] && have jlha; then
  for level in 0 1 2; do
    rm -f j$level.lzh
    jlha a${level}o5q j$level.lzh src >/dev/null 2>&1
    rm -rf x && mkdir x
    expect_status 0 "tnlzh x of jlha level $level" tn x j$level.lzh -C x -q
    ok=1
    while IFS= read -r f; do cmp -s "$f" "x/$f" || { ok=0; echo "  $f" >&2; }; done < <(find src -type f)
    [ $ok = 1 ] && pass || fail "tnlzh x of jlha level $level differs"
    have lhasa && lhasa_extracts_src j$level.lzh $level
  done
fi

# Under Wine, the shell's drop of the same tree onto a new archive (the drop handler, the add-files
# job and its staging pool, as the shell drives them): sound for lhasa, every file in place.
if [ -n "$WINE_RUN" ] && [ -n "${DROP_BENCH:-}" ]; then
  if "$WINE_RUN" "$DROP_BENCH" "$(winepath -w "$TNLZH" 2>/dev/null)" 1 \
       "$(winepath -w "$WORK" 2>/dev/null)" src >drop.out; then
    lhasa tq drop.lzh >/dev/null 2>&1 && pass || fail "lhasa t of the dropped archive"
    lhasa_extracts_src drop.lzh 2
  else
    fail "the drop onto a new archive"
    cat drop.out >&2
  fi
fi

# Replacing, deleting, keeping existing files. The replacement is taken from another folder under
# the same member path, src/GPL-3.
cp t25.lzh r.lzh
members() { tn l "$1" | sed -n 's/.* \([0-9][0-9]*\) members\{0,1\}$/\1/p'; }
before=$(members r.lzh)
mkdir -p replacement/src && echo changed > replacement/src/GPL-3
expect_status 0 "a replaces a member" tn a r.lzh -q -C replacement src/GPL-3
tn l r.lzh > list.txt
n=$(grep -c ' src[/\\]GPL-3$' list.txt)
[ "$n" = 1 ] && pass || fail "replacing left $n members src/GPL-3"
after=$(members r.lzh)
[ "$after" = "$before" ] && pass || fail "replacing changed the member count from $before to $after"
rm -rf rx && mkdir rx
expect_status 0 "x of the replaced archive" tn x r.lzh -C rx -q
cmp -s rx/src/GPL-3 replacement/src/GPL-3 && pass || fail "the replaced member lacks the new content"
cmp -s rx/src/zero.txt src/zero.txt && pass || fail "replacing changed another member"
expect_status 0 "d of a folder" tn d r.lzh src/ソフト
grep -q 'ソフト' <(tn l r.lzh) && fail "folder members left after d" || pass
expect_status 1 "d of a missing member" tn d r.lzh NOPE
# ソ ends in the byte 0x5C: it is neither a folder of ソフト.TXT nor a path ending in a separator.
mkdir -p so/ソ && printf a > so/ソフト.TXT && printf b > so/B.TXT && printf c > so/ソ/A.TXT
expect_status 0 "a of names beginning with ソ" tn a so.lzh -q -C so ソフト.TXT B.TXT
expect_status 1 "d of ソ, no member" tn d so.lzh ソ
grep -q 'no such member' out.txt err.txt && pass || fail "d of ソ did not say no such member"
[ "$(members so.lzh)" = 2 ] && pass || fail "d of ソ deleted a member"
expect_status 0 "a of the folder ソ" tn a so.lzh -q -C so ソ
grep -q ' ソ[/\\]A.TXT$' <(tn l so.lzh) && pass || fail "a of the folder ソ did not add ソ/A.TXT"
rm -rf k && mkdir -p k/src && echo mine > k/src/zero.txt
expect_status 0 "x keeps existing files" tn x t25.lzh -C k -q
[ "$(cat k/src/zero.txt)" = mine ] && pass || fail "x replaced an existing file without -f"
grep -q 'zero.txt: exists, kept' out.txt err.txt && pass || fail "x -q kept a file without saying so"
expect_status 0 "x -f replaces" tn x t25.lzh -C k -f -q
[ -s k/src/zero.txt ] && fail "x -f did not replace" || pass

# Usage errors and unreadable archives: status 2; a damaged member: status 1.
expect_status 2 "no arguments" tn
expect_status 2 "unknown option" tn l t25.lzh -z
expect_status 2 "bad method" tn a n.lzh -m 3 src
expect_status 2 "missing archive" tn l missing.lzh
echo "not an archive at all, just text" > text.lzh
expect_status 2 "not an archive" tn t text.lzh
expect_status 0 "help" tn --help
grep -q 'exit status' out.txt && pass || fail "--help lacks the exit status"
cp t25.lzh bad.lzh
size=$(stat -c %s bad.lzh)
printf '\xff\xff\xff\xff' | dd of=bad.lzh bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
expect_status 1 "t of a damaged archive" tn t bad.lzh -q
grep -q 'cannot be decoded' out.txt err.txt && pass || fail "t did not name the damaged member"
rm -rf d && mkdir d
expect_status 1 "x of a damaged archive" tn x bad.lzh -C d -q
for f in $(cd d && find . -type f); do cmp -s "d/$f" "$f" || fail "x left a bad file $f"; done

# One path twice, the second damaged; damaged data with the folder bit (byte 19; data at 33).
patch() { printf "$3" | dd of=$1 bs=1 seek=$2 conv=notrunc 2>/dev/null; }
mkdir -p one && echo data > one/BIT10.TXT && echo first > one/same.txt
tn a one1.lzh -q -h0 -m0 -C one same.txt && echo second! > one/same.txt
tn a one2.lzh -q -h0 -m0 -C one BIT10.TXT same.txt && patch one2.lzh 19 '\x30' && patch one2.lzh 33 X
patch one2.lzh $(($(stat -c %s one2.lzh) - 3)) X && head -c -1 one1.lzh > dup.lzh && cat one2.lzh >> dup.lzh
expect_status 1 "t of a repeated path and of data with the folder bit, damaged" tn t dup.lzh -q
grep -q '2 of 3 members failed' out.txt err.txt && pass || fail "t did not test each member"
expect_status 0 "d of data with the folder bit" tn d one2.lzh BIT10.TXT
grep -q BIT10 <(tn l one2.lzh) && fail "d left BIT10.TXT" || pass

# Hostile member paths are never written outside the target folder.
mkdir -p h/inner
cp "$INTEROP/regression/dotdot.lzh" dotdot.lzh
expect_status 1 "x of .. paths" tn x dotdot.lzh -C h/inner -q
[ -z "$(find h -type f)" ] && pass || fail "hostile members were written: $(find h -type f)"

if [ -n "$WINE_RUN" ]; then
  echo "$checks checks, $failures failures"
  [ $failures = 0 ]
  exit
fi

# t and x beside another process's commits read each member whole, never damage that is not there.
cp t25.lzh busy.lzh
( for i in $(seq 12); do echo $i > replacement/src/GPL-3; tn a busy.lzh -q -C replacement src/GPL-3 || exit 1; done ) &
writer=$!
for i in $(seq 6); do expect_status 0 "t beside a writer" tn t busy.lzh -q
  rm -rf bz && expect_status 0 "x beside a writer" tn x busy.lzh -C bz -q; done
wait $writer && pass || fail "the writer beside t and x failed"

# Two processes adding different files to one archive lose no member.
mkdir -p many && for i in $(seq 1 8); do head -c $((30000 + i)) /usr/share/common-licenses/GPL-3 > many/f$i; done
rm -f c.lzh
( for i in 1 3 5 7; do tn a c.lzh -q many/f$i || exit 1; done ) &
p1=$!
( for i in 2 4 6 8; do tn a c.lzh -q many/f$i || exit 1; done ) &
p2=$!
wait $p1 && wait $p2 && pass || fail "a concurrent tnlzh a failed"
n=$(tn l c.lzh | grep -c ' many/f')
[ "$n" = 8 ] && pass || fail "concurrent adds kept $n of 8 members"
expect_status 0 "t after concurrent adds" tn t c.lzh -q

# A reader waits while another process holds the archive's file lock (it may be rewriting it)
# instead of listing a half-written file or giving up. The holder says when it holds the lock
# ("locked") and keeps it until told to let go ("release"); it notes the time it lets go.
rm -f locked release released listed
python3 - c.lzh <<'PY' &
import fcntl, os, sys, time
with open(sys.argv[1], "r+b") as f:
    fcntl.lockf(f, fcntl.LOCK_EX, 0xFFFFFFFF, 0)
    open("locked", "w").close()
    deadline = time.monotonic() + 60
    while not os.path.exists("release"):
        if time.monotonic() > deadline:
            sys.exit(1)
        time.sleep(0.02)
    with open("released", "w") as r:
        r.write(str(time.time_ns()))
    fcntl.lockf(f, fcntl.LOCK_UN, 0xFFFFFFFF, 0)
PY
holder=$!
if wait_for locked 10; then
  pass
  ( tn l c.lzh > list.txt; date +%s%N > listed ) &
  reader=$!
  # The reader must still be waiting a while later.
  sleep 0.5
  [ -e listed ] && fail "l did not wait for the lock: it ended while the lock was held" || pass
  touch release
  wait_for listed 60 && pass || fail "l did not end within 60 s of the lock's release"
  wait $reader
  n=$(grep -c ' many/f' list.txt)
  [ "$n" = 8 ] && pass || fail "l under another's lock listed $n of 8 members"
  [ -e listed ] && [ -e released ] && [ "$(cat listed)" -ge "$(cat released)" ] && pass ||
    fail "l ended before the lock was released"
else
  fail "the lock holder did not take the lock within 10 s"
  touch release
fi
wait $holder && pass || fail "the lock holder failed"

echo "$checks checks, $failures failures"
[ $failures = 0 ]
