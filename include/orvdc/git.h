/* orvdc: Generalized Interval Transformation. Included by orvdc.h. */
#ifndef ORVDC_GIT_H
#define ORVDC_GIT_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The Generalized Interval Transformation codes a block of bytes as 256 bit
 * streams, one per byte value.  Each occurrence of a value is coded as the
 * number of occurrences of the values ranked after it since its own previous
 * occurrence, with an adaptive Rice-like code per stream.  The ranking of the
 * 256 values adapts to their counts as chosen by the strategy argument:
 *   1 (and 0): a value moves one rank up when it became more frequent than
 *              its upper neighbour;
 *   2:         a value moves one rank down when it became more frequent than
 *              its lower neighbour;
 *   3:         the ranking stays fixed and the initial priming is skipped;
 *   any other: priming as 1, the ranking stays fixed.
 * The block does not record the strategy: the decoder must be given the one
 * the encoder used.
 *
 * Block format: for each stream j = 0..255 (the stream of byte value 255 - j)
 * a 4-byte big-endian length L_j >= 1 followed by L_j bytes of codes, most
 * significant bit first, the last byte padded with 1 bits.  A block is
 * 1024 + sum(L_j) bytes.
 *
 * Each encode or decode call is independent: the state object is working
 * memory only, so one state serves any number of blocks, one at a time.  An
 * encoder state and a decoder state are laid out differently; both are
 * GITState.  States may be placed at any 4-byte aligned address.  States made
 * by InitAlloc are released with orvsGITFree_8u (orvdc.h). */
typedef struct GITState GITState;

/* Encoder state size for blocks of up to maxSrcLen source bytes and
 * maxDstLen encoded bytes.  A maxSrcLen below 4096 is raised to 4096 and
 * maxDstLen then becomes 8192; the result is orvStsDstFull (33) as a warning.
 * *pSize := 256 * (floor8(maxSrcLen') + 32) + floor8(maxDstLen') + 25720.
 * Statuses: orvStsNullPtr if pSize is null; orvStsBadSize if either size is
 * below 1 or the state would exceed INT32_MAX bytes; orvStsDstFull as above;
 * orvStsOk otherwise. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeGITGetSize_8u(int32_t maxSrcLen, int32_t maxDstLen,
                                                       int32_t* pSize);

/* Lays out an encoder state in caller memory of orvsEncodeGITGetSize_8u
 * bytes, with the same size rule and the same statuses (pState in place of
 * pSize). */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeGITInit_8u(int32_t maxSrcLen, int32_t maxDstLen,
                                                    GITState* pState);

/* Allocates and lays out an encoder state.  Statuses: orvStsBadSize if either
 * size is below 1 (checked before the pointer) or the state would exceed
 * INT32_MAX bytes; orvStsNullPtr if ppState is null; orvStsNoMemory if the
 * allocation fails (*ppState untouched); otherwise *ppState receives the
 * state and the result is that of orvsEncodeGITInit_8u (orvStsOk or the
 * warning orvStsDstFull). */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeGITInitAlloc_8u(int32_t maxSrcLen, int32_t maxDstLen,
                                                         GITState** ppState);

/* Encodes pSrc[0..srcLen) as one block into pDst, which must have room for
 * the state's effective maxDstLen bytes; *pDstLen receives the block size
 * (an output only).  srcLen 0 gives a block that decodes to nothing.
 * Statuses: orvStsNullPtr if pSrc, pDst, pDstLen or pState is null;
 * orvStsBadSize if srcLen is negative or above the state's effective
 * maxSrcLen, or if the block would be larger than the effective maxDstLen
 * (or a stream would outgrow its area in the state); pDst and *pDstLen are
 * then untouched; orvStsOk otherwise. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeGIT_8u(const uint8_t* pSrc, int32_t srcLen, uint8_t* pDst,
                                                int32_t* pDstLen, int32_t strategy,
                                                GITState* pState);

/* Decoder state size for blocks of up to maxSrcLen bytes:
 * *pSize := 256 * (floor8(maxSrcLen) + 8) + 26776.  Statuses: orvStsNullPtr
 * if pSize is null; orvStsBadSize if maxSrcLen is below 1 or the size would
 * exceed INT32_MAX; orvStsOk otherwise. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeGITGetSize_8u(int32_t maxSrcLen, int32_t* pSize);

/* Lays out a decoder state that decodes blocks of up to maxDstLen bytes of
 * output.  Statuses: orvStsNullPtr if pState is null; orvStsBadSize if
 * maxDstLen is below 1; orvStsOk otherwise. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeGITInit_8u(int32_t maxDstLen, GITState* pState);

/* Allocates orvsDecodeGITGetSize_8u(maxSrcLen) bytes, stores the block (null
 * on failure) into *ppState and returns orvsDecodeGITInit_8u(maxDstLen) on
 * it, so a failed allocation gives orvStsNullPtr.  Before that: orvStsNullPtr
 * if ppState is null; orvStsBadSize if either size is below 1 or the size
 * would exceed INT32_MAX (*ppState untouched). */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeGITInitAlloc_8u(int32_t maxSrcLen, int32_t maxDstLen,
                                                         GITState** ppState);

/* Decodes the block in pSrc[0..srcLen) (bytes after the block are ignored)
 * with the strategy the encoder used; pDst receives the bytes, *pDstLen their
 * number.  Statuses: orvStsNullPtr if pSrc, pDst, pDstLen or pState is null;
 * orvStsBadSize if the block is truncated or malformed (a stream length of 0
 * or past srcLen, a stream that ends inside a code or holds an impossible
 * code) or decodes to more than the state's maxDstLen bytes; the bytes
 * decoded so far are then left in pDst and *pDstLen is untouched; orvStsOk
 * otherwise.  Only pSrc[0..srcLen), pDst[0..maxDstLen) and the state are
 * accessed, and the work is bounded by srcLen and maxDstLen. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeGIT_8u(const uint8_t* pSrc, int32_t srcLen, uint8_t* pDst,
                                                int32_t* pDstLen, int32_t strategy,
                                                GITState* pState);

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_GIT_H */
