// Stand-ins for the KERNEL32 and msvcrt functions a loaded DLL imports,
// written over the Linux C library.  Only the functions the DLL is known to
// import are provided: an import outside this set makes loading fail, so a
// new dependency of the DLL shows up at once.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The stand-in for `name` imported from `dll` (matched without regard to
// case, as Windows does), or NULL when there is none.
void* win32_import(const char* dll, const char* name);

// Windows page protections, as VirtualQuery and VirtualProtect report them.
enum {
    WIN32_PAGE_NOACCESS = 0x01,
    WIN32_PAGE_READONLY = 0x02,
    WIN32_PAGE_READWRITE = 0x04,
    WIN32_PAGE_EXECUTE = 0x10,
    WIN32_PAGE_EXECUTE_READ = 0x20,
    WIN32_PAGE_EXECUTE_READWRITE = 0x40
};

// Registers the mapped image, one Windows protection per 4 KiB page, so that
// VirtualQuery and VirtualProtect can answer for it; `pages` stays owned by
// the caller and is updated by VirtualProtect.  A null base forgets it.
void win32_register_image(uintptr_t base, size_t page_count, uint32_t* pages);

// The Linux mprotect flags for a Windows page protection.
int win32_protection_to_prot(uint32_t protection);

#ifdef __cplusplus
}
#endif
