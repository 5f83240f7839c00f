// Constant deflate tables of the encoder (RFC 1951): the length and distance
// symbol mappings, and the fixed Huffman code with each code bit-reversed and
// its extra bits merged above it, ready to append to an LSB-first bit buffer.
// All are computed at compile time.
#pragma once

#include <array>
#include <cstdint>

namespace orvdc::lz77 {

inline constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                                33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                                1025, 1537, 2049, 3073, 4097, 6145,  8193,  12289, 16385, 24577};
inline constexpr std::uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The order in which the code-length code lengths are sent.
inline constexpr std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr std::uint32_t reverseBits(std::uint32_t code, std::uint32_t n) {
    std::uint32_t r = 0;
    for (std::uint32_t i = 0; i < n; ++i) r |= ((code >> i) & 1u) << (n - 1 - i);
    return r;
}

// Length code (0..28) of each match length 3..258, indexed by length - 3.
inline constexpr auto kLengthCode = [] {
    std::array<std::uint8_t, 256> t{};
    for (int code = 0; code < 29; ++code) {
        const int hi = code == 28 ? 258 : kLengthBase[code] + (1 << kLengthExtra[code]) - 1;
        for (int len = kLengthBase[code]; len <= hi && len <= 258; ++len) t[len - 3] = static_cast<std::uint8_t>(code);
    }
    t[258 - 3] = 28;  // 258 has its own code; 227..257 belong to code 27
    return t;
}();

// Distance code (0..29) by distIndexOf(d): of distances 1..256 at d - 1, of
// longer ones at 256 + ((d - 1) >> 7).  Distances above 32768 fall to code
// 29: such pairs are outside deflate and only have to be coded safely.
inline constexpr auto kDistCode = [] {
    std::array<std::uint8_t, 768> t{};
    for (int code = 0; code < 30; ++code) {
        for (int d = kDistBase[code]; d < kDistBase[code] + (1 << kDistExtra[code]); ++d) {
            t[d <= 256 ? d - 1 : 256 + ((d - 1) >> 7)] = static_cast<std::uint8_t>(code);
        }
    }
    for (int i = 256 + (32768 >> 7); i < 768; ++i) t[i] = 29;
    return t;
}();

// a when c holds, else b, by masking, so that the compiler emits no branch.
constexpr std::uint32_t choose(bool c, std::uint32_t a, std::uint32_t b) {
    return b ^ ((a ^ b) & (0u - static_cast<std::uint32_t>(c)));
}

// The index of distance d (1..65535; 0 reads in bounds too) in kDistCode, by
// a conditional move: near and far distances mix unpredictably.
constexpr std::uint32_t distIndexOf(std::uint32_t d) {
    const std::uint32_t x = (d - 1) & 0xFFFFu;
    return x < 256 ? x : 256 + (x >> 7);
}
constexpr std::uint32_t distCodeOf(std::uint32_t d) { return kDistCode[distIndexOf(d)]; }

// By distIndexOf(d): the distance whose extra-bit value is 0 for every d of
// the index, and the number of extra bits above the code.  Distances 1..256
// have an index each and are their own base, with no extra bits (the
// by-distance tables hold them).  Above 32768 the base steps on by 8192, so
// that d - base keeps to the 13 extra bits of code 29.
inline constexpr auto kDistIndexBase = [] {
    std::array<std::uint16_t, 768> t{};
    for (std::uint32_t i = 0; i < 768; ++i) {
        if (i < 256) {
            t[i] = static_cast<std::uint16_t>(i + 1);
        } else {
            const std::uint32_t first = ((i - 256) << 7) + 1;  // the smallest distance of the index
            const std::uint32_t base = kDistBase[kDistCode[i]];
            t[i] = static_cast<std::uint16_t>(first <= 32768 ? base : base + ((first - base) & ~8191u));
        }
    }
    return t;
}();
inline constexpr auto kDistIndexExtra = [] {
    std::array<std::uint8_t, 768> t{};
    for (std::uint32_t i = 256; i < 768; ++i) t[i] = kDistExtra[kDistCode[i]];
    return t;
}();

// For every distance 1..65535, d - base is 0 at the indexes of 1..256, and
// elsewhere the extra-bit value under its code, kept within the code's width.
// A longer distance's index covers 128 distances, over which both values
// rise by one per distance unless the second wraps, so agreeing at the first
// and last distance of each index is enough (and keeps the compile-time
// evaluation short).
constexpr bool distanceIndexHolds() {
    for (std::uint32_t i = 0; i < 768; ++i) {
        if (i == 256 || i == 257) continue;  // 1..256 have indexes of their own
        const std::uint32_t first = i < 256 ? i + 1 : ((i - 256) << 7) + 1;
        const std::uint32_t last = i < 256 ? first : (first + 127 < 65535 ? first + 127 : 65535);
        const std::uint32_t code = kDistCode[i];
        for (const std::uint32_t d : {first, last}) {
            const std::uint32_t want = i < 256 ? 0 : (d - kDistBase[code]) & ((1u << kDistExtra[code]) - 1u);
            if (distIndexOf(d) != i || d - kDistIndexBase[i] != want) return false;
        }
        if (kDistIndexExtra[i] != (i < 256 ? 0 : kDistExtra[code])) return false;
    }
    return true;
}
static_assert(distanceIndexHolds(), "the distance index tables agree with the distance codes");

struct FixedCode {
    std::uint16_t bits;
    std::uint16_t count;
};

// Fixed literal/length code of symbol 0..287 (RFC 1951, 3.2.6), bit-reversed.
constexpr FixedCode fixedSymbol(std::uint32_t sym) {
    if (sym < 144) return {static_cast<std::uint16_t>(reverseBits(0x30 + sym, 8)), 8};
    if (sym < 256) return {static_cast<std::uint16_t>(reverseBits(0x190 + sym - 144, 9)), 9};
    if (sym < 280) return {static_cast<std::uint16_t>(reverseBits(sym - 256, 7)), 7};
    return {static_cast<std::uint16_t>(reverseBits(0xC0 + sym - 280, 8)), 8};
}

inline constexpr auto kFixedLiteral = [] {
    std::array<FixedCode, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) t[i] = fixedSymbol(i);
    return t;
}();

// By match length - 3: the length symbol's code with the extra bits above it.
inline constexpr auto kFixedLength = [] {
    std::array<FixedCode, 256> t{};
    for (std::uint32_t len = 3; len <= 258; ++len) {
        const std::uint32_t code = kLengthCode[len - 3];
        const FixedCode c = fixedSymbol(257 + code);
        const std::uint32_t extra = len - kLengthBase[code];
        t[len - 3] = {static_cast<std::uint16_t>(c.bits | (extra << c.count)),
                      static_cast<std::uint16_t>(c.count + kLengthExtra[code])};
    }
    return t;
}();

// By distIndexOf(d): the 5-bit distance code, with the extra bits for
// distances 1..256; the bit count with the extra bits.
inline constexpr auto kFixedDist = [] {
    std::array<FixedCode, 768> t{};
    for (std::uint32_t i = 0; i < 768; ++i) {
        const std::uint32_t code = kDistCode[i];
        const std::uint32_t extra = i < 256 ? i + 1 - kDistBase[code] : 0;
        t[i] = {static_cast<std::uint16_t>(reverseBits(code, 5) | (extra << 5)),
                static_cast<std::uint16_t>(5 + kDistExtra[code])};
    }
    return t;
}();

// Literal symbol of a pair: its low 8 bits (a valid literal is 0..255).
constexpr std::uint32_t literalOf(std::uint16_t length) { return length & 0xFFu; }
// Index of a match length in the by-length tables (valid lengths 3..258).
constexpr std::uint32_t lengthIndexOf(std::uint16_t length) { return (length - 3u) & 0xFFu; }

}  // namespace orvdc::lz77
