// Code construction: lengths and values against the tree-based reference on
// many frequency tables (ties included), the documented small cases, the
// frequency and length limits, and the argument checks of the encoder side.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/test_support.h"
#include "huff_reference.h"
#include "huffman/huff_state.h"
#include "orvdc.h"

namespace {

using orvdc::test::Rng;
namespace ref = orvdc::test::huffref;

struct Freqs {
    std::int32_t f[256] = {};
};

// Builds with the library and with the reference and compares everything
// the state exposes.  Returns the library status.
orvStatus checkAgainstReference(const Freqs& fr, const char* what) {
    HuffState st;
    const orvStatus sts = orvsEncodeHuffInit_8u(fr.f, &st);
    ref::Lengths rl;
    const bool ok = ref::buildLengths(fr.f, rl);
    if (!ok) {
        EXPECT_EQ(sts, orvStsBadFreqTable) << what;
        return sts;
    }
    std::int32_t got[256];
    EXPECT_EQ(orvsHuffGetLenCodeTable_8u(got, &st), orvStsOk);
    int longest = 0;
    for (int s = 0; s < 256; ++s) {
        EXPECT_EQ(got[s], rl[s]) << what << " symbol " << s;
        longest = std::max(longest, rl[s]);
    }
    if (longest > 32) {
        EXPECT_EQ(sts, orvStsCodeTooLong) << what;
        return sts;
    }
    EXPECT_EQ(sts, orvStsOk) << what;
    const ref::Values rv = ref::canonicalValues(rl);
    for (int s = 0; s < 256; ++s) EXPECT_EQ(st.codeValue[s], rv[s]) << what << " symbol " << s;
    EXPECT_EQ(st.longest, longest);
    EXPECT_EQ(st.bitCount, 0);
    return sts;
}

TEST(HuffCodeBuild, MatchesReferenceOnRandomTables) {
    Rng rng(11);
    for (int round = 0; round < 1500; ++round) {
        Freqs fr;
        const unsigned kind = round % 6;
        const unsigned present = 1 + rng.below(256);
        for (unsigned k = 0; k < present; ++k) {
            const unsigned s = rng.below(256);
            switch (kind) {
                case 0: fr.f[s] = 7; break;                                          // flat: all ties
                case 1: fr.f[s] = 1 + static_cast<std::int32_t>(rng.below(4)); break;  // many ties
                case 2: fr.f[s] = 1 + static_cast<std::int32_t>(rng.below(100000)); break;
                case 3: fr.f[s] = 1 << rng.below(20); break;                         // skewed, power-law
                case 4: fr.f[s] = 1 + static_cast<std::int32_t>(rng.below(1u << rng.below(24))); break;
                default: fr.f[s] = static_cast<std::int32_t>(rng.below(3)); break;   // zeros mixed in
            }
        }
        checkAgainstReference(fr, "random");
    }
}

TEST(HuffCodeBuild, MatchesReferenceOnAll256AndSingleSymbols) {
    Rng rng(12);
    for (int round = 0; round < 200; ++round) {
        Freqs fr;
        for (int s = 0; s < 256; ++s) fr.f[s] = 1 + static_cast<std::int32_t>(rng.below(round < 100 ? 3 : 5000));
        checkAgainstReference(fr, "all 256");
    }
    for (int s = 0; s < 256; s += 17) {
        Freqs fr;
        fr.f[s] = 5 + s;
        ASSERT_EQ(checkAgainstReference(fr, "single"), orvStsOk);
    }
}

TEST(HuffCodeBuild, DocumentedSmallCodes) {
    HuffState st;
    Freqs one;
    one.f[200] = 9;
    ASSERT_EQ(orvsEncodeHuffInit_8u(one.f, &st), orvStsOk);
    for (int s = 0; s < 256; ++s) EXPECT_EQ(st.codeLen[s], s == 200 ? 1 : 0);
    EXPECT_EQ(st.codeValue[200], 0u);

    Freqs abc;
    abc.f[int{'a'}] = 1;
    abc.f[int{'b'}] = 1;
    abc.f[int{'c'}] = 2;
    ASSERT_EQ(orvsEncodeHuffInit_8u(abc.f, &st), orvStsOk);
    EXPECT_EQ(st.codeLen[int{'a'}], 2);
    EXPECT_EQ(st.codeLen[int{'b'}], 2);
    EXPECT_EQ(st.codeLen[int{'c'}], 1);
    EXPECT_EQ(st.codeValue[int{'a'}], 1u);
    EXPECT_EQ(st.codeValue[int{'b'}], 0u);
    EXPECT_EQ(st.codeValue[int{'c'}], 1u);

    Freqs flat;
    for (int s = 0; s < 256; ++s) flat.f[s] = 1000;
    ASSERT_EQ(orvsEncodeHuffInit_8u(flat.f, &st), orvStsOk);
    for (int s = 0; s < 256; ++s) {
        EXPECT_EQ(st.codeLen[s], 8);
        EXPECT_EQ(st.codeValue[s], 255u - static_cast<unsigned>(s));
    }
}

TEST(HuffCodeBuild, FibonacciFrequenciesHitTheLengthLimit) {
    for (int symbols : {33, 34}) {
        Freqs fr;
        std::int32_t a = 1, b = 1;
        for (int s = 0; s < symbols; ++s) {
            fr.f[s] = a;
            const std::int32_t c = a + b;
            a = b;
            b = c;
        }
        HuffState st;
        const orvStatus sts = orvsEncodeHuffInit_8u(fr.f, &st);
        std::int32_t len[256];
        orvsHuffGetLenCodeTable_8u(len, &st);
        const int longest = *std::max_element(len, len + 256);
        EXPECT_EQ(longest, symbols - 1);
        EXPECT_EQ(sts, symbols == 33 ? orvStsOk : orvStsCodeTooLong);
        checkAgainstReference(fr, "fibonacci");
    }
}

TEST(HuffCodeBuild, RejectsBadFrequencyTablesWithoutTouchingTheState) {
    HuffState st;
    std::memset(&st, 0xA5, sizeof st);
    const HuffState before = st;
    Freqs zero;
    EXPECT_EQ(orvsEncodeHuffInit_8u(zero.f, &st), orvStsBadFreqTable);
    Freqs negative;
    negative.f[3] = 5;
    negative.f[9] = -1;
    EXPECT_EQ(orvsEncodeHuffInit_8u(negative.f, &st), orvStsBadFreqTable);
    Freqs total;
    total.f[0] = 0x7FFFFFFF;
    total.f[255] = 1;
    EXPECT_EQ(orvsEncodeHuffInit_8u(total.f, &st), orvStsBadFreqTable);
    Freqs largest;
    largest.f[7] = 0x7FFFFFFF;
    EXPECT_EQ(orvsEncodeHuffInit_8u(largest.f, &st), orvStsOk);  // the largest total that is allowed
    st = before;
    EXPECT_EQ(orvsEncodeHuffInit_8u(total.f, &st), orvStsBadFreqTable);
    EXPECT_EQ(std::memcmp(&st, &before, sizeof st), 0);
}

TEST(HuffCodeBuild, SizeAllocationAndNullChecks) {
    std::int32_t size = 0;
    EXPECT_EQ(orvsHuffGetSize_8u(nullptr), orvStsNullPtr);
    ASSERT_EQ(orvsHuffGetSize_8u(&size), orvStsOk);
    EXPECT_EQ(size, 2596);

    Freqs fr;
    fr.f[1] = 1;
    fr.f[2] = 3;
    HuffState st;
    EXPECT_TRUE(orvdc::test::eachNullRefused(orvsEncodeHuffInit_8u, fr.f, &st));
    EXPECT_EQ(orvsEncodeHuffInitAlloc_8u(fr.f, nullptr), orvStsNullPtr);

    // InitAlloc hands out the block even when the Init fails.
    HuffState* p = nullptr;
    EXPECT_EQ(orvsEncodeHuffInitAlloc_8u(nullptr, &p), orvStsNullPtr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 32, 0u);
    orvsHuffFree_8u(p);
    p = nullptr;
    ASSERT_EQ(orvsEncodeHuffInitAlloc_8u(fr.f, &p), orvStsOk);
    std::int32_t len[256];
    EXPECT_TRUE(orvdc::test::eachNullRefused(orvsHuffGetLenCodeTable_8u, len, p));
    ASSERT_EQ(orvsHuffGetLenCodeTable_8u(len, p), orvStsOk);
    EXPECT_EQ(len[1], 1);
    EXPECT_EQ(len[2], 1);
    orvsHuffFree_8u(p);
}

// The state works at an address that is only 4-byte aligned.
TEST(HuffCodeBuild, StateInFourByteAlignedMemory) {
    std::vector<std::uint32_t> mem(2596 / 4 + 2);
    auto* st = reinterpret_cast<HuffState*>(reinterpret_cast<std::uint8_t*>(mem.data()) + 4);
    Freqs fr;
    for (int s = 0; s < 256; ++s) fr.f[s] = 1 + s % 7;
    ASSERT_EQ(orvsEncodeHuffInit_8u(fr.f, st), orvStsOk);
    std::int32_t len[256];
    ASSERT_EQ(orvsHuffGetLenCodeTable_8u(len, st), orvStsOk);
    ASSERT_EQ(orvsDecodeHuffInit_8u(len, st), orvStsOk);
}

}  // namespace
