// Unpacking arbitrary bytes as a packed code-length table: never reads past
// the source, reports at most the bytes given, and a table it accepts packs
// and unpacks back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 4096) return 0;
    static orvdc::fuzz::PageEnd mem;
    const std::uint8_t* src = mem.place(data, size);  // ends right before an inaccessible page
    std::int32_t used = static_cast<std::int32_t>(size);
    std::int32_t table[256];
    const orvStatus sts = orvsHuffLenCodeTableUnpack_8u(src, &used, table);
    if (sts == orvStsBadSize) {
        if (used != static_cast<std::int32_t>(size)) std::abort();
        return 0;
    }
    if (sts != orvStsOk || used < 1 || used > static_cast<std::int32_t>(size)) std::abort();

    bool valid = true;
    for (int s = 0; s < 256; ++s) valid = valid && table[s] >= 0 && table[s] <= 32;
    // A length takes at most a bank selector and a digit, so a table of
    // lengths 0..32 packs into at most 256 bytes.
    std::vector<std::uint8_t> packed(256);
    std::int32_t n = static_cast<std::int32_t>(packed.size());
    const orvStatus ps = orvsHuffLenCodeTablePack_8u(table, packed.data(), &n);
    if (!valid) {
        if (ps != orvStsNoCode) std::abort();
        return 0;
    }
    if (ps != orvStsOk) std::abort();
    packed.resize(static_cast<std::size_t>(n));
    std::int32_t again[256];
    std::int32_t m = n;
    if (orvsHuffLenCodeTableUnpack_8u(packed.data(), &m, again) != orvStsOk || m != n) std::abort();
    for (int s = 0; s < 256; ++s) {
        if (again[s] != table[s]) std::abort();
    }
    return 0;
}
