/* The bzip2 coders of orvbzip2 and orvbunzip2, on the orvdc_formats library.
 *
 * Compression fills blocks in input order on this thread (the run-length
 * stage decides where a block ends, so the cut does not depend on the thread
 * count), codes up to N blocks at once on N threads, and joins their bits in
 * order: the output is the same byte for byte for every thread count.
 * Decompression reads blocks in order through one OrvfBzip2Decoder and
 * restores up to N at once on N threads. */
#ifndef ORVDC_EXAMPLE_BZIP2_TOOL_H
#define ORVDC_EXAMPLE_BZIP2_TOOL_H

#include <pthread.h>

#include <orvdc_formats.h>

#include "tool_cli.h"

enum { kBzipPiece = 1 << 20 };

typedef struct BzipJob {
    OrvfBzip2Block* block;
    const uint8_t* bits;
    uint64_t bitCount;
    uint32_t crc;
    orvStatus status;
} BzipJob;

static void* bzipRunJob(void* arg) {
    BzipJob* job = (BzipJob*)arg;
    job->status = orvfBzip2BlockEncode(job->block, &job->bits, &job->bitCount, &job->crc);
    return NULL;
}

/* Joins bit strings (most significant bit first) into bytes. */
typedef struct BitJoin {
    uint8_t* data;
    size_t size, cap;
    uint32_t acc; /* the low `pending` bits are not yet a byte */
    int pending;
} BitJoin;

static int bitJoinReserve(BitJoin* j, size_t more) {
    size_t cap = j->cap ? j->cap : 1 << 20;
    uint8_t* p;
    if (j->cap - j->size >= more) return 1;
    while (cap - j->size < more) cap *= 2;
    p = (uint8_t*)realloc(j->data, cap);
    if (p == NULL) return 0;
    j->data = p;
    j->cap = cap;
    return 1;
}

/* Appends the top n bits of v (n <= 8). */
static void bitJoinPut(BitJoin* j, uint32_t v, int n) {
    j->acc = (j->acc << n) | (v >> (8 - n));
    j->pending += n;
    if (j->pending >= 8) {
        j->pending -= 8;
        j->data[j->size++] = (uint8_t)(j->acc >> j->pending);
    }
}

static int bitJoinBits(BitJoin* j, const uint8_t* bits, uint64_t count) {
    const size_t whole = (size_t)(count / 8);
    size_t i;
    if (!bitJoinReserve(j, whole + 2)) return 0;
    if (j->pending == 0) {
        memcpy(j->data + j->size, bits, whole);
        j->size += whole;
    } else {
        for (i = 0; i < whole; ++i) bitJoinPut(j, bits[i], 8);
    }
    if (count % 8) bitJoinPut(j, bits[whole], (int)(count % 8));
    return 1;
}

static void bitJoinWord(BitJoin* j, uint32_t v, int n) { /* n a multiple of 8 */
    for (n -= 8; n >= 0; n -= 8) bitJoinPut(j, (v >> n) & 0xFF, 8);
}

static int bzipCompress(int inFd, int outFd, const ToolOptions* opt, ToolCounts* counts, const char** why) {
    const int n = opt->threads;
    BzipJob* jobs = (BzipJob*)calloc((size_t)n, sizeof *jobs);
    pthread_t* threads = (pthread_t*)calloc((size_t)n, sizeof *threads);
    uint8_t* in = (uint8_t*)malloc(kBzipPiece);
    BitJoin out = {NULL, 0, 0, 0, 0};
    const uint8_t* src = in;
    size_t srcLen = 0;
    uint32_t streamCrc = 0;
    int i, status = kExitOk, readFailed = 0, eof = 0;

    *why = NULL;
    if (jobs == NULL || threads == NULL || in == NULL || !bitJoinReserve(&out, 16)) {
        *why = "out of memory";
        status = kExitError;
    }
    for (i = 0; status == kExitOk && i < n; ++i) {
        if (orvfBzip2BlockCreate(opt->level, &jobs[i].block) != orvStsOk) {
            *why = "out of memory";
            status = kExitError;
        }
    }
    if (status == kExitOk) {
        bitJoinWord(&out, 0x425A68, 24); /* "BZh" */
        bitJoinWord(&out, (uint32_t)('0' + opt->level), 8);
    }
    while (status == kExitOk && !eof) {
        int k;
        for (k = 0; k < n && !eof; ++k) {
            orvfBzip2BlockClear(jobs[k].block);
            for (;;) {
                orvStatus st;
                if (srcLen == 0) {
                    srcLen = toolReadFull(inFd, in, kBzipPiece, &readFailed);
                    src = in;
                    counts->in += srcLen;
                    if (readFailed) break;
                    if (srcLen == 0) {
                        eof = 1;
                        break;
                    }
                }
                st = orvfBzip2BlockFill(jobs[k].block, &src, &srcLen);
                if (st == orvStsDstFull) break;
                if (st != orvStsOk) {
                    *why = orvfStatusText(st);
                    status = kExitError;
                    break;
                }
            }
            if (readFailed || status != kExitOk) break;
        }
        if (readFailed || status != kExitOk) {
            status = kExitError;
            break;
        }
        for (i = 1; i < k; ++i) {
            if (pthread_create(&threads[i], NULL, bzipRunJob, &jobs[i]) != 0) bzipRunJob(&jobs[i]), threads[i] = 0;
        }
        if (k > 0) bzipRunJob(&jobs[0]);
        for (i = 1; i < k; ++i) {
            if (threads[i] != 0) pthread_join(threads[i], NULL);
        }
        for (i = 0; i < k && status == kExitOk; ++i) {
            if (jobs[i].status != orvStsOk) {
                *why = orvfStatusText(jobs[i].status);
                status = kExitError;
            } else if (jobs[i].bitCount > 0) {
                if (!bitJoinBits(&out, jobs[i].bits, jobs[i].bitCount)) {
                    *why = "out of memory";
                    status = kExitError;
                }
                streamCrc = orvfBzip2CombineCrc(streamCrc, jobs[i].crc);
            }
        }
        /* Whole bytes go out after every round. */
        if (status == kExitOk) {
            if (!toolWriteFull(outFd, out.data, out.size)) status = kExitError;
            counts->out += out.size;
            out.size = 0;
        }
    }
    if (status == kExitOk && bitJoinReserve(&out, 16)) {
        bitJoinWord(&out, 0x177245, 24);
        bitJoinWord(&out, 0x385090, 24);
        bitJoinWord(&out, streamCrc, 32);
        if (out.pending > 0) bitJoinPut(&out, 0, 8 - out.pending);
        if (!toolWriteFull(outFd, out.data, out.size)) status = kExitError;
        counts->out += out.size;
    }
    for (i = 0; jobs != NULL && i < n; ++i) orvfBzip2BlockFree(jobs[i].block);
    free(jobs);
    free(threads);
    free(in);
    free(out.data);
    return status;
}

typedef struct BunzipJob {
    OrvfBzip2Unblock* block;
    const uint8_t* out;
    size_t outLen;
    orvStatus status;
} BunzipJob;

static void* bunzipRunJob(void* arg) {
    BunzipJob* job = (BunzipJob*)arg;
    job->status = orvfBzip2UnblockRestore(job->block, &job->out, &job->outLen);
    return NULL;
}

/* Reads up to N blocks in order on this thread, restores them on N threads
 * and writes them in order. */
static int bzipDecompress(int inFd, int outFd, const ToolOptions* opt, ToolCounts* counts, const char** why) {
    const int n = opt->threads;
    uint8_t* in = (uint8_t*)malloc(kBzipPiece);
    BunzipJob* jobs = (BunzipJob*)calloc((size_t)n, sizeof *jobs);
    pthread_t* threads = (pthread_t*)calloc((size_t)n, sizeof *threads);
    OrvfBzip2Decoder* d = NULL;
    const uint8_t* src = in;
    size_t inLen = 0;
    int i, status = kExitOk, readFailed = 0, eof = 0, finished = 0, ended = 0;
    *why = NULL;
    if (in == NULL || jobs == NULL || threads == NULL || orvfBzip2DecoderCreate(&d) != orvStsOk) {
        *why = "out of memory";
        status = kExitError;
    }
    for (i = 0; status == kExitOk && i < n; ++i) {
        if (orvfBzip2UnblockCreate(&jobs[i].block) != orvStsOk) {
            *why = "out of memory";
            status = kExitError;
        }
    }
    while (status == kExitOk && !finished) {
        int k = 0;
        while (k < n && !finished && status == kExitOk) {
            orvStatus st;
            if (inLen == 0 && !eof) {
                inLen = toolReadFull(inFd, in, kBzipPiece, &readFailed);
                src = in;
                if (readFailed) {
                    status = kExitError;
                    break;
                }
                eof = inLen < kBzipPiece;
                counts->in += inLen;
            }
            st = orvfBzip2DecoderNextBlock(d, &src, &inLen, eof, jobs[k].block);
            if (st == orvStsOk) {
                ++k;
                ended = 0;
            } else if (st == orvStsStreamEnd) {
                ended = 1;
                if (eof && inLen == 0) finished = 1;
            } else if (st == orvStsSrcEnd) {
                if (eof && inLen == 0) {
                    *why = orvfStatusText(orvfStsTruncated);
                    status = kExitError;
                }
            } else if (st == orvfStsTrailingData) {
                *why = "trailing garbage after the compressed data ignored";
                status = kExitWarning;
                finished = 1;
            } else {
                *why = orvfStatusText(st);
                status = kExitError;
            }
        }
        /* Blocks read before a warning or an error are still restored, so
         * that all good data is written before the message. */
        for (i = 1; i < k; ++i) {
            if (pthread_create(&threads[i], NULL, bunzipRunJob, &jobs[i]) != 0) bunzipRunJob(&jobs[i]), threads[i] = 0;
        }
        if (k > 0) bunzipRunJob(&jobs[0]);
        for (i = 1; i < k; ++i) {
            if (threads[i] != 0) pthread_join(threads[i], NULL);
        }
        for (i = 0; i < k; ++i) {
            if (jobs[i].status != orvStsOk) {
                *why = orvfStatusText(jobs[i].status);
                status = kExitError;
                break;
            }
            if (!toolWriteFull(outFd, jobs[i].out, jobs[i].outLen)) {
                *why = NULL;
                status = kExitError;
                break;
            }
            counts->out += jobs[i].outLen;
        }
    }
    if (status == kExitOk && !ended) {
        *why = orvfStatusText(orvfStsTruncated);
        status = kExitError;
    }
    for (i = 0; jobs != NULL && i < n; ++i) orvfBzip2UnblockFree(jobs[i].block);
    orvfBzip2DecoderFree(d);
    free(jobs);
    free(threads);
    free(in);
    return status;
}

static const ToolSpec kBzip2Spec = {"orvbzip2", ".bz2",
                                    "blocks of 100 kB .. 900 kB (default -9: best compression)", 9, 256,
                                    bzipCompress, bzipDecompress};

#endif /* ORVDC_EXAMPLE_BZIP2_TOOL_H */
