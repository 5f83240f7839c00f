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

// floor(x^64 / P), 33 bits, by long division.
constexpr std::uint64_t quotientX64() {
    constexpr std::uint64_t p = 0x104C11DB7ull;
    std::uint64_t r = 1ull << 32, q = 0;
    for (int s = 0; s <= 32; ++s) {
        if ((r >> 32) & 1) {
            q |= 1ull << (32 - s);
            r ^= p;
        }
        r <<= 1;
    }
    return q;
}

constexpr std::uint64_t reverse33(std::uint64_t v) {
    std::uint64_t r = 0;
    for (int i = 0; i < 33; ++i) r |= ((v >> i) & 1u) << (32 - i);
    return r;
}

// Barrett reduction of a 64-bit U = U1 x^32 + U0 modulo P: the quotient is
// q = floor(U1 mu / x^32) with mu = floor(x^64 / P), and U mod P is the low
// 32 bits of U + q P.  Lane 0 holds mu, lane 1 P, both as 33-bit values;
// reflected, each is bit-reversed over its 33 bits, so that a 32-bit and a
// 33-bit reflected operand give an exactly aligned 64-bit reflected product.
template <Order O>
constexpr LanePair barrett() {
    if constexpr (O == Order::kReflected) return {reverse33(quotientX64()), reverse33(0x104C11DB7ull)};
    else return {quotientX64(), 0x104C11DB7ull};
}

}  // namespace orvdc::crc_fold
