// Forward and inverse transforms against the naive rotation sort, on random,
// skewed, periodic and repetitive blocks of many sizes, for both block sizes;
// round trips; in-place forward; every work-buffer alignment.
#include <gtest/gtest.h>

#include <string>

#include "bwt_support.h"

namespace {

using orvdc::test::Bytes;
using namespace orvdc::test::bwt;

// Checks both forward transforms and both inverses on one block against the
// reference.  Equal rotations may stand in any order, so the index is
// checked by what its row holds.
void checkBlock(const Bytes& s, const std::string& what) {
    SCOPED_TRACE(what + " n=" + std::to_string(s.size()));
    const auto order = sortedRotations(s);
    const Bytes expected = lastColumn(s, order);

    const Transformed large = forwardLarge(s, s.size() % 7);
    ASSERT_EQ(large.status, orvStsOk);
    EXPECT_EQ(large.last, expected);
    EXPECT_TRUE(rowIsBlock(s, order, large.index)) << "index " << large.index;
    EXPECT_EQ(inverseLarge(large.last, large.index, s.size() % 5), s);

    if (s.size() <= 32768) {
        const Transformed small = forwardSmall(s, s.size() % 3);
        ASSERT_EQ(small.status, orvStsOk);
        EXPECT_EQ(small.last, expected);
        EXPECT_EQ(small.index, large.index);
        EXPECT_EQ(inverseSmall(small.last, small.index, s.size() % 2), s);
    }
}

TEST(BwtReference, WorkedExamples) {
    const Bytes banana{'b', 'a', 'n', 'a', 'n', 'a'};
    const Transformed t = forwardLarge(banana);
    EXPECT_EQ(t.last, (Bytes{'n', 'n', 'b', 'a', 'a', 'a'}));
    EXPECT_EQ(t.index, 3);
    EXPECT_EQ(inverseLarge(t.last, 3), banana);
    EXPECT_EQ(forwardSmall(banana).last, t.last);

    const Transformed one = forwardLarge(Bytes{0x5A});
    EXPECT_EQ(one.last, Bytes{0x5A});
    EXPECT_EQ(one.index, 0);
}

TEST(BwtReference, RandomAndSkewedBlocksOfEverySmallSize) {
    for (std::size_t n = 1; n <= 200; ++n) {
        checkBlock(orvdc::test::randomBytes(n, n), "random");
        checkBlock(orvdc::test::skewedBytes(n, 2, n + 1000), "binary");
        checkBlock(orvdc::test::skewedBytes(n, 4, n + 2000), "skewed");
    }
}

TEST(BwtReference, LargerMixedBlocks) {
    orvdc::test::Rng rng(77);
    for (int round = 0; round < 30; ++round) {
        const std::size_t n = 200 + rng.below(3000);
        checkBlock(orvdc::test::randomBytes(n, 500 + round), "random");
        checkBlock(orvdc::test::skewedBytes(n, 3, 600 + round), "skewed");
        checkBlock(orvdc::test::textLikeBytes(n, 700 + round), "text");
    }
}

// Periodic blocks have equal rotations; blocks that repeat a word without
// dividing evenly have none but share long prefixes.
TEST(BwtReference, PeriodicAndRepetitiveBlocks) {
    for (std::size_t period : {1u, 2u, 3u, 5u, 17u, 64u}) {
        for (std::size_t times : {1u, 2u, 3u, 8u, 40u}) {
            for (unsigned alphabet : {2u, 256u}) {
                const std::size_t n = period * times;
                checkBlock(repeated(n, period, period * 31 + times, alphabet), "periodic");
                checkBlock(repeated(n + 1, period, period * 37 + times, alphabet), "almost periodic");
            }
        }
    }
    for (std::size_t n : {1u, 2u, 7u, 100u, 987u, 1597u, 2000u}) checkBlock(fibonacci(n), "fibonacci");
    // One odd byte in a run, at every place.
    for (std::size_t at = 0; at < 40; ++at) {
        Bytes s(40, 'x');
        s[at] = 'a';
        checkBlock(s, "run with a hole at " + std::to_string(at));
        s[at] = 'z';
        checkBlock(s, "run with a bump at " + std::to_string(at));
    }
}

TEST(BwtRoundTrip, CorpusAndLargeRepetitiveBlocks) {
    std::vector<Bytes> blocks;
    for (const auto& path : orvdc::test::corpusFiles()) blocks.push_back(orvdc::test::readFile(path));
    blocks.push_back(Bytes(300000, 7));
    blocks.push_back(repeated(300000, 2, 1));
    blocks.push_back(repeated(299999, 17, 2));
    blocks.push_back(repeated(300000, 1000, 3));
    blocks.push_back(fibonacci(300000));
    blocks.push_back(orvdc::test::randomBytes(300000, 4));
    for (const Bytes& s : blocks) {
        const Transformed t = forwardLarge(s);
        ASSERT_EQ(t.status, orvStsOk);
        ASSERT_EQ(inverseLarge(t.last, t.index), s) << "n=" << s.size();
        // The small transforms agree with the large one on every 32 KB piece.
        const std::size_t piece = 32768;
        for (std::size_t at = 0; at + piece <= s.size() && at < 4 * piece; at += piece) {
            const Bytes part(s.begin() + static_cast<std::ptrdiff_t>(at),
                             s.begin() + static_cast<std::ptrdiff_t>(at + piece));
            const Transformed big = forwardLarge(part);
            const Transformed small = forwardSmall(part, 1);
            ASSERT_EQ(small.last, big.last);
            ASSERT_EQ(small.index, big.index);
            ASSERT_EQ(inverseSmall(small.last, small.index, 1), part);
        }
    }
}

TEST(BwtRoundTrip, LargestSmallBlockOfOneByte) {
    const Bytes s(32768, 0xEE);
    const Transformed t = forwardSmall(s, 3);
    ASSERT_EQ(t.status, orvStsOk);
    EXPECT_EQ(t.last, s);
    EXPECT_EQ(inverseSmall(t.last, 32767), s);
    EXPECT_EQ(inverseSmall(t.last, 0), s);
    EXPECT_EQ(inverseLarge(t.last, 12345), s);
}

TEST(BwtForward, RunsInPlace) {
    for (std::size_t n : {1u, 2u, 50u, 4096u, 32768u}) {
        const Bytes s = orvdc::test::textLikeBytes(n, n);
        const Transformed expected = forwardLarge(s);
        std::int32_t size = 0;
        Bytes buf = s;
        orvsBWTFwdGetSize_8u(static_cast<std::int32_t>(n), &size);
        std::vector<std::uint8_t> work(static_cast<std::size_t>(size));
        std::int32_t index = -1;
        ASSERT_EQ(orvsBWTFwd_8u(buf.data(), buf.data(), static_cast<std::int32_t>(n), &index, work.data()),
                  orvStsOk);
        EXPECT_EQ(buf, expected.last);
        EXPECT_EQ(index, expected.index);

        buf = s;
        orvsBWTGetSize_SmallBlock_8u(static_cast<std::int32_t>(n), &size);
        work.assign(static_cast<std::size_t>(size), 0);
        ASSERT_EQ(orvsBWTFwd_SmallBlock_8u(buf.data(), buf.data(), static_cast<std::int32_t>(n), &index,
                                           work.data()),
                  orvStsOk);
        EXPECT_EQ(buf, expected.last);
        EXPECT_EQ(index, expected.index);
    }
}

// The work buffers may start at any address; the results do not change.
TEST(BwtForward, EveryBufferAlignment) {
    const Bytes s = orvdc::test::textLikeBytes(5000, 9);
    const Transformed expected = forwardLarge(s);
    for (std::size_t offset = 0; offset < 64; ++offset) {
        SCOPED_TRACE(offset);
        const Transformed large = forwardLarge(s, offset);
        EXPECT_EQ(large.last, expected.last);
        EXPECT_EQ(large.index, expected.index);
        const Transformed small = forwardSmall(s, offset);
        EXPECT_EQ(small.last, expected.last);
        EXPECT_EQ(small.index, expected.index);
        EXPECT_EQ(inverseLarge(expected.last, expected.index, offset), s);
        EXPECT_EQ(inverseSmall(expected.last, expected.index, offset), s);
    }
}

// The inverse follows the stated link walk for any column and index; the
// walk is checked against a direct rendering of it.
TEST(BwtInverse, AnyColumnAndIndexFollowsTheLinks) {
    orvdc::test::Rng rng(5);
    for (int round = 0; round < 200; ++round) {
        const std::size_t n = 2 + rng.below(600);
        const Bytes l = (round % 2) ? orvdc::test::randomBytes(n, static_cast<std::uint64_t>(round))
                                    : orvdc::test::skewedBytes(n, 3, static_cast<std::uint64_t>(round));
        const auto index = static_cast<std::int32_t>(rng.below(static_cast<std::uint32_t>(n)));
        std::vector<std::uint32_t> starts(257, 0), link(n);
        for (std::uint8_t c : l) ++starts[c + 1u];
        for (int c = 0; c < 256; ++c) starts[static_cast<std::size_t>(c) + 1] += starts[static_cast<std::size_t>(c)];
        for (std::size_t i = 0; i < n; ++i) link[starts[l[i]]++] = static_cast<std::uint32_t>(i);
        Bytes expected(n);
        std::uint32_t p = static_cast<std::uint32_t>(index);
        for (std::size_t k = 0; k < n; ++k) {
            p = link[p];
            expected[k] = l[p];
        }
        EXPECT_EQ(inverseLarge(l, index), expected);
        EXPECT_EQ(inverseSmall(l, index), expected);
    }
}

}  // namespace
