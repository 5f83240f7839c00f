// The symbol dictionary: byte values that occur in a block are renumbered
// 0, 1, 2, ... in ascending order (reduction) and back (expansion).
#include "core/check.h"
#include "core/export.h"

namespace {

// Replaces every byte of buf by map[byte]; four, then two, then one at a time.
void mapBytes(const std::uint8_t* map, std::uint8_t* buf, std::size_t n) {
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const std::uint8_t a = map[buf[i]], b = map[buf[i + 1]], c = map[buf[i + 2]], d = map[buf[i + 3]];
        buf[i] = a;
        buf[i + 1] = b;
        buf[i + 2] = c;
        buf[i + 3] = d;
    }
    if (i + 2 <= n) {
        const std::uint8_t a = map[buf[i]], b = map[buf[i + 1]];
        buf[i] = a;
        buf[i + 1] = b;
        i += 2;
    }
    if (i < n) buf[i] = map[buf[i]];
}

}  // namespace

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsReduceDictionary_8u_I(const uint8_t pInUse[256], uint8_t* pSrcDst,
                                                         int32_t len, int32_t* pSizeDictionary) {
    if (orvdc::anyNull(pInUse, pSrcDst, pSizeDictionary)) return orvStsNullPtr;
    if (orvdc::anyBelow(1, len)) return orvStsBadSize;

    // The dense index of v is the sum of the entries below v.
    std::uint8_t map[256];
    std::int32_t sum = 0;
    for (int v = 0; v < 256; ++v) {
        map[v] = static_cast<std::uint8_t>(sum);
        sum += pInUse[v];
    }
    mapBytes(map, pSrcDst, static_cast<std::size_t>(len));
    *pSizeDictionary = sum;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsExpandDictionary_8u_I(const uint8_t pInUse[256], uint8_t* pSrcDst,
                                                         int32_t len, int32_t sizeDictionary) {
    if (orvdc::anyNull(pInUse, pSrcDst)) return orvStsNullPtr;
    if (orvdc::anyBelow(1, len, sizeDictionary) || sizeDictionary > 256) return orvStsBadSize;
    std::int32_t inUseCount = 0;
    for (int v = 0; v < 256; ++v) inUseCount += pInUse[v] != 0;
    if (sizeDictionary > inUseCount) return orvStsBadSize;

    // Index j stands for the (j+1)-th value in use; indices from n on give 0.
    std::uint8_t map[256] = {};
    std::int32_t j = 0;
    for (int v = 0; v < 256 && j < sizeDictionary; ++v) {
        if (pInUse[v] != 0) map[j++] = static_cast<std::uint8_t>(v);
    }
    mapBytes(map, pSrcDst, static_cast<std::size_t>(len));
    return orvStsOk;
}

}  // extern "C"
