// Streaming deflate compression into raw, zlib and gzip streams.
//
// Input collects in blocks of 65535 bytes.  Each block goes through the
// match finder once; the block is then written in the kind that codes it in
// the fewest bits: stored (the bytes themselves), fixed Huffman codes (size
// computed exactly from the pairs) or dynamic codes.  The dynamic size lies
// between the entropy of the block's symbols and one bit a symbol more plus
// the largest code description; only when that range straddles the other
// kinds' sizes is it measured, by writing the block on a second encoder
// state into scratch memory.  A full flush
// ends a block with the sync marker and resets the match finder, so the
// stream can be decoded from there; one is also made every 2^30 bytes, where
// the match finder's position counter must start over.
#include <cstring>

#include "formats/deflate_cost.h"
#include "formats/formats_internal.h"
#include "formats/gzip_header.h"

namespace {

constexpr std::int32_t kBlock = 65535;
constexpr std::size_t kOutCap = 2 * 65536 + 64;
constexpr std::size_t kScratchCap = 256 * 1024;
constexpr std::uint64_t kResetEvery = std::uint64_t{1} << 30;

}  // namespace

struct OrvfDeflater {
    OrvfFormat format;
    LZ77ComprLevel level;
    LZ77EncoderState* enc;    // the stream's encoder
    LZ77EncoderState* trial;  // measures dynamic blocks
    std::uint8_t* block;
    std::int32_t blockLen;
    std::uint8_t* out;  // output not yet handed to the caller
    const std::uint8_t* outNext;
    std::size_t outHave;
    std::uint8_t* scratch;
    std::uint8_t* header;  // the gzip header fields set by the caller
    std::size_t headerLen;
    std::uint32_t check;
    std::uint64_t total, sinceReset;
    bool started, finished, atFlushPoint;
};

namespace {

void releaseAll(OrvfDeflater* d) {
    orvsLZ77Free_8u(d->enc);
    orvsLZ77Free_8u(d->trial);
    std::free(d->block);
    std::free(d->out);
    std::free(d->scratch);
    std::free(d->header);
    delete d;
}

std::uint8_t gzipXfl(LZ77ComprLevel level) {
    return level == LZ77LevelBest ? 2 : level == LZ77LevelFast ? 4 : 0;
}

void resetStream(OrvfDeflater* d) {
    orvsEncodeLZ77Reset_8u(d->enc);
    d->blockLen = 0;
    d->outNext = d->out;
    d->outHave = 0;
    d->check = d->format == orvfZlib ? 1 : 0;
    d->total = d->sinceReset = 0;
    d->started = d->finished = d->atFlushPoint = false;
}

void append(OrvfDeflater* d, const std::uint8_t* p, std::size_t n) {
    std::memcpy(d->out + d->outHave, p, n);
    d->outHave += n;
}

// Writes the stream header into the output.
void writeHeader(OrvfDeflater* d) {
    if (d->format == orvfZlib) {
        static const std::uint8_t flg[3] = {0x01, 0x5E, 0xDA};  // FLEVEL by level, FCHECK
        const std::uint8_t h[2] = {0x78, flg[d->level]};
        append(d, h, 2);
    } else if (d->format == orvfGzip) {
        if (d->header == nullptr) {
            OrvfGzipHeader none{};
            none.os = 255;
            std::uint8_t h[10];
            orvf::writeGzipHeader(none, gzipXfl(d->level), h);
            append(d, h, 10);
        } else {
            d->header[8] = gzipXfl(d->level);
            d->outNext = d->header;  // handed out before d->out is used
            d->outHave = d->headerLen;
        }
    }
}

// Runs a block writer to completion into the output buffer.
orvStatus runWriter(OrvfDeflater* d, orvStatus(ORVDC_CALL* writer)(const LZ77Pair**, std::int32_t*, std::uint8_t**,
                                                                     std::int32_t*, LZ77FlushMode, LZ77EncoderState*),
                    const LZ77Pair* pairs, std::int32_t count, LZ77FlushMode flush) {
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, d->enc);
    std::uint8_t* dst = d->out + d->outHave;
    std::int32_t room = static_cast<std::int32_t>(kOutCap - d->outHave);
    const orvStatus st = writer(&pairs, &count, &dst, &room, flush, d->enc);
    d->outHave = kOutCap - static_cast<std::size_t>(room);
    return st;
}

orvStatus writeStored(OrvfDeflater* d, const std::uint8_t* src, std::int32_t len, LZ77FlushMode flush) {
    static const std::uint8_t nothing[1] = {0};
    if (src == nullptr) src = nothing;
    std::uint8_t* dst = d->out + d->outHave;
    std::int32_t room = static_cast<std::int32_t>(kOutCap - d->outHave);
    const orvStatus st = orvsEncodeLZ77StoredBlock_8u(&src, &len, &dst, &room, flush, d->enc);
    d->outHave = kOutCap - static_cast<std::size_t>(room);
    return st;
}

// Bits of the block coded with a dynamic code, measured on the trial state:
// the block is followed by a sync marker there, so each trial starts and
// ends on a byte boundary.
std::uint64_t dynamicBlockBits(OrvfDeflater* d, const LZ77Pair* pairs, std::int32_t count) {
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, d->trial);
    std::uint8_t* dst = d->scratch;
    std::int32_t room = static_cast<std::int32_t>(kScratchCap);
    const orvStatus st = orvsEncodeLZ77DynamicHuff_8u(&pairs, &count, &dst, &room, LZ77FlushSync, d->trial);
    if (st != orvStsOk) {
        orvsEncodeLZ77Reset_8u(d->trial);
        return ~std::uint64_t{0};
    }
    const std::uint64_t bytes = kScratchCap - static_cast<std::size_t>(room);
    return (bytes - 4) * 8 - 3 - 4;  // less the marker, its 3 header bits and about half a byte of padding
}

// Codes the collected block (possibly empty) and, for a flush, ends it there.
orvStatus codeBlock(OrvfDeflater* d, OrvfFlush flush) {
    if (flush == orvfFlushNone && d->sinceReset + static_cast<std::uint64_t>(d->blockLen) >= kResetEvery) {
        flush = orvfFlushFull;
    }
    const LZ77FlushMode mode = flush == orvfFlushFinish ? LZ77FlushFinish
                               : flush == orvfFlushFull ? LZ77FlushFull
                                                        : LZ77FlushNone;
    orvStatus st = orvStsOk;
    if (d->blockLen == 0) {
        // No data: an empty stored block is the final block, or the marker.
        if (flush != orvfFlushNone) st = writeStored(d, nullptr, 0, flush == orvfFlushFinish ? LZ77FlushFinish : LZ77FlushNone);
    } else {
        LZ77Pair* pairs;
        std::int32_t index, capacity;
        orvsEncodeLZ77SetStatus_8u(LZ77DeflateCollectPairs, d->enc);
        orvsEncodeLZ77GetPairs_8u(&pairs, &index, &capacity, d->enc);
        const std::uint8_t* src = d->block;
        std::int32_t srcLen = d->blockLen;
        LZ77Pair* next = pairs;
        std::int32_t room = capacity;
        st = orvsEncodeLZ77_8u(&src, &srcLen, &next, &room, LZ77FlushNone, d->enc);
        if (st != orvStsOk || srcLen != 0) return st < 0 ? st : orvStsError;
        const std::int32_t count = static_cast<std::int32_t>(next - pairs);
        orvsEncodeLZ77SetPairs_8u(pairs, count, capacity, d->enc);

        // The dynamic size is measured only when the bounds on it leave the
        // choice open.
        const orvf::BlockCost cost = orvf::blockCost(pairs, count);
        const std::uint64_t fixedBits = cost.fixedBits;
        const std::uint64_t storedBits = 3 + 4 + 32 + 8 * static_cast<std::uint64_t>(d->blockLen);
        const std::uint64_t other = fixedBits < storedBits ? fixedBits : storedBits;
        std::uint64_t dynamicBits;
        if (cost.dynamicHigh < static_cast<double>(other)) {
            dynamicBits = 0;
        } else if (cost.dynamicLow >= static_cast<double>(other)) {
            dynamicBits = ~std::uint64_t{0};
        } else {
            dynamicBits = dynamicBlockBits(d, pairs, count);
        }
        if (storedBits <= fixedBits && storedBits <= dynamicBits) {
            st = writeStored(d, d->block, d->blockLen, mode == LZ77FlushFinish ? LZ77FlushFinish : LZ77FlushNone);
            if (st == orvStsOk && flush == orvfFlushFull) st = writeStored(d, nullptr, 0, LZ77FlushNone);
        } else {
            st = runWriter(d, dynamicBits < fixedBits ? orvsEncodeLZ77DynamicHuff_8u : orvsEncodeLZ77FixedHuff_8u,
                           pairs, count, mode);
            if (st == orvStsStreamEnd) st = orvStsOk;
        }
    }
    if (st != orvStsOk) return st < 0 ? st : orvStsError;
    d->sinceReset += static_cast<std::uint64_t>(d->blockLen);
    d->blockLen = 0;
    if (flush == orvfFlushFull) {
        orvsEncodeLZ77Reset_8u(d->enc);
        d->sinceReset = 0;
    }
    if (flush == orvfFlushFinish) {
        std::uint8_t t[8];
        if (d->format == orvfZlib) {
            for (int i = 0; i < 4; ++i) t[i] = static_cast<std::uint8_t>(d->check >> (24 - 8 * i));
            append(d, t, 4);
        } else if (d->format == orvfGzip) {
            orvf::putLE32(t, d->check);
            orvf::putLE32(t + 4, static_cast<std::uint32_t>(d->total));
            append(d, t, 8);
        }
        d->finished = true;
    }
    return orvStsOk;
}

}  // namespace

extern "C" {

ORVF_API orvStatus orvfDeflaterCreate(OrvfFormat format, LZ77ComprLevel level, OrvfDeflater** ppDeflater) {
    if (ppDeflater == nullptr) return orvStsNullPtr;
    if (format < orvfRaw || format > orvfGzip || level < LZ77LevelFast || level > LZ77LevelBest) return orvStsBadArg;
    OrvfDeflater* d = orvf::make<OrvfDeflater>();
    if (d == nullptr) return orvStsNoMemory;
    d->format = format;
    d->level = level;
    const bool ok = orvsEncodeLZ77InitAlloc_8u(level, LZ77ChecksumNone, &d->enc) == orvStsOk &&
                    orvsEncodeLZ77InitAlloc_8u(level, LZ77ChecksumNone, &d->trial) == orvStsOk &&
                    (d->block = orvf::allocBytes(kBlock)) != nullptr &&
                    (d->out = orvf::allocBytes(kOutCap)) != nullptr &&
                    (d->scratch = orvf::allocBytes(kScratchCap)) != nullptr;
    if (!ok) {
        releaseAll(d);
        return orvStsNoMemory;
    }
    resetStream(d);
    *ppDeflater = d;
    return orvStsOk;
}

ORVF_API orvStatus orvfDeflaterSetGzipHeader(OrvfDeflater* d, const OrvfGzipHeader* h) {
    if (d == nullptr || h == nullptr) return orvStsNullPtr;
    if (d->format != orvfGzip || d->started) return orvStsBadStream;
    if (h->extraLen > 65535) return orvStsBadSize;
    const std::size_t n = orvf::gzipHeaderSize(*h);
    std::uint8_t* p = orvf::allocBytes(n);
    if (p == nullptr) return orvStsNoMemory;
    orvf::writeGzipHeader(*h, gzipXfl(d->level), p);
    std::free(d->header);
    d->header = p;
    d->headerLen = n;
    return orvStsOk;
}

ORVF_API orvStatus orvfDeflaterRun(OrvfDeflater* d, const std::uint8_t** ppSrc, std::size_t* pSrcLen,
                                   std::uint8_t** ppDst, std::size_t* pDstLen, OrvfFlush flush) {
    if (d == nullptr || ppSrc == nullptr || pSrcLen == nullptr || ppDst == nullptr || pDstLen == nullptr ||
        (*ppSrc == nullptr && *pSrcLen > 0) || (*ppDst == nullptr && *pDstLen > 0)) {
        return orvStsNullPtr;
    }
    for (;;) {
        if (d->outHave > 0) {
            orvf::drainTo(d->outNext, d->outHave, ppDst, pDstLen);
            if (d->outHave > 0) return orvStsDstFull;
        }
        d->outNext = d->out;
        if (d->finished) return *pSrcLen > 0 ? orvStsBadStream : orvStsStreamEnd;
        if (!d->started) {
            d->started = true;
            writeHeader(d);
            continue;
        }
        if (*pSrcLen > 0) {
            if (d->blockLen == kBlock) {
                const orvStatus st = codeBlock(d, orvfFlushNone);
                if (st != orvStsOk) return st;
                continue;
            }
            const std::size_t room = static_cast<std::size_t>(kBlock - d->blockLen);
            const std::size_t n = *pSrcLen < room ? *pSrcLen : room;
            std::memcpy(d->block + d->blockLen, *ppSrc, n);
            if (d->format == orvfGzip) d->check = orvf::crc32Update(d->check, *ppSrc, n);
            if (d->format == orvfZlib) d->check = orvf::adler32Update(d->check, *ppSrc, n);
            d->blockLen += static_cast<std::int32_t>(n);
            d->total += n;
            *ppSrc += n;
            *pSrcLen -= n;
            d->atFlushPoint = false;
            continue;
        }
        if (flush == orvfFlushNone || (flush == orvfFlushFull && d->atFlushPoint)) return orvStsOk;
        const orvStatus st = codeBlock(d, flush == orvfFlushFinish ? orvfFlushFinish : orvfFlushFull);
        if (st != orvStsOk) return st;
        d->atFlushPoint = true;
    }
}

ORVF_API orvStatus orvfDeflaterReset(OrvfDeflater* d) {
    if (d == nullptr) return orvStsNullPtr;
    resetStream(d);
    return orvStsOk;
}

ORVF_API void orvfDeflaterFree(OrvfDeflater* d) {
    if (d != nullptr) releaseAll(d);
}

}  // extern "C"
