// Packed code-length tables: the documented layouts nibble by nibble, round
// trips of random tables, short destinations and sources, and the buffer
// sizes of a code.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/test_support.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::Rng;
using Table = std::vector<std::int32_t>;

// A length takes at most two nibbles (a bank selector and a digit), and a
// count, at most two as well, comes only after two repeated lengths of one
// nibble each: no table of lengths 0..32 packs into more than 256 bytes.
constexpr std::size_t kMaxPackedBytes = 256;

Bytes pack(const Table& t, orvStatus expect = orvStsOk) {
    Bytes out(kMaxPackedBytes);
    std::int32_t size = static_cast<std::int32_t>(out.size());
    EXPECT_EQ(orvsHuffLenCodeTablePack_8u(t.data(), out.data(), &size), expect);
    out.resize(static_cast<std::size_t>(size));
    return out;
}

std::vector<int> nibbles(const Bytes& b) {
    std::vector<int> n;
    for (auto x : b) {
        n.push_back(x >> 4);
        n.push_back(x & 15);
    }
    return n;
}

// Unpacks and checks that exactly `packed.size()` bytes are reported used,
// with unrelated bytes after the table.
void expectUnpacksTo(const Bytes& packed, const Table& t) {
    Bytes src = packed;
    src.insert(src.end(), {0xFF, 0x13, 0xEE});
    std::int32_t size = static_cast<std::int32_t>(src.size());
    Table got(256, -7);
    ASSERT_EQ(orvsHuffLenCodeTableUnpack_8u(src.data(), &size, got.data()), orvStsOk);
    EXPECT_EQ(size, static_cast<std::int32_t>(packed.size()));
    EXPECT_EQ(got, t);
}

TEST(HuffLenTable, DocumentedLayouts) {
    Table abc(256, 0);
    abc[65] = 1;
    abc[66] = 2;
    abc[67] = 2;
    const Bytes p = pack(abc);
    ASSERT_EQ(p.size(), 22u);
    const auto n = nibbles(p);
    EXPECT_EQ((std::vector<int>(n.begin(), n.begin() + 4)), (std::vector<int>{0, 0, 15, 6}));
    expectUnpacksTo(p, abc);

    const Table nines(256, 9);
    const Bytes p9 = pack(nines);
    ASSERT_EQ(p9.size(), 20u);
    std::vector<int> expect = {9, 9, 9, 15, 6};
    for (int k = 0; k < 6; ++k) expect.insert(expect.end(), {13, 9, 9, 15, 6});
    expect.insert(expect.end(), {13, 9, 9, 14, 2});
    EXPECT_EQ(nibbles(p9), expect);
    expectUnpacksTo(p9, nines);

    // Last three equal after a different length: a count of 0 closes the table.
    Table three(256, 7);
    three[253] = three[254] = three[255] = 5;
    const Bytes p3 = pack(three);
    std::vector<int> e3 = {7, 7, 7, 15, 6};
    for (int k = 0; k < 6; ++k) e3.insert(e3.end(), {13, 7, 7, 15, 6});
    e3.insert(e3.end(), {13, 7, 7, 12, 5, 5, 5, 0, 0});
    EXPECT_EQ(nibbles(p3), e3);
    expectUnpacksTo(p3, three);
    // Last two equal: no count.
    Table two(256, 7);
    two[253] = 6;
    two[254] = two[255] = 5;
    std::vector<int> e2(e3.begin(), e3.end() - 5);
    e2.insert(e2.end(), {6, 5, 5});
    EXPECT_EQ(nibbles(pack(two)), e2);
    expectUnpacksTo(pack(two), two);
}

TEST(HuffLenTable, BankSelectorsOnlyWhereTheBankChanges) {
    Table t(256, 0);
    t[100] = 12;
    t[101] = 13;
    t[102] = 25;
    t[103] = 26;
    const Bytes p = pack(t);
    const auto n = nibbles(p);
    const std::vector<int> run = {12, 14, 0, 12, 15, 0};
    EXPECT_NE(std::search(n.begin(), n.end(), run.begin(), run.end()), n.end());
    expectUnpacksTo(p, t);

    // Every length in another bank than the one before: the largest table.
    Table worst(256, 0);
    for (std::size_t i = 0; i < 256; i += 2) worst[i] = 26;
    const Bytes pw = pack(worst);
    EXPECT_EQ(pw.size(), kMaxPackedBytes);
    expectUnpacksTo(pw, worst);

    Table big(256, 0);
    big[0] = 33;
    const Bytes pb = pack(big, orvStsNoCode);
    EXPECT_EQ(pb[0], 0xF7);
}

TEST(HuffLenTable, RandomTablesRoundTrip) {
    Rng rng(31);
    for (int round = 0; round < 2000; ++round) {
        Table t(256);
        std::size_t i = 0;
        while (i < 256) {
            const auto v = static_cast<std::int32_t>(rng.below(round % 3 == 0 ? 33 : 12));
            const std::size_t run = 1 + rng.below(rng.below(4) == 0 ? 80 : 4);
            for (std::size_t k = 0; k < run && i < 256; ++k) t[i++] = v;
        }
        const Bytes p = pack(t);
        expectUnpacksTo(p, t);
    }
}

TEST(HuffLenTable, ShortDestinationsAndSources) {
    Table t(256, 0);
    for (int s = 0; s < 256; ++s) t[static_cast<std::size_t>(s)] = s % 9;
    const Bytes full = pack(t);
    ASSERT_GT(full.size(), 3u);
    Bytes three(3);
    std::int32_t size = 3;
    EXPECT_EQ(orvsHuffLenCodeTablePack_8u(t.data(), three.data(), &size), orvStsBadSize);
    EXPECT_EQ(size, 3);
    EXPECT_TRUE(std::equal(three.begin(), three.end(), full.begin()));

    // Cut short: the status says so, the size stays, the table reads the
    // missing nibbles as 0.
    for (std::size_t cut = 1; cut < full.size(); ++cut) {
        Bytes src(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        std::int32_t n = static_cast<std::int32_t>(cut);
        Table got(256, -1);
        ASSERT_EQ(orvsHuffLenCodeTableUnpack_8u(src.data(), &n, got.data()), orvStsBadSize);
        EXPECT_EQ(n, static_cast<std::int32_t>(cut));
        Bytes padded = src;
        padded.resize(300, 0);
        std::int32_t m = 300;
        Table same(256, -1);
        ASSERT_EQ(orvsHuffLenCodeTableUnpack_8u(padded.data(), &m, same.data()), orvStsOk);
        EXPECT_EQ(got, same);
    }

    std::int32_t zero = 0;
    Bytes dst(4);
    EXPECT_EQ(orvsHuffLenCodeTablePack_8u(t.data(), dst.data(), &zero), orvStsBadSize);
    EXPECT_EQ(orvsHuffLenCodeTablePack_8u(nullptr, dst.data(), &zero), orvStsNullPtr);
    EXPECT_EQ(orvsHuffLenCodeTablePack_8u(t.data(), nullptr, &zero), orvStsNullPtr);
    EXPECT_EQ(orvsHuffLenCodeTableUnpack_8u(dst.data(), &zero, t.data()), orvStsBadSize);
    EXPECT_EQ(orvsHuffLenCodeTableUnpack_8u(dst.data(), nullptr, t.data()), orvStsNullPtr);
    EXPECT_EQ(orvsHuffLenCodeTableUnpack_8u(dst.data(), &zero, nullptr), orvStsNullPtr);
}

TEST(HuffLenTable, BufferSizes) {
    Table t(256, 0);
    for (int l = 1; l <= 8; ++l) t[static_cast<std::size_t>(l * 20)] = l;
    std::int32_t enc = 0, dec = 0;
    ASSERT_EQ(orvsHuffGetDstBuffSize_8u(t.data(), 100, &enc, &dec), orvStsOk);
    EXPECT_EQ(enc, 101);
    EXPECT_EQ(dec, 6400);
    ASSERT_EQ(orvsHuffGetDstBuffSize_8u(t.data(), 100, nullptr, nullptr), orvStsOk);

    const Table none(256, 0);
    ASSERT_EQ(orvsHuffGetDstBuffSize_8u(none.data(), 10, &enc, &dec), orvStsOk);
    EXPECT_EQ(enc, (10 + 1 + 7) / 8);
    EXPECT_EQ(dec, 20);

    EXPECT_EQ(orvsHuffGetDstBuffSize_8u(nullptr, 10, &enc, &dec), orvStsNullPtr);
    EXPECT_EQ(orvsHuffGetDstBuffSize_8u(t.data(), 0, &enc, &dec), orvStsBadSize);
    Table bad = t;
    bad[3] = 33;
    EXPECT_EQ(orvsHuffGetDstBuffSize_8u(bad.data(), 10, &enc, &dec), orvStsNoCode);
    bad[3] = -2;
    EXPECT_EQ(orvsHuffGetDstBuffSize_8u(bad.data(), 10, &enc, &dec), orvStsNoCode);
    // Sizes that do not fit 32 bits are refused rather than wrapped.
    EXPECT_EQ(orvsHuffGetDstBuffSize_8u(t.data(), 0x7FFFFFFE, nullptr, &dec), orvStsBadSize);
    EXPECT_EQ(orvsHuffGetDstBuffSize_8u(t.data(), 0x7FFFFFFF, &enc, nullptr), orvStsBadSize);
    ASSERT_EQ(orvsHuffGetDstBuffSize_8u(t.data(), 0x7FFFFFFE, &enc, nullptr), orvStsOk);
    EXPECT_EQ(enc, 0x7FFFFFFF);
}

}  // namespace
