// The bzip2-format decoders (run-length stage, zero-run coding, dictionary
// expansion) with sources and destinations ending right before an
// inaccessible page, at every length and room near the end: a single byte
// accessed past a buffer faults.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/test_support.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::GuardedMemory;

TEST(Bzip2GuardPage, DecodersAtEveryLengthAndRoom) {
    GuardedMemory src(2048), dst(2048);
    for (std::size_t len = 1; len <= 160; ++len) {
        const Bytes junk = orvdc::test::skewedBytes(len, 6, len);
        Bytes symbols16(2 * len);
        for (std::size_t i = 0; i < len; ++i) symbols16[2 * i] = junk[i] < 3 ? junk[i] : static_cast<std::uint8_t>(junk[i] * 40);
        for (std::size_t room : {1, 2, 3, 4, 5, 6, 7, 8, 9, 31, 255, 256, 257, 1000, 2048}) {
            const std::uint8_t* s = src.place(junk);
            auto sLen = static_cast<std::int32_t>(len);
            auto dLen = static_cast<std::int32_t>(room);
            orvsDecodeRLE_BZ2_8u(&s, &sLen, dst.end(room), &dLen);

            const auto* s16 = reinterpret_cast<const std::uint16_t*>(src.place(symbols16));
            sLen = static_cast<std::int32_t>(len);
            dLen = static_cast<std::int32_t>(room);
            orvsDecodeZ1Z2_BZ2_16u8u(&s16, &sLen, dst.end(room), &dLen);
        }
        std::uint8_t inUse[256] = {};
        for (int v = 0; v < 256; v += 3) inUse[v] = 1;
        std::uint8_t* p = dst.end(len);
        std::copy(junk.begin(), junk.end(), p);
        ASSERT_EQ(orvsExpandDictionary_8u_I(inUse, p, static_cast<std::int32_t>(len), 86), orvStsOk);
        std::int32_t size = 0;
        ASSERT_EQ(orvsReduceDictionary_8u_I(inUse, p, static_cast<std::int32_t>(len), &size), orvStsOk);
        ASSERT_TRUE(std::equal(junk.begin(), junk.end(), p));
    }
}

}  // namespace
