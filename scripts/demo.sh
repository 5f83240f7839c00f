#!/usr/bin/env bash
# The main demonstration: installs what is needed, builds the library and its
# example programs, and runs them on a file (the one given, or a default):
# checksums, a gzip round trip through orvgzip/orvgunzip checked by the
# system gzip, an LZSS round trip, and a bzip2 round trip through
# orvbzip2/orvbunzip2 checked by the system bzip2.
#   scripts/demo.sh [FILE]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
orvdc_ensure_deps

file=${1:-}
if [ -z "$file" ]; then
    file=../shared/corpus/alice29.txt
    [ -f "$file" ] || file=README.md
fi
[ -f "$file" ] || { echo "no such file: $file" >&2; exit 1; }

echo "Building the library and the examples (build-demo/)..."
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVDC_BUILD_TESTS=OFF >/dev/null
cmake --build build-demo -j "$(nproc)" >/dev/null
bin=build-demo/examples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
name=$(basename "$file")
cp "$file" "$work/$name"
size=$(stat -c %s "$file")

step() { echo; echo "\$ $*"; }
sizeof() { stat -c %s "$1"; }

step checksum_file "$name"
"$bin/checksum_file" "$work/$name" | sed "s|$work/||"

for level in 1 4 9; do
    "$bin/orvgzip" -$level -c "$work/$name" >"$work/$name.$level.gz"
done
step "orvgzip -1/-4/-9 $name   (deflate, gzip format; fast, average and best match finder)"
for level in 1 4 9; do
    echo "  -$level: $size -> $(sizeof "$work/$name.$level.gz") bytes"
done
echo "  system gzip -6: $size -> $(gzip -6 -c "$file" | wc -c) bytes"
step "gzip -t and gzip -d on orvgzip's output"
gzip -t "$work/$name.9.gz" && gzip -dc "$work/$name.9.gz" | cmp - "$file" && echo "  gzip accepts it and restores the file exactly"
step "orvgunzip on orvgzip's and on gzip's output"
"$bin/orvgunzip" -c "$work/$name.9.gz" | cmp - "$file" && echo "  orvgzip -> orvgunzip: identical"
gzip -9 -c "$file" | "$bin/orvgunzip" -c | cmp - "$file" && echo "  gzip -9 -> orvgunzip: identical (CRC-32 and length checked)"

step "orvlzss $name && orvlzss -d $name.lzss"
"$bin/orvlzss" -c "$work/$name" >"$work/$name.lzss"
"$bin/orvlzss" -d -c "$work/$name.lzss" | cmp - "$file" && echo "  $size -> $(sizeof "$work/$name.lzss") bytes, restored exactly"

if [ -x "$bin/orvbzip2" ] && [ -x "$bin/orvbunzip2" ]; then
    step "orvbzip2 $name   (BWT, move-to-front, zero-run stages; bzip2 format)"
    "$bin/orvbzip2" -k "$work/$name" 2>/dev/null
    echo "  $size -> $(sizeof "$work/$name.bz2") bytes (system bzip2 -9: $(bzip2 -9 -c "$file" | wc -c) bytes)"
    bzip2 -t "$work/$name.bz2" && bzip2 -dc "$work/$name.bz2" | cmp - "$file" && echo "  bzip2 accepts it and restores the file exactly"
    bzip2 -9 -c "$file" >"$work/sys.bz2"
    "$bin/orvbunzip2" -c "$work/sys.bz2" | cmp - "$file" && echo "  bzip2 -9 -> orvbunzip2: identical"
fi
echo
echo "Done."
