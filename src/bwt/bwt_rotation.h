// The least rotation of a cyclic block and the period of that rotation.
//
// The forward transform sorts the rotations of a block.  Rotated to its
// least rotation, a block becomes a necklace: a power u^q of a Lyndon word u
// (a word strictly smaller than all its proper rotations).  Rotations of a
// Lyndon word sort exactly like its suffixes: a suffix that is a proper
// prefix of a longer one is continued, in its rotation, by u itself, and u
// is smaller than every proper suffix without being prefixed by one (a
// Lyndon word has no border).  So the rotation order of u is its suffix
// array, and the block u^q has each rotation of u q times in a row.
#pragma once

#include <cstdint>

namespace orvdc::bwt {

// Start of the lexicographically least rotation of s[0..n) (the smallest one
// when several are equal), in O(n): two candidate starts i and j compared
// over k symbols; at a difference the larger candidate and the k symbols
// after it cannot start a least rotation and are skipped.
inline std::int32_t leastRotation(const std::uint8_t* s, std::int32_t n) {
    std::int32_t i = 0, j = 1, k = 0;
    while (i < n && j < n && k < n) {
        std::int32_t a = i + k, b = j + k;
        if (a >= n) a -= n;
        if (b >= n) b -= n;
        if (s[a] == s[b]) {
            ++k;
            continue;
        }
        if (s[a] > s[b])
            i += k + 1;
        else
            j += k + 1;
        if (i == j) ++j;
        k = 0;
    }
    return i < j ? i : j;
}

// Length of the Lyndon word u of which the necklace t[0..n) is a power
// (Duval's factorisation, first factor): it divides n.
inline std::int32_t necklacePeriod(const std::uint8_t* t, std::int32_t n) {
    std::int32_t k = 0, j = 1;
    while (j < n && t[k] <= t[j]) {
        k = (t[k] < t[j]) ? 0 : k + 1;
        ++j;
    }
    return j - k;
}

}  // namespace orvdc::bwt
