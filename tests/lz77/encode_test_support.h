// Shared by the deflate encoder tests: a plain reference model of the match
// finder, a driver that runs a whole stream through the stages, and the zlib
// oracle.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/test_support.h"
#include "lz77/hash_table.h"
#include "orvdc.h"

#ifdef ORVDC_HAVE_ZLIB
#include <zlib.h>
#endif

namespace orvdc::test {

// The match finder written as directly as possible: the whole history of
// the current window epoch is kept in one vector, bytes are compared one at
// a time, chains are walked literally.
class ReferenceMatchFinder {
public:
    explicit ReferenceMatchFinder(int level) : level_(level < 0 || level > 2 ? 1 : level) { reset(); }

    void reset() {
        std::fill(std::begin(head_), std::end(head_), -32768);
        std::fill(std::begin(chain_), std::end(chain_), -32768);
        history_.clear();
        lastFlush_ = LZ77FlushNone;
    }

    // Codes src into at most `room` pairs; returns the bytes consumed.
    std::size_t encode(const std::uint8_t* src, std::size_t n, std::size_t room, int flush,
                       std::vector<LZ77Pair>& out) {
        if (room == 0 || n == 0) return 0;
        const std::int64_t start = static_cast<std::int64_t>(history_.size());
        std::vector<std::uint8_t> bytes(history_);
        bytes.insert(bytes.end(), src, src + n);
        const std::int64_t end = start + static_cast<std::int64_t>(n);
        full_ = flush == LZ77FlushFull || lastFlush_ == LZ77FlushFull;
        lastFlush_ = flush;
        b_ = &bytes;
        std::size_t left = room;
        std::int64_t p = start;
        const auto emit = [&](int length, int offset) {
            out.push_back({static_cast<std::uint16_t>(length), static_cast<std::uint16_t>(offset)});
            --left;
        };
        if (level_ == 0) {
            std::uint32_t h = n >= 2 ? (byte(start) << 5) ^ byte(start + 1) : 0;
            while (p < end - 2 && left > 0) {
                h = ((h << 5) ^ byte(p + 2)) & 0x7FFF;
                const std::int64_t c = head_[h];
                head_[h] = static_cast<std::int32_t>(p);
                const std::int64_t maxlen = std::min<std::int64_t>(end - p - 2, 258);
                std::int64_t len = 0;
                if (usable(c, p) && maxlen >= 1 && byte(c) == byte(p)) len = matchLength(c, p, maxlen);
                if (len >= 3) {
                    emit(static_cast<int>(len), static_cast<int>(p - c));
                    for (std::int64_t q = p + 1; q < p + len; ++q) {
                        h = ((h << 5) ^ byte(q + 2)) & 0x7FFF;
                        head_[h] = static_cast<std::int32_t>(q);
                    }
                    p += len;
                } else {
                    emit(byte(p), 0);
                    ++p;
                }
            }
        } else if (level_ == 1) {
            while (p < end - 2 && left > 0) {
                const std::int64_t maxlen = std::min<std::int64_t>(end - p - 2, 258);
                const std::int64_t c = head_[hash(p)];
                insert(p);
                std::int64_t best = 2, bestC = c;
                if (usable(c, p) && maxlen >= 3) walk(c, p, maxlen, 16, best, bestC);
                if (best >= 3) {
                    emit(static_cast<int>(best), static_cast<int>(p - bestC));
                    for (std::int64_t q = p + 1; q < p + best; ++q) insert(q);
                    p += best;
                } else {
                    emit(byte(p), 0);
                    ++p;
                }
            }
        } else {
            bool search = true;
            std::int64_t L = 2, Q = 0;
            while (p < end - 3 && left > 0) {
                const std::int64_t c = head_[hash(p)];
                insert(p);
                if (search) {
                    const std::int64_t maxlen = std::min<std::int64_t>(end - 3 - p, 258);
                    L = 2;
                    Q = c;
                    if (usable(c, p)) walk(c, p, maxlen, 512, L, Q);
                    search = false;
                }
                const std::int64_t maxNext = std::min<std::int64_t>(end - 3 - (p + 1), 258);
                const std::int64_t c2 = head_[hash(p + 1)];
                std::int64_t L2 = 2, Q2 = c2;
                if (usable(c2, p + 1)) walk(c2, p + 1, maxNext, 512, L2, Q2);
                if (L >= L2 && (L > 3 || (L == 3 && p - Q <= 4096))) {
                    emit(static_cast<int>(L), static_cast<int>(p - Q));
                    for (std::int64_t q = p + 1; q < p + L; ++q) insert(q);
                    p += L;
                    search = true;
                } else {
                    emit(byte(p), 0);
                    L = L2;
                    Q = Q2;
                    ++p;
                }
            }
        }
        while (p < end && left > 0) {
            emit(byte(p), 0);
            ++p;
        }
        const std::size_t consumed = static_cast<std::size_t>(p - start);
        if (full_) {
            history_.clear();
        } else {
            history_.insert(history_.end(), src, src + consumed);
        }
        return consumed;
    }

private:
    std::uint32_t byte(std::int64_t q) const { return (*b_)[static_cast<std::size_t>(q)]; }
    std::uint32_t hash(std::int64_t q) const {
        return static_cast<std::uint32_t>(lz77::kHashTable[0][byte(q)] ^ lz77::kHashTable[1][byte(q + 1)] ^
                                          lz77::kHashTable[2][byte(q + 2)]);
    }
    void insert(std::int64_t q) {
        const std::uint32_t h = hash(q);
        chain_[q & 0x7FFF] = head_[h];
        head_[h] = static_cast<std::int32_t>(q);
    }
    bool usable(std::int64_t c, std::int64_t p) const {
        return c < p && p - c <= 32767 && !(full_ && c < 1);
    }
    std::int64_t matchLength(std::int64_t c, std::int64_t p, std::int64_t maxlen) const {
        std::int64_t k = 0;
        while (k < maxlen && byte(c + k) == byte(p + k)) ++k;
        return k;
    }
    void walk(std::int64_t c, std::int64_t p, std::int64_t maxlen, int limit, std::int64_t& best,
              std::int64_t& bestC) const {
        for (int examined = 0; examined < limit; ++examined) {
            if (best >= maxlen) break;
            if (byte(c + best - 1) == byte(p + best - 1) && byte(c + best) == byte(p + best)) {
                const std::int64_t len = matchLength(c, p, maxlen);
                if (len > best) {
                    best = len;
                    bestC = c;
                }
            }
            c = chain_[c & 0x7FFF];
            if (!usable(c, p)) break;
        }
    }

    int level_;
    std::int32_t head_[32768];
    std::int32_t chain_[32768];
    std::vector<std::uint8_t> history_;
    const std::vector<std::uint8_t>* b_ = nullptr;
    int lastFlush_ = LZ77FlushNone;
    bool full_ = false;
};

// An encoder state in caller memory placed on a 4-byte (not 8-byte) boundary.
class EncoderBlock {
public:
    EncoderBlock(int level, int kind) : storage_(599620 / 4 + 2) {
        state_ = reinterpret_cast<LZ77EncoderState*>(reinterpret_cast<std::uint8_t*>(storage_.data()) +
                                                     (reinterpret_cast<std::uintptr_t>(storage_.data()) % 8 ? 0 : 4));
        orvsEncodeLZ77Init_8u(level, kind, state_);
    }
    LZ77EncoderState* get() { return state_; }

private:
    std::vector<std::uint32_t> storage_;
    LZ77EncoderState* state_;
};

enum class BlockKind { Fixed, Dynamic, Selector, StoredMix };

struct StreamPlan {
    int level = 1;
    int checksumKind = LZ77ChecksumAdler32;
    BlockKind kind = BlockKind::Selector;
    std::size_t piece = 1 << 20;    // source bytes per match-finder call
    std::int32_t pairRoom = 65536;  // pairs per match-finder call
    std::int32_t dstRoom = 1 << 20; // bytes per writer call
    std::uint64_t seed = 1;         // chooses flush modes and stored pieces
    int flushEvery = 0;             // 0: no flushes mid-stream; k: a sync or full flush on every k-th piece
};

// Runs the whole stream through the stages the way the public header
// describes, returning the deflate body followed by the trailer.  Any
// unexpected status fails the current test.
Bytes encodeStream(const Bytes& in, const StreamPlan& plan);

// zlib and gzip framing written by the tests.
Bytes zlibHeader();
Bytes gzipHeader();

#ifdef ORVDC_HAVE_ZLIB
// Inflates with zlib (windowBits as for inflateInit2); true when the stream
// ends exactly at the end of `stream` and gives `expected`.
bool zlibInflates(const Bytes& stream, int windowBits, const Bytes& expected);
#endif

}  // namespace orvdc::test
