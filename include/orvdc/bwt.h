/* orvdc: Burrows-Wheeler transform (large and small blocks). Included by orvdc.h. */
#ifndef ORVDC_BWT_H
#define ORVDC_BWT_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The block is cyclic: the forward transform sorts all n rotations of
 * pSrc[0..n), writes the last column of the sorted rotation matrix to pDst and
 * the 0-based row of the block's own rotation to *pIndex (the primary index).
 * For a periodic block (abab) several rotations are equal to the block; the
 * last column does not depend on their order and *pIndex is the row of one
 * of them.  The work buffers are scratch memory of any alignment, sized by
 * the GetSize functions; nothing is allocated and nothing survives the call.
 * Source and destination must not overlap the work buffer.  The forward
 * transforms may run in place (pSrc == pDst); the inverse ones may not.
 */

/* Work buffer size for orvsBWTFwd_8u: *pSize = 6 * len + 4128.
 * Statuses: orvStsNullPtr if pSize is null; orvStsBadSize if len < 1 or the
 * size does not fit 32 bits (len > 357913253). */
ORVDC_API orvStatus ORVDC_CALL orvsBWTFwdGetSize_8u(int32_t len, int32_t* pSize);

/* Forward transform of pSrc[0..len) into pDst[0..len); the primary index goes
 * to *pIndex.  pBuffer holds at least the orvsBWTFwdGetSize_8u size.
 * Statuses: orvStsNullPtr if pSrc, pDst, pIndex or pBuffer is null;
 * orvStsBadSize if len < 1 or len > 357913253; orvStsOk otherwise.  On error
 * nothing is written. */
ORVDC_API orvStatus ORVDC_CALL orvsBWTFwd_8u(const uint8_t* pSrc, uint8_t* pDst, int32_t len,
                                             int32_t* pIndex, uint8_t* pBuffer);

/* Work buffer size for orvsBWTInv_8u: *pSize = 4 * len + 1024 for any len.
 * Statuses: orvStsNullPtr if pSize is null; orvStsOk otherwise. */
ORVDC_API orvStatus ORVDC_CALL orvsBWTInvGetSize_8u(int32_t len, int32_t* pSize);

/* Inverse transform: rebuilds the block pDst[0..len) from its last column
 * pSrc[0..len) and primary index.  Any bytes and any index in 0..len-1 give
 * some output.  len < 2 copies len bytes (orvStsNullPtr if pSrc or pDst is
 * null, orvStsBadSize if len < 1; index and buffer are not looked at).
 * Otherwise: orvStsNullPtr if pSrc, pDst or pBuffer is null; orvStsBadSize if
 * index < 0, index >= len, or len > 536870655 (its buffer size would not fit
 * 32 bits); orvStsOk otherwise.  pBuffer holds at least the
 * orvsBWTInvGetSize_8u size. */
ORVDC_API orvStatus ORVDC_CALL orvsBWTInv_8u(const uint8_t* pSrc, uint8_t* pDst, int32_t len,
                                             int32_t index, uint8_t* pBuffer);

/* Work buffer size for both small-block transforms (1 <= len <= 32768):
 * *pSize = 4 * len + 2080.  Statuses: orvStsNullPtr if pSize is null;
 * orvStsBadSize if len < 1 or len > 32768. */
ORVDC_API orvStatus ORVDC_CALL orvsBWTGetSize_SmallBlock_8u(int32_t len, int32_t* pSize);

/* Forward transform of a block of at most 32768 bytes: the same last column
 * and primary index as orvsBWTFwd_8u, in a smaller work buffer.
 * Statuses: orvStsNullPtr if pSrc, pDst, pIndex or pBuffer is null;
 * orvStsBadSize if len < 1 or len > 32768; orvStsOk otherwise. */
ORVDC_API orvStatus ORVDC_CALL orvsBWTFwd_SmallBlock_8u(const uint8_t* pSrc, uint8_t* pDst,
                                                        int32_t len, int32_t* pIndex,
                                                        uint8_t* pBuffer);

/* Inverse transform of a block of at most 32768 bytes, as orvsBWTInv_8u.  It
 * uses 2 * len + 512 bytes of pBuffer.  len < 2 copies len bytes as
 * orvsBWTInv_8u does.  Otherwise: orvStsNullPtr if pSrc, pDst or pBuffer is
 * null; orvStsBadSize if index < 0, index >= len or len > 32768. */
ORVDC_API orvStatus ORVDC_CALL orvsBWTInv_SmallBlock_8u(const uint8_t* pSrc, uint8_t* pDst,
                                                        int32_t len, int32_t index,
                                                        uint8_t* pBuffer);

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_BWT_H */
