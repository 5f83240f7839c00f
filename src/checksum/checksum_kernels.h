// The kernels behind the checksum entry points.  Each CRC kernel works on the
// bare register (no inversion), each Adler-32 kernel on the packed sums; all
// accept any length.  The entry points choose one from the cached processor
// features; tests restrict those features to reach every kernel.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvdc {

// Portable CRC-32: slicing by eight.
std::uint32_t crc32Slice8(std::uint32_t r, const std::uint8_t* p, std::size_t n);
// Portable bzip2 CRC: slicing by eight with the forward tables.
std::uint32_t crc32Bzip2Slice8(std::uint32_t r, const std::uint8_t* p, std::size_t n);

// Carry-less-multiplication folding, 128-bit (PCLMULQDQ with SSE4.1), 256-bit
// (VPCLMULQDQ with AVX2) and 512-bit (VPCLMULQDQ with AVX-512).
std::uint32_t crc32Pclmul(std::uint32_t r, const std::uint8_t* p, std::size_t n);
std::uint32_t crc32Vpclmul256(std::uint32_t r, const std::uint8_t* p, std::size_t n);
std::uint32_t crc32Vpclmul512(std::uint32_t r, const std::uint8_t* p, std::size_t n);
std::uint32_t crc32Bzip2Pclmul(std::uint32_t r, const std::uint8_t* p, std::size_t n);
std::uint32_t crc32Bzip2Vpclmul256(std::uint32_t r, const std::uint8_t* p, std::size_t n);
std::uint32_t crc32Bzip2Vpclmul512(std::uint32_t r, const std::uint8_t* p, std::size_t n);

using CrcKernel = std::uint32_t (*)(std::uint32_t r, const std::uint8_t* p, std::size_t n);

// The CRC kernel for n bytes: the widest folding the cached processor
// features allow, the table kernel where there is none or below 16 bytes
// (where the tables are as fast as any folding).
CrcKernel chooseCrcKernel(std::size_t n, CrcKernel table, CrcKernel fold128, CrcKernel fold256, CrcKernel fold512);

// Adler-32 over SSE2 (the base), SSSE3, AVX2, AVX-512 (F, BW) and AVX-512
// VNNI dot products.
std::uint32_t adler32Sse2(std::uint32_t adler, const std::uint8_t* p, std::size_t n);
std::uint32_t adler32Ssse3(std::uint32_t adler, const std::uint8_t* p, std::size_t n);
std::uint32_t adler32Avx2(std::uint32_t adler, const std::uint8_t* p, std::size_t n);
std::uint32_t adler32Avx512(std::uint32_t adler, const std::uint8_t* p, std::size_t n);
std::uint32_t adler32Avx512Vnni(std::uint32_t adler, const std::uint8_t* p, std::size_t n);

}  // namespace orvdc
