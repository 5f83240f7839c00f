// The format layer's bzip2 decoders on arbitrary input: the whole input in
// one call and the streaming decoder fed in pieces of sizes taken from the
// input must agree on complete streams byte for byte.  Input and output sit
// against an inaccessible page, and no byte after the reported output may
// change.  The one-call decoder makes a decoder of its own per call (about
// 10 MB of buffers, which costs more than decoding a small input), so it
// gives the whole-input result for one input in 16; the others take it from
// a second decoder reused across runs and fed the input in one call.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats_fuzz_pieces.h"
#include "fuzz_guard.h"
#include "orvdc_formats.h"

namespace {

constexpr std::size_t kRoom = 1 << 18;

struct Decoder {
    OrvfBzip2Decoder* p = nullptr;
    Decoder() {
        if (orvfBzip2DecoderCreate(&p) != orvStsOk) std::abort();
    }
    ~Decoder() { orvfBzip2DecoderFree(p); }
};

// What the one-call decoder does, on a decoder kept across runs: streams
// one after another until the input ends or one fails.
orvStatus decodeWhole(OrvfBzip2Decoder* d, const std::uint8_t* src, std::size_t srcLen, std::size_t* used,
                      std::uint8_t* dst, std::size_t* dstLen) {
    if (orvfBzip2DecoderReset(d) != orvStsOk) std::abort();
    const std::uint8_t* in = src;
    std::size_t inLen = srcLen, room = *dstLen;
    std::uint8_t* out = dst;
    orvStatus st;
    do {
        st = orvfBzip2DecoderRun(d, &in, &inLen, &out, &room, 1);
    } while (st == orvStsStreamEnd && inLen != 0);
    *used = static_cast<std::size_t>(in - src);
    *dstLen -= room;
    return st == orvStsStreamEnd ? orvStsOk : st;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::size_t pieceIn = 1 + data[0] % 128;
    const std::size_t pieceOut = 1 + (data[1] & 0x1F) * (data[1] & 0x20 ? 1 : 997);
    const bool oneCall = (data[1] & 0xC0) == 0xC0 && (data[0] & 0x80) != 0;
    static orvdc::fuzz::PageEnd srcMem, dstMem;
    static Decoder decoder, wholeDecoder;
    const std::uint8_t* src = srcMem.place(data + 2, size - 2);
    const std::size_t srcLen = size - 2;

    std::uint8_t* dst = dstMem.end(kRoom);
    orvdc::fuzz::fillCanary(dst, kRoom);
    std::size_t used = 0, outLen = kRoom;
    const orvStatus whole = oneCall ? orvfBzip2Decompress(src, srcLen, &used, dst, &outLen)
                                    : decodeWhole(wholeDecoder.p, src, srcLen, &used, dst, &outLen);
    if (outLen > kRoom || used > srcLen) std::abort();
    orvdc::fuzz::requireCanary(dst, outLen, kRoom);
    const std::vector<std::uint8_t> expected(dst, dst + outLen);

    if (orvfBzip2DecoderReset(decoder.p) != orvStsOk) std::abort();
    std::vector<std::uint8_t> out;
    orvdc::fuzz::decodeInPieces(
        [&](const std::uint8_t** q, std::size_t* left, std::uint8_t** d, std::size_t* room, bool last) {
            return orvfBzip2DecoderRun(decoder.p, q, left, d, room, last);
        },
        [&](orvStatus s, std::size_t pos) { return (s == orvStsSrcEnd || s == orvStsStreamEnd) && pos < srcLen; },
        src, srcLen, pieceIn, pieceOut, kRoom, out);
    if (whole == orvStsOk && out.size() <= kRoom && out != expected) std::abort();
    return 0;
}
