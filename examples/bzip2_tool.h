/* The bzip2 coders of orvbzip2 and orvbunzip2, on the orvdc_formats library.
 *
 * Compression fills blocks in input order on this thread (the run-length
 * stage decides where a block ends, so the cut does not depend on the thread
 * count), codes them on N threads, up to two blocks a thread ahead of the
 * writing, and joins their bits in order: the output is the same byte for
 * byte for every thread count.  Decompression reads blocks in order through
 * one OrvfBzip2Decoder, restores them on N threads and writes them in
 * order. */
#ifndef ORVDC_EXAMPLE_BZIP2_TOOL_H
#define ORVDC_EXAMPLE_BZIP2_TOOL_H


#include <orvdc_formats.h>

#include "tool_cli.h"
#include "tool_pipeline.h"

enum { kBzipPiece = 1 << 20 };

typedef struct BzipJob {
    OrvfBzip2Block* block;
    const uint8_t* bits;
    uint64_t bitCount;
    uint32_t crc;
    orvStatus status;
} BzipJob;

static void bzipRunJob(void* arg, void* context) {
    BzipJob* job = (BzipJob*)arg;
    (void)context;
    job->status = orvfBzip2BlockEncode(job->block, &job->bits, &job->bitCount, &job->crc);
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
        /* Four bytes at a time: the pending bits and 32 new ones make 4
         * whole bytes, and the last `pending` bits stay pending. */
        const int p = j->pending;
        uint32_t rest = j->acc & ((1u << p) - 1);
        uint8_t* to = j->data + j->size;
        for (i = 0; i + 4 <= whole; i += 4, to += 4) {
            const uint32_t v =
                (uint32_t)bits[i] << 24 | (uint32_t)bits[i + 1] << 16 | (uint32_t)bits[i + 2] << 8 | bits[i + 3];
            const uint32_t w = (uint32_t)((((uint64_t)rest << 32) | v) >> p);
            to[0] = (uint8_t)(w >> 24);
            to[1] = (uint8_t)(w >> 16);
            to[2] = (uint8_t)(w >> 8);
            to[3] = (uint8_t)w;
            rest = v & ((1u << p) - 1);
        }
        j->size += i;
        j->acc = rest;
        for (; i < whole; ++i) bitJoinPut(j, bits[i], 8);
    }
    if (count % 8) bitJoinPut(j, bits[whole], (int)(count % 8));
    return 1;
}

static void bitJoinWord(BitJoin* j, uint32_t v, int n) { /* n a multiple of 8 */
    for (n -= 8; n >= 0; n -= 8) bitJoinPut(j, (v >> n) & 0xFF, 8);
}

/* Fills a block from the input; 0 at the end of the input (the block is
 * then empty), -1 on a read error or bad status, 1 otherwise. */
static int bzipFill(BzipJob* job, int inFd, uint8_t* in, const uint8_t** src, size_t* srcLen, ToolCounts* counts,
                    const char** why) {
    int readFailed = 0;
    orvfBzip2BlockClear(job->block);
    for (;;) {
        orvStatus st;
        if (*srcLen == 0) {
            *srcLen = toolReadFull(inFd, in, kBzipPiece, &readFailed);
            *src = in;
            counts->in += *srcLen;
            if (readFailed) return -1;
            if (*srcLen == 0) return 0;
        }
        st = orvfBzip2BlockFill(job->block, src, srcLen);
        if (st == orvStsDstFull) return 1;
        if (st != orvStsOk) {
            *why = orvfStatusText(st);
            return -1;
        }
    }
}

static int bzipCompress(int inFd, int outFd, const ToolOptions* opt, ToolCounts* counts, const char** why) {
    const int n = opt->threads, slots = 2 * n;
    BzipJob* jobs = (BzipJob*)calloc((size_t)slots, sizeof *jobs);
    uint8_t* in = (uint8_t*)malloc(kBzipPiece);
    BitJoin out = {NULL, 0, 0, 0, 0};
    const uint8_t* src = in;
    size_t srcLen = 0;
    uint32_t streamCrc = 0;
    ToolPipeline pipe;
    int i, status = kExitOk, eof = 0, started = 0;
    BzipJob* job;

    *why = NULL;
    if (jobs == NULL || in == NULL || !bitJoinReserve(&out, 16)) status = kExitError;
    for (i = 0; status == kExitOk && i < slots; ++i) {
        if (orvfBzip2BlockCreate(opt->level, &jobs[i].block) != orvStsOk) status = kExitError;
    }
    if (status == kExitOk) {
        started = toolPipelineStart(&pipe, bzipRunJob, jobs, sizeof *jobs, slots, NULL, n);
        if (!started) status = kExitError;
    }
    if (status != kExitOk) *why = "out of memory";
    if (status == kExitOk) {
        bitJoinWord(&out, 0x425A68, 24); /* "BZh" */
        bitJoinWord(&out, (uint32_t)('0' + opt->level), 8);
    }
    while (status == kExitOk) {
        while (!eof && status == kExitOk && (job = (BzipJob*)toolPipelineNext(&pipe)) != NULL) {
            const int filled = bzipFill(job, inFd, in, &src, &srcLen, counts, why);
            if (filled < 0) status = kExitError;
            eof = filled == 0;
            toolPipelineSubmit(&pipe); /* an empty block codes to no bits */
        }
        job = (BzipJob*)toolPipelineFinish(&pipe);
        if (job == NULL || status != kExitOk) break;
        if (job->status != orvStsOk) {
            *why = orvfStatusText(job->status);
            status = kExitError;
        } else if (job->bitCount > 0) {
            if (!bitJoinBits(&out, job->bits, job->bitCount)) {
                *why = "out of memory";
                status = kExitError;
            }
            streamCrc = orvfBzip2CombineCrc(streamCrc, job->crc);
        }
        /* Whole bytes go out after every block. */
        if (status == kExitOk) {
            if (!toolWriteFull(outFd, out.data, out.size)) status = kExitError;
            counts->out += out.size;
            out.size = 0;
        }
    }
    if (started) toolPipelineEnd(&pipe);
    if (status == kExitOk && bitJoinReserve(&out, 16)) {
        bitJoinWord(&out, 0x177245, 24);
        bitJoinWord(&out, 0x385090, 24);
        bitJoinWord(&out, streamCrc, 32);
        if (out.pending > 0) bitJoinPut(&out, 0, 8 - out.pending);
        if (!toolWriteFull(outFd, out.data, out.size)) status = kExitError;
        counts->out += out.size;
    }
    for (i = 0; jobs != NULL && i < slots; ++i) orvfBzip2BlockFree(jobs[i].block);
    free(jobs);
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

static void bunzipRunJob(void* arg, void* context) {
    BunzipJob* job = (BunzipJob*)arg;
    (void)context;
    job->status = orvfBzip2UnblockRestore(job->block, &job->out, &job->outLen);
}

/* Reads blocks in order on this thread, restores them on N threads and
 * writes them in order.  A restored block may take about 46 MB (900 kB of
 * runs of 255 bytes), so there are only as many blocks as threads. */
static int bzipDecompress(int inFd, int outFd, const ToolOptions* opt, ToolCounts* counts, const char** why) {
    const int n = opt->threads, slots = n;
    uint8_t* in = (uint8_t*)malloc(kBzipPiece);
    BunzipJob* jobs = (BunzipJob*)calloc((size_t)slots, sizeof *jobs);
    OrvfBzip2Decoder* d = NULL;
    const uint8_t* src = in;
    size_t inLen = 0;
    ToolPipeline pipe;
    int i, status = kExitOk, readFailed = 0, eof = 0, finished = 0, ended = 0, started = 0;
    BunzipJob* job;

    *why = NULL;
    if (in == NULL || jobs == NULL || orvfBzip2DecoderCreate(&d) != orvStsOk) status = kExitError;
    for (i = 0; status == kExitOk && i < slots; ++i) {
        if (orvfBzip2UnblockCreate(&jobs[i].block) != orvStsOk) status = kExitError;
    }
    if (status == kExitOk) {
        started = toolPipelineStart(&pipe, bunzipRunJob, jobs, sizeof *jobs, slots, NULL, n);
        if (!started) status = kExitError;
    }
    if (status != kExitOk) *why = "out of memory";
    /* Blocks read before a warning or an error are still restored and
     * written, so that all good data is out before the message. */
    while (started) {
        while (!finished && status == kExitOk && (job = (BunzipJob*)toolPipelineNext(&pipe)) != NULL) {
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
            st = orvfBzip2DecoderNextBlock(d, &src, &inLen, eof, job->block);
            if (st == orvStsOk) {
                toolPipelineSubmit(&pipe);
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
        job = (BunzipJob*)toolPipelineFinish(&pipe);
        if (job == NULL) break;
        if (job->status != orvStsOk) {
            *why = orvfStatusText(job->status);
            status = kExitError;
            break;
        }
        if (!toolWriteFull(outFd, job->out, job->outLen)) {
            *why = NULL;
            status = kExitError;
            break;
        }
        counts->out += job->outLen;
    }
    if (started) toolPipelineEnd(&pipe);
    if (status == kExitOk && !ended) {
        *why = orvfStatusText(orvfStsTruncated);
        status = kExitError;
    }
    for (i = 0; jobs != NULL && i < slots; ++i) orvfBzip2UnblockFree(jobs[i].block);
    orvfBzip2DecoderFree(d);
    free(jobs);
    free(in);
    return status;
}

static const ToolSpec kBzip2Spec = {"orvbzip2", ".bz2",
                                    "blocks of 100 kB .. 900 kB (default -9: best compression)", 9, 256,
                                    bzipCompress, bzipDecompress};

#endif /* ORVDC_EXAMPLE_BZIP2_TOOL_H */
