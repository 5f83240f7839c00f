// The GIT decoder with the block and the destination ending right before an
// inaccessible page: valid blocks of every strategy with a destination of
// exactly their size, their truncations and damaged copies.  A single byte
// accessed past a buffer faults.
#include <gtest/gtest.h>

#include "common/test_support.h"
#include "git/git_helpers.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::GuardedMemory;

TEST(GitGuardPage, BlocksAndTruncationsAtThePageEnd) {
    const Bytes data = orvdc::test::skewedBytes(3000, 12, 8);
    const auto n = static_cast<std::int32_t>(data.size());
    GITState* st = nullptr;
    ASSERT_EQ(orvsDecodeGITInitAlloc_8u(n, n, &st), orvStsOk);
    GuardedMemory src(4 * data.size() + 4096), dst(data.size());
    for (int strategy : orvdc::test::git::kStrategies) {
        const Bytes block = orvdc::test::git::libraryEncode(data, strategy);
        ASSERT_FALSE(block.empty());
        std::int32_t len = -1;
        ASSERT_EQ(orvsDecodeGIT_8u(src.place(block), static_cast<std::int32_t>(block.size()), dst.end(data.size()), &len,
                                   strategy, st),
                  orvStsOk);
        ASSERT_EQ(len, n);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), dst.end(data.size())));
        orvdc::test::Rng rng(static_cast<std::uint64_t>(strategy) + 10);
        for (std::size_t cut = 1; cut < block.size() && cut <= 48; ++cut) {
            orvsDecodeGIT_8u(src.place(block.data(), block.size() - cut), static_cast<std::int32_t>(block.size() - cut),
                             dst.end(data.size()), &len, strategy, st);
            Bytes bad = block;
            bad[rng.below(static_cast<std::uint32_t>(bad.size()))] ^= static_cast<std::uint8_t>(1 + rng.below(255));
            orvsDecodeGIT_8u(src.place(bad), static_cast<std::int32_t>(bad.size()), dst.end(data.size()), &len, strategy,
                             st);
        }
    }
    orvsGITFree_8u(st);
}

}  // namespace
