// The GIT decoder on arbitrary blocks and strategies.  The first input byte
// picks the strategy and the output room; with the second byte's low bit set
// the rest of the input is a source that is encoded first and its block
// damaged at a few places, so that deep decoding paths are reached too.  The
// library must agree with the rank-scanning reference decoder on every block:
// same acceptance, same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../tests/git/git_reference.h"
#include "orvdc.h"

namespace {

using orvdc::test::git::Bytes;

constexpr std::int32_t kMaxOut = 4096;

Bytes encodeSource(const std::uint8_t* data, std::size_t size, int strategy) {
    GITState* st = nullptr;
    const auto n = static_cast<std::int32_t>(size);
    if (orvsEncodeGITInitAlloc_8u(n < 1 ? 1 : n, 8 * n + 8192, &st) < 0) return {};
    Bytes block(static_cast<std::size_t>(8 * n + 8192));
    std::int32_t len = 0;
    const std::uint8_t none = 0;
    const orvStatus s = orvsEncodeGIT_8u(size ? data : &none, n, block.data(), &len, strategy, st);
    orvsGITFree_8u(st);
    if (s != orvStsOk) std::abort();  // every source fits these sizes
    block.resize(static_cast<std::size_t>(len));
    return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 20000) return 0;
    static const int kStrategyOf[8] = {0, 1, 2, 3, 4, -1, 1, 2};
    const int strategy = kStrategyOf[data[0] & 7];
    const std::int32_t maxOut = 1 + ((data[0] >> 3) * 131) % kMaxOut;
    Bytes block;
    std::size_t sourceLen = 0;
    const bool intact = (data[1] & 1) && ((data[1] >> 1) & 3) == 0;
    if (data[1] & 1) {
        sourceLen = size - 2 > 3000 ? 3000 : size - 2;
        block = encodeSource(data + 2, sourceLen, strategy);
        // Damage: bits of data[1] choose up to three positions to flip.
        std::uint32_t seed = static_cast<std::uint32_t>(size) * 2654435761u + data[1];
        for (int f = 0; f < ((data[1] >> 1) & 3); ++f) {
            seed = seed * 1103515245u + 12345u;
            block[(seed >> 8) % block.size()] ^= static_cast<std::uint8_t>(1u << (seed & 7));
        }
    } else {
        block.assign(data + 2, data + size);
    }
    if (block.empty()) return 0;

    std::int32_t stateSize = 0;
    orvsDecodeGITGetSize_8u(1, &stateSize);
    std::vector<std::uint8_t> memory(static_cast<std::size_t>(stateSize) + 4);
    auto* st = reinterpret_cast<GITState*>(memory.data() + 4);
    if (orvsDecodeGITInit_8u(maxOut, st) != orvStsOk) std::abort();
    // Exactly the block's bytes on the heap, so any overread is caught.
    std::vector<std::uint8_t> src(block);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(maxOut));
    std::int32_t outLen = -1;
    const orvStatus s =
        orvsDecodeGIT_8u(src.data(), static_cast<std::int32_t>(src.size()), out.data(), &outLen, strategy, st);
    if (s != orvStsOk && s != orvStsBadSize) std::abort();

    const auto ref = orvdc::test::git::referenceDecode(block.data(), block.size(), strategy,
                                                       static_cast<std::size_t>(maxOut));
    if ((s == orvStsOk) != ref.ok) std::abort();
    // An undamaged block within the output room decodes to its source.
    if (intact && sourceLen <= static_cast<std::size_t>(maxOut)) {
        if (s != orvStsOk || static_cast<std::size_t>(outLen) != sourceLen) std::abort();
        for (std::size_t i = 0; i < sourceLen; ++i) {
            if (out[i] != data[2 + i]) std::abort();
        }
    }
    if (s == orvStsOk) {
        if (outLen < 0 || static_cast<std::size_t>(outLen) != ref.bytes.size()) std::abort();
        for (std::size_t i = 0; i < ref.bytes.size(); ++i) {
            if (out[i] != ref.bytes[i]) std::abort();
        }
    }
    return 0;
}
