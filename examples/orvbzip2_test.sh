#!/usr/bin/env bash
# orvbzip2 and orvbunzip2 against the system bzip2:
#   - orvbzip2 output passes `bzip2 -t` and `bzip2 -dc` restores the input;
#   - files from `bzip2 -1` and `bzip2 -9` (and concatenations of them) are
#     restored by orvbunzip2, also through pipes;
#   - the options, and the same output for every thread count;
#   - within 1% of bzip2 -9's size on every corpus file;
#   - damaged .bz2 files make orvbunzip2 exit with status 1 and a message
#     naming the file, leaving no output file behind and the input in place;
#   - bounded memory on a 256 MiB stream (and, with ORVDC_LONG_TESTS=1, a
#     stream of more than 4 GiB).
# Usage: orvbzip2_test.sh <example program dir> <source dir>
# shellcheck disable=SC2059  # printf formats built from octal escapes on purpose
set -uo pipefail
bin=$1 src=$2
if ! command -v bzip2 >/dev/null 2>&1; then
    echo "bzip2 not installed: skipping"
    echo "0 passed, 0 failed"
    exit 0
fi
work=$(mktemp -d)
keep=0
trap '[ "$keep" -eq 1 ] && echo "inputs kept in $work" || rm -rf "$work"' EXIT

passed=0 failed=0
pass() { passed=$((passed + 1)); }
fail() { echo "FAILED: $*"; failed=$((failed + 1)); keep=1; }

# Inputs: edges of the run-length stage, random and text data, more than one
# block, and runs that cross the point where a block fills.
: >"$work/empty"
printf 'x' >"$work/one"
printf 'aaaab' >"$work/run4"
head -c 5 /dev/zero | tr '\0' 'a' >"$work/run5"
head -c 300 /dev/zero | tr '\0' 'b' >"$work/run300"
head -c 1000000 /dev/zero >"$work/zeros1M"
{
    for n in 1 2 3 4 5 6 258 259 260 261 518 519 520; do
        head -c "$n" /dev/zero | tr '\0' 'q'
        printf 'r'
        head -c "$n" /dev/zero | tr '\0' 'q'
        head -c "$n" /dev/zero | tr '\0' 'r'
    done
} >"$work/runs"
printf "$(printf '\\%03o' $(seq 0 255))" >"$work/allbytes"
head -c 300000 /dev/urandom >"$work/random"
# Periodic blocks: several rotations equal the block itself.
yes ab | tr -d '\n' | head -c 1000000 >"$work/period2"
yes abcdefghijklmnopq | tr -d '\n' | head -c 1500000 >"$work/period17"
seq 1 250000 | sed 's/$/ the quick brown fox/' >"$work/text3blocks"
# Run-length output of random bytes is the bytes themselves (runs of four are
# rare), so these put the block's end just before, on and after the fourth
# byte of a run.
head -c 899990 /dev/urandom >"$work/rand_base"
for cut in 899974 899976 899977 899978 899979; do
    { head -c "$cut" "$work/rand_base"; head -c 600 /dev/zero | tr '\0' 'a'; } >"$work/edge$cut"
done
rm -f "$work/rand_base"
inputs=(empty one run4 run5 run300 zeros1M runs allbytes random period2 period17 text3blocks
        edge899974 edge899976 edge899977 edge899978 edge899979)
if [ -d "$src/../shared/corpus" ]; then
    for f in "$src"/../shared/corpus/*; do
        case "$f" in *.md | *SHA256SUMS) ;; *)
            [ -f "$f" ] && cp "$f" "$work/corpus_$(basename "$f")" && inputs+=("corpus_$(basename "$f")") ;;
        esac
    done
else
    echo "corpus not found: round trips use the generated inputs only"
fi

for name in "${inputs[@]}"; do
    f="$work/$name"
    # orvbzip2 -> bzip2
    rm -f "$f.bz2"
    if "$bin/orvbzip2" -k "$f" && [ -f "$f.bz2" ]; then pass; else fail "orvbzip2 $name"; continue; fi
    if bzip2 -tq "$f.bz2" 2>/dev/null; then pass; else fail "bzip2 -t rejects orvbzip2 output for $name"; fi
    if bzip2 -dc "$f.bz2" 2>/dev/null | cmp -s - "$f"; then pass; else fail "bzip2 -dc of $name differs"; fi
    if "$bin/orvbunzip2" -c "$f.bz2" | cmp -s - "$f"; then pass; else fail "orvbunzip2 of orvbzip2 $name differs"; fi
    # bzip2 -> orvbunzip2
    for level in 1 9; do
        bzip2 -"$level" -c "$f" >"$work/sys$level.bz2"
        if "$bin/orvbunzip2" <"$work/sys$level.bz2" | cmp -s - "$f"; then pass; else fail "orvbunzip2 of bzip2 -$level $name"; fi
    done
done

# Ratio: within 1% of bzip2 -9 on every corpus file.
for name in "${inputs[@]}"; do
    case "$name" in corpus_*)
        ours=$(stat -c %s "$work/$name.bz2")
        theirs=$(bzip2 -9 -c "$work/$name" | wc -c)
        if [ $((ours * 100)) -le $((theirs * 101)) ]; then pass; else fail "$name: $ours bytes, bzip2 -9 $theirs"; fi ;;
    esac
done

# The file-to-file form, and concatenated streams.
cp "$work/text3blocks" "$work/plain"
bzip2 -1 -c "$work/plain" >"$work/plain.bz2"
rm -f "$work/plain"
if "$bin/orvbunzip2" "$work/plain.bz2" && cmp -s "$work/plain" "$work/text3blocks"; then pass; else fail "orvbunzip2 FILE.bz2 writes FILE"; fi
cat "$work/run300.bz2" "$work/empty.bz2" "$work/text3blocks.bz2" >"$work/cat.bz2"
cat "$work/run300" "$work/text3blocks" >"$work/cat.expected"
if "$bin/orvbunzip2" -c "$work/cat.bz2" | cmp -s - "$work/cat.expected"; then pass; else fail "concatenated streams"; fi
if [ "$(stat -c %s "$work/empty.bz2")" -eq 14 ]; then pass; else fail "empty input is not the 14-byte empty stream"; fi

# Options and thread counts.
b2=$bin/orvbzip2 bun=$bin/orvbunzip2
cp "$work/text3blocks" "$work/o"
if "$b2" "$work/o" && [ ! -e "$work/o" ] && bzip2 -t "$work/o.bz2"; then pass; else fail "orvbzip2 FILE replaces FILE"; fi
if "$bun" -k "$work/o.bz2" && [ -f "$work/o.bz2" ] && cmp -s "$work/o" "$work/text3blocks"; then pass; else fail "-k keeps FILE.bz2"; fi
"$b2" "$work/o" 2>/dev/null
if [ $? -eq 1 ] && [ -f "$work/o" ]; then pass; else fail "an existing output is refused with exit 1"; fi
if "$b2" -f "$work/o" && [ ! -e "$work/o" ]; then pass; else fail "-f overwrites"; fi
if "$b2" -d "$work/o.bz2" && cmp -s "$work/o" "$work/text3blocks"; then pass; else fail "orvbzip2 -d restores"; fi
if "$b2" -tq "$work/text3blocks.bz2"; then pass; else fail "-t accepts a good file"; fi
if "$b2" -h | grep -q "900 kB"; then pass; else fail "-h prints the help"; fi
for level in 1 5; do
    if "$b2" -$level -c "$work/text3blocks" | bzip2 -dc | cmp -s - "$work/text3blocks"; then pass; else fail "orvbzip2 -$level"; fi
done
if [ "$("$b2" -v -c "$work/text3blocks" 2>&1 >/dev/null | grep -c '%')" -eq 1 ]; then pass; else fail "-v reports the sizes"; fi
"$b2" -q "$work/text3blocks.bz2"
if [ $? -eq 2 ]; then pass; else fail "a file already ending in .bz2 is left alone with exit 2"; fi
if "$b2" <"$work/text3blocks" | "$bun" | cmp -s - "$work/text3blocks"; then pass; else fail "standard input to standard output"; fi
cat "$work/text3blocks" "$work/random" "$work/zeros1M" "$work/period17" >"$work/multi"
"$b2" -1 -p 1 -c "$work/multi" >"$work/p1.bz2"
for p in 2 3 7; do
    if "$b2" -1 -p $p -c "$work/multi" | cmp -s - "$work/p1.bz2"; then pass; else fail "-p $p gives the -p 1 bytes"; fi
done
bzip2 -1 -c "$work/multi" >"$work/sys_multi.bz2"
for p in 1 2 5; do
    if "$bun" -p $p -c "$work/p1.bz2" | cmp -s - "$work/multi" &&
        { cat "$work/sys_multi.bz2" "$work/p1.bz2"; } | "$bun" -p $p | cmp -s - <(cat "$work/multi" "$work/multi"); then
        pass
    else
        fail "orvbunzip2 -p $p"
    fi
done
{ cat "$work/text3blocks.bz2"; printf 'junk'; } >"$work/trail.bz2"
"$bun" -c "$work/trail.bz2" 2>/dev/null | cmp -s - "$work/text3blocks"
if [ "${PIPESTATUS[0]}" -eq 2 ]; then pass; else fail "trailing garbage gives exit 2 and the data"; fi

# Damaged input: exit status exactly 1 (no crash), a message, no output left.
refused() {
    local what=$1 file=$2
    rm -f "$work/damaged" "$work/damaged.bz2" "$work/msg"
    cp "$file" "$work/damaged.bz2"
    "$bin/orvbunzip2" "$work/damaged.bz2" 2>"$work/msg"
    local rc=$?
    if [ "$rc" -eq 1 ] && grep -q '^orvbunzip2: .*damaged.bz2: ' "$work/msg" && [ ! -e "$work/damaged" ] &&
        [ -f "$work/damaged.bz2" ] && [ -z "$(ls "$work" | grep '^damaged\..\{6\}$')" ]; then
        pass
    else
        fail "$what: exit $rc, message '$(head -c 200 "$work/msg")'"
    fi
}
good="$work/text3blocks.bz2"
size=$(stat -c %s "$good")
head -c $((size / 2)) "$good" >"$work/half"; refused "truncated to half" "$work/half"
head -c $((size - 5)) "$good" >"$work/short"; refused "end record cut" "$work/short"
head -c 40 "$good" >"$work/head"; refused "cut inside the first table" "$work/head"
head -c 4 "$good" >"$work/hdr"; refused "header only" "$work/hdr"
: >"$work/nothing"; refused "empty file" "$work/nothing"
printf 'BZh0' >"$work/level0"; refused "block size digit 0" "$work/level0"
head -c 1000 "$work/random" >"$work/notbz"; refused "not a bzip2 file" "$work/notbz"
for i in $(seq 1 24); do
    pos=$((4 + (size - 12) * i / 25))
    cp "$good" "$work/flip"
    byte=$(od -An -tu1 -j "$pos" -N1 "$good" | tr -d ' ')
    printf "$(printf '\\%03o' $(((byte ^ (1 << (i % 8))) & 255)))" |
        dd of="$work/flip" bs=1 seek="$pos" conv=notrunc status=none
    refused "bit $((i % 8)) of byte $pos flipped" "$work/flip"
    "$bun" -p 3 -c "$work/flip" >/dev/null 2>&1
    if [ $? -eq 1 ]; then pass; else fail "orvbunzip2 -p 3: bit $((i % 8)) of byte $pos flipped"; fi
done

# Bounded memory on a 256 MiB stream, mostly long runs (the largest blocks to
# restore); programs run directly only, not under an emulator.
case "$bin${ORVDC_SKIP_MEMORY_CHECK:+ skip}" in
*-launched* | *" skip") echo "memory check skipped (emulated or sanitizer build)" ;;
*)
    if [ -x /usr/bin/time ]; then
        { head -c 4194304 /dev/urandom; head -c 264241152 /dev/zero; } |
            /usr/bin/time -f %M -o "$work/mem_c" "$b2" -9 -p 2 -c >"$work/big.bz2"
        /usr/bin/time -f %M -o "$work/mem_d" "$bun" -p 2 -c "$work/big.bz2" | wc -c >"$work/big.len"
        if [ "$(cat "$work/big.len")" -eq 268435456 ]; then pass; else fail "256 MiB restored"; fi
        if [ "$(cat "$work/mem_c")" -le $((2 * 65536)) ]; then pass; else fail "orvbzip2 -p 2 used $(cat "$work/mem_c") KiB"; fi
        if [ "$(cat "$work/mem_d")" -le $((2 * 65536)) ]; then pass; else fail "orvbunzip2 -p 2 used $(cat "$work/mem_d") KiB"; fi
        rm -f "$work/big.bz2"
    fi
    ;;
esac
if [ "${ORVDC_LONG_TESTS:-0}" = 1 ]; then
    n=$((4 * 1024 * 1024 * 1024 + 123457))
    if head -c $n /dev/zero | "$b2" | bzip2 -t; then pass; else fail "bzip2 -t of a stream over 4 GiB"; fi
    if [ "$(head -c $n /dev/zero | "$b2" | "$bun" | wc -c)" -eq $n ]; then pass; else fail "a stream over 4 GiB"; fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
