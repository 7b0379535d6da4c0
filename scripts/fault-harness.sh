#!/usr/bin/env bash
# The fault harness (tests/fault/) in its long mode: every case of tests/fault/cases.txt, a
# fault at every counted system call of the run, in every mode (kill, enospc, eio, short,
# torn), each run checked for an honest exit status and finished by running it again. The
# short mode of the same harness runs in ctest (scripts/test.sh).
#
#   scripts/fault-harness.sh [--short] [--case NAME]... [--mode MODE]... [--jobs N] [--keep]
#
# Prints every finding, marked NEW or KNOWN against tests/fault/known.txt, and exits with 1
# when a finding is new or a known one was tried and no longer occurs. The work folder is
# build-test/fault-long (the runs of new findings stay there). Build folder: build-test
# (Debug, sanitizers on), as scripts/test.sh. Takes 15 to 25 minutes on 2 cores.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/setup.sh
install_missing cmake ninja-build g++ ccache libgtest-dev libgmock-dev googletest libcli11-dev \
  nlohmann-json3-dev strace

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLIVRANA_SANITIZE=ON >/dev/null
ninja -C build-test livrana-convert livrana_fault_preload >/dev/null

scope=--long
args=()
for arg in "$@"; do
  if [[ $arg == --short ]]; then scope=--short; else args+=("$arg"); fi
done
exec bash tests/fault/fault_harness.sh "$scope" --bin build-test/livrana-convert \
  --preload build-test/tests/fault/fault_preload.so --work build-test/fault-long "${args[@]}"
