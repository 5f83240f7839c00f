// The move-to-front kernels, the byte run-length coder and the inverse block
// sorts with sources and destinations that end right before an inaccessible
// page, at every length near the page end: a single byte accessed past a
// buffer faults.
#include <gtest/gtest.h>

#include <algorithm>

#include "bwt/mtf_internal.h"
#include "common/test_support.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::GuardedMemory;

Bytes identity() {
    Bytes s(256);
    for (int i = 0; i < 256; ++i) s[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    return s;
}

TEST(BwtGuardPage, MoveToFrontKernelsAtEveryLength) {
    const Bytes data = orvdc::test::skewedBytes(700, 40, 3);
    GuardedMemory src(data.size()), dst(data.size());
    for (std::size_t len = 1; len <= data.size(); ++len) {
        const Bytes want = [&] {
            Bytes out(len), ranks = identity();
            orvsMTFFwd_8u(data.data(), out.data(), static_cast<std::int32_t>(len),
                          reinterpret_cast<MTFState*>(ranks.data()));
            return out;
        }();
        Bytes ranks = identity(), list = identity();
        orvdc::mtf::forwardRanks(src.place(data.data(), len), dst.end(len), len, ranks.data());
        ASSERT_TRUE(std::equal(want.begin(), want.end(), dst.end(len))) << len;
        orvdc::mtf::forwardList(src.place(data.data(), len), dst.end(len), len, list.data());
        ASSERT_TRUE(std::equal(want.begin(), want.end(), dst.end(len))) << len;
        Bytes state = identity();
        ASSERT_EQ(orvsMTFInv_8u(src.place(want), dst.end(len), static_cast<std::int32_t>(len),
                                reinterpret_cast<MTFState*>(state.data())),
                  orvStsOk);
        ASSERT_TRUE(std::equal(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(len), dst.end(len))) << len;
    }
}

TEST(BwtGuardPage, RunLengthCoderAtEveryLengthAndRoom) {
    Bytes data;
    orvdc::test::Rng rng(9);
    while (data.size() < 400) data.insert(data.end(), 1 + rng.below(rng.below(4) ? 3 : 300), static_cast<std::uint8_t>(rng.below(4)));
    data.resize(400);
    GuardedMemory src(1024), dst(1024);
    for (std::size_t len = 1; len <= data.size(); ++len) {
        for (std::size_t room = 1; room <= 2 * len + 2; room += room < 40 ? 1 : 97) {
            const std::uint8_t* s = src.place(data.data(), len);
            auto srcLen = static_cast<std::int32_t>(len);
            auto dstLen = static_cast<std::int32_t>(room);
            orvsEncodeRLE_8u(&s, &srcLen, dst.end(room), &dstLen);
            s = src.place(dst.end(room), static_cast<std::size_t>(dstLen));
            srcLen = dstLen;
            dstLen = static_cast<std::int32_t>(room);
            orvsDecodeRLE_8u(&s, &srcLen, dst.end(room), &dstLen);
        }
        // Arbitrary bytes as coded input, decoded into every room.
        const Bytes junk = orvdc::test::skewedBytes(len, 3, len);
        for (std::size_t room = 1; room <= 300; room += room < 40 ? 1 : 37) {
            const std::uint8_t* s = src.place(junk);
            auto srcLen = static_cast<std::int32_t>(len);
            auto dstLen = static_cast<std::int32_t>(room);
            orvsDecodeRLE_8u(&s, &srcLen, dst.end(room), &dstLen);
        }
    }
}

TEST(BwtGuardPage, InverseSortsWithExactBuffers) {
    for (std::size_t len : {1, 2, 3, 15, 16, 17, 255, 256, 1000}) {
        const Bytes data = orvdc::test::textLikeBytes(len, len);
        const auto n = static_cast<std::int32_t>(len);
        std::int32_t size = 0, index = 0;
        orvsBWTFwdGetSize_8u(n, &size);
        Bytes work(static_cast<std::size_t>(size)), last(len);
        ASSERT_EQ(orvsBWTFwd_8u(data.data(), last.data(), n, &index, work.data()), orvStsOk);
        GuardedMemory src(len), dst(len), buf(4 * len + 1024);
        orvsBWTInvGetSize_8u(n, &size);
        ASSERT_EQ(orvsBWTInv_8u(src.place(last), dst.end(len), n, index, buf.end(static_cast<std::size_t>(size))),
                  orvStsOk);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), dst.end(len))) << len;
        ASSERT_EQ(orvsBWTInv_SmallBlock_8u(src.place(last), dst.end(len), n, index, buf.end(2 * len + 512)), orvStsOk);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), dst.end(len))) << len;
    }
}

}  // namespace
