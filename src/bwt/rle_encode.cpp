// Byte run-length encoder: two equal bytes are followed by a count of further
// copies (0..255); the byte after a count starts a new sequence.
#include <emmintrin.h>

#include "bwt/rle_internal.h"
#include "core/check.h"
#include "core/export.h"

namespace {

// Number of bytes equal to b from src[i] on, at most `limit`.
std::size_t runLength(const std::uint8_t* src, std::size_t i, std::size_t limit, std::uint8_t b) {
    std::size_t n = 0;
    const __m128i key = _mm_set1_epi8(static_cast<char>(b));
    while (limit - n >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + n));
        const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, key)));
        if (same != 0xFFFF) return n + static_cast<unsigned>(__builtin_ctz(~same));
        n += 16;
    }
    while (n < limit && src[i + n] == b) ++n;
    return n;
}

}  // namespace

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeRLE_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                           uint8_t* pDst, int32_t* pDstLen) {
    if (orvdc::anyNull(ppSrc, pSrcLen, pDst, pDstLen) || *ppSrc == nullptr) return orvStsNullPtr;
    if (orvdc::anyBelow(1, *pSrcLen, *pDstLen)) return orvStsBadSize;

    const std::uint8_t* src = *ppSrc;
    const auto srcLen = static_cast<std::size_t>(*pSrcLen);
    const auto dstLen = static_cast<std::size_t>(*pDstLen);
    std::size_t i = 0, o = 0;

    for (;;) {
        // A literal: never pairs with what came before it.
        std::uint8_t b = src[i++];
        pDst[o++] = b;
        if (o == dstLen || i == srcLen) break;

        // Copy bytes until one equals its predecessor.
        bool pair = false;
        for (;;) {
            orvdc::rle::copyPairFreeBytes(src, i, srcLen, pDst, o, dstLen);
            b = src[i - 1];
            const std::uint8_t x = src[i++];
            pDst[o++] = x;
            if (o == dstLen) break;  // a pair that filled the destination goes without its count
            if (i == srcLen) {
                if (x == b) pDst[o++] = 0;  // room is left: o < dstLen above
                break;
            }
            if (x == b) {
                pair = true;
                break;
            }
        }
        if (!pair) break;

        // The count of further copies, at most 255.
        const std::size_t left = srcLen - i;
        const std::size_t n = runLength(src, i, left < 255 ? left : 255, b);
        i += n;
        pDst[o++] = static_cast<std::uint8_t>(n);
        if (i == srcLen || o == dstLen) break;
    }

    *ppSrc = src + i;
    *pSrcLen -= static_cast<std::int32_t>(i);
    *pDstLen = static_cast<std::int32_t>(o);
    return *pSrcLen != 0 ? orvStsDstFull : orvStsOk;
}
