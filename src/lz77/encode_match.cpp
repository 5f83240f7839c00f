// The deflate match finder: source bytes to LZ77 pairs at three levels, with
// the history window, hash chains and running checksum kept in the state.
//
// Positions are absolute (since Init, Reset or the end of the last full-flush
// call).  A call covers positions start..end-1; bytes before start are read
// from the window, the rest from the caller's source.  The first 258 source
// bytes are also copied behind the history in the window, so a match whose
// candidate lies in the window can be compared there in one piece.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

#include "checksum/checksum.h"
#include "core/check.h"
#include "core/export.h"
#include "core/memory.h"
#include "lz77/encode_state.h"
#include "lz77/encode_tables.h"
#include "lz77/hash_table.h"

namespace orvdc::lz77 {
namespace {

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Number of equal leading bytes of a and b, at most maxlen.  Reads nothing
// at or beyond a + maxlen, b + maxlen.
inline std::uint32_t matchLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t maxlen) {
    std::uint32_t k = 0;
    while (k + 16 <= maxlen) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
        const auto differ = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) ^ 0xFFFFu;
        if (differ != 0) return k + static_cast<std::uint32_t>(__builtin_ctz(differ));
        k += 16;
    }
    if (k + 8 <= maxlen) {
        const std::uint64_t x = load64(a + k) ^ load64(b + k);
        if (x != 0) return k + static_cast<std::uint32_t>(__builtin_ctzll(x)) / 8;
        k += 8;
    }
    while (k < maxlen && a[k] == b[k]) ++k;
    return k;
}

// Which of the first eight bytes of a and b differ, in a form whose
// trailing zeros count the equal bytes before the first that differs.  A
// 64-bit target takes the exclusive or of two 8-byte loads (eight bits a
// byte); a 32-bit one, where that would take two registers and a branchy
// count, takes one bit a byte from a byte compare.
#if UINTPTR_MAX > 0xFFFFFFFFu
using ByteDifference = std::uint64_t;
constexpr std::uint32_t kBitsPerByte = 8;
inline ByteDifference differingBytes(const std::uint8_t* a, const std::uint8_t* b) { return load64(a) ^ load64(b); }
#else
using ByteDifference = std::uint32_t;
constexpr std::uint32_t kBitsPerByte = 1;
inline ByteDifference differingBytes(const std::uint8_t* a, const std::uint8_t* b) {
    const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a));
    const __m128i y = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) ^ 0xFFFFu;  // the upper 8 always agree
}
#endif
// The bits of the first three bytes.
constexpr ByteDifference kFirstThreeBytes = (ByteDifference{1} << (3 * kBitsPerByte)) - 1;

// differingBytes for the first n bytes only (n <= 8, read one at a time).
inline ByteDifference tailDifference(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t n) {
    ByteDifference x = 0;
    for (std::uint32_t k = 0; k < n; ++k) {
        const ByteDifference byte = static_cast<std::uint8_t>(a[k] ^ b[k]);
        x |= (kBitsPerByte == 8 ? byte : ByteDifference{byte != 0}) << (kBitsPerByte * k);
    }
    return x;
}

// The length of the match of a and b, at most maxlen, given which of their
// first eight bytes differ (read only when all eight agree).
inline std::uint32_t lengthFrom(ByteDifference differ, const std::uint8_t* a, const std::uint8_t* b,
                                std::uint32_t maxlen) {
    if (differ != 0) [[likely]] {
        const auto len = static_cast<std::uint32_t>(std::countr_zero(differ)) / kBitsPerByte;
        return len < maxlen ? len : maxlen;
    }
    return maxlen <= 8 ? maxlen : 8 + matchLength(a + 8, b + 8, maxlen - 8);
}

// kHashTable widened to 32-bit words, so that a hash takes three loads and
// two exclusive ors with no extension of the result.
constexpr auto kHashWords = [] {
    std::array<std::array<std::uint32_t, 256>, 3> t{};
    for (int row = 0; row < 3; ++row) {
        for (int b = 0; b < 256; ++b) t[row][b] = static_cast<std::uint32_t>(kHashTable[row][b]);
    }
    return t;
}();

constexpr std::uint32_t kChainLimitAverage = 16;
constexpr std::uint32_t kChainLimitBest = 512;
// At level 2 a match of length 3 is taken only up to this distance.
constexpr std::uint32_t kFarLength3 = 4096;

// kFullFlush: a full-flush call, where candidate 0 is refused as well.
// kHints: the chain walks of levels 1 and 2 follow skip hints (see
// ChainWalk).
template <bool kFullFlush, bool kHints>
class Finder {
public:
    Finder(EncoderState& st, const std::uint8_t* src, std::uint32_t start, std::uint32_t end, LZ77Pair* out,
           std::int32_t room)
        : src_(src), start_(start), end_(end), window_(st.window),
          windowBase_(static_cast<std::uint32_t>(st.windowBase)), head_(st.head), chain_(st.chain),
          srcBase_(reinterpret_cast<std::uintptr_t>(src) - start),
          windowBase0_(reinterpret_cast<std::uintptr_t>(st.window) - static_cast<std::uint32_t>(st.windowBase)),
          out_(out), room_(room) {}

    [[gnu::noinline]] std::uint32_t runFast();
    [[gnu::noinline]] std::uint32_t runAverage();
    [[gnu::noinline]] std::uint32_t runBest();

    LZ77Pair* out() const { return out_; }
    std::int32_t room() const { return room_; }

private:
    const std::uint8_t* bytesAt(std::uint32_t q) const {
        return q >= start_ ? src_ + (q - start_) : window_ + (q - windowBase_);
    }
    // A candidate c can serve position p when 1 <= p - c <= 32767 (empty
    // entries, -32768, never qualify); a full-flush call also refuses c = 0.
    bool usable(std::int32_t c, std::uint32_t p) const {
        return usableAt(static_cast<std::uint32_t>(c), p);
    }
    bool usableAt(std::uint32_t c, std::uint32_t p) const {
        return p - c - 1u < static_cast<std::uint32_t>(kMaxDistance) && !(kFullFlush && c == 0);
    }
    static std::uint32_t hash3(const std::uint8_t* b) {
        return kHashWords[0][b[0]] ^ kHashWords[1][b[1]] ^ kHashWords[2][b[2]];
    }
    // The skip hint of a link from c to c4 (four steps on): c - c4 modulo
    // 2^16, which leads back to c4 exactly when the difference fits (a hint
    // that does not is only a wrong one, never followed).
    static std::uint16_t skipHint(std::uint32_t c, std::uint32_t c4) { return static_cast<std::uint16_t>(c - c4); }
    // The link three steps on from c1.
    std::uint32_t thirdLink(std::uint32_t c1) const {
        const auto c2 = static_cast<std::uint32_t>(chain_[c1 & kHashMask]);
        const auto c3 = static_cast<std::uint32_t>(chain_[c2 & kHashMask]);
        return static_cast<std::uint32_t>(chain_[c3 & kHashMask]);
    }
    // Links q (of hash h) into its hash chain and sets its skip hint
    // (level 2); returns the previous head of that chain.
    std::int32_t insert(std::uint32_t q, std::uint32_t h) {
        const std::int32_t previous = head_[h];
        chain_[q & kHashMask] = previous;
        head_[h] = static_cast<std::int32_t>(q);
        if constexpr (kHints) skip_[q & kHashMask] = skipHint(q, thirdLink(static_cast<std::uint32_t>(previous)));
        return previous;
    }
    // Links from..to-1 at level 2, with the fields in locals (the stores to
    // the chains could alias them).
    void insertRange(std::uint32_t from, std::uint32_t to) {
        const std::uint8_t* b = src_ + (from - start_);
        std::int32_t* const head = head_;
        std::int32_t* const chain = chain_;
        std::uint16_t* const skip = skip_;
        for (std::uint32_t q = from; q < to; ++q, ++b) {
            const std::uint32_t h = hash3(b);
            const std::int32_t previous = head[h];
            chain[q & kHashMask] = previous;
            head[h] = static_cast<std::int32_t>(q);
            if constexpr (kHints) {
                const auto c2 = static_cast<std::uint32_t>(chain[static_cast<std::uint32_t>(previous) & kHashMask]);
                const auto c3 = static_cast<std::uint32_t>(chain[c2 & kHashMask]);
                skip[q & kHashMask] = skipHint(q, static_cast<std::uint32_t>(chain[c3 & kHashMask]));
            }
        }
    }
    // One walk along a hash chain for position p: at most `left`
    // candidates from c, keeping the longest match (at least the initial
    // `best`) and the first candidate reaching it.  Starting from a `best`
    // above 2 finds the same result whenever that result is longer.
    //
    // A candidate can only beat `best` when all its bytes 0..best agree with
    // those at p, so one 4-byte load ending at offset best (the first three
    // bytes while best is 2) rejects most candidates before any full compare;
    // the candidates it rejects could never have become the best.
    //
    // A walk is bound by the latency of each link it reads.  The skip table
    // (a local of the level 1 and 2 loops) holds for each position c a hint
    // of the link four steps on, c4 = c - skip[c]; a step examines c and the
    // three candidates after it and goes on from the hint while the real
    // links are still being read, so each read along the hints covers four
    // candidates.  The real link decides: a wrong hint is replaced (and
    // repaired), so the hints change only the speed.  A hint is set when a
    // position is linked; it stays right while the links it follows lie
    // within 32767 positions (the link of a position changes only when the
    // one 32768 positions on is linked), which covers every step of a walk
    // that goes on.
    struct ChainWalk {
        std::uint32_t c;  // the candidate to examine next (usable)
        std::uint32_t at, mask, want;
        std::uint32_t best, bestC;
        std::uint32_t p, maxlen;
        std::uint32_t left;  // candidates still allowed, c included
    };
    // The fields of a walk from candidate c; false when no match can be
    // longer than `best` (the prefix test is then not set up).
    bool prepareWalk(ChainWalk& w, std::int32_t c, std::uint32_t p, std::uint32_t maxlen, std::uint32_t best) const {
        w.c = static_cast<std::uint32_t>(c);
        w.bestC = w.c;
        w.best = best;
        w.p = p;
        w.maxlen = maxlen;
        w.left = kChainLimitBest;
        if (maxlen <= best) return false;
        const std::uint8_t* P = src_ + (p - start_);
        w.at = best >= 3 ? best - 3 : 0;
        w.mask = best >= 3 ? 0xFFFFFFFFu : 0x00FFFFFFu;
        w.want = load32(P + w.at) & w.mask;
        return true;
    }
    // Sets up a walk; false when there is nothing to examine.
    bool beginWalk(ChainWalk& w, std::int32_t c, std::uint32_t p, std::uint32_t maxlen, std::uint32_t best) const {
        return prepareWalk(w, c, p, maxlen, best) && usable(c, p);
    }
    // The bytes of a usable candidate: from the source from start on, else
    // from the window (which also holds the first source bytes, so a match
    // may run on past start there).  kInSource: the walk's position lies
    // at least 32767 bytes past start, so every usable candidate is in the
    // source and the choice falls away.
    template <bool kInSource = false>
    const std::uint8_t* candidateBytes(std::uint32_t c) const {
        const std::uintptr_t base = kInSource || c >= start_ ? srcBase_ : windowBase0_;
        return reinterpret_cast<const std::uint8_t*>(base + c);
    }
    // The link four steps on from c: the hint when the real link c4
    // agrees, else c4 (and the hint is repaired).  A branch, not a select,
    // so that the walk runs on from the hint without waiting for c4.  The
    // test goes through an empty asm: a compiler that knew the two equal
    // could use c4 in place of the hint.
    [[gnu::always_inline]] std::uint32_t checkedHint(std::uint32_t c, std::uint32_t hint, std::uint32_t c4) const {
        std::uint32_t differ = c4 ^ hint;
        __asm__("" : "+r"(differ));
        if (differ != 0) [[unlikely]] {
            skip_[c & kHashMask] = skipHint(c, c4);
            return c4;
        }
        return hint;
    }
    // Examines candidate x of a walk (w.c is set to it) and reads its link
    // into `next`; false when the walk ends (best reached maxlen, the next
    // candidate is unusable, or none is left).
    template <bool kInSource>
    [[gnu::always_inline]] bool examine(ChainWalk& w, std::uint32_t x, std::uint32_t& next) const {
        const std::uint8_t* X = candidateBytes<kInSource>(x);
        next = static_cast<std::uint32_t>(chain_[x & kHashMask]);
        if ((load32(X + w.at) & w.mask) == w.want) [[unlikely]] {
            w.c = x;
            if (!improve(w, X)) return false;
        }
        return usableAt(next, w.p) && --w.left != 0;
    }
    // Examines w.c and the candidates after it, up to four, and moves four
    // candidates on; false when the walk ends.
    template <bool kInSource = false>
    [[gnu::always_inline]] bool stepWalk(ChainWalk& w) const {
        const std::uint32_t c = w.c;
        // The walk's pace depends on the hint alone.  It passes through an
        // empty asm, so that the compiler keeps it apart from the real link;
        // a memory barrier there would also keep the walk's fields in
        // memory, at a cost in every step.
        std::uint32_t hint = 0;
        if constexpr (kHints) {
            hint = c - skip_[c & kHashMask];
            __asm__ volatile("" : "+r"(hint));
        }
        std::uint32_t c1, c2, c3, c4;
        if (!examine<kInSource>(w, c, c1) || !examine<kInSource>(w, c1, c2) || !examine<kInSource>(w, c2, c3) ||
            !examine<kInSource>(w, c3, c4)) {
            return false;
        }
        if constexpr (kHints) {
            w.c = checkedHint(c, hint, c4);
        } else {
            w.c = c4;
        }
        return true;
    }
    // The full compare of a candidate that passed the 4-byte test; false
    // when the match now reaches maxlen.
    [[gnu::always_inline]] bool improve(ChainWalk& w, const std::uint8_t* C) const {
        const std::uint8_t* P = src_ + (w.p - start_);
        const std::uint32_t len = matchLength(P, C, w.maxlen);
        if (len > w.best) {
            w.best = len;
            w.bestC = w.c;
            if (len >= w.maxlen) return false;
            w.at = len - 3;
            w.mask = 0xFFFFFFFFu;
            w.want = load32(P + w.at);
        }
        return true;
    }
    // Runs a walk to its end.
    template <bool kInSource = false>
    [[gnu::always_inline]] void runWalk(ChainWalk& w) const {
        while (stepWalk<kInSource>(w)) {
        }
    }
    // beginWalk and runWalk for one walk, with its first two candidates
    // examined by selects in place of branches: on literal-heavy data most
    // walks end within them, at points hard to predict.  A candidate not
    // usable is replaced by p itself in the loads, and its result dropped.
    // A walk that goes on (or finds a match there) runs from the start as
    // usual: examining a candidate again changes nothing.
    template <bool kInSource>
    [[gnu::always_inline]] void walk(ChainWalk& w, std::int32_t c, std::uint32_t p, std::uint32_t maxlen,
                                     std::uint32_t best) const {
        if (!prepareWalk(w, c, p, maxlen, best)) return;
        const std::uint8_t* P = src_ + (p - start_);
        const std::uint32_t c0 = w.c;
        const auto c1 = static_cast<std::uint32_t>(chain_[c0 & kHashMask]);
        const auto c2 = static_cast<std::uint32_t>(chain_[c1 & kHashMask]);
        const bool use0 = usableAt(c0, p);
        const bool use1 = use0 & usableAt(c1, p);
        const bool use2 = use1 & usableAt(c2, p);
        // Masks rather than conditional expressions, which the compiler
        // may turn back into branches.
        const auto safe = reinterpret_cast<std::uintptr_t>(P);
        const std::uintptr_t m0 = 0u - static_cast<std::uintptr_t>(use0);
        const std::uintptr_t m1 = 0u - static_cast<std::uintptr_t>(use1);
        const auto bytes0 = reinterpret_cast<std::uintptr_t>(candidateBytes<kInSource>(c0));
        const auto bytes1 = reinterpret_cast<std::uintptr_t>(candidateBytes<kInSource>(c1));
        const auto* X0 = reinterpret_cast<const std::uint8_t*>(safe ^ ((bytes0 ^ safe) & m0));
        const auto* X1 = reinterpret_cast<const std::uint8_t*>(safe ^ ((bytes1 ^ safe) & m1));
        const bool hit0 = (load32(X0 + w.at) & w.mask) == w.want;
        const bool hit1 = (load32(X1 + w.at) & w.mask) == w.want;
        if ((use0 & hit0) | (use1 & hit1) | use2) [[unlikely]] runWalk<kInSource>(w);
    }
    // Raises the threshold of a running walk to `best` (above its own): it
    // then reports only matches longer than that.
    void raiseWalk(ChainWalk& w, std::uint32_t best) const {
        const std::uint8_t* P = src_ + (w.p - start_);
        w.best = best;
        w.at = best - 3;
        w.mask = 0xFFFFFFFFu;
        w.want = load32(P + w.at);
    }
    // The searches after a match, at p (a) and p + 1 (b), side by side so
    // that their memory latencies overlap.  Once a is done with a match
    // that p + 1 must beat to be chosen (`decisive` says whether a's result
    // is such a match), b only needs matches longer than a's, and none at
    // all when it cannot have one: then b's result is left at its value so
    // far, which is no longer.
    template <bool kInSource, typename Decisive>
    [[gnu::always_inline]] void runSearchPair(ChainWalk& a, bool activeA, ChainWalk& b, bool activeB,
                                              Decisive decisive) const {
        if (activeA && activeB) {
            for (;;) {
                const bool moreA = stepWalk<kInSource>(a);
                const bool moreB = stepWalk<kInSource>(b);
                if (!moreA) {
                    activeA = false;
                    activeB = moreB;
                    break;
                }
                if (!moreB) {
                    runWalk<kInSource>(a);
                    return;
                }
            }
        }
        if (activeA) runWalk<kInSource>(a);
        if (!activeB) return;
        if (decisive(a)) {
            if (a.best >= b.maxlen) return;
            if (a.best > b.best) raiseWalk(b, a.best);
        }
        runWalk<kInSource>(b);
    }
    void emit(std::uint32_t length, std::uint32_t offset) {
        storePair(out_++, length, offset);
        --room_;
    }
    std::uint32_t tail(std::uint32_t p) {
        while (p < end_ && room_ > 0) {
            emit(src_[p - start_], 0);
            ++p;
        }
        return p;
    }

    const std::uint8_t* src_;
    std::uint32_t start_, end_;
    const std::uint8_t* window_;
    std::uint32_t windowBase_;
    std::int32_t* head_;
    std::int32_t* chain_;
    std::uint16_t* skip_ = nullptr;  // levels 1 and 2: the skip hints, by position & kHashMask
    // Address of position 0 as if the source (resp. the window) extended
    // back to it: adding a position gives its byte (integer arithmetic, so
    // no out-of-range pointer is ever formed).
    std::uintptr_t srcBase_, windowBase0_;
    LZ77Pair* out_;
    std::int32_t room_;
};

// Level 0: one candidate per position from a rolling hash, no chains.  The
// hash h = ((h << 5) ^ next byte), masked to 15 bits, depends on the last
// three bytes only.
//
// Positions before matchEnd may start a match (five source bytes from p on,
// so maxlen >= 3); roomEnd is the position at which the pair array fills if
// only literals follow (a literal takes one position and one pair, a match
// of length len takes len positions and one pair).  Runs of literals below
// both bounds then need no other test, and address their pairs from the
// position (outAt).  The loop keeps the finder's fields in locals: the
// stores to head_ could otherwise alias them and force reloads on every
// byte.
template <bool kFullFlush, bool kHints>
std::uint32_t Finder<kFullFlush, kHints>::runFast() {
    // Positions are 32-bit values, but the loop holds them in a register of
    // the address width: every byte, head entry and pair is found by adding
    // the position to a base, which a 32-bit variable would first have to
    // widen (two or three moves a literal, 2% of level 0's time).
    std::uintptr_t p = start_;
    if (end_ - start_ >= 3) {
        const std::uint32_t start = start_;
        const std::uint32_t stop = end_ - 2;
        const std::uint32_t matchEnd = stop - start >= 3 ? stop - 2 : start;
        std::int32_t* const head = head_;
        const std::uintptr_t srcBase = srcBase_;
        const std::uintptr_t windowBase0 = windowBase0_;
        const auto byteAt = [srcBase](std::uintptr_t q) {
            return std::uint32_t{*reinterpret_cast<const std::uint8_t*>(srcBase + q)};
        };
        const auto roll = [&](std::uint32_t g, std::uintptr_t q) { return ((g << 5) ^ byteAt(q + 2)) & kHashMask; };
        auto outAt = reinterpret_cast<std::uintptr_t>(out_) - p * sizeof(LZ77Pair);
        const auto pairAt = [&outAt](std::uintptr_t q) {
            return reinterpret_cast<LZ77Pair*>(outAt + q * sizeof(LZ77Pair));
        };
        std::uint32_t roomEnd = p + static_cast<std::uint32_t>(room_);
        std::uint32_t h = (byteAt(p) << 5) ^ byteAt(p + 1);
        // The loop runs in three parts.  The second runs from start + 32767
        // on, where every usable candidate lies in the source: there its
        // bytes are found without a choice (kInSource), one step less before
        // the test that decides between literal and match.  The third takes
        // the last positions that may start a match, fewer than eight bytes
        // before the end (kNearEnd), where the first bytes are compared one
        // at a time; before them (wideEnd; matchEnd + 4 = end), eight are
        // compared at once.
        const std::uint32_t wideEnd = matchEnd - start >= 3 ? matchEnd - 3 : start;
        const auto run = [&]<bool kInSource, bool kNearEnd>(std::uint32_t bound) {
            std::uint32_t limit = std::min({matchEnd, roomEnd, bound});
            while (p < limit) {
                h = roll(h, p);
                const auto c = static_cast<std::uint32_t>(head[h]);
                head[h] = static_cast<std::int32_t>(p);
                // A match needs a usable candidate whose first three bytes agree
                // (C is read only then).
                const auto* P = reinterpret_cast<const std::uint8_t*>(srcBase + p);
                const auto* C =
                    reinterpret_cast<const std::uint8_t*>((kInSource || c >= start ? srcBase : windowBase0) + c);
                // A match needs the first three bytes to agree, and the
                // lowest differing byte gives the length of most matches.  C
                // is read only for a usable candidate; any other is refused
                // as if it differed.
                const std::uint32_t rest = stop - p;
                ByteDifference differ = 0;
                if (!usableAt(c, p) ||
                    ((differ = kNearEnd ? tailDifference(P, C, std::min(rest, 8u)) : differingBytes(P, C)) &
                     kFirstThreeBytes) != 0) {
                    storePair(pairAt(p), P[0], 0);
                    ++p;
                    continue;
                }

                // A match at p: 3 to maxlen bytes, one pair.
                const std::uint32_t len = lengthFrom(differ, P, C, rest < kMaxMatch ? rest : kMaxMatch);
                storePair(pairAt(p), len, p - c);
                outAt -= std::uintptr_t{len - 1} * sizeof(LZ77Pair);
                roomEnd += len - 1;
                const std::uintptr_t next = p + len;
                // The covered positions p + 1 .. next - 1 are linked; the rolling
                // hash runs on over them.  p + 1 and p + 2 are always covered.
                std::uint32_t g = roll(h, p + 1);
                head[g] = static_cast<std::int32_t>(p + 1);
                g = roll(g, p + 2);
                head[g] = static_cast<std::int32_t>(p + 2);
                std::uintptr_t q = p + 3;
                if (rest > 4) [[likely]] {
                    // p + 3 and p + 4 without a branch, an uncovered one
                    // rewriting the entry it reads: most matches are that short,
                    // and a loop ending with them would often be mispredicted.
                    g = roll(g, q);
                    std::uint32_t old = static_cast<std::uint32_t>(head[g]);
                    head[g] = static_cast<std::int32_t>(choose(len > 3, q, old));
                    g = roll(g, q + 1);
                    old = static_cast<std::uint32_t>(head[g]);
                    head[g] = static_cast<std::int32_t>(choose(len > 4, q + 1, old));
                    q += 2;
                }
                for (; q < next; ++q) {
                    g = roll(g, q);
                    head[g] = static_cast<std::int32_t>(q);
                }
                // The hash of next - 1, from its three bytes.
                h = ((byteAt(next - 1) << 10) ^ (byteAt(next) << 5) ^ byteAt(next + 1)) & kHashMask;
                p = next;
                limit = std::min({matchEnd, roomEnd, bound});
            }
        };
        run.template operator()<false, false>(std::min(start + static_cast<std::uint32_t>(kMaxDistance), wideEnd));
        run.template operator()<true, false>(wideEnd);
        run.template operator()<false, true>(matchEnd);
        // The last positions: linked, coded as literals.
        while (p < stop && p < roomEnd) {
            h = roll(h, p);
            head[h] = static_cast<std::int32_t>(p);
            storePair(pairAt(p), byteAt(p), 0);
            ++p;
        }
        out_ = pairAt(p);
        room_ = static_cast<std::int32_t>(roomEnd - p);
    }
    return tail(static_cast<std::uint32_t>(p));
}

// Level 1: greedy, up to 16 chain candidates.  The loop and its chain walk
// keep every field they use in locals: stores to the chains could alias
// the fields and would force reloads at every step.
template <bool kFullFlush, bool kHints>
std::uint32_t Finder<kFullFlush, kHints>::runAverage() {
    const std::uint8_t* const src = src_;
    const std::uint32_t start = start_;
    const std::uint32_t end = end_;
    std::int32_t* const head = head_;
    std::int32_t* const chain = chain_;
    const std::uintptr_t srcBase = srcBase_;
    const std::uintptr_t windowBase0 = windowBase0_;
    LZ77Pair* out = out_;
    std::int32_t room = room_;
    // The skip hints of the chain walks (see ChainWalk).
    std::uint16_t skip[kHints ? kHashSize : 1];
    if constexpr (kHints) {
        std::memset(skip, 0, sizeof skip);
        skip_ = skip;
    }
    const auto link = [&](std::uint32_t q) {
        const std::uint32_t h = hash3(reinterpret_cast<const std::uint8_t*>(srcBase + q));
        const std::int32_t previous = head[h];
        chain[q & kHashMask] = previous;
        head[h] = static_cast<std::int32_t>(q);
        if constexpr (kHints) {
            const auto c2 = static_cast<std::uint32_t>(chain[static_cast<std::uint32_t>(previous) & kHashMask]);
            const auto c3 = static_cast<std::uint32_t>(chain[c2 & kHashMask]);
            skip[q & kHashMask] = skipHint(q, static_cast<std::uint32_t>(chain[c3 & kHashMask]));
        }
        return previous;
    };
    std::uint32_t p = start;
    while (end - p > 2 && room > 0) {
        const std::uint32_t rest = end - p - 2;
        const std::uint32_t maxlen = rest < kMaxMatch ? rest : kMaxMatch;
        const std::int32_t first = link(p);
        --room;
        std::uint32_t best = 2;
        std::uint32_t bestC = 0;
        // The 4-byte prefix test and the skip hints of ChainWalk, written
        // out; past the first 32767 bytes of the call every usable
        // candidate is in the source.
        const auto walkChain = [&]<bool kInSource>() {
            const std::uint8_t* const P = src + (p - start);
            auto c = static_cast<std::uint32_t>(first);
            std::uint32_t at = 0;
            std::uint32_t mask = 0x00FFFFFFu;
            std::uint32_t want = load32(P) & mask;
            const auto test = [&](std::uint32_t x) {
                const std::uintptr_t base = kInSource || x >= start ? srcBase : windowBase0;
                const std::uint8_t* C = reinterpret_cast<const std::uint8_t*>(base + x);
                if ((load32(C + at) & mask) == want) [[unlikely]] {
                    const std::uint32_t len = matchLength(P, C, maxlen);
                    if (len > best) {
                        best = len;
                        bestC = x;
                        if (len >= maxlen) return false;
                        at = len - 3;
                        mask = 0xFFFFFFFFu;
                        want = load32(P + at);
                    }
                }
                return true;
            };
            for (std::uint32_t limit = kChainLimitAverage;;) {
                std::uint32_t hint = 0;
                if constexpr (kHints) {
                    hint = c - skip[c & kHashMask];
                    __asm__ volatile("" : "+r"(hint) : : "memory");
                }
                const auto c1 = static_cast<std::uint32_t>(chain[c & kHashMask]);
                if (!test(c) || --limit == 0 || !usableAt(c1, p)) break;
                const auto c2 = static_cast<std::uint32_t>(chain[c1 & kHashMask]);
                if (!test(c1) || --limit == 0 || !usableAt(c2, p)) break;
                const auto c3 = static_cast<std::uint32_t>(chain[c2 & kHashMask]);
                if (!test(c2) || --limit == 0 || !usableAt(c3, p)) break;
                const auto c4 = static_cast<std::uint32_t>(chain[c3 & kHashMask]);
                if (!test(c3) || --limit == 0) break;
                if constexpr (kHints) {
                    c = checkedHint(c, hint, c4);
                } else {
                    c = c4;
                }
                if (!usableAt(c, p)) break;
            }
        };
        if (usable(first, p) && maxlen >= 3) {
            if (p - start >= static_cast<std::uint32_t>(kMaxDistance)) {
                walkChain.template operator()<true>();
            } else {
                walkChain.template operator()<false>();
            }
        }
        if (best >= 3) {
            storePair(out++, best, p - bestC);
            const std::uint32_t next = p + best;
            // A match covers at least p + 1 and p + 2.
            link(p + 1);
            link(p + 2);
            for (std::uint32_t q = p + 3; q < next; ++q) link(q);
            p = next;
        } else {
            storePair(out++, src[p - start], 0);
            ++p;
        }
    }
    out_ = out;
    room_ = room;
    return tail(p);
}

// Level 2: up to 512 chain candidates and a one-step lazy choice: the match
// at p is taken unless the next position offers a longer one.  After a
// match the searches at p and p + 1 are both due and run side by side.
template <bool kFullFlush, bool kHints>
std::uint32_t Finder<kFullFlush, kHints>::runBest() {
    // The hints start out as 0, which never holds: they are set as positions
    // are linked and repaired as walks find them wrong.
    std::uint16_t skip[kHints ? kHashSize : 1];
    if constexpr (kHints) {
        std::memset(skip, 0, sizeof skip);
        skip_ = skip;
    }
    std::uint32_t p = start_;
    bool search = true;
    std::uint32_t L = 2;
    std::int32_t Q = 0;
    std::uint32_t hq = 0;  // the hash of p + 1
    while (end_ - p > 3 && room_ > 0) {
        const std::uint32_t rest = end_ - 3 - p;
        const std::uint32_t maxlen = rest < kMaxMatch ? rest : kMaxMatch;
        const std::uint32_t maxNext = rest - 1 < kMaxMatch ? rest - 1 : kMaxMatch;
        const std::uint32_t q = p + 1;
        const auto takes = [&](std::uint32_t nextL) {
            return (L >= nextL) & ((L > 3) | ((L == 3) & (p - static_cast<std::uint32_t>(Q) <= kFarLength3)));
        };
        // After a literal the hash of p is known from the last position.
        const std::uint32_t hp = search ? hash3(src_ + (p - start_)) : hq;
        hq = hash3(src_ + (q - start_));
        const std::int32_t c = insert(p, hp);
        const std::int32_t cNext = head_[hq];
        // Every usable candidate of p and p + 1 lies in the source.
        const bool inSource = p - start_ >= static_cast<std::uint32_t>(kMaxDistance);
        ChainWalk b;
        if (search) {
            ChainWalk a;
            const bool activeA = beginWalk(a, c, p, maxlen, 2);
            const bool activeB = beginWalk(b, cNext, q, maxNext, 2);
            const auto decisive = [&](const ChainWalk& w) {
                return w.best > 3 || (w.best == 3 && p - w.bestC <= kFarLength3);
            };
            if (inSource) {
                runSearchPair<true>(a, activeA, b, activeB, decisive);
            } else {
                runSearchPair<false>(a, activeA, b, activeB, decisive);
            }
            L = a.best;
            Q = static_cast<std::int32_t>(a.bestC);
            search = false;
        } else {
            // The match at p is taken unless p + 1 has a longer one: the walk
            // at p + 1 need only look for matches longer than L (and none
            // at all when it cannot find one).
            if (inSource) {
                walk<true>(b, cNext, q, maxNext, takes(L) ? L : 2);
            } else {
                walk<false>(b, cNext, q, maxNext, takes(L) ? L : 2);
            }
        }
        if (takes(b.best)) {
            emit(L, p - static_cast<std::uint32_t>(Q));
            insertRange(p + 1, p + L);
            p += L;
            search = true;
        } else {
            emit(src_[p - start_], 0);
            L = b.best;
            Q = static_cast<std::int32_t>(b.bestC);
            ++p;
        }
    }
    return tail(p);
}

// Calls shorter than these (levels 1 and 2) walk their chains without skip
// hints: the table is filled anew in each call, and the hints of the
// positions before the call are learnt anew as well, which shorter calls do
// not pay back (level 1's walks are short, so it needs longer calls).
constexpr std::uint32_t kHintsFromAverage = 32768;
constexpr std::uint32_t kHintsFromBest = 8192;

// Runs the level's loop over start..end-1; returns the position reached and
// advances `out` and `room` past the pairs written.
template <bool kFullFlush>
std::uint32_t runLevel(EncoderState& st, const std::uint8_t* src, std::uint32_t start, std::uint32_t end,
                       LZ77Pair*& out, std::int32_t& room) {
    const auto run = [&]<bool kHints>() {
        Finder<kFullFlush, kHints> finder(st, src, start, end, out, room);
        std::uint32_t p;
        if constexpr (kHints) {
            p = st.level == LZ77LevelBest ? finder.runBest() : finder.runAverage();
        } else {
            switch (st.level) {
                case LZ77LevelFast: p = finder.runFast(); break;
                case LZ77LevelBest: p = finder.runBest(); break;
                default: p = finder.runAverage(); break;
            }
        }
        out = finder.out();
        room = finder.room();
        return p;
    };
    const std::uint32_t hintsFrom = st.level == LZ77LevelBest ? kHintsFromBest : kHintsFromAverage;
    if (st.level != LZ77LevelFast && end - start >= hintsFrom) return run.template operator()<true>();
    return run.template operator()<false>();
}

void updateChecksum(EncoderState& st, const std::uint8_t* src, std::uint32_t n) {
    if (st.checksumKind == LZ77ChecksumAdler32) {
        st.checksum = adler32Update(st.checksum, src, n);
    } else if (st.checksumKind == LZ77ChecksumCRC32) {
        st.checksum = crc32Update(st.checksum, src, n);
    }
}

// Keeps at least the last 32768 consumed bytes in the window, sliding it
// when the next call's 258-byte copy would no longer fit behind them.
void updateWindow(EncoderState& st, const std::uint8_t* src, std::uint32_t start, std::uint32_t consumed) {
    const std::uint32_t end = start + consumed;
    const std::uint32_t base = static_cast<std::uint32_t>(st.windowBase);
    const std::uint32_t head = consumed < kMaxMatch ? consumed : kMaxMatch;  // already in the window
    constexpr std::uint32_t kKeep = 32768;
    if (consumed >= kKeep) {
        copyKernel(st.window, src + consumed - kKeep, kKeep);
        st.windowBase = static_cast<std::int32_t>(end - kKeep);
    } else if (end - base > static_cast<std::uint32_t>(kWindowSize - kMaxMatch)) {
        const std::uint32_t newBase = end - kKeep;
        std::memmove(st.window, st.window + (newBase - base), start + head - newBase);
        copyKernel(st.window + (start + head - newBase), src + head, consumed - head);
        st.windowBase = static_cast<std::int32_t>(newBase);
    } else {
        copyKernel(st.window + (start + head - base), src + head, consumed - head);
    }
}

}  // namespace
}  // namespace orvdc::lz77

using namespace orvdc::lz77;

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                            LZ77Pair** ppDst, int32_t* pDstLen,
                                                            LZ77FlushMode flush, LZ77EncoderState* pState) {
    if (orvdc::anyNull(ppSrc, ppDst, pSrcLen, pDstLen) || orvdc::anyNull(*ppSrc, *ppDst, pState)) {
        return orvStsNullPtr;
    }
    if (orvdc::anyBelow(0, *pDstLen, *pSrcLen)) return orvStsBadSize;
    EncoderState& st = encoderState(pState);
    const std::int32_t srcLen = *pSrcLen;
    // Positions are signed 32-bit: a stream must be reset before they wrap.
    if (srcLen > INT32_MAX - st.position) return orvStsBadSize;
    st.srcRemaining = srcLen;
    if (*pDstLen == 0) return orvStsDstFull;
    if (srcLen == 0) return orvStsOk;

    const std::uint8_t* src = *ppSrc;
    const auto start = static_cast<std::uint32_t>(st.position);
    const auto n = static_cast<std::uint32_t>(srcLen);
    orvdc::copyKernel(st.window + (start - static_cast<std::uint32_t>(st.windowBase)), src,
                      n < kMaxMatch ? n : kMaxMatch);
    const bool fullFlush = flush == LZ77FlushFull || st.lastFlush == LZ77FlushFull;
    st.lastFlush = flush;

    const std::uint32_t p = fullFlush ? runLevel<true>(st, src, start, start + n, *ppDst, *pDstLen)
                                      : runLevel<false>(st, src, start, start + n, *ppDst, *pDstLen);
    const std::uint32_t consumed = p - start;

    updateChecksum(st, src, consumed);
    st.totalIn += consumed;
    if (fullFlush) {
        st.position = 0;
        st.windowBase = 0;
    } else {
        updateWindow(st, src, start, consumed);
        st.position = static_cast<std::int32_t>(start + consumed);
    }

    *ppSrc = src + consumed;
    *pSrcLen = srcLen - static_cast<std::int32_t>(consumed);
    st.srcRemaining = *pSrcLen;
    return *pSrcLen > 0 ? orvStsDstFull : orvStsOk;
}
