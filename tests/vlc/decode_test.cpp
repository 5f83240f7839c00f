// VLC value decoder: object sizes and level widths, round trips of random
// prefix codes, block and single decoding, conflicts, bad bit patterns, the
// read boundaries and argument checks.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "vlc/vlc_common.h"
#include "vlc/vlc_model.h"

namespace {

using orvdc::test::Rng;
using namespace orvdc::test::vlc;

struct Decoder {
    VLCDecodeSpec* vlcSpec = nullptr;
    orvStatus status;
    Decoder(const std::vector<VLCTableEntry>& t, const std::vector<int32_t>& widths) {
        status = orvsVLCDecodeInitAlloc_32s(t.data(), static_cast<int32_t>(t.size()), widths.data(),
                                            static_cast<int32_t>(widths.size()), &vlcSpec);
    }
    ~Decoder() { orvsVLCDecodeFree_32s(vlcSpec); }
    const orvdc::vlc::DecodeHeader& header() const { return *reinterpret_cast<const orvdc::vlc::DecodeHeader*>(vlcSpec); }
};

// The element count of the lookup table, counted with sets of prefixes.
std::int64_t referenceElements(const std::vector<VLCTableEntry>& t, const std::vector<int>& used) {
    std::int64_t n = 1 + (std::int64_t{1} << used[0]);
    int prefix = used[0];
    for (std::size_t l = 1; l < used.size(); ++l) {
        std::set<std::uint32_t> seen;
        for (const auto& e : t) {
            const std::uint64_t code = e.code & ((std::uint64_t{1} << e.length) - 1);
            if (e.length > prefix) seen.insert(static_cast<std::uint32_t>(code >> (e.length - prefix)));
        }
        n += static_cast<std::int64_t>(seen.size()) * (1 + (std::int64_t{1} << used[l]));
        prefix += used[l];
    }
    return n;
}

std::vector<int> widthsUsed(const std::vector<int32_t>& widths, int maxLength) {
    std::vector<int> used;
    int sum = 0;
    for (int32_t w : widths) {
        if (sum >= maxLength) break;
        used.push_back(std::min(w, maxLength - sum));
        sum += used.back();
    }
    return used;
}

// Writes the codes of `values` behind `offset` zero bits.
RefWriter encodeRef(const std::vector<VLCTableEntry>& t, const std::vector<std::size_t>& which, int offset) {
    RefWriter w;
    for (int i = 0; i < offset; ++i) w.putBit(1);
    for (std::size_t k : which) w.put(t[k].code, t[k].length);
    return w;
}

// Widths are used until they reach the longest code; the last one is
// shortened, later ones (even invalid ones) are ignored, and the length field
// is sized from the widths as used.
TEST(VlcDecode, LevelWidthsAsUsed) {
    Rng rng(21);
    const auto t10 = randomPrefixCode(rng, 200, 10, -100, 200);
    int maxLength = 0;
    for (const auto& e : t10) maxLength = std::max(maxLength, static_cast<int>(e.length));
    ASSERT_EQ(maxLength, 10);
    Decoder d(t10, {4, 4, 4, 0});
    ASSERT_EQ(d.status, orvStsOk);
    EXPECT_EQ(d.header().lengthBits, 3);
    int32_t size = 0;
    const int32_t w[] = {4, 4, 4, 0};
    ASSERT_EQ(orvsVLCDecodeGetSize_32s(t10.data(), 200, w, 4, &size), orvStsOk);
    EXPECT_EQ(size, referenceElements(t10, {4, 4, 2}) * d.header().entryBits / 8 + 88);

    // Widths {2, 9} for codes up to 4 bits: the 9 is used as 2.
    const std::vector<VLCTableEntry> t4 = {{0, 0b0, 1}, {1, 0b10, 2}, {2, 0b110, 3}, {3, 0b1110, 4}, {4, 0b1111, 4}};
    Decoder d4(t4, {2, 9});
    ASSERT_EQ(d4.status, orvStsOk);
    EXPECT_EQ(d4.header().lengthBits, 2);
    const int32_t w4[] = {2, 9};
    ASSERT_EQ(orvsVLCDecodeGetSize_32s(t4.data(), 5, w4, 2, &size), orvStsOk);
    EXPECT_EQ(size, referenceElements(t4, {2, 2}) + 88);
}

// GetSize follows the element count and element width for random tables and
// width lists, and Init in loosely aligned caller memory of exactly that size
// stays inside it.
TEST(VlcDecode, SizesFitTheirObjects) {
    Rng rng(22);
    const std::vector<std::vector<int32_t>> widthLists = {{16}, {4, 4, 4, 4, 4, 4, 4, 4}, {8, 8, 8, 8},
                                                          {3, 1, 2, 5, 1, 1, 7, 9, 3}, {12, 10, 10}};
    for (int round = 0; round < 30; ++round) {
        const int maxLength = 1 + static_cast<int>(rng.below(round < 10 ? 16 : 32));
        const auto t = randomPrefixCode(rng, 2 + static_cast<int>(rng.below(600)), maxLength, -30000, 60000);
        for (const auto& widths : widthLists) {
            int longest = 0;
            for (const auto& e : t) longest = std::max(longest, static_cast<int>(e.length));
            const auto used = widthsUsed(widths, longest);
            int sum = 0;
            for (int w : used) sum += w;
            int32_t size = 0;
            const orvStatus st = orvsVLCDecodeGetSize_32s(t.data(), static_cast<int32_t>(t.size()), widths.data(),
                                                          static_cast<int32_t>(widths.size()), &size);
            if (sum < longest) {
                EXPECT_EQ(st, orvStsBadCodeLength);
                continue;
            }
            ASSERT_EQ(st, orvStsOk);
            const std::int64_t n = referenceElements(t, used);
            LooseMemory mem(size);
            std::fill(mem.storage.begin(), mem.storage.end(), 0x5A);
            auto* vlcSpec = reinterpret_cast<VLCDecodeSpec*>(mem.at);
            ASSERT_EQ(orvsVLCDecodeInit_32s(t.data(), static_cast<int32_t>(t.size()), widths.data(),
                                            static_cast<int32_t>(widths.size()), vlcSpec),
                      orvStsOk);
            const auto& h = *reinterpret_cast<const orvdc::vlc::DecodeHeader*>(orvdc::vlc::alignUp32(mem.at));
            EXPECT_EQ(size, n * h.entryBits / 8 + 88);
            // Links must stay below the marker, leaves must hold their values.
            EXPECT_GE(h.entryBits, [&] {
                int a = 1;
                while ((std::int64_t{1} << a) - 1 < n + 1) ++a;
                return a + 1;
            }());
            for (auto* q = mem.at + size; q < mem.storage.data() + mem.storage.size(); ++q) ASSERT_EQ(*q, 0x5A);
            orvsVLCDecodeFree_32s(vlcSpec);
        }
    }
}

// Levels with thousands of distinct prefixes are counted exactly.
TEST(VlcDecode, CountsManyLevelArrays) {
    for (int length : {13, 16}) {
        std::vector<VLCTableEntry> t;
        for (std::uint32_t c = 0; c < (1u << length); ++c) {
            t.push_back({static_cast<std::int32_t>(c % 1000), c, length});
        }
        const std::vector<int32_t> widths = {length - 2, 2};
        int32_t size = 0;
        ASSERT_EQ(orvsVLCDecodeGetSize_32s(t.data(), static_cast<int32_t>(t.size()), widths.data(), 2, &size), orvStsOk);
        const std::int64_t n = referenceElements(t, {length - 2, 2});
        EXPECT_EQ(n, 1 + (std::int64_t{1} << (length - 2)) * 6);
        Decoder d(t, widths);
        ASSERT_EQ(d.status, orvStsOk);
        EXPECT_EQ(size, n * d.header().entryBits / 8 + 88);
    }
}

// Random prefix codes of a few to thousands of codes and lengths up to 32,
// with several width lists, at every starting offset: DecodeBlock gives the
// values and the final position of the reference, and equals repeated
// DecodeOne.
TEST(VlcDecode, RandomCodesRoundTrip) {
    Rng rng(23);
    const std::vector<std::vector<int32_t>> widthLists = {{9, 9, 9, 9}, {4, 4, 4, 4, 4, 4, 4, 4}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                                                          {11, 3, 2, 8, 8}, {12, 4, 4, 4, 4, 4}};
    for (int round = 0; round < 36; ++round) {
        const int maxLength = round % 3 == 0 ? 32 : 1 + static_cast<int>(rng.below(round < 12 ? 12 : 32));
        const int count = 2 + static_cast<int>(rng.below(round % 4 == 0 ? 4000 : 60));
        const auto t = randomPrefixCode(rng, count, maxLength, -32768, 65536);
        const auto& widths = widthLists[static_cast<std::size_t>(round) % widthLists.size()];
        Decoder d(t, widths);
        ASSERT_EQ(d.status, orvStsOk);
        std::vector<std::size_t> which(1 + rng.below(700));
        for (auto& k : which) k = rng.below(static_cast<std::uint32_t>(t.size()));
        for (int offset = 0; offset < 8; ++offset) {
            const RefWriter ref = encodeRef(t, which, offset);
            std::vector<std::uint8_t> stream = ref.bytes;
            stream.resize(stream.size() + 4, 0xFF);
            const std::uint8_t* p = stream.data();
            int32_t pos = offset;
            std::vector<int16_t> out(which.size() + 1, 0x7777);
            ASSERT_EQ(orvsVLCDecodeBlock_1u16s(&p, &pos, out.data(), static_cast<int32_t>(which.size()), d.vlcSpec), orvStsOk);
            for (std::size_t i = 0; i < which.size(); ++i) ASSERT_EQ(out[i], static_cast<int16_t>(t[which[i]].value));
            EXPECT_EQ(out.back(), 0x7777);
            EXPECT_EQ(p - stream.data(), static_cast<std::ptrdiff_t>(ref.bitCount / 8));
            EXPECT_EQ(pos, static_cast<int32_t>(ref.bitCount % 8));

            const std::uint8_t* q = stream.data();
            int32_t qpos = offset;
            for (std::size_t i = 0; i < which.size(); ++i) {
                int16_t v = 0;
                ASSERT_EQ(orvsVLCDecodeOne_1u16s(&q, &qpos, &v, d.vlcSpec), orvStsOk);
                ASSERT_EQ(v, out[i]);
            }
            EXPECT_EQ(q, p);
            EXPECT_EQ(qpos, pos);
        }
    }
}

// Values come back with their sign and in full, also where the plain value
// width would fill an element exactly (the field is widened then).
TEST(VlcDecode, ValuesReadBackExactly) {
    struct Case {
        std::int32_t value;
        int entryBits;
    };
    // Width 3: lengthBits 2.  |value| 16 needs 5 bits as -16 but 6 as +16.
    for (const Case c : {Case{-1, 8}, Case{-16, 8}, Case{16, 16}, Case{15, 8}, Case{1, 8}, Case{-2048, 16},
                         Case{2048, 16}, Case{-4096, 16}, Case{4096, 32}, Case{-32768, 32}, Case{32767, 32}}) {
        const std::vector<VLCTableEntry> t = {{c.value, 0b1, 1}, {0, 0b01, 2}, {-c.value / 2, 0b00, 2}};
        Decoder d(t, {3});
        ASSERT_EQ(d.status, orvStsOk);
        EXPECT_EQ(d.header().entryBits, c.entryBits) << c.value;
        int32_t size = 0;
        const int32_t w[] = {3};
        ASSERT_EQ(orvsVLCDecodeGetSize_32s(t.data(), 3, w, 1, &size), orvStsOk);
        EXPECT_EQ(size, 5 * c.entryBits / 8 + 88);  // width 3 is used as 2
        const std::uint8_t stream[6] = {0xB0, 0, 0, 0, 0, 0};  // 1 01 1 00...
        const std::uint8_t* p = stream;
        int32_t offset = 0;
        int16_t out[3];
        ASSERT_EQ(orvsVLCDecodeBlock_1u16s(&p, &offset, out, 3, d.vlcSpec), orvStsOk);
        EXPECT_EQ(out[0], c.value);
        EXPECT_EQ(out[1], 0);
        EXPECT_EQ(out[2], c.value);
    }
    // Values beyond 16 bits come out truncated to their low 16 bits.
    const std::vector<VLCTableEntry> wide = {{0x12345, 0b1, 1}, {INT32_MIN + 7, 0b0, 1}};
    Decoder d(wide, {1});
    ASSERT_EQ(d.status, orvStsOk);
    const std::uint8_t stream[5] = {0x80, 0, 0, 0, 0};
    const std::uint8_t* p = stream;
    int32_t offset = 0;
    int16_t out[2];
    ASSERT_EQ(orvsVLCDecodeBlock_1u16s(&p, &offset, out, 2, d.vlcSpec), orvStsOk);
    EXPECT_EQ(out[0], 0x2345);
    EXPECT_EQ(out[1], 7);
}

TEST(VlcDecode, RefusesTablesWithoutADecodingTable) {
    const std::vector<VLCTableEntry> t = {{0, 0b0, 1}, {1, 0b10, 2}, {2, 0b11, 2}};
    const VLCTableEntry none[1] = {};
    const int32_t w2[] = {2}, w1[] = {1}, w0[] = {0, 2}, wneg[] = {-1}, w11[] = {1, 1}, wlate[] = {2, 0, -5};
    int32_t size = -3;
    alignas(32) std::uint8_t mem[512];
    auto* place = reinterpret_cast<VLCDecodeSpec*>(mem);
    VLCDecodeSpec* vlcSpec = nullptr;
    auto all = [&](const VLCTableEntry* table, int32_t n, const int32_t* w, int32_t levels) {
        const orvStatus a = orvsVLCDecodeGetSize_32s(table, n, w, levels, &size);
        EXPECT_EQ(orvsVLCDecodeInit_32s(table, n, w, levels, place), a);
        EXPECT_EQ(orvsVLCDecodeInitAlloc_32s(table, n, w, levels, &vlcSpec), a);
        return a;
    };
    EXPECT_EQ(all(t.data(), 3, w1, 1), orvStsBadCodeLength);     // widths below the longest code
    EXPECT_EQ(all(t.data(), 3, w0, 2), orvStsBadCodeLength);     // zero width used
    EXPECT_EQ(all(t.data(), 3, wneg, 1), orvStsBadCodeLength);   // negative width
    EXPECT_EQ(all(t.data(), 3, w2, 0), orvStsBadCodeLength);     // no widths
    EXPECT_EQ(all(none, 0, w2, 1), orvStsBadCodeLength);         // empty table
    EXPECT_EQ(all(t.data(), -4, w2, 1), orvStsBadCodeLength);
    for (int32_t bad : {0, -1, 33}) {
        const std::vector<VLCTableEntry> b = {{0, 0, 1}, {1, 1, bad}};
        EXPECT_EQ(all(b.data(), 2, w11, 2), orvStsBadCodeLength);
    }
    EXPECT_EQ(size, -3);
    EXPECT_EQ(vlcSpec, nullptr);
    // Widths after the sum is reached are not looked at.
    EXPECT_EQ(all(t.data(), 3, wlate, 3), orvStsOk);
    orvsVLCDecodeFree_32s(vlcSpec);
    orvsVLCDecodeFree_32s(place);
    // A table too big for 2^31 bytes.
    const std::vector<VLCTableEntry> deep = {{0, 0, 1}, {1, 0xFFFFFFFFu, 32}};
    const int32_t w32[] = {32};
    const int32_t before = size;
    EXPECT_EQ(orvsVLCDecodeGetSize_32s(deep.data(), 2, w32, 1, &size), orvStsBadSize);
    EXPECT_EQ(size, before);
}

// A code that is a prefix of another across a level boundary is refused when
// listed first; listed after it, its leaves replace the link.
TEST(VlcDecode, PrefixConflictsAcrossLevels) {
    const std::vector<VLCTableEntry> shortFirst = {{1, 0b0, 1}, {2, 0b00001, 5}, {3, 0b1, 1}};
    const std::vector<VLCTableEntry> longFirst = {{2, 0b00001, 5}, {1, 0b0, 1}, {3, 0b1, 1}};
    Decoder bad(shortFirst, {2, 3});
    EXPECT_EQ(bad.status, orvStsBadCodeLength);
    ASSERT_NE(bad.vlcSpec, nullptr);  // kept for Free, but not usable
    const std::uint8_t stream[5] = {0x00, 0, 0, 0, 0};
    const std::uint8_t* p = stream;
    int32_t offset = 0;
    int16_t v = 99;
    EXPECT_EQ(orvsVLCDecodeOne_1u16s(&p, &offset, &v, bad.vlcSpec), orvStsBadContext);
    EXPECT_EQ(v, 99);

    Decoder good(longFirst, {2, 3});
    ASSERT_EQ(good.status, orvStsOk);
    ASSERT_EQ(orvsVLCDecodeOne_1u16s(&p, &offset, &v, good.vlcSpec), orvStsOk);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(offset, 1);
    // Within one level the later code simply wins.
    Decoder flat(shortFirst, {5});
    ASSERT_EQ(flat.status, orvStsOk);
}

// Bits that are no code of the table: refused, nothing written, position kept.
TEST(VlcDecode, BitsThatAreNoCode) {
    // 0, 10, 110 and 1110 are codes; 1111... is none, on either level.
    const std::vector<VLCTableEntry> t = {{5, 0b0, 1}, {6, 0b10, 2}, {7, 0b110, 3}, {8, 0b1110, 4}};
    for (const auto& widths : {std::vector<int32_t>{4}, std::vector<int32_t>{2, 2}, std::vector<int32_t>{1, 1, 1, 1}}) {
        Decoder d(t, widths);
        ASSERT_EQ(d.status, orvStsOk);
        const std::uint8_t stream[6] = {0b01011011, 0b10111100, 0, 0, 0, 0};
        const std::uint8_t* p = stream;
        int32_t offset = 0;
        int16_t out[6] = {0, 0, 0, 0, 0, 0};
        EXPECT_EQ(orvsVLCDecodeBlock_1u16s(&p, &offset, out, 6, d.vlcSpec), orvStsBadContext);
        EXPECT_EQ(p, stream);
        EXPECT_EQ(offset, 0);
        EXPECT_EQ(out[0], 5);  // the codes before the bad bits were stored
        EXPECT_EQ(out[3], 8);
        EXPECT_EQ(out[4], 0);
        p = stream + 1;
        offset = 2;
        int16_t one = 42;
        EXPECT_EQ(orvsVLCDecodeOne_1u16s(&p, &offset, &one, d.vlcSpec), orvStsBadContext);
        EXPECT_EQ(one, 42);
        EXPECT_EQ(p, stream + 1);
        EXPECT_EQ(offset, 2);
    }
}

// The decoders read from the current byte on, never before it, and at most 4
// bytes past the last byte holding code bits.
TEST(VlcDecode, ReadsStayWithinTheStream) {
    Rng rng(25);
    for (int maxLength : {1, 7, 16, 25, 32}) {
        const auto t = randomPrefixCode(rng, 50, maxLength, -100, 200);
        Decoder d(t, {6, 6, 6, 6, 6, 6});
        ASSERT_EQ(d.status, orvStsOk);
        // The shortest and the longest code.
        std::size_t shortest = 0, longest = 0;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i].length < t[shortest].length) shortest = i;
            if (t[i].length > t[longest].length) longest = i;
        }
        // Long blocks too, which decode through a buffer of loaded words.
        std::vector<std::size_t> manyShort(300, shortest);
        std::vector<std::size_t> mixed(257);
        for (auto& k : mixed) k = rng.below(static_cast<std::uint32_t>(t.size()));
        mixed.back() = shortest;
        for (int offset = 0; offset < 8; ++offset) {
            for (const std::vector<std::size_t>& which : {std::vector<std::size_t>{shortest},
                                                          std::vector<std::size_t>{longest, shortest},
                                                          std::vector<std::size_t>{shortest, longest, shortest},
                                                          manyShort, mixed}) {
                const RefWriter ref = encodeRef(t, which, offset);
                const std::size_t needed = (ref.bitCount + 7) / 8;
                for (bool atStart : {true, false}) {
                    GuardedBytes g(needed + 4, atStart);
                    std::fill_n(g.data(), needed + 4, 0);
                    std::copy(ref.bytes.begin(), ref.bytes.end(), g.data());
                    const std::uint8_t* p = g.data();
                    int32_t pos = offset;
                    std::vector<int16_t> out(which.size());
                    ASSERT_EQ(orvsVLCDecodeBlock_1u16s(&p, &pos, out.data(), static_cast<int32_t>(out.size()), d.vlcSpec), orvStsOk);
                    for (std::size_t i = 0; i < which.size(); ++i) ASSERT_EQ(out[i], static_cast<int16_t>(t[which[i]].value));
                    EXPECT_EQ(static_cast<std::size_t>(p - g.data()) * 8 + static_cast<std::size_t>(pos), ref.bitCount);
                    p = g.data();
                    pos = offset;
                    for (std::size_t i = 0; i < which.size(); ++i) ASSERT_EQ(orvsVLCDecodeOne_1u16s(&p, &pos, out.data(), d.vlcSpec), orvStsOk);
                }
            }
        }
    }
}

TEST(VlcDecode, RefusesBadArguments) {
    const std::vector<VLCTableEntry> t = {{0, 0b0, 1}, {1, 0b1, 1}};
    Decoder d(t, {1});
    ASSERT_EQ(d.status, orvStsOk);
    const std::uint8_t stream[6] = {0xAA, 0, 0, 0, 0, 0};
    const std::uint8_t* p = stream;
    int32_t offset = 3;
    int16_t out[2] = {-9, -9};
    using orvdc::test::eachNullRefused;
    EXPECT_TRUE(eachNullRefused(orvsVLCDecodeOne_1u16s, &p, &offset, out, d.vlcSpec));
    EXPECT_TRUE(eachNullRefused(orvsVLCDecodeBlock_1u16s, &p, &offset, out, 2, d.vlcSpec));
    // A null pointer is reported before a bad offset.
    int32_t bad = 8;
    EXPECT_EQ(orvsVLCDecodeBlock_1u16s(&p, &bad, nullptr, 2, d.vlcSpec), orvStsNullPtr);
    for (int32_t off : {-1, 8, 1000}) {
        EXPECT_EQ(orvsVLCDecodeOne_1u16s(&p, &off, out, d.vlcSpec), orvStsBadContext);
        EXPECT_EQ(orvsVLCDecodeBlock_1u16s(&p, &off, out, 2, d.vlcSpec), orvStsBadContext);
    }
    EXPECT_EQ(orvsVLCDecodeBlock_1u16s(&p, &offset, out, 0, d.vlcSpec), orvStsOk);
    EXPECT_EQ(orvsVLCDecodeBlock_1u16s(&p, &offset, out, -5, d.vlcSpec), orvStsOk);
    // The encoder's identifier is not the decoder's.
    VLCEncodeSpec* enc = nullptr;
    ASSERT_EQ(orvsVLCEncodeInitAlloc_32s(t.data(), 2, &enc), orvStsOk);
    EXPECT_EQ(orvsVLCDecodeOne_1u16s(&p, &offset, out, reinterpret_cast<VLCDecodeSpec*>(enc)), orvStsBadContext);
    orvsVLCEncodeFree_32s(enc);
    EXPECT_EQ(p, stream);
    EXPECT_EQ(offset, 3);
    EXPECT_EQ(out[0], -9);
    EXPECT_EQ(out[1], -9);
    // A freed object in caller memory is refused.
    int32_t size = 0;
    const int32_t w[] = {1};
    ASSERT_EQ(orvsVLCDecodeGetSize_32s(t.data(), 2, w, 1, &size), orvStsOk);
    LooseMemory mem(size);
    auto* vlcSpec = reinterpret_cast<VLCDecodeSpec*>(mem.at);
    ASSERT_EQ(orvsVLCDecodeInit_32s(t.data(), 2, w, 1, vlcSpec), orvStsOk);
    ASSERT_EQ(orvsVLCDecodeOne_1u16s(&p, &offset, out, vlcSpec), orvStsOk);
    EXPECT_EQ(out[0], 0);  // bit 3 of 0xAA
    orvsVLCDecodeFree_32s(vlcSpec);
    EXPECT_EQ(orvsVLCDecodeOne_1u16s(&p, &offset, out, vlcSpec), orvStsBadContext);
    EXPECT_TRUE(eachNullRefused(orvsVLCDecodeGetSize_32s, t.data(), 2, w, 1, &size));
    EXPECT_TRUE(eachNullRefused(orvsVLCDecodeInit_32s, t.data(), 2, w, 1, vlcSpec));
    EXPECT_EQ(orvsVLCDecodeInitAlloc_32s(t.data(), 2, w, 1, nullptr), orvStsNullPtr);
}

// Arbitrary bits decode to the same values (and stop at the same place)
// whatever the decoder table memory held before Init.
TEST(VlcDecode, NothingReadFromDecoderTableMemoryBeforeItIsWritten) {
    Rng rng(61);
    for (int round = 0; round < 10; ++round) {
        auto t = randomPrefixCode(rng, 20 + round * 7, 12 + round % 5, -500, 1000);
        if (round % 2) t.resize(t.size() - 3);  // an incomplete code: some bits match nothing
        const std::vector<int32_t> widths = {6, 5, 5};
        std::int32_t size = 0;
        ASSERT_EQ(orvsVLCDecodeGetSize_32s(t.data(), static_cast<int32_t>(t.size()), widths.data(), 3, &size), orvStsOk);
        const orvdc::test::Bytes bits = orvdc::test::randomBytes(600, static_cast<std::uint64_t>(round) + 7);
        std::vector<int16_t> values[2];
        std::ptrdiff_t stops[2] = {};
        for (int k = 0; k < 2; ++k) {
            orvdc::test::FilledMemory mem(static_cast<std::size_t>(size), k == 0 ? 0x00 : 0xFF);
            auto* spec = mem.as<VLCDecodeSpec>();
            ASSERT_EQ(orvsVLCDecodeInit_32s(t.data(), static_cast<int32_t>(t.size()), widths.data(), 3, spec), orvStsOk);
            const std::uint8_t* p = bits.data();
            int32_t offset = 0;
            while (bits.data() + bits.size() - p >= 5) {
                int16_t v = 0;
                if (orvsVLCDecodeOne_1u16s(&p, &offset, &v, spec) != orvStsOk) break;
                values[k].push_back(v);
            }
            stops[k] = (p - bits.data()) * 8 + offset;
        }
        EXPECT_EQ(values[0], values[1]) << round;
        EXPECT_EQ(stops[0], stops[1]) << round;
    }
}

}  // namespace
