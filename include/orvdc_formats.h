/*
 * orvdc_formats: complete zlib, gzip, raw deflate and bzip2 streams on top of
 * the orvdc stages.  A companion library (liborvdc_formats) that uses only the
 * public orvdc interface; link it together with orvdc.
 *
 * Two ways to use each format:
 *   - one call over whole buffers: orvfDeflate / orvfInflate,
 *     orvfBzip2Compress / orvfBzip2Decompress, with orvfDeflateBound and
 *     orvfBzip2Bound giving the largest output the compressors can produce;
 *   - streaming objects that take input and room in pieces of any size
 *     (one byte at a time works) and keep bounded memory whatever the stream
 *     length: OrvfDeflater, OrvfInflater, OrvfBzip2Encoder, OrvfBzip2Decoder.
 *
 * Streaming calls take the address of a source pointer and length and of a
 * destination pointer and length; on return they are advanced past what was
 * consumed and produced.  Lengths are size_t, so streams and buffers may be of
 * any size (the gzip length field holds the size modulo 2^32).
 *
 * Results are orvStatus values: the library's own (orvdc.h) and the format
 * errors below.  orvfStatusText names any of them.  Objects are independent:
 * distinct objects may be used on distinct threads.
 */
#ifndef ORVDC_FORMATS_H
#define ORVDC_FORMATS_H

#include <stddef.h>
#include <stdint.h>

#include "orvdc.h"

#if defined(_WIN32)
#  define ORVF_API
#elif defined(__GNUC__)
#  define ORVF_API __attribute__((visibility("default")))
#else
#  define ORVF_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Errors of the format layer (the library's codes are used as well:
 * orvStsBadSize or orvStsBadStream for damaged deflate data, orvStsNoMemory,
 * orvStsNullPtr, orvStsBadArg, orvStsDstFull for a one-call output that does
 * not fit). */
enum {
    orvfStsBadMagic = -300,     /* the data does not start as the format requires */
    orvfStsBadHeader = -301,    /* a header field is invalid (method, flags, check bits, block size) */
    orvfStsBadChecksum = -302,  /* the stored checksum differs from the data's */
    orvfStsBadLength = -303,    /* the gzip length field differs from the data's length */
    orvfStsTruncated = -304,    /* the input ended inside the stream */
    orvfStsTrailingData = -305, /* bytes after a complete stream that start no new one */
    orvfStsBadData = -306       /* damaged compressed data (bzip2 blocks) */
};

/* A short English text for any status of orvdc or of this layer ("data
 * error: checksum mismatch", "destination full", ...); "unknown status" for
 * other values.  The text is static: never free it. */
ORVF_API const char* orvfStatusText(orvStatus status);

/* ------------------------------------------------------------------------ */
/* Deflate: raw (RFC 1951), zlib (RFC 1950) and gzip (RFC 1952) streams     */
/* ------------------------------------------------------------------------ */

typedef int32_t OrvfFormat;
enum { orvfRaw = 0, orvfZlib = 1, orvfGzip = 2 };

typedef int32_t OrvfFlush;
enum {
    orvfFlushNone = 0,  /* more input follows */
    orvfFlushFull = 1,  /* end a block on a byte boundary with 00 00 FF FF and forget the history, so
                           that decoding may start again there */
    orvfFlushFinish = 2 /* the input given is the last: write the final block and the trailer */
};

/* Optional gzip header fields.  On encoding, null pointers and zeros leave a
 * field out; on decoding (orvfInflaterGzipHeader) the texts are the stored
 * ones, cut to 255 bytes and zero-terminated, empty when absent. */
typedef struct OrvfGzipHeader {
    uint32_t mtime;          /* modification time, seconds since 1970; 0: none */
    uint8_t os;              /* operating system byte; 255: unknown */
    uint8_t textHint;        /* FTEXT flag */
    uint8_t headerCrc;       /* FHCRC: a CRC-16 of the header follows it */
    uint8_t xfl;             /* compression hint byte: read when decoding, set from the level when encoding */
    const char* name;        /* FNAME, zero-terminated Latin-1 */
    const char* comment;     /* FCOMMENT, zero-terminated */
    const uint8_t* extra;    /* FEXTRA payload */
    uint32_t extraLen;       /* 0..65535 */
} OrvfGzipHeader;

/* The largest stream the deflate compressors write for srcLen input bytes:
 * header (gzip: 10 bytes, no optional fields), blocks and trailer.  Blocks
 * whose coded form would be larger than the data are stored, so the bound is
 * the input plus a few bytes per 64 KiB.  A streaming stream stays within it
 * when orvfFlushFull is not used; each full flush may add 6 bytes, and
 * optional gzip header fields their own size.  0 for an unknown format. */
ORVF_API size_t orvfDeflateBound(OrvfFormat format, size_t srcLen);

/* Compresses src into one complete stream.  level: LZ77LevelFast,
 * LZ77LevelAverage or LZ77LevelBest.  *pDstLen is the room on entry and the
 * length written on return.  orvStsDstFull when the room was too small (with
 * orvfDeflateBound's room it never is); orvStsBadArg for an unknown format
 * or level; orvStsNullPtr; orvStsNoMemory. */
ORVF_API orvStatus orvfDeflate(OrvfFormat format, LZ77ComprLevel level, const uint8_t* src, size_t srcLen,
                               uint8_t* dst, size_t* pDstLen);

/* Decompresses one complete stream (gzip: every concatenated member) from
 * src into dst.  *pDstLen is the room on entry and the length written on
 * return; *pSrcUsed (may be null) the bytes of src that belonged to the
 * stream.  Errors: orvStsDstFull (too little room), orvfStsTruncated,
 * orvfStsBadMagic, orvfStsBadHeader, orvfStsBadChecksum, orvfStsBadLength,
 * orvStsBadSize / orvStsBadStream (damaged deflate data), orvfStsTrailingData
 * (bytes after the stream that start no gzip member: *pDstLen and *pSrcUsed
 * still report the stream before them). */
ORVF_API orvStatus orvfInflate(OrvfFormat format, const uint8_t* src, size_t srcLen, size_t* pSrcUsed,
                               uint8_t* dst, size_t* pDstLen);

/* ---- Streaming compression ----------------------------------------------- */

typedef struct OrvfDeflater OrvfDeflater;

/* Allocates a compressor (about 1.5 MB) for one stream of the format.
 * orvStsBadArg for an unknown format or level, orvStsNoMemory. */
ORVF_API orvStatus orvfDeflaterCreate(OrvfFormat format, LZ77ComprLevel level, OrvfDeflater** ppDeflater);

/* Sets the gzip header fields (copied) before any output is produced.
 * orvStsBadStream when output has begun or the format is not gzip;
 * orvStsBadSize for extraLen > 65535. */
ORVF_API orvStatus orvfDeflaterSetGzipHeader(OrvfDeflater* pDeflater, const OrvfGzipHeader* pHeader);

/* Takes input and writes output.  The input is compressed in blocks of
 * 65535 bytes, so the output depends only on the data and the flush points,
 * never on how the input and the room were cut into calls.  Results:
 *   orvStsOk         all input taken, all output written (a flush is done);
 *   orvStsDstFull    output is pending: call again with more room (and the
 *                    same flush);
 *   orvStsStreamEnd  after orvfFlushFinish: the stream is complete.
 * Errors: orvStsNullPtr; orvStsBadStream for input after the end. */
ORVF_API orvStatus orvfDeflaterRun(OrvfDeflater* pDeflater, const uint8_t** ppSrc, size_t* pSrcLen,
                                   uint8_t** ppDst, size_t* pDstLen, OrvfFlush flush);

/* Starts a new stream with the same format and level (header fields kept). */
ORVF_API orvStatus orvfDeflaterReset(OrvfDeflater* pDeflater);

/* Releases a compressor; null is ignored. */
ORVF_API void orvfDeflaterFree(OrvfDeflater* pDeflater);

/* ---- Streaming decompression --------------------------------------------- */

typedef struct OrvfInflater OrvfInflater;

/* Allocates a decompressor (about 400 KB).  orvStsBadArg, orvStsNoMemory. */
ORVF_API orvStatus orvfInflaterCreate(OrvfFormat format, OrvfInflater** ppInflater);

/* Takes input and writes output.  Results:
 *   orvStsSrcEnd     all input taken: call again with more (if there is no
 *                    more, the stream is truncated);
 *   orvStsDstFull    the room is used up: call again with more room;
 *   orvStsStreamEnd  the stream (a gzip member) ended and its checksum
 *                    matched; the source stands on the first byte after it.
 *                    For gzip a further call with input decodes the next
 *                    member; for raw and zlib further calls answer
 *                    orvStsStreamEnd again.
 * Errors (the object must then be reset): the format statuses above,
 * orvStsBadSize / orvStsBadStream for damaged deflate data,
 * orvfStsTrailingData (gzip: bytes after a member that do not start one; the
 * source stands on them). */
ORVF_API orvStatus orvfInflaterRun(OrvfInflater* pInflater, const uint8_t** ppSrc, size_t* pSrcLen,
                                   uint8_t** ppDst, size_t* pDstLen);

/* The header fields of the current or last gzip member (the texts point into
 * the object and live until the next Run or Reset).  orvStsBadStream before a
 * whole header was read or for another format. */
ORVF_API orvStatus orvfInflaterGzipHeader(const OrvfInflater* pInflater, OrvfGzipHeader* pHeader);

/* Starts over for a new stream. */
ORVF_API orvStatus orvfInflaterReset(OrvfInflater* pInflater);

ORVF_API void orvfInflaterFree(OrvfInflater* pInflater);

/* ------------------------------------------------------------------------ */
/* bzip2 streams                                                             */
/* ------------------------------------------------------------------------ */

/* The largest .bz2 stream orvfBzip2Compress and the encoder write for srcLen
 * bytes (any block size). */
ORVF_API size_t orvfBzip2Bound(size_t srcLen);

/* Compresses src into one bzip2 stream with blocks of blockSize100k * 100000
 * bytes (1..9; 9 compresses best).  *pDstLen: room in, length out.
 * orvStsBadArg for a block size outside 1..9; orvStsDstFull; orvStsNoMemory. */
ORVF_API orvStatus orvfBzip2Compress(int32_t blockSize100k, const uint8_t* src, size_t srcLen, uint8_t* dst,
                                     size_t* pDstLen);

/* Decompresses every concatenated bzip2 stream in src.  As orvfInflate, with
 * orvfStsBadData for a damaged block and orvfStsBadChecksum for a block or
 * stream CRC that does not match. */
ORVF_API orvStatus orvfBzip2Decompress(const uint8_t* src, size_t srcLen, size_t* pSrcUsed, uint8_t* dst,
                                       size_t* pDstLen);

/* ---- Streaming ------------------------------------------------------------ */

typedef struct OrvfBzip2Encoder OrvfBzip2Encoder;

/* Allocates an encoder (about 10 MB for block size 9). */
ORVF_API orvStatus orvfBzip2EncoderCreate(int32_t blockSize100k, OrvfBzip2Encoder** ppEncoder);

/* As orvfDeflaterRun; flush is orvfFlushNone or orvfFlushFinish (a full
 * flush is taken as none: bzip2 has no flush points). */
ORVF_API orvStatus orvfBzip2EncoderRun(OrvfBzip2Encoder* pEncoder, const uint8_t** ppSrc, size_t* pSrcLen,
                                       uint8_t** ppDst, size_t* pDstLen, OrvfFlush flush);

ORVF_API orvStatus orvfBzip2EncoderReset(OrvfBzip2Encoder* pEncoder);
ORVF_API void orvfBzip2EncoderFree(OrvfBzip2Encoder* pEncoder);

/* ---- Block-level encoding: one block per object, for parallel writers ------
 * A stream is "BZh" and the block-size digit, the blocks' bits one after
 * another (not byte-aligned), then the end record: the 48-bit end magic and
 * the stream CRC (orvfBzip2CombineCrc over the block CRCs), padded with zero
 * bits.  Fill blocks in input order on one thread, encode them on any. */

typedef struct OrvfBzip2Block OrvfBzip2Block;

ORVF_API orvStatus orvfBzip2BlockCreate(int32_t blockSize100k, OrvfBzip2Block** ppBlock);

/* Empties the block for new input. */
ORVF_API orvStatus orvfBzip2BlockClear(OrvfBzip2Block* pBlock);

/* Takes input into the block: orvStsOk when all input was taken (the block
 * may take more), orvStsDstFull when the block is full (input remains). */
ORVF_API orvStatus orvfBzip2BlockFill(OrvfBzip2Block* pBlock, const uint8_t** ppSrc, size_t* pSrcLen);

/* Codes the filled block (ends its input).  Afterwards *ppBits points to the
 * block's bits, most significant bit of each byte first, *pBitCount counts
 * them and *pCrc is the block CRC; an empty block has no bits.  The bits live
 * until the next Clear. */
ORVF_API orvStatus orvfBzip2BlockEncode(OrvfBzip2Block* pBlock, const uint8_t** ppBits, uint64_t* pBitCount,
                                        uint32_t* pCrc);

ORVF_API void orvfBzip2BlockFree(OrvfBzip2Block* pBlock);

/* The stream CRC after one more block. */
ORVF_API uint32_t orvfBzip2CombineCrc(uint32_t streamCrc, uint32_t blockCrc);

/* ---- Streaming decompression ---------------------------------------------- */

typedef struct OrvfBzip2Decoder OrvfBzip2Decoder;

/* Allocates a decoder (about 10 MB, more while a block of long runs is out). */
ORVF_API orvStatus orvfBzip2DecoderCreate(OrvfBzip2Decoder** ppDecoder);

/* Takes input and writes output; lastInput nonzero tells that no input
 * follows what is given (a block is decoded once all of it is buffered, and
 * only the end of the input shows where a short last block ends).  Results
 * as orvfInflaterRun; concatenated streams are decoded one after another,
 * and orvStsStreamEnd means a stream ended with no input left over behind it
 * (further input may start another stream).  Input is buffered, so after an
 * error the source stands behind what was taken. */
ORVF_API orvStatus orvfBzip2DecoderRun(OrvfBzip2Decoder* pDecoder, const uint8_t** ppSrc, size_t* pSrcLen,
                                       uint8_t** ppDst, size_t* pDstLen, int32_t lastInput);

ORVF_API orvStatus orvfBzip2DecoderReset(OrvfBzip2Decoder* pDecoder);
ORVF_API void orvfBzip2DecoderFree(OrvfBzip2Decoder* pDecoder);

/* ---- Block-level decoding, for parallel readers ----------------------------
 * One thread reads the blocks in order with orvfBzip2DecoderNextBlock, each
 * into its own OrvfBzip2Unblock (about 8 MB); any thread restores one with
 * orvfBzip2UnblockRestore; the outputs are written in the order read.  The
 * stream CRC is checked against the blocks' stored CRCs as they are read, and
 * each block's own CRC when it is restored. */

typedef struct OrvfBzip2Unblock OrvfBzip2Unblock;

ORVF_API orvStatus orvfBzip2UnblockCreate(OrvfBzip2Unblock** ppBlock);

/* As orvfBzip2DecoderRun without output: orvStsOk when the next block was
 * read into *pBlock (to be restored), orvStsSrcEnd, orvStsStreamEnd (a stream
 * ended with no input left behind it), or an error.  orvStsBadStream when Run
 * still has output of this decoder to hand out. */
ORVF_API orvStatus orvfBzip2DecoderNextBlock(OrvfBzip2Decoder* pDecoder, const uint8_t** ppSrc, size_t* pSrcLen,
                                             int32_t lastInput, OrvfBzip2Unblock* pBlock);

/* Restores the block read into pBlock: *ppOut points to its bytes (valid
 * until the block object is used again), *pOutLen counts them.
 * orvfStsBadData, orvfStsBadChecksum, orvStsNoMemory. */
ORVF_API orvStatus orvfBzip2UnblockRestore(OrvfBzip2Unblock* pBlock, const uint8_t** ppOut, size_t* pOutLen);

ORVF_API void orvfBzip2UnblockFree(OrvfBzip2Unblock* pBlock);

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_FORMATS_H */
