// The LZSS coder with its source and destination ending right before an
// inaccessible page, at every room size near the end: a single byte accessed
// past a buffer faults.
#include <gtest/gtest.h>

#include "common/test_support.h"
#include "lzss/lzss_driver.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::GuardedMemory;

TEST(LzssGuardPage, EveryRoomAndTruncationAtThePageEnd) {
    const Bytes data = orvdc::test::textLikeBytes(2000, 4);
    lzss_test::StateMemory enc, dec;
    const Bytes stream = lzss_test::encode(enc.get(), data, {data.size()}, lzss_test::fixed(4096));
    GuardedMemory src(stream.size()), dst(4096);
    for (std::size_t len = stream.size() > 80 ? stream.size() - 80 : 1; len <= stream.size(); ++len) {
        for (std::size_t room : {1, 2, 3, 4, 5, 7, 64, 257, 258, 259, 4096}) {
            orvsDecodeLZSSInit_8u(dec.get());
            const std::uint8_t* s = src.place(stream.data(), len);
            auto sLen = static_cast<std::int32_t>(len);
            Bytes out;
            for (;;) {
                std::uint8_t* d = dst.end(room);
                auto dLen = static_cast<std::int32_t>(room);
                const orvStatus st = orvsDecodeLZSS_8u(&s, &sLen, &d, &dLen, dec.get());
                out.insert(out.end(), dst.end(room), d);
                if (st != orvStsDstFull) break;
            }
            ASSERT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << len << " " << room;
        }
    }
    // The encoder's source and destination at the page end too.
    for (std::size_t len = 1; len <= 300; ++len) {
        for (std::size_t room : {1, 2, 3, 64, 600}) {
            orvsEncodeLZSSInit_8u(enc.get());
            const std::uint8_t* s = src.place(data.data(), std::min(len, stream.size()));
            auto sLen = static_cast<std::int32_t>(std::min(len, stream.size()));
            orvStatus st;
            do {
                std::uint8_t* d = dst.end(room);
                auto dLen = static_cast<std::int32_t>(room);
                st = orvsEncodeLZSS_8u(&s, &sLen, &d, &dLen, enc.get());
            } while (st == orvStsDstFull);
            do {
                std::uint8_t* d = dst.end(room);
                auto dLen = static_cast<std::int32_t>(room);
                st = orvsEncodeLZSSFlush_8u(&d, &dLen, enc.get());
            } while (st == orvStsDstFull);
        }
    }
}

}  // namespace
