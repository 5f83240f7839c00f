#include "core/aligned_alloc.h"

#include <cstdlib>
#include <cstring>

namespace orvdc {

namespace {
constexpr std::uintptr_t kAlign = 32;
constexpr std::int32_t kOverhead = 36;  // hidden word + worst-case padding
}  // namespace

void* alignedAlloc(std::int32_t size) {
    if (size < 1 || size > INT32_MAX - kOverhead) return nullptr;
    // Zero-filled, so no state handed out can show what the heap held before.
    auto* raw = static_cast<unsigned char*>(std::calloc(static_cast<std::size_t>(size) + kOverhead, 1));
    if (raw == nullptr) return nullptr;
    auto addr = (reinterpret_cast<std::uintptr_t>(raw) + (kAlign + 3)) & ~(kAlign - 1);
    auto* block = reinterpret_cast<unsigned char*>(addr);
    std::uint32_t hidden;
    if constexpr (sizeof(void*) == 4) {
        hidden = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(raw));
    } else {
        // A 64-bit address does not fit the 32-bit word: keep the distance
        // back to the heap block (4..35) instead.
        hidden = static_cast<std::uint32_t>(block - raw);
    }
    std::memcpy(block - 4, &hidden, 4);
    return block;
}

void alignedFree(void* block) {
    if (block == nullptr) return;
    auto* p = static_cast<unsigned char*>(block);
    std::uint32_t hidden;
    std::memcpy(&hidden, p - 4, 4);
    if constexpr (sizeof(void*) == 4) {
        std::free(reinterpret_cast<void*>(static_cast<std::uintptr_t>(hidden)));
    } else {
        std::free(p - hidden);
    }
}

}  // namespace orvdc
