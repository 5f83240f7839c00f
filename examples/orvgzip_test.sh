#!/usr/bin/env bash
# Round trips through orvgzip and orvgunzip, checked against the system gzip:
# orvgzip's output must pass `gzip -t` and restore exactly with `gzip -d`, and
# orvgunzip must restore what `gzip` writes at levels 1 and 9.
#   orvgzip_test.sh <example program dir> <source dir>
set -uo pipefail
bin=$1
if ! command -v gzip >/dev/null; then echo "gzip not installed: skipped"; echo "0 passed, 0 failed"; exit 0; fi
source "$(dirname "$0")/example_test_lib.sh" "$2"

for f in "${inputs[@]}"; do
    name=$(basename "$f")
    for level in 0 1 2; do
        out="$work/$name.$level.gz"
        check "orvgzip -$level $name" bash -c "'$bin/orvgzip' -$level -c '$f' >'$out'"
        check "gzip -t accepts orvgzip -$level $name" gzip -t "$out"
        check "gzip -d restores orvgzip -$level $name" bash -c "gzip -dc '$out' | cmp -s - '$f'"
        check "orvgunzip restores orvgzip -$level $name" bash -c "'$bin/orvgunzip' -c '$out' | cmp -s - '$f'"
    done
    for level in 1 9; do
        check "orvgunzip restores gzip -$level $name" \
            bash -c "gzip -$level -c '$f' | '$bin/orvgunzip' -c | cmp -s - '$f'"
    done
done

# Damaged input fails cleanly (non-zero exit, no crash).
gzip -c "$work/text" >"$work/t.gz"
head -c 2000 "$work/t.gz" >"$work/truncated.gz"
check "orvgunzip refuses a truncated stream" bash -c "! '$bin/orvgunzip' -c '$work/truncated.gz'"
cp "$work/t.gz" "$work/flipped.gz"
printf '\xff' | dd of="$work/flipped.gz" bs=1 seek=$(( $(stat -c %s "$work/t.gz") - 6 )) conv=notrunc 2>/dev/null
check "orvgunzip refuses a wrong length" bash -c "! '$bin/orvgunzip' -c '$work/flipped.gz'"

finish
