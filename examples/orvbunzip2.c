/* orvbunzip2: restores .bz2 files through the library's inverse stages.
 *
 *   orvbunzip2 [-c] FILE.bz2     writes FILE (or to stdout with -c)
 *
 * This program parses the stream framing and decodes the Huffman-coded
 * symbols (bzip2_format.h); the library then undoes the zero-run coding, the
 * move-to-front, the dictionary reduction, the Burrows-Wheeler transform and
 * the run-length stage, and checks each block's bzip2 CRC and the stream CRC.
 * Concatenated streams are restored one after another.  Damaged input ends
 * the program with a message and exit status 1; a partly written output
 * file is removed. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <orvdc.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define SET_BINARY_MODE(f) _setmode(_fileno(f), _O_BINARY)
#else
#define SET_BINARY_MODE(f) ((void)0)
#endif

#include "bzip2_format.h"

#define MAX_LEVEL_BLOCK 900000
#define MAX_SELECTORS 32767

typedef struct {
    BzReader in;
    FILE* out;
    uint16_t* symbols;
    uint8_t* bytes;     /* move-to-front indices, then the transformed block */
    uint8_t* block;     /* the run-length coded block */
    uint8_t* work;      /* inverse transform work buffer */
    uint8_t* raw;       /* the restored bytes of a block */
    size_t rawCapacity;
    uint8_t selectors[MAX_SELECTORS];
    BzDecodeTable tables[BZ_MAX_TABLES];
    uint8_t mtfState[256];
    const char* error;  /* set on the first failure */
} Decoder;

static int bad(Decoder* d, const char* why) {
    if (d->error == NULL) d->error = why;
    return 0;
}

/* As bad(), for functions that return a count or -1. */
static int32_t badCount(Decoder* d, const char* why) {
    bad(d, why);
    return -1;
}

static uint32_t getBits(Decoder* d, int n) {
    return bzrGet(&d->in, n);
}

static int truncated(Decoder* d) {
    return d->in.overrun ? bad(d, "unexpected end of data (file truncated?)") : 1;
}

/* Reads the block header after its magic and decodes its symbols into
 * d->symbols.  Returns the number of symbols before the end-of-block symbol,
 * or -1. */
static int32_t readSymbols(Decoder* d, int32_t blockMax, uint8_t inUse[256], int32_t* dictSize,
                           int32_t* origin) {
    uint8_t len[BZ_MAX_ALPHA], list[BZ_MAX_TABLES];
    uint32_t ranges;
    int32_t nSelectors, nSym = 0, selector = 0, groupLeft = 0, runDigits = 0, i;
    int nTables, alpha, t, v, k;
    const BzDecodeTable* table = NULL;

    if (getBits(d, 1) != 0) return badCount(d, "randomised blocks (from bzip2 0.9.0) are not supported");
    *origin = (int32_t)getBits(d, 24);

    memset(inUse, 0, 256);
    *dictSize = 0;
    ranges = getBits(d, 16);
    for (i = 0; i < 16; ++i) {
        if (!(ranges & (0x8000u >> i))) continue;
        for (k = 0; k < 16; ++k) {
            if (getBits(d, 1)) {
                inUse[i * 16 + k] = 1;
                ++*dictSize;
            }
        }
    }
    if (!truncated(d)) return -1;
    if (*dictSize == 0) return badCount(d, "block uses no byte values");
    alpha = *dictSize + 2;

    nTables = (int)getBits(d, 3);
    if (nTables < BZ_MIN_TABLES || nTables > BZ_MAX_TABLES) return badCount(d, "bad number of Huffman tables");
    nSelectors = (int32_t)getBits(d, 15);
    if (nSelectors < 1) return badCount(d, "no selectors");
    for (t = 0; t < nTables; ++t) list[t] = (uint8_t)t;
    for (i = 0; i < nSelectors; ++i) {
        uint8_t s;
        int pos = 0;
        while (getBits(d, 1)) {
            if (++pos >= nTables) return badCount(d, "bad selector");
        }
        if (d->in.overrun) return badCount(d, "unexpected end of data (file truncated?)");
        s = list[pos];
        memmove(list + 1, list, (size_t)pos);
        list[0] = s;
        d->selectors[i] = s;
    }
    for (t = 0; t < nTables; ++t) {
        int cur = (int)getBits(d, 5);
        for (v = 0; v < alpha; ++v) {
            for (;;) {
                if (cur < 1 || cur > BZ_MAX_CODE_LEN) return badCount(d, "bad Huffman code length");
                if (!getBits(d, 1)) break;
                cur += getBits(d, 1) ? -1 : 1;
                if (d->in.overrun) return badCount(d, "unexpected end of data (file truncated?)");
            }
            len[v] = (uint8_t)cur;
        }
        if (!truncated(d)) return -1;
        if (!bzBuildDecoder(len, alpha, &d->tables[t])) return badCount(d, "bad Huffman table");
    }

    for (;;) {
        int s;
        if (groupLeft == 0) {
            if (selector >= nSelectors) return badCount(d, "block runs past its last selector");
            table = &d->tables[d->selectors[selector++]];
            groupLeft = BZ_GROUP_SIZE;
        }
        s = bzDecodeSymbol(&d->in, table);
        --groupLeft;
        if (s < 0) return badCount(d, "invalid Huffman code");
        if (!truncated(d)) return -1;
        if (s == alpha - 1) break;
        /* k run digits stand for at least 2^k - 1 zeros: 20 digits already
         * exceed any block, and stopping there keeps the run count small. */
        if (s <= 1) {
            if (++runDigits >= 20) return badCount(d, "zero run longer than the block");
        } else {
            runDigits = 0;
        }
        if (nSym >= blockMax) return badCount(d, "block longer than its declared size");
        d->symbols[nSym++] = (uint16_t)s;
    }
    return nSym;
}

static int reserveRaw(Decoder* d, size_t need) {
    uint8_t* p;
    if (d->rawCapacity >= need) return 1;
    p = (uint8_t*)realloc(d->raw, need);
    if (p == NULL) return bad(d, "out of memory");
    d->raw = p;
    d->rawCapacity = need;
    return 1;
}

/* Decodes one block (its magic already read) and writes it; returns its CRC
 * through *blockCrc. */
static int decodeBlock(Decoder* d, int32_t blockMax, uint32_t* blockCrc) {
    uint8_t inUse[256];
    uint32_t storedCrc = getBits(d, 32), crc = 0;
    int32_t dictSize, origin, nSym, n, srcLen, rawLen;
    const uint16_t* symSrc;
    const uint8_t* src;
    orvStatus st;

    nSym = readSymbols(d, blockMax, inUse, &dictSize, &origin);
    if (nSym < 0) return 0;
    if (nSym == 0) return bad(d, "empty block");

    symSrc = d->symbols;
    srcLen = nSym;
    n = blockMax;
    st = orvsDecodeZ1Z2_BZ2_16u8u(&symSrc, &srcLen, d->bytes, &n);
    if (st == orvStsDstFull) return bad(d, "block longer than its declared size");
    if (st != orvStsOk || srcLen != 0) return bad(d, "zero-run decoding failed");
    if (origin >= n) return bad(d, "origin pointer outside the block");

    if (orvsMTFInit_8u((MTFState*)d->mtfState) != orvStsOk ||
        orvsMTFInv_8u(d->bytes, d->bytes, n, (MTFState*)d->mtfState) != orvStsOk)
        return bad(d, "inverse move-to-front failed");
    /* The move-to-front list starts as 0, 1, 2, ...: symbols stay below the
     * dictionary size, so every index maps to a value in use. */
    if (orvsExpandDictionary_8u_I(inUse, d->bytes, n, dictSize) != orvStsOk)
        return bad(d, "dictionary expansion failed");
    if (orvsBWTInv_8u(d->bytes, d->block, n, origin, d->work) != orvStsOk)
        return bad(d, "inverse Burrows-Wheeler transform failed");

    /* The run-length decoder takes a whole block per call: retry with more
     * room until it fits (five bytes expand to at most 259). */
    if (!reserveRaw(d, (size_t)n * 4 + 1024)) return 0;
    for (;;) {
        src = d->block;
        srcLen = n;
        rawLen = d->rawCapacity > 0x7FFFFFFF ? 0x7FFFFFFF : (int32_t)d->rawCapacity;
        st = orvsDecodeRLE_BZ2_8u(&src, &srcLen, d->raw, &rawLen);
        if (st == orvStsOk) break;
        if (st != orvStsDstFull) return bad(d, "run-length decoding failed");
        if (!reserveRaw(d, d->rawCapacity * 2)) return 0;
    }
    if (rawLen > 0) orvsCRC32_BZ2_8u(d->raw, rawLen, &crc);
    if (crc != storedCrc) return bad(d, "block CRC mismatch (data corrupt)");
    if (fwrite(d->raw, 1, (size_t)rawLen, d->out) != (size_t)rawLen) return bad(d, "write failed");
    *blockCrc = crc;
    return 1;
}

/* Restores every stream of the buffer. */
static int decodeAll(Decoder* d) {
    int streams = 0;
    for (;;) {
        uint32_t streamCrc = 0, level;
        int32_t blockMax;
        bzrAlign(&d->in);
        if (streams > 0 && bzrBytesLeft(&d->in) == 0) return 1;
        if (bzrPeek(&d->in, 24) != 0x425A68u || bzrBytesLeft(&d->in) < 4) {
            if (streams == 0) return bad(d, "not a bzip2 file");
            fprintf(stderr, "orvbunzip2: trailing garbage after the last stream ignored\n");
            return 1;
        }
        getBits(d, 24);
        level = getBits(d, 8);
        if (level < '1' || level > '9') return bad(d, "bad block size in the stream header");
        blockMax = (int32_t)(level - '0') * 100000;
        for (;;) {
            uint32_t hi = getBits(d, 24), lo = getBits(d, 24), blockCrc = 0;
            if (!truncated(d)) return 0;
            if (hi == BZ_BLOCK_MAGIC_HI && lo == BZ_BLOCK_MAGIC_LO) {
                if (!decodeBlock(d, blockMax, &blockCrc)) return 0;
                streamCrc = bzCombineCrc(streamCrc, blockCrc);
            } else if (hi == BZ_END_MAGIC_HI && lo == BZ_END_MAGIC_LO) {
                uint32_t stored = getBits(d, 32);
                if (!truncated(d)) return 0;
                if (stored != streamCrc) return bad(d, "stream CRC mismatch (data corrupt)");
                break;
            } else {
                return bad(d, "bad block header (data corrupt)");
            }
        }
        ++streams;
    }
}

static uint8_t* readWhole(FILE* f, size_t* size) {
    size_t cap = 1 << 16, n = 0;
    uint8_t* data = (uint8_t*)malloc(cap);
    while (data != NULL) {
        size_t got = fread(data + n, 1, cap - n, f);
        n += got;
        if (n < cap) {
            if (ferror(f)) break;
            *size = n;
            return data;
        }
        {
            uint8_t* p = (uint8_t*)realloc(data, cap * 2);
            if (p == NULL) break;
            data = p;
            cap *= 2;
        }
    }
    free(data);
    return NULL;
}

int main(int argc, char** argv) {
    static Decoder d;
    const char* inPath;
    char* outPath = NULL;
    uint8_t* data;
    size_t size = 0;
    int32_t workSize;
    FILE* in;
    int toStdout = 0, ok, writeFailed;

    if (argc == 3 && strcmp(argv[1], "-c") == 0) {
        toStdout = 1;
        inPath = argv[2];
    } else if (argc == 2 && argv[1][0] != '-') {
        inPath = argv[1];
    } else {
        fprintf(stderr, "usage: %s [-c] FILE.bz2   (writes FILE, or stdout with -c)\n", argv[0]);
        return 2;
    }
    in = fopen(inPath, "rb");
    if (in == NULL) {
        perror(inPath);
        return 1;
    }
    data = readWhole(in, &size);
    fclose(in);
    if (data == NULL) {
        fprintf(stderr, "orvbunzip2: cannot read %s\n", inPath);
        return 1;
    }
    if (toStdout) {
        d.out = stdout;
        SET_BINARY_MODE(stdout);
    } else {
        size_t len = strlen(inPath);
        outPath = (char*)malloc(len + 5);
        if (outPath == NULL) {
            free(data);
            return 1;
        }
        memcpy(outPath, inPath, len + 1);
        if (len > 4 && strcmp(inPath + len - 4, ".bz2") == 0)
            outPath[len - 4] = '\0';
        else
            memcpy(outPath + len, ".out", 5);
        d.out = fopen(outPath, "wb");
        if (d.out == NULL) {
            perror(outPath);
            free(outPath);
            free(data);
            return 1;
        }
    }

    bzrInit(&d.in, data, size);
    orvsBWTInvGetSize_8u(MAX_LEVEL_BLOCK, &workSize);
    d.symbols = (uint16_t*)malloc(sizeof(uint16_t) * MAX_LEVEL_BLOCK);
    d.bytes = (uint8_t*)malloc(MAX_LEVEL_BLOCK);
    d.block = (uint8_t*)malloc(MAX_LEVEL_BLOCK);
    d.work = (uint8_t*)malloc((size_t)workSize);
    if (!d.symbols || !d.bytes || !d.block || !d.work)
        ok = bad(&d, "out of memory");
    else
        ok = decodeAll(&d);

    writeFailed = fflush(d.out) != 0;
    if (!toStdout) writeFailed |= fclose(d.out) != 0;
    if (writeFailed && ok) ok = bad(&d, "write failed");
    if (!ok) {
        fprintf(stderr, "orvbunzip2: %s: %s\n", inPath, d.error ? d.error : "failed");
        if (outPath != NULL) remove(outPath);
    }
    free(outPath);
    free(data);
    free(d.symbols);
    free(d.bytes);
    free(d.block);
    free(d.work);
    free(d.raw);
    return ok ? 0 : 1;
}
