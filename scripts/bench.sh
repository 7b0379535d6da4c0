#!/usr/bin/env bash
# The benchmark of the current conversion: builds a sample data folder, then measures in the
# same run, with the data in memory (tmpfs), each command over a fresh copy of the folder:
#
#   cp -r          every byte read and written once
#   baseline       bench/literal_baseline.cpp: one C-runtime seek per field
#   floor          bench/floor.cpp: whole records in 1 MiB blocks, no features
#   convert        livrana-convert convert, every feature on
#
# and prints the medians and the ratios convert/cp, convert/floor and baseline/convert; checks
# that baseline, floor and convert leave byte-identical folders; measures how the time per
# converted record grows with 1, 4 and 16 times the data and with 10, 100 and 1000 companies
# of few records; and checks the peak memory (maximum resident size) of every convert run.
#
# On a file-server share (where /dev/fuse is available): a sample of 20 companies below the
# share simulator bench/share_sim.c, in which every file-system request costs a round trip
# (SHARE_DELAY_US, default 200 us) and is counted by kind; floor, convert and info each run
# over a fresh copy, and the requests by kind, the times and the ratios convert/floor and
# info/convert are printed; floor and convert must leave byte-identical folders there too,
# and info must leave the folder as it was.
#
#   scripts/bench.sh [MIB]      MIB: megabytes of invoice files (default 1024; 64 is quick)
#
# Environment: RUNS (repeats of each measurement, default 5), BASELINE_RUNS (default 3; 0
# leaves the slow baseline out),
# BENCH_DIR (default /dev/shm/livrana-bench, in memory; a folder on a disk measures the page
# cache of that file system; removed at the end unless KEEP=1), GROWTH=0 to skip the growth
# series. SHARE=0 skips the share measurement, SHARE=only runs nothing else; SHARE_RUNS
# (default 3), SHARE_RECORDS (records per invoice file; default: as in the main sample),
# SHARE_PHONES (records per phone table; default: a third of the main sample's, as for a
# third of its companies), SHARE_DELAY_US (default 200). LIBRARY=0 skips the library of
# older steps (scripts/bench-library.sh, LIBRARY_MIB megabytes each, default 60) that ends
# the run. Build folder: build-rel
# (Release, without the tests).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/setup.sh
install_missing cmake ninja-build g++ ccache libcli11-dev time
# The share simulator needs libfuse3; without it the share measurement is skipped.
install_missing libfuse3-dev fuse3 pkg-config || echo "libfuse3 is not installed: no share measurement"

mib=${1:-1024}
runs=${RUNS:-5}
baseline_runs=${BASELINE_RUNS:-3}
bench_dir=${BENCH_DIR:-/dev/shm/livrana-bench}
rss_limit_kib=$((32 * 1024))

cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DLIVRANA_TESTS=OFF \
  -DLIVRANA_BENCH=ON >/dev/null
targets="livrana-convert livrana-bench-sample livrana-literal-baseline livrana-floor"
# The share simulator is a target only where CMake found libfuse3.
if ninja -C build-rel -t query livrana-share-sim >/dev/null 2>&1; then
  targets="$targets livrana-share-sim"
fi
# shellcheck disable=SC2086 # the list of targets is split into words
ninja -C build-rel $targets >/dev/null
bin=$root/build-rel
convert=$bin/livrana-convert
sample=$bin/bench/livrana-bench-sample
baseline=$bin/bench/livrana-literal-baseline
floor=$bin/bench/livrana-floor
share_sim=$bin/bench/livrana-share-sim

W=$bench_dir
share_pid=
# At the end, also after a failure: the share is unmounted before its folder is removed.
cleanup() {
  if [[ -n $share_pid ]]; then
    share_unmount
    wait "$share_pid" 2>/dev/null || true
  fi
  if [[ ${KEEP:-0} != 1 ]]; then rm -rf "$bench_dir"; fi
}
trap cleanup EXIT
rm -rf "$bench_dir"
mkdir -p "$bench_dir"

# The sample: 60 companies, every year from 1990 to 2018, records per file for the size
# asked; phone tables of 100 000 records per GiB.
companies=60
records_for() { echo $(($1 * 1024 * 1024 / (companies * 29 * 400))); }
phones_for() { echo $(($1 * 100000 / 1024)); }

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

# timed NAME COMMAND...: runs it, appends its wall time (s) to $W/NAME.times and its
# maximum resident size (KiB) to $W/NAME.rss; its output goes to $W/NAME.out.
timed() {
  local name=$1
  shift
  local t0=$EPOCHREALTIME
  if ! /usr/bin/time -f %M -o "$W/rss.tmp" "$@" >"$W/$name.out" 2>&1; then
    echo "failed: $*" >&2
    cat "$W/$name.out" >&2
    exit 1
  fi
  local t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f\n", b - a }' >>"$W/$name.times"
  tail -n 1 "$W/rss.tmp" >>"$W/$name.rss"
}

# fresh MASTER: a new working copy of a sample folder at $W/work (not timed). On a disk the
# copy is written out first, so that its write-back does not fall into the timed run.
on_tmpfs=$([[ $(stat -f -c %T "$W") == tmpfs ]] && echo 1 || echo 0)
fresh() {
  rm -rf "$W/work"
  cp -r "$1" "$W/work"
  ((on_tmpfs)) || sync
}

# Whether two converted folders hold the same files byte for byte, leaving out the history
# CONVHIST.DAT that convert keeps of its runs (the baseline and the floor keep none).
same_output() { diff -r -x CONVHIST.DAT "$1" "$2" >/dev/null; }

converted_in() { sed -n 's/^NF convertidas: \([0-9]*\)$/\1/p' "$1" | tail -n 1; }

# ---- On a file-server share ----------------------------------------------------------------
# The data folder usually lies on a file server's share, where every file-system request is
# a network round trip. Below the share simulator each request the kernel waits for costs
# SHARE_DELAY_US, nothing is cached (names, attributes, data), and the requests are counted
# by kind (see the head of bench/share_sim.c for what stands for what).
share_mode=${SHARE:-1}
share_runs=${SHARE_RUNS:-3}
share_companies=20
# The invoice files as large as in the main sample, the phone tables in the same proportion.
share_records=${SHARE_RECORDS:-$(records_for "$mib")}
share_phones=${SHARE_PHONES:-$(($(phones_for "$mib") * share_companies / companies))}
share_delay=${SHARE_DELAY_US:-200}
share_same=yes

share_mounted() { awk -v m="$W/share" '$5 == m { found = 1 } END { exit !found }' /proc/self/mountinfo; }
share_unmount() {
  # Without canonicalising the path, so that the unmount itself sends no request.
  if (($(id -u) == 0)); then umount -c "$W/share"; else fusermount3 -u "$W/share"; fi
}

# share_run NAME MASTER COMMAND...: a fresh copy of MASTER below the simulator at $W/share,
# COMMAND timed as NAME (see timed); its requests go to $W/NAME.ops.N (N: the run), the copy
# it leaves stays at $W/share-back.
share_run() {
  local name=$1 master=$2
  shift 2
  rm -rf "$W/share-back"
  cp -r "$master" "$W/share-back"
  mkdir -p "$W/share"
  local n=$(($(cat "$W/$name.times" 2>/dev/null | wc -l) + 1))
  "$share_sim" "$W/share-back" "$W/share" --delay="$share_delay" --stats="$W/$name.ops.$n" \
    2>"$W/share-sim.err" &
  share_pid=$!
  for ((wait = 0; wait < 250; ++wait)); do
    share_mounted && break
    if ! kill -0 "$share_pid" 2>/dev/null; then break; fi
    sleep 0.02
  done
  if ! share_mounted; then
    echo "the share simulator did not mount $W/share:" >&2
    cat "$W/share-sim.err" >&2
    exit 1
  fi
  timed "$name" "$@"
  share_unmount
  wait "$share_pid"
  share_pid=
}

# ops NAME KIND: the count of KIND in every run of NAME, one a line.
ops() { cat "$W/$1".ops.* | awk -v k="$2" '$1 == k { print $2 }'; }
# shown NAME KIND: the count of every run when the runs agree, else their range.
shown() {
  ops "$1" "$2" | sort -n | uniq | awk '{ v[NR] = $1 } END { if (NR == 0) print 0; else if (NR == 1) print v[1]; else print v[1] "-" v[NR] }'
}

share_measurement() {
  echo "== on a file-server share: $share_companies companies x 29 years x $share_records records," \
    "phone tables of $share_phones records; $share_delay us per round trip"
  if [[ ! -c /dev/fuse || ! -r /dev/fuse || ! -w /dev/fuse ]]; then
    echo "   skipped: /dev/fuse is not available here (a container without FUSE?)"
    return 0
  fi
  if [[ ! -x $share_sim ]]; then
    echo "   skipped: the share simulator was not built (libfuse3 is missing)"
    return 0
  fi
  "$sample" "$W/share-master" "$share_companies" "$share_records" "$share_phones" >/dev/null
  rm -f "$W"/share-*.times "$W"/share-*.ops.*
  for ((i = 1; i <= share_runs; ++i)); do
    share_run share-floor "$W/share-master" "$floor" "$W/share" phones
    if ((i == 1)); then rm -rf "$W/share-floor-out" && mv "$W/share-back" "$W/share-floor-out"; fi
    share_run share-convert "$W/share-master" "$convert" convert "$W/share"
    if ((i == 1)); then rm -rf "$W/share-convert-out" && mv "$W/share-back" "$W/share-convert-out"; fi
    share_run share-info "$W/share-master" "$convert" info "$W/share"
    if ((i == 1)) && ! diff -r "$W/share-master" "$W/share-back" >/dev/null; then
      share_same="no (info changed the folder)"
    fi
  done
  if ! same_output "$W/share-floor-out" "$W/share-convert-out"; then
    share_same="no (floor and convert differ)"
  fi
  rm -rf "$W/share-floor-out" "$W/share-convert-out" "$W/share-back" "$W/share-master"

  # Every kind that one of the three asked for, in the order the simulator lists them.
  local kinds
  # A kind met first in a later file goes after the kind it follows there.
  kinds=$(awk '/^#/ || $1 ~ /^delay\./ { next }
               FNR == 1 { prev = "" }
               !($1 in sum) { nxt[$1] = nxt[prev]; nxt[prev] = $1 }
               { sum[$1] += $2; prev = $1 }
               END { for (k = nxt[""]; k != ""; k = nxt[k]) if (sum[k] > 0) print k }' \
    "$W"/share-floor.ops.* "$W"/share-convert.ops.* "$W"/share-info.ops.*)
  echo "   requests by kind (round trips: the requests the caller waits for; the same in every"
  echo "   run unless a range is shown)"
  printf '   %-26s %12s %12s %12s\n' kind floor convert info
  for kind in $kinds; do
    # The finer counts of a kind are indented below it.
    printf '   %-26s %12s %12s %12s\n' "$(sed 's/^[a-z_]*\./  /' <<<"$kind")" "$(shown share-floor "$kind")" \
      "$(shown share-convert "$kind")" "$(shown share-info "$kind")"
  done
  printf '   %-26s %12.3f %12.3f %12.3f\n' "seconds (median)" "$(m share-floor)" \
    "$(m share-convert)" "$(m share-info)"
  printf '   %-26s %12.1f %12.1f %12.1f\n' "us per round trip" \
    "$(awk -v t="$(m share-floor)" -v n="$(ops share-floor round_trips | median)" 'BEGIN { print t * 1e6 / n }')" \
    "$(awk -v t="$(m share-convert)" -v n="$(ops share-convert round_trips | median)" 'BEGIN { print t * 1e6 / n }')" \
    "$(awk -v t="$(m share-info)" -v n="$(ops share-info round_trips | median)" 'BEGIN { print t * 1e6 / n }')"
  local rt_floor rt_convert rt_info
  rt_floor=$(ops share-floor round_trips | median)
  rt_convert=$(ops share-convert round_trips | median)
  rt_info=$(ops share-info round_trips | median)
  echo "== ratios on the share (goal: convert/floor <= 1.15 in round trips and time, info/convert <= 1)"
  echo "   convert/floor, round trips      $(ratio "$rt_convert" "$rt_floor")"
  echo "   convert/floor, time             $(ratio "$(m share-convert)" "$(m share-floor)")   (runs: $(tr '\n' ' ' <"$W/share-convert.times" | awk '{ for (i = 1; i <= NF; ++i) printf "%.3f ", $i }')/ $(tr '\n' ' ' <"$W/share-floor.times" | awk '{ for (i = 1; i <= NF; ++i) printf "%.3f ", $i }'))"
  echo "   info/convert, round trips       $(ratio "$rt_info" "$rt_convert")"
  echo "   info/convert, time              $(ratio "$(m share-info)" "$(m share-convert)")"
  echo "== floor and convert leave byte-identical folders on the share: $share_same"
}

if [[ $share_mode == only ]]; then
  m() { median <"$W/$1.times"; }
  share_measurement
  [[ $share_same == yes ]]
  exit
fi

echo "== machine: $(nproc) cores; $(uptime | sed 's/.*load average/load average/')"
echo "   data in $W ($(stat -f -c %T "$W"))"

# ---- The main measurement ------------------------------------------------------------------
records=$(records_for "$mib")
phones=$(phones_for "$mib")
echo "== sample: $companies companies x 29 years x $records records, phone tables of $phones records"
"$sample" "$W/master" "$companies" "$records" "$phones" >/dev/null
du -sh --apparent-size "$W/master" | awk '{ print "   folder size " $1 }'

for ((i = 1; i <= runs; ++i)); do
  rm -rf "$W/cp"
  timed cp cp -r "$W/master" "$W/cp"
  rm -rf "$W/cp"

  fresh "$W/master"
  timed floor "$floor" "$W/work" phones
  rm -rf "$W/floor_out" && mv "$W/work" "$W/floor_out"

  fresh "$W/master"
  touch "$W/work/FTEL1.DAT"  # the phone phase is then off: the invoice phase alone
  timed floor-invoices "$floor" "$W/work"

  fresh "$W/master"
  timed convert "$convert" convert "$W/work"
  rm -rf "$W/convert_out" && mv "$W/work" "$W/convert_out"

  fresh "$W/master"
  touch "$W/work/FTEL1.DAT"
  timed convert-invoices "$convert" convert "$W/work"

  # With the status line drawn on a terminal (a pseudo-terminal that script(1) gives), and
  # on the same terminal without it (-q): the difference is what the status texts cost.
  fresh "$W/master"
  timed convert-terminal script -qec "$convert convert $W/work" /dev/null
  fresh "$W/master"
  timed convert-terminal-q script -qec "$convert convert -q $W/work" /dev/null

  if ((i <= baseline_runs)); then
    fresh "$W/master"
    timed baseline "$baseline" "$W/work"
    rm -rf "$W/baseline_out" && mv "$W/work" "$W/baseline_out"
  fi
done
rm -rf "$W/work"

same=yes
if ((baseline_runs > 0)); then
  same_output "$W/baseline_out" "$W/convert_out" || same=no
fi
same_output "$W/floor_out" "$W/convert_out" || same="$same (floor: differs)"
converted=$(converted_in "$W/convert.out")
rm -rf "$W/baseline_out" "$W/floor_out" "$W/convert_out"

echo "== medians of $runs runs (baseline: $baseline_runs), seconds; all runs in $W/*.times"
names="cp floor floor-invoices convert convert-invoices convert-terminal convert-terminal-q"
((baseline_runs > 0)) && names="$names baseline"
for name in $names; do
  printf '   %-18s %8.3f   (runs: %s)\n' "$name" "$(median <"$W/$name.times")" \
    "$(tr '\n' ' ' <"$W/$name.times" | awk '{ for (i = 1; i <= NF; ++i) printf "%.3f ", $i }')"
done
m() { median <"$W/$1.times"; }
echo "== ratios (goal: convert/cp <= 0.8, convert/floor <= 1.3, baseline/convert >= 30)"
echo "   convert/cp                      $(ratio "$(m convert)" "$(m cp)")"
echo "   convert/floor                   $(ratio "$(m convert)" "$(m floor)")   (both phases)"
echo "   convert/floor, invoices only    $(ratio "$(m convert-invoices)" "$(m floor-invoices)")"
echo "   status line on/off (terminal)   $(ratio "$(m convert-terminal)" "$(m convert-terminal-q)")"
if ((baseline_runs > 0)); then
  echo "   baseline/convert                $(ratio "$(m baseline)" "$(m convert)")"
  echo "   baseline/floor                  $(ratio "$(m baseline)" "$(m floor)")"
fi
echo "   floor/cp                        $(ratio "$(m floor)" "$(m cp)")"
echo "== baseline, floor and convert leave byte-identical folders: $same$( ((baseline_runs > 0)) || echo ' (baseline not run)')"
echo "   invoice records converted: $converted"

if [[ $share_mode != 0 ]]; then share_measurement; fi

# ---- Growth --------------------------------------------------------------------------------
# Time per converted record at 1, 4 and 16 times the data (16 times: the folder above).
per_record() { awk -v t="$1" -v n="$2" 'BEGIN { printf "%.1f", t * 1e9 / n }'; }
measure_convert() {  # FOLDER NAME: median time of convert over fresh copies
  local master=$1 name=$2
  rm -f "$W/$name.times" "$W/$name.rss"
  for ((i = 1; i <= runs; ++i)); do
    fresh "$master"
    timed "$name" "$convert" convert "$W/work"
  done
  cat "$W/$name.rss" >>"$W/convert.rss"
}
measure_floor() {
  local master=$1 name=$2
  rm -f "$W/$name.times"
  for ((i = 1; i <= runs; ++i)); do
    fresh "$master"
    timed "$name" "$floor" "$W/work" phones
  done
}

if [[ ${GROWTH:-1} != 0 ]]; then
  echo "== growth with the data ($companies companies, records per file and phone records scaled)"
  printf '   %-6s %10s %10s %14s %14s\n' size records seconds "ns/record" "floor ns/rec"
  for factor in 1 4; do
    sub=$((mib * factor / 16))
    ((sub > 0)) || continue
    "$sample" "$W/g$factor" "$companies" "$(records_for "$sub")" "$(phones_for "$sub")" >/dev/null
    measure_convert "$W/g$factor" "convert-g$factor"
    measure_floor "$W/g$factor" "floor-g$factor"
    n=$(converted_in "$W/convert-g$factor.out")
    printf '   %-6s %10s %10.3f %14s %14s\n' "${factor}x" "$n" "$(m convert-g$factor)" \
      "$(per_record "$(m convert-g$factor)" "$n")" "$(per_record "$(m floor-g$factor)" "$n")"
    rm -rf "$W/g$factor"
  done
  printf '   %-6s %10s %10.3f %14s %14s\n' 16x "$converted" "$(m convert)" \
    "$(per_record "$(m convert)" "$converted")" "$(per_record "$(m floor)" "$converted")"

  echo "== growth with the companies (5 records per file, years missing as in real folders)"
  printf '   %-9s %10s %10s %14s %14s %14s\n' companies records seconds "ns/record" \
    "us/company" "convert/floor"
  for count in 10 100 1000; do
    "$sample" "$W/c$count" "$count" 5 1000 gaps >/dev/null
    measure_convert "$W/c$count" "convert-c$count"
    measure_floor "$W/c$count" "floor-c$count"
    n=$(converted_in "$W/convert-c$count.out")
    if [[ $count == 100 ]]; then
      fresh "$W/c$count"
      "$baseline" "$W/work" >/dev/null
      mv "$W/work" "$W/c_baseline"
      fresh "$W/c$count"
      "$convert" convert "$W/work" >/dev/null
      same_output "$W/c_baseline" "$W/work" || echo "   100 companies: baseline and convert differ"
      rm -rf "$W/c_baseline"
    fi
    printf '   %-9s %10s %10.4f %14s %14s %14s\n' "$count" "$n" "$(m convert-c$count)" \
      "$(per_record "$(m convert-c$count)" "$n")" \
      "$(awk -v t="$(m convert-c$count)" -v c="$count" 'BEGIN { printf "%.1f", t * 1e6 / c }')" \
      "$(ratio "$(m convert-c$count)" "$(m floor-c$count)")"
    rm -rf "$W/c$count"
  done
fi

# ---- Memory --------------------------------------------------------------------------------
# 10 000 companies of one record per yearly file: what a run keeps must not grow with the
# number of files.
if [[ ${GROWTH:-1} != 0 ]]; then
  "$sample" "$W/c10000" 10000 1 100 gaps >/dev/null
  fresh "$W/c10000"
  timed convert-c10000 "$convert" convert "$W/work"
  echo "== 10000 companies: $(m convert-c10000) s, peak memory $(cat "$W/convert-c10000.rss") KiB"
  cat "$W/convert-c10000.rss" >>"$W/convert.rss"
  rm -rf "$W/c10000" "$W/work"
fi
peak=$(sort -n "$W/convert.rss" "$W/convert-invoices.rss" | tail -n 1)
verdict=within
((peak < rss_limit_kib)) || verdict=OVER
echo "== peak memory of convert over every run: $peak KiB ($verdict the limit of $rss_limit_kib KiB)"

# ---- The library of older steps ------------------------------------------------------------
# scripts/bench-library.sh: each step over LIBRARY_MIB (default 60) megabytes of its input
# layout against a tar round trip, with growth and peak memory. LIBRARY=0 skips it.
library_ok=yes
if [[ ${LIBRARY:-1} != 0 ]]; then
  echo "== the library of older steps"
  bash scripts/bench-library.sh "${LIBRARY_MIB:-60}" || library_ok=no
fi
echo "== machine after the run: $(uptime | sed 's/.*load average/load average/')"
[[ $verdict == within && $same == yes && $share_same == yes && $library_ok == yes ]]
