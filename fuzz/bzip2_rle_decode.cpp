// Byte run-length decoder on arbitrary bytes: any destination size, exact
// buffers (ASan sees every overrun), consistent in/out updates, and calls
// continued after a full destination always reach the end of the source.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t room = 1 + data[0] % 64;
    // Source and destination end right before an inaccessible page; the
    // destination bytes after the reported output keep their canary.
    static orvdc::fuzz::PageEnd srcMem, dstMem;
    const std::vector<std::uint8_t> src(data + 1, data + size);
    const std::uint8_t* p = srcMem.place(src.data(), src.size());
    auto left = static_cast<std::int32_t>(src.size());
    const std::size_t dstSize = room + 257 * (data[0] >> 6);
    while (left > 0) {
        std::uint8_t* dst = dstMem.end(dstSize);
        orvdc::fuzz::fillCanary(dst, dstSize);
        auto dstLen = static_cast<std::int32_t>(dstSize);
        const std::int32_t before = left;
        const std::uint8_t* const start = p;
        const orvStatus s = orvsDecodeRLE_8u(&p, &left, dst, &dstLen);
        if (s != (left != 0 ? orvStsDstFull : orvStsOk)) std::abort();
        if (p - start != before - left || dstLen < 0 || static_cast<std::size_t>(dstLen) > dstSize) std::abort();
        orvdc::fuzz::requireCanary(dst, static_cast<std::size_t>(dstLen), dstSize);
        if (p == start) {
            // Only a pair whose run needs more room stops a call at its start.
            if (dstSize >= 257) std::abort();
            break;
        }
    }
    // Whatever decodes, encodes and decodes back to itself.
    std::vector<std::uint8_t> plain(src.size() * 129 + 1);
    const std::uint8_t* q = src.data();
    auto qLen = static_cast<std::int32_t>(src.size());
    auto plainLen = static_cast<std::int32_t>(plain.size());
    if (orvsDecodeRLE_8u(&q, &qLen, plain.data(), &plainLen) != orvStsOk) std::abort();
    std::vector<std::uint8_t> enc(static_cast<std::size_t>(plainLen) * 2 + 1);
    const std::uint8_t* e = plain.data();
    auto eLen = plainLen;
    auto encLen = static_cast<std::int32_t>(enc.size());
    if (orvsEncodeRLE_8u(&e, &eLen, enc.data(), &encLen) != orvStsOk) std::abort();
    std::vector<std::uint8_t> again(static_cast<std::size_t>(plainLen));
    const std::uint8_t* a = enc.data();
    auto aLen = encLen;
    auto againLen = plainLen;
    if (orvsDecodeRLE_8u(&a, &aLen, again.data(), &againLen) != orvStsOk || againLen != plainLen) std::abort();
    for (std::int32_t k = 0; k < plainLen; ++k) {
        if (again[static_cast<std::size_t>(k)] != plain[static_cast<std::size_t>(k)]) std::abort();
    }
    return 0;
}
