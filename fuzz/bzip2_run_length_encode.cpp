// The bzip2 run-length encoder over call sequences the input chooses: any
// split of the source into calls, any destination room per call (flushes
// with any room too).  The output equals that of one call with ample room,
// no call changes a destination byte after the ones it reports, the in-use
// table lists exactly the byte values written, and the output decodes back
// to the source.  Source and destinations end right before an inaccessible
// page.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

namespace {

using orvdc::fuzz::PageEnd;

struct Sizes {
    std::uint32_t s;
    std::uint32_t next(std::uint32_t bound) {
        s = s * 1103515245u + 12345u;
        return 1 + (s >> 8) % bound;
    }
};

// Encodes src in pieces of at most maxPiece bytes with at most maxRoom bytes
// of room a call; appends everything written to out.
void encode(const std::uint8_t* src, std::size_t n, std::uint32_t seed, std::uint32_t maxPiece,
            std::uint32_t maxRoom, PageEnd& dstMem, std::vector<std::uint8_t>& out, std::uint8_t inUse[256]) {
    alignas(4) std::uint8_t mem[264 + 4];
    auto* st = reinterpret_cast<RLEState*>(mem + 4);
    if (orvsEncodeRLEInit_BZ2_8u(st) != orvStsOk) std::abort();
    Sizes sizes{seed};
    std::size_t pos = 0;
    while (pos < n) {
        const std::size_t piece = std::min<std::size_t>(sizes.next(maxPiece), n - pos);
        const std::uint8_t* p = src + pos;
        auto left = static_cast<std::int32_t>(piece);
        orvStatus s;
        do {
            const std::size_t room = sizes.next(maxRoom);
            std::uint8_t* dst = dstMem.end(room);
            orvdc::fuzz::fillCanary(dst, room);
            auto dstLen = static_cast<std::int32_t>(room);
            const std::int32_t before = left;
            s = orvsEncodeRLE_BZ2_8u(&p, &left, dst, &dstLen, st);
            if ((s != orvStsOk && s != orvStsDstFull) || dstLen < 0 || static_cast<std::size_t>(dstLen) > room) std::abort();
            if (p != src + pos + (piece - static_cast<std::size_t>(left))) std::abort();
            if (s == orvStsOk ? left != 0 : left == 0) std::abort();
            if (s == orvStsDstFull && left == before && dstLen == 0) std::abort();  // no progress
            orvdc::fuzz::requireCanary(dst, static_cast<std::size_t>(dstLen), room);
            out.insert(out.end(), dst, dst + dstLen);
        } while (s == orvStsDstFull);
        pos += piece;
    }
    const std::size_t room = sizes.next(4);
    std::uint8_t* dst = dstMem.end(room);
    orvdc::fuzz::fillCanary(dst, room);
    auto dstLen = static_cast<std::int32_t>(room);
    if (orvsEncodeRLEFlush_BZ2_8u(dst, &dstLen, st) != orvStsOk || dstLen < 0 || dstLen > 1) std::abort();
    orvdc::fuzz::requireCanary(dst, static_cast<std::size_t>(dstLen), room);
    out.insert(out.end(), dst, dst + dstLen);
    if (orvsRLEGetInUseTable_8u(inUse, st) != orvStsOk) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3 || size > 16384) return 0;
    static PageEnd srcMem, dstMem, backMem;
    const std::uint32_t seed = data[0] | (data[1] << 8);
    const std::size_t n = size - 2;
    const std::uint8_t* src = srcMem.place(data + 2, n);

    std::vector<std::uint8_t> whole, split;
    std::uint8_t inUseWhole[256], inUseSplit[256];
    encode(src, n, 1, static_cast<std::uint32_t>(n), static_cast<std::uint32_t>(2 * n + 8), dstMem, whole, inUseWhole);
    const std::uint32_t maxPiece = (seed & 3) == 0 ? 3 : (seed & 3) == 1 ? 40 : 4000;
    const std::uint32_t maxRoom = (seed & 12) == 0 ? 2 : (seed & 12) == 4 ? 9 : 300;
    encode(src, n, seed, maxPiece, maxRoom, dstMem, split, inUseSplit);
    if (split != whole || std::memcmp(inUseWhole, inUseSplit, 256) != 0) std::abort();
    std::uint8_t seen[256] = {};
    for (std::uint8_t b : whole) seen[b] = 1;
    for (int v = 0; v < 256; ++v) {
        if ((inUseWhole[v] != 0) != (seen[v] != 0)) std::abort();
    }

    const std::uint8_t* p = srcMem.place(whole.data(), whole.size());
    auto left = static_cast<std::int32_t>(whole.size());
    std::uint8_t* back = backMem.end(n);
    auto backLen = static_cast<std::int32_t>(n);
    if (left > 0 && orvsDecodeRLE_BZ2_8u(&p, &left, back, &backLen) != orvStsOk) std::abort();
    if (static_cast<std::size_t>(backLen) != n || std::memcmp(back, data + 2, n) != 0) std::abort();
    return 0;
}
