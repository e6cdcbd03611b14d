#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) in build-fuzz/ and runs
# each for a bounded time on its seed corpus.
#
#   bash tools/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 60); TARGETs default to all of tools/fuzz. The
# committed seeds in tools/fuzz/corpus/<target>/ are only read; inputs the
# fuzzer finds interesting go to build-fuzz/corpus/<target>/, crashes, hangs
# and leaks to build-fuzz/artifacts/<target>/. Exit status 1 when any target
# found something. BUILD_DIR overrides build-fuzz; FUZZ_JOBS > 1 runs that
# many targets at once.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

seconds="${1:-60}"
shift || true
all=(formula_fuzz isotope_table_fuzz spectrum_table_fuzz param_file_fuzz checking_points_fuzz number_format_fuzz)
targets=("$@")
[ "${#targets[@]}" -eq 0 ] && targets=("${all[@]}")
build="${BUILD_DIR:-build-fuzz}"

if ! command -v clang++ >/dev/null; then
  bash tools/install-deps.sh
fi
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPROPAGON_FUZZ=ON -DPROPAGON_GUI=OFF -DPROPAGON_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_targets

# Allocation failures are part of what the readers must survive: the
# allocator returns null (std::bad_alloc) instead of aborting.
export ASAN_OPTIONS="${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}"
# The parameter-file target writes a scratch file per input and every save
# is flushed to the device: keep that in memory where possible.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

run_one() {
  local target="$1"
  local corpus="$build/corpus/$target" artifacts="$build/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  local log="$build/fuzz-$target.log"
  local status=0
  "$build/bin/$target" "$corpus" "tools/fuzz/corpus/$target" \
    -max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 -close_fd_mask=3 \
    -artifact_prefix="$artifacts/" -print_final_stats=1 >"$log" 2>&1 || status=$?
  local runs
  runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')"
  if [ "$status" -eq 0 ]; then
    echo "fuzz: $target: $runs inputs in ${seconds}s, nothing found"
  else
    echo "fuzz: $target: FOUND something after $runs inputs (exit $status), see $log and $artifacts/"
  fi
  return "$status"
}

failed=0
jobs="${FUZZ_JOBS:-1}"
pids=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  if [ "${#pids[@]}" -ge "$jobs" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do
  wait "$p" || failed=1
done
exit "$failed"
