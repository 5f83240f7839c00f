// liborvdc_dllhost.so: the library's exported names, each forwarding to the
// export of the same name in the Windows DLL.  The forwarding stubs
// (generated from the export lists by this folder's CMakeLists.txt) jump
// through orvdc_dllhost_table without touching the stack: both sides are
// cdecl.  The first call through any stub loads the DLL (ORVDC_WINDOWS_DLL,
// fixed at build time) and fills the table; there is no fallback to Linux
// code.  The DLL's start-up code runs on the thread that makes that call.
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>

#include "pe_loader.h"

#define HIDDEN __attribute__((visibility("hidden")))

// Defined in the generated file: the names in stub order, the table, and
// the aliases with their names (ending in a null pair).
extern HIDDEN const char* const orvdc_dllhost_names[];
extern HIDDEN const char* const orvdc_dllhost_aliases[][2];
extern HIDDEN const unsigned orvdc_dllhost_count;
extern HIDDEN void* orvdc_dllhost_table[];

static PeImage* dll;

static void detach_at_exit(void) { pe_detach(dll); }

static void load_once(void) {
    const char* path = ORVDC_WINDOWS_DLL;
    char why[256];
    PeImage* image = pe_load(path, why, sizeof why);
    if (!image) {
        fprintf(stderr, "orvdc_dllhost: cannot load %s: %s\n", path, why);
        exit(2);
    }
    for (unsigned i = 0; i < orvdc_dllhost_count; ++i) {
        void* address = pe_export(image, orvdc_dllhost_names[i]);
        if (!address) {
            fprintf(stderr, "orvdc_dllhost: %s does not export %s\n", path, orvdc_dllhost_names[i]);
            exit(2);
        }
        orvdc_dllhost_table[i] = address;
    }
    // An alias shares the stub of its name, so the DLL must give both names
    // one address.
    for (unsigned i = 0; orvdc_dllhost_aliases[i][0]; ++i) {
        const char* alias = orvdc_dllhost_aliases[i][0];
        const char* name = orvdc_dllhost_aliases[i][1];
        void* address = pe_export(image, alias);
        if (!address || address != pe_export(image, name)) {
            fprintf(stderr, "orvdc_dllhost: %s does not export %s at the address of %s\n", path, alias, name);
            exit(2);
        }
    }
    dll = image;
    atexit(detach_at_exit);
}

// Called by the stubs (on a 16-byte aligned stack) while the table is empty.
HIDDEN void orvdc_dllhost_load(void) {
    static pthread_once_t once = PTHREAD_ONCE_INIT;
    pthread_once(&once, load_once);
}
