#!/usr/bin/env bash
# The main demonstration: installs what is needed, builds the library and its
# examples, and runs them on a file (the one given, or a default).
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

cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVDC_BUILD_TESTS=OFF >/dev/null
cmake --build build-demo -j "$(nproc)" >/dev/null
echo "Built build-demo/lib/liborvdc.so; running the examples on $file"
for example in build-demo/examples/*; do
    [ -f "$example" ] && [ -x "$example" ] || continue
    echo
    echo "\$ $(basename "$example") $file"
    "$example" "$file"
done
