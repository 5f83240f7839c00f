// The LMS positions of a text, 64 positions at a time (SSE2).
//
// Position i is S-type when t[i] < t[i+1], or t[i] == t[i+1] and i+1 is
// S-type; n-1 is L-type.  Scanning one position at a time makes a chain of
// dependent steps.  Instead, for a word of 64 positions, `less` and `equal`
// hold the bits of t[i] < t[i+1] and t[i] == t[i+1], and the types follow
// as in a carry-lookahead adder working downwards: S = less | equal & S>>1,
// resolved in six doubling steps (Kogge-Stone); the run of equal bits at
// the top of the word takes the type of the first position of the word
// above.  LMS bits are then S-type bits whose lower neighbour is L-type.
#pragma once

#include <emmintrin.h>

#include <bit>
#include <cstdint>

namespace orvdc::bwt {

// Bits k of *less and *equal for positions base + k, k < 64, all of them
// below n - 1.  Bytes are unsigned; wider symbols (names of a reduced
// problem) are never negative, so signed comparisons order them.
template <class Sym>
inline void compareWord(const Sym* t, int n, int base, std::uint64_t* less, std::uint64_t* equal) {
    std::uint64_t lt = 0, eq = 0;
    if (base + 65 <= n) {
        constexpr int kPerVector = 16 / sizeof(Sym);
        for (int c = 0; c < 64 / kPerVector; ++c) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + base + kPerVector * c));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + base + kPerVector * c + 1));
            __m128i below, same;
            int bitsLt, bitsEq;
            if constexpr (sizeof(Sym) == 1) {
                const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
                below = _mm_cmpgt_epi8(_mm_xor_si128(b, bias), _mm_xor_si128(a, bias));
                same = _mm_cmpeq_epi8(a, b);
                bitsLt = _mm_movemask_epi8(below);
                bitsEq = _mm_movemask_epi8(same);
            } else if constexpr (sizeof(Sym) == 2) {
                below = _mm_cmpgt_epi16(b, a);
                same = _mm_cmpeq_epi16(a, b);
                bitsLt = _mm_movemask_epi8(_mm_packs_epi16(below, _mm_setzero_si128()));
                bitsEq = _mm_movemask_epi8(_mm_packs_epi16(same, _mm_setzero_si128()));
            } else {
                below = _mm_cmpgt_epi32(b, a);
                same = _mm_cmpeq_epi32(a, b);
                bitsLt = _mm_movemask_ps(_mm_castsi128_ps(below));
                bitsEq = _mm_movemask_ps(_mm_castsi128_ps(same));
            }
            lt |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(bitsLt)) << (kPerVector * c);
            eq |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(bitsEq)) << (kPerVector * c);
        }
    } else {
        for (int k = 0; k < 64 && base + k < n - 1; ++k) {
            lt |= static_cast<std::uint64_t>(t[base + k] < t[base + k + 1]) << k;
            eq |= static_cast<std::uint64_t>(t[base + k] == t[base + k + 1]) << k;
        }
    }
    *less = lt;
    *equal = eq;
}

// S-type bits of the word at base, given whether position base + 64 is
// S-type (false past the end).
template <class Sym>
inline std::uint64_t sTypeWord(const Sym* t, int n, int base, bool aboveIsS) {
    std::uint64_t s, p;
    compareWord(t, n, base, &s, &p);
    const std::uint64_t equal = p;
    for (int d = 1; d < 64; d *= 2) {
        s |= p & (s >> d);
        p &= p >> d;
    }
    if (aboveIsS) {
        const std::uint64_t notEqual = ~equal;
        const std::uint64_t topRun = notEqual == 0 ? ~std::uint64_t{0}
                                                   : ~std::uint64_t{0} << 1 << (63 - std::countl_zero(notEqual));
        s |= topRun;
    }
    return s;
}

// Calls visit(p) for every LMS position p of t[0..n) (n >= 2), from right
// to left.
template <class Sym, class Visit>
inline void forEachLms(const Sym* t, int n, Visit visit) {
    int base = ((n - 1) / 64) * 64;
    std::uint64_t s = sTypeWord(t, n, base, false);
    while (true) {
        const bool last = base == 0;
        const std::uint64_t below = last ? 0 : sTypeWord(t, n, base - 64, (s & 1) != 0);
        // Position 0 is never LMS: its lower neighbour counts as S-type.
        const std::uint64_t lowerIsS = (s << 1) | (last ? 1 : below >> 63);
        std::uint64_t lms = s & ~lowerIsS;
        while (lms != 0) {
            const int k = 63 - std::countl_zero(lms);
            visit(base + k);
            lms &= ~(std::uint64_t{1} << k);
        }
        if (last) break;
        s = below;
        base -= 64;
    }
}

}  // namespace orvdc::bwt
