// The library's 32-byte-aligned allocator: refused sizes, alignment, and the
// hidden word that leads back to the heap block.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/aligned_alloc.h"

namespace {

TEST(AlignedAlloc, RefusesSizesBelowOne) {
    EXPECT_EQ(orvdc::alignedAlloc(0), nullptr);
    EXPECT_EQ(orvdc::alignedAlloc(-1), nullptr);
    EXPECT_EQ(orvdc::alignedAlloc(INT32_MIN), nullptr);
}

TEST(AlignedAlloc, BlocksAre32ByteAlignedWritableAndReleasable) {
    std::vector<void*> blocks;
    for (int size = 1; size < 2000; size += 37) {
        auto* p = static_cast<unsigned char*>(orvdc::alignedAlloc(size));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 32, 0u);
        std::memset(p, 0xA5, static_cast<std::size_t>(size));
        blocks.push_back(p);
    }
    for (void* p : blocks) orvdc::alignedFree(p);
    orvdc::alignedFree(nullptr);
}

TEST(AlignedAlloc, HiddenWordLeadsBackToTheHeapBlock) {
    auto* p = static_cast<unsigned char*>(orvdc::alignedAlloc(100));
    ASSERT_NE(p, nullptr);
    std::uint32_t hidden;
    std::memcpy(&hidden, p - 4, 4);
    if constexpr (sizeof(void*) == 4) {
        // The word holds the heap address, 4..35 bytes below the block.
        const auto distance = reinterpret_cast<std::uintptr_t>(p) - hidden;
        EXPECT_GE(distance, 4u);
        EXPECT_LE(distance, 35u);
    } else {
        EXPECT_GE(hidden, 4u);
        EXPECT_LE(hidden, 35u);
    }
    orvdc::alignedFree(p);
}

}  // namespace
