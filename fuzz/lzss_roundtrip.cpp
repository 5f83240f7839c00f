// LZSS encoder and decoder together: any data, encoded in arbitrary calls
// with arbitrary destination room and flushed the same way, decodes back to
// itself, and the stream does not depend on the destination room.  The
// first input byte seeds the split sizes; the rest is the data.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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

// Encodes data in calls of callSize() bytes with room() bytes of room each.
template <class CallSize, class Room>
std::vector<std::uint8_t> encode(LZSSState* st, const std::uint8_t* data, std::int32_t n, CallSize callSize,
                                 Room room) {
    if (orvsEncodeLZSSInit_8u(st) != orvStsOk) std::abort();
    // Every call's room ends right before an inaccessible page, and the
    // bytes after what the call reports keep their canary.
    static orvdc::fuzz::PageEnd roomMem;
    std::vector<std::uint8_t> out;
    for (std::int32_t pos = 0; pos < n;) {
        const std::int32_t call = std::min<std::int32_t>(callSize(), n - pos);
        const std::uint8_t* src = data + pos;
        std::int32_t srcLen = call;
        while (srcLen > 0) {
            const std::size_t n0 = room();
            std::uint8_t* const start = roomMem.end(n0);
            orvdc::fuzz::fillCanary(start, n0);
            std::uint8_t* dst = start;
            auto dstLen = static_cast<std::int32_t>(n0);
            const orvStatus s = orvsEncodeLZSS_8u(&src, &srcLen, &dst, &dstLen, st);
            if (s == orvStsOk ? srcLen != 0 : (s != orvStsDstFull || dstLen != 0)) std::abort();
            orvdc::fuzz::requireCanary(start, static_cast<std::size_t>(dst - start), n0);
            out.insert(out.end(), start, dst);
        }
        pos += call;
    }
    for (;;) {
        const std::size_t n0 = room();
        std::uint8_t* const start = roomMem.end(n0);
        orvdc::fuzz::fillCanary(start, n0);
        std::uint8_t* dst = start;
        auto dstLen = static_cast<std::int32_t>(n0);
        const orvStatus s = orvsEncodeLZSSFlush_8u(&dst, &dstLen, st);
        orvdc::fuzz::requireCanary(start, static_cast<std::size_t>(dst - start), n0);
        out.insert(out.end(), start, dst);
        if (s == orvStsOk) break;
        if (s != orvStsDstFull || dstLen != 0) std::abort();
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 2 || size > 200000) return 0;
    const std::uint8_t mode = input[0];
    static orvdc::fuzz::PageEnd dataMem, backMem;
    const std::uint8_t* data = dataMem.place(input + 1, size - 1);  // ends before an inaccessible page
    const auto n = static_cast<std::int32_t>(size - 1);
    static std::vector<std::uint8_t> mem(kStateBytes + 8, 0);  // kept across runs; Init prepares it
    auto* st = reinterpret_cast<LZSSState*>(mem.data() + 4);

    const std::uint32_t maxCall = (mode & 3) == 0 ? 4 : (mode & 3) == 1 ? 100 : 40000;
    const std::uint32_t maxRoom = (mode & 12) == 0 ? 2 : (mode & 12) == 4 ? 20 : 3000;
    Split calls{mode * 40503u + 7u};
    Split rooms{mode * 2654435761u + static_cast<std::uint32_t>(size)};
    const auto stream = encode(st, data, n, [&] { return static_cast<std::int32_t>(calls.next(maxCall)); },
                               [&] { return rooms.next(maxRoom); });
    // The same calls with ample room give the same stream.
    calls = Split{mode * 40503u + 7u};
    const auto ample = encode(st, data, n, [&] { return static_cast<std::int32_t>(calls.next(maxCall)); },
                              [&] { return static_cast<std::uint32_t>(size) * 2 + 16; });
    if (ample != stream) std::abort();

    if (orvsDecodeLZSSInit_8u(st) != orvStsOk) std::abort();
    std::uint8_t* back = backMem.end(static_cast<std::size_t>(n) + 1);
    const std::uint8_t* src = dataMem.place(stream.data(), stream.size());
    auto srcLen = static_cast<std::int32_t>(stream.size());
    std::uint8_t* dst = back;
    auto dstLen = n + 1;
    if (orvsDecodeLZSS_8u(&src, &srcLen, &dst, &dstLen, st) != orvStsOk || dstLen != 1) std::abort();
    if (std::memcmp(back, input + 1, static_cast<std::size_t>(n)) != 0) std::abort();
    return 0;
}
