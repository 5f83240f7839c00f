/* orvdc: variable-length code tables.  Included by orvdc.h.
 *
 * A code table is an array of VLCTableEntry records.  The encoder maps signed
 * 16-bit values to their codes and writes them to a bit stream; the decoders
 * read codes back through a multi-level lookup table, either as single values
 * or as tuples of small signed numbers.
 *
 * Bit streams ("1u") are addressed by a byte pointer and a bit offset 0..7,
 * the number of bits of that byte already used.  Bits fill each byte from its
 * most significant bit, and codes are written and read most significant bit
 * first.  After every call the pointer designates the byte that holds the
 * next bit and the offset says how many of its bits are used.
 *
 * The code-table objects (VLCEncodeSpec, VLCDecodeSpec, VLCDecodeUTupleSpec) are placed at the first 32-byte boundary at or after
 * the address the caller holds (every function aligns the address the same
 * way), so caller memory of the GetSize result may have any alignment.  They
 * are read-only after construction and may be shared by threads; the Free
 * functions must not run concurrently with their use.  Objects made by Init
 * stay the caller's memory: Free only invalidates them.
 *
 * Memory promises:
 *  - The decoders never read a byte before the current byte, and read at most
 *    4 bytes beyond the last byte that holds bits of the codes (and sign bits)
 *    they decode.  The caller's buffer must extend that far.
 *  - The encoder never writes a byte beyond the last one that holds code bits.
 *    It preserves the bits before the starting position in the first byte; the
 *    bits after the last code bit within its byte are written as zeros.
 */
#ifndef ORVDC_VLC_H
#define ORVDC_VLC_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One code of a table: the low `length` bits of `code` (right-aligned, first
 * bit most significant) stand for `value`.  12 bytes. */
typedef struct VLCTableEntry {
    int32_t value;
    uint32_t code;
    int32_t length;
} VLCTableEntry;

/* Opaque code-table objects, laid out in memory sized by GetSize. */
typedef struct VLCEncodeSpec VLCEncodeSpec;
typedef struct VLCDecodeSpec VLCDecodeSpec;
typedef struct VLCDecodeUTupleSpec VLCDecodeUTupleSpec;

/* ------------------------------------------------------------------------ */
/* Encoder                                                                   */
/* ------------------------------------------------------------------------ */
/* With min and max the smallest and largest value of the table, range =
 * max - min + 1 and k the number of binary digits of range, the encoder object
 * takes (2^k + range) * 4 + 64 bytes: a length table indexed by value - min
 * and a code table behind it.  When a value occurs more than once, its first
 * entry counts.  Every entry's length must be 1..32.
 *
 * Construction statuses, in test order: orvStsNullPtr (table or out-argument
 * null); orvStsBadContext (tableSize < 1); orvStsBadCodeLength (an entry's
 * length outside 1..32); orvStsBadSize (the object would exceed 2^31 - 1
 * bytes); orvStsNoMemory (InitAlloc's allocation failed). */

/* Stores the object size for the table in *pSize. */
ORVDC_API orvStatus ORVDC_CALL orvsVLCEncodeGetSize_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                        int32_t* pSize);

/* Builds the encoder object in caller memory of at least the GetSize result. */
ORVDC_API orvStatus ORVDC_CALL orvsVLCEncodeInit_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                     VLCEncodeSpec* pSpec);

/* Allocates (32-byte aligned) and builds the object; stores it in *ppSpec. */
ORVDC_API orvStatus ORVDC_CALL orvsVLCEncodeInitAlloc_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                          VLCEncodeSpec** ppSpec);

/* Invalidates the object (it is refused afterwards) and releases it when
 * InitAlloc made it.  Null is ignored. */
ORVDC_API void ORVDC_CALL orvsVLCEncodeFree_32s(VLCEncodeSpec* pSpec);

/* Writes the codes of pSrc[0..srcLen) at (*ppDst, *pBitOffset) and advances
 * the position past them.  Statuses, in test order: orvStsNullPtr (pSrc,
 * pSpec, ppDst, *ppDst or pBitOffset null); orvStsBadContext (srcLen < 1,
 * *pBitOffset outside 0..7, an invalid object, or any value outside the
 * table's min..max or absent from the table; all values are checked before
 * anything is written). */
ORVDC_API orvStatus ORVDC_CALL orvsVLCEncodeBlock_16s1u(const int16_t* pSrc, int32_t srcLen, uint8_t** ppDst,
                                                        int32_t* pBitOffset, const VLCEncodeSpec* pSpec);

/* Writes the code of one value; statuses as orvsVLCEncodeBlock_16s1u. */
ORVDC_API orvStatus ORVDC_CALL orvsVLCEncodeOne_16s1u(int16_t src, uint8_t** ppDst, int32_t* pBitOffset,
                                                      const VLCEncodeSpec* pSpec);

/* Stores in *pCount the number of bits the codes of pSrc[0..srcLen) take.
 * Statuses: orvStsNullPtr (pSrc, pCount or pSpec null); orvStsBadContext
 * (srcLen < 1, an invalid object, or a value the table lacks); orvStsBadSize
 * (the count exceeds 2^31 - 1). */
ORVDC_API orvStatus ORVDC_CALL orvsVLCCountBits_16s32s(const int16_t* pSrc, int32_t srcLen, int32_t* pCount,
                                                       const VLCEncodeSpec* pSpec);

/* ------------------------------------------------------------------------ */
/* Decoder                                                                   */
/* ------------------------------------------------------------------------ */
/* The decoding table has one lookup level per width of pLevelWidths, used in
 * order until their sum reaches the longest code length; the width at which
 * that happens is shortened to meet it exactly and later widths are ignored.
 * Every width used must be at least 1.  Its elements are 8, 16 or 32 bits
 * wide; a leaf holds the code bits of its level and the value, a link the
 * position of the next level.  The value field is wide enough for the two's
 * complement form of every table value (up to the 16 bits that are output).
 * For N elements of E bits the object takes N * E / 8 + 88 bytes.
 *
 * Construction statuses, in test order: orvStsNullPtr (table, widths or
 * out-argument null); orvStsBadCodeLength (no entries, an entry's length
 * outside 1..32, levelCount < 1, a width used below 1, widths whose sum stays
 * below the longest length); orvStsBadSize (the object would exceed 2^31 - 1
 * bytes); orvStsNoMemory (InitAlloc's allocation failed); and from Init and
 * InitAlloc orvStsBadCodeLength when a code's path meets a leaf where it
 * needs a deeper level (a code that is a prefix of another across a level
 * boundary, the shorter one listed first).  InitAlloc then still stores the
 * block in *ppSpec for Free; the object is invalid either way.  When a longer
 * code is listed before a shorter code that covers it, the later leaves
 * replace the earlier entries. */

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeGetSize_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                        const int32_t* pLevelWidths, int32_t levelCount,
                                                        int32_t* pSize);

/* Builds the decoder object in caller memory of at least the GetSize result. */
ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeInit_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                     const int32_t* pLevelWidths, int32_t levelCount,
                                                     VLCDecodeSpec* pSpec);

/* Allocates (32-byte aligned) and builds the object; stores it in *ppSpec. */
ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeInitAlloc_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                          const int32_t* pLevelWidths, int32_t levelCount,
                                                          VLCDecodeSpec** ppSpec);

/* Invalidates a decoder or tuple-decoder object and releases it when
 * InitAlloc made it.  Null is ignored.  One function, two names. */
ORVDC_API void ORVDC_CALL orvsVLCDecodeFree_32s(VLCDecodeSpec* pSpec);
ORVDC_API void ORVDC_CALL orvsVLCDecodeUTupleFree_32s(VLCDecodeUTupleSpec* pSpec);

/* Decodes one code at (*ppSrc, *pSrcBitOffset) into *pDst (the value's low 16
 * bits) and advances the position past it.  Statuses: orvStsNullPtr (ppSrc,
 * *ppSrc, pSrcBitOffset, pDst or pSpec null); orvStsBadContext (bit offset
 * outside 0..7, an invalid object, or bits that are no code of the table; in
 * the last case nothing is written and the position stays). */
ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeOne_1u16s(const uint8_t** ppSrc, int32_t* pSrcBitOffset,
                                                      int16_t* pDst, const VLCDecodeSpec* pSpec);

/* Decodes dstLen codes into pDst[0..dstLen), exactly as that many calls of
 * orvsVLCDecodeOne_1u16s.  dstLen < 1: orvStsOk, nothing changes.  Statuses
 * as orvsVLCDecodeOne_1u16s; on bits that are no code, the values before them
 * are stored but the position is left where the call found it. */
ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeBlock_1u16s(const uint8_t** ppSrc, int32_t* pSrcBitOffset,
                                                        int16_t* pDst, int32_t dstLen, const VLCDecodeSpec* pSpec);

/* ------------------------------------------------------------------------ */
/* Tuple decoder                                                             */
/* ------------------------------------------------------------------------ */
/* Each table value packs elementCount unsigned magnitudes of elementBits bits,
 * element 0 in the most significant field.  In the stream each code is
 * followed by one sign bit (1: negative) for each non-zero magnitude, in
 * element order.  The lookup table is built as the decoder's, with leaves of
 * elementCount * elementBits value bits; the object takes N * E / 8 + 100
 * bytes.
 *
 * Construction statuses, in test order: orvStsNullPtr; orvStsBadArg
 * (elementCount or elementBits below 1, before any table fault); then the
 * decoder's orvStsBadCodeLength cases; orvStsBadArg (elementCount *
 * elementBits plus the length field and flag bit above 32 bits, or the longest
 * code length plus elementCount above 32); orvStsBadSize; orvStsNoMemory; and
 * the construction result as for the decoder. */

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeUTupleGetSize_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                              const int32_t* pLevelWidths, int32_t levelCount,
                                                              int32_t elementCount, int32_t elementBits,
                                                              int32_t* pSize);

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeUTupleInit_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                           const int32_t* pLevelWidths, int32_t levelCount,
                                                           int32_t elementCount, int32_t elementBits,
                                                           VLCDecodeUTupleSpec* pSpec);

ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeUTupleInitAlloc_32s(const VLCTableEntry* pCodeTable, int32_t tableSize,
                                                                const int32_t* pLevelWidths, int32_t levelCount,
                                                                int32_t elementCount, int32_t elementBits,
                                                                VLCDecodeUTupleSpec** ppSpec);

/* Decodes one code and its sign bits into pDst[0..elementCount) and advances
 * the position past them.  Statuses as orvsVLCDecodeOne_1u16s. */
ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeUTupleOne_1u16s(const uint8_t** ppSrc, int32_t* pSrcBitOffset,
                                                            int16_t* pDst, const VLCDecodeUTupleSpec* pSpec);

/* Decodes dstLen / elementCount tuples into pDst; the values behind the last
 * whole tuple are left alone.  dstLen < elementCount: orvStsOk, nothing
 * changes.  Statuses as orvsVLCDecodeBlock_1u16s. */
ORVDC_API orvStatus ORVDC_CALL orvsVLCDecodeUTupleBlock_1u16s(const uint8_t** ppSrc, int32_t* pSrcBitOffset,
                                                              int16_t* pDst, int32_t dstLen,
                                                              const VLCDecodeUTupleSpec* pSpec);

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_VLC_H */
