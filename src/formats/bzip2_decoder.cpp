// Streaming bzip2 decompression.  Compressed input collects in a buffer
// until a whole block is there (a block cannot be longer than kMaxBlockBytes);
// the block's symbols are decoded here and the library undoes zero-run
// coding, move-to-front, dictionary reduction, the Burrows-Wheeler transform
// and the run-length stage.  Block and stream CRCs are checked.
#include <algorithm>
#include <cstring>

#include "formats/bzip2_huffman.h"
#include "formats/formats_internal.h"

namespace {

using namespace orvf::bz;

constexpr std::int32_t kMaxBlock = 900000;
constexpr std::int32_t kMaxSelectors = 32767;
// 900000 symbols of at most 20 bits, selectors and tables, with room to spare.
constexpr std::size_t kMaxBlockBytes = 2 * 1024 * 1024 + 512 * 1024;
constexpr std::size_t kInCap = kMaxBlockBytes + 256 * 1024;

enum Phase : std::uint8_t { kStreamHeader, kBlocks, kEnd, kFailed };

}  // namespace

// A parsed block and the memory to restore it: the decoder keeps one, and a
// parallel reader one per thread.
struct OrvfBzip2Unblock {
    std::uint16_t* symbols;
    std::uint8_t* bytes;  // move-to-front indices, then the transformed block
    std::uint8_t* block;  // the run-length coded block
    std::uint8_t* work;
    std::uint8_t* raw;  // the restored bytes of a block
    std::size_t rawCap, rawLen;
    MTFState* mtf;
    std::int32_t nSym, dictSize, origin, blockMax;
    std::uint32_t storedCrc;
    std::uint8_t inUse[256];

    bool init() {
        std::int32_t workSize = 0, mtfSize = 0;
        orvsBWTInvGetSize_8u(kMaxBlock, &workSize);
        orvsMTFGetSize_8u(&mtfSize);
        symbols = static_cast<std::uint16_t*>(std::malloc(sizeof(std::uint16_t) * kMaxBlock));
        bytes = orvf::allocBytes(kMaxBlock);
        block = orvf::allocBytes(kMaxBlock);
        work = orvf::allocBytes(static_cast<std::size_t>(workSize));
        mtf = reinterpret_cast<MTFState*>(orvf::allocBytes(static_cast<std::size_t>(mtfSize)));
        raw = nullptr;
        rawCap = rawLen = 0;
        return symbols && bytes && block && work && mtf;
    }
    void release() {
        std::free(symbols);
        std::free(bytes);
        std::free(block);
        std::free(work);
        std::free(raw);
        std::free(mtf);
    }
};

struct OrvfBzip2Decoder {
    std::uint8_t* in;
    std::size_t inStart, inEnd;  // buffered input
    int bitOffset;               // bits of in[inStart] already consumed
    std::size_t tried;           // buffered bytes when a block last did not fit
    Phase phase;
    orvStatus failure;
    std::int32_t blockMax;
    std::uint32_t streamCrc;
    bool anyStream;
    OrvfBzip2Unblock own;  // blocks restored by Run
    std::size_t rawPos;    // of own.raw handed out
    std::uint8_t selectors[kMaxSelectors];
    DecodeTable tables[kMaxTables];
};

namespace {

enum class Parse { kOk, kNeedMore, kError };

struct BlockParse {
    BitReader r;
    orvStatus error = orvStsOk;
    Parse fail(orvStatus st) {
        error = st;
        return Parse::kError;
    }
};

// Reads the block after its magic up to its end-of-block symbol.  Returns the
// number of symbols before it, or -1 (p.error set, or p.r.overrun).
std::int32_t readSymbols(OrvfBzip2Decoder* d, BlockParse& p, OrvfBzip2Unblock& w) {
    std::uint8_t* const inUse = w.inUse;
    std::int32_t* const dictSize = &w.dictSize;
    std::int32_t* const origin = &w.origin;
    BitReader& r = p.r;
    if (r.get(1) != 0) return p.fail(orvfStsBadData), -1;  // randomised blocks: not written since 0.9.5
    *origin = static_cast<std::int32_t>(r.get(24));
    std::memset(inUse, 0, 256);
    *dictSize = 0;
    const std::uint32_t ranges = r.get(16);
    for (int i = 0; i < 16; ++i) {
        if (!(ranges & (0x8000u >> i))) continue;
        for (int k = 0; k < 16; ++k) {
            if (r.get(1)) {
                inUse[i * 16 + k] = 1;
                ++*dictSize;
            }
        }
    }
    if (r.overrun) return -1;
    if (*dictSize == 0) return p.fail(orvfStsBadData), -1;
    const int alpha = *dictSize + 2;
    const int nTables = static_cast<int>(r.get(3));
    if (nTables < kMinTables || nTables > kMaxTables) return p.fail(orvfStsBadData), -1;
    const std::int32_t nSelectors = static_cast<std::int32_t>(r.get(15));
    if (nSelectors < 1) return p.fail(orvfStsBadData), -1;
    std::uint8_t list[kMaxTables];
    for (int t = 0; t < nTables; ++t) list[t] = static_cast<std::uint8_t>(t);
    for (std::int32_t i = 0; i < nSelectors; ++i) {
        int pos = 0;
        while (r.get(1)) {
            if (++pos >= nTables) return p.fail(orvfStsBadData), -1;
        }
        if (r.overrun) return -1;
        const std::uint8_t s = list[pos];
        std::memmove(list + 1, list, static_cast<std::size_t>(pos));
        list[0] = s;
        d->selectors[i] = s;
    }
    std::uint8_t len[kMaxAlpha];
    for (int t = 0; t < nTables; ++t) {
        int cur = static_cast<int>(r.get(5));
        for (int v = 0; v < alpha; ++v) {
            for (;;) {
                if (cur < 1 || cur > kMaxCodeLen) return p.fail(orvfStsBadData), -1;
                if (!r.get(1)) break;
                cur += r.get(1) ? -1 : 1;
                if (r.overrun) return -1;
            }
            len[v] = static_cast<std::uint8_t>(cur);
        }
        if (r.overrun) return -1;
        if (!buildDecoder(len, alpha, &d->tables[t])) return p.fail(orvfStsBadData), -1;
    }
    std::int32_t nSym = 0, selector = 0, groupLeft = 0, runDigits = 0;
    const DecodeTable* table = nullptr;
    for (;;) {
        if (groupLeft == 0) {
            if (selector >= nSelectors) return p.fail(orvfStsBadData), -1;
            table = &d->tables[d->selectors[selector++]];
            groupLeft = kGroupSize;
        }
        const int s = decodeSymbol(r, *table);
        --groupLeft;
        if (r.overrun) return -1;
        if (s < 0) return p.fail(orvfStsBadData), -1;
        if (s == alpha - 1) break;
        // k run digits stand for at least 2^k - 1 zeros: 20 digits exceed
        // any block.
        if (s <= 1) {
            if (++runDigits >= 20) return p.fail(orvfStsBadData), -1;
        } else {
            runDigits = 0;
        }
        if (nSym >= d->blockMax) return p.fail(orvfStsBadData), -1;
        w.symbols[nSym++] = static_cast<std::uint16_t>(s);
    }
    return nSym;
}

bool reserveRaw(OrvfBzip2Unblock* d, std::size_t need) {
    if (d->rawCap >= need) return true;
    auto* p = static_cast<std::uint8_t*>(std::realloc(d->raw, need));
    if (p == nullptr) return false;
    d->raw = p;
    d->rawCap = need;
    return true;
}

// Restores a parsed block into d->raw and checks its CRC.
orvStatus restoreBlock(OrvfBzip2Unblock* d) {
    const std::int32_t nSym = d->nSym, dictSize = d->dictSize, origin = d->origin;
    const std::uint8_t* const inUse = d->inUse;
    const std::uint16_t* symSrc = d->symbols;
    std::int32_t srcLen = nSym, n = d->blockMax;
    orvStatus st = orvsDecodeZ1Z2_BZ2_16u8u(&symSrc, &srcLen, d->bytes, &n);
    if (st != orvStsOk || srcLen != 0) return orvfStsBadData;
    if (origin >= n) return orvfStsBadData;
    if (orvsMTFInit_8u(d->mtf) != orvStsOk || orvsMTFInv_8u(d->bytes, d->bytes, n, d->mtf) != orvStsOk) {
        return orvfStsBadData;
    }
    // Move-to-front indices stay below the dictionary size, so every index
    // maps to a value in use.
    if (orvsExpandDictionary_8u_I(inUse, d->bytes, n, dictSize) != orvStsOk) return orvfStsBadData;
    if (orvsBWTInv_8u(d->bytes, d->block, n, origin, d->work) != orvStsOk) return orvfStsBadData;
    // The run-length decoder takes a whole block per call: more room until
    // it fits (five bytes expand to at most 259).
    if (!reserveRaw(d, static_cast<std::size_t>(n) * 4 + 1024)) return orvStsNoMemory;
    std::int32_t rawLen;
    for (;;) {
        const std::uint8_t* src = d->block;
        srcLen = n;
        rawLen = orvf::clampLen(d->rawCap);
        st = orvsDecodeRLE_BZ2_8u(&src, &srcLen, d->raw, &rawLen);
        if (st == orvStsOk) break;
        if (st != orvStsDstFull) return orvfStsBadData;
        if (!reserveRaw(d, d->rawCap * 2)) return orvStsNoMemory;
    }
    if (orvf::bzip2CrcUpdate(0, d->raw, static_cast<std::size_t>(rawLen)) != d->storedCrc) return orvfStsBadChecksum;
    d->rawLen = static_cast<std::size_t>(rawLen);
    return orvStsOk;
}

// Bits consumed by the reader from the buffer start.
std::uint64_t bitsUsed(const BitReader& r, const std::uint8_t* start) {
    return static_cast<std::uint64_t>(r.p - start) * 8 + static_cast<unsigned>(r.padding) -
           static_cast<unsigned>(r.bits);
}

// Reads the next block (into `into`) or the end record from the buffer.
// The stream CRC is kept from the blocks' stored CRCs, which restoring
// checks.  *gotBlock tells which record it was.
Parse nextRecord(OrvfBzip2Decoder* d, BlockParse& p, OrvfBzip2Unblock* into, bool* gotBlock) {
    *gotBlock = false;
    const std::uint8_t* start = d->in + d->inStart;
    p.r.init(start, d->inEnd - d->inStart);
    if (d->bitOffset > 0) p.r.get(d->bitOffset);
    const std::uint32_t hi = p.r.get(24), lo = p.r.get(24);
    if (p.r.overrun) return Parse::kNeedMore;
    if (hi == kBlockMagicHi && lo == kBlockMagicLo) {
        const std::uint32_t crc = p.r.get(32);
        into->blockMax = d->blockMax;
        const std::int32_t nSym = readSymbols(d, p, *into);
        // Zero bits read past the end may look like damage: more input first.
        if (p.r.overrun) return Parse::kNeedMore;
        if (nSym < 0) return Parse::kError;
        into->nSym = nSym;
        into->storedCrc = crc;
        d->streamCrc = combineCrc(d->streamCrc, crc);
        *gotBlock = true;
    } else if (hi == kEndMagicHi && lo == kEndMagicLo) {
        const std::uint32_t stored = p.r.get(32);
        if (p.r.overrun) return Parse::kNeedMore;
        if (stored != d->streamCrc) return p.fail(orvfStsBadChecksum);
        p.r.align();
        d->phase = kEnd;
    } else {
        return p.fail(orvfStsBadData);
    }
    const std::uint64_t used = bitsUsed(p.r, start);
    d->inStart += static_cast<std::size_t>(used / 8);
    d->bitOffset = static_cast<int>(used % 8);
    return Parse::kOk;
}

orvStatus fail(OrvfBzip2Decoder* d, orvStatus st) {
    d->phase = kFailed;
    d->failure = st;
    return st;
}

void releaseDecoder(OrvfBzip2Decoder* d) {
    std::free(d->in);
    d->own.release();
    delete d;
}

}  // namespace

extern "C" {

ORVF_API orvStatus orvfBzip2DecoderCreate(OrvfBzip2Decoder** ppDecoder) {
    if (ppDecoder == nullptr) return orvStsNullPtr;
    OrvfBzip2Decoder* d = orvf::make<OrvfBzip2Decoder>();
    if (d == nullptr) return orvStsNoMemory;
    d->in = orvf::allocBytes(kInCap);
    const bool blockMemory = d->own.init();
    if (!d->in || !blockMemory) {
        releaseDecoder(d);
        return orvStsNoMemory;
    }
    orvfBzip2DecoderReset(d);
    *ppDecoder = d;
    return orvStsOk;
}

}  // extern "C"

namespace {

// The decoding loop shared by Run (into == &d->own: blocks are restored and
// handed out here) and NextBlock (a parsed block is left in `into`; then the
// result is orvStsOk).
orvStatus advance(OrvfBzip2Decoder* d, const uint8_t** ppSrc, size_t* pSrcLen, uint8_t** ppDst, size_t* pDstLen,
                  int32_t lastInput, OrvfBzip2Unblock* into) {
    const bool restoreHere = into == &d->own;
    for (;;) {
        if (d->phase == kFailed) return d->failure;
        if (restoreHere && d->rawPos < d->own.rawLen) {
            const std::uint8_t* from = d->own.raw + d->rawPos;
            std::size_t have = d->own.rawLen - d->rawPos;
            orvf::drainTo(from, have, ppDst, pDstLen);
            d->rawPos = d->own.rawLen - have;
            if (have > 0) return orvStsDstFull;
        }
        // Buffer what input fits, the unread part moved to the front first.
        if (d->inStart > 0 && *pSrcLen > 0) {
            std::memmove(d->in, d->in + d->inStart, d->inEnd - d->inStart);
            d->inEnd -= d->inStart;
            d->tried = d->tried > d->inStart ? d->tried - d->inStart : 0;
            d->inStart = 0;
        }
        const std::size_t take = std::min(*pSrcLen, kInCap - d->inEnd);
        if (take > 0) {
            std::memcpy(d->in + d->inEnd, *ppSrc, take);
            d->inEnd += take;
            *ppSrc += take;
            *pSrcLen -= take;
        }
        const std::size_t avail = d->inEnd - d->inStart;
        const bool allInput = lastInput != 0 && *pSrcLen == 0;

        if (d->phase == kEnd || d->phase == kStreamHeader) {
            if (d->phase == kEnd && avail == 0) return orvStsStreamEnd;
            if (d->phase == kStreamHeader && avail == 0 && !allInput) return orvStsSrcEnd;
            const std::uint8_t* h = d->in + d->inStart;
            const std::size_t k = std::min<std::size_t>(avail, 3);
            const bool magic = std::memcmp(h, "BZh", k) == 0;
            if (!magic) return d->anyStream ? orvfStsTrailingData : fail(d, orvfStsBadMagic);
            if (avail < 4) {
                if (!allInput) return orvStsSrcEnd;
                return d->anyStream ? orvfStsTrailingData : fail(d, orvfStsTruncated);
            }
            if (h[3] < '1' || h[3] > '9') return d->anyStream ? orvfStsTrailingData : fail(d, orvfStsBadHeader);
            d->blockMax = (h[3] - '0') * 100000;
            d->inStart += 4;
            d->bitOffset = 0;
            d->streamCrc = 0;
            d->tried = 0;
            d->anyStream = true;
            d->phase = kBlocks;
            continue;
        }
        // kBlocks: decode once the block must be whole, or the input has
        // doubled since the last try.
        if (!allInput && avail < kMaxBlockBytes && avail < 2 * d->tried + 4096) {
            if (*pSrcLen == 0) return orvStsSrcEnd;
            continue;
        }
        BlockParse p;
        bool gotBlock;
        const Parse result = nextRecord(d, p, into, &gotBlock);
        if (result == Parse::kError) return fail(d, p.error);
        if (result == Parse::kNeedMore) {
            if (allInput) return fail(d, orvfStsTruncated);
            if (avail >= kMaxBlockBytes) return fail(d, orvfStsBadData);
            d->tried = avail;
            if (*pSrcLen == 0) return orvStsSrcEnd;
            continue;
        }
        d->tried = 0;
        if (gotBlock && !restoreHere) return orvStsOk;
        if (gotBlock) {
            const orvStatus st = restoreBlock(&d->own);
            if (st != orvStsOk) return fail(d, st);
            d->rawPos = 0;
            continue;
        }
        // A stream that ended with more input buffered behind it goes on
        // with what follows: the caller has given that input already.
        if (d->phase == kEnd && d->inStart == d->inEnd) return orvStsStreamEnd;
    }
}

}  // namespace

extern "C" {

ORVF_API orvStatus orvfBzip2DecoderRun(OrvfBzip2Decoder* d, const uint8_t** ppSrc, size_t* pSrcLen, uint8_t** ppDst,
                                       size_t* pDstLen, int32_t lastInput) {
    if (d == nullptr || ppSrc == nullptr || pSrcLen == nullptr || ppDst == nullptr || pDstLen == nullptr ||
        (*ppSrc == nullptr && *pSrcLen > 0) || (*ppDst == nullptr && *pDstLen > 0)) {
        return orvStsNullPtr;
    }
    return advance(d, ppSrc, pSrcLen, ppDst, pDstLen, lastInput, &d->own);
}

ORVF_API orvStatus orvfBzip2DecoderNextBlock(OrvfBzip2Decoder* d, const uint8_t** ppSrc, size_t* pSrcLen,
                                             int32_t lastInput, OrvfBzip2Unblock* pBlock) {
    if (d == nullptr || ppSrc == nullptr || pSrcLen == nullptr || pBlock == nullptr ||
        (*ppSrc == nullptr && *pSrcLen > 0)) {
        return orvStsNullPtr;
    }
    if (d->rawPos < d->own.rawLen) return orvStsBadStream;  // Run has output pending
    uint8_t none[1];
    uint8_t* dst = none;
    size_t room = 0;
    return advance(d, ppSrc, pSrcLen, &dst, &room, lastInput, pBlock);
}

ORVF_API orvStatus orvfBzip2UnblockCreate(OrvfBzip2Unblock** ppBlock) {
    if (ppBlock == nullptr) return orvStsNullPtr;
    OrvfBzip2Unblock* u = orvf::make<OrvfBzip2Unblock>();
    if (u == nullptr) return orvStsNoMemory;
    if (!u->init()) {
        u->release();
        delete u;
        return orvStsNoMemory;
    }
    *ppBlock = u;
    return orvStsOk;
}

ORVF_API orvStatus orvfBzip2UnblockRestore(OrvfBzip2Unblock* u, const uint8_t** ppOut, size_t* pOutLen) {
    if (u == nullptr || ppOut == nullptr || pOutLen == nullptr) return orvStsNullPtr;
    const orvStatus st = restoreBlock(u);
    if (st != orvStsOk) return st;
    *ppOut = u->raw;
    *pOutLen = u->rawLen;
    return orvStsOk;
}

ORVF_API void orvfBzip2UnblockFree(OrvfBzip2Unblock* u) {
    if (u == nullptr) return;
    u->release();
    delete u;
}

ORVF_API orvStatus orvfBzip2DecoderReset(OrvfBzip2Decoder* d) {
    if (d == nullptr) return orvStsNullPtr;
    d->inStart = d->inEnd = 0;
    d->bitOffset = 0;
    d->tried = 0;
    d->phase = kStreamHeader;
    d->failure = orvStsOk;
    d->streamCrc = 0;
    d->anyStream = false;
    d->rawPos = d->own.rawLen = 0;
    return orvStsOk;
}

ORVF_API void orvfBzip2DecoderFree(OrvfBzip2Decoder* d) {
    if (d != nullptr) releaseDecoder(d);
}

ORVF_API orvStatus orvfBzip2Decompress(const uint8_t* src, size_t srcLen, size_t* pSrcUsed, uint8_t* dst,
                                       size_t* pDstLen) {
    if (pDstLen == nullptr || (src == nullptr && srcLen > 0) || (dst == nullptr && *pDstLen > 0)) {
        return orvStsNullPtr;
    }
    OrvfBzip2Decoder* d = nullptr;
    orvStatus st = orvfBzip2DecoderCreate(&d);
    if (st != orvStsOk) return st;
    const uint8_t* in = src;
    size_t inLen = srcLen;
    uint8_t* out = dst;
    size_t room = *pDstLen;
    for (;;) {
        st = orvfBzip2DecoderRun(d, &in, &inLen, &out, &room, 1);
        if (st != orvStsStreamEnd) break;
        // Input not yet taken into the buffer, or buffered and unread: more streams.
        if (inLen == 0 && d->inStart == d->inEnd) break;
    }
    const size_t unread = inLen + (d->inEnd - d->inStart);
    orvfBzip2DecoderFree(d);
    if (st == orvStsStreamEnd) st = orvStsOk;
    if (st == orvStsSrcEnd) st = orvfStsTruncated;
    if (pSrcUsed != nullptr) *pSrcUsed = srcLen - unread;
    *pDstLen -= room;
    return st;
}

}  // extern "C"
