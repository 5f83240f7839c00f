// Streaming decompression of raw, zlib and gzip streams.
//
// The header is read as it arrives, the deflate blocks are decoded with the
// one-pass decoders (stored blocks copied), the checksum is kept over the
// output, and the trailer is checked.  Two rules of the stage functions shape
// the loop: no decoding call is made without room (a stored-block call with
// none is refused), and a stored block whose last byte was copied is closed
// by one more call that needs a byte of source and of room but uses neither,
// so that call gets a byte of each from here.
#include <cstring>

#include "formats/formats_internal.h"
#include "formats/gzip_header.h"

namespace {

enum Phase : std::uint8_t { kHeader, kBlockStart, kBlock, kTrailer, kEnd, kFailed };

}  // namespace

struct OrvfInflater {
    OrvfFormat format;
    Phase phase;
    LZ77HuffMode mode;
    LZ77DecoderState* dec;
    orvf::GzipHeaderReader gzipHeader;
    bool headerKnown;
    std::uint8_t fixed[8];  // zlib header or trailer bytes as they arrive
    std::uint32_t have;
    std::uint32_t check;
    std::uint64_t total;
    orvStatus failure;
    bool spareHeld;       // a byte decoded into `spare` waits for room
    std::uint8_t spare;
};

namespace {

void startMember(OrvfInflater* f) {
    orvsDecodeLZ77Reset_8u(f->dec);
    f->phase = f->format == orvfRaw ? kBlockStart : kHeader;
    f->gzipHeader.reset();
    f->headerKnown = false;
    f->have = 0;
    f->check = f->format == orvfZlib ? 1 : 0;
    f->total = 0;
    f->spareHeld = false;
}

orvStatus fail(OrvfInflater* f, orvStatus st) {
    f->phase = kFailed;
    f->failure = st;
    return st;
}

// Collects `need` bytes into f->fixed; true once they are all there.
bool collect(OrvfInflater* f, std::uint32_t need, const std::uint8_t** ppSrc, std::size_t* pSrcLen) {
    while (f->have < need && *pSrcLen > 0) {
        f->fixed[f->have++] = *(*ppSrc)++;
        --*pSrcLen;
    }
    return f->have == need;
}

orvStatus readZlibHeader(OrvfInflater* f, const std::uint8_t** ppSrc, std::size_t* pSrcLen) {
    if (!collect(f, 2, ppSrc, pSrcLen)) return orvStsSrcEnd;
    const unsigned cmf = f->fixed[0], flg = f->fixed[1];
    if ((cmf & 15) != 8 || (cmf >> 4) > 7) return orvfStsBadMagic;
    if ((cmf * 256 + flg) % 31 != 0) return orvfStsBadHeader;
    if (flg & 0x20) return orvfStsBadHeader;  // a preset dictionary is not supported
    return orvStsOk;
}

// The stage function of the block's kind.
orvStatus decodeCall(OrvfInflater* f, const std::uint8_t** src, std::int32_t* srcLen, std::uint8_t** dst,
                     std::int32_t* dstLen) {
    if (f->mode == LZ77HuffStored) return orvsDecodeLZ77StoredBlock_8u(src, srcLen, dst, dstLen, f->dec);
    if (f->mode == LZ77HuffFixed) return orvsDecodeLZ77FixedHuffFull_8u(src, srcLen, dst, dstLen, LZ77FlushNone, f->dec);
    return orvsDecodeLZ77DynamicHuffFull_8u(src, srcLen, dst, dstLen, LZ77FlushNone, f->dec);
}

}  // namespace

extern "C" {

ORVF_API orvStatus orvfInflaterCreate(OrvfFormat format, OrvfInflater** ppInflater) {
    if (ppInflater == nullptr) return orvStsNullPtr;
    if (format < orvfRaw || format > orvfGzip) return orvStsBadArg;
    OrvfInflater* f = orvf::make<OrvfInflater>();
    if (f == nullptr) return orvStsNoMemory;
    if (orvsDecodeLZ77InitAlloc_8u(LZ77ChecksumNone, &f->dec) != orvStsOk) {
        delete f;
        return orvStsNoMemory;
    }
    f->format = format;
    startMember(f);
    *ppInflater = f;
    return orvStsOk;
}

ORVF_API orvStatus orvfInflaterRun(OrvfInflater* f, const std::uint8_t** ppSrc, std::size_t* pSrcLen,
                                   std::uint8_t** ppDst, std::size_t* pDstLen) {
    if (f == nullptr || ppSrc == nullptr || pSrcLen == nullptr || ppDst == nullptr || pDstLen == nullptr ||
        (*ppSrc == nullptr && *pSrcLen > 0) || (*ppDst == nullptr && *pDstLen > 0)) {
        return orvStsNullPtr;
    }
    static const std::uint8_t kNoInput[1] = {0};
    if (f->spareHeld) {
        if (*pDstLen == 0) return orvStsDstFull;
        *(*ppDst)++ = f->spare;
        --*pDstLen;
        f->spareHeld = false;
    }
    for (;;) {
        switch (f->phase) {
            case kFailed:
                return f->failure;
            case kHeader: {
                const orvStatus st = f->format == orvfGzip ? f->gzipHeader.feed(ppSrc, pSrcLen)
                                                           : readZlibHeader(f, ppSrc, pSrcLen);
                if (st == orvStsSrcEnd) return st;
                if (st != orvStsOk) return fail(f, st);
                f->headerKnown = f->format == orvfGzip;
                f->have = 0;
                f->phase = kBlockStart;
                break;
            }
            case kBlockStart: {
                const std::uint8_t* src = *pSrcLen > 0 ? *ppSrc : kNoInput;
                std::int32_t srcLen = orvf::clampLen(*pSrcLen);
                const std::int32_t before = srcLen;
                const orvStatus st = orvsDecodeLZ77GetBlockType_8u(&src, &srcLen, &f->mode, f->dec);
                // Advanced by what was taken: without input the call read a
                // stand-in buffer, which must not reach the caller.
                *ppSrc += before - srcLen;
                *pSrcLen -= static_cast<std::size_t>(before - srcLen);
                if (st == orvStsSrcEnd) {
                    if (*pSrcLen > 0) break;  // more than one call's worth
                    return st;
                }
                if (st != orvStsOk) return fail(f, st);
                f->phase = kBlock;
                break;
            }
            case kBlock: {
                // Without room the call goes to the spare byte: the block may
                // end without another byte of output.
                const bool toSpare = *pDstLen == 0;
                const std::uint8_t* src = *pSrcLen > 0 ? *ppSrc : kNoInput;
                std::int32_t srcLen = orvf::clampLen(*pSrcLen);
                const std::int32_t srcBefore = srcLen;
                std::uint8_t* const out = toSpare ? &f->spare : *ppDst;
                std::uint8_t* dst = out;
                std::int32_t dstLen = toSpare ? 1 : orvf::clampLen(*pDstLen);
                const std::int32_t dstBefore = dstLen;
                orvStatus st = decodeCall(f, &src, &srcLen, &dst, &dstLen);
                const std::size_t produced = static_cast<std::size_t>(dstBefore - dstLen);
                *ppSrc += srcBefore - srcLen;
                *pSrcLen -= static_cast<std::size_t>(srcBefore - srcLen);
                if (toSpare) {
                    f->spareHeld = produced > 0;
                } else {
                    *ppDst += produced;
                    *pDstLen -= produced;
                }
                if (f->format == orvfGzip) f->check = orvf::crc32Update(f->check, out, produced);
                if (f->format == orvfZlib) f->check = orvf::adler32Update(f->check, out, produced);
                f->total += produced;
                if (st == orvStsOk && f->mode == LZ77HuffStored && produced > 0) {
                    // The block's last byte is out; one more call closes it.
                    const std::uint8_t* none = kNoInput;
                    std::int32_t noneLen = 1;
                    std::uint8_t spare[1];
                    std::uint8_t* spareDst = spare;
                    std::int32_t spareLen = 1;
                    st = orvsDecodeLZ77StoredBlock_8u(&none, &noneLen, &spareDst, &spareLen, f->dec);
                    if (noneLen != 1 || spareLen != 1) return fail(f, orvStsError);
                }
                if (f->spareHeld && st >= 0) {
                    if (st == orvStsOk) f->phase = kBlockStart;
                    if (st == orvStsStreamEnd) f->phase = kTrailer;
                    return orvStsDstFull;
                }
                if (st == orvStsOk) {
                    f->phase = kBlockStart;
                } else if (st == orvStsStreamEnd) {
                    f->phase = kTrailer;
                } else if (st == orvStsSrcEnd) {
                    if (*pSrcLen == 0) return st;
                } else if (st != orvStsDstFull) {
                    return fail(f, st);
                }
                break;
            }
            case kTrailer: {
                const std::uint32_t need = f->format == orvfGzip ? 8 : f->format == orvfZlib ? 4 : 0;
                if (!collect(f, need, ppSrc, pSrcLen)) return orvStsSrcEnd;
                if (f->format == orvfZlib && orvf::getBE32(f->fixed) != f->check) return fail(f, orvfStsBadChecksum);
                if (f->format == orvfGzip) {
                    if (orvf::getLE32(f->fixed) != f->check) return fail(f, orvfStsBadChecksum);
                    if (orvf::getLE32(f->fixed + 4) != static_cast<std::uint32_t>(f->total)) {
                        return fail(f, orvfStsBadLength);
                    }
                }
                f->phase = kEnd;
                return orvStsStreamEnd;
            }
            case kEnd:
                if (f->format != orvfGzip || *pSrcLen == 0) return orvStsStreamEnd;
                if (**ppSrc != 0x1F) return orvfStsTrailingData;  // the object stays at the end
                startMember(f);
                break;
        }
    }
}

ORVF_API orvStatus orvfInflaterGzipHeader(const OrvfInflater* f, OrvfGzipHeader* h) {
    if (f == nullptr || h == nullptr) return orvStsNullPtr;
    if (!f->headerKnown) return orvStsBadStream;
    f->gzipHeader.fields(h);
    return orvStsOk;
}

ORVF_API orvStatus orvfInflaterReset(OrvfInflater* f) {
    if (f == nullptr) return orvStsNullPtr;
    startMember(f);
    return orvStsOk;
}

ORVF_API void orvfInflaterFree(OrvfInflater* f) {
    if (f == nullptr) return;
    orvsLZ77Free_8u(f->dec);
    delete f;
}

}  // extern "C"
