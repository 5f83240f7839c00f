// The CRC-32 kernels behind crc32Update, reachable one by one so tests can
// run each path.  They work on the bare register (no inversion).
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvdc {

// Slicing by eight: the portable path.
std::uint32_t crc32Slice8(std::uint32_t r, const std::uint8_t* p, std::size_t n);

// Carry-less multiplication folding; requires cpuHasPclmul().
std::uint32_t crc32Clmul(std::uint32_t r, const std::uint8_t* p, std::size_t n);

// Inputs at least this long ask the processor whether crc32Clmul may run.
inline constexpr std::size_t kCrc32ClmulMinLength = 32768;

}  // namespace orvdc
