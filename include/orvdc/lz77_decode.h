/* orvdc: deflate (RFC 1951) decoder stages. Included by orvdc.h.
 *
 * The decoder reads raw deflate data (no zlib or gzip header or trailer) over
 * one LZ77DecoderState.  Per block the caller reads the header with
 * orvsDecodeLZ77GetBlockType_8u, then calls the operation for that type:
 * orvsDecodeLZ77StoredBlock_8u for a stored block; for a fixed-code or
 * dynamic-code block either the pair decoders (orvsDecodeLZ77FixedHuff_8u,
 * orvsDecodeLZ77DynamicHuff_8u) followed by pair expansion (orvsDecodeLZ77_8u),
 * or the one-pass decoders (orvsDecodeLZ77FixedHuffFull_8u,
 * orvsDecodeLZ77DynamicHuffFull_8u).  Every operation stops on
 * orvStsSrcEnd (more input needed) or orvStsDstFull (more room needed) with
 * its exact place kept in the state, and resumes there on the next call.
 *
 * All operations that write bytes (stored blocks, pair expansion, one-pass
 * decoding) keep one history of the last 32768 bytes of output, so the two
 * Huffman paths and stored blocks may be mixed block by block within a stream
 * (expand all pairs of a block before the next block's bytes are produced).
 *
 * Bits are read least significant first; after orvStsStreamEnd from a Huffman
 * block the source pointer stands on the first byte after the deflate data.
 * The decoders compute no checksum. */
#ifndef ORVDC_LZ77_DECODE_H
#define ORVDC_LZ77_DECODE_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the size in bytes of an LZ77DecoderState (335008) to *pSize.
 * orvStsNullPtr for a null pSize. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77GetSize_8u(int32_t* pSize);

/* Lays out a decoder state in caller memory of at least the GetSize bytes
 * (4-byte alignment suffices).  The checksum kind is kept only.
 * orvStsNullPtr for a null pState. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77Init_8u(LZ77ChecksumKind checksum,
                                                     LZ77DecoderState* pState);

/* Allocates and initialises a decoder state; release it with orvsLZ77Free_8u.
 * orvStsNullPtr for a null ppState, orvStsNoMemory (with *ppState untouched)
 * when the allocation fails. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77InitAlloc_8u(LZ77ChecksumKind checksum,
                                                          LZ77DecoderState** ppState);

/* Prepares a state for a new stream: empties the history, the bit buffer and
 * any pending match; keeps the checksum kind and the pair buffer set by
 * orvsDecodeLZ77SetPairs_8u (its index becomes 0, its length 65536).
 * orvStsNullPtr for a null pState. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77Reset_8u(LZ77DecoderState* pState);

/* Stores the caller's status word (read back by orvsDecodeLZ77GetStatus_8u);
 * no decoding operation reads it.  orvStsNullPtr for a null pState. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77SetStatus_8u(LZ77InflateStatus status,
                                                          LZ77DecoderState* pState);

/* Reads the 3-bit header of the next block if none is in progress and writes
 * its type (LZ77HuffFixed, LZ77HuffDynamic or LZ77HuffStored) to *pMode; with a
 * block in progress writes that block's type without reading.
 * orvStsNullPtr for any null pointer (including *ppSrc), orvStsBadSize for a
 * negative *pSrcLen, orvStsSrcEnd when the source holds too few bits (nothing
 * changed), orvStsBadStream for the reserved type (state, source untouched). */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77GetBlockType_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                             LZ77HuffMode* pMode,
                                                             LZ77DecoderState* pState);

/* Copies (part of) a stored block to the destination, reading its header
 * first when no block is in progress.  The copied bytes become history.
 * Statuses: orvStsNullPtr; orvStsBadSize for *pDstLen < 1, a negative
 * *pSrcLen, or LEN not matching NLEN; orvStsBadStream for a block of another
 * type; orvStsSrcEnd / orvStsDstFull (resumable); orvStsOk once a non-final
 * block is closed, orvStsStreamEnd once the final block is closed.  The call
 * that copies a block's last byte returns orvStsOk; the block is closed by the
 * next call, which needs one byte of source and of room but uses neither. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77StoredBlock_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                            uint8_t** ppDst, int32_t* pDstLen,
                                                            LZ77DecoderState* pState);

/* Decode a fixed-code (FixedHuff) or dynamic-code (DynamicHuff) block into
 * LZ77Pair records: literals as (byte, 0), matches as (length, distance).  The
 * block header is read when no block is in progress.  *ppPairs / *pPairsLen
 * describe the free records; on return they point after the records written.
 * flush LZ77FlushSync or LZ77FlushFull runs a search for the empty stored
 * block marker 00 00 FF FF from the next byte boundary instead (orvStsOk when
 * found, the 32 marker bits kept buffered; orvStsSrcEnd otherwise).
 * Statuses: orvStsNullPtr; orvStsBadSize for negative lengths or malformed
 * codes; orvStsBadStream for a block of another type; orvStsDstFull when no
 * record is free (on entry or after the last record written); orvStsSrcEnd;
 * orvStsOk at the end of a non-final block; orvStsStreamEnd at the end of the
 * final block (the source then stands on the first byte after the stream). */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77FixedHuff_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                          LZ77Pair** ppPairs, int32_t* pPairsLen,
                                                          LZ77FlushMode flush, LZ77DecoderState* pState);
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77DynamicHuff_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                            LZ77Pair** ppPairs, int32_t* pPairsLen,
                                                            LZ77FlushMode flush, LZ77DecoderState* pState);

/* Expands pairs into bytes through the history; a match cut by the end of the
 * destination stays pending for the next call (which may pass zero pairs).
 * flush is not read.  Statuses: orvStsNullPtr; orvStsBadSize for negative
 * lengths; orvStsBadStream for a distance beyond the history (the pair is not
 * consumed); orvStsDstFull (output remains); orvStsOk (all pairs expanded, also
 * at once for zero pairs and nothing pending); orvStsStreamEnd when the final
 * block's pairs are all expanded. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77_8u(const LZ77Pair** ppPairs, int32_t* pPairsLen,
                                                 uint8_t** ppDst, int32_t* pDstLen, LZ77FlushMode flush,
                                                 LZ77DecoderState* pState);

/* Decode a fixed-code or dynamic-code block straight into bytes, finishing a
 * pending match first.  flush is not read.  Statuses: orvStsNullPtr;
 * orvStsBadSize for negative lengths, malformed codes or a distance beyond the
 * output of the stream so far; orvStsBadStream for a block of another type;
 * orvStsDstFull (also on entry with no room, nothing changed); orvStsSrcEnd;
 * orvStsOk at the end of a non-final block; orvStsStreamEnd at the end of the
 * final block (the source then stands on the first byte after the stream). */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77FixedHuffFull_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                              uint8_t** ppDst, int32_t* pDstLen,
                                                              LZ77FlushMode flush,
                                                              LZ77DecoderState* pState);
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77DynamicHuffFull_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                                uint8_t** ppDst, int32_t* pDstLen,
                                                                LZ77FlushMode flush,
                                                                LZ77DecoderState* pState);

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_LZ77_DECODE_H */
