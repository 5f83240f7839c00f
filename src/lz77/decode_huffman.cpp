// Deflate decoder: fixed-code and dynamic-code blocks, decoded either into
// LZ77Pair records or straight into bytes.
//
// One resumable loop serves all four operations; it is specialised by the
// block kind (fixed or dynamic tables) and by the output (pairs or bytes).
// Every item (header field, code, extra bits) is taken only when all of its
// bits are buffered, so a call may stop after any source byte.  While plenty
// of source and output room remain, a fast loop decodes whole items from a
// 64-bit reservoir topped up 8 bytes at a time; it stops only between items,
// so the resumable loop takes over at an item boundary.
#include <cstring>
#include <type_traits>

#include "core/check.h"
#include "core/cpu_features.h"
#include "core/export.h"
#include "lz77/decode_state.h"
#include "lz77/decode_tables.h"
#include "lz77/overrun_guard.h"

namespace orvdc::lz77::decoder {

namespace {

constexpr std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Source bytes the fast loop wants available: one 8-byte load.
constexpr std::ptrdiff_t kFastSrcMargin = 8;
// Output room the fast loop wants: the longest match.  A match may be
// copied past its end: a short one, or one at a distance under 8, with the
// bytes after it put back at once; in the free loop of a 64-bit build every
// one of up to 48 bytes at a distance of 8 or more, the bytes so overwritten
// put back when the loop stops (OverrunGuard).
constexpr std::ptrdiff_t kFastDstMargin = 258;
static_assert(kFastDstMargin >= 2 * OverrunGuard::kOverrun);
// A window source of the free loop is read up to 48 bytes on, into the
// mirror of the output behind the window.
static_assert(kMirrorBytes >= OverrunGuard::kOverrun);
// copyMatchOverrun writes the guard's bytes as three 16-byte words.
static_assert(OverrunGuard::kOverrun == 48);
// Pair records the fast loop wants: a run of up to four entries of
// literals, each of one or two literals.
constexpr std::ptrdiff_t kFastPairMargin = 8;
// Output room the tail loop wants: a run of literals as above.  It checks
// the room before every item, so it runs the last bytes of a destination
// too small for the fast loop, and cuts a match that does not fit.
constexpr std::ptrdiff_t kTailDstMargin = 8;

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;  // the targets are little-endian
}

// Looks up a code one byte at a time: true with the entry and its total bit
// count once every bit of the code is buffered; false when the source ran out
// (the bytes added stay buffered).
bool lookupSlow(BitReader& br, const DecodeEntry* table, unsigned root, DecodeEntry* entry,
                unsigned* bits) {
    for (;;) {
        const DecodeEntry e = table[br.peek(root)];
        const unsigned kind = entryKind(e);
        if (isLink(kind)) {
            if (br.count >= root) {
                const DecodeEntry sub =
                    table[entryValue(e) + (static_cast<std::uint32_t>(br.bits >> root) & ((1u << kind) - 1))];
                const unsigned total = root + entryBits(sub);
                if (total <= br.count) {
                    *entry = sub;
                    *bits = total;
                    return true;
                }
            }
        } else if (entryBits(e) <= br.count) {
            *entry = e;
            *bits = entryBits(e);
            return true;
        }
        if (!br.addByte()) return false;
    }
}

// Output into LZ77Pair records.
struct PairOut {
    LZ77Pair* start;
    LZ77Pair* p;
    LZ77Pair* end;

    bool full() const { return p == end; }
    bool fastRoom() const { return end - p >= kFastPairMargin; }
    void literal(unsigned byte) { storePair(p++, byte, 0); }
    // Pairs carry any distance; pair expansion checks it against its history.
    bool distanceOk(std::uint32_t) const { return true; }
    void match(DecoderState&, std::uint32_t length, std::uint32_t distance) {
        storePair(p++, length, distance);
    }
};

// Output straight into bytes, with the history window behind them.
struct ByteOut {
    std::uint8_t* start;
    std::uint8_t* p;
    std::uint8_t* end;
    std::uint32_t history;  // bytes of history before `start`

    bool full() const { return p == end; }
    bool fastRoom() const { return end - p >= kFastDstMargin; }
    void literal(unsigned byte) { *p++ = static_cast<std::uint8_t>(byte); }
    bool distanceOk(std::uint32_t d) const { return d <= history + static_cast<std::uint32_t>(p - start); }
    // Writes what fits and leaves the rest pending.
    void match(DecoderState& s, std::uint32_t length, std::uint32_t d) {
        const auto room = static_cast<std::uint32_t>(end - p);
        const std::uint32_t n = length < room ? length : room;
        copyMatchExact(s, p, static_cast<std::size_t>(p - start), d, n);
        p += n;
        if (n < length) {
            s.pendingLength = static_cast<std::int32_t>(length - n);
            s.pendingDistance = static_cast<std::int32_t>(d);
        }
    }
};

// Repeat codes among the code lengths: 16 repeats the previous length 3 to 6
// times, 17 and 18 give 3 to 10 and 11 to 138 zeros.
constexpr unsigned repeatExtraBits(unsigned sym) { return sym == 16 ? 2 : sym == 17 ? 3 : 7; }
constexpr unsigned repeatBase(unsigned sym) { return sym == 18 ? 11 : 3; }

// Reads code lengths (phase 3) while at least 8 source bytes remain: the
// buffer is topped up to at least 56 bits at a time, enough for four items
// of at most 14 bits (a 7-bit code and 7 extra bits).  Stops before an item
// the checks refuse, which the resumable loop then reads and refuses.
void readCodeLengthsFast(DecoderState& s, BitReader& br, std::int32_t total) {
    // A complete code-length code (the only kind accepted) has its full root
    // width: every entry is a symbol.
    const DecodeEntry* const table = s.tableArea;
    const std::uint64_t mask = (std::uint64_t{1} << s.litRootBits) - 1;
    std::uint64_t bits = br.bits;
    unsigned count = br.count;
    const std::uint8_t* in = br.in;
    std::int32_t read = s.lengthsRead;
    while (read < total && br.end - in >= kFastSrcMargin) {
        bits |= load64(in) << count;
        in += (63 - count) >> 3;
        count |= 56;
        for (int k = 0; k < 4 && read < total; ++k) {
            const DecodeEntry e = table[bits & mask];
            const unsigned sym = entryValue(e);
            const unsigned codeBits = entryTotalBits(e);
            if (sym < 16) {
                s.codeLengths[read++] = static_cast<std::uint8_t>(sym);
                bits >>= codeBits;
                count -= codeBits;
                continue;
            }
            const unsigned extra = repeatExtraBits(sym);
            const auto repeat =
                static_cast<std::int32_t>(repeatBase(sym) + ((bits >> codeBits) & ((1u << extra) - 1)));
            if ((sym == 16 && read == 0) || repeat > total - read) goto done;
            std::memset(s.codeLengths + read, sym == 16 ? s.codeLengths[read - 1] : 0,
                        static_cast<std::size_t>(repeat));
            read += repeat;
            bits >>= codeBits + extra;
            count -= codeBits + extra;
        }
    }
done:
    // Bits above the count are read ahead: the reader keeps them clear.
    br.bits = bits & ((std::uint64_t{1} << count) - 1);
    br.count = count;
    br.in = in;
    s.lengthsRead = read;
}

// Reads the dynamic table header (phases 1 to 3) and builds the tables.
// Returns orvStsOk once phase 4 is reached.  The literal/length table has
// entries of two literals where both codes fit in its first level.
orvStatus readTables(DecoderState& s, BitReader& br) {
    if (s.phase == kPhaseTableHeader) {
        if (!br.need(14)) return orvStsSrcEnd;
        const std::uint32_t v = br.peek(14);
        br.drop(14);
        s.litCodeCount = static_cast<std::int32_t>((v & 31) + 257);
        s.distCodeCount = static_cast<std::int32_t>(((v >> 5) & 31) + 1);
        s.codeLengthCodeCount = static_cast<std::int32_t>((v >> 10) + 4);
        s.lengthsRead = 0;
        s.phase = kPhaseCodeLengthCode;
    }
    if (s.phase == kPhaseCodeLengthCode) {
        while (s.lengthsRead < s.codeLengthCodeCount) {
            if (!br.need(3)) return orvStsSrcEnd;
            s.codeLengths[kCodeLengthOrder[s.lengthsRead++]] = static_cast<std::uint8_t>(br.peek(3));
            br.drop(3);
        }
        for (int i = s.codeLengthCodeCount; i < 19; ++i) s.codeLengths[kCodeLengthOrder[i]] = 0;
        std::uint32_t root = 0, used = 0;
        if (!buildTable(s, TableKind::CodeLength, s.codeLengths, 19, kCodeLengthRootLimit,
                        kCodeLengthRootLimit, 0, kTableAreaEntries, &root, &used)) {
            return orvStsBadSize;
        }
        s.litRootBits = root;
        s.lengthsRead = 0;
        s.phase = kPhaseCodeLengths;
    }
    // Phase 3: the literal/length and distance code lengths.
    const std::int32_t total = s.litCodeCount + s.distCodeCount;
    readCodeLengthsFast(s, br, total);
    while (s.lengthsRead < total) {
        DecodeEntry e;
        unsigned bits;
        if (!lookupSlow(br, s.tableArea, s.litRootBits, &e, &bits)) return orvStsSrcEnd;
        const unsigned sym = entryValue(e);
        if (sym < 16) {
            s.codeLengths[s.lengthsRead++] = static_cast<std::uint8_t>(sym);
            br.drop(bits);
            continue;
        }
        const unsigned extra = repeatExtraBits(sym);
        if (!br.need(bits + extra)) return orvStsSrcEnd;
        const unsigned repeat = repeatBase(sym) + (br.peek(bits + extra) >> bits);
        if (sym == 16 && s.lengthsRead == 0) return orvStsBadSize;
        if (repeat > static_cast<unsigned>(total - s.lengthsRead)) return orvStsBadSize;
        const std::uint8_t value = sym == 16 ? s.codeLengths[s.lengthsRead - 1] : 0;
        std::memset(s.codeLengths + s.lengthsRead, value, repeat);
        s.lengthsRead += static_cast<std::int32_t>(repeat);
        br.drop(bits + extra);
    }
    // Wide roots first; the narrow ones always fit, so only they decide
    // whether the code lengths are refused.
    const auto litCount = static_cast<unsigned>(s.litCodeCount);
    const auto distCount = static_cast<unsigned>(s.distCodeCount);
    const std::uint8_t* const distLengths = s.codeLengths + s.litCodeCount;
    constexpr auto kArea = static_cast<std::uint32_t>(kTableAreaEntries);
    std::uint32_t litUsed = 0, distUsed = 0;
    if (!buildTable(s, TableKind::LitLen, s.codeLengths, litCount, kLitWideRoot, kLitRootLimit, 0, kArea,
                    &s.litRootBits, &litUsed) ||
        !buildTable(s, TableKind::Distance, distLengths, distCount, kDistWideRoot, kDistRootLimit, litUsed,
                    kArea - litUsed, &s.distRootBits, &distUsed)) {
        if (!buildTable(s, TableKind::LitLen, s.codeLengths, litCount, kLitRootLimit, kLitRootLimit, 0,
                        kMaxLitEntries, &s.litRootBits, &litUsed) ||
            !buildTable(s, TableKind::Distance, distLengths, distCount, kDistRootLimit, kDistRootLimit,
                        litUsed, kArea - litUsed, &s.distRootBits, &distUsed)) {
            return orvStsBadSize;
        }
    }
    s.litTable = 0;
    s.distTable = litUsed;
    s.tablesBuilt = 1;
    s.phase = kPhaseLiteral;
    return orvStsOk;
}

struct Tables {
    const DecodeEntry* lit;
    const DecodeEntry* dist;
    unsigned litRoot;
    unsigned distRoot;
};

// Length or distance of a base entry `e`, from the buffer before the entry
// was consumed: its base plus the bits below the entry's total, less the
// code's own bits.  The shift takes the entry's bits 8-15, 64 + code bits,
// whose low 6 bits are the code bits (a 64-bit shift ignores the rest).
// With Bmi2 (x86-64), the bits below the total are one bzhi, which takes its
// count from the entry's low byte as it is; the compiler does not find it
// through the masked count.
template <bool Bmi2>
inline std::uint32_t baseValue(std::uint64_t before, DecodeEntry e) {
    std::uint64_t low;
#if defined(__x86_64__) && defined(__GNUC__)
    if constexpr (Bmi2) {
        asm("bzhi %2, %1, %0" : "=r"(low) : "rm"(before), "r"(std::uint64_t{e}));
    } else
#endif
    {
        low = before & ((std::uint64_t{1} << (e & 63)) - 1);
    }
    return entryValue(e) + static_cast<std::uint32_t>(low >> ((e >> 8) & 63));
}

// Second-level entry of a link, its bit count raised by the root width so
// that it gives the code's whole length.
inline DecodeEntry followLink(const DecodeEntry* table, DecodeEntry e, std::uint64_t bits, unsigned root) {
    const unsigned width = entryKind(e);
    const DecodeEntry sub =
        table[entryValue(e) + (static_cast<std::uint32_t>(bits >> root) & ((1u << width) - 1))];
    return addBits(sub, root);
}

inline std::int32_t historyOf(const PairOut&) { return 0; }
inline std::int32_t historyOf(const ByteOut& o) { return static_cast<std::int32_t>(o.history); }

// Output pointer limit of the fast loop (and of the tail loop).
inline LZ77Pair* fastStop(const PairOut& o, bool) { return o.end - kFastPairMargin; }
inline std::uint8_t* fastStop(const ByteOut& o, bool tail) { return o.end - (tail ? kTailDstMargin : kFastDstMargin); }

// Output from which no match needs a check: every distance (at most 32768)
// then lies within the history and this call's output, and a source that
// starts in the window and runs into the output is read from the mirror of
// the output's first bytes behind the window (the output holds more than
// the longest match by then).  Not formed beyond the destination.
inline const LZ77Pair* freeFrom(const PairOut& o) { return o.end; }  // pairs need no checks
inline const std::uint8_t* freeFrom(const ByteOut& o) {
    std::ptrdiff_t checked = kHistoryBytes - static_cast<std::ptrdiff_t>(o.history);
    if (checked < kMirrorBytes) checked = kMirrorBytes;
    return o.end - o.start > checked ? o.start + checked : o.end;
}

// Fast loop: whole items while at least kFastSrcMargin source bytes and the
// output's fast room remain.  Stops between items (phase 4), or on an item it
// cannot finish here (end of block, invalid code, distance too far) with the
// state set as the resumable loop would leave it at that point, the offending
// bits still buffered.
// LitRoot and DistRoot give the tables' root widths when nonzero, so that
// the masks are constants and free registers; zero reads them from `t`.
// With Tail (bytes only) the loop wants kTailDstMargin bytes of room instead
// of a whole match's: the room is checked before each item, and a match
// longer than the room is written as far as it fits, the rest left pending
// as the resumable loop would leave it.
// Free (bytes only) selects the loop for output from freeFrom() on, after
// the mirror is in place: every match is copied without a check, from the
// window or from the output, chosen without a branch.  Without it, the loop
// checks each match and stops at freeFrom() (the tail loop runs on to the
// end).  Two loops rather than a branch per match: with the checks, or with
// a second copy of the match code, in the loop body, the first 32768 bytes
// of each call decoded about a sixth slower, as measured.  In a 64-bit
// build the free loop writes every match at a distance of 8 or more as 48
// bytes at least, with no branch on its length below that (such branches
// were mispredicted often on short matches of varied lengths); the guard
// puts back what that overwrote past the final position.
//
// The buffer is refilled once an item, at its start, without branches: 8
// bytes are loaded at the first byte not yet counted and as many whole bytes
// counted as fit (at least 56 bits).  The bits above the count are the next
// stream bits too (the next refill counts them), so after a refill all 64
// bits are the stream's.  That is enough for the longest item (a 15-bit
// length code with 5 extra bits and a 15-bit distance code with 13 extra
// bits: 48 bits) and the lookup of the next (11 bits), so no bit count is
// checked inside an item.  The next entry is looked up before the current
// item's output is written, so the table load overlaps the store or the
// match copy.
template <class Out, unsigned LitRoot, unsigned DistRoot, bool Tail, bool Free, bool Bmi2>
[[gnu::always_inline]] inline void fastLoop(DecoderState& s, BitReader& br, Out& out, const Tables& t) {
    // Hot values live in locals so they stay in registers: byte stores
    // through the output would otherwise force reloads of anything reached
    // through a reference.
    constexpr bool kBytes = std::is_same_v<Out, ByteOut>;
    const DecodeEntry* const lit = t.lit;
    const DecodeEntry* const dist = t.dist;
    std::uint64_t bits = br.bits;
    // Buffered bits in the low byte: whole entries are subtracted from it
    // (their bit count is their low byte), which leaves that byte exact.
    unsigned count = br.count;
    const std::uint8_t* in = br.in;
    const std::uint8_t* const inLimit = br.end - kFastSrcMargin;
    auto* p = out.p;
    auto* const pStop = fastStop(out, Tail);
    auto* const start = out.start;  // where this call's output begins
    // The end of the history before this call's output (bytes output only).
    const std::uint8_t* const windowEnd = s.window + s.windowFill;
    // Output from which every distance (at most 32768) lies in this call's
    // output; not formed beyond the destination.
    const auto* const pAllInOutput = out.end - start > kHistoryBytes ? start + kHistoryBytes : out.end;
    // Where the checking loop hands over to the free one.
    const auto* const pFree = freeFrom(out);
    // Added to an address in this call's output d bytes back, gives the
    // address of the byte d bytes back in the window.
    const std::uintptr_t windowShift =
        reinterpret_cast<std::uintptr_t>(windowEnd) - reinterpret_cast<std::uintptr_t>(start);
    const auto startAddress = reinterpret_cast<std::uintptr_t>(start);
    // A distance that selects copyMatchFrom's plain word copies for a
    // source in the window.
    constexpr std::uint32_t kWindowCopyDistance = 16;
    // Bytes of history before this call's output (bytes output only), in a
    // local: stores through the output would force reloads of a field.
    const std::int32_t history = historyOf(out);
    const unsigned litRoot = LitRoot != 0 ? LitRoot : t.litRoot;
    const unsigned distRoot = DistRoot != 0 ? DistRoot : t.distRoot;
    const std::uint64_t litMask = (std::uint64_t{1} << litRoot) - 1;
    const std::uint64_t distMask = (std::uint64_t{1} << distRoot) - 1;

    auto refill = [&] {
        bits |= load64(in) << (count & 63);
        in += 7 - ((count >> 3) & 7);
        count |= 56;
    };
    // Entries count at most 28 bits, so `e & 63` is the count itself and the
    // shift needs no masking.
    auto consume = [&](DecodeEntry e) {
        bits >>= e & 63;
        count -= e;  // only the low byte counts
    };
    // One or two literals, as bytes or as pair records: the second (zero
    // for one) is written at p[1] for two, or at p[0] for one, where the
    // first then replaces it, so nothing past the literals is written and no
    // branch is taken (a branch on two would be mispredicted often in runs
    // of literals).
    auto putLiteral = [&](DecodeEntry e) {
        const std::size_t two = (e & kLiteralPairBits) != 0;
        if constexpr (kBytes) {
            p[two] = static_cast<std::uint8_t>(e >> 24);
            p[0] = static_cast<std::uint8_t>(e >> 16);
        } else {
            storePair(p + two, e >> 24, 0);
            storePair(p, literalByte(e), 0);
        }
        p += 1 + two;
    };
    // The limits are checked once per run of items: an item (a match, or up
    // to four entries of literals) takes at most 48 bits, so the source
    // position moves at most 6 bytes an item plus what a refill reads ahead,
    // and it writes at most kItemOut outputs.
    constexpr std::ptrdiff_t kItemOut = kBytes ? kFastDstMargin : kFastPairMargin;
    const auto itemsLeft = [&]() -> std::ptrdiff_t {
        const std::ptrdiff_t bySrc = (inLimit - in - 16) / 6;
        if constexpr (Tail) return p <= pStop ? bySrc : 0;
        const std::ptrdiff_t byDst = p <= pStop ? (pStop - p) / kItemOut + 1 : 0;
        return bySrc < byDst ? bySrc : byDst;
    };
    // The free loop of a 64-bit build copies matches past their end and puts
    // back what it overwrote past its last position when it stops.  A 32-bit
    // build has too few registers for the guard's two pointers: there the
    // loop measured about 2% slower with it, so it copies exactly.
    constexpr bool kOverrun = Free && sizeof(void*) == 8;
    struct NoGuard {
        explicit NoGuard(const void*) {}
        void save(const void*, const void*) {}  // never reached: kOverrun is false
    };
    std::conditional_t<kOverrun, OverrunGuard, NoGuard> guard(p);
    [[maybe_unused]] std::uint8_t overrunSaved[kOverrun ? OverrunGuard::kBufferBytes : 1];
    if (in > inLimit || p > pStop) goto done;
    refill();
    for (DecodeEntry e = lit[bits & litMask];;) {
        std::ptrdiff_t items = itemsLeft();
        if (items <= 0) break;
        do {
            if constexpr (Tail) {
                if (p > pStop) goto done;
            }
            if constexpr (kBytes && !Tail && !Free) {
                if (p >= pFree) goto done;
            }
            // `e` was looked up with at least 11 bits buffered (a whole
            // first-level code); the refill adds bits above them only.
            refill();
            // Bit 15, the literal kind, tested as the sign of the entry's low
            // 16 bits: the compiler otherwise tests the second byte register
            // (ah, bh, ch or dh), and the loop so built decoded the corpus
            // about 0.7% slower in the 64-bit build (over four placements of
            // the code) and 3% slower in the 32-bit one.
            static_assert(kLiteralBit == 0x8000);
            if (static_cast<std::int16_t>(e) < 0) {
                // Up to three more first-level entries of literals (at most
                // kLitWideRoot bits each, for one literal or two): four take
                // at most 15 + 3 * 11 of the 64 bits, leaving enough for the
                // next lookup.  A loop rather than a chain of tests: the end
                // of a run of literals is one branch, whose history the
                // predictor learns better.
                unsigned k = 4;
                do {
                    consume(e);
                    const DecodeEntry e2 = lit[bits & litMask];
                    putLiteral(e);
                    e = e2;
                } while (--k != 0 && static_cast<std::int16_t>(e) < 0);
                continue;
            }
            if (!(e & kBaseBit)) [[unlikely]] {
                // A code longer than the first level: its entry is taken again
                // as the next item.  End of block or invalid code: the resumable
                // loop deals with it.
                if (!isLink(entryKind(e))) goto done;
                e = followLink(lit, e, bits, litRoot);
                continue;
            }
            // Code and extra bits are consumed with one shift by the entry; the
            // extra bits are taken from the bits before it, off the path to the
            // next lookup.
            std::uint64_t before = bits;
            consume(e);
            const std::uint32_t length = baseValue<Bmi2>(before, e);

            // At least 44 bits remain: enough for the distance code and its
            // extra bits.
            e = dist[bits & distMask];
            if (!(e & kBaseBit)) [[unlikely]] {
                if (isLink(entryKind(e))) e = followLink(dist, e, bits, distRoot);
                if (!isBase(entryKind(e))) {
                    s.runLength = static_cast<std::int32_t>(length);
                    s.phase = kPhaseDistance;
                    goto done;
                }
            }
            before = bits;
            consume(e);
            const std::uint32_t distance = baseValue<Bmi2>(before, e);
            // At least 16 of the bits loaded by the item's refill remain: the
            // next item's entry is looked up before the match is written.
            const DecodeEntry next = lit[bits & litMask];
            if constexpr (kBytes) {
                const auto written = static_cast<std::uint32_t>(p - start);
                if constexpr (Tail) {
                    if (length > static_cast<std::uint32_t>(out.end - p) && distance <= written + history) {
                        out.p = p;
                        out.match(s, length, distance);
                        p = out.p;
                        goto done;
                    }
                }
                if constexpr (Free) {
                    // All ones when the source starts in the window, before
                    // this call's output: masks, as the compiler turns a
                    // choice back into a branch.  Such a source lies more
                    // than kMirrorBytes back (this loop starts past them),
                    // so the distance itself selects the plain word copies.
                    const std::uintptr_t back = reinterpret_cast<std::uintptr_t>(p) - distance;
                    const std::uintptr_t inWindow = 0 - static_cast<std::uintptr_t>(back < startAddress);
                    const auto* const from = reinterpret_cast<const std::uint8_t*>(back + (windowShift & inWindow));
                    if (kOverrun && distance >= 8) [[likely]] {
                        if (length > OverrunGuard::kOverrun) [[unlikely]] {
                            copyLongMatch(p, from, distance, length);
                        } else {
                            guard.save(p, overrunSaved);
                            copyMatchOverrun(p, from, distance);
                        }
                    } else {
                        copyMatchFrom<true>(p, from, distance, length);
                    }
                    p += length;
                    e = next;
                    continue;
                }
                // The tail loop may run past the first 32768 bytes of this
                // call's output, where every distance lies in it (the
                // checking loop stops before them).  Before that, a source
                // wholly in the output or wholly in the window is chosen
                // without a branch between them: either is common there, and
                // such a branch would be mispredicted often.  Neither test
                // below branches on which it is: one catches a distance too
                // far, one a source in the window (back >= 1) that runs into
                // the output (back < length), which is rare.
                if constexpr (Tail) {
                    if (p >= pAllInOutput) {
                        copyMatch(p, distance, length);
                        p += length;
                        e = next;
                        continue;
                    }
                }
                // How far before this call's output the source starts:
                // positive when it lies in the window (exact as a signed
                // value, as written < 2^31).
                const auto back = static_cast<std::int32_t>(distance - written);
                const bool tooFar = back > history;
                const bool crossing = static_cast<std::uint32_t>(back) - 1 < length - 1;
                if (!(tooFar | crossing)) [[likely]] {
                    // All ones when the source is in the window: masks, as
                    // the compiler turns a choice back into a branch.  A
                    // window source is copied with a distance of at least 16.
                    const std::uintptr_t inWindow = 0 - static_cast<std::uintptr_t>(back > 0);
                    const std::uintptr_t from =
                        reinterpret_cast<std::uintptr_t>(p) - distance + (windowShift & inWindow);
                    const std::uint32_t d = distance | (kWindowCopyDistance & static_cast<std::uint32_t>(inWindow));
                    copyMatchFrom<!Tail>(p, reinterpret_cast<const std::uint8_t*>(from), d, length);
                } else if (!tooFar) {
                    copyMatchExact(s, p, written, distance, length);
                } else {
                    // Only the distance code is taken; its extra bits stay.
                    const unsigned extra = entryExtra(e);
                    bits = before >> entryBits(e);
                    count += extra;
                    s.runLength = static_cast<std::int32_t>(length);
                    s.matchDistance = entryValue(e);
                    s.extraBitCount = extra;
                    s.phase = kPhaseDistanceExtra;
                    goto done;
                }
                p += length;
            } else {
                storePair(p++, length, distance);
            }
            e = next;
        } while (--items != 0);
    }
done:
    if constexpr (kOverrun) guard.restore(p, overrunSaved);
    count &= 0xFF;
    // Bits above `count` may hold bytes loaded ahead: clear them, and hand
    // back the whole bytes the resumable loop has not been given yet.
    const unsigned back = count >> 3;
    const auto readHere = static_cast<unsigned>(in - br.in);
    const unsigned giveBack = back < readHere ? back : readHere;
    in -= giveBack;
    count -= 8 * giveBack;
    br.bits = bits & ((std::uint64_t{1} << count) - 1);
    br.count = count;
    br.in = in;
    out.p = p;
}

// The fast loop built twice: for the base instruction set, and with BMI2,
// whose shifts by a count in a register (every consumed entry, every refill)
// are one instruction that leaves the flags alone.  Each starts on a 64-byte
// boundary, so that where its loop falls in the instruction cache does not
// depend on the code linked before it: two links of the same code, the loop
// placed 16 bytes apart, decoded the corpus 2% apart.
template <class Out, unsigned LitRoot, unsigned DistRoot, bool Tail, bool Free>
[[gnu::noinline, gnu::aligned(64)]] void fastLoopBase(DecoderState& s, BitReader& br, Out& out, const Tables& t) {
    fastLoop<Out, LitRoot, DistRoot, Tail, Free, false>(s, br, out, t);
}

template <class Out, unsigned LitRoot, unsigned DistRoot, bool Tail, bool Free>
[[gnu::noinline, gnu::aligned(64)]] __attribute__((target("bmi2"))) void fastLoopBmi2(
    DecoderState& s, BitReader& br, Out& out, const Tables& t) {
    fastLoop<Out, LitRoot, DistRoot, Tail, Free, true>(s, br, out, t);
}

// Runs one fast loop built for the processor, with constant root widths
// when the tables have the wide ones.
template <bool Tail, bool Free, class Out>
void dispatchFastLoop(DecoderState& s, BitReader& br, Out& out, const Tables& t, bool bmi2) {
    const bool wide = !Tail && t.litRoot == kLitWideRoot && t.distRoot == kDistWideRoot;
    if (bmi2) {
        if (wide) {
            fastLoopBmi2<Out, kLitWideRoot, kDistWideRoot, Tail, Free>(s, br, out, t);
        } else {
            fastLoopBmi2<Out, 0, 0, Tail, Free>(s, br, out, t);
        }
    } else if (wide) {
        fastLoopBase<Out, kLitWideRoot, kDistWideRoot, Tail, Free>(s, br, out, t);
    } else {
        fastLoopBase<Out, 0, 0, Tail, Free>(s, br, out, t);
    }
}

// Runs the fast loop (or the tail loop).  Bytes go through the checking
// loop up to freeFrom(), then, with the mirror in place, through the free
// loop.
template <bool Tail, class Out>
void runFastLoop(DecoderState& s, BitReader& br, Out& out, const Tables& t, bool bmi2) {
    if constexpr (Tail || !std::is_same_v<Out, ByteOut>) {
        dispatchFastLoop<Tail, false>(s, br, out, t, bmi2);
    } else {
        if (out.p < freeFrom(out)) {
            dispatchFastLoop<false, false>(s, br, out, t, bmi2);
            if (s.phase != kPhaseLiteral || out.p < freeFrom(out)) return;
        }
        mirrorOutputStart(s, out.start);
        dispatchFastLoop<false, true>(s, br, out, t, bmi2);
    }
}

// Decodes the current block from the current phase on.
template <bool Dynamic, class Out>
orvStatus decodeBlock(DecoderState& s, BitReader& br, Out& out) {
    if (s.phase == kPhaseHeader) {
        if (br.count < 3) {
            if (br.in == br.end) return orvStsSrcEnd;
            if (br.end - br.in >= 2 && (reinterpret_cast<std::uintptr_t>(br.in) & 1) == 0) br.addByte();
            br.addByte();
        }
        const unsigned header = br.peek(3);
        if ((header >> 1) != (Dynamic ? 2u : 1u)) return orvStsBadStream;
        br.drop(3);
        s.blockType = Dynamic ? LZ77HuffDynamic : LZ77HuffFixed;
        s.tablesBuilt = 0;
        if (header & 1) s.finalBlock = 1;
        s.phase = Dynamic ? kPhaseTableHeader : kPhaseLiteral;
    }
    if constexpr (Dynamic) {
        if (s.phase < kPhaseLiteral) {
            const orvStatus st = readTables(s, br);
            if (st != orvStsOk) return st;
        }
    }
    Tables t;
    if constexpr (Dynamic) {
        t = {s.tableArea + s.litTable, s.tableArea + s.distTable, s.litRootBits, s.distRootBits};
    } else {
        t = {kFixedLitTable.data(), kFixedDistTable.data(), kFixedLitRoot, kFixedDistRoot};
    }

    const bool bmi2 = cpu::has(cpu::kBmi2);
    for (;;) {
        switch (s.phase) {
            case kPhaseLiteral: {
                if (br.end - br.in >= kFastSrcMargin && out.fastRoom()) {
                    runFastLoop<false>(s, br, out, t, bmi2);
                    if (s.phase != kPhaseLiteral) continue;
                    if (out.full()) return orvStsDstFull;
                }
                if constexpr (std::is_same_v<Out, ByteOut>) {
                    if (br.end - br.in >= kFastSrcMargin && out.end - out.p >= kTailDstMargin && !out.fastRoom()) {
                        runFastLoop<true>(s, br, out, t, bmi2);
                        if (s.phase != kPhaseLiteral) continue;
                        if (out.full()) return orvStsDstFull;
                    }
                }
                DecodeEntry e;
                unsigned bits;
                if (!lookupSlow(br, t.lit, t.litRoot, &e, &bits)) return orvStsSrcEnd;
                const unsigned kind = entryKind(e);
                if (isLiteral(kind)) {
                    br.drop(bits);
                    out.literal(literalByte(e));
                    if (out.full()) return orvStsDstFull;
                } else if (isBase(kind)) {
                    br.drop(bits);
                    s.runLength = static_cast<std::int32_t>(entryValue(e));
                    s.extraBitCount = entryExtra(e);
                    s.phase = kPhaseLengthExtra;
                } else if (kind == kKindEndOfBlock) {
                    br.drop(bits);
                    s.phase = kPhaseHeader;
                    if (!s.finalBlock) return orvStsOk;
                    s.streamEnd = 1;
                    br.drop(br.count & 7);
                    return orvStsStreamEnd;
                } else {
                    return orvStsBadSize;
                }
                break;
            }
            case kPhaseLengthExtra:
                if (!br.need(s.extraBitCount)) return orvStsSrcEnd;
                s.runLength += static_cast<std::int32_t>(br.peek(s.extraBitCount));
                br.drop(s.extraBitCount);
                s.phase = kPhaseDistance;
                break;
            case kPhaseDistance: {
                DecodeEntry e;
                unsigned bits;
                if (!lookupSlow(br, t.dist, t.distRoot, &e, &bits)) return orvStsSrcEnd;
                if (!isBase(entryKind(e))) return orvStsBadSize;
                br.drop(bits);
                s.matchDistance = entryValue(e);
                s.extraBitCount = entryExtra(e);
                s.phase = kPhaseDistanceExtra;
                break;
            }
            case kPhaseDistanceExtra: {
                if (!br.need(s.extraBitCount)) return orvStsSrcEnd;
                const std::uint32_t d = s.matchDistance + br.peek(s.extraBitCount);
                if (!out.distanceOk(d)) return orvStsBadSize;
                br.drop(s.extraBitCount);
                s.phase = kPhaseLiteral;
                out.match(s, static_cast<std::uint32_t>(s.runLength), d);
                if (out.full()) return orvStsDstFull;
                break;
            }
            default:
                return orvStsBadStream;
        }
    }
}

// A block of another type in progress (or a state no operation left behind).
bool otherBlockInProgress(const DecoderState& s, LZ77HuffMode mine) {
    if (s.phase == kPhaseHeader) return false;
    if (s.phase < kPhaseHeader || s.phase > kPhaseDistanceExtra || s.blockType != mine) return true;
    return mine == LZ77HuffDynamic && s.phase >= kPhaseLiteral && !s.tablesBuilt;
}

// Search for the empty stored block 00 00 FF FF from the next byte boundary.
orvStatus resynchronise(DecoderState& s, const std::uint8_t** src, std::int32_t* srcLen) {
    BitReader br;
    br.load(s, *src, *srcLen);
    br.drop(br.count & 7);
    orvStatus status = orvStsSrcEnd;
    while (br.need(32)) {
        if (static_cast<std::uint32_t>(br.bits) == 0xFFFF0000u) {
            status = orvStsOk;
            break;
        }
        br.drop(8);
    }
    s.bitBuffer = static_cast<std::uint32_t>(br.bits);
    s.bitCount = static_cast<std::int32_t>(br.count);
    *srcLen -= static_cast<std::int32_t>(br.in - *src);
    *src = br.in;
    return status;
}

template <bool Dynamic>
orvStatus decodeToPairs(const std::uint8_t** src, std::int32_t* srcLen, LZ77Pair** pairs,
                        std::int32_t* pairsLen, LZ77FlushMode flush, LZ77DecoderState* state) {
    if (anyNull(src, pairs, state, srcLen, pairsLen) || anyNull(*src, *pairs)) return orvStsNullPtr;
    if (*srcLen < 0 || *pairsLen < 0) return orvStsBadSize;
    DecoderState& s = decoderState(state);
    if (flush == LZ77FlushSync || flush == LZ77FlushFull) return resynchronise(s, src, srcLen);
    if (*pairsLen == 0) return orvStsDstFull;
    if (otherBlockInProgress(s, Dynamic ? LZ77HuffDynamic : LZ77HuffFixed)) return orvStsBadStream;

    BitReader br;
    br.load(s, *src, *srcLen);
    PairOut out{*pairs, *pairs, *pairs + *pairsLen};
    const orvStatus status = decodeBlock<Dynamic>(s, br, out);
    br.store(s, src, srcLen, status == orvStsStreamEnd);
    *pairsLen -= static_cast<std::int32_t>(out.p - *pairs);
    *pairs = out.p;
    return status;
}

template <bool Dynamic>
orvStatus decodeToBytes(const std::uint8_t** src, std::int32_t* srcLen, std::uint8_t** dst,
                        std::int32_t* dstLen, LZ77DecoderState* state) {
    if (anyNull(src, dst, state, srcLen, dstLen) || anyNull(*src, *dst)) return orvStsNullPtr;
    if (*srcLen < 0 || *dstLen < 0) return orvStsBadSize;
    if (*dstLen == 0) return orvStsDstFull;
    DecoderState& s = decoderState(state);
    if (otherBlockInProgress(s, Dynamic ? LZ77HuffDynamic : LZ77HuffFixed)) return orvStsBadStream;

    BitReader br;
    br.load(s, *src, *srcLen);
    ByteOut out{*dst, *dst, *dst + *dstLen, historyBefore(s)};
    orvStatus status;
    if (s.pendingLength > 0) {
        const std::int32_t pending = s.pendingLength;
        s.pendingLength = 0;
        out.match(s, static_cast<std::uint32_t>(pending), static_cast<std::uint32_t>(s.pendingDistance));
        if (s.pendingLength == 0) s.pendingDistance = 0;
    }
    status = out.full() ? orvStsDstFull : decodeBlock<Dynamic>(s, br, out);
    if (status != orvStsStreamEnd) appendHistory(s, out.start, static_cast<std::size_t>(out.p - out.start));
    br.store(s, src, srcLen, status == orvStsStreamEnd);
    *dstLen -= static_cast<std::int32_t>(out.p - out.start);
    *dst = out.p;
    return status;
}

}  // namespace

}  // namespace orvdc::lz77::decoder

using namespace orvdc::lz77::decoder;

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77FixedHuff_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                          LZ77Pair** ppPairs, int32_t* pPairsLen,
                                                          LZ77FlushMode flush, LZ77DecoderState* pState) {
    return decodeToPairs<false>(ppSrc, pSrcLen, ppPairs, pPairsLen, flush, pState);
}

ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77DynamicHuff_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                            LZ77Pair** ppPairs, int32_t* pPairsLen,
                                                            LZ77FlushMode flush, LZ77DecoderState* pState) {
    return decodeToPairs<true>(ppSrc, pSrcLen, ppPairs, pPairsLen, flush, pState);
}

ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77FixedHuffFull_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                              uint8_t** ppDst, int32_t* pDstLen,
                                                              LZ77FlushMode /*flush*/,
                                                              LZ77DecoderState* pState) {
    return decodeToBytes<false>(ppSrc, pSrcLen, ppDst, pDstLen, pState);
}

ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77DynamicHuffFull_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                                uint8_t** ppDst, int32_t* pDstLen,
                                                                LZ77FlushMode /*flush*/,
                                                                LZ77DecoderState* pState) {
    return decodeToBytes<true>(ppSrc, pSrcLen, ppDst, pDstLen, pState);
}

}  // extern "C"
