// Move-to-front, forward direction: byte values to their positions in the
// recency list.  The state is a rank table (entry v = position of v).
#include <emmintrin.h>

#include <cstring>

#include "bwt/mtf_internal.h"
#include "core/check.h"
#include "core/export.h"

namespace orvdc::mtf {

namespace {

// The rank table is held biased by 128 (rank ^ 0x80) in 16 vectors so that a
// signed byte compare orders ranks as unsigned: "rank < r" is cmpgt(r', e').
struct BiasedRanks {
    alignas(16) std::uint8_t e[256];

    __m128i vec(int i) const { return _mm_load_si128(reinterpret_cast<const __m128i*>(e) + i); }
    void setVec(int i, __m128i v) { _mm_store_si128(reinterpret_cast<__m128i*>(e) + i, v); }
};

constexpr std::uint8_t kBias = 0x80;

}  // namespace

void forwardRanks(const std::uint8_t* src, std::uint8_t* dst, std::size_t n, std::uint8_t* ranks) {
    BiasedRanks t;
    for (int v = 0; v < 256; ++v) t.e[v] = static_cast<std::uint8_t>(ranks[v] ^ kBias);

    // Every rank below the byte's rank grows by one; the byte goes to 0.
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t x = src[i];
        const __m128i bx = _mm_set1_epi8(static_cast<char>(t.e[x]));
        dst[i] = t.e[x] ^ kBias;
        for (int k = 0; k < 16; ++k) t.setVec(k, _mm_sub_epi8(t.vec(k), _mm_cmpgt_epi8(bx, t.vec(k))));
        t.e[x] = kBias;
    }
    for (int v = 0; v < 256; ++v) ranks[v] = t.e[v] ^ kBias;
}

void forwardList(const std::uint8_t* src, std::uint8_t* dst, std::size_t n, std::uint8_t* list) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t v = src[i];
        if (list[0] == v) {
            dst[i] = 0;
            continue;
        }
        // v is somewhere in the permutation; find its position 16 at a time.
        const __m128i key = _mm_set1_epi8(static_cast<char>(v));
        unsigned r = 0;
        for (unsigned base = 0; base < 256; base += 16) {
            const __m128i piece = _mm_load_si128(reinterpret_cast<const __m128i*>(list + base));
            const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(piece, key)));
            if (mask != 0) {
                r = base + static_cast<unsigned>(__builtin_ctz(mask));
                break;
            }
        }
        dst[i] = static_cast<std::uint8_t>(r);
        moveToFront(list, r, v);
    }
}

bool ranksToList(const std::uint8_t* ranks, std::uint8_t* list) {
    std::uint8_t seen[256] = {};
    for (int v = 0; v < 256; ++v) {
        const std::uint8_t r = ranks[v];
        if (seen[r] != 0) return false;
        seen[r] = 1;
        list[r] = static_cast<std::uint8_t>(v);
    }
    return true;
}

void listToRanks(const std::uint8_t* list, std::uint8_t* ranks) {
    for (int k = 0; k < 256; ++k) ranks[list[k]] = static_cast<std::uint8_t>(k);
}

}  // namespace orvdc::mtf

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsMTFFwd_8u(const uint8_t* pSrc, uint8_t* pDst, int32_t len,
                                                        MTFState* pState) {
    if (orvdc::anyNull(pSrc, pDst, pState)) return orvStsNullPtr;
    if (orvdc::anyBelow(1, len)) return orvStsBadSize;

    auto* state = reinterpret_cast<std::uint8_t*>(pState);
    const auto n = static_cast<std::size_t>(len);
    if (len >= orvdc::mtf::kListPathMinLength) {
        alignas(16) std::uint8_t list[256];
        if (orvdc::mtf::ranksToList(state, list)) {
            orvdc::mtf::forwardList(pSrc, pDst, n, list);
            orvdc::mtf::listToRanks(list, state);
            return orvStsOk;
        }
    }
    // Short calls, and states that are not a permutation (any 256 bytes give
    // a defined result with the rank table).
    alignas(16) std::uint8_t ranks[256];
    std::memcpy(ranks, state, sizeof ranks);
    orvdc::mtf::forwardRanks(pSrc, pDst, n, ranks);
    std::memcpy(state, ranks, sizeof ranks);
    return orvStsOk;
}
