// Move-to-front state life cycle: 256 bytes, the identity after Init.
#include "core/aligned_alloc.h"
#include "core/check.h"
#include "core/export.h"

namespace {
constexpr std::int32_t kStateSize = 256;
}

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsMTFGetSize_8u(int32_t* pSize) {
    if (orvdc::anyNull(pSize)) return orvStsNullPtr;
    *pSize = kStateSize;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsMTFInit_8u(MTFState* pState) {
    if (orvdc::anyNull(pState)) return orvStsNullPtr;
    auto* table = reinterpret_cast<std::uint8_t*>(pState);
    for (int i = 0; i < kStateSize; ++i) table[i] = static_cast<std::uint8_t>(i);
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsMTFInitAlloc_8u(MTFState** ppState) {
    if (orvdc::anyNull(ppState)) return orvStsNullPtr;
    auto* state = static_cast<MTFState*>(orvdc::alignedAlloc(kStateSize));
    *ppState = state;
    if (state == nullptr) return orvStsNoMemory;
    return orvsMTFInit_8u(state);
}

}  // extern "C"
