// GIT decoder: round trips, the wrong strategy, output limits, malformed
// blocks (the library and the rank-scanning reference must agree on every
// damaged block) and argument checks.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "git/git_helpers.h"
#include "git/git_reference.h"

namespace orvdc::test::git {
namespace {

void expectRoundTrip(const Bytes& src, const std::string& what) {
    for (int strategy : kStrategies) {
        const Bytes block = libraryEncode(src, strategy);
        ASSERT_FALSE(block.empty()) << what;
        const LibDecoded d = libraryDecode(block, strategy, static_cast<std::int32_t>(src.size()) + 1);
        ASSERT_EQ(d.status, orvStsOk) << what << " strategy " << strategy;
        ASSERT_TRUE(d.bytes == src) << what << " strategy " << strategy;
    }
}

TEST(GitDecode, RoundTrips) {
    expectRoundTrip({}, "empty");
    expectRoundTrip(Bytes(3000, 0), "zeros");
    expectRoundTrip(Bytes(3000, 0xFF), "0xFF");
    expectRoundTrip(Bytes(3000, 0x41), "0x41");
    for (std::size_t n : {1u, 2u, 255u, 256u, 257u, 10000u}) expectRoundTrip(randomBytes(n, n + 100), "random");
    expectRoundTrip(skewedBytes(50000, 256, 1), "skewed 256");
    expectRoundTrip(skewedBytes(50000, 5, 2), "skewed 5");
    expectRoundTrip(textLikeBytes(80000, 3), "text");
    Bytes runs;
    Rng rng(5);
    for (int i = 0; i < 60; ++i) {
        runs.insert(runs.end(), 1 + rng.below(5000), static_cast<std::uint8_t>(rng.below(4) * 60));
    }
    expectRoundTrip(runs, "runs");
}

TEST(GitDecode, CorpusRoundTrips) {
    const auto files = corpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus";
    for (const auto& path : files) {
        Bytes data = readFile(path);
        if (data.size() > 150000) data.resize(150000);
        expectRoundTrip(data, path);
    }
}

// The library's tree replay and the reference's full scan give the same bytes.
TEST(GitDecode, MatchesTheReferenceDecoder) {
    const Bytes sources[] = {textLikeBytes(12000, 4), skewedBytes(12000, 40, 6), randomBytes(3000, 8)};
    for (const Bytes& src : sources) {
        for (int strategy : kStrategies) {
            const Bytes block = referenceEncode(src, strategy);
            const Decoded ref = referenceDecode(block.data(), block.size(), strategy, src.size());
            ASSERT_TRUE(ref.ok);
            ASSERT_TRUE(ref.bytes == src);
            EXPECT_TRUE(libraryDecode(block, strategy, static_cast<std::int32_t>(src.size())).bytes == src);
        }
    }
}

TEST(GitDecode, WrongStrategyDoesNotRestoreTheSource) {
    const Bytes src = textLikeBytes(20000, 12);
    for (int enc : {1, 2, 3, 4}) {
        const Bytes block = libraryEncode(src, enc);
        for (int dec : {1, 2, 3, 4}) {
            if (dec == enc) continue;
            const LibDecoded d = libraryDecode(block, dec, 100000);
            EXPECT_FALSE(d.status == orvStsOk && d.bytes == src) << enc << " read as " << dec;
            const Decoded ref = referenceDecode(block.data(), block.size(), dec, 100000);
            EXPECT_EQ(d.status == orvStsOk, ref.ok) << enc << " read as " << dec;
            if (ref.ok) {
                EXPECT_TRUE(d.bytes == ref.bytes) << enc << " read as " << dec;
            }
        }
    }
}

TEST(GitDecode, OutputLimit) {
    const Bytes src = textLikeBytes(5000, 1);
    const Bytes block = libraryEncode(src, 1);
    std::int32_t size = 0;
    ASSERT_EQ(orvsDecodeGITGetSize_8u(static_cast<std::int32_t>(block.size()), &size), orvStsOk);
    for (std::int32_t maxDst : {4999, 5000}) {
        GITState* st = nullptr;
        ASSERT_EQ(orvsDecodeGITInitAlloc_8u(static_cast<std::int32_t>(block.size()), maxDst, &st), orvStsOk);
        Bytes out(5001, 0xA5);
        std::int32_t len = -1;
        const orvStatus s =
            orvsDecodeGIT_8u(block.data(), static_cast<std::int32_t>(block.size()), out.data(), &len, 1, st);
        orvsGITFree_8u(st);
        if (maxDst == 4999) {
            EXPECT_EQ(s, orvStsBadSize);
            EXPECT_EQ(len, -1);
            EXPECT_TRUE(Bytes(out.begin(), out.begin() + 4999) == Bytes(src.begin(), src.begin() + 4999));
            EXPECT_EQ(out[4999], 0xA5);
        } else {
            EXPECT_EQ(s, orvStsOk);
            EXPECT_EQ(len, 5000);
            EXPECT_TRUE(Bytes(out.begin(), out.begin() + 5000) == src);
        }
    }
}

TEST(GitDecode, TruncatedAndMalformedBlocks) {
    const Bytes src = textLikeBytes(3000, 2);
    const Bytes block = libraryEncode(src, 1);
    // Every cut inside the block: the last stream's length runs past the end.
    for (std::size_t cut : {std::size_t{1}, std::size_t{3}, std::size_t{1023}, block.size() / 2, block.size() - 1}) {
        const Bytes head(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(libraryDecode(head, 1, 4000).status, orvStsBadSize) << cut;
    }
    // Trailing bytes after the block are ignored.
    Bytes longer = block;
    longer.insert(longer.end(), 100, 0x55);
    EXPECT_TRUE(libraryDecode(longer, 1, 4000).bytes == src);
    // A zero stream length.
    Bytes zero(1024, 0);
    EXPECT_EQ(libraryDecode(zero, 1, 4000).status, orvStsBadSize);
    // The longest stream shortened by one byte ends inside a code.
    std::size_t at = 0, longestAt = 0;
    std::uint32_t longest = 0;
    for (int j = 0; j < 256; ++j) {
        const std::uint32_t len = (std::uint32_t{block[at]} << 24) | (std::uint32_t{block[at + 1]} << 16) |
                                  (std::uint32_t{block[at + 2]} << 8) | block[at + 3];
        if (len > longest) {
            longest = len;
            longestAt = at;
        }
        at += 4 + len;
    }
    ASSERT_GT(longest, 100u);
    Bytes shortened = block;
    shortened.erase(shortened.begin() + static_cast<std::ptrdiff_t>(longestAt + 4 + longest - 1));
    for (int i = 0; i < 4; ++i) {
        shortened[longestAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((longest - 1) >> (24 - 8 * i));
    }
    EXPECT_EQ(libraryDecode(shortened, 1, 4000).status, orvStsBadSize);
    EXPECT_FALSE(referenceDecode(shortened.data(), shortened.size(), 1, 4000).ok);
}

// Damaged blocks: whatever the library answers, the reference answers too.
TEST(GitDecode, DamagedBlocksAgreeWithTheReference) {
    Rng rng(77);
    const Bytes sources[] = {textLikeBytes(2000, 5), skewedBytes(1500, 20, 7), Bytes(700, 0x61)};
    int rejected = 0;
    int accepted = 0;
    for (int round = 0; round < 300; ++round) {
        const int strategy = kStrategies[round % kStrategies.size()];
        Bytes block = libraryEncode(sources[round % 3], strategy);
        const int flips = 1 + static_cast<int>(rng.below(4));
        for (int f = 0; f < flips; ++f) {
            // Mostly inside the streams; sometimes a length byte.
            const std::size_t at = rng.below(8) == 0 ? rng.below(4) : rng.below(static_cast<std::uint32_t>(block.size()));
            block[at] ^= static_cast<std::uint8_t>(1u << rng.below(8));
        }
        const int decodeStrategy = rng.below(4) == 0 ? static_cast<int>(rng.below(5)) : strategy;
        const LibDecoded lib = libraryDecode(block, decodeStrategy, 3000);
        const Decoded ref = referenceDecode(block.data(), block.size(), decodeStrategy, 3000);
        ASSERT_EQ(lib.status == orvStsOk, ref.ok) << round;
        ASSERT_TRUE(lib.status == orvStsOk || lib.status == orvStsBadSize) << round;
        if (ref.ok) {
            ASSERT_TRUE(lib.bytes == ref.bytes) << round;
            ++accepted;
        } else {
            ++rejected;
        }
    }
    EXPECT_GT(accepted, 20);
    EXPECT_GT(rejected, 20);
}

TEST(GitDecode, ArgumentChecks) {
    GITState* st = nullptr;
    EXPECT_EQ(orvsDecodeGITInitAlloc_8u(0, 0, nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsDecodeGITInitAlloc_8u(0, 10, &st), orvStsBadSize);
    EXPECT_EQ(orvsDecodeGITInitAlloc_8u(10, 0, &st), orvStsBadSize);
    EXPECT_EQ(st, nullptr);
    EXPECT_EQ(orvsDecodeGITInit_8u(10, nullptr), orvStsNullPtr);
    ASSERT_EQ(orvsDecodeGITInitAlloc_8u(2000, 10, &st), orvStsOk);
    EXPECT_EQ(orvsDecodeGITInit_8u(0, st), orvStsBadSize);
    const Bytes block = libraryEncode({}, 1);
    Bytes out(10);
    std::int32_t len = -1;
    const auto n = static_cast<std::int32_t>(block.size());
    EXPECT_TRUE(eachNullRefused(orvsDecodeGIT_8u, block.data(), n, out.data(), &len, 1, st));
    EXPECT_EQ(orvsDecodeGIT_8u(block.data(), 0, out.data(), &len, 1, st), orvStsBadSize);
    EXPECT_EQ(len, -1);
    EXPECT_EQ(orvsDecodeGIT_8u(block.data(), n, out.data(), &len, 1, st), orvStsOk);
    EXPECT_EQ(len, 0);
    orvsGITFree_8u(st);
}

// Encoder and decoder states over memory of different contents before Init
// give the same blocks and the same results on damaged blocks.
TEST(GitDecode, NothingReadFromStateMemoryBeforeItIsWritten) {
    const orvdc::test::Bytes data = orvdc::test::skewedBytes(5000, 40, 3);
    const auto n = static_cast<std::int32_t>(data.size());
    std::int32_t encSize = 0, decSize = 0;
    ASSERT_EQ(orvsEncodeGITGetSize_8u(n, 4 * n + 4096, &encSize), orvStsOk);
    ASSERT_EQ(orvsDecodeGITGetSize_8u(4 * n + 4096, &decSize), orvStsOk);
    orvdc::test::Rng rng(4);
    for (int strategy : orvdc::test::git::kStrategies) {
        orvdc::test::Bytes blocks[2], decoded[2];
        orvStatus statuses[2] = {};
        for (int k = 0; k < 2; ++k) {
            orvdc::test::FilledMemory enc(static_cast<std::size_t>(encSize), k == 0 ? 0x00 : 0xFF);
            orvdc::test::FilledMemory dec(static_cast<std::size_t>(decSize), k == 0 ? 0x00 : 0xFF);
            ASSERT_EQ(orvsEncodeGITInit_8u(n, 4 * n + 4096, enc.as<GITState>()), orvStsOk);
            ASSERT_EQ(orvsDecodeGITInit_8u(n, dec.as<GITState>()), orvStsOk);
            blocks[k].resize(static_cast<std::size_t>(4 * n + 4096));
            std::int32_t len = 0;
            ASSERT_EQ(orvsEncodeGIT_8u(data.data(), n, blocks[k].data(), &len, strategy, enc.as<GITState>()), orvStsOk);
            blocks[k].resize(static_cast<std::size_t>(len));
            orvdc::test::Bytes damaged = blocks[k];
            orvdc::test::Rng flips(static_cast<std::uint64_t>(strategy) + 100);
            for (int f = 0; f < 3; ++f) damaged[flips.below(static_cast<std::uint32_t>(damaged.size()))] ^= 0x24;
            decoded[k].resize(data.size());
            std::int32_t outLen = 0;
            statuses[k] = orvsDecodeGIT_8u(damaged.data(), len, decoded[k].data(), &outLen, strategy, dec.as<GITState>());
            decoded[k].resize(statuses[k] == orvStsOk ? static_cast<std::size_t>(outLen) : 0);
        }
        EXPECT_EQ(blocks[0], blocks[1]) << strategy;
        EXPECT_EQ(statuses[0], statuses[1]) << strategy;
        EXPECT_EQ(decoded[0], decoded[1]) << strategy;
    }
}

}  // namespace
}  // namespace orvdc::test::git
