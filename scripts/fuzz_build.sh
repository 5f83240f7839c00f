# Sourced by the fuzzing scripts: configures (when missing) and builds the
# clang fuzz build in $build, and fills `harnesses` with the names given, or
# with every harness of that build.
orvdc_fuzz_build() {
    if [ ! -f "$build/CMakeCache.txt" ]; then
        CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DORVDC_BUILD_FUZZ=ON -DORVDC_BUILD_TESTS=OFF \
            -DORVDC_BUILD_EXAMPLES=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    cmake --build "$build" -j "$(nproc)" >/dev/null
    harnesses=("$@")
    if [ ${#harnesses[@]} -eq 0 ]; then
        for exe in "$build"/fuzz/fuzz_*; do harnesses+=("$(basename "$exe" | sed 's/^fuzz_//')"); done
    fi
}
