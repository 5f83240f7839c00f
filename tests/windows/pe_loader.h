// A loader for 32-bit Windows DLLs inside a 32-bit Linux process, so that the
// tests can call the DLL's exports directly.  It maps the image, applies the
// base relocations, binds the imports to the stand-ins of win32_stand_ins.c,
// runs the TLS callbacks and the entry point, and looks exports up by name.
//
// The DLL's code runs on the calling thread; the C runtime start-up inside it
// reads the thread environment block through fs, which pe_load sets up for
// the calling thread (see thread_block.c).
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PeImage PeImage;

// Loads the DLL at `path` and runs its start-up code (DLL_PROCESS_ATTACH).
// Returns NULL on failure with a description of the cause in `why`.
PeImage* pe_load(const char* path, char* why, size_t why_size);

// The address of the export `name`, or NULL when the DLL does not export it.
void* pe_export(const PeImage* image, const char* name);

// The data of the first resource of numeric type `type` (first name, first
// language), with its size in *size; NULL when there is none.
const void* pe_resource(const PeImage* image, uint32_t type, uint32_t* size);

// The address the image was mapped at.
uintptr_t pe_base(const PeImage* image);

// Runs the entry point and the TLS callbacks with DLL_PROCESS_DETACH, as at
// process exit.  The image stays mapped, so that late calls still land.
void pe_detach(PeImage* image);

#ifdef __cplusplus
}
#endif
