// VLC encoder: object sizes, the exact bits at every position, block and
// single-value equivalence, the write boundary and argument checks.
#include <gtest/gtest.h>

#include <vector>

#include "vlc/vlc_model.h"

namespace {

using orvdc::test::Rng;
using namespace orvdc::test::vlc;

const std::vector<VLCTableEntry> kSmall = {{-1, 0b0, 1}, {0, 0b10, 2}, {1, 0b11, 2}};

struct Encoder {
    VLCEncodeSpec* vlcSpec = nullptr;
    explicit Encoder(const std::vector<VLCTableEntry>& t) {
        EXPECT_EQ(orvsVLCEncodeInitAlloc_32s(t.data(), static_cast<int32_t>(t.size()), &vlcSpec), orvStsOk);
    }
    ~Encoder() { orvsVLCEncodeFree_32s(vlcSpec); }
};

// Every code length 1..32 at every offset: the bits are those of the
// reference writer, earlier bits survive, and not one byte past the last
// code bit is written (the destination ends right there).
TEST(VlcEncode, EveryLengthAtEveryOffsetMatchesTheReference) {
    Rng rng(11);
    for (int length = 1; length <= 32; ++length) {
        const std::uint32_t code = static_cast<std::uint32_t>(rng.next());
        const std::vector<VLCTableEntry> t = {{0, code, length}, {1, ~code, 33 - length}};
        Encoder e(t);
        for (int offset = 0; offset < 8; ++offset) {
            for (int16_t first : {0, 1}) {
                const int16_t values[] = {first, static_cast<int16_t>(1 - first), first};
                const int lengths[] = {first ? 33 - length : length, first ? length : 33 - length};
                const int total = offset + 2 * lengths[0] + lengths[1];
                const std::uint8_t lead = static_cast<std::uint8_t>(rng.next());
                RefWriter ref;
                for (int b = 0; b < offset; ++b) ref.putBit((lead >> (7 - b)) & 1u);
                for (int16_t v : values) ref.put(t[static_cast<std::size_t>(v)].code, t[static_cast<std::size_t>(v)].length);

                const std::size_t bytes = static_cast<std::size_t>((total + 7) / 8);
                GuardedBytes out(bytes, false);
                out.data()[0] = lead;
                std::uint8_t* p = out.data();
                int32_t pos = offset;
                ASSERT_EQ(orvsVLCEncodeBlock_16s1u(values, 3, &p, &pos, e.vlcSpec), orvStsOk);
                EXPECT_EQ(p, out.data() + total / 8);
                EXPECT_EQ(pos, total % 8);
                for (int b = 0; b < total; ++b) {
                    ASSERT_EQ(bitAt(out.data(), static_cast<std::size_t>(b)), bitAt(ref.bytes.data(), static_cast<std::size_t>(b)))
                        << "length " << length << " offset " << offset << " bit " << b;
                }
                // The same values one at a time give the same bits.
                GuardedBytes one(bytes, false);
                one.data()[0] = lead;
                p = one.data();
                pos = offset;
                for (int16_t v : values) ASSERT_EQ(orvsVLCEncodeOne_16s1u(v, &p, &pos, e.vlcSpec), orvStsOk);
                EXPECT_EQ(p, one.data() + total / 8);
                EXPECT_EQ(pos, total % 8);
                for (int b = 0; b < total; ++b) {
                    ASSERT_EQ(bitAt(one.data(), static_cast<std::size_t>(b)), bitAt(ref.bytes.data(), static_cast<std::size_t>(b)));
                }
            }
        }
    }
}

// Random prefix codes: block, one-by-one and bit count all agree with the
// reference writer.
TEST(VlcEncode, RandomTablesMatchTheReference) {
    Rng rng(12);
    for (int round = 0; round < 40; ++round) {
        const int count = 2 + static_cast<int>(rng.below(round < 20 ? 40 : 3000));
        const auto t = randomPrefixCode(rng, count, 1 + static_cast<int>(rng.below(32)), -20000, 40000);
        Encoder e(t);
        int32_t size = 0;
        ASSERT_EQ(orvsVLCEncodeGetSize_32s(t.data(), static_cast<int32_t>(t.size()), &size), orvStsOk);
        std::int64_t lo = t[0].value, hi = t[0].value;
        for (const auto& x : t) lo = std::min<std::int64_t>(lo, x.value), hi = std::max<std::int64_t>(hi, x.value);
        const std::int64_t range = hi - lo + 1;
        std::int64_t pow = 1;
        while (pow <= range) pow *= 2;
        EXPECT_EQ(size, (pow + range) * 4 + 64);

        std::vector<int16_t> values(1 + rng.below(500));
        for (auto& v : values) v = static_cast<int16_t>(t[rng.below(static_cast<std::uint32_t>(t.size()))].value);
        const int offset = static_cast<int>(rng.below(8));
        RefWriter ref;
        for (int b = 0; b < offset; ++b) ref.putBit(0);
        std::int64_t bits = 0;
        for (int16_t v : values) {
            const auto& x = *std::find_if(t.begin(), t.end(), [v](const VLCTableEntry& y) { return y.value == v; });
            ref.put(x.code, x.length);
            bits += x.length;
        }
        int32_t counted = 0;
        ASSERT_EQ(orvsVLCCountBits_16s32s(values.data(), static_cast<int32_t>(values.size()), &counted, e.vlcSpec), orvStsOk);
        EXPECT_EQ(counted, bits);
        std::vector<std::uint8_t> out(ref.bytes.size() + 4, 0);
        std::uint8_t* p = out.data();
        int32_t pos = offset;
        ASSERT_EQ(orvsVLCEncodeBlock_16s1u(values.data(), static_cast<int32_t>(values.size()), &p, &pos, e.vlcSpec), orvStsOk);
        EXPECT_EQ(p - out.data(), static_cast<std::ptrdiff_t>(ref.bitCount / 8));
        EXPECT_EQ(pos, static_cast<int32_t>(ref.bitCount % 8));
        for (std::size_t b = 0; b < ref.bitCount; ++b) ASSERT_EQ(bitAt(out.data(), b), bitAt(ref.bytes.data(), b));
    }
}

TEST(VlcEncode, FirstOfRepeatedValuesWins) {
    const std::vector<VLCTableEntry> t = {{3, 0b1, 1}, {4, 0b01, 2}, {3, 0b00, 2}};
    Encoder e(t);
    std::uint8_t buf[2] = {0, 0};
    std::uint8_t* p = buf;
    int32_t offset = 0;
    ASSERT_EQ(orvsVLCEncodeOne_16s1u(3, &p, &offset, e.vlcSpec), orvStsOk);
    EXPECT_EQ(offset, 1);
    EXPECT_EQ(buf[0], 0x80);
}

// Init in caller memory that is only 4-byte aligned uses no byte beyond the
// GetSize result and works like the allocated object.
TEST(VlcEncode, InitFitsLooselyAlignedCallerMemory) {
    Rng rng(13);
    const auto t = randomPrefixCode(rng, 300, 20, -5000, 10000);
    int32_t size = 0;
    ASSERT_EQ(orvsVLCEncodeGetSize_32s(t.data(), 300, &size), orvStsOk);
    LooseMemory mem(size);
    std::fill(mem.storage.begin(), mem.storage.end(), 0xA5);
    auto* vlcSpec = reinterpret_cast<VLCEncodeSpec*>(mem.at);
    ASSERT_EQ(orvsVLCEncodeInit_32s(t.data(), 300, vlcSpec), orvStsOk);
    for (auto* q = mem.at + size; q < mem.storage.data() + mem.storage.size(); ++q) ASSERT_EQ(*q, 0xA5);
    for (auto* q = mem.storage.data(); q < mem.at; ++q) ASSERT_EQ(*q, 0xA5);
    const int16_t v = static_cast<int16_t>(t[7].value);
    std::uint8_t buf[8] = {};
    std::uint8_t* p = buf;
    int32_t offset = 3;
    ASSERT_EQ(orvsVLCEncodeOne_16s1u(v, &p, &offset, vlcSpec), orvStsOk);
    EXPECT_EQ((p - buf) * 8 + offset, 3 + t[7].length);
    // Free invalidates but leaves the caller's memory alone.
    orvsVLCEncodeFree_32s(vlcSpec);
    p = buf;
    offset = 0;
    EXPECT_EQ(orvsVLCEncodeOne_16s1u(v, &p, &offset, vlcSpec), orvStsBadContext);
}

TEST(VlcEncode, RefusesBadTablesAndSizes) {
    int32_t size = -7;
    VLCEncodeSpec* vlcSpec = nullptr;
    alignas(32) std::uint8_t mem[256];
    auto* place = reinterpret_cast<VLCEncodeSpec*>(mem);
    using orvdc::test::eachNullRefused;
    EXPECT_TRUE(eachNullRefused(orvsVLCEncodeGetSize_32s, kSmall.data(), 3, &size));
    EXPECT_TRUE(eachNullRefused(orvsVLCEncodeInit_32s, kSmall.data(), 3, place));
    EXPECT_EQ(orvsVLCEncodeInitAlloc_32s(kSmall.data(), 3, nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsVLCEncodeGetSize_32s(kSmall.data(), 0, &size), orvStsBadContext);
    EXPECT_EQ(orvsVLCEncodeInit_32s(kSmall.data(), -1, place), orvStsBadContext);
    EXPECT_EQ(orvsVLCEncodeInitAlloc_32s(kSmall.data(), 0, &vlcSpec), orvStsBadContext);
    for (int32_t badLength : {0, -3, 33}) {
        const std::vector<VLCTableEntry> t = {{0, 0, 1}, {1, 1, badLength}};
        EXPECT_EQ(orvsVLCEncodeGetSize_32s(t.data(), 2, &size), orvStsBadCodeLength);
        EXPECT_EQ(orvsVLCEncodeInit_32s(t.data(), 2, place), orvStsBadCodeLength);
        EXPECT_EQ(orvsVLCEncodeInitAlloc_32s(t.data(), 2, &vlcSpec), orvStsBadCodeLength);
    }
    // A value range whose tables would not fit 2^31 bytes.
    const std::vector<VLCTableEntry> wide = {{INT32_MIN, 0, 1}, {INT32_MAX, 1, 1}};
    EXPECT_EQ(orvsVLCEncodeGetSize_32s(wide.data(), 2, &size), orvStsBadSize);
    EXPECT_EQ(size, -7);
    EXPECT_EQ(vlcSpec, nullptr);
    orvsVLCEncodeFree_32s(nullptr);
}

TEST(VlcEncode, RefusesBadArgumentsWithoutWriting) {
    const std::vector<VLCTableEntry> t = {{-2, 0b0, 1}, {0, 0b10, 2}, {1, 0b11, 2}};  // -1 is missing
    Encoder e(t);
    std::uint8_t buf[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    const std::vector<std::uint8_t> before(buf, buf + 8);
    std::uint8_t* p = buf;
    int32_t offset = 2;
    int32_t count = -5;
    const int16_t good[] = {0, 1, -2};
    using orvdc::test::eachNullRefused;
    EXPECT_TRUE(eachNullRefused(orvsVLCEncodeBlock_16s1u, good, 3, &p, &offset, e.vlcSpec));
    EXPECT_TRUE(eachNullRefused(orvsVLCEncodeOne_16s1u, 0, &p, &offset, e.vlcSpec));
    EXPECT_TRUE(eachNullRefused(orvsVLCCountBits_16s32s, good, 3, &count, e.vlcSpec));
    EXPECT_EQ(orvsVLCEncodeBlock_16s1u(good, 0, &p, &offset, e.vlcSpec), orvStsBadContext);
    EXPECT_EQ(orvsVLCCountBits_16s32s(good, 0, &count, e.vlcSpec), orvStsBadContext);
    for (int32_t badOffset : {-1, 8}) {
        offset = badOffset;
        EXPECT_EQ(orvsVLCEncodeBlock_16s1u(good, 3, &p, &offset, e.vlcSpec), orvStsBadContext);
        EXPECT_EQ(orvsVLCEncodeOne_16s1u(0, &p, &offset, e.vlcSpec), orvStsBadContext);
    }
    offset = 2;
    // Values outside min..max or absent from the table, anywhere in a block.
    for (int16_t bad : {-1, -3, 2, 32767, -32768}) {
        const int16_t block[] = {0, 1, bad};
        EXPECT_EQ(orvsVLCEncodeBlock_16s1u(block, 3, &p, &offset, e.vlcSpec), orvStsBadContext);
        EXPECT_EQ(orvsVLCEncodeOne_16s1u(bad, &p, &offset, e.vlcSpec), orvStsBadContext);
        EXPECT_EQ(orvsVLCCountBits_16s32s(block, 3, &count, e.vlcSpec), orvStsBadContext);
    }
    // An object that was never built.
    alignas(32) std::uint8_t junk[128] = {};
    EXPECT_EQ(orvsVLCEncodeOne_16s1u(0, &p, &offset, reinterpret_cast<VLCEncodeSpec*>(junk)), orvStsBadContext);
    EXPECT_EQ(p, buf);
    EXPECT_EQ(offset, 2);
    EXPECT_EQ(count, -5);
    EXPECT_EQ(std::vector<std::uint8_t>(buf, buf + 8), before);
}

}  // namespace
