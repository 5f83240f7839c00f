// The deflate match finder: source bytes to LZ77 pairs at three levels, with
// the history window, hash chains and running checksum kept in the state.
//
// Positions are absolute (since Init, Reset or the end of the last full-flush
// call).  A call covers positions start..end-1; bytes before start are read
// from the window, the rest from the caller's source.  The first 258 source
// bytes are also copied behind the history in the window, so a match whose
// candidate lies in the window can be compared there in one piece.
#include <algorithm>
#include <cstring>

#include "checksum/checksum.h"
#include "core/check.h"
#include "core/export.h"
#include "core/memory.h"
#include "lz77/encode_state.h"
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
    while (k + 8 <= maxlen) {
        const std::uint64_t x = load64(a + k) ^ load64(b + k);
        if (x != 0) return k + static_cast<std::uint32_t>(__builtin_ctzll(x)) / 8;
        k += 8;
    }
    while (k < maxlen && a[k] == b[k]) ++k;
    return k;
}

constexpr std::uint32_t kChainLimitAverage = 16;
constexpr std::uint32_t kChainLimitBest = 512;
// At level 2 a match of length 3 is taken only up to this distance.
constexpr std::uint32_t kFarLength3 = 4096;

class Finder {
public:
    Finder(EncoderState& st, const std::uint8_t* src, std::uint32_t start, std::uint32_t end, bool fullFlush,
           LZ77Pair* out, std::int32_t room)
        : src_(src), start_(start), end_(end), window_(st.window),
          windowBase_(static_cast<std::uint32_t>(st.windowBase)), head_(st.head), chain_(st.chain),
          fullFlush_(fullFlush), out_(out), room_(room) {}

    std::uint32_t runFast();
    std::uint32_t runAverage();
    std::uint32_t runBest();

    LZ77Pair* out() const { return out_; }
    std::int32_t room() const { return room_; }

private:
    const std::uint8_t* bytesAt(std::uint32_t q) const {
        return q >= start_ ? src_ + (q - start_) : window_ + (q - windowBase_);
    }
    // A candidate c can serve position p when 1 <= p - c <= 32767 (empty
    // entries, -32768, never qualify); a full-flush call also refuses c = 0.
    bool usable(std::int32_t c, std::uint32_t p) const {
        return p - static_cast<std::uint32_t>(c) - 1u < static_cast<std::uint32_t>(kMaxDistance) &&
               !(fullFlush_ && c == 0);
    }
    static std::uint32_t hash3(const std::uint8_t* b) {
        return static_cast<std::uint32_t>(kHashTable[0][b[0]] ^ kHashTable[1][b[1]] ^ kHashTable[2][b[2]]);
    }
    // Links q into its hash chain; returns the previous head of that chain.
    std::int32_t insert(std::uint32_t q) {
        const std::uint32_t h = hash3(src_ + (q - start_));
        const std::int32_t previous = head_[h];
        chain_[q & kHashMask] = previous;
        head_[h] = static_cast<std::int32_t>(q);
        return previous;
    }
    void insertRange(std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t q = from; q < to; ++q) insert(q);
    }
    // One walk along a hash chain for position p: at most `limit`
    // candidates from c, keeping the longest match (at least the initial
    // `best`) and the first candidate reaching it.  Starting from a `best`
    // above 2 finds the same result whenever that result is longer.
    struct ChainWalk {
        const std::uint8_t* P;
        std::uint32_t p, maxlen, bound, limit, best, at, mask, want;
        std::int32_t c, bestC;
        bool active;
    };
    void beginWalk(ChainWalk& w, std::int32_t c, std::uint32_t p, std::uint32_t maxlen, std::uint32_t limit,
                   std::uint32_t best) const;
    void stepWalk(ChainWalk& w) const;
    std::uint32_t walk(std::int32_t c, std::uint32_t p, std::uint32_t maxlen, std::uint32_t limit,
                       std::int32_t& bestC, std::uint32_t best = 2) const {
        ChainWalk w;
        beginWalk(w, c, p, maxlen, limit, best);
        while (w.active) stepWalk(w);
        bestC = w.bestC;
        return w.best;
    }

    void emit(std::uint32_t length, std::uint32_t offset) {
        out_->length = static_cast<std::uint16_t>(length);
        out_->offset = static_cast<std::uint16_t>(offset);
        ++out_;
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
    bool fullFlush_;
    LZ77Pair* out_;
    std::int32_t room_;
};

void Finder::beginWalk(ChainWalk& w, std::int32_t c, std::uint32_t p, std::uint32_t maxlen, std::uint32_t limit,
                       std::uint32_t best) const {
    w.P = src_ + (p - start_);
    w.p = p;
    w.maxlen = maxlen;
    // A candidate is usable while 1 <= p - c <= bound (a full-flush call
    // refuses c = 0, so there also p - c <= p - 1).
    constexpr auto kFar = static_cast<std::uint32_t>(kMaxDistance);
    w.bound = fullFlush_ ? std::min(kFar, p == 0 ? 0u : p - 1) : kFar;
    w.limit = limit;
    w.best = best;
    w.c = c;
    w.bestC = c;
    w.active = maxlen > best && p - static_cast<std::uint32_t>(c) - 1u < w.bound;
    if (!w.active) return;
    // A longer match needs the bytes up to offset best to agree: compare the
    // four ending there (the first three while best is 2) before the rest.
    w.at = best >= 3 ? best - 3 : 0;
    w.mask = best >= 3 ? 0xFFFFFFFFu : 0x00FFFFFFu;
    w.want = load32(w.P + w.at) & w.mask;
}

void Finder::stepWalk(ChainWalk& w) const {
    const auto cu = static_cast<std::uint32_t>(w.c);
    const std::uint8_t* C = cu >= start_ ? src_ + (cu - start_) : window_ + (cu - windowBase_);
    if ((load32(C + w.at) & w.mask) == w.want) {
        const std::uint32_t len = matchLength(w.P, C, w.maxlen);
        if (len > w.best) {
            w.best = len;
            w.bestC = w.c;
            if (len >= w.maxlen) {
                w.active = false;
                return;
            }
            w.at = len - 3;
            w.mask = 0xFFFFFFFFu;
            w.want = load32(w.P + w.at);
        }
    }
    if (--w.limit == 0) {
        w.active = false;
        return;
    }
    w.c = chain_[cu & kHashMask];
    w.active = w.p - static_cast<std::uint32_t>(w.c) - 1u < w.bound;
}

// Level 0: one candidate per position from a rolling hash, no chains.
std::uint32_t Finder::runFast() {
    std::uint32_t p = start_;
    if (end_ - start_ >= 3) {
        std::uint32_t h = (std::uint32_t{src_[0]} << 5) ^ src_[1];
        while (p < end_ - 2 && room_ > 0) {
            const std::uint8_t* P = src_ + (p - start_);
            h = ((h << 5) ^ P[2]) & kHashMask;
            const std::int32_t c = head_[h];
            head_[h] = static_cast<std::int32_t>(p);
            const std::uint32_t rest = end_ - p - 2;
            const std::uint32_t maxlen = rest < kMaxMatch ? rest : kMaxMatch;
            if (usable(c, p)) {
                const std::uint8_t* C = bytesAt(static_cast<std::uint32_t>(c));
                if (C[0] == P[0]) {
                    const std::uint32_t len = matchLength(P, C, maxlen);
                    if (len >= 3) {
                        emit(len, p - static_cast<std::uint32_t>(c));
                        for (std::uint32_t q = p + 1; q < p + len; ++q) {
                            h = ((h << 5) ^ src_[q + 2 - start_]) & kHashMask;
                            head_[h] = static_cast<std::int32_t>(q);
                        }
                        p += len;
                        continue;
                    }
                }
            }
            emit(P[0], 0);
            ++p;
        }
    }
    return tail(p);
}

// Level 1: greedy, up to 16 chain candidates.
std::uint32_t Finder::runAverage() {
    std::uint32_t p = start_;
    while (end_ - p > 2 && room_ > 0) {
        const std::uint32_t rest = end_ - p - 2;
        const std::uint32_t maxlen = rest < kMaxMatch ? rest : kMaxMatch;
        const std::int32_t c = insert(p);
        std::uint32_t best = 2;
        std::int32_t bestC = c;
        if (usable(c, p) && maxlen >= 3) best = walk(c, p, maxlen, kChainLimitAverage, bestC);
        if (best >= 3) {
            emit(best, p - static_cast<std::uint32_t>(bestC));
            insertRange(p + 1, p + best);
            p += best;
        } else {
            emit(src_[p - start_], 0);
            ++p;
        }
    }
    return tail(p);
}

// Level 2: up to 512 chain candidates and a one-step lazy choice: the match
// at p is taken unless the next position offers a longer one.
std::uint32_t Finder::runBest() {
    std::uint32_t p = start_;
    bool search = true;
    std::uint32_t L = 2;
    std::int32_t Q = 0;
    while (end_ - p > 3 && room_ > 0) {
        const std::int32_t c = insert(p);
        const std::uint32_t rest = end_ - 3 - p;
        const std::uint32_t maxlen = rest < kMaxMatch ? rest : kMaxMatch;
        const std::uint32_t maxNext = rest - 1 < kMaxMatch ? rest - 1 : kMaxMatch;
        const std::uint32_t q = p + 1;
        const std::int32_t cNext = head_[hash3(src_ + (q - start_))];
        const auto takes = [&](std::uint32_t nextL) {
            return L >= nextL && (L > 3 || (L == 3 && p - static_cast<std::uint32_t>(Q) <= kFarLength3));
        };
        std::uint32_t L2 = 2;
        std::int32_t Q2 = cNext;
        if (search) {
            // The searches at p and at p + 1 are independent: walk both
            // chains side by side so their memory latencies overlap.
            ChainWalk a, b;
            beginWalk(a, c, p, maxlen, kChainLimitBest, 2);
            beginWalk(b, cNext, q, maxNext, kChainLimitBest, 2);
            while (a.active && b.active) {
                stepWalk(a);
                stepWalk(b);
            }
            while (a.active) stepWalk(a);
            while (b.active) stepWalk(b);
            L = a.best;
            Q = a.bestC;
            L2 = b.best;
            Q2 = b.bestC;
            search = false;
        } else {
            // The match at p is taken unless p + 1 has a longer one: the walk
            // at p + 1 need only look for matches longer than L, and none
            // at all when it cannot find one.
            const bool takenUnlessLonger = takes(L);
            if (!(takenUnlessLonger && L >= maxNext)) {
                L2 = walk(cNext, q, maxNext, kChainLimitBest, Q2, takenUnlessLonger ? L : 2);
            }
        }
        if (takes(L2)) {
            emit(L, p - static_cast<std::uint32_t>(Q));
            insertRange(p + 1, p + L);
            p += L;
            search = true;
        } else {
            emit(src_[p - start_], 0);
            L = L2;
            Q = Q2;
            ++p;
        }
    }
    return tail(p);
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

    Finder finder(st, src, start, start + n, fullFlush, *ppDst, *pDstLen);
    std::uint32_t p;
    switch (st.level) {
        case LZ77LevelFast: p = finder.runFast(); break;
        case LZ77LevelBest: p = finder.runBest(); break;
        default: p = finder.runAverage(); break;
    }
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
    *pDstLen = finder.room();
    *ppDst = finder.out();
    st.srcRemaining = *pSrcLen;
    return *pSrcLen > 0 ? orvStsDstFull : orvStsOk;
}
