// Status and pair-buffer accessors shared by the deflate encoder and decoder:
// each is one function exported under an encoder name and a decoder name.
#include "core/check.h"
#include "core/export.h"
#include "lz77/lz77_common.h"

using orvdc::lz77::common;

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77GetStatus_8u(LZ77DeflateStatus* pStatus,
                                                          const LZ77EncoderState* pState) {
    if (orvdc::anyNull(pStatus, pState)) return orvStsNullPtr;
    *pStatus = common(pState).status;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77GetPairs_8u(LZ77Pair** ppPairs, int32_t* pPairIndex,
                                                         int32_t* pPairLength,
                                                         const LZ77EncoderState* pState) {
    if (pState == nullptr || ppPairs == nullptr || pPairIndex == nullptr || pPairLength == nullptr) {
        return orvStsNullPtr;
    }
    const auto& c = common(pState);
    *ppPairs = c.pairs.get();
    *pPairIndex = c.pairIndex;
    *pPairLength = c.pairLength;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77SetPairs_8u(LZ77Pair* pPairs, int32_t pairIndex,
                                                         int32_t pairLength, LZ77EncoderState* pState) {
    if (orvdc::anyNull(pPairs, pState)) return orvStsNullPtr;
    auto& c = common(pState);
    c.pairs.set(pPairs);
    c.pairIndex = pairIndex;
    c.pairLength = pairLength;
    return orvStsOk;
}

// The decoder names take the decoder state type; gcc would warn that the
// alias and its target differ in type (and in the attributes it infers).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattribute-alias"
#pragma GCC diagnostic ignored "-Wmissing-attributes"
#endif
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77GetStatus_8u(LZ77InflateStatus* pStatus,
                                                          const LZ77DecoderState* pState)
    ORVDC_ALIAS(orvsEncodeLZ77GetStatus_8u);
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77GetPairs_8u(LZ77Pair** ppPairs, int32_t* pPairIndex,
                                                         int32_t* pPairLength,
                                                         const LZ77DecoderState* pState)
    ORVDC_ALIAS(orvsEncodeLZ77GetPairs_8u);
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77SetPairs_8u(LZ77Pair* pPairs, int32_t pairIndex,
                                                         int32_t pairLength, LZ77DecoderState* pState)
    ORVDC_ALIAS(orvsEncodeLZ77SetPairs_8u);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // extern "C"
