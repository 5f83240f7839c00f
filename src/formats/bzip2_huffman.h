// Huffman codes of bzip2 blocks: length-limited code lengths, canonical
// codes and a table-driven canonical decoder.
#pragma once

#include <cstdint>

#include "formats/bzip2_bits.h"

namespace orvf::bz {

inline constexpr int kMaxAlpha = 258;  // 256 byte symbols at most, two run digits, end of block
inline constexpr int kMaxTables = 6;
inline constexpr int kMinTables = 2;
inline constexpr int kGroupSize = 50;  // symbols coded with one selector
inline constexpr int kMaxCodeLen = 20; // longest code a decoder accepts
inline constexpr int kFastBits = 10;   // codes up to this length decode with one lookup
inline constexpr std::uint32_t kBlockMagicHi = 0x314159, kBlockMagicLo = 0x265359;
inline constexpr std::uint32_t kEndMagicHi = 0x177245, kEndMagicLo = 0x385090;

// Code lengths for n symbols (2 <= n <= kMaxAlpha), none above maxLen, every
// symbol given a code (a zero frequency counts as 1).
void huffmanLengths(const std::uint32_t* freq, int n, int maxLen, std::uint8_t* len);

// Canonical codes: shorter codes first, equal lengths in symbol order.
void assignCodes(const std::uint8_t* len, int n, std::uint32_t* code);

struct DecodeTable {
    // Codes of up to kFastBits bits: entry = symbol << 5 | length, indexed by
    // the next kFastBits bits; 0 where a longer code (or none) starts.
    std::uint16_t fast[1 << kFastBits];
    std::uint32_t first[kMaxCodeLen + 1];  // first code of each length
    std::uint32_t count[kMaxCodeLen + 1];  // codes of each length
    std::uint16_t offset[kMaxCodeLen + 1]; // index of the first of them in `symbols`
    std::uint16_t symbols[kMaxAlpha];      // symbols ordered by (length, symbol)
};

// False when the lengths (each 1..kMaxCodeLen) over-subscribe the code space;
// an incomplete code is accepted and its unused patterns fail in decode.
bool buildDecoder(const std::uint8_t* len, int n, DecodeTable* t);

// One symbol, or -1 for a pattern that is no code.
inline int decodeSymbol(BitReader& r, const DecodeTable& t) {
    const std::uint32_t v = r.peek(kMaxCodeLen);
    const std::uint32_t e = t.fast[v >> (kMaxCodeLen - kFastBits)];
    if (e != 0) {
        r.skip(static_cast<int>(e & 31));
        return static_cast<int>(e >> 5);
    }
    for (int length = kFastBits + 1; length <= kMaxCodeLen; ++length) {
        const std::uint32_t c = (v >> (kMaxCodeLen - length)) - t.first[length];
        if (c < t.count[length]) {
            r.skip(length);
            return t.symbols[t.offset[length] + c];
        }
    }
    return -1;
}

inline std::uint32_t combineCrc(std::uint32_t streamCrc, std::uint32_t blockCrc) {
    return ((streamCrc << 1) | (streamCrc >> 31)) ^ blockCrc;
}

}  // namespace orvf::bz
