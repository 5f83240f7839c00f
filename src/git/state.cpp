// Sizes and life cycle of the GIT encoder and decoder states.
#include <cstdint>

#include "core/aligned_alloc.h"
#include "core/check.h"
#include "core/export.h"
#include "git/git_internal.h"

namespace orvdc::git {
namespace {

struct EncoderSizes {
    std::int32_t maxSrcLen;
    std::int32_t maxDstLen;
    std::int32_t stateBytes;  // 0 when the state would not fit an int32
    orvStatus status;         // orvStsOk, or orvStsDstFull when raised
};

// The effective sizes (small source sizes are raised to 4096/8192) and the
// state size for them.
EncoderSizes encoderSizes(std::int32_t maxSrcLen, std::int32_t maxDstLen) {
    EncoderSizes s{maxSrcLen, maxDstLen, 0, orvStsOk};
    if (maxSrcLen < kSmallSrcLen) {
        s = {kSmallSrcLen, kSmallDstLen, 0, orvStsDstFull};
    }
    const std::int64_t bytes = 256 * (static_cast<std::int64_t>(floor8(s.maxSrcLen)) + 32) +
                               floor8(s.maxDstLen) + kEncoderFixedBytes;
    if (bytes <= INT32_MAX) s.stateBytes = static_cast<std::int32_t>(bytes);
    return s;
}

std::int32_t decoderStateBytes(std::int32_t maxSrcLen) {
    const std::int64_t bytes =
        256 * (static_cast<std::int64_t>(floor8(maxSrcLen)) + 8) + kDecoderFixedBytes;
    return bytes <= INT32_MAX ? static_cast<std::int32_t>(bytes) : 0;
}

void layOutEncoder(const EncoderSizes& s, void* memory) {
    auto* st = static_cast<EncoderState*>(memory);
    st->maxSrcLen = static_cast<std::uint32_t>(s.maxSrcLen);
    st->maxDstLen = static_cast<std::uint32_t>(s.maxDstLen);
    st->areaOffset = encoderAreaOffset();
    st->areaStride = floor8(s.maxSrcLen) + 8;
}

}  // namespace
}  // namespace orvdc::git

using namespace orvdc::git;

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeGITGetSize_8u(int32_t maxSrcLen,
                                                                  int32_t maxDstLen,
                                                                  int32_t* pSize) {
    if (orvdc::anyNull(pSize)) return orvStsNullPtr;
    if (orvdc::anyBelow(1, maxSrcLen, maxDstLen)) return orvStsBadSize;
    const EncoderSizes s = encoderSizes(maxSrcLen, maxDstLen);
    if (s.stateBytes == 0) return orvStsBadSize;
    *pSize = s.stateBytes;
    return s.status;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeGITInit_8u(int32_t maxSrcLen,
                                                               int32_t maxDstLen,
                                                               GITState* pState) {
    if (orvdc::anyNull(pState)) return orvStsNullPtr;
    if (orvdc::anyBelow(1, maxSrcLen, maxDstLen)) return orvStsBadSize;
    const EncoderSizes s = encoderSizes(maxSrcLen, maxDstLen);
    if (s.stateBytes == 0) return orvStsBadSize;
    layOutEncoder(s, pState);
    return s.status;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeGITInitAlloc_8u(int32_t maxSrcLen,
                                                                    int32_t maxDstLen,
                                                                    GITState** ppState) {
    if (orvdc::anyBelow(1, maxSrcLen, maxDstLen)) return orvStsBadSize;
    if (orvdc::anyNull(ppState)) return orvStsNullPtr;
    const EncoderSizes s = encoderSizes(maxSrcLen, maxDstLen);
    if (s.stateBytes == 0) return orvStsBadSize;
    void* block = orvdc::alignedAlloc(s.stateBytes);
    if (block == nullptr) return orvStsNoMemory;
    layOutEncoder(s, block);
    *ppState = static_cast<GITState*>(block);
    return s.status;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeGITGetSize_8u(int32_t maxSrcLen,
                                                                  int32_t* pSize) {
    if (orvdc::anyNull(pSize)) return orvStsNullPtr;
    if (orvdc::anyBelow(1, maxSrcLen)) return orvStsBadSize;
    const std::int32_t bytes = decoderStateBytes(maxSrcLen);
    if (bytes == 0) return orvStsBadSize;
    *pSize = bytes;
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeGITInit_8u(int32_t maxDstLen,
                                                               GITState* pState) {
    if (orvdc::anyNull(pState)) return orvStsNullPtr;
    if (orvdc::anyBelow(1, maxDstLen)) return orvStsBadSize;
    auto* st = reinterpret_cast<DecoderState*>(pState);
    st->maxDstLen = static_cast<std::uint32_t>(maxDstLen);
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeGITInitAlloc_8u(int32_t maxSrcLen,
                                                                    int32_t maxDstLen,
                                                                    GITState** ppState) {
    if (orvdc::anyNull(ppState)) return orvStsNullPtr;
    if (orvdc::anyBelow(1, maxSrcLen, maxDstLen)) return orvStsBadSize;
    const std::int32_t bytes = decoderStateBytes(maxSrcLen);
    if (bytes == 0) return orvStsBadSize;
    // A failed allocation leaves null in *ppState, which Init then reports.
    *ppState = static_cast<GITState*>(orvdc::alignedAlloc(bytes));
    return orvsDecodeGITInit_8u(maxDstLen, *ppState);
}
