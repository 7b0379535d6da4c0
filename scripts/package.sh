#!/usr/bin/env bash
# Builds what a user downloads, into dist/:
#   livrana-convert_<version>_<arch>.deb   the Linux command line (Debian package)
#   livrana-<version>-win32.zip            livrana.exe, livrana-convert.exe (32-bit Windows)
#                                           and the guide
# with cpack, from the version of CMakeLists.txt. Each package comes with its .sha256.
#
#   scripts/package.sh        (as root, or with sudo, on Debian: it installs what it misses)
#
# Build folders: build-pkg (Linux, Release), build-pkg-win32 (32-bit Windows, Release).
# scripts/test-package.sh checks the packages and installs the Debian one in a fresh root.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/setup.sh

install_missing cmake ninja-build g++ ccache libcli11-dev nlohmann-json3-dev dpkg-dev cmark-gfm gzip \
  g++-mingw-w64-i686

package() {  # package BUILD_DIR GENERATOR CMAKE_ARGUMENT...
  local build=$1 generator=$2
  shift 2
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLIVRANA_TESTS=OFF \
    -DLIVRANA_PACKAGE=ON "$@" >/dev/null
  ninja -C "$build"
  rm -rf "$build/packages"
  (cd "$build" && cpack -G "$generator" >/dev/null)
}

package build-pkg DEB
package build-pkg-win32 ZIP -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"

mkdir -p dist
rm -f dist/livrana-convert_*.deb* dist/livrana-*-win32.zip*
cp build-pkg/packages/*.deb build-pkg/packages/*.deb.sha256 dist/
cp build-pkg-win32/packages/*.zip build-pkg-win32/packages/*.zip.sha256 dist/
echo
ls -l dist/*.deb dist/*.zip | awk '{ print $5 "\t" $NF }'
