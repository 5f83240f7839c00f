// The suffix sorter inside the forward transform, with 32-bit and 16-bit
// suffix arrays and in exactly the free space the transform gives it,
// against a naive suffix sort and (64-bit builds) against libdivsufsort; and
// the forward transform of whole blocks against a rotation order built from
// libdivsufsort's suffix array of the doubled block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>

#include "bwt/bwt_rotation.h"
#include "bwt/bwt_sais.h"
#include "bwt_support.h"

#ifdef ORVDC_HAVE_DIVSUFSORT
#include <divsufsort.h>
#endif

namespace {

using orvdc::test::Bytes;
using namespace orvdc::test::bwt;

std::vector<std::int32_t> naiveSuffixArray(const Bytes& t) {
    std::vector<std::int32_t> sa(t.size());
    std::iota(sa.begin(), sa.end(), 0);
    std::sort(sa.begin(), sa.end(), [&](std::int32_t a, std::int32_t b) {
        return std::lexicographical_compare(t.begin() + a, t.end(), t.begin() + b, t.end());
    });
    return sa;
}

// The library's sorter with n/2 free elements after the suffix array (the
// least a transform gives it) and level-0 buckets of their own.
template <class Sa>
std::vector<std::int32_t> librarySuffixArray(const Bytes& t) {
    const auto n = static_cast<int>(t.size());
    const int fs = n / 2;
    std::vector<Sa> sa(static_cast<std::size_t>(n + fs));
    std::vector<std::int32_t> buckets(512);
    orvdc::bwt::suffixSort<Sa, std::uint8_t, std::int32_t>(t.data(), sa.data(), n, 256, fs, buckets.data(),
                                                            buckets.data() + 256);
    return std::vector<std::int32_t>(sa.begin(), sa.begin() + n);
}

std::vector<Bytes> textsUpTo(std::size_t maxLen, std::uint64_t seed) {
    std::vector<Bytes> out;
    orvdc::test::Rng rng(seed);
    for (int round = 0; round < 40; ++round) {
        const std::size_t n = 1 + rng.below(static_cast<std::uint32_t>(maxLen));
        out.push_back(orvdc::test::randomBytes(n, seed + static_cast<std::uint64_t>(round)));
        out.push_back(orvdc::test::skewedBytes(n, 2 + round % 3, seed * 3 + static_cast<std::uint64_t>(round)));
        out.push_back(orvdc::test::textLikeBytes(n, seed * 5 + static_cast<std::uint64_t>(round)));
        out.push_back(repeated(n, 1 + rng.below(20), seed * 7 + static_cast<std::uint64_t>(round), 3));
        out.push_back(fibonacci(n));
    }
    // Zigzag text: nearly every other position is LMS and the reduced
    // string has many distinct names (the largest recursion the sorter sees).
    Bytes zig(maxLen);
    for (std::size_t i = 0; i < zig.size(); ++i) {
        zig[i] = static_cast<std::uint8_t>((i & 1) ? 200 + rng.below(50) : rng.below(50));
    }
    out.push_back(zig);
    return out;
}

TEST(BwtSuffixSort, MatchesNaiveSort) {
    for (const Bytes& t : textsUpTo(700, 1)) {
        const auto expected = naiveSuffixArray(t);
        ASSERT_EQ(librarySuffixArray<std::int32_t>(t), expected) << "n=" << t.size();
        ASSERT_EQ(librarySuffixArray<std::int16_t>(t), expected) << "n=" << t.size();
    }
}

TEST(BwtSuffixSort, SixteenBitArrayAtItsLargestSize) {
    for (const Bytes& t : {Bytes(32768, 'k'), repeated(32768, 3, 4, 2), fibonacci(32768),
                           orvdc::test::textLikeBytes(32768, 8), orvdc::test::skewedBytes(32768, 2, 9)}) {
        EXPECT_EQ(librarySuffixArray<std::int16_t>(t), librarySuffixArray<std::int32_t>(t));
    }
}

TEST(BwtRotation, LeastRotationAndPeriod) {
    orvdc::test::Rng rng(3);
    for (int round = 0; round < 300; ++round) {
        const std::size_t n = 1 + rng.below(60);
        const std::size_t period = 1 + rng.below(static_cast<std::uint32_t>(n));
        const Bytes s = repeated(n, period, static_cast<std::uint64_t>(round), 1 + round % 4);
        const auto order = sortedRotations(s);
        const auto r = orvdc::bwt::leastRotation(s.data(), static_cast<std::int32_t>(n));
        Bytes least(n), t(n);
        for (std::size_t k = 0; k < n; ++k) {
            least[k] = s[(static_cast<std::size_t>(order[0]) + k) % n];
            t[k] = s[(static_cast<std::size_t>(r) + k) % n];
        }
        ASSERT_EQ(t, least);
        // The smallest p dividing n with t periodic by p.
        std::size_t smallest = n;
        for (std::size_t p = 1; p < n; ++p) {
            if (n % p != 0) continue;
            bool periodic = true;
            for (std::size_t k = p; k < n && periodic; ++k) periodic = t[k] == t[k - p];
            if (periodic) {
                smallest = p;
                break;
            }
        }
        ASSERT_EQ(static_cast<std::size_t>(orvdc::bwt::necklacePeriod(t.data(), static_cast<std::int32_t>(n))),
                  smallest);
    }
}

#ifdef ORVDC_HAVE_DIVSUFSORT

TEST(BwtSuffixSort, MatchesLibdivsufsort) {
    std::vector<Bytes> texts = textsUpTo(60000, 11);
    for (const auto& path : orvdc::test::corpusFiles()) texts.push_back(orvdc::test::readFile(path));
    texts.push_back(Bytes(200000, 0));
    texts.push_back(repeated(200000, 1000, 5));
    for (const Bytes& t : texts) {
        const auto n = static_cast<saidx_t>(t.size());
        std::vector<saidx_t> expected(t.size());
        ASSERT_EQ(divsufsort(t.data(), expected.data(), n), 0);
        ASSERT_EQ(librarySuffixArray<std::int32_t>(t), std::vector<std::int32_t>(expected.begin(), expected.end()))
            << "n=" << t.size();
        if (t.size() <= 32768) {
            ASSERT_EQ(librarySuffixArray<std::int16_t>(t),
                      std::vector<std::int32_t>(expected.begin(), expected.end()));
        }
    }
}

// Rotations of s are the first n bytes of the suffixes of ss that start
// below n, so libdivsufsort's suffix array of ss orders them.
TEST(BwtOracle, ForwardMatchesRotationOrderFromLibdivsufsort) {
    std::vector<Bytes> blocks;
    for (const auto& path : orvdc::test::corpusFiles()) blocks.push_back(orvdc::test::readFile(path));
    blocks.push_back(repeated(100000, 17, 1));
    blocks.push_back(repeated(100003, 17, 1));
    blocks.push_back(fibonacci(100000));
    blocks.push_back(orvdc::test::skewedBytes(100000, 2, 2));
    for (const Bytes& s : blocks) {
        const std::size_t n = s.size();
        Bytes ss = s;
        ss.insert(ss.end(), s.begin(), s.end());
        std::vector<saidx_t> sa(ss.size());
        ASSERT_EQ(divsufsort(ss.data(), sa.data(), static_cast<saidx_t>(ss.size())), 0);
        std::vector<std::int32_t> order;
        for (saidx_t p : sa) {
            if (static_cast<std::size_t>(p) < n) order.push_back(p);
        }
        const Transformed t = forwardLarge(s);
        ASSERT_EQ(t.last, lastColumn(s, order)) << "n=" << n;
        ASSERT_TRUE(rowIsBlock(s, order, t.index));
        if (n <= 32768) {
            ASSERT_EQ(forwardSmall(s).last, t.last);
        }
    }
}

// libdivsufsort's inverse takes the column of the block with a sentinel;
// for a Lyndon word (its own least rotation, aperiodic) that column is ours
// with the sentinel row's byte moved to the front.
TEST(BwtOracle, InverseAgreesWithLibdivsufsortOnLyndonWords) {
    for (const auto& path : orvdc::test::corpusFiles()) {
        const Bytes s = orvdc::test::readFile(path);
        const auto n = static_cast<std::int32_t>(s.size());
        const std::int32_t r = orvdc::bwt::leastRotation(s.data(), n);
        Bytes t(s.begin() + r, s.end());
        t.insert(t.end(), s.begin(), s.begin() + r);
        if (orvdc::bwt::necklacePeriod(t.data(), n) != n) continue;
        const Transformed ours = forwardLarge(t);
        ASSERT_EQ(ours.index, 0);  // a Lyndon word is its least rotation
        Bytes theirs(s.size());
        const saidx_t primary = divbwt(t.data(), theirs.data(), nullptr, n);
        ASSERT_EQ(primary, 1);
        // Row 0 of ours is t itself (last byte t[n-1]); the sentinel rows of
        // theirs put that byte first.
        EXPECT_EQ(theirs, ours.last);
        Bytes back(s.size());
        ASSERT_EQ(inverse_bw_transform(ours.last.data(), back.data(), nullptr, n, 1), 0);
        EXPECT_EQ(back, t);
    }
}

#endif  // ORVDC_HAVE_DIVSUFSORT

}  // namespace
