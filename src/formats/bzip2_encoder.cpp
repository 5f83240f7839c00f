// Streaming bzip2 compression: blocks filled and coded one after another,
// their bits joined into one stream.
#include "formats/bzip2_huffman.h"
#include "formats/formats_internal.h"

struct OrvfBzip2Encoder {
    std::int32_t blockSize100k;
    OrvfBzip2Block* block;
    orvf::bz::BitWriter stream;
    std::size_t handed;  // bytes of `stream` already given to the caller
    std::uint32_t streamCrc;
    bool started, finished;
};

namespace {

using namespace orvf::bz;

orvStatus emitBlock(OrvfBzip2Encoder* e) {
    const std::uint8_t* bits;
    std::uint64_t count;
    std::uint32_t crc;
    const orvStatus st = orvfBzip2BlockEncode(e->block, &bits, &count, &crc);
    if (st != orvStsOk) return st;
    if (count > 0) {
        e->stream.putBits(bits, count);
        e->streamCrc = combineCrc(e->streamCrc, crc);
    }
    orvfBzip2BlockClear(e->block);
    return e->stream.failed() ? orvStsNoMemory : orvStsOk;
}

void resetEncoder(OrvfBzip2Encoder* e) {
    orvfBzip2BlockClear(e->block);
    e->stream.clear();
    e->handed = 0;
    e->streamCrc = 0;
    e->started = e->finished = false;
}

}  // namespace

extern "C" {

ORVF_API orvStatus orvfBzip2EncoderCreate(int32_t blockSize100k, OrvfBzip2Encoder** ppEncoder) {
    if (ppEncoder == nullptr) return orvStsNullPtr;
    if (blockSize100k < 1 || blockSize100k > 9) return orvStsBadArg;
    OrvfBzip2Encoder* e = orvf::make<OrvfBzip2Encoder>();
    if (e == nullptr) return orvStsNoMemory;
    e->blockSize100k = blockSize100k;
    const orvStatus st = orvfBzip2BlockCreate(blockSize100k, &e->block);
    if (st != orvStsOk) {
        delete e;
        return st;
    }
    resetEncoder(e);
    *ppEncoder = e;
    return orvStsOk;
}

ORVF_API orvStatus orvfBzip2EncoderRun(OrvfBzip2Encoder* e, const uint8_t** ppSrc, size_t* pSrcLen, uint8_t** ppDst,
                                       size_t* pDstLen, OrvfFlush flush) {
    if (e == nullptr || ppSrc == nullptr || pSrcLen == nullptr || ppDst == nullptr || pDstLen == nullptr ||
        (*ppSrc == nullptr && *pSrcLen > 0) || (*ppDst == nullptr && *pDstLen > 0)) {
        return orvStsNullPtr;
    }
    for (;;) {
        // Whole bytes go out; a partial last byte waits for the next block.
        if (e->handed < e->stream.size()) {
            const std::uint8_t* from = e->stream.data() + e->handed;
            std::size_t have = e->stream.size() - e->handed;
            orvf::drainTo(from, have, ppDst, pDstLen);
            e->handed = e->stream.size() - have;
            if (have > 0) return orvStsDstFull;
        }
        if (e->handed > 0) {
            e->stream.consume(e->handed);
            e->handed = 0;
        }
        if (e->finished) return *pSrcLen > 0 ? orvStsBadStream : orvStsStreamEnd;
        if (!e->started) {
            e->started = true;
            e->stream.put(24, 0x425A68);  // "BZh"
            e->stream.put(8, static_cast<std::uint32_t>('0' + e->blockSize100k));
            continue;
        }
        if (*pSrcLen > 0) {
            const orvStatus st = orvfBzip2BlockFill(e->block, ppSrc, pSrcLen);
            if (st == orvStsDstFull) {
                const orvStatus emitted = emitBlock(e);
                if (emitted != orvStsOk) return emitted;
            } else if (st != orvStsOk) {
                return st;
            }
            continue;
        }
        if (flush != orvfFlushFinish) return orvStsOk;
        const orvStatus emitted = emitBlock(e);
        if (emitted != orvStsOk) return emitted;
        e->stream.put(24, kEndMagicHi);
        e->stream.put(24, kEndMagicLo);
        e->stream.put(32, e->streamCrc);
        e->stream.align();
        e->finished = true;
    }
}

ORVF_API orvStatus orvfBzip2EncoderReset(OrvfBzip2Encoder* e) {
    if (e == nullptr) return orvStsNullPtr;
    resetEncoder(e);
    return orvStsOk;
}

ORVF_API void orvfBzip2EncoderFree(OrvfBzip2Encoder* e) {
    if (e == nullptr) return;
    orvfBzip2BlockFree(e->block);
    delete e;
}

ORVF_API size_t orvfBzip2Bound(size_t srcLen) {
    // The run-length stage makes at most 5 bytes of 4; a block codes each of
    // its symbols (one per run-length coded byte, and the end) in at most
    // 9 bits, or less, plus a selector bit per 50 symbols and about 120 bytes
    // of headers and tables.  Blocks hold at least 99976 run-length coded
    // bytes except the last; the stream adds 14 bytes.
    const size_t rle = srcLen + srcLen / 4 + 1;
    const size_t blocks = rle / 99976 + 1;
    return rle + rle / 8 + rle / 400 + 128 * blocks + 32;
}

ORVF_API orvStatus orvfBzip2Compress(int32_t blockSize100k, const uint8_t* src, size_t srcLen, uint8_t* dst,
                                     size_t* pDstLen) {
    if (pDstLen == nullptr || (src == nullptr && srcLen > 0) || (dst == nullptr && *pDstLen > 0)) {
        return orvStsNullPtr;
    }
    OrvfBzip2Encoder* e = nullptr;
    orvStatus st = orvfBzip2EncoderCreate(blockSize100k, &e);
    if (st != orvStsOk) return st;
    uint8_t* out = dst;
    size_t room = *pDstLen;
    st = orvfBzip2EncoderRun(e, &src, &srcLen, &out, &room, orvfFlushFinish);
    orvfBzip2EncoderFree(e);
    if (st != orvStsStreamEnd) return st;
    *pDstLen -= room;
    return orvStsOk;
}

}  // extern "C"
