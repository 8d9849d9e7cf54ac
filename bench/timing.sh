# Timing helpers for the benchmark scripts (sourced, not run).
now() { date +%s.%N; }
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
