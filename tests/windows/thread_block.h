// A minimal Windows thread environment block for DLL code running on a Linux
// thread.  32-bit Windows code reaches its thread block through the fs
// segment (fs:0x18 holds the block's own address); 32-bit Linux keeps its
// thread pointer in gs and leaves fs free, so fs can select an LDT entry
// whose base is the block.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Points fs of the calling thread at the thread block, creating the block
// and its LDT entry on first use.  `tls_slots` becomes the block's
// thread-local storage array (fs:0x2c) when not NULL.  Returns 0, or -1 with
// the cause in `why`.  The block is shared: DLL code must run on one thread
// at a time.
int thread_block_enter(void** tls_slots, char* why, size_t why_size);

#ifdef __cplusplus
}
#endif
