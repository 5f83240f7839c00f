/* The gzip coders of orvgzip and orvgunzip, on the orvdc_formats library.
 *
 * Compression cuts the input into chunks of 1 MiB.  Each chunk becomes a
 * piece of raw deflate data of its own (a compressor per thread, reset for
 * every chunk) ending in a full flush, so the pieces joined make one valid
 * member whatever thread made them, and the output is the same byte for byte
 * for every thread count.  This thread reads, keeps the CRC-32 and length,
 * and writes the pieces in order between the header and the trailer.  A
 * thread costs about 3 MiB (its chunk, its output and its compressor), so at
 * most kGzipMaxThreads run, which keeps the process within 16 MiB.
 *
 * Decompression streams the input through one OrvfInflater in 256 KiB
 * pieces; concatenated members are restored one after another.  Memory stays
 * bounded whatever the file size. */
#ifndef ORVDC_EXAMPLE_GZIP_TOOL_H
#define ORVDC_EXAMPLE_GZIP_TOOL_H

#include <pthread.h>

#include <orvdc_formats.h>

#include "tool_cli.h"

enum { kGzipChunk = 1 << 20, kGzipPiece = 256 * 1024, kGzipMaxThreads = 3 };

typedef struct GzipJob {
    OrvfDeflater* deflater;
    uint8_t* in;
    size_t inLen;
    uint8_t* out;
    size_t outCap, outLen;
    int last;
    orvStatus status;
} GzipJob;

static void* gzipRunJob(void* arg) {
    GzipJob* job = (GzipJob*)arg;
    const uint8_t* src = job->in;
    size_t srcLen = job->inLen, room = job->outCap;
    uint8_t* dst = job->out;
    orvfDeflaterReset(job->deflater);
    job->status = orvfDeflaterRun(job->deflater, &src, &srcLen, &dst, &room,
                                  job->last ? orvfFlushFinish : orvfFlushFull);
    if (job->status == (job->last ? orvStsStreamEnd : orvStsOk)) job->status = orvStsOk;
    job->outLen = job->outCap - room;
    return NULL;
}

/* -1..-3: the fast match finder; -4, -5: the average one; -6..-9: the best. */
static LZ77ComprLevel gzipLevel(int level) {
    return level <= 3 ? LZ77LevelFast : level <= 5 ? LZ77LevelAverage : LZ77LevelBest;
}

static int gzipCompress(int inFd, int outFd, const ToolOptions* opt, ToolCounts* counts, const char** why) {
    const int n = opt->threads;
    GzipJob* jobs = (GzipJob*)calloc((size_t)n, sizeof *jobs);
    pthread_t* threads = (pthread_t*)calloc((size_t)n, sizeof *threads);
    uint8_t* next = (uint8_t*)malloc(kGzipChunk);
    uint8_t header[10] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3};
    uint8_t trailer[8];
    uint32_t crc = 0;
    size_t nextLen;
    int i, status = kExitOk, readFailed = 0, done = 0;

    *why = NULL;
    if (jobs == NULL || threads == NULL || next == NULL) {
        *why = "out of memory";
        status = kExitError;
    }
    for (i = 0; status == kExitOk && i < n; ++i) {
        jobs[i].outCap = orvfDeflateBound(orvfRaw, kGzipChunk);
        jobs[i].in = (uint8_t*)malloc(kGzipChunk);
        jobs[i].out = (uint8_t*)malloc(jobs[i].outCap);
        if (jobs[i].in == NULL || jobs[i].out == NULL ||
            orvfDeflaterCreate(orvfRaw, gzipLevel(opt->level), &jobs[i].deflater) != orvStsOk) {
            *why = "out of memory";
            status = kExitError;
        }
    }
    header[8] = opt->level >= 6 ? 2 : opt->level <= 3 ? 4 : 0;
    if (status == kExitOk && !toolWriteFull(outFd, header, sizeof header)) status = kExitError;
    counts->out += sizeof header;
    nextLen = status == kExitOk ? toolReadFull(inFd, next, kGzipChunk, &readFailed) : 0;

    /* Each round gives every thread a chunk; a chunk is the last one when
     * the chunk read after it is empty. */
    while (status == kExitOk && !done && !readFailed) {
        int k = 0;
        while (k < n && !done) {
            uint8_t* swap = jobs[k].in;
            jobs[k].in = next;
            jobs[k].inLen = nextLen;
            next = swap;
            if (nextLen > 0) orvsCRC32_8u(jobs[k].in, (int32_t)nextLen, &crc);
            counts->in += nextLen;
            nextLen = toolReadFull(inFd, next, kGzipChunk, &readFailed);
            jobs[k].last = done = nextLen == 0;
            ++k;
            if (readFailed) break;
        }
        if (readFailed) break;
        for (i = 1; i < k; ++i) {
            if (pthread_create(&threads[i], NULL, gzipRunJob, &jobs[i]) != 0) gzipRunJob(&jobs[i]), threads[i] = 0;
        }
        gzipRunJob(&jobs[0]);
        for (i = 1; i < k; ++i) {
            if (threads[i] != 0) pthread_join(threads[i], NULL);
        }
        for (i = 0; i < k && status == kExitOk; ++i) {
            if (jobs[i].status != orvStsOk) {
                *why = orvfStatusText(jobs[i].status);
                status = kExitError;
            } else if (!toolWriteFull(outFd, jobs[i].out, jobs[i].outLen)) {
                status = kExitError;
            }
            counts->out += jobs[i].outLen;
        }
    }
    if (readFailed) status = kExitError;
    if (status == kExitOk) {
        uint32_t len = (uint32_t)counts->in; /* the size modulo 2^32 */
        for (i = 0; i < 4; ++i) {
            trailer[i] = (uint8_t)(crc >> (8 * i));
            trailer[4 + i] = (uint8_t)(len >> (8 * i));
        }
        if (!toolWriteFull(outFd, trailer, sizeof trailer)) status = kExitError;
        counts->out += sizeof trailer;
    }
    for (i = 0; jobs != NULL && i < n; ++i) {
        orvfDeflaterFree(jobs[i].deflater);
        free(jobs[i].in);
        free(jobs[i].out);
    }
    free(jobs);
    free(threads);
    free(next);
    return status;
}

static int gzipDecompress(int inFd, int outFd, const ToolOptions* opt, ToolCounts* counts, const char** why) {
    uint8_t* in = (uint8_t*)malloc(kGzipPiece);
    uint8_t* out = (uint8_t*)malloc(kGzipPiece);
    OrvfInflater* f = NULL;
    int status = kExitOk, readFailed = 0, members = 0, eof = 0;
    orvStatus st = orvStsSrcEnd;
    (void)opt;
    *why = NULL;
    if (in == NULL || out == NULL || orvfInflaterCreate(orvfGzip, &f) != orvStsOk) {
        *why = "out of memory";
        status = kExitError;
    }
    while (status == kExitOk && !eof) {
        size_t inLen = toolReadFull(inFd, in, kGzipPiece, &readFailed);
        const uint8_t* src = in;
        if (readFailed) {
            status = kExitError;
            break;
        }
        eof = inLen < kGzipPiece;
        counts->in += inLen;
        if (inLen == 0) break;
        do {
            uint8_t* dst = out;
            size_t room = kGzipPiece;
            st = orvfInflaterRun(f, &src, &inLen, &dst, &room);
            if (!toolWriteFull(outFd, out, kGzipPiece - room)) {
                status = kExitError;
                break;
            }
            counts->out += kGzipPiece - room;
            if (st == orvStsStreamEnd) ++members;
        } while (st == orvStsDstFull || (st == orvStsStreamEnd && inLen > 0));
        if (status != kExitOk) break;
        if (st == orvfStsTrailingData) {
            *why = "decompression OK, trailing garbage ignored";
            status = kExitWarning;
        } else if (st < 0) {
            *why = orvfStatusText(st);
            status = kExitError;
        }
    }
    if (status == kExitOk && st != orvStsStreamEnd) {
        *why = members == 0 && counts->in == 0 ? "unexpected end of file (empty input)" : "unexpected end of file";
        status = kExitError;
    }
    orvfInflaterFree(f);
    free(in);
    free(out);
    return status;
}

static const ToolSpec kGzipSpec = {
    "orvgzip", ".gz",
    "-1..-3 the fast match finder, -4 and -5 the average one, -6..-9 (default -6) the best",
    6, kGzipMaxThreads, gzipCompress, gzipDecompress};

#endif /* ORVDC_EXAMPLE_GZIP_TOOL_H */
