// The bzip2 format's initial run-length coding, decoder side: one whole block
// per call, no state.  When the block does not fit, the call stops in front
// of the first source byte it could not use (a count byte whose run does not
// fit is left in the source); the caller decodes the block again with more
// room.
#include <cstring>

#include "bzip2/bzip2_internal.h"
#include "core/check.h"
#include "core/export.h"

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeRLE_BZ2_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                               uint8_t* pDst, int32_t* pDstLen) {
    if (orvdc::anyNull(ppSrc, pSrcLen, pDst, pDstLen) || *ppSrc == nullptr) return orvStsNullPtr;
    if (orvdc::anyBelow(1, *pDstLen) || orvdc::anyBelow(0, *pSrcLen)) return orvStsBadSize;

    const std::uint8_t* src = *ppSrc;
    const auto srcLen = static_cast<std::size_t>(*pSrcLen);
    const auto dstLen = static_cast<std::size_t>(*pDstLen);
    std::size_t i = 0, o = 0;
    unsigned last = 256;  // no byte yet
    int run = 0;
    orvStatus status = orvStsOk;

    while (i < srcLen) {
        // Literals, until four equal bytes are out.
        const std::size_t room = dstLen - o, left = srcLen - i;
        const std::size_t end = i + (room < left ? room : left);
        while (i < end) {
            const std::uint8_t b = src[i++];
            run = (b == last) ? run + 1 : 1;
            last = b;
            pDst[o++] = b;
            if (run == 4) break;
        }
        if (i == srcLen) break;  // a block may end without the count byte
        if (run < 4) {
            status = orvStsDstFull;
            break;
        }
        const std::size_t count = src[i];
        if (count > dstLen - o) {
            status = orvStsDstFull;
            break;
        }
        ++i;
        std::memset(pDst + o, static_cast<int>(last), count);
        o += count;
        run = 0;
    }

    *ppSrc = src + i;
    *pSrcLen -= static_cast<std::int32_t>(i);
    *pDstLen = static_cast<std::int32_t>(o);
    return status;
}
