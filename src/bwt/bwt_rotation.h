// The least rotation of a cyclic block, and a period of it when the search
// happens to prove one.
//
// The forward transform sorts the rotations of a block.  Rotated to its
// least rotation, a block t is a necklace: t is not greater than any of its
// rotations.  Rotations of a necklace sort like its suffixes (a suffix that
// is a proper prefix of a longer one sorts first, and its rotation goes on
// with t itself, which is not greater than what follows in the longer one's
// rotation), with equal rotations wherever t is periodic.  So the suffix
// array of t gives a rotation order, and so does that of t[0..d) repeated
// n/d times whenever t equals its rotation by d (d dividing n): each
// rotation of t[0..d), itself a necklace, then stands n/d times in a row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orvdc::bwt {

struct Necklace {
    std::int32_t start;   // where the least rotation begins
    std::int32_t period;  // d dividing n with rotation by d giving t back
};

// The least rotation of s[0..n), in O(n): two candidate starts i and j
// compared over k symbols.  At a difference, the larger candidate and the k
// starts after it are each greater than a start on the other side, so none
// of them begins a least rotation; they are skipped.  When the candidates
// agree over all n symbols, the block equals its rotation by |i - j|, so by
// gcd(|i - j|, n); otherwise n stands as the period.  A least rotation
// begins with the smallest byte of the block, so candidates move straight
// to the next occurrence of that byte: every start in
// between would lose at its first symbol.
inline Necklace leastRotation(const std::uint8_t* s, std::int32_t n) {
    std::uint8_t least = s[0];
    for (std::int32_t x = 1; x < n; ++x) least = s[x] < least ? s[x] : least;
    const auto next = [&](std::int32_t from) {
        // Near ones inline, far ones by memchr.
        const std::int32_t near = from < n - 16 ? from + 16 : n;
        for (; from < near; ++from) {
            if (s[from] == least) return from;
        }
        if (from >= n) return from;
        const void* found = std::memchr(s + from, least, static_cast<std::size_t>(n - from));
        return found == nullptr ? n : static_cast<std::int32_t>(static_cast<const std::uint8_t*>(found) - s);
    };
    std::int32_t i = next(0), j = next(i + 1), k = 0;
    while (i < n && j < n && k < n) {
        std::int32_t a = i + k, b = j + k;
        if (a >= n) a -= n;
        if (b >= n) b -= n;
        if (s[a] == s[b]) {
            ++k;
            continue;
        }
        if (s[a] > s[b])
            i = next(i + k + 1);
        else
            j = next(j + k + 1);
        if (i == j) j = next(j + 1);
        k = 0;
    }
    std::int32_t period = n;
    if (k >= n) {
        std::int32_t x = i > j ? i - j : j - i, y = n;
        while (x != 0) {
            const std::int32_t r = y % x;
            y = x;
            x = r;
        }
        period = y;
    }
    return {i < j ? i : j, period};
}

}  // namespace orvdc::bwt
