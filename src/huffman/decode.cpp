// Reading Huffman codes: decoding tables from code lengths, one symbol at a
// bit position, and runs of symbols through the state's bit buffer.
//
// A symbol is found from a window of the next `longest` bits: the search runs
// from the shortest length up while the window is below that length's first
// code (first codes are left-aligned to the longest length), and the offset
// from the first code picks the symbol among those of its length.
//
// The run decoder keeps whole zero bytes at the head of its buffer as a count
// of pending zero bits, refills a byte at a time while 16 bits or fewer are
// buffered, and stops when the next code is longer than the bits it holds.
// Those rules fix what is left in the state when a call returns, so the fast
// path below (a 64-bit reader and a table indexed by the next 11 bits that
// yields one or two symbols) runs only where the rules cannot tell the
// difference, and hands back the exact state the plain loop would have.
#include <cstring>

#include "core/aligned_alloc.h"
#include "core/check.h"
#include "core/export.h"
#include "huffman/huff_state.h"

namespace orvdc::huff {

namespace {

// The decoding tables of a state, checked once per call.
struct Tables {
    const std::int32_t* codeLen;
    const std::uint8_t* symbols;  // entries [0, count)
    std::uint32_t count;
    const std::uint32_t* firstCode;
    const std::int32_t* runCount;
    int longest;
    int shortest;
};

orvStatus loadTables(const HuffState* st, Tables* t) {
    if (st->longest <= 0) return orvStsBadSize;
    if (st->symbolsEnd == 0 || st->firstCodeRef == 0 || st->runCountRef == 0) return orvStsNullPtr;
    // Anything but what Init stores means the memory is not a decoder state.
    if (st->longest > kMaxCodeLen || st->shortest < 1 || st->shortest > st->longest ||
        st->symbolsEnd < kSymbolsOffset || st->symbolsEnd > kSymbolsOffset + 256 ||
        st->firstCodeRef != kFirstCodeOffset || st->runCountRef != kRunCountOffset) {
        return orvStsBadSize;
    }
    t->codeLen = st->codeLen;
    t->symbols = st->symbols;
    t->count = st->symbolsEnd - kSymbolsOffset;
    t->firstCode = st->firstCode;
    t->runCount = st->runCount;
    t->longest = st->longest;
    t->shortest = st->shortest;
    for (int l = t->shortest; l <= t->longest; ++l) {
        const std::int32_t r = t->runCount[l - 1];
        if (r < 0 || static_cast<std::uint32_t>(r) > t->count) return orvStsBadSize;
    }
    return orvStsOk;
}

// The symbol for a window of `longest` bits (right-aligned), or -1 when the
// window points past the symbols the tables hold (incomplete codes only).
inline int findSymbol(const Tables& t, std::uint32_t window) {
    int l = t.shortest;
    while (l < t.longest && window < t.firstCode[l - 1]) ++l;
    const std::uint32_t index = (window - t.firstCode[l - 1]) >> (t.longest - l);
    const auto run = static_cast<std::uint32_t>(t.runCount[l - 1]);
    if (index >= run) return -1;
    return t.symbols[t.count - run + index];
}

// True when the lengths fill the code space exactly: then the canonical codes
// are a prefix code and every bit string starts with exactly one of them.
bool isCompleteCode(const std::int32_t* len) {
    std::uint64_t space = 0;
    for (int s = 0; s < 256; ++s) {
        if (len[s] >= 1 && len[s] <= kMaxCodeLen) space += std::uint64_t{1} << (kMaxCodeLen - len[s]);
    }
    return space == (std::uint64_t{1} << kMaxCodeLen);
}

constexpr int kFastBits = 11;
// Zero bits beyond this many stop being taken from the source until some are
// decoded, so the pending count cannot overflow.
constexpr std::int64_t kPendingLimit = std::int64_t{1} << 30;

// Lookup tables of a complete code, indexed by the next kFastBits bits.
//
// `single`: length | symbol << 8 for codes of at most kFastBits bits; 0 for
// windows that start a longer code and for windows that start with a zero
// byte (the plain loop moves such bytes to its pending zeros first).
//
// `pairs`: the same window decoded as one or two symbols: bits 0-5 the bits
// used, 8-15 the first symbol, 16-23 the second, 24-25 how many symbols,
// 26-31 the length of the last one.  A second symbol is taken only when its
// whole code lies in the window's known bits and the byte that starts with it
// is not zero, so each symbol meets the same conditions as a single lookup.
void buildFastTables(const HuffState* st, std::uint16_t* single, std::uint32_t* pairs) {
    constexpr int bits = kFastBits;
    constexpr std::uint32_t size = 1u << bits;
    static_assert(kFastBits >= 8, "the zero-byte windows must be visible in the index");
    std::memset(single, 0, sizeof(std::uint16_t) * size);
    for (int s = 0; s < 256; ++s) {
        const int l = st->codeLen[s];
        if (l < 1 || l > bits) continue;
        const std::uint32_t v = st->codeValue[s] & ((1u << l) - 1);
        const std::uint32_t first = v << (bits - l);
        const std::uint32_t n = 1u << (bits - l);
        const auto e = static_cast<std::uint16_t>(l | (s << 8));
        for (std::uint32_t k = 0; k < n; ++k) single[first + k] = e;
    }
    for (std::uint32_t k = 0; k < (size >> 8); ++k) single[k] = 0;

    for (std::uint32_t w = 0; w < size; ++w) {
        const std::uint32_t e1 = single[w];
        const std::uint32_t n1 = e1 & 63;
        if (n1 == 0) {
            pairs[w] = 0;
            continue;
        }
        const std::uint32_t sym1 = e1 >> 8;
        // The bits after the first code, with zeros where the window ends:
        // a zero-filled index only ever finds no code or a shorter one.
        const std::uint32_t e2 = single[(w << n1) & (size - 1)];
        const std::uint32_t n2 = e2 & 63;
        if (n2 != 0 && n1 + n2 <= static_cast<std::uint32_t>(bits)) {
            pairs[w] = (n1 + n2) | sym1 << 8 | (e2 >> 8) << 16 | 2u << 24 | n2 << 26;
        } else {
            pairs[w] = n1 | sym1 << 8 | 1u << 24 | n1 << 26;
        }
    }
}

inline std::uint64_t loadBigEndian64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

// Up to 8 bytes src[from..limit) as the top of a 64-bit value, zeros after.
inline std::uint64_t loadBounded(const std::uint8_t* src, std::int64_t from, std::int64_t limit) {
    std::uint64_t v = 0;
    for (int k = 0; k < 8; ++k) {
        const std::uint64_t b = from + k < limit ? src[from + k] : 0;
        v |= b << (56 - 8 * k);
    }
    return v;
}

inline std::uint32_t topMask(int bits) {
    return bits <= 0 ? 0u : 0xFFFFFFFFu << (32 - bits);
}

// The run decoder's registers.
struct Reader {
    std::uint32_t buffer;  // bits left-aligned
    int count;             // valid bits in buffer
    std::int64_t zeros;    // pending zero bits before them
    std::int64_t taken;    // source bytes taken into the buffer
};

// Decodes while the pending zero count is 0, the next bits start a code of at
// most kFastBits bits that is not all zeros at its head, and the source and
// the destination are far from their ends.  Under these conditions the byte
// refill of the plain loop takes exactly the bytes needed to hold 17 bits
// before each symbol, so its state after the last fast symbol follows from
// the bit position alone and is rebuilt here.
void fastRun(const std::uint32_t* table, const std::uint8_t* src, std::int64_t srcLen,
             std::uint8_t*& out, std::uint8_t* outEnd, Reader& r) {
    const std::uint32_t buffer0 = r.buffer & topMask(r.count);
    const int count0 = r.count;
    const std::int64_t taken0 = r.taken;

    std::uint64_t reg = std::uint64_t{buffer0} << 32;
    int avail = count0;
    std::int64_t pos = taken0;
    std::uint32_t last = 0;
    const std::uint8_t* const outStart = out;
    constexpr int shift = 64 - kFastBits;
    // Four lookups of at most kFastBits bits each per refill of 56 or more,
    // each writing two bytes and keeping one or both.
    while (outEnd - out >= 8 && srcLen - pos >= 8) {
        reg |= loadBigEndian64(src + pos) >> avail;
        pos += (63 - avail) >> 3;
        avail |= 56;
        for (int k = 0; k < 4; ++k) {
            const std::uint32_t e = table[reg >> shift];
            const std::uint32_t n = e & 63;  // in the low bits: no shift on the critical path
            if (n == 0) goto done;
            reg <<= n;
            avail -= static_cast<int>(n);
            last = e >> 26;
            out[0] = static_cast<std::uint8_t>(e >> 8);
            out[1] = static_cast<std::uint8_t>(e >> 16);
            out += (e >> 24) & 3;
        }
    }
done:
    if (out == outStart) return;
    // Bits consumed since entry, at the end and before the last symbol.
    const std::int64_t end = count0 + 8 * (pos - taken0) - avail;
    const std::int64_t before = end - last;
    const std::int64_t need = before + 17 - count0;
    const std::int64_t taken = taken0 + (need > 0 ? (need + 7) / 8 : 0);
    const int count = static_cast<int>(count0 + 8 * (taken - taken0) - end);

    std::uint64_t window;
    if (end < count0) {
        const std::uint64_t next = loadBounded(src, taken0, taken) >> 32;
        window = ((std::uint64_t{buffer0} << 32) | (next << (32 - count0))) << end;
    } else {
        const std::int64_t q = end - count0;
        window = loadBounded(src, taken0 + q / 8, taken) << (q % 8);
    }
    r.buffer = static_cast<std::uint32_t>(window >> 32) & topMask(count);
    r.count = count;
    r.zeros = 0;
    r.taken = taken;
}

}  // namespace

orvStatus decodeRun(const std::uint8_t* src, std::int32_t srcLen, std::uint8_t* dst, std::int32_t* dstLen,
                    HuffState* st, bool allowFast) {
    if (anyNull(src, dst, dstLen, st)) return orvStsNullPtr;
    if (srcLen < 1 || *dstLen < 1) return orvStsBadSize;
    Tables t;
    const orvStatus tablesStatus = loadTables(st, &t);
    if (tablesStatus != orvStsOk) return tablesStatus;

    Reader r;
    r.count = st->bitCount < 0 ? 0 : (st->bitCount > 32 ? 32 : st->bitCount);
    r.buffer = st->bitBuffer;
    r.zeros = st->pendingZeros < 0 ? 0 : st->pendingZeros;
    r.taken = 0;
    const int longest = t.longest;
    std::uint8_t* out = dst;
    std::uint8_t* const outEnd = dst + *dstLen;

    std::uint16_t single[1 << kFastBits];
    std::uint32_t table[1 << kFastBits];
    const bool fast = allowFast && *dstLen >= 1024 && srcLen >= 256 && isCompleteCode(t.codeLen);
    if (fast) buildFastTables(st, single, table);

    while (out != outEnd) {
        if (fast && r.zeros == 0 && srcLen - r.taken >= 16) {
            fastRun(table, src, srcLen, out, outEnd, r);
            if (out == outEnd) break;
        }
        // Whole zero bytes at the head of the buffer become pending zeros.
        while (r.count >= 8 && (r.buffer >> 24) == 0) {
            r.buffer <<= 8;
            r.count -= 8;
            r.zeros += 8;
        }
        while (r.count <= 16 && r.taken < srcLen && r.zeros < kPendingLimit) {
            r.buffer |= std::uint32_t{src[r.taken++]} << (24 - r.count);
            r.count += 8;
            while (r.count >= 8 && (r.buffer >> 24) == 0) {
                r.buffer <<= 8;
                r.count -= 8;
                r.zeros += 8;
            }
        }
        if (r.zeros < longest) {
            const std::uint32_t window = (r.buffer >> r.zeros) >> (32 - longest);
            const int sym = findSymbol(t, window);
            if (sym < 0) break;
            const std::int32_t n = t.codeLen[sym];
            if (n < 1 || n > r.count + r.zeros) break;
            if (n <= r.zeros) {
                // Only a length table that is not a prefix code gets here.
                r.zeros -= n;
            } else {
                const int used = static_cast<int>(n - r.zeros);
                r.buffer = used >= 32 ? 0 : r.buffer << used;
                r.count -= used;
                r.zeros = 0;
            }
            *out++ = static_cast<std::uint8_t>(sym);
        } else {
            do {
                *out++ = st->zeroSymbol;
                r.zeros -= longest;
            } while (r.zeros >= longest && out != outEnd);
        }
    }
    st->bitBuffer = r.buffer;
    st->bitCount = r.count;
    st->pendingZeros = static_cast<std::int32_t>(r.zeros);
    *dstLen = static_cast<std::int32_t>(out - dst);
    return orvStsOk;
}

}  // namespace orvdc::huff

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeHuffInit_8u(const int32_t pCodeLenTable[256], HuffState* pState) {
    if (orvdc::anyNull(pCodeLenTable, pState)) return orvStsNullPtr;
    for (int s = 0; s < 256; ++s) {
        if (pCodeLenTable[s] < 0 || pCodeLenTable[s] > orvdc::huff::kMaxCodeLen) return orvStsNoCode;
    }
    std::memcpy(pState->codeLen, pCodeLenTable, sizeof pState->codeLen);
    orvdc::huff::assignCodes(pState->codeLen, pState->codeValue, pState);
    pState->bitBuffer = 0;
    pState->bitCount = 0;
    pState->pendingZeros = 0;
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeHuffInitAlloc_8u(const int32_t pCodeLenTable[256],
                                                                     HuffState** ppState) {
    if (orvdc::anyNull(pCodeLenTable, ppState)) return orvStsNullPtr;
    *ppState = static_cast<HuffState*>(orvdc::alignedAlloc(static_cast<std::int32_t>(sizeof(HuffState))));
    return orvsDecodeHuffInit_8u(pCodeLenTable, *ppState);
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeHuffOne_8u(const uint8_t* pSrc, int32_t srcOffsetBits,
                                                               uint8_t* pDst, const HuffState* pState) {
    if (orvdc::anyNull(pSrc, pDst, pState)) return orvStsNullPtr;
    if (srcOffsetBits < 0 || srcOffsetBits > 7) return orvStsBadSize;
    orvdc::huff::Tables t;
    const orvStatus tablesStatus = orvdc::huff::loadTables(pState, &t);
    if (tablesStatus != orvStsOk) return tablesStatus;

    const int o = srcOffsetBits;
    const int bytes = (o + t.longest + 7) / 8;
    std::uint64_t bits = 0;
    for (int k = 0; k < bytes; ++k) bits |= std::uint64_t{pSrc[k]} << (56 - 8 * k);
    const auto window = static_cast<std::uint32_t>((bits << o) >> (64 - t.longest));
    const int sym = orvdc::huff::findSymbol(t, window);
    if (sym < 0) return orvStsNoCode;
    *pDst = static_cast<std::uint8_t>(sym);
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeHuff_8u(const uint8_t* pSrc, int32_t srcLen, uint8_t* pDst,
                                                            int32_t* pDstLen, HuffState* pState) {
    return orvdc::huff::decodeRun(pSrc, srcLen, pDst, pDstLen, pState, true);
}
