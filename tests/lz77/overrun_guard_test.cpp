// The guard that lets the decoder's free loop copy matches past their end:
// driven the way that loop drives it, with junk written past every short
// match, the bytes past the final position must come back as they were.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "lz77/overrun_guard.h"

namespace {

using orvdc::lz77::decoder::OverrunGuard;

// One run of the loop from `start`: literal runs (exact), matches of up to
// kOverrun bytes saved and written as kOverrun bytes of which those past the
// match are junk, longer matches and copies at a distance under 8 written
// exactly with no save.  Stops after `ops` items or when the room runs low,
// puts back, and returns the final position.
std::size_t runLoop(std::vector<std::uint8_t>& dst, const std::vector<std::uint8_t>& truth, std::size_t start,
                    int ops, bool shortMatches, std::mt19937& rng) {
    constexpr auto kOverrun = static_cast<std::size_t>(OverrunGuard::kOverrun);
    std::uint8_t buffer[OverrunGuard::kBufferBytes];
    std::uint8_t* const base = dst.data();
    OverrunGuard guard(base + start);
    std::size_t p = start;
    for (int i = 0; i < ops && p + 2 * kOverrun + 258 <= dst.size(); ++i) {
        const unsigned kind = rng() % 8;
        std::size_t n;
        if (kind < 2) {
            n = 1 + rng() % 8;  // literals
        } else if (kind < 7) {
            n = shortMatches ? 3 + rng() % 14 : 3 + rng() % 256;
            if (n <= kOverrun) {
                guard.save(base + p, buffer);
                for (std::size_t k = n; k < kOverrun; ++k) dst[p + k] = static_cast<std::uint8_t>(0xA5 ^ k);
            }
        } else {
            n = 3 + rng() % 40;  // an exact copy (a match at a distance under 8)
        }
        for (std::size_t k = 0; k < n; ++k) dst[p + k] = truth[p + k];
        p += n;
    }
    guard.restore(base + p, buffer);
    return p;
}

TEST(OverrunGuard, BytesPastTheFinalPositionAreTheCallersAgain) {
    std::mt19937 rng(15);
    for (int run = 0; run < 2000; ++run) {
        const std::size_t size = 12000;
        std::vector<std::uint8_t> original(size), truth(size);
        for (auto& b : original) b = static_cast<std::uint8_t>(rng());
        for (auto& b : truth) b = static_cast<std::uint8_t>(rng());
        std::vector<std::uint8_t> dst = original;
        const std::size_t start = rng() % 64;
        // Some runs stop soon, some after the buffer has started again (every
        // 4096 bytes of output), some with only short matches, whose junk
        // reaches furthest past the position.
        const int ops = run % 3 == 0 ? static_cast<int>(rng() % 40) : static_cast<int>(rng() % 2400);
        const std::size_t end = runLoop(dst, truth, start, ops, run % 2 == 0, rng);
        for (std::size_t k = start; k < end; ++k) ASSERT_EQ(dst[k], truth[k]) << "run " << run << " at " << k;
        for (std::size_t k = end; k < size; ++k) ASSERT_EQ(dst[k], original[k]) << "run " << run << " at " << k;
        for (std::size_t k = 0; k < start; ++k) ASSERT_EQ(dst[k], original[k]);
    }
}

}  // namespace
