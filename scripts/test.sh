#!/usr/bin/env bash
# Runs the whole test suite: the 64-bit build (with the comparison libraries as
# oracles, the export check and the packaging test), the 32-bit build (its
# programs run natively where the kernel executes i386 programs, under
# qemu-i386 where it does not), the AddressSanitizer + UndefinedBehaviorSanitizer
# build, a ThreadSanitizer build running the concurrency test, the Windows DLL
# (built, its export table checked, and the public-API tests run against it,
# loaded into the 32-bit Linux test programs), and a short run of every fuzz
# harness from its seed corpus. Installs what it needs with apt-get first.
#
# Environment: ORVDC_FUZZ_SECONDS (default 15) per fuzz harness;
# ORVDC_RUN_32BIT=auto|native|emulated forces how the 32-bit programs run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
orvdc_ensure_deps

jobs=$(nproc)
fuzz_seconds=${ORVDC_FUZZ_SECONDS:-15}
run_32bit=${ORVDC_RUN_32BIT:-auto}
summaries=()
status=0
started=$SECONDS

configure_and_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DORVDC_WERROR=ON "$@" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log"; echo "configuring $dir failed"; return 1; }
    cmake --build "$dir" -j "$jobs" || { echo "building $dir failed"; return 1; }
}

# How the build's tests start its programs, as the configure step decided.
run_mode() {
    sed -n 's/^ORVDC_TEST_RUN_MODE:INTERNAL=//p' "$1/CMakeCache.txt" 2>/dev/null || true
}

# stage NAME DIR [CTEST ARGS...] -- [CMAKE ARGS...]: configures, builds and
# tests one build; the summary line gives the result, how the programs ran,
# how many tests ran and the time taken (that count is also left in
# last_test_count). A stage with no tests fails.
stage() {
    local name=$1 dir=$2
    shift 2
    local ctest_args=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do ctest_args+=("$1"); shift; done
    shift
    local t0=$SECONDS rc=0 result
    last_test_count=0
    echo "=== $name ==="
    if configure_and_build "$dir" "$@"; then
        local log="$dir.ctest.log"
        ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$jobs" "${ctest_args[@]}" 2>&1 |
            tee "$log" || rc=$?
        result=$(grep -E 'tests passed|tests failed|No tests were found' "$log" | tail -n 1 || true)
        last_test_count=$(grep -oE 'tests failed out of [0-9]+' <<<"$result" | grep -oE '[0-9]+$' || echo 0)
        [ -n "$result" ] || { result="ctest did not finish"; rc=1; }
    else
        rc=1
        result="FAILED to configure or build (see above)"
    fi
    local mode
    mode=$(run_mode "$dir")
    summaries+=("$name [${mode:-no programs run}, $((SECONDS - t0)) s]: $result")
    [ $rc -eq 0 ] || status=1
}

mkdir -p build-ci

stage "64-bit Linux" build-ci/x64 -- -DORVDC_BUILD_BENCH=ON

# The DLL is built first: the 32-bit build links its public-API tests a second
# time against a host library that loads it, and runs them as the next stage.
stage "Windows DLL (mingw-w64)" build-ci/win32 -- -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
x86_args=(-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-m32.cmake -DORVDC_RUN_PROGRAMS="$run_32bit"
    -DORVDC_WINDOWS_DLL="$PWD/build-ci/win32/bin/orvdct7-5.1.dll")
stage "32-bit Linux" build-ci/x86 -LE dll -- "${x86_args[@]}"
stage "Windows DLL run by the 32-bit Linux test programs" build-ci/x86 -L dll -- "${x86_args[@]}"
summaries[-1]+=", $last_test_count tests against orvdct7-5.1.dll"

# A 32-bit configure with plain -m32 flags instead of the toolchain file must
# build as well; its tests ran in the stage above, so only the export table of
# its library is checked.
stage "32-bit Linux library, plain -m32 flags" build-ci/x86-plain -- -DORVDC_BUILD_TESTS=OFF \
    -DORVDC_BUILD_EXAMPLES=OFF -DCMAKE_C_FLAGS=-m32 -DCMAKE_CXX_FLAGS=-m32

ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    stage "Sanitizers (ASan + UBSan)" build-ci/sanitize -- -DORVDC_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
# ThreadSanitizer: the concurrency test (every family on many threads,
# shared read-only objects, simultaneous first calls) and the tools' tests
# (their worker pipelines); any report fails it.
CC=clang CXX=clang++ TSAN_OPTIONS="halt_on_error=1 abort_on_error=1" \
    stage "ThreadSanitizer (concurrency, tools)" build-ci/tsan -L concurrency -- -DORVDC_TSAN=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVDC_WERROR=OFF
CC=clang CXX=clang++ stage "Fuzz harnesses (${fuzz_seconds}s each)" build-ci/fuzz -L fuzz -- \
    -DORVDC_BUILD_FUZZ=ON -DORVDC_BUILD_TESTS=OFF -DORVDC_BUILD_EXAMPLES=OFF \
    -DORVDC_FUZZ_SECONDS="$fuzz_seconds" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVDC_WERROR=OFF

echo
echo "=== Summary ($((SECONDS - started)) s in all) ==="
printf '%s\n' "${summaries[@]}"
exit $status
