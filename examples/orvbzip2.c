/* orvbzip2: a bzip2-compatible compressor built on the library's stages.
 *
 *   orvbzip2 [-c] FILE      writes FILE.bz2 (or the stream to stdout with -c)
 *
 * Each block of up to 900 kB of run-length coded input goes through the
 * library's pipeline: the bzip2 CRC of the raw bytes, the bzip2 run-length
 * stage (which also records the byte values in use), the Burrows-Wheeler
 * transform, dictionary reduction to the values in use, move-to-front and
 * zero-run coding to 16-bit symbols with their frequencies.  The entropy
 * coding is this program's own: two to six Huffman tables chosen per group of
 * 50 symbols, refined over a few passes, with the bzip2 stream framing from
 * bzip2_format.h. */
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

/* Run-length coded bytes per block: the format allows 900000 for "BZh9";
 * staying 19 below leaves the same margin common writers keep. */
#define BLOCK_MAX (900000 - 19)
#define INPUT_CHUNK (1 << 16)
#define MAX_CODE_LEN 17   /* what the tables use; decoders accept up to 20 */
#define REFINE_PASSES 4

typedef struct {
    uint8_t* block;     /* run-length coded block, then its transform */
    uint8_t* work;      /* transform work buffer */
    uint16_t* symbols;  /* zero-run coded symbols and the end-of-block symbol */
    uint8_t* selectors;
    uint32_t rleState[(264 + 3) / 4]; /* RLEState needs 4-byte alignment */
    uint8_t mtfState[256];
} Compressor;

static int fail(const char* what, orvStatus st) {
    fprintf(stderr, "orvbzip2: %s failed (status %d)\n", what, (int)st);
    return 0;
}

/* Picks the tables and the selector of every group of 50 symbols, then writes
 * the block's table part and its symbols.  The first tables each give short
 * codes to a slice of the alphabet holding about an equal share of the
 * symbols; each pass then gives every group the table that codes it in the
 * fewest bits and rebuilds each table from the symbols of its groups. */
static void writeTablesAndSymbols(BzWriter* w, const uint16_t* sym, int32_t nSym, const uint32_t* freq,
                                  int alpha, uint8_t* selectors) {
    static uint8_t len[BZ_MAX_TABLES][BZ_MAX_ALPHA];
    static uint32_t tableFreq[BZ_MAX_TABLES][BZ_MAX_ALPHA];
    static uint32_t code[BZ_MAX_TABLES][BZ_MAX_ALPHA];
    int nTables = nSym < 200 ? 2 : nSym < 600 ? 3 : nSym < 1200 ? 4 : nSym < 2400 ? 5 : 6;
    int32_t nGroups = (nSym + BZ_GROUP_SIZE - 1) / BZ_GROUP_SIZE;
    int32_t remaining = nSym, g;
    int t, v, pass, lo = 0;
    uint8_t list[BZ_MAX_TABLES];

    for (t = 0; t < nTables; ++t) {
        int32_t target = remaining / (nTables - t), taken = 0;
        int hi = lo - 1;
        while (taken < target && hi < alpha - 1) taken += (int32_t)freq[++hi];
        for (v = 0; v < alpha; ++v) len[t][v] = (uint8_t)(v >= lo && v <= hi ? 1 : 15);
        lo = hi + 1;
        remaining -= taken;
    }

    for (pass = 0; pass < REFINE_PASSES; ++pass) {
        memset(tableFreq, 0, sizeof tableFreq);
        for (g = 0; g < nGroups; ++g) {
            int32_t begin = g * BZ_GROUP_SIZE, end = begin + BZ_GROUP_SIZE, i;
            uint32_t cost[BZ_MAX_TABLES] = {0};
            int best = 0;
            if (end > nSym) end = nSym;
            for (i = begin; i < end; ++i)
                for (t = 0; t < nTables; ++t) cost[t] += len[t][sym[i]];
            for (t = 1; t < nTables; ++t)
                if (cost[t] < cost[best]) best = t;
            selectors[g] = (uint8_t)best;
            for (i = begin; i < end; ++i) tableFreq[best][sym[i]]++;
        }
        for (t = 0; t < nTables; ++t) bzHuffmanLengths(tableFreq[t], alpha, MAX_CODE_LEN, len[t]);
    }
    for (t = 0; t < nTables; ++t) bzAssignCodes(len[t], alpha, code[t]);

    bzwPut(w, 3, (uint32_t)nTables);
    bzwPut(w, 15, (uint32_t)nGroups);
    for (t = 0; t < nTables; ++t) list[t] = (uint8_t)t;
    for (g = 0; g < nGroups; ++g) {
        int pos = 0;
        uint8_t s = selectors[g];
        while (list[pos] != s) ++pos;
        memmove(list + 1, list, (size_t)pos);
        list[0] = s;
        while (pos-- > 0) bzwPut(w, 1, 1);
        bzwPut(w, 1, 0);
    }
    for (t = 0; t < nTables; ++t) {
        int cur = len[t][0];
        bzwPut(w, 5, (uint32_t)cur);
        for (v = 0; v < alpha; ++v) {
            for (; cur < len[t][v]; ++cur) bzwPut(w, 2, 2);
            for (; cur > len[t][v]; --cur) bzwPut(w, 2, 3);
            bzwPut(w, 1, 0);
        }
    }
    for (g = 0; g < nGroups; ++g) {
        int32_t begin = g * BZ_GROUP_SIZE, end = begin + BZ_GROUP_SIZE, i;
        t = selectors[g];
        if (end > nSym) end = nSym;
        for (i = begin; i < end; ++i) bzwPut(w, len[t][sym[i]], code[t][sym[i]]);
    }
}

/* Transforms and writes one block of n >= 1 run-length coded bytes. */
static int compressBlock(Compressor* c, int32_t n, uint32_t crc, BzWriter* w) {
    uint8_t inUse[256];
    uint32_t freq[BZ_MAX_ALPHA] = {0};
    const uint8_t* src;
    int32_t index, dictSize, srcLen, nSym, i, j;
    uint32_t ranges = 0;
    orvStatus st;

    if ((st = orvsBWTFwd_8u(c->block, c->block, n, &index, c->work)) != orvStsOk)
        return fail("Burrows-Wheeler transform", st);
    if ((st = orvsRLEGetInUseTable_8u(inUse, (const RLEState*)c->rleState)) != orvStsOk)
        return fail("in-use table", st);
    if ((st = orvsReduceDictionary_8u_I(inUse, c->block, n, &dictSize)) != orvStsOk)
        return fail("dictionary reduction", st);
    if ((st = orvsMTFInit_8u((MTFState*)c->mtfState)) != orvStsOk ||
        (st = orvsMTFFwd_8u(c->block, c->block, n, (MTFState*)c->mtfState)) != orvStsOk)
        return fail("move-to-front", st);
    /* A destination of n symbols takes the whole block in one call. */
    src = c->block;
    srcLen = n;
    nSym = n;
    st = orvsEncodeZ1Z2_BZ2_8u16u(&src, &srcLen, c->symbols, &nSym, freq);
    if (st != orvStsOk || srcLen != 0) return fail("zero-run coding", st);
    c->symbols[nSym++] = (uint16_t)(dictSize + 1); /* end of block */
    freq[dictSize + 1]++;

    bzwPut(w, 24, BZ_BLOCK_MAGIC_HI);
    bzwPut(w, 24, BZ_BLOCK_MAGIC_LO);
    bzwPut(w, 32, crc);
    bzwPut(w, 1, 0); /* not randomised */
    bzwPut(w, 24, (uint32_t)index);
    for (i = 0; i < 16; ++i)
        for (j = 0; j < 16; ++j)
            if (inUse[i * 16 + j]) ranges |= 0x8000u >> i;
    bzwPut(w, 16, ranges);
    for (i = 0; i < 16; ++i) {
        if (!(ranges & (0x8000u >> i))) continue;
        for (j = 0; j < 16; ++j) bzwPut(w, 1, inUse[i * 16 + j] ? 1 : 0);
    }
    writeTablesAndSymbols(w, c->symbols, nSym, freq, dictSize + 2, c->selectors);
    return 1;
}

static int compressStream(FILE* in, FILE* out) {
    static uint8_t input[INPUT_CHUNK];
    Compressor c;
    BzWriter w;
    size_t inLen = 0, inPos = 0;
    uint32_t streamCrc = 0;
    int32_t workSize;
    int ok = 1, atEnd = 0;
    orvStatus st;

    if ((st = orvsBWTFwdGetSize_8u(BLOCK_MAX, &workSize)) != orvStsOk)
        return fail("transform buffer size", st);
    c.block = (uint8_t*)malloc(BLOCK_MAX);
    c.work = (uint8_t*)malloc((size_t)workSize);
    c.symbols = (uint16_t*)malloc(sizeof(uint16_t) * (BLOCK_MAX + 1));
    c.selectors = (uint8_t*)malloc(BLOCK_MAX / BZ_GROUP_SIZE + 2);
    bzwInit(&w);
    if (!c.block || !c.work || !c.symbols || !c.selectors) {
        fprintf(stderr, "orvbzip2: out of memory\n");
        ok = 0;
    }
    if (ok) {
        bzwPut(&w, 24, 0x425A68u); /* "BZh" */
        bzwPut(&w, 8, '9');
    }
    while (ok && !atEnd) {
        int32_t n = 0, room;
        uint32_t crc = 0;

        if ((st = orvsEncodeRLEInit_BZ2_8u((RLEState*)c.rleState)) != orvStsOk) {
            ok = fail("run-length init", st);
            break;
        }
        /* Fill the block, keeping one byte for the count the flush may owe. */
        while (n < BLOCK_MAX - 1) {
            const uint8_t* src;
            int32_t srcLen, used;
            if (inPos == inLen) {
                inLen = fread(input, 1, sizeof input, in);
                inPos = 0;
                if (inLen == 0) {
                    if (ferror(in)) {
                        perror("orvbzip2: read");
                        ok = 0;
                    }
                    atEnd = 1;
                    break;
                }
            }
            src = input + inPos;
            srcLen = (int32_t)(inLen - inPos);
            room = BLOCK_MAX - 1 - n;
            st = orvsEncodeRLE_BZ2_8u(&src, &srcLen, c.block + n, &room, (RLEState*)c.rleState);
            if (st != orvStsOk && st != orvStsDstFull) {
                ok = fail("run-length coding", st);
                break;
            }
            used = (int32_t)(src - (input + inPos));
            if (used > 0) orvsCRC32_BZ2_8u(input + inPos, used, &crc);
            inPos += (size_t)used;
            n += room;
            if (st == orvStsDstFull) break;
        }
        if (!ok) break;
        room = 1;
        if ((st = orvsEncodeRLEFlush_BZ2_8u(c.block + n, &room, (RLEState*)c.rleState)) != orvStsOk) {
            ok = fail("run-length flush", st);
            break;
        }
        n += room;
        if (n == 0) break;
        if (!compressBlock(&c, n, crc, &w) || !bzwDrain(&w, out)) {
            ok = 0;
            break;
        }
        streamCrc = bzCombineCrc(streamCrc, crc);
    }
    if (ok) {
        bzwPut(&w, 24, BZ_END_MAGIC_HI);
        bzwPut(&w, 24, BZ_END_MAGIC_LO);
        bzwPut(&w, 32, streamCrc);
        bzwAlign(&w);
        if (!bzwDrain(&w, out)) {
            fprintf(stderr, "orvbzip2: write failed\n");
            ok = 0;
        }
    }
    bzwRelease(&w);
    free(c.block);
    free(c.work);
    free(c.symbols);
    free(c.selectors);
    return ok;
}

int main(int argc, char** argv) {
    const char* inPath;
    char* outPath = NULL;
    FILE *in, *out;
    int toStdout = 0, ok, writeFailed;

    if (argc == 3 && strcmp(argv[1], "-c") == 0) {
        toStdout = 1;
        inPath = argv[2];
    } else if (argc == 2 && argv[1][0] != '-') {
        inPath = argv[1];
    } else {
        fprintf(stderr, "usage: %s [-c] FILE   (writes FILE.bz2, or stdout with -c)\n", argv[0]);
        return 2;
    }
    in = fopen(inPath, "rb");
    if (in == NULL) {
        perror(inPath);
        return 1;
    }
    if (toStdout) {
        out = stdout;
        SET_BINARY_MODE(stdout);
    } else {
        size_t len = strlen(inPath);
        outPath = (char*)malloc(len + 5);
        if (outPath == NULL) {
            fclose(in);
            return 1;
        }
        memcpy(outPath, inPath, len);
        memcpy(outPath + len, ".bz2", 5);
        out = fopen(outPath, "wb");
        if (out == NULL) {
            perror(outPath);
            free(outPath);
            fclose(in);
            return 1;
        }
    }
    ok = compressStream(in, out);
    fclose(in);
    writeFailed = fflush(out) != 0;
    if (!toStdout) writeFailed |= fclose(out) != 0;
    if (writeFailed) {
        if (ok) perror("orvbzip2: write");
        ok = 0;
    }
    if (!ok && outPath != NULL) remove(outPath);
    free(outPath);
    return ok ? 0 : 1;
}
