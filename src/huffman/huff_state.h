// What the Huffman encoder, decoder and length-table files share: the state
// layout and the canonical code assignment.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orvdc.h"

// The state lives in caller memory that may be only 4-byte aligned, so it is
// made of 32-bit and byte fields only; table references are byte offsets from
// the start of the state, the same in 32-bit and 64-bit builds.
struct HuffState {
    std::int32_t codeLen[256];     // code length of each symbol, 0 = no code
    std::uint32_t codeValue[256];  // code of each symbol, right-aligned
    std::uint8_t symbols[256];     // decoder: symbols in code order, longest length first
    std::uint32_t firstCode[32];   // decoder: [L-1] = first code of length L, left-aligned to the longest
    std::int32_t runCount[32];     // decoder: [L-1] = symbols with length shortest..L
    std::uint32_t symbolsEnd;      // decoder: offset just past the last entry of `symbols`
    std::uint32_t firstCodeRef;    // decoder: offset of `firstCode`
    std::uint32_t runCountRef;     // decoder: offset of `runCount`
    std::int32_t longest;          // largest code length
    std::int32_t shortest;         // decoder: smallest nonzero code length
    std::uint32_t bitBuffer;       // pending bits, left-aligned (oldest is bit 31)
    std::int32_t bitCount;         // number of pending bits
    std::int32_t pendingZeros;     // decoder: zero bits that precede the bit buffer's bits
    std::uint8_t zeroSymbol;       // decoder: the symbol whose code is all zero bits
};

static_assert(sizeof(HuffState) == 2596, "HuffState must keep its interface size");
static_assert(alignof(HuffState) == 4, "HuffState must work in 4-byte aligned memory");

namespace orvdc::huff {

constexpr int kMaxCodeLen = 32;
constexpr std::uint32_t kSymbolsOffset = offsetof(HuffState, symbols);
constexpr std::uint32_t kFirstCodeOffset = offsetof(HuffState, firstCode);
constexpr std::uint32_t kRunCountOffset = offsetof(HuffState, runCount);

// Assigns the canonical code values of lengths len[0..256) (each 0..32) to
// value[]: longest codes first, symbols of one length in descending order, a
// counter shifted right by one after each length.  Symbols without a code get
// value 0.  When `st` is not null the decoder tables are filled as well.
void assignCodes(const std::int32_t* len, std::uint32_t* value, HuffState* st);

// Decodes like orvsDecodeHuff_8u; `allowFast` false runs only the plain
// symbol-by-symbol loop (the tests compare both paths).
orvStatus decodeRun(const std::uint8_t* src, std::int32_t srcLen, std::uint8_t* dst, std::int32_t* dstLen,
                    HuffState* st, bool allowFast);

}  // namespace orvdc::huff
