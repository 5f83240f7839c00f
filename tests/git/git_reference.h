// Plain reference models of the GIT block format for the tests and the fuzz
// harness: an encoder that follows the format step by step (right counts
// summed leaf by leaf, one bit at a time) and a decoder that scans all ranks
// for every event.  Both are slow on purpose and share no code with the
// library.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace orvdc::test::git {

using Bytes = std::vector<std::uint8_t>;

// One coded value: stream, value and, for an escape, how many times the
// parameter was doubled (0 when the value was not escaped).
struct Coded {
    int stream;
    std::uint32_t value;
    int doublings;
};

class BitStreamOut {
public:
    void bit(unsigned b) {
        if (nbits_ % 8 == 0) bytes_.push_back(0);
        if (b) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> (nbits_ % 8));
        ++nbits_;
    }
    void bits(std::uint64_t v, unsigned n) {
        for (unsigned i = n; i-- > 0;) bit(static_cast<unsigned>((v >> i) & 1));
    }
    // Pads the last byte with 1 bits; a stream that ends on a byte boundary
    // (or is empty) gains a whole 0xFF byte.
    Bytes finish() {
        if (nbits_ % 8 == 0) bytes_.push_back(0xFF);
        else bytes_.back() |= static_cast<std::uint8_t>(0xFFu >> (nbits_ % 8));
        return bytes_;
    }

private:
    Bytes bytes_;
    std::uint64_t nbits_ = 0;
};

struct Adaptive {
    std::uint32_t s = 0, n = 0, c = 0, k = 10;
    void learn(std::uint32_t v) {
        c += 1;
        s += v;
        n += 1;
        std::uint32_t m = 1;
        while ((static_cast<std::uint64_t>(n) << m) < s) ++m;
        k = m;
    }
};

inline int encodeValue(BitStreamOut& out, Adaptive& a, std::uint32_t value) {
    std::uint64_t v = value;
    std::uint32_t k = a.k;
    if ((v >> k) >= 8) {
        int doublings = 0;
        for (int i = 0; i < 8; ++i) out.bit(1);
        for (;;) {
            v -= std::uint64_t{8} << k;
            k *= 2;
            ++doublings;
            if ((v >> k) >= 8) out.bit(1);
            else break;
        }
        out.bit(0);
        for (std::uint64_t i = 0; i < (v >> k); ++i) out.bit(1);
        out.bit(0);
        out.bits(v, k);
        return doublings;
    }
    if (a.c >= 8) {
        a.s >>= 1;
        a.n >>= 1;
        a.c = 0;
    }
    for (std::uint64_t i = 0; i < (v >> k); ++i) out.bit(1);
    out.bit(0);
    out.bits(v, k);
    a.learn(value);
    return 0;
}

// Encodes src as one block with the given strategy; `trace`, when given,
// receives every coded value in order.
inline Bytes referenceEncode(const Bytes& src, int strategy, std::vector<Coded>* trace = nullptr) {
    if (strategy == 0) strategy = 1;
    std::uint8_t slotValue[256];
    std::uint32_t slotCount[256] = {};
    std::uint32_t leafCount[256] = {};  // per rank position, never moves
    std::uint32_t lastRight[256] = {};
    for (int r = 0; r < 256; ++r) slotValue[r] = static_cast<std::uint8_t>(255 - r);
    BitStreamOut streams[256];
    Adaptive stats[256];

    auto rightOf = [&](int r) {
        std::uint32_t sum = 0;
        for (int x = r + 1; x < 256; ++x) sum += leafCount[x];
        return sum;
    };
    auto code = [&](int stream, std::uint32_t v) {
        const int doublings = encodeValue(streams[stream], stats[stream], v);
        if (trace) trace->push_back({stream, v, doublings});
    };
    auto occur = [&](std::uint8_t s) {
        int r = 0;
        while (slotValue[r] != s) ++r;
        slotCount[r] += 1;
        leafCount[r] += 1;
        if (r != 255) {
            const std::uint32_t right = rightOf(r);
            const std::uint32_t v = right - lastRight[r];
            lastRight[r] = right;
            code(255 - s, v);
        }
        return r;
    };

    if (strategy != 3) {
        for (int r = 255; r >= 0; --r) occur(slotValue[r]);
    }
    for (std::uint8_t s : src) {
        const int r = occur(s);
        if (strategy == 1 && r >= 1 && r <= 254 && slotCount[r - 1] + 1 <= slotCount[r]) {
            const std::uint32_t newHere = lastRight[r - 1] - leafCount[r];
            lastRight[r - 1] = rightOf(r - 1);
            lastRight[r] = newHere;
            std::swap(slotValue[r - 1], slotValue[r]);
            std::swap(slotCount[r - 1], slotCount[r]);
        } else if (strategy == 2 && r <= 253 && slotCount[r + 1] + 1 <= slotCount[r]) {
            const std::uint32_t newHere = lastRight[r + 1] + leafCount[r + 1];
            lastRight[r + 1] = rightOf(r + 1);
            lastRight[r] = newHere;
            std::swap(slotValue[r + 1], slotValue[r]);
            std::swap(slotCount[r + 1], slotCount[r]);
        }
    }
    code(255, leafCount[255]);

    Bytes block;
    for (int j = 0; j < 256; ++j) {
        const Bytes bytes = streams[j].finish();
        const auto len = static_cast<std::uint32_t>(bytes.size());
        for (int shift = 24; shift >= 0; shift -= 8) block.push_back(static_cast<std::uint8_t>(len >> shift));
        block.insert(block.end(), bytes.begin(), bytes.end());
    }
    return block;
}

// Result of the reference decoder: ok, or the library's rejection of a
// malformed block or of a too long output.
struct Decoded {
    bool ok = false;
    Bytes bytes;
};

// Decodes a block, scanning every rank for every event.  Rejects what the
// library rejects: a truncated block, an empty stream, a stream that ends
// inside a code or holds a code that no encoder writes, fewer events than the
// priming, more than maxOut decoded bytes.
inline Decoded referenceDecode(const std::uint8_t* src, std::size_t srcLen, int strategy,
                               std::size_t maxOut) {
    Decoded result;
    struct Reader {
        const std::uint8_t* data = nullptr;
        std::uint64_t bits = 0, pos = 0;
        Adaptive stats;
    };
    Reader rd[256];
    std::size_t at = 0;
    for (int j = 0; j < 256; ++j) {
        if (srcLen - at < 4) return result;
        const std::uint32_t len = (std::uint32_t{src[at]} << 24) | (std::uint32_t{src[at + 1]} << 16) |
                                  (std::uint32_t{src[at + 2]} << 8) | src[at + 3];
        at += 4;
        if (len == 0 || len > srcLen - at) return result;
        rd[j].data = src + at;
        rd[j].bits = std::uint64_t{len} * 8;
        at += len;
    }

    enum { kValue, kEnd, kBad };
    // Reads one bit; `last` tells whether that bit was the stream's last.
    auto readBit = [](Reader& r, bool& last) {
        const unsigned b = (r.data[r.pos / 8] >> (7 - r.pos % 8)) & 1;
        ++r.pos;
        last = r.pos == r.bits;
        return b;
    };
    auto decodeValue = [&](Reader& r, std::uint32_t& out) -> int {
        bool last = false;
        unsigned ones = 0;
        for (;;) {
            const unsigned b = readBit(r, last);
            if (last) return b ? kEnd : kBad;
            if (!b) break;
            if (r.pos % 8 == 7 && r.pos / 8 == r.bits / 8 - 1) return kEnd;
            if (++ones == 8) break;
        }
        std::uint64_t k = r.stats.k, v = 0;
        if (ones < 8) {
            for (std::uint64_t i = 0; i < k; ++i) {
                v = (v << 1) | readBit(r, last);
                if (last) return kBad;
            }
            v += std::uint64_t{ones} << k;
            if (v > 0xFFFFFFFFu) return kBad;
            if (r.stats.c >= 8) {
                r.stats.s >>= 1;
                r.stats.n >>= 1;
                r.stats.c = 0;
            }
            r.stats.learn(static_cast<std::uint32_t>(v));
        } else {
            std::uint64_t base = 0;
            for (;;) {
                if (k > 28) return kBad;
                base += std::uint64_t{8} << k;
                const unsigned b = readBit(r, last);
                if (last) return kBad;
                k *= 2;
                if (!b) break;
            }
            unsigned q = 0;
            for (;;) {
                const unsigned b = readBit(r, last);
                if (last) return kBad;
                if (!b) break;
                if (++q == 8) return kBad;
            }
            std::uint64_t low = 0;
            for (std::uint64_t i = 0; i < k; ++i) {
                low = (low << 1) | readBit(r, last);
                if (last) return kBad;
            }
            v = base + (std::uint64_t{q} << k) + low;
            if (v > 0xFFFFFFFFu) return kBad;
        }
        out = static_cast<std::uint32_t>(v);
        return kValue;
    };

    constexpr std::uint32_t kMark = 0x7FFFFFFF;
    std::uint32_t key[256], value[256], rightCount[256] = {}, snapshot[256] = {}, occurrences[256] = {};
    std::uint8_t slotValue[256];
    std::uint32_t slotCount[256] = {};
    for (int r = 0; r < 256; ++r) slotValue[r] = static_cast<std::uint8_t>(255 - r);
    for (int j = 0; j < 256; ++j) {
        std::uint32_t v = 0;
        const int got = decodeValue(rd[j], v);
        if (got == kBad) return result;
        value[j] = v;
        key[j] = (got == kEnd || (j == 255 && v == 0)) ? kMark : 0;
    }

    const int reorder = (strategy == 0 || strategy == 1) ? 1 : strategy == 2 ? 2 : 0;
    const std::uint64_t skip = strategy == 3 ? 0 : 256;
    std::uint64_t events = 0;
    for (;;) {
        int best = -1;
        for (int r = 0; r < 256; ++r) {
            if (key[r] == kMark) continue;
            key[r] = r == 255 ? 255u : ((value[r] - rightCount[r] + snapshot[r]) << 8) + static_cast<std::uint32_t>(r);
            if (best < 0 || key[r] < key[best]) best = r;
        }
        if (best < 0) break;
        const int r = best;
        const std::uint8_t s = slotValue[r];
        slotCount[r] += 1;
        snapshot[r] = rightCount[r];
        occurrences[r] += 1;
        if (r == 255) {
            if (--value[255] == 0) key[255] = kMark;
        } else {
            std::uint32_t v = 0;
            const int got = decodeValue(rd[255 - s], v);
            if (got == kBad) return result;
            if (got == kEnd) key[r] = kMark;
            else value[r] = v;
        }
        for (int x = 0; x < r; ++x) rightCount[x] += 1;
        if (++events <= skip) continue;
        if (result.bytes.size() == maxOut) return result;
        result.bytes.push_back(s);
        if (reorder == 1 && r >= 1 && r <= 254 && slotCount[r - 1] + 1 <= slotCount[r]) {
            snapshot[r] = snapshot[r - 1] - occurrences[r];
            snapshot[r - 1] = rightCount[r - 1];
            std::swap(key[r - 1], key[r]);
            std::swap(value[r - 1], value[r]);
            std::swap(slotValue[r - 1], slotValue[r]);
            std::swap(slotCount[r - 1], slotCount[r]);
        } else if (reorder == 2 && r <= 253 && slotCount[r + 1] + 1 <= slotCount[r]) {
            snapshot[r] = snapshot[r + 1] + occurrences[r + 1];
            snapshot[r + 1] = rightCount[r + 1];
            std::swap(key[r + 1], key[r]);
            std::swap(value[r + 1], value[r]);
            std::swap(slotValue[r + 1], slotValue[r]);
            std::swap(slotCount[r + 1], slotCount[r]);
        }
    }
    result.ok = events >= skip;
    return result;
}

}  // namespace orvdc::test::git
