// The bzip2 format's initial run-length coding, encoder side.  Runs of 4 to
// 259 equal bytes become four copies and a count byte (length - 4); the state
// carries an open run from one call to the next, so the input and the output
// may be split anywhere.
#include "bzip2/bzip2_internal.h"
#include "core/check.h"
#include "core/export.h"

using orvdc::bzip2::kLongestRun;
using orvdc::bzip2::stateOf;

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsEncodeRLE_BZ2_8u(const uint8_t** ppSrc, int32_t* pSrcLen, uint8_t* pDst,
                                                    int32_t* pDstLen, RLEState* pState) {
    if (orvdc::anyNull(ppSrc, pSrcLen, pDst, pDstLen, pState) || *ppSrc == nullptr) return orvStsNullPtr;
    if (orvdc::anyBelow(1, *pSrcLen, *pDstLen)) return orvStsBadSize;

    auto* state = stateOf(pState);
    std::uint8_t* inUse = state->inUse;
    std::uint32_t last = state->lastByte;
    std::int32_t run = state->runCount;
    const std::uint8_t* src = *ppSrc;
    const auto srcLen = static_cast<std::size_t>(*pSrcLen);
    const auto dstLen = static_cast<std::size_t>(*pDstLen);
    std::size_t i = 0, o = 0;

    for (;;) {
        // Literals, until four equal bytes are out.
        if (run < 4) {
            const std::size_t room = dstLen - o, left = srcLen - i;
            const std::size_t end = i + (room < left ? room : left);
            while (i < end) {
                const std::uint8_t b = src[i++];
                run = (b == last) ? run + 1 : 1;
                last = b;
                pDst[o++] = b;
                inUse[b] = 1;
                if (run == 4) break;
            }
        }
        if (o == dstLen) break;

        // Count the rest of the run (it began `run` bytes back, maybe in an
        // earlier call) without writing anything.
        if (run >= 4 && run < kLongestRun) {
            const std::size_t left = srcLen - i;
            const auto most = static_cast<std::size_t>(kLongestRun - run);
            const std::size_t n = orvdc::bzip2::countEqualBytes(src + i, left < most ? left : most,
                                                                static_cast<std::uint8_t>(last));
            i += n;
            run += static_cast<std::int32_t>(n);
        }
        if (i == srcLen) break;  // the run stays open; its count byte is owed

        // A different byte follows, or the run is as long as it can be.
        const auto count = static_cast<std::uint8_t>(run - 4);
        pDst[o++] = count;
        inUse[count] = 1;
        run = 0;
    }

    state->lastByte = last;
    state->runCount = run;
    *ppSrc = src + i;
    *pSrcLen -= static_cast<std::int32_t>(i);
    *pDstLen = static_cast<std::int32_t>(o);
    return *pSrcLen != 0 ? orvStsDstFull : orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsEncodeRLEFlush_BZ2_8u(uint8_t* pDst, int32_t* pDstLen, RLEState* pState) {
    if (orvdc::anyNull(pDst, pDstLen, pState)) return orvStsNullPtr;
    if (orvdc::anyBelow(1, *pDstLen)) return orvStsBadSize;

    auto* state = stateOf(pState);
    *pDstLen = 0;
    if (state->runCount >= 4) {
        const auto count = static_cast<std::uint8_t>(state->runCount - 4);
        pDst[0] = count;
        state->inUse[count] = 1;
        state->runCount = 0;
        *pDstLen = 1;
    }
    return orvStsOk;
}

}  // extern "C"
