// The multi-level lookup table shared by the value and tuple decoders: its
// analysis (level widths, element count, element width), its construction
// and the walk that resolves one code.
//
// Layout: element 0 holds the root level's index width w0, elements
// 1..2^w0 are the root level; each deeper level is one element holding its
// width w followed by 2^w elements.  A leaf has bit 0 set, the number of code
// bits that belong to its level in bits 1..lengthBits and the value above
// them; a link has bit 0 clear and the index of the next level's width
// element above it.  Elements no code reaches keep the marker (all bits but
// bit 0 set), which the decoders report as a bad bit pattern.
#pragma once

#include <cstdint>

#include "orvdc.h"

namespace orvdc::vlc {

constexpr int kMaxLevels = 32;

struct DecodeLayout {
    std::int32_t maxCodeLength = 0;
    std::int32_t levels = 0;              // widths used
    std::int32_t widths[kMaxLevels] = {};  // the last one shortened to reach maxCodeLength
    std::int32_t lengthBits = 0;
    std::int32_t valueBits = 0;           // two's-complement width of every table value
    std::int64_t elements = 0;            // N
};

// Checks the table and the widths and derives the layout.  Returns orvStsOk
// or orvStsBadCodeLength.
orvStatus analyzeDecodeTable(const VLCTableEntry* table, std::int32_t count, const std::int32_t* widths,
                             std::int32_t levelCount, DecodeLayout& out);

// The element width (8, 16 or 32) for `elements` elements whose leaves need
// `leafBits` bits, or 0 when more than 32 bits would be needed.
std::int32_t entryBitsFor(std::int64_t elements, std::int64_t leafBits);

// Fills the lookup table at `table` (entryBits wide elements).  Returns
// orvStsOk, or orvStsBadCodeLength when a code's path meets a leaf where it
// needs a deeper level.
orvStatus buildDecodeTable(const VLCTableEntry* table, std::int32_t count, const DecodeLayout& layout,
                           std::int32_t entryBits, void* lookup);

// Resolves the code at the top of `bits` (the stream left-aligned, at least
// the longest code length valid).  `rootWidth` is table[0], read once by the
// caller.  Returns the code's length and stores its leaf, or returns -1 for
// bits that are no code of the table.
template <class E>
inline int walkTable(const E* table, int rootWidth, std::uint64_t bits, std::uint32_t lengthMask,
                     std::uint32_t& leaf) {
    constexpr E kMarker = static_cast<E>(~E{1});
    int w = rootWidth;
    int used = w;
    E e = table[1 + (bits >> (64 - w))];
    while ((e & 1u) == 0) {
        if (e == kMarker) return -1;
        const std::uint32_t base = e >> 1;
        w = table[base];
        const auto index = static_cast<std::uint32_t>((bits << used) >> (64 - w));
        used += w;
        e = table[base + 1 + index];
    }
    leaf = e;
    return used - w + static_cast<int>((e >> 1) & lengthMask);
}

}  // namespace orvdc::vlc
