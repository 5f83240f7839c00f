// LZSS encoder against the plain reference model: byte-exact streams for
// every split of a short source into calls and every destination size, long
// inputs whose calls make the window slide, the drain-first rule, Flush at
// exact room, the stated small cases and the argument checks.
#include <gtest/gtest.h>

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
using orvdc::test::Rng;

Bytes referenceStream(const Bytes& data, const std::vector<std::size_t>& callEnds) {
    return lzss_ref::writeTokens(lzss_ref::encodeTokens(data, callEnds));
}

Bytes mixedData(std::size_t n, std::uint64_t seed) {
    Rng rng(seed);
    Bytes out;
    while (out.size() < n) {
        switch (rng.below(4)) {
            case 0: {  // text
                const Bytes t = orvdc::test::textLikeBytes(200 + rng.below(3000), rng.next());
                out.insert(out.end(), t.begin(), t.end());
                break;
            }
            case 1: {  // a run
                out.insert(out.end(), 1 + rng.below(700), static_cast<std::uint8_t>(rng.below(4)));
                break;
            }
            case 2: {  // noise
                const Bytes r = orvdc::test::randomBytes(1 + rng.below(400), rng.next());
                out.insert(out.end(), r.begin(), r.end());
                break;
            }
            default: {  // a repeat from about the edge of the history
                if (out.size() < 40000) break;
                const std::size_t d = 32760 + rng.below(16);
                const std::size_t len = 3 + rng.below(300);
                for (std::size_t k = 0; k < len; ++k) out.push_back(out[out.size() - d]);
            }
        }
    }
    out.resize(n);
    return out;
}

TEST(LzssEncode, MatchesReferenceForEverySplitOfAShortSource) {
    const Bytes data = {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a', 'a', 'a', 'a'};
    const std::size_t n = data.size();
    StateMemory mem;
    for (unsigned mask = 0; mask < (1u << (n - 1)); ++mask) {
        std::vector<std::size_t> ends;
        for (std::size_t k = 1; k < n; ++k) {
            if (mask & (1u << (k - 1))) ends.push_back(k);
        }
        ends.push_back(n);
        const Bytes want = referenceStream(data, ends);
        for (std::size_t room : {1, 2, 3, 7, 64}) {
            ASSERT_EQ(lzss_test::encode(mem.get(), data, ends, fixed(room)), want)
                << "split mask " << mask << ", room " << room;
        }
    }
}

TEST(LzssEncode, MatchesReferenceForEveryDestinationSize) {
    Bytes data = orvdc::test::textLikeBytes(500, 7);
    data.insert(data.end(), 280, 'z');
    const std::vector<std::vector<std::size_t>> splits = {{data.size()}, {333, data.size()}, {1, 2, 515, data.size()}};
    StateMemory mem;
    for (const auto& ends : splits) {
        const Bytes want = referenceStream(data, ends);
        for (std::size_t room = 1; room <= want.size() + 1; ++room) {
            ASSERT_EQ(lzss_test::encode(mem.get(), data, ends, fixed(room)), want) << "room " << room;
        }
    }
}

TEST(LzssEncode, MatchesReferenceForEveryTwoCallSplit) {
    const Bytes data = orvdc::test::textLikeBytes(700, 3);
    StateMemory mem;
    for (std::size_t cut = 0; cut <= data.size(); ++cut) {
        const std::vector<std::size_t> ends = {cut, data.size()};
        ASSERT_EQ(lzss_test::encode(mem.get(), data, ends, fixed(1 << 12)), referenceStream(data, ends)) << cut;
    }
}

// Calls of very different sizes take the window through all its upkeep
// paths (append, slide, replace) and matches reach back ~32767 bytes across
// call boundaries.
TEST(LzssEncode, MatchesReferenceAcrossWindowSlides) {
    const Bytes data = mixedData(400000, 11);
    StateMemory mem;
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
        Rng rng(seed);
        std::vector<std::size_t> ends;
        for (std::size_t pos = 0; pos < data.size();) {
            const std::uint32_t kind = rng.below(3);
            const std::size_t len = kind == 0 ? 1 + rng.below(300) : kind == 1 ? 1000 + rng.below(9000) : 30000 + rng.below(45000);
            pos = std::min(data.size(), pos + len);
            ends.push_back(pos);
        }
        Rng roomRng(seed * 77);
        auto room = [&] { return seed == 1 ? std::size_t{1} << 20 : 1 + roomRng.below(seed == 2 ? 9 : 5000); };
        ASSERT_EQ(lzss_test::encode(mem.get(), data, ends, room), referenceStream(data, ends)) << seed;
    }
    ASSERT_EQ(lzss_test::encode(mem.get(), data, {data.size()}, fixed(1 << 20)), referenceStream(data, {data.size()}));
}

TEST(LzssEncode, SmallSourcesAndTheStatedTokens) {
    StateMemory mem;
    EXPECT_EQ(lzss_test::encode(mem.get(), Bytes{'A'}, {1}, fixed(16)), (Bytes{0xA0, 0x80}));
    EXPECT_EQ(lzss_test::encode(mem.get(), Bytes{'A', 'B'}, {2}, fixed(16)).size(), 3u);

    const Bytes run(300, 'x');
    const Bytes stream = lzss_test::encode(mem.get(), run, {300}, fixed(1000));
    const std::vector<Token> want = {lzss_ref::literal('x'), lzss_ref::match(1, 258), lzss_ref::match(1, 39),
                                     lzss_ref::literal('x'), lzss_ref::literal('x')};
    EXPECT_EQ(lzss_ref::readTokens(stream), want);
}

TEST(LzssEncode, EmptySourceAndEmptyDestination) {
    StateMemory mem;
    ASSERT_EQ(orvsEncodeLZSSInit_8u(mem.get()), orvStsOk);
    const Bytes before = mem.snapshot();
    const std::uint8_t data[4] = {1, 2, 3, 4};
    std::uint8_t buf[8] = {};
    const std::uint8_t* src = data;
    std::uint8_t* dst = buf;
    std::int32_t srcLen = 0, dstLen = 8;
    EXPECT_EQ(orvsEncodeLZSS_8u(&src, &srcLen, &dst, &dstLen, mem.get()), orvStsOk);
    srcLen = 4;
    dstLen = 0;
    EXPECT_EQ(orvsEncodeLZSS_8u(&src, &srcLen, &dst, &dstLen, mem.get()), orvStsDstFull);
    EXPECT_EQ(src, data);
    EXPECT_EQ(dst, buf);
    EXPECT_EQ(srcLen, 4);
    EXPECT_EQ(mem.snapshot(), before);
}

// Bytes left over by a call that filled its destination leave before any
// source is read; a call they fill consumes nothing.
TEST(LzssEncode, PendingBytesLeaveFirst) {
    StateMemory mem;
    ASSERT_EQ(orvsEncodeLZSSInit_8u(mem.get()), orvStsOk);
    const Bytes data = orvdc::test::textLikeBytes(2000, 5);
    const std::uint8_t* src = data.data();
    std::int32_t srcLen = 1000;
    std::uint8_t buf[4];
    std::uint8_t* dst = buf;
    std::int32_t dstLen = 1;
    int drains = 0;
    // Each 1-byte call either drains a pending byte (no source read) or
    // codes one more token.
    for (int k = 0; k < 400; ++k) {
        const std::int32_t srcBefore = srcLen;
        dst = buf;
        dstLen = 1;
        ASSERT_EQ(orvsEncodeLZSS_8u(&src, &srcLen, &dst, &dstLen, mem.get()), orvStsDstFull);
        drains += srcLen == srcBefore;
    }
    EXPECT_GT(drains, 100);
    EXPECT_LT(srcLen, 1000);
}

TEST(LzssEncode, FlushAtExactRoomAndRepeated) {
    StateMemory mem;
    const Bytes data = {'q'};
    // 9 bits: one byte leaves with the Encode call, one bit waits.
    auto start = [&] {
        ASSERT_EQ(orvsEncodeLZSSInit_8u(mem.get()), orvStsOk);
        const std::uint8_t* src = data.data();
        std::int32_t srcLen = 1, dstLen = 4;
        std::uint8_t buf[4];
        std::uint8_t* dst = buf;
        ASSERT_EQ(orvsEncodeLZSS_8u(&src, &srcLen, &dst, &dstLen, mem.get()), orvStsOk);
        ASSERT_EQ(dstLen, 3);
    };
    std::uint8_t buf[4];
    std::uint8_t* dst;
    std::int32_t dstLen;

    start();
    dst = buf, dstLen = 1;
    EXPECT_EQ(orvsEncodeLZSSFlush_8u(&dst, &dstLen, mem.get()), orvStsDstFull);
    EXPECT_EQ(dstLen, 0);
    EXPECT_EQ(buf[0], 0x80);  // the last bit of 'q' (0x71), then padding
    dst = buf, dstLen = 4;
    EXPECT_EQ(orvsEncodeLZSSFlush_8u(&dst, &dstLen, mem.get()), orvStsOk);
    EXPECT_EQ(dstLen, 4);

    start();
    for (int k = 0; k < 2; ++k) {  // room to spare: Ok, and the same byte again
        buf[0] = 0;
        dst = buf, dstLen = 2;
        EXPECT_EQ(orvsEncodeLZSSFlush_8u(&dst, &dstLen, mem.get()), orvStsOk);
        EXPECT_EQ(dstLen, 1);
        EXPECT_EQ(buf[0], 0x80);
    }

    // Many pending bits (a token that did not fit): Flush hands them out
    // in the room given.
    ASSERT_EQ(orvsEncodeLZSSInit_8u(mem.get()), orvStsOk);
    const Bytes run(40, 'r');
    const std::uint8_t* src = run.data();
    std::int32_t srcLen = 40;
    Bytes out(2);
    dst = out.data(), dstLen = 2;
    ASSERT_EQ(orvsEncodeLZSS_8u(&src, &srcLen, &dst, &dstLen, mem.get()), orvStsDstFull);  // literal + match
    for (;;) {
        std::uint8_t one;
        dst = &one, dstLen = 1;
        const orvStatus st = orvsEncodeLZSSFlush_8u(&dst, &dstLen, mem.get());
        if (st == orvStsOk) break;
        ASSERT_EQ(st, orvStsDstFull);
        out.push_back(one);
    }
    EXPECT_EQ(out.size(), 5u);  // 9 + 24 bits
    EXPECT_EQ(lzss_ref::readTokens(out), (std::vector<Token>{lzss_ref::literal('r'), lzss_ref::match(1, 37)}));
}

// Both coders check their pointers before their lengths, and a refused call
// changes nothing.
TEST(Lzss, ArgumentChecks) {
    using Coder = orvStatus(ORVDC_CALL*)(const std::uint8_t**, std::int32_t*, std::uint8_t**, std::int32_t*, LZSSState*);
    for (const auto& [coder, init] : {std::pair<Coder, orvStatus(ORVDC_CALL*)(LZSSState*)>{orvsEncodeLZSS_8u, orvsEncodeLZSSInit_8u},
                                      {orvsDecodeLZSS_8u, orvsDecodeLZSSInit_8u}}) {
        StateMemory mem;
        ASSERT_EQ(init(mem.get()), orvStsOk);
        const Bytes before = mem.snapshot();
        const std::uint8_t data[4] = {0xA0, 0x80, 3, 4};
        std::uint8_t buf[8] = {};
        const std::uint8_t* src = data;
        const std::uint8_t* nsrc = nullptr;
        std::uint8_t* dst = buf;
        std::int32_t srcLen = 4, dstLen = 8, zero = 0, negative = -1;
        LZSSState* st = mem.get();
        EXPECT_TRUE(orvdc::test::eachNullRefused(coder, &src, &srcLen, &dst, &dstLen, st));
        EXPECT_EQ(coder(&nsrc, &negative, &dst, &zero, st), orvStsNullPtr);  // pointers first
        EXPECT_EQ(coder(&src, &negative, &dst, &dstLen, st), orvStsBadSize);
        EXPECT_EQ(coder(&src, &srcLen, &dst, &negative, st), orvStsBadSize);
        if (coder == orvsDecodeLZSS_8u) {
            EXPECT_EQ(coder(&src, &srcLen, &dst, &zero, st), orvStsBadSize);
        } else {
            EXPECT_TRUE(orvdc::test::eachNullRefused(orvsEncodeLZSSFlush_8u, &dst, &dstLen, st));
            EXPECT_EQ(orvsEncodeLZSSFlush_8u(&dst, &zero, st), orvStsBadSize);
            EXPECT_EQ(orvsEncodeLZSSFlush_8u(&dst, &negative, st), orvStsBadSize);
        }
        EXPECT_EQ(src, data);
        EXPECT_EQ(dst, buf);
        EXPECT_EQ(srcLen, 4);
        EXPECT_EQ(dstLen, 8);
        EXPECT_EQ(mem.snapshot(), before);
        EXPECT_EQ(init(nullptr), orvStsNullPtr);
    }
}

// Stream positions are 32-bit and wrap; the encoder's distance arithmetic
// must survive the wrap.  The state is set to just before it.
TEST(LzssEncode, PositionsWrapAround) {
    StateMemory mem;
    ASSERT_EQ(orvsEncodeLZSSInit_8u(mem.get()), orvStsOk);
    const std::uint32_t nearWrap = 0xFFFF0000u;
    std::memcpy(mem.bytes() + 16, &nearWrap, 4);  // window origin
    std::memcpy(mem.bytes() + 20, &nearWrap, 4);  // stream position
    const Bytes data = mixedData(200000, 5);
    Bytes stream(data.size() * 2);
    const std::uint8_t* src = data.data();
    std::uint8_t* dst = stream.data();
    std::int32_t dstLen = static_cast<std::int32_t>(stream.size());
    for (std::size_t pos = 0; pos < data.size(); pos += 5000) {
        std::int32_t srcLen = 5000;
        ASSERT_EQ(orvsEncodeLZSS_8u(&src, &srcLen, &dst, &dstLen, mem.get()), orvStsOk);
    }
    ASSERT_EQ(orvsEncodeLZSSFlush_8u(&dst, &dstLen, mem.get()), orvStsOk);
    stream.resize(stream.size() - static_cast<std::size_t>(dstLen));
    EXPECT_EQ(lzss_ref::expand(lzss_ref::readTokens(stream)), data);
    EXPECT_LT(stream.size(), data.size());
}

TEST(LzssEncode, CorpusMatchesReference) {
    const Bytes data = orvdc::test::corpusFile("alice29.txt");
    if (data.empty()) GTEST_SKIP() << "corpus absent";
    StateMemory mem;
    const std::vector<std::size_t> ends = {1, 40000, 40002, 100000, data.size()};
    EXPECT_EQ(lzss_test::encode(mem.get(), data, ends, Cycle({7, 1, 4096, 3})), referenceStream(data, ends));
}

// The encoder gives the same stream whatever its memory held before Init.
TEST(LzssEncode, NothingReadFromStateMemoryBeforeItIsWritten) {
    const Bytes data = orvdc::test::textLikeBytes(90000, 12);
    StateMemory clean;
    orvdc::test::FilledMemory dirty(lzss_test::kStateBytes, 0xA7);
    const std::vector<std::size_t> ends = {1000, 40000, data.size()};
    EXPECT_EQ(lzss_test::encode(dirty.as<LZSSState>(), data, ends, fixed(5000)),
              lzss_test::encode(clean.get(), data, ends, fixed(5000)));
}

}  // namespace
