// Encoding arbitrary bytes with a code built from their own frequencies, in
// pieces, then decoding with the exact symbol count, gives the bytes back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const unsigned step = 1 + data[0] % 61;
    // Source, stream and output end right before an inaccessible page.
    static orvdc::fuzz::PageEnd srcMem, streamMem, outMem;
    const std::uint8_t* body = srcMem.place(data + 1, size - 1);
    const std::size_t n = size - 1;
    std::int32_t freq[256] = {};
    for (std::size_t i = 0; i < n; ++i) ++freq[body[i]];
    HuffState* enc = nullptr;
    if (orvsEncodeHuffInitAlloc_8u(freq, &enc) != orvStsOk) std::abort();
    std::int32_t len[256];
    orvsHuffGetLenCodeTable_8u(len, enc);
    std::int32_t bound = 0;
    if (orvsHuffGetDstBuffSize_8u(len, static_cast<std::int32_t>(n), &bound, nullptr) != orvStsOk) std::abort();

    // Every piece writes at the stream's end so far; nothing after that may
    // change.
    const auto room = static_cast<std::size_t>(bound);
    std::uint8_t* area = streamMem.end(room);
    orvdc::fuzz::fillCanary(area, room);
    std::size_t written = 0;
    for (std::size_t pos = 0; pos < n; pos += step) {
        const std::size_t take = n - pos < step ? n - pos : step;
        std::int32_t w = 0;
        if (orvsEncodeHuff_8u(body + pos, static_cast<std::int32_t>(take), area + written, &w, enc) != orvStsOk)
            std::abort();
        written += static_cast<std::size_t>(w);
        if (written > room) std::abort();
        orvdc::fuzz::requireCanary(area, written, room);
    }
    std::vector<std::uint8_t> stream(area, area + written);
    std::uint8_t tail[4];
    std::int32_t t = 0;
    orvsEncodeHuffFinal_8u(tail, &t, enc);
    if (written + static_cast<std::size_t>(t) > room) std::abort();
    stream.insert(stream.end(), tail, tail + t);
    orvsHuffFree_8u(enc);
    if (stream.empty()) std::abort();

    HuffState* dec = nullptr;
    if (orvsDecodeHuffInitAlloc_8u(len, &dec) != orvStsOk) std::abort();
    std::uint8_t* out = outMem.end(n);
    std::int32_t cap = static_cast<std::int32_t>(n);
    const std::uint8_t* coded = streamMem.place(stream.data(), stream.size());
    if (orvsDecodeHuff_8u(coded, static_cast<std::int32_t>(stream.size()), out, &cap, dec) != orvStsOk) std::abort();
    orvsHuffFree_8u(dec);
    if (cap != static_cast<std::int32_t>(n) || std::memcmp(out, data + 1, n) != 0) std::abort();
    return 0;
}
