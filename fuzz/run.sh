#!/usr/bin/env bash
# Runs libFuzzer targets, FUZZ_JOBS of them at a time (1 unless set):
#   run.sh BUILD_DIR SECONDS TARGET...
# Each starts from its seeds in fuzz/corpus/<target> and from what earlier runs learnt in
# BUILD_DIR/corpus/<target>; a crash or sanitizer report is kept in BUILD_DIR/crashes and fails
# the run. Prints the executions per target at the end, in the order given.
set -uo pipefail
build=$1 seconds=$2
shift 2
jobs=${FUZZ_JOBS:-1}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$build/crashes" "$build/logs"

# One target: its summary line goes to $build/logs/<target>.summary.
fuzz_one() {
  local target=$1
  local log="$build/logs/$target.log"
  mkdir -p "$build/corpus/$target"
  echo "fuzz: $target for ${seconds}s"
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/crashes/$target-" \
    "$build/corpus/$target" "$here/corpus/$target" >"$log" 2>&1
  local rc=$?
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  printf '%-16s %10s executions  %s\n' "$target" "${runs:-?}" \
    "$([ $rc -eq 0 ] && echo ok || echo FAILED)" >"$build/logs/$target.summary"
  if [ $rc -ne 0 ]; then
    grep -E -A 12 'ERROR|runtime error|broken invariant' "$log" | head -40
    echo "fuzz: $target failed; input kept in $build/crashes, log in $log"
  fi
}

for target in "$@"; do
  rm -f "$build/logs/$target.summary"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  fuzz_one "$target" &
done
wait

status=0 failed=0
for target in "$@"; do
  line=$(cat "$build/logs/$target.summary" 2>/dev/null ||
    printf '%-16s %10s executions  FAILED' "$target" '?')
  echo "$line"
  case "$line" in *FAILED) status=1; failed=$((failed + 1)) ;; esac
done
echo "fuzz: $(( $# - failed )) passed, $failed failed"
exit $status
