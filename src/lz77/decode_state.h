// The deflate decoder's state object and the pieces its operations share: the
// bit-buffer conventions, the history window and the match copies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lz77/lz77_common.h"
#include "orvdc.h"

namespace orvdc::lz77::decoder {

// Decoding-table entry: bits 0-7 hold the bits the entry takes at its table
// level plus, for a length or distance base, its extra bits (at most
// 15 + 13), so one shift by the entry's low bits passes the code and its
// extra bits together; kind in bits 8-15, value in bits 16-31.
//   kind 128          literal byte (code-length code: symbol 0..18)
//   kind 128 + n      two literals, the first with a code of n bits (1..10);
//                     value is the first byte plus the second times 256.
//                     Only first-level literal/length entries, when both
//                     codes fit in the first level's bits.
//   kind 1..15        link to a second-level table of that index width; value
//                     is its offset in entries from the start of the table
//   kind 64 + c       length or distance base `value` with a code of c bits;
//                     the entry's bits less c are its extra bits
//   kind 32           end of block
//   kind 16           invalid code
// Literal entries alone have bit 7 of the kind set, bases alone bit 6.  So
// the fast loop tells each kind with one bit test, takes a length or distance
// from the buffer as (bits below the entry's total) >> c, and, as a 64-bit
// shift uses only the low 6 bits of its count, shifts by the entry's bits
// 8-15 as c.
using DecodeEntry = std::uint32_t;

inline constexpr unsigned kKindLiteral = 128;
inline constexpr unsigned kKindBase = 64;
inline constexpr unsigned kKindEndOfBlock = 32;
inline constexpr unsigned kKindInvalid = 16;

// Bit tests on whole entries.
inline constexpr DecodeEntry kLiteralBit = kKindLiteral << 8;
inline constexpr DecodeEntry kBaseBit = kKindBase << 8;
// Set in an entry of two literals only.
inline constexpr DecodeEntry kLiteralPairBits = (kKindLiteral - 1) << 8;

constexpr unsigned entryKind(DecodeEntry e) { return (e >> 8) & 0xFF; }
constexpr bool isBase(unsigned kind) { return (kind & 0xC0) == kKindBase; }
constexpr bool isLink(unsigned kind) { return kind - 1u < 15u; }

// `bits` counts the code's own bits; a base has `extra` more.
constexpr DecodeEntry makeEntry(unsigned kind, unsigned bits, unsigned value) {
    return bits | (kind << 8) | (value << 16);
}
constexpr DecodeEntry makeLiteral(unsigned bits, unsigned byte) { return makeEntry(kKindLiteral, bits, byte); }
constexpr DecodeEntry makeBase(unsigned bits, unsigned extra, unsigned value) {
    return makeEntry(kKindBase + bits, bits + extra, value);
}
// Bits of the code with its extra bits, and of the code alone.
constexpr unsigned entryTotalBits(DecodeEntry e) { return e & 0xFF; }
constexpr unsigned entryBits(DecodeEntry e) {
    const unsigned kind = entryKind(e);
    return isBase(kind) ? kind - kKindBase : kind > kKindLiteral ? kind - kKindLiteral : entryTotalBits(e);
}
constexpr unsigned entryExtra(DecodeEntry e) { return entryTotalBits(e) - entryBits(e); }
constexpr unsigned entryValue(DecodeEntry e) { return e >> 16; }
constexpr bool isLiteral(unsigned kind) { return (kind & kKindLiteral) != 0; }
// The (first) byte of a literal entry.
constexpr unsigned literalByte(DecodeEntry e) { return (e >> 16) & 0xFF; }
// One entry for two literal entries whose codes take `first` then `second`
// bits; the resumable loop takes only the first literal from it.
constexpr DecodeEntry makeLiteralPair(DecodeEntry first, DecodeEntry second) {
    return makeEntry(kKindLiteral + entryTotalBits(first), entryTotalBits(first) + entryTotalBits(second),
                     literalByte(first) | literalByte(second) << 8);
}
// An entry with `bits` more code bits (a base counts them in its kind too).
constexpr DecodeEntry addBits(DecodeEntry e, unsigned bits) {
    return e + (isBase(entryKind(e)) ? bits * 0x101 : bits);
}

// Largest tables that code lengths the decoder accepts can produce: 854
// entries for 288 literal/length symbols at root width 9, 594 for 32 distance
// symbols at root width 6 (worst cases over all complete codes with lengths
// up to 15; a lone code of any length needs at most 576 in either).  Those
// widths always fit.  Complete codes are first tried at the wider roots
// below, which decode most codes with one lookup, and fall back to the
// narrow ones when the wide tables would not fit in the table area.
inline constexpr std::int32_t kMaxLitEntries = 854;
inline constexpr std::int32_t kMaxDistEntries = 594;
inline constexpr unsigned kLitRootLimit = 9;
inline constexpr unsigned kDistRootLimit = 6;
inline constexpr unsigned kLitWideRoot = 11;
inline constexpr unsigned kDistWideRoot = 8;
inline constexpr unsigned kCodeLengthRootLimit = 7;

// The window holds the 32768 bytes of history plus room for appends; the
// rest of the object goes to the table area.
inline constexpr std::int32_t kWindowBytes = 61440;
inline constexpr std::int32_t kHistoryBytes = 32768;
// Bytes of a call's output copied behind the history (the longest match).
inline constexpr std::int32_t kMirrorBytes = 258;
static_assert(kWindowBytes >= kHistoryBytes + kMirrorBytes);
inline constexpr std::int32_t kDecoderStateBytes = 335008;
// Fixed fields, the code-length array and the pair buffer.
inline constexpr std::int32_t kFieldBytes = 108 + 320 + kOwnPairCapacity * 4;
inline constexpr std::int32_t kTableAreaEntries = (kDecoderStateBytes - kFieldBytes - kWindowBytes) / 4;
static_assert(kTableAreaEntries >= kMaxLitEntries + kMaxDistEntries);

// Where decoding stands inside the current block.
enum Phase : std::int32_t {
    kPhaseHeader = 0,       // a block header is expected
    kPhaseTableHeader = 1,  // dynamic: HLIT/HDIST/HCLEN; stored: LEN/NLEN
    kPhaseCodeLengthCode = 2,
    kPhaseCodeLengths = 3,
    kPhaseLiteral = 4,      // Huffman: a literal/length code; stored: copying
    kPhaseLengthExtra = 5,
    kPhaseDistance = 6,
    kPhaseDistanceExtra = 7,
};

// The decoder state.  Every field is a 32-bit value or bytes, so the layout
// is the same in 32-bit and 64-bit builds and needs only 4-byte alignment.
// Buffers are members, reached by their fixed place, not through pointers.
struct DecoderState {
    CommonPart common;              // pairs, pairIndex, pairLength, status word
    std::int32_t checksumKind;      // kept only
    std::uint32_t bitBuffer;        // buffered source bits, next bit in bit 0
    std::int32_t bitCount;          // 0..32
    std::int32_t windowFill;        // history bytes at window[0..windowFill)
    std::int32_t phase;
    std::int32_t runLength;         // stored: bytes left; Huffman: match length
    std::uint32_t extraBitCount;    // extra bits of the item being assembled
    std::uint32_t matchDistance;    // distance being assembled
    std::int32_t finalBlock;
    std::int32_t streamEnd;
    std::int32_t blockType;         // LZ77HuffMode of the current block
    std::int32_t tablesBuilt;       // 1 while litTable/distTable are usable
    std::uint32_t litTable;         // table offsets in entries inside tableArea
    std::uint32_t distTable;
    std::uint32_t litRootBits;
    std::uint32_t distRootBits;
    std::int32_t codeLengthCodeCount;
    std::int32_t litCodeCount;
    std::int32_t distCodeCount;
    std::int32_t lengthsRead;
    std::int32_t pendingLength;     // bytes of a cut match still to write
    std::int32_t pendingDistance;
    std::uint8_t codeLengths[320];  // literal/length then distance lengths
    DecodeEntry tableArea[kTableAreaEntries];
    std::uint8_t window[kWindowBytes];
    LZ77Pair ownPairs[kOwnPairCapacity];
};

static_assert(offsetof(DecoderState, common) == 0);
static_assert(sizeof(DecoderState) <= static_cast<std::size_t>(kDecoderStateBytes));
static_assert(sizeof(DecoderState) + 4 > static_cast<std::size_t>(kDecoderStateBytes));
static_assert(alignof(DecoderState) == 4);

inline DecoderState& decoderState(LZ77DecoderState* p) {
    return *reinterpret_cast<DecoderState*>(p);
}

// ---------------------------------------------------------------------------
// Bits.  Operations work on a local 64-bit copy of the bit buffer and store it
// back through BitReader::store, which returns whole unread bytes to the
// source so the stored buffer never holds more than 32 bits.
// ---------------------------------------------------------------------------
struct BitReader {
    std::uint64_t bits;
    unsigned count;
    const std::uint8_t* in;
    const std::uint8_t* end;
    const std::uint8_t* start;  // the source pointer on entry

    void load(const DecoderState& s, const std::uint8_t* src, std::int32_t len) {
        bits = s.bitBuffer;
        count = static_cast<unsigned>(s.bitCount);
        in = start = src;
        end = src + len;
    }
    bool addByte() {
        if (in == end) return false;
        bits |= static_cast<std::uint64_t>(*in++) << count;
        count += 8;
        return true;
    }
    // Adds bytes until at least n bits are buffered (n <= 32); false when the
    // source runs out first (bytes added stay buffered).
    bool need(unsigned n) {
        while (count < n) {
            if (!addByte()) return false;
        }
        return true;
    }
    std::uint32_t peek(unsigned n) const {
        return static_cast<std::uint32_t>(bits & ((std::uint64_t{1} << n) - 1));
    }
    void drop(unsigned n) {
        bits >>= n;
        count -= n;
    }
    // Writes the buffer and the source position back.  Whole bytes beyond
    // 32 buffered bits (read ahead by this call) go back to the source; with
    // `all`, as at the end of the stream, every whole buffered byte does.
    void store(DecoderState& s, const std::uint8_t** src, std::int32_t* len, bool all = false) {
        unsigned back = all ? count >> 3 : count > 32 ? (count - 25) >> 3 : 0;
        const auto readHere = static_cast<unsigned>(in - start);
        if (!all && back > readHere) back = readHere;
        in -= back;
        count -= 8 * back;
        bits &= count >= 64 ? ~std::uint64_t{0} : ((std::uint64_t{1} << count) - 1);
        s.bitBuffer = static_cast<std::uint32_t>(bits);
        s.bitCount = static_cast<std::int32_t>(count);
        *len -= static_cast<std::int32_t>(in - *src);
        *src = in;
    }
};

// ---------------------------------------------------------------------------
// History: the newest windowFill bytes of output sit at the start of the
// window, the newest at windowFill - 1.  Appends go after them; the last
// 32768 bytes are moved to the front only when an append would not fit, so
// the cost is a constant per byte.  At most the last 32768 bytes are history.
// ---------------------------------------------------------------------------
void appendHistory(DecoderState& s, const std::uint8_t* bytes, std::size_t n);

// Copies the first kMirrorBytes bytes of the current call's output (which
// must be written) right after the history, so that a match whose source
// starts in the window and runs into the output reads on there without a
// seam.  Appends later overwrite the copy.  Moves the last 32768 bytes of
// history to the front first when the copy would not fit.
void mirrorOutputStart(DecoderState& s, const std::uint8_t* outputStart);

// Bytes of history before the current call's output.
inline std::uint32_t historyBefore(const DecoderState& s) {
    return static_cast<std::uint32_t>(s.windowFill < kHistoryBytes ? s.windowFill : kHistoryBytes);
}

// Writes exactly n bytes of the match at distance d to out, where `written`
// bytes of this call's output precede out and d <= historyBefore + written.
// Bytes before this call's output come from the window.
void copyMatchExact(const DecoderState& s, std::uint8_t* out, std::size_t written, std::uint32_t d,
                    std::size_t n);

// Copies W bytes through a register-sized temporary: source and destination
// may overlap as long as the whole source is read before the store.
template <std::size_t W>
inline void copyWord(std::uint8_t* to, const std::uint8_t* from) {
    std::uint8_t word[W];
    std::memcpy(word, from, W);
    std::memcpy(to, word, W);
}

// Copies n > W bytes in W-byte words from a source at least W bytes before
// `to` or not overlapping it, writing nothing past to + n: words in order,
// the last one ending at the end.
template <std::size_t W>
[[gnu::always_inline]] inline void copyWordsInOrder(std::uint8_t* to, const std::uint8_t* from, std::uint32_t n) {
    std::uint8_t* const stop = to + n;
    const std::uint8_t* const fromStop = from + n;
    do {
        copyWord<W>(to, from);
        to += W;
        from += W;
    } while (stop - to > static_cast<std::ptrdiff_t>(W));
    copyWord<W>(stop - W, fromStop - W);
}

// Copies n > 16 bytes in 16-byte words from a source at least 16 bytes
// before `to` or not overlapping it, writing nothing past to + n.  Up to 48
// bytes: three words at 0, n / 2 - 8 and n - 16, none more than 16 bytes
// after the one before, so each reads only bytes already written, and no
// loop whose exit depends on the length (in files of long matches such an
// exit was mispredicted about once a match).
[[gnu::always_inline]] inline void copyWords16(std::uint8_t* to, const std::uint8_t* from, std::uint32_t n) {
    if (n <= 48) {
        const std::uint32_t mid = n / 2 - 8;
        copyWord<16>(to, from);
        copyWord<16>(to + mid, from + mid);
        copyWord<16>(to + n - 16, from + n - 16);
        return;
    }
    copyWordsInOrder<16>(to, from, n);
}

// A match of 3 to 16 bytes at a distance of at least 8, with the 16 bytes
// after it in the destination: two 8-byte words, the second ending at the
// match's end, or repeating the first when the match is shorter than 8.
// Only such a short match runs past its end (by up to 5 bytes), and the 8
// bytes after it are read first and put back.  A longer one puts back into
// a scratch word instead, chosen by a mask rather than a branch on the
// length: reading after every match would often read bytes the previous
// short match put back, and a load that overlaps part of a pending store
// waits until that store is done, which stalls runs of short matches.
//
// A 32-bit build has no 64-bit registers for the address arithmetic and the
// words go through vector registers; there the plain form is faster: both
// words always, and the 16 bytes after the match put back.
[[gnu::always_inline]] inline void copyShortWithSlack(std::uint8_t* out, const std::uint8_t* from, std::uint32_t n) {
#if UINTPTR_MAX <= 0xFFFFFFFFu
    std::uint8_t after[16];
    std::memcpy(after, out + n, 16);
    copyWord<8>(out, from);
    copyWord<8>(out + 8, from + 8);
    std::memcpy(out + n, after, 16);
#else
    std::uint8_t scratch[8];
    const auto spare = reinterpret_cast<std::uintptr_t>(scratch);
    const std::uintptr_t shorter = 0 - static_cast<std::uintptr_t>(n < 8);
    auto* const keep =
        reinterpret_cast<std::uint8_t*>(spare ^ ((reinterpret_cast<std::uintptr_t>(out + n) ^ spare) & shorter));
    std::uint8_t after[8];
    std::memcpy(after, keep, 8);
    copyWord<8>(out, from);
    const std::uint32_t last = n > 8 ? n - 8 : 0;
    copyWord<8>(out + last, from + last);
    std::memcpy(keep, after, 8);
#endif
}

// A Slack copy has room for 258 bytes; copyNearWithSlack's put-back reaches
// 8 bytes past the match, so it takes matches of up to 250 bytes there.
inline constexpr std::uint32_t kNearSlackMost = 258 - 8;

// A match of 3 or more bytes at a distance of 1 to 7, with the 8 bytes after
// it in the destination.  Its first d bytes are repeated across a 64-bit
// word by one multiplication (the copies, 8d bits apart, do not overlap, so
// nothing carries), and the word is stored at steps of the largest multiple
// of d up to 8, so each store starts where the pattern starts.  The last
// store may run up to 7 bytes past the end: the 8 bytes after the match are
// read first and put back, so they must lie in the destination.  Reads 8
// bytes from `from`.
[[gnu::always_inline]] inline void copyNearWithSlack(std::uint8_t* out, const std::uint8_t* from, std::uint32_t d,
                                                     std::uint32_t n) {
    static constexpr std::uint64_t kRepeat[8] = {0,
                                                 0x0101010101010101u,
                                                 0x0001000100010001u,
                                                 0x0001000001000001u,
                                                 0x0000000100000001u,
                                                 0x0000010000000001u,
                                                 0x0001000000000001u,
                                                 0x0100000000000001u};
    static constexpr std::uint8_t kStoreStep[8] = {0, 8, 8, 6, 8, 5, 6, 7};
    std::uint8_t* const stop = out + n;
    std::uint8_t after[8];
    std::memcpy(after, stop, 8);
    std::uint64_t unit;
    std::memcpy(&unit, from, 8);
    unit &= ~std::uint64_t{0} >> (64 - 8 * d);
    const std::uint64_t pattern = unit * kRepeat[d];
    const unsigned step = kStoreStep[d];
    do {
        std::memcpy(out, &pattern, 8);
        out += step;
    } while (out < stop);
    std::memcpy(stop, after, 8);  // unchanged bytes after the match
}

// Match copy in whole words that writes exactly out[0, n) for 3 <= n <= 258
// from `from`: nothing past the match is changed, so the bytes after the
// reported output stay the caller's.  `d` is the distance from the source to
// out when the source lies just before out in the same buffer, and then
// words are copied in order, so a word may read bytes the one before it
// wrote; a source that cannot overlap out[0, n) (the history window) is
// copied with any d >= 16.  The last word ends exactly at the end of the
// match and may rewrite some of its bytes with the same values.
// With Slack, the destination has room for the longest match (258 bytes)
// from out: a match of up to 16 bytes, or one of up to kNearSlackMost bytes
// at a distance under 8, is then copied in words that may run past its end,
// and the bytes after it, read first, are put back.  That saves the
// arithmetic and the branches of exact copies.  A source read up to 16
// bytes from `from` must lie in readable memory.
template <bool Slack = false>
[[gnu::always_inline]] inline void copyMatchFrom(std::uint8_t* out, const std::uint8_t* from, std::uint32_t d,
                                                 std::uint32_t n) {
    std::uint8_t* const stop = out + n;
    if constexpr (Slack) {
        if (d < 8) [[unlikely]] {
            if (n <= kNearSlackMost) {
                copyNearWithSlack(out, from, d, n);
                return;
            }
        } else if (n <= 16) {
            copyShortWithSlack(out, from, n);
            return;
        }
    } else if (n <= 16 && d >= 4) {
        if (n == 3) {
            out[0] = from[0];
            out[1] = from[1];
            out[2] = from[2];
            return;
        }
        // Four 4-byte words at 0, a, last - a and last = n - 4 with
        // a = ceil(last / 3) <= 4 <= d: no gap between them, and each reads
        // only bytes written before it.  Any length from 4 to 16, no branch.
        const std::uint32_t last = n - 4;
        const std::uint32_t a = ((last + 2) * 11) >> 5;  // ceil(last / 3) for last <= 12
        copyWord<4>(out, from);
        copyWord<4>(out + a, from + a);
        copyWord<4>(out + last - a, from + last - a);
        copyWord<4>(out + last, from + last);
        return;
    }
    if (d >= 8) {
        if (d >= 16) {
            copyWords16(out, from, n);  // n > 16 here
            return;
        }
        copyWordsInOrder<8>(out, from, n);
        return;
    }
    // Distance 1 to 7: build 16 bytes of the repeating pattern, store it at
    // steps of the largest multiple of d that fits in 16, and finish with its
    // head: every store starts at a multiple of d from the match start.
    static constexpr std::uint8_t kStep[8] = {0, 16, 16, 15, 16, 15, 12, 14};
    std::uint8_t pattern[16];
    if (d == 1) {
        std::memset(pattern, from[0], 16);  // runs of one byte are the common case
    } else {
        for (unsigned i = 0; i < 16; ++i) pattern[i] = i < d ? from[i] : pattern[i - d];
    }
    const unsigned step = kStep[d];
    while (stop - out >= 16) {
        std::memcpy(out, pattern, 16);
        out += step;
    }
    const auto rest = static_cast<std::size_t>(stop - out);
    if (rest >= 8) {
        std::memcpy(out, pattern, 8);
        std::memcpy(stop - 8, pattern + rest - 8, 8);
    } else if (rest >= 4) {
        std::memcpy(out, pattern, 4);
        std::memcpy(stop - 4, pattern + rest - 4, 4);
    } else {
        for (std::size_t i = 0; i < rest; ++i) out[i] = pattern[i];
    }
}

// A match of 3 to 48 bytes at a distance of 8 or more, copied as 48 bytes
// of whole words whatever its length: out[n, 48) is overwritten (see
// OverrunGuard).  Each word starts at most d bytes after the one before it,
// so it reads only bytes already written; a source that cannot overlap the
// output (the history window) is copied with any d >= 16.  Reads 48 bytes
// from `from`.
[[gnu::always_inline]] inline void copyMatchOverrun(std::uint8_t* out, const std::uint8_t* from, std::uint32_t d) {
    if (d >= 16) [[likely]] {
        copyWord<16>(out, from);
        copyWord<16>(out + 16, from + 16);
        copyWord<16>(out + 32, from + 32);
        return;
    }
    for (unsigned i = 0; i < 48; i += 8) copyWord<8>(out + i, from + i);
}

// A match of more than 48 bytes at a distance of 8 or more, exactly, in one
// loop of words (a source that cannot overlap the output is copied with any
// d >= 16).  Not copyWords16: its branch between three words and the loop
// would be one more to mispredict on files of long matches.
[[gnu::always_inline]] inline void copyLongMatch(std::uint8_t* out, const std::uint8_t* from, std::uint32_t d,
                                                 std::uint32_t n) {
    if (d >= 16) [[likely]] {
        copyWordsInOrder<16>(out, from, n);
    } else {
        copyWordsInOrder<8>(out, from, n);
    }
}

// The match at distance d in this call's output (d <= bytes written before
// out): copyMatchFrom with the source d bytes back.
template <bool Slack = false>
[[gnu::always_inline]] inline void copyMatch(std::uint8_t* out, std::uint32_t d, std::uint32_t n) {
    copyMatchFrom<Slack>(out, out - d, d, n);
}

// Copies n bytes, 3 <= n <= 258, between buffers that do not overlap, in
// whole words and without writing past to + n.
[[gnu::always_inline]] inline void copyBytes(std::uint8_t* to, const std::uint8_t* from, std::uint32_t n) {
    if (n <= 16) {
        if (n < 4) {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
            return;
        }
        const std::uint32_t last = n - 4;
        const std::uint32_t a = ((last + 2) * 11) >> 5;  // ceil(last / 3): no gaps
        copyWord<4>(to, from);
        copyWord<4>(to + a, from + a);
        copyWord<4>(to + last - a, from + last - a);
        copyWord<4>(to + last, from + last);
        return;
    }
    copyWords16(to, from, n);
}

// A match of 3 to 258 bytes that reaches before this call's output
// (written < d <= historyBefore + written): a source wholly in the window is
// one plain copy.
[[gnu::always_inline]] inline void copyMatchFromWindow(const DecoderState& s, std::uint8_t* out,
                                                       std::uint32_t written, std::uint32_t d,
                                                       std::uint32_t n) {
    const std::uint32_t back = d - written;
    if (back >= n) {
        copyBytes(out, s.window + s.windowFill - back, n);
    } else {
        copyMatchExact(s, out, written, d, n);
    }
}

}  // namespace orvdc::lz77::decoder
