#!/usr/bin/env bash
# Times the gzip and bzip2 tools of examples/ against their peers on the same
# mixed data (text, binary and random; 128 MiB by default), in one run, and
# prints a table: median wall-clock seconds of the repetitions, throughput of
# the uncompressed data, output size, and each peer's time relative to the
# orvdc tool of the same task (above 1: the orvdc tool is faster).
#
#   scripts/bench_tools.sh [BUILD_DIR] [SIZE_MIB] [REPETITIONS]
#
# The peers (pigz, lbzip2, libdeflate-gzip, gzip, bzip2) are installed with
# apt-get when missing; they are benchmark dependencies only.  The build
# directory (default: build) must hold the built tools (build/examples/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
size_mib=${2:-128}
reps=${3:-3}
bin=$build/examples

peers=(pigz lbzip2 libdeflate-tools gzip bzip2)
missing=()
for p in "${peers[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}" >&2
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
for t in orvgzip orvgunzip orvbzip2 orvbunzip2; do
    [ -x "$bin/$t" ] || { echo "missing $bin/$t: build the examples first" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Mixed data: the corpus (or generated text) for text and binary, with a
# random stretch of 512 KiB after every copy of the corpus (about a sixth).
data=$work/data
corpus=$root/../shared/corpus
: >"$data"
while [ "$(stat -c %s "$data")" -lt $((size_mib * 1048576)) ]; do
    if [ -d "$corpus" ]; then
        cat "$corpus"/* >>"$data"
    else
        seq 1 200000 | sed 's/$/ the quick brown fox jumps over the lazy dog/' >>"$data"
    fi
    head -c 524288 /dev/urandom >>"$data"
done
truncate -s $((size_mib * 1048576)) "$data"
bytes=$(stat -c %s "$data")
gzip -6 -c "$data" >"$work/ref.gz"
bzip2 -9 -c "$data" >"$work/ref.bz2"

# median SECONDS... : the middle value.
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# run TASK LABEL INPUT COMMAND...: times the command on INPUT (stdin), output
# to a file, and prints one table row.
declare -A base
run() {
    local task=$1 label=$2 input=$3
    shift 3
    local times=() i start end
    for ((i = 0; i < reps; i++)); do
        start=$(date +%s.%N)
        "$@" <"$input" >"$work/out"
        end=$(date +%s.%N)
        times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')")
    done
    local t
    t=$(median "${times[@]}")
    local out
    out=$(stat -c %s "$work/out")
    [ -z "${base[$task]:-}" ] && base[$task]=$t
    awk -v task="$task" -v label="$label" -v t="$t" -v n="$bytes" -v out="$out" -v b="${base[$task]}" \
        'BEGIN { printf "| %s | %s | %.2f | %.0f | %s | %.2f |\n", task, label, t, n / 1048576 / t, out, t / b }'
}

echo "Data: $bytes bytes of mixed text, binary and random data; $(nproc) cores; median of $reps runs."
echo
echo "| task | tool | seconds | MiB/s (uncompressed) | output bytes | time / orvdc tool |"
echo "|---|---|---|---|---|---|"
run "gzip, fastest" "orvgzip -1" "$data" "$bin/orvgzip" -1 -c
run "gzip, fastest" "pigz -1" "$data" pigz -1 -c
run "gzip, fastest" "libdeflate-gzip -1" "$data" libdeflate-gzip -1 -c
run "gzip, fastest" "gzip -1" "$data" gzip -1 -c
run "gzip, best" "orvgzip -9" "$data" "$bin/orvgzip" -9 -c
run "gzip, best" "pigz -6" "$data" pigz -6 -c
run "gzip, best" "libdeflate-gzip -6" "$data" libdeflate-gzip -6 -c
run "gzip, best" "gzip -6" "$data" gzip -6 -c
run "gunzip" "orvgunzip" "$work/ref.gz" "$bin/orvgunzip" -c
run "gunzip" "pigz -d" "$work/ref.gz" pigz -d -c
run "gunzip" "libdeflate-gunzip" "$work/ref.gz" libdeflate-gunzip -c
run "gunzip" "gzip -d" "$work/ref.gz" gzip -d -c
run "bzip2" "orvbzip2 -9" "$data" "$bin/orvbzip2" -9 -c
run "bzip2" "lbzip2 -9" "$data" lbzip2 -9 -c
run "bzip2" "bzip2 -9" "$data" bzip2 -9 -c
run "bunzip2" "orvbunzip2" "$work/ref.bz2" "$bin/orvbunzip2" -c
run "bunzip2" "lbzip2 -d" "$work/ref.bz2" lbzip2 -d -c
run "bunzip2" "bzip2 -d" "$work/ref.bz2" bzip2 -d -c
