// The format layer's deflate decoders (raw, zlib, gzip) on arbitrary input:
// the one-call decoder and the streaming one, fed in pieces of sizes taken
// from the input, must agree on the status class and, for complete streams,
// on every byte.  Input and output sit against an inaccessible page, and no
// byte after the reported output may change.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats_fuzz_pieces.h"
#include "fuzz_guard.h"
#include "orvdc_formats.h"

namespace {

constexpr std::size_t kRoom = 1 << 16;

struct Inflaters {
    OrvfInflater* byFormat[3] = {};
    Inflaters() {
        for (int f = 0; f < 3; ++f) {
            if (orvfInflaterCreate(f, &byFormat[f]) != orvStsOk) std::abort();
        }
    }
    ~Inflaters() {
        for (OrvfInflater* p : byFormat) orvfInflaterFree(p);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const OrvfFormat format = data[0] % 3;
    // Small pieces of room test the resumption; large ones keep long outputs fast.
    const std::size_t pieceIn = 1 + data[1] % 64;
    const std::size_t pieceOut = 1 + (data[2] & 0x1F) * (data[2] & 0x20 ? 1 : 211);
    static orvdc::fuzz::PageEnd srcMem, dstMem;
    static Inflaters inflaters;
    const std::uint8_t* src = srcMem.place(data + 3, size - 3);
    const std::size_t srcLen = size - 3;

    // One call.
    std::uint8_t* dst = dstMem.end(kRoom);
    orvdc::fuzz::fillCanary(dst, kRoom);
    std::size_t used = 0, outLen = kRoom;
    const orvStatus whole = orvfInflate(format, src, srcLen, &used, dst, &outLen);
    if (outLen > kRoom || used > srcLen) std::abort();
    orvdc::fuzz::requireCanary(dst, outLen, kRoom);
    const std::vector<std::uint8_t> expected(dst, dst + outLen);

    // Streaming, in small pieces of input and room.
    OrvfInflater* inf = inflaters.byFormat[format];
    if (orvfInflaterReset(inf) != orvStsOk) std::abort();
    std::vector<std::uint8_t> out;
    const orvStatus s = orvdc::fuzz::decodeInPieces(
        [&](const std::uint8_t** q, std::size_t* left, std::uint8_t** d, std::size_t* room, bool) {
            return orvfInflaterRun(inf, q, left, d, room);
        },
        [&](orvStatus st, std::size_t pos) {
            return pos < srcLen && (st == orvStsSrcEnd || (st == orvStsStreamEnd && format == orvfGzip));
        },
        src, srcLen, pieceIn, pieceOut, kRoom, out);
    // A stream the one call decoded completely decodes the same way in pieces.
    if (whole == orvStsOk && out.size() <= kRoom) {
        if (out != expected) std::abort();
        if (s != orvStsStreamEnd && !(format == orvfGzip && used < srcLen)) std::abort();
    }
    return 0;
}
