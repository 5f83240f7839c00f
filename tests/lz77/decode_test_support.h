// Helpers of the deflate decoder tests: a bit writer that builds deflate
// streams by hand (fixed, dynamic and stored blocks from token lists), a
// reference expander for token lists, and a driver that decodes a whole
// stream through the library with chosen paths and call sizes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "common/test_support.h"
#include "orvdc.h"

#ifdef ORVDC_HAVE_ZLIB
#include <zlib.h>
#endif

namespace orvdc::test::decodetest {

// One token: a literal (distance 0, value in length) or a match.
struct Token {
    std::uint16_t length;
    std::uint16_t distance;
};

// Bytes the tokens stand for, appended to `out` (which may hold history).
inline void expandTokens(const std::vector<Token>& tokens, Bytes& out) {
    for (const Token& t : tokens) {
        if (t.distance == 0) {
            out.push_back(static_cast<std::uint8_t>(t.length));
        } else {
            for (unsigned i = 0; i < t.length; ++i) out.push_back(out[out.size() - t.distance]);
        }
    }
}

// Random tokens whose matches stay within `history` + the bytes before them.
inline std::vector<Token> randomTokens(Rng& rng, std::size_t count, std::size_t history,
                                       unsigned literalAlphabet = 256) {
    std::vector<Token> tokens;
    std::size_t produced = history;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t reach = std::min<std::size_t>(produced, 32768);
        if (reach == 0 || rng.below(3) == 0) {
            tokens.push_back({static_cast<std::uint16_t>(rng.below(literalAlphabet)), 0});
            ++produced;
            continue;
        }
        unsigned length = rng.below(4) == 0 ? 3 + rng.below(256) : 3 + rng.below(12);
        unsigned distance;
        switch (rng.below(4)) {
            case 0: distance = 1 + rng.below(std::min<unsigned>(static_cast<unsigned>(reach), 8)); break;
            case 1: distance = static_cast<unsigned>(reach - rng.below(std::min<unsigned>(static_cast<unsigned>(reach), 4))); break;
            default: distance = 1 + rng.below(static_cast<unsigned>(reach)); break;
        }
        tokens.push_back({static_cast<std::uint16_t>(length), static_cast<std::uint16_t>(distance)});
        produced += length;
    }
    return tokens;
}

class BitWriter {
public:
    void put(std::uint32_t value, unsigned n) {
        for (unsigned i = 0; i < n; ++i) {
            if (bitPos_ == 0) bytes_.push_back(0);
            bytes_.back() |= static_cast<std::uint8_t>(((value >> i) & 1u) << bitPos_);
            bitPos_ = (bitPos_ + 1) & 7;
        }
    }
    // A Huffman code, most significant bit first.
    void putCode(std::uint32_t code, unsigned n) {
        for (unsigned i = n; i-- > 0;) put((code >> i) & 1u, 1);
    }
    void align() { bitPos_ = 0; }
    void putByte(std::uint8_t b) { bytes_.push_back(b); }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
    unsigned bitPos_ = 0;
};

inline constexpr std::uint16_t kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                                33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                                1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

inline unsigned lengthSymbol(unsigned length) {
    unsigned s = 28;
    while (kLenBase[s] > length) --s;
    return s;  // 0-based index into the length tables (symbol 257 + s)
}
inline unsigned distanceSymbol(unsigned distance) {
    unsigned s = 29;
    while (kDistBase[s] > distance) --s;
    return s;
}

// Canonical codes of a set of code lengths.
inline std::vector<std::uint32_t> canonicalCodes(const std::vector<std::uint8_t>& lengths) {
    unsigned count[16] = {};
    for (auto l : lengths) ++count[l];
    count[0] = 0;
    unsigned next[16] = {};
    unsigned code = 0;
    for (unsigned n = 1; n < 16; ++n) {
        code = (code + count[n - 1]) << 1;
        next[n] = code;
    }
    std::vector<std::uint32_t> codes(lengths.size());
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        if (lengths[i] != 0) codes[i] = next[lengths[i]]++;
    }
    return codes;
}

inline std::vector<std::uint8_t> fixedLitLengths() {
    std::vector<std::uint8_t> l(288);
    for (unsigned i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    return l;
}

// Writes the tokens and the end-of-block code with the given codes.
inline void putTokens(BitWriter& w, const std::vector<Token>& tokens, const std::vector<std::uint8_t>& litLens,
                      const std::vector<std::uint8_t>& distLens) {
    const auto litCodes = canonicalCodes(litLens);
    const auto distCodes = canonicalCodes(distLens);
    for (const Token& t : tokens) {
        if (t.distance == 0) {
            w.putCode(litCodes[t.length], litLens[t.length]);
            continue;
        }
        const unsigned ls = lengthSymbol(t.length);
        w.putCode(litCodes[257 + ls], litLens[257 + ls]);
        w.put(t.length - kLenBase[ls], kLenExtra[ls]);
        const unsigned ds = distanceSymbol(t.distance);
        w.putCode(distCodes[ds], distLens[ds]);
        w.put(t.distance - kDistBase[ds], kDistExtra[ds]);
    }
    w.putCode(litCodes[256], litLens[256]);
}

inline void putFixedBlock(BitWriter& w, bool final, const std::vector<Token>& tokens) {
    w.put(final ? 3 : 2, 3);
    putTokens(w, tokens, fixedLitLengths(), std::vector<std::uint8_t>(32, 5));
}

// Stored block(s) of up to 65535 bytes each; `final` marks the last one.
inline void putStoredBlock(BitWriter& w, bool final, const std::uint8_t* data, std::size_t n) {
    w.put(final ? 1 : 0, 3);
    w.align();
    w.putByte(static_cast<std::uint8_t>(n));
    w.putByte(static_cast<std::uint8_t>(n >> 8));
    w.putByte(static_cast<std::uint8_t>(~n));
    w.putByte(static_cast<std::uint8_t>(~n >> 8));
    for (std::size_t i = 0; i < n; ++i) w.putByte(data[i]);
}

// The code-length code used by the dynamic writer: every symbol 0..18 has a
// code (13 of length 4, 6 of length 5).
inline std::vector<std::uint8_t> codeLengthCodeLengths() {
    std::vector<std::uint8_t> l(19, 4);
    for (unsigned s : {1u, 2u, 13u, 14u, 15u, 3u}) l[s] = 5;
    return l;
}

// Dynamic block header with the given lengths (runs coded with 16/17/18 when
// `useRepeats`), then the tokens.  `clcLens` overrides the code-length code.
inline void putDynamicHeader(BitWriter& w, bool final, const std::vector<std::uint8_t>& litLens,
                             const std::vector<std::uint8_t>& distLens, bool useRepeats,
                             std::vector<std::uint8_t> clcLens = {}) {
    static constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    if (clcLens.empty()) clcLens = codeLengthCodeLengths();
    unsigned hclen = 19;
    while (hclen > 4 && clcLens[kOrder[hclen - 1]] == 0) --hclen;
    w.put(final ? 5 : 4, 3);
    w.put(static_cast<std::uint32_t>(litLens.size() - 257), 5);
    w.put(static_cast<std::uint32_t>(distLens.size() - 1), 5);
    w.put(hclen - 4, 4);
    for (unsigned i = 0; i < hclen; ++i) w.put(clcLens[kOrder[i]], 3);
    const auto clcCodes = canonicalCodes(clcLens);
    std::vector<std::uint8_t> all(litLens);
    all.insert(all.end(), distLens.begin(), distLens.end());
    for (std::size_t i = 0; i < all.size();) {
        std::size_t run = 1;
        while (i + run < all.size() && all[i + run] == all[i]) ++run;
        if (useRepeats && all[i] == 0 && run >= 3) {
            const std::size_t n = std::min<std::size_t>(run, 138);
            if (n >= 11) {
                w.putCode(clcCodes[18], clcLens[18]);
                w.put(static_cast<std::uint32_t>(n - 11), 7);
            } else {
                w.putCode(clcCodes[17], clcLens[17]);
                w.put(static_cast<std::uint32_t>(n - 3), 3);
            }
            i += n;
        } else if (useRepeats && i > 0 && all[i] == all[i - 1] && run >= 3) {
            const std::size_t n = std::min<std::size_t>(run, 6);
            w.putCode(clcCodes[16], clcLens[16]);
            w.put(static_cast<std::uint32_t>(n - 3), 2);
            i += n;
        } else {
            w.putCode(clcCodes[all[i]], clcLens[all[i]]);
            ++i;
        }
    }
}

inline void putDynamicBlock(BitWriter& w, bool final, const std::vector<std::uint8_t>& litLens,
                            const std::vector<std::uint8_t>& distLens, const std::vector<Token>& tokens,
                            bool useRepeats = true) {
    putDynamicHeader(w, final, litLens, distLens, useRepeats);
    putTokens(w, tokens, litLens, distLens);
}

// ---------------------------------------------------------------------------
// Decoding driver
// ---------------------------------------------------------------------------
enum class Path { Pairs, OnePass, Mixed };

struct DriveOptions {
    Path path = Path::OnePass;
    std::size_t srcChunk = 1u << 30;   // source bytes offered per call
    std::size_t dstChunk = 1u << 30;   // destination room per call
    std::int32_t pairChunk = 65536;    // pair records per call
    std::uint64_t seed = 1;            // path choice per block for Path::Mixed
    bool useGetBlockType = true;       // else the block operations read headers
    std::size_t maxCalls = 50'000'000; // guard against a decoder that loops
};

struct DriveResult {
    orvStatus status = orvStsOk;  // orvStsStreamEnd on success, else the error
    Bytes out;
    std::size_t srcUsed = 0;      // source position after orvStsStreamEnd
    std::size_t calls = 0;
};

// Decodes `stream` (a raw deflate stream, possibly followed by trailer bytes)
// through the public operations.  The output is collected whatever happens,
// and every call is checked to leave the bytes after its output alone.
inline DriveResult drive(const Bytes& stream, const DriveOptions& opt, LZ77DecoderState* state = nullptr) {
    DriveResult r;
    std::vector<std::uint8_t> stateMem;
    if (state == nullptr) {
        std::int32_t size = 0;
        orvsDecodeLZ77GetSize_8u(&size);
        stateMem.resize(static_cast<std::size_t>(size) + 4);
        state = reinterpret_cast<LZ77DecoderState*>(stateMem.data() + 4);  // only 4-byte aligned
        orvsDecodeLZ77Init_8u(LZ77ChecksumNone, state);
    }
    Rng rng(opt.seed);
    const std::uint8_t dummy = 0;
    std::size_t pos = 0;
    std::vector<LZ77Pair> pairBuf(static_cast<std::size_t>(std::max(opt.pairChunk, 1)));
    CanaryRoom buf;  // destination of one call
    // Appends a call's reported output to the result; nothing after it may
    // have changed.
    auto collect = [&](const std::uint8_t* end, const char* operation) {
        r.out.insert(r.out.end(), static_cast<const std::uint8_t*>(buf.data()), end);
        EXPECT_TRUE(buf.untouchedFrom(end)) << operation;
    };

    auto srcCall = [&](auto&& fn) {
        const std::size_t len = std::min(opt.srcChunk, stream.size() - pos);
        const std::uint8_t* src = len ? stream.data() + pos : &dummy;
        const std::uint8_t* const base = src;
        auto srcLen = static_cast<std::int32_t>(len);
        const orvStatus st = fn(&src, &srcLen);
        pos = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(pos) + (src - base));
        ++r.calls;
        return st;
    };
    // Source exhausted while the decoder wants more: a truncated stream.
    auto starving = [&](orvStatus st) { return st == orvStsSrcEnd && pos >= stream.size(); };

    for (;;) {
        if (r.calls > opt.maxCalls) {
            r.status = orvStsError;
            return r;
        }
        LZ77HuffMode mode = LZ77HuffFixed;
        if (opt.useGetBlockType) {
            const orvStatus st = srcCall([&](const std::uint8_t** s, std::int32_t* l) {
                return orvsDecodeLZ77GetBlockType_8u(s, l, &mode, state);
            });
            if (st == orvStsSrcEnd) {
                if (starving(st)) { r.status = st; return r; }
                continue;
            }
            if (st != orvStsOk) { r.status = st; return r; }
        }
        // Without GetBlockType the block operations read the header
        // themselves; a header of another type is refused with
        // orvStsBadStream and the next operation is tried.
        int untried = opt.useGetBlockType ? 0 : 2;
        bool onePass = opt.path == Path::OnePass || (opt.path == Path::Mixed && rng.below(2) == 0);
        orvStatus st = orvStsOk;
        // Runs one block to its end.
        for (;;) {
            if (r.calls > opt.maxCalls) { r.status = orvStsError; return r; }
            const std::size_t room = std::max<std::size_t>(1, std::min<std::size_t>(opt.dstChunk, 1u << 18));
            if (mode == LZ77HuffStored) {
                std::uint8_t* dst = buf.prepare(room);
                auto dstLen = static_cast<std::int32_t>(room);
                st = srcCall([&](const std::uint8_t** s, std::int32_t* l) {
                    return orvsDecodeLZ77StoredBlock_8u(s, l, &dst, &dstLen, state);
                });
                collect(dst, "StoredBlock");
            } else if (onePass) {
                std::uint8_t* dst = buf.prepare(room);
                auto dstLen = static_cast<std::int32_t>(room);
                st = srcCall([&](const std::uint8_t** s, std::int32_t* l) {
                    return mode == LZ77HuffFixed
                               ? orvsDecodeLZ77FixedHuffFull_8u(s, l, &dst, &dstLen, LZ77FlushNone, state)
                               : orvsDecodeLZ77DynamicHuffFull_8u(s, l, &dst, &dstLen, LZ77FlushNone, state);
                });
                collect(dst, mode == LZ77HuffFixed ? "FixedHuffFull" : "DynamicHuffFull");
            } else {
                LZ77Pair* pp = pairBuf.data();
                std::int32_t pl = opt.pairChunk;
                st = srcCall([&](const std::uint8_t** s, std::int32_t* l) {
                    return mode == LZ77HuffFixed
                               ? orvsDecodeLZ77FixedHuff_8u(s, l, &pp, &pl, LZ77FlushNone, state)
                               : orvsDecodeLZ77DynamicHuff_8u(s, l, &pp, &pl, LZ77FlushNone, state);
                });
                // Expand every pair written (and any pending match).
                const LZ77Pair* ep = pairBuf.data();
                auto el = static_cast<std::int32_t>(pp - pairBuf.data());
                for (;;) {
                    std::uint8_t* dst = buf.prepare(room);
                    auto dstLen = static_cast<std::int32_t>(room);
                    const orvStatus es = orvsDecodeLZ77_8u(&ep, &el, &dst, &dstLen, LZ77FlushNone, state);
                    ++r.calls;
                    collect(dst, "pair expansion");
                    if (es == orvStsDstFull) continue;
                    if (es < 0) { r.status = es; return r; }
                    if (el != 0) { r.status = orvStsError; return r; }
                    break;
                }
            }
            if (st == orvStsBadStream && untried > 0) {
                --untried;
                mode = mode == LZ77HuffFixed ? LZ77HuffDynamic : LZ77HuffStored;
                continue;
            }
            untried = 0;
            if (st == orvStsStreamEnd) {
                r.status = st;
                r.srcUsed = pos;
                return r;
            }
            if (st < 0 || starving(st)) { r.status = st; return r; }
            if (st == orvStsOk) {
                // Ok from a Huffman block ends it; from a stored block it may
                // also mean "copied, not yet closed": the phase tells.
                if (mode != LZ77HuffStored) break;
                LZ77HuffMode probe = mode;
                const std::uint8_t* none = &dummy;
                std::int32_t zero = 0;
                const orvStatus ps = orvsDecodeLZ77GetBlockType_8u(&none, &zero, &probe, state);
                if (ps == orvStsSrcEnd) break;  // phase 0: the block is closed
                if (ps == orvStsOk && probe == LZ77HuffStored) continue;
                break;
            }
        }
    }
}

#ifdef ORVDC_HAVE_ZLIB
// One piece of input for zlib: the bytes, the flush after them, and the
// level/strategy to switch to before them (level -2: no change).
struct Piece {
    std::size_t bytes;
    int flush = Z_NO_FLUSH;
    int level = -2;
    int strategy = Z_DEFAULT_STRATEGY;
};

inline Bytes zlibDeflate(const Bytes& data, int level, int strategy, const std::vector<Piece>& plan = {}) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) * 2 + 1024 + 64 * plan.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    std::size_t pos = 0;
    auto feed = [&](std::size_t n, int flush) {
        z.next_in = const_cast<Bytef*>(data.data() + pos);
        z.avail_in = static_cast<uInt>(n);
        EXPECT_NE(deflate(&z, flush), Z_STREAM_ERROR);
        pos += n;
    };
    for (const Piece& p : plan) {
        if (p.level != -2) {
            EXPECT_EQ(deflateParams(&z, p.level, p.strategy), Z_OK);
        }
        feed(std::min(p.bytes, data.size() - pos), p.flush);
    }
    feed(data.size() - pos, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

#endif

}  // namespace orvdc::test::decodetest
