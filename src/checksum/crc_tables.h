// CRC lookup tables, computed by the compiler from the generator polynomial
// 0x04C11DB7 and kept as read-only constants.
#pragma once

#include <array>
#include <cstdint>

namespace orvdc::crc_tables {

using Table = std::array<std::uint32_t, 256>;

// Reflected CRC-32 (least significant bit first, constant 0xEDB88320).
// slice[0][i] is the CRC register after shifting the byte i through; slice[k]
// is the register for byte i followed by k zero bytes, which lets eight bytes
// be folded in one step.
constexpr std::array<Table, 8> makeReflectedSlices() {
    std::array<Table, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i;
        for (int b = 0; b < 8; ++b) r = (r >> 1) ^ ((r & 1u) ? 0xEDB88320u : 0u);
        t[0][i] = r;
    }
    for (int k = 1; k < 8; ++k) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            const std::uint32_t prev = t[k - 1][i];
            t[k][i] = (prev >> 8) ^ t[0][prev & 0xFF];
        }
    }
    return t;
}

// Non-reflected CRC (most significant bit first), as the bzip2 block CRC uses:
// slice[0][i] is the register after shifting i, placed in the top byte,
// through the polynomial; slice[k] adds k zero bytes behind it.
constexpr std::array<Table, 8> makeForwardSlices() {
    std::array<Table, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i << 24;
        for (int b = 0; b < 8; ++b) r = (r << 1) ^ ((r & 0x80000000u) ? 0x04C11DB7u : 0u);
        t[0][i] = r;
    }
    for (int k = 1; k < 8; ++k) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            const std::uint32_t prev = t[k - 1][i];
            t[k][i] = (prev << 8) ^ t[0][prev >> 24];
        }
    }
    return t;
}

inline constexpr std::array<Table, 8> kReflected = makeReflectedSlices();
inline constexpr std::array<Table, 8> kForward = makeForwardSlices();

}  // namespace orvdc::crc_tables
