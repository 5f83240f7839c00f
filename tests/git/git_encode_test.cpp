// GIT encoder: blocks byte for byte equal to the reference model, the block
// layouts of small sources, state sizes and argument checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "git/git_helpers.h"
#include "git/git_internal.h"
#include "git/git_reference.h"

namespace orvdc::test::git {
namespace {

std::uint32_t streamLength(const Bytes& block, int j, std::size_t* start = nullptr) {
    std::size_t at = 0;
    for (int i = 0;; ++i) {
        const std::uint32_t len = (std::uint32_t{block[at]} << 24) | (std::uint32_t{block[at + 1]} << 16) |
                                  (std::uint32_t{block[at + 2]} << 8) | block[at + 3];
        if (i == j) {
            if (start) *start = at + 4;
            return len;
        }
        at += 4 + len;
    }
}

void expectSameAsReference(const Bytes& src, const std::string& what) {
    for (int strategy : kStrategies) {
        orvStatus status = orvStsError;
        const Bytes lib = libraryEncode(src, strategy, &status);
        ASSERT_EQ(status, orvStsOk) << what << " strategy " << strategy;
        const Bytes ref = referenceEncode(src, strategy);
        ASSERT_EQ(lib.size(), ref.size()) << what << " strategy " << strategy;
        const auto diff = std::mismatch(lib.begin(), lib.end(), ref.begin());
        ASSERT_TRUE(diff.first == lib.end())
            << what << " strategy " << strategy << " first difference at byte " << (diff.first - lib.begin());
    }
}

TEST(GitEncode, RandomSkewedAndTextMatchTheReference) {
    for (std::size_t n : {1u, 2u, 7u, 100u, 1000u, 5000u}) {
        expectSameAsReference(randomBytes(n, n), "random " + std::to_string(n));
    }
    expectSameAsReference(skewedBytes(20000, 256, 3), "skewed 256");
    expectSameAsReference(skewedBytes(20000, 16, 4), "skewed 16");
    expectSameAsReference(skewedBytes(20000, 3, 5), "skewed 3");
    expectSameAsReference(textLikeBytes(30000, 6), "text");
}

// Long runs followed by rare values give large intervals and escape codes
// with one and more doublings of the parameter.
TEST(GitEncode, EscapesMatchTheReference) {
    Bytes src;
    Rng rng(11);
    for (int block = 0; block < 40; ++block) {
        src.insert(src.end(), 200 + rng.below(3000), static_cast<std::uint8_t>(rng.below(2)));
        src.push_back(static_cast<std::uint8_t>(rng.below(256)));
    }
    expectSameAsReference(src, "runs");
    std::vector<Coded> trace;
    referenceEncode(src, 1, &trace);
    int maxDoublings = 0;
    for (const Coded& c : trace) maxDoublings = std::max(maxDoublings, c.doublings);
    EXPECT_GE(maxDoublings, 2);
    Bytes sparse(60000, 0x20);
    for (std::size_t i = 0; i < sparse.size(); i += 9973) sparse[i] = 0xE7;
    expectSameAsReference(sparse, "sparse");
}

// Intervals of about 2^17 raise the parameter to 17; a later interval of
// 1.2 million escapes and doubles it to 34, past 32 bits of low part.
TEST(GitEncode, WideEscapeMatchesTheReference) {
    Bytes src;
    for (int i = 0; i < 10; ++i) {
        src.insert(src.end(), 70000, 1);
        src.push_back(200);
    }
    src.insert(src.end(), 1200000, 1);
    src.push_back(200);
    std::vector<Coded> trace;
    const Bytes ref = referenceEncode(src, 3, &trace);
    EXPECT_EQ(libraryEncode(src, 3), ref);
    EXPECT_EQ(trace[trace.size() - 2].stream, 255 - 200);
    EXPECT_EQ(trace[trace.size() - 2].doublings, 1);
    EXPECT_EQ(libraryDecode(ref, 3, static_cast<std::int32_t>(src.size())).bytes, src);
}

TEST(GitEncode, CorpusPrefixesMatchTheReference) {
    const auto files = corpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus";
    for (const auto& path : files) {
        Bytes data = readFile(path);
        if (data.size() > 24000) data.resize(24000);
        expectSameAsReference(data, path);
    }
}

TEST(GitEncode, EmptySourceBlocks) {
    const Bytes primed = libraryEncode({}, 1);
    ASSERT_EQ(primed.size(), 1536u);
    for (int j = 0; j < 256; ++j) {
        std::size_t at = 0;
        ASSERT_EQ(streamLength(primed, j, &at), 2u) << j;
        // Eleven bits (a 0 and ten value bits) padded with five 1 bits.
        const std::uint32_t value = j == 255 ? 1u : 255u - static_cast<std::uint32_t>(j);
        EXPECT_EQ(primed[at], value >> 3) << j;
        EXPECT_EQ(primed[at + 1], ((value & 7u) << 5) | 0x1Fu) << j;
    }
    const Bytes fixed = libraryEncode({}, 3);
    ASSERT_EQ(fixed.size(), 1281u);
    for (int j = 0; j < 255; ++j) {
        std::size_t at = 0;
        ASSERT_EQ(streamLength(fixed, j, &at), 1u);
        EXPECT_EQ(fixed[at], 0xFF);
    }
    std::size_t at = 0;
    ASSERT_EQ(streamLength(fixed, 255, &at), 2u);
    EXPECT_EQ(fixed[at], 0x00);
    EXPECT_EQ(fixed[at + 1], 0x1F);
}

TEST(GitEncode, RepeatedValueCodesZeroIntervals) {
    for (int strategy : kStrategies) {
        std::vector<Coded> trace;
        const Bytes src(500, 0x41);
        EXPECT_EQ(libraryEncode(src, strategy), referenceEncode(src, strategy, &trace));
        const std::size_t priming = strategy == 3 ? 0 : 255;
        ASSERT_EQ(trace.size(), priming + 500 + 1);
        for (std::size_t i = priming; i < priming + 500; ++i) {
            EXPECT_EQ(trace[i].stream, 255 - 0x41);
            EXPECT_EQ(trace[i].value, 0u);
        }
    }
}

TEST(GitEncode, ZeroBytesCodeOnlyTheirCount) {
    const Bytes src(1000, 0);
    for (int strategy : {1, 3}) {
        const Bytes block = libraryEncode(src, strategy);
        EXPECT_EQ(block, referenceEncode(src, strategy));
        for (int j = 0; j < 255; ++j) EXPECT_EQ(streamLength(block, j), strategy == 3 ? 1u : 2u);
        std::vector<Coded> trace;
        referenceEncode(src, strategy, &trace);
        EXPECT_EQ(trace.back().stream, 255);
        EXPECT_EQ(trace.back().value, strategy == 3 ? 1000u : 1001u);
    }
}

TEST(GitEncode, OneStateEncodesManyBlocks) {
    GITState* st = nullptr;
    ASSERT_EQ(orvsEncodeGITInitAlloc_8u(20000, 80000, &st), orvStsOk);
    Bytes out(80000);
    for (int round = 0; round < 3; ++round) {
        const Bytes src = round == 1 ? randomBytes(20000, 9) : textLikeBytes(15000, 8);
        std::int32_t len = 0;
        ASSERT_EQ(orvsEncodeGIT_8u(src.data(), static_cast<std::int32_t>(src.size()), out.data(), &len, 2, st),
                  orvStsOk);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + len), referenceEncode(src, 2)) << round;
    }
    orvsGITFree_8u(st);
}

TEST(GitEncode, BlockLargerThanMaxDstLenFailsWithoutWriting) {
    const Bytes src = randomBytes(6000, 21);
    const Bytes ref = referenceEncode(src, 1);
    const auto exact = static_cast<std::int32_t>(ref.size());
    for (std::int32_t maxDst : {exact - 1, exact}) {
        GITState* st = nullptr;
        ASSERT_EQ(orvsEncodeGITInitAlloc_8u(6000, maxDst, &st), orvStsOk);
        Bytes out(static_cast<std::size_t>(exact) + 16, 0xA5);
        std::int32_t len = 12345;
        const orvStatus s = orvsEncodeGIT_8u(src.data(), 6000, out.data(), &len, 1, st);
        orvsGITFree_8u(st);
        if (maxDst < exact) {
            EXPECT_EQ(s, orvStsBadSize);
            EXPECT_EQ(len, 12345);
            EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::uint8_t b) { return b == 0xA5; }));
        } else {
            EXPECT_EQ(s, orvStsOk);
            EXPECT_EQ(len, exact);
            EXPECT_EQ(Bytes(out.begin(), out.begin() + exact), ref);
            EXPECT_EQ(out[static_cast<std::size_t>(exact)], 0xA5);
        }
    }
}

// A stream that outgrows its area fails the block.  No source within the
// sizes does that, so the state's limit is lowered by hand: one byte leaves
// no room for an eleven-bit priming code.
TEST(GitEncode, StreamOverflowFailsWithoutWriting) {
    GITState* st = nullptr;
    ASSERT_EQ(orvsEncodeGITInitAlloc_8u(4096, 8192, &st), orvStsOk);
    reinterpret_cast<orvdc::git::EncoderState*>(st)->maxSrcLen = 1;
    const Bytes src(1, 7);
    Bytes out(8192, 0xA5);
    std::int32_t len = 99;
    EXPECT_EQ(orvsEncodeGIT_8u(src.data(), 1, out.data(), &len, 1, st), orvStsBadSize);
    EXPECT_EQ(len, 99);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::uint8_t b) { return b == 0xA5; }));
    // With the limit restored the same state encodes the block.
    reinterpret_cast<orvdc::git::EncoderState*>(st)->maxSrcLen = 4096;
    EXPECT_EQ(orvsEncodeGIT_8u(src.data(), 1, out.data(), &len, 1, st), orvStsOk);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + len), referenceEncode(src, 1));
    orvsGITFree_8u(st);
}

TEST(GitEncode, StateSizes) {
    std::int32_t size = 0;
    EXPECT_EQ(orvsEncodeGITGetSize_8u(4096, 8192, &size), orvStsOk);
    EXPECT_EQ(size, 256 * (4096 + 32) + 8192 + 25720);
    EXPECT_EQ(orvsEncodeGITGetSize_8u(10007, 20005, &size), orvStsOk);
    EXPECT_EQ(size, 256 * (10000 + 32) + 20000 + 25720);
    // Small sources are raised to 4096 / 8192 whatever maxDstLen was.
    for (std::int32_t maxDst : {1, 100000}) {
        EXPECT_EQ(orvsEncodeGITGetSize_8u(4095, maxDst, &size), orvStsDstFull);
        EXPECT_EQ(size, 256 * (4096 + 32) + 8192 + 25720);
    }
    EXPECT_EQ(orvsEncodeGITGetSize_8u(0, 10, &size), orvStsBadSize);
    EXPECT_EQ(orvsEncodeGITGetSize_8u(5000, 0, &size), orvStsBadSize);
    EXPECT_EQ(orvsEncodeGITGetSize_8u(5000, 10, nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsEncodeGITGetSize_8u(0, 0, nullptr), orvStsNullPtr);
    // A state beyond INT32_MAX bytes cannot be described.
    EXPECT_EQ(orvsEncodeGITGetSize_8u(8388000, 1000, &size), orvStsOk);
    EXPECT_EQ(orvsEncodeGITGetSize_8u(8389000, 1000, &size), orvStsBadSize);

    EXPECT_EQ(orvsDecodeGITGetSize_8u(1, &size), orvStsOk);
    EXPECT_EQ(size, 256 * 8 + 26776);
    EXPECT_EQ(orvsDecodeGITGetSize_8u(1001, &size), orvStsOk);
    EXPECT_EQ(size, 256 * (1000 + 8) + 26776);
    EXPECT_EQ(orvsDecodeGITGetSize_8u(0, &size), orvStsBadSize);
    EXPECT_EQ(orvsDecodeGITGetSize_8u(0, nullptr), orvStsNullPtr);
}

// The encoder works in caller memory of exactly GetSize bytes at a 4-byte
// aligned address, with the raised sizes after the warning.
TEST(GitEncode, InitInCallerMemory) {
    std::int32_t size = 0;
    ASSERT_EQ(orvsEncodeGITGetSize_8u(100, 100, &size), orvStsDstFull);
    std::vector<std::uint64_t> memory(static_cast<std::size_t>(size) / 8 + 2);
    auto* st = reinterpret_cast<GITState*>(reinterpret_cast<std::uint8_t*>(memory.data()) + 4);
    EXPECT_EQ(orvsEncodeGITInit_8u(100, 100, nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsEncodeGITInit_8u(0, 100, st), orvStsBadSize);
    ASSERT_EQ(orvsEncodeGITInit_8u(100, 100, st), orvStsDstFull);
    const Bytes src = textLikeBytes(4097, 2);
    Bytes out(8192);
    std::int32_t len = 0;
    EXPECT_EQ(orvsEncodeGIT_8u(src.data(), 4097, out.data(), &len, 1, st), orvStsBadSize);
    EXPECT_EQ(orvsEncodeGIT_8u(src.data(), -1, out.data(), &len, 1, st), orvStsBadSize);
    ASSERT_EQ(orvsEncodeGIT_8u(src.data(), 4096, out.data(), &len, 1, st), orvStsOk);
    const Bytes head(src.begin(), src.begin() + 4096);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + len), referenceEncode(head, 1));
}

TEST(GitEncode, ArgumentChecksInOrder) {
    GITState* st = nullptr;
    // InitAlloc checks the sizes before the pointer.
    EXPECT_EQ(orvsEncodeGITInitAlloc_8u(0, 10, nullptr), orvStsBadSize);
    EXPECT_EQ(orvsEncodeGITInitAlloc_8u(10, -1, nullptr), orvStsBadSize);
    EXPECT_EQ(orvsEncodeGITInitAlloc_8u(10, 10, nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsEncodeGITInitAlloc_8u(0, 10, &st), orvStsBadSize);
    EXPECT_EQ(st, nullptr);
    ASSERT_EQ(orvsEncodeGITInitAlloc_8u(10, 10, &st), orvStsDstFull);
    ASSERT_NE(st, nullptr);
    const Bytes src(10, 1);
    Bytes out(8192);
    std::int32_t len = -1;
    EXPECT_TRUE(eachNullRefused(orvsEncodeGIT_8u, src.data(), 10, out.data(), &len, 1, st));
    EXPECT_EQ(orvsEncodeGIT_8u(nullptr, -5, out.data(), &len, 1, st), orvStsNullPtr);
    EXPECT_EQ(len, -1);
    orvsGITFree_8u(st);
}

}  // namespace
}  // namespace orvdc::test::git
