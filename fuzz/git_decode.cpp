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
#include "fuzz_guard.h"
#include "orvdc.h"

namespace {

using orvdc::test::git::Bytes;

// Output room and encoded sources stay small: the encoder, the decoder and
// the reference all cost in proportion to them.
constexpr std::int32_t kMaxOut = 2048;

constexpr std::int32_t kMaxSource = 1024;
constexpr std::int32_t kMaxBlock = 8 * kMaxSource + 8192;

// One encoder state and block buffer for every run: sources of up to
// kMaxSource bytes always fit.
Bytes encodeSource(const std::uint8_t* data, std::size_t size, int strategy) {
    static Bytes memory;
    static Bytes block(kMaxBlock);
    if (memory.empty()) {
        std::int32_t bytes = 0;
        if (orvsEncodeGITGetSize_8u(kMaxSource, kMaxBlock, &bytes) < 0) std::abort();
        memory.resize(static_cast<std::size_t>(bytes) + 4);
    }
    auto* st = reinterpret_cast<GITState*>(memory.data() + 4);
    if (orvsEncodeGITInit_8u(kMaxSource, kMaxBlock, st) < 0) std::abort();
    std::int32_t len = 0;
    const std::uint8_t none = 0;
    const auto n = static_cast<std::int32_t>(size);
    const orvStatus s = orvsEncodeGIT_8u(size ? data : &none, n, block.data(), &len, strategy, st);
    if (s != orvStsOk) std::abort();  // every source fits these sizes
    return Bytes(block.begin(), block.begin() + len);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 2 + 2 * kMaxOut) return 0;
    static const int kStrategyOf[8] = {0, 1, 2, 3, 4, -1, 1, 2};
    const int strategy = kStrategyOf[data[0] & 7];
    const std::int32_t maxOut = 1 + ((data[0] >> 3) * 131) % kMaxOut;
    Bytes block;
    std::size_t sourceLen = 0;
    const bool intact = (data[1] & 1) && ((data[1] >> 1) & 3) == 0;
    if (data[1] & 1) {
        sourceLen = size - 2 > kMaxSource ? kMaxSource : size - 2;
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

    static Bytes memory;
    if (memory.empty()) {
        std::int32_t stateSize = 0;
        orvsDecodeGITGetSize_8u(1, &stateSize);
        memory.resize(static_cast<std::size_t>(stateSize) + 4);
    }
    auto* st = reinterpret_cast<GITState*>(memory.data() + 4);
    if (orvsDecodeGITInit_8u(maxOut, st) != orvStsOk) std::abort();
    // The block and the output room end right before an inaccessible page;
    // output bytes past the reported length keep their canary.
    static orvdc::fuzz::PageEnd srcMem, outMem;
    const std::uint8_t* src = srcMem.place(block.data(), block.size());
    std::uint8_t* out = outMem.end(static_cast<std::size_t>(maxOut));
    orvdc::fuzz::fillCanary(out, static_cast<std::size_t>(maxOut));
    std::int32_t outLen = -1;
    const orvStatus s = orvsDecodeGIT_8u(src, static_cast<std::int32_t>(block.size()), out, &outLen, strategy, st);
    if (s != orvStsOk && s != orvStsBadSize) std::abort();
    if (s == orvStsOk && outLen >= 0 && outLen <= maxOut) {
        orvdc::fuzz::requireCanary(out, static_cast<std::size_t>(outLen), static_cast<std::size_t>(maxOut));
    }

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
