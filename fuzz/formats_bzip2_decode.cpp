// The format layer's bzip2 decoders on arbitrary input: the one-call decoder
// and the streaming one, fed in pieces of sizes taken from the input, must
// agree on complete streams byte for byte.  Input and output sit against an
// inaccessible page, and no byte after the reported output may change.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::size_t pieceIn = 1 + data[0] % 128;
    const std::size_t pieceOut = 1 + (data[1] & 0x1F) * (data[1] & 0x20 ? 1 : 997);
    static orvdc::fuzz::PageEnd srcMem, dstMem, pieceMem;
    static Decoder decoder;
    const std::uint8_t* src = srcMem.place(data + 2, size - 2);
    const std::size_t srcLen = size - 2;

    std::uint8_t* dst = dstMem.end(kRoom);
    orvdc::fuzz::fillCanary(dst, kRoom);
    std::size_t used = 0, outLen = kRoom;
    const orvStatus whole = orvfBzip2Decompress(src, srcLen, &used, dst, &outLen);
    if (outLen > kRoom || used > srcLen) std::abort();
    orvdc::fuzz::requireCanary(dst, outLen, kRoom);
    const std::vector<std::uint8_t> expected(dst, dst + outLen);

    if (orvfBzip2DecoderReset(decoder.p) != orvStsOk) std::abort();
    std::vector<std::uint8_t> out;
    std::size_t pos = 0;
    orvStatus s = orvStsSrcEnd;
    for (int guard = 0; guard < 1000000; ++guard) {
        const std::size_t n = std::min(pieceIn, srcLen - pos);
        const std::uint8_t* p = pieceMem.place(src + pos, n);
        const std::uint8_t* q = p;
        std::size_t left = n;
        std::uint8_t* room = dstMem.end(pieceOut);
        orvdc::fuzz::fillCanary(room, pieceOut);
        std::uint8_t* d = room;
        std::size_t roomLen = pieceOut;
        s = orvfBzip2DecoderRun(decoder.p, &q, &left, &d, &roomLen, pos + n == srcLen);
        const auto wrote = static_cast<std::size_t>(d - room);
        if (wrote + roomLen != pieceOut || static_cast<std::size_t>(q - p) + left != n) std::abort();
        orvdc::fuzz::requireCanary(room, wrote, pieceOut);
        out.insert(out.end(), room, d);
        pos += static_cast<std::size_t>(q - p);
        if (out.size() > kRoom) break;
        if (s == orvStsDstFull) continue;
        if ((s == orvStsSrcEnd || s == orvStsStreamEnd) && pos < srcLen) continue;
        break;
    }
    if (whole == orvStsOk && out.size() <= kRoom && out != expected) std::abort();
    return 0;
}
