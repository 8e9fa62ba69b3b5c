#!/usr/bin/env bash
# Runs libFuzzer targets one after the other: run.sh BUILD_DIR SECONDS TARGET...
# Each starts from its seeds in fuzz/corpus/<target> and from what earlier runs learnt in
# BUILD_DIR/corpus/<target>; a crash or sanitizer report is kept in BUILD_DIR/crashes and fails
# the run. Prints the executions per target at the end.
set -uo pipefail
build=$1 seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$build/crashes" "$build/logs"
status=0
summary=()
for target in "$@"; do
  mkdir -p "$build/corpus/$target"
  log="$build/logs/$target.log"
  echo "fuzz: $target for ${seconds}s"
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/crashes/$target-" \
    "$build/corpus/$target" "$here/corpus/$target" >"$log" 2>&1
  rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  summary+=("$(printf '%-16s %10s executions  %s' "$target" "${runs:-?}" \
    "$([ $rc -eq 0 ] && echo ok || echo FAILED)")")
  if [ $rc -ne 0 ]; then
    status=1
    grep -E -A 12 'ERROR|runtime error|broken invariant' "$log" | head -40
    echo "fuzz: $target failed; input kept in $build/crashes, log in $log"
  fi
done
printf '%s\n' "${summary[@]}"
failed=$(printf '%s\n' "${summary[@]}" | grep -c 'FAILED$' || true)
echo "fuzz: $(( ${#summary[@]} - failed )) passed, $failed failed"
exit $status
