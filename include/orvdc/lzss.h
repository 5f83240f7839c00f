/* orvdc: LZSS coding. Included by orvdc.h.
 *
 * The token stream is a plain bit stream, most significant bit first:
 *   literal: a 1 bit, then the byte (8 bits)                          9 bits
 *   match:   a 0 bit, then the distance (15 bits, 1..32767), then the
 *            length minus 3 (8 bits, lengths 3..258)                  24 bits
 * A match copies from `distance` bytes behind its first byte and may overlap
 * the bytes it produces.  There is no end token: the encoder's Flush pads the
 * last byte with 0 bits, and a trailing partial token produces nothing.
 *
 * One state type serves both directions.  Its memory is
 * orvsLZSSGetSize_8u bytes (327724 in every build), placed by the caller
 * (4-byte aligned at least) or allocated by an InitAlloc function and
 * released with orvsLZSSFree_8u (declared in orvdc.h).  States hold no
 * pointers to caller buffers, so buffers may move between calls. */
#ifndef ORVDC_LZSS_H
#define ORVDC_LZSS_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct LZSSState LZSSState;

/* Stores the size in bytes of an LZSS state (327724, encoder or decoder) in
 * *pSize.  orvStsNullPtr if pSize is null. */
ORVDC_API orvStatus ORVDC_CALL orvsLZSSGetSize_8u(int32_t* pSize);

/* Prepares caller memory of orvsLZSSGetSize_8u bytes as an encoder state for
 * a new stream (empty hash chains, empty window, empty bit buffer).
 * orvStsNullPtr if pState is null. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZSSInit_8u(LZSSState* pState);

/* Allocates an encoder state, initialises it as orvsEncodeLZSSInit_8u and
 * stores it in *ppState.  orvStsNullPtr if ppState is null; orvStsNoMemory
 * (nothing stored) if the allocation fails. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZSSInitAlloc_8u(LZSSState** ppState);

/* Encodes as much of *ppSrc[0..*pSrcLen) as fits into *ppDst[0..*pDstLen).
 * Bytes still held from an earlier call that stopped on a full destination
 * are written first.  The last two bytes a call consumes are always coded as
 * literals, so the stream depends on how the source is split into calls (the
 * decoder reproduces the source in every case).  On return the pointers are
 * advanced and the lengths reduced by the bytes consumed and written; bits
 * that did not make a whole byte (or did not fit) stay in the state for the
 * next call or Flush.
 * Statuses: orvStsNullPtr if any pointer (or *ppSrc, *ppDst) is null;
 * orvStsBadSize if a length is negative; orvStsDstFull if *pDstLen is 0
 * (nothing read) or the destination was filled (also when the source ran out
 * with the destination's last byte); orvStsOk when the whole source was
 * consumed (an empty source changes nothing). */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZSS_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                 uint8_t** ppDst, int32_t* pDstLen,
                                                 LZSSState* pState);

/* Writes the bits the encoder still holds, padded with 0 bits to whole
 * bytes.  orvStsDstFull when the destination's last byte was written (also
 * when it was exactly the last byte needed); the bits not written stay for
 * the next Flush.  orvStsOk when everything fitted with room to spare; the
 * bits then stay in the state, so another Flush writes the same bytes again.
 * Re-initialise the state before encoding another stream.
 * Statuses: orvStsNullPtr if ppDst, *ppDst, pDstLen or pState is null;
 * orvStsBadSize if *pDstLen < 1. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZSSFlush_8u(uint8_t** ppDst, int32_t* pDstLen,
                                                      LZSSState* pState);

/* Prepares caller memory of orvsLZSSGetSize_8u bytes as a decoder state for
 * a new stream.  The window is not cleared: a match reaching behind the
 * start of the stream reads whatever the state memory held, so a caller
 * decoding untrusted streams should zero the memory first (or use
 * orvsDecodeLZSSInitAlloc_8u).  orvStsNullPtr if pState is null. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZSSInit_8u(LZSSState* pState);

/* Allocates a decoder state (orvsLZSSGetSize_8u bytes) with its window
 * zero-filled, so a match reaching behind the start of the stream reads
 * zeros, initialises it as orvsDecodeLZSSInit_8u and stores it in *ppState.  orvStsNullPtr if ppState
 * is null; orvStsNoMemory (nothing stored) if the allocation fails. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZSSInitAlloc_8u(LZSSState** ppState);

/* Decodes tokens from *ppSrc[0..*pSrcLen) into *ppDst[0..*pDstLen) until
 * the source or the destination runs out.  A match the destination cuts
 * short is finished by the next call first (even one with an empty source);
 * a token the source cuts short is kept in the state and continued with the
 * next call's bytes.  Any distance is safe: a distance field of 0 reads
 * 32768 bytes back, and bytes behind the current call's output come from the
 * state's 32 KB window.  On return the pointers are advanced and the lengths
 * reduced by the bytes consumed and written.
 * Statuses: orvStsNullPtr if any pointer (or *ppSrc, *ppDst) is null;
 * orvStsBadSize if *pDstLen < 1 or *pSrcLen < 0; orvStsDstFull when the
 * destination was filled; orvStsOk when the source is used up. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZSS_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                 uint8_t** ppDst, int32_t* pDstLen,
                                                 LZSSState* pState);

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_LZSS_H */
