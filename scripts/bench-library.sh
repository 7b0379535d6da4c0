#!/usr/bin/env bash
# The benchmark of the library of older conversion steps. For each step it writes a sample
# folder in the step's input layout (livrana-convert sample --before STEP --mib MIB) in
# memory (tmpfs), then measures over fresh copies of it:
#
#   tar            the folder packed and unpacked again: every byte read once, written once
#   step           livrana-convert run STEP
#
# and prints the medians, the ratio step/tar, the peak memory of the step, and the time per
# megabyte of input at 1, 4 and 16 times the size with the peak memory of the largest run
# (GROWTH=0 leaves the larger sizes out). Two runs of the step over two copies must leave
# byte-identical folders (the run history CONVHIST.DAT aside, whose lines carry the time);
# no run may go above 64 MiB of peak memory.
#
#   scripts/bench-library.sh [MIB] [STEP...]    MIB: size of each input folder (default 60)
#
# Environment: RUNS (default 3), BENCH_DIR (default /dev/shm/livrana-bench-library, removed
# at the end unless KEEP=1), GROWTH=0, GROWTH_FACTORS (default "4 16"). Build folder:
# build-rel (Release, without the tests).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/setup.sh
install_missing cmake ninja-build g++ ccache libcli11-dev time bc

mib=${1:-60}
shift || true
runs=${RUNS:-3}
bench_dir=${BENCH_DIR:-/dev/shm/livrana-bench-library}
rss_limit_kib=$((64 * 1024))

cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DLIVRANA_TESTS=OFF >/dev/null
ninja -C build-rel livrana-convert >/dev/null
convert=$root/build-rel/livrana-convert

steps=("$@")
if [[ ${#steps[@]} -eq 0 ]]; then
  mapfile -t steps < <("$convert" steps | awk '{print $1}')
fi

W=$bench_dir
cleanup() { [[ ${KEEP:-0} == 1 ]] || rm -rf "$W"; }
trap cleanup EXIT
rm -rf "$W"
mkdir -p "$W"

median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
now() { date +%s.%N; }

# Seconds of one command (its output discarded).
seconds() {
  local t0 t1
  t0=$(now)
  "$@" >/dev/null 2>&1
  t1=$(now)
  echo "$t1 - $t0" | bc -l
}

# The step over a fresh copy of the input: prints seconds and peak resident KiB.
run_step() {
  local step=$1 input=$2 out=$3
  rm -rf "$out"
  cp -a "$input" "$out"
  local t0 t1
  t0=$(now)
  TMPDIR=$W/tmp /usr/bin/time -f %M -o "$W/rss" "$convert" run "$step" "$out" -q >/dev/null 2>"$W/err" ||
    { echo "the step failed: $(tail -3 "$W/err")" >&2; return 1; }
  t1=$(now)
  echo "$(echo "$t1 - $t0" | bc -l) $(cat "$W/rss")"
}

tar_round_trip() {
  local input=$1 out=$2
  rm -rf "$out"
  mkdir -p "$out"
  seconds bash -c "tar -C '$input' -cf - . | tar -C '$out' -xf -"
}

status=0
factors=${GROWTH_FACTORS:-4 16}
[[ ${GROWTH:-1} == 1 ]] || factors=
# One line a step: the medians at MIB, then ms/MB at each size and the peak of every run.
printf '%-18s %5s %7s %7s %8s %8s' step MB tar_s step_s step/tar rss_MiB
printf ' %8s' ms/MB@1x
for f in $factors; do printf ' %8s' "ms/MB@${f}x"; done
printf ' %9s\n' peak_MiB
for step in "${steps[@]}"; do
  input=$W/in-$step
  "$convert" sample "$input" --before "$step" --mib "$mib" >/dev/null
  size=$(du -sm "$input" | cut -f1)
  mkdir -p "$W/tmp"
  tars=() times=() rss=0
  for ((i = 0; i < runs; i++)); do
    tars+=("$(tar_round_trip "$input" "$W/tar")")
    rm -rf "$W/tmp" && mkdir -p "$W/tmp"
    read -r t r < <(run_step "$step" "$input" "$W/out-$i") || { status=1; continue 2; }
    times+=("$t")
    ((r > rss)) && rss=$r
  done
  t_tar=$(printf '%s\n' "${tars[@]}" | median)
  t_step=$(printf '%s\n' "${times[@]}" | median)
  notes=()
  if ((runs > 1)) && ! diff -r -x CONVHIST.DAT "$W/out-0" "$W/out-1" >/dev/null; then
    notes+=("FAILED: two runs of $step left different folders")
    status=1
  fi
  rm -rf "$input" "$W"/out-* "$W/tar"
  growth=$(printf ' %8.1f' "$(echo "1000 * $t_step / $size" | bc -l)")
  peak=$rss
  for f in $factors; do
    big=$W/big-$step
    "$convert" sample "$big" --before "$step" --mib $((mib * f)) >/dev/null
    big_size=$(du -sm "$big" | cut -f1)
    rm -rf "$W/tmp" && mkdir -p "$W/tmp"
    read -r t_big r_big < <(run_step "$step" "$big" "$W/out-big") || { status=1; break; }
    growth+=$(printf ' %8.1f' "$(echo "1000 * $t_big / $big_size" | bc -l)")
    ((r_big > peak)) && peak=$r_big
    rm -rf "$big" "$W/out-big"
  done
  if ((peak > rss_limit_kib)); then
    notes+=("FAILED: peak memory above 64 MiB")
    status=1
  fi
  printf '%-18s %5s %7.3f %7.3f %8.2f %8.1f%s %9.1f\n' "$step" "$size" "$t_tar" "$t_step" \
    "$(echo "$t_step / $t_tar" | bc -l)" "$(echo "$rss / 1024" | bc -l)" "$growth" \
    "$(echo "$peak / 1024" | bc -l)"
  for note in "${notes[@]}"; do echo "  $note"; done
done
exit $status
