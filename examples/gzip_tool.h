/* The gzip coders of orvgzip and orvgunzip, on the orvdc_formats library.
 *
 * Compression cuts the input into chunks of 512 KiB.  Each chunk becomes a
 * piece of raw deflate data of its own (the worker's compressor, reset for
 * every chunk) ending in a full flush, so the pieces joined make one valid
 * member whatever thread made them, and the output is the same byte for byte
 * for every thread count.  This thread reads, keeps the CRC-32 and length,
 * and writes the pieces in order between the header and the trailer, while
 * the workers code up to two chunks each ahead of the writing.  A thread
 * costs about 3.7 MiB (its compressor and two chunks with their output), so
 * at most kGzipMaxThreads run, which keeps the process within 16 MiB.
 *
 * Decompression streams the input through one OrvfInflater in 256 KiB
 * pieces; concatenated members are restored one after another.  Memory stays
 * bounded whatever the file size. */
#ifndef ORVDC_EXAMPLE_GZIP_TOOL_H
#define ORVDC_EXAMPLE_GZIP_TOOL_H


#include <orvdc_formats.h>

#include "tool_cli.h"
#include "tool_pipeline.h"

enum { kGzipChunk = 1 << 19, kGzipPiece = 256 * 1024, kGzipMaxThreads = 3 };

typedef struct GzipJob {
    uint8_t* in;
    size_t inLen;
    uint8_t* out;
    size_t outCap, outLen;
    int last;
    orvStatus status;
} GzipJob;

/* Codes one chunk with the worker's compressor (the context). */
static void gzipRunJob(void* arg, void* context) {
    GzipJob* job = (GzipJob*)arg;
    OrvfDeflater* deflater = (OrvfDeflater*)context;
    const uint8_t* src = job->in;
    size_t srcLen = job->inLen, room = job->outCap;
    uint8_t* dst = job->out;
    orvfDeflaterReset(deflater);
    job->status = orvfDeflaterRun(deflater, &src, &srcLen, &dst, &room, job->last ? orvfFlushFinish : orvfFlushFull);
    if (job->status == (job->last ? orvStsStreamEnd : orvStsOk)) job->status = orvStsOk;
    job->outLen = job->outCap - room;
}

/* -1..-3: the fast match finder; -4, -5: the average one; -6..-9: the best. */
static LZ77ComprLevel gzipLevel(int level) {
    return level <= 3 ? LZ77LevelFast : level <= 5 ? LZ77LevelAverage : LZ77LevelBest;
}

static int gzipCompress(int inFd, int outFd, const ToolOptions* opt, ToolCounts* counts, const char** why) {
    const int n = opt->threads, slots = 2 * n;
    GzipJob* jobs = (GzipJob*)calloc((size_t)slots, sizeof *jobs);
    void** deflaters = (void**)calloc((size_t)n, sizeof *deflaters); /* OrvfDeflater* each */
    uint8_t* next = (uint8_t*)malloc(kGzipChunk);
    uint8_t header[10] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3};
    uint8_t trailer[8];
    uint32_t crc = 0;
    size_t nextLen;
    ToolPipeline pipe;
    int i, status = kExitOk, readFailed = 0, done = 0, started = 0;
    GzipJob* job;

    *why = NULL;
    if (jobs == NULL || deflaters == NULL || next == NULL) status = kExitError;
    for (i = 0; status == kExitOk && i < slots; ++i) {
        jobs[i].outCap = orvfDeflateBound(orvfRaw, kGzipChunk);
        jobs[i].in = (uint8_t*)malloc(kGzipChunk);
        jobs[i].out = (uint8_t*)malloc(jobs[i].outCap);
        if (jobs[i].in == NULL || jobs[i].out == NULL) status = kExitError;
    }
    for (i = 0; status == kExitOk && i < n; ++i) {
        OrvfDeflater* d = NULL;
        if (orvfDeflaterCreate(orvfRaw, gzipLevel(opt->level), &d) != orvStsOk) status = kExitError;
        deflaters[i] = d;
    }
    if (status == kExitOk) {
        started = toolPipelineStart(&pipe, gzipRunJob, jobs, sizeof *jobs, slots, deflaters, n);
        if (!started) status = kExitError;
    }
    if (status != kExitOk) *why = "out of memory";
    header[8] = opt->level >= 6 ? 2 : opt->level <= 3 ? 4 : 0;
    if (status == kExitOk && !toolWriteFull(outFd, header, sizeof header)) status = kExitError;
    counts->out += sizeof header;
    nextLen = status == kExitOk ? toolReadFull(inFd, next, kGzipChunk, &readFailed) : 0;

    /* Chunks are read one ahead: a chunk is the last one when the chunk
     * read after it is empty. */
    while (status == kExitOk && !readFailed) {
        while (!done && !readFailed && (job = (GzipJob*)toolPipelineNext(&pipe)) != NULL) {
            uint8_t* swap = job->in;
            job->in = next;
            job->inLen = nextLen;
            next = swap;
            if (nextLen > 0) orvsCRC32_8u(job->in, (int32_t)nextLen, &crc);
            counts->in += nextLen;
            nextLen = toolReadFull(inFd, next, kGzipChunk, &readFailed);
            job->last = done = nextLen == 0;
            toolPipelineSubmit(&pipe);
        }
        job = (GzipJob*)toolPipelineFinish(&pipe);
        if (job == NULL) break;
        if (job->status != orvStsOk) {
            *why = orvfStatusText(job->status);
            status = kExitError;
        } else if (!toolWriteFull(outFd, job->out, job->outLen)) {
            status = kExitError;
        }
        counts->out += job->outLen;
    }
    if (started) toolPipelineEnd(&pipe);
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
    for (i = 0; jobs != NULL && i < slots; ++i) {
        free(jobs[i].in);
        free(jobs[i].out);
    }
    for (i = 0; deflaters != NULL && i < n; ++i) orvfDeflaterFree((OrvfDeflater*)deflaters[i]);
    free(jobs);
    free(deflaters);
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
