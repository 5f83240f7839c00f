// The deflate decoder with the stream and the destination ending right
// before an inaccessible page: every block kind, both paths, the whole stream
// and its truncations, destinations of exactly the output size.  A single
// byte read or written past a buffer faults.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/test_support.h"
#include "lz77/encode_test_support.h"
#include "orvdc.h"

namespace {

using orvdc::test::BlockKind;
using orvdc::test::Bytes;
using orvdc::test::GuardedMemory;

// Decodes the stream placed as the last bytes before the page into the last
// `total` bytes before the other page; returns the final status.  Once those
// are full, calls get one byte of room at the end of `spare`, which they must
// leave alone (a decoder needs room to see the end of a block).
orvStatus decodeAtPageEnd(GuardedMemory& src, GuardedMemory& dst, const Bytes& stream, std::size_t total,
                          bool pairs, Bytes& out) {
    static GuardedMemory spare(1);
    LZ77DecoderState* st = nullptr;
    if (orvsDecodeLZ77InitAlloc_8u(LZ77ChecksumNone, &st) != orvStsOk) return orvStsError;
    const std::uint8_t* s = src.place(stream);
    auto sLen = static_cast<std::int32_t>(stream.size());
    std::uint8_t* const start = dst.end(total);
    std::uint8_t* const limit = start + total;
    std::uint8_t* d = start;
    std::vector<LZ77Pair> pairBuf(4096);
    orvStatus status = orvStsOk;
    int calls = 0;
    while (status >= 0 && status != orvStsStreamEnd && ++calls < 100000) {
        LZ77HuffMode mode = LZ77HuffFixed;
        status = orvsDecodeLZ77GetBlockType_8u(&s, &sLen, &mode, st);
        if (status != orvStsOk) break;
        do {
            std::uint8_t* w = d == limit ? spare.end(1) : d;
            std::uint8_t* const before = w;
            auto room = static_cast<std::int32_t>(d == limit ? 1 : limit - d);
            if (mode == LZ77HuffStored) {
                status = orvsDecodeLZ77StoredBlock_8u(&s, &sLen, &w, &room, st);
            } else if (!pairs) {
                status = mode == LZ77HuffFixed ? orvsDecodeLZ77FixedHuffFull_8u(&s, &sLen, &w, &room, LZ77FlushNone, st)
                                               : orvsDecodeLZ77DynamicHuffFull_8u(&s, &sLen, &w, &room, LZ77FlushNone, st);
            } else {
                LZ77Pair* pp = pairBuf.data();
                std::int32_t pl = static_cast<std::int32_t>(pairBuf.size());
                status = mode == LZ77HuffFixed ? orvsDecodeLZ77FixedHuff_8u(&s, &sLen, &pp, &pl, LZ77FlushNone, st)
                                               : orvsDecodeLZ77DynamicHuff_8u(&s, &sLen, &pp, &pl, LZ77FlushNone, st);
                const LZ77Pair* ep = pairBuf.data();
                auto el = static_cast<std::int32_t>(pp - pairBuf.data());
                while (el > 0 && w != spare.end(1) && ++calls < 100000) {
                    if (orvsDecodeLZ77_8u(&ep, &el, &w, &room, LZ77FlushNone, st) != orvStsDstFull) break;
                }
            }
            if (before == spare.end(1)) {
                EXPECT_EQ(w, before) << "output beyond the stream's bytes";
            } else {
                d = w;
            }
        } while (status == orvStsDstFull && ++calls < 100000);
        if (status == orvStsOk && mode == LZ77HuffStored && sLen == 0) break;
    }
    out.assign(start, d);
    orvsLZ77Free_8u(st);
    return status;
}

TEST(Lz77DecodeGuardPage, StreamsAndTruncationsAtThePageEnd) {
    const Bytes data = orvdc::test::textLikeBytes(3000, 17);
    GuardedMemory src(8192), dst(data.size());
    for (BlockKind kind : {BlockKind::Fixed, BlockKind::Dynamic, BlockKind::StoredMix}) {
        orvdc::test::StreamPlan plan;
        plan.checksumKind = LZ77ChecksumNone;
        plan.kind = kind;
        plan.piece = 700;
        const Bytes stream = orvdc::test::encodeStream(data, plan);
        for (bool pairs : {false, true}) {
            Bytes out;
            EXPECT_EQ(decodeAtPageEnd(src, dst, stream, data.size(), pairs, out), orvStsStreamEnd);
            EXPECT_EQ(out, data);
            for (std::size_t cut = 1; cut <= 64 && cut < stream.size(); ++cut) {
                const Bytes head(stream.begin(), stream.end() - static_cast<std::ptrdiff_t>(cut));
                decodeAtPageEnd(src, dst, head, data.size(), pairs, out);
                EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << cut;
            }
        }
    }
}

// Runs of a short pattern (long matches at distances of 1 to 7) in a
// longer stream, decoded into destinations that end, right before the
// page, at every offset across the run: the call that fills the
// destination is still in the fast loops there, and a copy that wrote or
// read past the match would fault.  Both paths.
TEST(Lz77DecodeGuardPage, RepeatsCutByThePageEnd) {
    GuardedMemory src(8192), dst(4096);
    for (std::size_t period = 1; period <= 7; ++period) {
        Bytes data = orvdc::test::textLikeBytes(300, period);
        for (std::size_t i = 0; i < 3 * 258 + period; ++i) data.push_back(static_cast<std::uint8_t>('a' + i % period));
        const Bytes after = orvdc::test::textLikeBytes(600, period + 10);
        data.insert(data.end(), after.begin(), after.end());
        orvdc::test::StreamPlan plan;
        plan.checksumKind = LZ77ChecksumNone;
        plan.kind = BlockKind::Dynamic;
        const Bytes stream = orvdc::test::encodeStream(data, plan);
        for (std::size_t room = 300; room < 300 + 3 * 258 + 16; ++room) {
            for (bool pairs : {false, true}) {
                LZ77DecoderState* st = nullptr;
                ASSERT_EQ(orvsDecodeLZ77InitAlloc_8u(LZ77ChecksumNone, &st), orvStsOk);
                const std::uint8_t* s = src.place(stream);
                auto sLen = static_cast<std::int32_t>(stream.size());
                std::uint8_t* const start = dst.end(room);
                std::uint8_t* d = start;
                auto dLen = static_cast<std::int32_t>(room);
                LZ77HuffMode mode = LZ77HuffFixed;
                ASSERT_EQ(orvsDecodeLZ77GetBlockType_8u(&s, &sLen, &mode, st), orvStsOk);
                ASSERT_EQ(mode, LZ77HuffDynamic);
                if (pairs) {
                    std::vector<LZ77Pair> buf(4096);
                    LZ77Pair* pp = buf.data();
                    auto pl = static_cast<std::int32_t>(buf.size());
                    orvsDecodeLZ77DynamicHuff_8u(&s, &sLen, &pp, &pl, LZ77FlushNone, st);
                    const LZ77Pair* ep = buf.data();
                    auto el = static_cast<std::int32_t>(pp - buf.data());
                    EXPECT_EQ(orvsDecodeLZ77_8u(&ep, &el, &d, &dLen, LZ77FlushNone, st), orvStsDstFull);
                } else {
                    EXPECT_EQ(orvsDecodeLZ77DynamicHuffFull_8u(&s, &sLen, &d, &dLen, LZ77FlushNone, st),
                              orvStsDstFull);
                }
                EXPECT_EQ(d, start + room);
                EXPECT_TRUE(std::equal(start, d, data.begin())) << period << " " << room;
                orvsLZ77Free_8u(st);
            }
        }
    }
}

TEST(Lz77DecodeGuardPage, ArbitraryBytesAtThePageEnd) {
    GuardedMemory src(4096), dst(4096);
    for (std::uint64_t seed = 1; seed <= 300; ++seed) {
        Bytes junk = orvdc::test::randomBytes(1 + seed % 200, seed);
        junk[0] = static_cast<std::uint8_t>((junk[0] & ~6u) | (seed % 3 == 0 ? 2u : 4u));  // fixed or dynamic
        Bytes out;
        decodeAtPageEnd(src, dst, junk, 1 + seed * 13 % 4096, seed % 2 == 0, out);
    }
}

}  // namespace
