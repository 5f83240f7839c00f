#!/usr/bin/env bash
# Long local fuzzing runs.  Each harness runs for SECONDS (default 600) from
# its seed corpus (fuzz/corpus/<harness>) and a working corpus that grows from
# run to run (build-fuzz/corpus/<harness>); crashes, leaks and timeouts are
# kept in build-fuzz/artifacts/<harness>/.  Harnesses run one after another
# (FUZZ_JOBS=n runs n at once).  A summary line per harness gives the
# executions, executions per second, coverage and artifacts found; the script
# fails when any harness found something.
#
# Usage: scripts/fuzz.sh [SECONDS] [HARNESS...]   (names without fuzz_)
# Environment: FUZZ_BUILD (default build-fuzz), FUZZ_JOBS (default 1),
# FUZZ_MAX_LEN (default 4096).
# To fold a grown corpus back into the seeds, run scripts/make_fuzz_corpus.sh
# after copying the interesting inputs, or merge them with the harness's
# -merge=1 into fuzz/corpus/<harness>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
build=${FUZZ_BUILD:-build-fuzz}
jobs=${FUZZ_JOBS:-1}
max_len=${FUZZ_MAX_LEN:-4096}

source scripts/fuzz_build.sh
orvdc_fuzz_build "$@"

run_one() {
    local name=$1
    local exe="$build/fuzz/fuzz_$name" work="$build/corpus/$name" found="$build/artifacts/$name"
    local log="$build/fuzz-logs/$name.log"
    [ -x "$exe" ] || { echo "$name: no such harness"; return 1; }
    mkdir -p "$work" "$found" "$(dirname "$log")"
    local seeds=()
    [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
    local rc=0
    "$exe" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=2048 -timeout=30 -print_final_stats=1 \
        -artifact_prefix="$found/" "$work" "${seeds[@]}" >"$log" 2>&1 || rc=$?
    local execs cov artifacts
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -n 1 | cut -d' ' -f2)
    artifacts=$(find "$found" -type f | wc -l)
    printf '%-26s exit %-3s execs %-10s per s %-8s cov %-6s artifacts %s\n' "$name" "$rc" "${execs:-?}" \
        "$(( ${execs:-0} / seconds ))" "${cov:-?}" "$artifacts"
    [ "$rc" -eq 0 ] && [ "$artifacts" -eq 0 ]
}

status=0
if [ "$jobs" -le 1 ]; then
    for name in "${harnesses[@]}"; do run_one "$name" || status=1; done
else
    export -f run_one
    export build seconds max_len
    printf '%s\n' "${harnesses[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {}' || status=1
fi
exit $status
