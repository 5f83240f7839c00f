// Forward Burrows-Wheeler transform, large and small blocks.
//
// The block is rotated to its least rotation t (bwt_rotation.h).  When t is
// found to equal its rotation by some d dividing n, only u = t[0..d) is
// sorted; otherwise u = t.  The suffixes of u are sorted by induced sorting
// (bwt_sais.h), and since u is a necklace its suffix order is an order of
// its rotations, so the last column of u is u[sa[i] - 1] (cyclically); the
// sorter's last induced passes write it in place of the suffix array.
// Each rotation of the block occurs q = n/d times, so the block's last
// column is u's with every byte repeated q times, and the block's own
// rotation stands at q times the row of its start inside u.  Everything
// runs in linear time whatever the data, periodic or not.
//
// Memory: u lives in the destination while the suffix array is built in the
// work buffer; the suffix array takes d elements of 4 bytes (2 for small
// blocks) and the rest of the buffer, at least n/2 elements, is its free
// space.  At the end the last column is copied from the suffix array's
// place to the destination.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bwt/bwt_rotation.h"
#include "bwt/bwt_sais.h"
#include "core/check.h"
#include "core/export.h"
#include "core/memory.h"

namespace orvdc::bwt {
namespace {

constexpr std::int32_t kSmallBlockMax = 32768;
// The largest block whose work buffer size, 6n + 4128, fits the signed
// 32-bit size that GetSize reports; longer blocks are refused, as no caller
// can have been told how much memory they need.
constexpr std::int32_t kLargeBlockMax = (INT32_MAX - 4128) / 6;

inline std::uint8_t* alignUp(std::uint8_t* p, std::uintptr_t alignment) {
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    return p + ((alignment - (a & (alignment - 1))) & (alignment - 1));
}

inline std::uint8_t* alignDown(std::uint8_t* p, std::uintptr_t alignment) {
    return p - (reinterpret_cast<std::uintptr_t>(p) & (alignment - 1));
}

inline bool overlaps(const std::uint8_t* a, const std::uint8_t* b, std::int32_t n) {
    const auto x = reinterpret_cast<std::uintptr_t>(a);
    const auto y = reinterpret_cast<std::uintptr_t>(b);
    return x < y + static_cast<std::uintptr_t>(n) && y < x + static_cast<std::uintptr_t>(n);
}

// The transform of src[0..n) into dst with a work buffer of `workSize` bytes
// (the GetSize value); Sa is the suffix array's element type and
// `saAlignment` where it starts.  Returns the primary index.
template <class Sa>
std::int32_t forward(const std::uint8_t* src, std::uint8_t* dst, std::int32_t n, std::uint8_t* work,
                     std::size_t workSize, std::uintptr_t saAlignment) {
    if (n == 1) {
        dst[0] = src[0];
        return 0;
    }

    // The least rotation t into dst (by way of the work buffer when src and
    // dst are the same memory); only u = t[0..m) is sorted.
    const Necklace necklace = leastRotation(src, n);
    const std::int32_t r = necklace.start;
    const std::int32_t m = necklace.period;
    const std::uint8_t* from = src;
    if (overlaps(src, dst, n)) {
        copyKernel(work, src, static_cast<std::size_t>(n));
        from = work;
    }
    copyKernel(dst, from + r, static_cast<std::size_t>(n - r));
    copyKernel(dst + (n - r), from, static_cast<std::size_t>(r));

    const std::int32_t q = n / m;
    // The block's own rotation starts at n - r in t, so at (n - r) mod m in u.
    const std::int32_t start = (r == 0 ? 0 : n - r) % m;
    if (m == 1) return 0;  // n equal bytes: dst already holds the last column

    Sa* const sa = reinterpret_cast<Sa*>(alignUp(work, saAlignment));
    std::uint8_t* const end = work + workSize;
    std::uint8_t* const saEnd = reinterpret_cast<std::uint8_t*>(sa + m);
    const auto fs = static_cast<int>(static_cast<std::size_t>(end - saEnd) / sizeof(Sa));
    auto* const count = reinterpret_cast<std::int32_t*>(alignDown(end - 2 * 256 * sizeof(std::int32_t), 4));
    const std::int32_t row = lastColumnSort<Sa, std::int32_t>(dst, sa, m, fs, count, count + 256, start);
    for (std::int32_t i = 0; i < m; ++i) dst[i] = static_cast<std::uint8_t>(~sa[i]);
    if (q > 1) {
        for (std::int32_t i = m - 1; i >= 0; --i) {
            std::memset(dst + static_cast<std::size_t>(i) * q, dst[i], static_cast<std::size_t>(q));
        }
    }
    return row * q;
}

}  // namespace
}  // namespace orvdc::bwt

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsBWTFwdGetSize_8u(int32_t len, int32_t* pSize) {
    if (orvdc::anyNull(pSize)) return orvStsNullPtr;
    if (len < 1 || len > orvdc::bwt::kLargeBlockMax) return orvStsBadSize;
    *pSize = 6 * len + 4128;
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsBWTFwd_8u(const uint8_t* pSrc, uint8_t* pDst, int32_t len,
                                                        int32_t* pIndex, uint8_t* pBuffer) {
    if (orvdc::anyNull(pSrc, pDst, pIndex, pBuffer)) return orvStsNullPtr;
    if (len < 1 || len > orvdc::bwt::kLargeBlockMax) return orvStsBadSize;
    const std::size_t workSize = 6 * static_cast<std::size_t>(len) + 4128;
    *pIndex = orvdc::bwt::forward<std::int32_t>(pSrc, pDst, len, pBuffer, workSize, 64);
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsBWTGetSize_SmallBlock_8u(int32_t len, int32_t* pSize) {
    if (orvdc::anyNull(pSize)) return orvStsNullPtr;
    if (len < 1 || len > orvdc::bwt::kSmallBlockMax) return orvStsBadSize;
    *pSize = 4 * len + 2080;
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsBWTFwd_SmallBlock_8u(const uint8_t* pSrc, uint8_t* pDst,
                                                                   int32_t len, int32_t* pIndex,
                                                                   uint8_t* pBuffer) {
    if (orvdc::anyNull(pSrc, pDst, pIndex, pBuffer)) return orvStsNullPtr;
    if (len < 1 || len > orvdc::bwt::kSmallBlockMax) return orvStsBadSize;
    const std::size_t workSize = 4 * static_cast<std::size_t>(len) + 2080;
    *pIndex = orvdc::bwt::forward<std::int16_t>(pSrc, pDst, len, pBuffer, workSize, 4);
    return orvStsOk;
}
