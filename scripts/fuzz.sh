#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on), replays the saved inputs of fuzz/corpus/TARGET/ (the
# regression inputs of faults found before) and fuzzes each target for SECONDS.
#
#   scripts/fuzz.sh [SECONDS]     (default 60; 0 only replays the saved inputs)
#
# Build folder: build-fuzz. New inputs that reach new code go to build-fuzz/corpus/TARGET/;
# an input that makes a target fail is written to build-fuzz/ as crash-* and the script
# fails: copy it to fuzz/corpus/TARGET/ once the fault is fixed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/setup.sh
install_missing cmake ninja-build clang libclang-rt-14-dev

seconds=${1:-60}
cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
ninja -C build-fuzz

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for target in record_layer_fuzz convert434_fuzz; do
  saved=fuzz/corpus/$target
  work=build-fuzz/corpus/$target
  mkdir -p "$saved" "$work"
  if compgen -G "$saved/*" >/dev/null; then
    echo "== $target: replaying $(ls "$saved" | wc -l) saved inputs"
    build-fuzz/$target -runs=0 "$saved" 2>&1 | tail -n 1 || status=1
  fi
  ((seconds > 0)) || continue
  echo "== $target: fuzzing for $seconds s"
  log=build-fuzz/$target.log
  if (cd build-fuzz && ./$target -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
    -artifact_prefix="./$target-" "corpus/$target" "../$saved") >"$log" 2>&1; then
    grep -E "^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)|^Done" "$log" || true
  else
    grep -E "ERROR|SUMMARY|Test unit written|artifact" "$log" || tail -n 20 "$log"
    echo "== $target: failed; the input is in build-fuzz/ (log: $log)" >&2
    status=1
  fi
done
exit $status
