// The symbol dictionary: reduction sums table entries (so any entry values
// count), expansion picks the (j+1)-th nonzero entry; round trips, every short
// length of the unrolled loops, and the refusals of expansion.
#include <gtest/gtest.h>

#include <array>

#include "common/test_support.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using Table = std::array<std::uint8_t, 256>;

Bytes modelReduce(const Table& t, const Bytes& in, std::int32_t& n) {
    Bytes out;
    for (std::uint8_t x : in) {
        unsigned s = 0;
        for (unsigned v = 0; v < x; ++v) s += t[v];
        out.push_back(static_cast<std::uint8_t>(s));
    }
    n = 0;
    for (std::uint8_t e : t) n += e;
    return out;
}

Table randomTable(orvdc::test::Rng& rng, unsigned percent) {
    Table t{};
    for (auto& e : t) e = rng.below(100) < percent ? 1 : 0;
    return t;
}

// Random tables below hold only 0 and 1.
TEST(Bzip2Dictionary, EntriesAreAddedNotTested) {
    std::int32_t n = 0;
    // Entries are added, not tested: an entry 3 moves later indices by 3, and
    // a byte not in use takes the index of the next value in use.
    Table weighted{};
    weighted[10] = 3;
    weighted[20] = 1;
    Bytes w = {10, 20, 15, 200};
    ASSERT_EQ(orvsReduceDictionary_8u_I(weighted.data(), w.data(), 4, &n), orvStsOk);
    EXPECT_EQ(w, (Bytes{0, 3, 3, 4}));
    EXPECT_EQ(n, 4);
}

TEST(Bzip2Dictionary, RoundTripsForEveryShortLengthAndTable) {
    orvdc::test::Rng rng(3);
    for (int round = 0; round < 60; ++round) {
        const Table t = randomTable(rng, round % 3 == 0 ? 3 : 50);
        std::vector<std::uint8_t> values;
        for (int v = 0; v < 256; ++v) {
            if (t[v] != 0) values.push_back(static_cast<std::uint8_t>(v));
        }
        if (values.empty()) continue;
        for (std::size_t len : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u, 1001u}) {
            Bytes in(len);
            for (auto& b : in) b = values[rng.below(static_cast<std::uint32_t>(values.size()))];
            std::int32_t expectN = 0, n = -1;
            const Bytes expect = modelReduce(t, in, expectN);
            // Guard bytes around the buffer catch writes past its length.
            Bytes buf(len + 2, 0xEE);
            std::copy(in.begin(), in.end(), buf.begin() + 1);
            ASSERT_EQ(orvsReduceDictionary_8u_I(t.data(), buf.data() + 1, static_cast<std::int32_t>(len), &n), orvStsOk);
            ASSERT_EQ(Bytes(buf.begin() + 1, buf.end() - 1), expect);
            ASSERT_EQ(n, expectN);
            ASSERT_EQ(orvsExpandDictionary_8u_I(t.data(), buf.data() + 1, static_cast<std::int32_t>(len), n), orvStsOk);
            ASSERT_EQ(Bytes(buf.begin() + 1, buf.end() - 1), in);
            ASSERT_EQ(buf.front(), 0xEE);
            ASSERT_EQ(buf.back(), 0xEE);
        }
    }
}

TEST(Bzip2Dictionary, ExpansionRefusalsAndOutOfRangeIndices) {
    Table t{};
    t[3] = 1;
    t[9] = 7;  // nonzero counts once
    t[100] = 1;
    Bytes buf = {0, 1, 2, 3, 255};
    const Bytes before = buf;
    EXPECT_EQ(orvsExpandDictionary_8u_I(t.data(), buf.data(), 5, 0), orvStsBadSize);
    EXPECT_EQ(orvsExpandDictionary_8u_I(t.data(), buf.data(), 5, 4), orvStsBadSize);
    EXPECT_EQ(orvsExpandDictionary_8u_I(t.data(), buf.data(), 5, 257), orvStsBadSize);
    EXPECT_EQ(orvsExpandDictionary_8u_I(t.data(), buf.data(), 0, 3), orvStsBadSize);
    EXPECT_EQ(orvsExpandDictionary_8u_I(nullptr, buf.data(), 5, 3), orvStsNullPtr);
    EXPECT_EQ(orvsExpandDictionary_8u_I(t.data(), nullptr, 0, 0), orvStsNullPtr);
    EXPECT_EQ(buf, before);
    // Indices not below n become 0; n below the count uses the first n values.
    ASSERT_EQ(orvsExpandDictionary_8u_I(t.data(), buf.data(), 5, 2), orvStsOk);
    EXPECT_EQ(buf, (Bytes{3, 9, 0, 0, 0}));

    std::int32_t n = 77;
    EXPECT_TRUE(orvdc::test::eachNullRefused(orvsReduceDictionary_8u_I, t.data(), buf.data(), 5, &n));
    EXPECT_EQ(orvsReduceDictionary_8u_I(t.data(), buf.data(), 0, &n), orvStsBadSize);
    EXPECT_EQ(orvsReduceDictionary_8u_I(t.data(), buf.data(), -3, &n), orvStsBadSize);
    EXPECT_EQ(n, 77);
    EXPECT_EQ(buf, (Bytes{3, 9, 0, 0, 0}));
}

}  // namespace
