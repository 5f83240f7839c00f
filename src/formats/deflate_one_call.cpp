// One-call deflate compression and decompression, and the output bound.
#include "formats/formats_internal.h"

extern "C" {

ORVF_API size_t orvfDeflateBound(OrvfFormat format, size_t srcLen) {
    size_t frame;
    switch (format) {
        case orvfRaw: frame = 0; break;
        case orvfZlib: frame = 2 + 4; break;
        case orvfGzip: frame = 10 + 8; break;
        default: return 0;
    }
    // Each block of 65535 bytes codes to no more than its stored form: the
    // bytes, LEN and NLEN, and up to two bytes for the header bits and the
    // padding before them.  One more block may be the empty final one, and
    // every 2^30 bytes a sync marker starts the match finder over.
    const size_t blocks = srcLen / 65535 + 2;
    return frame + srcLen + 6 * blocks + 6 * (srcLen >> 30) + 8;
}

ORVF_API orvStatus orvfDeflate(OrvfFormat format, LZ77ComprLevel level, const uint8_t* src, size_t srcLen,
                               uint8_t* dst, size_t* pDstLen) {
    if (pDstLen == nullptr || (src == nullptr && srcLen > 0) || (dst == nullptr && *pDstLen > 0)) {
        return orvStsNullPtr;
    }
    OrvfDeflater* d = nullptr;
    orvStatus st = orvfDeflaterCreate(format, level, &d);
    if (st != orvStsOk) return st;
    uint8_t* out = dst;
    size_t room = *pDstLen;
    st = orvfDeflaterRun(d, &src, &srcLen, &out, &room, orvfFlushFinish);
    orvfDeflaterFree(d);
    if (st != orvStsStreamEnd) return st;
    *pDstLen -= room;
    return orvStsOk;
}

ORVF_API orvStatus orvfInflate(OrvfFormat format, const uint8_t* src, size_t srcLen, size_t* pSrcUsed,
                               uint8_t* dst, size_t* pDstLen) {
    if (pDstLen == nullptr || (src == nullptr && srcLen > 0) || (dst == nullptr && *pDstLen > 0)) {
        return orvStsNullPtr;
    }
    OrvfInflater* f = nullptr;
    orvStatus st = orvfInflaterCreate(format, &f);
    if (st != orvStsOk) return st;
    const uint8_t* in = src;
    size_t inLen = srcLen;
    uint8_t* out = dst;
    size_t room = *pDstLen;
    size_t used = 0;
    bool complete = false;
    // Every gzip member in turn; raw and zlib end after the first stream.
    for (;;) {
        st = orvfInflaterRun(f, &in, &inLen, &out, &room);
        if (st != orvStsStreamEnd) break;
        complete = true;
        used = srcLen - inLen;
        if (inLen == 0 || format != orvfGzip) break;
    }
    orvfInflaterFree(f);
    if (st == orvStsSrcEnd) st = orvfStsTruncated;
    if (st == orvStsStreamEnd) st = orvStsOk;
    if (pSrcUsed != nullptr) *pSrcUsed = complete ? used : srcLen - inLen;
    *pDstLen -= room;
    return st;
}

}  // extern "C"
