# Timing helpers for the benchmark scripts (sourced, not run).
now() { date +%s.%N; }
# scratch NAME: a new folder under /tmp, made the current one as $W and removed when the script
# ends (every program under test writes on the same file system).
scratch() {
  W=$(mktemp -d "/tmp/$1.XXXXXX")
  trap 'rm -rf "$W"' EXIT
  cd "$W"
}
# best N SETUP COMMAND...: the best wall time in seconds of N runs of COMMAND, each after SETUP.
best() {
  local n=$1 setup=$2
  shift 2
  local best=999999
  for _ in $(seq "$n"); do
    eval "$setup"
    local s e
    s=$(now)
    "$@" >/dev/null 2>&1
    e=$(now)
    best=$(echo "$e - $s" | bc -l | awk -v b="$best" '{print ($1 < b) ? $1 : b}')
  done
  echo "$best"
}
ratio() { echo "scale=2; $1 / $2" | bc -l; }
