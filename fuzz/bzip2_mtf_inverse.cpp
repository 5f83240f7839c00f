// Move-to-front inverse on arbitrary positions and an arbitrary starting
// list, in pieces whose sizes the input chooses: the same output as one call,
// and, from a fresh state, the forward transform gives the positions back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_guard.h"
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
    // The positions and the output end right before an inaccessible page,
    // and so does every piece of the split run.
    static orvdc::fuzz::PageEnd srcMem, outMem, pieceMem, pieceOutMem;
    std::vector<std::uint8_t> b(src.size());
    std::uint8_t* a = outMem.end(src.size());
    if (orvsMTFInv_8u(srcMem.place(src.data(), src.size()), a, n, reinterpret_cast<MTFState*>(whole)) != orvStsOk) {
        std::abort();
    }
    for (std::int32_t pos = 0; pos < n;) {
        const std::int32_t len = n - pos < 1 + piece ? n - pos : 1 + piece;
        const auto k = static_cast<std::size_t>(len);
        std::uint8_t* out = pieceOutMem.end(k);
        if (orvsMTFInv_8u(pieceMem.place(src.data() + pos, k), out, len, reinterpret_cast<MTFState*>(split)) != orvStsOk) {
            std::abort();
        }
        std::memcpy(b.data() + pos, out, k);
        pos += len;
    }
    if (std::memcmp(a, b.data(), src.size()) != 0 || std::memcmp(whole, split, 256) != 0) std::abort();

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
