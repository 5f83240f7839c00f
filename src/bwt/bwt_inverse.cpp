// Inverse Burrows-Wheeler transform, large and small blocks.
//
// A stable distribution of the last column L by byte value gives the first
// column F; link[j] is the row of L that F[j] came from, so following the
// links from the primary index walks the block from its first byte to its
// last.  The walk is one dependent load per byte; for blocks below 2^24 bytes
// each link also carries the byte it leads to (link << 8 | byte), so a step
// touches a single table entry.  Any column and any index give some output
// without leaving the buffers: every link is a row number below n.
#include <climits>
#include <cstddef>
#include <cstdint>

#include "core/check.h"
#include "core/export.h"
#include "core/memory.h"

namespace orvdc::bwt {
namespace {

constexpr std::int32_t kSmallBlockMax = 32768;
constexpr std::int32_t kPackedMax = 1 << 24;
// The largest block whose work buffer size, 4n + 1024, fits 32 bits.
constexpr std::int32_t kLargeBlockMax = (INT32_MAX - 1024) / 4;

inline std::uint8_t* alignUp(std::uint8_t* p, std::uintptr_t alignment) {
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    return p + ((alignment - (a & (alignment - 1))) & (alignment - 1));
}

// next[c] := number of bytes of l[0..n) below c.
void firstColumnStarts(const std::uint8_t* l, std::int32_t n, std::uint32_t next[256]) {
    std::uint32_t count[2][256] = {};
    std::int32_t i = 0;
    for (; i + 1 < n; i += 2) {
        ++count[0][l[i]];
        ++count[1][l[i + 1]];
    }
    if (i < n) ++count[0][l[i]];
    std::uint32_t sum = 0;
    for (int c = 0; c < 256; ++c) {
        next[c] = sum;
        sum += count[0][c] + count[1][c];
    }
}

void inverseLarge(const std::uint8_t* l, std::uint8_t* dst, std::int32_t n, std::int32_t index,
                  std::uint8_t* work) {
    std::uint32_t next[256];
    firstColumnStarts(l, n, next);
    auto* const link = reinterpret_cast<std::uint32_t*>(alignUp(work, 4));
    if (n <= kPackedMax) {
        for (std::int32_t i = 0; i < n; ++i) {
            const std::uint8_t c = l[i];
            link[next[c]++] = static_cast<std::uint32_t>(i) << 8 | c;
        }
        std::uint32_t p = static_cast<std::uint32_t>(index);
        for (std::int32_t k = 0; k < n; ++k) {
            const std::uint32_t e = link[p];
            dst[k] = static_cast<std::uint8_t>(e);
            p = e >> 8;
        }
    } else {
        for (std::int32_t i = 0; i < n; ++i) link[next[l[i]]++] = static_cast<std::uint32_t>(i);
        std::uint32_t p = static_cast<std::uint32_t>(index);
        for (std::int32_t k = 0; k < n; ++k) {
            p = link[p];
            dst[k] = l[p];
        }
    }
}

// Links of 16 bits: the buffer needs only 2n bytes (plus one for alignment).
void inverseSmall(const std::uint8_t* l, std::uint8_t* dst, std::int32_t n, std::int32_t index,
                  std::uint8_t* work) {
    std::uint32_t next[256];
    firstColumnStarts(l, n, next);
    auto* const link = reinterpret_cast<std::uint16_t*>(alignUp(work, 2));
    for (std::int32_t i = 0; i < n; ++i) link[next[l[i]]++] = static_cast<std::uint16_t>(i);
    std::uint32_t p = static_cast<std::uint32_t>(index);
    for (std::int32_t k = 0; k < n; ++k) {
        p = link[p];
        dst[k] = l[p];
    }
}

}  // namespace
}  // namespace orvdc::bwt

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsBWTInvGetSize_8u(int32_t len, int32_t* pSize) {
    if (orvdc::anyNull(pSize)) return orvStsNullPtr;
    *pSize = static_cast<int32_t>(4u * static_cast<uint32_t>(len) + 1024u);
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsBWTInv_8u(const uint8_t* pSrc, uint8_t* pDst, int32_t len,
                                                        int32_t index, uint8_t* pBuffer) {
    if (len < 2) return orvdc::copyBytes(pSrc, pDst, len);
    if (orvdc::anyNull(pSrc, pDst, pBuffer)) return orvStsNullPtr;
    if (index < 0 || index >= len || len > orvdc::bwt::kLargeBlockMax) return orvStsBadSize;
    orvdc::bwt::inverseLarge(pSrc, pDst, len, index, pBuffer);
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsBWTInv_SmallBlock_8u(const uint8_t* pSrc, uint8_t* pDst,
                                                                   int32_t len, int32_t index,
                                                                   uint8_t* pBuffer) {
    if (len < 2) return orvdc::copyBytes(pSrc, pDst, len);
    if (orvdc::anyNull(pSrc, pDst, pBuffer)) return orvStsNullPtr;
    if (index < 0 || index >= len || len > orvdc::bwt::kSmallBlockMax) return orvStsBadSize;
    orvdc::bwt::inverseSmall(pSrc, pDst, len, index, pBuffer);
    return orvStsOk;
}
