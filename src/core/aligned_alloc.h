// The library's only allocator, used by every InitAlloc operation.
#pragma once

#include <cstdint>

namespace orvdc {

// Returns a block of `size` bytes whose address is a multiple of 32, or null
// when size < 1 or the heap refuses.  The heap block is `size` + 36 bytes; the
// returned address is the heap address plus 35 rounded down to a multiple of
// 32, and the 32-bit word directly below it records where the heap block
// starts (as an offset, so the scheme is the same in 64-bit builds).
void* alignedAlloc(std::int32_t size);

// Releases a block from alignedAlloc; null is ignored.
void alignedFree(void* block);

}  // namespace orvdc
