/*
 * orvdc: data-compression primitives behind a plain C interface.
 *
 * Every data operation is an exported function over caller-owned buffers that
 * returns a signed 32-bit status (orvStatus): 0 is success, negative values are
 * errors (nothing the caller may rely on was done), positive values are
 * resumable warnings (useful work was done; all in/out arguments are updated).
 *
 * Arguments are checked before any memory is touched, in one order: required
 * pointers first (orvStsNullPtr; for pointer-to-pointer arguments also the
 * pointer they hold), then lengths, sizes and modes (orvStsBadSize or the
 * family's own code), then the identifier word of an object that has one.
 * An error leaves every output and every state untouched.
 *
 * Stream-oriented calls take the source and destination as the address of a
 * pointer plus the address of a length; on return the pointers are advanced
 * past what was consumed and produced and the lengths reduced by as much.
 *
 * State objects are either placed by the caller in memory of its own
 * (GetSize, then Init; the caller keeps ownership) or allocated by the
 * library (InitAlloc, then the family's Free); an allocated state starts
 * from zero-filled memory, so nothing the heap held before can surface
 * through it.  The library keeps no global mutable state other than one word
 * caching the processor's feature bits (filled on first use with relaxed
 * atomic operations; results never depend on it), allocates only in InitAlloc
 * functions, and runs nothing at load time.  Distinct state objects may be
 * used from distinct threads.
 *
 * Calling convention: the platform's default C convention (cdecl) on every
 * target, written out as ORVDC_CALL.  The header is plain C99 and can be
 * included from C and C++.
 */
#ifndef ORVDC_H
#define ORVDC_H

#include <stdint.h>

#if defined(_WIN32)
#  define ORVDC_CALL __cdecl
#  define ORVDC_API
#elif defined(__GNUC__)
#  define ORVDC_CALL
#  define ORVDC_API __attribute__((visibility("default")))
#else
#  define ORVDC_CALL
#  define ORVDC_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Status codes                                                              */
/* ------------------------------------------------------------------------ */

typedef int32_t orvStatus;

enum {
    orvStsOk = 0,               /* success */
    orvStsError = -1,           /* internal failure (never returned by an export) */
    orvStsBadStream = -2,       /* deflate block of the wrong or reserved type; encoder not in trailer phase */
    orvStsBadArg = -5,          /* a parameter value the operation cannot support */
    orvStsBadSize = -6,         /* length, count, size, bit offset or index out of range; malformed data */
    orvStsNullPtr = -8,         /* a required pointer is null */
    orvStsNoMemory = -9,        /* the allocation of an InitAlloc operation failed */
    orvStsBadContext = -127,    /* VLC: wrong identifier word, bit offset or count */
    orvStsBadCodeLength = -129, /* VLC: no decoding table can be built from the code table */
    orvStsBadFreqTable = -197,  /* Huffman: no code can be built from the frequencies */
    orvStsNoCode = -198,        /* Huffman: a symbol without a code, or no valid code */
    orvStsCodeTooLong = -199,   /* Huffman: a code length would exceed 32 */
    orvStsSrcEnd = 32,          /* warning: the source ran out; call again with more input */
    orvStsDstFull = 33,         /* warning: the destination is full; call again with more room */
    orvStsStreamEnd = 34        /* warning: the final deflate block is complete */
};

/* ------------------------------------------------------------------------ */
/* Library version                                                           */
/* ------------------------------------------------------------------------ */

typedef struct VersionRecord {
    int32_t versionMajor;    /* 5 */
    int32_t versionMinor;    /* 1 */
    int32_t buildNumber;     /* 133 */
    int32_t revision;        /* 181 */
    char cpuTarget[4];       /* "t7", zero-padded */
    const char* fileName;    /* "orvdct7-5.1.dll" */
    const char* versionText; /* "5.1.1" */
    const char* buildDate;   /* "Jun 16 2006" */
} VersionRecord;

/* Returns the library's constant version record. Never fails; the record and
 * its texts are read-only static data that the caller must not free. */
ORVDC_API const VersionRecord* ORVDC_CALL orvdcGetLibVersion(void);

/* ------------------------------------------------------------------------ */
/* Shared Free                                                               */
/* ------------------------------------------------------------------------ */

/* Releases a state object made by an InitAlloc function of the GIT, Huffman,
 * LZ77, LZSS, move-to-front or bzip2 run-length family.  The six names are one
 * function: any of them releases a state of any of those families.  A null
 * pointer is ignored.  Never pass memory that the caller laid out with Init. */
ORVDC_API void ORVDC_CALL orvsGITFree_8u(void* pState);
ORVDC_API void ORVDC_CALL orvsHuffFree_8u(void* pState);
ORVDC_API void ORVDC_CALL orvsLZ77Free_8u(void* pState);
ORVDC_API void ORVDC_CALL orvsLZSSFree_8u(void* pState);
ORVDC_API void ORVDC_CALL orvsMTFFree_8u(void* pState);
ORVDC_API void ORVDC_CALL orvsRLEFree_BZ2_8u(void* pState);

/* ------------------------------------------------------------------------ */
/* Checksums                                                                 */
/* ------------------------------------------------------------------------ */

/* CRC-32 as in zlib and gzip (reflected polynomial 0xEDB88320).  *pCRC holds
 * the finished CRC of everything seen so far (start a stream from 0) and is
 * updated over pSrc[0..len).  From 0, "123456789" gives 0xCBF43926.
 * Statuses: orvStsNullPtr if pSrc or pCRC is null; orvStsBadSize if len < 1
 * (the cell is left unchanged); orvStsOk otherwise. */
ORVDC_API orvStatus ORVDC_CALL orvsCRC32_8u(const uint8_t* pSrc, int32_t len, uint32_t* pCRC);

/* The bzip2 block CRC: the same polynomial, most significant bit first, with
 * the same inversion around the register.  Start a block from 0.  From 0,
 * "123456789" gives 0xFC891918.  Statuses as orvsCRC32_8u. */
ORVDC_API orvStatus ORVDC_CALL orvsCRC32_BZ2_8u(const uint8_t* pSrc, int32_t len, uint32_t* pCRC);

/* Adler-32 (RFC 1950): *pAdler holds s2 in its upper and s1 in its lower 16
 * bits; start a stream from 1.  From 1, "123456789" gives 0x091E01DE.
 * Statuses: orvStsNullPtr if pAdler is null; otherwise, if pSrc is null the
 * cell is set to 0 and the result is orvStsBadSize; if len < 1 the cell is
 * left as it was and the result is orvStsOk. */
ORVDC_API orvStatus ORVDC_CALL orvsAdler32_8u(const uint8_t* pSrc, int32_t len, uint32_t* pAdler);

#ifdef __cplusplus
}
#endif

/* The families of coding stages, one header each. */
#include "orvdc/bwt.h"
#include "orvdc/mtf_rle.h"
#include "orvdc/bzip2.h"
#include "orvdc/huffman.h"
#include "orvdc/lz77.h"
#include "orvdc/lzss.h"
#include "orvdc/git.h"
#include "orvdc/vlc.h"

#endif /* ORVDC_H */
