// Forward then inverse gives the block back, for both block sizes; the two
// forward transforms agree; short blocks match a naive rotation sort.  Bit 0
// of the first byte chooses an in-place forward transform; bits 1 to 3 equal
// to 001 plant the rest of the input (up to 1 KB of it) every 2 KB into
// 17 KB of pseudo-random bytes, a block large and varied enough for the
// suffix sorter's high-entropy shortcut, whose ties and give-ups then come
// from the input.  Such a block costs as much as a hundred small ones, so
// only one first byte in eight asks for it, and only with bit 4 set does it
// go through the small-block transforms too.  Blocks from the input itself
// are at most 1 KB.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes naiveLastColumn(const Bytes& s) {
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

// Up to 1024 bytes of the input copied every 2048 bytes into 17408
// pseudo-random bytes (xorshift, seeded by the input's length): just above
// the 16 KiB the shortcut needs.
Bytes planted(const Bytes& input) {
    Bytes out(17408);
    std::uint32_t x = 2463534242u ^ static_cast<std::uint32_t>(input.size());
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    const std::size_t len = std::min<std::size_t>(input.size(), 1024);
    for (std::size_t at = 0; at + len <= out.size(); at += 2048) {
        std::copy_n(input.begin(), len, out.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size - 1 > 1024) return 0;
    const bool inPlace = data[0] & 1;
    Bytes block(data + 1, data + size);
    const bool isPlanted = (data[0] & 14) == 2;
    if (isPlanted) block = planted(block);
    const auto n = static_cast<std::int32_t>(block.size());

    std::int32_t workSize = 0;
    orvsBWTFwdGetSize_8u(n, &workSize);
    // Buffers end right before an inaccessible page (the work buffers at
    // exactly the size the transforms report).
    static orvdc::fuzz::PageEnd srcMem, lastMem, workMem;
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

    if (n <= 32768 && (!isPlanted || (data[0] & 16))) {
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
    return 0;
}
