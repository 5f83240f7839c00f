// Life cycle of the run-length encoder's state, and the read-out of its
// in-use table for the symbol dictionary.
#include <cstring>

#include "bzip2/bzip2_internal.h"
#include "core/aligned_alloc.h"
#include "core/check.h"
#include "core/export.h"

using orvdc::bzip2::stateOf;

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsRLEGetSize_BZ2_8u(int32_t* pSize) {
    if (orvdc::anyNull(pSize)) return orvStsNullPtr;
    *pSize = sizeof(orvdc::bzip2::RunLengthState);
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsEncodeRLEInit_BZ2_8u(RLEState* pState) {
    if (orvdc::anyNull(pState)) return orvStsNullPtr;
    auto* s = stateOf(pState);
    std::memset(s->inUse, 0, sizeof s->inUse);
    s->lastByte = orvdc::bzip2::kNoByte;
    s->runCount = 0;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsEncodeRLEInitAlloc_BZ2_8u(RLEState** ppState) {
    if (orvdc::anyNull(ppState)) return orvStsNullPtr;
    // A failed allocation reaches Init as null and is reported by its check.
    *ppState = static_cast<RLEState*>(orvdc::alignedAlloc(sizeof(orvdc::bzip2::RunLengthState)));
    return orvsEncodeRLEInit_BZ2_8u(*ppState);
}

ORVDC_API orvStatus ORVDC_CALL orvsRLEGetInUseTable_8u(uint8_t pInUse[256], const RLEState* pState) {
    if (orvdc::anyNull(pInUse, pState)) return orvStsNullPtr;
    std::memcpy(pInUse, stateOf(pState)->inUse, 256);
    return orvStsOk;
}

}  // extern "C"
