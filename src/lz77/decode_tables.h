// Decoding tables of the deflate decoder: the constant fixed-code tables and
// the builder of the dynamic-block tables.
//
// A table is a first-level array of 2^root entries indexed by the next root
// stream bits (least significant first), followed by second-level arrays for
// codes longer than root.  A code of length n <= root is stored at every index
// whose low n bits equal the code bit-reversed.  Codes longer than root that
// share their first root bits share one second-level array, whose width is
// the depth at which the remaining codes (taken in canonical order) fill it.
#pragma once

#include <array>
#include <cstdint>

#include "lz77/decode_state.h"

namespace orvdc::lz77::decoder {

enum class TableKind { CodeLength, LitLen, Distance };

inline constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::uint16_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The entry a symbol decodes to, without its bit count.  Symbols past the
// standard's ranges (literal/length 286, 287; distance 30, 31) are invalid.
constexpr DecodeEntry symbolEntry(TableKind kind, unsigned sym) {
    switch (kind) {
        case TableKind::CodeLength:
            return makeEntry(kKindLiteral, 0, sym);
        case TableKind::LitLen:
            if (sym < 256) return makeLiteral(0, sym);
            if (sym == 256) return makeEntry(kKindEndOfBlock, 0, 0);
            if (sym < 286) return makeBase(0, kLengthExtra[sym - 257], kLengthBase[sym - 257]);
            return makeEntry(kKindInvalid, 0, 0);
        case TableKind::Distance:
            if (sym < 30) return makeBase(0, kDistanceExtra[sym], kDistanceBase[sym]);
            return makeEntry(kKindInvalid, 0, 0);
    }
    return makeEntry(kKindInvalid, 0, 0);
}

// The low n bits of `code` (n <= 16) in reverse order.
constexpr unsigned reverseBits(unsigned code, unsigned n) {
    code = ((code & 0x5555u) << 1) | ((code >> 1) & 0x5555u);
    code = ((code & 0x3333u) << 2) | ((code >> 2) & 0x3333u);
    code = ((code & 0x0F0Fu) << 4) | ((code >> 4) & 0x0F0Fu);
    code = ((code & 0x00FFu) << 8) | ((code >> 8) & 0x00FFu);
    return code >> (16 - n);
}

// First canonical code of each length 1..15 (RFC 1951 section 3.2.2).
constexpr void firstCodes(const unsigned (&lengthCount)[16], unsigned (&next)[16]) {
    unsigned code = 0;
    next[0] = 0;
    for (unsigned n = 1; n < 16; ++n) {
        code = (code + (n == 1 ? 0 : lengthCount[n - 1])) << 1;
        next[n] = code;
    }
}

// Single-level table of the fixed code, built at compile time.
template <std::size_t Size, std::size_t Count>
constexpr std::array<DecodeEntry, Size> fixedTable(TableKind kind, unsigned (*lengthOf)(unsigned)) {
    std::array<DecodeEntry, Size> table{};
    unsigned lengthCount[16] = {};
    for (unsigned i = 0; i < Count; ++i) ++lengthCount[lengthOf(i)];
    unsigned next[16] = {};
    firstCodes(lengthCount, next);
    for (unsigned sym = 0; sym < Count; ++sym) {
        const unsigned n = lengthOf(sym);
        const DecodeEntry e = addBits(symbolEntry(kind, sym), n);
        for (unsigned i = reverseBits(next[n]++, n); i < Size; i += 1u << n) table[i] = e;
    }
    return table;
}

constexpr unsigned fixedLitLength(unsigned sym) {
    return sym < 144 ? 8 : sym < 256 ? 9 : sym < 280 ? 7 : 8;
}
constexpr unsigned fixedDistLength(unsigned) { return 5; }

// The fixed codes (at most 9 and 5 bits) at the wide root widths of dynamic
// tables, so both block kinds share the fast loop's common version.  Their
// literal codes (8 and 9 bits) never leave room for a second one, so the
// table has no entries of two literals.
inline constexpr unsigned kFixedLitRoot = kLitWideRoot;
inline constexpr unsigned kFixedDistRoot = kDistWideRoot;
inline constexpr std::array<DecodeEntry, 1u << kFixedLitRoot> kFixedLitTable =
    fixedTable<1u << kFixedLitRoot, 288>(TableKind::LitLen, fixedLitLength);
inline constexpr std::array<DecodeEntry, 1u << kFixedDistRoot> kFixedDistTable =
    fixedTable<1u << kFixedDistRoot, 32>(TableKind::Distance, fixedDistLength);

// Builds the decoding table of `count` code lengths (each 0..15) at
// s.tableArea[offset..offset + capacity).  Returns false for a code the
// decoder refuses: over-subscribed; all lengths 0 (accepted for a distance
// code: every lookup then gives an invalid entry); incomplete, except with
// exactly one used symbol in a literal/length or distance code.  On success
// stores the root width (rootLimit for a complete code; the smaller of its
// longest code and incompleteRootLimit for an incomplete one, whose invalid
// entries carry the root width as their bit count) and the number of entries
// used.  Also false when the table does not
// fit in `capacity` entries.  In a literal/length table, a first-level index
// whose bits begin with two whole literal codes gets one entry of both
// literals.
bool buildTable(DecoderState& s, TableKind kind, const std::uint8_t* lengths, unsigned count,
                unsigned rootLimit, unsigned incompleteRootLimit, std::uint32_t offset,
                std::uint32_t capacity, std::uint32_t* rootBits, std::uint32_t* used);

}  // namespace orvdc::lz77::decoder
