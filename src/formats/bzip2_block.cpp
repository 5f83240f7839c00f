// One bzip2 block: input goes through the library's run-length stage (with
// the block CRC of the raw bytes); coding runs the Burrows-Wheeler transform,
// dictionary reduction, move-to-front and zero-run coding, then writes the
// block with two to six Huffman tables chosen per group of 50 symbols.
#include <algorithm>
#include <cstring>

#include "formats/bzip2_huffman.h"
#include "formats/formats_internal.h"

namespace {

constexpr int kTableMaxLen = 17;  // what the tables use; decoders accept up to 20
constexpr int kRefinePasses = 4;

}  // namespace

struct OrvfBzip2Block {
    std::int32_t capacity;  // run-length coded bytes per block, less the margin writers keep
    std::uint8_t* block;    // run-length coded bytes, then their transform
    std::uint8_t* work;     // transform work buffer
    std::uint16_t* symbols;
    std::uint8_t* selectors;
    RLEState* rle;
    MTFState* mtf;
    std::int32_t n;
    std::uint32_t crc;
    bool closed;  // the run-length stage was flushed
    std::uint8_t len[orvf::bz::kMaxTables][orvf::bz::kMaxAlpha];
    std::uint32_t tableFreq[orvf::bz::kMaxTables][orvf::bz::kMaxAlpha];
    std::uint32_t code[orvf::bz::kMaxTables][orvf::bz::kMaxAlpha];
    orvf::bz::BitWriter bits;
};

namespace {

using namespace orvf::bz;

// Bits of the delta-coded lengths of one table.
std::uint64_t tableBits(const std::uint8_t* len, int alpha) {
    std::uint64_t bits = 5;
    int cur = len[0];
    for (int v = 0; v < alpha; ++v) {
        bits += 1 + 2 * static_cast<std::uint64_t>(cur > len[v] ? cur - len[v] : len[v] - cur);
        cur = len[v];
    }
    return bits;
}

// Calls rank(r) for each group in order, r being its selector's position in a
// move-to-front list of the table numbers (the selectors are coded as r one
// bits and a zero).
template <class Rank>
void forEachSelectorRank(const std::uint8_t* selectors, std::int32_t nGroups, int nTables, Rank rank) {
    std::uint8_t list[kMaxTables];
    for (int t = 0; t < nTables; ++t) list[t] = static_cast<std::uint8_t>(t);
    for (std::int32_t g = 0; g < nGroups; ++g) {
        int pos = 0;
        const std::uint8_t s = selectors[g];
        while (list[pos] != s) ++pos;
        std::memmove(list + 1, list, static_cast<std::size_t>(pos));
        list[0] = s;
        rank(pos);
    }
}

// Chooses tables and selectors: the first tables each give short codes to a
// slice of the alphabet holding about an equal share of the symbols; each
// pass gives every group the table that codes it in the fewest bits and
// rebuilds each table from its groups' symbols.  Returns the bits the table
// part and the symbols take.
std::uint64_t chooseTables(OrvfBzip2Block* b, const std::uint16_t* sym, std::int32_t nSym, const std::uint32_t* freq,
                           int alpha, int nTables) {
    const std::int32_t nGroups = (nSym + kGroupSize - 1) / kGroupSize;
    std::int32_t remaining = nSym;
    int lo = 0;
    for (int t = 0; t < nTables; ++t) {
        const std::int32_t target = remaining / (nTables - t);
        std::int32_t taken = 0;
        int hi = lo - 1;
        while (taken < target && hi < alpha - 1) taken += static_cast<std::int32_t>(freq[++hi]);
        for (int v = 0; v < alpha; ++v) b->len[t][v] = static_cast<std::uint8_t>(v >= lo && v <= hi ? 1 : 15);
        lo = hi + 1;
        remaining -= taken;
    }
    // A group's cost under every table at once: each symbol's code lengths
    // packed as 16-bit lanes (table t in word t / 4, lane t % 4); a group of
    // 50 codes of at most 17 bits never carries into the next lane.
    static_assert(kGroupSize * kTableMaxLen < 65536 && kMaxTables <= 8, "group costs fit 16-bit lanes");
    std::uint64_t packed[kMaxAlpha][2];
    for (int pass = 0; pass < kRefinePasses; ++pass) {
        std::memset(b->tableFreq, 0, sizeof b->tableFreq);
        std::memset(packed, 0, sizeof packed);
        for (int t = 0; t < nTables; ++t) {
            for (int v = 0; v < alpha; ++v) packed[v][t / 4] |= std::uint64_t{b->len[t][v]} << (16 * (t % 4));
        }
        for (std::int32_t g = 0; g < nGroups; ++g) {
            const std::int32_t begin = g * kGroupSize, end = std::min(begin + kGroupSize, nSym);
            std::uint64_t lanes[2] = {0, 0};
            for (std::int32_t i = begin; i < end; ++i) {
                lanes[0] += packed[sym[i]][0];
                lanes[1] += packed[sym[i]][1];
            }
            int best = 0;
            std::uint32_t bestCost = static_cast<std::uint32_t>(lanes[0] & 0xFFFF);
            for (int t = 1; t < nTables; ++t) {
                const auto cost = static_cast<std::uint32_t>((lanes[t / 4] >> (16 * (t % 4))) & 0xFFFF);
                if (cost < bestCost) {
                    best = t;
                    bestCost = cost;
                }
            }
            b->selectors[g] = static_cast<std::uint8_t>(best);
            for (std::int32_t i = begin; i < end; ++i) b->tableFreq[best][sym[i]]++;
        }
        for (int t = 0; t < nTables; ++t) huffmanLengths(b->tableFreq[t], alpha, kTableMaxLen, b->len[t]);
    }
    std::uint64_t bits = 3 + 15;
    forEachSelectorRank(b->selectors, nGroups, nTables, [&](int rank) { bits += static_cast<std::uint64_t>(rank) + 1; });
    for (int t = 0; t < nTables; ++t) bits += tableBits(b->len[t], alpha);
    for (int v = 0; v < alpha; ++v) {
        for (int t = 0; t < nTables; ++t) bits += std::uint64_t{b->tableFreq[t][v]} * b->len[t][v];
    }
    return bits;
}

// The fallback that bounds every block: two equal, complete codes of
// ceil(log2(alpha)) bits or one less.  Fills flat[] and returns the bits the
// table part and the symbols take with selector 0 for every group.
std::uint64_t flatCode(std::int32_t nSym, const std::uint32_t* freq, int alpha, std::uint8_t* flat) {
    int bitsPerSymbol = 1;
    while ((1 << bitsPerSymbol) < alpha) ++bitsPerSymbol;
    const int shorter = (1 << bitsPerSymbol) - alpha;  // symbols with one bit less
    for (int v = 0; v < alpha; ++v) flat[v] = static_cast<std::uint8_t>(v < shorter ? bitsPerSymbol - 1 : bitsPerSymbol);
    std::uint64_t bits = 3 + 15 + static_cast<std::uint64_t>((nSym + kGroupSize - 1) / kGroupSize);
    bits += 2 * tableBits(flat, alpha);
    for (int v = 0; v < alpha; ++v) bits += std::uint64_t{freq[v]} * flat[v];
    return bits;
}

void writeTablesAndSymbols(OrvfBzip2Block* b, const std::uint16_t* sym, std::int32_t nSym, const std::uint32_t* freq,
                           int alpha) {
    BitWriter& w = b->bits;
    const std::int32_t nGroups = (nSym + kGroupSize - 1) / kGroupSize;
    int nTables = nSym < 200 ? 2 : nSym < 600 ? 3 : nSym < 1200 ? 4 : nSym < 2400 ? 5 : 6;
    const std::uint64_t huffmanBits = chooseTables(b, sym, nSym, freq, alpha, nTables);
    std::uint8_t flat[kMaxAlpha];
    if (flatCode(nSym, freq, alpha, flat) < huffmanBits) {
        nTables = 2;
        std::memcpy(b->len[0], flat, static_cast<std::size_t>(alpha));
        std::memcpy(b->len[1], flat, static_cast<std::size_t>(alpha));
        std::memset(b->selectors, 0, static_cast<std::size_t>(nGroups));
    }
    for (int t = 0; t < nTables; ++t) assignCodes(b->len[t], alpha, b->code[t]);

    w.put(3, static_cast<std::uint32_t>(nTables));
    w.put(15, static_cast<std::uint32_t>(nGroups));
    forEachSelectorRank(b->selectors, nGroups, nTables, [&](int rank) {
        while (rank-- > 0) w.put(1, 1);
        w.put(1, 0);
    });
    for (int t = 0; t < nTables; ++t) {
        int cur = b->len[t][0];
        w.put(5, static_cast<std::uint32_t>(cur));
        for (int v = 0; v < alpha; ++v) {
            for (; cur < b->len[t][v]; ++cur) w.put(2, 2);
            for (; cur > b->len[t][v]; --cur) w.put(2, 3);
            w.put(1, 0);
        }
    }
    for (std::int32_t g = 0; g < nGroups; ++g) {
        const std::int32_t begin = g * kGroupSize, end = std::min(begin + kGroupSize, nSym);
        const int t = b->selectors[g];
        for (std::int32_t i = begin; i < end; ++i) w.put(b->len[t][sym[i]], b->code[t][sym[i]]);
    }
}

// Transforms and writes the block's n >= 1 run-length coded bytes.
orvStatus codeBlock(OrvfBzip2Block* b) {
    const std::int32_t n = b->n;
    std::uint8_t inUse[256];
    std::uint32_t freq[kMaxAlpha] = {};
    std::int32_t index, dictSize;
    orvStatus st;
    if ((st = orvsBWTFwd_8u(b->block, b->block, n, &index, b->work)) != orvStsOk) return st;
    if ((st = orvsRLEGetInUseTable_8u(inUse, b->rle)) != orvStsOk) return st;
    if ((st = orvsReduceDictionary_8u_I(inUse, b->block, n, &dictSize)) != orvStsOk) return st;
    if ((st = orvsMTFInit_8u(b->mtf)) != orvStsOk) return st;
    if ((st = orvsMTFFwd_8u(b->block, b->block, n, b->mtf)) != orvStsOk) return st;
    // Room for n symbols takes the whole block in one call.
    const std::uint8_t* src = b->block;
    std::int32_t srcLen = n, nSym = n;
    st = orvsEncodeZ1Z2_BZ2_8u16u(&src, &srcLen, b->symbols, &nSym, freq);
    if (st != orvStsOk || srcLen != 0) return st < 0 ? st : orvStsError;
    b->symbols[nSym++] = static_cast<std::uint16_t>(dictSize + 1);  // end of block
    freq[dictSize + 1]++;

    BitWriter& w = b->bits;
    if (!w.reserve(static_cast<std::size_t>(n) + static_cast<std::size_t>(n) / 4 + 4096)) return orvStsNoMemory;
    w.put(24, kBlockMagicHi);
    w.put(24, kBlockMagicLo);
    w.put(32, b->crc);
    w.put(1, 0);  // not randomised
    w.put(24, static_cast<std::uint32_t>(index));
    std::uint32_t ranges = 0;
    for (int i = 0; i < 16; ++i) {
        for (int j = 0; j < 16; ++j) {
            if (inUse[i * 16 + j]) ranges |= 0x8000u >> i;
        }
    }
    w.put(16, ranges);
    for (int i = 0; i < 16; ++i) {
        if (!(ranges & (0x8000u >> i))) continue;
        for (int j = 0; j < 16; ++j) w.put(1, inUse[i * 16 + j] ? 1 : 0);
    }
    writeTablesAndSymbols(b, b->symbols, nSym, freq, dictSize + 2);
    return w.failed() ? orvStsNoMemory : orvStsOk;
}

void releaseBlock(OrvfBzip2Block* b) {
    std::free(b->block);
    std::free(b->work);
    std::free(b->symbols);
    std::free(b->selectors);
    std::free(b->rle);
    std::free(b->mtf);
    delete b;
}

}  // namespace

extern "C" {

ORVF_API orvStatus orvfBzip2BlockCreate(int32_t blockSize100k, OrvfBzip2Block** ppBlock) {
    if (ppBlock == nullptr) return orvStsNullPtr;
    if (blockSize100k < 1 || blockSize100k > 9) return orvStsBadArg;
    OrvfBzip2Block* b = orvf::make<OrvfBzip2Block>();
    if (b == nullptr) return orvStsNoMemory;
    b->capacity = blockSize100k * 100000 - 19;
    std::int32_t workSize = 0, rleSize = 0, mtfSize = 0;
    orvsBWTFwdGetSize_8u(b->capacity, &workSize);
    orvsRLEGetSize_BZ2_8u(&rleSize);
    orvsMTFGetSize_8u(&mtfSize);
    const std::size_t cap = static_cast<std::size_t>(b->capacity);
    b->block = orvf::allocBytes(cap);
    b->work = orvf::allocBytes(static_cast<std::size_t>(workSize));
    b->symbols = static_cast<std::uint16_t*>(std::malloc(sizeof(std::uint16_t) * (cap + 1)));
    b->selectors = orvf::allocBytes(cap / kGroupSize + 2);
    b->rle = reinterpret_cast<RLEState*>(orvf::allocBytes(static_cast<std::size_t>(rleSize)));
    b->mtf = reinterpret_cast<MTFState*>(orvf::allocBytes(static_cast<std::size_t>(mtfSize)));
    if (!b->block || !b->work || !b->symbols || !b->selectors || !b->rle || !b->mtf) {
        releaseBlock(b);
        return orvStsNoMemory;
    }
    orvfBzip2BlockClear(b);
    *ppBlock = b;
    return orvStsOk;
}

ORVF_API orvStatus orvfBzip2BlockClear(OrvfBzip2Block* b) {
    if (b == nullptr) return orvStsNullPtr;
    orvsEncodeRLEInit_BZ2_8u(b->rle);
    b->n = 0;
    b->crc = 0;
    b->closed = false;
    b->bits.clear();
    return orvStsOk;
}

ORVF_API orvStatus orvfBzip2BlockFill(OrvfBzip2Block* b, const uint8_t** ppSrc, size_t* pSrcLen) {
    if (b == nullptr || ppSrc == nullptr || pSrcLen == nullptr || (*ppSrc == nullptr && *pSrcLen > 0)) {
        return orvStsNullPtr;
    }
    if (b->closed) return orvStsBadStream;
    // One byte stays free for the count byte the flush may owe.
    while (*pSrcLen > 0) {
        std::int32_t room = b->capacity - 1 - b->n;
        if (room <= 0) return orvStsDstFull;
        const std::uint8_t* src = *ppSrc;
        std::int32_t srcLen = orvf::clampLen(*pSrcLen);
        const orvStatus st = orvsEncodeRLE_BZ2_8u(&src, &srcLen, b->block + b->n, &room, b->rle);
        if (st != orvStsOk && st != orvStsDstFull) return st;
        const std::size_t used = static_cast<std::size_t>(src - *ppSrc);
        b->crc = orvf::bzip2CrcUpdate(b->crc, *ppSrc, used);
        *ppSrc = src;
        *pSrcLen -= used;
        b->n += room;
        if (st == orvStsDstFull) return orvStsDstFull;
    }
    return orvStsOk;
}

ORVF_API orvStatus orvfBzip2BlockEncode(OrvfBzip2Block* b, const uint8_t** ppBits, uint64_t* pBitCount,
                                        uint32_t* pCrc) {
    if (b == nullptr || ppBits == nullptr || pBitCount == nullptr || pCrc == nullptr) return orvStsNullPtr;
    if (!b->closed) {
        std::int32_t room = 1;
        const orvStatus st = orvsEncodeRLEFlush_BZ2_8u(b->block + b->n, &room, b->rle);
        if (st != orvStsOk) return st;
        b->n += room;
        b->closed = true;
        b->bits.clear();
        if (b->n > 0) {
            const orvStatus coded = codeBlock(b);
            if (coded != orvStsOk) return coded;
            b->bits.padForExport();
        }
    }
    *ppBits = b->bits.data();
    *pBitCount = b->bits.bitCount();
    *pCrc = b->crc;
    return orvStsOk;
}

ORVF_API void orvfBzip2BlockFree(OrvfBzip2Block* b) {
    if (b != nullptr) releaseBlock(b);
}

ORVF_API uint32_t orvfBzip2CombineCrc(uint32_t streamCrc, uint32_t blockCrc) {
    return combineCrc(streamCrc, blockCrc);
}

}  // extern "C"
