#!/usr/bin/env bash
# Builds the packages (scripts/package.sh) and checks them:
#   - the ZIP holds the 32-bit livrana.exe (a window program) and livrana-convert.exe (a
#     console program), and the guide with every picture it shows;
#   - the Debian package carries the project's version, Depends on the libraries the program
#     links, and holds the program, the manual page and the guide;
#   - the Debian package installs with apt into a fresh Debian root, where
#     `livrana-convert steps`, --version and a conversion run in a fresh folder; and it
#     removes again.
#
#   scripts/test-package.sh        (as root, or with sudo: the fresh root needs chroot)
#
# The fresh root is a minimal Debian of the host's release (debootstrap from the host's own
# package source), made once into build-pkg/debian-root and copied for every run, so the
# machine itself is never changed. Making it takes a few minutes; a run after that, seconds.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/setup.sh
started=$SECONDS

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)

bash scripts/package.sh
install_missing debootstrap unzip

version=$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
deb=dist/livrana-convert_${version}_${arch}.deb
zip=dist/livrana-${version}-win32.zip

source scripts/checks.sh
exists() { [[ -e $1 ]] && echo yes || echo no; }

work=$(mktemp -d "${TMPDIR:-/tmp}/livrana-package.XXXXXX")
cleanup() { "${sudo[@]}" rm -rf --one-file-system "$work"; }
trap cleanup EXIT

# --- the ZIP ------------------------------------------------------------------------------
check "the ZIP is named after the version" yes "$(exists "$zip")"
top=livrana-${version}-win32
check "the ZIP's files" "$top/guia.html
$top/img/count-message.png
$top/img/dialog.png
$top/img/end-message.png
$top/img/older-layout.png
$top/livrana-convert.exe
$top/livrana.exe" \
  "$(unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort)"
unzip -q "$zip" -d "$work/zip"

# The machine and the subsystem of a Windows program, from its PE header: "14c 2" is a
# 32-bit x86 window program, "14c 3" a 32-bit x86 console program.
pe_kind() {
  local pe
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  printf '%x %d' "$(od -An -tu2 -j$((pe + 4)) -N2 "$1" | tr -d ' ')" \
    "$(od -An -tu2 -j$((pe + 92)) -N2 "$1" | tr -d ' ')"
}
check "livrana.exe is a 32-bit window program" "14c 2" "$(pe_kind "$work/zip/$top/livrana.exe")"
check "livrana-convert.exe is a 32-bit console program" "14c 3" \
  "$(pe_kind "$work/zip/$top/livrana-convert.exe")"
guide=$work/zip/$top/guia.html
check "the guide is HTML in UTF-8 and names the version" yes \
  "$(grep -q '<meta charset="utf-8">' "$guide" && grep -q "Livrana $version" "$guide" && echo yes || echo no)"
missing=
for image in $(grep -o 'src="[^"]*"' "$guide" | sed 's/^src="//; s/"$//'); do
  [[ -f $work/zip/$top/$image ]] || missing+=" $image"
done
check "every picture the guide shows is in the ZIP" "" "$missing"
check "the guide shows the dialog" yes "$(grep -q 'src="img/dialog.png"' "$guide" && echo yes || echo no)"

# --- the Debian package -------------------------------------------------------------------
check "the Debian package is named after the version" yes "$(exists "$deb")"
field() { dpkg-deb -f "$deb" "$1"; }
check "package name" livrana-convert "$(field Package)"
check "package version" "$version" "$(field Version)"
check "package architecture" "$arch" "$(field Architecture)"
depends=$(field Depends)
for lib in libc6 libstdc++6 libgcc-s1; do
  check "Depends names $lib (from dpkg-shlibdeps)" yes \
    "$([[ ", $depends," == *", $lib "* ]] && echo yes || echo no)"
done
contents=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
for file in ./usr/bin/livrana-convert ./usr/share/man/man1/livrana-convert.1.gz \
  ./usr/share/doc/livrana-convert/guia.html ./usr/share/doc/livrana-convert/img/dialog.png; do
  check "the package holds $file" yes "$(grep -qx -- "$file" <<<"$contents" && echo yes || echo no)"
done
dpkg-deb -x "$deb" "$work/deb"
check "the manual page is compressed and in Portuguese" yes \
  "$(zcat "$work/deb/usr/share/man/man1/livrana-convert.1.gz" | grep -q '^\.SH SINOPSE' && echo yes || echo no)"

# The manual page and the guide describe every command and option that the packaged
# program's help lists (the same check as the ctest test DocsCheck).
check "the manual page and the guide describe every command and option of the help" "" \
  "$(bash tests/docs_check.sh "$work/deb/usr/bin/livrana-convert" "$root" | grep '^not described' || true)"

# --- installing it on a fresh Debian ------------------------------------------------------
pristine=$root/build-pkg/debian-root
if [[ ! -f $pristine/.complete ]]; then
  . /etc/os-release
  mirror=$(apt-get indextargets --format '$(SITE)' "Codename: $VERSION_CODENAME" \
    "Component: main" "Created-By: Packages" | head -1)
  echo "making a minimal Debian $VERSION_CODENAME in $pristine (once; a few minutes)"
  made=$SECONDS
  "${sudo[@]}" rm -rf --one-file-system "$pristine" "$pristine.part"
  "${sudo[@]}" debootstrap --variant=minbase "$VERSION_CODENAME" "$pristine.part" ${mirror:+"$mirror"} \
    >"$work/debootstrap.log" 2>&1 || { tail -20 "$work/debootstrap.log"; exit 1; }
  "${sudo[@]}" touch "$pristine.part/.complete"
  "${sudo[@]}" mv "$pristine.part" "$pristine"
  echo "made in $((SECONDS - made)) s"
fi
fresh=$work/root
"${sudo[@]}" cp -a "$pristine" "$fresh"
"${sudo[@]}" cp "$deb" "$fresh/tmp/"
"${sudo[@]}" cp /etc/resolv.conf "$fresh/etc/resolv.conf" 2>/dev/null || true
in_root() {  # in_root COMMAND: runs a shell command inside the fresh root
  "${sudo[@]}" chroot "$fresh" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive /bin/sh -c "$1"
}
deb_name=$(basename "$deb")
if in_root "apt-get install -y -q ./tmp/$deb_name" >"$work/apt.log" 2>&1; then
  check "apt installs the package" yes yes
else
  check "apt installs the package" yes no
  tail -20 "$work/apt.log"
fi
check "dpkg knows it as installed, with the version" "install ok installed $version" \
  "$(in_root "dpkg-query -W -f='\${Status} \${Version}' livrana-convert" 2>&1)"
check "livrana-convert is in /usr/bin" /usr/bin/livrana-convert \
  "$(in_root 'command -v livrana-convert' 2>&1)"
steps=$(in_root 'mkdir /tmp/fresh && cd /tmp/fresh && livrana-convert steps' 2>&1)
check "livrana-convert steps lists the eleven steps" 11 "$(grep -c '^  [a-z0-9-]* ' <<<"$steps")"
check "... starting with import-old-files" import-old-files "$(awk 'NR == 1 { print $1 }' <<<"$steps")"
check "livrana-convert --version" "livrana-convert $version" \
  "$(in_root 'livrana-convert --version' 2>&1)"
conversion=$(in_root 'cd /tmp/fresh && livrana-convert sample dados >/dev/null &&
  livrana-convert convert dados && test -f dados/FTEL1.DAT && echo FTEL1.DAT' 2>&1)
check "a conversion of a sample folder ends as it should" "A conversão foi realizada.
FTEL1.DAT" "$(tail -2 <<<"$conversion")"
in_root 'apt-get remove -y -q livrana-convert' >"$work/remove.log" 2>&1 || tail -20 "$work/remove.log"
check "apt removes it again" no "$(in_root 'test -e /usr/bin/livrana-convert && echo yes || echo no')"

echo "packages: $passed passed, $failed failed ($((SECONDS - started)) s)"
[[ $failed -eq 0 ]]
