#include "thread_block.h"

#include <asm/ldt.h>
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

// Offsets inside the 32-bit thread environment block.
enum {
    TEB_EXCEPTION_LIST = 0x00,
    TEB_STACK_BASE = 0x04,
    TEB_STACK_LIMIT = 0x08,
    TEB_SELF = 0x18,
    TEB_TLS_POINTER = 0x2C,
    TEB_PEB = 0x30,
    // The process environment block shares the page, zero-filled.
    PEB_OFFSET = 0x800,
    BLOCK_SIZE = 0x1000
};

enum { LDT_ENTRY = 0 };

static unsigned char* block;

static void put32(unsigned offset, uint32_t value) {
    memcpy(block + offset, &value, sizeof value);
}

static int create_block(char* why, size_t why_size) {
    void* page = mmap(NULL, BLOCK_SIZE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) {
        snprintf(why, why_size, "cannot map the thread block: %s", strerror(errno));
        return -1;
    }
    block = page;
    // No structured exception handlers: the chain ends at once.
    put32(TEB_EXCEPTION_LIST, 0xFFFFFFFFu);
    // The C runtime uses the stack base as the thread's identity; the top of
    // the current stack region serves.
    unsigned char here;
    put32(TEB_STACK_BASE, (uint32_t)(((uintptr_t)&here + 0xFFFFu) & ~(uintptr_t)0xFFFFu));
    put32(TEB_STACK_LIMIT, 0);
    put32(TEB_SELF, (uint32_t)(uintptr_t)block);
    put32(TEB_PEB, (uint32_t)(uintptr_t)(block + PEB_OFFSET));

    struct user_desc desc;
    memset(&desc, 0, sizeof desc);
    desc.entry_number = LDT_ENTRY;
    desc.base_addr = (unsigned)(uintptr_t)block;
    desc.limit = BLOCK_SIZE - 1;
    desc.seg_32bit = 1;
    desc.contents = 0;  // data, expanding up
    desc.read_exec_only = 0;
    desc.limit_in_pages = 0;
    desc.seg_not_present = 0;
    desc.useable = 1;
    if (syscall(SYS_modify_ldt, 1, &desc, sizeof desc) != 0) {
        snprintf(why, why_size, "modify_ldt refused the thread block's segment: %s", strerror(errno));
        munmap(page, BLOCK_SIZE);
        block = NULL;
        return -1;
    }
    return 0;
}

int thread_block_enter(void** tls_slots, char* why, size_t why_size) {
    if (!block && create_block(why, why_size) != 0) return -1;
    if (tls_slots) put32(TEB_TLS_POINTER, (uint32_t)(uintptr_t)tls_slots);
    // Selector: LDT entry, table indicator set, privilege level 3.
    unsigned short selector = (unsigned short)((LDT_ENTRY << 3) | 4 | 3);
    __asm__ volatile("movw %w0, %%fs" : : "q"(selector) : "memory");
    return 0;
}
