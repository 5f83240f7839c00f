# Sourced by the example test scripts: a scratch folder, a pass/fail counter,
# and the inputs every round trip runs on (edge sizes, runs, random data, text,
# and the corpus files when they are present).
#   source example_test_lib.sh <source dir>
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
# check WHAT COMMAND...: runs the command quietly and counts the result.
check() {
    local what=$1
    shift
    if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else echo "FAILED: $what"; failed=$((failed + 1)); fi
}

# Prints the counts in the closing form and returns non-zero on any failure.
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

: >"$work/empty"
printf 'ab' >"$work/two"
head -c 200000 /dev/zero >"$work/zeros"
head -c 300000 /dev/urandom >"$work/random"
for i in $(seq 1 5000); do echo "line $i: record $((i % 97)) value $((i * 7 % 13))"; done >"$work/text"
inputs=("$work/empty" "$work/two" "$work/zeros" "$work/random" "$work/text")
for f in "$1"/../shared/corpus/*; do
    case "$f" in *.md | *SHA256SUMS) ;; *) [ -f "$f" ] && inputs+=("$f") ;; esac
done
