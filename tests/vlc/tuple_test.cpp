// VLC tuple decoder: sizes, sign bits, partial blocks, round trips of random
// tuple codes, the read boundary, argument limits and the shared Free.
#include <gtest/gtest.h>

#include <vector>

#include "vlc/vlc_common.h"
#include "vlc/vlc_model.h"

namespace {

using orvdc::test::Rng;
using namespace orvdc::test::vlc;

struct TupleDecoder {
    VLCDecodeUTupleSpec* vlcSpec = nullptr;
    orvStatus status;
    TupleDecoder(const std::vector<VLCTableEntry>& t, const std::vector<int32_t>& widths, int32_t count, int32_t bits) {
        status = orvsVLCDecodeUTupleInitAlloc_32s(t.data(), static_cast<int32_t>(t.size()), widths.data(),
                                                  static_cast<int32_t>(widths.size()), count, bits, &vlcSpec);
    }
    ~TupleDecoder() { orvsVLCDecodeUTupleFree_32s(vlcSpec); }
};

TEST(VlcTuple, EightThreeBitCodesExample) {
    std::vector<VLCTableEntry> t;
    for (int v = 0; v < 8; ++v) t.push_back({v, static_cast<std::uint32_t>(v), 3});
    const int32_t w[] = {3};
    int32_t size = 0;
    ASSERT_EQ(orvsVLCDecodeUTupleGetSize_32s(t.data(), 8, w, 1, 2, 2, &size), orvStsOk);
    EXPECT_EQ(size, 109);
    // Caller memory of exactly that size at the least alignment allowed.
    LooseMemory mem(size);
    std::fill(mem.storage.begin(), mem.storage.end(), 0x3C);
    auto* vlcSpec = reinterpret_cast<VLCDecodeUTupleSpec*>(mem.at);
    ASSERT_EQ(orvsVLCDecodeUTupleInit_32s(t.data(), 8, w, 1, 2, 2, vlcSpec), orvStsOk);
    for (auto* q = mem.at + size; q < mem.storage.data() + mem.storage.size(); ++q) ASSERT_EQ(*q, 0x3C);
    const auto& h = *reinterpret_cast<const orvdc::vlc::TupleHeader*>(orvdc::vlc::alignUp32(mem.at));
    EXPECT_EQ(h.base.entryBits, 8);
    EXPECT_EQ(h.base.lengthBits, 2);
    EXPECT_EQ(h.tupleBits, 4);
    // Code 110 = tuple (1, 2), then sign bits 0 and 1.
    const std::uint8_t stream[6] = {0b11001000, 0, 0, 0, 0, 0};
    const std::uint8_t* p = stream;
    int32_t offset = 0;
    int16_t out[2];
    ASSERT_EQ(orvsVLCDecodeUTupleOne_1u16s(&p, &offset, out, vlcSpec), orvStsOk);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], -2);
    EXPECT_EQ(offset, 5);
    orvsVLCDecodeUTupleFree_32s(vlcSpec);
    EXPECT_EQ(orvsVLCDecodeUTupleOne_1u16s(&p, &offset, out, vlcSpec), orvStsBadContext);
}

// Sign bits follow the code only for non-zero magnitudes.
TEST(VlcTuple, SignBitsOnlyForNonZeroMagnitudes) {
    // (3, 0, 1) has code 1, (0, 0, 0) has code 0.
    const std::vector<VLCTableEntry> t = {{(3 << 4) | 1, 0b1, 1}, {0, 0b0, 1}};
    TupleDecoder d(t, {1}, 3, 2);
    ASSERT_EQ(d.status, orvStsOk);
    // 1 | sign 1 | sign 0 | 0 | 1 | sign 0 | sign 0
    const std::uint8_t stream[6] = {0b11001000, 0, 0, 0, 0, 0};
    const std::uint8_t* p = stream;
    int32_t offset = 0;
    int16_t out[3];
    ASSERT_EQ(orvsVLCDecodeUTupleOne_1u16s(&p, &offset, out, d.vlcSpec), orvStsOk);
    EXPECT_EQ(out[0], -3);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 1);
    EXPECT_EQ(offset, 3);
    ASSERT_EQ(orvsVLCDecodeUTupleOne_1u16s(&p, &offset, out, d.vlcSpec), orvStsOk);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(offset, 4);
    ASSERT_EQ(orvsVLCDecodeUTupleOne_1u16s(&p, &offset, out, d.vlcSpec), orvStsOk);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[2], 1);
    EXPECT_EQ(offset, 7);
    EXPECT_EQ(p, stream);
}

TEST(VlcTuple, BlocksDecodeWholeTuplesOnly) {
    const std::vector<VLCTableEntry> t = {{0x21, 0b1, 1}, {0, 0b0, 1}};  // (2, 1) and (0, 0)
    TupleDecoder d(t, {1}, 2, 4);
    ASSERT_EQ(d.status, orvStsOk);
    // (2,1)+ +, (0,0), (2,1)- +, then more bits
    const std::uint8_t stream[6] = {0b10001101, 0xFF, 0, 0, 0, 0};
    const std::uint8_t* p = stream;
    int32_t offset = 0;
    int16_t out[7] = {9, 9, 9, 9, 9, 9, 9};
    ASSERT_EQ(orvsVLCDecodeUTupleBlock_1u16s(&p, &offset, out, 7, d.vlcSpec), orvStsOk);
    const int16_t expect[7] = {2, 1, 0, 0, -2, 1, 9};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(out[i], expect[i]) << i;
    EXPECT_EQ(offset, 7);
    // Fewer values than one tuple: nothing happens.
    ASSERT_EQ(orvsVLCDecodeUTupleBlock_1u16s(&p, &offset, out, 1, d.vlcSpec), orvStsOk);
    ASSERT_EQ(orvsVLCDecodeUTupleBlock_1u16s(&p, &offset, out, -3, d.vlcSpec), orvStsOk);
    EXPECT_EQ(offset, 7);
    EXPECT_EQ(out[0], 2);
}

// Random tuple codes for several tuple shapes and width lists: block and
// single decoding give the tuples and the final position of the reference.
TEST(VlcTuple, RandomTuplesRoundTrip) {
    Rng rng(31);
    struct Shape {
        int count, bits, maxLength;
        std::vector<int32_t> widths;
    };
    const std::vector<Shape> shapes = {{1, 8, 24, {8, 8, 8}}, {2, 4, 16, {4, 4, 4, 4}}, {4, 3, 28, {10, 6, 6, 6}},
                                       {3, 5, 12, {12}}, {16, 1, 16, {1, 2, 3, 4, 5, 6}}, {2, 7, 30, {5, 5, 5, 5, 5, 5}}};
    for (const auto& s : shapes) {
        for (int round = 0; round < 6; ++round) {
            const std::uint32_t span = 1u << (s.count * s.bits);
            const int codes = 2 + static_cast<int>(rng.below(std::min<std::uint32_t>(span - 1, round % 2 ? 2000 : 40)));
            const auto t = randomPrefixCode(rng, codes, s.maxLength, 0, span);
            TupleDecoder d(t, s.widths, s.count, s.bits);
            ASSERT_EQ(d.status, orvStsOk);
            const int tuples = 1 + static_cast<int>(rng.below(300));
            const int offset = static_cast<int>(rng.below(8));
            RefWriter ref;
            for (int b = 0; b < offset; ++b) ref.putBit(1);
            std::vector<int16_t> expect;
            for (int k = 0; k < tuples; ++k) {
                const auto& e = t[rng.below(static_cast<std::uint32_t>(t.size()))];
                ref.put(e.code, e.length);
                for (int j = 0; j < s.count; ++j) {
                    const int m = (e.value >> ((s.count - 1 - j) * s.bits)) & ((1 << s.bits) - 1);
                    const unsigned sign = m != 0 ? rng.below(2) : 0;
                    if (m != 0) ref.putBit(sign);
                    expect.push_back(static_cast<int16_t>(sign ? -m : m));
                }
            }
            std::vector<std::uint8_t> stream = ref.bytes;
            stream.resize(stream.size() + 4, 0xA5);
            const std::uint8_t* p = stream.data();
            int32_t pos = offset;
            std::vector<int16_t> out(expect.size() + s.count - 1, 0x1111);
            ASSERT_EQ(orvsVLCDecodeUTupleBlock_1u16s(&p, &pos, out.data(), static_cast<int32_t>(out.size()), d.vlcSpec), orvStsOk);
            ASSERT_EQ(std::vector<int16_t>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(expect.size())), expect);
            for (std::size_t i = expect.size(); i < out.size(); ++i) EXPECT_EQ(out[i], 0x1111);
            EXPECT_EQ(p - stream.data(), static_cast<std::ptrdiff_t>(ref.bitCount / 8));
            EXPECT_EQ(pos, static_cast<int32_t>(ref.bitCount % 8));
            const std::uint8_t* q = stream.data();
            int32_t qpos = offset;
            std::vector<int16_t> one(static_cast<std::size_t>(s.count));
            for (int k = 0; k < tuples; ++k) {
                ASSERT_EQ(orvsVLCDecodeUTupleOne_1u16s(&q, &qpos, one.data(), d.vlcSpec), orvStsOk);
                for (int j = 0; j < s.count; ++j) ASSERT_EQ(one[static_cast<std::size_t>(j)], expect[static_cast<std::size_t>(k * s.count + j)]);
            }
            EXPECT_EQ(q, p);
            EXPECT_EQ(qpos, pos);
        }
    }
}

// With the longest code plus every sign bit the decoder reads no further
// than 4 bytes past them, and never before the current byte.
TEST(VlcTuple, ReadsStayWithinTheStream) {
    const std::vector<VLCTableEntry> t = {{0xFF, 0x3FFFFFFF, 30}, {0x01, 0, 1}, {0x10, 0x3FFFFFFE, 30}};
    TupleDecoder d(t, {10, 10, 10}, 2, 4);
    ASSERT_EQ(d.status, orvStsOk);
    for (int offset = 0; offset < 8; ++offset) {
        for (std::size_t k : {0u, 1u, 2u}) {
            RefWriter ref;
            for (int b = 0; b < offset; ++b) ref.putBit(0);
            ref.put(t[k].code, t[k].length);
            ref.putBit(1);
            if (k == 0) ref.putBit(1);
            const std::size_t needed = (ref.bitCount + 7) / 8;
            for (bool atStart : {true, false}) {
                GuardedBytes g(needed + 4, atStart);
                std::fill_n(g.data(), needed + 4, 0);
                std::copy(ref.bytes.begin(), ref.bytes.end(), g.data());
                const std::uint8_t* p = g.data();
                int32_t pos = offset;
                int16_t out[2];
                ASSERT_EQ(orvsVLCDecodeUTupleBlock_1u16s(&p, &pos, out, 2, d.vlcSpec), orvStsOk);
                EXPECT_EQ(static_cast<std::size_t>(p - g.data()) * 8 + static_cast<std::size_t>(pos), ref.bitCount);
                EXPECT_LT(out[0] + out[1], 0);
            }
        }
    }
}

TEST(VlcTuple, RefusesUnsupportedShapes) {
    const std::vector<VLCTableEntry> t = {{0, 0b0, 1}, {1, 0b1, 1}};
    const VLCTableEntry none[1] = {};
    const int32_t w1[] = {1}, w15[] = {15, 15};
    int32_t size = -1;
    alignas(32) std::uint8_t mem[512];
    auto* place = reinterpret_cast<VLCDecodeUTupleSpec*>(mem);
    VLCDecodeUTupleSpec* vlcSpec = nullptr;
    auto all = [&](const VLCTableEntry* table, int32_t n, const int32_t* w, int32_t levels, int32_t ec, int32_t eb) {
        const orvStatus a = orvsVLCDecodeUTupleGetSize_32s(table, n, w, levels, ec, eb, &size);
        EXPECT_EQ(orvsVLCDecodeUTupleInit_32s(table, n, w, levels, ec, eb, place), a);
        EXPECT_EQ(orvsVLCDecodeUTupleInitAlloc_32s(table, n, w, levels, ec, eb, &vlcSpec), a);
        return a;
    };
    // A zero or negative shape wins over a bad table.
    EXPECT_EQ(all(none, 0, w1, 1, 0, 2), orvStsBadArg);
    EXPECT_EQ(all(none, 0, w1, 0, 2, 0), orvStsBadArg);
    EXPECT_EQ(all(t.data(), 2, w1, 1, -1, 2), orvStsBadArg);
    EXPECT_EQ(all(t.data(), 2, w1, 1, 2, -4), orvStsBadArg);
    EXPECT_EQ(all(none, 0, w1, 1, 2, 2), orvStsBadCodeLength);
    // lengthBits 1 + 1 flag bit + 31 tuple bits > 32; 30 fits.
    EXPECT_EQ(all(t.data(), 2, w1, 1, 1, 31), orvStsBadArg);
    EXPECT_EQ(all(t.data(), 2, w1, 1, 1, 30), orvStsOk);
    orvsVLCDecodeUTupleFree_32s(vlcSpec);
    vlcSpec = nullptr;
    EXPECT_EQ(all(t.data(), 2, w1, 1, INT32_MAX, INT32_MAX), orvStsBadArg);
    // The longest code plus elementCount above 32.
    const std::vector<VLCTableEntry> long30 = {{0, 0, 1}, {1, 1, 30}};
    EXPECT_EQ(orvsVLCDecodeUTupleGetSize_32s(long30.data(), 2, w15, 2, 3, 1, &size), orvStsBadArg);
    EXPECT_EQ(orvsVLCDecodeUTupleInit_32s(long30.data(), 2, w15, 2, 3, 1, place), orvStsBadArg);
    EXPECT_EQ(orvsVLCDecodeUTupleGetSize_32s(long30.data(), 2, w15, 2, 2, 1, &size), orvStsOk);
    EXPECT_EQ(vlcSpec, nullptr);
    using orvdc::test::eachNullRefused;
    EXPECT_TRUE(eachNullRefused(orvsVLCDecodeUTupleGetSize_32s, t.data(), 2, w1, 1, 1, 1, &size));
    EXPECT_TRUE(eachNullRefused(orvsVLCDecodeUTupleInit_32s, t.data(), 2, w1, 1, 1, 1, place));
    EXPECT_EQ(orvsVLCDecodeUTupleInitAlloc_32s(nullptr, 2, w1, 1, 1, 1, &vlcSpec), orvStsNullPtr);
}

TEST(VlcTuple, RefusesBadArgumentsAndBadBits) {
    const std::vector<VLCTableEntry> t = {{1, 0b0, 1}, {2, 0b10, 2}};  // 11 is no code
    TupleDecoder d(t, {2}, 1, 2);
    ASSERT_EQ(d.status, orvStsOk);
    const std::uint8_t stream[6] = {0b01100110, 0, 0, 0, 0, 0};
    const std::uint8_t* p = stream;
    int32_t offset = 0;
    int16_t out[4] = {7, 7, 7, 7};
    EXPECT_TRUE(orvdc::test::eachNullRefused(orvsVLCDecodeUTupleOne_1u16s, &p, &offset, out, d.vlcSpec));
    EXPECT_TRUE(orvdc::test::eachNullRefused(orvsVLCDecodeUTupleBlock_1u16s, &p, &offset, out, 4, d.vlcSpec));
    for (int32_t bad : {-1, 8}) {
        EXPECT_EQ(orvsVLCDecodeUTupleOne_1u16s(&p, &bad, out, d.vlcSpec), orvStsBadContext);
        EXPECT_EQ(orvsVLCDecodeUTupleBlock_1u16s(&p, &bad, out, 4, d.vlcSpec), orvStsBadContext);
    }
    // 0 s | 10 s | 11: the third code is none; the position stays.
    EXPECT_EQ(orvsVLCDecodeUTupleBlock_1u16s(&p, &offset, out, 4, d.vlcSpec), orvStsBadContext);
    EXPECT_EQ(p, stream);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(out[0], -1);
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[2], 7);
}

// One Free serves both decoders under both names.
TEST(VlcTuple, SharedFreeReleasesEitherObject) {
    const std::vector<VLCTableEntry> t = {{0, 0b0, 1}, {1, 0b1, 1}};
    const int32_t w[] = {1};
    EXPECT_EQ(reinterpret_cast<void*>(&orvsVLCDecodeFree_32s), reinterpret_cast<void*>(&orvsVLCDecodeUTupleFree_32s));
    VLCDecodeSpec* single = nullptr;
    VLCDecodeUTupleSpec* tuple = nullptr;
    ASSERT_EQ(orvsVLCDecodeInitAlloc_32s(t.data(), 2, w, 1, &single), orvStsOk);
    ASSERT_EQ(orvsVLCDecodeUTupleInitAlloc_32s(t.data(), 2, w, 1, 1, 1, &tuple), orvStsOk);
    orvsVLCDecodeUTupleFree_32s(reinterpret_cast<VLCDecodeUTupleSpec*>(single));
    orvsVLCDecodeFree_32s(reinterpret_cast<VLCDecodeSpec*>(tuple));
    orvsVLCDecodeFree_32s(nullptr);
    orvsVLCDecodeUTupleFree_32s(nullptr);
}

}  // namespace
