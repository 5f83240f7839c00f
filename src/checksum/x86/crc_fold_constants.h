// Multipliers for CRC folding with carry-less multiplication, computed by the
// compiler from the generator polynomial P = x^32 + 0x04C11DB7.
//
// Both CRCs here use P; they differ in bit order.  A message is a polynomial
// whose first stream bit has the highest degree, and its CRC is M(x) x^32
// mod P.  Folding replaces a 128-bit piece V of the message by a value
// congruent to V(x) x^D (mod P), D being the distance in bits to a later
// piece, and XORs it there: the message's CRC is unchanged.  With V split
// into 64-bit halves, V x^D = Vhigh x^(D+64) + Vlow x^D, and each half is
// multiplied by the 32-bit remainder of its power of x.
//
// Forward (bzip2) pieces are byte-reversed on loading, so bit i of a register
// is the coefficient of x^i and the product of two lanes is exact.
// Reflected (zlib) pieces are loaded as they are: bit i is the coefficient of
// x^(127-i), the high-degree half is lane 0, and a lane multiplier of degree
// d sits at bit 63-d.  The product of two such lanes comes out one degree
// short (bit 126-d instead of 127-d), so each power is one lower.
#pragma once

#include <cstdint>

namespace orvdc::crc_fold {

// x^k mod P, bit i holding the coefficient of x^i.
constexpr std::uint32_t powerMod(unsigned k) {
    std::uint32_t r = 1;
    for (unsigned i = 0; i < k; ++i) r = (r << 1) ^ ((r & 0x80000000u) ? 0x04C11DB7u : 0u);
    return r;
}

constexpr std::uint32_t reverseBits(std::uint32_t v) {
    std::uint32_t r = 0;
    for (int i = 0; i < 32; ++i) r |= ((v >> i) & 1u) << (31 - i);
    return r;
}

// A reflected lane multiplier for x^k.
constexpr std::uint64_t reflectedLane(unsigned k) {
    return static_cast<std::uint64_t>(reverseBits(powerMod(k))) << 32;
}

// The 64-bit multipliers for lanes 0 and 1 of a 128-bit register.
struct LanePair {
    std::uint64_t lane0, lane1;
};

enum class Order { kReflected, kForward };

// Multipliers that move a register `bits` further along the message.
template <Order O>
constexpr LanePair foldBy(unsigned bits) {
    if constexpr (O == Order::kReflected) return {reflectedLane(bits + 63), reflectedLane(bits - 1)};
    else return {powerMod(bits), powerMod(bits + 64)};
}

// Multipliers of the final reduction of a 128-bit register V to V x^32 mod P:
// x^96 for the high-degree half, then x^64 for the 32 bits left above 64.
template <Order O>
constexpr LanePair finalReduction() {
    if constexpr (O == Order::kReflected) return {reflectedLane(95), reflectedLane(63)};
    else return {powerMod(96), powerMod(64)};
}

}  // namespace orvdc::crc_fold
