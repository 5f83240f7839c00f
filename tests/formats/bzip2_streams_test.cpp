// bzip2 streams of the format layer, checked against libbz2 in both
// directions: one call and streaming with every way of cutting input and
// room, the block-level interface, the output bound, concatenated streams and
// damaged input.
#include <gtest/gtest.h>
#if ORVDC_HAVE_BZ2
#include <bzlib.h>
#endif
#include <orvdc_formats.h>

#include <cstring>

#include "formats_test_support.h"

namespace {

bool bz2Decompress(const Bytes& in, std::size_t expected, Bytes* out) {
    out->assign(expected + 1, 0);
#if !ORVDC_HAVE_BZ2
    // Builds without libbz2 (32-bit) check the layer against itself.
    std::size_t len = out->size();
    const bool ok = orvfBzip2Decompress(in.data(), in.size(), nullptr, out->data(), &len) == orvStsOk;
    out->resize(len);
    return ok;
#else
    unsigned len = static_cast<unsigned>(out->size());
    const int st = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out->data()), &len,
                                              const_cast<char*>(reinterpret_cast<const char*>(in.data())),
                                              static_cast<unsigned>(in.size()), 0, 0);
    out->resize(len);
    return st == BZ_OK;
#endif
}

Bytes oneCall(int level, const Bytes& in);

Bytes bz2Compress(const Bytes& in, int level) {
#if !ORVDC_HAVE_BZ2
    return oneCall(level, in);
#else
    static const std::uint8_t none[1] = {0};
    Bytes out(in.size() + in.size() / 100 + 700);
    unsigned len = static_cast<unsigned>(out.size());
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &len,
                                       const_cast<char*>(reinterpret_cast<const char*>(in.empty() ? none : in.data())),
                                       static_cast<unsigned>(in.size()), level, 0, 0),
              BZ_OK);
    out.resize(len);
    return out;
#endif
}

Bytes oneCall(int level, const Bytes& in) {
    Bytes out(orvfBzip2Bound(in.size()));
    std::size_t len = out.size();
    EXPECT_EQ(orvfBzip2Compress(level, in.data(), in.size(), out.data(), &len), orvStsOk);
    out.resize(len);
    return out;
}

Bytes streamCompress(int level, const Bytes& in, Pieces inCuts, Pieces roomCuts) {
    OrvfBzip2Encoder* e = nullptr;
    EXPECT_EQ(orvfBzip2EncoderCreate(level, &e), orvStsOk);
    Bytes out(orvfBzip2Bound(in.size()));
    std::size_t pos = 0, outPos = 0;
    orvStatus st;
    do {
        const std::size_t n = std::min(inCuts.next(), in.size() - pos);
        const std::uint8_t* src = in.data() + pos;
        std::size_t srcLen = n;
        const OrvfFlush flush = pos + n == in.size() ? orvfFlushFinish : orvfFlushNone;
        do {
            std::uint8_t* dst = out.data() + outPos;
            std::size_t room = std::min(roomCuts.next(), out.size() - outPos);
            const std::size_t before = room;
            st = orvfBzip2EncoderRun(e, &src, &srcLen, &dst, &room, flush);
            outPos += before - room;
        } while (st == orvStsDstFull);
        pos += n;
        if (st < 0) break;
    } while (st != orvStsStreamEnd);
    orvfBzip2EncoderFree(e);
    out.resize(outPos);
    return out;
}

Bytes streamDecompress(const Bytes& in, Pieces inCuts, Pieces roomCuts, orvStatus* final) {
    OrvfBzip2Decoder* d = nullptr;
    EXPECT_EQ(orvfBzip2DecoderCreate(&d), orvStsOk);
    Bytes out;
    std::vector<std::uint8_t> buf(1 << 20);
    std::size_t pos = 0;
    orvStatus st;
    for (;;) {
        const std::size_t n = std::min(inCuts.next(), in.size() - pos);
        const std::uint8_t* src = in.data() + pos;
        std::size_t srcLen = n;
        const bool last = pos + n == in.size();
        do {
            std::uint8_t* dst = buf.data();
            std::size_t room = std::min(roomCuts.next(), buf.size());
            const std::size_t before = room;
            st = orvfBzip2DecoderRun(d, &src, &srcLen, &dst, &room, last ? 1 : 0);
            out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(before - room));
        } while (st == orvStsDstFull || (st == orvStsStreamEnd && srcLen > 0));
        pos += n - srcLen;
        if (st < 0 || last) break;
    }
    orvfBzip2DecoderFree(d);
    *final = st;
    return out;
}

// Runs of every length around the run-length stage's edges.
Bytes runEdges() {
    Bytes b;
    for (int n : {1, 2, 3, 4, 5, 6, 258, 259, 260, 261, 518, 519, 520}) {
        b.insert(b.end(), static_cast<std::size_t>(n), 'q');
        b.push_back('r');
        b.insert(b.end(), static_cast<std::size_t>(n), 'r');
    }
    return b;
}

std::vector<NamedInput> inputs() {
    std::vector<NamedInput> v = {
        {"empty", {}},
        {"one byte", {'x'}},
        {"run edges", runEdges()},
        {"text 250 KB", textBytes(250000, 1)},
        {"random 120 KB", randomBytes(120000, 2)},
        {"zeros 1 MB", Bytes(1000000, 0)},
        {"mixed 300 KB", mixedBytes(300000, 3)},
    };
    Bytes corpus = corpusBytes("alice29.txt", 1 << 20);
    if (!corpus.empty()) v.push_back({"alice29.txt", std::move(corpus)});
    return v;
}

TEST(Bzip2Streams, OneCallRoundTripsThroughLibbz2AndBack) {
    for (const auto& in : inputs()) {
        for (int level : {1, 9}) {
            SCOPED_TRACE(in.name + " level " + std::to_string(level));
            const Bytes packed = oneCall(level, in.data);
            EXPECT_LE(packed.size(), orvfBzip2Bound(in.data.size()));
            Bytes restored;
            ASSERT_TRUE(bz2Decompress(packed, in.data.size(), &restored));
            EXPECT_EQ(restored, in.data);
            Bytes mine(in.data.size());
            std::size_t len = mine.size(), used = 0;
            ASSERT_EQ(orvfBzip2Decompress(packed.data(), packed.size(), &used, mine.data(), &len), orvStsOk);
            mine.resize(len);
            EXPECT_EQ(mine, in.data);
            EXPECT_EQ(used, packed.size());

            const Bytes theirs = bz2Compress(in.data, level);
            len = mine.size() + 1;
            mine.resize(len);
            ASSERT_EQ(orvfBzip2Decompress(theirs.data(), theirs.size(), nullptr, mine.data(), &len), orvStsOk);
            mine.resize(len);
            EXPECT_EQ(mine, in.data);
        }
    }
}

TEST(Bzip2Streams, EveryCutOfInputAndRoomGivesTheSameStream) {
    const std::vector<NamedInput> cases = {{"text", textBytes(260000, 4)}, {"small", runEdges()}};
    const std::vector<std::vector<std::size_t>> cuts = {{1}, {7, 1, 4096}, {65536}, {1 << 20}};
    for (const auto& in : cases) {
        const Bytes reference = oneCall(1, in.data);
        for (const auto& inCut : cuts) {
            for (const auto& roomCut : cuts) {
                if (in.data.size() > 10000 && inCut[0] == 1 && roomCut[0] == 1) continue;
                SCOPED_TRACE(in.name + " input cut " + std::to_string(inCut[0]) + " room cut " +
                             std::to_string(roomCut[0]));
                EXPECT_EQ(streamCompress(1, in.data, Pieces(inCut), Pieces(roomCut)), reference);
                orvStatus final;
                EXPECT_EQ(streamDecompress(reference, Pieces(inCut), Pieces(roomCut), &final), in.data);
                EXPECT_EQ(final, orvStsStreamEnd);
            }
        }
    }
}

// Blocks filled in order and coded in any order, their bits joined, give
// the encoder's stream byte for byte.
TEST(Bzip2Streams, BlocksCodedApartJoinToTheSameStream) {
    const Bytes data = textBytes(350000, 5);
    std::vector<OrvfBzip2Block*> blocks;
    const std::uint8_t* src = data.data();
    std::size_t srcLen = data.size();
    while (srcLen > 0) {
        OrvfBzip2Block* b = nullptr;
        ASSERT_EQ(orvfBzip2BlockCreate(1, &b), orvStsOk);
        const orvStatus st = orvfBzip2BlockFill(b, &src, &srcLen);
        EXPECT_TRUE(st == orvStsOk || st == orvStsDstFull);
        blocks.push_back(b);
    }
    ASSERT_GE(blocks.size(), 3u);
    std::vector<const std::uint8_t*> bits(blocks.size());
    std::vector<std::uint64_t> counts(blocks.size());
    std::vector<std::uint32_t> crcs(blocks.size());
    for (std::size_t i = blocks.size(); i-- > 0;) {
        ASSERT_EQ(orvfBzip2BlockEncode(blocks[i], &bits[i], &counts[i], &crcs[i]), orvStsOk);
    }
    Bytes stream = {'B', 'Z', 'h', '1'};
    std::uint64_t acc = 0;
    int pending = 0;
    const auto put = [&](std::uint32_t v, int n) {
        for (int k = n - 1; k >= 0; --k) {
            acc = (acc << 1) | ((v >> k) & 1);
            if (++pending == 8) {
                stream.push_back(static_cast<std::uint8_t>(acc));
                pending = 0;
            }
        }
    };
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        for (std::uint64_t k = 0; k < counts[i]; ++k) put((bits[i][k / 8] >> (7 - k % 8)) & 1, 1);
        crc = orvfBzip2CombineCrc(crc, crcs[i]);
        orvfBzip2BlockFree(blocks[i]);
    }
    put(0x177245, 24);
    put(0x385090, 24);
    put(crc, 32);
    while (pending != 0) put(0, 1);
    EXPECT_EQ(stream, oneCall(1, data));
}

// Blocks read in order and restored in any order give the data back; a
// damaged block is caught when restored, a damaged stream CRC when read.
TEST(Bzip2Streams, BlocksReadInOrderRestoreInAnyOrder) {
    const Bytes data = textBytes(450000, 11);
    Bytes packed = oneCall(1, data);
    OrvfBzip2Decoder* d = nullptr;
    ASSERT_EQ(orvfBzip2DecoderCreate(&d), orvStsOk);
    std::vector<OrvfBzip2Unblock*> blocks;
    const std::uint8_t* src = packed.data();
    std::size_t srcLen = packed.size();
    orvStatus st;
    for (;;) {
        OrvfBzip2Unblock* u = nullptr;
        ASSERT_EQ(orvfBzip2UnblockCreate(&u), orvStsOk);
        st = orvfBzip2DecoderNextBlock(d, &src, &srcLen, 1, u);
        if (st != orvStsOk) {
            orvfBzip2UnblockFree(u);
            break;
        }
        blocks.push_back(u);
    }
    EXPECT_EQ(st, orvStsStreamEnd);
    ASSERT_GE(blocks.size(), 4u);
    std::vector<Bytes> parts(blocks.size());
    for (std::size_t i = blocks.size(); i-- > 0;) {
        const std::uint8_t* out;
        std::size_t len;
        ASSERT_EQ(orvfBzip2UnblockRestore(blocks[i], &out, &len), orvStsOk);
        parts[i].assign(out, out + len);
    }
    Bytes joined;
    for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
    EXPECT_EQ(joined, data);

    // The first block's stored CRC changed: the stream CRC no longer
    // matches when the end is read, and the block's own CRC fails on restore.
    packed[4 + 6 + 2] ^= 0x01;  // inside the first block's CRC field
    orvfBzip2DecoderReset(d);
    src = packed.data();
    srcLen = packed.size();
    ASSERT_EQ(orvfBzip2DecoderNextBlock(d, &src, &srcLen, 1, blocks[0]), orvStsOk);
    const std::uint8_t* out;
    std::size_t len;
    EXPECT_EQ(orvfBzip2UnblockRestore(blocks[0], &out, &len), orvfStsBadChecksum);
    for (std::size_t i = 1; i < blocks.size(); ++i) EXPECT_EQ(orvfBzip2DecoderNextBlock(d, &src, &srcLen, 1, blocks[i]), orvStsOk);
    EXPECT_EQ(orvfBzip2DecoderNextBlock(d, &src, &srcLen, 1, blocks[0]), orvfStsBadChecksum);
    for (OrvfBzip2Unblock* u : blocks) orvfBzip2UnblockFree(u);
    orvfBzip2DecoderFree(d);
}

// Data the run-length stage grows by a quarter, and random data, stay within
// the bound; a stream never grows much beyond its input for random bytes.
TEST(Bzip2Streams, BoundHoldsForTheWorstInputs) {
    Bytes grows;
    for (int i = 0; grows.size() < 500000; ++i) grows.insert(grows.end(), 4, static_cast<std::uint8_t>(i * 37));
    for (const Bytes& data : {grows, randomBytes(950000, 6), Bytes{}}) {
        for (int level : {1, 9}) {
            const Bytes packed = oneCall(level, data);
            EXPECT_LE(packed.size(), orvfBzip2Bound(data.size()));
            Bytes out(packed.size() - 1);
            std::size_t len = out.size();
            if (!data.empty()) {
                EXPECT_EQ(orvfBzip2Compress(level, data.data(), data.size(), out.data(), &len), orvStsDstFull);
            }
        }
    }
    EXPECT_LT(oneCall(9, randomBytes(900000, 7)).size(), 900000u * 101 / 100);
}

TEST(Bzip2Streams, ConcatenatedStreamsAndTrailingData) {
    const Bytes a = textBytes(150000, 8), b = runEdges();
    Bytes both = oneCall(9, a);
    const Bytes second = bz2Compress(b, 1);
    both.insert(both.end(), second.begin(), second.end());
    const Bytes empty = oneCall(9, {});
    EXPECT_EQ(empty.size(), 14u);
    both.insert(both.end(), empty.begin(), empty.end());
    Bytes expect = a;
    expect.insert(expect.end(), b.begin(), b.end());
    Bytes out(expect.size());
    std::size_t len = out.size(), used = 0;
    ASSERT_EQ(orvfBzip2Decompress(both.data(), both.size(), &used, out.data(), &len), orvStsOk);
    EXPECT_EQ(out, expect);
    EXPECT_EQ(used, both.size());
    orvStatus final;
    EXPECT_EQ(streamDecompress(both, Pieces({1, 5000}), Pieces({333}), &final), expect);
    EXPECT_EQ(final, orvStsStreamEnd);

    Bytes trailing = both;
    trailing.insert(trailing.end(), {'j', 'u', 'n', 'k'});
    len = out.size();
    EXPECT_EQ(orvfBzip2Decompress(trailing.data(), trailing.size(), &used, out.data(), &len), orvfStsTrailingData);
    EXPECT_EQ(used, both.size());
}

// Every cut and many bit flips are refused with a status; none crashes or
// passes as the original.
TEST(Bzip2Streams, DamagedStreamsAreRefused) {
    const Bytes data = mixedBytes(200000, 9);
    const Bytes packed = oneCall(1, data);
    Bytes out(data.size() * 2);
    for (std::size_t cut = 0; cut < packed.size(); cut += 1 + cut / 4) {
        std::size_t len = out.size();
        EXPECT_LT(orvfBzip2Decompress(packed.data(), cut, nullptr, out.data(), &len), 0) << "cut at " << cut;
    }
    for (std::size_t i = 1; i < 60; ++i) {
        Bytes flipped = packed;
        const std::size_t at = 4 + (packed.size() - 5) * i / 60;
        flipped[at] ^= static_cast<std::uint8_t>(1 << (i % 8));
        std::size_t len = out.size();
        const orvStatus st = orvfBzip2Decompress(flipped.data(), flipped.size(), nullptr, out.data(), &len);
        EXPECT_LT(st, 0) << "flip at " << at;
    }
    const Bytes notBz = {'B', 'Z', 'h', '0'};
    std::size_t len = out.size();
    EXPECT_EQ(orvfBzip2Decompress(notBz.data(), notBz.size(), nullptr, out.data(), &len), orvfStsBadHeader);
    len = out.size();
    EXPECT_EQ(orvfBzip2Decompress(data.data(), 100, nullptr, out.data(), &len), orvfStsBadMagic);
    Bytes crc = oneCall(1, textBytes(1000, 10));
    crc[crc.size() - 2] ^= 1;  // inside the stream CRC
    len = out.size();
    EXPECT_EQ(orvfBzip2Decompress(crc.data(), crc.size(), nullptr, out.data(), &len), orvfStsBadChecksum);
    EXPECT_EQ(orvfBzip2EncoderCreate(0, nullptr), orvStsNullPtr);
    OrvfBzip2Encoder* e = nullptr;
    EXPECT_EQ(orvfBzip2EncoderCreate(10, &e), orvStsBadArg);
}

}  // namespace
