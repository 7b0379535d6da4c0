#!/usr/bin/env bash
# Fault harness of livrana-convert: runs the real program with faults injected at the
# operating-system boundary (fault_preload.so, a preload library) and checks that every
# interrupted run is reported honestly and finished by running the program again.
#
#   fault_harness.sh --bin BUILD/livrana-convert --preload BUILD/.../fault_preload.so
#                    [--short | --long] [--jobs N] [--work DIR] [--keep]
#                    [--case NAME]... [--mode MODE]... [--cases FILE] [--known FILE]
#                    [--no-coverage]
#
# For every case of cases.txt (the command that writes the input data folder, the converter
# command line to run on it):
#   1. the input is written once;
#   2. the command runs once without faults, over a copy of the input, with TMPDIR in a fresh
#      folder (the safety folder below $TMPDIR/Vemo/Vuk is part of the result); the result
#      (data folder and temporary folder) and the counted calls 1..N are kept;
#   3. for the fault points K and the modes kill, enospc, eio, short and torn (short and torn
#      only where call K writes data): a fresh copy of the input and a fresh TMPDIR, a run
#      with the fault at call K, then the checks:
#        - exit status 0 after an injected fault only when the result equals the clean one;
#        - no sanitizer report, no hang, no exit status other than 1 (or the kill);
#        - after a failure, no text of the input records is missing from the data folder and
#          the temporary folder together (see lost_text);
#        - the same command again without faults, while it fails, at most twice; then the
#          data folder must equal the clean one byte for byte (names too), and the
#          temporary folder must hold the clean one's files byte for byte (see safety_diff);
#      the message on standard error of a failed run is recorded (summary at the end).
#
# --short (the default, for ctest) tries, for every kind of call (the call with the numbers
# of its path left out: "pwrite DATA/R00/#/L50A#.DAT"), its first and its last occurrence;
# --long tries every K in every mode.
#
# Findings are compared with the list of known ones (known.txt): the run fails on a finding
# that is not listed, and on a listed one that was tried but no longer occurs (it has been
# fixed: take it off the list). Exit status 0 when neither happened, 1 otherwise.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=inputs.sh
source "$here/inputs.sh"

bin='' preload='' scope=short jobs=$(nproc) work='' keep=0 coverage=1
cases_file=$here/cases.txt known_file=$here/known.txt
only_cases=() only_modes=()
all_modes=(kill enospc eio short torn interrupt)
limit=60  # seconds a single run may take before it counts as hanging

usage() {
  sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}
while (($#)); do
  case $1 in
    --bin) bin=$2; shift ;;
    --preload) preload=$2; shift ;;
    --short) scope=short ;;
    --long) scope=long ;;
    --jobs) jobs=$2; shift ;;
    --work) work=$2; shift ;;
    --keep) keep=1 ;;
    --case) only_cases+=("$2"); shift ;;
    --mode) only_modes+=("$2"); shift ;;
    --cases) cases_file=$2; shift ;;
    --known) known_file=$2; shift ;;
    --no-coverage) coverage=0 ;;
    -h | --help) usage ;;
    *) echo "fault_harness: unknown argument $1" >&2; usage ;;
  esac
  shift
done
[[ -x $bin && -f $preload ]] || { echo "fault_harness: --bin and --preload are needed" >&2; exit 2; }
bin=$(realpath "$bin")
preload=$(realpath "$preload")
((${#only_modes[@]})) && modes=("${only_modes[@]}") || modes=("${all_modes[@]}")

# A work folder given on the command line stays for a look at the findings (the runs of
# known findings are removed); one made here goes at the end unless --keep.
# shellcheck disable=SC2034 # read by the EXIT trap
remove_work=0
if [[ -z $work ]]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/livrana-fault.XXXXXX")
  # shellcheck disable=SC2034
  [[ $keep == 1 ]] || remove_work=1
else
  rm -rf "$work"
  mkdir -p "$work"
fi
work=$(realpath "$work")

# AddressSanitizer's runtime must come first among the loaded libraries: the program's own
# libasan is preloaded ahead of the fault library (see fault_preload.c).
asan=$(ldd "$bin" 2>/dev/null | awk '/libasan/ { print $3; exit }')
fault_preload=${asan:+$asan:}$preload

# A temporary folder on another file system, for the cases with tmp=shm.
other_fs_tmp=''
if [[ -d /dev/shm && -w /dev/shm ]] && [[ $(stat -f -c %T /dev/shm) != $(stat -f -c %T "$work") ||
  $(stat -c %d /dev/shm) != $(stat -c %d "$work") ]]; then
  other_fs_tmp=$(mktemp -d /dev/shm/livrana-fault.XXXXXX)
fi
trap '[[ -n $other_fs_tmp && $keep == 0 ]] && rm -rf "$other_fs_tmp"; ((remove_work)) && rm -rf "$work"' EXIT

sample_has_before=0
"$bin" sample --help 2>/dev/null | grep -q -- '--before' && sample_has_before=1

# ---- helpers --------------------------------------------------------------------------

# The converter's arguments of case $1 for the data folder $2, into the array `argv`.
case_argv() {
  local -a words
  read -ra words <<<"${case_command[$1]}"
  argv=()
  local w
  for w in "${words[@]}"; do argv+=("${w//@DATA/$2}"); done
}

# run_program CASE RUN TAG [VAR=VALUE...]: runs the case's command on RUN/data with TMPDIR
# RUN/tmp; standard output and error in RUN/out.TAG and RUN/err.TAG. Gives its status.
run_program() {
  local name=$1 run=$2 tag=$3
  shift 3
  local -a argv
  case_argv "$name" "$run/data"
  # The subshell's own stderr is dropped: bash reports there that the program was killed.
  (cd "$run" && timeout -s KILL "$limit" env TMPDIR="$(tmp_of "$run")" "$@" "$bin" "${argv[@]}" \
    </dev/null >"$run/out.$tag" 2>"$run/err.$tag") 2>/dev/null
}

# A fresh run folder: RUN/data a copy of the case's input, RUN/tmp an empty folder (on the
# other file system for tmp=shm cases, linked from RUN/tmp).
fresh_run() {
  local name=$1 run=$2
  rm -rf "$run"
  mkdir -p "$run"
  cp -a "$work/$name/input" "$run/data"
  if [[ ${case_options[$name]} == *tmp=shm* && -n $other_fs_tmp ]]; then
    local t
    t=$(mktemp -d "$other_fs_tmp/t.XXXXXX")
    echo "$t" >"$run/tmp.where"
    ln -s "$t" "$run/tmp"
  else
    mkdir "$run/tmp"
  fi
}

# The real temporary folder of a run (followed when it lies on the other file system).
tmp_of() { realpath "$1/tmp"; }

drop_run() {
  local run=$1
  [[ -f $run/tmp.where ]] && rm -rf "$(cat "$run/tmp.where")"
  rm -rf "$run"
}

# A call of the log with the run's folders named DATA and TMP and the process id left out.
normalize_call() {
  local run=$1 tmp
  tmp=$(tmp_of "$run")
  sed -e "s#$run/data#DATA#g" -e "s#$tmp#TMP#g" -e "s#$run/tmp#TMP#g" \
    -e 's#LIVRANA\.[0-9]*\.TMP#LIVRANA.<pid>.TMP#g'
}

# The texts of every file below the given folders, "text count" a line: each maximal run of
# at least four bytes that are neither blanks nor control characters.
tokens() {
  find "$@" -type f -print0 2>/dev/null |
    LC_ALL=C xargs -0 -r grep -ahoE '[^[:space:][:cntrl:]]{4,}' |
    LC_ALL=C awk '{ n[$0]++ } END { for (t in n) print t, n[t] }'
}

# The first difference between two folders (names and bytes), or nothing when they agree.
first_diff() {
  local a=$1 b=$2 line file
  # The history CONVHIST.DAT is the converter's record of when what ran: not compared.
  local -a skip=(-x CONVHIST.DAT -x CONVHIST.NEW)
  line=$(LC_ALL=C diff -rq --no-dereference "${skip[@]}" "$a" "$b" 2>&1 | head -1)
  [[ -z $line ]] && return 0
  local count
  count=$(LC_ALL=C diff -rq --no-dereference "${skip[@]}" "$a" "$b" 2>&1 | wc -l)
  if [[ $line =~ ^Only\ in\ (.*):\ (.*)$ ]]; then
    local where=${BASH_REMATCH[1]} entry=${BASH_REMATCH[2]} side=clean
    [[ $where == "$b"* ]] && side=run
    where=${where#"$a"}
    where=${where#"$b"}
    where=${where#/}
    echo "only in the $side result: ${where:+$where/}$entry ($count differences)"
  elif [[ $line =~ ^Files\ (.*)\ and\ (.*)\ differ$ ]]; then
    file=${BASH_REMATCH[1]#"$a"/}
    local c sa sb
    c=$(LC_ALL=C cmp "$a/$file" "$b/$file" 2>&1 | head -1)
    sa=$(stat -c %s "$a/$file")
    sb=$(stat -c %s "$b/$file")
    if [[ $c =~ differ:\ (byte|char)\ ([0-9]+) ]]; then
      echo "$file differs at offset $((BASH_REMATCH[2] - 1)) (clean $sa bytes, run $sb) ($count differences)"
    else
      echo "$file: clean $sa bytes, run $sb bytes, equal up to the shorter length ($count differences)"
    fi
  else
    echo "$line ($count differences)"
  fi
}

# The temporary folder of a run (after its reruns, or after a run with a fault that ended
# with 0) against the clean one's. Every file of the clean run must be there under its own
# name with the same bytes: the plain safety copy of a file is the first one made, so it
# holds what the file held before any run touched it. A file that the clean run does not
# have is accepted only
#   - as a numbered copy: a path that names a file of the clean run once the numbers
#     (.001 to .100) are taken off its components. Each run keeps its own copy of what it
#     changes, so the rerun after an interrupted run copies the half-converted file (or
#     folder) once more, under the next number;
#   - as an original kept: its bytes equal those of the input file of the same path
#     (below Vemo/Vuk, numbers taken off), as when a step keeps a source that it could not
#     delete as its safety copy;
#   - as a backup of a journal (*.JNL, *.NEW) in a run's folder: an interrupted run left
#     the journal, and the run that finishes its work backs it up first.
# Folders that hold no file are not compared. The first word of the answer is "differs"
# (a file of the clean run missing or different) or "extra" (a file that is not accepted).
#
# A run with --backup keeps its copies in a folder of its own, Vemo/Vuk/EXECUCOES/<id>/COPIAS,
# the id made of the data folder's name and the time: the files are compared by the names
# that safety_files gives them, the first run's copies under the plain name and each later
# run's as numbered copies.
safety_diff() {
  local clean=$1 run=$2 input=$3 f r
  local -A have=()
  while IFS= read -r -d '' f && IFS= read -r -d '' r; do have[$f]=$r; done < <(safety_files "$run")
  while IFS= read -r -d '' f && IFS= read -r -d '' r; do
    if [[ -z ${have[$f]:-} ]]; then
      echo "differs safety folder: $f missing"
      return
    fi
    local rf=$run/${have[$f]}
    if ! cmp -s "$clean/$r" "$rf"; then
      local c
      c=$(LC_ALL=C cmp "$clean/$r" "$rf" 2>&1 | head -1)
      if [[ $c =~ differ:\ (byte|char)\ ([0-9]+) ]]; then
        echo "differs safety folder: $f differs at offset $((BASH_REMATCH[2] - 1)) (clean $(stat -c %s "$clean/$r") bytes, run $(stat -c %s "$rf"))"
      else
        echo "differs safety folder: $f: clean $(stat -c %s "$clean/$r") bytes, run $(stat -c %s "$rf"), equal up to the shorter length"
      fi
      return
    fi
    unset "have[$f]"
  done < <(safety_files "$clean")
  local -A clean_names=()
  while IFS= read -r -d '' f && IFS= read -r -d '' r; do clean_names[$f]=1; done < <(safety_files "$clean")
  local plain
  for f in "${!have[@]}"; do
    plain=$(sed -E 's#\.[0-9]{3}(/|$)#\1#g' <<<"$f")
    [[ $plain != "$f" && -n ${clean_names[$plain]:-} ]] && continue
    if [[ $plain == Vemo/Vuk/EXECUCOES/COPIAS/* ]]; then
      # The journals that an interrupted run left are backed up by the run that finishes
      # them, so that undoing that run gives them back with the files they belong to.
      [[ ${plain##*/} == *.JNL || ${plain##*/} == *.NEW ]] && continue
      cmp -s "$run/${have[$f]}" "$input/${plain#Vemo/Vuk/EXECUCOES/COPIAS/}" && continue
    elif [[ $plain == Vemo/Vuk/* ]]; then
      cmp -s "$run/${have[$f]}" "$input/${plain#Vemo/Vuk/}" && continue
    fi
    echo "extra safety folder: $f not in the clean run's (and not an input file as it was)"
    return
  done
}

# The files of a temporary folder as "name\0path\0" pairs: the name is the path, except
# below a run's folder Vemo/Vuk/EXECUCOES/<id>: there the id is left out and the runs taken
# in the order of their ids (the time); the first copy of a file keeps its name and each
# later run's copy of it gets .001, .002, ... appended. The manifests, and the work names of
# copies that a stop cut short (.~CP), are left out.
safety_files() {
  local dir=$1 f id rest name
  local -A seen=()
  while IFS= read -r id; do
    while IFS= read -r -d '' rest; do
      [[ $rest == *.~CP ]] && continue
      name=Vemo/Vuk/EXECUCOES/COPIAS/$rest
      local n=${seen[$rest]:-0}
      seen[$rest]=$((n + 1))
      ((n > 0)) && name+=$(printf '.%03d' "$n")
      printf '%s\0%s\0' "$name" "Vemo/Vuk/EXECUCOES/$id/COPIAS/$rest"
    done < <(cd "$dir/Vemo/Vuk/EXECUCOES/$id/COPIAS" 2>/dev/null && find . -type f -printf '%P\0')
  done < <(find "$dir/Vemo/Vuk/EXECUCOES" -mindepth 1 -maxdepth 1 -type d -printf '%f\n' 2>/dev/null | sort -V)
  (cd "$dir" 2>/dev/null && find . -path ./Vemo/Vuk/EXECUCOES -prune -o -type f -printf '%P\0' |
    while IFS= read -r -d '' f; do printf '%s\0%s\0' "$f" "$f"; done)
}

# Texts of the input records that are missing after a failure: every text of the input that
# the clean run also keeps must occur, after the failure, in the data folder and the
# temporary folder together at least as often as in the smaller of the two (a text the
# conversion takes apart, like one cut at a field's end, is not asked for).
lost_text() {
  local name=$1 run=$2
  tokens "$run/data" "$(tmp_of "$run")/" >"$run/tokens.after"
  LC_ALL=C awk 'NR == FNR { need[$1] = $2; next } { have[$1] = $2 }
    END {
      for (t in need) if (have[t] + 0 < need[t]) {
        lost++
        if (lost <= 3) shown = shown sprintf("%s\"%s\" %d of %d", lost > 1 ? ", " : "", t, have[t] + 0, need[t])
      }
      if (lost) printf "%d texts fewer than before: %s\n", lost, shown
    }' "$work/$name/tokens.needed" "$run/tokens.after"
}

sanitizer_report() {
  grep -m1 -hE 'ERROR: (Address|Leak)Sanitizer|runtime error:|AddressSanitizer|LeakSanitizer' \
    "$@" 2>/dev/null | cut -c1-160
}

# What standard error says, on one line.
message_of() {
  grep -v '^==\|^    #\|^$' "$1" 2>/dev/null | tr '\n' ' ' | sed 's/  */ /g; s/ $//' | cut -c1-300
}

# The lock holder's process id, when the lock is there.
lock_pid() {
  local f
  f=$(find "$1" -maxdepth 1 -iname LIVRANA.LCK 2>/dev/null | head -1)
  [[ -n $f ]] && tr -d '\r' <"$f" | sed -n 's/^pid=//p'
}

# ---- one fault run ---------------------------------------------------------------------

# run_fault CASE MODE K: result lines into $work/CASE/results/MODE.K:
#   CALL <call K>          STATUS <exit status of the run with the fault>
#   MSG <standard error>   FINDING <symptom>\t<detail>
run_fault() {
  local name=$1 mode=$2 k=$3
  local run=$work/$name/runs/$mode.$k out=$work/$name/results/$mode.$k
  fresh_run "$name" "$run"
  run_program "$name" "$run" 1 LD_PRELOAD="$fault_preload" LIVRANA_FAULT_AT="$k" \
    LIVRANA_FAULT_MODE="$mode" LIVRANA_FAULT_LOG="$run/fault.log"
  local status=$?
  local fired call
  fired=$(grep -m1 '^! ' "$run/fault.log" 2>/dev/null)
  {
    if [[ -z $fired ]]; then
      # This run made fewer calls (or call K wrote no data): nothing was injected.
      call=$(sed -n "s/^$k \(.*\) (no data: no fault)\$/\1/p" "$run/fault.log" | normalize_call "$run")
      echo "NOTREACHED $call"
      drop_run "$run"
      return
    fi
    call=$(sed -e 's/^! [0-9]* //' -e 's/ [a-z]*$//' <<<"$fired" | normalize_call "$run")
    echo "CALL $call"
    echo "STATUS $status"
    local finding=0
    report() {
      printf 'FINDING %s\t%s\n' "$1" "$2"
      finding=1
    }
    local san
    san=$(sanitizer_report "$run/err.1")
    [[ -n $san ]] && report sanitizer "run with the fault: $san"
    local killed=0
    [[ $mode == kill || $mode == torn ]] && killed=1
    if ((status == 124)); then
      report hang "the run with the fault did not end within ${limit}s"
    elif ((killed)); then
      ((status == 137)) || report bad-status "exit status $status where the process was killed"
    elif ((status == 0)); then
      # Only a run that really did all its work may say so.
      local d s
      d=$(first_diff "$work/$name/clean/data" "$run/data")
      s=$(safety_diff "$(tmp_of "$work/$name/clean")" "$(tmp_of "$run")" "$work/$name/input")
      if [[ -n $d || -n $s ]]; then
        local lost
        lost=$(lost_text "$name" "$run")
        report exit0-differs "exit 0 ($(message_of "$run/out.1" | cut -c1-80)) but ${d:-${s#* }}${lost:+; $lost}"
      fi
      echo "DONE"
      if ((finding)); then echo "KEEP"; else drop_run "$run"; fi
      return
    elif ((status != 1)) && ! [[ $mode == interrupt && $status == 130 ]]; then
      report bad-status "exit status $status ($(message_of "$run/err.1" | cut -c1-120))"
    fi
    if ! ((killed)); then
      local msg
      msg=$(message_of "$run/err.1")
      echo "MSG ${msg:-<nothing on standard error>}"
    fi
    local lost
    lost=$(lost_text "$name" "$run")
    [[ -n $lost ]] && report lost-text "after the failure (exit $status): $lost"

    # Run it again without faults, as the message asks, at most twice.
    local again=0 rs=1 reuse=0 tag
    while ((again < 2)); do
      again=$((again + 1))
      tag=$((again + 1))
      run_program "$name" "$run" "$tag"
      rs=$?
      if ((rs == 4 && reuse < 5)); then
        # Another converter holds the lock: when the process it names is alive, the
        # killed run's process id has been given to another process meanwhile (a
        # coincidence of this harness, which starts thousands of processes).
        local p
        p=$(lock_pid "$run/data")
        if [[ -n $p ]] && kill -0 "$p" 2>/dev/null; then
          reuse=$((reuse + 1))
          again=$((again - 1))
          sleep 0.2
          continue
        fi
      fi
      san=$(sanitizer_report "$run/err.$tag")
      [[ -n $san ]] && report sanitizer "rerun $again: $san"
      ((rs == 0)) && break
    done
    if ((rs != 0)); then
      report rerun-fails "after the failure (exit $status) $again reruns end with exit $rs: $(message_of "$run/err.$tag" | cut -c1-200)"
    else
      local d s
      d=$(first_diff "$work/$name/clean/data" "$run/data")
      [[ -n $d ]] && report rerun-differs "after the failure (exit $status) and $again rerun(s): $d"
      s=$(safety_diff "$(tmp_of "$work/$name/clean")" "$(tmp_of "$run")" "$work/$name/input")
      [[ -n $s ]] && report "safety-${s%% *}" "after the failure (exit $status) and $again rerun(s): ${s#* }"
    fi
    echo "RERUNS $again"
    if ((finding)); then echo "KEEP"; else drop_run "$run"; fi
  } >"$out"
}

# ---- the cases -------------------------------------------------------------------------

declare -A case_input=() case_command=() case_options=()
case_names=()
while IFS= read -r line; do
  [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
  IFS='|' read -r n i c o <<<"$line"
  n=$(xargs <<<"$n")
  case_names+=("$n")
  case_input[$n]=$(xargs <<<"$i")
  case_command[$n]=$(xargs <<<"$c")
  case_options[$n]=$(xargs <<<"${o:-}")
done <"$cases_file"

selected() {
  local n=$1 c
  ((${#only_cases[@]})) || return 0
  for c in "${only_cases[@]}"; do [[ $c == "$n" ]] && return 0; done
  return 1
}

make_input() {
  local name=$1
  local dir=$work/$name/input kind rest
  read -r kind rest <<<"${case_input[$name]}"
  mkdir -p "$dir"
  case $kind in
    sample)
      local -a args
      read -ra args <<<"$rest"
      TMPDIR=$work/$name "$bin" sample "$dir" "${args[@]}" >/dev/null
      ;;
    setup)
      "setup_$rest" "$dir"
      ;;
    *)
      echo "unknown input kind: $kind"
      return 1
      ;;
  esac
}

# Compares the calls that the preload counted with what strace sees the process do to the
# file system: a difference is a call that reaches the system around the preload.
check_coverage() {
  local name=$1
  local run=$work/$name/coverage
  fresh_run "$name" "$run"
  local -a argv
  case_argv "$name" "$run/data"
  local traced=(write pwrite64 writev pwritev pwritev2 open openat creat close fsync fdatasync
    rename renameat renameat2 unlink unlinkat rmdir mkdir mkdirat ftruncate truncate
    copy_file_range sendfile fallocate link linkat symlink symlinkat setxattr lsetxattr
    fsetxattr removexattr lremovexattr fremovexattr chmod fchmod fchmodat utimensat)
  local list
  list=$(IFS=,; echo "${traced[*]}")
  # The preload is given to the traced program only (strace -E), not to strace itself.
  (cd "$run" && env TMPDIR="$(tmp_of "$run")" ASAN_OPTIONS=detect_leaks=0 \
    strace -f -qq -y -E LD_PRELOAD="$fault_preload" -E LIVRANA_FAULT_COUNT="$run/count" \
    -e trace="$list" -o "$run/strace" "$bin" "${argv[@]}" </dev/null >/dev/null 2>"$run/err") || true
  [[ -s $run/strace && -s $run/count ]] || { echo "coverage: strace did not run ($(head -c 200 "$run/err"))"; return 0; }
  local seen counted
  counted=$(cat "$run/count")
  # The same rules as the preload's: files and folders only, never descriptors 0 to 2, the
  # close of a written descriptor, openings that create or empty a file.
  seen=$(awk -v count="$run/count" '
    # A device or a file of /proc (the memory-file folder /dev/shm holds files).
    function device(s) { return s ~ /<\/proc\// || (s ~ /<\/dev\// && s !~ /<\/dev\/shm\//) }
    { sub(/^[0-9]+ +/, "") }
    /^(write|pwrite64|writev|pwritev|pwritev2|copy_file_range|sendfile|fallocate|ftruncate|fsync|fdatasync|fchmod|fsetxattr|fremovexattr)\(/ {
      fd = $0; sub(/^[a-z0-9_]+\(/, "", fd)
      if (fd ~ /^[0-9]+<\// && !device(fd)) {
        n = fd; sub(/<.*/, "", n)
        if (n + 0 > 2 && index($0, "<" count ">") == 0) {
          calls++
          if ($0 !~ /^(fsync|fdatasync|fchmod|fsetxattr|fremovexattr)/) written[n] = 1
        }
      }
      next
    }
    /^(open|openat|creat)\(/ {
      if (($0 ~ /O_CREAT|O_TRUNC/ || $0 ~ /^creat/) && $0 !~ /= -1/ && !device($0) && index($0, count) == 0) {
        calls++
        r = $0; sub(/.*= /, "", r); sub(/<.*/, "", r); written[r] = 1
      } else if (($0 ~ /O_CREAT|O_TRUNC/) && $0 ~ /= -1/) calls++
      next
    }
    /^close\(/ {
      n = $0; sub(/^close\(/, "", n); sub(/<.*/, "", n); sub(/\).*/, "", n)
      if (written[n]) { calls++; delete written[n] }
      next
    }
    /^utimensat\(/ {
      if ($0 ~ /^utimensat\([0-9]+<[^>]*>, NULL/) { if (!device($0)) calls++ }
      else calls++
      next
    }
    /^[a-z0-9_]+\(/ { calls++ }
    END { print calls + 0 }' "$run/strace")
  if [[ $seen != "$counted" ]]; then
    echo "coverage: the preload counted $counted calls, strace saw $seen (see $run/strace)"
    return 1
  fi
  echo "coverage: the preload counted all $counted calls that strace saw"
  rm -rf "$run"
}

start=$SECONDS
declare -A tried=()  # "case mode call" -> 1
findings=$work/findings.tsv
: >"$findings"
notes=$work/messages.tsv
: >"$notes"
errors=0
total_runs=0

echo "fault harness: $scope mode, ${#modes[@]} modes (${modes[*]}), $jobs jobs, work folder $work"
[[ -n $asan ]] && echo "  AddressSanitizer runtime preloaded first: $asan"
[[ -n $other_fs_tmp ]] && echo "  temporary folders of tmp=shm cases: $other_fs_tmp"

for name in "${case_names[@]}"; do
  selected "$name" || continue
  if [[ ${case_input[$name]} == sample* && ${case_input[$name]} == *--before* && $sample_has_before == 0 ]]; then
    echo "== $name: skipped (livrana-convert sample has no --before yet)"
    continue
  fi
  if [[ $scope == short && ${case_options[$name]} == *long* ]]; then
    echo "== $name: long mode only"
    continue
  fi
  case_start=$SECONDS
  cw=$work/$name
  mkdir -p "$cw/results" "$cw/runs"
  if ! make_input "$name" >"$cw/input.log" 2>&1; then
    echo "== $name: the input could not be written: $(head -c 300 "$cw/input.log")"
    errors=$((errors + 1))
    continue
  fi
  # The clean run, counting the calls.
  fresh_run "$name" "$cw/clean"
  run_program "$name" "$cw/clean" 1 LD_PRELOAD="$fault_preload" LIVRANA_FAULT_COUNT="$cw/clean/count" \
    LIVRANA_FAULT_LOG="$cw/clean/fault.log"
  status=$?
  san=$(sanitizer_report "$cw/clean/err.1")
  if ((status != 0)) || [[ -n $san ]]; then
    echo "== $name: the run without faults fails (exit $status): $(message_of "$cw/clean/err.1")"
    errors=$((errors + 1))
    continue
  fi
  n=$(cat "$cw/clean/count" 2>/dev/null || echo 0)
  normalize_call "$cw/clean" <"$cw/clean/fault.log" >"$cw/calls"
  tokens "$cw/input" >"$cw/tokens.input"
  tokens "$cw/clean/data" "$(tmp_of "$cw/clean")/" >"$cw/tokens.clean"
  # A text that the command makes part of a file's name (the import names a company's files by
  # the code its records held, and drops it from the records) is not counted: where it goes is
  # checked by comparing the rerun with the clean result.
  for d in "$cw/clean/data" "$(tmp_of "$cw/clean")"; do find "$d" -type f -printf '%P\n'; done |
    LC_ALL=C tr '/.\\ ' '\n\n\n\n' | LC_ALL=C awk 'length($0) >= 4 { print $0, 0 }' \
    >"$cw/tokens.named"
  LC_ALL=C awk 'FILENAME ~ /named$/ { named[$1] = 1; next }
    NR == FNR { clean[$1] = $2; next }
    !($1 in named) { m = $2 < clean[$1] + 0 ? $2 : clean[$1] + 0; if (m > 0) print $1, m }' \
    "$cw/tokens.clean" "$cw/tokens.named" "$cw/tokens.input" >"$cw/tokens.needed"

  if ((coverage)) && command -v strace >/dev/null; then
    coverage_text=$(check_coverage "$name")
    coverage_status=$?
    sed 's/^/   /' <<<"$coverage_text"
    ((coverage_status == 0)) || errors=$((errors + 1))
  fi

  # The fault points: "mode k" lines. A case with short=MODE,... tries only those of the
  # modes in the short mode.
  case_modes=("${modes[@]}")
  if [[ $scope == short && ${case_options[$name]} =~ short=([a-z,]+) ]]; then
    case_modes=()
    for mode in "${modes[@]}"; do
      [[ ,${BASH_REMATCH[1]}, == *,$mode,* ]] && case_modes+=("$mode")
    done
  fi
  : >"$cw/plan"
  for mode in "${case_modes[@]}"; do
    awk -v mode="$mode" -v scope="$scope" '
      function data(kind) { return kind ~ /^(write|pwrite|writev|pwritev|copy_file_range|sendfile)$/ }
      {
        k = $1; kind = $2
        if ((mode == "short" || mode == "torn") && !data(kind)) next
        if (scope == "long") { print mode, k; next }
        cls = $0; sub(/^[0-9]+ /, "", cls); gsub(/[0-9]+/, "#", cls)
        if (!(cls in first)) { first[cls] = k; order[++n] = cls }
        last[cls] = k
      }
      END {
        for (i = 1; i <= n; i++) {
          c = order[i]; print mode, first[c]
          if (last[c] != first[c]) print mode, last[c]
        }
      }' "$cw/calls" >>"$cw/plan"
  done
  runs=$(wc -l <"$cw/plan")
  total_runs=$((total_runs + runs))

  running=0
  while read -r mode k; do
    run_fault "$name" "$mode" "$k" &
    running=$((running + 1))
    if ((running >= jobs)); then
      wait -n
      running=$((running - 1))
    fi
  done <"$cw/plan"
  wait

  found=0 not_reached=0
  for f in "$cw"/results/*; do
    [[ -f $f ]] || continue
    base=${f##*/}
    mode=${base%.*}
    k=${base##*.}
    call=$(sed -n 's/^CALL //p' "$f")
    [[ -n $call ]] && tried["$name $mode $call"]=1
    msg=$(sed -n 's/^MSG //p' "$f")
    grep -q '^NOTREACHED' "$f" && not_reached=$((not_reached + 1))
    [[ -n $msg ]] && printf '%s\t%s\t%s\t%s\t%s\n' "$name" "$mode" "$k" "$call" "$msg" >>"$notes"
    while IFS=$'\t' read -r symptom detail; do
      printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$mode" "$k" "$call" "$symptom" "$detail" >>"$findings"
      found=$((found + 1))
    done < <(sed -n 's/^FINDING //p' "$f")
  done
  echo "== $name: N=$n counted calls, $runs fault runs ($not_reached did not reach their call), $found findings, $((SECONDS - case_start)) s"
done

# ---- the findings against the known ones -----------------------------------------------

declare -a known_case=() known_mode=() known_symptom=() known_glob=() known_seen=()
if [[ -f $known_file ]]; then
  while IFS= read -r line; do
    line=${line%%#*}
    [[ -z ${line// /} ]] && continue
    read -r kc km ks kg <<<"$line"
    kg=$(sed 's/[[:space:]]*$//' <<<"$kg")
    known_case+=("$kc") known_mode+=("$km") known_symptom+=("$ks") known_glob+=("${kg:-*}")
    known_seen+=(0)
  done <"$known_file"
fi

new=0
declare -A new_runs=()
sorted=$work/findings.sorted.tsv
sort -t$'\t' -k1,1 -k2,2 -k3,3n "$findings" >"$sorted"
report_file=$work/report.txt
: >"$report_file"
while IFS=$'\t' read -r c m k call symptom detail; do
  verdict=NEW
  for i in "${!known_case[@]}"; do
    # shellcheck disable=SC2053
    if [[ ${known_case[$i]} == "$c" && ${known_mode[$i]} == "$m" && ${known_symptom[$i]} == "$symptom" &&
      $call == ${known_glob[$i]} ]]; then
      verdict=KNOWN
      known_seen[$i]=1
    fi
  done
  if [[ $verdict == NEW ]]; then
    new=$((new + 1))
    new_runs["$c/runs/$m.$k"]=1
  fi
  printf '%-5s %s %s K=%s [%s] %s: %s\n' "$verdict" "$c" "$m" "$k" "$call" "$symptom" "$detail" >>"$report_file"
done <"$sorted"

# The runs are kept for a look at the new findings only.
if ((!keep)); then
  for run in "$work"/*/runs/*; do
    [[ -e $run && -z ${new_runs[${run#"$work"/}]:-} ]] && drop_run "$run"
  done
fi

fixed=0
for i in "${!known_case[@]}"; do
  ((known_seen[i])) && continue
  # Only a known finding whose call was tried in this run can be said to be gone.
  was_tried=0
  for key in "${!tried[@]}"; do
    read -r tc tm tcall <<<"$key"
    # shellcheck disable=SC2053
    if [[ $tc == "${known_case[$i]}" && $tm == "${known_mode[$i]}" && $tcall == ${known_glob[$i]} ]]; then
      was_tried=1
      break
    fi
  done
  if ((was_tried)); then
    fixed=$((fixed + 1))
    echo "FIXED ${known_case[$i]} ${known_mode[$i]} ${known_symptom[$i]} [${known_glob[$i]}]: tried, no longer seen; take it off $(basename "$known_file")" >>"$report_file"
  fi
done

sort "$report_file" | awk '{ print $1 }' | uniq -c | sed 's/^/   /'
grep -v '^KNOWN' "$report_file" | head -200
silent=$(awk -F'\t' '$5 == "<nothing on standard error>"' "$notes" | wc -l)
echo "messages of failed runs: $(wc -l <"$notes") recorded in $notes, $silent with nothing on standard error"
echo "findings: $(wc -l <"$sorted") ($new new, $fixed known ones no longer seen), in $report_file"
echo "fault runs: $total_runs in $((SECONDS - start)) s"
if ((keep)); then echo "work folder kept: $work"; fi
if ((new || fixed || errors)); then
  ((errors)) && echo "fault harness: $errors case(s) could not be run"
  exit 1
fi
exit 0
