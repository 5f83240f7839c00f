// Encoder state life cycle, status word and pair-buffer accessors.
#include <gtest/gtest.h>

#include <cstring>

#include "lz77/encode_test_support.h"

namespace orvdc::test {
namespace {

TEST(EncoderState, SizeAndInit) {
    std::int32_t size = 0;
    EXPECT_EQ(orvsEncodeLZ77GetSize_8u(&size), orvStsOk);
    EXPECT_EQ(size, 599620);
    EXPECT_EQ(orvsEncodeLZ77GetSize_8u(nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsEncodeLZ77Init_8u(0, 0, nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsEncodeLZ77InitAlloc_8u(0, 0, nullptr), orvStsNullPtr);

    EncoderBlock block(2, LZ77ChecksumCRC32);
    LZ77Pair* pairs = nullptr;
    std::int32_t index = -1, length = -1;
    LZ77DeflateStatus status = -1;
    EXPECT_EQ(orvsEncodeLZ77GetPairs_8u(&pairs, &index, &length, block.get()), orvStsOk);
    EXPECT_NE(pairs, nullptr);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(length, 65536);
    // The pair buffer lies inside the state block.
    const auto* base = reinterpret_cast<const std::uint8_t*>(block.get());
    const auto* p = reinterpret_cast<const std::uint8_t*>(pairs);
    EXPECT_TRUE(p > base && p + 65536 * 4 <= base + 599620);
    EXPECT_EQ(orvsEncodeLZ77GetStatus_8u(&status, block.get()), orvStsOk);
    EXPECT_EQ(status, LZ77DeflateIdle);
    // The decoder-named accessors are the same functions.
    LZ77Pair* pairs2 = nullptr;
    std::int32_t i2 = -1, l2 = -1;
    EXPECT_EQ(orvsDecodeLZ77GetPairs_8u(&pairs2, &i2, &l2, reinterpret_cast<const LZ77DecoderState*>(block.get())),
              orvStsOk);
    EXPECT_EQ(pairs2, pairs);
    EXPECT_EQ(l2, 65536);
}

TEST(EncoderState, SetStatusMovesThePairBuffer) {
    EncoderBlock block(1, LZ77ChecksumAdler32);
    LZ77Pair* pairs = nullptr;
    std::int32_t index = 0, length = 0;
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateCollectPairs, block.get());
    orvsEncodeLZ77GetPairs_8u(&pairs, &index, &length, block.get());
    EXPECT_EQ(orvsEncodeLZ77SetPairs_8u(pairs, 1000, length, block.get()), orvStsOk);
    EXPECT_EQ(orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, block.get()), orvStsOk);
    orvsEncodeLZ77GetPairs_8u(&pairs, &index, &length, block.get());
    EXPECT_EQ(index, 0);
    EXPECT_EQ(length, 1000);
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateCollectPairs, block.get());
    orvsEncodeLZ77GetPairs_8u(&pairs, &index, &length, block.get());
    EXPECT_EQ(index, 0);
    EXPECT_EQ(length, 65536);
    LZ77DeflateStatus status = -1;
    orvsEncodeLZ77SetStatus_8u(77, block.get());
    orvsEncodeLZ77GetStatus_8u(&status, block.get());
    EXPECT_EQ(status, 77);
    EXPECT_EQ(orvsEncodeLZ77SetStatus_8u(1, nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsEncodeLZ77Reset_8u(nullptr), orvStsNullPtr);
    EXPECT_TRUE(eachNullRefused(orvsEncodeLZ77GetStatus_8u, &status, block.get()));
    EXPECT_EQ(status, 77);
}

TEST(EncoderState, InitAllocAndUnknownLevel) {
    LZ77EncoderState* st = nullptr;
    ASSERT_EQ(orvsEncodeLZ77InitAlloc_8u(7, LZ77ChecksumAdler32, &st), orvStsOk);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(st) % 32, 0u);
    EncoderBlock level1(1, LZ77ChecksumAdler32);
    const Bytes data = textLikeBytes(30000, 31);
    std::vector<LZ77Pair> a(30000), b(30000);
    for (auto [state, out] : {std::pair{st, &a}, std::pair{level1.get(), &b}}) {
        const std::uint8_t* src = data.data();
        std::int32_t n = 30000;
        LZ77Pair* d = out->data();
        std::int32_t room = 30000;
        ASSERT_EQ(orvsEncodeLZ77_8u(&src, &n, &d, &room, 0, state), orvStsOk);
        out->resize(static_cast<std::size_t>(d - out->data()));
    }
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) ASSERT_TRUE(a[i].length == b[i].length && a[i].offset == b[i].offset);
    orvsLZ77Free_8u(st);
}

TEST(EncoderState, ResetGivesAFreshStream) {
    const Bytes first = textLikeBytes(50000, 32);
    const Bytes second = textLikeBytes(40000, 33);
    const auto runOn = [&](LZ77EncoderState* st, const Bytes& data) {
        Bytes out;
        std::vector<LZ77Pair> pairs(70000);
        const std::uint8_t* src = data.data();
        auto n = static_cast<std::int32_t>(data.size());
        LZ77Pair* d = pairs.data();
        std::int32_t room = 70000;
        EXPECT_EQ(orvsEncodeLZ77_8u(&src, &n, &d, &room, LZ77FlushFinish, st), orvStsOk);
        orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, st);
        const LZ77Pair* ps = pairs.data();
        auto np = static_cast<std::int32_t>(d - pairs.data());
        Bytes buf(200000);
        std::uint8_t* o = buf.data();
        std::int32_t orm = 200000;
        EXPECT_EQ(orvsEncodeLZ77DynamicHuff_8u(&ps, &np, &o, &orm, LZ77FlushFinish, st), orvStsStreamEnd);
        orvsEncodeLZ77SetStatus_8u(LZ77DeflateTrailer, st);
        EXPECT_EQ(orvsEncodeLZ77Flush_8u(&o, &orm, st), orvStsOk);
        return Bytes(buf.data(), o);
    };
    EncoderBlock reused(2, LZ77ChecksumCRC32);
    runOn(reused.get(), first);
    orvsEncodeLZ77Reset_8u(reused.get());
    EncoderBlock fresh(2, LZ77ChecksumCRC32);
    EXPECT_EQ(runOn(reused.get(), second), runOn(fresh.get(), second));
}

// The match finder gives the same pairs whatever the state memory held
// before Init, at every level.
TEST(EncodeState, NothingReadFromStateMemoryBeforeItIsWritten) {
    std::int32_t size = 0;
    ASSERT_EQ(orvsEncodeLZ77GetSize_8u(&size), orvStsOk);
    const Bytes data = textLikeBytes(70000, 5);
    for (int level = 0; level <= 2; ++level) {
        std::vector<LZ77Pair> pairs[2];
        for (int k = 0; k < 2; ++k) {
            orvdc::test::FilledMemory mem(static_cast<std::size_t>(size), k == 0 ? 0x00 : 0xFF);
            auto* st = mem.as<LZ77EncoderState>();
            ASSERT_EQ(orvsEncodeLZ77Init_8u(level, LZ77ChecksumAdler32, st), orvStsOk);
            pairs[k].resize(data.size() + 1);
            const std::uint8_t* src = data.data();
            auto srcLen = static_cast<std::int32_t>(data.size());
            LZ77Pair* dst = pairs[k].data();
            auto room = static_cast<std::int32_t>(pairs[k].size());
            ASSERT_EQ(orvsEncodeLZ77_8u(&src, &srcLen, &dst, &room, LZ77FlushFinish, st), orvStsOk);
            pairs[k].resize(static_cast<std::size_t>(dst - pairs[k].data()));
        }
        ASSERT_EQ(pairs[0].size(), pairs[1].size()) << level;
        EXPECT_EQ(std::memcmp(pairs[0].data(), pairs[1].data(), pairs[0].size() * sizeof(LZ77Pair)), 0) << level;
    }
}

}  // namespace
}  // namespace orvdc::test
