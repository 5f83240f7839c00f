// Byte run-length decoder, one unit at a time: a byte not followed by an
// equal one is a literal; two equal bytes are a pair, followed by a count of
// further copies (a pair that ends the source stands for two bytes).  A pair
// and its count are consumed together and written only when the whole run
// fits: otherwise the pair stays in the source for the next call (with more
// room), except that a single byte of room still takes the pair's first byte
// on its own.  Nothing is written beyond the bytes reported.
#include <emmintrin.h>

#include <cstring>

#include "core/check.h"
#include "core/export.h"

namespace {

// Copies literals 16 at a time while the 17 source bytes from src[i] hold no
// pair and 16 bytes of room are left.
void copyLiterals(const std::uint8_t* src, std::size_t& i, std::size_t srcLen, std::uint8_t* dst, std::size_t& o,
                  std::size_t dstLen) {
    while (srcLen - i > 16 && dstLen - o >= 16) {
        const __m128i cur = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 1));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(cur, next)) != 0) return;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + o), cur);
        i += 16;
        o += 16;
    }
}

}  // namespace

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeRLE_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                           uint8_t* pDst, int32_t* pDstLen) {
    if (orvdc::anyNull(ppSrc, pSrcLen, pDst, pDstLen) || *ppSrc == nullptr) return orvStsNullPtr;
    if (orvdc::anyBelow(1, *pSrcLen, *pDstLen)) return orvStsBadSize;

    const std::uint8_t* src = *ppSrc;
    const auto srcLen = static_cast<std::size_t>(*pSrcLen);
    const auto dstLen = static_cast<std::size_t>(*pDstLen);
    std::size_t i = 0, o = 0;

    while (i < srcLen && o < dstLen) {
        copyLiterals(src, i, srcLen, pDst, o, dstLen);
        if (i == srcLen || o == dstLen) break;
        const std::uint8_t b = src[i];
        if (i + 1 == srcLen || src[i + 1] != b) {
            pDst[o++] = b;
            ++i;
            continue;
        }
        const std::size_t room = dstLen - o;
        const bool counted = i + 2 < srcLen;
        const std::size_t run = 2 + (counted ? src[i + 2] : 0);
        if (run > room) {
            if (room == 1) {  // the pair's first byte goes alone
                pDst[o++] = b;
                ++i;
            }
            break;
        }
        std::memset(pDst + o, b, run);
        o += run;
        i += counted ? 3 : 2;
    }

    *ppSrc = src + i;
    *pSrcLen -= static_cast<std::int32_t>(i);
    *pDstLen = static_cast<std::int32_t>(o);
    return *pSrcLen != 0 ? orvStsDstFull : orvStsOk;
}
