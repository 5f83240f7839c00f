/* File helpers shared by the example programs: whole-file reads and writes
 * and a growable output buffer.  Header-only, C99. */
#ifndef ORVDC_EXAMPLE_IO_H
#define ORVDC_EXAMPLE_IO_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    uint8_t* data;
    size_t size;
    size_t capacity;
} ExBuffer;

/* Makes sure at least `room` bytes are free behind the used part. */
static inline int exReserve(ExBuffer* b, size_t room) {
    if (b->capacity - b->size >= room) return 1;
    size_t cap = b->capacity ? b->capacity : 65536;
    while (cap - b->size < room) cap *= 2;
    uint8_t* p = (uint8_t*)realloc(b->data, cap);
    if (p == NULL) return 0;
    b->data = p;
    b->capacity = cap;
    return 1;
}

static inline int exAppend(ExBuffer* b, const void* src, size_t n) {
    if (!exReserve(b, n)) return 0;
    if (n) memcpy(b->data + b->size, src, n);
    b->size += n;
    return 1;
}

/* Reads a whole file ("-" is standard input). */
static inline int exReadFile(const char* path, ExBuffer* out) {
    FILE* f = strcmp(path, "-") == 0 ? stdin : fopen(path, "rb");
    if (f == NULL) return 0;
    uint8_t chunk[65536];
    size_t n;
    int ok = 1;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (!exAppend(out, chunk, n)) { ok = 0; break; }
    }
    if (ferror(f)) ok = 0;
    if (f != stdin) fclose(f);
    return ok;
}

/* Writes a whole buffer ("-" is standard output). */
static inline int exWriteFile(const char* path, const uint8_t* data, size_t n) {
    FILE* f = strcmp(path, "-") == 0 ? stdout : fopen(path, "wb");
    if (f == NULL) return 0;
    int ok = n == 0 || fwrite(data, 1, n, f) == n; /* data may be null when n is 0 */
    if (f != stdout) ok = (fclose(f) == 0) && ok;
    else ok = (fflush(f) == 0) && ok;
    return ok;
}

/* path + suffix, or path without suffix (NULL when it does not end so). */
static inline char* exWithSuffix(const char* path, const char* suffix) {
    size_t a = strlen(path), b = strlen(suffix);
    char* s = (char*)malloc(a + b + 1);
    if (s == NULL) return NULL;
    memcpy(s, path, a);
    memcpy(s + a, suffix, b + 1);
    return s;
}

static inline char* exWithoutSuffix(const char* path, const char* suffix) {
    size_t a = strlen(path), b = strlen(suffix);
    if (a <= b || strcmp(path + a - b, suffix) != 0) return NULL;
    char* s = (char*)malloc(a - b + 1);
    if (s == NULL) return NULL;
    memcpy(s, path, a - b);
    s[a - b] = '\0';
    return s;
}

#endif /* ORVDC_EXAMPLE_IO_H */
