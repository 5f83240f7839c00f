// Move-to-front forward transform from any starting state (a permutation or
// not) over any split of the source into calls: the same output and final
// state as one call, both forward kernels agree where the state is a
// permutation, and the inverse from the matching list gives the source back.
// Source and destination end right before an inaccessible page.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bwt/mtf_internal.h"
#include "fuzz_guard.h"
#include "orvdc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 258 || size > 65536 + 258) return 0;
    static orvdc::fuzz::PageEnd srcMem, dstMem;
    const std::uint8_t piece = data[0];
    const bool identity = data[1] & 1;
    const std::size_t n = size - 258;
    if (n == 0) return 0;
    const std::uint8_t* src = srcMem.place(data + 258, n);

    std::uint8_t start[256], whole[256], split[256];
    if (identity) {
        for (int i = 0; i < 256; ++i) start[i] = static_cast<std::uint8_t>(i);
    } else {
        std::memcpy(start, data + 2, 256);
    }
    std::memcpy(whole, start, 256);
    std::memcpy(split, start, 256);
    std::vector<std::uint8_t> a(n);
    const auto len = static_cast<std::int32_t>(n);
    if (orvsMTFFwd_8u(src, a.data(), len, reinterpret_cast<MTFState*>(whole)) != orvStsOk) std::abort();
    std::uint8_t* b = dstMem.end(n);
    for (std::size_t pos = 0; pos < n;) {
        const std::size_t k = std::min<std::size_t>(n - pos, 1 + piece * (piece & 1 ? 1 : 37));
        if (orvsMTFFwd_8u(src + pos, b + pos, static_cast<std::int32_t>(k), reinterpret_cast<MTFState*>(split)) != orvStsOk) {
            std::abort();
        }
        pos += k;
    }
    if (std::memcmp(a.data(), b, n) != 0 || std::memcmp(whole, split, 256) != 0) std::abort();

    // Where the starting state is a permutation: the list kernel agrees and
    // the inverse from the matching list restores the source.
    alignas(16) std::uint8_t list[256];
    if (!orvdc::mtf::ranksToList(start, list)) return 0;
    alignas(16) std::uint8_t listCopy[256];
    std::memcpy(listCopy, list, 256);
    orvdc::mtf::forwardList(src, b, n, list);
    if (std::memcmp(a.data(), b, n) != 0) std::abort();
    if (orvsMTFInv_8u(srcMem.place(a.data(), n), b, len, reinterpret_cast<MTFState*>(listCopy)) != orvStsOk) std::abort();
    if (std::memcmp(b, data + 258, n) != 0) std::abort();
    return 0;
}
