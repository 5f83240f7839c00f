// VLC tuple decoder: each code stands for a tuple of magnitudes, and each
// non-zero magnitude is followed in the stream by its sign bit.
#include <algorithm>
#include <cstdint>

#include "core/aligned_alloc.h"
#include "core/check.h"
#include "core/export.h"
#include "vlc/decode_table.h"
#include "vlc/vlc_common.h"

namespace orvdc::vlc {
namespace {

struct TuplePlan {
    DecodeLayout layout;
    std::int32_t entryBits = 0;
    std::int32_t size = 0;
};

orvStatus planTuples(const VLCTableEntry* table, std::int32_t count, const std::int32_t* widths,
                     std::int32_t levelCount, std::int32_t elementCount, std::int32_t elementBits, TuplePlan& plan) {
    const orvStatus st = analyzeDecodeTable(table, count, widths, levelCount, plan.layout);
    if (elementCount < 1 || elementBits < 1) return orvStsBadArg;
    if (st != orvStsOk) return st;
    const DecodeLayout& l = plan.layout;
    const std::int64_t tupleBits = std::int64_t{elementCount} * elementBits;
    // The sign bits are taken from the same 32-bit look at the stream as the
    // code, and the packed magnitudes must fit a leaf of at most 32 bits.
    plan.entryBits = entryBitsFor(l.elements, l.lengthBits + tupleBits + 1);
    if (plan.entryBits == 0) return orvStsBadArg;
    if (std::int64_t{l.maxCodeLength} + elementCount > 32) return orvStsBadArg;
    const std::int64_t size = l.elements * plan.entryBits / 8 + kTupleOverhead;
    if (size > INT32_MAX) return orvStsBadSize;
    plan.size = static_cast<std::int32_t>(size);
    return orvStsOk;
}

orvStatus buildTuples(const VLCTableEntry* table, std::int32_t count, const TuplePlan& plan,
                      std::int32_t elementCount, std::int32_t elementBits, void* mem, std::int32_t allocated) {
    auto* base = alignUp32(static_cast<std::uint8_t*>(mem));
    auto* header = reinterpret_cast<TupleHeader*>(base);
    header->base.identifier = 0;
    header->base.allocated = allocated;
    header->base.maxCodeLength = plan.layout.maxCodeLength;
    header->base.table = kTupleTableOffset;
    header->base.entryBits = plan.entryBits;
    header->base.lengthBits = plan.layout.lengthBits;
    header->elementCount = elementCount;
    header->elementBits = elementBits;
    header->tupleBits = elementCount * elementBits;
    const orvStatus st = buildDecodeTable(table, count, plan.layout, plan.entryBits, base + kTupleTableOffset);
    if (st == orvStsOk) header->base.identifier = kDecodeId;
    return st;
}

// Decodes `tuples` tuples; see decodeCodes for the position.
template <class E>
orvStatus decodeTuples(const std::uint8_t** ppSrc, std::int32_t* pOffset, std::int16_t* dst, std::int32_t tuples,
                       const TupleHeader& h) {
    const auto* table = reinterpret_cast<const E*>(reinterpret_cast<const std::uint8_t*>(&h) + h.base.table);
    const std::uint32_t lengthMask = (1u << h.base.lengthBits) - 1u;
    const int rootWidth = table[0];
    const int valueShift = h.base.lengthBits + 1;
    const std::uint32_t tupleMask = static_cast<std::uint32_t>((std::uint64_t{1} << h.tupleBits) - 1);
    const std::uint32_t elementMask = static_cast<std::uint32_t>((std::uint64_t{1} << h.elementBits) - 1);
    const int elements = h.elementCount;
    const int elementBits = h.elementBits;
    return decodeCodes(ppSrc, pOffset, tuples, [&](std::uint64_t bits, std::int32_t t) {
        std::uint32_t leaf;
        int length = walkTable(table, rootWidth, bits, lengthMask, leaf);
        if (length < 0) return -1;
        const std::uint32_t packed = (leaf >> valueShift) & tupleMask;
        std::int16_t* out = dst + static_cast<std::ptrdiff_t>(t) * elements;
        for (int k = 0; k < elements; ++k) {
            const auto m = static_cast<std::int32_t>((packed >> ((elements - 1 - k) * elementBits)) & elementMask);
            std::int32_t v = m;
            if (m != 0) {
                // The longest code plus one sign bit per element is at most
                // 32, so the sign bit lies within the valid bits.
                if ((bits >> (63 - length)) & 1u) v = -m;
                ++length;
            }
            out[k] = static_cast<std::int16_t>(v);
        }
        return length;
    });
}

// `single` asks for one tuple whatever dstLen says.
orvStatus decodeChecked(const std::uint8_t** ppSrc, std::int32_t* pOffset, std::int16_t* dst, std::int32_t dstLen,
                        bool single, const VLCDecodeUTupleSpec* vlcSpec) {
    if (orvdc::anyNull(ppSrc, pOffset, dst, vlcSpec) || *ppSrc == nullptr) return orvStsNullPtr;
    const auto* h = reinterpret_cast<const TupleHeader*>(alignUp32(reinterpret_cast<const std::uint8_t*>(vlcSpec)));
    if (*pOffset < 0 || *pOffset > 7 || h->base.identifier != kDecodeId) return orvStsBadContext;
    const std::int32_t tuples = single ? 1 : dstLen / h->elementCount;
    if (!single && dstLen < h->elementCount) return orvStsOk;
    switch (h->base.entryBits) {
        case 8: return decodeTuples<std::uint8_t>(ppSrc, pOffset, dst, tuples, *h);
        case 16: return decodeTuples<std::uint16_t>(ppSrc, pOffset, dst, tuples, *h);
        default: return decodeTuples<std::uint32_t>(ppSrc, pOffset, dst, tuples, *h);
    }
}

}  // namespace
}  // namespace orvdc::vlc

using namespace orvdc::vlc;

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeUTupleGetSize_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                              const int32_t* pLevelWidths, int32_t levelCount,
                                                              int32_t elementCount, int32_t elementBits,
                                                              int32_t* pSize) {
    if (orvdc::anyNull(pCodeTable, pLevelWidths, pSize)) return orvStsNullPtr;
    TuplePlan plan;
    const orvStatus st =
        planTuples(pCodeTable, tableSize, pLevelWidths, levelCount, elementCount, elementBits, plan);
    if (st != orvStsOk) return st;
    *pSize = plan.size;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeUTupleInit_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                           const int32_t* pLevelWidths, int32_t levelCount,
                                                           int32_t elementCount, int32_t elementBits,
                                                           VLCDecodeUTupleSpec* pSpec) {
    if (orvdc::anyNull(pCodeTable, pLevelWidths, pSpec)) return orvStsNullPtr;
    TuplePlan plan;
    const orvStatus st =
        planTuples(pCodeTable, tableSize, pLevelWidths, levelCount, elementCount, elementBits, plan);
    if (st != orvStsOk) return st;
    return buildTuples(pCodeTable, tableSize, plan, elementCount, elementBits, pSpec, 0);
}

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeUTupleInitAlloc_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                                const int32_t* pLevelWidths, int32_t levelCount,
                                                                int32_t elementCount, int32_t elementBits,
                                                                VLCDecodeUTupleSpec** ppSpec) {
    if (orvdc::anyNull(pCodeTable, pLevelWidths, ppSpec)) return orvStsNullPtr;
    TuplePlan plan;
    const orvStatus st =
        planTuples(pCodeTable, tableSize, pLevelWidths, levelCount, elementCount, elementBits, plan);
    if (st != orvStsOk) return st;
    void* mem = orvdc::alignedAlloc(plan.size);
    if (mem == nullptr) return orvStsNoMemory;
    *ppSpec = static_cast<VLCDecodeUTupleSpec*>(mem);
    return buildTuples(pCodeTable, tableSize, plan, elementCount, elementBits, mem, 1);
}

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeUTupleOne_1u16s(const uint8_t** ppSrc, int32_t* pSrcBitOffset,
                                                            int16_t* pDst, const VLCDecodeUTupleSpec* pSpec) {
    return decodeChecked(ppSrc, pSrcBitOffset, pDst, 0, true, pSpec);
}

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeUTupleBlock_1u16s(const uint8_t** ppSrc, int32_t* pSrcBitOffset,
                                                              int16_t* pDst, int32_t dstLen,
                                                              const VLCDecodeUTupleSpec* pSpec) {
    return decodeChecked(ppSrc, pSrcBitOffset, pDst, dstLen, false, pSpec);
}

}  // extern "C"
