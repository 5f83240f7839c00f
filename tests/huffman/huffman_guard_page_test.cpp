// The Huffman decoders with sources and destinations ending right before an
// inaccessible page: the block decoder at every source length and capacity
// near the end, the single-symbol decoder reading exactly the bytes it
// promises, and the length-table unpacker on every truncation.  A single
// byte accessed past a buffer faults.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/test_support.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::GuardedMemory;

TEST(HuffmanGuardPage, DecodersAtThePageEnd) {
    const Bytes data = orvdc::test::skewedBytes(3000, 60, 2);
    std::int32_t freq[256] = {};
    for (auto b : data) ++freq[b];
    HuffState* enc = nullptr;
    HuffState* dec = nullptr;
    ASSERT_EQ(orvsEncodeHuffInitAlloc_8u(freq, &enc), orvStsOk);
    std::int32_t lens[256];
    ASSERT_EQ(orvsHuffGetLenCodeTable_8u(lens, enc), orvStsOk);
    ASSERT_EQ(orvsDecodeHuffInitAlloc_8u(lens, &dec), orvStsOk);
    Bytes stream(data.size() * 4 + 8);
    std::int32_t body = 0, tail = 0;
    ASSERT_EQ(orvsEncodeHuff_8u(data.data(), static_cast<std::int32_t>(data.size()), stream.data(), &body, enc), orvStsOk);
    ASSERT_EQ(orvsEncodeHuffFinal_8u(stream.data() + body, &tail, enc), orvStsOk);
    stream.resize(static_cast<std::size_t>(body + tail));
    std::int32_t maxLen = 0;
    for (auto l : lens) maxLen = std::max(maxLen, l);

    GuardedMemory src(stream.size()), dst(data.size());
    for (std::size_t len = 1; len <= stream.size(); len += len < 64 || len + 64 > stream.size() ? 1 : 50) {
        for (std::size_t cap : {std::size_t{1}, std::size_t{7}, data.size()}) {
            HuffState* st = nullptr;
            ASSERT_EQ(orvsDecodeHuffInitAlloc_8u(lens, &st), orvStsOk);
            auto dLen = static_cast<std::int32_t>(cap);
            ASSERT_EQ(orvsDecodeHuff_8u(src.place(stream.data(), len), static_cast<std::int32_t>(len), dst.end(cap), &dLen, st),
                      orvStsOk);
            EXPECT_TRUE(std::equal(dst.end(cap), dst.end(cap) + dLen, data.begin()));
            orvsHuffFree_8u(st);
        }
    }
    // Single symbols: (offset + longest length + 7) / 8 bytes are read.
    for (int offset = 0; offset < 8; ++offset) {
        const std::size_t need = static_cast<std::size_t>(offset + maxLen + 7) / 8;
        EXPECT_GE(orvsDecodeHuffOne_8u(src.place(stream.data(), need), offset, dst.end(1), dec), orvStsNoCode);
    }
    // The packed length table and every truncation of it.
    Bytes packed(200);
    auto packedLen = static_cast<std::int32_t>(packed.size());
    ASSERT_EQ(orvsHuffLenCodeTablePack_8u(lens, packed.data(), &packedLen), orvStsOk);
    for (std::int32_t len = 1; len <= packedLen; ++len) {
        std::int32_t back[256];
        std::int32_t l = len;
        orvsHuffLenCodeTableUnpack_8u(src.place(packed.data(), static_cast<std::size_t>(len)), &l, back);
        if (len == packedLen) {
            EXPECT_TRUE(std::equal(back, back + 256, lens));
        }
    }
    orvsHuffFree_8u(enc);
    orvsHuffFree_8u(dec);
}

}  // namespace
