// Block writers, the selector and Flush: exact bytes of small cases, the
// dynamic block description, resumption with tiny destinations.
#include <gtest/gtest.h>

#include <algorithm>

#include <functional>
#include <queue>

#include "lz77/encode_test_support.h"

namespace orvdc::test {
namespace {

using PairWriter = orvStatus(ORVDC_CALL*)(const LZ77Pair**, int32_t*, uint8_t**, int32_t*, LZ77FlushMode,
                                           LZ77EncoderState*);

LZ77Pair lit(int c) { return {static_cast<std::uint16_t>(c), 0}; }
LZ77Pair match(int len, int dist) { return {static_cast<std::uint16_t>(len), static_cast<std::uint16_t>(dist)}; }

// Writes `pairs` as one block, `room` bytes per call; returns the bytes and
// the last status.
Bytes writeBlock(PairWriter writer, const std::vector<LZ77Pair>& pairs, LZ77FlushMode flush, std::int32_t room,
                 orvStatus* last = nullptr, LZ77EncoderState* st = nullptr) {
    EncoderBlock own(1, LZ77ChecksumAdler32);
    if (st == nullptr) st = own.get();
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, st);
    static const LZ77Pair none{};
    const LZ77Pair* src = pairs.empty() ? &none : pairs.data();
    auto n = static_cast<std::int32_t>(pairs.size());
    Bytes out;
    Bytes buf(static_cast<std::size_t>(room));
    orvStatus s = orvStsDstFull;
    for (int guard = 0; s == orvStsDstFull && guard < 1000000; ++guard) {
        std::uint8_t* d = buf.data();
        std::int32_t r = room;
        s = writer(&src, &n, &d, &r, flush, st);
        out.insert(out.end(), buf.data(), d);
    }
    EXPECT_EQ(n, 0);
    if (last != nullptr) *last = s;
    return out;
}

TEST(FixedBlock, SingleLiteralBytes) {
    orvStatus s;
    EXPECT_EQ(writeBlock(orvsEncodeLZ77FixedHuff_8u, {lit(0x61)}, LZ77FlushFinish, 100, &s), (Bytes{0x4B, 0x04, 0x00}));
    EXPECT_EQ(s, orvStsStreamEnd);
    EXPECT_EQ(writeBlock(orvsEncodeLZ77FixedHuff_8u, {lit(0x61)}, LZ77FlushSync, 100, &s),
              (Bytes{0x4A, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF}));
    EXPECT_EQ(s, orvStsOk);
    // Without a flush the block closes but its last bits stay pending.
    EXPECT_EQ(writeBlock(orvsEncodeLZ77FixedHuff_8u, {lit(0x61)}, LZ77FlushNone, 100, &s), (Bytes{0x4A, 0x04}));
    EXPECT_EQ(s, orvStsOk);
}

std::vector<LZ77Pair> mixedPairs(std::size_t n, std::uint64_t seed) {
    Rng rng(seed);
    std::vector<LZ77Pair> out;
    for (std::size_t i = 0; i < n; ++i) {
        if (rng.below(3) == 0) {
            out.push_back(match(3 + static_cast<int>(rng.below(256)), 1 + static_cast<int>(rng.below(32768))));
        } else {
            out.push_back(lit(static_cast<int>(rng.below(256))));
        }
    }
    return out;
}

TEST(BlockWriters, TinyDestinationsGiveTheSameBytes) {
    for (PairWriter writer : {orvsEncodeLZ77FixedHuff_8u, orvsEncodeLZ77DynamicHuff_8u}) {
        const auto pairs = mixedPairs(3000, 21);
        for (LZ77FlushMode flush : {LZ77FlushNone, LZ77FlushSync, LZ77FlushFull, LZ77FlushFinish}) {
            orvStatus sAmple, sTiny;
            const Bytes ample = writeBlock(writer, pairs, flush, 1 << 20, &sAmple);
            for (std::int32_t room : {1, 2, 3, 5, 17}) {
                const Bytes tiny = writeBlock(writer, pairs, flush, room, &sTiny);
                EXPECT_EQ(sTiny, sAmple);
                // Without a flush, whole bytes may stay pending behind a
                // closed block when the room ran out; they lead the next
                // output, so the tiny run is a prefix of the ample one.
                if (flush == LZ77FlushNone) {
                    EXPECT_LE(ample.size() - tiny.size(), 8u);
                    EXPECT_TRUE(std::equal(tiny.begin(), tiny.end(), ample.begin())) << "room " << room;
                } else {
                    EXPECT_EQ(tiny, ample) << "room " << room << " flush " << flush;
                }
            }
        }
    }
}

TEST(StoredBlock, Bytes) {
    EncoderBlock block(1, LZ77ChecksumAdler32);
    std::uint8_t out[16];
    std::uint8_t* d = out;
    std::int32_t room = 16;
    static const std::uint8_t none = 0;
    const std::uint8_t* src = &none;
    std::int32_t n = 0;
    EXPECT_EQ(orvsEncodeLZ77StoredBlock_8u(&src, &n, &d, &room, LZ77FlushFinish, block.get()), orvStsOk);
    EXPECT_EQ(Bytes(out, d), (Bytes{0x01, 0x00, 0x00, 0xFF, 0xFF}));
    EXPECT_EQ(out[5], 0);  // the byte behind a header field is cleared
}

TEST(StoredBlock, LengthLimitAndEmptyRoom) {
    EncoderBlock block(1, LZ77ChecksumAdler32);
    Bytes data(65536, 'z');
    Bytes out(70000, 0xAA);
    const std::uint8_t* src = data.data();
    std::int32_t n = 65536;
    std::uint8_t* d = out.data();
    std::int32_t room = 70000;
    EXPECT_EQ(orvsEncodeLZ77StoredBlock_8u(&src, &n, &d, &room, 0, block.get()), orvStsBadSize);
    EXPECT_EQ(d, out.data());
    EXPECT_EQ(out[0], 0xAA);
    n = -1;
    EXPECT_EQ(orvsEncodeLZ77StoredBlock_8u(&src, &n, &d, &room, 0, block.get()), orvStsBadSize);
    n = 65535;
    room = 0;
    EXPECT_EQ(orvsEncodeLZ77StoredBlock_8u(&src, &n, &d, &room, 0, block.get()), orvStsDstFull);
    EXPECT_EQ(n, 65535);
    room = 70000;
    EXPECT_EQ(orvsEncodeLZ77StoredBlock_8u(&src, &n, &d, &room, 0, block.get()), orvStsOk);
    EXPECT_EQ(d - out.data(), 65535 + 5);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), (Bytes{0x00, 0xFF, 0xFF, 0x00, 0x00}));
}

TEST(StoredBlock, ResumesAfterEveryByte) {
    // Pending bits from a fixed block, then a stored block, one byte of room
    // per call, give the bytes of one call with ample room.
    const Bytes body = textLikeBytes(300, 22);
    const auto run = [&](std::int32_t room) {
        EncoderBlock block(1, LZ77ChecksumAdler32);
        Bytes out = writeBlock(orvsEncodeLZ77FixedHuff_8u, {lit('q'), match(5, 1)}, LZ77FlushNone, room, nullptr,
                               block.get());
        const std::uint8_t* src = body.data();
        auto n = static_cast<std::int32_t>(body.size());
        Bytes buf(static_cast<std::size_t>(room));
        orvStatus s = orvStsDstFull;
        while (s == orvStsDstFull) {
            std::uint8_t* d = buf.data();
            std::int32_t r = room;
            s = orvsEncodeLZ77StoredBlock_8u(&src, &n, &d, &r, LZ77FlushFinish, block.get());
            out.insert(out.end(), buf.data(), d);
        }
        EXPECT_EQ(s, orvStsOk);
        return out;
    };
    const Bytes ample = run(4096);
    EXPECT_EQ(run(1), ample);
    EXPECT_EQ(run(2), ample);
    EXPECT_EQ(ample.size(), 5 + 4 + body.size());  // 30 bits of fixed block, 3 header bits, padding
}

TEST(Flush, TrailerBytesAndPhases) {
    for (int kind : {LZ77ChecksumAdler32, LZ77ChecksumCRC32, LZ77ChecksumNone}) {
        EncoderBlock block(0, kind);
        std::uint8_t out[16] = {};
        std::uint8_t* d = out;
        std::int32_t room = 16;
        EXPECT_EQ(orvsEncodeLZ77Flush_8u(&d, &room, block.get()), orvStsBadStream);
        const Bytes data = textLikeBytes(1000, 23);
        const std::uint8_t* src = data.data();
        std::int32_t n = 1000;
        std::vector<LZ77Pair> pairs(1000);
        LZ77Pair* pd = pairs.data();
        std::int32_t pr = 1000;
        ASSERT_EQ(orvsEncodeLZ77_8u(&src, &n, &pd, &pr, LZ77FlushFinish, block.get()), orvStsOk);
        pairs.resize(static_cast<std::size_t>(pd - pairs.data()));
        orvStatus s;
        writeBlock(orvsEncodeLZ77FixedHuff_8u, pairs, LZ77FlushFinish, 1 << 16, &s, block.get());
        ASSERT_EQ(s, orvStsStreamEnd);
        orvsEncodeLZ77SetStatus_8u(LZ77DeflateTrailer, block.get());
        d = out;
        room = 0;
        EXPECT_EQ(orvsEncodeLZ77Flush_8u(&d, &room, block.get()), orvStsDstFull);
        room = 3;
        EXPECT_EQ(orvsEncodeLZ77Flush_8u(&d, &room, block.get()), orvStsDstFull);
        EXPECT_EQ(room, 0);
        room = 16 - 3;
        EXPECT_EQ(orvsEncodeLZ77Flush_8u(&d, &room, block.get()), orvStsOk);
        std::uint32_t sum = kind == LZ77ChecksumAdler32 ? 1 : 0;
        if (kind == LZ77ChecksumAdler32) orvsAdler32_8u(data.data(), 1000, &sum);
        if (kind == LZ77ChecksumCRC32) orvsCRC32_8u(data.data(), 1000, &sum);
        if (kind == LZ77ChecksumAdler32) {
            EXPECT_EQ(d - out, 4);
            EXPECT_EQ(Bytes(out, out + 4), (Bytes{static_cast<std::uint8_t>(sum >> 24), static_cast<std::uint8_t>(sum >> 16),
                                                  static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)}));
        } else {
            EXPECT_EQ(d - out, 8);
            EXPECT_EQ(Bytes(out, out + 8),
                      (Bytes{static_cast<std::uint8_t>(sum), static_cast<std::uint8_t>(sum >> 8),
                             static_cast<std::uint8_t>(sum >> 16), static_cast<std::uint8_t>(sum >> 24), 0xE8, 0x03, 0, 0}));
        }
        EXPECT_EQ(out[d - out], 0);  // cleared behind the last trailer byte
    }
    EncoderBlock odd(0, 5);
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateTrailer, odd.get());
    std::uint8_t out[8];
    std::uint8_t* d = out;
    std::int32_t room = 8;
    EXPECT_EQ(orvsEncodeLZ77Flush_8u(&d, &room, odd.get()), orvStsBadStream);
    EXPECT_EQ(room, 8);
}

// ---- Dynamic block description --------------------------------------------

class BitReader {
public:
    explicit BitReader(const Bytes& b) : b_(b) {}
    std::uint32_t bits(int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++pos_) v |= ((b_.at(pos_ / 8) >> (pos_ % 8)) & 1u) << i;
        return v;
    }
    // One symbol of a canonical code given by its lengths.
    int symbol(const std::vector<int>& lengths) {
        int code = 0, first = 0;
        for (int len = 1; len <= 15; ++len) {
            code |= static_cast<int>(bits(1));
            int count = 0;
            for (int l : lengths) count += l == len;
            if (code - first < count) {
                for (int s = 0, k = 0; s < static_cast<int>(lengths.size()); ++s) {
                    if (lengths[s] == len && k++ == code - first) return s;
                }
            }
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

    std::size_t position() const { return pos_; }

private:
    const Bytes& b_;
    std::size_t pos_ = 0;
};

struct Description {
    int hlit, hdist, hclen;
    std::vector<int> clLengths;   // by code-length symbol
    std::vector<std::pair<int, int>> symbols;  // code-length symbols and their extra values
    std::vector<int> lengths;     // hlit + hdist code lengths
};

Description parse(const Bytes& block) {
    static constexpr int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    BitReader r(block);
    Description d{};
    r.bits(1);
    EXPECT_EQ(r.bits(2), 2u);
    d.hlit = static_cast<int>(r.bits(5)) + 257;
    d.hdist = static_cast<int>(r.bits(5)) + 1;
    d.hclen = static_cast<int>(r.bits(4)) + 4;
    d.clLengths.assign(19, 0);
    for (int k = 0; k < d.hclen; ++k) d.clLengths[order[k]] = static_cast<int>(r.bits(3));
    while (static_cast<int>(d.lengths.size()) < d.hlit + d.hdist) {
        const int s = r.symbol(d.clLengths);
        if (s < 0) break;
        int extra = 0;
        if (s < 16) {
            d.lengths.push_back(s);
        } else if (s == 16) {
            extra = static_cast<int>(r.bits(2));
            d.lengths.insert(d.lengths.end(), 3 + extra, d.lengths.back());
        } else if (s == 17) {
            extra = static_cast<int>(r.bits(3));
            d.lengths.insert(d.lengths.end(), 3 + extra, 0);
        } else {
            extra = static_cast<int>(r.bits(7));
            d.lengths.insert(d.lengths.end(), 11 + extra, 0);
        }
        d.symbols.push_back({s, extra});
    }
    return d;
}

// The run-length rules for code lengths, written out plainly.
std::vector<std::pair<int, int>> referenceRuns(const std::vector<int>& lengths) {
    std::vector<std::pair<int, int>> out;
    int previous = -1;
    std::size_t k = 0;
    while (k < lengths.size()) {
        const int v = lengths[k];
        std::size_t r = 0;
        if (v == 0) {
            while (k + r < lengths.size() && lengths[k + r] == 0 && r < 138) ++r;
            if (r < 3) out.insert(out.end(), r, {0, 0});
            else if (r <= 10) out.push_back({17, static_cast<int>(r) - 3});
            else out.push_back({18, static_cast<int>(r) - 11});
            previous = 0;
        } else if (v != previous) {
            out.push_back({v, 0});
            previous = v;
            r = 1;
        } else {
            while (k + r < lengths.size() && lengths[k + r] == v && r < 6) ++r;
            if (r < 3) out.insert(out.end(), r, {v, 0});
            else out.push_back({16, static_cast<int>(r) - 3});
        }
        k += r;
    }
    return out;
}

// Total bits of an optimal (unlimited) Huffman code for the counts, and its
// depth, by the textbook priority-queue construction.
std::pair<std::uint64_t, int> huffmanCost(const std::vector<std::uint64_t>& counts) {
    using Node = std::pair<std::uint64_t, int>;  // weight, depth
    std::priority_queue<Node, std::vector<Node>, std::greater<>> q;
    for (auto c : counts) if (c) q.push({c, 0});
    if (q.size() < 2) return {0, 1};
    std::uint64_t cost = 0;
    int depth = 0;
    while (q.size() > 1) {
        auto a = q.top(); q.pop();
        auto b = q.top(); q.pop();
        cost += a.first + b.first;
        depth = std::max(a.second, b.second) + 1;
        q.push({a.first + b.first, depth});
    }
    return {cost, depth};
}

void checkDescription(const std::vector<LZ77Pair>& pairs) {
    orvStatus s;
    const Bytes block = writeBlock(orvsEncodeLZ77DynamicHuff_8u, pairs, LZ77FlushFinish, 1 << 20, &s);
    ASSERT_EQ(s, orvStsStreamEnd);
    const Description d = parse(block);
    ASSERT_EQ(static_cast<int>(d.lengths.size()), d.hlit + d.hdist) << "runs cross from the literal to the distance lengths";
    const std::vector<int> lit(d.lengths.begin(), d.lengths.begin() + d.hlit);
    const std::vector<int> dist(d.lengths.begin() + d.hlit, d.lengths.end());
    auto runs = referenceRuns(lit);
    const auto distRuns = referenceRuns(dist);
    runs.insert(runs.end(), distRuns.begin(), distRuns.end());
    EXPECT_EQ(d.symbols, runs);

    std::vector<std::uint64_t> litCount(286);
    litCount[256] = 1;
    for (const auto& p : pairs) {
        if (p.offset == 0) ++litCount[p.length];
    }
    // Literal-only blocks: literal lengths are those of an optimal code.
    bool literalsOnly = true;
    for (const auto& p : pairs) literalsOnly &= p.offset == 0;
    if (literalsOnly) {
        const auto [cost, depth] = huffmanCost(litCount);
        if (depth <= 15) {
            std::uint64_t got = 0;
            for (int sym = 0; sym < d.hlit; ++sym) got += litCount[sym] * static_cast<std::uint64_t>(lit[sym]);
            EXPECT_EQ(got, cost);
        }
        EXPECT_EQ(d.hdist, 2);
        EXPECT_EQ(dist, (std::vector<int>{1, 1}));
    }
    // Lengths within the limits, and a complete code (Kraft sum 1).
    for (const auto* table : {&lit, &dist}) {
        std::uint64_t kraft = 0;
        for (int l : *table) {
            EXPECT_LE(l, 15);
            if (l) kraft += std::uint64_t{1} << (15 - l);
        }
        EXPECT_EQ(kraft, std::uint64_t{1} << 15);
    }
    for (int l : d.clLengths) EXPECT_LE(l, 7);
    static constexpr int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    EXPECT_TRUE(d.hclen == 4 || d.clLengths[order[d.hclen - 1]] != 0);
    int largest = 256;
    for (int sym = 0; sym < d.hlit; ++sym) if (lit[sym]) largest = sym;
    EXPECT_EQ(d.hlit, largest + 1);
}

// ---- Pair coding against a plain bit-by-bit writer ---------------------------

// Canonical codes of a table of code lengths (RFC 1951, 3.2.2).
std::vector<std::uint32_t> canonicalCodes(const std::vector<int>& lengths) {
    std::vector<std::uint32_t> codes(lengths.size());
    std::uint32_t code = 0;
    for (int len = 1; len <= 15; ++len) {
        for (std::size_t s = 0; s < lengths.size(); ++s) {
            if (lengths[s] == len) codes[s] = code++;
        }
        code <<= 1;
    }
    return codes;
}

// Codes pairs one bit at a time after `prefixBits` bits copied from
// `prefix`, ends the block and pads it to a byte.
Bytes referenceBody(const Bytes& prefix, std::size_t prefixBits, const std::vector<int>& litLengths,
                    const std::vector<int>& distLengths, const std::vector<LZ77Pair>& pairs) {
    static constexpr int lenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                        31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr int distBase[30] = {1,   2,   3,   4,    5,    7,    9,    13,    17,    25,
                                         33,  49,  65,  97,   129,  193,  257,  385,   513,   769,
                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    const auto litCodes = canonicalCodes(litLengths);
    const auto distCodes = canonicalCodes(distLengths);
    Bytes out;
    std::size_t bit = 0;
    const auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i, ++bit) {
            if (bit % 8 == 0) out.push_back(0);
            out.back() = static_cast<std::uint8_t>(out.back() | (((v >> i) & 1u) << (bit % 8)));
        }
    };
    const auto huff = [&](const std::vector<std::uint32_t>& codes, const std::vector<int>& lengths, int sym) {
        for (int i = lengths[sym] - 1; i >= 0; --i) put(codes[sym] >> i, 1);  // most significant bit first
    };
    for (std::size_t i = 0; i < prefixBits; ++i) put(prefix[i / 8] >> (i % 8), 1);
    for (const LZ77Pair& p : pairs) {
        if (p.offset == 0) {
            huff(litCodes, litLengths, p.length);
            continue;
        }
        int lc = 28;
        while (lc > 0 && (lenBase[lc] > p.length || (lc == 28 && p.length != 258))) --lc;
        huff(litCodes, litLengths, 257 + lc);
        put(static_cast<std::uint32_t>(p.length - lenBase[lc]), lc == 28 ? 0 : std::max(0, lc / 4 - 1));
        int dc = 29;
        while (distBase[dc] > p.offset) --dc;
        huff(distCodes, distLengths, dc);
        put(static_cast<std::uint32_t>(p.offset - distBase[dc]), std::max(0, dc / 2 - 1));
    }
    huff(litCodes, litLengths, 256);
    return out;
}

// The pairs of the whole corpus at every level, each file one block of
// each kind, give exactly the bits of the plain writer.
TEST(BlockWriters, CorpusPairsMatchThePlainWriter) {
    const auto files = corpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus absent";
    std::vector<int> fixedLit(288, 8), fixedDist(30, 5);
    std::fill(fixedLit.begin() + 144, fixedLit.begin() + 256, 9);
    std::fill(fixedLit.begin() + 256, fixedLit.begin() + 280, 7);
    for (const std::string& path : files) {
        const Bytes data = readFile(path);
        if (data.empty()) continue;
        for (int level = 0; level < 3; ++level) {
            EncoderBlock block(level, LZ77ChecksumNone);
            std::vector<LZ77Pair> pairs(data.size());
            const std::uint8_t* src = data.data();
            auto srcLen = static_cast<std::int32_t>(data.size());
            LZ77Pair* dst = pairs.data();
            auto room = static_cast<std::int32_t>(pairs.size());
            ASSERT_EQ(orvsEncodeLZ77_8u(&src, &srcLen, &dst, &room, LZ77FlushFinish, block.get()), orvStsOk);
            pairs.resize(static_cast<std::size_t>(dst - pairs.data()));

            orvStatus s;
            const Bytes fixed = writeBlock(orvsEncodeLZ77FixedHuff_8u, pairs, LZ77FlushFinish, 1 << 24, &s);
            EXPECT_EQ(s, orvStsStreamEnd);
            EXPECT_TRUE(fixed == referenceBody(Bytes{3}, 3, fixedLit, fixedDist, pairs)) << path << " level " << level;

            const Bytes dynamic = writeBlock(orvsEncodeLZ77DynamicHuff_8u, pairs, LZ77FlushFinish, 1 << 24, &s);
            EXPECT_EQ(s, orvStsStreamEnd);
            const Description d = parse(dynamic);
            BitReader r(dynamic);
            // Skips the description to find where the pairs start.
            r.bits(17);
            for (int k = 0; k < d.hclen; ++k) r.bits(3);
            for (const auto& [sym, extra] : d.symbols) {
                r.symbol(d.clLengths);
                r.bits(sym == 16 ? 2 : sym == 17 ? 3 : sym == 18 ? 7 : 0);
            }
            const std::vector<int> lit(d.lengths.begin(), d.lengths.begin() + d.hlit);
            const std::vector<int> dist(d.lengths.begin() + d.hlit, d.lengths.end());
            EXPECT_TRUE(dynamic == referenceBody(dynamic, r.position(), lit, dist, pairs)) << path << " level " << level;
        }
    }
}

TEST(DynamicBlock, OneDistinctLiteral) {
    orvStatus s;
    const Bytes block = writeBlock(orvsEncodeLZ77DynamicHuff_8u, std::vector<LZ77Pair>(50, lit('k')), LZ77FlushFinish, 100, &s);
    const Description d = parse(block);
    EXPECT_EQ(d.hlit, 257);
    EXPECT_EQ(d.hdist, 2);
    for (int sym = 0; sym < 257; ++sym) EXPECT_EQ(d.lengths[sym], sym == 'k' || sym == 256 ? 1 : 0) << sym;
    EXPECT_EQ(d.lengths[257], 1);
    EXPECT_EQ(d.lengths[258], 1);
}

TEST(DynamicBlock, DescriptionFollowsTheRules) {
    Rng rng(24);
    for (int round = 0; round < 30; ++round) {
        std::vector<LZ77Pair> pairs;
        const unsigned alphabet = 2 + rng.below(250);
        const std::size_t n = 1 + rng.below(5000);
        for (std::size_t i = 0; i < n; ++i) {
            // skewed literals so that long and short codes and runs all occur
            unsigned v = rng.below(alphabet);
            v = v * v / alphabet;
            pairs.push_back(lit(static_cast<int>(v + (round % 3) * 3)));
        }
        if (round % 2) {
            const auto more = mixedPairs(200 + rng.below(2000), 25 + round);
            pairs.insert(pairs.end(), more.begin(), more.end());
        }
        checkDescription(pairs);
    }
    // Twenty equal lengths: 20 literals of one count and nothing else but end
    // of block produce runs of 16 between single lengths.
    std::vector<LZ77Pair> twenty;
    for (int c = 0; c < 32; ++c) twenty.insert(twenty.end(), 1000, lit(100 + c));
    checkDescription(twenty);
}

TEST(DynamicBlock, LengthsAreLimitedTo15) {
    // Fibonacci counts would give a Huffman code deeper than 15.
    std::vector<LZ77Pair> pairs;
    std::uint64_t a = 1, b = 1;
    for (int sym = 0; sym < 24; ++sym) {
        pairs.insert(pairs.end(), a, lit(sym));
        const std::uint64_t c = a + b;
        a = b;
        b = c;
    }
    checkDescription(pairs);
}

TEST(Selector, SkewedAndEvenPairs) {
    EncoderBlock block(1, LZ77ChecksumAdler32);
    LZ77HuffMode mode = -1;
    std::vector<LZ77Pair> skewed;
    // 'e' nine times in ten, the rest a hundred rare values: the weighted
    // mean rank of first appearance lands on a rare one.
    for (int i = 0; i < 1000; ++i) skewed.push_back(lit(i % 10 == 5 ? 100 + i / 10 : 'e'));
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, block.get());
    EXPECT_EQ(orvsEncodeLZ77SelectHuffMode_8u(skewed.data(), 1000, &mode, block.get()), orvStsOk);
    EXPECT_EQ(mode, LZ77HuffDynamic);
    std::vector<LZ77Pair> even;
    for (int i = 0; i < 1024; ++i) even.push_back(lit(i % 256));
    EXPECT_EQ(orvsEncodeLZ77SelectHuffMode_8u(even.data(), 1024, &mode, block.get()), orvStsOk);
    EXPECT_EQ(mode, LZ77HuffFixed);
    // Once the block is open the selector repeats its answer unread.
    orvStatus s;
    writeBlock(orvsEncodeLZ77FixedHuff_8u, {lit(1)}, LZ77FlushNone, 100, &s, block.get());
    mode = -1;
    EXPECT_EQ(orvsEncodeLZ77SelectHuffMode_8u(skewed.data(), 1000, &mode, block.get()), orvStsOk);
    EXPECT_EQ(mode, LZ77HuffFixed);
    // No pairs while a header is due: fixed.
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, block.get());
    EXPECT_EQ(orvsEncodeLZ77SelectHuffMode_8u(skewed.data(), 0, &mode, block.get()), orvStsOk);
    EXPECT_EQ(mode, LZ77HuffFixed);
    EXPECT_EQ(orvsEncodeLZ77SelectHuffMode_8u(nullptr, 0, &mode, block.get()), orvStsNullPtr);
    EXPECT_EQ(orvsEncodeLZ77SelectHuffMode_8u(skewed.data(), -1, &mode, block.get()), orvStsBadSize);
}

// The selector's rule written out directly: count the literal/length
// symbols (end of block once), rank them by first appearance, and choose
// dynamic codes when the most frequent symbol's count exceeds that of the
// symbol at the count-weighted mean rank by at least a quarter of the pairs.
LZ77HuffMode referenceMode(const std::vector<LZ77Pair>& pairs) {
    if (pairs.empty()) return LZ77HuffFixed;
    static constexpr int kBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    std::vector<std::uint64_t> count(286, 0);
    count[256] = 1;
    std::vector<int> order;
    for (const LZ77Pair& p : pairs) {
        int sym = p.length & 0xFF;
        if (p.offset != 0) {
            const int len = 3 + ((p.length - 3) & 0xFF);
            int code = 28;
            while (len < kBase[code] || (code == 28 && len != 258)) --code;
            sym = 257 + code;
        }
        if (std::find(order.begin(), order.end(), sym) == order.end()) order.push_back(sym);
        ++count[static_cast<std::size_t>(sym)];
    }
    std::uint64_t most = 0, weighted = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        most = std::max(most, count[static_cast<std::size_t>(order[k])]);
        weighted += (k + 1) * count[static_cast<std::size_t>(order[k])];
    }
    const std::uint64_t atMean = count[static_cast<std::size_t>(order[weighted / pairs.size() - 1])];
    return most - atMean >= pairs.size() / 4 ? LZ77HuffDynamic : LZ77HuffFixed;
}

TEST(Selector, AgreesWithItsRuleOnMixedAndMatchFinderPairs) {
    EncoderBlock block(1, LZ77ChecksumAdler32);
    auto check = [&](const std::vector<LZ77Pair>& pairs) {
        orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, block.get());
        LZ77HuffMode mode = -1;
        ASSERT_EQ(orvsEncodeLZ77SelectHuffMode_8u(pairs.data(), static_cast<std::int32_t>(pairs.size()), &mode,
                                                  block.get()),
                  orvStsOk);
        EXPECT_EQ(mode, referenceMode(pairs)) << pairs.size();
    };
    for (std::uint64_t seed = 1; seed <= 40; ++seed) check(mixedPairs(1 + seed * 37, seed));
    // Pairs of the match finder on text of several kinds: some blocks go
    // each way.
    for (int level = 0; level < 3; ++level) {
        for (const Bytes& data : {textLikeBytes(100000, 3), skewedBytes(60000, 4, 5), randomBytes(20000, 6)}) {
            EncoderBlock finder(level, LZ77ChecksumNone);
            std::vector<LZ77Pair> pairs(data.size());
            const std::uint8_t* src = data.data();
            auto srcLen = static_cast<std::int32_t>(data.size());
            LZ77Pair* dst = pairs.data();
            auto room = static_cast<std::int32_t>(pairs.size());
            orvsEncodeLZ77_8u(&src, &srcLen, &dst, &room, LZ77FlushNone, finder.get());
            pairs.resize(static_cast<std::size_t>(dst - pairs.data()));
            for (std::size_t from = 0; from < pairs.size(); from += 3000) {
                check(std::vector<LZ77Pair>(pairs.begin() + static_cast<std::ptrdiff_t>(from),
                                            pairs.begin() + static_cast<std::ptrdiff_t>(std::min(from + 3000, pairs.size()))));
            }
        }
    }
}

TEST(BlockWriters, ArgumentChecksAndEmptyRoom) {
    for (PairWriter writer : {orvsEncodeLZ77FixedHuff_8u, orvsEncodeLZ77DynamicHuff_8u}) {
        EncoderBlock block(1, LZ77ChecksumAdler32);
        const LZ77Pair one = lit(1);
        const LZ77Pair* src = &one;
        std::int32_t n = 1;
        std::uint8_t out[4];
        std::uint8_t* d = out;
        std::int32_t room = 4;
        EXPECT_TRUE(eachNullRefused(writer, &src, &n, &d, &room, 0, block.get()));
        n = -1;
        EXPECT_EQ(writer(&src, &n, &d, &room, 0, block.get()), orvStsBadSize);
        n = 1;
        room = 0;
        EXPECT_EQ(writer(&src, &n, &d, &room, 0, block.get()), orvStsDstFull);
        EXPECT_EQ(n, 1);
        EXPECT_EQ(src, &one);
    }
}

}  // namespace
}  // namespace orvdc::test

#ifdef ORVDC_HAVE_ZLIB
namespace orvdc::test {
namespace {

// Counts the selector made for a block written with fixed codes must not be
// used for a later dynamic block whose writer was not preceded by it.
TEST(DynamicBlock, CountsDoNotOutliveTheirBlock) {
    EncoderBlock block(1, LZ77ChecksumAdler32);
    std::vector<LZ77Pair> first, second;
    for (char c : std::string("hello hello")) first.push_back(lit(c));
    for (char c : std::string("WORLD!")) second.push_back(lit(c));
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, block.get());
    LZ77HuffMode mode = -1;
    ASSERT_EQ(orvsEncodeLZ77SelectHuffMode_8u(first.data(), static_cast<std::int32_t>(first.size()), &mode, block.get()),
              orvStsOk);
    orvStatus s;
    Bytes stream = writeBlock(orvsEncodeLZ77FixedHuff_8u, first, LZ77FlushNone, 64, &s, block.get());
    Bytes rest = writeBlock(orvsEncodeLZ77DynamicHuff_8u, second, LZ77FlushFinish, 64, &s, block.get());
    EXPECT_EQ(s, orvStsStreamEnd);
    stream.insert(stream.end(), rest.begin(), rest.end());
    const std::string text = "hello helloWORLD!";
    EXPECT_TRUE(zlibInflates(stream, -15, Bytes(text.begin(), text.end())));
}

}  // namespace
}  // namespace orvdc::test
#endif

namespace orvdc::test {
namespace {

// Pairs outside the deflate ranges (literals above 255, lengths outside
// 3..258, distances above 32768) are coded from the low bits of their fields:
// the stream is meaningless but every write stays inside the destination.
TEST(BlockWriters, OutOfRangePairsStayInBounds) {
    Rng rng(26);
    std::vector<LZ77Pair> junk;
    for (int i = 0; i < 5000; ++i) {
        junk.push_back({static_cast<std::uint16_t>(rng.below(65536)),
                        static_cast<std::uint16_t>(rng.below(4) ? rng.below(65536) : 0)});
    }
    for (PairWriter writer : {orvsEncodeLZ77FixedHuff_8u, orvsEncodeLZ77DynamicHuff_8u}) {
        for (std::int32_t room : {1, 9, 1 << 16}) {
            orvStatus s;
            const Bytes out = writeBlock(writer, junk, LZ77FlushSync, room, &s);
            EXPECT_EQ(s, orvStsOk);
            EXPECT_GE(out.size(), junk.size());
        }
    }
    EncoderBlock block(1, LZ77ChecksumAdler32);
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, block.get());
    LZ77HuffMode mode;
    EXPECT_EQ(orvsEncodeLZ77SelectHuffMode_8u(junk.data(), 5000, &mode, block.get()), orvStsOk);
}

}  // namespace
}  // namespace orvdc::test
