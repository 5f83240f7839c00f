/* bzip2 stream framing shared by orvbzip2 and orvbunzip2: an MSB-first bit
 * writer and reader, Huffman code lengths with a length limit, canonical code
 * assignment and a table-driven canonical decoder.  Header-only, C99.
 *
 * The layout of a .bz2 stream, for reference:
 *
 *   stream   "BZh" and a digit '1'..'9' (block size in units of 100000 bytes),
 *            then blocks, then the end-of-stream record, then zero bits up to
 *            a byte boundary.  Streams may follow one another.
 *   block    48-bit magic 0x314159265359, 32-bit CRC of the block's raw bytes,
 *            1 bit "randomised" (always 0 in current writers), 24-bit origin
 *            pointer (the primary index of the transform), a 16-bit map of the
 *            byte ranges 16i..16i+15 in use followed by 16 bits for each range
 *            present, 3 bits number of tables (2..6), 15 bits number of
 *            selectors, the selectors (move-to-front positions over the table
 *            numbers, each as that many 1 bits and a 0), the code lengths of
 *            every table (5-bit start, then per symbol "10" = +1, "11" = -1 and
 *            "0" = next symbol; lengths stay within 1..20), and the symbols,
 *            50 per selector, each with the canonical code of its table.
 *   end      48-bit magic 0x177245385090 and the 32-bit stream CRC: for every
 *            block, crc = (crc rotated left by 1) ^ block CRC.
 *
 * All fields are written most significant bit first. */
#ifndef ORVDC_EXAMPLE_BZIP2_FORMAT_H
#define ORVDC_EXAMPLE_BZIP2_FORMAT_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define BZ_BLOCK_MAGIC_HI 0x314159u
#define BZ_BLOCK_MAGIC_LO 0x265359u
#define BZ_END_MAGIC_HI 0x177245u
#define BZ_END_MAGIC_LO 0x385090u
#define BZ_MAX_ALPHA 258      /* 256 byte symbols at most, two run digits, end of block */
#define BZ_MAX_TABLES 6
#define BZ_MIN_TABLES 2
#define BZ_GROUP_SIZE 50      /* symbols coded with one selector */
#define BZ_MAX_CODE_LEN 20    /* longest code a decoder must accept */
#define BZ_FAST_BITS 10       /* codes up to this length decode with one lookup */

static inline uint32_t bzCombineCrc(uint32_t streamCrc, uint32_t blockCrc) {
    return ((streamCrc << 1) | (streamCrc >> 31)) ^ blockCrc;
}

/* ------------------------------------------------------------------------ */
/* Bit writer: collects whole bytes in a growable buffer                     */
/* ------------------------------------------------------------------------ */

typedef struct {
    uint8_t* data;
    size_t size;
    size_t capacity;
    uint64_t acc; /* the low `bits` bits are pending, oldest first */
    int bits;
    int failed;   /* an allocation failed; everything after is dropped */
} BzWriter;

static inline void bzwInit(BzWriter* w) {
    memset(w, 0, sizeof *w);
}

static inline void bzwRelease(BzWriter* w) {
    free(w->data);
    w->data = NULL;
    w->size = w->capacity = 0;
}

static inline int bzwReserve(BzWriter* w, size_t room) {
    size_t cap;
    uint8_t* p;
    if (w->capacity - w->size >= room) return 1;
    cap = w->capacity ? w->capacity : 65536;
    while (cap - w->size < room) cap *= 2;
    p = (uint8_t*)realloc(w->data, cap);
    if (p == NULL) {
        w->failed = 1;
        return 0;
    }
    w->data = p;
    w->capacity = cap;
    return 1;
}

/* Appends the low n bits of v (1 <= n <= 32), most significant first. */
static inline void bzwPut(BzWriter* w, int n, uint32_t v) {
    w->acc = (w->acc << n) | (v & (uint32_t)(0xFFFFFFFFu >> (32 - n)));
    w->bits += n;
    while (w->bits >= 8) {
        w->bits -= 8;
        if (w->size == w->capacity && !bzwReserve(w, 1)) continue;
        w->data[w->size++] = (uint8_t)(w->acc >> w->bits);
    }
}

/* Pads the pending bits with zeros to a whole byte. */
static inline void bzwAlign(BzWriter* w) {
    if (w->bits > 0) bzwPut(w, 8 - w->bits, 0);
}

/* Writes the completed bytes to f and empties the buffer; pending bits stay.
 * Returns 0 on a write or allocation failure. */
static inline int bzwDrain(BzWriter* w, FILE* f) {
    if (w->failed) return 0;
    if (w->size > 0 && fwrite(w->data, 1, w->size, f) != w->size) return 0;
    w->size = 0;
    return 1;
}

/* ------------------------------------------------------------------------ */
/* Bit reader over a buffer in memory                                        */
/* ------------------------------------------------------------------------ */

/* Reads past the end yield zero bits and set `overrun`, which a caller checks
 * after each field or symbol; the reader itself never reads outside the
 * buffer. */
typedef struct {
    const uint8_t* p;
    const uint8_t* end;
    uint64_t buf;   /* the next `bits` bits, left-aligned */
    int bits;
    int padding;    /* zero bits added beyond the end of the data */
    int overrun;    /* a bit beyond the end was consumed */
} BzReader;

static inline void bzrInit(BzReader* r, const uint8_t* data, size_t size) {
    r->p = data;
    r->end = data + size;
    r->buf = 0;
    r->bits = 0;
    r->padding = 0;
    r->overrun = 0;
}

static inline void bzrRefill(BzReader* r) {
    while (r->bits <= 56) {
        uint64_t b = 0;
        if (r->p < r->end) {
            b = *r->p++;
        } else if (r->padding < 64) {
            r->padding += 8;
        } else {
            /* Far beyond the end: keep the padding count bounded. */
            r->overrun = 1;
            r->bits = 64;
            return;
        }
        r->buf |= b << (56 - r->bits);
        r->bits += 8;
    }
}

/* The next n bits (1 <= n <= 32) without consuming them. */
static inline uint32_t bzrPeek(BzReader* r, int n) {
    if (r->bits < n) bzrRefill(r);
    return (uint32_t)(r->buf >> (64 - n));
}

static inline void bzrSkip(BzReader* r, int n) {
    r->buf <<= n;
    r->bits -= n;
    if (r->bits < r->padding) r->overrun = 1;
}

static inline uint32_t bzrGet(BzReader* r, int n) {
    uint32_t v = bzrPeek(r, n);
    bzrSkip(r, n);
    return v;
}

/* Drops the bits up to the next byte boundary. */
static inline void bzrAlign(BzReader* r) {
    bzrSkip(r, r->bits & 7);
}

/* Whole bytes of real data not yet consumed (after bzrAlign). */
static inline size_t bzrBytesLeft(const BzReader* r) {
    int inBuf = r->bits - r->padding;
    return (size_t)(r->end - r->p) + (size_t)(inBuf > 0 ? inBuf / 8 : 0);
}

/* ------------------------------------------------------------------------ */
/* Huffman code lengths                                                      */
/* ------------------------------------------------------------------------ */

/* Code lengths for n symbols (2 <= n <= BZ_MAX_ALPHA), none longer than
 * maxLen, every symbol given a code (a zero frequency counts as 1 since the
 * format stores a length for every symbol).  The tree is built by merging
 * the two lightest nodes from two queues: the leaves sorted by weight and the
 * merged nodes, which come out in nondecreasing weight.  When the deepest
 * leaf is too deep, the weights are halved (kept at least 1), which flattens
 * the tree, and the build repeats. */
static inline void bzHuffmanLengths(const uint32_t* freq, int n, int maxLen, uint8_t* len) {
    uint32_t weight[BZ_MAX_ALPHA];
    uint32_t nodeWeight[2 * BZ_MAX_ALPHA];
    int16_t parent[2 * BZ_MAX_ALPHA];
    uint8_t depth[2 * BZ_MAX_ALPHA];
    int16_t order[BZ_MAX_ALPHA];
    int i;

    if (n < 2) {
        if (n == 1) len[0] = 1;
        return;
    }
    for (i = 0; i < n; ++i) weight[i] = freq[i] > 0 ? freq[i] : 1;
    for (;;) {
        int leaf = 0, merged = n, next = n, deepest = 0;
        /* Insertion sort of the symbols by weight: n is at most 258. */
        for (i = 0; i < n; ++i) {
            int j = i;
            while (j > 0 && weight[order[j - 1]] > weight[i]) {
                order[j] = order[j - 1];
                --j;
            }
            order[j] = (int16_t)i;
        }
        for (i = 0; i < n; ++i) nodeWeight[i] = weight[order[i]];
        /* Nodes 0..n-1 are the sorted leaves, n..2n-2 the merged nodes. */
        while (next < 2 * n - 1) {
            int pick[2], k;
            for (k = 0; k < 2; ++k) {
                if (leaf < n && (merged >= next || nodeWeight[leaf] <= nodeWeight[merged]))
                    pick[k] = leaf++;
                else
                    pick[k] = merged++;
            }
            nodeWeight[next] = nodeWeight[pick[0]] + nodeWeight[pick[1]];
            parent[pick[0]] = parent[pick[1]] = (int16_t)next;
            ++next;
        }
        depth[2 * n - 2] = 0;
        for (i = 2 * n - 3; i >= 0; --i) {
            depth[i] = (uint8_t)(depth[parent[i]] + 1);
            if (i < n && depth[i] > deepest) deepest = depth[i];
        }
        if (deepest <= maxLen) {
            for (i = 0; i < n; ++i) len[order[i]] = depth[i];
            return;
        }
        for (i = 0; i < n; ++i) weight[i] = (weight[i] >> 1) + 1;
    }
}

/* Canonical codes: shorter codes first, equal lengths in symbol order. */
static inline void bzAssignCodes(const uint8_t* len, int n, uint32_t* code) {
    uint32_t next = 0;
    int length, i;
    for (length = 1; length <= BZ_MAX_CODE_LEN; ++length) {
        for (i = 0; i < n; ++i)
            if (len[i] == length) code[i] = next++;
        next <<= 1;
    }
}

/* ------------------------------------------------------------------------ */
/* Canonical decoder                                                         */
/* ------------------------------------------------------------------------ */

typedef struct {
    /* Codes of up to BZ_FAST_BITS bits: entry = symbol << 5 | length, indexed
     * by the next BZ_FAST_BITS bits; 0 where a longer code (or none) starts. */
    uint16_t fast[1 << BZ_FAST_BITS];
    uint32_t first[BZ_MAX_CODE_LEN + 1]; /* first code of each length */
    uint32_t count[BZ_MAX_CODE_LEN + 1]; /* codes of each length */
    uint16_t offset[BZ_MAX_CODE_LEN + 1];/* index of the first of them in `symbols` */
    uint16_t symbols[BZ_MAX_ALPHA];      /* symbols ordered by (length, symbol) */
} BzDecodeTable;

/* Builds the decoder for lengths in 1..BZ_MAX_CODE_LEN.  Returns 0 when the
 * lengths over-subscribe the code space (no prefix code has them); a code
 * that leaves some bit patterns unused is accepted, and those patterns fail
 * in bzDecodeSymbol. */
static inline int bzBuildDecoder(const uint8_t* len, int n, BzDecodeTable* t) {
    uint32_t code[BZ_MAX_ALPHA];
    uint32_t next = 0;
    int length, i, k = 0;

    memset(t, 0, sizeof *t);
    for (i = 0; i < n; ++i) {
        if (len[i] < 1 || len[i] > BZ_MAX_CODE_LEN) return 0;
        t->count[len[i]]++;
    }
    for (length = 1; length <= BZ_MAX_CODE_LEN; ++length) {
        t->first[length] = next;
        t->offset[length] = (uint16_t)k;
        if (t->count[length] > (1u << length) - next) return 0;
        for (i = 0; i < n; ++i)
            if (len[i] == length) t->symbols[k++] = (uint16_t)i;
        next = (next + t->count[length]) << 1;
    }
    bzAssignCodes(len, n, code);
    for (i = 0; i < n; ++i) {
        if (len[i] <= BZ_FAST_BITS) {
            int shift = BZ_FAST_BITS - len[i];
            uint32_t base = code[i] << shift, j;
            for (j = 0; j < (1u << shift); ++j)
                t->fast[base + j] = (uint16_t)((i << 5) | len[i]);
        }
    }
    return 1;
}

/* Decodes one symbol; -1 for a bit pattern that is no code.  The caller
 * checks r->overrun for codes that run past the end of the data. */
static inline int bzDecodeSymbol(BzReader* r, const BzDecodeTable* t) {
    uint32_t v = bzrPeek(r, BZ_MAX_CODE_LEN);
    uint32_t e = t->fast[v >> (BZ_MAX_CODE_LEN - BZ_FAST_BITS)];
    int length;
    if (e != 0) {
        bzrSkip(r, (int)(e & 31));
        return (int)(e >> 5);
    }
    for (length = BZ_FAST_BITS + 1; length <= BZ_MAX_CODE_LEN; ++length) {
        uint32_t c = (v >> (BZ_MAX_CODE_LEN - length)) - t->first[length];
        if (c < t->count[length]) {
            bzrSkip(r, length);
            return t->symbols[t->offset[length] + c];
        }
    }
    return -1;
}

#endif /* ORVDC_EXAMPLE_BZIP2_FORMAT_H */
