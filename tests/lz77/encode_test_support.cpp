// The stream driver and the zlib oracle of the deflate encoder tests.
#include "lz77/encode_test_support.h"

#include <gtest/gtest.h>

namespace orvdc::test {

namespace {

using PairWriter = orvStatus(ORVDC_CALL*)(const LZ77Pair**, int32_t*, uint8_t**, int32_t*, LZ77FlushMode,
                                           LZ77EncoderState*);

struct Driver {
    const StreamPlan& plan;
    LZ77EncoderState* st;
    Bytes out;
    CanaryRoom dst;

    // Calls the writer until its pairs are used and it stops asking for room.
    orvStatus writePairs(PairWriter writer, const LZ77Pair* pairs, std::int32_t n, LZ77FlushMode flush) {
        for (int guard = 0; guard < 10000000; ++guard) {
            std::uint8_t* d = dst.prepare(static_cast<std::size_t>(plan.dstRoom));
            std::int32_t room = plan.dstRoom;
            const orvStatus s = writer(&pairs, &n, &d, &room, flush, st);
            EXPECT_EQ(room, plan.dstRoom - (d - dst.data()));
            EXPECT_TRUE(dst.untouchedFrom(d));
            out.insert(out.end(), dst.data(), d);
            if (s != orvStsDstFull) {
                EXPECT_EQ(n, 0);
                return s;
            }
        }
        ADD_FAILURE() << "writer does not finish";
        return orvStsError;
    }

    void writeStored(const std::uint8_t* src, std::int32_t n, LZ77FlushMode flush) {
        for (int guard = 0; guard < 10000000; ++guard) {
            std::uint8_t* d = dst.prepare(static_cast<std::size_t>(plan.dstRoom));
            std::int32_t room = plan.dstRoom;
            const orvStatus s = orvsEncodeLZ77StoredBlock_8u(&src, &n, &d, &room, flush, st);
            EXPECT_EQ(room, plan.dstRoom - (d - dst.data()));
            EXPECT_TRUE(dst.untouchedPastClearedByte(d));
            out.insert(out.end(), dst.data(), d);
            if (s == orvStsOk) return;
            if (s != orvStsDstFull) {
                ADD_FAILURE() << "stored block status " << s;
                return;
            }
        }
        ADD_FAILURE() << "stored writer does not finish";
    }
};

}  // namespace

Bytes encodeStream(const Bytes& in, const StreamPlan& plan) {
    EncoderBlock block(plan.level, plan.checksumKind);
    Driver drv{plan, block.get(), {}, {}};
    LZ77EncoderState* st = drv.st;
    Rng rng(plan.seed);

    if (in.empty()) {
        // A stream needs a final block; without pairs only a stored one can be it.
        static const std::uint8_t none = 0;
        drv.writeStored(&none, 0, LZ77FlushFinish);
        static const LZ77Pair noPair{};
        EXPECT_EQ(drv.writePairs(orvsEncodeLZ77FixedHuff_8u, &noPair, 0, LZ77FlushFinish), orvStsStreamEnd);
    }
    std::size_t pos = 0;
    int pieceNo = 0;
    while (pos < in.size()) {
        const std::size_t len = std::min(plan.piece, in.size() - pos);
        const bool last = pos + len == in.size();
        LZ77FlushMode flush = LZ77FlushNone;
        ++pieceNo;
        if (last) {
            flush = LZ77FlushFinish;
        } else if (plan.flushEvery != 0 && pieceNo % plan.flushEvery == 0) {
            flush = rng.below(2) ? LZ77FlushSync : LZ77FlushFull;
        }
        const bool stored = plan.kind == BlockKind::StoredMix && rng.below(3) == 0;
        const std::uint8_t* src = in.data() + pos;
        auto srcLen = static_cast<std::int32_t>(len);
        do {
            LZ77Pair* pairs = nullptr;
            std::int32_t index = -1, length = -1;
            orvsEncodeLZ77SetStatus_8u(LZ77DeflateCollectPairs, st);
            orvsEncodeLZ77GetPairs_8u(&pairs, &index, &length, st);
            EXPECT_EQ(index, 0);
            EXPECT_EQ(length, 65536);
            LZ77Pair* dp = pairs + index;
            std::int32_t room = std::min(plan.pairRoom, length - index);
            const std::uint8_t* before = src;
            const orvStatus found = orvsEncodeLZ77_8u(&src, &srcLen, &dp, &room, flush, st);
            EXPECT_EQ(found, srcLen == 0 ? orvStsOk : orvStsDstFull);
            const auto count = static_cast<std::int32_t>(dp - pairs);
            orvsEncodeLZ77SetPairs_8u(pairs, count, length, st);
            orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, st);
            orvsEncodeLZ77GetPairs_8u(&pairs, &index, &length, st);
            EXPECT_EQ(index, 0);
            EXPECT_EQ(length, count);
            const bool ends = flush == LZ77FlushFinish && srcLen == 0;

            if (stored) {
                const std::uint8_t* s = before;
                auto left = static_cast<std::int32_t>(src - before);
                while (left > 0) {
                    const std::int32_t chunk = std::min(left, 65535);
                    left -= chunk;
                    drv.writeStored(s, chunk, ends && left == 0 ? LZ77FlushFinish : LZ77FlushNone);
                    s += chunk;
                }
                if (ends) {
                    EXPECT_EQ(drv.writePairs(orvsEncodeLZ77FixedHuff_8u, pairs, 0, LZ77FlushFinish), orvStsStreamEnd);
                }
                continue;
            }
            PairWriter writer = orvsEncodeLZ77FixedHuff_8u;
            if (plan.kind == BlockKind::Dynamic) {
                writer = orvsEncodeLZ77DynamicHuff_8u;
            } else if (plan.kind != BlockKind::Fixed) {
                LZ77HuffMode mode = -1;
                EXPECT_EQ(orvsEncodeLZ77SelectHuffMode_8u(pairs, length, &mode, st), orvStsOk);
                EXPECT_TRUE(mode == LZ77HuffFixed || mode == LZ77HuffDynamic);
                if (mode == LZ77HuffDynamic) writer = orvsEncodeLZ77DynamicHuff_8u;
            }
            EXPECT_EQ(drv.writePairs(writer, pairs, length, flush), ends ? orvStsStreamEnd : orvStsOk);
        } while (srcLen > 0 && !::testing::Test::HasFatalFailure());
        pos += len;
    }

    orvsEncodeLZ77SetStatus_8u(LZ77DeflateTrailer, st);
    for (int guard = 0;; ++guard) {
        std::uint8_t* d = drv.dst.prepare(static_cast<std::size_t>(plan.dstRoom));
        std::int32_t room = plan.dstRoom;
        const orvStatus s = orvsEncodeLZ77Flush_8u(&d, &room, st);
        EXPECT_TRUE(drv.dst.untouchedPastClearedByte(d));
        drv.out.insert(drv.out.end(), drv.dst.data(), d);
        if (s == orvStsOk) break;
        if (s != orvStsDstFull || guard > 16) {
            ADD_FAILURE() << "flush status " << s;
            break;
        }
    }
    return drv.out;
}

Bytes zlibHeader() { return {0x78, 0x9C}; }
Bytes gzipHeader() { return {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3}; }

#ifdef ORVDC_HAVE_ZLIB
bool zlibInflates(const Bytes& stream, int windowBits, const Bytes& expected) {
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK) return false;
    Bytes got(expected.size() + 64);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = got.data();
    z.avail_out = static_cast<uInt>(got.size());
    const int r = inflate(&z, Z_FINISH);
    const bool ok = r == Z_STREAM_END && z.avail_in == 0 && z.total_out == expected.size() &&
                    std::equal(expected.begin(), expected.end(), got.begin());
    inflateEnd(&z);
    return ok;
}
#endif

}  // namespace orvdc::test
