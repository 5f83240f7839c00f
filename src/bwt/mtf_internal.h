// Move-to-front kernels shared by the forward and inverse entry points (and
// called directly by the tests, which force each forward path).
//
// The state holds ranks for the forward direction and the list itself for the
// inverse.  Two forward kernels give identical output: one keeps the rank
// table and updates all 256 ranks with one vector pass per byte;
// the other works on the list (search the byte with a vector compare, shift
// the prefix in front of it by one), which is much faster on block-sorted
// data whose ranks are mostly small.  The list kernel needs the ranks to be a
// permutation; the entry point uses it for longer calls whenever they are.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace orvdc::mtf {

constexpr int kListPathMinLength = 32;

// Forward transform on a rank table (entry v = position of v).
void forwardRanks(const std::uint8_t* src, std::uint8_t* dst, std::size_t n, std::uint8_t* ranks);

// Forward transform on a list (entry k = value at position k).  The list must
// be a permutation of 0..255 and 16-byte aligned.
void forwardList(const std::uint8_t* src, std::uint8_t* dst, std::size_t n, std::uint8_t* list);

// Inverse transform on a list (any 256 bytes; 16-byte aligned).
void inverseList(const std::uint8_t* src, std::uint8_t* dst, std::size_t n, std::uint8_t* list);

// list[ranks[v]] = v for every v.  False (list unspecified) when the ranks
// are not a permutation of 0..255.
bool ranksToList(const std::uint8_t* ranks, std::uint8_t* list);

// ranks[list[k]] = k for every k.
void listToRanks(const std::uint8_t* list, std::uint8_t* ranks);

// Moves list[0..r-1] to list[1..r] and stores v at list[0] (list 16-byte
// aligned, r <= 255).  A short prefix is one masked 16-byte piece; a longer
// one is moved in 16-byte pieces from the top down, each piece loaded before
// the store below it can touch it, and the first 16 bytes are loaded before
// anything moves and stored last.
inline void moveToFront(std::uint8_t* list, unsigned r, std::uint8_t v) {
    if (r < 16) {
        const __m128i old = _mm_load_si128(reinterpret_cast<const __m128i*>(list));
        const __m128i moved = _mm_or_si128(_mm_slli_si128(old, 1), _mm_cvtsi32_si128(v));
        const __m128i iota = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        const __m128i keepNew = _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(r + 1)), iota);
        const __m128i out = _mm_or_si128(_mm_and_si128(keepNew, moved), _mm_andnot_si128(keepNew, old));
        _mm_store_si128(reinterpret_cast<__m128i*>(list), out);
        return;
    }
    const __m128i head = _mm_load_si128(reinterpret_cast<const __m128i*>(list));
    for (int off = static_cast<int>(r) - 16; off > 0; off -= 16) {
        const __m128i piece = _mm_loadu_si128(reinterpret_cast<const __m128i*>(list + off));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(list + off + 1), piece);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(list + 1), head);
    list[0] = v;
}

}  // namespace orvdc::mtf
