// Shared by the deflate decoder fuzz harnesses: decoding an arbitrary byte
// string through the public operations with call sizes chosen by the input,
// with a bound on the number of calls so a decoder that stops making
// progress is caught.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "orvdc.h"

namespace orvdc::fuzz {

enum class DecodePath { OnePass, Pairs, Mixed };

struct DecodeOutcome {
    orvStatus status = orvStsOk;
    std::vector<std::uint8_t> out;
    std::size_t used = 0;  // source position after orvStsStreamEnd
};

// Call sizes drawn from a small generator seeded by the input.
struct Sizes {
    std::uint32_t state;
    std::uint32_t next(std::uint32_t bound) {
        state = state * 1103515245u + 12345u;
        return 1 + (state >> 8) % bound;
    }
};

inline DecodeOutcome decodeAll(const std::uint8_t* data, std::size_t size, DecodePath path,
                               std::uint32_t seed, std::uint32_t maxSrc, std::uint32_t maxDst) {
    DecodeOutcome r;
    std::unique_ptr<std::uint8_t[]> mem(new std::uint8_t[335008 + 4]);
    auto* st = reinterpret_cast<LZ77DecoderState*>(mem.get() + 4);
    orvsDecodeLZ77Init_8u(LZ77ChecksumNone, st);
    Sizes sizes{seed};
    std::vector<LZ77Pair> pairs(512);
    std::unique_ptr<std::uint8_t[]> bufMem(new std::uint8_t[maxDst + 64]);
    const struct {
        std::uint8_t* p;
        std::uint8_t* data() const { return p; }
        std::size_t size() const { return n; }
        std::size_t n;
    } buf{bufMem.get(), maxDst + 64};
    const std::uint8_t none = 0;
    std::size_t pos = 0;
    const std::size_t kMaxOut = 1u << 21;
    // Every call consumes source, writes output or moves a block along, so
    // a valid stream needs far fewer calls than this (one byte of output a
    // call at worst); only a decoder that stops making progress exceeds it.
    std::size_t budget = 256 + size * 64 + 4 * kMaxOut;

    auto call = [&](auto&& fn) {
        const std::size_t len = std::min<std::size_t>(sizes.next(maxSrc), size - pos);
        const std::uint8_t* src = len ? data + pos : &none;
        const std::uint8_t* base = src;
        auto srcLen = static_cast<std::int32_t>(len);
        const orvStatus s = fn(&src, &srcLen);
        if (srcLen < 0 || src < base - 8 || src > base + len) std::abort();
        pos = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(pos) + (src - base));
        return s;
    };
    // The destination holds canary bytes before every call; a call may change
    // none after the output it reports.  Only the span after the output is
    // checked and only the output refilled, so a call costs what it writes.
    auto canary = [](std::size_t i) { return static_cast<std::uint8_t>(i * 157 + 55); };
    for (std::size_t i = 0; i < buf.size(); ++i) buf.p[i] = canary(i);
    auto emit = [&](const std::uint8_t* from, const std::uint8_t* to) {
        if (to < from || to > from + buf.size()) std::abort();
        r.out.insert(r.out.end(), from, to);
        const auto n = static_cast<std::size_t>(to - from);
        const std::size_t stop = std::min<std::size_t>(buf.size(), n + 1024);
        for (std::size_t i = n; i < stop; ++i) {
            if (buf.p[i] != canary(i)) std::abort();  // a byte past the reported output
        }
        for (std::size_t i = 0; i < n; ++i) buf.p[i] = canary(i);
    };

    bool onePass = path != DecodePath::Pairs;
    while (budget-- > 0) {
        if (r.out.size() > kMaxOut) { r.status = orvStsError; return r; }
        LZ77HuffMode mode;
        orvStatus s = call([&](const std::uint8_t** p, std::int32_t* l) {
            return orvsDecodeLZ77GetBlockType_8u(p, l, &mode, st);
        });
        if (s == orvStsSrcEnd) {
            if (pos >= size) { r.status = s; return r; }
            continue;
        }
        if (s != orvStsOk) { r.status = s; return r; }
        if (path == DecodePath::Mixed) onePass = (sizes.next(2) == 1);
        const std::uint32_t room = sizes.next(maxDst);
        std::uint8_t* dst = buf.data();
        std::int32_t dstLen = static_cast<std::int32_t>(room);
        if (mode == LZ77HuffStored) {
            s = call([&](const std::uint8_t** p, std::int32_t* l) {
                return orvsDecodeLZ77StoredBlock_8u(p, l, &dst, &dstLen, st);
            });
            emit(buf.data(), dst);
        } else if (onePass) {
            s = call([&](const std::uint8_t** p, std::int32_t* l) {
                return mode == LZ77HuffFixed ? orvsDecodeLZ77FixedHuffFull_8u(p, l, &dst, &dstLen, 0, st)
                                             : orvsDecodeLZ77DynamicHuffFull_8u(p, l, &dst, &dstLen, 0, st);
            });
            emit(buf.data(), dst);
        } else {
            LZ77Pair* pp = pairs.data();
            std::int32_t pl = static_cast<std::int32_t>(sizes.next(512));
            s = call([&](const std::uint8_t** p, std::int32_t* l) {
                return mode == LZ77HuffFixed ? orvsDecodeLZ77FixedHuff_8u(p, l, &pp, &pl, 0, st)
                                             : orvsDecodeLZ77DynamicHuff_8u(p, l, &pp, &pl, 0, st);
            });
            const LZ77Pair* ep = pairs.data();
            auto el = static_cast<std::int32_t>(pp - pairs.data());
            for (;;) {
                if (budget-- == 0) std::abort();
                dst = buf.data();
                dstLen = static_cast<std::int32_t>(sizes.next(maxDst));
                const orvStatus es = orvsDecodeLZ77_8u(&ep, &el, &dst, &dstLen, 0, st);
                emit(buf.data(), dst);
                if (es == orvStsDstFull) continue;
                if (es < 0) { r.status = es; return r; }
                break;
            }
        }
        if (s == orvStsStreamEnd) {
            r.status = s;
            r.used = pos;
            return r;
        }
        if (s < 0 || (s == orvStsSrcEnd && pos >= size)) { r.status = s; return r; }
    }
    std::abort();  // no progress: a hang
}

}  // namespace orvdc::fuzz
