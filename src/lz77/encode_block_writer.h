// The loop shared by the fixed-code and dynamic-code block writers.  The two
// differ only in where a symbol's code comes from and in how a block starts;
// both are given by a `Codes` policy:
//   Codes(EncoderState&, const LZ77Pair* pairs, int32_t count)  the call's pairs
//   bool resumeHeader(BitWriter&)         finish a block description left pending (true: nothing pending)
//   bool startBlock(BitWriter&, bool last) write the block header (true: complete)
//   void literal(sym, bits&, count&)      code of a literal
//   void length(index, bits&, count&)     code and extra bits of a match length (index = length - 3)
//   void distance(d, bits&, count&)       code and extra bits of a distance
//   void endOfBlock(bits&, count&)        code of symbol 256
#pragma once

#include <bit>
#include <cstring>

#include "core/check.h"
#include "lz77/encode_state.h"
#include "lz77/encode_tables.h"

namespace orvdc::lz77 {

static_assert(std::endian::native == std::endian::little, "output words are stored little-endian");

inline constexpr std::uint8_t kSyncMarker[4] = {0x00, 0x00, 0xFF, 0xFF};

// Writes what is left of the sync marker once every pending bit is out.
inline orvStatus writeMarker(EncoderState& st, BitWriter& w) {
    if (w.count != 0) return orvStsDstFull;
    while (st.markerLeft > 0 && w.room > 0) {
        *w.out++ = kSyncMarker[4 - st.markerLeft];
        --w.room;
        --st.markerLeft;
    }
    if (st.markerLeft != 0) return orvStsDstFull;
    st.blockPhase = kPhaseClosed;
    return orvStsOk;
}

template <class Codes>
orvStatus writeHuffmanBlock(const LZ77Pair** ppSrc, std::int32_t* pSrcLen, std::uint8_t** ppDst,
                            std::int32_t* pDstLen, LZ77FlushMode flush, LZ77EncoderState* pState) {
    if (anyNull(ppSrc, ppDst, pSrcLen, pDstLen) || anyNull(*ppSrc, *ppDst, pState)) return orvStsNullPtr;
    if (anyBelow(0, *pDstLen, *pSrcLen)) return orvStsBadSize;
    if (*pDstLen == 0) return orvStsDstFull;

    EncoderState& st = encoderState(pState);
    Codes codes(st, *ppSrc, *pSrcLen);
    BitWriter w(st, *ppDst, *pDstLen);
    const LZ77Pair* pairs = *ppSrc;
    const std::int32_t n = *pSrcLen;
    std::int32_t i = 0;

    const auto done = [&](orvStatus status) {
        w.save(st);
        *ppSrc = pairs + i;
        *pSrcLen = n - i;
        *ppDst = w.out;
        *pDstLen = w.room;
        return status;
    };

    if (!codes.resumeHeader(w)) {
        st.blockPhase = kPhaseOpen;
        return done(orvStsDstFull);
    }
    w.drain();

    const bool finishing = flush == LZ77FlushFinish && st.srcRemaining == 0;
    if (n == 0) {
        // No block is started without pairs: only pending output is finished.
        if (st.markerLeft != 0) return done(writeMarker(st, w));
        if (flush == LZ77FlushFinish) {
            if (w.count != 0) {
                st.blockPhase = kPhaseOpen;
                return done(orvStsDstFull);
            }
            st.blockPhase = kPhaseStreamEnd;
            return done(st.srcRemaining == 0 ? orvStsStreamEnd : orvStsOk);
        }
        st.blockPhase = kPhaseClosed;
        return done(orvStsOk);
    }

    if (st.blockPhase == kPhaseHeaderDue) {
        const bool complete = codes.startBlock(w, finishing);
        st.blockPhase = kPhaseOpen;
        if (!complete) return done(orvStsDstFull);
    }

    // Wide path: while 16 bytes of room remain a pair always fits whole.
    // Pairs are coded into a small local buffer, eight bytes stored after
    // every pair whatever its length (no branch on the bit count), and only
    // the whole bytes are copied out, so no destination byte beyond those
    // reported is ever written.  At the start of a pair at most 7 bits are
    // pending, and a pair adds at most 48, so it adds at most kPairBytes
    // whole bytes: a chunk takes as many pairs as its bytes allow (at least
    // one) and counts only pairs.
    w.drain();
    if (w.room >= 16 && i < n) {
        constexpr std::int32_t kChunk = 1024;
        constexpr std::int32_t kPairBytes = 6;
        std::uint8_t buf[kChunk + 16];
        std::uint64_t bits = w.bits;
        std::uint32_t count = static_cast<std::uint32_t>(w.count);
        do {
            const std::int32_t limit = w.room - 16 < kChunk ? w.room - 16 : kChunk;
            std::int32_t take = limit < kPairBytes ? 1 : limit / kPairBytes;
            if (take > n - i) take = n - i;
            const LZ77Pair* pr = pairs + i;
            const LZ77Pair* const prEnd = pr + take;
            i += take;
            std::uint8_t* b = buf;
            do {
                if (pr->offset == 0) {
                    codes.literal(pr->length, bits, count);
                } else {
                    codes.length(lengthIndexOf(pr->length), bits, count);
                    codes.distance(pr->offset, bits, count);
                }
                std::memcpy(b, &bits, 8);
                const std::uint32_t whole = count >> 3;
                b += whole;
                bits >>= whole * 8;
                count &= 7;
            } while (++pr != prEnd);
            const auto produced = static_cast<std::int32_t>(b - buf);
            std::memcpy(w.out, buf, static_cast<std::size_t>(produced));
            w.out += produced;
            w.room -= produced;
        } while (i < n && w.room >= 16);
        w.bits = bits;
        w.count = static_cast<std::int32_t>(count);
    }
    // Exact path for the last bytes of room: a pair is taken while a byte of
    // room remains; bits that did not fit stay pending.
    while (i < n && w.room > 0) {
        const LZ77Pair pr = pairs[i++];
        std::uint64_t bits = 0;
        std::uint32_t count = 0;
        if (pr.offset == 0) {
            codes.literal(pr.length, bits, count);
            w.put(static_cast<std::uint32_t>(bits), count);
        } else {
            codes.length(lengthIndexOf(pr.length), bits, count);
            w.put(static_cast<std::uint32_t>(bits), count);
            bits = 0;
            count = 0;
            codes.distance(pr.offset, bits, count);
            w.put(static_cast<std::uint32_t>(bits), count);
        }
        w.drain();
    }
    if (i < n) {
        st.blockPhase = kPhaseOpen;
        return done(orvStsDstFull);
    }

    {
        std::uint64_t bits = 0;
        std::uint32_t count = 0;
        codes.endOfBlock(bits, count);
        w.put(static_cast<std::uint32_t>(bits), count);
        w.drain();
    }
    if (flush == LZ77FlushSync || flush == LZ77FlushFull) {
        st.blockPhase = kPhaseOpen;
        w.put(0, 3);  // an empty stored block: BFINAL 0, BTYPE 00
        w.padToByte();
        w.drain();
        st.markerLeft = 4;
        return done(writeMarker(st, w));
    }
    if (finishing) {
        st.blockPhase = kPhaseOpen;
        w.padToByte();
        w.drain();
        if (w.count != 0) return done(orvStsDstFull);
        st.blockPhase = kPhaseStreamEnd;
        return done(orvStsStreamEnd);
    }
    st.blockPhase = kPhaseClosed;
    return done(orvStsOk);
}

}  // namespace orvdc::lz77
