// Each CRC-32 kernel on its own (the public entry picks one by length and
// processor), so a fault in a path that the dispatch rarely takes is caught.
#include <gtest/gtest.h>

#include "checksum/crc32_impl.h"
#include "common/test_support.h"
#include "core/cpu_features.h"

namespace {

std::uint32_t bitwise(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        r ^= p[i];
        for (int b = 0; b < 8; ++b) r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1u)));
    }
    return r;
}

TEST(Crc32Paths, SlicingMatchesBitwiseAtEveryLengthAndAlignment) {
    const auto data = orvdc::test::randomBytes(600, 21);
    for (std::size_t align = 0; align < 8; ++align) {
        orvdc::test::OffsetBuffer buf(data, align);
        for (std::size_t len = 0; len <= 520; ++len) {
            const std::uint32_t start = static_cast<std::uint32_t>(len * 2654435761u);
            ASSERT_EQ(orvdc::crc32Slice8(start, buf.data(), len), bitwise(start, buf.data(), len))
                << "align " << align << " len " << len;
        }
    }
}

TEST(Crc32Paths, FoldingMatchesBitwiseAtEveryLengthAndAlignment) {
    if (!orvdc::cpuHasPclmul()) GTEST_SKIP() << "no carry-less multiplication on this processor";
    const auto data = orvdc::test::randomBytes(1200, 22);
    for (std::size_t align = 0; align < 16; ++align) {
        orvdc::test::OffsetBuffer buf(data, align);
        for (std::size_t len = 0; len <= 1100; len += (len < 300 ? 1 : 37)) {
            const std::uint32_t start = ~static_cast<std::uint32_t>(len * 40503u);
            ASSERT_EQ(orvdc::crc32Clmul(start, buf.data(), len), bitwise(start, buf.data(), len))
                << "align " << align << " len " << len;
        }
    }
}

TEST(Crc32Paths, FoldingHandlesLongInputsOfExtremeBytes) {
    if (!orvdc::cpuHasPclmul()) GTEST_SKIP() << "no carry-less multiplication on this processor";
    for (std::uint8_t fill : {0x00, 0xFF, 0x80}) {
        const orvdc::test::Bytes data(100003, fill);
        EXPECT_EQ(orvdc::crc32Clmul(0xFFFFFFFFu, data.data(), data.size()),
                  orvdc::crc32Slice8(0xFFFFFFFFu, data.data(), data.size()));
    }
}

}  // namespace
