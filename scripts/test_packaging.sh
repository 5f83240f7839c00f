#!/usr/bin/env bash
# Installs a built tree into a temporary prefix, then builds and runs two
# consumers out of tree: a C++ one through find_package(orvdc 5.1) (using the
# companion orvdc_formats too) and a C one through pkg-config.  Also checks that asking for version 6.0 fails to
# configure.
#   test_packaging.sh <build dir> <source dir>
set -euo pipefail
build=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
# Move the installation to show that it is relocatable.
mv "$work/prefix" "$work/moved"
prefix="$work/moved"
libdir=$(dirname "$(find "$prefix" -name 'liborvdc.so.5' | head -n 1)")
export LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"

passed=0 failed=0
check() {
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else echo "FAILED: $what"; failed=$((failed + 1)); fi
}

cmake_consumer() {
    cmake -S "$src/tests/packaging/cmake_consumer" -B "$work/cmake" -G Ninja \
        -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake.log" 2>&1 &&
        cmake --build "$work/cmake" >>"$work/cmake.log" 2>&1 &&
        "$work/cmake/consumer" || { cat "$work/cmake.log"; return 1; }
}

pkgconfig_consumer() {
    local flags
    flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs orvdc) &&
        cc -std=c99 -Wall -Werror "$src/tests/packaging/pkgconfig_consumer/main.c" $flags -o "$work/pc_consumer" &&
        "$work/pc_consumer"
}

formats_pkgconfig_consumer() {
    local flags
    printf '#include <orvdc_formats.h>\n#include <string.h>\nint main(void) { return strcmp(orvfStatusText(orvfStsBadChecksum), "data error: checksum mismatch") != 0; }\n' \
        >"$work/formats.c"
    flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs orvdc_formats) &&
        cc -std=c99 -Wall -Werror "$work/formats.c" $flags -o "$work/formats_consumer" &&
        "$work/formats_consumer"
}

version_mismatch_refused() {
    ! cmake -S "$src/tests/packaging/cmake_consumer" -B "$work/cmake6" -G Ninja \
        -DCMAKE_PREFIX_PATH="$prefix" -DORVDC_WANTED_VERSION=6.0 >"$work/cmake6.log" 2>&1
}

installed_files_present() {
    local f
    for f in include/orvdc.h include/orvdc/lz77.h include/orvdc_formats.h share/doc/orvdc/LICENSE \
        share/doc/orvdc/README.md share/doc/orvdc/CHANGELOG.md share/doc/orvdc/deflate.md share/doc/orvdc/formats.md; do [ -f "$prefix/$f" ] || { echo "missing $f"; return 1; }; done
    [ -L "$libdir/liborvdc.so" ] && [ -L "$libdir/liborvdc.so.5" ] && [ -f "$libdir/liborvdc.so.5.1.1" ] &&
        [ -f "$libdir/liborvdc.a" ] && [ -f "$libdir/cmake/orvdc/orvdcConfigVersion.cmake" ] &&
        [ -L "$libdir/liborvdc_formats.so.5" ] && [ -f "$libdir/liborvdc_formats.a" ] &&
        [ -f "$libdir/pkgconfig/orvdc_formats.pc" ]
}

check "installed layout" installed_files_present
check "find_package consumer (C++)" cmake_consumer
check "pkg-config consumer (C)" pkgconfig_consumer
check "pkg-config consumer of orvdc_formats (C)" formats_pkgconfig_consumer
check "find_package(orvdc 6.0) refused" version_mismatch_refused
echo "packaging: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
