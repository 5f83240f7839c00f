// Move-to-front kernels shared by the forward and inverse entry points (and
// called directly by the tests, which force each forward path).
//
// The state holds ranks for the forward direction and the list itself for the
// inverse.  Two forward kernels give identical output: one keeps the rank
// table and updates all 256 ranks with one vector pass per byte; the other
// works on the list (search the byte with a vector compare, shift the entries
// in front of it by one), which is much faster on block-sorted data whose
// ranks are mostly small, and runs long calls as four interleaved chains.
// The list kernel needs the ranks to be a permutation; the entry point uses
// it for longer calls whenever they are.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace orvdc::mtf {

constexpr int kListPathMinLength = 32;

// Calls at least this long run the forward transform as four interleaved
// chains (see forwardList).
constexpr std::size_t kInterleaveMinLength = 8192;

// Constant vectors for the forward list kernel: every byte value broadcast,
// and masks of the first j positions of a 16-byte piece.
struct Tables {
    alignas(16) std::uint8_t broadcast[256][16];
    alignas(16) std::uint8_t prefix[17][16];
};

constexpr Tables makeTables() {
    Tables t{};
    for (int v = 0; v < 256; ++v) {
        for (int i = 0; i < 16; ++i) t.broadcast[v][i] = static_cast<std::uint8_t>(v);
    }
    for (int j = 0; j <= 16; ++j) {
        for (int i = 0; i < 16; ++i) t.prefix[j][i] = i < j ? 0xFF : 0;
    }
    return t;
}

inline constexpr Tables kTables = makeTables();

inline __m128i tableVec(const std::uint8_t* row) { return _mm_load_si128(reinterpret_cast<const __m128i*>(row)); }

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
// aligned, r <= 255).  The first two 16-byte pieces are loaded before
// anything moves and written back shifted with aligned stores (masked where
// the move ends inside them); beyond them the list moves in unaligned 16-byte
// pieces from the top down, each loaded before a store can touch it.  The
// aligned stores at the front let the next step's loads there be served from
// one store each.
inline void moveToFront(std::uint8_t* list, unsigned r, std::uint8_t v) {
    auto* vec = reinterpret_cast<__m128i*>(list);
    const __m128i iota = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i head = _mm_load_si128(vec);
    const __m128i movedHead = _mm_or_si128(_mm_slli_si128(head, 1), _mm_cvtsi32_si128(v));
    if (r < 16) {
        const __m128i keepNew = _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(r + 1)), iota);
        _mm_store_si128(vec, _mm_or_si128(_mm_and_si128(keepNew, movedHead), _mm_andnot_si128(keepNew, head)));
        return;
    }
    const __m128i second = _mm_load_si128(vec + 1);
    const __m128i movedSecond = _mm_or_si128(_mm_slli_si128(second, 1), _mm_srli_si128(head, 15));
    if (r < 32) {
        const __m128i keepNew = _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(r - 15)), iota);
        _mm_store_si128(vec + 1,
                        _mm_or_si128(_mm_and_si128(keepNew, movedSecond), _mm_andnot_si128(keepNew, second)));
    } else {
        for (int off = static_cast<int>(r) - 16; off >= 16; off -= 16) {
            const __m128i piece = _mm_loadu_si128(reinterpret_cast<const __m128i*>(list + off));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(list + off + 1), piece);
        }
        _mm_store_si128(vec + 1, movedSecond);
    }
    _mm_store_si128(vec, movedHead);
}

}  // namespace orvdc::mtf
