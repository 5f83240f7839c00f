// Encoder and decoder: bit streams against a bit-at-a-time writer, round
// trips of the corpus and synthetic data, decoding in pieces, the table-driven
// path against the plain loop (output and the state left behind), single
// codes at every bit offset, and the documented edge cases and statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/test_support.h"
#include "huff_reference.h"
#include "huffman/huff_state.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::Rng;
namespace ref = orvdc::test::huffref;

struct Code {
    HuffState enc;
    HuffState dec;
    std::int32_t len[256];
};

bool makeCode(const std::int32_t* freq, Code& c) {
    if (orvsEncodeHuffInit_8u(freq, &c.enc) != orvStsOk) return false;
    orvsHuffGetLenCodeTable_8u(c.len, &c.enc);
    return orvsDecodeHuffInit_8u(c.len, &c.dec) == orvStsOk;
}

bool codeForData(const Bytes& data, Code& c) {
    std::int32_t freq[256] = {};
    for (auto b : data) ++freq[b];
    return makeCode(freq, c);
}

// Encodes with calls on pieces of random size into destinations sized
// exactly as promised, then Final.
Bytes encodeInPieces(const Bytes& data, HuffState& st, Rng& rng) {
    Bytes out;
    orvdc::test::CanaryRoom room;
    std::size_t pos = 0;
    while (pos < data.size()) {
        const std::size_t n = std::min<std::size_t>(data.size() - pos, 1 + rng.below(4000));
        const Bytes piece(data.begin() + static_cast<std::ptrdiff_t>(pos),
                          data.begin() + static_cast<std::ptrdiff_t>(pos + n));
        std::uint64_t bits = static_cast<std::uint64_t>(st.bitCount);
        for (auto b : piece) bits += static_cast<std::uint64_t>(st.codeLen[b]);
        std::uint8_t* dst = room.prepare(std::max<std::size_t>(1, 4 * (bits / 32)));
        std::int32_t written = -1;
        EXPECT_EQ(orvsEncodeHuff_8u(piece.data(), static_cast<std::int32_t>(n), dst, &written, &st), orvStsOk);
        EXPECT_EQ(static_cast<std::uint64_t>(written), 4 * (bits / 32));
        EXPECT_TRUE(room.untouchedFrom(static_cast<std::size_t>(written)));
        out.insert(out.end(), dst, dst + written);
        pos += n;
    }
    std::uint8_t* tail = room.prepare(4);
    std::int32_t written = -1;
    EXPECT_EQ(orvsEncodeHuffFinal_8u(tail, &written, &st), orvStsOk);
    EXPECT_TRUE(room.untouchedFrom(static_cast<std::size_t>(written)));
    out.insert(out.end(), tail, tail + written);
    return out;
}

Bytes referenceStream(const Bytes& data, const std::int32_t* len) {
    ref::Lengths l;
    std::copy(len, len + 256, l.begin());
    const ref::Values v = ref::canonicalValues(l);
    std::vector<bool> bits;
    for (auto b : data) ref::putCode(bits, v[b], l[b]);
    return ref::packBits(bits);
}

// Decodes with calls on source pieces, each given the remaining symbol count
// as capacity (or a random part of it, which drops source bytes whenever the
// destination fills up), comparing the table-driven path with the plain loop
// after every call.
Bytes decodeInPieces(const Bytes& stream, std::size_t symbols, const HuffState& init, Rng& rng,
                     std::size_t maxPiece, bool randomCapacity = false) {
    HuffState fast = init, plain = init;
    Bytes out(symbols + 1);
    orvdc::test::CanaryRoom room;
    std::size_t pos = 0, done = 0;
    while (pos < stream.size() && done < symbols) {
        const std::size_t n = std::min<std::size_t>(stream.size() - pos, 1 + rng.below(static_cast<std::uint32_t>(maxPiece)));
        Bytes other(symbols - done + 1);
        std::int32_t capFast = static_cast<std::int32_t>(symbols - done);
        if (randomCapacity) capFast = 1 + static_cast<std::int32_t>(rng.below(static_cast<std::uint32_t>(capFast)));
        std::int32_t capPlain = capFast;
        std::uint8_t* dst = room.prepare(static_cast<std::size_t>(capFast));
        EXPECT_EQ(orvdc::huff::decodeRun(stream.data() + pos, static_cast<std::int32_t>(n), dst, &capFast, &fast, true),
                  orvStsOk);
        EXPECT_TRUE(room.untouchedFrom(static_cast<std::size_t>(capFast)));
        std::copy(dst, dst + capFast, out.begin() + static_cast<std::ptrdiff_t>(done));
        EXPECT_EQ(orvdc::huff::decodeRun(stream.data() + pos, static_cast<std::int32_t>(n), other.data(), &capPlain,
                                         &plain, false),
                  orvStsOk);
        EXPECT_EQ(capFast, capPlain);
        EXPECT_TRUE(std::equal(other.begin(), other.begin() + capPlain, out.begin() + static_cast<std::ptrdiff_t>(done)));
        EXPECT_EQ(fast.bitBuffer, plain.bitBuffer);
        EXPECT_EQ(fast.bitCount, plain.bitCount);
        EXPECT_EQ(fast.pendingZeros, plain.pendingZeros);
        done += static_cast<std::size_t>(capFast);
        pos += n;
    }
    out.resize(done);
    return out;
}

TEST(HuffCodec, EncoderMatchesBitWriterAndRoundTrips) {
    Rng rng(21);
    std::vector<Bytes> inputs = {orvdc::test::textLikeBytes(50000, 1), orvdc::test::randomBytes(30000, 2),
                                 orvdc::test::skewedBytes(40000, 256, 3), orvdc::test::skewedBytes(20000, 5, 4),
                                 Bytes(5000, 'x')};
    for (const auto& path : orvdc::test::corpusFiles()) inputs.push_back(orvdc::test::readFile(path));
    for (const auto& data : inputs) {
        Code c;
        ASSERT_TRUE(codeForData(data, c));
        const Bytes stream = encodeInPieces(data, c.enc, rng);
        ASSERT_EQ(stream, referenceStream(data, c.len));
        std::int32_t encSize = 0;
        ASSERT_EQ(orvsHuffGetDstBuffSize_8u(c.len, static_cast<std::int32_t>(data.size()), &encSize, nullptr), orvStsOk);
        EXPECT_GE(static_cast<std::size_t>(encSize), stream.size());

        // One call with the exact symbol count.
        Bytes out(data.size());
        HuffState st = c.dec;
        std::int32_t cap = static_cast<std::int32_t>(data.size());
        ASSERT_EQ(orvsDecodeHuff_8u(stream.data(), static_cast<std::int32_t>(stream.size()), out.data(), &cap, &st),
                  orvStsOk);
        ASSERT_EQ(static_cast<std::size_t>(cap), data.size());
        ASSERT_EQ(out, data);
        // In pieces, both decoding paths in step.
        ASSERT_EQ(decodeInPieces(stream, data.size(), c.dec, rng, 3000), data);
    }
}

// Codes of every length up to 32, runs of the all-zero code, and streams of
// tiny pieces: the table-driven path must hand over to the plain loop at
// exactly the state the plain loop would have.
TEST(HuffCodec, PathsAgreeOnLongCodesAndZeroRuns) {
    Rng rng(22);
    for (int round = 0; round < 60; ++round) {
        std::int32_t freq[256] = {};
        const int symbols = 2 + static_cast<int>(rng.below(40));
        std::int32_t a = 1, b = 1;
        for (int s = 0; s < symbols; ++s) {
            // Fibonacci-like weights make long codes; some rounds reverse the
            // symbol order so the all-zero code belongs to a frequent symbol.
            const int sym = round % 2 == 0 ? s : 255 - s;
            freq[sym] = round % 3 == 0 ? 1 + static_cast<std::int32_t>(rng.below(50)) : a;
            const std::int32_t c = a + b;
            a = b;
            b = std::min<std::int32_t>(c, 1 << 24);
        }
        Code code;
        if (!makeCode(freq, code)) continue;
        Bytes data(2000 + rng.below(20000));
        // Draw symbols by their weights, sometimes favouring the rarest ones.
        std::vector<int> pool;
        for (int s = 0; s < 256; ++s) {
            if (code.len[s] == 0) continue;
            const int copies = round % 4 == 1 ? 1 + code.len[s] : std::max(1, 40 - code.len[s]);
            for (int k = 0; k < copies; ++k) pool.push_back(s);
        }
        for (auto& d : data) d = static_cast<std::uint8_t>(pool[rng.below(static_cast<std::uint32_t>(pool.size()))]);
        const Bytes stream = encodeInPieces(data, code.enc, rng);
        ASSERT_EQ(stream, referenceStream(data, code.len));
        ASSERT_EQ(decodeInPieces(stream, data.size(), code.dec, rng, round % 5 == 0 ? 3 : 700), data) << round;
        decodeInPieces(stream, data.size(), code.dec, rng, 2000, true);
    }
}

// Every capacity in a range: the table-driven path often stops exactly at
// the capacity, and the state it rebuilds must be the plain loop's.
TEST(HuffCodec, PathsAgreeAtEveryCapacity) {
    const Bytes data = orvdc::test::textLikeBytes(6000, 5);
    Code c;
    ASSERT_TRUE(codeForData(data, c));
    Rng rng(25);
    const Bytes stream = encodeInPieces(data, c.enc, rng);
    for (std::int32_t cap = 1024; cap < 1400; ++cap) {
        HuffState fast = c.dec, plain = c.dec;
        Bytes a(static_cast<std::size_t>(cap)), b(static_cast<std::size_t>(cap));
        std::int32_t capA = cap, capB = cap;
        const auto n = static_cast<std::int32_t>(stream.size());
        ASSERT_EQ(orvdc::huff::decodeRun(stream.data(), n, a.data(), &capA, &fast, true), orvStsOk);
        ASSERT_EQ(orvdc::huff::decodeRun(stream.data(), n, b.data(), &capB, &plain, false), orvStsOk);
        ASSERT_EQ(capA, cap);
        ASSERT_EQ(capB, cap);
        ASSERT_EQ(a, b);
        ASSERT_EQ(fast.bitBuffer, plain.bitBuffer) << cap;
        ASSERT_EQ(fast.bitCount, plain.bitCount) << cap;
        ASSERT_EQ(fast.pendingZeros, plain.pendingZeros) << cap;
    }
}

// Arbitrary bits through codes built from random lengths (complete or not):
// both paths agree, every symbol written has a code, and the calls end.
TEST(HuffCodec, PathsAgreeOnArbitraryBitsAndLengthTables) {
    Rng rng(23);
    for (int round = 0; round < 300; ++round) {
        std::int32_t len[256] = {};
        if (round % 2 == 0) {
            std::int32_t freq[256] = {};
            for (int k = 0; k < 1 + static_cast<int>(rng.below(256)); ++k) freq[rng.below(256)] = 1 + rng.below(1000);
            Code c;
            ASSERT_TRUE(makeCode(freq, c));
            std::copy(c.len, c.len + 256, len);
        } else {
            const int n = 1 + static_cast<int>(rng.below(30));
            for (int k = 0; k < n; ++k) len[rng.below(256)] = 1 + static_cast<std::int32_t>(rng.below(round % 4 == 1 ? 32 : 9));
        }
        HuffState st;
        ASSERT_EQ(orvsDecodeHuffInit_8u(len, &st), orvStsOk);
        Bytes stream = orvdc::test::randomBytes(1 + rng.below(3000), 100 + static_cast<std::uint64_t>(round));
        if (round % 3 == 0) {
            for (auto& b : stream) b = static_cast<std::uint8_t>(rng.below(8) == 0 ? b : 0);
        }
        const std::size_t cap = 1 + rng.below(30000);
        Rng split(static_cast<std::uint64_t>(round));
        const Bytes out = decodeInPieces(stream, cap, st, split, 1 + rng.below(900), round % 2 == 1);
        for (auto s : out) ASSERT_NE(len[s], 0) << "symbol " << int(s) << " round " << round;
    }
}

TEST(HuffCodec, EncoderWordAndFinalBoundaries) {
    std::int32_t flat[256];
    std::fill(flat, flat + 256, 1);
    HuffState st;
    ASSERT_EQ(orvsEncodeHuffInit_8u(flat, &st), orvStsOk);
    const std::uint8_t src[4] = {0, 1, 255, 7};
    std::uint8_t dst[8] = {};
    std::int32_t n = -1;
    ASSERT_EQ(orvsEncodeHuff_8u(src, 3, dst, &n, &st), orvStsOk);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(st.bitCount, 24);
    HuffState copy = st;
    ASSERT_EQ(orvsEncodeHuffFinal_8u(dst, &n, &st), orvStsOk);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(dst[0], 255);
    EXPECT_EQ(dst[1], 254);
    EXPECT_EQ(dst[2], 0);
    // Final changes nothing: a second one writes the same bytes.
    EXPECT_EQ(std::memcmp(&copy, &st, sizeof st), 0);
    ASSERT_EQ(orvsEncodeHuffFinal_8u(dst + 4, &n, &st), orvStsOk);
    EXPECT_EQ(std::memcmp(dst, dst + 4, 3), 0);

    ASSERT_EQ(orvsEncodeHuffInit_8u(flat, &st), orvStsOk);
    ASSERT_EQ(orvsEncodeHuff_8u(src, 4, dst, &n, &st), orvStsOk);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(dst[3], 248);
    ASSERT_EQ(orvsEncodeHuffFinal_8u(dst, &n, &st), orvStsOk);
    EXPECT_EQ(n, 0);
}

TEST(HuffCodec, EncodeOneAtEveryOffset) {
    // The documented case: offset 5, 2-bit code 11, sets bits 2 and 1 only.
    std::int32_t freq[256] = {};
    freq[10] = freq[11] = freq[12] = freq[13] = 1;  // four 2-bit codes; symbol 10 gets 11
    HuffState st;
    ASSERT_EQ(orvsEncodeHuffInit_8u(freq, &st), orvStsOk);
    std::uint8_t one[2] = {0x00, 0x5A};
    ASSERT_EQ(orvsEncodeHuffOne_8u(10, one, 5, &st), orvStsOk);
    EXPECT_EQ(one[0], 0x06);
    EXPECT_EQ(one[1], 0x5A);

    // Long codes at every offset: bits above the offset and below a code that
    // ends inside the first byte survive; later bytes are overwritten.
    std::int32_t fib[256] = {};
    std::int32_t a = 1, b = 1;
    for (int s = 0; s < 33; ++s) {
        fib[s] = a;
        const std::int32_t c = a + b;
        a = b;
        b = c;
    }
    Code code;
    ASSERT_TRUE(makeCode(fib, code));
    Rng rng(24);
    for (int s = 0; s < 33; ++s) {
        const int l = code.len[s];
        for (int o = 0; o < 8; ++o) {
            const std::size_t bytes = static_cast<std::size_t>(o + l + 7) / 8;
            Bytes buf(bytes);
            for (auto& x : buf) x = static_cast<std::uint8_t>(rng.below(256));
            Bytes expect = buf;
            for (std::size_t k = 1; k < bytes; ++k) expect[k] = 0;
            if (o == 0) expect[0] = 0;
            for (int k = 0; k < l; ++k) {
                const int bit = o + k;
                if ((code.enc.codeValue[s] >> (l - 1 - k)) & 1u) expect[bit / 8] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
            }
            ASSERT_EQ(orvsEncodeHuffOne_8u(static_cast<std::uint8_t>(s), buf.data(), o, &code.enc), orvStsOk);
            ASSERT_EQ(buf, expect) << "symbol " << s << " offset " << o;

            // The decoder reads exactly (offset + 32 + 7) / 8 bytes (5 at offset
            // 7) and finds the code whatever bits follow it.
            Bytes win((static_cast<std::size_t>(o) + 32 + 7) / 8);
            for (auto& x : win) x = static_cast<std::uint8_t>(rng.below(256));
            for (int k = 0; k < l; ++k) {
                const int bit = o + k;
                const auto mask = static_cast<std::uint8_t>(0x80 >> (bit % 8));
                win[bit / 8] = static_cast<std::uint8_t>(win[bit / 8] & ~mask);
                if ((code.enc.codeValue[s] >> (l - 1 - k)) & 1u) win[bit / 8] |= mask;
            }
            std::uint8_t got = 0xEE;
            ASSERT_EQ(orvsDecodeHuffOne_8u(win.data(), o, &got, &code.dec), orvStsOk);
            ASSERT_EQ(got, s) << "offset " << o;
        }
    }
    std::uint8_t d = 0;
    EXPECT_EQ(orvsEncodeHuffOne_8u(200, &d, 0, &code.enc), orvStsNoCode);
    EXPECT_EQ(orvsEncodeHuffOne_8u(1, &d, 8, &code.enc), orvStsBadSize);
    EXPECT_EQ(orvsEncodeHuffOne_8u(1, &d, -1, &code.enc), orvStsBadSize);
    EXPECT_TRUE(orvdc::test::eachNullRefused(orvsEncodeHuffOne_8u, 1, &d, 0, &code.enc));
}

// Decoding in pieces and at every capacity is checked against the encoder and
// the bit writer above; here the symbol of the all-zero code and a lone code.
TEST(HuffCodec, ZeroCodeSymbolAndLoneCode) {
    std::int32_t len[256] = {};
    len[int{'a'}] = 2;
    len[int{'b'}] = 2;
    len[int{'c'}] = 1;
    HuffState st;
    ASSERT_EQ(orvsDecodeHuffInit_8u(len, &st), orvStsOk);
    EXPECT_EQ(st.zeroSymbol, 'b');
    // A single code of length 1: every 0 bit is that symbol.
    std::int32_t single[256] = {};
    single[77] = 1;
    ASSERT_EQ(orvsDecodeHuffInit_8u(single, &st), orvStsOk);
    const std::uint8_t zeros[3] = {0, 0, 0};
    std::uint8_t many[40];
    std::int32_t cap = 40;
    ASSERT_EQ(orvsDecodeHuff_8u(zeros, 3, many, &cap, &st), orvStsOk);
    EXPECT_EQ(cap, 24);
    EXPECT_TRUE(std::all_of(many, many + 24, [](std::uint8_t x) { return x == 77; }));
}

TEST(HuffCodec, DecoderStatusesAndEmptyCodes) {
    std::int32_t len[256] = {};
    HuffState st;
    std::uint8_t src[8] = {0x80, 1, 2, 3, 4, 5, 6, 7};
    std::uint8_t dst[16];
    std::memset(dst, 0xCC, sizeof dst);
    std::int32_t cap = 16;

    // All lengths 0: Init succeeds, the decoders refuse and write nothing.
    ASSERT_EQ(orvsDecodeHuffInit_8u(len, &st), orvStsOk);
    EXPECT_EQ(orvsDecodeHuffOne_8u(src, 0, dst, &st), orvStsBadSize);
    EXPECT_EQ(orvsDecodeHuff_8u(src, 8, dst, &cap, &st), orvStsBadSize);
    EXPECT_EQ(cap, 16);
    EXPECT_EQ(dst[0], 0xCC);

    len[5] = 33;
    EXPECT_EQ(orvsDecodeHuffInit_8u(len, &st), orvStsNoCode);
    len[5] = -1;
    EXPECT_EQ(orvsDecodeHuffInit_8u(len, &st), orvStsNoCode);
    len[5] = 1;
    len[6] = 1;
    EXPECT_TRUE(orvdc::test::eachNullRefused(orvsDecodeHuffInit_8u, len, &st));
    ASSERT_EQ(orvsDecodeHuffInit_8u(len, &st), orvStsOk);

    EXPECT_TRUE(orvdc::test::eachNullRefused(orvsDecodeHuffOne_8u, src, 0, dst, &st));
    EXPECT_EQ(orvsDecodeHuffOne_8u(src, 8, dst, &st), orvStsBadSize);
    EXPECT_TRUE(orvdc::test::eachNullRefused(orvsDecodeHuff_8u, src, 8, dst, &cap, &st));
    EXPECT_EQ(orvsDecodeHuff_8u(src, 0, dst, &cap, &st), orvStsBadSize);
    cap = 0;
    EXPECT_EQ(orvsDecodeHuff_8u(src, 8, dst, &cap, &st), orvStsBadSize);
    EXPECT_EQ(cap, 0);

    // An encoder state holds no decoding tables.
    std::int32_t freq[256] = {};
    freq[1] = freq[2] = 1;
    HuffState enc;
    ASSERT_EQ(orvsEncodeHuffInit_8u(freq, &enc), orvStsOk);
    cap = 4;
    EXPECT_EQ(orvsDecodeHuffOne_8u(src, 0, dst, &enc), orvStsNullPtr);
    EXPECT_EQ(orvsDecodeHuff_8u(src, 8, dst, &cap, &enc), orvStsNullPtr);

    // An incomplete code: bits that match no code are reported, not guessed.
    std::int32_t part[256] = {};
    part[9] = 2;  // code 00 only
    ASSERT_EQ(orvsDecodeHuffInit_8u(part, &st), orvStsOk);
    const std::uint8_t ones[1] = {0xFF};
    EXPECT_EQ(orvsDecodeHuffOne_8u(ones, 0, dst, &st), orvStsNoCode);
    cap = 4;
    EXPECT_EQ(orvsDecodeHuff_8u(ones, 1, dst, &cap, &st), orvStsOk);
    EXPECT_EQ(cap, 0);

    // InitAlloc checks the table before allocating, then hands out the block.
    HuffState* p = nullptr;
    EXPECT_EQ(orvsDecodeHuffInitAlloc_8u(nullptr, &p), orvStsNullPtr);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(orvsDecodeHuffInitAlloc_8u(len, nullptr), orvStsNullPtr);
    len[7] = 40;
    EXPECT_EQ(orvsDecodeHuffInitAlloc_8u(len, &p), orvStsNoCode);
    ASSERT_NE(p, nullptr);
    orvsHuffFree_8u(p);
    len[7] = 0;
    ASSERT_EQ(orvsDecodeHuffInitAlloc_8u(len, &p), orvStsOk);
    orvsHuffFree_8u(p);

    EXPECT_EQ(orvsEncodeHuff_8u(src, 0, dst, &cap, &enc), orvStsBadSize);
    EXPECT_EQ(orvsEncodeHuff_8u(src, 1, dst, nullptr, &enc), orvStsNullPtr);
    EXPECT_EQ(orvsEncodeHuffFinal_8u(dst, &cap, nullptr), orvStsNullPtr);
}

// Decoding arbitrary bits gives the same symbols and state whatever the
// state memory held before Init, for complete and incomplete codes.
TEST(HuffCodec, NothingReadFromStateMemoryBeforeItIsWritten) {
    std::int32_t size = 0;
    ASSERT_EQ(orvsHuffGetSize_8u(&size), orvStsOk);
    Rng rng(31);
    for (int round = 0; round < 20; ++round) {
        std::int32_t len[256] = {};
        for (int s = 0; s < 256; ++s) len[s] = rng.below(3) == 0 ? 0 : 4 + static_cast<std::int32_t>(rng.below(round % 2 ? 6 : 13));
        const Bytes bits = orvdc::test::randomBytes(2000, static_cast<std::uint64_t>(round) + 1);
        Bytes out[2];
        for (int k = 0; k < 2; ++k) {
            orvdc::test::FilledMemory mem(static_cast<std::size_t>(size), k == 0 ? 0x00 : 0xFF);
            auto* st = mem.as<HuffState>();
            if (orvsDecodeHuffInit_8u(len, st) != orvStsOk) continue;
            out[k].resize(20000);
            auto cap = static_cast<std::int32_t>(out[k].size());
            orvsDecodeHuff_8u(bits.data(), static_cast<std::int32_t>(bits.size()), out[k].data(), &cap, st);
            out[k].resize(static_cast<std::size_t>(cap));
            for (int o = 0; o < 8; ++o) {
                std::uint8_t sym = 0;
                const orvStatus one = orvsDecodeHuffOne_8u(bits.data() + 100, o, &sym, st);
                out[k].push_back(static_cast<std::uint8_t>(one));
                out[k].push_back(sym);
            }
        }
        EXPECT_EQ(out[0], out[1]) << round;
    }
}

}  // namespace
