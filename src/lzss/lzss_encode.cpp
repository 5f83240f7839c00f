// LZSS encoder: a greedy hash-chain match finder over a 32 KB history and a
// most-significant-bit-first token writer.
//
// Positions are 32-bit stream positions counted from Init (they wrap after
// 4 GiB; all distance arithmetic is modular, and a candidate is only taken
// at a distance of 1..32767, so a wrapped stale entry can at worst offer a
// real, verified match).  Bytes before the call's first position are read
// from the window, bytes from it on straight from the caller's source; each
// call first copies its leading 258 bytes into the window so that a match
// starting in older history can run on into them.
#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "core/check.h"
#include "core/export.h"
#include "core/memory.h"
#include "lz77/hash_table.h"
#include "lzss/lzss_state.h"

namespace {

using namespace orvdc::lzss;

constexpr std::uint32_t kChainMask = kTableEntries - 1;
constexpr int kMaxCandidates = 16;
constexpr std::uint32_t kHistoryBytes = 32768;

inline std::uint32_t hash3(const std::uint8_t* p) {
    using orvdc::lz77::kHashTable;
    return static_cast<std::uint32_t>(kHashTable[0][p[0]] ^ kHashTable[1][p[1]] ^ kHashTable[2][p[2]]);
}

inline std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void storeBigEndian32(std::uint8_t* p, std::uint32_t v) {
    v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

// Number of equal leading bytes of a and b, at most limit.  Reads only
// a[0..limit) and b[0..limit).
inline std::uint32_t matchLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) {
    std::uint32_t len = 0;
    while (len + 16 <= limit) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + len));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + len));
        const unsigned diff = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) ^ 0xFFFFu;
        if (diff != 0) return len + static_cast<std::uint32_t>(__builtin_ctz(diff));
        len += 16;
    }
    while (len < limit && a[len] == b[len]) ++len;
    return len;
}

// The bit buffer and the destination of one call.  Bits are kept
// right-aligned in a 64-bit accumulator (the low `count` bits are pending)
// and leave in 4-byte groups.  The destination counts as full as soon as the
// pending bits make at least as many whole bytes as there is room: that is
// the moment a byte-at-a-time writer would have written the last byte.
class TokenSink {
public:
    TokenSink(std::uint8_t* out, std::uint8_t* end, const Header& h)
        : out_(out), end_(end), count_(h.bitCount & 63) {
        const std::uint64_t left = (static_cast<std::uint64_t>(h.bitsHigh) << 32) | h.bitsLow;
        acc_ = count_ != 0 ? left >> (64 - count_) : 0;
    }

    // Appends an n-bit token (count_ < 32 on entry).  True when the
    // destination is full.
    bool put(std::uint32_t value, std::uint32_t n) {
        acc_ = (acc_ << n) | value;
        count_ += n;
        if (count_ >= 32 && end_ - out_ >= 4) {
            storeBigEndian32(out_, static_cast<std::uint32_t>(acc_ >> (count_ - 32)));
            out_ += 4;
            count_ -= 32;
        }
        return static_cast<std::size_t>(end_ - out_) <= (count_ >> 3);
    }

    // Writes the whole pending bytes that fit.
    void drain() {
        while (count_ >= 8 && out_ != end_) {
            *out_++ = static_cast<std::uint8_t>(acc_ >> (count_ - 8));
            count_ -= 8;
        }
    }

    bool full() const { return out_ == end_; }
    std::uint8_t* out() const { return out_; }

    void store(Header& h) const {
        const std::uint64_t left = count_ != 0 ? acc_ << (64 - count_) : 0;
        h.bitCount = count_;
        h.bitsHigh = static_cast<std::uint32_t>(left >> 32);
        h.bitsLow = static_cast<std::uint32_t>(left);
    }

private:
    std::uint8_t* out_;
    std::uint8_t* end_;
    std::uint64_t acc_;
    std::uint32_t count_;
};

struct Tables {
    std::int32_t* chain;
    std::int32_t* head;
    std::uint8_t* window;
};

Tables tablesOf(LZSSState* state) {
    auto* base = reinterpret_cast<std::uint8_t*>(state);
    return {reinterpret_cast<std::int32_t*>(base + kChainOffset),
            reinterpret_cast<std::int32_t*>(base + kHeadOffset), base + kEncoderWindowOffset};
}

// Emits the tokens for src[0..n) (stream positions s..s+n-1) until the
// source is used up or the destination is full; returns the bytes consumed.
// winAtS is the window address of position s.
std::uint32_t emitTokens(const std::uint8_t* src, std::uint32_t n, std::uint32_t s,
                         const std::uint8_t* winAtS, const Tables& t, TokenSink& sink, bool& full) {
    std::int32_t* const chain = t.chain;
    std::int32_t* const head = t.head;
    std::uint32_t i = 0;
    full = false;
    if (n > 2) {
        // Positions below `last` start a hashed, searched token; the last two
        // bytes of the call are left to the literal tail.
        const std::uint32_t last = n - 2;
        while (i < last) {
            const std::uint8_t* cur = src + i;
            const std::uint32_t p = s + i;
            const std::uint32_t hv = hash3(cur);
            const std::uint32_t first = static_cast<std::uint32_t>(head[hv]);
            chain[p & kChainMask] = head[hv];
            head[hv] = static_cast<std::int32_t>(p);

            const std::uint32_t limit = std::min(last - i, kMaxMatch);
            std::uint32_t best = kMinMatch - 1;
            std::uint32_t bestDistance = 0;
            std::uint32_t d = p - first;
            if (d - 1 < kMaxDistance && limit >= kMinMatch) {
                for (int examined = 1;; ++examined) {
                    // A candidate before the call's first byte lies wholly in
                    // the window (its 258 bytes end within the copied
                    // leading bytes), one from it on wholly in the source.
                    const std::uint8_t* c = (d <= i ? src : winAtS) +
                                            (static_cast<std::ptrdiff_t>(i) - static_cast<std::ptrdiff_t>(d));
                    if (load16(c + best - 1) == load16(cur + best - 1)) {
                        const std::uint32_t len = matchLength(c, cur, limit);
                        if (len > best) {
                            best = len;
                            bestDistance = d;
                            if (best >= limit) break;
                        }
                    }
                    if (examined == kMaxCandidates) break;
                    const std::uint32_t next = p - static_cast<std::uint32_t>(chain[(p - d) & kChainMask]);
                    if (next - 1 >= kMaxDistance) break;
                    d = next;
                }
            }

            if (best >= kMinMatch) {
                full = sink.put((bestDistance << 8) | (best - kMinMatch), kMatchBits);
                for (std::uint32_t j = i + 1; j < i + best; ++j) {
                    const std::uint32_t hj = hash3(src + j);
                    chain[(s + j) & kChainMask] = head[hj];
                    head[hj] = static_cast<std::int32_t>(s + j);
                }
                i += best;
            } else {
                full = sink.put(0x100u | *cur, kLiteralBits);
                ++i;
            }
            if (full) return i;
        }
    }
    while (i < n) {
        full = sink.put(0x100u | src[i], kLiteralBits);
        ++i;
        if (full) break;
    }
    return i;
}

// Keeps at least the 32768 bytes before the next position in the window, the
// index of the next position at most kWindowIndexLimit.  The first
// min(k, 258) consumed bytes are already in place.
void updateWindow(std::uint8_t* window, Header& h, const std::uint8_t* src, std::uint32_t k) {
    const std::uint32_t s = h.position;
    const std::uint32_t end = s + k;
    const std::uint32_t copied = std::min(k, kMaxMatch);
    if (k >= kHistoryBytes) {
        orvdc::copyKernel(window, src + (k - kHistoryBytes), kHistoryBytes);
        h.windowOrigin = end - kHistoryBytes;
    } else {
        if (end - h.windowOrigin > kWindowIndexLimit) {
            const std::uint32_t origin = end - kHistoryBytes;
            std::memmove(window, window + (origin - h.windowOrigin), (s + copied) - origin);
            h.windowOrigin = origin;
        }
        orvdc::copyKernel(window + (s + copied - h.windowOrigin), src + copied, k - copied);
    }
    h.position = end;
}

}  // namespace

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZSS_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                            uint8_t** ppDst, int32_t* pDstLen,
                                                            LZSSState* pState) {
    if (orvdc::anyNull(ppSrc, pSrcLen, ppDst, pDstLen, pState) || orvdc::anyNull(*ppSrc, *ppDst)) {
        return orvStsNullPtr;
    }
    if (orvdc::anyBelow(0, *pSrcLen, *pDstLen)) return orvStsBadSize;
    if (*pDstLen == 0) return orvStsDstFull;
    if (*pSrcLen == 0) return orvStsOk;

    Header h = loadHeader(pState);
    const Tables t = tablesOf(pState);
    const std::uint8_t* src = *ppSrc;
    const auto n = static_cast<std::uint32_t>(*pSrcLen);
    std::uint8_t* const out = *ppDst;
    TokenSink sink(out, out + *pDstLen, h);

    // Whole bytes left over from a call that filled its destination go
    // first, so the bit buffer never holds more than one token's worth
    // beyond a partial byte.
    sink.drain();
    std::uint32_t consumed = 0;
    bool full = sink.full();
    if (!full) {
        std::uint8_t* const winAtS = t.window + (h.position - h.windowOrigin);
        orvdc::copyKernel(winAtS, src, std::min(n, kMaxMatch));
        consumed = emitTokens(src, n, h.position, winAtS, t, sink, full);
        sink.drain();
        updateWindow(t.window, h, src, consumed);
    }
    sink.store(h);
    storeHeader(pState, h);

    const auto written = static_cast<std::int32_t>(sink.out() - out);
    *ppSrc = src + consumed;
    *pSrcLen -= static_cast<std::int32_t>(consumed);
    *ppDst = sink.out();
    *pDstLen -= written;
    return full ? orvStsDstFull : orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZSSFlush_8u(uint8_t** ppDst, int32_t* pDstLen,
                                                                 LZSSState* pState) {
    if (orvdc::anyNull(ppDst, pDstLen, pState) || orvdc::anyNull(*ppDst)) return orvStsNullPtr;
    if (*pDstLen < 1) return orvStsBadSize;

    Header h = loadHeader(pState);
    std::uint32_t count = h.bitCount & 63;
    std::uint64_t left = (static_cast<std::uint64_t>(h.bitsHigh) << 32) | h.bitsLow;
    const std::uint32_t needed = (count + 7) / 8;
    const auto room = static_cast<std::uint32_t>(*pDstLen);
    const std::uint32_t n = std::min(needed, room);
    std::uint8_t* out = *ppDst;
    for (std::uint32_t j = 0; j < n; ++j) out[j] = static_cast<std::uint8_t>(left >> (56 - 8 * j));
    *ppDst = out + n;
    *pDstLen -= static_cast<std::int32_t>(n);
    if (needed < room) return orvStsOk;  // the bits stay: a repeated Flush writes them again

    // The destination's last byte was written: keep what did not fit.
    if (8 * n >= count) {
        count = 0;
        left = 0;
    } else {
        count -= 8 * n;
        left <<= 8 * n;
    }
    h.bitCount = count;
    h.bitsHigh = static_cast<std::uint32_t>(left >> 32);
    h.bitsLow = static_cast<std::uint32_t>(left);
    storeHeader(pState, h);
    return orvStsDstFull;
}
