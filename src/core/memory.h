// Memory kernels shared by the families: zero, copy and pattern fills.
//
// The checked operations test their pointer(s) first and their length second
// (orvStsNullPtr, then orvStsBadSize for a length below 1) and only then
// write.  The kernels are unchecked: zeroKernel and fillKernel need len >= 1,
// copyKernel accepts 0; source and destination of a copy must not overlap.
// Every kernel returns dst.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orvdc.h"

namespace orvdc {

void* zeroKernel(void* dst, std::size_t len);
void* copyKernel(void* dst, const void* src, std::size_t len);
void* fillKernel(void* dst, std::uint8_t value, std::size_t len);
void* fill16Kernel(void* dst, std::uint16_t value, std::size_t count);

orvStatus zeroBytes(void* dst, std::int32_t len);
orvStatus copyBytes(const void* src, void* dst, std::int32_t len);
orvStatus fillBytes(std::uint8_t value, void* dst, std::int32_t len);
orvStatus fill16(std::uint16_t value, void* dst, std::int32_t count);

// Unchecked: count copies of a 32-bit or 64-bit value (any count >= 0).
void* fill32(std::uint32_t value, void* dst, std::size_t count);
void* fill64(std::uint64_t value, void* dst, std::size_t count);

// Size in bytes of the largest data cache the processor reports, or 0 when
// it reports none this code recognises.  Writes of at least this many bytes
// (and above 512 KiB) bypass the caches.
std::size_t largestCacheBytes();

}  // namespace orvdc
