// Argument checks of the BWT entry points: their order, the statuses, the
// GetSize values, and that a refused call writes nothing.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "bwt_support.h"

namespace {

using orvdc::test::Bytes;
using Fwd = orvStatus (*)(const std::uint8_t*, std::uint8_t*, std::int32_t, std::int32_t*, std::uint8_t*);
using Inv = orvStatus (*)(const std::uint8_t*, std::uint8_t*, std::int32_t, std::int32_t, std::uint8_t*);

TEST(BwtArgs, GetSizeValuesAndRanges) {
    std::int32_t size = -1;
    EXPECT_EQ(orvsBWTFwdGetSize_8u(0, nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsBWTFwdGetSize_8u(0, &size), orvStsBadSize);
    EXPECT_EQ(orvsBWTFwdGetSize_8u(357913254, &size), orvStsBadSize);  // 6n + 4128 > INT32_MAX
    EXPECT_EQ(size, -1);
    EXPECT_EQ(orvsBWTFwdGetSize_8u(1, &size), orvStsOk);
    EXPECT_EQ(size, 6 + 4128);
    EXPECT_EQ(orvsBWTFwdGetSize_8u(357913253, &size), orvStsOk);
    EXPECT_EQ(size, INT32_MAX - 1);

    EXPECT_EQ(orvsBWTInvGetSize_8u(5, nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsBWTInvGetSize_8u(0, &size), orvStsOk);
    EXPECT_EQ(size, 1024);
    EXPECT_EQ(orvsBWTInvGetSize_8u(-1, &size), orvStsOk);
    EXPECT_EQ(size, 1020);

    size = -1;
    EXPECT_EQ(orvsBWTGetSize_SmallBlock_8u(0, nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsBWTGetSize_SmallBlock_8u(0, &size), orvStsBadSize);
    EXPECT_EQ(orvsBWTGetSize_SmallBlock_8u(32769, &size), orvStsBadSize);
    EXPECT_EQ(size, -1);
    EXPECT_EQ(orvsBWTGetSize_SmallBlock_8u(32768, &size), orvStsOk);
    EXPECT_EQ(size, 4 * 32768 + 2080);
}

TEST(BwtArgs, ForwardChecksPointersThenLength) {
    Bytes src(32769, 'q'), dst(32769, 0xCC), work(6 * 32769 + 4128);
    std::int32_t index = -7;
    for (Fwd fwd : {Fwd{orvsBWTFwd_8u}, Fwd{orvsBWTFwd_SmallBlock_8u}}) {
        EXPECT_TRUE(orvdc::test::eachNullRefused(fwd, src.data(), dst.data(), 0, &index, work.data()));
        EXPECT_EQ(fwd(src.data(), dst.data(), -1, &index, work.data()), orvStsBadSize);
    }
    EXPECT_EQ(orvsBWTFwd_SmallBlock_8u(src.data(), dst.data(), 32769, &index, work.data()), orvStsBadSize);
    EXPECT_EQ(orvsBWTFwd_8u(src.data(), dst.data(), 357913254, &index, work.data()), orvStsBadSize);
    EXPECT_EQ(index, -7);
    EXPECT_EQ(dst, Bytes(32769, 0xCC));
    EXPECT_EQ(orvsBWTFwd_8u(src.data(), dst.data(), 32769, &index, work.data()), orvStsOk);
    EXPECT_EQ(dst, src);
    EXPECT_EQ(index, 0);
}

TEST(BwtArgs, InverseOfOneByteOrLessIsACopy) {
    for (Inv inv : {Inv{orvsBWTInv_8u}, Inv{orvsBWTInv_SmallBlock_8u}}) {
        std::uint8_t src = 'z', dst = 0;
        EXPECT_EQ(inv(&src, &dst, 1, -5, nullptr), orvStsOk);  // index and buffer ignored
        EXPECT_EQ(dst, 'z');
        dst = 0;
        EXPECT_EQ(inv(nullptr, &dst, 0, 0, nullptr), orvStsNullPtr);
        EXPECT_EQ(inv(&src, nullptr, 1, 0, nullptr), orvStsNullPtr);
        EXPECT_EQ(inv(&src, &dst, 0, 0, nullptr), orvStsBadSize);
        EXPECT_EQ(inv(&src, &dst, -4, 0, nullptr), orvStsBadSize);
        EXPECT_EQ(dst, 0);
    }
}

TEST(BwtArgs, InverseChecksPointersThenIndexAndLength) {
    Bytes src{'n', 'n', 'b', 'a', 'a', 'a'}, dst(32769, 0xCC), work(4 * 32769 + 2080);
    for (Inv inv : {Inv{orvsBWTInv_8u}, Inv{orvsBWTInv_SmallBlock_8u}}) {
        EXPECT_TRUE(orvdc::test::eachNullRefused(inv, src.data(), dst.data(), 6, 99, work.data()));
        EXPECT_EQ(inv(src.data(), dst.data(), 6, 6, work.data()), orvStsBadSize);
        EXPECT_EQ(inv(src.data(), dst.data(), 6, -1, work.data()), orvStsBadSize);
        EXPECT_EQ(inv(src.data(), dst.data(), 6, INT32_MIN, work.data()), orvStsBadSize);
        EXPECT_EQ(inv(src.data(), dst.data(), INT32_MAX, 0, work.data()), orvStsBadSize);
        EXPECT_EQ(dst, Bytes(32769, 0xCC));
    }
    const Bytes big(32769, 'a');
    EXPECT_EQ(orvsBWTInv_SmallBlock_8u(big.data(), dst.data(), 32769, 0, work.data()), orvStsBadSize);
    EXPECT_EQ(dst, Bytes(32769, 0xCC));
    EXPECT_EQ(orvsBWTInv_SmallBlock_8u(big.data(), dst.data(), 32768, 32767, work.data()), orvStsOk);
    EXPECT_EQ(Bytes(dst.begin(), dst.end() - 1), Bytes(32768, 'a'));
}

}  // namespace
