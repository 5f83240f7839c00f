/* orvgzip: a gzip-compatible compressor built only on orvdc's deflate stages.
 *
 *   orvgzip [-0|-1|-2] [-c] FILE     writes FILE.gz (or standard output with -c)
 *   orvgzip [-0|-1|-2] < in > out.gz
 *
 * -0, -1, -2 choose the match finder level (fast, average, best; default 2).
 *
 * It drives the encoder the way every caller does: collect pairs from the
 * match finder into the state's pair buffer, ask the selector for a fixed or
 * dynamic block, write the block, repeat; the block written after the match
 * finder has consumed all of the source is written with LZ77FlushFinish and
 * becomes the final block; then the trailer (CRC-32 and length) is flushed. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <orvdc.h>

#include "example_io.h"

static int fail(const char* what, orvStatus st) {
    fprintf(stderr, "orvgzip: %s failed (status %d)\n", what, (int)st);
    return 0;
}

/* Runs a block writer until it has consumed its pairs and written all it
 * owes, growing the output as needed.  Returns the writer's final status. */
typedef orvStatus(ORVDC_CALL* BlockWriter)(const LZ77Pair**, int32_t*, uint8_t**, int32_t*, LZ77FlushMode,
                                           LZ77EncoderState*);

static orvStatus writeBlock(BlockWriter writer, const LZ77Pair* pairs, int32_t count, LZ77FlushMode flush,
                            LZ77EncoderState* enc, ExBuffer* out) {
    orvStatus st;
    do {
        if (!exReserve(out, 65536)) return orvStsNoMemory;
        uint8_t* dst = out->data + out->size;
        int32_t room = 65536;
        st = writer(&pairs, &count, &dst, &room, flush, enc);
        out->size += (size_t)(65536 - room);
    } while (st == orvStsDstFull);
    return st;
}

/* Compresses src into out as a complete gzip member. */
static int gzipCompress(const uint8_t* src, int32_t srcLen, LZ77ComprLevel level, ExBuffer* out) {
    static const uint8_t header[10] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3};
    LZ77EncoderState* enc = NULL;
    orvStatus st = orvsEncodeLZ77InitAlloc_8u(level, LZ77ChecksumCRC32, &enc);
    if (st != orvStsOk) return fail("InitAlloc", st);
    int ok = exAppend(out, header, sizeof header);

    if (srcLen == 0) {
        /* No pairs, no block: write an empty final stored block instead, then
         * let a pair writer without pairs close the stream for Flush. */
        static const uint8_t nothing[1] = {0};
        const uint8_t* s = nothing;
        int32_t n = 0;
        ok = ok && exReserve(out, 16);
        uint8_t* dst = out->data + out->size;
        int32_t room = 16;
        st = orvsEncodeLZ77StoredBlock_8u(&s, &n, &dst, &room, LZ77FlushFinish, enc);
        out->size += (size_t)(16 - room);
        static const LZ77Pair noPairs[1] = {{0, 0}};
        if (ok && st == orvStsOk) st = writeBlock(orvsEncodeLZ77FixedHuff_8u, noPairs, 0, LZ77FlushFinish, enc, out);
        if (st != orvStsStreamEnd) ok = ok && fail("empty stream", st);
    }

    while (ok && srcLen > 0) {
        LZ77Pair* pairs;
        int32_t index, capacity;
        orvsEncodeLZ77SetStatus_8u(LZ77DeflateCollectPairs, enc);
        orvsEncodeLZ77GetPairs_8u(&pairs, &index, &capacity, enc);
        LZ77Pair* next = pairs + index;
        int32_t room = capacity - index;
        st = orvsEncodeLZ77_8u(&src, &srcLen, &next, &room, LZ77FlushNone, enc);
        if (st != orvStsOk && st != orvStsDstFull) { ok = fail("match finder", st); break; }
        orvsEncodeLZ77SetPairs_8u(pairs, (int32_t)(next - pairs), capacity, enc);

        int32_t count;
        orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, enc);
        orvsEncodeLZ77GetPairs_8u(&pairs, &index, &count, enc);
        LZ77HuffMode mode;
        st = orvsEncodeLZ77SelectHuffMode_8u(pairs + index, count - index, &mode, enc);
        if (st != orvStsOk) { ok = fail("selector", st); break; }
        const LZ77FlushMode flush = srcLen == 0 ? LZ77FlushFinish : LZ77FlushNone;
        st = writeBlock(mode == LZ77HuffDynamic ? orvsEncodeLZ77DynamicHuff_8u : orvsEncodeLZ77FixedHuff_8u,
                        pairs + index, count - index, flush, enc, out);
        if (st != (srcLen == 0 ? orvStsStreamEnd : orvStsOk)) ok = fail("block writer", st);
    }

    orvsEncodeLZ77SetStatus_8u(LZ77DeflateTrailer, enc);
    do {
        if (!ok || !exReserve(out, 16)) { ok = 0; break; }
        uint8_t* dst = out->data + out->size;
        int32_t room = 16;
        st = orvsEncodeLZ77Flush_8u(&dst, &room, enc);
        out->size += (size_t)(16 - room);
    } while (st == orvStsDstFull);
    if (ok && st != orvStsOk) ok = fail("trailer", st);
    orvsLZ77Free_8u(enc);
    return ok;
}

int main(int argc, char** argv) {
    LZ77ComprLevel level = LZ77LevelBest;
    int toStdout = 0;
    const char* path = "-";
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-0") == 0) level = LZ77LevelFast;
        else if (strcmp(argv[i], "-1") == 0) level = LZ77LevelAverage;
        else if (strcmp(argv[i], "-2") == 0) level = LZ77LevelBest;
        else if (strcmp(argv[i], "-c") == 0) toStdout = 1;
        else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            fprintf(stderr, "usage: %s [-0|-1|-2] [-c] [FILE]\n", argv[0]);
            return 2;
        } else path = argv[i];
    }

    ExBuffer in = {0}, out = {0};
    if (!exReadFile(path, &in)) {
        perror(path);
        return 1;
    }
    if (in.size > 0x7FFFFFFF) {
        fprintf(stderr, "orvgzip: %s is too large for one call sequence\n", path);
        return 1;
    }
    if (!gzipCompress(in.data, (int32_t)in.size, level, &out)) return 1;

    const int useStdout = toStdout || strcmp(path, "-") == 0;
    char* target = useStdout ? NULL : exWithSuffix(path, ".gz");
    if (!exWriteFile(useStdout ? "-" : target, out.data, out.size)) {
        perror(useStdout ? "stdout" : target);
        return 1;
    }
    if (!useStdout) fprintf(stderr, "%s: %zu -> %zu bytes\n", target, in.size, out.size);
    free(target);
    free(in.data);
    free(out.data);
    return 0;
}
