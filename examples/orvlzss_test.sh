#!/usr/bin/env bash
# Round trips through the orvlzss tool on edge-case inputs and the corpus.
#   orvlzss_test.sh <example program dir> <source dir>
set -uo pipefail
bin=$1
source "$(dirname "$0")/example_test_lib.sh" "$2"

for f in "${inputs[@]}"; do
    name=$(basename "$f")
    cp "$f" "$work/in_$name"
    check "compress $name" "$bin/orvlzss" "$work/in_$name"
    mv "$work/in_$name" "$work/orig_$name"
    check "restore $name" "$bin/orvlzss" -d "$work/in_$name.lzss"
    check "identical $name" cmp -s "$work/in_$name" "$work/orig_$name"
done
check "truncated file is refused" bash -c "head -c 100 '$work/in_text.lzss' >'$work/t.lzss'; ! '$bin/orvlzss' -d -c '$work/t.lzss'"
check "zeros compress well" bash -c "[ \$(stat -c %s '$work/in_zeros.lzss') -lt 30000 ]"

finish
