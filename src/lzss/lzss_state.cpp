// LZSS state size, encoder and decoder initialisation.
#include "core/aligned_alloc.h"
#include "core/check.h"
#include "core/export.h"
#include "core/memory.h"
#include "lzss/lzss_state.h"

namespace {

using namespace orvdc::lzss;

void initEncoder(void* state) {
    auto* base = static_cast<std::uint8_t*>(state);
    Header h{};
    h.hashTable = kConstantHashTable;
    h.chainOffset = kChainOffset;
    h.headOffset = kHeadOffset;
    h.windowOffset = kEncoderWindowOffset;
    h.windowOrigin = 0;  // position 0 is window index 0
    storeHeader(state, h);
    // The chain table and the head table lie back to back.
    orvdc::fill32(static_cast<std::uint32_t>(kEmptyPosition), base + kChainOffset, 2 * kTableEntries);
}

void initDecoder(void* state) {
    Header h{};
    h.windowOffset = kDecoderWindowOffset;
    storeHeader(state, h);
}

template <void (*Init)(void*)>
orvStatus initAlloc(LZSSState** ppState) {
    if (orvdc::anyNull(ppState)) return orvStsNullPtr;
    void* block = orvdc::alignedAlloc(kStateBytes);
    if (block == nullptr) return orvStsNoMemory;
    Init(block);
    *ppState = static_cast<LZSSState*>(block);
    return orvStsOk;
}

}  // namespace

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsLZSSGetSize_8u(int32_t* pSize) {
    if (orvdc::anyNull(pSize)) return orvStsNullPtr;
    *pSize = kStateBytes;
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZSSInit_8u(LZSSState* pState) {
    if (orvdc::anyNull(pState)) return orvStsNullPtr;
    initEncoder(pState);
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZSSInitAlloc_8u(LZSSState** ppState) {
    return initAlloc<initEncoder>(ppState);
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZSSInit_8u(LZSSState* pState) {
    if (orvdc::anyNull(pState)) return orvStsNullPtr;
    initDecoder(pState);
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZSSInitAlloc_8u(LZSSState** ppState) {
    return initAlloc<initDecoder>(ppState);
}
