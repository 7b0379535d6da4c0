#!/usr/bin/env bash
# Regenerates the pictures of the guide (docs/img/*.png) from the current build: builds
# livrana.exe, runs the end-to-end test of the dialog under Wine on a virtual display
# (tests/e2e/dialog_test.sh) with a window manager (openbox) on the display, so that the
# windows have their title bars, and copies the screenshots it takes, each cut to its window.
#
#   scripts/screenshots.sh        (as root, or with the packages already installed)
#
# Pictures: dialog.png (the dialog at start), count-message.png (the count of converted
# invoices), end-message.png (the end of the run), older-layout.png (a folder of an older
# version). Commit them with the change that alters
# what they show.
# Build folder: build-pkg-shots (the 32-bit Windows build, or the 64-bit one on a host whose
# kernel cannot run 32-bit programs; both draw the same dialog).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/setup.sh

install_missing g++-mingw-w64-i686 wine xvfb xdotool x11-utils openbox imagemagick ninja-build \
  cmake googletest libcli11-dev

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  toolchain=cmake/mingw-i686.cmake
  wine=$(command -v wine)
  export WINEARCH=win32
else
  install_missing g++-mingw-w64-x86-64-posix wine64
  toolchain=cmake/mingw-x86_64.cmake
  wine=/usr/lib/wine/wine64
  export WINEARCH=win64
fi

build=$root/build-pkg-shots
cmake -G Ninja -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DLIVRANA_TESTS=ON >/dev/null
ninja -C "$build" livrana livrana_dialog_probe

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
mkdir -p "$WINEPREFIX"
trap 'wineserver -k 2>/dev/null || true' EXIT
# Makes the prefix, then stops its server: a server (and desktop process) left running from
# here has no display and would keep the test's windows off the test's display.
"$wine" cmd /c exit >/dev/null 2>&1 || true
wineserver -k 2>/dev/null || true

rm -rf "$build/artifacts"
LIVRANA_WINE=$wine LIVRANA_WM="openbox --config-file $root/scripts/screenshots-openbox.xml" bash tests/e2e/dialog_test.sh "$build"

# The test cuts each picture to its window and frame. -strip leaves out the time stamps, so
# that the same picture gives the same file.
mkdir -p docs/img
for name in dialog count-message end-message older-layout; do
  convert "$build/artifacts/$name.png" -strip "docs/img/$name.png"
  echo "docs/img/$name.png: $(identify -format '%wx%h' "docs/img/$name.png")"
done
