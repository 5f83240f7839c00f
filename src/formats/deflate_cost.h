// The size of a block of pairs coded with the fixed Huffman code of RFC 1951
// (3.2.6), and bounds on its size with a dynamic code, used to choose a
// block kind by its coded size.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
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

// Extra bits of a distance 1..32768: distances 1..4 have none, then each
// pair of distance codes adds one bit.
inline unsigned distanceExtraBits(unsigned distance) {
    const unsigned d = distance - 1;
    if (d < 4) return 0;
    return static_cast<unsigned>(std::bit_width(d)) - 2;
}

// The literal/length symbol (257..285) of a match length 3..258.
inline unsigned lengthSymbol(unsigned length) {
    const unsigned l = length - 3;
    if (l < 8) return 257 + l;
    if (l == 255) return 285;
    const unsigned e = lengthExtraBits(length);
    return 261 + 4 * e + ((l >> e) & 3);
}

// The distance symbol (0..29) of a distance 1..32768.
inline unsigned distanceSymbol(unsigned distance) {
    const unsigned d = distance - 1;
    if (d < 4) return d;
    const unsigned e = distanceExtraBits(distance);
    return 2 * e + 2 + ((d >> e) & 1);
}

// What a block of pairs costs: exactly with the fixed code; with a dynamic
// code at least `dynamicLow` bits (the symbols coded with optimal prefix
// codes, which no length-limited code beats, the extra bits and the
// smallest header) and at most `dynamicHigh` (the entropy of the symbols
// and one bit more per symbol, the largest code description and the
// header).
struct BlockCost {
    std::uint64_t fixedBits;
    double dynamicLow, dynamicHigh;
};

// Bits of n counts coded with an optimal prefix code (no length limit): the
// sum of the weights of the tree's inner nodes, merged smallest first.  A
// single used symbol still takes one bit.
inline std::uint64_t optimalCodeBits(const std::uint32_t* counts, int n) {
    std::uint64_t leaves[286], merged[286];
    int used = 0;
    for (int s = 0; s < n; ++s) {
        if (counts[s] != 0) leaves[used++] = counts[s];
    }
    if (used == 0) return 0;
    if (used == 1) return leaves[0];
    std::sort(leaves, leaves + used);
    int li = 0, mi = 0, mEnd = 0;
    std::uint64_t bits = 0;
    const auto smallest = [&]() {
        if (mi == mEnd || (li < used && leaves[li] <= merged[mi])) return leaves[li++];
        return merged[mi++];
    };
    for (int k = 1; k < used; ++k) {
        const std::uint64_t w = smallest() + smallest();
        bits += w;
        merged[mEnd++] = w;
    }
    return bits;
}

inline BlockCost blockCost(const LZ77Pair* pairs, std::int32_t count) {
    // The loop only counts symbols; the bits follow from the counts.
    std::uint32_t lit[286] = {}, dist[30] = {};
    for (std::int32_t i = 0; i < count; ++i) {
        const LZ77Pair p = pairs[i];
        if (p.offset == 0) {
            ++lit[p.length & 255];
        } else {
            ++lit[lengthSymbol(p.length)];
            ++dist[distanceSymbol(p.offset)];
        }
    }
    ++lit[256];
    std::uint64_t fixed = 3 + 7, extra = 0;  // header and end of block
    std::uint32_t matches = 0;
    for (unsigned v = 0; v < 256; ++v) fixed += std::uint64_t{lit[v]} * (v < 144 ? 8 : 9);
    for (unsigned code = 0; code < 29; ++code) {  // length symbols 257..285
        const std::uint64_t n = lit[257 + code];
        const unsigned e = code < 8 || code == 28 ? 0 : (code - 4) / 4;
        extra += n * e;
        fixed += n * ((code < 23 ? 7 : 8) + e);
    }
    for (unsigned code = 0; code < 30; ++code) {
        const std::uint64_t n = dist[code];
        const unsigned e = code < 4 ? 0 : code / 2 - 1;
        matches += dist[code];
        extra += n * e;
        fixed += n * (5 + e);
    }
    const auto entropy = [](const std::uint32_t* counts, int n, std::uint32_t total) {
        double bits = 0;
        for (int s = 0; s < n; ++s) {
            if (counts[s] != 0) bits += counts[s] * std::log2(static_cast<double>(total) / counts[s]);
        }
        return bits;
    };
    const std::uint32_t symbols = static_cast<std::uint32_t>(count) + 1 + matches;
    const double entropyBits = entropy(lit, 286, static_cast<std::uint32_t>(count) + 1) +
                               entropy(dist, 30, matches) + static_cast<double>(extra);
    // 3 header bits, 14 bits of counts, 19 code-length codes of 3 bits and at
    // most 7 bits for each of the 316 code lengths.
    const double description = 3 + 14 + 19 * 3 + 316 * 7;
    // The smallest header: 3 bits, the counts and four code-length codes;
    // 16 bits less again for how a measured block is rounded.
    const double smallestHeader = 3 + 14 + 4 * 3 - 16;
    const double low = static_cast<double>(optimalCodeBits(lit, 286) + optimalCodeBits(dist, 30) + extra) +
                       smallestHeader;
    return BlockCost{fixed, std::max(low, entropyBits), entropyBits + symbols + description};
}

}  // namespace orvf
