// The test helpers that enforce the buffer rules: a read or a write one byte
// past guarded memory faults, and a canary room reports a byte changed after
// the reported output (and nothing when the bytes after it are left alone).
#include <gtest/gtest.h>

#include "common/test_support.h"

namespace {

using orvdc::test::CanaryRoom;
using orvdc::test::GuardedMemory;

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
TEST(GuardedMemoryDeathTest, OneBytePastTheEndFaults) {
    GuardedMemory mem(100);
    volatile std::uint8_t* p = mem.end(100);
    p[99] = 1;
    EXPECT_EQ(p[99], 1);
    EXPECT_DEATH(p[100] = 1, "");
    EXPECT_DEATH((void)p[100], "");
}
#endif

TEST(CanaryRoom, ReportsChangesAfterTheOutputOnly) {
    CanaryRoom room;
    std::uint8_t* p = room.prepare(100);
    for (int i = 0; i < 10; ++i) p[i] = 0;
    EXPECT_TRUE(room.untouchedFrom(10));
    p = room.prepare(50);
    for (int i = 0; i < 11; ++i) p[i] = static_cast<std::uint8_t>(p[i] + 1);
    EXPECT_FALSE(room.untouchedFrom(10));
    p = room.prepare(50);
    p[60] = static_cast<std::uint8_t>(p[60] + 1);  // in the tail behind the room
    EXPECT_FALSE(room.untouchedFrom(50));
    p = room.prepare(8);
    EXPECT_TRUE(room.untouchedFrom(std::size_t{0}));
    EXPECT_FALSE(room.untouchedFrom(9));  // more than the room
}

}  // namespace
