#!/usr/bin/env bash
# orvgzip and orvgunzip against the system gzip: round trips both ways through
# files and pipes, every option, damaged input (refused with the file name and
# the reason, no output left, input kept), byte-identical output for every
# thread count, the best level within 1% of gzip -6 on the corpus, and
# bounded memory on a 256 MiB stream.  With
# ORVDC_LONG_TESTS=1 also a stream of more than 4 GiB.
#   orvgzip_test.sh <example program dir> <source dir>
set -uo pipefail
bin=$1
if ! command -v gzip >/dev/null; then echo "gzip not installed: skipped"; echo "0 passed, 0 failed"; exit 0; fi
source "$(dirname "$0")/example_test_lib.sh" "$2"
gz=$bin/orvgzip gunz=$bin/orvgunzip

# expect_exit CODE COMMAND...: the command's exit status is CODE.
expect_exit() {
    local want=$1
    shift
    "$@"
    [ $? -eq "$want" ]
}

for f in "${inputs[@]}"; do
    name=$(basename "$f")
    for level in 1 4 6 9; do
        out="$work/$name.$level.gz"
        check "orvgzip -$level $name" bash -c "'$gz' -$level -c '$f' >'$out'"
        check "gzip -t accepts orvgzip -$level $name" gzip -t "$out"
        check "gzip -d restores orvgzip -$level $name" bash -c "gzip -dc '$out' | cmp -s - '$f'"
        check "orvgunzip restores orvgzip -$level $name" bash -c "'$gunz' -c '$out' | cmp -s - '$f'"
    done
    for level in 1 9; do
        check "orvgunzip restores gzip -$level $name from a pipe" \
            bash -c "gzip -$level -c '$f' | '$gunz' | cmp -s - '$f'"
    done
done

# Ratio: the best level stays within 1% of gzip -6 on every corpus file.
for f in "${inputs[@]}"; do
    case "$f" in */corpus/*)
        check "orvgzip -9 within 1% of gzip -6 on $(basename "$f")" \
            bash -c "[ \$(( \$('$gz' -9 -c '$f' | wc -c) * 100 )) -le \$(( \$(gzip -6 -c '$f' | wc -c) * 101 )) ]" ;;
    esac
done

# Files replaced in place, and back; options.
cp "$work/text" "$work/t"
check "orvgzip FILE writes FILE.gz and removes FILE" bash -c "'$gz' '$work/t' && [ -f '$work/t.gz' ] && [ ! -e '$work/t' ]"
check "orvgunzip FILE.gz restores FILE and removes FILE.gz" \
    bash -c "'$gunz' '$work/t.gz' && cmp -s '$work/t' '$work/text' && [ ! -e '$work/t.gz' ]"
check "-k keeps the input" bash -c "'$gz' -k '$work/t' && [ -f '$work/t' ] && [ -f '$work/t.gz' ]"
check "an existing output is not overwritten (exit 1, both files kept)" \
    bash -c "cp '$work/t.gz' '$work/keep.gz'; ! '$gz' '$work/t' 2>/dev/null; [ \$? ] && [ -f '$work/t' ] && cmp -s '$work/t.gz' '$work/keep.gz'"
check "exit status 1 for an existing output" expect_exit 1 "$gz" -q "$work/t"
check "-f overwrites" bash -c "'$gz' -f '$work/t' && [ ! -e '$work/t' ] && gzip -t '$work/t.gz'"
check "orvgzip -d restores" bash -c "'$gz' -d '$work/t.gz' && cmp -s '$work/t' '$work/text'"
check "-dc writes standard output and keeps the file" \
    bash -c "'$gz' -k '$work/t' && '$gz' -dc '$work/t.gz' | cmp -s - '$work/text' && [ -f '$work/t.gz' ]"
check "-t accepts a good file without writing" bash -c "rm -f '$work/t'; '$gunz' -t '$work/t.gz' && [ ! -e '$work/t' ]"
check "-v reports the sizes" bash -c "'$gz' -v -c '$work/text' 2>&1 >/dev/null | grep -q '%'"
check "-h prints the help and the level mapping" bash -c "'$gz' -h | grep -q -- '-6..-9'"
check "an unknown option is an error" expect_exit 1 "$gz" -x "$work/text"
check "a file already ending in .gz is left alone (exit 2)" expect_exit 2 "$gz" "$work/t.gz"
check "-q silences warnings" bash -c "[ -z \"\$('$gz' -q '$work/t.gz' 2>&1)\" ]"
cp "$work/text" "$work/plain"
check "orvgunzip on a name without .gz: exit 2, file kept" bash -c "'$gunz' '$work/plain' 2>/dev/null; [ \$? -eq 2 ] && [ -f '$work/plain' ]"
check "empty file round trip through files" \
    bash -c "cp '$work/empty' '$work/e' && '$gz' '$work/e' && gzip -t '$work/e.gz' && '$gunz' '$work/e.gz' && [ -f '$work/e' ] && [ ! -s '$work/e' ]"
check "no FILE: standard input to standard output" bash -c "'$gz' <'$work/text' | '$gunz' | cmp -s - '$work/text'"
check "compressed data is not written to a terminal" bash -c "script -qc \"'$gz' '$work/text' -c\" /dev/null | grep -q terminal || ! command -v script"
check "several files with -c make concatenated members" \
    bash -c "'$gz' -c '$work/text' '$work/two' | gzip -dc | cmp -s - <(cat '$work/text' '$work/two')"
check "concatenated members from gzip and orvgzip" \
    bash -c "{ gzip -c '$work/two'; '$gz' -c '$work/text'; } | '$gunz' -c | cmp -s - <(cat '$work/two' '$work/text')"

# The same output for every thread count (inputs of several chunks).
cat "$work/text" "$work/random" "$work/text" "$work/zeros" "$work/random" "$work/random" "$work/random" \
    "$work/text" "$work/random" "$work/random" "$work/random" "$work/random" >"$work/multi"
"$gz" -p 1 -c "$work/multi" >"$work/p1.gz"
for p in 2 3 8; do
    check "-p $p gives the -p 1 bytes" bash -c "'$gz' -p $p -c '$work/multi' | cmp -s - '$work/p1.gz'"
done
check "the multi-chunk member passes gzip -t" gzip -t "$work/p1.gz"

# Damaged input: exit 1, the file name and the reason, no output, input kept.
refused() {
    local what=$1 file=$2 reason=$3
    rm -f "$work/damaged" "$work/damaged.gz"
    cp "$file" "$work/damaged.gz"
    "$gunz" "$work/damaged.gz" 2>"$work/msg"
    local rc=$?
    if [ "$rc" -eq 1 ] && grep -q "damaged.gz: .*$reason" "$work/msg" && [ ! -e "$work/damaged" ] &&
        [ -z "$(ls "$work" | grep '^damaged\..\{6\}$')" ] && [ -f "$work/damaged.gz" ]; then
        passed=$((passed + 1))
    else
        echo "FAILED: $what: exit $rc, message '$(head -c 200 "$work/msg")'"
        failed=$((failed + 1))
    fi
}
gzip -c "$work/text" >"$work/t.gz"
size=$(stat -c %s "$work/t.gz")
head -c 2000 "$work/t.gz" >"$work/cut"; refused "truncated" "$work/cut" "unexpected end"
cp "$work/t.gz" "$work/len"
printf '\xff' | dd of="$work/len" bs=1 seek=$((size - 2)) conv=notrunc 2>/dev/null
refused "wrong length" "$work/len" "length mismatch"
cp "$work/t.gz" "$work/crc"
printf '\x00' | dd of="$work/crc" bs=1 seek=$((size - 7)) conv=notrunc 2>/dev/null
refused "wrong CRC" "$work/crc" "checksum"
head -c 1000 "$work/random" >"$work/notgz"; refused "not gzip" "$work/notgz" "not in the expected format"
refused "empty file" "$work/empty" "unexpected end"
cp "$work/t.gz" "$work/blk"
printf '\xff\xff\xff' | dd of="$work/blk" bs=1 seek=20 conv=notrunc 2>/dev/null
refused "damaged block" "$work/blk" "error"
check "-t refuses a damaged file with exit 1" expect_exit 1 "$gunz" -tq "$work/cut"
{ cat "$work/t.gz"; printf 'garbage'; } >"$work/trail.gz"
check "trailing garbage: output written, exit 2" \
    bash -c "'$gunz' -c '$work/trail.gz' 2>/dev/null | cmp -s - '$work/text'; [ \${PIPESTATUS[0]} -eq 2 ]"

# Bounded memory on a 256 MiB stream, with as many threads as -p allows
# (programs run directly only: under an emulator the emulator's memory
# would be measured).
case "$bin${ORVDC_SKIP_MEMORY_CHECK:+ skip}" in
*-launched* | *" skip") echo "memory check skipped (emulated or sanitizer build)" ;;
*)
    if [ -x /usr/bin/time ]; then
        { head -c 100663296 /dev/urandom; head -c 167772160 /dev/zero; } |
            /usr/bin/time -f %M -o "$work/mem_c" "$gz" -1 -p 256 -c >"$work/big.gz"
        /usr/bin/time -f %M -o "$work/mem_d" "$gunz" -c "$work/big.gz" | wc -c >"$work/big.len"
        check "256 MiB restored" [ "$(cat "$work/big.len")" -eq 268435456 ]
        check "orvgzip stays within 16 MiB ($(cat "$work/mem_c") KiB)" [ "$(cat "$work/mem_c")" -le 16384 ]
        check "orvgunzip stays within 16 MiB ($(cat "$work/mem_d") KiB)" [ "$(cat "$work/mem_d")" -le 16384 ]
        rm -f "$work/big.gz"
    fi
    ;;
esac

if [ "${ORVDC_LONG_TESTS:-0}" = 1 ]; then
    n=$((4 * 1024 * 1024 * 1024 + 123457))
    check "a stream over 4 GiB passes gzip -t" bash -c "head -c $n /dev/zero | '$gz' -1 | gzip -t"
    check "a stream over 4 GiB round trips" bash -c "[ \$(head -c $n /dev/zero | '$gz' -1 | '$gunz' | wc -c) -eq $n ]"
fi

finish
