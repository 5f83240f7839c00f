// Deflate decoder: expansion of LZ77Pair records into bytes through the
// history window.
#include "core/check.h"
#include "core/export.h"
#include "lz77/decode_state.h"

using namespace orvdc::lz77::decoder;

namespace {

// Output room for the fast path: a match of up to 258 bytes.  A match of up
// to 16 bytes may be copied past its end, the 16 bytes after it put back.
constexpr std::ptrdiff_t kFastRoom = 258;

}  // namespace

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77_8u(const LZ77Pair** ppPairs, int32_t* pPairsLen,
                                                            uint8_t** ppDst, int32_t* pDstLen,
                                                            LZ77FlushMode /*flush*/,
                                                            LZ77DecoderState* pState) {
    if (orvdc::anyNull(ppPairs, ppDst, pState, pPairsLen, pDstLen) || orvdc::anyNull(*ppPairs, *ppDst)) {
        return orvStsNullPtr;
    }
    if (*pDstLen < 0 || *pPairsLen < 0) return orvStsBadSize;
    DecoderState& s = decoderState(pState);
    if (*pPairsLen == 0 && s.pendingLength <= 0) return orvStsOk;
    if (*pDstLen == 0) return orvStsDstFull;

    const LZ77Pair* pair = *ppPairs;
    const LZ77Pair* const pairEnd = pair + *pPairsLen;
    std::uint8_t* const start = *ppDst;
    std::uint8_t* out = start;
    std::uint8_t* const end = start + *pDstLen;
    const std::uint32_t history = historyBefore(s);
    const orvStatus endStatus = s.streamEnd ? orvStsStreamEnd : orvStsOk;
    orvStatus status = endStatus;

    if (s.pendingLength > 0) {
        const auto room = static_cast<std::uint32_t>(end - out);
        const auto pending = static_cast<std::uint32_t>(s.pendingLength);
        const std::uint32_t n = pending < room ? pending : room;
        copyMatchExact(s, out, 0, static_cast<std::uint32_t>(s.pendingDistance), n);
        out += n;
        s.pendingLength = static_cast<std::int32_t>(pending - n);
        if (s.pendingLength > 0 || (out == end && pair != pairEnd)) {
            status = orvStsDstFull;
            goto done;
        }
        s.pendingDistance = 0;
    }

    while (pair != pairEnd) {
        // Fast path: runs of whole pairs, as many as surely fit (a pair
        // writes at most 258 bytes), with no limit checked inside a run.
        for (;;) {
            const std::ptrdiff_t room = end - out;
            std::ptrdiff_t n = room >= kFastRoom ? (room - kFastRoom) / kFastRoom + 1 : 0;
            if (n > pairEnd - pair) n = pairEnd - pair;
            if (n == 0) break;
            const LZ77Pair* const runEnd = pair + n;
            do {
                const LZ77Pair p = *pair;
                if (p.offset == 0) {
                    *out++ = static_cast<std::uint8_t>(p.length);
                    continue;
                }
                const auto written = static_cast<std::uint32_t>(out - start);
                // Lengths outside 3..258 (the caller's pairs may hold any)
                // and distances too far take the exact path.
                if (p.length - 3u > 255u || p.offset > kHistoryBytes || p.offset > history + written) {
                    goto exact;
                }
                if (p.offset <= written) {
                    copyMatch<true>(out, p.offset, p.length);
                } else {
                    copyMatchFromWindow(s, out, written, p.offset, p.length);
                }
                out += p.length;
            } while (++pair != runEnd);
        }
    exact:
        if (pair == pairEnd) break;
        if (out == end) {  // a longest match can fill the room exactly
            status = orvStsDstFull;
            goto done;
        }

        // One pair with exact writes.
        const LZ77Pair p = *pair;
        if (p.offset == 0) {
            *out++ = static_cast<std::uint8_t>(p.length);
            ++pair;
        } else {
            const auto written = static_cast<std::uint32_t>(out - start);
            if (p.offset > kHistoryBytes || p.offset > history + written) {
                status = orvStsBadStream;  // the pair is not consumed
                goto done;
            }
            const auto room = static_cast<std::uint32_t>(end - out);
            const std::uint32_t n = p.length < room ? p.length : room;
            copyMatchExact(s, out, written, p.offset, n);
            out += n;
            ++pair;
            if (n < p.length) {
                s.pendingLength = static_cast<std::int32_t>(p.length - n);
                s.pendingDistance = p.offset;
                status = orvStsDstFull;
                goto done;
            }
        }
        if (out == end) {
            status = pair != pairEnd ? orvStsDstFull : endStatus;
            goto done;
        }
    }
    status = endStatus;

done:
    if (status != orvStsStreamEnd) appendHistory(s, start, static_cast<std::size_t>(out - start));
    *pPairsLen -= static_cast<std::int32_t>(pair - *ppPairs);
    *ppPairs = pair;
    *pDstLen -= static_cast<std::int32_t>(out - start);
    *ppDst = out;
    return status;
}
