/* orvdc: deflate (RFC 1951) encoder stages. Included by orvdc.h.
 *
 * The encoder is driven stage by stage on one LZ77EncoderState: the match
 * finder turns bytes into LZ77Pair records, a block writer (fixed code,
 * dynamic code or stored) turns pairs or raw bytes into deflate blocks, the
 * mode selector advises fixed or dynamic codes, and Flush appends the zlib or
 * gzip trailer.  The caller writes the zlib or gzip header itself.  Stream
 * arguments are the address of a pointer plus the address of a count; both
 * are advanced past what was consumed and produced.  Positive results are
 * resumable: orvStsDstFull (call again with more room), orvStsStreamEnd (the
 * final block is closed and the output is byte-aligned). */
#ifndef ORVDC_LZ77_ENCODE_H
#define ORVDC_LZ77_ENCODE_H

#include "../orvdc.h"
#include "lz77.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- State life cycle ------------------------------------------------ */

/* Stores the size of an LZ77EncoderState, 599620 bytes, in *pSize.
 * orvStsNullPtr if pSize is null. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77GetSize_8u(int32_t* pSize);

/* Lays out an encoder state in caller memory of at least GetSize bytes
 * (4-byte aligned is enough).  Levels other than 0, 1, 2 are taken as
 * LZ77LevelAverage; the checksum kind is stored as given (kinds other than
 * 0, 1, 2 keep no checksum and make Flush fail).  orvStsNullPtr if pState is
 * null. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77Init_8u(LZ77ComprLevel level, LZ77ChecksumKind checksum,
                                                     LZ77EncoderState* pState);

/* As Init, on a 32-byte-aligned block the library allocates and stores in
 * *ppState; release it with orvsLZ77Free_8u.  orvStsNullPtr if ppState is
 * null, orvStsNoMemory (with *ppState untouched) if the allocation fails. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77InitAlloc_8u(LZ77ComprLevel level, LZ77ChecksumKind checksum,
                                                          LZ77EncoderState** ppState);

/* Prepares the state for a new stream with the same level and checksum kind:
 * empty history, checksum, position, length total, pending bits and block
 * progress; the pair buffer count returns to 65536.  The status word, the
 * block phase and the pair buffer pointer are kept.  orvStsNullPtr if pState
 * is null. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77Reset_8u(LZ77EncoderState* pState);

/* Stores status as the state's status word.  LZ77DeflateCollectPairs also
 * sets the pair index to 0 and the pair count to 65536; LZ77DeflateCodePairs
 * makes the count the number of pairs collected (the old index), sets the
 * index to 0 and makes a block header due at the next block-writer call.
 * Any value is accepted.  orvStsNullPtr if pState is null. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77SetStatus_8u(LZ77DeflateStatus status, LZ77EncoderState* pState);

/* ---- Match finder ------------------------------------------------------ */

/* Turns up to *pSrcLen source bytes into at most *pDstLen pairs, keeping the
 * history window, hash chains and running checksum in the state.  The last
 * 2 (levels 0, 1) or 3 (level 2) bytes of a call that is not stopped by a full
 * pair array are coded as literals.  LZ77FlushFull makes this call and the
 * next one start a fresh window (no reference reaches back before them).
 * Checks: ppSrc, ppDst, pSrcLen, pDstLen, *ppSrc, *ppDst, pState null:
 * orvStsNullPtr; *pDstLen, then *pSrcLen negative: orvStsBadSize; a call that
 * would carry the stream position past 2^31 - 1 (Reset first): orvStsBadSize.
 * Results: orvStsOk (source used up), orvStsDstFull (pair array full, source
 * remains; *pDstLen 0 gives it at once).  Levels 1 and 2 use about 64 KiB of
 * the calling thread's stack for the call's chain-walk hints. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77_8u(const uint8_t** ppSrc, int32_t* pSrcLen, LZ77Pair** ppDst,
                                                 int32_t* pDstLen, LZ77FlushMode flush,
                                                 LZ77EncoderState* pState);

/* ---- Block writers ----------------------------------------------------- */

/* Codes up to *pSrcLen pairs as a fixed-Huffman block into up to *pDstLen
 * bytes.  After SetStatus(LZ77DeflateCodePairs) the block header is written
 * first; the block is final when flush is LZ77FlushFinish and the last match
 * finder call used up its source.  A call that consumes all its pairs closes
 * the block (LZ77FlushSync/Full also append 00 00 FF FF; a final block is
 * padded to a byte).  A call without pairs only finishes pending output.
 * Checks as for orvsEncodeLZ77_8u (null pointers, then *pDstLen and *pSrcLen
 * negative).  Results: orvStsOk, orvStsDstFull (output pending, call again),
 * orvStsStreamEnd (final block closed and byte-aligned). */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77FixedHuff_8u(const LZ77Pair** ppSrc, int32_t* pSrcLen,
                                                          uint8_t** ppDst, int32_t* pDstLen,
                                                          LZ77FlushMode flush, LZ77EncoderState* pState);

/* As orvsEncodeLZ77FixedHuff_8u with a Huffman code built for the block's
 * pairs (counted by orvsEncodeLZ77SelectHuffMode_8u, or here when the
 * selector was not asked for this block).  The pairs of every call of one
 * block must be among those counted. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77DynamicHuff_8u(const LZ77Pair** ppSrc, int32_t* pSrcLen,
                                                            uint8_t** ppDst, int32_t* pDstLen,
                                                            LZ77FlushMode flush, LZ77EncoderState* pState);

/* Writes the *pSrcLen source bytes as one stored block (final when flush is
 * LZ77FlushFinish).  When the destination fills first the result is
 * orvStsDstFull: call again with the rest of the same source.  Checks:
 * pointers as above (orvStsNullPtr); a negative *pDstLen, a negative
 * *pSrcLen or one of 65536 or more: orvStsBadSize, nothing written.  No room
 * (*pDstLen 0): orvStsDstFull, nothing changed.  orvStsOk when complete. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77StoredBlock_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                            uint8_t** ppDst, int32_t* pDstLen,
                                                            LZ77FlushMode flush, LZ77EncoderState* pState);

/* Advises the block kind for the next block from its srcLen pairs when a
 * block header is due, stores it in *pHuffMode and keeps the symbol counts
 * for orvsEncodeLZ77DynamicHuff_8u; otherwise repeats the previous advice.
 * Zero pairs give LZ77HuffFixed.  Checks: pSrc, pHuffMode, pState null:
 * orvStsNullPtr; srcLen negative: orvStsBadSize. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77SelectHuffMode_8u(const LZ77Pair* pSrc, int32_t srcLen,
                                                               LZ77HuffMode* pHuffMode,
                                                               LZ77EncoderState* pState);

/* Writes the trailer once the final block is closed and the status is
 * LZ77DeflateTrailer: the big-endian Adler-32 (4 bytes) for
 * LZ77ChecksumAdler32; the little-endian CRC-32 (0 for LZ77ChecksumNone) and
 * the little-endian count of all source bytes modulo 2^32 (8 bytes) for
 * LZ77ChecksumCRC32 and LZ77ChecksumNone.  Checks: ppDst, pDstLen, *ppDst,
 * pState null: orvStsNullPtr; *pDstLen negative: orvStsBadSize; wrong status
 * or unknown checksum kind: orvStsBadStream.  Results: orvStsOk (trailer
 * complete), orvStsDstFull (call again; *pDstLen 0 changes nothing). */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77Flush_8u(uint8_t** ppDst, int32_t* pDstLen, LZ77EncoderState* pState);

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_LZ77_ENCODE_H */
