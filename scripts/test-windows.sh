#!/usr/bin/env bash
# Cross-builds the converter for Windows with mingw-w64 and tests it under Wine: the whole
# GoogleTest suite through ctest (the platform tests then run against the Win32 file
# system), and the dialog of livrana.exe end to end on a virtual X display.
#
#   scripts/test-windows.sh        (as root, or with the packages already installed)
#
# The programs are 32-bit Windows programs. A host whose kernel cannot run 32-bit programs
# cannot run 32-bit Wine either: there the suite runs as a 64-bit Windows build under 64-bit
# Wine, and the 32-bit build is still made, so that it is known to build.
# Build folders: build-win (tested), build-win32 (the 32-bit build, on such hosts only).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# shellcheck source=setup.sh
source scripts/setup.sh

APT_RECOMMENDS=1 install_missing g++-mingw-w64-i686 wine xvfb xdotool imagemagick ninja-build cmake \
  googletest libcli11-dev nlohmann-json3-dev
# 32-bit Wine is needed only where the kernel runs 32-bit programs; where it cannot be
# installed, the suite runs the 64-bit build as on such hosts.
APT_RECOMMENDS=1 install_missing wine32:i386 ||
  echo "wine32:i386 could not be installed: the 64-bit Windows build is tested" >&2

# Can this kernel run the 32-bit Wine loader?
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  toolchain=cmake/mingw-i686.cmake
  wine=$(command -v wine)
  export WINEARCH=win32
else
  echo "this kernel runs no 32-bit programs: testing the 64-bit Windows build"
  APT_RECOMMENDS=1 install_missing g++-mingw-w64-x86-64-posix wine64
  toolchain=cmake/mingw-x86_64.cmake
  wine=/usr/lib/wine/wine64
  export WINEARCH=win64
fi

build=$root/build-win
cmake -G Ninja -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/$toolchain" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build"
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
mkdir -p "$WINEPREFIX"
# One Wine server for the whole run: otherwise every test program waits for its own.
wineserver -p 2>/dev/null || true  # one may be running for this prefix already
trap 'wineserver -k 2>/dev/null || true' EXIT
"$wine" cmd /c exit >/dev/null 2>&1 || true
# No debugger: a program that crashes ends, and its test fails, instead of waiting.
"$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
  /d '' /f >/dev/null 2>&1 || true

status=0
(cd "$build" && ctest --output-on-failure -j2) || status=1
LIVRANA_WINE=$wine bash "$root/tests/e2e/dialog_test.sh" "$build" || status=1
if [[ $toolchain != cmake/mingw-i686.cmake ]]; then
  echo "building the 32-bit programs in build-win32"
  { cmake -G Ninja -S . -B "$root/build-win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DLIVRANA_TESTS=OFF >/dev/null &&
      ninja -C "$root/build-win32" livrana livrana-convert; } || status=1
fi
exit $status
