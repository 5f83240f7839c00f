/* An ordered work pipeline for the tools: this thread prepares jobs in input
 * order (reading the input into them), worker threads run them in any
 * order, and this thread finishes them (writing their output) in input
 * order again.  A job's slot is refilled as soon as its output is written,
 * so a long job (a chunk of text among chunks of random data, say) keeps one
 * worker busy while the others go on with the jobs after it, and reading
 * and writing overlap the work.  Header-only, C99 with POSIX threads.
 *
 * The caller owns `slots` job records of `jobSize` bytes and, optionally, one
 * context per worker (a compressor, say); run(job, context) may use only
 * those two.
 * With one worker, or when no thread can be started, jobs run on this
 * thread as they are submitted. */
#ifndef ORVDC_EXAMPLE_TOOL_PIPELINE_H
#define ORVDC_EXAMPLE_TOOL_PIPELINE_H

#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef void (*ToolRunJob)(void* job, void* context);

typedef struct ToolPipeline {
    pthread_mutex_t lock;
    pthread_cond_t changed; /* a job submitted or done, or stop */
    ToolRunJob run;
    uint8_t* jobs;
    size_t jobSize;
    int slots;
    unsigned char* done;   /* per slot: its job has run */
    uint64_t submitted;    /* jobs handed to the workers so far */
    uint64_t started;      /* jobs a worker has taken so far */
    uint64_t finished;     /* jobs given back to the caller so far */
    void** contexts;
    pthread_t* threads;
    int workers;           /* threads started */
    int stop;
} ToolPipeline;

typedef struct ToolWorker {
    ToolPipeline* pipe;
    int index;
} ToolWorker;

static void* toolPipelineJob(ToolPipeline* p, uint64_t seq) {
    return p->jobs + (size_t)(seq % (uint64_t)p->slots) * p->jobSize;
}

static void* toolPipelineWorker(void* arg) {
    ToolPipeline* p = ((ToolWorker*)arg)->pipe;
    void* context = p->contexts != NULL ? p->contexts[((ToolWorker*)arg)->index] : NULL;
    free(arg);
    pthread_mutex_lock(&p->lock);
    for (;;) {
        const uint64_t seq = p->started;
        if (p->stop) break;
        if (seq == p->submitted) {
            pthread_cond_wait(&p->changed, &p->lock);
            continue;
        }
        ++p->started;
        pthread_mutex_unlock(&p->lock);
        p->run(toolPipelineJob(p, seq), context);
        pthread_mutex_lock(&p->lock);
        p->done[seq % (uint64_t)p->slots] = 1;
        pthread_cond_broadcast(&p->changed);
    }
    pthread_mutex_unlock(&p->lock);
    return NULL;
}

/* Starts up to `workers` threads over `slots` job records; 0 when out of
 * memory.  contexts[i] (if contexts is not null) belongs to worker i;
 * contexts[0] also serves jobs run on this thread. */
static int toolPipelineStart(ToolPipeline* p, ToolRunJob run, void* jobs, size_t jobSize, int slots,
                             void** contexts, int workers) {
    int i;
    memset(p, 0, sizeof *p);
    p->run = run;
    p->jobs = (uint8_t*)jobs;
    p->jobSize = jobSize;
    p->slots = slots;
    p->contexts = contexts;
    p->done = (unsigned char*)calloc((size_t)slots, 1);
    p->threads = (pthread_t*)calloc((size_t)workers, sizeof *p->threads);
    if (p->done == NULL || p->threads == NULL) return 0;
    pthread_mutex_init(&p->lock, NULL);
    pthread_cond_init(&p->changed, NULL);
    for (i = 0; workers > 1 && i < workers; ++i) {
        ToolWorker* w = (ToolWorker*)malloc(sizeof *w);
        if (w == NULL) break;
        w->pipe = p;
        w->index = i;
        if (pthread_create(&p->threads[i], NULL, toolPipelineWorker, w) != 0) {
            free(w);
            break;
        }
        ++p->workers;
    }
    return 1;
}

/* The job record to fill next, or null while every slot is in use (finish
 * the oldest job first). */
static void* toolPipelineNext(ToolPipeline* p) {
    return p->submitted - p->finished < (uint64_t)p->slots ? toolPipelineJob(p, p->submitted) : NULL;
}

/* Hands the job returned by toolPipelineNext to the workers (or runs it
 * here when there are none). */
static void toolPipelineSubmit(ToolPipeline* p) {
    if (p->workers == 0) {
        p->run(toolPipelineJob(p, p->submitted), p->contexts != NULL ? p->contexts[0] : NULL);
        ++p->submitted;
        return;
    }
    pthread_mutex_lock(&p->lock);
    ++p->submitted;
    pthread_cond_broadcast(&p->changed);
    pthread_mutex_unlock(&p->lock);
}

/* Waits for the oldest unfinished job and returns it (null when none is
 * outstanding); its slot is free again at the next call. */
static void* toolPipelineFinish(ToolPipeline* p) {
    const uint64_t seq = p->finished;
    if (seq == p->submitted) return NULL;
    if (p->workers > 0) {
        const int slot = (int)(seq % (uint64_t)p->slots);
        pthread_mutex_lock(&p->lock);
        while (!p->done[slot]) pthread_cond_wait(&p->changed, &p->lock);
        p->done[slot] = 0;
        pthread_mutex_unlock(&p->lock);
    }
    ++p->finished;
    return toolPipelineJob(p, seq);
}

/* Waits for every job handed out, then stops the workers. */
static void toolPipelineEnd(ToolPipeline* p) {
    int i;
    while (toolPipelineFinish(p) != NULL) {
    }
    if (p->done != NULL && p->threads != NULL) {
        pthread_mutex_lock(&p->lock);
        p->stop = 1;
        pthread_cond_broadcast(&p->changed);
        pthread_mutex_unlock(&p->lock);
        for (i = 0; i < p->workers; ++i) pthread_join(p->threads[i], NULL);
        pthread_cond_destroy(&p->changed);
        pthread_mutex_destroy(&p->lock);
    }
    free(p->done);
    free(p->threads);
}

#endif /* ORVDC_EXAMPLE_TOOL_PIPELINE_H */
