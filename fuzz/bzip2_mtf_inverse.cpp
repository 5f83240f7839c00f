// Move-to-front inverse on arbitrary positions and an arbitrary starting
// list, in pieces whose sizes the input chooses: the same output as one call,
// and, from a fresh state, the forward transform gives the positions back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "orvdc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 257) return 0;
    const std::uint8_t piece = data[0];
    const std::vector<std::uint8_t> src(data + 257, data + size);
    if (src.empty()) return 0;
    const auto n = static_cast<std::int32_t>(src.size());

    std::uint8_t whole[256], split[256];
    std::memcpy(whole, data + 1, 256);
    std::memcpy(split, data + 1, 256);
    std::vector<std::uint8_t> a(src.size()), b(src.size());
    if (orvsMTFInv_8u(src.data(), a.data(), n, reinterpret_cast<MTFState*>(whole)) != orvStsOk) std::abort();
    for (std::int32_t pos = 0; pos < n;) {
        const std::int32_t len = n - pos < 1 + piece ? n - pos : 1 + piece;
        if (orvsMTFInv_8u(src.data() + pos, b.data() + pos, len, reinterpret_cast<MTFState*>(split)) != orvStsOk) {
            std::abort();
        }
        pos += len;
    }
    if (a != b || std::memcmp(whole, split, 256) != 0) std::abort();

    // From fresh states the two directions are inverses of each other.
    std::uint8_t inv[256], fwd[256];
    orvsMTFInit_8u(reinterpret_cast<MTFState*>(inv));
    orvsMTFInit_8u(reinterpret_cast<MTFState*>(fwd));
    std::vector<std::uint8_t> bytes(src.size()), back(src.size());
    orvsMTFInv_8u(src.data(), bytes.data(), n, reinterpret_cast<MTFState*>(inv));
    orvsMTFFwd_8u(bytes.data(), back.data(), n, reinterpret_cast<MTFState*>(fwd));
    if (back != src) std::abort();
    return 0;
}
