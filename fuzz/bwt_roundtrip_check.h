// The checks of the BWT round-trip harnesses on one block: forward then
// inverse gives the block back, for both block sizes; the two forward
// transforms agree; short blocks match a naive rotation sort.  The
// large-block buffers end right before an inaccessible page (the work
// buffers at exactly the size the transforms report).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

namespace orvdc::fuzz::bwt {

using Bytes = std::vector<std::uint8_t>;

inline Bytes naiveLastColumn(const Bytes& s) {
    const std::size_t n = s.size();
    std::vector<std::size_t> rot(n);
    std::iota(rot.begin(), rot.end(), 0);
    std::stable_sort(rot.begin(), rot.end(), [&](std::size_t a, std::size_t b) {
        for (std::size_t k = 0; k < n; ++k) {
            if (s[(a + k) % n] != s[(b + k) % n]) return s[(a + k) % n] < s[(b + k) % n];
        }
        return false;
    });
    Bytes out(n);
    for (std::size_t k = 0; k < n; ++k) out[k] = s[(rot[k] + n - 1) % n];
    return out;
}

// `inPlace` runs both forward transforms with the destination as source.
inline void checkRoundTrip(const Bytes& block, bool inPlace) {
    const auto n = static_cast<std::int32_t>(block.size());
    std::int32_t workSize = 0;
    orvsBWTFwdGetSize_8u(n, &workSize);
    static PageEnd srcMem, lastMem, workMem;
    std::uint8_t* work = workMem.end(static_cast<std::size_t>(workSize));
    Bytes last = block;
    std::uint8_t* lastAtEnd = lastMem.place(block.data(), block.size());
    Bytes out(block.size());
    std::int32_t index = -1;
    const std::uint8_t* src = inPlace ? lastAtEnd : srcMem.place(block.data(), block.size());
    if (orvsBWTFwd_8u(src, lastAtEnd, n, &index, work) != orvStsOk) std::abort();
    last.assign(lastAtEnd, lastAtEnd + block.size());
    if (index < 0 || index >= n) std::abort();
    if (n <= 64 && last != naiveLastColumn(block)) std::abort();

    orvsBWTInvGetSize_8u(n, &workSize);
    std::uint8_t* invWork = workMem.end(static_cast<std::size_t>(workSize));
    std::uint8_t* outAtEnd = srcMem.end(block.size());
    if (orvsBWTInv_8u(lastMem.place(last.data(), last.size()), outAtEnd, n, index, invWork) != orvStsOk) std::abort();
    out.assign(outAtEnd, outAtEnd + block.size());
    if (out != block) std::abort();

    if (n <= 32768) {
        orvsBWTGetSize_SmallBlock_8u(n, &workSize);
        std::vector<std::uint8_t> smallWork(static_cast<std::size_t>(workSize));
        Bytes smallLast = block;
        std::int32_t smallIndex = -1;
        const std::uint8_t* smallSrc = inPlace ? smallLast.data() : block.data();
        if (orvsBWTFwd_SmallBlock_8u(smallSrc, smallLast.data(), n, &smallIndex, smallWork.data()) != orvStsOk)
            std::abort();
        if (smallLast != last || smallIndex != index) std::abort();
        if (orvsBWTInv_SmallBlock_8u(smallLast.data(), out.data(), n, smallIndex, smallWork.data()) != orvStsOk)
            std::abort();
        if (out != block) std::abort();
    }
}

}  // namespace orvdc::fuzz::bwt
