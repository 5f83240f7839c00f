// Zero-run decoder on arbitrary 16-bit symbols with any destination size:
// exact buffers, whole symbols consumed, consistent in/out updates, and the
// bytes decoded re-encode to a sequence that decodes back to them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::size_t room = 1 + (data[0] | (data[1] << 8)) % 4096;
    std::vector<std::uint16_t> sym((size - 2) / 2);
    if (sym.empty()) return 0;
    std::memcpy(sym.data(), data + 2, sym.size() * 2);
    // Mostly run digits and small symbols, so long runs occur.
    for (auto& s : sym) {
        if ((s & 0xC000) != 0xC000) s &= 3;
    }
    // Symbols and destination end right before an inaccessible page; the
    // destination bytes after the reported output keep their canary.
    static orvdc::fuzz::PageEnd srcMem, dstMem;
    std::vector<std::uint8_t> all;
    const auto* p = reinterpret_cast<const std::uint16_t*>(srcMem.place(sym.data(), sym.size() * 2));
    auto left = static_cast<std::int32_t>(sym.size());
    while (left > 0) {
        std::uint8_t* dst = dstMem.end(room);
        orvdc::fuzz::fillCanary(dst, room);
        auto dstLen = static_cast<std::int32_t>(room);
        const std::uint16_t* const start = p;
        const std::int32_t before = left;
        const orvStatus s = orvsDecodeZ1Z2_BZ2_16u8u(&p, &left, dst, &dstLen);
        if (s != (left != 0 ? orvStsDstFull : orvStsOk)) std::abort();
        if (p - start != before - left || dstLen < 0 || static_cast<std::size_t>(dstLen) > room) std::abort();
        orvdc::fuzz::requireCanary(dst, static_cast<std::size_t>(dstLen), room);
        all.insert(all.end(), dst, dst + dstLen);
        if (p == start) break;  // a run longer than the room
    }
    if (all.empty()) return 0;
    std::vector<std::uint16_t> enc(all.size());
    std::vector<std::uint32_t> freq(257, 0);
    const std::uint8_t* b = all.data();
    auto bLen = static_cast<std::int32_t>(all.size());
    auto encLen = static_cast<std::int32_t>(enc.size());
    if (orvsEncodeZ1Z2_BZ2_8u16u(&b, &bLen, enc.data(), &encLen, freq.data()) != orvStsOk) std::abort();
    std::vector<std::uint8_t> back(all.size());
    const std::uint16_t* q = enc.data();
    auto qLen = encLen;
    auto backLen = static_cast<std::int32_t>(back.size());
    if (orvsDecodeZ1Z2_BZ2_16u8u(&q, &qLen, back.data(), &backLen) != orvStsOk || back != all) std::abort();
    return 0;
}
