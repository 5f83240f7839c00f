// VLC value decoder: object life cycle, decoding single codes and blocks, and
// the Free shared with the tuple decoder.
#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "core/aligned_alloc.h"
#include "core/check.h"
#include "core/export.h"
#include "vlc/decode_table.h"
#include "vlc/vlc_common.h"

namespace orvdc::vlc {
namespace {

struct DecodePlan {
    DecodeLayout layout;
    std::int32_t entryBits = 0;
    std::int32_t size = 0;
};

orvStatus planDecoder(const VLCTableEntry* table, std::int32_t count, const std::int32_t* widths,
                      std::int32_t levelCount, DecodePlan& plan) {
    const orvStatus st = analyzeDecodeTable(table, count, widths, levelCount, plan.layout);
    if (st != orvStsOk) return st;
    const DecodeLayout& l = plan.layout;
    // Wider values than a 32-bit leaf holds keep at least the 16 bits that are
    // output (lengthBits is at most 6).
    const std::int64_t leafBits = std::min<std::int64_t>(32, l.lengthBits + l.valueBits + 1);
    plan.entryBits = entryBitsFor(l.elements, leafBits);
    if (plan.entryBits == 0) return orvStsBadSize;
    const std::int64_t size = l.elements * plan.entryBits / 8 + kDecodeOverhead;
    if (size > INT32_MAX) return orvStsBadSize;
    plan.size = static_cast<std::int32_t>(size);
    return orvStsOk;
}

orvStatus buildDecoder(const VLCTableEntry* table, std::int32_t count, const DecodePlan& plan, void* mem,
                       std::int32_t allocated) {
    auto* base = alignUp32(static_cast<std::uint8_t*>(mem));
    auto* header = reinterpret_cast<DecodeHeader*>(base);
    header->identifier = 0;
    header->allocated = allocated;
    header->maxCodeLength = plan.layout.maxCodeLength;
    header->table = kDecodeTableOffset;
    header->entryBits = plan.entryBits;
    header->lengthBits = plan.layout.lengthBits;
    const orvStatus st = buildDecodeTable(table, count, plan.layout, plan.entryBits, base + kDecodeTableOffset);
    if (st == orvStsOk) header->identifier = kDecodeId;
    return st;
}

// Decodes `count` values; see decodeCodes for the position.
template <class E>
orvStatus decodeValues(const std::uint8_t** ppSrc, std::int32_t* pOffset, std::int16_t* dst, std::int32_t count,
                       const DecodeHeader& h) {
    using S = std::make_signed_t<E>;
    const auto* table = reinterpret_cast<const E*>(reinterpret_cast<const std::uint8_t*>(&h) + h.table);
    const std::uint32_t lengthMask = (1u << h.lengthBits) - 1u;
    const int rootWidth = table[0];
    const int valueShift = h.lengthBits + 1;
    return decodeCodes(ppSrc, pOffset, count, [&](std::uint64_t bits, std::int32_t i) {
        std::uint32_t leaf;
        const int length = walkTable(table, rootWidth, bits, lengthMask, leaf);
        if (length >= 0) dst[i] = static_cast<std::int16_t>(static_cast<S>(static_cast<E>(leaf)) >> valueShift);
        return length;
    });
}

orvStatus decodeChecked(const std::uint8_t** ppSrc, std::int32_t* pOffset, std::int16_t* dst, std::int32_t count,
                        const VLCDecodeSpec* vlcSpec) {
    if (orvdc::anyNull(ppSrc, pOffset, dst, vlcSpec) || *ppSrc == nullptr) return orvStsNullPtr;
    const auto* h = reinterpret_cast<const DecodeHeader*>(alignUp32(reinterpret_cast<const std::uint8_t*>(vlcSpec)));
    if (*pOffset < 0 || *pOffset > 7 || h->identifier != kDecodeId) return orvStsBadContext;
    if (count < 1) return orvStsOk;
    switch (h->entryBits) {
        case 8: return decodeValues<std::uint8_t>(ppSrc, pOffset, dst, count, *h);
        case 16: return decodeValues<std::uint16_t>(ppSrc, pOffset, dst, count, *h);
        default: return decodeValues<std::uint32_t>(ppSrc, pOffset, dst, count, *h);
    }
}

}  // namespace
}  // namespace orvdc::vlc

using namespace orvdc::vlc;

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeGetSize_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                        const int32_t* pLevelWidths, int32_t levelCount,
                                                        int32_t* pSize) {
    if (orvdc::anyNull(pCodeTable, pLevelWidths, pSize)) return orvStsNullPtr;
    DecodePlan plan;
    const orvStatus st = planDecoder(pCodeTable, tableSize, pLevelWidths, levelCount, plan);
    if (st != orvStsOk) return st;
    *pSize = plan.size;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeInit_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                     const int32_t* pLevelWidths, int32_t levelCount,
                                                     VLCDecodeSpec* pSpec) {
    if (orvdc::anyNull(pCodeTable, pLevelWidths, pSpec)) return orvStsNullPtr;
    DecodePlan plan;
    const orvStatus st = planDecoder(pCodeTable, tableSize, pLevelWidths, levelCount, plan);
    if (st != orvStsOk) return st;
    return buildDecoder(pCodeTable, tableSize, plan, pSpec, 0);
}

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeInitAlloc_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                          const int32_t* pLevelWidths, int32_t levelCount,
                                                          VLCDecodeSpec** ppSpec) {
    if (orvdc::anyNull(pCodeTable, pLevelWidths, ppSpec)) return orvStsNullPtr;
    DecodePlan plan;
    const orvStatus st = planDecoder(pCodeTable, tableSize, pLevelWidths, levelCount, plan);
    if (st != orvStsOk) return st;
    void* mem = orvdc::alignedAlloc(plan.size);
    if (mem == nullptr) return orvStsNoMemory;
    *ppSpec = static_cast<VLCDecodeSpec*>(mem);
    return buildDecoder(pCodeTable, tableSize, plan, mem, 1);
}

ORVDC_API void ORVDC_CALL orvsVLCDecodeFree_32s(VLCDecodeSpec* pSpec) {
    if (pSpec == nullptr) return;
    auto* base = alignUp32(reinterpret_cast<std::uint8_t*>(pSpec));
    auto* header = reinterpret_cast<DecodeHeader*>(base);
    header->identifier = 0;
    if (header->allocated == 1) orvdc::alignedFree(base);
}

// The second name is declared with the tuple object type; gcc's alias type
// check is silenced for it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattribute-alias"
#pragma GCC diagnostic ignored "-Wmissing-attributes"
#endif
ORVDC_API void ORVDC_CALL orvsVLCDecodeUTupleFree_32s(VLCDecodeUTupleSpec* pSpec)
    ORVDC_ALIAS(orvsVLCDecodeFree_32s);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeOne_1u16s(const uint8_t** ppSrc, int32_t* pSrcBitOffset,
                                                      int16_t* pDst, const VLCDecodeSpec* pSpec) {
    return decodeChecked(ppSrc, pSrcBitOffset, pDst, 1, pSpec);
}

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeBlock_1u16s(const uint8_t** ppSrc, int32_t* pSrcBitOffset,
                                                        int16_t* pDst, int32_t dstLen, const VLCDecodeSpec* pSpec) {
    return decodeChecked(ppSrc, pSrcBitOffset, pDst, dstLen, pSpec);
}

}  // extern "C"
