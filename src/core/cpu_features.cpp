#include "core/cpu_features.h"

#include <cpuid.h>

namespace orvdc {

namespace {

bool leaf1(unsigned* ecx) {
    unsigned a, b, d;
    return __get_cpuid(1, &a, &b, ecx, &d) != 0;
}

}  // namespace

bool cpuHasPclmul() {
    unsigned c;
    return leaf1(&c) && (c & (1u << 1)) && (c & (1u << 19));
}

bool cpuHasSsse3() {
    unsigned c;
    return leaf1(&c) && (c & (1u << 9));
}

bool cpuHasAvx2() {
    unsigned c;
    if (!leaf1(&c)) return false;
    const bool osxsave = c & (1u << 27), avx = c & (1u << 28);
    if (!osxsave || !avx) return false;
    unsigned lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if ((lo & 6u) != 6u) return false;  // XMM and YMM state enabled by the OS
    unsigned a, b, d;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (b & (1u << 5)) != 0;
}

}  // namespace orvdc
