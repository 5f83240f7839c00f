// GIT encoder: one block per call.
//
// The 256 byte values sit in ranked slots; each slot is a leaf of a complete
// binary tree (heap order, leaves 255..510 for ranks 0..255) whose nodes count
// the occurrences seen at the leaves below them.  The right count R(L) of a
// leaf, the occurrences at all leaves right of it, is the sum of the right
// siblings met on the way from L to the root.  Each leaf remembers R at its
// last occurrence, so an occurrence codes the interval R(L) - V(L): how many
// bytes ranked after it came since the previous one.  Leaf counts never move;
// when two values swap slots their remembered right counts are rebased so the
// next intervals still count from each value's own last occurrence.
#include <cstdint>
#include <cstring>

#include "core/check.h"
#include "core/export.h"
#include "core/memory.h"
#include "git/git_internal.h"

namespace orvdc::git {
namespace {

constexpr std::uint32_t kLastLeaf = kNodes - 1;  // rank 255: byte value 0 lives there

class Encoder {
public:
    explicit Encoder(EncoderState* st)
        : st_(st),
          areas_(reinterpret_cast<std::uint8_t*>(st) + st->areaOffset),
          stride_(st->areaStride),
          limitBits_(static_cast<std::uint64_t>(st->maxSrcLen) * 8) {}

    // Fresh ranking, tree, statistics and writers.
    void reset() {
        for (EncoderStream& w : st_->streams) {
            w.byteIndex = w.bitPos = 0;
            w.stats.reset();
        }
        std::memset(st_->count, 0, sizeof st_->count);
        std::memset(st_->lastRight, 0, sizeof st_->lastRight);
        for (int r = 0; r < kLeaves; ++r) {
            st_->slotCount[r] = 0;
            st_->slotValue[r] = static_cast<std::uint8_t>(255 - r);
            st_->leafOf[255 - r] = static_cast<std::uint16_t>(255 + r);
        }
    }

    // One occurrence of every value, from rank 255 to rank 0, so that every
    // leaf starts with count 1.
    void prime() {
        for (int r = 255; r >= 0; --r) occurrence(st_->slotValue[r]);
    }

    template <int kStrategy>
    void mainPass(const std::uint8_t* src, std::uint32_t len) {
        for (std::uint32_t i = 0; i < len && !overflow_; ++i) {
            const std::uint32_t right = occurrence(src[i]);
            if constexpr (kStrategy == 1) moveUp(src[i], right);
            if constexpr (kStrategy == 2) moveDown(src[i], right);
        }
    }

    // Codes the count of byte value 0 (it is never coded as intervals).
    void finish() { codeValue(255, st_->count[kLastLeaf]); }

    bool overflowed() const { return overflow_; }

    // Pads every stream and, when the block fits maxDstLen, writes it to dst.
    bool assemble(std::uint8_t* dst, std::int32_t* dstLen) {
        std::uint64_t total = 4 * kValues;
        for (int j = 0; j < kValues; ++j) {
            std::uint8_t* a = area(j);
            const std::uint32_t bi = st_->streams[j].byteIndex;
            const std::uint32_t bp = st_->streams[j].bitPos;
            a[bi] = bp == 0 ? 0xFF : static_cast<std::uint8_t>(a[bi] | (0xFFu >> bp));
            total += bi + 1;
        }
        if (total > st_->maxDstLen) return false;
        std::uint8_t* out = dst;
        for (int j = 0; j < kValues; ++j) {
            const std::uint32_t len = st_->streams[j].byteIndex + 1;
            out[0] = static_cast<std::uint8_t>(len >> 24);
            out[1] = static_cast<std::uint8_t>(len >> 16);
            out[2] = static_cast<std::uint8_t>(len >> 8);
            out[3] = static_cast<std::uint8_t>(len);
            copyKernel(out + 4, area(j), len);
            out += 4 + len;
        }
        *dstLen = static_cast<std::int32_t>(total);
        return true;
    }

private:
    std::uint8_t* area(int j) { return areas_ + static_cast<std::size_t>(j) * stride_; }

    // Counts one occurrence of s and codes its interval; returns R(L).
    std::uint32_t occurrence(std::uint8_t s) {
        const std::uint32_t leaf = st_->leafOf[s];
        st_->slotCount[leaf - 255] += 1;
        std::uint32_t* count = st_->count;
        std::uint32_t right = 0;
        count[leaf] += 1;
        // Leaves are eight levels below the root.  A left child (odd index)
        // adds its right sibling; the mask keeps the walk free of branches.
        std::uint32_t i = leaf;
        for (int level = 0; level < 8; ++level) {
            right += count[i + 1] & (0u - (i & 1));
            i = (i - 1) >> 1;
            count[i] += 1;
        }
        if (leaf != kLastLeaf) {
            std::uint32_t& last = st_->lastRight[leaf - 255];
            const std::uint32_t v = right - last;
            last = right;
            codeValue(255 - s, v);
        }
        return right;
    }

    // Strategy 1: s (just counted at leaf L with right count `right`) moves
    // one rank up when its count passed its upper neighbour's.
    void moveUp(std::uint8_t s, std::uint32_t right) {
        const std::uint32_t leaf = st_->leafOf[s];
        const std::uint32_t r = leaf - 255;
        if (r < 1 || r > 254 || st_->slotCount[r - 1] + 1 > st_->slotCount[r]) return;
        std::uint32_t* last = st_->lastRight;
        const std::uint32_t countL = st_->count[leaf];
        last[r] = last[r - 1] - countL;
        last[r - 1] = right + countL;  // R(L - 1)
        exchange(r - 1, r);
    }

    // Strategy 2: s moves one rank down when its count passed its lower
    // neighbour's (never into rank 255).
    void moveDown(std::uint8_t s, std::uint32_t right) {
        const std::uint32_t leaf = st_->leafOf[s];
        const std::uint32_t r = leaf - 255;
        if (r > 253 || st_->slotCount[r + 1] + 1 > st_->slotCount[r]) return;
        std::uint32_t* last = st_->lastRight;
        const std::uint32_t countNext = st_->count[leaf + 1];
        last[r] = last[r + 1] + countNext;
        last[r + 1] = right - countNext;  // R(L + 1)
        exchange(r, r + 1);
    }

    void exchange(std::uint32_t a, std::uint32_t b) {
        const std::uint8_t va = st_->slotValue[a];
        const std::uint8_t vb = st_->slotValue[b];
        st_->slotValue[a] = vb;
        st_->slotValue[b] = va;
        const std::uint32_t ca = st_->slotCount[a];
        st_->slotCount[a] = st_->slotCount[b];
        st_->slotCount[b] = ca;
        st_->leafOf[vb] = static_cast<std::uint16_t>(255 + a);
        st_->leafOf[va] = static_cast<std::uint16_t>(255 + b);
    }

    // The adaptive value code.  A quotient v >> k below 8 is written in unary
    // followed by the k low bits, and teaches the stream's statistics.  Larger
    // values escape: eight 1 bits, then for every doubling of k needed beyond
    // the first a 1 bit, a 0, the quotient in unary and the low bits; the
    // statistics ignore escapes.  k stays at most 56 (v < 2^32).
    void codeValue(int j, std::uint32_t v) {
        StreamStats& stats = st_->streams[j].stats;
        std::uint32_t k = stats.k;
        if ((v >> k) < kEscapeQuotient) {
            stats.beforeValue();
            const std::uint32_t q = v >> k;
            const std::uint64_t low = v & ((std::uint64_t{1} << k) - 1);
            put(j, (((std::uint64_t{1} << q) - 1) << (k + 1)) | low, q + 1 + k);
            stats.afterValue(v);
            return;
        }
        put(j, 0xFF, 8);
        std::uint64_t w = v;
        for (;;) {
            w -= std::uint64_t{kEscapeQuotient} << k;
            k *= 2;
            if ((w >> k) < kEscapeQuotient) break;
            put(j, 1, 1);
        }
        const auto q = static_cast<std::uint32_t>(w >> k);
        put(j, ((std::uint64_t{1} << q) - 1) << 1, q + 2);
        if (k > 32) {
            put(j, w >> 32, k - 32);
            k = 32;
        }
        put(j, w & ((std::uint64_t{1} << k) - 1), k);
    }

    // Appends the n low bits of `bits` (n <= 56) to stream j, most significant
    // first.  A stream that would run past its limit marks the block failed.
    void put(int j, std::uint64_t bits, std::uint32_t n) {
        EncoderStream& w = st_->streams[j];
        const std::uint32_t bi = w.byteIndex;
        const std::uint32_t bp = w.bitPos;
        if (static_cast<std::uint64_t>(bi) * 8 + bp + n > limitBits_) {
            overflow_ = true;
            return;
        }
        std::uint8_t* a = area(j);
        std::uint64_t t = bp == 0 ? 0 : (a[bi] >> (8 - bp));
        t = (t << n) | bits;
        std::uint32_t total = bp + n;  // bits in t, at most 63
        std::uint32_t at = bi;
        if (bi + 8 <= stride_) {
            // Whole 8-byte store; the bytes past the last bit are new bytes
            // and may hold anything until written.
            const std::uint64_t word = __builtin_bswap64(t << (64 - total));
            std::memcpy(a + bi, &word, 8);
            at += total >> 3;
            total &= 7;
        } else {
            while (total >= 8) {
                total -= 8;
                a[at++] = static_cast<std::uint8_t>(t >> total);
            }
            if (total != 0) a[at] = static_cast<std::uint8_t>(t << (8 - total));
        }
        w.byteIndex = at;
        w.bitPos = total;
    }

    EncoderState* st_;
    std::uint8_t* areas_;
    std::uint32_t stride_;
    std::uint64_t limitBits_;
    bool overflow_ = false;
};

}  // namespace
}  // namespace orvdc::git

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeGIT_8u(const uint8_t* pSrc, int32_t srcLen,
                                                           uint8_t* pDst, int32_t* pDstLen,
                                                           int32_t strategy, GITState* pState) {
    using namespace orvdc::git;
    if (orvdc::anyNull(pSrc, pDst, pDstLen, pState)) return orvStsNullPtr;
    auto* st = reinterpret_cast<EncoderState*>(pState);
    if (srcLen < 0 || static_cast<std::uint32_t>(srcLen) > st->maxSrcLen) return orvStsBadSize;

    Encoder enc(st);
    enc.reset();
    if (strategy != 3) enc.prime();
    const auto len = static_cast<std::uint32_t>(srcLen);
    switch (strategy) {
        case 0:
        case 1: enc.mainPass<1>(pSrc, len); break;
        case 2: enc.mainPass<2>(pSrc, len); break;
        default: enc.mainPass<0>(pSrc, len); break;
    }
    enc.finish();
    if (enc.overflowed() || !enc.assemble(pDst, pDstLen)) return orvStsBadSize;
    return orvStsOk;
}
