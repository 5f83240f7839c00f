/* orvdc: Huffman coding of byte alphabets and packed code-length tables. Included by orvdc.h. */
#ifndef ORVDC_HUFFMAN_H
#define ORVDC_HUFFMAN_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Codes have at most 32 bits.  Code values are canonical and follow from the
 * 256 code lengths alone: lengths from the longest down to 1, the symbols of
 * one length in descending symbol order, take the values c, c+1, ... of a
 * counter that starts at 0 and is shifted right by one bit after each length.
 * So the largest symbol of the longest length has the all-zero code.  Every
 * bit stream here is most significant bit first (bit 7 of the first byte
 * comes first).
 */

/* The state shared by the encoder and the decoder: orvsHuffGetSize_8u bytes
 * (2596) of caller memory (4-byte aligned is enough) laid out by an Init, or
 * a block from an InitAlloc released with orvsHuffFree_8u. */
typedef struct HuffState HuffState;

/* Writes the size of a HuffState, 2596, to *pSize.
 * Statuses: orvStsNullPtr if pSize is null; orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsHuffGetSize_8u(int32_t* pSize);

/* Builds a Huffman code from 256 symbol frequencies (indexed by symbol) and
 * clears the bit buffer.  Ties between equal frequencies are broken by a fixed
 * procedure, so a table always gives the same lengths.
 * Statuses: orvStsNullPtr if pFreqTable or pState is null;
 * orvStsBadFreqTable for a negative frequency, a total of 2^31 or more, or no
 * nonzero frequency (state untouched); orvStsCodeTooLong when a code would
 * exceed 32 bits (scale the frequencies down and call again; the state must
 * be initialised again before use); orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeHuffInit_8u(const int32_t pFreqTable[256], HuffState* pState);

/* Allocates a HuffState and runs orvsEncodeHuffInit_8u on it.  The block's
 * address is stored in *ppState even when the Init fails (release it with
 * orvsHuffFree_8u); a failed allocation stores null and gives orvStsNullPtr.
 * Statuses: orvStsNullPtr if ppState is null; otherwise the Init's status. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeHuffInitAlloc_8u(const int32_t pFreqTable[256], HuffState** ppState);

/* Writes the code of symbol `src` at bit offset dstOffsetBits (0..7) of
 * pDst[0]: the first byte keeps its bits above the code when the offset is
 * nonzero and receives the code's first 8 - offset bits by OR; every further
 * byte touched is overwritten (zero bits after the code's end).  The caller
 * advances by the symbol's code length.  The bit buffer is not used.
 * Statuses: orvStsNullPtr if pDst or pState is null; orvStsBadSize if the
 * offset is outside 0..7; orvStsNoCode if the symbol has no code; orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeHuffOne_8u(uint8_t src, uint8_t* pDst, int32_t dstOffsetBits,
                                                    const HuffState* pState);

/* Codes pSrc[0..srcLen) through the state's bit buffer, writing each
 * completed 32-bit word as 4 bytes (most significant first).  *pDstLen
 * receives the bytes written, a multiple of 4.  The destination must hold
 * 4 * floor((pending bits + sum of the code lengths) / 32) bytes.  Symbols
 * without a code add no bits.  Statuses: orvStsNullPtr if pSrc, pDst, pDstLen
 * or pState is null; orvStsBadSize if srcLen < 1; orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeHuff_8u(const uint8_t* pSrc, int32_t srcLen, uint8_t* pDst,
                                                 int32_t* pDstLen, HuffState* pState);

/* Writes the (bits + 7) / 8 bytes still pending in the bit buffer, the last
 * one padded with zero bits; *pDstLen receives their number (0..4).  The state
 * is not changed.  Statuses: orvStsNullPtr if pDst, pDstLen or pState is null;
 * orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeHuffFinal_8u(uint8_t* pDst, int32_t* pDstLen, const HuffState* pState);

/* Copies the state's 256 code lengths into pCodeLenTable.
 * Statuses: orvStsNullPtr if either pointer is null; orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsHuffGetLenCodeTable_8u(int32_t pCodeLenTable[256], const HuffState* pState);

/* Builds the decoding tables from 256 code lengths (0 = no code) and clears
 * the bit buffer.  The lengths need not form a complete code.
 * Statuses: orvStsNullPtr if either pointer is null; orvStsNoCode if a length
 * lies outside 0..32 (nothing written); orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeHuffInit_8u(const int32_t pCodeLenTable[256], HuffState* pState);

/* Allocates a HuffState and runs orvsDecodeHuffInit_8u on it.  The block's
 * address is stored in *ppState even when the Init fails (release it with
 * orvsHuffFree_8u); a failed allocation stores null and gives orvStsNullPtr.
 * Statuses: orvStsNullPtr if pCodeLenTable or ppState is null; otherwise the
 * Init's status. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeHuffInitAlloc_8u(const int32_t pCodeLenTable[256], HuffState** ppState);

/* Decodes the symbol whose code starts at bit offset srcOffsetBits (0..7) of
 * pSrc[0] into *pDst, reading (offset + longest length + 7) / 8 bytes.  The
 * caller advances by the symbol's code length.  The bit buffer is not used.
 * Statuses: orvStsNullPtr if pSrc, pDst or pState is null; orvStsBadSize if
 * the offset is outside 0..7 or the state holds no code; orvStsNullPtr if the
 * state holds no decoding tables (an encoder state); orvStsNoCode if the bits
 * match no code (possible only with an incomplete length table); orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeHuffOne_8u(const uint8_t* pSrc, int32_t srcOffsetBits, uint8_t* pDst,
                                                    const HuffState* pState);

/* Decodes symbols from the bits kept in the state followed by pSrc[0..srcLen)
 * until *pDstLen symbols are written or the next code is not complete.  On
 * return *pDstLen holds the symbols written; unfinished bits stay in the state
 * for the next call.  When the destination fills up, source bytes not yet
 * taken into the bit buffer are dropped: decode a stream in pieces only with
 * calls that each run out of bits, or in one call whose capacity is the exact
 * symbol count.  Bits that match no code (incomplete length tables only) end
 * the call like missing bits.
 * Statuses: orvStsNullPtr if pSrc, pDst, pDstLen or pState is null;
 * orvStsBadSize if srcLen < 1, *pDstLen < 1 or the state holds no code (all
 * lengths 0; nothing written); orvStsNullPtr if the state holds no decoding
 * tables (an encoder state); orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsDecodeHuff_8u(const uint8_t* pSrc, int32_t srcLen, uint8_t* pDst,
                                                 int32_t* pDstLen, HuffState* pState);

/* Packs 256 code lengths into nibbles (two a byte, high nibble first) with
 * run coding.  On input *pDstLen is the capacity, on return the bytes
 * written; the whole table is always processed.  Statuses: orvStsNullPtr if
 * a pointer is null; orvStsBadSize if the capacity is below 1; after packing,
 * orvStsNoCode if a length lies outside 0..32, else orvStsBadSize if the
 * destination was too small (its bytes hold the first part), else orvStsOk.
 * A table of lengths 0..32 packs into at most 256 bytes. */
ORVDC_API orvStatus ORVDC_CALL orvsHuffLenCodeTablePack_8u(const int32_t pCodeLenTable[256], uint8_t* pDst,
                                                           int32_t* pDstLen);

/* Unpacks a table packed by orvsHuffLenCodeTablePack_8u.  On input *pSrcLen
 * is the bytes available, on return the bytes the table used (the data after
 * it starts there).  Values are stored as decoded, unchecked.  Statuses:
 * orvStsNullPtr if a pointer is null; orvStsBadSize if *pSrcLen < 1, or if
 * the source ends inside the table (the table is filled with the missing
 * nibbles read as 0, *pSrcLen unchanged); orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsHuffLenCodeTableUnpack_8u(const uint8_t* pSrc, int32_t* pSrcLen,
                                                             int32_t pCodeLenTable[256]);

/* Safe buffer sizes for a code with these lengths: *pEncDstBuffSize (if not
 * null) receives (n * maxL + maxL + 7) / 8, the bytes that encoding n symbols
 * can need with Final included; *pDecDstBuffSize (if not null) receives
 * (n * 64) / minL, a capacity in symbols for decoding n bytes.  maxL and minL
 * are the largest and smallest nonzero lengths (1 and 32 when there is none).
 * Statuses: orvStsNullPtr if pCodeLenTable is null; orvStsBadSize if n < 1 or
 * a size does not fit in 32 bits; orvStsNoCode if minL < 0 or maxL > 32;
 * orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsHuffGetDstBuffSize_8u(const int32_t pCodeLenTable[256], int32_t n,
                                                         int32_t* pEncDstBuffSize, int32_t* pDecDstBuffSize);

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_HUFFMAN_H */
