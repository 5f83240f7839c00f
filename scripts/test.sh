#!/usr/bin/env bash
# Runs the whole test suite: the 64-bit build (with the comparison libraries as
# oracles, the export check and the packaging test), the 32-bit build, the
# AddressSanitizer + UndefinedBehaviorSanitizer build, the Windows DLL (built
# and its export table checked), and a short run of every fuzz harness.
# Installs what it needs with apt-get first.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
orvdc_ensure_deps

jobs=$(nproc)
fuzz_seconds=${ORVDC_FUZZ_SECONDS:-15}
summaries=()

configure_and_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DORVDC_WERROR=ON "$@" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log"; return 1; }
    cmake --build "$dir" -j "$jobs"
}

run_ctest() {
    local name=$1 dir=$2
    shift 2
    local log="$dir.ctest.log"
    local rc=0
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" 2>&1 | tee "$log" || rc=$?
    summaries+=("$name: $(grep -E 'tests passed|tests failed' "$log" | tail -n 1)")
    return $rc
}

mkdir -p build-ci
status=0

echo "=== 64-bit Linux build ==="
configure_and_build build-ci/x64 -DORVDC_BUILD_BENCH=ON
run_ctest "64-bit" build-ci/x64 || status=1

echo "=== 32-bit Linux build ==="
configure_and_build build-ci/x86 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-m32.cmake
run_ctest "32-bit" build-ci/x86 || status=1

echo "=== Sanitizer build (ASan + UBSan) ==="
configure_and_build build-ci/sanitize -DORVDC_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest "sanitizers" build-ci/sanitize || status=1

echo "=== Windows DLL (mingw-w64) ==="
configure_and_build build-ci/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
run_ctest "windows-dll" build-ci/win32 || status=1

echo "=== Fuzz harnesses (${fuzz_seconds}s each) ==="
CC=clang CXX=clang++ configure_and_build build-ci/fuzz -DORVDC_BUILD_FUZZ=ON -DORVDC_BUILD_TESTS=OFF \
    -DORVDC_BUILD_EXAMPLES=OFF -DORVDC_FUZZ_SECONDS="$fuzz_seconds" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVDC_WERROR=OFF
run_ctest "fuzz" build-ci/fuzz -L fuzz || status=1

echo
echo "=== Summary ==="
printf '%s\n' "${summaries[@]}"
exit $status
