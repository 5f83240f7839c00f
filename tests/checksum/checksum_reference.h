// Bit-at-a-time definitions of the three checksums, the models every kernel
// is held against.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvdc::test {

inline std::uint32_t refCrc32(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    std::uint32_t r = ~crc;
    for (std::size_t i = 0; i < n; ++i) {
        r ^= p[i];
        for (int b = 0; b < 8; ++b) r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1u)));
    }
    return ~r;
}

inline std::uint32_t refBzip2(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    std::uint32_t r = ~crc;
    for (std::size_t i = 0; i < n; ++i) {
        r ^= static_cast<std::uint32_t>(p[i]) << 24;
        for (int b = 0; b < 8; ++b) r = (r << 1) ^ ((r & 0x80000000u) ? 0x04C11DB7u : 0u);
    }
    return ~r;
}

// The modulo after every byte (the incoming halves may exceed 65520).
inline std::uint32_t refAdler(std::uint32_t adler, const std::uint8_t* p, std::size_t n) {
    std::uint64_t s1 = adler & 0xFFFF, s2 = adler >> 16;
    if (n == 0) return adler;
    for (std::size_t i = 0; i < n; ++i) {
        s1 = (s1 + p[i]) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    return static_cast<std::uint32_t>((s2 << 16) | s1);
}

}  // namespace orvdc::test
