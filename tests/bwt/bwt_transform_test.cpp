// Forward and inverse transforms of both block sizes against the naive
// rotation sort on random, skewed, periodic and repetitive blocks; round
// trips on the corpus and on large repetitive and high-entropy blocks; in-place operation and
// every buffer alignment; libdivsufsort as a second oracle (64-bit builds).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <string>

#include "bwt/bwt_rotation.h"
#include "bwt_support.h"

#ifdef ORVDC_HAVE_DIVSUFSORT
#include <divsufsort.h>
#endif

namespace {

using orvdc::test::Bytes;
using namespace orvdc::test::bwt;

// Both forward transforms and both inverses on one block.  Equal rotations
// may stand in any order, so the index is checked by what its row holds.
void checkBlock(const Bytes& s, const std::string& what) {
    SCOPED_TRACE(what + " n=" + std::to_string(s.size()));
    const auto order = sortedRotations(s);
    const Transformed large = forward(s, false, s.size() % 7);
    ASSERT_EQ(large.status, orvStsOk);
    EXPECT_EQ(large.last, lastColumn(s, order));
    EXPECT_TRUE(rowIsBlock(s, order, large.index)) << "index " << large.index;
    EXPECT_EQ(inverse(large.last, large.index, false, s.size() % 5), s);
    const Transformed small = forward(s, true, s.size() % 3);
    EXPECT_EQ(small.last, large.last);
    EXPECT_EQ(small.index, large.index);
    EXPECT_EQ(inverse(small.last, small.index, true, s.size() % 2), s);
}

TEST(BwtTransform, MatchesRotationSort) {
    for (std::size_t n = 1; n <= 160; ++n) {
        checkBlock(orvdc::test::randomBytes(n, n), "random");
        checkBlock(orvdc::test::skewedBytes(n, 2, n + 1000), "binary");
        checkBlock(orvdc::test::skewedBytes(n, 4, n + 2000), "skewed");
    }
    for (std::size_t n : {700u, 1500u, 2500u}) checkBlock(orvdc::test::textLikeBytes(n, n), "text");
    // Periodic blocks have equal rotations; one byte more removes them but
    // keeps long shared prefixes.
    for (std::size_t period : {1u, 2u, 3u, 17u, 64u}) {
        for (std::size_t times : {1u, 2u, 8u, 30u}) {
            for (unsigned alphabet : {2u, 256u}) {
                checkBlock(repeated(period * times, period, period + times, alphabet), "periodic");
                checkBlock(repeated(period * times + 1, period, period * times, alphabet), "almost periodic");
            }
        }
    }
    for (std::size_t n : {2u, 7u, 987u, 1597u}) checkBlock(fibonacci(n), "fibonacci");
    for (std::size_t at = 0; at < 30; ++at) {
        Bytes s(30, 'x');
        s[at] = static_cast<std::uint8_t>(at % 2 ? 'a' : 'z');
        checkBlock(s, "run with one other byte at " + std::to_string(at));
    }
}

// Large blocks for the paths of the suffix sorter: repetitive ones (equal
// bytes, periodic, almost periodic, Fibonacci, Thue-Morse, random over two
// to four values) and high-entropy ones, whose LMS suffixes are sorted by a
// radix sort on four bytes unless repeats defeat it (random, random with a
// long repeat, random with a word planted many times).
std::vector<Bytes> largeBlocks() {
    std::vector<Bytes> blocks;
    blocks.push_back(Bytes(300000, 7));
    blocks.push_back(repeated(300000, 2, 1));
    blocks.push_back(repeated(299999, 17, 2));
    blocks.push_back(repeated(300000, 1000, 3));
    blocks.push_back(fibonacci(300000));
    Bytes thueMorse(262144);
    for (std::size_t i = 0; i < thueMorse.size(); ++i) {
        thueMorse[i] = static_cast<std::uint8_t>('a' + std::popcount(i) % 2);
    }
    blocks.push_back(thueMorse);
    for (unsigned alphabet : {2u, 3u, 4u}) blocks.push_back(repeated(200000, 200000, alphabet, alphabet));
    blocks.push_back(orvdc::test::randomBytes(300000, 4));
    Bytes repeat = orvdc::test::randomBytes(300000, 5);
    std::copy_n(repeat.begin() + 1000, 50000, repeat.begin() + 200000);
    blocks.push_back(repeat);
    Bytes planted = orvdc::test::randomBytes(300000, 6);
    for (std::size_t at = 0; at + 8 < planted.size(); at += 2000) {
        std::copy_n("\x05planted", 8, planted.begin() + static_cast<std::ptrdiff_t>(at));
    }
    blocks.push_back(planted);
    return blocks;
}

TEST(BwtTransform, RoundTripsCorpusAndLargeBlocks) {
    std::vector<Bytes> blocks = largeBlocks();
    for (const auto& path : orvdc::test::corpusFiles()) blocks.push_back(orvdc::test::readFile(path));
    for (const Bytes& s : blocks) {
        const Transformed t = forward(s, false);
        ASSERT_EQ(t.status, orvStsOk);
        ASSERT_EQ(inverse(t.last, t.index, false), s) << "n=" << s.size();
        // The small transforms agree with the large one on 32 KB pieces.
        const Bytes part(s.begin(), s.begin() + 32768);
        const Transformed big = forward(part, false), small = forward(part, true, 1);
        ASSERT_EQ(small.last, big.last);
        ASSERT_EQ(small.index, big.index);
        ASSERT_EQ(inverse(small.last, small.index, true, 1), part);
    }
    // 32768 equal bytes: every count reaches the block length.
    const Bytes same(32768, 0xEE);
    EXPECT_EQ(forward(same, true, 3).last, same);
    EXPECT_EQ(inverse(same, 32767, true), same);
}

// Above 2^24 bytes the inverse's links no longer carry their byte; a
// periodic block (sorted through its period, so quick) takes that path.
TEST(BwtTransform, RoundTripAbove16MiB) {
    const Bytes s = repeated((1u << 24) + 2, 3, 12, 256);
    const Transformed t = forward(s, false);
    ASSERT_EQ(t.status, orvStsOk);
    EXPECT_TRUE(inverse(t.last, t.index, false) == s);
}

TEST(BwtTransform, InPlaceAndAtEveryBufferAlignment) {
    const Bytes s = orvdc::test::textLikeBytes(5000, 9);
    const Transformed expected = forward(s, false);
    for (bool small : {false, true}) {
        Bytes buf = s;
        std::vector<std::uint8_t> work(6 * s.size() + 4128);
        std::int32_t index = -1;
        const auto n = static_cast<std::int32_t>(s.size());
        ASSERT_EQ((small ? orvsBWTFwd_SmallBlock_8u : orvsBWTFwd_8u)(buf.data(), buf.data(), n, &index, work.data()),
                  orvStsOk);
        EXPECT_EQ(buf, expected.last);
        EXPECT_EQ(index, expected.index);
        for (std::size_t offset = 1; offset < 64; ++offset) {
            const Transformed t = forward(s, small, offset);
            EXPECT_EQ(t.last, expected.last) << offset;
            EXPECT_EQ(t.index, expected.index) << offset;
            EXPECT_EQ(inverse(expected.last, expected.index, small, offset), s) << offset;
        }
    }
}

#ifdef ORVDC_HAVE_DIVSUFSORT

// Rotations of s are the first n bytes of the suffixes of ss that start
// below n, so libdivsufsort's suffix array of ss orders them.
TEST(BwtTransform, ForwardMatchesRotationOrderFromLibdivsufsort) {
    std::vector<Bytes> blocks;
    for (const auto& path : orvdc::test::corpusFiles()) blocks.push_back(orvdc::test::readFile(path));
    for (Bytes& b : largeBlocks()) blocks.push_back(std::move(b));
    blocks.push_back(repeated(100000, 17, 1));
    blocks.push_back(repeated(100003, 17, 1));
    blocks.push_back(fibonacci(100000));
    blocks.push_back(orvdc::test::skewedBytes(100000, 2, 2));
    blocks.push_back(orvdc::test::randomBytes(100000, 3));
    // Zigzag bytes: about every other position starts a distinct LMS
    // substring, the suffix sorter's largest reduced problem.
    orvdc::test::Rng rng(4);
    Bytes zigzag(100000);
    for (std::size_t i = 0; i < zigzag.size(); ++i) {
        zigzag[i] = static_cast<std::uint8_t>((i & 1) ? 200 + rng.below(50) : rng.below(50));
    }
    blocks.push_back(zigzag);
    for (const Bytes& s : blocks) {
        Bytes ss = s;
        ss.insert(ss.end(), s.begin(), s.end());
        std::vector<saidx_t> sa(ss.size());
        ASSERT_EQ(divsufsort(ss.data(), sa.data(), static_cast<saidx_t>(ss.size())), 0);
        std::vector<std::int32_t> order;
        for (saidx_t p : sa) {
            if (static_cast<std::size_t>(p) < s.size()) order.push_back(p);
        }
        const Transformed t = forward(s, false);
        ASSERT_EQ(t.last, lastColumn(s, order)) << "n=" << s.size();
        ASSERT_TRUE(rowIsBlock(s, order, t.index));
    }
}

// For a Lyndon word (its own least rotation, aperiodic) libdivsufsort's
// column of the word with a sentinel equals ours, with primary index 1.
TEST(BwtTransform, LyndonWordsAgreeWithLibdivsufsort) {
    for (const auto& path : orvdc::test::corpusFiles()) {
        const Bytes s = orvdc::test::readFile(path);
        const auto n = static_cast<std::int32_t>(s.size());
        const auto necklace = orvdc::bwt::leastRotation(s.data(), n);
        Bytes t(s.begin() + necklace.start, s.end());
        t.insert(t.end(), s.begin(), s.begin() + necklace.start);
        if (necklace.period != n) continue;
        const Transformed ours = forward(t, false);
        ASSERT_EQ(ours.index, 0);
        Bytes theirs(s.size()), back(s.size());
        ASSERT_EQ(divbwt(t.data(), theirs.data(), nullptr, n), 1);
        EXPECT_EQ(theirs, ours.last);
        ASSERT_EQ(inverse_bw_transform(ours.last.data(), back.data(), nullptr, n, 1), 0);
        EXPECT_EQ(back, t);
    }
}

#endif  // ORVDC_HAVE_DIVSUFSORT

}  // namespace
