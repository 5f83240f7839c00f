// The checksums give the same value however the input is split and whichever
// kernels the processor features allow.  The first byte chooses the number of
// split points and the feature set of the split run; the whole run uses all
// the processor has.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/cpu_features.h"
#include "fuzz_guard.h"
#include "orvdc.h"

namespace {

namespace cpu = orvdc::cpu;

constexpr std::uint32_t kFeatureSets[] = {
    0,
    cpu::kSsse3,
    cpu::kSsse3 | cpu::kSse41 | cpu::kPclmul,
    cpu::kSsse3 | cpu::kSse41 | cpu::kPclmul | cpu::kAvx2,
    cpu::kSsse3 | cpu::kSse41 | cpu::kPclmul | cpu::kAvx2 | cpu::kVpclmul,
    cpu::kSsse3 | cpu::kSse41 | cpu::kPclmul | cpu::kAvx2 | cpu::kVpclmul | cpu::kAvx512,
    ~0u,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const unsigned cuts = data[0] % 8;
    const std::uint32_t features = kFeatureSets[(data[0] / 8) % std::size(kFeatureSets)];
    // The whole input, and then every piece, ends right before an
    // inaccessible page, so the kernels' last loads are checked at every
    // length.
    static orvdc::fuzz::PageEnd mem, pieceMem;
    const std::uint8_t* body = mem.place(data + 1, size - 1);
    const auto n = static_cast<std::int32_t>(size - 1);

    cpu::restrictFeaturesForTesting(~0u);
    std::uint32_t whole[3] = {0, 0, 1};
    orvsCRC32_8u(body, n, &whole[0]);
    orvsCRC32_BZ2_8u(body, n, &whole[1]);
    orvsAdler32_8u(body, n, &whole[2]);

    cpu::restrictFeaturesForTesting(features);
    std::uint32_t parts[3] = {0, 0, 1};
    std::int32_t pos = 0;
    std::uint32_t seed = data[0] * 2654435761u + static_cast<std::uint32_t>(size);
    for (unsigned c = 0; c <= cuts && pos < n; ++c) {
        seed = seed * 1103515245u + 12345u;
        std::int32_t len = (c == cuts) ? n - pos : 1 + static_cast<std::int32_t>(seed % static_cast<std::uint32_t>(n - pos));
        const std::uint8_t* piece = pieceMem.place(body + pos, static_cast<std::size_t>(len));
        orvsCRC32_8u(piece, len, &parts[0]);
        orvsCRC32_BZ2_8u(piece, len, &parts[1]);
        orvsAdler32_8u(piece, len, &parts[2]);
        pos += len;
    }
    for (int k = 0; k < 3; ++k) {
        if (parts[k] != whole[k]) std::abort();
    }
    return 0;
}
