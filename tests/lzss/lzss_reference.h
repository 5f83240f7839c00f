// Plain models of the LZSS coder for the tests: the token stream written and
// read one bit at a time, and the match finder written over the whole input
// with 64-bit positions, no window and no tables beyond head and chain.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/test_support.h"
#include "lz77/hash_table.h"

namespace lzss_ref {

using orvdc::test::Bytes;

struct Token {
    bool literal;
    std::uint8_t byte;      // literal
    std::uint32_t distance; // match
    std::uint32_t length;   // match
    bool operator==(const Token&) const = default;
};

inline Token literal(std::uint8_t b) { return {true, b, 0, 0}; }
inline Token match(std::uint32_t d, std::uint32_t len) { return {false, 0, d, len}; }

// Tokens of `data` encoded in calls ending at the given positions (ascending,
// the last one data.size()).
inline std::vector<Token> encodeTokens(const Bytes& data, const std::vector<std::size_t>& callEnds) {
    using orvdc::lz77::kHashTable;
    std::vector<std::int64_t> head(32768, -32768), chain(32768, -32768);
    std::vector<Token> out;
    auto hash = [&](std::size_t q) {
        return kHashTable[0][data[q]] ^ kHashTable[1][data[q + 1]] ^ kHashTable[2][data[q + 2]];
    };
    auto insert = [&](std::size_t q) {
        const int h = hash(q);
        chain[q % 32768] = head[h];
        head[h] = static_cast<std::int64_t>(q);
    };
    std::size_t p = 0;
    for (std::size_t e : callEnds) {
        while (p + 2 < e) {
            const std::int64_t c = head[hash(p)];
            insert(p);
            const std::size_t limit = std::min<std::size_t>(e - 2 - p, 258);
            const auto ip = static_cast<std::int64_t>(p);
            std::size_t best = 2;
            std::int64_t bestCand = 0;
            if (ip - c < 32768 && limit > 2) {
                std::int64_t cand = c;
                for (int examined = 1;; ++examined) {
                    const auto q = static_cast<std::size_t>(cand);
                    if (data[q + best - 1] == data[p + best - 1] && data[q + best] == data[p + best]) {
                        std::size_t len = 0;
                        while (len < limit && data[q + len] == data[p + len]) ++len;
                        if (len > best) {
                            best = len;
                            bestCand = cand;
                        }
                    }
                    if (best >= limit || examined == 16) break;
                    const std::int64_t next = chain[q % 32768];
                    if (ip - next >= 32768) break;
                    cand = next;
                }
            }
            if (best >= 3) {
                out.push_back(match(static_cast<std::uint32_t>(ip - bestCand), static_cast<std::uint32_t>(best)));
                for (std::size_t j = p + 1; j < p + best; ++j) insert(j);
                p += best;
            } else {
                out.push_back(literal(data[p]));
                ++p;
            }
        }
        for (; p < e; ++p) out.push_back(literal(data[p]));
    }
    return out;
}

// The token stream, most significant bit first, padded with 0 bits.
inline Bytes writeTokens(const std::vector<Token>& tokens) {
    Bytes out;
    std::size_t bit = 0;
    auto put = [&](std::uint32_t v, int n) {
        for (int k = n - 1; k >= 0; --k, ++bit) {
            if (bit % 8 == 0) out.push_back(0);
            if ((v >> k) & 1) out.back() |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
        }
    };
    for (const Token& t : tokens) {
        if (t.literal) {
            put(1, 1);
            put(t.byte, 8);
        } else {
            put(0, 1);
            put(t.distance, 15);
            put(t.length - 3, 8);
        }
    }
    return out;
}

// Reads complete tokens; trailing bits too few for a token are ignored.
inline std::vector<Token> readTokens(const Bytes& stream) {
    std::vector<Token> out;
    const std::size_t bits = stream.size() * 8;
    std::size_t bit = 0;
    auto get = [&](int n) {
        std::uint32_t v = 0;
        for (int k = 0; k < n; ++k, ++bit) v = (v << 1) | ((stream[bit / 8] >> (7 - bit % 8)) & 1u);
        return v;
    };
    while (bit < bits) {
        const bool isLiteral = (stream[bit / 8] >> (7 - bit % 8)) & 1u;
        if (bits - bit < (isLiteral ? 9u : 24u)) break;
        get(1);
        if (isLiteral) {
            out.push_back(literal(static_cast<std::uint8_t>(get(8))));
        } else {
            const std::uint32_t d = get(15);
            out.push_back(match(d, get(8) + 3));
        }
    }
    return out;
}

// Expands tokens; bytes before the start read as 0 (a decoder state laid
// out in zeroed memory), a distance of 0 reaches 32768 back.
inline Bytes expand(const std::vector<Token>& tokens) {
    Bytes out;
    for (const Token& t : tokens) {
        if (t.literal) {
            out.push_back(t.byte);
            continue;
        }
        const std::size_t d = t.distance == 0 ? 32768 : t.distance;
        for (std::uint32_t k = 0; k < t.length; ++k) out.push_back(out.size() >= d ? out[out.size() - d] : 0);
    }
    return out;
}

}  // namespace lzss_ref
