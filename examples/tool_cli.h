/* The command line shared by the gzip-style and bzip2-style tools: options,
 * files replaced by their compressed form and back, standard input and
 * output, and output written to a temporary file that is renamed into place
 * only when the whole run succeeded.  Header-only, C99 with POSIX.
 *
 * A tool provides its format's coders as ToolCoders and calls toolMain. */
#ifndef ORVDC_EXAMPLE_TOOL_CLI_H
#define ORVDC_EXAMPLE_TOOL_CLI_H

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

enum { kExitOk = 0, kExitError = 1, kExitWarning = 2 };

typedef struct ToolOptions {
    int decompress, toStdout, keep, force, test, quiet, verbose;
    int level;   /* 1..9 */
    int threads; /* 1 or more */
} ToolOptions;

/* Counts what a coder read and wrote, for -v. */
typedef struct ToolCounts {
    uint64_t in, out;
} ToolCounts;

/* A coder reads inFd to its end and writes outFd (-1 with -t: decode and
 * check only).  It returns kExitOk, kExitWarning (with *why saying what was
 * ignored) or kExitError (with *why saying what is wrong with the input, or
 * errno set for a read or write failure and *why null). */
typedef int (*ToolCoder)(int inFd, int outFd, const ToolOptions* opt, ToolCounts* counts, const char** why);

typedef struct ToolSpec {
    const char* name;      /* program name in messages */
    const char* suffix;    /* ".gz" */
    const char* levelHelp; /* what -1..-9 mean */
    int defaultLevel;
    int maxThreads; /* threads used at most, whatever -p asks (memory bound) */
    ToolCoder compress, decompress;
} ToolSpec;

static const ToolSpec* toolSpec;
static int toolQuiet;

static void toolMessage(const char* file, const char* fmt, ...) {
    va_list ap;
    fprintf(stderr, "%s: ", toolSpec->name);
    if (file != NULL) fprintf(stderr, "%s: ", file);
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fputc('\n', stderr);
}

/* Whole reads and writes that survive interrupted calls and short pipes. */
static size_t toolReadFull(int fd, uint8_t* buf, size_t n, int* failed) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = read(fd, buf + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            *failed = 1;
            break;
        }
        if (r == 0) break;
        got += (size_t)r;
    }
    return got;
}

static int toolWriteFull(int fd, const uint8_t* buf, size_t n) {
    if (fd < 0) return 1; /* -t: output discarded */
    while (n > 0) {
        ssize_t w = write(fd, buf, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return 0;
        buf += w;
        n -= (size_t)w;
    }
    return 1;
}

static int toolCores(void) {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n < 1 ? 1 : n > 256 ? 256 : (int)n;
}

static void toolUsage(FILE* f) {
    fprintf(f,
            "usage: %s [-cdfhkqtv] [-p N] [-1 .. -9] [FILE]...\n"
            "Compresses or restores each FILE in place (FILE <-> FILE%s); with no FILE, or\n"
            "FILE '-', standard input goes to standard output.\n"
            "  -c  write to standard output, keep the input files\n"
            "  -d  decompress\n"
            "  -f  overwrite existing output files; write compressed data to a terminal\n"
            "  -h  this help\n"
            "  -k  keep the input files\n"
            "  -q  no warnings\n"
            "  -t  test the integrity of compressed files\n"
            "  -v  report each file's sizes\n"
            "  -p N  use N threads, at most %d (default: the number of cores, %d here)\n"
            "  -1 .. -9  %s\n"
            "Exit status: 0 success, 1 error, 2 warning.\n",
            toolSpec->name, toolSpec->suffix, toolSpec->maxThreads, toolCores(), toolSpec->levelHelp);
}

static int toolEndsWith(const char* s, const char* suffix) {
    size_t a = strlen(s), b = strlen(suffix);
    return a > b && strcmp(s + a - b, suffix) == 0;
}

/* Runs the coder on one file (or "-"), returning an exit status. */
static int toolProcess(const char* path, const ToolOptions* opt) {
    const int useStdio = strcmp(path, "-") == 0;
    const int toStdout = useStdio || opt->toStdout;
    const char* shown = useStdio ? "(stdin)" : path;
    char* outPath = NULL;
    char* tmpPath = NULL;
    int inFd = STDIN_FILENO, outFd = -1, status, tmpMade = 0;
    struct stat st;
    ToolCounts counts = {0, 0};
    const char* why = NULL;
    memset(&st, 0, sizeof st);

    if (!useStdio) {
        if (stat(path, &st) != 0) {
            toolMessage(path, "%s", strerror(errno));
            return kExitError;
        }
        if (!S_ISREG(st.st_mode)) {
            if (!toolQuiet) toolMessage(path, "not a regular file -- ignored");
            return kExitWarning;
        }
        if (!opt->decompress && !opt->test && !toStdout && toolEndsWith(path, toolSpec->suffix)) {
            if (!toolQuiet) toolMessage(path, "already has %s suffix -- unchanged", toolSpec->suffix);
            return kExitWarning;
        }
        if (opt->decompress && !opt->test && !toStdout && !toolEndsWith(path, toolSpec->suffix)) {
            if (!toolQuiet) toolMessage(path, "unknown suffix -- ignored");
            return kExitWarning;
        }
    }
    if (!opt->decompress && !opt->test && toStdout && !opt->force && isatty(STDOUT_FILENO)) {
        toolMessage(NULL, "compressed data not written to a terminal; use -f to force");
        return kExitError;
    }
    if (!useStdio) {
        inFd = open(path, O_RDONLY);
        if (inFd < 0) {
            toolMessage(path, "%s", strerror(errno));
            return kExitError;
        }
    }
    if (opt->test) {
        outFd = -1;
    } else if (toStdout) {
        outFd = STDOUT_FILENO;
    } else {
        const size_t n = strlen(path), s = strlen(toolSpec->suffix);
        outPath = (char*)malloc(n + s + 1);
        tmpPath = (char*)malloc(n + s + 16);
        if (outPath == NULL || tmpPath == NULL) {
            toolMessage(path, "out of memory");
            status = kExitError;
            goto done;
        }
        if (opt->decompress) {
            memcpy(outPath, path, n - s);
            outPath[n - s] = '\0';
        } else {
            memcpy(outPath, path, n);
            memcpy(outPath + n, toolSpec->suffix, s + 1);
        }
        if (!opt->force && access(outPath, F_OK) == 0) {
            toolMessage(outPath, "already exists; not overwritten (use -f)");
            status = kExitError;
            goto done;
        }
        /* The output appears under its name only once it is complete. */
        snprintf(tmpPath, n + s + 16, "%s.XXXXXX", outPath);
        outFd = mkstemp(tmpPath);
        tmpMade = outFd >= 0;
        if (outFd < 0) {
            toolMessage(outPath, "%s", strerror(errno));
            status = kExitError;
            goto done;
        }
    }

    errno = 0;
    status = (opt->decompress || opt->test ? toolSpec->decompress : toolSpec->compress)(inFd, outFd, opt, &counts, &why);
    if (status == kExitError) {
        if (why != NULL)
            toolMessage(shown, "%s", why);
        else
            toolMessage(shown, "%s", errno ? strerror(errno) : "failed");
    } else if (status == kExitWarning && why != NULL && !toolQuiet) {
        toolMessage(shown, "%s", why);
    }
    if (status != kExitError && tmpMade) {
        if (fchmod(outFd, st.st_mode & 07777) != 0 || close(outFd) != 0) {
            toolMessage(outPath, "%s", strerror(errno));
            status = kExitError;
        }
        outFd = -1;
        if (status != kExitError) {
            struct timespec times[2];
            times[0] = st.st_atim;
            times[1] = st.st_mtim;
            utimensat(AT_FDCWD, tmpPath, times, 0);
            if (rename(tmpPath, outPath) != 0) {
                toolMessage(outPath, "%s", strerror(errno));
                status = kExitError;
            } else {
                tmpMade = 0;
            }
        }
    }
    if (status != kExitError && !useStdio && !toStdout && !opt->test && !opt->keep) {
        if (unlink(path) != 0) {
            toolMessage(path, "%s", strerror(errno));
            status = kExitError;
        }
    }
    if (opt->verbose && status != kExitError) {
        const uint64_t plain = opt->decompress || opt->test ? counts.out : counts.in;
        const uint64_t packed = opt->decompress || opt->test ? counts.in : counts.out;
        const double saved = plain > 0 ? 100.0 * (1.0 - (double)packed / (double)plain) : 0.0;
        if (opt->test)
            fprintf(stderr, "%s:\tOK\n", shown);
        else
            fprintf(stderr, "%s:\t%5.1f%% (%llu -> %llu)%s%s\n", shown, saved,
                    (unsigned long long)counts.in, (unsigned long long)counts.out,
                    outPath != NULL ? " -- replaced with " : "", outPath != NULL ? outPath : "");
    }

done:
    if (outFd >= 0 && outFd != STDOUT_FILENO) close(outFd);
    if (tmpMade) unlink(tmpPath);
    if (inFd >= 0 && inFd != STDIN_FILENO) close(inFd);
    free(outPath);
    free(tmpPath);
    return status;
}

/* Parses the command line and processes every file; returns the exit
 * status (an error outranks a warning). */
static int toolMain(const ToolSpec* spec, int decompressDefault, int argc, char** argv) {
    ToolOptions opt;
    int i, worst = kExitOk, files = 0, optionsDone = 0;
    toolSpec = spec;
    memset(&opt, 0, sizeof opt);
    opt.decompress = decompressDefault;
    opt.level = spec->defaultLevel;
    opt.threads = toolCores();

    for (i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (optionsDone || a[0] != '-' || a[1] == '\0') continue;
        if (strcmp(a, "--") == 0) {
            optionsDone = 1;
            continue;
        }
        if (strcmp(a, "--help") == 0) {
            toolUsage(stdout);
            return kExitOk;
        }
        for (++a; *a; ++a) {
            switch (*a) {
                case 'c': opt.toStdout = 1; break;
                case 'd': opt.decompress = 1; break;
                case 'z': opt.decompress = 0; break;
                case 'f': opt.force = 1; break;
                case 'k': opt.keep = 1; break;
                case 'q': opt.quiet = 1; break;
                case 't': opt.test = 1; break;
                case 'v': opt.verbose = 1; break;
                case 'h': toolUsage(stdout); return kExitOk;
                case 'p': {
                    const char* v = a[1] ? a + 1 : (i + 1 < argc ? argv[++i] : "");
                    char* end;
                    long n = strtol(v, &end, 10);
                    if (*v == '\0' || *end != '\0' || n < 1 || n > 256) {
                        fprintf(stderr, "%s: -p needs a thread count from 1 to 256\n", spec->name);
                        return kExitError;
                    }
                    opt.threads = (int)n;
                    if (v != a + 1) argv[i - 1] = NULL; /* the count was the next argument */
                    a = v + strlen(v) - 1;
                    break;
                }
                default:
                    if (*a >= '1' && *a <= '9') {
                        opt.level = *a - '0';
                        break;
                    }
                    fprintf(stderr, "%s: unknown option -%c\n", spec->name, *a);
                    toolUsage(stderr);
                    return kExitError;
            }
        }
        argv[i] = NULL; /* options are not files */
    }
    toolQuiet = opt.quiet;
    if (opt.threads > spec->maxThreads) opt.threads = spec->maxThreads;
    optionsDone = 0;
    for (i = 1; i < argc; ++i) {
        int status;
        if (argv[i] == NULL) continue;
        if (!optionsDone && strcmp(argv[i], "--") == 0) {
            optionsDone = 1;
            continue;
        }
        ++files;
        status = toolProcess(argv[i], &opt);
        if (status == kExitError || (status == kExitWarning && worst == kExitOk)) worst = status;
    }
    if (files == 0) worst = toolProcess("-", &opt);
    return worst;
}

#endif /* ORVDC_EXAMPLE_TOOL_CLI_H */
