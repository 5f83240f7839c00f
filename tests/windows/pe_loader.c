#include "pe_loader.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include "pe_format.h"
#include "thread_block.h"
#include "win32_stand_ins.h"

enum { PAGE = 4096 };

struct PeImage {
    unsigned char* base;
    uint32_t size;
    uint32_t entry_rva;
    PeDataDirectory exports;
    PeDataDirectory resources;
    uint32_t tls_callbacks;  // virtual address of the callback array, or 0
    void* tls_slots[1];      // the thread's TLS array: the image's block at index 0
    void* tls_block;
    uint32_t* page_protection;
};

typedef int32_t(__attribute__((stdcall)) * EntryPoint)(void* module, uint32_t reason, void* reserved);

static int fail(char* why, size_t why_size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(why, why_size, format, args);
    va_end(args);
    return -1;
}

// Reads the whole file; NULL on failure.
static unsigned char* read_file(const char* path, size_t* size, char* why, size_t why_size) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        fail(why, why_size, "cannot open %s: %s", path, strerror(errno));
        return NULL;
    }
    unsigned char* data = NULL;
    long length = -1;
    if (fseek(f, 0, SEEK_END) == 0) length = ftell(f);
    if (length > 0 && fseek(f, 0, SEEK_SET) == 0) data = malloc((size_t)length);
    if (data && fread(data, 1, (size_t)length, f) != (size_t)length) {
        free(data);
        data = NULL;
    }
    fclose(f);
    if (!data) fail(why, why_size, "cannot read %s", path);
    *size = data ? (size_t)length : 0;
    return data;
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
static int inside(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

// A NUL-terminated string at `rva` inside the image, or NULL.
static const char* image_string(const PeImage* image, uint32_t rva) {
    if (rva >= image->size) return NULL;
    const char* s = (const char*)image->base + rva;
    return memchr(s, 0, image->size - rva) ? s : NULL;
}

static int apply_relocations(PeImage* image, PeDataDirectory dir, uint32_t delta, char* why,
                             size_t why_size) {
    if (dir.size == 0) return 0;
    if (!inside(dir.rva, dir.size, image->size)) return fail(why, why_size, "relocations out of the image");
    uint32_t at = 0;
    while (at + sizeof(PeRelocationBlock) <= dir.size) {
        PeRelocationBlock block;
        memcpy(&block, image->base + dir.rva + at, sizeof block);
        if (block.block_size < sizeof block || block.block_size > dir.size - at || block.block_size % 2)
            return fail(why, why_size, "malformed relocation block at %#x", dir.rva + at);
        const unsigned char* entries = image->base + dir.rva + at + sizeof block;
        uint32_t count = (block.block_size - (uint32_t)sizeof block) / 2;
        for (uint32_t i = 0; i < count; ++i) {
            uint16_t entry;
            memcpy(&entry, entries + 2 * i, 2);
            unsigned type = entry >> 12;
            uint32_t target = block.page_rva + (entry & 0xFFFu);
            if (type == PE_REL_ABSOLUTE) continue;
            if (type != PE_REL_HIGHLOW) return fail(why, why_size, "relocation type %u not supported", type);
            if (!inside(target, 4, image->size)) return fail(why, why_size, "relocation outside the image");
            uint32_t value;
            memcpy(&value, image->base + target, 4);
            value += delta;
            memcpy(image->base + target, &value, 4);
        }
        at += block.block_size;
    }
    return 0;
}

static int bind_imports(PeImage* image, PeDataDirectory dir, char* why, size_t why_size) {
    if (dir.size == 0) return 0;
    for (uint32_t at = dir.rva;; at += sizeof(PeImportDescriptor)) {
        if (!inside(at, sizeof(PeImportDescriptor), image->size))
            return fail(why, why_size, "import directory out of the image");
        PeImportDescriptor d;
        memcpy(&d, image->base + at, sizeof d);
        if (d.name_rva == 0) return 0;
        const char* dll = image_string(image, d.name_rva);
        if (!dll) return fail(why, why_size, "bad imported module name");
        uint32_t lookup = d.lookup_rva ? d.lookup_rva : d.address_rva;
        for (uint32_t i = 0;; ++i) {
            if (!inside(lookup + 4ull * i, 4, image->size) || !inside(d.address_rva + 4ull * i, 4, image->size))
                return fail(why, why_size, "import table of %s out of the image", dll);
            uint32_t entry;
            memcpy(&entry, image->base + lookup + 4 * i, 4);
            if (entry == 0) break;
            if (entry & PE_IMPORT_BY_ORDINAL)
                return fail(why, why_size, "%s is imported by ordinal %u, which the loader does not provide",
                            dll, entry & 0xFFFFu);
            const char* name = image_string(image, entry + 2);  // after the 16-bit hint
            if (!name) return fail(why, why_size, "bad import name in %s", dll);
            void* address = win32_import(dll, name);
            if (!address)
                return fail(why, why_size, "the DLL imports %s from %s, which the loader does not provide",
                            name, dll);
            uint32_t value = (uint32_t)(uintptr_t)address;
            memcpy(image->base + d.address_rva + 4 * i, &value, 4);
        }
    }
}

static uint32_t section_protection(uint32_t characteristics) {
    int r = (characteristics & PE_SCN_MEM_READ) != 0;
    int w = (characteristics & PE_SCN_MEM_WRITE) != 0;
    int x = (characteristics & PE_SCN_MEM_EXECUTE) != 0;
    if (x) return w ? WIN32_PAGE_EXECUTE_READWRITE : r ? WIN32_PAGE_EXECUTE_READ : WIN32_PAGE_EXECUTE;
    if (w) return WIN32_PAGE_READWRITE;
    return r ? WIN32_PAGE_READONLY : WIN32_PAGE_NOACCESS;
}

// Copies the headers and sections into place and records each page's
// protection (applied once relocations and imports are written).
static int map_sections(PeImage* image, const unsigned char* file, size_t file_size,
                        const PeSectionHeader* sections, unsigned count, uint32_t headers_size,
                        char* why, size_t why_size) {
    size_t header_bytes = headers_size < file_size ? headers_size : file_size;
    if (header_bytes > image->size) return fail(why, why_size, "headers larger than the image");
    memcpy(image->base, file, header_bytes);
    size_t pages = image->size / PAGE;
    for (size_t p = 0; p < pages; ++p) image->page_protection[p] = WIN32_PAGE_READONLY;
    for (unsigned i = 0; i < count; ++i) {
        const PeSectionHeader* s = &sections[i];
        uint32_t span = s->virtual_size ? s->virtual_size : s->raw_size;
        if (!inside(s->rva, span, image->size) || s->rva % PAGE)
            return fail(why, why_size, "section %.8s outside the image", s->name);
        uint32_t raw = s->raw_size < span ? s->raw_size : span;
        if (raw && !inside(s->raw_offset, raw, file_size))
            return fail(why, why_size, "section %.8s outside the file", s->name);
        memcpy(image->base + s->rva, file + s->raw_offset, raw);
        uint32_t protection = section_protection(s->characteristics);
        for (size_t p = s->rva / PAGE; p < (s->rva + (size_t)span + PAGE - 1) / PAGE; ++p)
            image->page_protection[p] = protection;
    }
    return 0;
}

static int protect_pages(PeImage* image, char* why, size_t why_size) {
    size_t pages = image->size / PAGE;
    for (size_t p = 0; p < pages; ++p) {
        int prot = win32_protection_to_prot(image->page_protection[p]);
        if (mprotect(image->base + p * PAGE, PAGE, prot < 0 ? PROT_NONE : prot) != 0)
            return fail(why, why_size, "mprotect: %s", strerror(errno));
    }
    win32_register_image((uintptr_t)image->base, pages, image->page_protection);
    return 0;
}

// Gives the image's thread-local data one block for the calling thread and
// sets its TLS index to 0.
static int prepare_tls(PeImage* image, PeDataDirectory dir, char* why, size_t why_size) {
    if (dir.size == 0) return 0;
    if (!inside(dir.rva, sizeof(PeTlsDirectory), image->size))
        return fail(why, why_size, "TLS directory out of the image");
    PeTlsDirectory tls;
    memcpy(&tls, image->base + dir.rva, sizeof tls);
    uintptr_t base = (uintptr_t)image->base;
    uint32_t template_size = tls.data_end - tls.data_start;
    if (tls.data_end < tls.data_start || tls.data_start < base || tls.data_end > base + image->size)
        return fail(why, why_size, "TLS template outside the image");
    image->tls_block = calloc(1, (size_t)template_size + tls.zero_fill_size + 1);
    if (!image->tls_block) return fail(why, why_size, "out of memory");
    memcpy(image->tls_block, (const void*)(uintptr_t)tls.data_start, template_size);
    image->tls_slots[0] = image->tls_block;
    if (tls.index_address) {
        if (tls.index_address < base || !inside(tls.index_address - base, 4, image->size))
            return fail(why, why_size, "TLS index outside the image");
        memset((void*)(uintptr_t)tls.index_address, 0, 4);
    }
    image->tls_callbacks = tls.callbacks_address;
    return 0;
}

static void run_tls_callbacks(const PeImage* image, uint32_t reason) {
    if (!image->tls_callbacks) return;
    for (const uint32_t* cb = (const uint32_t*)(uintptr_t)image->tls_callbacks; *cb; ++cb)
        ((EntryPoint)(uintptr_t)*cb)(image->base, reason, NULL);
}

static void release(PeImage* image) {
    if (!image) return;
    if (image->base) {
        win32_register_image(0, 0, NULL);
        munmap(image->base, image->size);
    }
    free(image->page_protection);
    free(image->tls_block);
    free(image);
}

static PeImage* load_from(const unsigned char* file, size_t file_size, char* why, size_t why_size) {
    PeDosHeader dos;
    if (file_size < sizeof dos) return fail(why, why_size, "file too short"), NULL;
    memcpy(&dos, file, sizeof dos);
    uint32_t signature;
    PeFileHeader fh;
    PeOptionalHeader32 opt;
    if (dos.e_magic != PE_DOS_MAGIC || !inside(dos.e_lfanew, 4 + sizeof fh + sizeof opt, file_size))
        return fail(why, why_size, "not a PE file"), NULL;
    memcpy(&signature, file + dos.e_lfanew, 4);
    memcpy(&fh, file + dos.e_lfanew + 4, sizeof fh);
    memcpy(&opt, file + dos.e_lfanew + 4 + sizeof fh, sizeof opt);
    if (signature != PE_SIGNATURE || fh.machine != PE_MACHINE_I386 || opt.magic != PE_OPTIONAL_MAGIC_PE32)
        return fail(why, why_size, "not a 32-bit x86 PE image"), NULL;
    if (!(fh.characteristics & PE_FILE_DLL)) return fail(why, why_size, "not a DLL"), NULL;
    if (opt.section_alignment != PAGE || opt.image_size == 0 || opt.image_size % PAGE ||
        opt.directory_count < PE_DIR_TLS + 1)
        return fail(why, why_size, "unsupported image layout"), NULL;
    uint64_t sections_at = dos.e_lfanew + 4ull + sizeof fh + fh.optional_size;
    if (!inside(sections_at, (uint64_t)fh.section_count * sizeof(PeSectionHeader), file_size))
        return fail(why, why_size, "section table outside the file"), NULL;

    PeImage* image = calloc(1, sizeof *image);
    if (!image) return fail(why, why_size, "out of memory"), NULL;
    image->size = opt.image_size;
    image->entry_rva = opt.entry_rva;
    image->exports = opt.directory[PE_DIR_EXPORT];
    image->resources = opt.directory[PE_DIR_RESOURCE];
    image->page_protection = calloc(opt.image_size / PAGE, sizeof(uint32_t));
    // Mapped wherever the system chooses, so the relocations are exercised.
    void* base = mmap(NULL, opt.image_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED || !image->page_protection) {
        fail(why, why_size, "cannot map %u bytes", opt.image_size);
        release(image);
        return NULL;
    }
    image->base = base;
    uint32_t delta = (uint32_t)(uintptr_t)base - opt.image_base;
    PeSectionHeader* sections = malloc(fh.section_count * sizeof *sections + 1);
    int rc = sections ? 0 : fail(why, why_size, "out of memory");
    if (rc == 0) {
        memcpy(sections, file + sections_at, fh.section_count * sizeof *sections);
        rc = map_sections(image, file, file_size, sections, fh.section_count, opt.headers_size, why, why_size);
    }
    free(sections);
    if (rc == 0) rc = apply_relocations(image, opt.directory[PE_DIR_BASERELOC], delta, why, why_size);
    if (rc == 0) rc = bind_imports(image, opt.directory[PE_DIR_IMPORT], why, why_size);
    if (rc == 0) rc = prepare_tls(image, opt.directory[PE_DIR_TLS], why, why_size);
    if (rc == 0) rc = protect_pages(image, why, why_size);
    if (rc == 0 && !inside(image->entry_rva, 1, image->size)) rc = fail(why, why_size, "no entry point");
    if (rc == 0) rc = thread_block_enter(image->tls_slots, why, why_size);
    if (rc != 0) {
        release(image);
        return NULL;
    }
    run_tls_callbacks(image, PE_DLL_PROCESS_ATTACH);
    EntryPoint entry = (EntryPoint)(void*)(image->base + image->entry_rva);
    if (!entry(image->base, PE_DLL_PROCESS_ATTACH, NULL)) {
        fail(why, why_size, "the entry point refused DLL_PROCESS_ATTACH");
        release(image);
        return NULL;
    }
    return image;
}

PeImage* pe_load(const char* path, char* why, size_t why_size) {
    size_t size;
    unsigned char* file = read_file(path, &size, why, why_size);
    if (!file) return NULL;
    PeImage* image = load_from(file, size, why, why_size);
    free(file);
    return image;
}

void* pe_export(const PeImage* image, const char* name) {
    PeDataDirectory dir = image->exports;
    PeExportDirectory ed;
    if (dir.size < sizeof ed || !inside(dir.rva, sizeof ed, image->size)) return NULL;
    memcpy(&ed, image->base + dir.rva, sizeof ed);
    if (!inside(ed.names_rva, 4ull * ed.name_count, image->size) ||
        !inside(ed.ordinals_rva, 2ull * ed.name_count, image->size) ||
        !inside(ed.addresses_rva, 4ull * ed.address_count, image->size))
        return NULL;
    for (uint32_t i = 0; i < ed.name_count; ++i) {
        uint32_t name_rva;
        uint16_t ordinal;
        memcpy(&name_rva, image->base + ed.names_rva + 4 * i, 4);
        const char* candidate = image_string(image, name_rva);
        if (!candidate || strcmp(candidate, name) != 0) continue;
        memcpy(&ordinal, image->base + ed.ordinals_rva + 2 * i, 2);
        if (ordinal >= ed.address_count) return NULL;
        uint32_t rva;
        memcpy(&rva, image->base + ed.addresses_rva + 4 * ordinal, 4);
        // An address inside the export directory forwards to another DLL.
        if (rva >= dir.rva && rva - dir.rva < dir.size) return NULL;
        return rva < image->size ? image->base + rva : NULL;
    }
    return NULL;
}

// The offset field of the first entry of the resource directory at `offset`
// whose id is `id`, or of its first entry when `id` is 0; 0 when absent.
static uint32_t resource_entry(const PeImage* image, uint32_t offset, uint32_t id) {
    PeDataDirectory dir = image->resources;
    PeResourceDirectory rd;
    if (!inside(offset, sizeof rd, dir.size)) return 0;
    memcpy(&rd, image->base + dir.rva + offset, sizeof rd);
    uint32_t count = (uint32_t)rd.named_count + rd.id_count;
    if (!inside(offset + sizeof rd, (uint64_t)count * sizeof(PeResourceEntry), dir.size)) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        PeResourceEntry e;
        memcpy(&e, image->base + dir.rva + offset + sizeof rd + i * sizeof e, sizeof e);
        if (id == 0 || e.id == id) return e.offset;
    }
    return 0;
}

const void* pe_resource(const PeImage* image, uint32_t type, uint32_t* size) {
    PeDataDirectory dir = image->resources;
    if (dir.size == 0 || !inside(dir.rva, dir.size, image->size)) return NULL;
    uint32_t offset = 0;
    for (int level = 0; level < 2; ++level) {  // the type, then its first name
        offset = resource_entry(image, offset, level == 0 ? type : 0);
        if (!(offset & PE_RESOURCE_SUBDIRECTORY)) return NULL;
        offset &= ~PE_RESOURCE_SUBDIRECTORY;
    }
    offset = resource_entry(image, offset, 0);  // the first language: a data record
    PeResourceData data;
    if ((offset & PE_RESOURCE_SUBDIRECTORY) || !inside(offset, sizeof data, dir.size)) return NULL;
    memcpy(&data, image->base + dir.rva + offset, sizeof data);
    if (!inside(data.data_rva, data.size, image->size)) return NULL;
    *size = data.size;
    return image->base + data.data_rva;
}

uintptr_t pe_base(const PeImage* image) { return (uintptr_t)image->base; }

void pe_detach(PeImage* image) {
    char why[128];
    if (thread_block_enter(image->tls_slots, why, sizeof why) != 0) return;
    EntryPoint entry = (EntryPoint)(void*)(image->base + image->entry_rva);
    // A non-null reserved argument says the process is ending.
    entry(image->base, PE_DLL_PROCESS_DETACH, image);
    run_tls_callbacks(image, PE_DLL_PROCESS_DETACH);
}
