// The exact size of a block of pairs coded with the fixed Huffman code of
// RFC 1951 (3.2.6), used to choose a block kind by its coded size.
#pragma once

#include <bit>
#include <cstdint>

#include "orvdc.h"

namespace orvf {

// Extra bits of a match length 3..258: lengths 3..10 and 258 have none, then
// each group of four length codes adds one bit.
inline unsigned lengthExtraBits(unsigned length) {
    const unsigned l = length - 3;
    if (l < 8 || l == 255) return 0;
    return static_cast<unsigned>(std::bit_width(l)) - 3;
}

// Bits of the fixed code of a match length: codes 257..279 take 7 bits,
// 280..285 take 8 (lengths 115 and above).
inline unsigned fixedLengthCodeBits(unsigned length) { return length >= 115 ? 8 : 7; }

// Extra bits of a distance 1..32768: distances 1..4 have none, then each
// pair of distance codes adds one bit.
inline unsigned distanceExtraBits(unsigned distance) {
    const unsigned d = distance - 1;
    if (d < 4) return 0;
    return static_cast<unsigned>(std::bit_width(d)) - 2;
}

// Header (3 bits), every pair, and the end-of-block code (7 bits).
inline std::uint64_t fixedBlockBits(const LZ77Pair* pairs, std::int32_t count) {
    std::uint64_t bits = 3 + 7;
    for (std::int32_t i = 0; i < count; ++i) {
        const LZ77Pair p = pairs[i];
        if (p.offset == 0) {
            bits += p.length < 144 ? 8 : 9;
        } else {
            bits += fixedLengthCodeBits(p.length) + lengthExtraBits(p.length) + 5 + distanceExtraBits(p.offset);
        }
    }
    return bits;
}

}  // namespace orvf
