// Shared by the deflate decoder fuzz harnesses: decoding an arbitrary byte
// string through the public operations with call sizes chosen by the input,
// with a bound on the number of calls so a decoder that stops making
// progress is caught.  Destinations end right before an inaccessible page.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fuzz_guard.h"
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

// The destination area: maxDst bytes at most a call, ending right before an
// inaccessible page.  It holds a canary pattern that every call must leave
// alone after the output it reports; only the output is refilled, so a call
// costs what it writes plus the span checked.
class CanaryArea {
public:
    static constexpr std::size_t kCapacity = (1u << 16) + 64;
    CanaryArea() : base_(mem_.end(kCapacity)) {
        for (std::size_t i = 0; i < kCapacity; ++i) base_[i] = canary(i);
    }
    // Room for a call: the last `room` bytes before the page.
    std::uint8_t* room(std::size_t room) { return base_ + kCapacity - room; }
    [[gnu::noinline]] void check(const std::uint8_t* from, const std::uint8_t* to, std::vector<std::uint8_t>& out) {
        if (to < from || to > base_ + kCapacity) std::abort();
        out.insert(out.end(), from, to);
        const auto start = static_cast<std::size_t>(to - base_);
        const std::size_t stop = std::min<std::size_t>(kCapacity, start + 1024);
        for (std::size_t i = start; i < stop; ++i) {
            if (base_[i] != canary(i)) std::abort();  // a byte past the reported output
        }
        for (auto i = static_cast<std::size_t>(from - base_); i < start; ++i) base_[i] = canary(i);
    }

private:
    static std::uint8_t canary(std::size_t i) { return static_cast<std::uint8_t>(i * 157 + 55); }
    PageEnd mem_;
    std::uint8_t* base_;
};

// Decodes data[0..size) (which the caller placed right before an
// inaccessible page) with call sizes of at most maxSrc source and maxDst
// (at most 65536) destination bytes drawn from the seed.  The state memory
// and the destination area are kept across runs.
inline DecodeOutcome decodeAll(const std::uint8_t* data, std::size_t size, DecodePath path,
                               std::uint32_t seed, std::uint32_t maxSrc, std::uint32_t maxDst) {
    DecodeOutcome r;
    static std::unique_ptr<std::uint8_t[]> mem(new std::uint8_t[335008 + 4]);
    static CanaryArea area;
    static PageEnd pairMem;
    auto* st = reinterpret_cast<LZ77DecoderState*>(mem.get() + 4);
    orvsDecodeLZ77Init_8u(LZ77ChecksumNone, st);
    Sizes sizes{seed};
    maxDst = std::min<std::uint32_t>(maxDst, 1u << 16);
    const std::uint8_t none = 0;
    std::size_t pos = 0;
    const std::size_t kMaxOut = 1u << 20;
    // Every call consumes source, writes output or moves a block along, so
    // a valid stream needs far fewer calls than this (one byte of output a
    // call at worst); only a decoder that stops making progress exceeds it.
    std::size_t budget = 256 + size * 64 + 4 * kMaxOut;

    // The chosen call sizes hold for the first 16 KiB of output and 4 KiB of
    // source; beyond them calls are large, so that a long stream costs few
    // calls while every kind of split is still met early on.
    auto early = [&] { return r.out.size() < 16384 && pos < 4096; };
    auto call = [&](auto&& fn) {
        const std::size_t len = std::min<std::size_t>(sizes.next(early() ? maxSrc : 1u << 20), size - pos);
        const std::uint8_t* src = len ? data + pos : &none;
        const std::uint8_t* base = src;
        auto srcLen = static_cast<std::int32_t>(len);
        const orvStatus s = fn(&src, &srcLen);
        if (srcLen < 0 || src < base - 8 || src > base + len) std::abort();
        pos = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(pos) + (src - base));
        return s;
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
        const std::uint32_t room = sizes.next(early() ? maxDst : 1u << 16);
        std::uint8_t* const start = area.room(room);
        std::uint8_t* dst = start;
        std::int32_t dstLen = static_cast<std::int32_t>(room);
        if (mode == LZ77HuffStored) {
            s = call([&](const std::uint8_t** p, std::int32_t* l) {
                return orvsDecodeLZ77StoredBlock_8u(p, l, &dst, &dstLen, st);
            });
            area.check(start, dst, r.out);
        } else if (onePass) {
            s = call([&](const std::uint8_t** p, std::int32_t* l) {
                return mode == LZ77HuffFixed ? orvsDecodeLZ77FixedHuffFull_8u(p, l, &dst, &dstLen, 0, st)
                                             : orvsDecodeLZ77DynamicHuffFull_8u(p, l, &dst, &dstLen, 0, st);
            });
            area.check(start, dst, r.out);
        } else {
            // The pair records end right before an inaccessible page too.
            std::int32_t pl = static_cast<std::int32_t>(early() ? sizes.next(512) : 512);
            auto* const firstPair = reinterpret_cast<LZ77Pair*>(pairMem.end(sizeof(LZ77Pair) * static_cast<std::size_t>(pl)));
            LZ77Pair* pp = firstPair;
            s = call([&](const std::uint8_t** p, std::int32_t* l) {
                return mode == LZ77HuffFixed ? orvsDecodeLZ77FixedHuff_8u(p, l, &pp, &pl, 0, st)
                                             : orvsDecodeLZ77DynamicHuff_8u(p, l, &pp, &pl, 0, st);
            });
            const LZ77Pair* ep = firstPair;
            auto el = static_cast<std::int32_t>(pp - firstPair);
            for (;;) {
                if (budget-- == 0) std::abort();
                const std::uint32_t expandRoom = sizes.next(early() ? maxDst : 1u << 16);
                std::uint8_t* const expandStart = area.room(expandRoom);
                dst = expandStart;
                dstLen = static_cast<std::int32_t>(expandRoom);
                const orvStatus es = orvsDecodeLZ77_8u(&ep, &el, &dst, &dstLen, 0, st);
                area.check(expandStart, dst, r.out);
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
