// Arbitrary input through the deflate decoder: the one-pass path and the
// pair path (each with call sizes chosen by the input) never crash or hang,
// and when both reach the end of the stream they agree on every byte and on
// where the stream ends.
#include "lz77_decode_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint32_t seed = data[0] | (data[1] << 8);
    static orvdc::fuzz::PageEnd srcMem;
    size -= 2;
    data = srcMem.place(data + 2, size);  // the stream ends right before an inaccessible page
    using orvdc::fuzz::DecodePath;
    const auto big = orvdc::fuzz::decodeAll(data, size, DecodePath::OnePass, seed, 1u << 20, 1u << 16);
    const auto onePass = orvdc::fuzz::decodeAll(data, size, DecodePath::OnePass, seed, 1 + seed % 64, 1 + seed % 300);
    const auto pairs = orvdc::fuzz::decodeAll(data, size, DecodePath::Pairs, seed, 1 + seed % 37, 1 + seed % 500);
    const auto mixed = orvdc::fuzz::decodeAll(data, size, DecodePath::Mixed, seed, 1 + seed % 23, 1 + seed % 100);
    for (const auto* r : {&onePass, &pairs, &mixed}) {
        if ((r->status == orvStsStreamEnd) != (big.status == orvStsStreamEnd)) std::abort();
        if (big.status == orvStsStreamEnd && (r->out != big.out || r->used != big.used)) std::abort();
    }
    return 0;
}
