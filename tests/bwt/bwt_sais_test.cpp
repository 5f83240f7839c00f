// The suffix sorter inside the forward transform, with 32-bit and 16-bit
// suffix arrays and only the n/2 free elements a transform guarantees it,
// against a naive suffix sort (the transform tests check it on large blocks
// against libdivsufsort); and the least-rotation search.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "bwt/bwt_rotation.h"
#include "bwt/bwt_sais.h"
#include "bwt_support.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::bwt::fibonacci;
using orvdc::test::bwt::repeated;

template <class Sa>
std::vector<std::int32_t> librarySuffixArray(const Bytes& t) {
    const auto n = static_cast<int>(t.size());
    std::vector<Sa> sa(static_cast<std::size_t>(n + n / 2));
    std::vector<std::int32_t> buckets(512);
    orvdc::bwt::suffixSort<Sa, std::uint8_t, std::int32_t>(t.data(), sa.data(), n, 256, n / 2, buckets.data(),
                                                            buckets.data() + 256);
    return std::vector<std::int32_t>(sa.begin(), sa.begin() + n);
}

// Random, skewed, text-like, periodic and Fibonacci texts, and a zigzag text
// in which nearly every other position starts an LMS substring and most of
// them differ: the largest reduced problem, with the most names.
std::vector<Bytes> texts(std::size_t maxLen, std::uint64_t seed) {
    std::vector<Bytes> out;
    orvdc::test::Rng rng(seed);
    for (std::uint64_t round = 0; round < 30; ++round) {
        const std::size_t n = 1 + rng.below(static_cast<std::uint32_t>(maxLen));
        out.push_back(orvdc::test::randomBytes(n, seed + round));
        out.push_back(orvdc::test::skewedBytes(n, 2 + round % 3, seed * 3 + round));
        out.push_back(orvdc::test::textLikeBytes(n, seed * 5 + round));
        out.push_back(repeated(n, 1 + rng.below(20), seed * 7 + round, 3));
        out.push_back(fibonacci(n));
    }
    Bytes zigzag(maxLen);
    for (std::size_t i = 0; i < maxLen; ++i) {
        zigzag[i] = static_cast<std::uint8_t>((i & 1) ? 200 + rng.below(50) : rng.below(50));
    }
    out.push_back(zigzag);
    return out;
}

TEST(BwtSuffixSort, MatchesNaiveSort) {
    for (const Bytes& t : texts(600, 1)) {
        std::vector<std::int32_t> expected(t.size());
        std::iota(expected.begin(), expected.end(), 0);
        std::sort(expected.begin(), expected.end(), [&](std::int32_t a, std::int32_t b) {
            return std::lexicographical_compare(t.begin() + a, t.end(), t.begin() + b, t.end());
        });
        ASSERT_EQ(librarySuffixArray<std::int32_t>(t), expected) << "n=" << t.size();
        ASSERT_EQ(librarySuffixArray<std::int16_t>(t), expected) << "n=" << t.size();
    }
}

TEST(BwtRotation, FindsLeastRotationAndSmallestPeriod) {
    orvdc::test::Rng rng(3);
    for (std::uint64_t round = 0; round < 2000; ++round) {
        const std::size_t n = 1 + rng.below(40);
        const Bytes s = repeated(n, 1 + rng.below(static_cast<std::uint32_t>(n)), round, 1 + round % 3);
        const auto found = orvdc::bwt::leastRotation(s.data(), static_cast<std::int32_t>(n));
        const auto order = orvdc::test::bwt::sortedRotations(s);
        // Its rotation is the least one (row 0 of the sorted rotations).
        const auto least = static_cast<std::size_t>(order[0]), start = static_cast<std::size_t>(found.start);
        for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(s[(start + k) % n], s[(least + k) % n]);
        // The period is the smallest p dividing n with s equal to its
        // rotation by p.
        std::size_t p = 1;
        while (p < n && (n % p != 0 || !std::equal(s.begin() + static_cast<std::ptrdiff_t>(p), s.end(), s.begin()))) ++p;
        ASSERT_EQ(static_cast<std::size_t>(found.period), p) << "round " << round;
    }
}

}  // namespace
