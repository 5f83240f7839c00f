#include "core/cpu_features.h"

#include <cpuid.h>

namespace orvdc::cpu {

constinit std::atomic<std::uint32_t> gFeatures{0};

namespace {

// Extended control register 0: which register states the OS saves.
std::uint32_t xcr0() {
    std::uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return lo;
}

constexpr std::uint32_t bit(std::uint32_t word, int n) { return (word >> n) & 1u; }

}  // namespace

std::uint32_t detectFeatures() {
    std::uint32_t f = kKnown;
    unsigned a, b, c, d;
    if (!__get_cpuid(0, &a, &b, &c, &d)) return f;
    const unsigned maxLeaf = a;
    __cpuid(1, a, b, c, d);
    const unsigned c1 = c;
    if (bit(c1, 9)) f |= kSsse3;
    if (bit(c1, 19)) f |= kSse41;
    if (bit(c1, 1) && bit(c1, 9) && bit(c1, 19)) f |= kPclmul;

    // AVX needs OSXSAVE and the OS saving XMM and YMM (XCR0 bits 1, 2);
    // AVX-512 also opmask, upper ZMM and high ZMM state (bits 5, 6, 7).
    const bool osxsave = bit(c1, 27) && bit(c1, 28);
    const std::uint32_t xcr = osxsave ? xcr0() : 0;
    const bool ymmState = (xcr & 0x6u) == 0x6u;
    const bool zmmState = (xcr & 0xE6u) == 0xE6u;
    if (maxLeaf < 7) return f;
    __cpuid_count(7, 0, a, b, c, d);
    if (bit(b, 8)) f |= kBmi2;
    if (ymmState && bit(b, 5)) f |= kAvx2;
    if ((f & kAvx2) && bit(c, 10)) f |= kVpclmul;
    if ((f & kAvx2) && zmmState && bit(b, 16) && bit(b, 30) && bit(b, 31)) f |= kAvx512;
    if ((f & kAvx512) && bit(c, 11)) f |= kAvx512Vnni;
    return f;
}

void restrictFeaturesForTesting(std::uint32_t mask) {
    gFeatures.store(detectFeatures() & (mask | kKnown), std::memory_order_relaxed);
}

}  // namespace orvdc::cpu
