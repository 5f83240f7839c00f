// The public checksum entry points: check values, every split point, the
// statuses, and agreement with zlib.  Each kernel on its own is tested in
// checksum_paths_test.cpp.
#include <gtest/gtest.h>

#include "checksum/checksum_reference.h"
#include "common/test_support.h"
#include "orvdc.h"

#ifdef ORVDC_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

using orvdc::test::Bytes;

using orvdc::test::refAdler;
using orvdc::test::refBzip2;
using orvdc::test::refCrc32;

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
