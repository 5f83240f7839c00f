// Checksum kernels, shared with the families that keep a running checksum
// (the deflate match finder).  Each takes the running value and returns the
// updated one; any length is allowed, 0 included.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvdc {

// CRC-32 of zlib and gzip: `crc` is the finished CRC so far (0 for a new
// stream).
std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* src, std::size_t len);

// The bzip2 block CRC (0 for a new block).
std::uint32_t crc32Bzip2Update(std::uint32_t crc, const std::uint8_t* src, std::size_t len);

// Adler-32 (1 for a new stream).
std::uint32_t adler32Update(std::uint32_t adler, const std::uint8_t* src, std::size_t len);

}  // namespace orvdc
