#!/usr/bin/env bash
# Builds the converter with AddressSanitizer and UndefinedBehaviorSanitizer and runs every
# test with ctest; then a short fuzz run, the Windows suite and the packages (each in its
# block below, each with a variable that leaves it out).
#
#   scripts/test.sh
#
# Build folder: build-test (Debug, sanitizers on).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/setup.sh

install_missing cmake ninja-build g++ ccache libgtest-dev libgmock-dev googletest libcli11-dev \
  nlohmann-json3-dev strace

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLIVRANA_SANITIZE=ON >/dev/null
ninja -C build-test

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
(cd build-test && ctest --output-on-failure -j"$(nproc)") || status=1

# ---- Fuzzing (libFuzzer, clang) -----------------------------------------------------------
# Replays the saved inputs of fuzz/corpus/ and fuzzes each target (the record layer, step
# 4.34 over a data folder in memory) for LIVRANA_FUZZ_SECONDS (default 60; 0 only replays).
# LIVRANA_FUZZ=0 leaves it out.
if [[ ${LIVRANA_FUZZ:-1} == 1 ]]; then
  bash scripts/fuzz.sh "${LIVRANA_FUZZ_SECONDS:-60}" || status=1
fi
# -------------------------------------------------------------------------------------------

# ---- The Windows suite (mingw-w64 cross build under Wine) -------------------------------
# The same tests against the Win32 file system, and the dialog end to end; it installs its
# own packages (mingw-w64, Wine, Xvfb). LIVRANA_WINDOWS=0 leaves it out.
if [[ ${LIVRANA_WINDOWS:-1} == 1 ]]; then
  bash scripts/test-windows.sh || status=1
fi
# -------------------------------------------------------------------------------------------

# ---- The packages (Debian package and Windows ZIP) ----------------------------------------
# Builds both with cpack, checks what they hold, and installs the Debian package with apt
# into a fresh Debian root, where livrana-convert steps runs in a fresh folder.
# LIVRANA_PACKAGES=0 leaves it out.
if [[ ${LIVRANA_PACKAGES:-1} == 1 ]]; then
  bash scripts/test-package.sh || status=1
fi
# -------------------------------------------------------------------------------------------

exit $status
