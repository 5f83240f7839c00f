// Zero-run coding of move-to-front output, encoder side.  A run of z zero
// bytes becomes the digits of z in bijective base 2 (digit d counts d + 1
// times its weight), least significant first, as the run symbols 0 and 1; a
// nonzero byte b becomes the symbol b + 1.  Every symbol written is counted
// in the caller's frequency table.
//
// k digits code runs of up to 2^(k+1) - 2 zeros.  A run whose digits do not
// fit in the room left is cut to the longest run the room can code, so the
// call always fills the destination as far as whole runs allow; the zeros
// beyond the cut stay in the source and start a new run in the next call.

#include "bzip2/bzip2_internal.h"
#include "core/check.h"
#include "core/export.h"

namespace {

// Longest zero run that `room` run digits can code.
std::uint64_t longestRunFor(std::size_t room) {
    return room >= 62 ? ~std::uint64_t{0} : (std::uint64_t{2} << room) - 2;
}

}  // namespace

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeZ1Z2_BZ2_8u16u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                                   uint16_t* pDst, int32_t* pDstLen,
                                                                   uint32_t* pFreq) {
    if (orvdc::anyNull(ppSrc, pDst, pSrcLen, pDstLen, pFreq) || *ppSrc == nullptr) return orvStsNullPtr;
    if (orvdc::anyBelow(1, *pSrcLen, *pDstLen)) return orvStsBadSize;

    const std::uint8_t* src = *ppSrc;
    const auto srcLen = static_cast<std::size_t>(*pSrcLen);
    const auto dstLen = static_cast<std::size_t>(*pDstLen);
    std::size_t i = 0, o = 0;

    while (i < srcLen && o < dstLen) {
        if (src[i] == 0) {
            const std::size_t start = i;
            std::size_t z = orvdc::bzip2::countEqualBytes(src + i, srcLen - i, 0);
            const std::uint64_t most = longestRunFor(dstLen - o);
            if (z > most) z = static_cast<std::size_t>(most);  // fills the room exactly
            i = start + z;
            while (z > 0) {
                --z;
                const unsigned digit = static_cast<unsigned>(z & 1);
                pDst[o++] = static_cast<std::uint16_t>(digit);
                ++pFreq[digit];
                z >>= 1;
            }
            if (i == srcLen || o == dstLen) break;
        }
        const unsigned symbol = src[i++] + 1u;
        pDst[o++] = static_cast<std::uint16_t>(symbol);
        ++pFreq[symbol];
    }

    *ppSrc = src + i;
    *pSrcLen -= static_cast<std::int32_t>(i);
    *pDstLen = static_cast<std::int32_t>(o);
    return *pSrcLen != 0 ? orvStsDstFull : orvStsOk;
}
