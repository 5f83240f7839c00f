#!/usr/bin/env bash
# Round trips through the orvlzss tool on edge-case inputs and the corpus.
#   orvlzss_test.sh <example program dir> <source dir>
set -uo pipefail
bin=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
check() {
    local what=$1
    shift
    if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else echo "FAILED: $what"; failed=$((failed + 1)); fi
}

: >"$work/empty"
printf 'ab' >"$work/two"
head -c 200000 /dev/zero >"$work/zeros"
head -c 200000 /dev/urandom >"$work/random"
for i in $(seq 1 5000); do echo "record $((i % 97)) value $((i * 7 % 13))"; done >"$work/text"
inputs=("$work/empty" "$work/two" "$work/zeros" "$work/random" "$work/text")
for f in "$src"/../shared/corpus/*; do
    case "$f" in *.md|*SHA256SUMS) ;; *) [ -f "$f" ] && inputs+=("$f") ;; esac
done

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

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
