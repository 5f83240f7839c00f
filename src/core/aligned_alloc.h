// The library's only allocator, used by every InitAlloc operation.
#pragma once

#include <cstdint>

namespace orvdc {

// Returns a zero-filled block of `size` bytes whose address is a multiple of
// 32, or null when size < 1 or the heap refuses.  Every byte a state leaves
// unwritten at initialisation therefore reads as zero, whatever a stream
// makes the state read (an LZSS decoder reaching behind its output, for one).
// The heap block is `size` + 36 bytes; the returned address is the heap
// address plus 35 rounded down to a multiple of 32, and the 32-bit word
// directly below it records where the heap block starts (as an offset, so the
// scheme is the same in 64-bit builds).
void* alignedAlloc(std::int32_t size);

// Releases a block from alignedAlloc; null is ignored.
void alignedFree(void* block);

}  // namespace orvdc
