// What the format layer's files share: checksums over any length, byte
// order helpers and the allocation of objects without exceptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "orvdc_formats.h"

namespace orvf {

// The library's checksum calls take 32-bit lengths: longer runs go in pieces.
inline constexpr std::size_t kChecksumPiece = std::size_t{1} << 30;

inline std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const std::size_t k = n < kChecksumPiece ? n : kChecksumPiece;
        orvsCRC32_8u(p, static_cast<std::int32_t>(k), &crc);
        p += k;
        n -= k;
    }
    return crc;
}

inline std::uint32_t adler32Update(std::uint32_t adler, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const std::size_t k = n < kChecksumPiece ? n : kChecksumPiece;
        orvsAdler32_8u(p, static_cast<std::int32_t>(k), &adler);
        p += k;
        n -= k;
    }
    return adler;
}

inline std::uint32_t bzip2CrcUpdate(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const std::size_t k = n < kChecksumPiece ? n : kChecksumPiece;
        orvsCRC32_BZ2_8u(p, static_cast<std::int32_t>(k), &crc);
        p += k;
        n -= k;
    }
    return crc;
}

inline void putLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::uint32_t getLE32(const std::uint8_t* p) {
    return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

inline std::uint32_t getBE32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// A call's length limited to what the stage functions take.
inline std::int32_t clampLen(std::size_t n) {
    return static_cast<std::int32_t>(n < kChecksumPiece ? n : kChecksumPiece);
}

// new without exceptions: null when memory is short.
template <class T>
T* make() {
    return new (std::nothrow) T();
}

// A plain byte array; null when memory is short.
inline std::uint8_t* allocBytes(std::size_t n) {
    return static_cast<std::uint8_t*>(std::malloc(n == 0 ? 1 : n));
}

// Copies what fits of [*from, *from + *have) to the caller's destination.
inline void drainTo(const std::uint8_t*& from, std::size_t& have, std::uint8_t** ppDst, std::size_t* pDstLen) {
    const std::size_t n = have < *pDstLen ? have : *pDstLen;
    if (n > 0) std::memcpy(*ppDst, from, n);
    from += n;
    have -= n;
    *ppDst += n;
    *pDstLen -= n;
}

}  // namespace orvf
