// Analysis and construction of the decoders' lookup table.
#include "vlc/decode_table.h"

#include <algorithm>
#include <bit>

namespace orvdc::vlc {
namespace {

constexpr std::int64_t kElementCap = std::int64_t{1} << 40;  // far beyond any object that fits 2^31 bytes

std::uint64_t lowMask(int n) {
    return (std::uint64_t{1} << n) - 1;
}

// The code bits of a record, cleared above its length.
std::uint32_t codeBits(const VLCTableEntry& e) {
    return static_cast<std::uint32_t>(e.code & lowMask(e.length));
}

// A bijective 32-bit mix: distinct keys give distinct hashes.
std::uint32_t mix(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

// The number of distinct values of the first `prefixBits` bits among the
// codes longer than that.  Counts with a fixed hash set on the stack: when
// one pass finds more distinct prefixes than it holds, the records are split
// by the top bits of their prefix's hash into two halves counted apart, so a
// table of any size is counted in a few passes each without heap memory.
std::int64_t countDistinctPrefixes(const VLCTableEntry* table, std::int32_t count, int prefixBits) {
    constexpr std::uint32_t kSlots = 2048;
    constexpr std::uint32_t kLimit = 1536;
    std::uint32_t slots[kSlots];  // prefix + 1; 0 is an empty slot
    struct Part {
        int depth;            // top bits of the hash that select the part
        std::uint32_t id;
    };
    Part stack[40];
    int top = 0;
    stack[top++] = {0, 0};
    std::int64_t total = 0;
    while (top > 0) {
        const Part part = stack[--top];
        std::fill_n(slots, kSlots, 0u);
        std::uint32_t filled = 0;
        bool full = false;
        for (std::int32_t i = 0; i < count && !full; ++i) {
            const int n = table[i].length;
            if (n <= prefixBits) continue;
            const std::uint32_t key = codeBits(table[i]) >> (n - prefixBits);
            const std::uint32_t h = mix(key);
            if (part.depth > 0 && (h >> (32 - part.depth)) != part.id) continue;
            std::uint32_t pos = h & (kSlots - 1);
            while (slots[pos] != 0 && slots[pos] != key + 1) pos = (pos + 1) & (kSlots - 1);
            if (slots[pos] == 0) {
                slots[pos] = key + 1;
                full = ++filled > kLimit;
            }
        }
        if (full) {
            // At depth 32 a part holds one prefix at most, so this ends.
            stack[top++] = {part.depth + 1, part.id * 2};
            stack[top++] = {part.depth + 1, part.id * 2 + 1};
        } else {
            total += filled;
        }
    }
    return total;
}

template <class E>
orvStatus build(const VLCTableEntry* table, std::int32_t count, const DecodeLayout& layout, E* t) {
    constexpr E kMarker = static_cast<E>(~E{1});
    const auto n = static_cast<std::uint64_t>(layout.elements);
    std::fill_n(t, n, kMarker);
    t[0] = static_cast<E>(layout.widths[0]);
    std::uint64_t next = 1 + (std::uint64_t{1} << layout.widths[0]);
    const int leafShift = layout.lengthBits + 1;
    for (std::int32_t i = 0; i < count; ++i) {
        const int length = table[i].length;
        const std::uint32_t code = codeBits(table[i]);
        std::uint64_t base = 0;
        int used = 0;
        for (int level = 0; level < layout.levels; ++level) {
            const int w = layout.widths[level];
            used += w;
            if (used >= length) {
                // The code ends here: it fills the 2^r elements whose first
                // t index bits are its own last t bits.
                const int r = used - length;
                const int bitsHere = w - r;
                const std::uint64_t first = (code & lowMask(bitsHere)) << r;
                const auto leaf = static_cast<E>((static_cast<std::uint32_t>(table[i].value) << leafShift) |
                                                 (static_cast<std::uint32_t>(bitsHere) << 1) | 1u);
                std::fill_n(t + base + 1 + first, std::uint64_t{1} << r, leaf);
                break;
            }
            const std::uint64_t index = (code >> (length - used)) & lowMask(w);
            E& slot = t[base + 1 + index];
            if (slot == kMarker) {
                const int nextWidth = layout.widths[level + 1];
                const std::uint64_t arraySize = 1 + (std::uint64_t{1} << nextWidth);
                if (next + arraySize > n) return orvStsBadCodeLength;
                slot = static_cast<E>(next << 1);
                t[next] = static_cast<E>(nextWidth);
                base = next;
                next += arraySize;
            } else if ((slot & 1u) != 0 || (slot >> 1) >= n) {
                return orvStsBadCodeLength;
            } else {
                base = slot >> 1;
            }
        }
    }
    return orvStsOk;
}

}  // namespace

orvStatus analyzeDecodeTable(const VLCTableEntry* table, std::int32_t count, const std::int32_t* widths,
                             std::int32_t levelCount, DecodeLayout& out) {
    int maxLength = 0;
    std::int64_t maxAbs = 0;
    int twosBits = 1;
    for (std::int32_t i = 0; i < count; ++i) {
        const int length = table[i].length;
        if (length < 1 || length > 32) return orvStsBadCodeLength;
        maxLength = std::max(maxLength, length);
        const std::int64_t v = table[i].value;
        maxAbs = std::max(maxAbs, v < 0 ? -v : v);
        const auto magnitude = static_cast<std::uint64_t>(v < 0 ? ~v : v);
        twosBits = std::max(twosBits, static_cast<int>(std::bit_width(magnitude)) + 1);
    }
    if (maxLength < 1) return orvStsBadCodeLength;  // no entries
    if (levelCount < 1) return orvStsBadCodeLength;

    // Widths in order until their sum reaches the longest code length.
    DecodeLayout l;
    l.maxCodeLength = maxLength;
    std::int64_t sum = 0;
    int widest = 0;
    for (std::int32_t i = 0; i < levelCount && sum < maxLength; ++i) {
        std::int64_t w = widths[i];
        if (w < 1) return orvStsBadCodeLength;
        if (sum + w > maxLength) w = maxLength - sum;
        sum += w;
        l.widths[l.levels++] = static_cast<std::int32_t>(w);
        widest = std::max(widest, static_cast<int>(w));
    }
    if (sum < maxLength) return orvStsBadCodeLength;

    // lengthBits: the smallest k >= 1 with 2^k above the widest level.
    l.lengthBits = std::max(1, static_cast<int>(std::bit_width(static_cast<unsigned>(widest))));
    // valueBits: 1 + the smallest k with 2^k >= the largest magnitude, widened
    // where a positive power of two would otherwise read back negative.
    const int k = maxAbs <= 1 ? 0 : static_cast<int>(std::bit_width(static_cast<std::uint64_t>(maxAbs - 1)));
    l.valueBits = std::max(k + 1, twosBits);

    std::int64_t elements = 1 + (std::int64_t{1} << l.widths[0]);
    int prefixBits = l.widths[0];
    for (int level = 1; level < l.levels && elements < kElementCap; ++level) {
        const std::int64_t arrays = countDistinctPrefixes(table, count, prefixBits);
        const std::int64_t arraySize = 1 + (std::int64_t{1} << l.widths[level]);
        elements = arrays > (kElementCap - elements) / arraySize ? kElementCap : elements + arrays * arraySize;
        prefixBits += l.widths[level];
    }
    l.elements = elements;
    out = l;
    return orvStsOk;
}

std::int32_t entryBitsFor(std::int64_t elements, std::int64_t leafBits) {
    // A link must stay below the marker: the smallest a >= 1 with
    // 2^a - 1 >= N + 1, plus the flag bit.
    int a = 1;
    while (a < 62 && (std::int64_t{1} << a) - 1 < elements + 1) ++a;
    const std::int64_t need = std::max<std::int64_t>(a + 1, leafBits);
    if (need <= 8) return 8;
    if (need <= 16) return 16;
    if (need <= 32) return 32;
    return 0;
}

orvStatus buildDecodeTable(const VLCTableEntry* table, std::int32_t count, const DecodeLayout& layout,
                           std::int32_t entryBits, void* lookup) {
    switch (entryBits) {
        case 8: return build(table, count, layout, static_cast<std::uint8_t*>(lookup));
        case 16: return build(table, count, layout, static_cast<std::uint16_t*>(lookup));
        default: return build(table, count, layout, static_cast<std::uint32_t*>(lookup));
    }
}

}  // namespace orvdc::vlc
