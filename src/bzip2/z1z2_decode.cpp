// Zero-run coding, decoder side: run digits back to zero bytes, symbols s >= 2
// back to the byte s - 1.  A run is written whole or not at all: when its
// zeros do not fit in the room left, its digits stay in the source.
#include <cstring>

#include "core/check.h"
#include "core/export.h"

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeZ1Z2_BZ2_16u8u(const uint16_t** ppSrc, int32_t* pSrcLen,
                                                                   uint8_t* pDst, int32_t* pDstLen) {
    if (orvdc::anyNull(ppSrc, pDst, pSrcLen, pDstLen) || *ppSrc == nullptr) return orvStsNullPtr;
    if (orvdc::anyBelow(1, *pSrcLen, *pDstLen)) return orvStsBadSize;

    const std::uint16_t* src = *ppSrc;
    const auto srcLen = static_cast<std::size_t>(*pSrcLen);
    const auto dstLen = static_cast<std::size_t>(*pDstLen);
    std::size_t i = 0, o = 0;
    orvStatus status = orvStsOk;

    while (i < srcLen) {
        if (src[i] < 2) {
            // Sum the run's digits; stop as soon as the run cannot fit (the
            // sum only grows, and stopping early also keeps it from overflowing).
            const std::uint64_t room = dstLen - o;
            std::uint64_t z = 0, weight = 1;
            std::size_t j = i;
            while (j < srcLen && src[j] < 2 && z <= room) {
                z += (src[j] + std::uint64_t{1}) * weight;
                weight <<= 1;
                ++j;
            }
            if (z > room) {
                status = orvStsDstFull;
                break;
            }
            std::memset(pDst + o, 0, static_cast<std::size_t>(z));
            o += static_cast<std::size_t>(z);
            i = j;
            if (i == srcLen) break;
        }
        if (o == dstLen) {
            status = orvStsDstFull;
            break;
        }
        pDst[o++] = static_cast<std::uint8_t>(src[i++] - 1u);
    }

    *ppSrc = src + i;
    *pSrcLen -= static_cast<std::int32_t>(i);
    *pDstLen = static_cast<std::int32_t>(o);
    return status;
}
