/* orvlzss: compresses or restores a file with orvdc's LZSS coder.
 *
 *   orvlzss [-c] FILE            writes FILE.lzss
 *   orvlzss -d [-c] FILE.lzss    writes FILE
 *
 * The file is an 8-byte header ("OLZS" and the original length, 32 bits,
 * little-endian) followed by the LZSS token stream.  Data flows through the
 * coder in 64 KiB pieces, as a streaming caller would feed it. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <orvdc.h>

#include "example_io.h"

enum { kPiece = 65536 };

static int fail(const char* what) {
    fprintf(stderr, "orvlzss: %s\n", what);
    return 0;
}

static int compress(const uint8_t* src, size_t n, ExBuffer* out) {
    LZSSState* st = NULL;
    if (orvsEncodeLZSSInitAlloc_8u(&st) != orvStsOk) return fail("out of memory");
    const uint8_t header[8] = {'O', 'L', 'Z', 'S', (uint8_t)n, (uint8_t)(n >> 8), (uint8_t)(n >> 16),
                               (uint8_t)(n >> 24)};
    int ok = exAppend(out, header, sizeof header);
    static const uint8_t nothing[1] = {0};
    const uint8_t* p = n ? src : nothing;
    size_t left = n;
    while (ok && left > 0) {
        int32_t pieceLen = (int32_t)(left < kPiece ? left : kPiece);
        const int32_t taken = pieceLen;
        orvStatus s;
        do {
            if (!exReserve(out, kPiece)) return fail("out of memory");
            uint8_t* dst = out->data + out->size;
            int32_t room = kPiece;
            s = orvsEncodeLZSS_8u(&p, &pieceLen, &dst, &room, st);
            out->size += (size_t)(kPiece - room);
        } while (s == orvStsDstFull && pieceLen > 0);
        if (s != orvStsOk && s != orvStsDstFull) ok = fail("encoding failed");
        left -= (size_t)taken;
    }
    orvStatus s;
    do {
        if (!ok || !exReserve(out, 16)) { ok = 0; break; }
        uint8_t* dst = out->data + out->size;
        int32_t room = 16;
        s = orvsEncodeLZSSFlush_8u(&dst, &room, st);
        out->size += (size_t)(16 - room);
    } while (s == orvStsDstFull);
    orvsLZSSFree_8u(st);
    return ok;
}

static int decompress(const uint8_t* src, size_t n, ExBuffer* out) {
    if (n < 8 || memcmp(src, "OLZS", 4) != 0) return fail("not an orvlzss file");
    const uint32_t expected = (uint32_t)src[4] | ((uint32_t)src[5] << 8) | ((uint32_t)src[6] << 16) |
                              ((uint32_t)src[7] << 24);
    LZSSState* st = NULL;
    if (orvsDecodeLZSSInitAlloc_8u(&st) != orvStsOk) return fail("out of memory");
    const uint8_t* p = src + 8;
    size_t left = n - 8;
    int ok = 1;
    orvStatus s = orvStsOk;
    while (ok && (left > 0 || s == orvStsDstFull)) {
        int32_t pieceLen = (int32_t)(left < kPiece ? left : kPiece);
        const int32_t given = pieceLen;
        if (!exReserve(out, kPiece)) { ok = fail("out of memory"); break; }
        uint8_t* dst = out->data + out->size;
        int32_t room = kPiece;
        s = orvsDecodeLZSS_8u(&p, &pieceLen, &dst, &room, st);
        out->size += (size_t)(kPiece - room);
        left -= (size_t)(given - pieceLen);
        if (s != orvStsOk && s != orvStsDstFull) ok = fail("decoding failed");
        if (out->size > (size_t)expected + kPiece) ok = fail("data longer than recorded");
    }
    orvsLZSSFree_8u(st);
    /* The stream carries no end mark; padding bits produce nothing. */
    if (ok && (uint32_t)out->size != expected) ok = fail("length does not match the header");
    return ok;
}

int main(int argc, char** argv) {
    int decode = 0, toStdout = 0;
    const char* path = NULL;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-d") == 0) decode = 1;
        else if (strcmp(argv[i], "-c") == 0) toStdout = 1;
        else path = argv[i];
    }
    if (path == NULL) {
        fprintf(stderr, "usage: %s [-d] [-c] FILE\n", argv[0]);
        return 2;
    }
    ExBuffer in = {0}, out = {0};
    if (!exReadFile(path, &in)) {
        perror(path);
        return 1;
    }
    if (!(decode ? decompress(in.data, in.size, &out) : compress(in.data, in.size, &out))) return 1;
    char* target = NULL;
    if (!toStdout) {
        target = decode ? exWithoutSuffix(path, ".lzss") : exWithSuffix(path, ".lzss");
        if (target == NULL) return fail("the file name does not end in .lzss; use -c"), 1;
    }
    if (!exWriteFile(toStdout ? "-" : target, out.data, out.size)) {
        perror(toStdout ? "stdout" : target);
        return 1;
    }
    if (!toStdout) fprintf(stderr, "%s: %zu -> %zu bytes\n", target, in.size, out.size);
    free(target);
    free(in.data);
    free(out.data);
    return 0;
}
