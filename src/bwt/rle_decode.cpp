// Byte run-length decoder.  A pair and its count are consumed together: when
// the run does not fit in the room left, or the destination fills exactly on
// the pair's second byte and a count above 0 follows, the pair stays in the
// source and is not counted as written, so the next call (with more room)
// decodes it whole.
#include <cstring>

#include "bwt/rle_internal.h"
#include "core/check.h"
#include "core/export.h"

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeRLE_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                           uint8_t* pDst, int32_t* pDstLen) {
    if (orvdc::anyNull(ppSrc, pSrcLen, pDst, pDstLen) || *ppSrc == nullptr) return orvStsNullPtr;
    if (orvdc::anyBelow(1, *pSrcLen, *pDstLen)) return orvStsBadSize;

    const std::uint8_t* src = *ppSrc;
    const auto srcLen = static_cast<std::size_t>(*pSrcLen);
    const auto dstLen = static_cast<std::size_t>(*pDstLen);
    std::size_t i = 0, o = 0;

    for (;;) {
        // A literal.
        std::uint8_t b = src[i++];
        pDst[o++] = b;
        if (o == dstLen || i == srcLen) break;

        // Bytes up to and including the second byte of a pair.
        bool pair = false;
        for (;;) {
            orvdc::rle::copyPairFreeBytes(src, i, srcLen, pDst, o, dstLen);
            b = src[i - 1];
            const std::uint8_t x = src[i++];
            pDst[o++] = x;
            if (o == dstLen) {
                if (i < srcLen && x == b) {
                    if (src[i] == 0) {
                        ++i;  // the empty count goes with its pair
                    } else {
                        i -= 2;  // the run does not fit: leave the pair
                        o -= 2;
                    }
                }
                break;
            }
            if (i == srcLen) break;  // a trailing pair stands for two bytes
            if (x == b) {
                pair = true;
                break;
            }
        }
        if (!pair) break;

        const std::size_t n = src[i++];
        if (n > dstLen - o) {
            i -= 3;
            o -= 2;
            break;
        }
        std::memset(pDst + o, b, n);
        o += n;
        if (i == srcLen || o == dstLen) break;
    }

    *ppSrc = src + i;
    *pSrcLen -= static_cast<std::int32_t>(i);
    *pDstLen = static_cast<std::int32_t>(o);
    return *pSrcLen != 0 ? orvStsDstFull : orvStsOk;
}
