#!/usr/bin/env bash
# Builds livrana-convert, writes a sample data folder into a temporary folder, converts it
# and shows what changed; then converts it again to show that a second run changes nothing.
#
#   scripts/demo.sh [--keep]     (--keep leaves the temporary folder in place)
#
# Build folder: build-demo (Release, without the tests).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/setup.sh

keep=0
[[ ${1:-} == --keep ]] && keep=1

install_missing cmake ninja-build g++ ccache libcli11-dev nlohmann-json3-dev

cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DLIVRANA_TESTS=OFF >/dev/null
ninja -C build-demo livrana-convert
bin=$root/build-demo/livrana-convert

work=$(mktemp -d "${TMPDIR:-/tmp}/livrana-demo.XXXXXX")
if [[ $keep -eq 0 ]]; then trap 'rm -rf "$work"' EXIT; fi
data=$work/dados

# The data files are Windows-1252; the terminal shows UTF-8.
show() { iconv -f WINDOWS-1252 -t UTF-8 2>/dev/null || cat; }
# Bytes 0 to 139 of record n (from 0) of a file of records of length w.
record() { dd if="$1" bs="$2" skip="$3" count=1 status=none | head -c 140 | show; echo; }

echo
echo "== livrana-convert sample $data"
"$bin" sample "$data" --companies 5 --records 40 --seed 1
cp -a "$data" "$work/antes"

invoice=$data/R00/0001/L50A1990.DAT
echo
echo "== first invoice records of R00/0001/L50A1990.DAT, bytes 0-139, before:"
for n in 0 1 2; do record "$invoice" 400 "$n"; done

echo
echo "== livrana-convert convert $data"
"$bin" convert "$data"

echo
echo "== the same records after (52-61 emptied, 80-88 and 127-137 rewritten):"
for n in 0 1 2; do record "$invoice" 400 "$n"; done

echo
echo "== telephone fields of F01R0.DAT, record 0-3 before and after (bytes 290-353):"
for n in 0 1 2 3; do
  printf '  antes:  [%s]\n' "$(dd if="$work/antes/F01R0.DAT" bs=814 skip="$n" count=1 status=none | cut -b 291-354 | show)"
  printf '  depois: [%s]\n' "$(dd if="$data/F01R0.DAT" bs=814 skip="$n" count=1 status=none | cut -b 291-354 | show)"
done

echo
echo "== FTEL1.DAT, the phone table, first lines:"
head -n 8 "$data/FTEL1.DAT" | tr -d '\r' | show

echo
echo "== changed files:"
diff -rq "$work/antes" "$data" | sed "s|$work/||g" | head -n 12 || true

cp -a "$data" "$work/depois"
echo
echo "== a second livrana-convert convert: nothing is left to convert"
"$bin" convert "$data"
if diff -r "$work/depois" "$data" >/dev/null; then
  echo "every file is as the first run left it."
else
  echo "the second run changed files" >&2
  exit 1
fi
[[ $keep -eq 1 ]] && echo && echo "the folders are in $work"
exit 0
