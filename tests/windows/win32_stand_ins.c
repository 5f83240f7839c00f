// Windows callers keep the stack aligned to 4 bytes only, so every stand-in
// realigns it on entry (force_align_arg_pointer) before Linux code runs.
// KERNEL32 functions use the stdcall convention, msvcrt functions cdecl.
#define _GNU_SOURCE  // recursive mutex initialiser
#include "win32_stand_ins.h"

#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

#define WINAPI __attribute__((stdcall, force_align_arg_pointer))
#define CRTAPI __attribute__((cdecl, force_align_arg_pointer))

typedef int32_t BOOL32;
enum { PAGE_SIZE_4K = 4096 };
enum { ERROR_MOD_NOT_FOUND = 126, ERROR_PROC_NOT_FOUND = 127 };

// ---------------------------------------------------------------------------
// KERNEL32
// ---------------------------------------------------------------------------

static __thread uint32_t last_error;

static uint32_t WINAPI k32_GetLastError(void) { return last_error; }

// No other module is loaded: every lookup answers "not found".
static void* WINAPI k32_GetModuleHandleA(const char* name) {
    (void)name;
    last_error = ERROR_MOD_NOT_FOUND;
    return NULL;
}

static void* WINAPI k32_LoadLibraryA(const char* name) {
    (void)name;
    last_error = ERROR_MOD_NOT_FOUND;
    return NULL;
}

static BOOL32 WINAPI k32_FreeLibrary(void* module) {
    (void)module;
    last_error = ERROR_MOD_NOT_FOUND;
    return 0;
}

static void* WINAPI k32_GetProcAddress(void* module, const char* name) {
    (void)module;
    (void)name;
    last_error = ERROR_PROC_NOT_FOUND;
    return NULL;
}

static void WINAPI k32_Sleep(uint32_t milliseconds) { usleep((useconds_t)milliseconds * 1000u); }

// No TLS slots are ever allocated (TlsAlloc is not imported).
static void* WINAPI k32_TlsGetValue(uint32_t index) {
    (void)index;
    last_error = 0;
    return NULL;
}

// Critical sections all share one recursive mutex: the CRITICAL_SECTION
// object itself (24 bytes in 32-bit Windows) is left untouched.
static pthread_mutex_t critical_sections = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

static void WINAPI k32_InitializeCriticalSection(void* section) { (void)section; }
static void WINAPI k32_DeleteCriticalSection(void* section) { (void)section; }
static void WINAPI k32_EnterCriticalSection(void* section) {
    (void)section;
    pthread_mutex_lock(&critical_sections);
}
static void WINAPI k32_LeaveCriticalSection(void* section) {
    (void)section;
    pthread_mutex_unlock(&critical_sections);
}

// The mapped image, page by page.
static uintptr_t image_base;
static size_t image_pages;
static uint32_t* page_protection;

void win32_register_image(uintptr_t base, size_t page_count, uint32_t* pages) {
    image_base = base;
    image_pages = base ? page_count : 0;
    page_protection = base ? pages : NULL;
}

int win32_protection_to_prot(uint32_t protection) {
    switch (protection) {
    case WIN32_PAGE_READONLY: return PROT_READ;
    case WIN32_PAGE_READWRITE: return PROT_READ | PROT_WRITE;
    case WIN32_PAGE_EXECUTE: return PROT_EXEC;
    case WIN32_PAGE_EXECUTE_READ: return PROT_READ | PROT_EXEC;
    case WIN32_PAGE_EXECUTE_READWRITE: return PROT_READ | PROT_WRITE | PROT_EXEC;
    default: return -1;
    }
}

// The page index of `address` inside the image, or -1 outside it.
static long image_page(const void* address) {
    uintptr_t a = (uintptr_t)address;
    if (a < image_base || (a - image_base) / PAGE_SIZE_4K >= image_pages) return -1;
    return (long)((a - image_base) / PAGE_SIZE_4K);
}

typedef struct {
    uint32_t base_address;
    uint32_t allocation_base;
    uint32_t allocation_protect;
    uint32_t region_size;
    uint32_t state;
    uint32_t protect;
    uint32_t type;
} MemoryBasicInformation32;

enum { MEM_COMMIT = 0x1000, MEM_IMAGE = 0x1000000 };

// Describes the run of pages from the one holding `address` that share its
// protection.  Only the image is known; other addresses fail.
static uint32_t WINAPI k32_VirtualQuery(const void* address, MemoryBasicInformation32* info,
                                        uint32_t size) {
    long first = image_page(address);
    if (first < 0 || size < sizeof *info) return 0;
    size_t end = (size_t)first + 1;
    while (end < image_pages && page_protection[end] == page_protection[first]) ++end;
    info->base_address = (uint32_t)(image_base + (size_t)first * PAGE_SIZE_4K);
    info->allocation_base = (uint32_t)image_base;
    info->allocation_protect = WIN32_PAGE_EXECUTE_READWRITE;
    info->region_size = (uint32_t)((end - (size_t)first) * PAGE_SIZE_4K);
    info->state = MEM_COMMIT;
    info->protect = page_protection[first];
    info->type = MEM_IMAGE;
    return sizeof *info;
}

static BOOL32 WINAPI k32_VirtualProtect(void* address, uint32_t size, uint32_t protection,
                                        uint32_t* old_protection) {
    long first = image_page(address);
    int prot = win32_protection_to_prot(protection);
    if (first < 0 || prot < 0 || !old_protection || size == 0) return 0;
    uintptr_t end_address = (uintptr_t)address + size;
    size_t end = (end_address - image_base + PAGE_SIZE_4K - 1) / PAGE_SIZE_4K;
    if (end > image_pages) return 0;
    void* start = (void*)(image_base + (size_t)first * PAGE_SIZE_4K);
    if (mprotect(start, (end - (size_t)first) * PAGE_SIZE_4K, prot) != 0) return 0;
    *old_protection = page_protection[first];
    for (size_t p = (size_t)first; p < end; ++p) page_protection[p] = protection;
    return 1;
}

// ---------------------------------------------------------------------------
// msvcrt
// ---------------------------------------------------------------------------

// msvcrt's stdin, stdout and stderr: three 32-byte FILE records that the DLL
// only passes back to fwrite and vfprintf.
enum { MSVCRT_FILE_SIZE = 32 };
static unsigned char crt_iob[3 * MSVCRT_FILE_SIZE];

static FILE* host_stream(const void* stream) {
    uintptr_t offset = (uintptr_t)stream - (uintptr_t)crt_iob;
    if ((const unsigned char*)stream < crt_iob || offset >= sizeof crt_iob) return stderr;
    switch (offset / MSVCRT_FILE_SIZE) {
    case 0: return stdin;
    case 1: return stdout;
    default: return stderr;
    }
}

static size_t CRTAPI crt_fwrite(const void* data, size_t size, size_t count, void* stream) {
    return fwrite(data, size, count, host_stream(stream));
}

// A 32-bit Windows va_list is a pointer to the arguments on the stack, as is
// the 32-bit Linux one.
static int CRTAPI crt_vfprintf(void* stream, const char* format, va_list args) {
    return vfprintf(host_stream(stream), format, args);
}

static void CRTAPI crt_amsg_exit(int code) {
    fprintf(stderr, "DLL C runtime error %d\n", code);
    _exit(255);
}

static void CRTAPI crt_abort(void) { abort(); }

typedef void (*Initializer)(void);
static void CRTAPI crt_initterm(Initializer* begin, Initializer* end) {
    for (Initializer* f = begin; f < end; ++f)
        if (*f) (*f)();
}

static void CRTAPI crt_lock(int lock) {
    (void)lock;
    pthread_mutex_lock(&critical_sections);
}
static void CRTAPI crt_unlock(int lock) {
    (void)lock;
    pthread_mutex_unlock(&critical_sections);
}

static void* CRTAPI crt_malloc(size_t n) { return malloc(n); }
static void* CRTAPI crt_calloc(size_t n, size_t size) { return calloc(n, size); }
static void* CRTAPI crt_realloc(void* p, size_t n) { return realloc(p, n); }
static void CRTAPI crt_free(void* p) { free(p); }
static void* CRTAPI crt_memcpy(void* d, const void* s, size_t n) { return memcpy(d, s, n); }
static void* CRTAPI crt_memmove(void* d, const void* s, size_t n) { return memmove(d, s, n); }
static void* CRTAPI crt_memchr(const void* s, int c, size_t n) { return memchr(s, c, n); }
static void* CRTAPI crt_memset(void* d, int c, size_t n) { return memset(d, c, n); }
static size_t CRTAPI crt_strlen(const char* s) { return strlen(s); }
static int CRTAPI crt_strncmp(const char* a, const char* b, size_t n) { return strncmp(a, b, n); }

// ---------------------------------------------------------------------------
// The import table
// ---------------------------------------------------------------------------

typedef struct {
    const char* dll;
    const char* name;
    void* address;
} StandIn;

#define K32(f) {"KERNEL32.dll", #f, (void*)k32_##f}
#define CRT(f) {"msvcrt.dll", #f, (void*)crt_##f}

static const StandIn stand_ins[] = {
    K32(DeleteCriticalSection), K32(EnterCriticalSection), K32(FreeLibrary), K32(GetLastError),
    K32(GetModuleHandleA), K32(GetProcAddress), K32(InitializeCriticalSection),
    K32(LeaveCriticalSection), K32(LoadLibraryA), K32(Sleep), K32(TlsGetValue),
    K32(VirtualProtect), K32(VirtualQuery),
    {"msvcrt.dll", "_amsg_exit", (void*)crt_amsg_exit}, {"msvcrt.dll", "_initterm", (void*)crt_initterm}, {"msvcrt.dll", "_iob", crt_iob},
    {"msvcrt.dll", "_lock", (void*)crt_lock}, {"msvcrt.dll", "_unlock", (void*)crt_unlock},
    CRT(abort), CRT(calloc), CRT(free), CRT(fwrite), CRT(malloc), CRT(memchr), CRT(memcpy), CRT(memmove),
    CRT(memset), CRT(realloc), CRT(strlen), CRT(strncmp), CRT(vfprintf),
};

void* win32_import(const char* dll, const char* name) {
    for (size_t i = 0; i < sizeof stand_ins / sizeof stand_ins[0]; ++i)
        if (strcasecmp(stand_ins[i].dll, dll) == 0 && strcmp(stand_ins[i].name, name) == 0)
            return stand_ins[i].address;
    return NULL;
}
