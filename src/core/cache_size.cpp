// Finding the largest data cache, to decide when very large writes should
// bypass the caches.  Only whether streaming stores are used depends on this;
// the bytes written never do.
#include <cpuid.h>

#include "core/memory.h"

namespace orvdc {

namespace {

// Cache sizes (KiB) of the one-byte descriptors of CPUID leaf 2 for caches of
// 256 KiB to 8 MiB; other descriptors are ignored.
std::size_t descriptorKiB(unsigned code) {
    switch (code) {
        case 0x3C: case 0x42: case 0x7A: case 0x82: return 256;
        case 0x3D: return 384;
        case 0x22: case 0x3E: case 0x43: case 0x7B: case 0x7F: case 0x80:
        case 0x83: case 0x86: case 0xD0: return 512;
        case 0x23: case 0x44: case 0x78: case 0x7C: case 0x84: case 0x87:
        case 0xD1: case 0xD6: return 1024;
        case 0xDC: return 1536;
        case 0x25: case 0x45: case 0x7D: case 0x85: case 0xD2: case 0xD7:
        case 0xE2: return 2048;
        case 0x48: case 0xDD: return 3072;
        case 0x29: case 0x46: case 0x49: case 0xD8: case 0xE3: return 4096;
        case 0x4A: case 0x4E: case 0xDE: return 6144;
        case 0x47: case 0x4B: case 0xE4: return 8192;
        default: return 0;
    }
}

std::size_t fromDescriptors(unsigned maxLeaf, bool* sawLeaf4Hint) {
    *sawLeaf4Hint = false;
    if (maxLeaf < 2) return 0;
    unsigned r[4];
    __cpuid(2, r[0], r[1], r[2], r[3]);
    std::size_t best = 0;
    for (int i = 0; i < 4; ++i) {
        if (r[i] & 0x80000000u) continue;  // register holds no descriptors
        for (int b = (i == 0 ? 1 : 0); b < 4; ++b) {
            unsigned code = (r[i] >> (8 * b)) & 0xFF;
            if (code == 0xFF) *sawLeaf4Hint = true;
            std::size_t kib = descriptorKiB(code);
            if (kib > best) best = kib;
        }
    }
    return best * 1024;
}

// Deterministic cache parameters (CPUID leaf 4), for processors whose leaf 2
// defers to it.
std::size_t fromLeaf4() {
    std::size_t best = 0;
    for (unsigned sub = 0; sub < 16; ++sub) {
        unsigned a, b, c, d;
        __cpuid_count(4, sub, a, b, c, d);
        unsigned type = a & 0x1F;
        if (type == 0) break;
        if (type == 2) continue;  // instruction cache
        std::size_t ways = ((b >> 22) & 0x3FF) + 1;
        std::size_t parts = ((b >> 12) & 0x3FF) + 1;
        std::size_t line = (b & 0xFFF) + 1;
        std::size_t sets = static_cast<std::size_t>(c) + 1;
        std::size_t size = ways * parts * line * sets;
        if (size > best) best = size;
    }
    return best;
}

// Extended leaves used by processors that report no descriptors at all.
std::size_t fromExtendedLeaves() {
    unsigned a, b, c, d;
    __cpuid(0x80000000u, a, b, c, d);
    if (a < 0x80000006u) return 0;
    __cpuid(0x80000006u, a, b, c, d);
    std::size_t l2 = static_cast<std::size_t>(c >> 16) * 1024;
    std::size_t l3 = static_cast<std::size_t>(d >> 18) * 512 * 1024;
    return l3 > l2 ? l3 : l2;
}

}  // namespace

std::size_t largestCacheBytes() {
    unsigned a, b, c, d;
    if (!__get_cpuid(0, &a, &b, &c, &d)) return 0;
    const unsigned maxLeaf = a;
    bool leaf4Hint = false;
    std::size_t size = fromDescriptors(maxLeaf, &leaf4Hint);
    if (size == 0 && leaf4Hint && maxLeaf >= 4) size = fromLeaf4();
    if (size == 0) size = fromExtendedLeaves();
    return size;
}

}  // namespace orvdc
