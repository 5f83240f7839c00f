// GIT decoder: one block per call.
//
// The decoder replays the encoder's occurrences in order.  Every rank r below
// 255 has a remaining interval y(r): how many more occurrences at ranks above
// r must come before the value at r is due again.  An occurrence at rank c
// takes one off y at every rank below c; the next occurrence is at the
// smallest rank whose y is 0, and at rank 255 (byte value 0, which carries a
// plain count instead of intervals) when no rank has y = 0.  Ranks compare by
// the 32-bit key (y << 8) + r, so y is kept modulo 2^24.
//
// Scanning the 256 ranks per event would decrease every lower y and search
// for the minimum.  Instead a tournament tree over the ranks keeps, at each
// node covering ranks a..b, the smallest y(r) + RC(b) of its ranks together
// with the rank that has it, where RC(b) counts the occurrences at ranks
// above b.  A leaf's entry, y(r) + RC(r), does not change when occurrences
// happen elsewhere (y falls as RC grows), and a node combines its children
// as min(left - occurrences(right child), right).  So an event touches one
// leaf and the eight nodes above it, the root holds the true minimum y and
// its rank, and RC of the chosen rank is its leaf entry minus that minimum.
//
// When two values exchange ranks, the remaining intervals travel with them:
// the moving value's fresh interval starts at its new rank and the
// neighbour's remaining interval is carried over, rebased on the leaf counts
// of its new position.
#include <bit>
#include <cstdint>
#include <cstring>

#include "core/check.h"
#include "core/export.h"
#include "git/git_internal.h"

namespace orvdc::git {
namespace {

// Tree entry of a rank without further events.  Entries are 64-bit: valid
// ones stay below 2^33, and the sentinel stays above 2^62 whatever the
// combining subtracts from it, so no step has to test for it.
constexpr std::uint64_t kExhausted = std::uint64_t{1} << 63;
constexpr std::uint64_t kExhaustedFloor = std::uint64_t{1} << 62;
constexpr std::uint32_t kIntervalMask = 0x00FFFFFFu;
constexpr std::uint32_t kLeafBase = 256;

enum class Got { Value, End, Bad };

std::uint32_t loadBig32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

std::uint64_t loadBig64(const std::uint8_t* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return __builtin_bswap64(w);
}

class Decoder {
public:
    Decoder(DecoderState* st, const std::uint8_t* src) : st_(st), src_(src) {}

    // Splits the block into its 256 streams.
    bool parse(std::uint32_t srcLen) {
        std::uint64_t pos = 0;
        for (int j = 0; j < kValues; ++j) {
            if (srcLen - pos < 4) return false;
            const std::uint32_t len = loadBig32(src_ + pos);
            pos += 4;
            if (len == 0 || len > srcLen - pos) return false;
            DecoderStream& r = st_->streams[j];
            r.start = static_cast<std::uint32_t>(pos);
            r.length = len;
            r.byteIndex = r.bitPos = 0;
            r.stats.reset();
            pos += len;
        }
        return true;
    }

    orvStatus run(std::uint8_t* dst, std::int32_t* dstLen, std::int32_t strategy) {
        for (int r = 0; r < kLeaves; ++r) {
            st_->slotCount[r] = 0;
            st_->slotValue[r] = static_cast<std::uint8_t>(255 - r);
        }
        // The first value of every stream; rank 255's is its event count.
        for (int r = 0; r < 255; ++r) {
            std::uint32_t v;
            const Got got = value(r, v);
            if (got == Got::Bad) return orvStsBadSize;
            setMin(kLeafBase + r, got == Got::Value ? (v & kIntervalMask) : kExhausted);
        }
        std::uint32_t count255 = 0;
        if (value(255, count255) == Got::Bad) return orvStsBadSize;
        st_->rank255Left = count255;
        setMin(kLeafBase + 255, kExhausted);
        for (std::uint32_t r = 0; r < kLeaves; ++r) {
            treeOcc[kLeafBase + r] = 0;
            treeArg[kLeafBase + r] = static_cast<std::uint8_t>(r);
        }
        for (std::uint32_t i = kLeafBase - 1; i >= 1; --i) {
            treeOcc[i] = 0;
            combine(i);
        }

        const bool primed = strategy != 3;
        const int reorder = (strategy == 0 || strategy == 1) ? 1 : strategy == 2 ? 2 : 0;
        std::uint32_t out = 0;
        const std::uint32_t maxOut = st_->maxDstLen;
        std::uint32_t priming = primed ? 256 : 0;
        for (;;) {
            std::uint32_t c;
            std::uint32_t rc;  // occurrences so far at the ranks above c
            const std::uint64_t m = getMin(1);
            if (m == 0 || (st_->rank255Left == 0 && m < kExhaustedFloor)) {
                c = treeArg[1];
                rc = static_cast<std::uint32_t>(getMin(kLeafBase + c) - m);
            } else if (st_->rank255Left != 0) {
                c = 255;
                rc = 0;
            } else {
                break;
            }

            const std::uint8_t s = st_->slotValue[c];
            st_->slotCount[c] += 1;
            std::uint64_t y = kExhausted;
            if (c == 255) {
                st_->rank255Left -= 1;
            } else {
                std::uint32_t v;
                const Got got = value(255 - s, v);
                if (got == Got::Bad) return orvStsBadSize;
                if (got == Got::Value) y = v & kIntervalMask;
            }

            const std::uint32_t leaf = kLeafBase + c;
            treeOcc[leaf] += 1;
            std::uint32_t other = 0;  // second leaf changed by an exchange
            if (priming != 0) {
                --priming;
                if (c != 255) setMin(leaf, y == kExhausted ? y : y + rc);
            } else {
                if (out == maxOut) return orvStsBadSize;
                dst[out++] = s;
                if (c != 255) other = settle(c, y, rc, reorder);
            }
            climb(leaf, 1);
            if (other != 0) climb(other, 0);
        }
        if (priming != 0) return orvStsBadSize;  // fewer events than the priming
        *dstLen = static_cast<std::int32_t>(out);
        return orvStsOk;
    }

private:
    // Stores the fresh interval y of the value that occurred at rank c and
    // moves it one rank when the strategy says so.  Returns the neighbour's
    // leaf when an exchange took place, else 0.
    std::uint32_t settle(std::uint32_t c, std::uint64_t y, std::uint32_t rc, int reorder) {
        const std::uint32_t leaf = kLeafBase + c;
        std::uint32_t* count = st_->slotCount;
        if (reorder == 1 && c >= 1 && count[c - 1] + 1 <= count[c]) {
            // Up to rank c - 1: RC(c - 1) = RC(c) + occurrences(c).
            const std::uint32_t occ = treeOcc[leaf];
            const std::uint64_t prev = getMin(leaf - 1);
            setMin(leaf - 1, y == kExhausted ? y : y + rc + occ);
            setMin(leaf, prev == kExhausted ? prev : prev - occ);
            exchange(c - 1, c);
            return leaf - 1;
        }
        if (reorder == 2 && c <= 253 && count[c + 1] + 1 <= count[c]) {
            // Down to rank c + 1: RC(c + 1) = RC(c) - occurrences(c + 1).
            const std::uint32_t occ = treeOcc[leaf + 1];
            const std::uint64_t next = getMin(leaf + 1);
            setMin(leaf + 1, y == kExhausted ? y : y + rc - occ);
            setMin(leaf, next == kExhausted ? next : next + occ);
            exchange(c, c + 1);
            return leaf + 1;
        }
        setMin(leaf, y == kExhausted ? y : y + rc);
        return 0;
    }

    void exchange(std::uint32_t a, std::uint32_t b) {
        const std::uint8_t v = st_->slotValue[a];
        st_->slotValue[a] = st_->slotValue[b];
        st_->slotValue[b] = v;
        const std::uint32_t n = st_->slotCount[a];
        st_->slotCount[a] = st_->slotCount[b];
        st_->slotCount[b] = n;
    }

    std::uint64_t getMin(std::uint32_t i) const {
        std::uint64_t v;
        std::memcpy(&v, st_->treeMin[i], 8);
        return v;
    }
    void setMin(std::uint32_t i, std::uint64_t v) { std::memcpy(st_->treeMin[i], &v, 8); }

    // Recomputes the nodes above `leaf` after its entry changed, adding
    // `occurred` to their occurrence counts.  The path's own minimum stays in
    // a register, and only it is on the critical path: the sibling's side of
    // each comparison is prepared beside it.
    void climb(std::uint32_t leaf, std::uint32_t occurred) {
        std::uint32_t cur = leaf;
        std::uint64_t m = getMin(cur);
        std::uint32_t arg = treeArg[cur];
        std::uint32_t occ = treeOcc[cur];
        while (cur > 1) {
            const std::uint32_t sib = cur ^ 1;
            const std::uint64_t sibMin = getMin(sib);
            const std::uint32_t sibArg = treeArg[sib];
            // The left child's entry loses the right child's occurrences;
            // on equal entries the left child (lower rank) wins.  The side
            // and the winner depend on the data, so they are selected with
            // masks: as conditionals they compile to mispredicted branches.
            const std::uint32_t onRight = cur & 1;
            const std::uint32_t rightMask = 0u - onRight;
            const std::uint64_t sibEntry = sibMin - (occ & rightMask);
            const std::uint64_t pathEntry = m - (treeOcc[sib] & ~rightMask);
            const std::uint64_t takeSib = 0 - std::uint64_t{sibEntry + (onRight ^ 1) <= pathEntry};
            m = pathEntry ^ ((pathEntry ^ sibEntry) & takeSib);
            arg ^= (arg ^ sibArg) & static_cast<std::uint32_t>(takeSib);
            cur >>= 1;
            occ = treeOcc[cur] + occurred;
            treeOcc[cur] = occ;
            setMin(cur, m);
            treeArg[cur] = static_cast<std::uint8_t>(arg);
        }
    }

    void combine(std::uint32_t i) {
        const std::uint32_t l = 2 * i;
        const std::uint32_t r = l + 1;
        const std::uint64_t lv = getMin(l) - treeOcc[r];
        const std::uint64_t rv = getMin(r);
        const bool left = lv <= rv;
        setMin(i, left ? lv : rv);
        treeArg[i] = left ? treeArg[l] : treeArg[r];
    }

    // Decodes the next value of stream j.  End: the stream holds no further
    // code and is correctly padded.  Bad: the stream ends inside a code or
    // holds a code no encoder writes.
    Got value(int j, std::uint32_t& out) {
        DecoderStream& rd = st_->streams[j];
        const std::uint32_t bi = rd.byteIndex;
        const std::uint32_t bp = rd.bitPos;
        if (rd.length - bi >= 8) {
            const std::uint64_t w = loadBig64(src_ + rd.start + bi) << bp;
            const auto q = static_cast<std::uint32_t>(std::countl_one(w));
            if (q < kEscapeQuotient) {
                // At least 57 bits are in w and the code takes at most 40, so
                // it ends before the stream's last bit.
                const std::uint32_t k = rd.stats.k;
                const std::uint64_t v = (std::uint64_t{q} << k) + ((w << (q + 1)) >> (64 - k));
                if (v > 0xFFFFFFFFu) return Got::Bad;
                const std::uint32_t total = bp + q + 1 + k;
                rd.byteIndex = bi + (total >> 3);
                rd.bitPos = total & 7;
                rd.stats.beforeValue();
                rd.stats.afterValue(static_cast<std::uint32_t>(v));
                out = static_cast<std::uint32_t>(v);
                return Got::Value;
            }
        }
        return slowValue(j, out);
    }

    // Bit by bit, with the end-of-stream rules: reading the stream's last
    // bit ends it, and so does a 1 bit read while counting a quotient that
    // leaves a single bit in the last byte.
    Got slowValue(int j, std::uint32_t& out) {
        DecoderStream& rd = st_->streams[j];
        const std::uint8_t* data = src_ + rd.start;
        const std::uint64_t end = std::uint64_t{rd.length} * 8;
        std::uint64_t p = std::uint64_t{rd.byteIndex} * 8 + rd.bitPos;
        auto bit = [&]() -> std::uint32_t {
            const std::uint32_t b = (data[p >> 3] >> (7 - (p & 7))) & 1u;
            ++p;
            return b;
        };
        // Reads n <= 56 bits; false when the stream ran out.
        auto bits = [&](std::uint32_t n, std::uint64_t& v) {
            v = 0;
            for (std::uint32_t i = 0; i < n; ++i) {
                v = (v << 1) | bit();
                if (p == end) return false;
            }
            return true;
        };

        std::uint32_t q = 0;
        for (;;) {
            const std::uint32_t b = bit();
            if (p == end) return b ? Got::End : Got::Bad;
            if (b == 0) break;
            if (p == end - 1) return Got::End;
            if (++q == kEscapeQuotient) break;
        }
        std::uint32_t k = rd.stats.k;
        std::uint64_t v;
        if (q < kEscapeQuotient) {
            std::uint64_t low;
            if (!bits(k, low)) return Got::Bad;
            v = (std::uint64_t{q} << k) + low;
            if (v > 0xFFFFFFFFu) return Got::Bad;
            rd.stats.beforeValue();
            rd.stats.afterValue(static_cast<std::uint32_t>(v));
        } else {
            std::uint64_t base = 0;
            for (;;) {
                // A value below 2^32 never escapes past k = 28.
                if (k > 28) return Got::Bad;
                base += std::uint64_t{kEscapeQuotient} << k;
                const std::uint32_t b = bit();
                if (p == end) return Got::Bad;
                k *= 2;
                if (b == 0) break;
            }
            q = 0;
            for (;;) {
                const std::uint32_t b = bit();
                if (p == end) return Got::Bad;
                if (b == 0) break;
                if (++q == kEscapeQuotient) return Got::Bad;
            }
            std::uint64_t low;
            if (!bits(k, low)) return Got::Bad;
            v = base + (std::uint64_t{q} << k) + low;
            if (v > 0xFFFFFFFFu) return Got::Bad;
        }
        rd.byteIndex = static_cast<std::uint32_t>(p >> 3);
        rd.bitPos = static_cast<std::uint32_t>(p & 7);
        out = static_cast<std::uint32_t>(v);
        return Got::Value;
    }

    DecoderState* st_;
    const std::uint8_t* src_;
    std::uint32_t* treeOcc = st_->treeOcc;
    std::uint8_t* treeArg = st_->treeArg;
};

}  // namespace
}  // namespace orvdc::git

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeGIT_8u(const uint8_t* pSrc, int32_t srcLen,
                                                           uint8_t* pDst, int32_t* pDstLen,
                                                           int32_t strategy, GITState* pState) {
    using namespace orvdc::git;
    if (orvdc::anyNull(pSrc, pDst, pDstLen, pState)) return orvStsNullPtr;
    if (srcLen < 1) return orvStsBadSize;
    Decoder dec(reinterpret_cast<DecoderState*>(pState), pSrc);
    if (!dec.parse(static_cast<std::uint32_t>(srcLen))) return orvStsBadSize;
    return dec.run(pDst, pDstLen, strategy);
}
