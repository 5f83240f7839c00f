// Move-to-front, inverse direction: positions back to byte values.  The state
// is the recency list itself (entry k = value at position k).
#include <cstring>

#include "bwt/mtf_internal.h"
#include "core/check.h"
#include "core/export.h"

namespace orvdc::mtf {

void inverseList(const std::uint8_t* src, std::uint8_t* dst, std::size_t n, std::uint8_t* list) {
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned k = src[i];
        const std::uint8_t v = list[k];
        dst[i] = v;
        if (k != 0) moveToFront(list, k, v);
    }
}

}  // namespace orvdc::mtf

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsMTFInv_8u(const uint8_t* pSrc, uint8_t* pDst, int32_t len,
                                                        MTFState* pState) {
    if (orvdc::anyNull(pSrc, pDst, pState)) return orvStsNullPtr;
    if (orvdc::anyBelow(1, len)) return orvStsBadSize;

    alignas(16) std::uint8_t list[256];
    std::memcpy(list, pState, sizeof list);
    orvdc::mtf::inverseList(pSrc, pDst, static_cast<std::size_t>(len), list);
    std::memcpy(pState, list, sizeof list);
    return orvStsOk;
}
