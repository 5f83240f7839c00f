// The processor-feature cache: filled on the first query, never at load, with
// exactly the detected bits; the test hook only ever removes bits.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/cpu_features.h"

namespace {

namespace cpu = orvdc::cpu;

TEST(CpuFeatures, FilledOnFirstUseWithTheDetectedBits) {
    const std::uint32_t detected = cpu::detectFeatures();
    EXPECT_NE(detected & cpu::kKnown, 0u);
    cpu::gFeatures.store(0, std::memory_order_relaxed);
    (void)cpu::has(cpu::kPclmul);
    EXPECT_EQ(cpu::gFeatures.load(std::memory_order_relaxed), detected);
    EXPECT_EQ(cpu::features(), detected);
}

TEST(CpuFeatures, RacingFirstQueriesAllSeeTheDetectedBits) {
    const std::uint32_t detected = cpu::detectFeatures();
    for (int round = 0; round < 20; ++round) {
        cpu::gFeatures.store(0, std::memory_order_relaxed);
        std::vector<std::uint32_t> seen(4);
        std::vector<std::thread> threads;
        for (auto& v : seen) threads.emplace_back([&v] { v = cpu::features(); });
        for (auto& t : threads) t.join();
        for (std::uint32_t v : seen) ASSERT_EQ(v, detected);
        ASSERT_EQ(cpu::gFeatures.load(std::memory_order_relaxed), detected);
    }
}

TEST(CpuFeatures, RestrictingKeepsOnlyDetectedBitsAndRestores) {
    const std::uint32_t detected = cpu::detectFeatures();
    cpu::restrictFeaturesForTesting(0);
    EXPECT_EQ(cpu::features(), cpu::kKnown);
    EXPECT_FALSE(cpu::has(cpu::kSsse3));
    cpu::restrictFeaturesForTesting(cpu::kSsse3 | cpu::kAvx512);
    EXPECT_EQ(cpu::features(), detected & (cpu::kSsse3 | cpu::kAvx512 | cpu::kKnown));
    cpu::restrictFeaturesForTesting(~0u);
    EXPECT_EQ(cpu::features(), detected);
}

}  // namespace
