/* orvgunzip: a gzip-compatible decompressor built only on orvdc's deflate
 * decoder and checksums.
 *
 *   orvgunzip [-c] FILE.gz     writes FILE (or standard output with -c)
 *   orvgunzip < in.gz > out
 *
 * Each block's header is read with orvsDecodeLZ77GetBlockType_8u; stored
 * blocks are copied with orvsDecodeLZ77StoredBlock_8u and Huffman blocks are
 * decoded straight to bytes with the one-pass decoders.  The gzip trailer's
 * CRC-32 and length are checked with orvsCRC32_8u.  Concatenated members are
 * decoded one after another, as gzip does. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <orvdc.h>

#include "example_io.h"

static int bad(const char* why) {
    fprintf(stderr, "orvgunzip: %s\n", why);
    return 0;
}

/* Skips the gzip member header at *p; returns 0 when it is not one. */
static int skipHeader(const uint8_t** p, int32_t* n) {
    const uint8_t* s = *p;
    int32_t left = *n;
    if (left < 10 || s[0] != 0x1F || s[1] != 0x8B || s[2] != 8) return bad("not a gzip file");
    const uint8_t flags = s[3];
    if (flags & 0xE0) return bad("reserved header flags set");
    s += 10;
    left -= 10;
    if (flags & 4) { /* FEXTRA */
        if (left < 2) return bad("truncated header");
        int32_t xlen = s[0] | (s[1] << 8);
        if (left < 2 + xlen) return bad("truncated header");
        s += 2 + xlen;
        left -= 2 + xlen;
    }
    for (int field = 8; field <= 16; field *= 2) { /* FNAME, FCOMMENT */
        if (!(flags & field)) continue;
        const uint8_t* end = memchr(s, 0, (size_t)left);
        if (end == NULL) return bad("truncated header");
        left -= (int32_t)(end + 1 - s);
        s = end + 1;
    }
    if (flags & 2) { /* FHCRC */
        if (left < 2) return bad("truncated header");
        s += 2;
        left -= 2;
    }
    *p = s;
    *n = left;
    return 1;
}

/* Decodes one raw deflate stream from *p, appending to out. */
static int inflateMember(const uint8_t** p, int32_t* n, LZ77DecoderState* dec, ExBuffer* out) {
    orvStatus st = orvsDecodeLZ77Reset_8u(dec);
    for (;;) {
        LZ77HuffMode mode;
        st = orvsDecodeLZ77GetBlockType_8u(p, n, &mode, dec);
        if (st == orvStsSrcEnd) return bad("unexpected end of data");
        if (st != orvStsOk) return bad("invalid block type");
        do {
            if (!exReserve(out, 65536)) return bad("out of memory");
            uint8_t* dst = out->data + out->size;
            int32_t room = 65536;
            if (mode == LZ77HuffStored)
                st = orvsDecodeLZ77StoredBlock_8u(p, n, &dst, &room, dec);
            else if (mode == LZ77HuffFixed)
                st = orvsDecodeLZ77FixedHuffFull_8u(p, n, &dst, &room, LZ77FlushNone, dec);
            else
                st = orvsDecodeLZ77DynamicHuffFull_8u(p, n, &dst, &room, LZ77FlushNone, dec);
            out->size += (size_t)(65536 - room);
        } while (st == orvStsDstFull);
        if (st == orvStsStreamEnd) return 1;
        if (st == orvStsSrcEnd) return bad("unexpected end of data");
        if (st != orvStsOk) return bad("invalid compressed data");
    }
}

static uint32_t le32(const uint8_t* s) {
    return (uint32_t)s[0] | ((uint32_t)s[1] << 8) | ((uint32_t)s[2] << 16) | ((uint32_t)s[3] << 24);
}

static int gunzip(const uint8_t* src, int32_t n, ExBuffer* out) {
    LZ77DecoderState* dec = NULL;
    if (orvsDecodeLZ77InitAlloc_8u(LZ77ChecksumCRC32, &dec) != orvStsOk) return bad("out of memory");
    int ok = 1;
    do {
        const size_t start = out->size;
        if (!skipHeader(&src, &n) || !inflateMember(&src, &n, dec, out)) { ok = 0; break; }
        if (n < 8) { ok = bad("truncated trailer"); break; }
        uint32_t crc = 0;
        const size_t len = out->size - start;
        if (len > 0) orvsCRC32_8u(out->data + start, (int32_t)len, &crc);
        if (crc != le32(src)) { ok = bad("CRC-32 mismatch"); break; }
        if ((uint32_t)len != le32(src + 4)) { ok = bad("length mismatch"); break; }
        src += 8;
        n -= 8;
        while (n > 0 && *src == 0) { ++src; --n; } /* zero padding after members */
    } while (n > 0);
    orvsLZ77Free_8u(dec);
    return ok;
}

int main(int argc, char** argv) {
    int toStdout = 0;
    const char* path = "-";
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-c") == 0) toStdout = 1;
        else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            fprintf(stderr, "usage: %s [-c] [FILE.gz]\n", argv[0]);
            return 2;
        } else path = argv[i];
    }
    ExBuffer in = {0}, out = {0};
    if (!exReadFile(path, &in)) {
        perror(path);
        return 1;
    }
    if (in.size > 0x7FFFFFFF) return bad("input too large"), 1;
    if (!gunzip(in.data, (int32_t)in.size, &out)) return 1;

    const int useStdout = toStdout || strcmp(path, "-") == 0;
    char* target = useStdout ? NULL : exWithoutSuffix(path, ".gz");
    if (!useStdout && target == NULL) {
        fprintf(stderr, "orvgunzip: %s does not end in .gz; use -c\n", path);
        return 1;
    }
    if (!exWriteFile(useStdout ? "-" : target, out.data, out.size)) {
        perror(useStdout ? "stdout" : target);
        return 1;
    }
    free(target);
    free(in.data);
    free(out.data);
    return 0;
}
