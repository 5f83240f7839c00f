/* orvdc: bzip2-format stages: run-length stage, symbol dictionary, zero-run coding. Included by orvdc.h. */
#ifndef ORVDC_BZIP2_H
#define ORVDC_BZIP2_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Run-length stage                                                          */
/* ------------------------------------------------------------------------ */

/* Run format: runs of 1..3 equal bytes are written as they are; a run of 4 to
 * 259 as four copies followed by a count byte (length - 4, 0..255); longer
 * runs as a run of 259 followed by the rest as a new run.  The byte after a
 * count byte always begins a new run.
 *
 * The encoder state (264 bytes, 4-byte alignment suffices): the in-use table
 * (entry v is 1 once byte value v was written, as a literal or as a count),
 * the last byte consumed and the length of the open run.  orvsRLEFree_BZ2_8u
 * (orvdc.h) releases an InitAlloc state. */
typedef struct RLEState RLEState;

/* *pSize := 264.  orvStsNullPtr if pSize is null. */
ORVDC_API orvStatus ORVDC_CALL orvsRLEGetSize_BZ2_8u(int32_t* pSize);

/* Clears the in-use table, forgets the last byte, closes the run.
 * orvStsNullPtr if pState is null.  Call once per block. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeRLEInit_BZ2_8u(RLEState* pState);

/* Allocates a state, stores its address (null when the allocation failed)
 * in *ppState and returns the result of orvsEncodeRLEInit_BZ2_8u on it, so a
 * failed allocation reads orvStsNullPtr.  orvStsNullPtr if ppState is null. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeRLEInitAlloc_BZ2_8u(RLEState** ppState);

/* Encodes the next piece of a block.  *ppSrc and *pSrcLen are advanced past the
 * bytes consumed; *pDstLen is the capacity on entry and the bytes written on
 * return.  A run still open at the end of the source stays in the state (its
 * count byte, when it has four bytes or more, is owed until a following call
 * or Flush).  Statuses: orvStsNullPtr if ppSrc, pSrcLen, pDst, pDstLen, *ppSrc
 * or pState is null; orvStsBadSize if *pSrcLen < 1 or *pDstLen < 1;
 * orvStsDstFull when source bytes remain; else orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeRLE_BZ2_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                    uint8_t* pDst, int32_t* pDstLen,
                                                    RLEState* pState);

/* Ends a block: writes the count byte still owed, if any, and sets *pDstLen
 * to the bytes written (0 or 1).  A run of 1..3 bytes stays open.
 * Statuses: orvStsNullPtr if pDst, pDstLen or pState is null; orvStsBadSize
 * if *pDstLen < 1; else orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeRLEFlush_BZ2_8u(uint8_t* pDst, int32_t* pDstLen,
                                                         RLEState* pState);

/* Decodes a whole block in one call (no state).  Statuses: orvStsNullPtr if
 * any pointer or *ppSrc is null; orvStsBadSize if *pDstLen < 1 or *pSrcLen < 0;
 * a source length of 0 gives *pDstLen = 0 and orvStsOk.  orvStsDstFull when
 * the block does not fit: the destination holds the bytes decoded so far
 * (counted in *pDstLen) and the source stops at the first byte not used (a
 * count byte whose run did not fit is not consumed); decode the block again
 * from its start with more room. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeRLE_BZ2_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                    uint8_t* pDst, int32_t* pDstLen);

/* ------------------------------------------------------------------------ */
/* Symbol dictionary                                                         */
/* ------------------------------------------------------------------------ */

/* Copies the state's 256-entry in-use table to pInUse.  orvStsNullPtr if
 * either pointer is null.  The tables must not overlap. */
ORVDC_API orvStatus ORVDC_CALL orvsRLEGetInUseTable_8u(uint8_t pInUse[256], const RLEState* pState);

/* Replaces every byte x of pSrcDst[0..len) by its dense index, the sum of
 * pInUse[v] over all v < x (low 8 bits), and stores the sum of all 256
 * entries in *pSizeDictionary.  Statuses: orvStsNullPtr if pInUse, pSrcDst or
 * pSizeDictionary is null; orvStsBadSize if len < 1. */
ORVDC_API orvStatus ORVDC_CALL orvsReduceDictionary_8u_I(const uint8_t pInUse[256], uint8_t* pSrcDst,
                                                         int32_t len, int32_t* pSizeDictionary);

/* Replaces every dense index j of pSrcDst[0..len) by the (j+1)-th byte value
 * whose pInUse entry is nonzero.  Indices not below sizeDictionary become 0.
 * Statuses: orvStsNullPtr if pInUse or pSrcDst is null; orvStsBadSize if
 * len < 1, sizeDictionary < 1, sizeDictionary > 256 or sizeDictionary above
 * the number of nonzero entries of pInUse. */
ORVDC_API orvStatus ORVDC_CALL orvsExpandDictionary_8u_I(const uint8_t pInUse[256], uint8_t* pSrcDst,
                                                         int32_t len, int32_t sizeDictionary);

/* ------------------------------------------------------------------------ */
/* Zero-run coding                                                           */
/* ------------------------------------------------------------------------ */

/* Symbols: 0 and 1 are run digits, s in 2..256 stands for the byte s - 1.  A
 * run of z zero bytes is written as the digits of z in bijective base 2,
 * least significant first (1: 0; 2: 1; 3: 0 0; 4: 1 0; ...).  The caller adds
 * the end-of-block symbol itself.  Both directions are stateless: each call
 * starts with no pending run. */

/* Encodes bytes to symbols and adds 1 to pFreq[s] for every symbol s written
 * (pFreq has at least 257 entries and is never cleared).  *pDstLen is the
 * capacity in symbols on entry and the symbols written on return.  A run of
 * zeros whose digits do not fit in the room left is cut to the longest run
 * that fits (the rest stays in the source).  Statuses: orvStsNullPtr if
 * ppSrc, pDst, pSrcLen, pDstLen, *ppSrc or pFreq is null; orvStsBadSize if
 * *pSrcLen < 1 or *pDstLen < 1; orvStsDstFull when source bytes remain; else
 * orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeZ1Z2_BZ2_8u16u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                        uint16_t* pDst, int32_t* pDstLen,
                                                        uint32_t* pFreq);

/* Decodes symbols to bytes (a symbol above 256 gives its value - 1, low 8
 * bits).  A run whose zeros do not fit in the room left is not consumed.
 * *ppSrc advances by whole symbols and *pSrcLen counts symbols.  Statuses:
 * orvStsNullPtr if ppSrc, pDst, pSrcLen, pDstLen or *ppSrc is null;
 * orvStsBadSize if *pSrcLen < 1 or *pDstLen < 1; orvStsDstFull when source
 * symbols remain; else orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeZ1Z2_BZ2_16u8u(const uint16_t** ppSrc, int32_t* pSrcLen,
                                                        uint8_t* pDst, int32_t* pDstLen);

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_BZIP2_H */
