/* orvdc: deflate (RFC 1951) records and enumerations shared by the encoder and
 * the decoder, and the accessors that serve both state types.  Included by
 * orvdc.h. */
#ifndef ORVDC_LZ77_H
#define ORVDC_LZ77_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One LZ77 token.  offset 0: a literal whose byte value is length (0..255).
 * offset 1..32768: a match of length 3..258 that many bytes back.  Arrays of
 * pairs are dense (4 bytes a pair) and counted in pairs. */
typedef struct LZ77Pair {
    uint16_t length;
    uint16_t offset;
} LZ77Pair;

/* Enumerations, each passed and stored as a signed 32-bit integer. */
typedef int32_t LZ77ComprLevel;
enum {
    LZ77LevelFast = 0,    /* one candidate per position, no hash chains */
    LZ77LevelAverage = 1, /* hash chains, up to 16 candidates, greedy */
    LZ77LevelBest = 2     /* hash chains, up to 512 candidates, one-step lazy */
};

typedef int32_t LZ77ChecksumKind;
enum {
    LZ77ChecksumNone = 0,    /* no running checksum; 8-byte trailer with a zero checksum */
    LZ77ChecksumAdler32 = 1, /* running Adler-32; 4-byte zlib trailer */
    LZ77ChecksumCRC32 = 2    /* running CRC-32; 8-byte gzip trailer */
};

typedef int32_t LZ77FlushMode;
enum {
    LZ77FlushNone = 0,   /* no flush */
    LZ77FlushSync = 1,   /* end the block and append the empty stored block 00 00 FF FF */
    LZ77FlushFull = 2,   /* as Sync; the match finder also forgets its window */
    LZ77FlushFinish = 3  /* the block that ends the source is the final block */
};

typedef int32_t LZ77DeflateStatus;
enum {
    LZ77DeflateIdle = 0,         /* set by Init */
    LZ77DeflateCollectPairs = 1, /* the caller runs the match finder into the pair buffer */
    LZ77DeflateCodePairs = 2,    /* the caller writes blocks from the collected pairs */
    LZ77DeflateTrailer = 3       /* the stream body is finished; Flush is allowed */
};

/* The decoder's status word: a value the caller keeps in the decoder state to
 * record where it stands in its own loop.  No decoding operation reads it. */
typedef int32_t LZ77InflateStatus;

typedef int32_t LZ77HuffMode;
enum {
    LZ77HuffFixed = 0,
    LZ77HuffDynamic = 1,
    LZ77HuffStored = 2 /* reported by the decoder only */
};

typedef struct LZ77EncoderState LZ77EncoderState;
typedef struct LZ77DecoderState LZ77DecoderState;

/* Stores the state's status word in *pStatus; orvStsNullPtr if either
 * pointer is null.  The encoder and decoder names are one function serving
 * both state types. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77GetStatus_8u(LZ77DeflateStatus* pStatus,
                                                          const LZ77EncoderState* pState);
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77GetStatus_8u(LZ77InflateStatus* pStatus,
                                                          const LZ77DecoderState* pState);

/* Reads the pair buffer, the pair index and the pair count kept in the state.
 * Checks pState, ppPairs, pPairIndex, pPairLength for null in that order
 * (orvStsNullPtr).  One function under both names. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77GetPairs_8u(LZ77Pair** ppPairs, int32_t* pPairIndex,
                                                         int32_t* pPairLength,
                                                         const LZ77EncoderState* pState);
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77GetPairs_8u(LZ77Pair** ppPairs, int32_t* pPairIndex,
                                                         int32_t* pPairLength,
                                                         const LZ77DecoderState* pState);

/* Points the state at a caller pair buffer with the given index and count,
 * stored unchecked.  orvStsNullPtr if pState or pPairs is null.  The library
 * never frees a buffer set this way.  One function under both names. */
ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77SetPairs_8u(LZ77Pair* pPairs, int32_t pairIndex,
                                                         int32_t pairLength, LZ77EncoderState* pState);
ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77SetPairs_8u(LZ77Pair* pPairs, int32_t pairIndex,
                                                         int32_t pairLength, LZ77DecoderState* pState);

#ifdef __cplusplus
}
#endif

#include "lz77_encode.h"
#include "lz77_decode.h"

#endif /* ORVDC_LZ77_H */
