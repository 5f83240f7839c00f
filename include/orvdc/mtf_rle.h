/* orvdc: move-to-front and byte run-length coding. Included by orvdc.h. */
#ifndef ORVDC_MTF_RLE_H
#define ORVDC_MTF_RLE_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Move-to-front                                                             */
/* ------------------------------------------------------------------------ */

/* 256 bytes, no alignment required.  After Init both directions start from
 * the identity.  The forward transform keeps the rank of every byte value in
 * it (entry v = position of v in the recency list), the inverse keeps the list
 * itself (entry k = value at position k), so an encoder and a decoder each
 * need their own state.  orvsMTFFree_8u (orvdc.h) releases an InitAlloc state. */
typedef struct MTFState MTFState;

/* *pSize := 256.  orvStsNullPtr if pSize is null. */
ORVDC_API orvStatus ORVDC_CALL orvsMTFGetSize_8u(int32_t* pSize);

/* Sets the state to the identity (entry i = i).  orvStsNullPtr if null. */
ORVDC_API orvStatus ORVDC_CALL orvsMTFInit_8u(MTFState* pState);

/* Allocates a 256-byte state and initialises it.  orvStsNullPtr if ppState is
 * null; otherwise *ppState receives the block (null when the allocation
 * failed, then orvStsNoMemory), else the result of orvsMTFInit_8u. */
ORVDC_API orvStatus ORVDC_CALL orvsMTFInitAlloc_8u(MTFState** ppState);

/* Replaces each of pSrc[0..len) by its position in the recency list and moves
 * it to the front; pDst[0..len) receives the positions.  pSrc and pDst may be
 * the same buffer.  The state carries over to the next call, so a stream may
 * be transformed in pieces of any size.  Statuses: orvStsNullPtr if pSrc, pDst
 * or pState is null; orvStsBadSize if len < 1 (nothing written, state kept). */
ORVDC_API orvStatus ORVDC_CALL orvsMTFFwd_8u(const uint8_t* pSrc, uint8_t* pDst, int32_t len,
                                             MTFState* pState);

/* The inverse: each position pSrc[i] gives the byte at that position of the
 * list, which is written to pDst[i] and moved to the front.  In place allowed;
 * statuses as orvsMTFFwd_8u. */
ORVDC_API orvStatus ORVDC_CALL orvsMTFInv_8u(const uint8_t* pSrc, uint8_t* pDst, int32_t len,
                                             MTFState* pState);

/* ------------------------------------------------------------------------ */
/* Byte run-length coding                                                    */
/* ------------------------------------------------------------------------ */

/* Format: every two equal consecutive bytes are followed by a count byte n,
 * the number of further copies (the pair and its count stand for n + 2 equal
 * bytes, 2..257).  The byte after a count starts afresh and never pairs with
 * the bytes before it; a pair at the very end of the data without a count
 * stands for two bytes.  Both directions are stateless.
 *
 * Arguments: *ppSrc and *pSrcLen describe the source and are advanced past
 * what was consumed; *pDstLen is the destination capacity on entry and the
 * number of bytes written on return.  Statuses: orvStsNullPtr if any of the
 * four pointers or *ppSrc is null; orvStsBadSize if *pSrcLen < 1 or
 * *pDstLen < 1; else orvStsDstFull when source bytes remain (the destination
 * filled), orvStsOk when the whole source was consumed. */

/* Encodes.  A call that fills its destination on the second byte of a pair
 * leaves that pair without its count; the rest of the source is then a new
 * sequence, so each call's output decodes on its own. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeRLE_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                uint8_t* pDst, int32_t* pDstLen);

/* Decodes.  A pair whose run does not fit in the room left is not consumed
 * (nor counted as written); the same holds for a pair that fills the
 * destination exactly when a count above 0 follows it.  A count of 0 after
 * such a pair is consumed with it.  Any byte sequence decodes. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeRLE_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                uint8_t* pDst, int32_t* pDstLen);

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_MTF_RLE_H */
