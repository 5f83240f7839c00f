// The decoder's operations one by one: argument checks, life cycle, the
// statuses at block edges, refusal of malformed streams and of calls on a
// block of another type, pending matches, and buffer bounds.
#include <gtest/gtest.h>

#include "lz77/decode_test_support.h"

namespace {

using namespace orvdc::test;
using namespace orvdc::test::decodetest;

// A decoder state in caller memory that is only 4-byte aligned.
class State {
public:
    State() : mem_(335008 + 4, 0xCD) { EXPECT_EQ(orvsDecodeLZ77Init_8u(LZ77ChecksumCRC32, get()), orvStsOk); }
    LZ77DecoderState* get() { return reinterpret_cast<LZ77DecoderState*>(mem_.data() + 4); }

private:
    Bytes mem_;
};

orvStatus statusOf(const Bytes& stream, Path path) {
    DriveOptions opt{path};
    opt.maxCalls = 100000;
    return drive(stream, opt).status;
}

TEST(DecodeApi, LifeCycleAndAccessors) {
    std::int32_t size = 0;
    EXPECT_EQ(orvsDecodeLZ77GetSize_8u(nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsDecodeLZ77GetSize_8u(&size), orvStsOk);
    EXPECT_EQ(size, 335008);
    EXPECT_EQ(orvsDecodeLZ77Init_8u(LZ77ChecksumNone, nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsDecodeLZ77InitAlloc_8u(LZ77ChecksumNone, nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsDecodeLZ77Reset_8u(nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsDecodeLZ77SetStatus_8u(1, nullptr), orvStsNullPtr);

    LZ77DecoderState* st = nullptr;
    ASSERT_EQ(orvsDecodeLZ77InitAlloc_8u(LZ77ChecksumAdler32, &st), orvStsOk);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(st) % 32, 0u);
    LZ77Pair* pairs = nullptr;
    std::int32_t index = -1, length = -1;
    ASSERT_EQ(orvsDecodeLZ77GetPairs_8u(&pairs, &index, &length, st), orvStsOk);
    EXPECT_NE(pairs, nullptr);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(length, 65536);
    // The own pair buffer lies inside the state object.
    EXPECT_GE(reinterpret_cast<std::uint8_t*>(pairs), reinterpret_cast<std::uint8_t*>(st));
    EXPECT_LE(reinterpret_cast<std::uint8_t*>(pairs + 65536), reinterpret_cast<std::uint8_t*>(st) + 335008);
    LZ77InflateStatus status = -1;
    EXPECT_EQ(orvsDecodeLZ77GetStatus_8u(&status, st), orvStsOk);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(orvsDecodeLZ77SetStatus_8u(7, st), orvStsOk);
    orvsDecodeLZ77GetStatus_8u(&status, st);
    EXPECT_EQ(status, 7);

    // Reset keeps a caller pair buffer, rewinds its index and length.
    std::vector<LZ77Pair> mine(10);
    ASSERT_EQ(orvsDecodeLZ77SetPairs_8u(mine.data(), 4, 10, st), orvStsOk);
    ASSERT_EQ(orvsDecodeLZ77Reset_8u(st), orvStsOk);
    orvsDecodeLZ77GetPairs_8u(&pairs, &index, &length, st);
    EXPECT_EQ(pairs, mine.data());
    EXPECT_EQ(index, 0);
    EXPECT_EQ(length, 65536);
    orvsDecodeLZ77GetStatus_8u(&status, st);
    EXPECT_EQ(status, 0);
    orvsLZ77Free_8u(st);
}

TEST(DecodeApi, BlockTypeReader) {
    State s;
    const std::uint8_t bytes[] = {0x05, 0x00};  // BFINAL 1, BTYPE 2 (dynamic)
    const std::uint8_t* src = bytes;
    std::int32_t len = 0;
    LZ77HuffMode mode = -1;
    EXPECT_TRUE(eachNullRefused(orvsDecodeLZ77GetBlockType_8u, &src, &len, &mode, s.get()));
    len = -1;
    EXPECT_EQ(orvsDecodeLZ77GetBlockType_8u(&src, &len, &mode, s.get()), orvStsBadSize);
    len = 0;
    EXPECT_EQ(orvsDecodeLZ77GetBlockType_8u(&src, &len, &mode, s.get()), orvStsSrcEnd);
    EXPECT_EQ(mode, -1);
    len = 2;
    EXPECT_EQ(orvsDecodeLZ77GetBlockType_8u(&src, &len, &mode, s.get()), orvStsOk);
    EXPECT_EQ(mode, LZ77HuffDynamic);
    EXPECT_EQ(src + len, bytes + 2);
    // Mid-block: the type again, nothing read.
    const std::uint8_t* before = src;
    mode = -1;
    EXPECT_EQ(orvsDecodeLZ77GetBlockType_8u(&src, &len, &mode, s.get()), orvStsOk);
    EXPECT_EQ(mode, LZ77HuffDynamic);
    EXPECT_EQ(src, before);

    // Reserved type 3: refused, nothing consumed, the state as it was.
    State r;
    const std::uint8_t reserved[] = {0x07};
    src = reserved;
    len = 1;
    EXPECT_EQ(orvsDecodeLZ77GetBlockType_8u(&src, &len, &mode, r.get()), orvStsBadStream);
    EXPECT_EQ(src, reserved);
    EXPECT_EQ(len, 1);
    EXPECT_EQ(orvsDecodeLZ77GetBlockType_8u(&src, &len, &mode, r.get()), orvStsBadStream);
    for (Path p : {Path::OnePass, Path::Pairs}) EXPECT_EQ(statusOf(Bytes{0x07, 0, 0, 0}, p), orvStsBadStream);
}

TEST(DecodeApi, StoredBlockEdges) {
    const Bytes payload = {1, 2, 3, 4, 5};
    BitWriter w;
    putStoredBlock(w, true, payload.data(), payload.size());
    Bytes stream = w.bytes();
    stream.push_back(0x99);  // first trailer byte

    State s;
    Bytes out(16, 0);
    const std::uint8_t* src = stream.data();
    std::int32_t srcLen = static_cast<std::int32_t>(stream.size());
    std::uint8_t* dst = out.data();
    std::int32_t dstLen = 0;
    EXPECT_TRUE(eachNullRefused(orvsDecodeLZ77StoredBlock_8u, &src, &srcLen, &dst, &dstLen, s.get()));
    EXPECT_EQ(orvsDecodeLZ77StoredBlock_8u(&src, &srcLen, &dst, &dstLen, s.get()), orvStsBadSize);
    dstLen = 3;
    std::int32_t negative = -1;
    EXPECT_EQ(orvsDecodeLZ77StoredBlock_8u(&src, &negative, &dst, &dstLen, s.get()), orvStsBadSize);
    EXPECT_EQ(src, stream.data());

    // Source and destination both limit the copy: the destination wins.
    srcLen = 5 + 2;  // header byte, LEN/NLEN (4), then 2 payload bytes
    EXPECT_EQ(orvsDecodeLZ77StoredBlock_8u(&src, &srcLen, &dst, &dstLen, s.get()), orvStsSrcEnd);
    EXPECT_EQ(dst - out.data(), 2);
    srcLen = static_cast<std::int32_t>(stream.data() + stream.size() - src);
    dstLen = 1;
    EXPECT_EQ(orvsDecodeLZ77StoredBlock_8u(&src, &srcLen, &dst, &dstLen, s.get()), orvStsDstFull);
    dstLen = 10;
    // The call that copies the last byte answers Ok; the block closes on the
    // next call, which needs a source byte but consumes none.
    EXPECT_EQ(orvsDecodeLZ77StoredBlock_8u(&src, &srcLen, &dst, &dstLen, s.get()), orvStsOk);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), payload);
    std::int32_t zero = 0;
    EXPECT_EQ(orvsDecodeLZ77StoredBlock_8u(&src, &zero, &dst, &dstLen, s.get()), orvStsSrcEnd);
    EXPECT_EQ(orvsDecodeLZ77StoredBlock_8u(&src, &srcLen, &dst, &dstLen, s.get()), orvStsStreamEnd);
    EXPECT_EQ(*src, 0x99);
    EXPECT_EQ(srcLen, 1);

    // A final stored block of length 0 ends the stream at LEN/NLEN.
    State e;
    BitWriter w0;
    putStoredBlock(w0, true, nullptr, 0);
    src = w0.bytes().data();
    srcLen = static_cast<std::int32_t>(w0.bytes().size());
    dst = out.data();
    dstLen = 4;
    EXPECT_EQ(orvsDecodeLZ77StoredBlock_8u(&src, &srcLen, &dst, &dstLen, e.get()), orvStsStreamEnd);
    EXPECT_EQ(srcLen, 0);

    // NLEN not the complement of LEN.
    Bytes bad = w.bytes();
    bad[3] ^= 1;
    for (Path p : {Path::OnePass, Path::Pairs}) EXPECT_EQ(statusOf(bad, p), orvStsBadSize);
    // A Huffman header where a stored block is expected: refused, untouched.
    State h;
    const std::uint8_t fixedHeader[] = {0x03, 0x00};
    src = fixedHeader;
    srcLen = 2;
    dstLen = 4;
    EXPECT_EQ(orvsDecodeLZ77StoredBlock_8u(&src, &srcLen, &dst, &dstLen, h.get()), orvStsBadStream);
    EXPECT_EQ(src, fixedHeader);
}

// Each operation refuses a block of another type in progress.
TEST(DecodeApi, WrongBlockTypeInProgress) {
    BitWriter fixedW, dynW, storedW;
    putFixedBlock(fixedW, true, {{'a', 0}});
    std::vector<std::uint8_t> lit(286, 8), dist(30, 5);
    for (unsigned i = 226; i < 286; ++i) lit[i] = 9;
    dist[0] = dist[1] = 4;
    putDynamicBlock(dynW, true, lit, dist, {{'a', 0}});
    const Bytes payload(10, 7);
    putStoredBlock(storedW, true, payload.data(), payload.size());

    struct Case {
        const Bytes* stream;
        LZ77HuffMode type;
    };
    const Case cases[] = {{&fixedW.bytes(), LZ77HuffFixed}, {&dynW.bytes(), LZ77HuffDynamic}, {&storedW.bytes(), LZ77HuffStored}};
    for (const Case& c : cases) {
        State s;
        const std::uint8_t* src = c.stream->data();
        std::int32_t srcLen = 1;  // the header only (dynamic: its table header stays unread)
        LZ77HuffMode mode;
        ASSERT_EQ(orvsDecodeLZ77GetBlockType_8u(&src, &srcLen, &mode, s.get()), orvStsOk);
        ASSERT_EQ(mode, c.type);
        srcLen = static_cast<std::int32_t>(c.stream->data() + c.stream->size() - src);
        Bytes out(64);
        std::vector<LZ77Pair> pairs(64);
        for (int op = 0; op < 5; ++op) {
            const std::uint8_t* sp = src;
            std::int32_t sl = srcLen;
            std::uint8_t* dst = out.data();
            std::int32_t dl = 64;
            LZ77Pair* pp = pairs.data();
            std::int32_t pl = 64;
            static constexpr LZ77HuffMode kOpType[5] = {LZ77HuffStored, LZ77HuffFixed, LZ77HuffDynamic,
                                                        LZ77HuffFixed, LZ77HuffDynamic};
            if (kOpType[op] == c.type) continue;
            orvStatus st;
            switch (op) {
                case 0: st = orvsDecodeLZ77StoredBlock_8u(&sp, &sl, &dst, &dl, s.get()); break;
                case 1: st = orvsDecodeLZ77FixedHuff_8u(&sp, &sl, &pp, &pl, 0, s.get()); break;
                case 2: st = orvsDecodeLZ77DynamicHuff_8u(&sp, &sl, &pp, &pl, 0, s.get()); break;
                case 3: st = orvsDecodeLZ77FixedHuffFull_8u(&sp, &sl, &dst, &dl, 0, s.get()); break;
                default: st = orvsDecodeLZ77DynamicHuffFull_8u(&sp, &sl, &dst, &dl, 0, s.get()); break;
            }
            EXPECT_EQ(st, orvStsBadStream) << "block " << c.type << " op " << op;
            EXPECT_EQ(sp, src);
            EXPECT_EQ(dst, out.data());
            EXPECT_EQ(pp, pairs.data());
        }
        // The right operation still decodes the block.
        DriveOptions opt{Path::OnePass};
        Bytes rest(src, src + srcLen);
        rest.push_back(0);  // closing a final stored block needs one more byte
        const DriveResult r = drive(rest, opt, s.get());
        EXPECT_EQ(r.status, orvStsStreamEnd);
    }
}

// Malformed Huffman blocks: both paths give the stated status.
TEST(DecodeApi, MalformedCodesAndData) {
    std::vector<std::uint8_t> lit(286, 8), dist(30, 5);
    for (unsigned i = 226; i < 286; ++i) lit[i] = 9;
    dist[0] = dist[1] = 4;
    const std::vector<Token> tokens = {{'a', 0}, {'b', 0}, {3, 2}};

    auto dynamicWith = [&](std::vector<std::uint8_t> l, std::vector<std::uint8_t> d,
                           std::vector<std::uint8_t> clc = {}, bool repeats = true) {
        BitWriter w;
        putDynamicHeader(w, true, l, d, repeats, std::move(clc));
        for (int i = 0; i < 8; ++i) w.putByte(0);
        return w.bytes();
    };
    struct Case {
        const char* what;
        Bytes stream;
        orvStatus expected;
    };
    std::vector<Case> cases;
    {
        auto l = lit;
        l[0] = 7;  // over-subscribed
        cases.push_back({"over-subscribed literal/length code", dynamicWith(l, dist), orvStsBadSize});
        auto d = dist;
        d[2] = 4;
        cases.push_back({"over-subscribed distance code", dynamicWith(lit, d), orvStsBadSize});
        d = dist;
        d[2] = 0;
        d[3] = 0;
        cases.push_back({"incomplete distance code of several symbols", dynamicWith(lit, d), orvStsBadSize});
        l = lit;
        l[5] = 0;
        cases.push_back({"incomplete literal/length code", dynamicWith(l, dist), orvStsBadSize});
        cases.push_back({"all literal/length lengths zero",
                         dynamicWith(std::vector<std::uint8_t>(257, 0), dist), orvStsBadSize});
        std::vector<std::uint8_t> clc(19, 3);  // 19 codes of length 3: over-subscribed
        cases.push_back({"over-subscribed code-length code", dynamicWith(lit, dist, clc), orvStsBadSize});
        clc.assign(19, 0);
        clc[8] = clc[9] = clc[0] = 2;  // 3 codes of length 2: incomplete
        cases.push_back({"incomplete code-length code", dynamicWith(lit, dist, clc), orvStsBadSize});
        clc.assign(19, 0);
        clc[8] = 1;  // a single code: still refused for the code-length code
        cases.push_back({"single-symbol code-length code", dynamicWith(lit, dist, clc), orvStsBadSize});
    }
    {
        // Repeat code 16 as the first length.
        BitWriter w;
        const auto clc = codeLengthCodeLengths();
        const auto codes = canonicalCodes(clc);
        w.put(5, 3);
        w.put(0, 5);
        w.put(0, 5);
        w.put(15, 4);
        static constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        for (unsigned i = 0; i < 19; ++i) w.put(clc[kOrder[i]], 3);
        w.putCode(codes[16], clc[16]);
        w.put(0, 2);
        for (int i = 0; i < 8; ++i) w.putByte(0);
        cases.push_back({"repeat code 16 first", w.bytes(), orvStsBadSize});
        // A run of zeros past the number of lengths (257 + 1 here).
        BitWriter w2;
        w2.put(5, 3);
        w2.put(0, 5);
        w2.put(0, 5);
        w2.put(15, 4);
        for (unsigned i = 0; i < 19; ++i) w2.put(clc[kOrder[i]], 3);
        w2.putCode(codes[18], clc[18]);
        w2.put(127, 7);  // 138 zeros
        w2.putCode(codes[18], clc[18]);
        w2.put(127, 7);  // 276 > 258
        for (int i = 0; i < 8; ++i) w2.putByte(0);
        cases.push_back({"repeat past the end", w2.bytes(), orvStsBadSize});
    }
    {
        // Symbols 286/287 and distance codes 30/31 in fixed-code data.
        for (unsigned sym : {286u, 287u}) {
            BitWriter w;
            w.put(3, 3);
            w.putCode(0xC0 + (sym - 280), 8);
            for (int i = 0; i < 8; ++i) w.putByte(0);
            cases.push_back({"literal/length symbol 286/287", w.bytes(), orvStsBadSize});
        }
        for (unsigned ds : {30u, 31u}) {
            BitWriter m;
            m.put(3, 3);
            m.putCode(0x30 + 'a', 8);
            m.putCode(1, 7);  // length symbol 257: length 3
            m.putCode(ds, 5);
            for (int i = 0; i < 8; ++i) m.putByte(0);
            cases.push_back({"distance code 30/31", m.bytes(), orvStsBadSize});
        }
        // A match in a block whose distance code is empty.
        std::vector<std::uint8_t> d1(1, 0);
        BitWriter w;
        putDynamicHeader(w, true, lit, d1, true);
        const auto lc = canonicalCodes(lit);
        w.putCode(lc['a'], lit['a']);
        w.putCode(lc[257], lit[257]);
        for (int i = 0; i < 8; ++i) w.putByte(0);
        cases.push_back({"match with an empty distance code", w.bytes(), orvStsBadSize});
    }
    for (const Case& c : cases) {
        for (Path p : {Path::OnePass, Path::Pairs}) {
            EXPECT_EQ(statusOf(c.stream, p), c.expected) << c.what << " path " << static_cast<int>(p);
        }
    }
    // Distances beyond the output so far: the one-pass path and pair
    // expansion refuse them.
    BitWriter far;
    putFixedBlock(far, true, {{'a', 0}, {'b', 0}, {4, 3}});
    EXPECT_EQ(statusOf(far.bytes(), Path::OnePass), orvStsBadSize);
    EXPECT_EQ(statusOf(far.bytes(), Path::Pairs), orvStsBadStream);
    // Truncated streams end in orvStsSrcEnd, never past the source.
    Rng rng(4);
    BitWriter full;
    putFixedBlock(full, false, randomTokens(rng, 400, 0));
    putDynamicBlock(full, true, lit, dist, randomTokens(rng, 400, 2000));
    for (std::size_t cut = 0; cut < full.bytes().size(); cut += 7) {
        const Bytes part(full.bytes().begin(), full.bytes().begin() + static_cast<std::ptrdiff_t>(cut));
        for (Path p : {Path::OnePass, Path::Pairs}) EXPECT_EQ(statusOf(part, p), orvStsSrcEnd) << cut;
    }
}

TEST(DecodeApi, PairExpansion) {
    State s;
    std::vector<LZ77Pair> pairs = {{'x', 0}, {258, 1}, {'y', 0}, {10, 2}};
    const LZ77Pair* pp = pairs.data();
    std::int32_t pl = 0;
    Bytes out(400, 0);
    std::uint8_t* dst = out.data();
    std::int32_t dl = 0;
    EXPECT_EQ(orvsDecodeLZ77_8u(&pp, &pl, &dst, &dl, 0, s.get()), orvStsOk);  // nothing to do
    pl = 4;
    EXPECT_EQ(orvsDecodeLZ77_8u(&pp, &pl, &dst, &dl, 0, s.get()), orvStsDstFull);
    dl = -1;
    EXPECT_EQ(orvsDecodeLZ77_8u(&pp, &pl, &dst, &dl, 0, s.get()), orvStsBadSize);
    EXPECT_TRUE(eachNullRefused(orvsDecodeLZ77_8u, &pp, &pl, &dst, &dl, 0, s.get()));

    // One byte of room a call: a match carries over; the bytes match one call.
    Bytes expected;
    expandTokens({{'x', 0}, {258, 1}, {'y', 0}, {10, 2}}, expected);
    Bytes got;
    pp = pairs.data();
    pl = 4;
    int calls = 0;
    for (;;) {
        std::uint8_t b = 0;
        dst = &b;
        dl = 1;
        const orvStatus st = orvsDecodeLZ77_8u(&pp, &pl, &dst, &dl, 0, s.get());
        ++calls;
        if (dl == 0) got.push_back(b);
        if (st == orvStsOk) break;
        ASSERT_EQ(st, orvStsDstFull);
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(calls, static_cast<int>(expected.size()));
    // Later calls reach back into the history window; too far is refused
    // and the pair stays unconsumed.
    std::vector<LZ77Pair> more = {{5, 270}, {3, 276}};
    pp = more.data();
    pl = 2;
    dst = out.data();
    dl = 400;
    EXPECT_EQ(orvsDecodeLZ77_8u(&pp, &pl, &dst, &dl, 0, s.get()), orvStsBadStream);
    EXPECT_EQ(pp, more.data() + 1);
    EXPECT_EQ(pl, 1);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), Bytes(expected.end() - 270, expected.end() - 265));

    // A literal then (258, 1) into 300 bytes: 259 bytes reported, and the
    // rest of the room keeps what the caller had there.
    State t;
    const std::vector<LZ77Pair> run = {{'k', 0}, {258, 1}};
    Bytes room(300, 0x5A);
    pp = run.data();
    pl = 2;
    dst = room.data();
    dl = 300;
    EXPECT_EQ(orvsDecodeLZ77_8u(&pp, &pl, &dst, &dl, 0, t.get()), orvStsOk);
    EXPECT_EQ(dst - room.data(), 259);
    EXPECT_EQ(Bytes(room.begin(), room.begin() + 259), Bytes(259, 'k'));
    EXPECT_EQ(Bytes(room.begin() + 259, room.end()), Bytes(41, 0x5A));
}

// Caller-made pairs in a room larger than their output: the bytes after the
// reported output keep what the caller had there, whether the pairs run to
// the end of the array or stop at one reaching behind the history, and
// whatever lies between (matches of other lengths, long runs of literals,
// the end of a call's window), with history from an earlier call.
TEST(DecodeApi, PairExpansionWritesNothingPastItsOutput) {
    Rng rng(12);
    for (int trial = 0; trial < 120; ++trial) {
        const std::size_t history = trial % 3 == 0 ? 0 : 1 + rng.below(40000);
        std::vector<Token> tokens = randomTokens(rng, 1 + rng.below(trial % 4 == 0 ? 40 : 6000), history);
        if (trial % 4 == 3) {
            // Long runs of literals between matches.
            std::size_t produced = history;
            for (Token& t : tokens) {
                if (produced > 0 && rng.below(64) == 0) {
                    const auto reach = static_cast<std::uint32_t>(std::min<std::size_t>(produced, 32768));
                    t = {static_cast<std::uint16_t>(3 + rng.below(60)), static_cast<std::uint16_t>(1 + rng.below(reach))};
                } else {
                    t = {static_cast<std::uint16_t>(rng.below(256)), 0};
                }
                produced += t.distance ? t.length : 1;
            }
        }
        Bytes produced;
        Rng fill(static_cast<std::uint64_t>(trial) + 1);
        for (std::size_t i = 0; i < history; ++i) produced.push_back(static_cast<std::uint8_t>(fill.below(256)));
        // Lengths the fast path leaves to the exact one, at distance 1.
        if (trial % 5 == 1) tokens.insert(tokens.begin() + rng.below(static_cast<std::uint32_t>(tokens.size())),
                                          Token{static_cast<std::uint16_t>(trial % 2 ? 300 : 2), 1});
        if (history == 0 && tokens[0].distance != 0) tokens[0] = {'a', 0};
        std::size_t stopAt = tokens.size();
        if (trial % 2 == 0) {
            // A pair reaching one byte behind the history and the output.
            stopAt = rng.below(static_cast<std::uint32_t>(tokens.size()));
            Bytes before = produced;
            expandTokens({tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(stopAt)}, before);
            const std::size_t reach = std::min<std::size_t>(before.size(), 32768);
            tokens[stopAt] = {3, static_cast<std::uint16_t>(reach + 1)};
        }

        State s;
        if (history > 0) {
            // The history, as the output of an earlier call.
            std::vector<LZ77Pair> lits;
            for (std::size_t i = 0; i < history; ++i) lits.push_back({produced[i], 0});
            const LZ77Pair* lp = lits.data();
            auto ll = static_cast<std::int32_t>(lits.size());
            Bytes out(history);
            std::uint8_t* dst = out.data();
            auto dl = static_cast<std::int32_t>(history);
            ASSERT_EQ(orvsDecodeLZ77_8u(&lp, &ll, &dst, &dl, 0, s.get()), orvStsOk);
        }
        Bytes expected = produced;
        expandTokens({tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(stopAt)}, expected);
        expected.erase(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(history));

        std::vector<LZ77Pair> pairs;
        for (const Token& t : tokens) pairs.push_back({t.length, t.distance});
        const LZ77Pair* pp = pairs.data();
        auto pl = static_cast<std::int32_t>(pairs.size());
        CanaryRoom room;
        const std::size_t capacity = expected.size() + 1 + rng.below(trial % 3 == 1 ? 300 : 20000);
        std::uint8_t* dst = room.prepare(capacity);
        auto dl = static_cast<std::int32_t>(capacity);
        const orvStatus st = orvsDecodeLZ77_8u(&pp, &pl, &dst, &dl, 0, s.get());
        EXPECT_EQ(st, stopAt < tokens.size() ? orvStsBadStream : orvStsOk) << trial;
        EXPECT_EQ(pp, pairs.data() + stopAt) << trial;
        ASSERT_EQ(static_cast<std::size_t>(dst - room.data()), expected.size()) << trial;
        EXPECT_TRUE(Bytes(room.data(), dst) == expected) << trial;
        EXPECT_TRUE(room.untouchedFrom(dst)) << trial;
    }
}

// The one-pass decoders: no room on entry changes nothing; a pending match
// that exactly fills the room still answers orvStsDstFull; output never goes
// past the room given, whatever the fast path does.
TEST(DecodeApi, OnePassRoomAndCanaries) {
    Rng rng(6);
    const auto tokens = randomTokens(rng, 3000, 0);
    Bytes expected;
    expandTokens(tokens, expected);
    BitWriter w;
    putFixedBlock(w, true, tokens);
    const Bytes& stream = w.bytes();

    State s;
    const std::uint8_t* src = stream.data();
    std::int32_t srcLen = static_cast<std::int32_t>(stream.size());
    Bytes out(expected.size() + 64, 0xA5);
    std::uint8_t* dst = out.data();
    std::int32_t dstLen = 0;
    EXPECT_EQ(orvsDecodeLZ77FixedHuffFull_8u(&src, &srcLen, &dst, &dstLen, 0, s.get()), orvStsDstFull);
    EXPECT_EQ(src, stream.data());
    std::size_t produced = 0;
    Rng sizes(2);
    orvStatus st;
    do {
        const std::size_t room = std::min<std::size_t>(1 + sizes.below(600), expected.size() + 64 - produced);
        dst = out.data() + produced;
        dstLen = static_cast<std::int32_t>(room);
        // Canary: the byte after the room must stay untouched.
        Bytes saved(out.begin() + static_cast<std::ptrdiff_t>(produced + room), out.end());
        st = orvsDecodeLZ77FixedHuffFull_8u(&src, &srcLen, &dst, &dstLen, static_cast<LZ77FlushMode>(sizes.below(4)), s.get());
        ASSERT_TRUE(Bytes(out.begin() + static_cast<std::ptrdiff_t>(produced + room), out.end()) == saved);
        produced = static_cast<std::size_t>(dst - out.data());
    } while (st == orvStsDstFull);
    ASSERT_EQ(st, orvStsStreamEnd);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(produced)), expected);

    // A match of 258 at distance 1 cut after 100 bytes, then a room of
    // exactly the remaining 158 bytes: orvStsDstFull although it is finished.
    State p;
    BitWriter m;
    putFixedBlock(m, true, {{'q', 0}, {258, 1}, {'z', 0}});
    src = m.bytes().data();
    srcLen = static_cast<std::int32_t>(m.bytes().size());
    Bytes o(300);
    dst = o.data();
    dstLen = 101;
    EXPECT_EQ(orvsDecodeLZ77FixedHuffFull_8u(&src, &srcLen, &dst, &dstLen, 0, p.get()), orvStsDstFull);
    dstLen = 158;
    EXPECT_EQ(orvsDecodeLZ77FixedHuffFull_8u(&src, &srcLen, &dst, &dstLen, 0, p.get()), orvStsDstFull);
    dstLen = 10;
    EXPECT_EQ(orvsDecodeLZ77FixedHuffFull_8u(&src, &srcLen, &dst, &dstLen, 0, p.get()), orvStsStreamEnd);
    EXPECT_EQ(dst - o.data(), 260);
    EXPECT_EQ(Bytes(o.begin(), o.begin() + 259), Bytes(259, 'q'));
    EXPECT_EQ(o[259], 'z');
}

TEST(DecodeApi, PairDecoderEdgesAndResynchronisation) {
    State s;
    BitWriter w;
    putFixedBlock(w, false, {{'a', 0}, {'b', 0}, {'c', 0}});
    putStoredBlock(w, false, nullptr, 0);
    const Bytes& stream = w.bytes();
    const std::uint8_t* src = stream.data();
    std::int32_t srcLen = static_cast<std::int32_t>(stream.size());
    LZ77Pair pair{};
    LZ77Pair* pp = &pair;
    std::int32_t pl = 0;
    EXPECT_EQ(orvsDecodeLZ77FixedHuff_8u(&src, &srcLen, &pp, &pl, 0, s.get()), orvStsDstFull);
    pl = -1;
    EXPECT_EQ(orvsDecodeLZ77FixedHuff_8u(&src, &srcLen, &pp, &pl, 0, s.get()), orvStsBadSize);
    // One record a call.
    std::string got;
    orvStatus st;
    do {
        pp = &pair;
        pl = 1;
        st = orvsDecodeLZ77FixedHuff_8u(&src, &srcLen, &pp, &pl, 0, s.get());
        if (pl == 0) got.push_back(static_cast<char>(pair.length));
    } while (st == orvStsDstFull);
    EXPECT_EQ(st, orvStsOk);  // end of a non-final block
    EXPECT_EQ(got, "abc");
    // The search for 00 00 FF FF finds the sync marker and keeps it buffered.
    pl = 1;
    EXPECT_EQ(orvsDecodeLZ77FixedHuff_8u(&src, &srcLen, &pp, &pl, LZ77FlushSync, s.get()), orvStsOk);
    EXPECT_EQ(srcLen, 0);
    // A final block: its pairs expand to orvStsStreamEnd; zero pairs with
    // nothing pending answer orvStsOk even then.
    State f;
    BitWriter fw;
    putFixedBlock(fw, true, {{'a', 0}, {4, 1}});
    src = fw.bytes().data();
    srcLen = static_cast<std::int32_t>(fw.bytes().size());
    LZ77Pair two[4];
    pp = two;
    pl = 4;
    ASSERT_EQ(orvsDecodeLZ77FixedHuff_8u(&src, &srcLen, &pp, &pl, 0, f.get()), orvStsStreamEnd);
    ASSERT_EQ(pp - two, 2);
    const LZ77Pair* ep = two;
    std::int32_t el = 2;
    std::uint8_t bytes[8];
    std::uint8_t* dst = bytes;
    std::int32_t dl = 8;
    EXPECT_EQ(orvsDecodeLZ77_8u(&ep, &el, &dst, &dl, 0, f.get()), orvStsStreamEnd);
    EXPECT_EQ(Bytes(bytes, dst), Bytes(5, 'a'));
    EXPECT_EQ(orvsDecodeLZ77_8u(&ep, &el, &dst, &dl, 0, f.get()), orvStsOk);
    // Without a marker the search eats the source and asks for more.
    State t;
    const Bytes junk = {1, 2, 3, 0, 0, 0xFF, 0xFE, 9};
    src = junk.data();
    srcLen = static_cast<std::int32_t>(junk.size());
    EXPECT_EQ(orvsDecodeLZ77DynamicHuff_8u(&src, &srcLen, &pp, &pl, LZ77FlushFull, t.get()), orvStsSrcEnd);
    EXPECT_EQ(srcLen, 0);
}

// Streams that reach behind their history or are damaged anywhere give the
// same result whatever the state memory held before Init: no stream reads
// state memory Init left unwritten.
TEST(DecodeApi, NothingReadFromStateMemoryBeforeItIsWritten) {
    std::int32_t size = 0;
    ASSERT_EQ(orvsDecodeLZ77GetSize_8u(&size), orvStsOk);
    Rng rng(77);
    for (int round = 0; round < 60; ++round) {
        BitWriter w;
        std::vector<Token> tokens = randomTokens(rng, 200, round % 2 ? 0 : 40000);
        putFixedBlock(w, false, tokens);
        putDynamicBlock(w, true, std::vector<std::uint8_t>(286, 9), std::vector<std::uint8_t>(30, 5), tokens);
        Bytes stream = w.bytes();
        if (round % 3 == 0) stream[rng.below(static_cast<std::uint32_t>(stream.size()))] ^= 0x10;
        const std::size_t room = 1 + rng.below(3000);
        DriveResult results[2];
        for (int k = 0; k < 2; ++k) {
            FilledMemory mem(static_cast<std::size_t>(size), k == 0 ? 0x00 : 0xFF);
            auto* st = mem.as<LZ77DecoderState>();
            ASSERT_EQ(orvsDecodeLZ77Init_8u(LZ77ChecksumNone, st), orvStsOk);
            DriveOptions opt;
            opt.path = Path::Mixed;
            opt.seed = static_cast<std::uint64_t>(round);
            opt.dstChunk = room;
            results[k] = drive(stream, opt, st);
        }
        EXPECT_EQ(results[0].status, results[1].status) << round;
        EXPECT_EQ(results[0].out, results[1].out) << round;
    }
}

}  // namespace
