// Builder of the dynamic-block decoding tables (layout in decode_tables.h).
#include "lz77/decode_tables.h"

#include <emmintrin.h>

#include <cstring>

namespace orvdc::lz77::decoder {

namespace {

void fillInvalid(DecodeEntry* t, std::uint32_t n, unsigned bits) {
    const DecodeEntry e = makeEntry(kKindInvalid, bits, 0);
    for (std::uint32_t i = 0; i < n; ++i) t[i] = e;
}

// Room for the longest set of code lengths, in whole 16-byte vectors.
constexpr unsigned kPaddedLengths = 288;

// Entries of every symbol of each alphabet, code bits not yet added.
template <std::size_t N>
constexpr std::array<DecodeEntry, N> symbolEntries(TableKind kind) {
    std::array<DecodeEntry, N> entries{};
    for (unsigned sym = 0; sym < N; ++sym) entries[sym] = symbolEntry(kind, sym);
    return entries;
}
constexpr auto kLitLenEntries = symbolEntries<288>(TableKind::LitLen);
constexpr auto kDistanceEntries = symbolEntries<32>(TableKind::Distance);
constexpr auto kCodeLengthEntries = symbolEntries<19>(TableKind::CodeLength);

const DecodeEntry* entriesOf(TableKind kind) {
    switch (kind) {
        case TableKind::LitLen:
            return kLitLenEntries.data();
        case TableKind::Distance:
            return kDistanceEntries.data();
        case TableKind::CodeLength:
            break;
    }
    return kCodeLengthEntries.data();
}

// Bytes bit-reversed.
constexpr std::array<std::uint8_t, 256> kReversedBytes = [] {
    std::array<std::uint8_t, 256> r{};
    for (unsigned b = 0; b < 256; ++b) r[b] = static_cast<std::uint8_t>(reverseBits(b, 8));
    return r;
}();

// The low n bits of `code` (n <= 15) in reverse order.
inline unsigned reversed(unsigned code, unsigned n) {
    return (static_cast<unsigned>(kReversedBytes[code & 0xFF]) << 8 | kReversedBytes[code >> 8]) >> (16 - n);
}

// A literal's code, bit-reversed, and its first-level entry.
struct ShortLiteral {
    std::uint32_t rev;
    DecodeEntry entry;
};

// Writes the entry of two literals at every first-level index whose bits
// begin with two whole literal codes: for codes a then b, the indexes with
// low bits rev(a), rev(b).  Only those entries are written, once each, so
// the work follows the number of such indexes.  `codes` come shortest
// first, so the pairs that fit end early.
void pairLiteralCodes(DecodeEntry* t, unsigned root, const ShortLiteral* codes, unsigned count) {
    const std::uint32_t rootSize = 1u << root;
    const unsigned shortest = entryTotalBits(codes[0].entry);
    for (unsigned a = 0; a < count; ++a) {
        const unsigned n1 = entryTotalBits(codes[a].entry);
        if (n1 + shortest > root) break;
        for (unsigned b = 0; b < count; ++b) {
            const unsigned n = n1 + entryTotalBits(codes[b].entry);
            if (n > root) break;
            const DecodeEntry e = makeLiteralPair(codes[a].entry, codes[b].entry);
            for (std::uint32_t i = codes[a].rev | codes[b].rev << n1; i < rootSize; i += 1u << n) t[i] = e;
        }
    }
}

}  // namespace

bool buildTable(DecoderState& s, TableKind kind, const std::uint8_t* lengths, unsigned count,
                unsigned rootLimit, unsigned incompleteRootLimit, std::uint32_t offset,
                std::uint32_t capacity, std::uint32_t* rootBits, std::uint32_t* used) {
    if (count > kPaddedLengths) return false;
    const bool pairLiterals = kind == TableKind::LitLen;
    // Four sets of counts, so that runs of equal lengths do not wait on
    // each other's increments.
    unsigned counts[4][16] = {};
    unsigned i = 0;
    for (; i + 4 <= count; i += 4) {
        ++counts[0][lengths[i]];
        ++counts[1][lengths[i + 1]];
        ++counts[2][lengths[i + 2]];
        ++counts[3][lengths[i + 3]];
    }
    for (; i < count; ++i) ++counts[0][lengths[i]];
    unsigned lengthCount[16];
    for (unsigned n = 0; n < 16; ++n) lengthCount[n] = counts[0][n] + counts[1][n] + counts[2][n] + counts[3][n];
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

    // Codes still to be placed, by length (only second-level ones count).
    unsigned remaining[16];
    for (unsigned n = 0; n < 16; ++n) remaining[n] = lengthCount[n];
    const DecodeEntry* const entries = entriesOf(kind);

    // The lengths in 16-byte vectors, zero past `count`: the symbols of one
    // length are found in value order by comparing a vector at a time, which
    // gives the canonical order without sorting.
    alignas(16) std::uint8_t padded[kPaddedLengths] = {};
    // Literal codes shorter than the root, shortest first, for the entries
    // of two literals.
    ShortLiteral shortLiterals[256];
    unsigned shortCount = 0;
    std::memcpy(padded, lengths, count);
    const unsigned vectors = (count + 15) / 16;

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
    // The next canonical code: counts up within a length and gains a low
    // zero bit per length step.  Each code is reversed on its own, off the
    // chain of increments.
    unsigned code = 0;
    unsigned codeLength = 0;
    for (unsigned n = 1; n <= maxLen; ++n) {
        if (lengthCount[n] == 0) continue;
        code <<= n - codeLength;
        codeLength = n;
        if (n <= root) fillTo(1u << n);
        const __m128i target = _mm_set1_epi8(static_cast<char>(n));
        for (unsigned v = 0; v < vectors; ++v) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(padded + 16 * v));
            auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, target)));
            for (; found != 0; found &= found - 1) {
                const unsigned sym = 16 * v + static_cast<unsigned>(__builtin_ctz(found));
                const unsigned rev = reversed(code++, n);
                const DecodeEntry e = entries[sym];
                if (n <= root) {
                    const DecodeEntry coded = addBits(e, n);
                    t[rev] = coded;
                    if (pairLiterals && n < root && entryKind(e) == kKindLiteral) {
                        shortLiterals[shortCount++] = {rev, coded};
                    }
                    continue;
                }
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
                for (std::uint32_t j = rev >> root; j < (1u << subWidth); j += 1u << (n - root)) {
                    t[subStart + j] = en;
                }
                --remaining[n];
            }
        }
    }
    fillTo(rootSize);
    if (shortCount != 0) pairLiteralCodes(t, root, shortLiterals, shortCount);
    *rootBits = root;
    *used = size;
    return true;
}

}  // namespace orvdc::lz77::decoder
