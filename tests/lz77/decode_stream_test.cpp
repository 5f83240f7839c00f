// Whole streams built by the test's own bit writer (no oracle needed, so this
// runs in every build): every block type and code shape, decoded by both
// paths, mixed block by block, and with every call size down to one byte.
#include <gtest/gtest.h>

#include "lz77/decode_test_support.h"

namespace {

using namespace orvdc::test;
using namespace orvdc::test::decodetest;

// A stream of mixed blocks: fixed, dynamic (plain and with long codes),
// stored, and matches that reach back into earlier blocks of every kind.
struct Sample {
    Bytes stream;    // raw deflate, followed by 4 trailer bytes
    Bytes expected;
    std::size_t deflateSize;
};

// A complete literal/length code with codes of length 1 to 15: a few chosen
// symbols get the short codes, all others share long ones.
std::vector<std::uint8_t> skewedLitLengths() {
    std::vector<std::uint8_t> l(286, 0);
    // Kraft sum: 1/2 + 1/4 + ... + 1/2^14 + 2/2^15 = 1 over 16 symbols.
    const unsigned chosen[16] = {'a', 'b', 256, 257, 'c', 258, 259, 'd', 260, 270, 'e', 275, 280, 284, 285, 'f'};
    for (unsigned i = 0; i < 16; ++i) l[chosen[i]] = static_cast<std::uint8_t>(i < 15 ? i + 1 : 15);
    return l;
}

// Lengths that make every symbol codable: 226 of length 8, 60 of length 9;
// distances 2 of length 4 and 28 of length 5.
std::vector<std::uint8_t> flatLitLengths() {
    std::vector<std::uint8_t> l(286, 8);
    for (unsigned i = 226; i < 286; ++i) l[i] = 9;
    return l;
}
std::vector<std::uint8_t> flatDistLengths() {
    std::vector<std::uint8_t> l(30, 5);
    l[0] = l[1] = 4;
    return l;
}
// A distance code with lengths up to 15 (second-level lookups).
std::vector<std::uint8_t> skewedDistLengths() {
    std::vector<std::uint8_t> l(30, 0);
    for (unsigned i = 0; i < 15; ++i) l[29 - i] = static_cast<std::uint8_t>(i + 1);
    l[0] = 15;
    return l;
}

// Tokens that only use symbols with codes in the skewed codes above.
std::vector<Token> skewedTokens(Rng& rng, std::size_t n, std::size_t history) {
    static const unsigned lits[] = {'a', 'b', 'c', 'd', 'e', 'f'};
    static const unsigned lens[] = {3, 4, 5, 6, 23, 26, 51, 58, 115, 130, 227, 257, 258};
    std::vector<Token> t;
    std::size_t produced = history;
    for (std::size_t i = 0; i < n; ++i) {
        if (produced < 24577 + 8192 || rng.below(2) == 0) {
            t.push_back({static_cast<std::uint16_t>(lits[rng.below(6)]), 0});
            ++produced;
        } else {
            // Distances of symbols 15..29 and 0 (all have codes).
            const unsigned sym = rng.below(16);
            const unsigned ds = sym == 15 ? 0 : 29 - sym;
            const unsigned d = kDistBase[ds] + rng.below(1u << kDistExtra[ds]);
            const unsigned len = lens[rng.below(13)];
            t.push_back({static_cast<std::uint16_t>(len), static_cast<std::uint16_t>(d)});
            produced += len;
        }
    }
    return t;
}

Sample makeSample(std::uint64_t seed) {
    Rng rng(seed);
    Sample s;
    BitWriter w;
    auto tokens = randomTokens(rng, 3000, 0);
    putFixedBlock(w, false, tokens);
    expandTokens(tokens, s.expected);

    const Bytes raw = randomBytes(5000 + rng.below(3000), seed + 1);
    putStoredBlock(w, false, raw.data(), raw.size());
    s.expected.insert(s.expected.end(), raw.begin(), raw.end());

    tokens = randomTokens(rng, 4000, s.expected.size());
    putDynamicBlock(w, false, flatLitLengths(), flatDistLengths(), tokens, rng.below(2) == 0);
    expandTokens(tokens, s.expected);

    putStoredBlock(w, false, nullptr, 0);  // a sync marker

    tokens = skewedTokens(rng, 6000, s.expected.size());
    putDynamicBlock(w, false, skewedLitLengths(), skewedDistLengths(), tokens);
    expandTokens(tokens, s.expected);

    // Matches reaching back into the stored block and beyond 32 KiB of
    // output are common here; finish with a fixed final block.
    tokens = randomTokens(rng, 2000, s.expected.size());
    putFixedBlock(w, true, tokens);
    expandTokens(tokens, s.expected);

    s.stream = w.bytes();
    s.deflateSize = s.stream.size();
    for (std::uint8_t b : {0xDE, 0xAD, 0xBE, 0xEF}) s.stream.push_back(b);
    return s;
}

void expectDecodes(const Sample& s, const DriveOptions& opt) {
    const DriveResult r = drive(s.stream, opt);
    ASSERT_EQ(r.status, orvStsStreamEnd);
    ASSERT_EQ(r.out.size(), s.expected.size());
    EXPECT_TRUE(r.out == s.expected);
    EXPECT_EQ(r.srcUsed, s.deflateSize);
}

TEST(DecodeStream, BothPathsAndMixedGiveTheSameBytes) {
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
        const Sample s = makeSample(seed);
        for (Path path : {Path::OnePass, Path::Pairs, Path::Mixed}) {
            DriveOptions opt;
            opt.path = path;
            opt.seed = seed;
            expectDecodes(s, opt);
            opt.useGetBlockType = false;
            expectDecodes(s, opt);
        }
    }
}

TEST(DecodeStream, ResumesAfterEveryByteAndEveryRecord) {
    const Sample s = makeSample(7);
    for (Path path : {Path::OnePass, Path::Pairs, Path::Mixed}) {
        DriveOptions opt;
        opt.path = path;
        opt.srcChunk = 1;
        expectDecodes(s, opt);
        opt.srcChunk = 1u << 30;
        opt.dstChunk = 1;
        opt.pairChunk = 1;
        expectDecodes(s, opt);
    }
}

TEST(DecodeStream, OddCallSizes) {
    const Sample s = makeSample(11);
    Rng rng(5);
    for (int i = 0; i < 12; ++i) {
        DriveOptions opt;
        opt.path = static_cast<Path>(i % 3);
        opt.seed = static_cast<std::uint64_t>(i);
        opt.srcChunk = 1 + rng.below(40);
        opt.dstChunk = 1 + rng.below(700);
        opt.pairChunk = static_cast<std::int32_t>(1 + rng.below(50));
        expectDecodes(s, opt);
    }
}

// Literal/length and distance codes with one used symbol each, including the
// single one-bit distance code RFC 1951 allows.
TEST(DecodeStream, SingleSymbolCodes) {
    for (unsigned distLen : {1u, 3u, 15u}) {
        for (Path path : {Path::OnePass, Path::Pairs}) {
            BitWriter w;
            std::vector<std::uint8_t> lit(286, 0), dist(30, 0);
            lit['x'] = 2;
            lit[256] = 2;
            lit[257 + lengthSymbol(10)] = 1;  // lengths 10 only
            dist[3] = static_cast<std::uint8_t>(distLen);  // distance 4 only
            putDynamicBlock(w, true, lit, dist, {{'x', 0}, {'x', 0}, {'x', 0}, {'x', 0}, {10, 4}, {10, 4}});
            Bytes stream = w.bytes();
            const DriveResult r = drive(stream, DriveOptions{path});
            ASSERT_EQ(r.status, orvStsStreamEnd) << distLen;
            EXPECT_EQ(r.out, Bytes(24, 'x'));
        }
    }
    // End of block as the only literal/length code, no distance code.
    BitWriter w;
    std::vector<std::uint8_t> lit(257, 0), dist(1, 0);
    lit[256] = 1;
    putDynamicBlock(w, true, lit, dist, {});
    const DriveResult r = drive(w.bytes(), DriveOptions{Path::Pairs});
    EXPECT_EQ(r.status, orvStsStreamEnd);
    EXPECT_TRUE(r.out.empty());
}

// Complete codes of random shape for `symbols` symbols: leaves of a code
// tree split at random, half the time near the front so that some branches
// run deep (up to 15 bits) and the lengths used leave gaps.
std::vector<std::uint8_t> randomCompleteLengths(Rng& rng, std::size_t symbols) {
    std::vector<std::uint8_t> leaves{0};
    while (leaves.size() < symbols) {
        const auto n = static_cast<unsigned>(leaves.size());
        const std::size_t i = rng.below(2) == 0 ? rng.below(n < 4 ? n : 4) : rng.below(n);
        if (leaves[i] == 15) continue;
        ++leaves[i];
        leaves.push_back(leaves[i]);
    }
    for (std::size_t i = leaves.size() - 1; i > 0; --i) {
        std::swap(leaves[i], leaves[rng.below(static_cast<unsigned>(i + 1))]);
    }
    return leaves;
}

// Blocks whose codes have random shapes decode to their tokens on both paths.
TEST(DecodeStream, RandomCompleteCodes) {
    for (std::uint64_t seed = 1; seed <= 60; ++seed) {
        Rng rng(seed);
        BitWriter w;
        Bytes expected;
        for (int block = 0; block < 2; ++block) {
            const auto tokens = randomTokens(rng, 300, expected.size());
            putDynamicBlock(w, block == 1, randomCompleteLengths(rng, 286), randomCompleteLengths(rng, 30),
                            tokens);
            expandTokens(tokens, expected);
        }
        for (int i = 0; i < 8; ++i) w.putByte(0);
        for (Path path : {Path::OnePass, Path::Pairs}) {
            const DriveResult r = drive(w.bytes(), DriveOptions{path});
            ASSERT_EQ(r.status, orvStsStreamEnd) << "seed " << seed;
            EXPECT_TRUE(r.out == expected) << "seed " << seed;
        }
    }
}

// Literal codes of 1 to 5 bits, so that most first-level entries hold two
// literals: the fast loops write both, or one where the room or the run of
// literals ends, and the byte-at-a-time loop takes only the first from
// such an entry when the source or the room runs out after it.
TEST(DecodeStream, RunsOfLiteralsWithShortCodes) {
    std::vector<std::uint8_t> lit(286, 0), dist(30, 0);
    lit['a'] = 1;
    lit['b'] = 2;
    lit['c'] = 3;
    lit['d'] = 4;
    lit[256] = 5;
    lit[257 + lengthSymbol(10)] = 5;
    dist[3] = 1;  // distance 4 only
    Rng rng(3);
    std::vector<Token> tokens;
    for (int i = 0; i < 3000; ++i) {
        if (i >= 4 && rng.below(16) == 0) {
            tokens.push_back({10, 4});
        } else {
            tokens.push_back({static_cast<std::uint16_t>('a' + rng.below(4)), 0});
        }
    }
    BitWriter w;
    putDynamicBlock(w, true, lit, dist, tokens);
    Bytes expected;
    expandTokens(tokens, expected);
    for (Path path : {Path::OnePass, Path::Pairs}) {
        for (std::size_t srcChunk : {std::size_t{1}, std::size_t{9}, std::size_t{1} << 30}) {
            for (std::size_t dstChunk : {1u, 2u, 7u, 8u, 9u, 259u, 1u << 30}) {
                DriveOptions opt{path};
                opt.srcChunk = srcChunk;
                opt.dstChunk = dstChunk;
                opt.pairChunk = static_cast<std::int32_t>(dstChunk < 64 ? dstChunk : 64);
                const DriveResult r = drive(w.bytes(), opt);
                ASSERT_EQ(r.status, orvStsStreamEnd) << srcChunk << " " << dstChunk;
                ASSERT_EQ(r.out, expected) << srcChunk << " " << dstChunk;
            }
        }
    }
}

// A block begun by the decoder into bytes, whose tables then hold entries of
// two literals, and finished by the decoder into pairs: every literal comes
// out as its own pair record, whatever the room.
TEST(DecodeStream, PairsFromTablesBuiltForBytes) {
    std::vector<std::uint8_t> lit(257, 0), dist(1, 0);
    lit['a'] = 1;
    lit['b'] = 2;
    lit['c'] = 3;
    lit[256] = 3;
    Rng rng(9);
    std::vector<Token> tokens;
    for (int i = 0; i < 500; ++i) tokens.push_back({static_cast<std::uint16_t>('a' + rng.below(3)), 0});
    BitWriter w;
    putDynamicBlock(w, true, lit, dist, tokens);
    for (int i = 0; i < 8; ++i) w.putByte(0);
    std::int32_t size = 0;
    orvsDecodeLZ77GetSize_8u(&size);
    for (std::int32_t pairRoom : {1, 2, 7, 8, 9, 600}) {
        Bytes mem(static_cast<std::size_t>(size));
        auto* state = reinterpret_cast<LZ77DecoderState*>(mem.data());
        ASSERT_EQ(orvsDecodeLZ77Init_8u(LZ77ChecksumNone, state), orvStsOk);
        const std::uint8_t* src = w.bytes().data();
        auto srcLen = static_cast<std::int32_t>(w.bytes().size());
        Bytes head(10);
        std::uint8_t* dst = head.data();
        std::int32_t dstLen = 10;
        ASSERT_EQ(orvsDecodeLZ77DynamicHuffFull_8u(&src, &srcLen, &dst, &dstLen, LZ77FlushNone, state),
                  orvStsDstFull);
        std::vector<LZ77Pair> pairs;
        orvStatus st = orvStsDstFull;
        while (st == orvStsDstFull) {
            std::vector<LZ77Pair> room(static_cast<std::size_t>(pairRoom) + 1, LZ77Pair{0xABCD, 0xABCD});
            LZ77Pair* pp = room.data();
            std::int32_t pl = pairRoom;
            st = orvsDecodeLZ77DynamicHuff_8u(&src, &srcLen, &pp, &pl, LZ77FlushNone, state);
            const auto n = static_cast<std::size_t>(pp - room.data());
            EXPECT_EQ(room[n].length, 0xABCD);  // nothing past the reported records
            pairs.insert(pairs.end(), room.begin(), room.begin() + static_cast<std::ptrdiff_t>(n));
        }
        ASSERT_EQ(st, orvStsStreamEnd) << pairRoom;
        ASSERT_EQ(pairs.size(), tokens.size() - 10) << pairRoom;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            ASSERT_EQ(pairs[i].offset, 0);
            ASSERT_EQ(pairs[i].length, tokens[10 + i].length) << pairRoom << " " << i;
        }
    }
}

// Literal/length symbols 286/287 and distance codes 30/31 may carry lengths
// (HLIT 31, HDIST 31) as long as the data does not use them.
TEST(DecodeStream, LargestHeaderCountsAccepted) {
    std::vector<std::uint8_t> lit(288, 9), dist(32, 5);
    // 288 codes of length 9 leave room: complete it with 2 codes of length 8.
    lit[0] = lit[1] = 8;
    lit.resize(288);
    unsigned kraft = 0;
    for (auto l : lit) kraft += 1u << (15 - l);
    ASSERT_LE(kraft, 32768u);
    // Fill the code: turn length-9 codes into length-8 until complete.
    for (unsigned i = 2; kraft < 32768u && i < 288; ++i) {
        lit[i] = 8;
        kraft += 1u << 6;
    }
    ASSERT_EQ(kraft, 32768u);
    Rng rng(3);
    const auto tokens = randomTokens(rng, 500, 0);
    Bytes expected;
    expandTokens(tokens, expected);
    BitWriter w;
    putDynamicBlock(w, true, lit, dist, tokens);
    for (Path path : {Path::OnePass, Path::Pairs}) {
        const DriveResult r = drive(w.bytes(), DriveOptions{path});
        ASSERT_EQ(r.status, orvStsStreamEnd);
        EXPECT_EQ(r.out, expected);
    }
}

// Long literal runs, all 29 length symbols with every extra value, all 30
// distance symbols: the fixed and flat dynamic codes against the reference.
TEST(DecodeStream, EveryLengthAndDistance) {
    std::vector<Token> tokens;
    Bytes warm = randomBytes(32768, 9);
    for (auto b : warm) tokens.push_back({b, 0});
    for (unsigned len = 3; len <= 258; ++len) tokens.push_back({static_cast<std::uint16_t>(len), 1});
    for (unsigned ds = 0; ds < 30; ++ds) {
        for (unsigned extra : {0u, (1u << kDistExtra[ds]) - 1}) {
            tokens.push_back({static_cast<std::uint16_t>(3 + ds % 20), static_cast<std::uint16_t>(kDistBase[ds] + extra)});
        }
    }
    Bytes expected;
    expandTokens(tokens, expected);
    for (int dynamic = 0; dynamic < 2; ++dynamic) {
        BitWriter w;
        if (dynamic) {
            putDynamicBlock(w, true, flatLitLengths(), flatDistLengths(), tokens);
        } else {
            putFixedBlock(w, true, tokens);
        }
        for (Path path : {Path::OnePass, Path::Pairs}) {
            for (std::size_t dstChunk : {std::size_t{1} << 30, std::size_t{300}, std::size_t{7}}) {
                DriveOptions opt{path};
                opt.dstChunk = dstChunk;
                opt.pairChunk = 33;
                const DriveResult r = drive(w.bytes(), opt);
                ASSERT_EQ(r.status, orvStsStreamEnd);
                ASSERT_EQ(r.out, expected) << dynamic << " " << dstChunk;
            }
        }
    }
}

// Matches that take the most bits an item can (a 15-bit length code with 5
// extra bits and a 15-bit distance code with 13), at every bit alignment:
// the fast loop must not look up the next code from the few bits left after
// such a match before topping up its buffer.
TEST(DecodeStream, LongestMatchCodesAtEveryBitAlignment) {
    // Literals 'a'..'d' and end-of-block get the short codes, lengths 195..257
    // (symbols 283, 284) codes of 15 bits; distance symbols 0..13 codes of
    // 1 to 14 bits, 16385..32768 (symbols 28, 29) codes of 15 bits.
    std::vector<std::uint8_t> litLens(286, 0);
    const unsigned chosen[16] = {'a', 'b', 'c', 'd', 256, 257, 258, 259, 260, 261, 262, 263, 264, 265, 283, 284};
    for (unsigned i = 0; i < 16; ++i) litLens[chosen[i]] = static_cast<std::uint8_t>(i < 15 ? i + 1 : 15);
    std::vector<std::uint8_t> distLens(30, 0);
    for (unsigned i = 0; i < 14; ++i) distLens[i] = static_cast<std::uint8_t>(i + 1);
    distLens[28] = distLens[29] = 15;

    Rng rng(77);
    std::vector<Token> tokens;
    for (unsigned i = 0; i < 32768; ++i) tokens.push_back({static_cast<std::uint16_t>('a' + rng.below(4)), 0});
    for (unsigned i = 0; i < 3000; ++i) {
        // 0 to 3 literals of 1 to 4 bits between matches vary the alignment.
        for (unsigned k = rng.below(4); k > 0; --k) {
            tokens.push_back({static_cast<std::uint16_t>('a' + rng.below(4)), 0});
        }
        tokens.push_back({static_cast<std::uint16_t>(195 + rng.below(63)),
                          static_cast<std::uint16_t>(16385 + rng.below(16384))});
    }
    Bytes expected;
    expandTokens(tokens, expected);
    BitWriter w;
    putDynamicBlock(w, true, litLens, distLens, tokens);
    for (Path path : {Path::OnePass, Path::Pairs}) {
        for (std::size_t dstChunk : {std::size_t{1} << 30, std::size_t{65536}, std::size_t{300}}) {
            DriveOptions opt{path};
            opt.dstChunk = dstChunk;
            const DriveResult r = drive(w.bytes(), opt);
            ASSERT_EQ(r.status, orvStsStreamEnd);
            ASSERT_EQ(r.out, expected) << static_cast<int>(path) << " " << dstChunk;
        }
    }
}

// Decodes `stream` with `callSize` bytes of room per call and checks the
// output; the state's own pair records, which follow the history window in
// it, must keep what the caller put there.
void expectCallsKeepOwnPairs(const Bytes& stream, const Bytes& expected, std::size_t callSize) {
    std::int32_t size = 0;
    orvsDecodeLZ77GetSize_8u(&size);
    std::vector<std::uint8_t> stateMem(static_cast<std::size_t>(size));
    auto* state = reinterpret_cast<LZ77DecoderState*>(stateMem.data());
    orvsDecodeLZ77Init_8u(LZ77ChecksumNone, state);
    LZ77Pair* own = nullptr;
    std::int32_t ownIndex = 0, ownLength = 0;
    ASSERT_EQ(orvsDecodeLZ77GetPairs_8u(&own, &ownIndex, &ownLength, state), orvStsOk);
    for (std::int32_t i = 0; i < ownLength; ++i) own[i] = {static_cast<std::uint16_t>(i), 7};
    DriveOptions opt;
    opt.dstChunk = callSize;
    const DriveResult r = drive(stream, opt, state);
    ASSERT_EQ(r.status, orvStsStreamEnd) << callSize;
    EXPECT_TRUE(r.out == expected) << callSize;
    for (std::int32_t i = 0; i < ownLength; ++i) {
        ASSERT_TRUE(own[i].length == static_cast<std::uint16_t>(i) && own[i].offset == 7) << callSize;
    }
}

// Matches whose source starts before the call's output and runs into it,
// placed in every call a few hundred bytes in (where the fast loop copies
// without checks) and at its very start, with calls of fixed sizes so that
// the history window is also compacted now and then.
TEST(DecodeStream, MatchesRunningFromTheHistoryIntoTheOutput) {
    for (std::size_t callSize : {600u, 1000u, 4099u, 40000u}) {
        Rng rng(callSize);
        std::vector<Token> tokens;
        std::size_t pos = 0;
        std::size_t nextCall = callSize;
        while (pos < 200000) {
            const std::size_t callStart = nextCall - callSize;
            const std::size_t written = pos - callStart;
            const bool place = (written >= 258 && written < 300) || (pos > 40000 && written < 3);
            if (place && pos > 40000) {
                const unsigned length = 3 + rng.below(256);
                const auto back = 1 + rng.below(length - 1);  // before the call's output
                tokens.push_back({static_cast<std::uint16_t>(length), static_cast<std::uint16_t>(written + back)});
                pos += length;
            } else if (rng.below(4) == 0 && pos > 300) {
                const unsigned length = 3 + rng.below(30);
                tokens.push_back({static_cast<std::uint16_t>(length),
                                  static_cast<std::uint16_t>(1 + rng.below(std::min<std::uint32_t>(300, pos)))});
                pos += length;
            } else {
                tokens.push_back({static_cast<std::uint16_t>(rng.below(256)), 0});
                ++pos;
            }
            while (pos >= nextCall) nextCall += callSize;
        }
        Bytes expected;
        expandTokens(tokens, expected);
        BitWriter w;
        putFixedBlock(w, true, tokens);
        expectCallsKeepOwnPairs(w.bytes(), expected, callSize);
    }
}

// Calls of equal size move the history to the front of the window, keeping
// only what stays history after the append, and at distances just under a
// multiple of 4096, which the move avoids by keeping more (calls of 16383 and
// 28000 bytes): matches that reach the farthest back after each move still
// find their bytes, and the state's own pair records after the window keep
// theirs.
TEST(DecodeStream, EqualCallsMoveTheWholeHistory) {
    Rng rng(12);
    const std::vector<Token> tokens = randomTokens(rng, 24000, 0);
    Bytes expected;
    expandTokens(tokens, expected);
    BitWriter w;
    putFixedBlock(w, true, tokens);
    for (std::size_t callSize : {4095u, 16383u, 28000u}) expectCallsKeepOwnPairs(w.bytes(), expected, callSize);
}

// Call sizes around the fast loops' limits: they need 8 source bytes and
// room for a longest match (or eight pair records; the tail loop, eight
// bytes), and hand over to the byte-at-a-time loops at exactly those edges.
// Every call is checked for bytes changed after its reported output (see
// CanaryRoom).
TEST(DecodeStream, CallSizesAtTheFastLoopEdges) {
    const Sample s = makeSample(31);
    std::vector<std::size_t> dstChunks = {3, 4, 5, 7, 8, 9, 13, 100};
    for (std::size_t n = 254; n <= 262; ++n) dstChunks.push_back(n);
    for (std::size_t srcChunk : {7u, 8u, 9u, 16u, 1u << 30}) {
        for (std::size_t dstChunk : dstChunks) {
            for (Path path : {Path::OnePass, Path::Pairs}) {
                DriveOptions opt{path};
                opt.srcChunk = srcChunk;
                opt.dstChunk = dstChunk;
                expectDecodes(s, opt);
            }
        }
        for (std::int32_t pairChunk : {3, 4, 5, 7, 8, 9}) {
            DriveOptions opt;
            opt.path = Path::Pairs;
            opt.srcChunk = srcChunk;
            opt.pairChunk = pairChunk;
            expectDecodes(s, opt);
        }
    }
}

// A match of every length at short and word-edge distances, alone at the end
// of the output: the wide copies must stop exactly at the match's end, on
// both paths, whether the room ends there or runs on.
TEST(DecodeStream, MatchCopiesStopAtTheReportedOutput) {
    std::int32_t size = 0;
    orvsDecodeLZ77GetSize_8u(&size);
    Bytes mem(static_cast<std::size_t>(size) + 4);
    auto* state = reinterpret_cast<LZ77DecoderState*>(mem.data() + 4);
    for (unsigned d : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 33u}) {
        for (unsigned length = 3; length <= 258; ++length) {
            std::vector<Token> tokens;
            for (unsigned i = 0; i < d; ++i) tokens.push_back({static_cast<std::uint16_t>('a' + i % 26), 0});
            tokens.push_back({static_cast<std::uint16_t>(length), static_cast<std::uint16_t>(d)});
            Bytes expected;
            expandTokens(tokens, expected);
            BitWriter w;
            putFixedBlock(w, true, tokens);
            for (Path path : {Path::OnePass, Path::Pairs}) {
                for (std::size_t room : {expected.size(), expected.size() + 1, expected.size() + 300}) {
                    orvsDecodeLZ77Init_8u(LZ77ChecksumNone, state);
                    DriveOptions opt{path};
                    opt.dstChunk = room;
                    opt.pairChunk = 64;
                    const DriveResult r = drive(w.bytes(), opt, state);
                    ASSERT_EQ(r.status, orvStsStreamEnd);
                    ASSERT_EQ(r.out, expected) << d << " " << length;
                }
            }
        }
    }
}

// A literal/length code whose only symbol is end-of-block with a 12-bit
// code: bits that start no code are refused once 9 of them are in, at every
// bit alignment (empty fixed blocks of 10 bits and one of 19 bits in front
// shift the code's start through all eight).
TEST(DecodeStream, LoneLongCodeRefusesOtherBitsAtNineBits) {
    std::vector<std::uint8_t> lit(257, 0), dist(1, 0);
    lit[256] = 12;
    for (unsigned shift = 0; shift < 8; ++shift) {
        for (Path path : {Path::OnePass, Path::Pairs}) {
            BitWriter w;
            if (shift & 1) putFixedBlock(w, false, {{0xF0, 0}});  // 3 + 9 + 7 bits
            for (unsigned i = 0; i < shift / 2; ++i) putFixedBlock(w, false, {});
            putDynamicHeader(w, true, lit, dist, false);
            w.put(1, 9);  // bit 1 then eight 0 bits: no code starts with a 1
            DriveOptions opt{path};
            opt.srcChunk = 1;
            const DriveResult r = drive(w.bytes(), opt);
            EXPECT_EQ(r.status, orvStsBadSize) << shift;
        }
    }
}

// One state decodes a second stream after Reset, and Reset forgets the
// history: a stream whose first match reaches before its start is refused.
TEST(DecodeStream, ResetStartsAFreshStream) {
    std::vector<std::uint8_t> mem(335008 + 4);
    auto* state = reinterpret_cast<LZ77DecoderState*>(mem.data() + 4);
    ASSERT_EQ(orvsDecodeLZ77Init_8u(LZ77ChecksumNone, state), orvStsOk);
    const Sample a = makeSample(21);
    const Sample b = makeSample(22);
    EXPECT_EQ(drive(a.stream, DriveOptions{Path::Mixed}, state).out, a.expected);
    ASSERT_EQ(orvsDecodeLZ77Reset_8u(state), orvStsOk);
    const DriveResult r = drive(b.stream, DriveOptions{Path::Mixed}, state);
    EXPECT_EQ(r.status, orvStsStreamEnd);
    EXPECT_EQ(r.out, b.expected);

    BitWriter w;
    putFixedBlock(w, true, {{'a', 0}, {5, 2}});
    for (Path path : {Path::OnePass, Path::Pairs}) {
        ASSERT_EQ(orvsDecodeLZ77Reset_8u(state), orvStsOk);
        const DriveResult bad = drive(w.bytes(), DriveOptions{path}, state);
        EXPECT_EQ(bad.status, path == Path::OnePass ? orvStsBadSize : orvStsBadStream);
    }
}

}  // namespace
