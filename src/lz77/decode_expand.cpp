// Deflate decoder: expansion of LZ77Pair records into bytes through the
// history window.
//
// The fast path works on chunks of pairs in two passes: the first checks the
// pairs and that their bytes fit in the room, the second expands those that
// passed.  As every checked pair will be written, the second pass can give
// each pair the same treatment: 32 bytes copied from its source (the match's
// source, or for a literal the pair itself, whose first byte is the
// literal's), of which only the pair's own bytes count and the rest are
// overwritten by the pairs after it.  So there is no branch between literals
// and matches, which mostly follow each other with little pattern.  The last
// pairs, whose 32 bytes would run past the checked output, are expanded
// exactly.  A chunk whose literals or matches come in long runs is expanded
// with that branch instead, pair by pair (four literals at a time) and
// without the check pass.
#include <emmintrin.h>

#include <cstring>

#include "core/check.h"
#include "core/export.h"
#include "lz77/decode_state.h"

using namespace orvdc::lz77::decoder;

namespace {

// Pairs checked, then expanded, at a time: they stay in the first-level cache.
constexpr std::ptrdiff_t kChunkPairs = 2048;
// Bytes every pair of the uniform loop copies; longer matches and those that
// overlap their source are copied again exactly.
constexpr std::uint32_t kWide = 32;

// Pairs sampled to choose how a chunk is expanded, and the weight (as a
// shift) of a change between literal and match against a pair.
constexpr std::ptrdiff_t kSamplePairs = 256;
constexpr int kChangeShift = 3;
// Room the branchy loop wants for a pair: the longest match.
constexpr std::ptrdiff_t kBranchyRoom = 258;

inline std::uint32_t pairLength(LZ77Pair p) { return p.offset != 0 ? p.length : 1u; }

// A match of 3 to 258 bytes at distance d <= history + written, from this
// call's output or through the window; Slack as for copyMatchFrom.
template <bool Slack = false>
[[gnu::always_inline]] inline void copyPairMatch(const DecoderState& s, std::uint8_t* out, std::uint32_t written,
                                                 std::uint32_t d, std::uint32_t n) {
    if (d <= written) {
        copyMatch<Slack>(out, d, n);
    } else {
        copyMatchFromWindow(s, out, written, d, n);
    }
}

// `a` when key is nonzero, else `b`.  A conditional move where the
// compiler takes one: it cannot turn it back into a branch.
inline std::uintptr_t pickIfNonzero(std::uint32_t key, std::uintptr_t a, std::uintptr_t b) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    asm("test %2, %2\n\tcmovnz %1, %0" : "+r"(b) : "r"(a), "r"(key) : "cc");
    return b;
#else
    const std::uintptr_t mask = 0 - static_cast<std::uintptr_t>(key != 0);
    return b ^ ((a ^ b) & mask);
#endif
}

// First pair in [pair, stop) that the fast path cannot take: a match whose
// length is not 3 to 258 or whose source lies beyond the history, or a pair
// whose bytes would end past `limit`, where `at` bytes of this call's output
// precede `pair`.  No branch on literal or match.
const LZ77Pair* checkPairsExactly(const LZ77Pair* pair, const LZ77Pair* stop, std::uint32_t history,
                                  std::uint32_t at, std::uint32_t limit) {
    for (; pair != stop; ++pair) {
        const LZ77Pair p = *pair;
        std::uint32_t reach = history + at;
        reach = reach < kHistoryBytes ? reach : kHistoryBytes;
        const unsigned badLength = (p.length - 3u > 255u) & (p.offset != 0);
        if (badLength | (p.offset > reach)) break;
        if (pairLength(p) > limit - at) break;
        at += pairLength(p);
    }
    return pair;
}

// Whether a pair of eight, in two vectors, may fail the checks with the
// given reach: on 16-bit lanes, a match's length less 3 must not pass 255
// (unsigned) and its offset not the reach; a literal (offset 0) passes
// whatever its length.  `literal` gets all ones in a literal's 32 bits.
inline __m128i overLimits(__m128i v, __m128i limits, __m128i* literal) {
    const __m128i over = _mm_subs_epu16(_mm_sub_epi16(v, _mm_set1_epi32(3)), limits);
    *literal = _mm_srai_epi32(_mm_cmpeq_epi16(v, _mm_setzero_si128()), 16);
    return _mm_andnot_si128(*literal, over);
}

// Bytes that four pairs stand for, in their 32-bit lanes: a match's length,
// 1 for a literal.
inline __m128i pairBytes(__m128i v, __m128i literal) {
    return _mm_or_si128(_mm_andnot_si128(literal, _mm_and_si128(v, _mm_set1_epi32(0xFFFF))),
                        _mm_and_si128(literal, _mm_set1_epi32(1)));
}

// As checkPairsExactly, eight pairs at a time against the reach of the
// first of them, which no later pair has less of: when all pass, so do the
// exact checks (eight that do not are checked exactly).  The bytes of the
// eight are counted for the next eight's reach and for the limit.
const LZ77Pair* checkPairs(const LZ77Pair* pair, const LZ77Pair* stop, std::uint32_t history, std::uint32_t at,
                           std::uint32_t limit) {
    for (; stop - pair >= 8; pair += 8) {
        const std::uint32_t reach = history + at < kHistoryBytes ? history + at : kHistoryBytes;
        const __m128i limits = _mm_set1_epi32(static_cast<int>(reach << 16 | 255));
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pair));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pair + 4));
        __m128i literal0, literal1;
        const __m128i bad = _mm_or_si128(overLimits(v0, limits, &literal0), overLimits(v1, limits, &literal1));
        __m128i sum = _mm_add_epi32(pairBytes(v0, literal0), pairBytes(v1, literal1));
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
        const auto bytes = static_cast<std::uint32_t>(_mm_cvtsi128_si32(sum));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(bad, _mm_setzero_si128())) != 0xFFFF || bytes > limit - at) {
            const LZ77Pair* const q = checkPairsExactly(pair, pair + 8, history, at, limit);
            if (q != pair + 8) return q;
        }
        at += bytes;
    }
    return checkPairsExactly(pair, stop, history, at, limit);
}

// Expands one checked pair whose 32 bytes end in the checked output; returns
// the new out.  It copies 32 bytes, then again exactly a match that is longer
// or overlaps its source.  With Window the source may lie in the window:
// windowShift added to an address in this call's output d bytes back gives
// the address of the byte d bytes back in the window.
template <bool Window>
[[gnu::always_inline]] inline std::uint8_t* expandWide(const DecoderState& s, const LZ77Pair* pair,
                                                        std::uint8_t* out, const std::uint8_t* start,
                                                        std::uintptr_t windowShift) {
    std::uint32_t word;
    std::memcpy(&word, pair, 4);
    const std::uint32_t length = word & 0xFFFF;
    const std::uint32_t offset = word >> 16;
    const auto written = static_cast<std::uint32_t>(out - start);
    // Masks (all ones for a match, or for a source in the window) and a
    // conditional move in place of choices, which the compiler turns back
    // into branches, mispredicted often here.
    const std::uintptr_t isMatch = 0 - static_cast<std::uintptr_t>(offset != 0);
    std::uintptr_t matchFrom = reinterpret_cast<std::uintptr_t>(out) - offset;
    std::uint32_t reach = offset;  // source bytes before out, or in the window
    std::uintptr_t inWindow = 0;
    if constexpr (Window) {
        inWindow = 0 - static_cast<std::uintptr_t>(offset > written);
        matchFrom += windowShift & inWindow;
        reach -= written & static_cast<std::uint32_t>(inWindow);
    }
    const std::uintptr_t where = pickIfNonzero(offset, matchFrom, reinterpret_cast<std::uintptr_t>(pair));
    const auto* const from = reinterpret_cast<const std::uint8_t*>(where);
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), high);
    // Bytes the pair stands for, less one; `reach` is 0 for a literal, which
    // the unsigned compare takes as no limit.
    const std::uint32_t more = (length - 1) & static_cast<std::uint32_t>(isMatch);
    const std::uint32_t wordReach = reach - 1 < kWide - 1 ? reach - 1 : kWide - 1;
    if (wordReach < more) [[unlikely]] {
        copyPairMatch(s, out, written, offset, length);
    }
    return out + more + 1;
}

// Writes the bytes of four literals and returns true when the four pairs
// at `pair` are literals; else writes nothing.
[[gnu::always_inline]] inline bool fourLiterals(const LZ77Pair* pair, std::uint8_t* out) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pair));
    // Bits 4i + 2 and 4i + 3 set when pair i has offset 0.
    if ((_mm_movemask_epi8(_mm_cmpeq_epi16(v, _mm_setzero_si128())) & 0xCCCC) != 0xCCCC) return false;
    const __m128i bytes = _mm_and_si128(v, _mm_set1_epi32(0xFF));
    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(bytes, bytes), bytes);
    const auto word = static_cast<std::uint32_t>(_mm_cvtsi128_si32(packed));
    std::memcpy(out, &word, 4);
    return true;
}

// Whether the pairs [pair, stop) go faster with a branch between literals
// and matches: when literals come in long runs or matches do, so that the
// branch is mostly predicted.  Judged on the first pairs: literal-match
// changes against pairs.
bool kindsInRuns(const LZ77Pair* pair, const LZ77Pair* stop) {
    if (stop - pair > kSamplePairs + 1) stop = pair + kSamplePairs + 1;
    __m128i changes = _mm_setzero_si128();
    __m128i pairs = _mm_setzero_si128();
    for (; stop - pair >= 5; pair += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pair));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pair + 1));
        const __m128i literal = _mm_srai_epi32(_mm_cmpeq_epi16(v, _mm_setzero_si128()), 16);
        const __m128i nextLiteral = _mm_srai_epi32(_mm_cmpeq_epi16(next, _mm_setzero_si128()), 16);
        changes = _mm_sub_epi32(changes, _mm_xor_si128(literal, nextLiteral));
        pairs = _mm_add_epi32(pairs, _mm_set1_epi32(1));
    }
    // (changes << kChangeShift) < pairs, on sums of the four lanes.
    __m128i d = _mm_sub_epi32(pairs, _mm_slli_epi32(changes, kChangeShift));
    d = _mm_add_epi32(d, _mm_shuffle_epi32(d, 0x4E));
    d = _mm_add_epi32(d, _mm_shuffle_epi32(d, 0xB1));
    return _mm_cvtsi128_si32(d) > 0;
}

// Expands pairs one at a time with a branch between literals and matches
// (four literals at a time while they last), in runs of as many pairs as
// surely fit in the room: a pair writes at most 258 bytes, and a short match
// may run up to 7 bytes past its end, which it puts back.  Stops at `stop` or at
// a pair the fast path cannot take; returns the new out.
std::uint8_t* expandBranchy(const DecoderState& s, const LZ77Pair*& pairRef, const LZ77Pair* const stop,
                            std::uint8_t* out, std::uint8_t* const start, std::uint8_t* const end,
                            std::uint32_t history) {
    const LZ77Pair* pair = pairRef;
    for (;;) {
        const std::ptrdiff_t room = end - out;
        std::ptrdiff_t n = room >= kBranchyRoom ? (room - kBranchyRoom) / kBranchyRoom + 1 : 0;
        if (n > stop - pair) n = stop - pair;
        if (n == 0) break;
        const LZ77Pair* const runEnd = pair + n;
        do {
            const LZ77Pair p = *pair;
            if (p.offset == 0) {
                if (runEnd - pair >= 4 && fourLiterals(pair, out)) {
                    pair += 3;
                    out += 4;
                } else {
                    *out++ = static_cast<std::uint8_t>(p.length);
                }
                continue;
            }
            const auto written = static_cast<std::uint32_t>(out - start);
            // Lengths outside 3..258 (the caller's pairs may hold any) and
            // distances too far take the exact path.
            if (p.length - 3u > 255u || p.offset > kHistoryBytes || p.offset > history + written) {
                pairRef = pair;
                return out;
            }
            copyPairMatch<true>(s, out, written, p.offset, p.length);
            out += p.length;
        } while (++pair != runEnd);
    }
    pairRef = pair;
    return out;
}

// Expands checked pairs [pair, stop) to out, where this call's output began
// at `start`; pairEnd ends the caller's array.  Returns the new out.
std::uint8_t* expandChecked(const DecoderState& s, const LZ77Pair* pair, const LZ77Pair* const stop,
                            const LZ77Pair* const pairEnd, std::uint8_t* out, std::uint8_t* const start) {
    // Pairs from `wideEnd` on are expanded exactly: those whose 32 bytes
    // would pass the checked output, and the last 8 of the caller's array (a
    // literal reads 32 bytes from its pair).
    const LZ77Pair* wideEnd = stop;
    std::uint32_t tail = 0;
    while (wideEnd != pair && tail < kWide) tail += pairLength(*--wideEnd);
    if (pairEnd - wideEnd < 8) wideEnd = pairEnd - pair > 8 ? pairEnd - 8 : pair;

    // While the output holds fewer than 32768 bytes a source may lie in the
    // window; past them every source lies in the output.
    const std::uintptr_t windowShift =
        reinterpret_cast<std::uintptr_t>(s.window + s.windowFill) - reinterpret_cast<std::uintptr_t>(start);
    for (; pair < wideEnd && out - start < kHistoryBytes; ++pair) {
        out = expandWide<true>(s, pair, out, start, windowShift);
    }
    for (; pair < wideEnd; ++pair) out = expandWide<false>(s, pair, out, start, 0);
    for (; pair != stop; ++pair) {
        const LZ77Pair p = *pair;
        if (p.offset == 0) {
            *out++ = static_cast<std::uint8_t>(p.length);
            continue;
        }
        copyPairMatch(s, out, static_cast<std::uint32_t>(out - start), p.offset, p.length);
        out += p.length;
    }
    return out;
}

}  // namespace

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77_8u(const LZ77Pair** ppPairs, int32_t* pPairsLen,
                                                            uint8_t** ppDst, int32_t* pDstLen,
                                                            LZ77FlushMode /*flush*/,
                                                            LZ77DecoderState* pState) {
    if (orvdc::anyNull(ppPairs, ppDst, pState, pPairsLen, pDstLen) || orvdc::anyNull(*ppPairs, *ppDst)) {
        return orvStsNullPtr;
    }
    if (*pDstLen < 0 || *pPairsLen < 0) return orvStsBadSize;
    DecoderState& s = decoderState(pState);
    if (*pPairsLen == 0 && s.pendingLength <= 0) return orvStsOk;
    if (*pDstLen == 0) return orvStsDstFull;

    const LZ77Pair* pair = *ppPairs;
    const LZ77Pair* const pairEnd = pair + *pPairsLen;
    std::uint8_t* const start = *ppDst;
    std::uint8_t* out = start;
    std::uint8_t* const end = start + *pDstLen;
    const std::uint32_t history = historyBefore(s);
    const orvStatus endStatus = s.streamEnd ? orvStsStreamEnd : orvStsOk;
    orvStatus status = endStatus;

    if (s.pendingLength > 0) {
        const auto room = static_cast<std::uint32_t>(end - out);
        const auto pending = static_cast<std::uint32_t>(s.pendingLength);
        const std::uint32_t n = pending < room ? pending : room;
        copyMatchExact(s, out, 0, static_cast<std::uint32_t>(s.pendingDistance), n);
        out += n;
        s.pendingLength = static_cast<std::int32_t>(pending - n);
        if (s.pendingLength > 0 || (out == end && pair != pairEnd)) {
            status = orvStsDstFull;
            goto done;
        }
        s.pendingDistance = 0;
    }

    while (pair != pairEnd) {
        // Fast path: chunks of pairs checked, then expanded, up to the first
        // pair that does not pass or does not fit in the room.
        for (;;) {
            std::ptrdiff_t n = pairEnd - pair;
            if (n > kChunkPairs) n = kChunkPairs;
            if (n == 0 || out == end) break;
            const LZ77Pair* const runEnd = pair + n;
            if (end - out >= kBranchyRoom && kindsInRuns(pair, runEnd)) {
                out = expandBranchy(s, pair, runEnd, out, start, end, history);
                if (pair != runEnd) break;
                continue;
            }
            const auto written = static_cast<std::uint32_t>(out - start);
            const LZ77Pair* const checkedEnd =
                checkPairs(pair, runEnd, history, written, written + static_cast<std::uint32_t>(end - out));
            out = expandChecked(s, pair, checkedEnd, pairEnd, out, start);
            pair = checkedEnd;
            // A pair the fast path cannot take goes to the exact path.
            if (checkedEnd != runEnd) break;
        }
        if (pair == pairEnd) break;
        if (out == end) {  // a longest match can fill the room exactly
            status = orvStsDstFull;
            goto done;
        }

        // One pair with exact writes.
        const LZ77Pair p = *pair;
        if (p.offset == 0) {
            *out++ = static_cast<std::uint8_t>(p.length);
            ++pair;
        } else {
            const auto written = static_cast<std::uint32_t>(out - start);
            if (p.offset > kHistoryBytes || p.offset > history + written) {
                status = orvStsBadStream;  // the pair is not consumed
                goto done;
            }
            const auto room = static_cast<std::uint32_t>(end - out);
            const std::uint32_t n = p.length < room ? p.length : room;
            copyMatchExact(s, out, written, p.offset, n);
            out += n;
            ++pair;
            if (n < p.length) {
                s.pendingLength = static_cast<std::int32_t>(p.length - n);
                s.pendingDistance = p.offset;
                status = orvStsDstFull;
                goto done;
            }
        }
        if (out == end) {
            status = pair != pairEnd ? orvStsDstFull : endStatus;
            goto done;
        }
    }
    status = endStatus;

done:
    if (status != orvStsStreamEnd) appendHistory(s, start, static_cast<std::size_t>(out - start));
    *pPairsLen -= static_cast<std::int32_t>(pair - *ppPairs);
    *ppPairs = pair;
    *pDstLen -= static_cast<std::int32_t>(out - start);
    *ppDst = out;
    return status;
}
