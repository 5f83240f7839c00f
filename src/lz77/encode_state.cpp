// Life cycle of the deflate encoder state: size, Init, InitAlloc, Reset and
// the status word.
#include "core/aligned_alloc.h"
#include "core/check.h"
#include "core/export.h"
#include "core/memory.h"
#include "lz77/encode_state.h"

namespace orvdc::lz77 {

void resetStreamFields(EncoderState& st) {
    st.srcRemaining = 0;
    st.checksum = st.checksumKind == LZ77ChecksumAdler32 ? 1u : 0u;
    st.position = 0;
    st.windowBase = 0;
    st.totalIn = 0;
    st.bitLow = st.bitHigh = 0;
    st.bitCount = 0;
    st.common.pairIndex = 0;
    st.common.pairLength = kOwnPairCapacity;
    st.trailerIndex = 0;
    st.selectedMode = LZ77HuffFixed;
    st.freqValid = 0;
    st.headerLength = 0;
    st.headerWritten = 0;
    st.lastFlush = LZ77FlushNone;
    st.markerLeft = 0;
    st.storedHeader = st.storedAligned = st.storedLengthOut = st.storedBody = 0;
}

}  // namespace orvdc::lz77

using namespace orvdc::lz77;

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77GetSize_8u(int32_t* pSize) {
    if (orvdc::anyNull(pSize)) return orvStsNullPtr;
    *pSize = kEncoderStateSize;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77Init_8u(LZ77ComprLevel level, LZ77ChecksumKind checksum,
                                                     LZ77EncoderState* pState) {
    if (orvdc::anyNull(pState)) return orvStsNullPtr;
    EncoderState& st = encoderState(pState);
    st.checksumKind = checksum;
    st.level = (level >= LZ77LevelFast && level <= LZ77LevelBest) ? level : LZ77LevelAverage;
    resetStreamFields(st);
    st.common.status = LZ77DeflateIdle;
    st.blockPhase = kPhaseNone;
    st.common.pairs.set(st.ownPairs);
    orvdc::zeroKernel(st.reserved, sizeof st.reserved);
    orvdc::fill32(static_cast<std::uint32_t>(kEmptyEntry), st.head, kHashSize);
    orvdc::fill32(static_cast<std::uint32_t>(kEmptyEntry), st.chain, kHashSize);
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77InitAlloc_8u(LZ77ComprLevel level, LZ77ChecksumKind checksum,
                                                          LZ77EncoderState** ppState) {
    if (orvdc::anyNull(ppState)) return orvStsNullPtr;
    void* block = orvdc::alignedAlloc(kEncoderStateSize);
    if (block == nullptr) return orvStsNoMemory;
    auto* state = static_cast<LZ77EncoderState*>(block);
    orvsEncodeLZ77Init_8u(level, checksum, state);
    *ppState = state;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77Reset_8u(LZ77EncoderState* pState) {
    if (orvdc::anyNull(pState)) return orvStsNullPtr;
    EncoderState& st = encoderState(pState);
    // Chain links are only reached through head entries written after this,
    // so only head needs clearing.
    orvdc::fill32(static_cast<std::uint32_t>(kEmptyEntry), st.head, kHashSize);
    resetStreamFields(st);
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77SetStatus_8u(LZ77DeflateStatus status, LZ77EncoderState* pState) {
    if (orvdc::anyNull(pState)) return orvStsNullPtr;
    EncoderState& st = encoderState(pState);
    st.common.status = status;
    if (status == LZ77DeflateCollectPairs) {
        st.common.pairIndex = 0;
        st.common.pairLength = kOwnPairCapacity;
    } else if (status == LZ77DeflateCodePairs) {
        st.blockPhase = kPhaseHeaderDue;
        st.common.pairLength = st.common.pairIndex;
        st.common.pairIndex = 0;
    }
    return orvStsOk;
}

}  // extern "C"
