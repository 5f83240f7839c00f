// The processor features that select the faster kernels.  They are detected
// on first use and kept in one process-wide word, the library's only writable
// global: a cache of a fact about the hardware, never anything that changes a
// result.  Racing first calls all store the same value, so plain relaxed
// atomic loads and stores suffice and no lock is taken.
#pragma once

#include <atomic>
#include <cstdint>

namespace orvdc {

namespace cpu {

// Feature bits.  Each wide-vector bit also means the operating system saves
// the registers it needs.
enum : std::uint32_t {
    kSsse3 = 1u << 0,
    kSse41 = 1u << 1,
    kPclmul = 1u << 2,       // PCLMULQDQ (with SSE4.1 and SSSE3)
    kAvx2 = 1u << 3,         // AVX2, YMM state enabled
    kBmi2 = 1u << 4,
    kAvx512 = 1u << 5,       // AVX-512 F, BW and VL, ZMM state enabled
    kVpclmul = 1u << 6,      // VPCLMULQDQ (with AVX2)
    kAvx512Vnni = 1u << 7,   // AVX-512 VNNI (with kAvx512)
    kKnown = 1u << 31,       // the word has been filled
};

// The cache; zero until the first query.  Constant-initialised, so loading
// the library runs nothing; lock-free on every target, so 32-bit builds need
// no atomic support library.
extern constinit std::atomic<std::uint32_t> gFeatures;
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

// Runs CPUID and XGETBV; returns the bits above with kKnown set.
std::uint32_t detectFeatures();

inline std::uint32_t features() {
    std::uint32_t f = gFeatures.load(std::memory_order_relaxed);
    if (f == 0) {
        f = detectFeatures();
        gFeatures.store(f, std::memory_order_relaxed);
    }
    return f;
}

inline bool has(std::uint32_t bits) { return (features() & bits) == bits; }

// For tests only: keeps just the detected features that are also in `mask`,
// so each kernel can be forced in turn; a mask of ~0u restores them all.
void restrictFeaturesForTesting(std::uint32_t mask);

}  // namespace cpu

}  // namespace orvdc
