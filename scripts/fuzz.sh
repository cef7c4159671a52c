#!/usr/bin/env bash
# The longer fuzz run: builds the fuzz preset, then runs every libFuzzer
# target for SECONDS (default 600) each, as many at a time as there are
# cores. Each target works on a scratch corpus outside the repository, which
# starts as a copy of fuzz/corpus/<target> and is kept for the next run.
# Prints the runs executed and the corpus size per target, and exits non-zero
# when a target found a fault (the input is kept in its artifacts folder).
#
# Usage: scripts/fuzz.sh [SECONDS]
# Environment: QEL_FUZZ_BUILD  build folder (default build/fuzz)
#              QEL_FUZZ_WORK   scratch folder (default ${TMPDIR:-/tmp}/qelmoset-fuzz)
#              QEL_FUZZ_JOBS   targets run at a time (default: the number of cores)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
build=${QEL_FUZZ_BUILD:-build/fuzz}
work=${QEL_FUZZ_WORK:-${TMPDIR:-/tmp}/qelmoset-fuzz}
jobs=${QEL_FUZZ_JOBS:-$(nproc)}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target qel_fuzzers -- -j"$jobs"

targets=()
for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done

pids=()
stop_fuzzers() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap stop_fuzzers EXIT

# Starts one target in the background for the given time; its output goes to
# <work>/<target>/log.
start_target() {
  local name=$1 dir="$work/$1"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  cp -n "fuzz/corpus/$name"/* "$dir/corpus/"
  "$build/fuzz/${name}_fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts/" "$dir/corpus" >"$dir/log" 2>&1 &
  pids+=($!)
}

echo "fuzz: ${#targets[@]} targets, $seconds s each, $jobs at a time, scratch in $work"
for name in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  echo "fuzz: start $name"
  start_target "$name"
done
wait || true

found=0
printf '%-22s %12s %8s  %s\n' target runs corpus result
for name in "${targets[@]}"; do
  dir="$work/$name"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  corpus=$(find "$dir/corpus" -type f | wc -l)
  artifacts=$(find "$dir/artifacts" -type f | wc -l)
  result="no finding"
  if [ "$artifacts" -gt 0 ] || ! grep -q '^Done [0-9]* runs' "$dir/log"; then
    result="FOUND: see $dir/log and $dir/artifacts/"
    found=1
  fi
  printf '%-22s %12s %8s  %s\n' "$name" "${runs:-?}" "$corpus" "$result"
done
exit "$found"
