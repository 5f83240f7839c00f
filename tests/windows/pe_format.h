// The parts of the PE32 file format the test loader reads (little-endian,
// 32-bit images only).
#pragma once

#include <stdint.h>

#define PE_DOS_MAGIC 0x5A4Du          // "MZ"
#define PE_SIGNATURE 0x00004550u      // "PE\0\0"
#define PE_MACHINE_I386 0x014Cu
#define PE_OPTIONAL_MAGIC_PE32 0x010Bu
#define PE_FILE_DLL 0x2000u

enum {
    PE_DIR_EXPORT = 0,
    PE_DIR_IMPORT = 1,
    PE_DIR_RESOURCE = 2,
    PE_DIR_BASERELOC = 5,
    PE_DIR_TLS = 9,
    PE_DIR_COUNT = 16
};

#define PE_SCN_MEM_EXECUTE 0x20000000u
#define PE_SCN_MEM_READ 0x40000000u
#define PE_SCN_MEM_WRITE 0x80000000u

#define PE_REL_ABSOLUTE 0u
#define PE_REL_HIGHLOW 3u

#define PE_DLL_PROCESS_DETACH 0u
#define PE_DLL_PROCESS_ATTACH 1u

typedef struct {
    uint16_t e_magic;
    uint16_t unused[29];
    uint32_t e_lfanew;
} PeDosHeader;

typedef struct {
    uint16_t machine;
    uint16_t section_count;
    uint32_t time_stamp;
    uint32_t symbol_table;
    uint32_t symbol_count;
    uint16_t optional_size;
    uint16_t characteristics;
} PeFileHeader;

typedef struct {
    uint32_t rva;
    uint32_t size;
} PeDataDirectory;

typedef struct {
    uint16_t magic;
    uint8_t linker_major, linker_minor;
    uint32_t code_size, data_size, bss_size;
    uint32_t entry_rva;
    uint32_t code_base, data_base;
    uint32_t image_base;
    uint32_t section_alignment, file_alignment;
    uint16_t versions[6];
    uint32_t win32_version;
    uint32_t image_size;
    uint32_t headers_size;
    uint32_t checksum;
    uint16_t subsystem, dll_characteristics;
    uint32_t stack_reserve, stack_commit, heap_reserve, heap_commit;
    uint32_t loader_flags;
    uint32_t directory_count;
    PeDataDirectory directory[PE_DIR_COUNT];
} PeOptionalHeader32;

typedef struct {
    char name[8];
    uint32_t virtual_size;
    uint32_t rva;
    uint32_t raw_size;
    uint32_t raw_offset;
    uint32_t relocations, line_numbers;
    uint16_t relocation_count, line_number_count;
    uint32_t characteristics;
} PeSectionHeader;

typedef struct {
    uint32_t lookup_rva;  // import lookup table: names or ordinals
    uint32_t time_stamp;
    uint32_t forwarder_chain;
    uint32_t name_rva;
    uint32_t address_rva;  // import address table, filled by the loader
} PeImportDescriptor;

#define PE_IMPORT_BY_ORDINAL 0x80000000u

typedef struct {
    uint32_t characteristics;
    uint32_t time_stamp;
    uint16_t major, minor;
    uint32_t name_rva;
    uint32_t ordinal_base;
    uint32_t address_count;
    uint32_t name_count;
    uint32_t addresses_rva;
    uint32_t names_rva;
    uint32_t ordinals_rva;
} PeExportDirectory;

typedef struct {
    uint32_t page_rva;
    uint32_t block_size;  // header included; 16-bit entries follow
} PeRelocationBlock;

// Addresses in the TLS directory are virtual addresses (relocated), not RVAs.
typedef struct {
    uint32_t data_start, data_end;
    uint32_t index_address;
    uint32_t callbacks_address;  // null-terminated array of callbacks
    uint32_t zero_fill_size;
    uint32_t characteristics;
} PeTlsDirectory;

// The resource tree: directories of type, name and language, whose entries
// hold offsets from the start of the resource data; a set high bit marks a
// subdirectory (or, for the id, a name string).
typedef struct {
    uint32_t characteristics;
    uint32_t time_stamp;
    uint16_t major, minor;
    uint16_t named_count;
    uint16_t id_count;
} PeResourceDirectory;

typedef struct {
    uint32_t id;
    uint32_t offset;
} PeResourceEntry;

#define PE_RESOURCE_SUBDIRECTORY 0x80000000u

typedef struct {
    uint32_t data_rva;
    uint32_t size;
    uint32_t code_page;
    uint32_t reserved;
} PeResourceData;
