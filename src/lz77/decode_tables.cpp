// Builder of the dynamic-block decoding tables (layout in decode_tables.h).
#include "lz77/decode_tables.h"

#include <cstring>

namespace orvdc::lz77::decoder {

namespace {

void fillInvalid(DecodeEntry* t, std::uint32_t n, unsigned bits) {
    const DecodeEntry e = makeEntry(kKindInvalid, bits, 0);
    for (std::uint32_t i = 0; i < n; ++i) t[i] = e;
}

}  // namespace

bool buildTable(DecoderState& s, TableKind kind, const std::uint8_t* lengths, unsigned count,
                unsigned rootLimit, unsigned incompleteRootLimit, std::uint32_t offset,
                std::uint32_t capacity, std::uint32_t* rootBits, std::uint32_t* used) {
    unsigned lengthCount[16] = {};
    for (unsigned i = 0; i < count; ++i) ++lengthCount[lengths[i]];
    lengthCount[0] = 0;

    unsigned maxLen = 15;
    while (maxLen > 0 && lengthCount[maxLen] == 0) --maxLen;
    DecodeEntry* const t = s.tableArea + offset;
    if (maxLen == 0) {
        // No code at all: only a distance code may be empty (a block of
        // literals); any lookup then finds an invalid entry.
        if (kind != TableKind::Distance || capacity < 2) return false;
        fillInvalid(t, 2, 1);
        *rootBits = 1;
        *used = 2;
        return true;
    }

    // Kraft test: `left` counts the unused codes of the current length.
    int left = 1;
    unsigned symbols = 0;
    for (unsigned n = 1; n < 16; ++n) {
        left = 2 * left - static_cast<int>(lengthCount[n]);
        if (left < 0) return false;  // over-subscribed
        symbols += lengthCount[n];
    }
    const bool incomplete = left > 0;
    if (incomplete && (kind == TableKind::CodeLength || symbols != 1)) return false;

    // A complete code decodes the same at any root width, so it always gets
    // the full width (the fast loop has a version for the usual widths).  An
    // incomplete code's invalid entries carry the width: it keeps the
    // narrower of its longest code and the limit.
    unsigned root = rootLimit;
    if (incomplete) {
        if (incompleteRootLimit < root) root = incompleteRootLimit;
        if (maxLen < root) root = maxLen;
    }
    const std::uint32_t rootSize = 1u << root;
    if (rootSize > capacity) return false;
    if (incomplete) fillInvalid(t, rootSize, root);

    // Symbols sorted by code length, then by value: canonical code order.
    std::uint16_t sorted[288];
    unsigned start[16] = {};
    for (unsigned n = 2; n < 16; ++n) start[n] = start[n - 1] + lengthCount[n - 1];
    for (unsigned sym = 0; sym < count; ++sym) {
        if (lengths[sym] != 0) sorted[start[lengths[sym]]++] = static_cast<std::uint16_t>(sym);
    }

    unsigned next[16];
    firstCodes(lengthCount, next);
    unsigned remaining[16];
    for (unsigned n = 0; n < 16; ++n) remaining[n] = lengthCount[n];

    // First-level codes, shortest first, are written at their bit-reversed
    // codes in t[0, filled), filled = 2^(their length); the first-level
    // entries written so far are copied after themselves whenever a longer
    // length comes, so each ends up at every index with its low bits.
    std::uint32_t filled = 0;
    const auto fillTo = [&](std::uint32_t n) {
        if (filled == 0) filled = n;
        for (; filled < n; filled *= 2) std::memcpy(t + filled, t, filled * sizeof *t);
    };
    std::uint32_t size = rootSize;        // entries used so far
    std::uint32_t subStart = 0;           // current second-level array
    unsigned subWidth = 0;
    std::uint32_t currentLow = ~std::uint32_t{0};
    for (unsigned k = 0; k < symbols; ++k) {
        const unsigned sym = sorted[k];
        const unsigned n = lengths[sym];
        const unsigned rev = reverseBits(next[n]++, n);
        const DecodeEntry e = symbolEntry(kind, sym);
        if (n <= root) {
            fillTo(1u << n);
            t[rev] = addBits(e, n);
        } else {
            fillTo(rootSize);
            const std::uint32_t low = rev & (rootSize - 1);
            if (low != currentLow) {
                // Width of the new array: grow while the codes still to be
                // placed do not fill it.
                unsigned w = n - root;
                int room = 1 << w;
                while (root + w < maxLen) {
                    room -= static_cast<int>(remaining[root + w]);
                    if (room <= 0) break;
                    ++w;
                    room <<= 1;
                }
                if (size + (1u << w) > capacity) return false;
                subStart = size;
                subWidth = w;
                size += 1u << w;
                if (incomplete) fillInvalid(t + subStart, 1u << w, w);
                t[low] = makeEntry(w, root, subStart);
                currentLow = low;
            }
            const DecodeEntry en = addBits(e, n - root);
            for (std::uint32_t i = rev >> root; i < (1u << subWidth); i += 1u << (n - root)) {
                t[subStart + i] = en;
            }
        }
        --remaining[n];
    }
    fillTo(rootSize);
    *rootBits = root;
    *used = size;
    return true;
}

}  // namespace orvdc::lz77::decoder
