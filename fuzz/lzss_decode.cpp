// The LZSS decoder on arbitrary streams: it never reads or writes outside
// its buffers, and feeding the stream in arbitrary pieces with arbitrary
// destination room gives the same bytes as one call.  The first input byte
// seeds the split sizes; the rest is the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

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
    if (size < 1 || size > 65536) return 0;
    const std::uint8_t mode = data[0];
    const std::uint8_t* stream = data + 1;
    const auto n = static_cast<std::int32_t>(size - 1);

    // Zeroed state memory, so bytes read from behind the stream start are
    // the same in both runs.  Placed 4 bytes past an 8-byte boundary.
    std::vector<std::uint8_t> mem1(kStateBytes + 8, 0), mem2(kStateBytes + 8, 0);
    auto* st1 = reinterpret_cast<LZSSState*>(mem1.data() + 4);
    auto* st2 = reinterpret_cast<LZSSState*>(mem2.data() + 4);
    if (orvsDecodeLZSSInit_8u(st1) != orvStsOk || orvsDecodeLZSSInit_8u(st2) != orvStsOk) std::abort();

    // One call: every 24 bits make at most 258 bytes.
    std::vector<std::uint8_t> whole(static_cast<std::size_t>(n) / 3 * 258 + 300);
    const std::uint8_t* src = stream;
    std::int32_t srcLen = n;
    std::uint8_t* dst = whole.data();
    std::int32_t dstLen = static_cast<std::int32_t>(whole.size());
    if (orvsDecodeLZSS_8u(&src, &srcLen, &dst, &dstLen, st1) != orvStsOk || srcLen != 0) std::abort();
    whole.resize(whole.size() - static_cast<std::size_t>(dstLen));

    // Pieces and room sizes from the mode byte: small, medium or mixed.
    Split split{mode * 2654435761u + static_cast<std::uint32_t>(size)};
    const std::uint32_t maxPiece = (mode & 3) == 0 ? 3 : (mode & 3) == 1 ? 40 : 2000;
    const std::uint32_t maxRoom = (mode & 12) == 0 ? 2 : (mode & 12) == 4 ? 30 : (mode & 12) == 8 ? 300 : 5000;
    std::vector<std::uint8_t> parts;
    std::vector<std::uint8_t> room;
    std::int32_t pos = 0;
    bool more = true;
    while (more) {
        const std::int32_t piece = std::min<std::int32_t>(static_cast<std::int32_t>(split.next(maxPiece)), n - pos);
        more = pos + piece < n;
        src = stream + pos;
        srcLen = piece;
        orvStatus st;
        do {
            room.resize(split.next(maxRoom));
            dst = room.data();
            dstLen = static_cast<std::int32_t>(room.size());
            st = orvsDecodeLZSS_8u(&src, &srcLen, &dst, &dstLen, st2);
            if (st == orvStsOk ? srcLen != 0 : (st != orvStsDstFull || dstLen != 0)) std::abort();
            parts.insert(parts.end(), room.begin(), room.begin() + (dst - room.data()));
            if (parts.size() > whole.size()) std::abort();
        } while (st == orvStsDstFull);
        pos += piece;
    }
    if (parts != whole) std::abort();
    return 0;
}
