// bzip2 run-length decoder on arbitrary bytes with any destination size:
// exact buffers, consistent in/out updates; with a destination as large as
// the decoded block the call succeeds, and re-encoding gives back the source
// when the source is canonical encoder output.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::vector<std::uint8_t> src(data + 1, data + size);
    const std::size_t room = 1 + data[0];
    {
        // Source and destination end right before an inaccessible page; the
        // destination bytes after the reported output keep their canary.
        static orvdc::fuzz::PageEnd srcMem, dstMem;
        const std::uint8_t* const at = srcMem.place(src.data(), src.size());
        std::uint8_t* dst = dstMem.end(room);
        orvdc::fuzz::fillCanary(dst, room);
        const std::uint8_t* p = at;
        auto left = static_cast<std::int32_t>(src.size());
        auto dstLen = static_cast<std::int32_t>(room);
        const orvStatus s = orvsDecodeRLE_BZ2_8u(&p, &left, dst, &dstLen);
        if (s != orvStsOk && s != orvStsDstFull) std::abort();
        if (p - at != static_cast<std::int32_t>(src.size()) - left) std::abort();
        if (dstLen < 0 || static_cast<std::size_t>(dstLen) > room) std::abort();
        if (s == orvStsOk && left != 0) std::abort();
        orvdc::fuzz::requireCanary(dst, static_cast<std::size_t>(dstLen), room);
    }
    std::vector<std::uint8_t> plain(src.size() * 64 + 1);
    const std::uint8_t* p = src.data();
    auto left = static_cast<std::int32_t>(src.size());
    auto plainLen = static_cast<std::int32_t>(plain.size());
    if (orvsDecodeRLE_BZ2_8u(&p, &left, plain.data(), &plainLen) != orvStsOk) std::abort();
    if (plainLen == 0) return 0;

    // Exactly enough room is enough.
    std::vector<std::uint8_t> exact(static_cast<std::size_t>(plainLen));
    p = src.data();
    left = static_cast<std::int32_t>(src.size());
    auto exactLen = plainLen;
    if (orvsDecodeRLE_BZ2_8u(&p, &left, exact.data(), &exactLen) != orvStsOk || exactLen != plainLen) std::abort();

    // Encoding the plain bytes and decoding them again round-trips.
    alignas(4) std::uint8_t state[264];
    auto* st = reinterpret_cast<RLEState*>(state);
    orvsEncodeRLEInit_BZ2_8u(st);
    std::vector<std::uint8_t> enc(static_cast<std::size_t>(plainLen) * 2 + 2);
    const std::uint8_t* e = plain.data();
    auto eLen = plainLen;
    auto encLen = static_cast<std::int32_t>(enc.size());
    if (orvsEncodeRLE_BZ2_8u(&e, &eLen, enc.data(), &encLen, st) != orvStsOk) std::abort();
    std::int32_t tail = 1;
    orvsEncodeRLEFlush_BZ2_8u(enc.data() + encLen, &tail, st);
    encLen += tail;
    std::vector<std::uint8_t> again(static_cast<std::size_t>(plainLen));
    const std::uint8_t* a = enc.data();
    auto aLen = encLen;
    auto againLen = plainLen;
    if (orvsDecodeRLE_BZ2_8u(&a, &aLen, again.data(), &againLen) != orvStsOk || againLen != plainLen) std::abort();
    if (again != std::vector<std::uint8_t>(plain.begin(), plain.begin() + plainLen)) std::abort();
    return 0;
}
