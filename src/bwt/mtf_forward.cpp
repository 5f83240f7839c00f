// Move-to-front, forward direction: byte values to their positions in the
// recency list.  The state is a rank table (entry v = position of v).
#include <emmintrin.h>

#include <algorithm>
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

namespace {

// One forward chain over the list: its first 16 entries live in a register,
// the list in memory is up to date from entry 16 on.
struct ListChain {
    alignas(16) std::uint8_t list[256];
    __m128i head;

    void load(const std::uint8_t* from) {
        std::memcpy(list, from, sizeof list);
        head = _mm_load_si128(reinterpret_cast<const __m128i*>(list));
    }
    void store(std::uint8_t* to) {
        _mm_store_si128(reinterpret_cast<__m128i*>(list), head);
        std::memcpy(to, list, sizeof list);
    }
};

// v is not among the first 16 entries: find it further down and move it to
// the front through memory.
__attribute__((noinline)) unsigned forwardFar(ListChain& c, std::uint8_t v) {
    _mm_store_si128(reinterpret_cast<__m128i*>(c.list), c.head);
    const __m128i key = tableVec(kTables.broadcast[v]);
    unsigned r = 16;
    for (unsigned base = 16; base < 256; base += 16) {
        const __m128i piece = _mm_load_si128(reinterpret_cast<const __m128i*>(c.list + base));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(piece, key)));
        if (mask != 0) {
            r = base + static_cast<unsigned>(__builtin_ctz(mask));
            break;
        }
    }
    moveToFront(c.list, r, v);
    c.head = _mm_load_si128(reinterpret_cast<const __m128i*>(c.list));
    return r;
}

inline std::uint8_t forwardStep(ListChain& c, std::uint8_t v) {
    const __m128i key = tableVec(kTables.broadcast[v]);
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(c.head, key)));
    if (__builtin_expect(mask != 0, 1)) {
        const unsigned r = static_cast<unsigned>(__builtin_ctz(mask));
        const __m128i keep = tableVec(kTables.prefix[r + 1]);
        const __m128i moved = _mm_and_si128(_mm_slli_si128(c.head, 1), keep);
        const __m128i front = _mm_and_si128(key, tableVec(kTables.prefix[1]));
        c.head = _mm_or_si128(_mm_or_si128(moved, _mm_andnot_si128(keep, c.head)), front);
        return static_cast<std::uint8_t>(r);
    }
    return static_cast<std::uint8_t>(forwardFar(c, v));
}

// The list after the bytes src[0..p): the values seen, most recent first,
// then the values not seen in their order in the starting list.  last[v] is
// the position of the last v before p, or -1.
void listAt(const std::uint8_t* start, const std::int32_t* last, std::uint8_t* list) {
    std::uint64_t seen[256];
    int count = 0;
    for (int v = 0; v < 256; ++v) {
        if (last[v] >= 0) seen[count++] = (static_cast<std::uint64_t>(last[v]) << 8) | static_cast<unsigned>(v);
    }
    std::sort(seen, seen + count, [](std::uint64_t a, std::uint64_t b) { return a > b; });
    for (int k = 0; k < count; ++k) list[k] = static_cast<std::uint8_t>(seen[k]);
    for (int k = 0; k < 256; ++k) {
        if (last[start[k]] < 0) list[count++] = start[k];
    }
}

}  // namespace

// Each step depends on the list the previous step left, a chain of about a
// dozen cycles.  The list at any point is known without running the
// transform up to it (see listAt), so a long call is cut into four pieces
// whose chains run interleaved and overlap in the processor.
void forwardList(const std::uint8_t* src, std::uint8_t* dst, std::size_t n, std::uint8_t* list) {
    constexpr int kChains = 4;
    if (n < kInterleaveMinLength) {
        ListChain c;
        c.load(list);
        for (std::size_t i = 0; i < n; ++i) dst[i] = forwardStep(c, src[i]);
        c.store(list);
        return;
    }

    const std::size_t piece = n / kChains;
    ListChain chains[kChains];
    chains[0].load(list);
    std::int32_t last[256];
    std::fill(last, last + 256, -1);
    for (int c = 1; c < kChains; ++c) {
        for (std::size_t i = (c - 1) * piece; i < c * piece; ++i) last[src[i]] = static_cast<std::int32_t>(i);
        alignas(16) std::uint8_t at[256];
        listAt(list, last, at);
        chains[c].load(at);
    }

    const std::uint8_t* s[kChains];
    std::uint8_t* d[kChains];
    for (int c = 0; c < kChains; ++c) {
        s[c] = src + c * piece;
        d[c] = dst + c * piece;
    }
    for (std::size_t i = 0; i < piece; ++i) {
        d[0][i] = forwardStep(chains[0], s[0][i]);
        d[1][i] = forwardStep(chains[1], s[1][i]);
        d[2][i] = forwardStep(chains[2], s[2][i]);
        d[3][i] = forwardStep(chains[3], s[3][i]);
    }
    for (std::size_t i = kChains * piece; i < n; ++i) dst[i] = forwardStep(chains[kChains - 1], src[i]);
    chains[kChains - 1].store(list);
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
