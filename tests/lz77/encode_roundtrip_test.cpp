// Whole streams written by driving the stages decode with zlib's inflate to
// exactly the input, in raw, zlib and gzip framing, whatever the split of
// the work into calls.
#include <gtest/gtest.h>

#include "lz77/encode_test_support.h"

#ifdef ORVDC_HAVE_ZLIB

namespace orvdc::test {
namespace {

Bytes runsAndText(std::size_t n, std::uint64_t seed) {
    Bytes out = textLikeBytes(n / 2, seed);
    Rng rng(seed + 1);
    while (out.size() < n) {
        if (rng.below(2)) {
            out.insert(out.end(), 1 + rng.below(1000), static_cast<std::uint8_t>(rng.below(3)));
        } else {
            const std::size_t from = rng.below(static_cast<std::uint32_t>(out.size()));
            const std::size_t len = std::min<std::size_t>(3 + rng.below(3000), out.size() - from);
            for (std::size_t i = 0; i < len; ++i) out.push_back(out[from + i]);
        }
    }
    out.resize(n);
    return out;
}

// Encodes with the plan and checks the stream in every framing its checksum
// kind allows.
void roundTrip(const Bytes& in, const StreamPlan& plan) {
    const Bytes body = encodeStream(in, plan);
    ASSERT_FALSE(::testing::Test::HasFailure());
    if (plan.checksumKind == LZ77ChecksumAdler32) {
        Bytes z = zlibHeader();
        z.insert(z.end(), body.begin(), body.end());
        EXPECT_TRUE(zlibInflates(z, 15, in)) << "zlib framing";
        EXPECT_TRUE(zlibInflates(Bytes(body.begin(), body.end() - 4), -15, in)) << "raw";
    } else if (plan.checksumKind == LZ77ChecksumCRC32) {
        Bytes g = gzipHeader();
        g.insert(g.end(), body.begin(), body.end());
        EXPECT_TRUE(zlibInflates(g, 31, in)) << "gzip framing";
    } else {
        ASSERT_GE(body.size(), 8u);
        EXPECT_TRUE(zlibInflates(Bytes(body.begin(), body.end() - 8), -15, in)) << "raw";
        const std::size_t t = body.size() - 8;
        EXPECT_EQ(Bytes(body.begin() + static_cast<std::ptrdiff_t>(t), body.begin() + static_cast<std::ptrdiff_t>(t) + 4),
                  Bytes(4, 0));
        const std::uint32_t n = body[t + 4] | body[t + 5] << 8 | body[t + 6] << 16 | std::uint32_t{body[t + 7]} << 24;
        EXPECT_EQ(n, static_cast<std::uint32_t>(in.size()));
    }
}

TEST(RoundTrip, EveryLevelBlockKindAndChecksum) {
    const std::vector<Bytes> inputs = {Bytes{}, Bytes{42}, Bytes(5, 'a'), textLikeBytes(200000, 41),
                                       runsAndText(300000, 42), randomBytes(70000, 43), skewedBytes(80000, 3, 44)};
    for (int level = 0; level < 3; ++level) {
        for (BlockKind kind : {BlockKind::Fixed, BlockKind::Dynamic, BlockKind::Selector, BlockKind::StoredMix}) {
            for (int checksum : {LZ77ChecksumAdler32, LZ77ChecksumCRC32, LZ77ChecksumNone}) {
                for (std::size_t i = 0; i < inputs.size(); ++i) {
                    StreamPlan plan;
                    plan.level = level;
                    plan.kind = kind;
                    plan.checksumKind = checksum;
                    plan.piece = 20000 + 7919 * i;
                    plan.seed = 100 + i;
                    SCOPED_TRACE(::testing::Message() << "level " << level << " kind " << static_cast<int>(kind)
                                                      << " checksum " << checksum << " input " << i);
                    roundTrip(inputs[i], plan);
                    if (::testing::Test::HasFailure()) return;
                }
            }
        }
    }
}

TEST(RoundTrip, FlushesMidStream) {
    const Bytes in = runsAndText(250000, 45);
    for (int level = 0; level < 3; ++level) {
        for (BlockKind kind : {BlockKind::Selector, BlockKind::StoredMix, BlockKind::Dynamic}) {
            StreamPlan plan;
            plan.level = level;
            plan.kind = kind;
            plan.piece = 3001;
            plan.flushEvery = 3;
            plan.seed = 46 + static_cast<std::uint64_t>(level);
            plan.checksumKind = level == 1 ? LZ77ChecksumCRC32 : LZ77ChecksumAdler32;
            SCOPED_TRACE(::testing::Message() << "level " << level << " kind " << static_cast<int>(kind));
            roundTrip(in, plan);
        }
    }
}

TEST(RoundTrip, TinyDestinationsAndPairBuffers) {
    const Bytes in = runsAndText(30000, 47);
    for (int level = 0; level < 3; ++level) {
        for (std::int32_t dstRoom : {1, 2, 7}) {
            for (std::int32_t pairRoom : {1, 3, 1000}) {
                StreamPlan plan;
                plan.level = level;
                plan.kind = (dstRoom + pairRoom) % 2 ? BlockKind::Selector : BlockKind::StoredMix;
                plan.piece = 9000;
                plan.dstRoom = dstRoom;
                plan.pairRoom = pairRoom;
                plan.flushEvery = 2;
                plan.checksumKind = LZ77ChecksumCRC32;
                SCOPED_TRACE(::testing::Message() << "level " << level << " dst " << dstRoom << " pairs " << pairRoom);
                roundTrip(in, plan);
            }
        }
    }
}

TEST(RoundTrip, OutputDoesNotDependOnDestinationSize) {
    const Bytes in = runsAndText(60000, 48);
    for (BlockKind kind : {BlockKind::Fixed, BlockKind::Dynamic, BlockKind::StoredMix}) {
        StreamPlan plan;
        plan.level = 2;
        plan.kind = kind;
        plan.piece = 5000;
        plan.flushEvery = 4;
        const Bytes ample = encodeStream(in, plan);
        for (std::int32_t room : {1, 3, 16, 17, 100}) {
            plan.dstRoom = room;
            EXPECT_EQ(encodeStream(in, plan), ample) << "room " << room;
        }
    }
}

TEST(RoundTrip, Corpus) {
    const auto files = corpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus";
    for (const auto& path : files) {
        const Bytes in = readFile(path);
        for (int level = 0; level < 3; ++level) {
            StreamPlan plan;
            plan.level = level;
            plan.kind = BlockKind::Selector;
            plan.piece = 65536;
            plan.checksumKind = LZ77ChecksumCRC32;
            SCOPED_TRACE(::testing::Message() << path << " level " << level);
            roundTrip(in, plan);
        }
    }
}

}  // namespace
}  // namespace orvdc::test

#endif  // ORVDC_HAVE_ZLIB
