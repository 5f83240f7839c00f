// LZSS decoder: resumption after any split of source and destination (inside
// tokens and inside matches), hand-made streams with every kind of distance
// against the reference expansion, round trips of the corpus, the life cycle
// and the argument checks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "common/test_support.h"
#include "lzss/lzss_driver.h"
#include "lzss/lzss_reference.h"
#include "orvdc.h"

namespace {

using lzss_ref::Token;
using lzss_test::Bytes;
using lzss_test::Cycle;
using lzss_test::StateMemory;
using lzss_test::fixed;
using lzss_test::kStateBytes;
using orvdc::test::Rng;

Bytes encodeWhole(const Bytes& data) {
    StateMemory mem;
    return lzss_test::encode(mem.get(), data, {data.size()}, fixed(data.size() * 2 + 16));
}

// Text, a long run and a copy at the far edge of the history: matches of
// every length, overlapping copies of short periods, and copies that the
// window must serve once the destination is split.
Bytes sampleData() {
    Bytes data = orvdc::test::textLikeBytes(1500, 21);
    data.insert(data.end(), 600, 'k');
    for (int k = 0; k < 40; ++k) data.push_back(static_cast<std::uint8_t>("ab"[k % 2]));
    for (int k = 0; k < 60; ++k) data.push_back(static_cast<std::uint8_t>("abcdefg"[k % 7]));
    const Bytes noise = orvdc::test::randomBytes(31000, 4);
    data.insert(data.end(), noise.begin(), noise.end());
    data.insert(data.end(), data.begin() + 100, data.begin() + 700);  // ~32 KB back
    return data;
}

TEST(LzssDecode, ResumesAfterAnySourceAndDestinationSplit) {
    const Bytes data = sampleData();
    const Bytes stream = encodeWhole(data);
    StateMemory mem;
    const std::vector<std::size_t> pieces = {1, 2, 3, 5, 8, 13, 64, 1 << 20};
    std::vector<std::size_t> rooms;
    for (std::size_t r = 1; r <= 12; ++r) rooms.push_back(r);
    for (std::size_t r : {100, 257, 258, 259, 515, 516, 517, 4093, 1 << 20}) rooms.push_back(r);
    for (std::size_t piece : pieces) {
        for (std::size_t room : rooms) {
            if (piece * room < 64) continue;  // keeps the run time modest; small rooms meet small pieces below
            ASSERT_EQ(lzss_test::decode(mem.get(), stream, fixed(piece), fixed(room)), data)
                << "piece " << piece << ", room " << room;
        }
    }
    const Bytes head(data.begin(), data.begin() + 2300);
    const Bytes headStream = encodeWhole(head);
    for (std::size_t piece = 1; piece <= 4; ++piece) {
        for (std::size_t room = 1; room <= 12; ++room) {
            ASSERT_EQ(lzss_test::decode(mem.get(), headStream, fixed(piece), fixed(room)), head)
                << "piece " << piece << ", room " << room;
        }
    }
}

TEST(LzssDecode, ResumesAfterIrregularSplits) {
    const Bytes data = orvdc::test::corpusFile("html");
    const Bytes input = data.empty() ? orvdc::test::textLikeBytes(100000, 8) : data;
    // Encoded in irregular calls, so the stream has call tails too.
    StateMemory enc;
    Rng callRng(5);
    std::vector<std::size_t> ends;
    for (std::size_t pos = 0; pos < input.size();) {
        pos = std::min(input.size(), pos + 1 + callRng.below(20000));
        ends.push_back(pos);
    }
    const Bytes stream = lzss_test::encode(enc.get(), input, ends, fixed(1 << 20));
    StateMemory mem;
    for (std::uint64_t seed = 1; seed <= 3; ++seed) {
        Rng rng(seed);
        const std::uint32_t maxPiece = seed == 1 ? 40 : 5000;
        const std::uint32_t maxRoom = seed == 3 ? 70000 : 600;
        ASSERT_EQ(lzss_test::decode(mem.get(), stream, [&] { return 1 + rng.below(maxPiece); },
                                    [&] { return 1 + rng.below(maxRoom); }),
                  input)
            << seed;
    }
}

// A destination that ends inside a match: the next call finishes the match
// first, even with no source.
TEST(LzssDecode, PendingMatchFinishesWithEmptySource) {
    const Bytes stream = lzss_ref::writeTokens({lzss_ref::literal('a'), lzss_ref::literal('b'),
                                                lzss_ref::match(2, 200), lzss_ref::literal('c')});
    StateMemory mem;
    ASSERT_EQ(orvsDecodeLZSSInit_8u(mem.get()), orvStsOk);
    const std::uint8_t* src = stream.data();
    std::int32_t srcLen = static_cast<std::int32_t>(stream.size());
    Bytes out(300);
    std::uint8_t* dst = out.data();
    std::int32_t dstLen = 50;
    ASSERT_EQ(orvsDecodeLZSS_8u(&src, &srcLen, &dst, &dstLen, mem.get()), orvStsDstFull);
    EXPECT_EQ(src, stream.data() + 6);  // 9 + 9 + 24 bits hold the first three tokens
    std::int32_t empty = 0;
    dstLen = 100;
    ASSERT_EQ(orvsDecodeLZSS_8u(&src, &empty, &dst, &dstLen, mem.get()), orvStsDstFull);
    dstLen = 100;
    ASSERT_EQ(orvsDecodeLZSS_8u(&src, &empty, &dst, &dstLen, mem.get()), orvStsOk);
    EXPECT_EQ(dstLen, 48);  // the match's last 52 bytes
    dstLen = 100;
    ASSERT_EQ(orvsDecodeLZSS_8u(&src, &srcLen, &dst, &dstLen, mem.get()), orvStsOk);
    EXPECT_EQ(srcLen, 0);
    out.resize(static_cast<std::size_t>(dst - out.data()));
    Bytes want = {'a', 'b'};
    for (int k = 0; k < 100; ++k) want.insert(want.end(), {'a', 'b'});
    want.push_back('c');
    EXPECT_EQ(out, want);
}

// A source that ends inside a token is consumed whole; the token goes on
// with the next call's bytes.  Trailing pad bits produce nothing.
TEST(LzssDecode, PartialTokensWaitAndPaddingIsIgnored) {
    const Bytes stream = lzss_ref::writeTokens({lzss_ref::literal('x'), lzss_ref::match(1, 10)});
    ASSERT_EQ(stream.size(), 5u);  // 33 bits: 7 pad bits
    StateMemory mem;
    ASSERT_EQ(orvsDecodeLZSSInit_8u(mem.get()), orvStsOk);
    Bytes out(32);
    std::uint8_t* dst = out.data();
    for (std::size_t k = 0; k < stream.size(); ++k) {
        const std::uint8_t* src = stream.data() + k;
        std::int32_t srcLen = 1, dstLen = 32;
        ASSERT_EQ(orvsDecodeLZSS_8u(&src, &srcLen, &dst, &dstLen, mem.get()), orvStsOk);
        EXPECT_EQ(srcLen, 0);
        const std::size_t produced = static_cast<std::size_t>(dst - out.data());
        EXPECT_EQ(produced, k < 2 ? k : k < 4 ? 1u : 11u) << k;
    }
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 11), Bytes(11, 'x'));
}

// Any distance is decoded without leaving the buffers: distances reaching
// behind the stream's start read the (zeroed) window, a field of 0 reads
// 32768 back.  The reference expansion models the same.
TEST(LzssDecode, AnyDistanceIsSafe) {
    std::vector<Token> tokens = {lzss_ref::match(32767, 20), lzss_ref::match(0, 5), lzss_ref::literal(9),
                                 lzss_ref::match(1, 258), lzss_ref::match(0, 3)};
    for (std::uint32_t d = 1; d <= 32767; d = d * 3 + 1) tokens.push_back(lzss_ref::match(d, 3 + d % 256));
    for (std::uint32_t k = 0; k < 33000; ++k) tokens.push_back(lzss_ref::literal(static_cast<std::uint8_t>(k * 7 % 251)));
    for (std::uint32_t d : {0u, 32767u, 32766u, 0u}) tokens.push_back(lzss_ref::match(d, 40));
    const Bytes stream = lzss_ref::writeTokens(tokens);
    const Bytes want = lzss_ref::expand(tokens);
    for (std::size_t room : {1, 300, 1 << 16}) {
        StateMemory mem;
        EXPECT_EQ(lzss_test::decode(mem.get(), stream, fixed(3), fixed(room)), want) << room;
    }

    // Arbitrary bytes as a stream, split anyhow, against the reference.
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        const Bytes junk = orvdc::test::randomBytes(3000, seed);
        StateMemory fresh;
        Rng rng(seed);
        EXPECT_EQ(lzss_test::decode(fresh.get(), junk, [&] { return 1 + rng.below(50); },
                                    [&] { return 1 + rng.below(seed % 2 ? 40 : 4000); }),
                  lzss_ref::expand(lzss_ref::readTokens(junk)))
            << seed;
    }
}

// A stream of matches that all reach behind its own start shows the whole
// window as the state holds it.  On caller memory that is whatever the caller
// left there; an allocated state shows zeros, even when the heap handed out
// memory that held other data just before.
TEST(LzssDecode, WindowBehindTheStreamShowsNoStaleMemory) {
    std::vector<Token> tokens(127, lzss_ref::match(32767, 258));
    const Bytes stream = lzss_ref::writeTokens(tokens);
    const std::size_t n = 127 * 258;

    StateMemory mem;
    std::memset(mem.bytes(), 0x5C, kStateBytes);
    EXPECT_EQ(lzss_test::decode(mem.get(), stream, fixed(1 << 20), fixed(1 << 20)), Bytes(n, 0x5C));

    for (int round = 0; round < 4; ++round) {
        // Blocks of about the state's size, filled and freed: the allocator
        // may well hand the same memory to the next state.
        for (std::size_t extra : {0, 36, 64, 4096}) {
            void* dirty = std::malloc(kStateBytes + extra);
            ASSERT_NE(dirty, nullptr);
            std::memset(dirty, 0xA5, kStateBytes + extra);
            std::free(dirty);
        }
        LZSSState* st = nullptr;
        ASSERT_EQ(orvsDecodeLZSSInitAlloc_8u(&st), orvStsOk);
        Bytes out(n + 1);
        const std::uint8_t* src = stream.data();
        std::uint8_t* dst = out.data();
        auto srcLen = static_cast<std::int32_t>(stream.size());
        auto dstLen = static_cast<std::int32_t>(out.size());
        EXPECT_EQ(orvsDecodeLZSS_8u(&src, &srcLen, &dst, &dstLen, st), orvStsOk);
        orvsLZSSFree_8u(st);
        out.resize(n);
        EXPECT_EQ(out, Bytes(n, 0)) << "round " << round;
    }
}

TEST(LzssDecode, CorpusRoundTrips) {
    const auto files = orvdc::test::corpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus absent";
    StateMemory enc, dec;
    for (const auto& path : files) {
        const Bytes data = orvdc::test::readFile(path);
        if (data.empty()) continue;
        const Bytes stream = lzss_test::encode(enc.get(), data, {data.size() / 3, data.size()}, fixed(1 << 16));
        EXPECT_EQ(lzss_test::decode(dec.get(), stream, fixed(100000), fixed(77777)), data) << path;
    }
}

TEST(LzssDecode, LifeCycle) {
    std::int32_t size = 0;
    EXPECT_EQ(orvsLZSSGetSize_8u(&size), orvStsOk);
    EXPECT_EQ(size, 327724);
    EXPECT_EQ(orvsLZSSGetSize_8u(nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsDecodeLZSSInitAlloc_8u(nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsEncodeLZSSInitAlloc_8u(nullptr), orvStsNullPtr);

    // Allocated states of both kinds work and go back through the shared Free.
    LZSSState* encoder = nullptr;
    LZSSState* decoder = nullptr;
    ASSERT_EQ(orvsEncodeLZSSInitAlloc_8u(&encoder), orvStsOk);
    ASSERT_EQ(orvsDecodeLZSSInitAlloc_8u(&decoder), orvStsOk);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(encoder) % 32, 0u);
    const Bytes text = orvdc::test::textLikeBytes(5000, 1);
    Bytes stream(6000), back(5000);
    const std::uint8_t* src = text.data();
    std::int32_t srcLen = 5000;
    std::uint8_t* dst = stream.data();
    std::int32_t dstLen = 6000;
    ASSERT_EQ(orvsEncodeLZSS_8u(&src, &srcLen, &dst, &dstLen, encoder), orvStsOk);
    ASSERT_EQ(orvsEncodeLZSSFlush_8u(&dst, &dstLen, encoder), orvStsOk);
    src = stream.data();
    srcLen = 6000 - dstLen;
    dst = back.data();
    dstLen = 5000;
    EXPECT_EQ(orvsDecodeLZSS_8u(&src, &srcLen, &dst, &dstLen, decoder), orvStsDstFull);  // exactly filled
    EXPECT_EQ(back, text);
    orvsLZSSFree_8u(encoder);
    orvsLZSSFree_8u(decoder);
    orvsLZSSFree_8u(nullptr);
}

}  // namespace
