// The GIT encoder over a sequence of up to four blocks on one state, with
// sizes, room limits and strategies the input chooses (even an empty block
// codes to some 1.5 KB, so more blocks would mostly repeat that work): a
// block either fits (and the decoder gives the source back) or is refused
// with orvStsBadSize leaving the destination and the length untouched; no
// call changes a destination byte after the block it reports.  Source and
// destination end right before an inaccessible page.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

namespace {

constexpr std::int32_t kMaxSrc = 4096;     // smaller limits are raised to this
constexpr std::int32_t kMaxDst = 3 * 4096;

std::vector<std::uint8_t>& stateMemory(std::int32_t size) {
    static std::vector<std::uint8_t> mem;
    if (mem.size() < static_cast<std::size_t>(size) + 4) mem.resize(static_cast<std::size_t>(size) + 4);
    return mem;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3 || size > 4 * kMaxSrc) return 0;
    static orvdc::fuzz::PageEnd srcMem, dstMem, backMem;
    static const int kStrategyOf[8] = {0, 1, 2, 3, 4, -7, 5, 2};
    const std::int32_t maxDst = 1 + ((data[0] | (data[1] << 8)) * 7) % kMaxDst;
    std::int32_t encSize = 0, decSize = 0;
    const orvStatus sized = orvsEncodeGITGetSize_8u(kMaxSrc, maxDst, &encSize);
    if (sized != orvStsOk && sized != orvStsDstFull) std::abort();
    orvsDecodeGITGetSize_8u(kMaxDst, &decSize);
    auto& encMem = stateMemory(encSize + decSize + 8);
    auto* enc = reinterpret_cast<GITState*>(encMem.data() + 4);
    auto* dec = reinterpret_cast<GITState*>(encMem.data() + 8 + static_cast<std::size_t>(encSize));
    if (orvsEncodeGITInit_8u(kMaxSrc, maxDst, enc) < 0) std::abort();
    if (orvsDecodeGITInit_8u(kMaxSrc, dec) != orvStsOk) std::abort();
    // The effective destination limit: at least 8192 once maxSrcLen was raised.
    const std::size_t room = static_cast<std::size_t>(std::max(maxDst, sized == orvStsDstFull ? 8192 : maxDst));

    // Blocks: a length byte picks each block's share of the rest; the
    // fourth block takes all of it.
    constexpr int kMaxBlocks = 4;
    const std::uint8_t* p = data + 2;
    std::size_t left = size - 2;
    for (int blocks = 1; left > 0; ++blocks) {
        const int strategy = kStrategyOf[p[0] & 7];
        const bool rest = (p[0] >> 3) == 31 || blocks == kMaxBlocks;
        const std::size_t n = std::min<std::size_t>(left - 1, rest ? left : (p[0] >> 3) * 97u + 1);
        const std::uint8_t* src = srcMem.place(p + 1, n);
        std::uint8_t* dst = dstMem.end(room);
        orvdc::fuzz::fillCanary(dst, room);
        std::int32_t len = -5;
        const orvStatus s = orvsEncodeGIT_8u(src, static_cast<std::int32_t>(n), dst, &len, strategy, enc);
        if (s == orvStsBadSize) {
            if (len != -5) std::abort();
            orvdc::fuzz::requireCanary(dst, 0, room);
        } else {
            if (s != orvStsOk || len < 1 || static_cast<std::size_t>(len) > room) std::abort();
            orvdc::fuzz::requireCanary(dst, static_cast<std::size_t>(len), room);
            std::uint8_t* back = backMem.end(std::max<std::size_t>(n, 1));
            std::int32_t backLen = -1;
            const std::uint8_t* block = srcMem.place(dst, static_cast<std::size_t>(len));
            if (orvsDecodeGIT_8u(block, len, back, &backLen, strategy, dec) != orvStsOk) std::abort();
            if (static_cast<std::size_t>(backLen) != n || std::memcmp(back, p + 1, n) != 0) std::abort();
        }
        p += 1 + n;
        left -= 1 + n;
    }
    return 0;
}
