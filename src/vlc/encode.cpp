// VLC encoder: the value-indexed code table, and writing codes to a bit stream.
#include <algorithm>
#include <bit>
#include <cstdint>

#include "core/aligned_alloc.h"
#include "core/check.h"
#include "core/export.h"
#include "vlc/vlc_common.h"

namespace orvdc::vlc {
namespace {

// What construction derives from the caller's table.
struct EncodeLayout {
    std::int64_t min = 0;
    std::int64_t range = 0;
    std::int32_t indexBits = 0;
    std::int32_t size = 0;
};

orvStatus analyzeEncodeTable(const VLCTableEntry* table, std::int32_t count, EncodeLayout& out) {
    if (count < 1) return orvStsBadContext;
    std::int64_t lo = table[0].value;
    std::int64_t hi = lo;
    for (std::int32_t i = 0; i < count; ++i) {
        if (table[i].length < 1 || table[i].length > 32) return orvStsBadCodeLength;
        lo = std::min<std::int64_t>(lo, table[i].value);
        hi = std::max<std::int64_t>(hi, table[i].value);
    }
    const std::int64_t range = hi - lo + 1;
    // k: the smallest number with 2^k > range.
    const int k = std::bit_width(static_cast<std::uint64_t>(range));
    const std::int64_t size = ((std::int64_t{1} << k) + range) * 4 + 64;
    if (size > INT32_MAX) return orvStsBadSize;
    out.min = lo;
    out.range = range;
    out.indexBits = k;
    out.size = static_cast<std::int32_t>(size);
    return orvStsOk;
}

void buildEncodeSpec(const VLCTableEntry* table, std::int32_t count, const EncodeLayout& layout, void* mem,
                     std::int32_t allocated) {
    auto* base = alignUp32(static_cast<std::uint8_t*>(mem));
    auto* header = reinterpret_cast<EncodeHeader*>(base);
    auto* lengths = reinterpret_cast<std::int32_t*>(base + sizeof(EncodeHeader));
    const std::int64_t slots = std::int64_t{1} << layout.indexBits;
    auto* codes = lengths + slots;
    // Length 0 marks a value the table lacks (and the slots beyond range).
    std::fill_n(lengths, slots, 0);
    std::fill_n(codes, layout.range, 0);
    // Last entry first, so the first entry of a repeated value wins.
    for (std::int32_t i = count - 1; i >= 0; --i) {
        const auto index = static_cast<std::size_t>(table[i].value - layout.min);
        const int n = table[i].length;
        const std::uint32_t mask = n == 32 ? 0xFFFFFFFFu : (1u << n) - 1u;
        lengths[index] = n;
        codes[index] = static_cast<std::int32_t>(table[i].code & mask);
    }
    header->lengthTable = sizeof(EncodeHeader);
    header->valueOffset = static_cast<std::uint32_t>(-static_cast<std::uint64_t>(layout.min));
    header->indexBits = layout.indexBits;
    header->allocated = allocated;
    header->unused[0] = header->unused[1] = header->unused[2] = 0;
    header->identifier = kEncodeId;
}

// A checked view of a valid encoder object.
struct EncodeView {
    const std::int32_t* lengths;
    const std::uint32_t* codes;
    std::uint32_t valueOffset;
    std::uint32_t indexBits;

    // Index of v in both tables, or -1 when the table lacks v.
    std::int64_t index(std::int16_t v) const {
        const std::uint32_t i = static_cast<std::uint32_t>(static_cast<std::int32_t>(v)) + valueOffset;
        if ((static_cast<std::uint64_t>(i) >> indexBits) != 0 || lengths[i] == 0) return -1;
        return i;
    }
};

// False for an object that is not a valid encoder object.
bool viewOf(const VLCEncodeSpec* vlcSpec, EncodeView& view) {
    const auto* base = alignUp32(reinterpret_cast<const std::uint8_t*>(vlcSpec));
    const auto* header = reinterpret_cast<const EncodeHeader*>(base);
    if (header->identifier != kEncodeId) return false;
    view.lengths = reinterpret_cast<const std::int32_t*>(base + header->lengthTable);
    view.codes = reinterpret_cast<const std::uint32_t*>(view.lengths + (std::size_t{1} << header->indexBits));
    view.valueOffset = header->valueOffset;
    view.indexBits = static_cast<std::uint32_t>(header->indexBits);
    return true;
}

// Appends codes to a stream position.  Pending bits sit right-aligned in a
// 64-bit accumulator and go out as whole big-endian words; the last partial
// byte is written once, at the end, so no byte beyond the last code bit is
// touched.
class BitWriter {
public:
    BitWriter(std::uint8_t* p, int offset) : p_(p), pending_(offset) {
        acc_ = offset ? (p[0] >> (8 - offset)) : 0u;
    }

    void put(std::uint32_t code, int length) {
        acc_ = (acc_ << length) | code;
        pending_ += length;
        if (pending_ >= 32) {
            pending_ -= 32;
            storeBE32(p_, static_cast<std::uint32_t>(acc_ >> pending_));
            p_ += 4;
        }
    }

    // Writes what is pending and returns the new position.
    std::uint8_t* finish(std::int32_t& offset) {
        while (pending_ >= 8) {
            pending_ -= 8;
            *p_++ = static_cast<std::uint8_t>(acc_ >> pending_);
        }
        if (pending_ > 0) *p_ = static_cast<std::uint8_t>(acc_ << (8 - pending_));
        offset = pending_;
        return p_;
    }

private:
    std::uint8_t* p_;
    std::uint64_t acc_;
    int pending_;
};

}  // namespace
}  // namespace orvdc::vlc

using namespace orvdc::vlc;

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsVLCEncodeGetSize_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                        int32_t* pSize) {
    if (orvdc::anyNull(pCodeTable, pSize)) return orvStsNullPtr;
    EncodeLayout layout;
    const orvStatus st = analyzeEncodeTable(pCodeTable, tableSize, layout);
    if (st != orvStsOk) return st;
    *pSize = layout.size;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsVLCEncodeInit_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                     VLCEncodeSpec* pSpec) {
    if (orvdc::anyNull(pCodeTable, pSpec)) return orvStsNullPtr;
    EncodeLayout layout;
    const orvStatus st = analyzeEncodeTable(pCodeTable, tableSize, layout);
    if (st != orvStsOk) return st;
    buildEncodeSpec(pCodeTable, tableSize, layout, pSpec, 0);
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsVLCEncodeInitAlloc_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                          VLCEncodeSpec** ppSpec) {
    if (orvdc::anyNull(pCodeTable, ppSpec)) return orvStsNullPtr;
    EncodeLayout layout;
    const orvStatus st = analyzeEncodeTable(pCodeTable, tableSize, layout);
    if (st != orvStsOk) return st;
    void* mem = orvdc::alignedAlloc(layout.size);
    if (mem == nullptr) return orvStsNoMemory;
    buildEncodeSpec(pCodeTable, tableSize, layout, mem, 1);
    *ppSpec = static_cast<VLCEncodeSpec*>(mem);
    return orvStsOk;
}

ORVDC_API void ORVDC_CALL orvsVLCEncodeFree_32s(VLCEncodeSpec* pSpec) {
    if (pSpec == nullptr) return;
    auto* base = alignUp32(reinterpret_cast<std::uint8_t*>(pSpec));
    auto* header = reinterpret_cast<EncodeHeader*>(base);
    header->identifier = 0;
    if (header->allocated == 1) orvdc::alignedFree(base);
}

ORVDC_API orvStatus ORVDC_CALL orvsVLCEncodeBlock_16s1u(const int16_t* pSrc, int32_t srcLen, uint8_t** ppDst,
                                                        int32_t* pBitOffset, const VLCEncodeSpec* pSpec) {
    if (orvdc::anyNull(pSrc, pSpec, ppDst, pBitOffset) || *ppDst == nullptr) return orvStsNullPtr;
    if (srcLen < 1 || *pBitOffset < 0 || *pBitOffset > 7) return orvStsBadContext;
    EncodeView view;
    if (!viewOf(pSpec, view)) return orvStsBadContext;
    for (int32_t i = 0; i < srcLen; ++i) {
        if (view.index(pSrc[i]) < 0) return orvStsBadContext;
    }
    BitWriter out(*ppDst, *pBitOffset);
    for (int32_t i = 0; i < srcLen; ++i) {
        const std::uint32_t index = static_cast<std::uint32_t>(static_cast<std::int32_t>(pSrc[i])) + view.valueOffset;
        out.put(view.codes[index], view.lengths[index]);
    }
    *ppDst = out.finish(*pBitOffset);
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsVLCEncodeOne_16s1u(int16_t src, uint8_t** ppDst, int32_t* pBitOffset,
                                                      const VLCEncodeSpec* pSpec) {
    if (orvdc::anyNull(pSpec, ppDst, pBitOffset) || *ppDst == nullptr) return orvStsNullPtr;
    if (*pBitOffset < 0 || *pBitOffset > 7) return orvStsBadContext;
    EncodeView view;
    if (!viewOf(pSpec, view)) return orvStsBadContext;
    const std::int64_t index = view.index(src);
    if (index < 0) return orvStsBadContext;
    BitWriter out(*ppDst, *pBitOffset);
    out.put(view.codes[index], view.lengths[index]);
    *ppDst = out.finish(*pBitOffset);
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsVLCCountBits_16s32s(const int16_t* pSrc, int32_t srcLen, int32_t* pCount,
                                                       const VLCEncodeSpec* pSpec) {
    if (orvdc::anyNull(pSrc, pCount, pSpec)) return orvStsNullPtr;
    if (srcLen < 1) return orvStsBadContext;
    EncodeView view;
    if (!viewOf(pSpec, view)) return orvStsBadContext;
    std::int64_t bits = 0;
    for (int32_t i = 0; i < srcLen; ++i) {
        const std::int64_t index = view.index(pSrc[i]);
        if (index < 0) return orvStsBadContext;
        bits += view.lengths[index];
    }
    if (bits > INT32_MAX) return orvStsBadSize;
    *pCount = static_cast<int32_t>(bits);
    return orvStsOk;
}

}  // extern "C"
