// Checksums against bit-at-a-time references (and zlib where available):
// check values, every length around the sliced path's edges, every source
// alignment, every split point, the Adler-32 chunk edges, and the statuses.
#include <gtest/gtest.h>

#include "common/test_support.h"
#include "orvdc.h"

#ifdef ORVDC_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

using orvdc::test::Bytes;

std::uint32_t refCrc32(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    std::uint32_t r = ~crc;
    for (std::size_t i = 0; i < n; ++i) {
        r ^= p[i];
        for (int b = 0; b < 8; ++b) r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1u)));
    }
    return ~r;
}

std::uint32_t refBzip2(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    std::uint32_t r = ~crc;
    for (std::size_t i = 0; i < n; ++i) {
        r ^= static_cast<std::uint32_t>(p[i]) << 24;
        for (int b = 0; b < 8; ++b) r = (r << 1) ^ ((r & 0x80000000u) ? 0x04C11DB7u : 0u);
    }
    return ~r;
}

std::uint32_t refAdler(std::uint32_t adler, const std::uint8_t* p, std::size_t n) {
    std::uint64_t s1 = adler & 0xFFFF, s2 = adler >> 16;
    for (std::size_t i = 0; i < n; ++i) {
        s1 = (s1 + p[i]) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    return static_cast<std::uint32_t>((s2 << 16) | s1);
}

using Api = orvStatus (*)(const std::uint8_t*, std::int32_t, std::uint32_t*);
using Ref = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

struct Kind {
    const char* name;
    Api api;
    Ref ref;
    std::uint32_t start;
    std::uint32_t checkValue;  // of "123456789" from `start`
};

const Kind kKinds[] = {
    {"crc32", orvsCRC32_8u, refCrc32, 0, 0xCBF43926u},
    {"bzip2", orvsCRC32_BZ2_8u, refBzip2, 0, 0xFC891918u},
    {"adler32", orvsAdler32_8u, refAdler, 1, 0x091E01DEu},
};

std::uint32_t run(const Kind& k, std::uint32_t v, const std::uint8_t* p, std::size_t n) {
    EXPECT_EQ(k.api(p, static_cast<std::int32_t>(n), &v), orvStsOk) << k.name;
    return v;
}

TEST(Checksums, PublishedCheckValues) {
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    for (const auto& k : kKinds) EXPECT_EQ(run(k, k.start, digits, 9), k.checkValue) << k.name;
}

TEST(Checksums, EveryLengthAndAlignmentMatchesTheReference) {
    const Bytes data = orvdc::test::randomBytes(300, 11);
    for (const auto& k : kKinds) {
        for (std::size_t align = 0; align < 8; ++align) {
            orvdc::test::OffsetBuffer buf(data, align);
            for (std::size_t len = 1; len <= 80; ++len) {
                const std::uint32_t start = k.start ^ static_cast<std::uint32_t>(len * 0x9E3779B1u);
                ASSERT_EQ(run(k, start, buf.data(), len), k.ref(start, buf.data(), len))
                    << k.name << " align " << align << " len " << len;
            }
        }
    }
}

TEST(Checksums, SplittingAtEveryPointGivesTheSingleCallValue) {
    const Bytes data = orvdc::test::textLikeBytes(700, 3);
    for (const auto& k : kKinds) {
        const std::uint32_t whole = run(k, k.start, data.data(), data.size());
        ASSERT_EQ(whole, k.ref(k.start, data.data(), data.size())) << k.name;
        for (std::size_t cut = 1; cut < data.size(); ++cut) {
            std::uint32_t v = run(k, k.start, data.data(), cut);
            v = run(k, v, data.data() + cut, data.size() - cut);
            ASSERT_EQ(v, whole) << k.name << " cut " << cut;
        }
    }
}

TEST(Checksums, LargeBuffersMatchTheReference) {
    const Bytes data = orvdc::test::randomBytes(3 << 20, 5);
    for (const auto& k : kKinds) {
        EXPECT_EQ(run(k, k.start, data.data(), data.size()), k.ref(k.start, data.data(), data.size()))
            << k.name;
    }
}

// Runs of 0xFF from the largest incoming halves are the worst case for the
// deferred modulo; lengths straddle the 5552-byte chunk edge.
TEST(Adler32, ChunkEdgesWithMaximalSums) {
    const Bytes ff(3 * 5552 + 40, 0xFF);
    for (std::size_t len : {5551u, 5552u, 5553u, 11103u, 11104u, 11105u, 16656u, 16696u}) {
        std::uint32_t v = 0xFFFFFFFFu;
        ASSERT_EQ(orvsAdler32_8u(ff.data(), static_cast<std::int32_t>(len), &v), orvStsOk);
        EXPECT_EQ(v, refAdler(0xFFFFFFFFu, ff.data(), len)) << len;
        std::uint32_t w = 0xFFF0FFF0u;
        ASSERT_EQ(orvsAdler32_8u(ff.data(), static_cast<std::int32_t>(len), &w), orvStsOk);
        EXPECT_EQ(w, refAdler(0xFFF0FFF0u, ff.data(), len)) << len;
    }
}

TEST(Checksums, CrcStatusesLeaveTheCellAlone) {
    const std::uint8_t byte = 7;
    for (Api api : {orvsCRC32_8u, orvsCRC32_BZ2_8u}) {
        std::uint32_t cell = 0x12345678u;
        EXPECT_EQ(api(nullptr, 5, &cell), orvStsNullPtr);
        EXPECT_EQ(api(&byte, 1, nullptr), orvStsNullPtr);
        EXPECT_EQ(api(nullptr, 0, &cell), orvStsNullPtr);
        EXPECT_EQ(api(&byte, 0, &cell), orvStsBadSize);
        EXPECT_EQ(api(&byte, -3, &cell), orvStsBadSize);
        EXPECT_EQ(cell, 0x12345678u);
    }
}

TEST(Adler32, StatusRules) {
    const std::uint8_t byte = 7;
    std::uint32_t cell = 0x12345678u;
    EXPECT_EQ(orvsAdler32_8u(&byte, 0, &cell), orvStsOk);
    EXPECT_EQ(orvsAdler32_8u(&byte, -1, &cell), orvStsOk);
    EXPECT_EQ(cell, 0x12345678u);
    EXPECT_EQ(orvsAdler32_8u(nullptr, 4, &cell), orvStsBadSize);
    EXPECT_EQ(cell, 0u);
    EXPECT_EQ(orvsAdler32_8u(&byte, 1, nullptr), orvStsNullPtr);
}

#ifdef ORVDC_HAVE_ZLIB
TEST(ChecksumsVsZlib, CorpusAndRandomData) {
    std::vector<Bytes> inputs = {orvdc::test::randomBytes(1 << 20, 9),
                                 orvdc::test::textLikeBytes(100000, 4)};
    for (const auto& path : orvdc::test::corpusFiles()) inputs.push_back(orvdc::test::readFile(path));
    for (const auto& in : inputs) {
        const auto n = static_cast<uInt>(in.size());
        std::uint32_t crc = 0, adler = 1;
        ASSERT_EQ(orvsCRC32_8u(in.data(), static_cast<std::int32_t>(n), &crc), orvStsOk);
        ASSERT_EQ(orvsAdler32_8u(in.data(), static_cast<std::int32_t>(n), &adler), orvStsOk);
        EXPECT_EQ(crc, crc32(0, in.data(), n));
        EXPECT_EQ(adler, adler32(1, in.data(), n));
    }
}
#endif

}  // namespace
