// The LZSS decoder on arbitrary streams: it never reads or writes outside
// its buffers, and feeding the stream in arbitrary pieces with arbitrary
// destination room gives the same bytes as one call.  The first input byte
// seeds the split sizes and where the small splits start; the rest is the
// stream (at most 8 KiB).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

namespace {

constexpr std::size_t kStateBytes = 327724;

struct Split {
    std::uint32_t s;
    std::uint32_t next(std::uint32_t bound) {
        s = s * 1103515245u + 12345u;
        return 1 + (s >> 8) % bound;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 8193) return 0;
    const std::uint8_t mode = data[0];
    // The stream and every destination end right before an inaccessible page.
    static orvdc::fuzz::PageEnd streamMem, wholeMem, roomMem;
    const std::uint8_t* stream = streamMem.place(data + 1, size - 1);
    const auto n = static_cast<std::int32_t>(size - 1);

    // State memory kept across runs with both windows equal, so bytes read
    // from behind the stream start are the same in both runs.  Placed 4
    // bytes past an 8-byte boundary.
    static std::vector<std::uint8_t> mem1(kStateBytes + 8, 0), mem2(kStateBytes + 8, 0);
    std::memset(mem1.data() + 4 + 44, mode, 32768);
    std::memset(mem2.data() + 4 + 44, mode, 32768);
    auto* st1 = reinterpret_cast<LZSSState*>(mem1.data() + 4);
    auto* st2 = reinterpret_cast<LZSSState*>(mem2.data() + 4);
    if (orvsDecodeLZSSInit_8u(st1) != orvStsOk || orvsDecodeLZSSInit_8u(st2) != orvStsOk) std::abort();

    // One call: every 24 bits make at most 258 bytes.
    const std::size_t wholeRoom = static_cast<std::size_t>(n) / 3 * 258 + 300;
    std::uint8_t* const wholeStart = wholeMem.end(wholeRoom);
    const std::uint8_t* src = stream;
    std::int32_t srcLen = n;
    std::uint8_t* dst = wholeStart;
    auto dstLen = static_cast<std::int32_t>(wholeRoom);
    if (orvsDecodeLZSS_8u(&src, &srcLen, &dst, &dstLen, st1) != orvStsOk || srcLen != 0) std::abort();
    const std::vector<std::uint8_t> whole(wholeStart, dst);

    // Pieces and room sizes from the mode byte: small, medium or mixed.
    Split split{mode * 2654435761u + static_cast<std::uint32_t>(size)};
    const std::uint32_t maxPiece = (mode & 3) == 0 ? 3 : (mode & 3) == 1 ? 40 : 2000;
    const std::uint32_t maxRoom = (mode & 12) == 0 ? 2 : (mode & 12) == 4 ? 30 : (mode & 12) == 8 ? 300 : 5000;
    // Every call moves the decoder's 32 KiB window, so only a run of
    // kSmallCalls calls takes the chosen piece and room sizes: it starts at
    // the stream start, or for half the modes at a stream position picked
    // from the mode byte.  The other calls take large pieces and rooms.
    constexpr int kSmallCalls = 24;
    const std::int32_t smallFrom =
        (mode & 16) && n > 0 ? static_cast<std::int32_t>(split.next(static_cast<std::uint32_t>(n))) - 1 : 0;
    int smallCalls = 0;
    std::vector<std::uint8_t> parts;
    std::int32_t pos = 0;
    bool more = true;
    while (more) {
        const bool small = pos >= smallFrom && smallCalls < kSmallCalls;
        const std::uint32_t pieceBound =
            small ? maxPiece : pos < smallFrom ? static_cast<std::uint32_t>(smallFrom - pos) : 2000;
        const std::int32_t piece = std::min<std::int32_t>(static_cast<std::int32_t>(split.next(pieceBound)), n - pos);
        more = pos + piece < n;
        src = stream + pos;
        srcLen = piece;
        orvStatus st;
        do {
            const bool smallRoom = small && smallCalls < kSmallCalls;
            smallCalls += small ? 1 : 0;
            const std::size_t roomSize = split.next(smallRoom ? maxRoom : 32768);
            std::uint8_t* const start = roomMem.end(roomSize);
            orvdc::fuzz::fillCanary(start, roomSize);
            dst = start;
            dstLen = static_cast<std::int32_t>(roomSize);
            st = orvsDecodeLZSS_8u(&src, &srcLen, &dst, &dstLen, st2);
            if (st == orvStsOk ? srcLen != 0 : (st != orvStsDstFull || dstLen != 0)) std::abort();
            orvdc::fuzz::requireCanary(start, static_cast<std::size_t>(dst - start), roomSize);
            parts.insert(parts.end(), start, dst);
            if (parts.size() > whole.size()) std::abort();
        } while (st == orvStsDstFull);
        pos += piece;
    }
    if (parts != whole) std::abort();
    return 0;
}
